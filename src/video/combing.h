// How combed a frame woven from two fields looks, judged where it is worst.
// A pixel is combed where its line differs from both lines next to it (which
// come from the other field) in the same direction, by more than 9 grey
// levels each, where the lines of its own field do not explain it
// (|above2 + 4 × it + below2 − 3 × (above + below)| > 6 × 9, which an edge
// or a thin line of one field does not pass), and where the picture moves
// (fields of one moment, or a still picture, cannot comb). It counts where
// the pixels above and below it are combed too, as they are all down a real
// comb. A frame's score is the count in its worst 16 × 16 window, the
// windows on a grid of 8: a small object that moves is seen however large
// and still the rest of the picture is.
#pragma once

#include <cstdint>
#include <vector>

#include "video/calibration.h"

namespace pulldex {

inline constexpr int kCombPixelThreshold = calibration::kCombPixel;    // grey levels, from 0 to 255
inline constexpr int kCombMotionThreshold = calibration::kCombMotion;  // grey levels a pixel must change to move
inline constexpr int kCombWindow = 16;                                 // the window's side, in pixels
inline constexpr int kCombScoreMax = kCombWindow * kCombWindow;

struct CombScore {
  int worst = 0;     // combed pixels in the worst window, 0 to kCombScoreMax
  int x = 0, y = 0;  // that window's top left corner
};

class CombMeter {
 public:
  CombMeter(int width, int height);
  // The score of the frame whose even lines (0, 2, 4, …) are those of `even`
  // and whose odd lines are those of `odd`, both width × height pictures with
  // rows packed. A pixel moves where `even` differs there from `before` or
  // from `after`: pass the other picture for both when the two differ, the
  // frames around it when the frame is one picture (then `even` == `odd`).
  CombScore score(const std::uint8_t* even, const std::uint8_t* odd, const std::uint8_t* before,
                  const std::uint8_t* after);

 private:
  int width_, height_;
  std::vector<std::uint8_t> flags_;          // of five lines in turn
  std::vector<std::int32_t> cells_, above_;  // counts of 8 × 8 cells: this band of lines, the one before
};

}  // namespace pulldex
