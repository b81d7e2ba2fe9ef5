// What a telecined video shows, field by field: how combed each pairing of
// neighbouring fields is, the field order the video has, the stretches
// where pictures can be told apart, and the pictures themselves.
//
// Pair p weaves fields p and p + 1. Of a frame's two fields, either order's
// pair 2k is the frame as it is; pair 2k + 1 weaves the frame's second field
// with the next frame's first, which depends on the order: both are
// measured, and the video's own order is found from them.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "video/combing.h"

namespace pulldex {

// The scores of every pairing of a video, as it was decoded.
struct FrameScores {
  std::int64_t frames = 0;  // the video's, whether scored or not
  // Frame k as it is, and woven with frame k + 1 as top field first (its
  // bottom lines, the next frame's top lines) and as bottom field first.
  std::vector<std::uint16_t> own, crossTop, crossBottom;
  // Where each was worst: the window's column and line, in steps of 8, in
  // the low and the high byte.
  std::vector<std::uint16_t> ownAt, crossTopAt, crossBottomAt;
  // Frames where one order's pairing is clearly cleaner than the other's,
  // and the scores of each order's pairings added up.
  std::int64_t votesTop = 0, votesBottom = 0;
  std::int64_t sumTop = 0, sumBottom = 0;

  // Notes the scores of frame k; `crossT`, `crossB` are -1 for the last frame.
  // Only the first `keep` frames' scores are kept; all are counted.
  void add(int ownScore, int crossT, int crossB, std::int64_t keep);
  void add(const CombScore& ownScore, const CombScore* crossT, const CombScore* crossB, std::int64_t keep);
  // Where pair p of one order was worst, in pixels: its window's corner.
  std::pair<int, int> worstAt(std::int64_t pair, bool topFirst) const;
};

// The video's field order as its pairings show it: top first, bottom
// first, or nothing (no motion that tells, or video whose every field is
// its own moment and whose pairings comb either way).
std::optional<bool> fieldOrderOf(const FrameScores& scores);

// Frames from `from` on, up to the next stretch's, in one field order.
struct OrderSpan {
  std::int64_t from = 0;
  bool topFirst = true;
};

// The field order stretch by stretch, for video edited from sources of
// both orders. Film's pairings tell the order frame by frame: a picture's
// own fields weave cleanly in the right order, pictures apart in the wrong
// one. A change of order is taken where enough frames in a row tell it
// that it outweighs their noise; where nothing tells, `fallback`.
std::vector<OrderSpan> fieldOrdersOf(const FrameScores& scores, bool fallback);
// Whether frame `frame` is top field first, of `orders` (not empty).
bool topFirstOf(const std::vector<OrderSpan>& orders, std::int64_t frame);

enum class Stretch : std::uint8_t {
  Film,        // pictures of two or three fields, told apart by combing
  Still,       // nothing moves: every pairing is clean
  Interlaced,  // every field is its own moment: no pairing is clean
};

// One picture: neighbouring fields that weave cleanly with each other.
struct Picture {
  std::int64_t first = 0, last = 0;  // fields
  // Two or three fields between two combed pairings, in film: a picture of
  // the film, whose showing can be counted.
  bool counted = false;
  std::int64_t fields() const { return last - first + 1; }
};

struct StretchSpan {
  std::int64_t from = 0, to = 0;  // fields
  Stretch kind = Stretch::Film;
};

// The video's fields grouped into pictures, in one field order.
class VideoPictures {
 public:
  // `limit`: the score above which a pair is combed, or -1 to judge each
  // pair against the pairs around it.
  VideoPictures(const FrameScores& scores, bool topFirst, int limit = -1)
      : VideoPictures(scores, std::vector<OrderSpan>{{0, topFirst}}, limit) {}
  // Each stretch of `orders` in its own order. The pair across a change
  // of order weaves two fields that were never neighbours.
  VideoPictures(const FrameScores& scores, std::vector<OrderSpan> orders, int limit = -1);

  std::int64_t fields() const { return fields_; }
  const std::vector<OrderSpan>& orders() const { return orders_; }
  // The order pair `pair` is woven in.
  bool topFirstAt(std::int64_t pair) const { return topFirstOf(orders_, pair / 2); }
  // Fields known in detail: those whose scores were kept.
  std::int64_t known() const { return static_cast<std::int64_t>(pictureOf_.size()); }
  int score(std::int64_t pair) const { return score_[static_cast<std::size_t>(clampPair(pair))]; }
  // Whether the pair weaves two moments in film, where that proves a
  // mistake; whether it weaves one picture there. A pair can be neither:
  // outside film, or combed in a way that proves nothing.
  bool combed(std::int64_t pair) const;
  bool clean(std::int64_t pair) const;
  // Whether the pair lies in film (not in a still or video stretch).
  bool inFilm(std::int64_t pair) const {
    return pair >= 0 && pair < static_cast<std::int64_t>(kind_.size()) &&
           kind_[static_cast<std::size_t>(pair)] == Stretch::Film;
  }
  // The picture a kept entry at `pair` shows, or -1: combed, in a stretch
  // that proves nothing, or past what is known. The video's last field has
  // no field after it: its frame is the video's last frame as it is.
  std::int64_t shows(std::int64_t pair) const;
  // The picture field f belongs to, or -1.
  std::int64_t pictureOf(std::int64_t field) const {
    return field >= 0 && field < known() ? pictureOf_[static_cast<std::size_t>(field)] : -1;
  }
  const std::vector<Picture>& pictures() const { return pictures_; }
  // Counted pictures wholly inside fields [from, to].
  std::int64_t countedWithin(std::int64_t from, std::int64_t to) const;
  // The pair inside picture `k` that weaves it best (the cleanest; the
  // first of equals).
  std::int64_t bestPair(std::int64_t k) const;
  // Fields alone in film, whose partner of their own picture was cut away
  // (at an edit): combed with the field before and the one after.
  const std::vector<std::int64_t>& orphans() const { return orphans_; }
  // The stretches, in order, that are not film.
  std::vector<StretchSpan> stretches(Stretch kind) const;

 private:
  std::int64_t clampPair(std::int64_t pair) const;

  std::int64_t fields_ = 0;
  std::vector<OrderSpan> orders_;
  std::vector<std::uint16_t> score_, limit_;  // per pair
  std::vector<Stretch> kind_;                 // per pair
  // Apart: two moments that prove no mistake, at the edge of video whose
  // every field is its own moment.
  enum class Verdict : std::uint8_t { Clean, Combed, Unclear, Apart };
  std::vector<Verdict> verdict_;         // per pair
  std::vector<std::int32_t> pictureOf_;  // per field
  std::vector<Picture> pictures_;
  std::vector<std::int64_t> orphans_;
  std::vector<std::int32_t> endedBefore_;  // counted pictures whose last field is before field f
};

}  // namespace pulldex
