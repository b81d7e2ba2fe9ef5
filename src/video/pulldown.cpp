#include "video/pulldown.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace pulldex {

const char* pulldownName(Pulldown p) {
  switch (p) {
    case Pulldown::None:
      return "none";
    case Pulldown::Applied:
      return "applied";
    case Pulldown::Ignored:
      return "ignored";
  }
  return "";
}

Pulldown pulldownFor(std::int64_t entries, std::int64_t shown, std::int64_t coded, int fieldOperation,
                     std::optional<bool> asked) {
  if (shown == coded) return Pulldown::None;
  if (asked) return *asked ? Pulldown::Applied : Pulldown::Ignored;
  if (fieldOperation == 1 || fieldOperation == 2) return Pulldown::Ignored;
  // The nearer; of two alike, the flags applied, as most readers do.
  return std::llabs(entries - shown) <= std::llabs(entries - coded) ? Pulldown::Applied : Pulldown::Ignored;
}

PulldownWeaver::PulldownWeaver(int width, int height, bool firstTop)
    : width_(width),
      height_(height),
      nextTop_(firstTop),
      frame_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

void PulldownWeaver::field(const std::uint8_t* picture, bool top) {
  if (!half_) current_ = target_ ? target_() : frame_.data();
  const auto w = static_cast<std::size_t>(width_);
  for (int y = top ? 0 : 1; y < height_; y += 2)
    std::memcpy(current_ + static_cast<std::size_t>(y) * w, picture + static_cast<std::size_t>(y) * w, w);
}

void PulldownWeaver::add(const std::uint8_t* picture, int fields, const Emit& emit) {
  fields = std::clamp(fields, 1, 6);
  for (int f = 0; f < fields; ++f) {
    field(picture, nextTop_);
    nextTop_ = !nextTop_;
    if (half_) emit(current_);
    half_ = !half_;
  }
}

void PulldownWeaver::finish(const std::uint8_t* lastPicture, const Emit& emit) {
  if (!half_ || !lastPicture) return;
  field(lastPicture, nextTop_);
  nextTop_ = !nextTop_;
  half_ = false;
  emit(current_);
}

int fieldsBetween(std::int64_t pts, std::int64_t nextPts, FrameRate timeBase, FrameRate rate) {
  if (nextPts <= pts || timeBase.num <= 0 || timeBase.den <= 0 || rate.num <= 0 || rate.den <= 0) return 2;
  // (next - pts) × tb seconds × 2 × rate fields a second.
  const double fields = static_cast<double>(nextPts - pts) * static_cast<double>(timeBase.num) * 2.0 *
                        static_cast<double>(rate.num) /
                        (static_cast<double>(timeBase.den) * static_cast<double>(rate.den));
  return static_cast<int>(std::clamp<long long>(std::llround(fields), 1, 6));
}

int lastPictureFields(std::int64_t packetsShown, std::int64_t shownBefore) {
  const std::int64_t rest = packetsShown - shownBefore;
  return rest >= 2 && rest <= 3 ? static_cast<int>(rest) : 2;
}

namespace {

// The number after `key` in `line`, which may be padded with blanks.
std::optional<std::int64_t> numberAfter(const std::string& line, const char* key, bool& absent) {
  absent = false;
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return std::nullopt;
  const char* p = line.c_str() + at + std::strlen(key);
  while (*p == ' ') ++p;
  if (std::strncmp(p, "NOPTS", 5) == 0) {
    absent = true;
    return std::nullopt;
  }
  char* end = nullptr;
  const long long v = std::strtoll(p, &end, 10);
  if (end == p) return std::nullopt;
  return v;
}

}  // namespace

std::optional<ShownFrame> parseShowinfo(const std::string& line) {
  if (line.find("showinfo") == std::string::npos) return std::nullopt;
  bool absent = false;
  const std::optional<std::int64_t> n = numberAfter(line, "] n:", absent);
  if (!n || *n < 0) return std::nullopt;
  ShownFrame f{*n, numberAfter(line, " pts:", absent)};
  if (!f.pts && !absent) return std::nullopt;
  return f;
}

std::optional<FrameRate> parseShowinfoTimeBase(const std::string& line) {
  const std::size_t at = line.find("config in time_base:");
  if (at == std::string::npos) return std::nullopt;
  long long num = 0, den = 0;
  if (std::sscanf(line.c_str() + at + 20, " %lld/%lld", &num, &den) != 2 || num <= 0 || den <= 0) return std::nullopt;
  return FrameRate{num, den};
}

void PacketCounter::line(const std::string& text) {
  // "0,          0, -9223372036854775808,    60060,    27640, 0xb58b388f"
  if (text.empty() || text[0] == '#') return;
  long long stream = 0, dts = 0, pts = 0, duration = 0;
  if (std::sscanf(text.c_str(), "%lld, %lld, %lld, %lld,", &stream, &dts, &pts, &duration) != 4 || stream != 0 ||
      duration <= 0)
    return;
  ++durations_[duration];
}

PacketFields PacketCounter::result() const {
  PacketFields r;
  if (durations_.empty()) return r;
  std::int64_t step = 0;
  for (const auto& [d, n] : durations_) step = std::gcd(step, d);
  // The shortest shows two fields, unless the durations step by half of it
  // (2 and 3 fields).
  const std::int64_t shortest = durations_.begin()->first;
  const std::int64_t field = shortest >= 2 * step ? step : std::max<std::int64_t>(shortest / 2, 1);
  for (const auto& [d, n] : durations_) {
    r.pictures += n;
    r.shown += n * std::max<std::int64_t>(1, (d + field / 2) / field);
  }
  return r;
}

}  // namespace pulldex
