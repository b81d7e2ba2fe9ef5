// What the AVI script says about a list, for people who review an IVTC job:
// its sections (one per script line), the places where the cadence breaks,
// their times and frame rates, and a summary. Built from the script's own
// pattern walker, so the report and the script never disagree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/avi_script.h"
#include "model/field_time.h"
#include "model/frame_list.h"

namespace pulldex {

struct Section {
  std::int64_t first = 0;  // the entry of the script line
  std::int64_t last = 0;   // up to the entry before the next line, or the end of the list
  std::uint32_t kept = 0;
  std::uint32_t firstKeptIndex = 0;  // the line's kept index
  PatternKind kind = PatternKind::Single;
  bool isBreak = false;  // to review: see cadenceReport
  char pattern[12] = {};  // the script's pattern text
  double seconds = 0;     // the moment of the first entry
  double fps = 0;         // kept entries a second
  const char* cadence = nullptr;  // "3:2 pulldown", "2:3:3:2", "video", or none

  std::int64_t entries() const { return last - first + 1; }
};

struct RateShare {
  double fps = 0;
  std::int64_t entries = 0;
  double share = 0;
};

struct CadenceReport {
  FrameRate rate;
  std::int64_t entries = 0, kept = 0, copy = 0, unlisted = 0;
  std::vector<Section> sections;
  std::int64_t breaks = 0;
  double periodicShare = 0;     // of all entries, those inside cycles, runs and alternations
  std::size_t longest = 0;      // index of the longest section (by entries)
  std::string commonPattern;    // the pattern text that covers the most entries
  std::int64_t commonEntries = 0;
  std::int64_t commonCount = 0;  // sections with it
  std::vector<RateShare> rates;  // the share of entries at each rate, most first
};

const char* kindName(PatternKind kind);

// Film (2/5 of the field rate), video (1/2), or anything else.
enum class RateClass { Film, Video, Other };
RateClass rateClass(double fps, const FrameRate& rate);
// The name users give a periodic pattern text, or null.
const char* cadenceName(const char* pattern);

// Breaks to review: single and irregular sections (except a last one that
// only the list's end cut short), a periodic pattern giving way to another,
// and a periodic section whose rate is neither the film rate (2/5 of the
// field rate) nor the video rate (1/2).
CadenceReport cadenceReport(const FrameList& list, FrameRate rate = {});

}  // namespace pulldex
