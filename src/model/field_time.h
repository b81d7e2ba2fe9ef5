// What the list's entries mean in time. They are fields, two to a video
// frame: the AVI script names entry 25 as "12b". A kept entry is the first
// field of an output frame. Field i is at i / (2 × rate) seconds, with the
// rate the source video's frames a second.
#pragma once

#include <cstdint>
#include <string>

namespace pulldex {

struct FrameRate {
  std::int64_t num = 30000;
  std::int64_t den = 1001;
  // Fields a second.
  double fields() const { return 2.0 * static_cast<double>(num) / static_cast<double>(den); }
};

inline double fieldSeconds(std::int64_t field, FrameRate rate) {
  return static_cast<double>(field) * static_cast<double>(rate.den) / (2.0 * static_cast<double>(rate.num));
}

// The AVI script's name of a field: its frame and "a" or "b" (1200 is "600a").
inline std::string fieldName(std::int64_t field) { return std::to_string(field / 2) + (field % 2 ? "b" : "a"); }

// Video frames a list of `fields` entries covers.
inline std::int64_t videoFrames(std::int64_t fields) { return (fields + 1) / 2; }

// h:mm:ss.mmm
inline std::string clockTime(double seconds) {
  const auto ms = static_cast<std::int64_t>(seconds * 1000.0 + 0.5);
  std::string text = std::to_string(ms / 3600000) + ":00:00.000";
  char* p = text.data() + text.size() - 9;
  const std::int64_t parts[] = {ms / 60000 % 60, ms / 1000 % 60};
  for (const std::int64_t v : parts) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    p += 3;
  }
  const std::int64_t milli = ms % 1000;
  p[0] = static_cast<char>('0' + milli / 100);
  p[1] = static_cast<char>('0' + milli / 10 % 10);
  p[2] = static_cast<char>('0' + milli % 10);
  return text;
}

}  // namespace pulldex
