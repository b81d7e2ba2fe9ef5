#include "project/block_scanner.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pulldex {

namespace {

// Offset of the first occurrence of the marker in [start, start + available),
// or -1. Only bytes inside that range are read. Project files are full of
// names that start like the marker ("Video.…"), so candidates are those
// whose first and last bytes both match, 16 start positions at a time.
std::int32_t searchWindow(const std::uint8_t* marker, std::size_t length, const std::uint8_t* start,
                          std::int32_t available) {
  if (available < 0 || static_cast<std::size_t>(available) < length) return -1;
  const auto positions = static_cast<std::size_t>(available) - length + 1;
  std::size_t p = 0;
#ifdef __SSE2__
  if (length >= 2) {
    const __m128i first = _mm_set1_epi8(static_cast<char>(marker[0]));
    const __m128i last = _mm_set1_epi8(static_cast<char>(marker[length - 1]));
    for (; p + 16 <= positions; p += 16) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + p + length - 1));
      auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
      while (mask != 0) {
        const std::size_t q = p + static_cast<std::size_t>(__builtin_ctz(mask));
        if (std::memcmp(start + q + 1, marker + 1, length - 2) == 0) return static_cast<std::int32_t>(q);
        mask &= mask - 1;
      }
    }
  }
#endif
  for (; p < positions; ++p) {
    const auto* hit = static_cast<const std::uint8_t*>(std::memchr(start + p, marker[0], positions - p));
    if (hit == nullptr) return -1;
    p = static_cast<std::size_t>(hit - start);
    if (std::memcmp(hit + 1, marker + 1, length - 1) == 0) return static_cast<std::int32_t>(p);
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
