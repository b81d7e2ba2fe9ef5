#include "formats/avi_script.h"

#include <algorithm>
#include <cstring>

#include "base/file.h"

namespace pulldex {

namespace {

// Writes the decimal digits of `value` at `out` and returns the end: two
// digits at a time from the last one, as the script writes two numbers a line
// and millions of lines for a long video.
char* appendDecimal(char* out, std::uint32_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  static constexpr std::uint32_t kTens[] = {10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
  int length = 1;
  while (length < 10 && value >= kTens[length - 1]) ++length;
  char* p = out + length;
  while (value >= 100) {
    const std::uint32_t pair = (value % 100) * 2;
    value /= 100;
    *--p = kPairs[pair + 1];
    *--p = kPairs[pair];
  }
  if (value >= 10) {
    *--p = kPairs[value * 2 + 1];
    *--p = kPairs[value * 2];
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return out + length;
}

// A decimal number kept as text, for the two numbers of a line, which only
// grow: stepping up by a little changes a digit or two, where formatting anew
// costs a division per pair of digits, millions of times for a long video.
class DecimalCounter {
 public:
  void advanceTo(std::uint32_t value) {
    if (value - value_ > kMaxSteps) {
      value_ = value;
      const DecimalText text(value);
      start_ = sizeof digits_ - text.view().size();
      std::memset(digits_, '0', start_);
      std::memcpy(digits_ + start_, text.view().data(), text.view().size());
      return;
    }
    for (; value_ < value; ++value_) increment();
  }
  char* append(char* out) const {
    for (std::size_t i = start_; i < sizeof digits_; ++i) *out++ = digits_[i];
    return out;
  }

 private:
  static constexpr std::uint32_t kMaxSteps = 32;

  void increment() {
    std::size_t i = sizeof digits_ - 1;
    while (digits_[i] == '9') digits_[i--] = '0';
    ++digits_[i];
    start_ = std::min(start_, i);
  }

  // Right-aligned, '0' before the first digit.
  char digits_[10] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
  std::size_t start_ = sizeof digits_ - 1;
  std::uint32_t value_ = 0;
};

}  // namespace

DecimalText::DecimalText(std::uint32_t value)
    : length_(static_cast<std::size_t>(appendDecimal(digits_, value) - digits_)) {}

std::string proposedScriptName(std::string projectPath) {
  const std::size_t n = projectPath.size();
  if (n >= 4 && projectPath[n - 4] == '.') projectPath.replace(n - 3, 3, "asc");
  return projectPath;
}

namespace {

// The longest line: an 11-character start field, an 11-character pattern, a
// 10-digit kept index, two TABs and CR LF.
constexpr std::size_t kMaxLine = 64;

// A literal without its NUL; its size is known here, so the copy is inline.
template <std::size_t N>
char* appendText(char* out, const char (&text)[N]) {
  std::memcpy(out, text, N - 1);
  return out + N - 1;
}

// "1" followed by gap "0"s, for each gap.
char* appendGaps(char* out, const std::int64_t* gaps, int n) {
  for (int k = 0; k < n; ++k) {
    *out++ = '1';
    for (std::int64_t z = 0; z < gaps[k]; ++z) *out++ = '0';
  }
  return out;
}

// Walks the kept entries along their chain and keeps the gaps that a
// look-ahead measured: they are the gaps of the next entries, so each gap is
// measured once, however far the look-ahead reaches.
class Chain {
 public:
  explicit Chain(const FrameList& list) : list_(list), position_(list.gap(-1)), next_(position_) {}

  bool done() const { return position_ >= list_.count(); }
  // The current kept entry.
  std::int64_t position() const { return position_; }
  // Gap k (0 to 7) of the chain from the current entry.
  std::int64_t gap(int k) {
    for (; known_ <= k; ++known_) {
      gaps_[known_] = list_.gap(next_);
      next_ += gaps_[known_] + 1;
    }
    return gaps_[k];
  }
  // On to the next kept entry.
  void advance() {
    position_ += gap(0) + 1;
    std::copy(gaps_ + 1, gaps_ + known_, gaps_);
    --known_;
  }

 private:
  const FrameList& list_;
  std::int64_t position_;
  std::int64_t next_;  // the chain position after the known gaps
  std::int64_t gaps_[8] = {};
  int known_ = 0;
};

// Walks the kept entries and hands the finished lines to `emit`, many lines
// at a time.
template <class Emit>
void generateScript(const FrameList& list, Emit&& emit) {
  // The period of gaps that the next kept entries are expected to follow:
  // period[t] is the gap the next kept entry must have. None when m is 0.
  std::int64_t period[4] = {};
  int m = 0;
  int t = 0;
  std::uint32_t keptIndex = 0;
  DecimalCounter start;
  DecimalCounter kept;
  char batch[1 << 16];
  char* p = batch;

  for (Chain chain(list); !chain.done(); chain.advance()) {
    const std::int64_t i = chain.position();
    const std::int64_t g = chain.gap(0);
    const std::uint32_t k = keptIndex++;
    if (m > 0) {
      if (g == period[t]) {
        t = (t + 1) % m;
        continue;
      }
      m = 0;
      if (g >= 5) continue;
    }

    if (p + kMaxLine > batch + sizeof batch) {
      emit(std::string_view(batch, static_cast<std::size_t>(p - batch)));
      p = batch;
    }
    start.advanceTo(static_cast<std::uint32_t>(i / 2));
    p = start.append(p);
    p = i % 2 == 0 ? appendText(p, "a\t") : appendText(p, "b\t");
    if (g >= 5) {
      p = appendText(p, "1 0");
    } else {
      // Gaps below 5 keep every pattern within its 11 characters.
      std::int64_t gaps[8];
      for (int n = 0; n < 4; ++n) gaps[n] = chain.gap(n);
      const bool cycleSum = gaps[0] + gaps[1] + gaps[2] + gaps[3] == 6 && !(gaps[2] == gaps[0] && gaps[3] == gaps[1]);
      if (cycleSum)
        for (int n = 4; n < 8; ++n) gaps[n] = chain.gap(n);
      if (cycleSum && gaps[4] == gaps[0] && gaps[5] == gaps[1] && gaps[6] == gaps[2] && gaps[7] == gaps[3]) {
        m = 4;
        t = 1;
      } else if (gaps[1] == gaps[0]) {
        m = 1;
        t = 0;
      } else if ((gaps[1] == gaps[0] + 1 || gaps[1] == gaps[0] - 1) && gaps[2] == gaps[0]) {
        m = 2;
        t = 1;
      }
      if (m > 0) {
        p = appendGaps(p, gaps, m);
        for (int q = 0; q < m; ++q) period[q] = gaps[q];
      } else {
        p = g == 0 ? appendText(p, "1") : appendText(p, "1 0");
      }
    }
    *p++ = '\t';
    kept.advanceTo(k);
    p = kept.append(p);
    p = appendText(p, "\r\n");
  }
  if (p > batch) emit(std::string_view(batch, static_cast<std::size_t>(p - batch)));
}

}  // namespace

std::string aviScript(const FrameList& list) {
  std::string text;
  generateScript(list, [&text](std::string_view line) { text += line; });
  return text;
}

Error writeAviScript(const std::string& path, const FrameList& list) {
  AtomicOutput out;
  if (!out.open(path)) return Error::CreateScript;
  bool ok = true;
  generateScript(list, [&](std::string_view line) { ok = ok && out.write(line.data(), line.size()); });
  return ok && out.commit() ? Error::None : Error::WriteFile;
}

}  // namespace pulldex
