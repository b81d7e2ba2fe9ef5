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
#include "project/project.h"

namespace pulldex::cli {

// What the check adds to the page.
struct PageMarks {
  std::vector<std::int64_t> combed;                          // kept entries whose frame is combed, ascending
  std::vector<std::pair<std::string, std::string>> summary;  // more lines of the summary: term, text
};

// Writes the page of `project`'s list; `title` heads it ("Cadence report").
void writeReportPage(Sink& out, const Project& project, FrameRate rate, const CadenceSummary& summary,
                     const PageMarks* marks, const char* title);

struct Context;

// Writes the page of `project` through the door, to --html's file: the exit
// status for it.
int writePage(Context& c, Project& project, FrameRate rate, const CadenceSummary& summary, const PageMarks* marks,
              const char* title);

// `text` for an HTML page: valid UTF-8, with <, >, & and " escaped.
std::string htmlText(const std::string& text);

}  // namespace pulldex::cli
