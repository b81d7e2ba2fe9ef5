#include "formats/frame_numbers.h"

#include <charconv>
#include <cstring>

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

char* appendTimestamp(char* p, std::int64_t i, std::int64_t num, std::int64_t den) {
  // i * 1000 * den / num, split so that nothing overflows: whole
  // milliseconds, then six rounded decimals of the remainder.
  const std::int64_t scaled = i * 1000 * den;
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

std::string timestampText(std::int64_t i, std::int64_t num, std::int64_t den) {
  char text[40];
  return std::string(text, static_cast<std::size_t>(appendTimestamp(text, i, num, den) - text));
}

bool writeTimestamps(Sink& out, const FrameList& list, std::int64_t num, std::int64_t den) {
  if (!out.write(std::string_view("# timestamp format v2\n"))) return false;
  LineBuffer lines(out);
  for (std::int32_t i = 0; i < list.count(); ++i) {
    if (!list.isKept(i)) continue;
    char* p = appendTimestamp(lines.room(), i, num, den);
    *p++ = '\n';
    lines.commit(p);
  }
  return lines.finish();
}

}  // namespace pulldex
