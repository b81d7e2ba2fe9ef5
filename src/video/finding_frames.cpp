#include "video/finding_frames.h"

#include <algorithm>
#include <cmath>

namespace pulldex {

namespace {

constexpr int kWidth = 240;  // a thumbnail's width, about

}  // namespace

Thumbnails::Thumbnails(int width, int height) : width_(width), height_(height) {
  step_ = std::max(1, static_cast<int>(std::lround(static_cast<double>(width) / kWidth)));
  lineStep_ = step_ % 2 ? step_ : step_ + 1;
}

Thumbnail Thumbnails::of(const std::uint8_t* frame) const {
  Thumbnail t{width_ / step_, (height_ + lineStep_ - 1) / lineStep_, {}};
  t.pixels.resize(static_cast<std::size_t>(t.width) * static_cast<std::size_t>(t.height));
  for (int r = 0; r < t.height; ++r) {
    const std::uint8_t* line = frame + static_cast<std::size_t>(r * lineStep_) * static_cast<std::size_t>(width_);
    for (int c = 0; c < t.width; ++c) {
      int sum = 0;
      for (int i = 0; i < step_; ++i) sum += line[c * step_ + i];
      t.pixels[static_cast<std::size_t>(r * t.width + c)] = static_cast<std::uint8_t>((sum + step_ / 2) / step_);
    }
  }
  return t;
}

Thumbnail Thumbnails::woven(const Thumbnail& first, const Thumbnail& second, bool topFirst) const {
  // Line r of a thumbnail is line r × lineStep of the frame, of the frame's
  // top field where r is even: top field first, the second frame gives it.
  Thumbnail t = first;
  for (int r = 0; r < t.height; ++r)
    if ((r % 2 == 0) == topFirst)
      std::copy_n(second.pixels.begin() + r * t.width, t.width, t.pixels.begin() + r * t.width);
  return t;
}

FindingFrames::FindingFrames(int width, int height, const std::vector<std::int64_t>& pairs)
    : thumbnails_(width, height) {
  for (const std::int64_t p : pairs) {
    if (p < 0) continue;
    kept_.try_emplace(p / 2);
    if (p % 2) kept_.try_emplace(p / 2 + 1);
  }
}

void FindingFrames::frame(std::int64_t k, const std::uint8_t* pixels) {
  const auto at = kept_.find(k);
  if (at != kept_.end()) at->second = thumbnails_.of(pixels);
}

std::optional<Thumbnail> FindingFrames::pair(std::int64_t p, bool topFirst) const {
  if (p < 0) return std::nullopt;
  const auto first = kept_.find(p / 2);
  if (first == kept_.end() || first->second.pixels.empty()) return std::nullopt;
  if (p % 2 == 0) return first->second;
  // The video's last field: its frame is the last frame as it is.
  if (p / 2 + 1 == frames_) return first->second;
  const auto second = kept_.find(p / 2 + 1);
  if (second == kept_.end() || second->second.pixels.empty()) return std::nullopt;
  return thumbnails_.woven(first->second, second->second, topFirst);
}

}  // namespace pulldex
