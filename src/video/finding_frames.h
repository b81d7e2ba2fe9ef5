// Small pictures of the frames a check's findings show, taken while the
// video is decoded, the one time it is: a user sees a combed frame before
// believing it. Only the frames that findings need are kept, and no more
// findings than asked for, the worst first.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "model/frame_list.h"
#include "video/pictures.h"

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
  // `limit`: how many findings at most keep their frames.
  FindingFrames(const FrameList& list, int width, int height, std::size_t limit, std::optional<bool> forcedOrder,
                bool givenOrder, int threshold);
  // Frame k, as it was decoded.
  void frame(std::int64_t k, const std::uint8_t* pixels);
  // Every pairing up to frame k's with the next frame is scored.
  void scored(std::int64_t k, const FrameScores& scores) { look(k, scores, false); }
  // The video ended after frame k.
  void ended(std::int64_t k, const FrameScores& scores) { look(k, scores, true); }
  // The picture of pair p woven in the order given, where its frames were kept.
  std::optional<Thumbnail> pair(std::int64_t p, bool topFirst) const;

 private:
  struct Candidate {
    int worth;
    std::int64_t first, last;  // the frames it keeps
  };
  // Judges the frames of the recent past, where the pairs around them are
  // all known, with the check's own rules at the list's own offset, and
  // keeps the frames of what it finds.
  void look(std::int64_t k, const FrameScores& scores, bool end);
  void keep(int worth, std::int64_t firstPair, std::int64_t lastPair);
  void release(const Candidate& c);
  static bool leastOnTop(const Candidate& a, const Candidate& b);

  const FrameList& list_;
  Thumbnails thumbnails_;
  std::size_t limit_;
  std::optional<bool> forcedOrder_;
  bool givenOrder_;
  int threshold_;
  std::vector<Thumbnail> ring_;                             // the recent frames, by frame modulo its size
  std::int64_t newest_ = -1;                                // the last frame in the ring
  std::int64_t frames_ = -1;                                // the video's, once it ended
  std::int64_t lookedUpTo_ = 0;                             // pairs before this are judged
  std::vector<Candidate> candidates_;                       // a heap, the least worth on top
  std::map<std::int64_t, std::pair<Thumbnail, int>> kept_;  // frame: its thumbnail, the candidates that need it
};

}  // namespace pulldex
