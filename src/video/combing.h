// How combed a frame woven from two fields looks. A pixel is combed where
// its line differs from both lines next to it (which come from the other
// field) in the same direction, by more than a threshold each, where the
// lines of its own field do not explain it (|above2 + 4 × it + below2 −
// 3 × (above + below)| > 6 × threshold, which an edge or a thin line of one
// field does not pass), where the lines above and below it are combed too
// (as they are all down a real comb) and where the picture moves (fields
// of one moment, or a still picture, cannot comb). A frame's score is its
// share of combed pixels, in pixels per 10,000: telecined film woven from
// two pictures scores tens to hundreds, from one picture a few at most.
#pragma once

#include <cstdint>
#include <vector>

namespace pulldex {

inline constexpr int kCombPixelThreshold = 12;  // grey levels, from 0 to 255
inline constexpr int kCombMotionThreshold = 8;  // grey levels a pixel must change to move
inline constexpr int kCombScoreMax = 10000;

class CombMeter {
 public:
  CombMeter(int width, int height);
  // The score of the frame whose even lines (0, 2, 4, …) are those of `even`
  // and whose odd lines are those of `odd`, both width × height pictures with
  // rows packed. A pixel moves where `even` differs there from `before` or
  // from `after`: pass the other picture for both when the two differ, the
  // frames around it when the frame is one picture (then `even` == `odd`).
  int score(const std::uint8_t* even, const std::uint8_t* odd, const std::uint8_t* before, const std::uint8_t* after);

 private:
  int width_, height_;
  std::vector<std::uint8_t> flags_;  // of three lines in turn
};

}  // namespace pulldex
