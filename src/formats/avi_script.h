// AVI script files (.ASC): one line per break in the pattern of kept frames.
// Each line is "start TAB pattern TAB keptIndex CR LF"; a repeating pattern
// of gaps between kept frames is written once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/file.h"
#include "model/error.h"
#include "model/frame_list.h"

namespace pulldex {

// The name proposed for a script of the project at `projectPath`: a "."
// followed by exactly three characters at the end becomes ".asc".
std::string proposedScriptName(std::string projectPath);

enum class PatternKind : std::uint8_t { Cycle, Run, Alternation, Single, Irregular };

// One line of the script: the kept entry it names, how many kept entries
// come before it, and its pattern. Cycles, runs and alternations repeat a
// period of gaps (the number of other entries after each kept one).
struct PatternLine {
  std::int64_t entry = 0;
  std::uint32_t keptIndex = 0;
  PatternKind kind = PatternKind::Single;
  int period = 0;  // gaps in the period: 4, 1 or 2; 0 for single and irregular
  std::int64_t gaps[4] = {};

  bool periodic() const { return period > 0; }
  // Entries in one period: each gap and the kept entry before it.
  std::int64_t periodEntries() const {
    std::int64_t n = 0;
    for (int k = 0; k < period; ++k) n += gaps[k] + 1;
    return n;
  }
  // Where the period's kept entry k stands, from the period's start.
  std::int64_t offset(int k) const {
    std::int64_t at = 0;
    for (int q = 0; q < k; ++q) at += gaps[q] + 1;
    return at;
  }
};

// The pattern field of a line: "1" and a "0" per entry of each gap of the
// period, "1" for a single entry, "1 0" for an irregular one.
std::string patternText(const PatternLine& line);
// The same into `out`, NUL-terminated: at most 11 characters and the NUL.
void writePatternText(const PatternLine& line, char (&out)[12]);

// Walks the kept entries of a list in order and yields the lines of its
// script. The script and everything else that speaks of its lines (the
// cadence report) come from this one walker.
class PatternWalker {
 public:
  explicit PatternWalker(const FrameList& list);
  ~PatternWalker();
  PatternWalker(const PatternWalker&) = delete;
  PatternWalker& operator=(const PatternWalker&) = delete;

  // Up to `room` further lines into `out`; their count, 0 at the end.
  std::size_t next(PatternLine* out, std::size_t room);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The walker's lines one at a time, each with the kept entries it stands for
// and where the next one starts: what a section of the script is.
class PatternSections {
 public:
  explicit PatternSections(const FrameList& list);
  // The next line; `kept`, its kept entries; `end`, the entry after its
  // last (the next line's, or the list's count). False after the last.
  bool next(PatternLine& line, std::int64_t& kept, std::int64_t& end);

 private:
  bool fill();
  const FrameList& list_;
  PatternWalker walker_;
  std::int64_t totalKept_ = 0;
  PatternLine lines_[256];
  std::size_t at_ = 0, count_ = 0;
};

// The whole script of `list`.
std::string aviScript(const FrameList& list);

// Streams the script through a fixed buffer; false when a write failed.
bool writeAviScript(Sink& out, const FrameList& list);

}  // namespace pulldex
