#include "formats/frame_numbers.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

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
  if (!out.write("# " + comment + "\n")) return false;
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

bool writeTimestampsV1(Sink& out, const FrameList& list, FrameRate rate) {
  // Each section: where it starts, its kept entries, and its rate as written.
  struct Stretch {
    std::int64_t entries = 0;
    std::int64_t firstKept = 0, kept = 0;
    std::string fps;
  };
  std::vector<Stretch> stretches;
  std::vector<std::pair<std::int64_t, std::uint32_t>> starts;  // entry, kept index
  for (const PatternLine& line : patternLines(list)) starts.emplace_back(line.entry, line.keptIndex);
  std::int64_t totalKept = 0;
  for (const FrameEntry& e : list.entries) totalKept += e.state == Kept;
  for (std::size_t s = 0; s < starts.size(); ++s) {
    const bool last = s + 1 == starts.size();
    const std::int64_t from = s == 0 ? 0 : starts[s].first;
    const std::int64_t to = last ? list.count() : starts[s + 1].first;
    const std::int64_t kept = (last ? totalKept : starts[s + 1].second) - starts[s].second;
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.6f", static_cast<double>(kept) * rate.fields() / static_cast<double>(to - from));
    // Sections of one rate in a row are one stretch.
    if (!stretches.empty() && stretches.back().fps == fps) {
      stretches.back().entries += to - from;
      stretches.back().kept += kept;
    } else {
      stretches.push_back({to - from, starts[s].second, kept, fps});
    }
  }
  std::map<std::string, std::int64_t> cover;
  for (const Stretch& s : stretches) cover[s.fps] += s.entries;
  std::string assume = "29.970030";
  std::int64_t most = -1;
  for (const auto& [fps, entries] : cover)
    if (entries > most) {
      most = entries;
      assume = fps;
    }
  std::string text = "# timestamp format v1\nassume " + assume + "\n";
  for (const Stretch& s : stretches)
    if (s.fps != assume && s.kept > 0)
      text += std::to_string(s.firstKept) + "," + std::to_string(s.firstKept + s.kept - 1) + "," + s.fps + "\n";
  return out.write(text);
}

}  // namespace pulldex
