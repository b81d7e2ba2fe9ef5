// report: the sections of the script, the breaks to review and a summary,
// as a text table, JSON, or one self-contained HTML page with a picture.
// Every form goes through the sections one at a time: one pass for the
// summary, then one for what is written.
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "cli/project_notes.h"
#include "cli/report_page.h"
#include "formats/cadence_report.h"
#include "formats/json.h"

namespace pulldex::cli {

namespace {

// One line of the table, its columns padded by hand: millions of rows
// through snprintf cost seconds.
class Row {
 public:
  void clear() { n_ = 0; }
  void put(std::string_view text) {
    text = text.substr(0, sizeof buffer_ - 2 - n_);
    std::memcpy(buffer_ + n_, text.data(), text.size());
    n_ += text.size();
  }
  // Two blanks, then `text` right-aligned in `width` characters.
  void right(std::string_view text, std::size_t width, std::size_t gap = 2) {
    for (std::size_t i = 0; i < gap + (text.size() < width ? width - text.size() : 0); ++i) blank();
    put(text);
  }
  void right(std::int64_t value, std::size_t width, std::size_t gap = 2) {
    char digits[24];
    right(std::string_view(digits, static_cast<std::size_t>(std::to_chars(digits, digits + 24, value).ptr - digits)),
          width, gap);
  }
  // Two blanks, then `text` left-aligned in `width` characters.
  void left(std::string_view text, std::size_t width) {
    blank();
    blank();
    const std::size_t from = n_;
    put(text);
    while (n_ - from < width) blank();
  }
  std::string_view fixed(double value, int decimals) {
    return {number_, static_cast<std::size_t>(appendFixed(number_, value, decimals) - number_)};
  }
  void blank() {
    if (n_ < sizeof buffer_ - 2) buffer_[n_++] = ' ';
  }
  // No blanks at the end of the line.
  void end() {
    while (n_ > 0 && buffer_[n_ - 1] == ' ') --n_;
    buffer_[n_++] = '\n';
  }
  std::string_view text() const { return {buffer_, n_}; }

 private:
  char buffer_[256];
  char number_[32];
  std::size_t n_ = 0;
};

// "10100 (3:2 pulldown): 1200 entries in 1 section"
std::string commonPatternText(const CadenceSummary& r) {
  const char* name = cadenceName(r.commonPattern.c_str());
  return r.commonPattern + (name ? std::string(" (") + name + ")" : "") + ": " + std::to_string(r.commonEntries) +
         " entries in " + std::to_string(r.commonCount) + (r.commonCount == 1 ? " section" : " sections");
}

void textReport(Sink& out, const Project& project, const StoredList& lists, const CadenceSummary& r) {
  char line[240];
  std::snprintf(line, sizeof line,
                "%s\n  %" PRId64 " fields (%s, %s at %s fields a second), kept %" PRId64 ", copy %" PRId64
                ", unlisted %" PRId64 "\n",
                project.path().c_str(), r.entries, countText(videoFrames(r.entries), "frame", "frames").c_str(),
                clockTime(fieldSeconds(r.entries, r.rate)).c_str(), fixedText(r.rate.fields(), 3).c_str(), r.kept,
                r.copy, r.unlisted);
  std::string head = line;
  head += "  sections " + std::to_string(r.sections) + ", breaks " + std::to_string(r.breaks) + ", periodic " +
          fixedText(100 * r.periodicShare, 1) + "% of entries\n";
  if (r.sections > 0) {
    const Section& l = r.longest;
    std::snprintf(line, sizeof line, "  longest section %s-%s (%" PRId64 " entries, %s %s)\n",
                  fieldText(l.first).c_str(), fieldText(l.last).c_str(), l.entries(), kindName(l.kind), l.pattern);
    head += line;
    head += "  most common pattern " + commonPatternText(r) + "\n  rates:";
    for (const RateShare& rs : r.rates)
      head +=
          " " + rateText(rs.fps) + " fps " + fixedText(100 * rs.share, 1) + "%" + (&rs == &r.rates.back() ? "" : ",");
    head += "\n";
  }
  if (const std::string note = normalisationNote(project); !note.empty()) head += "  " + note + "\n";
  head +=
      "\n      first   script          time       last      kept  kept index  kept %      fps  kind         "
      "pattern      cadence\n";
  out.write(head);
  SectionStream sections(project.list(), r.rate, lists.storedOrNull());
  Row row;
  for (Section s; sections.next(s);) {
    row.clear();
    row.put(s.isBreak ? "!" : " ");
    row.right(s.first, 9, 1);
    row.right(fieldName(s.first), 7);
    row.right(clockTime(s.seconds), 12);
    row.right(s.last, 9);
    row.right(s.kept, 8);
    row.right(s.firstKeptIndex, 10);
    row.right(row.fixed(100 * s.keptShare(), 1), 6);
    row.right(row.fixed(s.fps, 3), 7);
    row.left(kindName(s.kind), 11);
    row.left(s.pattern, 11);
    row.left(s.cadence ? s.cadence : "", 0);
    row.end();
    out.write(row.text());
  }
  out.write("\nBreaks to review (entry (script), time: kind pattern, fps):\n");
  SectionStream again(project.list(), r.rate, lists.storedOrNull());
  for (Section s; again.next(s);)
    if (s.isBreak)
      out.write("  " + fieldText(s.first) + ", " + clockTime(s.seconds) + ": " + kindName(s.kind) + " " + s.pattern +
                ", " + rateText(s.fps) + " fps\n");
}

void jsonReport(Json& json, const Project& project, const StoredList& lists, const CadenceSummary& r) {
  json.StartObject();
  json.Path(project.path());
  json.Key("summary");
  json.StartObject();
  for (const char* key : {"entries", "fields"}) {
    json.Key(key);
    json.Int(r.entries);
  }
  json.Int("videoFrames", videoFrames(r.entries));
  json.Text("rate", std::to_string(r.rate.num) + "/" + std::to_string(r.rate.den));
  json.Fixed("seconds", fieldSeconds(r.entries, r.rate), 6);
  const std::pair<const char*, std::int64_t> counts[] = {{"kept", r.kept},         {"copy", r.copy},
                                                         {"unlisted", r.unlisted}, {"outputFrames", r.kept},
                                                         {"sections", r.sections}, {"breaks", r.breaks}};
  for (const auto& [key, value] : counts) {
    json.Key(key);
    json.Int(value);
  }
  json.Fixed("periodicShare", r.periodicShare, 6);
  if (r.sections > 0) {
    const Section& l = r.longest;
    json.Key("longestSection");
    json.StartObject();
    json.Int("first", l.first);
    json.Int("last", l.last);
    json.Int("entries", l.entries());
    json.EndObject();
    json.Key("mostCommonPattern");
    json.StartObject();
    json.Text("pattern", r.commonPattern);
    json.Int("entries", r.commonEntries);
    json.Int("sections", r.commonCount);
    json.EndObject();
  }
  json.Key("rates");
  json.StartArray();
  for (const RateShare& rs : r.rates) {
    json.StartObject();
    json.Fixed("fps", rs.fps, 3);
    json.Int("entries", rs.entries);
    json.Fixed("share", rs.share, 6);
    json.EndObject();
  }
  json.EndArray();
  json.Key("normalisedFrom");
  json.EntryOrNull(project.normalised() ? project.block().normalisation.movedFrom : -1);
  // Every kept entry makes a frame; "leftOut" stays for those who read it.
  json.Key("leftOut");
  json.Null();
  json.EndObject();

  json.Key("sections");
  json.StartArray();
  SectionStream sections(project.list(), r.rate, lists.storedOrNull());
  for (Section s; sections.next(s);) {
    json.StartObject();
    json.Int("first", s.first);
    json.Key("scriptStart");
    json.String(fieldName(s.first).c_str());
    json.Int("last", s.last);
    json.Fixed("seconds", s.seconds, 6);
    json.Fixed("fps", s.fps, 6);
    json.Int("kept", s.kept);
    json.Int("firstKeptIndex", s.firstKeptIndex);
    json.Fixed("keptShare", s.keptShare(), 6);
    json.Key("pattern");
    json.String(s.pattern);
    json.Key("kind");
    json.String(kindName(s.kind));
    json.Key("cadence");
    if (s.cadence)
      json.String(s.cadence);
    else
      json.Null();
    json.Key("break");
    json.Bool(s.isBreak);
    json.EndObject();
  }
  json.EndArray();
  json.Key("breaks");
  json.StartArray();
  SectionStream again(project.list(), r.rate, lists.storedOrNull());
  for (Section s; again.next(s);)
    if (s.isBreak) json.Int(s.first);
  json.EndArray();
  json.EndObject();
}

}  // namespace

int report(Context& c) {
  const Options& o = c.options;
  Reports reports(c);
  const int status = forEachProject(c, [&](Project& project, std::size_t) {
    // With the page on standard output, the report itself stays off it.
    const std::string pagePath = o.html ? outputPath(o, project.path()) : std::string();
    const bool pageOnly = pagePath == "-";
    OpenOutput page;
    if (o.html)
      if (const Status s = page.open(destinationFor(c, project, pagePath, Error::CreatePage)); !s.ok())
        return fail(c, project.path(), pagePath, s);
    const StoredList lists(project);
    const CadenceSummary r = cadenceSummary(project.list(), o.rate, lists.storedOrNull());
    if (o.json) {
      jsonReport(reports.json(), project, lists, r);
    } else if (!pageOnly) {
      reports.beginText();
      textReport(c.out, project, lists, r);
    }
    return o.html ? writePage(c, project, page, pagePath, o.rate, r, nullptr, "Cadence report") : kOk;
  });
  reports.finish();
  return status;
}

}  // namespace pulldex::cli
