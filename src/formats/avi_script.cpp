#include "formats/avi_script.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/file.h"
#include "base/page_buffer.h"
#include "formats/decimal_counter.h"

namespace pulldex {

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
      gaps_[(first_ + known_) % kRing] = list_.gap(next_);
      next_ += gaps_[(first_ + known_) % kRing] + 1;
    }
    return gaps_[(first_ + k) % kRing];
  }
  // On to the next kept entry. The known gaps stay where they are, in a
  // ring: moving them down would cost more than the walk itself.
  void advance() {
    position_ += gap(0) + 1;
    first_ = (first_ + 1) % kRing;
    --known_;
  }

 private:
  const FrameList& list_;
  std::int64_t position_;
  static constexpr unsigned kRing = 8;
  std::int64_t next_;  // the chain position after the known gaps
  std::int64_t gaps_[kRing] = {};
  unsigned first_ = 0;  // where gap 0 is
  int known_ = 0;
};

}  // namespace

std::string patternText(const PatternLine& line) {
  char text[kMaxLine];
  return std::string(text, static_cast<std::size_t>(appendPattern(text, line) - text));
}

void writePatternText(const PatternLine& line, char (&out)[12]) {
  char text[kMaxLine];
  const auto n = std::min<std::size_t>(static_cast<std::size_t>(appendPattern(text, line) - text), sizeof out - 1);
  std::memcpy(out, text, n);
  out[n] = '\0';
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
  // Batches of a fixed size, larger than the file output's buffer and a
  // multiple of it, so that each goes to the file without another copy and
  // the file's offsets stay aligned. A line may run into the room behind.
  constexpr std::size_t kBatch = std::size_t{1} << 17;
  const PageBuffer<char> storage = makePageBuffer<char>(kBatch + kMaxLine);
  char* const batch = storage.get();
  char* p = batch;
  for (std::size_t n; (n = walker.next(lines, std::size(lines))) > 0;) {
    for (std::size_t l = 0; l < n; ++l) {
      const PatternLine& line = lines[l];
      if (p >= batch + kBatch) {
        if (!emit(batch, kBatch)) return false;
        const auto over = static_cast<std::size_t>(p - (batch + kBatch));
        std::memcpy(batch, batch + kBatch, over);
        p = batch + over;
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

PatternSections::PatternSections(const FrameList& list) : list_(list), walker_(list) {
  for (const FrameEntry& e : list.entries) totalKept_ += e.state == Kept;
}

bool PatternSections::fill() {
  if (at_ < count_) return true;
  count_ = walker_.next(lines_, std::size(lines_));
  at_ = 0;
  return count_ > 0;
}

bool PatternSections::next(PatternLine& line, std::int64_t& kept, std::int64_t& end) {
  if (!fill()) return false;
  line = lines_[at_++];
  const bool more = fill();
  kept = (more ? lines_[at_].keptIndex : totalKept_) - line.keptIndex;
  end = more ? lines_[at_].entry : list_.count();
  return true;
}

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



}  // namespace pulldex
