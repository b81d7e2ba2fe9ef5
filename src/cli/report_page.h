// The report's page: one self-contained HTML file with the summary, an
// overview of the whole list on a time axis, a sortable table of every
// section and a detail view of the one picked. The page itself (HTML, CSS,
// JavaScript) lives under res/report; this fills it in, one section at a
// time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/file.h"
#include "formats/cadence_report.h"
#include "project/output.h"
#include "project/project.h"

namespace pulldex::cli {

// One finding of the check, a row of the page's table of them.
struct PageFinding {
  const char* kind = "";  // "combed", "repeated", "lost", "shift", "change"
  std::int64_t entry = 0;
  std::string score;  // the score as a share of its window, or empty
  std::string what;   // what to do about it, or what the repair did
  // The frame as given and the frame the suggestion or repair makes, as PNG
  // files; either may be empty.
  std::string given, other;
  bool repaired = false;  // the other frame is the repair's, not a suggestion
  // The window judged combed on the given frame, in percent of its size.
  double box[4] = {0, 0, 0, 0};
  bool boxed = false;
};

// What the check adds to the page.
struct PageMarks {
  std::vector<std::int64_t> combed;                          // kept entries whose frame is combed, ascending
  std::vector<std::pair<std::string, std::string>> summary;  // more lines of the summary: term, text
  std::vector<PageFinding> findings;                         // by entry
  std::size_t withoutPictures = 0;                           // findings left without pictures, beyond those asked for
  FrameRate rate;                                            // of the video, for the findings' times
};

// Writes the page of `project`'s list; `title` heads it ("Cadence report").
void writeReportPage(Sink& out, const Project& project, FrameRate rate, const CadenceSummary& summary,
                     const PageMarks* marks, const char* title);

struct Context;

// Writes the page of `project` through `page`, opened for --html's file
// `target`: the exit status for it.
int writePage(Context& c, Project& project, OpenOutput& page, const std::string& target, FrameRate rate,
              const CadenceSummary& summary, const PageMarks* marks, const char* title);

// `text` for an HTML page: valid UTF-8, with <, >, & and " escaped.
std::string htmlText(const std::string& text);

}  // namespace pulldex::cli
