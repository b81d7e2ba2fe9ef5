// Forward reader of an open file through one 32 KiB window: finds a marker,
// then hands out the bytes from it on.
#pragma once

#include <cstdint>

#include "base/file.h"

namespace pulldex {

class BlockScanner {
 public:
  static constexpr std::int32_t kWindowSize = 32768;
  static constexpr std::int32_t kStep = 16384;

  // The file must stand at its start; the scanner never closes it.
  explicit BlockScanner(InputFile& file);

  // Absolute offset of the first occurrence of `marker` (NUL-terminated, at
  // least one byte) at or after the read position, or -1. On success the next
  // readBytes starts with the marker itself; after -1 nothing is left to read.
  std::int64_t findMarker(const char* marker);
  // Copies up to `count` bytes and returns how many: fewer only at the end of
  // the file, 0 for a count of 0 or less.
  std::int32_t readBytes(void* destination, std::int32_t count);
  // True when a read of the file failed (as opposed to reaching its end);
  // the file's error() tells why.
  bool failed() const { return failed_; }

 private:
  void refill();
  std::int32_t readFile(std::uint8_t* into, std::int32_t n);

  InputFile& file_;
  std::uint8_t window_[kWindowSize];
  std::int32_t fill_ = 0;
  std::int32_t position_ = 0;
  std::int64_t searchOffset_ = 0;
  // Absolute offset of the first start position not yet compared, so that
  // the half of the window shared with the previous pass is not searched twice.
  std::int64_t searchedUpTo_ = 0;
  // A failed read counts as the end of the file, for good.
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace pulldex
