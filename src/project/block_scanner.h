// Forward reader of an open file through a 32 KiB window: finds a marker,
// then hands out the bytes from it on.
#pragma once

#include <cstdint>

#include "base/file.h"
#include "base/page_buffer.h"

namespace pulldex {

class BlockScanner {
 public:
  static constexpr std::int32_t kWindowSize = 32768;
  static constexpr std::int32_t kStep = 16384;
  // The window slides through this buffer in steps; bytes are moved to its
  // front only when the window reaches its end, and the file is read in
  // pieces this large, straight into it.
  static constexpr std::int32_t kBufferSize = 8 * kWindowSize;

  // The file must stand at its start; the scanner never closes it.
  explicit BlockScanner(InputFile& file);

  // Absolute offset of the first occurrence of `marker` (NUL-terminated, at
  // least one byte) at or after the read position, or -1. On success the next
  // readBytes starts with the marker itself; after -1 nothing is left to read.
  std::int64_t findMarker(const char* marker);
  // The same for whichever of two markers comes first; `which` tells which
  // (0 or 1). Either may stand anywhere: a pass over one window looks for
  // both.
  std::int64_t findEither(const char* first, const char* second, int& which);
  // Copies up to `count` bytes and returns how many: fewer only at the end of
  // the file, 0 for a count of 0 or less.
  std::int32_t readBytes(void* destination, std::int32_t count);
  // The bytes from the read position on that are in memory, without
  // consuming them: a whole window's worth, fewer only at the end of the file.
  std::int32_t available(const std::uint8_t*& bytes);
  // Moves the read position on by `n` of the bytes available() gave.
  void consume(std::int32_t n) { position_ += n; }
  // True when a read of the file failed (as opposed to reaching its end);
  // the file's error() tells why.
  bool failed() const { return failed_; }

 private:
  // Makes a whole window's worth of bytes from the read position available,
  // as far as the file has them.
  void fillWindow();
  std::int32_t readFile(std::uint8_t* into, std::int32_t n);

  InputFile& file_;
  PageBuffer<std::uint8_t> buffer_;
  // Absolute file offset of buffer_[0].
  std::int64_t bufferOffset_ = 0;
  // Valid bytes in buffer_, from its start.
  std::int32_t fill_ = 0;
  // Index in buffer_ of the next byte not yet consumed: the window's start.
  std::int32_t position_ = 0;
  // Absolute offset of the first start position not yet compared, so that
  // the half of the window shared with the previous pass is not searched twice.
  std::int64_t searchedUpTo_ = 0;
  // The file has no more bytes: a read came up short, or failed.
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace pulldex
