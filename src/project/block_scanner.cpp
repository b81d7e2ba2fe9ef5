#include "project/block_scanner.h"

#include <algorithm>
#include <cstring>

namespace pulldex {

namespace {

// Offset of the first occurrence of the marker in [start, start + available),
// or -1. Only bytes inside that range are read.
std::int32_t searchWindow(const std::uint8_t* marker, std::size_t length, const std::uint8_t* start,
                          std::int32_t available) {
  if (available < 0 || static_cast<std::size_t>(available) < length) return -1;
  const std::uint8_t* last = start + available - length;
  for (const std::uint8_t* p = start; p <= last; ++p) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, marker[0], static_cast<std::size_t>(last - p) + 1));
    if (p == nullptr) return -1;
    if (std::memcmp(p + 1, marker + 1, length - 1) == 0) return static_cast<std::int32_t>(p - start);
  }
  return -1;
}

}  // namespace

BlockScanner::BlockScanner(InputFile& file) : file_(file) { refill(); }

std::int32_t BlockScanner::readFile(std::uint8_t* into, std::int32_t n) {
  if (ended_) return 0;
  const std::int64_t got = file_.read(into, static_cast<std::size_t>(n));
  if (got < 0) {
    ended_ = failed_ = true;
    return 0;
  }
  return static_cast<std::int32_t>(got);
}

void BlockScanner::refill() {
  if (fill_ > position_) {
    if (position_ == 0) return;
    const std::int32_t kept = fill_ - position_;
    std::memmove(window_, window_ + position_, static_cast<std::size_t>(kept));
    fill_ = kept + readFile(window_ + kept, position_);
    position_ = 0;
  } else if (fill_ == 0) {
    fill_ = readFile(window_, kWindowSize);
  } else if (fill_ == kWindowSize) {
    fill_ = readFile(window_, kWindowSize);
    position_ = 0;
  }
  // Any other fill: an earlier read came up short, so the file has ended.
}

std::int64_t BlockScanner::findMarker(const char* marker) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(marker);
  const std::size_t length = std::strlen(marker);
  refill();
  for (;;) {
    const std::int32_t available = fill_ - position_;
    const auto skip = static_cast<std::int32_t>(std::clamp<std::int64_t>(searchedUpTo_ - searchOffset_, 0, available));
    const std::int32_t r = searchWindow(bytes, length, window_ + position_ + skip, available - skip);
    if (r >= 0) {
      position_ += skip + r;
      searchOffset_ += skip + r;
      searchedUpTo_ = searchOffset_;
      return searchOffset_;
    }
    if (static_cast<std::size_t>(available) >= length)
      searchedUpTo_ =
          std::max<std::int64_t>(searchedUpTo_, searchOffset_ + available - static_cast<std::int64_t>(length) + 1);
    position_ += kStep;
    searchOffset_ += kStep;
    if (position_ >= fill_) return -1;
    refill();
  }
}

std::int32_t BlockScanner::readBytes(void* destination, std::int32_t count) {
  refill();
  if (count <= 0) return 0;
  auto* out = static_cast<std::uint8_t*>(destination);
  std::int32_t total = 0;
  while (count > 0 && fill_ > position_) {
    const std::int32_t n = std::min(count, fill_ - position_);
    std::memcpy(out, window_ + position_, static_cast<std::size_t>(n));
    out += n;
    position_ += n;
    total += n;
    count -= n;
    refill();
  }
  return total;
}

}  // namespace pulldex
