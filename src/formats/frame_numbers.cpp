#include "formats/frame_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "base/utf8.h"
#include "formats/avi_script.h"

namespace pulldex {

namespace {

// Lines gathered in a fixed buffer and written many at a time.
class LineBuffer {
 public:
  explicit LineBuffer(Sink& out) : out_(out) {}
  // Room for one more line of up to 64 bytes.
  char* room() {
    if (used_ + 64 > sizeof buffer_) flush();
    return buffer_ + used_;
  }
  void commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_); }
  bool finish() {
    flush();
    return ok_;
  }

 private:
  void flush() {
    ok_ = ok_ && out_.write(buffer_, used_);
    used_ = 0;
  }
  Sink& out_;
  char buffer_[1 << 16];
  std::size_t used_ = 0;
  bool ok_ = true;
};

char* appendTimestamp(char* p, std::int64_t i, FrameRate rate) {
  // i * 1000 * den / (2 * num), split so that nothing overflows: whole
  // milliseconds, then six rounded decimals of the remainder.
  const std::int64_t num = 2 * rate.num;
  const std::int64_t scaled = i * 1000 * rate.den;
  std::int64_t ms = scaled / num;
  const std::int64_t rest = scaled % num;
  std::int64_t micro = (rest * 2'000'000 + num) / (2 * num);
  if (micro == 1'000'000) {
    ++ms;
    micro = 0;
  }
  p = std::to_chars(p, p + 20, ms).ptr;
  *p++ = '.';
  char digits[8];
  char* end = std::to_chars(digits, digits + sizeof digits, micro).ptr;
  const auto n = static_cast<std::size_t>(end - digits);
  std::memset(p, '0', 6 - n);
  std::memcpy(p + 6 - n, digits, n);
  return p + 6;
}

}  // namespace

bool writeFrameNumbers(Sink& out, const FrameList& list, bool dropped, const std::string& comment) {
  if (!out.write("# " + commentText(comment) + "\n")) return false;
  LineBuffer lines(out);
  for (std::int32_t i = 0; i < list.count(); ++i) {
    if (list.isKept(i) == dropped) continue;
    char* p = lines.room();
    p = std::to_chars(p, p + 16, i).ptr;
    *p++ = '\n';
    lines.commit(p);
  }
  return lines.finish();
}

std::string timestampText(std::int64_t i, FrameRate rate) {
  char text[40];
  return std::string(text, static_cast<std::size_t>(appendTimestamp(text, i, rate) - text));
}

bool writeTimestamps(Sink& out, const FrameList& list, FrameRate rate) {
  if (!out.write(std::string_view("# timestamp format v2\n"))) return false;
  LineBuffer lines(out);
  for (std::int32_t i = 0; i < list.count(); ++i) {
    if (!list.isKept(i)) continue;
    char* p = appendTimestamp(lines.room(), i, rate);
    *p++ = '\n';
    lines.commit(p);
  }
  return lines.finish();
}

namespace {

// The moments each kept entry's frame is given in format v1, in fields from
// entry 0, one frame at a time. Frames of a periodic section's whole
// periods are evenly spaced at the pattern's rate, each within half a field
// of its field's moment: from the first one's moment where that holds (3:2
// film, video), else centred on the pattern's unevenness (2:3:3:2). Every
// other frame is at its field's moment.
class Placement {
 public:
  explicit Placement(const FrameList& list) : sections_(list) {}

  struct Frame {
    double at = 0;       // in fields
    double spacing = 0;  // to the next frame of the same periodic section, or 0 at its end and elsewhere
  };
  // The next frame; false after the last.
  bool next(Frame& f) {
    while (left_ == 0)
      if (!nextLine()) return false;
    --left_;
    f.at = start_ + static_cast<double>(index_++) * spacing_;
    f.spacing = left_ > 0 ? spacing_ : 0;
    return true;
  }

 private:
  bool nextLine() {
    PatternLine line;
    std::int64_t end = 0;
    if (!sections_.next(line, left_, end)) return false;
    index_ = 0;
    start_ = static_cast<double>(line.entry);
    spacing_ = 0;
    if (!line.periodic()) return true;
    // Every kept entry of a periodic section stands where its pattern puts
    // it, the last one too (its own gap may break the pattern, its place
    // does not).
    spacing_ = static_cast<double>(line.periodEntries()) / line.period;
    double low = 0, high = 0;
    for (int k = 0; k < line.period; ++k) {
      const double d = static_cast<double>(line.offset(k)) - k * spacing_;
      low = std::min(low, d);
      high = std::max(high, d);
    }
    if (high > 0.5 || low < -0.5) start_ += (low + high) / 2;
    return true;
  }

  PatternSections sections_;
  std::int64_t left_ = 0, index_ = 0;
  double start_ = 0, spacing_ = 0;
};

// A rate as format v1 writes it, six decimals, kept as the whole number of
// millionths it stands for: compared and added up as it is, written once
// for each stretch.
std::int64_t v1Rate(double fps) { return std::llround(fps * 1e6); }

std::string v1RateText(std::int64_t millionths) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(millionths / 1000000),
                static_cast<long long>(millionths % 1000000));
  return text;
}

// Walks the frames as format v1 times them and hands each stretch of one
// written rate to `emit(first, last, rate)`. mkvmerge gives a frame the sum
// of the durations before it, each 1 / its written rate: a stretch that
// must land at a moment is measured from that sum, so that the rounding of
// the written rates never adds up.
template <class Emit>
void v1Stretches(const FrameList& list, FrameRate rate, Emit&& emit) {
  const double fields = rate.fields();
  Placement placement(list);
  Placement::Frame frame, next;
  if (!placement.next(frame)) return;
  // Format v1 starts at 0: the first frame is there, whatever its moment,
  // and lasts until the next one's.
  if (frame.at != 0) frame.spacing = 0;
  frame.at = 0;
  double sum = 0;  // seconds, as mkvmerge adds them up
  std::int64_t index = 0, runStart = 0;
  std::int64_t runRate = 0;  // millionths of a frame a second; 0 before the first
  const auto add = [&](std::int64_t r) {
    if (r != runRate) {
      if (runRate > 0) emit(runStart, index - 1, runRate);
      runRate = r;
      runStart = index;
    }
    // As mkvmerge reads the written text back: the nearest double to it.
    sum += 1e6 / static_cast<double>(r);
    ++index;
  };
  for (bool more = placement.next(next); more; more = placement.next(next)) {
    if (frame.spacing > 0) {
      add(v1Rate(fields / frame.spacing));
    } else {
      // To the next frame's moment, from where this one really is.
      const double seconds = std::max(next.at / fields - sum, 1e-3);
      add(v1Rate(1.0 / seconds));
    }
    frame = next;
  }
  // The last frame lasts as its run does, or a video frame.
  add(runRate > 0 ? runRate : v1Rate(fields / 2));
  emit(runStart, index - 1, runRate);
}

}  // namespace

bool writeTimestampsV1(Sink& out, const FrameList& list, FrameRate rate) {
  // The rate that times the most frames is assumed; every other stretch
  // gets a line. Only stretches of two frames or more compete: single
  // frames each have rates of their own.
  std::map<std::int64_t, std::int64_t> frames;
  v1Stretches(list, rate, [&](std::int64_t first, std::int64_t last, std::int64_t fps) {
    if (last > first) frames[fps] += last - first + 1;
  });
  std::int64_t assume = v1Rate(rate.fields() / 2);
  std::int64_t most = 0;
  for (const auto& [fps, n] : frames)
    if (n > most) {
      most = n;
      assume = fps;
    }
  if (!out.write("# timestamp format v1\nassume " + v1RateText(assume) + "\n")) return false;
  LineBuffer lines(out);
  v1Stretches(list, rate, [&](std::int64_t first, std::int64_t last, std::int64_t r) {
    if (r == assume) return;
    const std::string fps = v1RateText(r);
    char* p = lines.room();
    p = std::to_chars(p, p + 16, first).ptr;
    *p++ = ',';
    p = std::to_chars(p, p + 16, last).ptr;
    *p++ = ',';
    std::memcpy(p, fps.data(), fps.size());
    p += fps.size();
    *p++ = '\n';
    lines.commit(p);
  });
  return lines.finish();
}

}  // namespace pulldex
