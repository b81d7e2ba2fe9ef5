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
      start_ = kDigits - text.view().size();
      std::memset(digits_, '0', start_);
      std::memcpy(digits_ + start_, text.view().data(), text.view().size());
      return;
    }
    for (; value_ < value; ++value_) increment();
  }
  // Copies a fixed 10 bytes, which is one move, and returns the end of the
  // digits: the caller has room for them and overwrites what follows.
  char* append(char* out) const {
    std::memcpy(out, digits_ + start_, kDigits);
    return out + (kDigits - start_);
  }

 private:
  static constexpr std::uint32_t kMaxSteps = 32;
  static constexpr std::size_t kDigits = 10;

  void increment() {
    std::size_t i = kDigits - 1;
    while (digits_[i] == '9') digits_[i--] = '0';
    ++digits_[i];
    start_ = std::min(start_, i);
  }

  // Right-aligned in the first 10 bytes, '0' before the first digit; the
  // rest is room for the fixed-size copy.
  char digits_[2 * kDigits] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
  std::size_t start_ = kDigits - 1;
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
// 10-digit kept index, two TABs and CR LF; with room for the fixed-size
// copies that run past the end of a field.
constexpr std::size_t kMaxLine = 64;

// A literal without its NUL; its size is known here, so the copy is inline.
template <std::size_t N>
char* appendText(char* out, const char (&text)[N]) {
  std::memcpy(out, text, N - 1);
  return out + N - 1;
}

// The pattern field. Gaps below 5 keep it within its 11 characters.
char* appendPattern(char* out, const PatternLine& line) {
  if (line.kind == PatternKind::Single) return appendText(out, "1");
  if (line.kind == PatternKind::Irregular) return appendText(out, "1 0");
  // No gap of a period exceeds 6 (a cycle's four sum to 6): "1" and six "0"
  // are written, and the end moves on by as many as belong.
  for (int k = 0; k < line.period; ++k) {
    std::memcpy(out, "1000000", 7);
    out += line.gaps[k] + 1;
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

}  // namespace

std::string patternText(const PatternLine& line) {
  char text[kMaxLine];
  return std::string(text, static_cast<std::size_t>(appendPattern(text, line) - text));
}

struct PatternWalker::State {
  explicit State(const FrameList& list) : chain(list) {}
  Chain chain;
  // The period of gaps that the next kept entries are expected to follow:
  // period[t] is the gap the next kept entry must have. None when m is 0.
  std::int64_t period[4] = {};
  int m = 0;
  int t = 0;
  std::uint32_t keptIndex = 0;
};

PatternWalker::PatternWalker(const FrameList& list) : state_(std::make_unique<State>(list)) {}
PatternWalker::~PatternWalker() = default;

std::uint32_t PatternWalker::keptSoFar() const { return state_->keptIndex; }

std::size_t PatternWalker::next(PatternLine* out, std::size_t room) {
  State& s = *state_;
  Chain& chain = s.chain;
  std::size_t n = 0;
  for (; n < room && !chain.done(); chain.advance()) {
    const std::int64_t g = chain.gap(0);
    const std::uint32_t k = s.keptIndex++;
    if (s.m > 0) {
      if (g == s.period[s.t]) {
        s.t = (s.t + 1) % s.m;
        continue;
      }
      s.m = 0;
      if (g >= 5) continue;
    }
    PatternLine& line = out[n++];
    line.entry = chain.position();
    line.keptIndex = k;
    line.period = 0;
    if (g >= 5) {
      line.kind = PatternKind::Irregular;
      continue;
    }
    std::int64_t gaps[8];
    for (int q = 0; q < 4; ++q) gaps[q] = chain.gap(q);
    const bool cycleSum = gaps[0] + gaps[1] + gaps[2] + gaps[3] == 6 && !(gaps[2] == gaps[0] && gaps[3] == gaps[1]);
    if (cycleSum)
      for (int q = 4; q < 8; ++q) gaps[q] = chain.gap(q);
    if (cycleSum && gaps[4] == gaps[0] && gaps[5] == gaps[1] && gaps[6] == gaps[2] && gaps[7] == gaps[3]) {
      line.kind = PatternKind::Cycle;
      s.m = 4;
      s.t = 1;
    } else if (gaps[1] == gaps[0]) {
      line.kind = PatternKind::Run;
      s.m = 1;
      s.t = 0;
    } else if ((gaps[1] == gaps[0] + 1 || gaps[1] == gaps[0] - 1) && gaps[2] == gaps[0]) {
      line.kind = PatternKind::Alternation;
      s.m = 2;
      s.t = 1;
    } else {
      line.kind = g == 0 ? PatternKind::Single : PatternKind::Irregular;
      continue;
    }
    line.period = s.m;
    for (int q = 0; q < s.m; ++q) line.gaps[q] = s.period[q] = gaps[q];
  }
  return n;
}

namespace {

// Formats the lines of the script and hands them to `emit`, many at a time.
template <class Emit>
bool generateScript(const FrameList& list, Emit&& emit) {
  PatternWalker walker(list);
  DecimalCounter start;
  DecimalCounter kept;
  PatternLine lines[1024];
  char batch[1 << 16];
  char* p = batch;
  for (std::size_t n; (n = walker.next(lines, std::size(lines))) > 0;) {
    for (std::size_t l = 0; l < n; ++l) {
      const PatternLine& line = lines[l];
      if (p + kMaxLine > batch + sizeof batch) {
        if (!emit(batch, static_cast<std::size_t>(p - batch))) return false;
        p = batch;
      }
      start.advanceTo(static_cast<std::uint32_t>(line.entry / 2));
      p = start.append(p);
      p = line.entry % 2 == 0 ? appendText(p, "a\t") : appendText(p, "b\t");
      p = appendPattern(p, line);
      *p++ = '\t';
      kept.advanceTo(line.keptIndex);
      p = kept.append(p);
      p = appendText(p, "\r\n");
    }
  }
  return p == batch || emit(batch, static_cast<std::size_t>(p - batch));
}

}  // namespace

std::string aviScript(const FrameList& list) {
  std::string text;
  generateScript(list, [&text](const char* data, std::size_t n) {
    text.append(data, n);
    return true;
  });
  return text;
}

bool writeAviScript(Sink& out, const FrameList& list) {
  return generateScript(list, [&out](const char* data, std::size_t n) { return out.write(data, n); });
}

Status writeAviScript(const std::string& path, const FrameList& list) {
  AtomicOutput out;
  if (const Status opened = out.open(path, Error::CreateScript); !opened.ok()) return opened;
  if (!writeAviScript(out, list)) return out.writeFailure();
  return out.commit();
}

}  // namespace pulldex
