// report: the sections of the script, the breaks to review and a summary,
// as a text table, JSON, or one self-contained HTML page with a picture.
#include "formats/cadence_report.h"

#include <cinttypes>
#include <cmath>
#include <unordered_map>
#include <cstdio>

#include "cli/cli.h"
#include "version.h"

namespace pulldex::cli {

namespace {

// Rows of the table that are in the page as written, for a reader without
// JavaScript; the script draws the rows in view from the embedded sections.
constexpr std::size_t kStaticRows = 200;
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

// "10100 (3:2 pulldown): 1200 entries in 1 section"
std::string commonPatternText(const CadenceReport& r) {
  const char* name = cadenceName(r.commonPattern.c_str());
  return r.commonPattern + (name ? std::string(" (") + name + ")" : "") + ": " + std::to_string(r.commonEntries) +
         " entries in " + std::to_string(r.commonCount) + (r.commonCount == 1 ? " section" : " sections");
}

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
    out += "  most common pattern " + commonPatternText(r) + "\n";
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

// A tick every so many seconds, so that the axis holds about ten.
double tickStep(double seconds) {
  for (const double step : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0})
    if (seconds / step <= 10) return step;
  return 7200;
}

// The whole list in kBuckets columns on a time axis: each coloured by the
// rate that covers most of its entries, a mark above where a break falls.
std::string overviewSvg(const CadenceReport& r) {
  std::string svg = "<svg id=\"overview\" viewBox=\"0 0 " + std::to_string(kBuckets) +
                    " 80\" preserveAspectRatio=\"none\" role=\"img\" aria-label=\"overview of the list\">";
  if (r.entries == 0 || r.sections.empty()) return svg + "</svg>";
  std::vector<std::int64_t> cover(static_cast<std::size_t>(kBuckets) * 3, 0);
  std::vector<bool> broken(kBuckets, false);
  const auto bucketOf = [&](std::int64_t entry) { return static_cast<int>(entry * kBuckets / r.entries); };
  for (const Section& s : r.sections) {
    if (s.isBreak) broken[static_cast<std::size_t>(bucketOf(s.first))] = true;
    const auto c = static_cast<std::size_t>(rateClass(s.fps, r.rate));
    for (int b = bucketOf(s.first); b <= bucketOf(s.last); ++b) {
      const std::int64_t from = std::max<std::int64_t>(s.first, (b * r.entries + kBuckets - 1) / kBuckets);
      const std::int64_t to = std::min<std::int64_t>(s.last, ((b + 1) * r.entries + kBuckets - 1) / kBuckets - 1);
      if (to >= from) cover[static_cast<std::size_t>(b) * 3 + c] += to - from + 1;
    }
  }
  int runStart = 0;
  int runClass = -1;
  for (int b = 0; b <= kBuckets; ++b) {
    int c = -1;
    if (b < kBuckets) {
      std::int64_t most = 0;
      for (int k = 0; k < 3; ++k)
        if (cover[static_cast<std::size_t>(b) * 3 + static_cast<std::size_t>(k)] > most) {
          most = cover[static_cast<std::size_t>(b) * 3 + static_cast<std::size_t>(k)];
          c = k;
        }
    }
    if (c != runClass || b == kBuckets) {
      if (runClass >= 0)
        svg += "<rect x=\"" + std::to_string(runStart) + "\" y=\"14\" width=\"" + std::to_string(b - runStart) +
               "\" height=\"44\" fill=\"" + rateColour(static_cast<RateClass>(runClass)) + "\"/>";
      runStart = b;
      runClass = c;
    }
  }
  // Marks wide enough to see, however short the break.
  for (int b = 0; b < kBuckets; ++b)
    if (broken[static_cast<std::size_t>(b)])
      svg += "<path class=\"break-mark\" d=\"M" + std::to_string(b - 4) + " 0h9l-4.5 12z\" fill=\"#c1121f\"/>";
  // The time axis.
  const double total = fieldSeconds(r.entries, r.rate);
  const double step = tickStep(total);
  for (double t = 0; t <= total; t += step) {
    const std::string x = fixed(t / total * kBuckets, 1);
    const char* anchor = t == 0 ? "start" : t + step > total ? "end" : "middle";
    svg += "<path d=\"M" + x + " 58v6\" stroke=\"#555\"/><text x=\"" + x +
           "\" y=\"76\" font-size=\"9\" text-anchor=\"" + anchor + "\" class=\"tick\">" +
           clockTime(t).substr(0, clockTime(t).size() - 4) + "</text>";
  }
  return svg + "</svg>";
}

std::string tableRow(const CadenceReport& r, std::size_t i) {
  const Section& s = r.sections[i];
  return std::string("<tr") + (s.isBreak ? " class=\"break\"" : "") + " data-i=\"" + std::to_string(i) + "\"><td>" +
         std::to_string(s.first) + "</td><td>" + fieldName(s.first) + "</td><td>" + clockTime(s.seconds) + "</td><td>" +
         std::to_string(s.last) + "</td><td>" + std::to_string(s.kept) + "</td><td>" +
         std::to_string(s.firstKeptIndex) + "</td><td>" + fixed(100 * keptShare(s), 1) + "</td><td>" +
         rateText(s.fps) + "</td><td>" + kindName(s.kind) + "</td><td>" + s.pattern + "</td><td>" +
         (s.cadence ? s.cadence : "") + "</td></tr>\n";
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

std::string htmlReport(const Project& project, const CadenceReport& r) {
  const std::string& path = project.path();
  // The sections, compactly: for each, its first entry (as the step from
  // the one before), its kept count, its pattern's number and whether it is
  // a break; each as comma-separated numbers, a run of equal ones as
  // "value*count". Times and rates follow from these.
  std::vector<std::string> patterns;
  std::unordered_map<std::string, std::size_t> patternIndex;
  RunLengths firsts, kept, pats, breaks;
  std::int64_t previous = 0;
  for (const Section& s : r.sections) {
    auto [it, added] = patternIndex.try_emplace(s.pattern, patterns.size());
    if (added) patterns.push_back(s.pattern);
    firsts.add(s.first - previous);
    kept.add(s.kept);
    pats.add(static_cast<std::int64_t>(it->second));
    breaks.add(s.isBreak);
    previous = s.first;
  }
  std::string patternList = "[";
  for (std::size_t i = 0; i < patterns.size(); ++i) patternList += (i ? ",\"" : "\"") + patterns[i] + "\"";
  patternList += "]";

  const std::size_t shown = std::min(r.sections.size(), kStaticRows);
  std::string rows;
  for (std::size_t i = 0; i < shown; ++i) rows += tableRow(r, i);
  std::string page = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="generator" content="pulldex-cli )" PULLDEX_VERSION R"(">
<title>Cadence report: )" + htmlEscape(path) + R"(</title>
<style>
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#1d2d3a}
h1{font-size:1.3em} dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1em}
dt{color:#555} #overview{width:100%;height:80px;border:1px solid #ccc}
.legend span{display:inline-block;margin-right:1em} .legend i{display:inline-block;width:.9em;height:.9em;margin-right:.3em;vertical-align:middle}
#rows{max-height:28em;overflow-y:auto;margin-top:1em;border:1px solid #eee}
table{border-collapse:collapse} th,td{padding:.15em .6em;text-align:right;border-bottom:1px solid #eee;white-space:nowrap}
th{cursor:pointer;background:#f3f5f7;position:sticky;top:0} td:nth-child(n+9){text-align:left;font-family:monospace}
tr.break td:first-child{color:#c1121f;font-weight:bold} tr.selected{background:#fff3c4}
#detail{margin-top:1em;min-height:2em;overflow-x:auto} #detail svg{display:block}
</style></head><body>
<h1>Cadence report: )" + htmlEscape(path) + R"(</h1>
<dl id="summary">
<dt>Fields</dt><dd>)" + std::to_string(r.entries) + " (" + std::to_string(videoFrames(r.entries)) + " frames, " +
                     clockTime(fieldSeconds(r.entries, r.rate)) + " at " + fixed(r.rate.fields(), 3) +
                     R"( fields a second)</dd>
<dt>Kept, copy, unlisted</dt><dd>)" + std::to_string(r.kept) + ", " + std::to_string(r.copy) + ", " +
                     std::to_string(r.unlisted) + R"(</dd>
<dt>Sections</dt><dd id="section-count">)" + std::to_string(r.sections.size()) + R"(</dd>
<dt>Breaks to review</dt><dd id="break-count">)" + std::to_string(r.breaks) + R"(</dd>
<dt>Entries in periodic sections</dt><dd>)" + fixed(100 * r.periodicShare, 1) + R"( %</dd>
)";
  if (!r.sections.empty()) {
    const Section& l = r.sections[r.longest];
    page += "<dt>Longest section</dt><dd>" + fieldText(l.first) + " to " + fieldText(l.last) + " (" +
            std::to_string(l.entries()) + " entries, " + kindName(l.kind) + " " + l.pattern + ")</dd>\n";
    page += "<dt>Most common pattern</dt><dd>" + commonPatternText(r) + "</dd>\n";
    page += "<dt>Rates</dt><dd id=\"rates\">";
    for (const RateShare& rs : r.rates)
      page += std::string(&rs == &r.rates.front() ? "" : ", ") + rateText(rs.fps) + " fps: " + fixed(100 * rs.share, 1) +
              " %";
    page += "</dd>\n";
  }
  if (const std::string note = normalisationNote(project); !note.empty())
    page += "<dt>Note</dt><dd id=\"normalised\">" + note + "</dd>\n";
  page += "</dl>\n<p class=\"legend\">";
  for (const RateClass c : {RateClass::Film, RateClass::Video, RateClass::Other})
    page += std::string("<span><i style=\"background:") + rateColour(c) + "\"></i>" +
            (c == RateClass::Film ? "film (" + rateText(r.rate.fields() * 2 / 5) + " fps)"
             : c == RateClass::Video ? "video (" + rateText(r.rate.fields() / 2) + " fps)"
                                     : std::string("other rates")) +
            "</span>";
  page += "<span><i style=\"background:#c1121f\"></i>break</span></p>\n" + overviewSvg(r) +
          "\n<div id=\"detail\"><p>Pick a row of the table to see its entries.</p></div>\n";
  page += "<div id=\"rows\"><table id=\"sections\"><thead><tr><th>first</th><th>script</th><th>time</th><th>last</th>"
          "<th>kept</th><th>kept index</th><th>kept %</th><th>fps</th><th>kind</th><th>pattern</th><th>cadence</th>"
          "</tr></thead><tbody>\n" + rows + "</tbody></table></div>\n";
  if (shown < r.sections.size())
    page += "<noscript><p>Without JavaScript the table shows the first " + std::to_string(shown) + " of " +
            std::to_string(r.sections.size()) + " sections; <code>pulldex-cli report --json</code> lists them all.</p></noscript>\n";
  page += "<script>const D={n:" + std::to_string(r.sections.size()) + ",first:\"" + firsts.text() + "\",kept:\"" +
          kept.text() + "\",pat:\"" + pats.text() + "\",brk:\"" + breaks.text() + "\",patterns:" + patternList +
          ",entries:" + std::to_string(r.entries) + ",fields:" + fixed(r.rate.fields(), 9) + "};\n";
  page += R"JS((function(){
const n=D.n;
// The numbers as written: comma-separated, "v*c" for c of them, read
// without making a string of each.
function num(t){const a=new Float64Array(n);let v=0,c=0,rep=false,k=0;
  const put=()=>{const times=rep?c:1;for(let j=0;j<times;j++)a[k++]=v;v=0;c=0;rep=false;};
  for(let i=0;i<t.length;i++){const ch=t.charCodeAt(i);
    if(ch===44)put();else if(ch===42)rep=true;else if(rep)c=c*10+ch-48;else v=v*10+ch-48;}
  if(t.length)put();return a;}
const F=num(D.first),K=num(D.kept),P=num(D.pat),B=num(D.brk);
for(let i=1;i<n;i++)F[i]+=F[i-1];
const KI=new Array(n);let acc=0;for(let i=0;i<n;i++){KI[i]=acc;acc+=K[i];}
const last=i=>i+1<n?F[i+1]-1:D.entries-1;
const name=e=>Math.floor(e/2)+(e%2?'b':'a');
const clock=s=>{const ms=Math.round(s*1000),h=Math.floor(ms/3600000),m=Math.floor(ms/60000)%60,sec=Math.floor(ms/1000)%60;
  return h+':'+String(m).padStart(2,'0')+':'+String(sec).padStart(2,'0')+'.'+String(ms%1000).padStart(3,'0');};
const KINDS={'1':'single','1 0':'irregular'};
function kind(p){if(KINDS[p])return KINDS[p];const ones=p.split('1').length-1;return ones==4?'cycle':ones==2?'alternation':'run';}
const CAD=[['10100','3:2 pulldown'],['1010100100','2:3:3:2'],['10','video']];
function cadence(p){for(const[k,v]of CAD)if(p.length==k.length&&(k+k).includes(p))return v;return '';}
// Kept entries a second: a periodic section's pattern share, else kept over entries.
function fps(i){const p=D.patterns[P[i]];if(p=='1'||p=='1 0')return D.fields*K[i]/(last(i)-F[i]+1);
  return D.fields*(p.split('1').length-1)/p.length;}
function cells(i){const f=F[i],l=last(i),p=D.patterns[P[i]];
  return [f,name(f),clock(f/D.fields),l,K[i],KI[i],(100*K[i]/(l-f+1)).toFixed(1),fps(i).toFixed(3),kind(p),p,cadence(p)];}
// Kept or dropped, for any entry: each section keeps its pattern from its first entry.
function keptSet(from,to){const kept=new Set();
  let lo=0,hi=n-1;while(lo<hi){const m=(lo+hi+1)>>1;if(F[m]<=from)lo=m;else hi=m-1;}
  for(let i=Math.max(0,lo-1);i<n&&F[i]<=to;i++){const p=D.patterns[P[i]];
    if(p=='1'||p=='1 0'){kept.add(F[i]);continue;}
    const offs=[];for(let k=0;k<p.length;k++)if(p[k]=='1')offs.push(k);
    let e=F[i],c=0;for(let q=0;c<K[i];q++){const base=F[i]+q*p.length;for(const o of offs){if(c>=K[i])break;e=base+o;kept.add(e);c++;}}}
  return kept;}
const box=document.getElementById('rows'),body=document.querySelector('#sections tbody');
const order=new Uint32Array(n);for(let i=0;i<n;i++)order[i]=i;
let selected=-1;const ROW=24,AROUND=20,DETAIL=120,MAXH=4e6;
// The rows in view: the scroll position stands for a share of all the rows,
// since no browser makes an element millions of rows high.
function draw(){const count=Math.ceil(box.clientHeight/ROW)+2,H=Math.min(n*ROW,MAXH),top=box.scrollTop,
    room=Math.max(1,H-box.clientHeight),first=Math.min(Math.max(0,n-count),Math.round(top/room*Math.max(0,n-count))),
    shown=Math.min(n,first+count),pad=Math.max(0,Math.min(top,H-(shown-first)*ROW));
  let html='<tr style="height:'+pad+'px"></tr>';
  for(let r=first;r<shown;r++){const i=order[r];
    html+='<tr data-i="'+i+'" class="'+(B[i]?'break':'')+(i==selected?' selected':'')+'"><td>'+cells(i).join('</td><td>')+'</td></tr>';}
  html+='<tr style="height:'+Math.max(0,H-pad-(shown-first)*ROW)+'px"></tr>';body.innerHTML=html;}
function show(i){selected=i;draw();
  const f=F[i],l=last(i),from=Math.max(0,f-AROUND),to=Math.min(D.entries-1,Math.min(l,f+DETAIL-1)+AROUND),kept=keptSet(from,to),w=30;
  let svg='<svg width="'+((to-from+1)*w)+'" height="46">';
  for(let e=from;e<=to;e++){const k=kept.has(e),inside=e>=f&&e<=l,x=(e-from)*w;
    svg+='<g class="entry '+(k?'kept':'dropped')+(inside?'':' around')+'"><rect x="'+(x+1)+'" y="2" width="'+(w-2)+'" height="24" fill="'+(k?'#1b7f3b':'#b8bec6')+'"'+(inside?'':' fill-opacity="0.45"')+'/>'+
      '<text x="'+(x+w/2)+'" y="40" font-size="9" text-anchor="middle">'+e+'</text></g>';}
  const c=cells(i);
  document.getElementById('detail').innerHTML='<h2>Section '+f+' to '+l+' ('+c[1]+', '+c[2]+'): '+c[8]+' '+c[9]+', '+c[7]+' fps</h2><p>'+
    K[i]+' kept of '+(l-f+1)+' entries, with '+(f-from)+' before it and '+(to-Math.min(l,f+DETAIL-1))+' after it'+
    (l-f+1>DETAIL?'; its first '+DETAIL+' drawn':'')+'. Dark green: kept, grey: dropped; the entries around the section are paler.</p>'+svg+'</svg>';}
box.addEventListener('scroll',draw);
body.addEventListener('click',e=>{const row=e.target.closest('tr');if(row&&row.dataset.i)show(+row.dataset.i);});
document.querySelectorAll('#sections th').forEach((th,col)=>{let up=true;th.addEventListener('click',()=>{
  const text=col==1||col>=8,keys=Array.from(order,i=>cells(i)[col]),idx=Array.from(order.keys());
  idx.sort((a,b)=>{const x=keys[a],y=keys[b];return (text?String(x).localeCompare(String(y)):x-y)*(up?1:-1);});
  const was=order.slice();idx.forEach((k,r)=>order[r]=was[k]);
  up=!up;box.scrollTop=0;draw();});});
draw();
const m=/click=(\d+)/.exec(location.hash);
if(m&&+m[1]<n)show(+m[1]);
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
      sink.write(htmlReport(project, r));
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
