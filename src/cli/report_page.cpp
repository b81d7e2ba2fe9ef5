#include "cli/report_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "base/sys.h"
#include "base/utf8.h"
#include "cli/cli.h"
#include "cli/project_notes.h"
#include "cli/resources.h"
#include "formats/png.h"
#include "version.h"

namespace pulldex::cli {

namespace {

// Rows of the table that are in the page as written, for a reader without
// JavaScript; the script draws the rows in view from the embedded sections.
constexpr std::size_t kStaticRows = 200;
// Columns of the overview's colours, and of its marks: a mark stays a few
// pixels wide at 600 pixels, however many breaks share it.
constexpr int kBuckets = 1000;
constexpr int kBins = 200;

const char* rateColour(RateClass c) {
  switch (c) {
    case RateClass::Film:
      return "#2a9d8f";
    case RateClass::Video:
      return "#457b9d";
    case RateClass::Other:
      return "#e9c46a";
  }
  return "#999";
}

// A tick every so many seconds, so that the axis holds at most six labels:
// at 600 pixels each has a hundred.
double tickStep(double seconds) {
  for (const double step : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0})
    if (seconds / step <= 6) return step;
  return std::ceil(seconds / 6 / 3600) * 3600;
}

std::string clockSeconds(double seconds) {
  const std::string t = clockTime(seconds);
  return t.substr(0, t.size() - 4);
}

// Numbers as text, a run of equal ones as "value*count".
class RunLengths {
 public:
  void add(std::int64_t value) {
    if (count_ > 0 && value == value_) {
      ++count_;
      return;
    }
    flush();
    value_ = value;
    count_ = 1;
  }
  const std::string& text() {
    flush();
    return text_;
  }

 private:
  void flush() {
    if (count_ == 0) return;
    if (!text_.empty()) text_ += ',';
    text_ += std::to_string(value_);
    if (count_ > 1) text_ += '*' + std::to_string(count_);
    count_ = 0;
  }
  std::string text_;
  std::int64_t value_ = 0;
  std::int64_t count_ = 0;
};

std::string tableRow(const Section& s, std::size_t i, const std::int64_t* combed) {
  std::string row = std::string("<tr") + (s.isBreak ? " class=\"break\"" : "") + " data-i=\"" + std::to_string(i) +
                    "\"><td>" + std::to_string(s.first) + "</td><td>" + fieldName(s.first) + "</td><td>" +
                    clockTime(s.seconds) + "</td><td>" + std::to_string(s.last) + "</td><td>" + std::to_string(s.kept) +
                    "</td><td>" + std::to_string(s.firstKeptIndex) + "</td><td>" + fixedText(100 * s.keptShare(), 1) +
                    "</td><td>" + rateText(s.fps) + "</td><td class=\"text\">" + kindName(s.kind) +
                    "</td><td class=\"text\">" + s.pattern + "</td><td class=\"text\">" + (s.cadence ? s.cadence : "") +
                    "</td>";
  if (combed)
    row += std::string("<td") + (*combed > 0 ? " class=\"combed\"" : "") + ">" + std::to_string(*combed) + "</td>";
  return row + "</tr>\n";
}

// Everything the page needs from the sections, gathered in one pass: the
// first rows, the overview's colours and marks, and the embedded columns.
struct Gathered {
  int buckets = kBuckets;  // fewer for a list of fewer entries: none is empty
  std::string rows;
  std::vector<std::int64_t> cover = std::vector<std::int64_t>(static_cast<std::size_t>(kBuckets) * 3, 0);
  std::vector<std::int64_t> breaks = std::vector<std::int64_t>(kBins, 0);
  std::vector<std::int64_t> combedBins = std::vector<std::int64_t>(kBins, 0);
  RunLengths firsts, kept, pats, brk, combed;
  std::vector<std::string> patterns;
};

Gathered gather(const Project& project, FrameRate rate, const PageMarks* marks) {
  Gathered g;
  const StoredList stored(project);
  SectionStream sections(project.list(), rate, stored.storedOrNull());
  const std::int64_t entries = project.list().count();
  g.buckets = static_cast<int>(std::clamp<std::int64_t>(entries, 1, kBuckets));
  const int buckets = g.buckets;
  const auto bucketOf = [&](std::int64_t entry, int columns) {
    return static_cast<int>(std::min<std::int64_t>(columns - 1, entry * columns / std::max<std::int64_t>(entries, 1)));
  };
  std::map<std::string, std::size_t> patternIndex;
  std::int64_t previous = 0;
  std::size_t next = 0;  // the next combed entry
  std::size_t i = 0;
  for (Section s; sections.next(s); ++i) {
    auto [it, added] = patternIndex.try_emplace(s.pattern, g.patterns.size());
    if (added) g.patterns.push_back(s.pattern);
    g.firsts.add(s.first - previous);
    g.kept.add(s.kept);
    g.pats.add(static_cast<std::int64_t>(it->second));
    g.brk.add(s.isBreak);
    previous = s.first;
    if (s.isBreak) ++g.breaks[static_cast<std::size_t>(bucketOf(s.first, kBins))];
    const auto c = static_cast<std::size_t>(rateClass(s.fps, rate));
    for (int b = bucketOf(s.first, buckets); b <= bucketOf(s.last, buckets); ++b) {
      const std::int64_t from = std::max<std::int64_t>(s.first, (b * entries + buckets - 1) / buckets);
      const std::int64_t to = std::min<std::int64_t>(s.last, ((b + 1) * entries + buckets - 1) / buckets - 1);
      if (to >= from) g.cover[static_cast<std::size_t>(b) * 3 + c] += to - from + 1;
    }
    std::int64_t combedHere = 0;
    if (marks) {
      for (; next < marks->combed.size() && marks->combed[next] <= s.last; ++next)
        if (marks->combed[next] >= s.first) {
          ++combedHere;
          ++g.combedBins[static_cast<std::size_t>(bucketOf(marks->combed[next], kBins))];
        }
      g.combed.add(combedHere);
    }
    if (i < kStaticRows) g.rows += tableRow(s, i, marks ? &combedHere : nullptr);
  }
  return g;
}

// The whole list in kBuckets columns on a time axis, each coloured by the
// rate that covers most of its entries; below it a mark for the breaks (and
// the combed frames) of each of kBins columns, taller for more; then the
// axis, in HTML, so that its labels keep their size at any width.
std::string overview(const CadenceSummary& r, const Gathered& g, bool withCombed) {
  const int buckets = g.buckets;
  std::string out = "<svg class=\"rates\" viewBox=\"0 0 " + std::to_string(buckets) +
                    " 44\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"the list's rates over time\">";
  int runStart = 0, runClass = -1;
  for (int b = 0; b <= buckets; ++b) {
    int c = -1;
    if (b < buckets) {
      std::int64_t most = 0;
      for (int k = 0; k < 3; ++k)
        if (const std::int64_t v = g.cover[static_cast<std::size_t>(b) * 3 + static_cast<std::size_t>(k)]; v > most) {
          most = v;
          c = k;
        }
    }
    if (c != runClass || b == buckets) {
      if (runClass >= 0)
        out += "<rect x=\"" + std::to_string(runStart) + "\" y=\"0\" width=\"" + std::to_string(b - runStart) +
               "\" height=\"44\" fill=\"" + rateColour(static_cast<RateClass>(runClass)) + "\"/>";
      runStart = b;
      runClass = c;
    }
  }
  out += "</svg>\n";
  const double total = fieldSeconds(r.entries, r.rate);
  const auto marks = [&](const std::vector<std::int64_t>& counts, const char* cls, const char* colour,
                         const char* what) {
    std::string svg = std::string("<svg class=\"marks ") + cls + "\" viewBox=\"0 0 " + std::to_string(kBins) +
                      " 14\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"" + what + "\">";
    for (int b = 0; b < kBins; ++b) {
      const std::int64_t n = counts[static_cast<std::size_t>(b)];
      if (n == 0) continue;
      // One mark: 5 units high; a thousand or more: 14.
      const double h = 5 + 9 * std::min(1.0, std::log10(static_cast<double>(n)) / 3);
      svg += std::string("<rect class=\"") + cls + "-mark\" x=\"" + fixedText(b + 0.1, 1) + "\" y=\"" +
             fixedText(14 - h, 2) + "\" width=\"0.8\" height=\"" + fixedText(h, 2) + "\" fill=\"" + colour +
             "\"><title>" + std::to_string(n) + " " + what + " from " + clockSeconds(total * b / kBins) +
             "</title></rect>";
    }
    return svg + "</svg>\n";
  };
  out += marks(g.breaks, "break", "#c1121f", "breaks");
  if (withCombed) out += marks(g.combedBins, "combed", "#7b2cbf", "combed frames");
  out += "<div class=\"axis\">";
  const double step = tickStep(total);
  for (double t = 0; total > 0 && t <= total; t += step) {
    const double x = 100 * t / total;
    // A label this close to the right edge would run out of the box.
    if (t > 0 && x > 94) break;
    out += "<span style=\"left:" + fixedText(x, 2) + "%\">" + clockSeconds(t) + "</span>";
  }
  return out + "</div>\n";
}

// The check's findings: a mark for each under the overview, which leads to
// its row, and the table of them with their pictures.
std::string findingsSection(const PageMarks& marks, std::int64_t entries) {
  std::string out = "<div id=\"finding-marks\">";
  for (std::size_t i = 0; i < marks.findings.size(); ++i) {
    const PageFinding& f = marks.findings[i];
    out +=
        "<a href=\"#finding-" + std::to_string(i) + "\" class=\"finding-mark " + f.kind + "\" style=\"left:" +
        fixedText(100.0 * static_cast<double>(f.entry) / static_cast<double>(std::max<std::int64_t>(entries, 1)), 3) +
        "%\" title=\"" + f.kind + " " + fieldText(f.entry) + "\"></a>";
  }
  out += "</div>\n<h2>Findings</h2>\n<p id=\"findings-note\">" +
         countText(static_cast<std::int64_t>(marks.findings.size()), "finding", "findings") + "; " +
         (marks.withoutPictures > 0 ? std::to_string(marks.withoutPictures) +
                                          " of them without pictures (pulldex-cli "
                                          "check --pictures N for more)"
                                    : std::string("each with its pictures")) +
         ". Each row: the frame as given, the woven frame of the entry (the window judged combed outlined), and the "
         "frame the suggestion or the repair makes.</p>\n";
  if (marks.findings.empty()) return out;
  out +=
      "<table id=\"findings\"><thead><tr><th>finding</th><th>entry</th><th>script</th><th>time</th><th>score</th>"
      "<th>what to do</th><th>pictures</th></tr></thead><tbody>\n";
  const auto picture = [&](const std::string& png, std::int64_t entry, const char* kind, const PageFinding* boxed) {
    if (png.empty()) return std::string();
    std::string img = "<span class=\"pic\"><img data-entry=\"" + std::to_string(entry) + "\" data-kind=\"" + kind +
                      "\" alt=\"" + kind + " frame of " + fieldText(entry) + "\" src=\"data:image/png;base64," +
                      base64(png) + "\">";
    if (boxed && boxed->boxed)
      img += "<i style=\"left:" + fixedText(boxed->box[0], 2) + "%;top:" + fixedText(boxed->box[1], 2) +
             "%;width:" + fixedText(boxed->box[2], 2) + "%;height:" + fixedText(boxed->box[3], 2) + "%\"></i>";
    return img + "<b>" + kind + "</b></span>";
  };
  for (std::size_t i = 0; i < marks.findings.size(); ++i) {
    const PageFinding& f = marks.findings[i];
    out += "<tr id=\"finding-" + std::to_string(i) + "\" class=\"" + f.kind + "\"><td class=\"text\">" + f.kind +
           "</td><td>" + std::to_string(f.entry) + "</td><td>" + fieldName(f.entry) + "</td><td>" +
           clockTime(fieldSeconds(f.entry, marks.rate)) + "</td><td>" + f.score + "</td><td class=\"text\">" +
           htmlText(f.what) + "</td><td class=\"pics\">" + picture(f.given, f.entry, "given", &f) +
           picture(f.other, f.entry, f.repaired ? "repaired" : "suggested", nullptr) + "</td></tr>\n";
  }
  return out + "</tbody></table>\n";
}

std::string summaryList(const Project& project, const CadenceSummary& r, const PageMarks* marks) {
  std::string dl =
      "<dt>Fields</dt><dd>" + std::to_string(r.entries) + " (" + countText(videoFrames(r.entries), "frame", "frames") +
      ", " + clockTime(fieldSeconds(r.entries, r.rate)) + " at " + fixedText(r.rate.fields(), 3) +
      " fields a second)</dd>\n<dt>Kept, copy, unlisted</dt><dd>" + std::to_string(r.kept) + ", " +
      std::to_string(r.copy) + ", " + std::to_string(r.unlisted) + "</dd>\n<dt>Sections</dt><dd id=\"section-count\">" +
      std::to_string(r.sections) + "</dd>\n<dt>Breaks to review</dt><dd id=\"break-count\">" +
      std::to_string(r.breaks) + "</dd>\n<dt>Entries in periodic sections</dt><dd>" +
      fixedText(100 * r.periodicShare, 1) + " %</dd>\n";
  if (r.sections > 0) {
    const Section& l = r.longest;
    const char* name = cadenceName(r.commonPattern.c_str());
    dl += "<dt>Longest section</dt><dd>" + fieldText(l.first) + " to " + fieldText(l.last) + " (" +
          std::to_string(l.entries()) + " entries, " + kindName(l.kind) + " " + l.pattern + ")</dd>\n";
    dl += "<dt>Most common pattern</dt><dd>" + r.commonPattern + (name ? std::string(" (") + name + ")" : "") + ": " +
          std::to_string(r.commonEntries) + " entries in " + std::to_string(r.commonCount) +
          (r.commonCount == 1 ? " section" : " sections") + "</dd>\n<dt>Rates</dt><dd id=\"rates\">";
    for (const RateShare& rs : r.rates)
      dl += std::string(&rs == &r.rates.front() ? "" : ", ") + rateText(rs.fps) +
            " fps: " + fixedText(100 * rs.share, 1) + " %";
    dl += "</dd>\n";
  }
  if (const std::string note = normalisationNote(project); !note.empty())
    dl += "<dt>Note</dt><dd id=\"normalised\">" + htmlText(note) + "</dd>\n";
  if (marks)
    for (const auto& [term, text] : marks->summary)
      dl += "<dt>" + htmlText(term) + "</dt><dd>" + htmlText(text) + "</dd>\n";
  return dl;
}

}  // namespace

std::string htmlText(const std::string& text) {
  std::string out;
  for (const char c : validUtf8(text)) {
    if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '&')
      out += "&amp;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

int writePage(Context& c, Project& project, OpenOutput& page, const std::string& target, FrameRate rate,
              const CadenceSummary& summary, const PageMarks* marks, const char* title) {
  const Status s = page.write([&](Sink& sink) {
    writeReportPage(sink, project, rate, summary, marks, title);
    return Status{};
  });
  return s.ok() ? kOk : fail(c, project.path(), target, s);
}

void writeReportPage(Sink& out, const Project& project, FrameRate rate, const CadenceSummary& r, const PageMarks* marks,
                     const char* title) {
  Gathered g = gather(project, rate, marks);
  const std::string_view page = resources::reportHtml;
  for (std::size_t at = 0; at < page.size();) {
    const std::size_t open = page.find("{{", at);
    if (open == std::string_view::npos) {
      out.write(page.substr(at));
      break;
    }
    out.write(page.substr(at, open - at));
    const std::size_t close = page.find("}}", open);
    if (close == std::string_view::npos) {
      // An unclosed "{{" is text.
      out.write(page.substr(open));
      break;
    }
    const std::string_view name = page.substr(open + 2, close - open - 2);
    at = close + 2;
    if (name == "version") {
      out.write(PULLDEX_VERSION);
    } else if (name == "title") {
      out.write(title);
    } else if (name == "path") {
      out.write(htmlText(sys::toUtf8(project.path())));
    } else if (name == "css") {
      out.write(resources::reportCss);
    } else if (name == "script") {
      out.write(resources::reportJs);
    } else if (name == "summary") {
      out.write(summaryList(project, r, marks));
    } else if (name == "legend") {
      for (const RateClass c : {RateClass::Film, RateClass::Video, RateClass::Other})
        out.write(std::string("<span><i style=\"background:") + rateColour(c) + "\"></i>" +
                  (c == RateClass::Film    ? "film (" + rateText(r.rate.fields() * 2 / 5) + " fps)"
                   : c == RateClass::Video ? "video (" + rateText(r.rate.fields() / 2) + " fps)"
                                           : std::string("other rates")) +
                  "</span>");
      out.write("<span><i style=\"background:#c1121f\"></i>break</span>");
      if (marks) out.write("<span><i style=\"background:#7b2cbf\"></i>combed frame</span>");
    } else if (name == "overview") {
      out.write(overview(r, g, marks != nullptr));
    } else if (name == "findings") {
      if (marks) out.write(findingsSection(*marks, r.entries));
    } else if (name == "headers") {
      for (const char* h :
           {"first", "script", "time", "last", "kept", "kept index", "kept %", "fps", "kind", "pattern", "cadence"})
        out.write(std::string("<th>") + h + "</th>");
      if (marks) out.write("<th>combed</th>");
    } else if (name == "rows") {
      out.write(g.rows);
    } else if (name == "noscript") {
      if (static_cast<std::size_t>(r.sections) > kStaticRows)
        out.write("<noscript><p>Without JavaScript the table shows the first " + std::to_string(kStaticRows) + " of " +
                  std::to_string(r.sections) +
                  " sections; <code>pulldex-cli report --json</code> lists them all.</p></noscript>\n");
    } else if (name == "data") {
      std::string patterns = "[";
      for (std::size_t i = 0; i < g.patterns.size(); ++i) patterns += (i ? ",\"" : "\"") + g.patterns[i] + "\"";
      out.write("{n:" + std::to_string(r.sections) + ",entries:" + std::to_string(r.entries) +
                ",fields:" + fixedText(r.rate.fields(), 9) + ",bins:" + std::to_string(kBins) +
                ",patterns:" + patterns + "],\nfirst:\"");
      out.write(g.firsts.text());
      out.write("\",\nkept:\"");
      out.write(g.kept.text());
      out.write("\",\npat:\"");
      out.write(g.pats.text());
      out.write("\",\nbrk:\"");
      out.write(g.brk.text());
      if (marks) {
        out.write("\",\ncombed:\"");
        out.write(g.combed.text());
      }
      out.write("\"}");
    }
  }
}

}  // namespace pulldex::cli
