// The per-frame IVTC settings of one video, indexed by frame number.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pulldex {

// Entry states. Any other value (from a project record with an odd copy
// flag) is carried along and, like Unlisted and Copy, counts as not kept.
enum FrameState : std::uint8_t { Unlisted = 0, Kept = 1, Copy = 2 };

// Trivial, so that a list of millions is made with one memset: a value-
// initialised entry (FrameEntry{}, or a vector's new ones) is code 0,
// Unlisted.
struct FrameEntry {
  std::uint8_t code;
  std::uint8_t state;
  bool operator==(const FrameEntry&) const = default;
};

// No real video has more frames; the limit also keeps a corrupt file from
// asking for gigabytes.
inline constexpr std::int32_t kMaxFrames = 16'777'216;

struct FrameList {
  std::vector<FrameEntry> entries;

  std::int32_t count() const { return static_cast<std::int32_t>(entries.size()); }
  bool isKept(std::int64_t i) const { return entries[static_cast<std::size_t>(i)].state == Kept; }
  // Whether any entry is kept: a list that keeps none gives no frame to any tool.
  bool keepsAny() const {
    return std::any_of(entries.begin(), entries.end(), [](const FrameEntry& e) { return e.state == Kept; });
  }
  // The kept entries, ascending.
  std::vector<std::int64_t> keptEntries() const {
    std::vector<std::int64_t> kept;
    for (std::int64_t i = 0; i < count(); ++i)
      if (isKept(i)) kept.push_back(i);
    return kept;
  }
  // Number of entries strictly between position i and the next Kept entry
  // after it, or up to the end of the list when none follows; 0 for the last
  // entry and any position past it.
  std::int64_t gap(std::int64_t i) const {
    // Inline: the AVI script asks this for every kept frame.
    const std::int64_t n = count();
    std::int64_t j = i + 1;
    while (j < n && entries[static_cast<std::size_t>(j)].state != Kept) ++j;
    return j < n ? j - i - 1 : std::max<std::int64_t>(n - i - 1, 0);
  }
  bool operator==(const FrameList&) const = default;
};

}  // namespace pulldex
