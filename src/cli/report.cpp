// report: the sections of the script, the breaks to review and a summary,
// as a text table, JSON, or one self-contained HTML page with a picture.
#include "formats/cadence_report.h"

#include <cinttypes>
#include <cstdio>

#include "cli/cli.h"
#include "version.h"

namespace pulldex::cli {

namespace {

// Sections a page embeds at most: beyond that it stays usable and small.
constexpr std::size_t kPageSections = 3000;
// Entries the detail view draws of one section at most.
constexpr std::int64_t kDetailEntries = 120;
// Buckets of the overview timeline.
constexpr int kBuckets = 1000;

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double keptShare(const Section& s) { return static_cast<double>(s.kept) / static_cast<double>(s.entries()); }

std::string rateText(double fps) { return fixed(fps, 3); }

// "1200 (600a)": a field and the AVI script's name for it.
std::string fieldText(std::int64_t field) { return std::to_string(field) + " (" + fieldName(field) + ")"; }

std::string normalisationNote(const Project& project) {
  if (!project.normalised()) return {};
  const std::int64_t from = project.block().normalisation.movedFrom;
  return "The AVI script starts at 0a: its first kept entry, " + fieldText(from) +
         " in the project, is moved to entry 0 (other tools get it where it is).";
}

std::string textReport(const Project& project, const CadenceReport& r) {
  char line[200];
  std::string out = project.path() + "\n";
  std::snprintf(line, sizeof line,
                "  %" PRId64 " fields (%" PRId64 " frames, %s at %s fields a second), kept %" PRId64 ", copy %" PRId64
                ", unlisted %" PRId64 "\n",
                r.entries, videoFrames(r.entries), clockTime(fieldSeconds(r.entries, r.rate)).c_str(),
                fixed(r.rate.fields(), 3).c_str(), r.kept, r.copy, r.unlisted);
  out += line;
  out += "  sections " + std::to_string(r.sections.size()) + ", breaks " + std::to_string(r.breaks) +
         ", periodic " + fixed(100 * r.periodicShare, 1) + "% of entries\n";
  if (!r.sections.empty()) {
    const Section& l = r.sections[r.longest];
    std::snprintf(line, sizeof line, "  longest section %s-%s (%" PRId64 " entries, %s %s)\n", fieldText(l.first).c_str(),
                  fieldText(l.last).c_str(), l.entries(), kindName(l.kind), l.pattern);
    out += line;
    const char* name = cadenceName(r.commonPattern.c_str());
    out += "  most common pattern " + r.commonPattern + (name ? std::string(" (") + name + ")" : "") + ": " +
           std::to_string(r.commonEntries) + " entries in " + std::to_string(r.commonCount) +
           (r.commonCount == 1 ? " section\n" : " sections\n");
    out += "  rates:";
    for (const RateShare& rs : r.rates)
      out += " " + rateText(rs.fps) + " fps " + fixed(100 * rs.share, 1) + "%" + (&rs == &r.rates.back() ? "" : ",");
    out += "\n";
  }
  if (const std::string note = normalisationNote(project); !note.empty()) out += "  " + note + "\n";
  out += "\n      first   script          time       last      kept  kept index  kept %      fps  kind         pattern      cadence\n";
  for (const Section& s : r.sections) {
    std::snprintf(line, sizeof line, "%c %9" PRId64 "  %7s  %12s  %9" PRId64 "  %8u  %10u  %6s  %7s  %-11s  %-11s  %s\n",
                  s.isBreak ? '!' : ' ', s.first, fieldName(s.first).c_str(), clockTime(s.seconds).c_str(), s.last,
                  s.kept, s.firstKeptIndex, fixed(100 * keptShare(s), 1).c_str(), rateText(s.fps).c_str(),
                  kindName(s.kind), s.pattern, s.cadence ? s.cadence : "");
    std::string row = line;
    row.erase(row.find_last_not_of(' ', row.size() - 2) + 1, row.size() - 2 - row.find_last_not_of(' ', row.size() - 2));
    out += row;
  }
  out += "\nBreaks to review (entry (script), time: kind pattern, fps):\n";
  for (const Section& s : r.sections)
    if (s.isBreak)
      out += "  " + fieldText(s.first) + ", " + clockTime(s.seconds) + ": " + kindName(s.kind) + " " + s.pattern + ", " +
             rateText(s.fps) + " fps\n";
  return out;
}

std::string jsonReport(const Project& project, const CadenceReport& r) {
  std::string out = "{" + jsonPathFields(project.path()) + ", \"summary\": {\"entries\": " +
                    std::to_string(r.entries) + ", \"fields\": " + std::to_string(r.entries) +
                    ", \"videoFrames\": " + std::to_string(videoFrames(r.entries)) + ", \"rate\": \"" +
                    std::to_string(r.rate.num) + "/" + std::to_string(r.rate.den) + "\", \"seconds\": " +
                    fixed(fieldSeconds(r.entries, r.rate), 6) + ", \"kept\": " + std::to_string(r.kept) +
                    ", \"copy\": " + std::to_string(r.copy) + ", \"unlisted\": " + std::to_string(r.unlisted) +
                    ", \"sections\": " + std::to_string(r.sections.size()) + ", \"breaks\": " +
                    std::to_string(r.breaks) + ", \"periodicShare\": " + fixed(r.periodicShare, 6);
  if (!r.sections.empty()) {
    const Section& l = r.sections[r.longest];
    out += ", \"longestSection\": {\"first\": " + std::to_string(l.first) + ", \"last\": " + std::to_string(l.last) +
           ", \"entries\": " + std::to_string(l.entries()) + "}, \"mostCommonPattern\": {\"pattern\": " +
           jsonString(r.commonPattern) + ", \"entries\": " + std::to_string(r.commonEntries) +
           ", \"sections\": " + std::to_string(r.commonCount) + "}";
  }
  out += ", \"rates\": [";
  for (std::size_t i = 0; i < r.rates.size(); ++i)
    out += std::string(i ? ", " : "") + "{\"fps\": " + fixed(r.rates[i].fps, 3) +
           ", \"entries\": " + std::to_string(r.rates[i].entries) + ", \"share\": " + fixed(r.rates[i].share, 6) + "}";
  out += "], \"normalisedFrom\": " +
         (project.normalised() ? std::to_string(project.block().normalisation.movedFrom) : std::string("null"));
  out += "}, \"sections\": [";
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    const Section& s = r.sections[i];
    out += std::string(i ? ",\n  " : "\n  ") + "{\"first\": " + std::to_string(s.first) + ", \"scriptStart\": \"" +
           fieldName(s.first) + "\", \"last\": " + std::to_string(s.last) + ", \"seconds\": " + fixed(s.seconds, 6) +
           ", \"fps\": " + fixed(s.fps, 6) + ", \"kept\": " + std::to_string(s.kept) +
           ", \"firstKeptIndex\": " + std::to_string(s.firstKeptIndex) + ", \"keptShare\": " +
           fixed(keptShare(s), 6) + ", \"pattern\": " + jsonString(s.pattern) + ", \"kind\": \"" +
           kindName(s.kind) + "\", \"cadence\": " + (s.cadence ? "\"" + std::string(s.cadence) + "\"" : "null") +
           ", \"break\": " + (s.isBreak ? "true" : "false") + "}";
  }
  out += "], \"breaks\": [";
  const char* sep = "";
  for (const Section& s : r.sections)
    if (s.isBreak) {
      out += sep + std::to_string(s.first);
      sep = ", ";
    }
  return out + "]}";
}

std::string htmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
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

const char* kindColour(PatternKind kind) {
  switch (kind) {
    case PatternKind::Cycle:
      return "#2a9d8f";
    case PatternKind::Run:
      return "#457b9d";
    case PatternKind::Alternation:
      return "#8ab17d";
    case PatternKind::Single:
      return "#e9c46a";
    case PatternKind::Irregular:
      return "#e76f51";
  }
  return "#999";
}

// The whole list in kBuckets columns: each coloured by the kind that covers
// most of its entries, a mark on top where a break falls in it.
std::string overviewSvg(const CadenceReport& r) {
  std::string svg = "<svg id=\"overview\" viewBox=\"0 0 " + std::to_string(kBuckets) +
                    " 60\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"overview of the list\">";
  if (r.entries == 0 || r.sections.empty()) return svg + "</svg>";
  std::vector<std::int64_t> cover(static_cast<std::size_t>(kBuckets) * 5, 0);
  std::vector<bool> broken(kBuckets, false);
  const auto bucketOf = [&](std::int64_t entry) {
    return static_cast<int>(entry * kBuckets / r.entries);
  };
  for (const Section& s : r.sections) {
    if (s.isBreak) broken[static_cast<std::size_t>(bucketOf(s.first))] = true;
    for (int b = bucketOf(s.first); b <= bucketOf(s.last); ++b) {
      const std::int64_t from = std::max<std::int64_t>(s.first, (b * r.entries + kBuckets - 1) / kBuckets);
      const std::int64_t to = std::min<std::int64_t>(s.last, ((b + 1) * r.entries + kBuckets - 1) / kBuckets - 1);
      if (to >= from) cover[static_cast<std::size_t>(b) * 5 + static_cast<std::size_t>(s.kind)] += to - from + 1;
    }
  }
  int runStart = 0;
  int runKind = -1;
  const auto flush = [&](int end) {
    if (runKind >= 0)
      svg += "<rect x=\"" + std::to_string(runStart) + "\" y=\"12\" width=\"" + std::to_string(end - runStart) +
             "\" height=\"48\" fill=\"" + kindColour(static_cast<PatternKind>(runKind)) + "\"/>";
  };
  for (int b = 0; b <= kBuckets; ++b) {
    int kind = -1;
    if (b < kBuckets) {
      std::int64_t most = 0;
      for (int k = 0; k < 5; ++k)
        if (cover[static_cast<std::size_t>(b) * 5 + static_cast<std::size_t>(k)] > most) {
          most = cover[static_cast<std::size_t>(b) * 5 + static_cast<std::size_t>(k)];
          kind = k;
        }
    }
    if (kind != runKind || b == kBuckets) {
      flush(b);
      runStart = b;
      runKind = kind;
    }
  }
  for (int b = 0; b < kBuckets; ++b)
    if (broken[static_cast<std::size_t>(b)])
      svg += "<rect class=\"break-mark\" x=\"" + std::to_string(b) + "\" y=\"0\" width=\"1\" height=\"10\" fill=\"#c1121f\"/>";
  return svg + "</svg>";
}

std::string htmlReport(const std::string& path, const FrameList& list, const CadenceReport& r) {
  const std::size_t shown = std::min(r.sections.size(), kPageSections);
  std::string rows;
  std::string states;  // the first entries of each shown section: K kept, C copy, - other
  for (std::size_t i = 0; i < shown; ++i) {
    const Section& s = r.sections[i];
    rows += std::string("<tr") + (s.isBreak ? " class=\"break\"" : "") + " data-i=\"" + std::to_string(i) +
            "\"><td>" + std::to_string(s.first) + "</td><td>" + std::to_string(s.last) + "</td><td>" +
            std::to_string(s.kept) + "</td><td>" + std::to_string(s.firstKeptIndex) + "</td><td>" +
            fixed(100 * keptShare(s), 1) + "</td><td>" + kindName(s.kind) + "</td><td>" + s.pattern + "</td></tr>\n";
    for (std::int64_t e = s.first; e <= std::min(s.last, s.first + kDetailEntries - 1); ++e) {
      const std::uint8_t state = list.entries[static_cast<std::size_t>(e)].state;
      states += state == Kept ? 'K' : state == Copy ? 'C' : '-';
    }
  }
  std::string page = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="generator" content="pulldex-cli )" PULLDEX_VERSION R"(">
<title>Cadence report: )" + htmlEscape(path) + R"(</title>
<style>
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#1d2d3a}
h1{font-size:1.3em} dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1em}
dt{color:#555} #overview{width:100%;height:60px;border:1px solid #ccc}
.legend span{display:inline-block;margin-right:1em} .legend i{display:inline-block;width:.9em;height:.9em;margin-right:.3em;vertical-align:middle}
table{border-collapse:collapse;margin-top:1em} th,td{padding:.15em .6em;text-align:right;border-bottom:1px solid #eee}
th{cursor:pointer;background:#f3f5f7;position:sticky;top:0} td:nth-child(6),td:nth-child(7){text-align:left;font-family:monospace}
tr.break td:first-child{color:#c1121f;font-weight:bold} tr.selected{background:#fff3c4}
#detail{margin-top:1em;min-height:2em;overflow-x:auto} #detail svg{display:block}
</style></head><body>
<h1>Cadence report: )" + htmlEscape(path) + R"(</h1>
<dl id="summary">
<dt>Entries</dt><dd>)" + std::to_string(r.entries) + R"(</dd>
<dt>Kept, copy, unlisted</dt><dd>)" + std::to_string(r.kept) + ", " + std::to_string(r.copy) + ", " +
                     std::to_string(r.unlisted) + R"(</dd>
<dt>Sections</dt><dd id="section-count">)" + std::to_string(r.sections.size()) + R"(</dd>
<dt>Breaks to review</dt><dd id="break-count">)" + std::to_string(r.breaks) + R"(</dd>
<dt>Entries in periodic sections</dt><dd>)" + fixed(100 * r.periodicShare, 1) + R"( %</dd>
)";
  if (!r.sections.empty()) {
    const Section& l = r.sections[r.longest];
    page += "<dt>Longest section</dt><dd>" + std::to_string(l.first) + " to " + std::to_string(l.last) + " (" +
            std::to_string(l.entries()) + " entries, " + kindName(l.kind) + " " + l.pattern + ")</dd>\n";
    page += "<dt>Most common pattern</dt><dd>" + r.commonPattern + " (" + std::to_string(r.commonCount) +
            " sections)</dd>\n";
  }
  page += "</dl>\n<p class=\"legend\">";
  for (const PatternKind k : {PatternKind::Cycle, PatternKind::Run, PatternKind::Alternation, PatternKind::Single,
                              PatternKind::Irregular})
    page += std::string("<span><i style=\"background:") + kindColour(k) + "\"></i>" + kindName(k) + "</span>";
  page += "<span><i style=\"background:#c1121f;width:2px\"></i>break</span></p>\n" + overviewSvg(r) +
          "\n<div id=\"detail\"><p>Pick a row of the table to see its entries.</p></div>\n";
  if (shown < r.sections.size())
    page += "<p id=\"truncated\">The table shows the first " + std::to_string(shown) + " of " +
            std::to_string(r.sections.size()) + " sections; <code>pulldex-cli report --json</code> lists them all.</p>\n";
  page += "<table id=\"sections\"><thead><tr><th>first</th><th>last</th><th>kept</th><th>kept index</th><th>kept %</th>"
          "<th>kind</th><th>pattern</th></tr></thead><tbody>\n" + rows + "</tbody></table>\n";
  page += "<script>const STATES=\"" + states + "\",DETAIL=" + std::to_string(kDetailEntries) + ";\n";
  page += R"JS((function(){
const body=document.querySelector('#sections tbody');
const rows=Array.from(body.rows);
const offsets=[];let at=0;
for(const r of rows){offsets.push(at);const c=r.cells;at+=Math.min(+c[1].textContent-(+c[0].textContent)+1,DETAIL);}
function show(row){
  rows.forEach(r=>r.classList.remove('selected'));row.classList.add('selected');
  const c=row.cells,first=+c[0].textContent,last=+c[1].textContent,n=Math.min(last-first+1,DETAIL);
  const s=STATES.substr(offsets[+row.dataset.i],n),w=30;
  let svg='<svg width="'+(n*w)+'" height="46" viewBox="0 0 '+(n*w)+' 46">';
  for(let k=0;k<n;k++){const st=s[k],fill=st==='K'?'#2a9d8f':st==='C'?'#e76f51':'#d9dde1';
    svg+='<g class="entry '+(st==='K'?'kept':st==='C'?'copy':'unlisted')+'"><rect x="'+(k*w+1)+'" y="2" width="'+(w-2)+'" height="24" fill="'+fill+'"/>'+
      '<text x="'+(k*w+w/2)+'" y="40" font-size="9" text-anchor="middle">'+(first+k)+'</text></g>';}
  svg+='</svg>';
  document.getElementById('detail').innerHTML='<h2>Section '+first+' to '+last+': '+c[5].textContent+' '+c[6].textContent+
    '</h2><p>'+c[2].textContent+' kept of '+(last-first+1)+' entries'+(last-first+1>n?'; the first '+n+' drawn':'')+
    '. Green: kept, red: copy, grey: unlisted.</p>'+svg;
}
body.addEventListener('click',e=>{const row=e.target.closest('tr');if(row)show(row);});
document.querySelectorAll('#sections th').forEach((th,col)=>{let up=true;th.addEventListener('click',()=>{
  const text=col>=5,sorted=Array.from(body.rows).sort((a,b)=>{const x=a.cells[col].textContent,y=b.cells[col].textContent;
    return (text?x.localeCompare(y):(+x)-(+y))*(up?1:-1);});
  up=!up;sorted.forEach(r=>body.appendChild(r));});});
const m=/click=(\d+)/.exec(location.hash);
if(m&&rows[+m[1]])rows[+m[1]].dispatchEvent(new MouseEvent('click',{bubbles:true}));
})();
</script></body></html>
)JS";
  return page;
}

}  // namespace

int report(Context& c) {
  const Options& o = c.options;
  FrameRate rate;
  if (!parseRate(o.rate, rate.num, rate.den)) {
    c.err << "pulldex-cli: --rate: not a frame rate: " << o.rate << "\n";
    return kUsage;
  }
  std::vector<std::string> objects;
  const int status = forEachProject(c, [&](Project& project) {
    const CadenceReport r = cadenceReport(project.list(), rate);
    objects.push_back(o.json ? jsonReport(project, r) : textReport(project, r));
    if (!o.html) return kOk;
    const std::string target =
        o.html->empty() ? outputPath({.outputDir = o.outputDir}, project.path(), ".report", ".html") : *o.html;
    const Status s = writeOutput(destinationFor(c, project, target, Error::CreatePage), [&](Sink& sink) {
      sink.write(htmlReport(project.path(), project.list(), r));
      return Status{};
    });
    return s.ok() ? kOk : fail(c, project.path(), target, s);
  });
  // With the page on standard output, the report itself stays off it.
  if (o.html && *o.html == "-") return status;
  printReports(c, objects);
  return status;
}

}  // namespace pulldex::cli
