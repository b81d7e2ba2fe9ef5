// Small pictures of the frames a check's findings show: a user sees a
// combed frame before believing it. They are taken once the findings are
// known, in a second pass over the video, of the frames those findings
// name and no others.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace pulldex {

// A grey picture, its lines packed.
struct Thumbnail {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
};

// Frames made about 240 pixels wide: each group of `step` columns averaged,
// one line in `lineStep` taken. That step is odd, so the lines taken come
// from both fields in turn, and a comb stays a comb.
class Thumbnails {
 public:
  Thumbnails(int width, int height);
  Thumbnail of(const std::uint8_t* frame) const;
  // Frame k woven with frame k + 1 in the given order (its thumbnail
  // `first`, the next one's `second`), as thumbnails.
  Thumbnail woven(const Thumbnail& first, const Thumbnail& second, bool topFirst) const;

 private:
  int width_, height_, step_, lineStep_;
};

class FindingFrames {
 public:
  // The frames that pairs `pairs` of the video weave (frame p / 2, and
  // p / 2 + 1 where p is odd).
  FindingFrames(int width, int height, const std::vector<std::int64_t>& pairs);
  // Frame k, as it was decoded: kept where it is wanted.
  void frame(std::int64_t k, const std::uint8_t* pixels);
  // The video had `frames` frames.
  void ended(std::int64_t frames) { frames_ = frames; }
  // The picture of pair p woven in the order given, where its frames were kept.
  std::optional<Thumbnail> pair(std::int64_t p, bool topFirst) const;

 private:
  Thumbnails thumbnails_;
  std::map<std::int64_t, Thumbnail> kept_;  // by frame; empty until it is decoded
  std::int64_t frames_ = -1;
};

}  // namespace pulldex
