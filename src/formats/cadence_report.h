// What the AVI script says about a list, for people who review an IVTC job:
// its sections (one per script line), the places where the cadence breaks,
// their times and frame rates, and a summary. Built from the script's own
// pattern walker, so the report and the script never disagree. The sections
// come one at a time: a report of millions of them holds none but the one
// it writes.
#pragma once

#include <cstdint>
#include <memory>
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
  bool isBreak = false;           // to review: see SectionStream
  char pattern[12] = {};          // the script's pattern text
  double seconds = 0;             // the moment of the first entry
  double fps = 0;                 // kept entries a second
  const char* cadence = nullptr;  // "3:2 pulldown", "2:3:3:2", "video", or none

  std::int64_t entries() const { return last - first + 1; }
  double keptShare() const { return static_cast<double>(kept) / static_cast<double>(entries()); }
  bool periodic() const {
    return kind == PatternKind::Cycle || kind == PatternKind::Run || kind == PatternKind::Alternation;
  }
};

struct RateShare {
  double fps = 0;
  std::int64_t entries = 0;
  double share = 0;
};

// The report's figures over all sections.
struct CadenceSummary {
  FrameRate rate;
  std::int64_t entries = 0, kept = 0, copy = 0, unlisted = 0;  // of the list as stored
  std::int64_t sections = 0;
  std::int64_t breaks = 0;
  double periodicShare = 0;   // of all entries, those inside cycles, runs and alternations
  Section longest;            // the longest section (by entries), the first of equals
  std::string commonPattern;  // the pattern text that covers the most entries
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

// The sections of `list`, in order. Breaks to review: single and irregular
// sections, a periodic pattern giving way to another, and a periodic section
// whose rate is neither the film rate (2/5 of the field rate) nor the video
// rate (1/2); but never a last section that only the list's end cut short:
// one whose entries go on with the periodic pattern before it, or a last
// lone kept entry after a section without a pattern.
//
// `stored` is the list as the project stores it, where the load moved its
// first kept mark to entry 0 (the script starts at 0a). The sections are
// still the script's, but the breaks are the stored list's: a section is a
// break where a break of the stored list starts inside it, so the moved mark
// alone makes none.
class SectionStream {
 public:
  SectionStream(const FrameList& list, FrameRate rate, const FrameList* stored = nullptr);
  ~SectionStream();
  SectionStream(const SectionStream&) = delete;
  SectionStream& operator=(const SectionStream&) = delete;

  // The next section; false after the last.
  bool next(Section& out);

 private:
  class Direct;
  std::unique_ptr<Direct> list_;
  std::unique_ptr<Direct> stored_;
  Section storedNext_;
  bool storedMore_ = false;
};

// One pass over the sections for the summary. Counts are the stored list's.
CadenceSummary cadenceSummary(const FrameList& list, FrameRate rate = {}, const FrameList* stored = nullptr);

// The summary and every section at once, for lists of a modest size.
struct CadenceReport : CadenceSummary {
  std::vector<Section> sections;
};
CadenceReport cadenceReport(const FrameList& list, FrameRate rate = {}, const FrameList* stored = nullptr);

}  // namespace pulldex
