#include "project/block_scanner.h"

#include <algorithm>
#include <cstring>

#include "project/marker_search.h"

namespace pulldex {

BlockScanner::BlockScanner(InputFile& file) : file_(file), buffer_(makePageBuffer<std::uint8_t>(kBufferSize)) {
  fillWindow();
}

std::int32_t BlockScanner::readFile(std::uint8_t* into, std::int32_t n) {
  const std::int64_t got = file_.read(into, static_cast<std::size_t>(n));
  if (got < 0) {
    ended_ = failed_ = true;
    return 0;
  }
  if (got < n) ended_ = true;
  return static_cast<std::int32_t>(got);
}

void BlockScanner::fillWindow() {
  if (ended_ || fill_ - position_ >= kWindowSize) return;
  // The unconsumed bytes, less than one window, go to the front; the rest
  // of the buffer is read behind them in one go.
  const std::int32_t kept = fill_ - position_;
  std::memmove(buffer_.get(), buffer_.get() + position_, static_cast<std::size_t>(kept));
  bufferOffset_ += position_;
  position_ = 0;
  fill_ = kept + readFile(buffer_.get() + kept, kBufferSize - kept);
}

std::int64_t BlockScanner::findMarker(const char* marker) {
  int which = 0;
  return findEither(marker, nullptr, which);
}

std::int64_t BlockScanner::findEither(const char* first, const char* second, int& which) {
  const char* const markers[2] = {first, second};
  const std::size_t lengths[2] = {std::strlen(first), second ? std::strlen(second) : 0};
  const std::size_t longest = std::max(lengths[0], lengths[1]);
  const MarkerSearchFunction search = markerSearches().front().find;
  // Pass after pass over one window, each a step further on; consecutive
  // windows overlap by half, so a marker across the end of one lies wholly
  // in the next. The shared half was searched already and is skipped.
  for (;;) {
    fillWindow();
    const std::int32_t available = std::min(kWindowSize, fill_ - position_);
    const std::int64_t windowOffset = bufferOffset_ + position_;
    const auto skip = static_cast<std::int32_t>(std::clamp<std::int64_t>(searchedUpTo_ - windowOffset, 0, available));
    // A window no fuller than one step was the file's last.
    const bool last = available <= kStep;
    std::int32_t hit = -1;
    for (int m = 0; m < (second ? 2 : 1); ++m) {
      const std::int32_t r = search(reinterpret_cast<const std::uint8_t*>(markers[m]), lengths[m],
                                    buffer_.get() + position_ + skip, available - skip);
      if (r >= 0 && (hit < 0 || r < hit)) {
        hit = r;
        which = m;
      }
    }
    // A hit counts once no marker could start before it and run past the
    // window's end, unseen; the next window holds both.
    if (hit >= 0 && (last || second == nullptr ||
                     static_cast<std::size_t>(skip + hit) + longest <= static_cast<std::size_t>(available))) {
      position_ += skip + hit;
      searchedUpTo_ = bufferOffset_ + position_;
      return searchedUpTo_;
    }
    if (static_cast<std::size_t>(available) >= longest)
      searchedUpTo_ =
          std::max<std::int64_t>(searchedUpTo_, windowOffset + available - static_cast<std::int64_t>(longest) + 1);
    if (last) {
      position_ = fill_;
      return -1;
    }
    position_ += kStep;
  }
}

std::int32_t BlockScanner::available(const std::uint8_t*& bytes) {
  fillWindow();
  bytes = buffer_.get() + position_;
  return fill_ - position_;
}

std::int32_t BlockScanner::readBytes(void* destination, std::int32_t count) {
  auto* out = static_cast<std::uint8_t*>(destination);
  std::int32_t total = 0;
  while (count > 0) {
    if (position_ >= fill_) {
      fillWindow();
      if (position_ >= fill_) break;
    }
    const std::int32_t n = std::min(count, fill_ - position_);
    std::memcpy(out, buffer_.get() + position_, static_cast<std::size_t>(n));
    out += n;
    position_ += n;
    total += n;
    count -= n;
  }
  return total;
}

}  // namespace pulldex
