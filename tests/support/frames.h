// Grey frames made by hand, for the check's tests: a textured background
// with a bright square, which moves where a picture moves.
#pragma once

#include <cstdint>
#include <vector>

namespace pulldex::testing {

constexpr int kFrameWidth = 64, kFrameHeight = 48;
using Frame = std::vector<std::uint8_t>;

// The square's left edge at `x`.
inline Frame picture(int x) {
  Frame p(kFrameWidth * kFrameHeight);
  for (int r = 0; r < kFrameHeight; ++r)
    for (int c = 0; c < kFrameWidth; ++c)
      p[r * kFrameWidth + c] =
          static_cast<std::uint8_t>(c >= x && c < x + 16 && r >= 8 && r < 40 ? 230 : 40 + (c * 7 + r * 3) % 20);
  return p;
}

}  // namespace pulldex::testing
