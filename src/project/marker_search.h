// The byte-string search inside one scanner window, in one version per
// instruction set the processor may have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pulldex {

// Offset of the first occurrence of the `length` bytes of `marker` (at least
// one) in [start, start + available), or -1. Reads only inside that range.
using MarkerSearchFunction = std::int32_t (*)(const std::uint8_t* marker, std::size_t length, const std::uint8_t* start,
                                              std::int32_t available);

struct MarkerSearch {
  const char* name;
  MarkerSearchFunction find;
};

// The versions this processor can run, the fastest first. All give the same
// results; the scanner uses the first.
std::span<const MarkerSearch> markerSearches();

}  // namespace pulldex
