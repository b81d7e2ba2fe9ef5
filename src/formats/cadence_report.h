// What the AVI script says about a list, for people who review an IVTC job:
// its sections (one per script line), the places where the cadence breaks,
// and a summary. Built from the script's own pattern walker, so the report
// and the script never disagree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/avi_script.h"
#include "model/frame_list.h"

namespace pulldex {

struct Section {
  std::int64_t first = 0;  // the entry of the script line
  std::int64_t last = 0;   // up to the entry before the next line, or the end of the list
  std::uint32_t kept = 0;
  std::uint32_t firstKeptIndex = 0;  // the line's kept index
  PatternKind kind = PatternKind::Single;
  bool isBreak = false;  // single or irregular, or one periodic pattern giving way to another
  char pattern[12] = {};  // the script's pattern text

  std::int64_t entries() const { return last - first + 1; }
};

struct CadenceReport {
  std::int64_t entries = 0, kept = 0, copy = 0, unlisted = 0;
  std::vector<Section> sections;
  std::int64_t breaks = 0;
  double periodicShare = 0;     // of all entries, those inside cycles, runs and alternations
  std::size_t longest = 0;      // index of the longest section (by entries)
  std::string commonPattern;    // the pattern text most sections have
  std::int64_t commonCount = 0;
};

const char* kindName(PatternKind kind);
CadenceReport cadenceReport(const FrameList& list);

}  // namespace pulldex
