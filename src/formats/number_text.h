// Numbers as the outputs write them: with a fixed count of decimals.
#pragma once

#include <charconv>
#include <string>

namespace pulldex {

// The digits of `value` with exactly `decimals` decimals at `out` (room for
// 32 characters); the end.
inline char* appendFixed(char* out, double value, int decimals) {
  return std::to_chars(out, out + 32, value, std::chars_format::fixed, decimals).ptr;
}

inline std::string fixedText(double value, int decimals) {
  char text[32];
  return std::string(text, appendFixed(text, value, decimals));
}

// A rate in frames a second, as the texts show it: "23.976".
inline std::string rateText(double fps) { return fixedText(fps, 3); }

}  // namespace pulldex
