// check: the list's decisions against the video they were made for. ffmpeg
// decodes the video; every frame the list would make is measured for
// combing, and the shift of the list that fits the video best is found.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "base/sys.h"
#include "cli/cli.h"
#include "cli/project_notes.h"
#include "cli/report_page.h"
#include "formats/cadence_report.h"
#include "formats/json.h"
#include "video/check.h"
#include "video/combing.h"

namespace pulldex::cli {

namespace {

std::string percent(double share) { return fixed(100 * share, 1) + " %"; }

std::string signedOffset(int o) { return o > 0 ? "+" + std::to_string(o) : std::to_string(o); }

double scoreShare(int score) { return static_cast<double>(score) / kCombScoreMax; }

// One line on standard error that updates in place, where it is a terminal.
class Progress {
 public:
  Progress(std::ostream& err, std::int64_t total) : err_(err), total_(total), on_(sys::stderrIsTerminal()) {}
  ~Progress() { clear(); }
  void operator()(std::int64_t done) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double speed = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::string line = "  " + std::to_string(done) + (done <= total_ ? " of " + std::to_string(total_) : "") +
                       " fields, " + std::to_string(std::llround(speed)) + " fields/s";
    if (done < total_ && speed > 0)
      line += ", " + clockTime(static_cast<double>(total_ - done) / speed).substr(0, 7) + " left";
    err_ << "\r" << line << "\x1b[K" << std::flush;
    shown_ = true;
  }
  void clear() {
    if (shown_) err_ << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

 private:
  std::ostream& err_;
  std::int64_t total_;
  bool on_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

// What the best shift says, in words.
std::string offsetText(const CheckResult& r) {
  const OffsetFit& best = r.at(r.best);
  std::string text;
  if (r.clearlyBetter) {
    const int n = std::abs(r.best);
    text = "the video starts " + std::to_string(n) + (n == 1 ? " field " : " fields ") +
           (r.best < 0 ? "later" : "earlier") + " than the list: " + percent(best.share()) + " clean at offset " +
           signedOffset(r.best) + " against " + percent(r.at(0).share()) + " as given";
  } else {
    text = "the list fits the video as given (offset 0, " + percent(r.at(0).share()) + " clean)";
  }
  if (!r.alsoFits.empty()) {
    text += "; fits equally at " + signedOffset(r.best);
    for (std::size_t i = 0; i < r.alsoFits.size(); ++i)
      text += (i + 1 == r.alsoFits.size() ? " and " : ", ") + signedOffset(r.alsoFits[i]);
  }
  return text;
}

// The runs of combed entries, each with the section it starts in: entries
// that follow one another among the kept ones form a run.
template <class Each>
void combedRuns(const Project& project, const StoredList& stored, const FrameList& list, const CheckResult& r,
                Each&& each) {
  SectionStream sections(project.list(), FrameRate{}, stored.storedOrNull());
  Section s;
  bool more = sections.next(s);
  Section next;
  bool hasNext = more && sections.next(next);
  std::size_t i = 0;
  while (i < r.combed.size()) {
    std::size_t j = i + 1;
    // The next combed entry is the next kept one.
    while (j < r.combed.size()) {
      std::int64_t k = r.combed[j - 1].entry + 1;
      while (k < r.combed[j].entry && !list.isKept(k)) ++k;
      if (k != r.combed[j].entry) break;
      ++j;
    }
    while (hasNext && next.first <= r.combed[i].entry) {
      s = next;
      hasNext = sections.next(next);
    }
    each(i, j, s);
    i = j;
  }
}

std::string suggestionText(const CombedEntry& e) {
  return e.suggestion < 0 ? std::string()
                          : "keep " + std::to_string(e.suggestion) + " instead of " + std::to_string(e.entry);
}

void textCheck(Sink& out, const Project& project, const StoredList& stored, const std::string& video,
               const FrameList& list, const CheckResult& r, bool topFirst, FrameRate rate) {
  std::string text = project.path() + " against " + video + "\n";
  text += "  video     " + std::to_string(r.videoFields()) + " fields (" + std::to_string(r.videoFrames) + " frames, " +
          std::to_string(r.width) + "x" + std::to_string(r.height) +
          (r.rate.num > 0 ? ", " + fixed(static_cast<double>(r.rate.num) / static_cast<double>(r.rate.den), 3) + " fps"
                          : std::string()) +
          "), " + (topFirst ? "top" : "bottom") + " field first\n";
  text += "  list      " + std::to_string(r.entries) + " entries\n";
  if (videoFrames(r.entries) != r.videoFrames)
    text += "  warning   the video has " + std::to_string(r.videoFrames) + " frames, the list covers " +
            std::to_string(videoFrames(r.entries)) + "\n";
  if (r.unchecked > 0)
    text += "  warning   " + std::to_string(r.unchecked) +
            (r.unchecked == 1 ? " kept entry lies" : " kept entries lie") +
            " past the video's last two fields, unchecked\n";
  text += "  kept      " + std::to_string(r.kept) + " checked, " + percent(r.cleanShare()) +
          " clean (combed above a score of " + fixed(scoreShare(r.threshold), 4) +
          (r.thresholdFromVideo ? ", found from the video" : "") + ")\n";
  text += "  offset    " + offsetText(r) + "\n";
  text += "  combed    " + std::to_string(r.combed.size()) + (r.combed.size() == 1 ? " kept entry" : " kept entries") +
          (r.combed.empty() ? "" : ":") + "\n";
  out.write(text);
  combedRuns(project, stored, list, r, [&](std::size_t from, std::size_t to, const Section& s) {
    const CombedEntry &a = r.combed[from], &b = r.combed[to - 1];
    std::string line = "    " + fieldText(a.entry);
    if (to > from + 1) line += " to " + fieldText(b.entry);
    line += " at " + clockTime(fieldSeconds(a.entry, rate)) +
            (to > from + 1 ? ", " + std::to_string(to - from) + " entries" : "") + ":";
    for (std::size_t k = from; k < to; ++k) {
      const CombedEntry& e = r.combed[k];
      line += std::string(k == from ? " " : "; ") + (to > from + 1 ? std::to_string(e.entry) + " " : "") + "score " +
              fixed(scoreShare(e.score), 4);
      if (e.suggestion >= 0) line += ", " + suggestionText(e);
    }
    line += "; in section " + fieldText(s.first) + ", " + kindName(s.kind) + " " + s.pattern +
            (s.cadence ? std::string(" (") + s.cadence + ")" : "");
    out.write(line + "\n");
  });
}

void jsonCheck(Json& json, const Project& project, const std::string& video, const CheckResult& r, bool topFirst,
               FrameRate rate) {
  json.StartObject();
  json.Path(project.path());
  json.Text("video", sys::toUtf8(video));
  const std::pair<const char*, std::int64_t> counts[] = {{"videoFields", r.videoFields()},
                                                         {"videoFrames", r.videoFrames},
                                                         {"width", r.width},
                                                         {"height", r.height},
                                                         {"entries", r.entries},
                                                         {"kept", r.kept},
                                                         {"cleanCount", r.clean},
                                                         {"unchecked", r.unchecked}};
  for (const auto& [key, value] : counts) {
    json.Key(key);
    json.Int(value);
  }
  json.Text("rate", std::to_string(rate.num) + "/" + std::to_string(rate.den));
  json.Key("fieldOrder");
  json.String(topFirst ? "tff" : "bff");
  json.Fixed("clean", r.cleanShare(), 6);
  json.Fixed("threshold", scoreShare(r.threshold), 6);
  json.Key("thresholdFromVideo");
  json.Bool(r.thresholdFromVideo);
  json.Key("combed");
  json.StartArray();
  for (const CombedEntry& e : r.combed) {
    json.StartObject();
    json.Int("entry", e.entry);
    json.Key("script");
    json.String(fieldName(e.entry).c_str());
    json.Fixed("seconds", fieldSeconds(e.entry, rate), 6);
    json.Fixed("score", scoreShare(e.score), 6);
    json.Key("suggestion");
    if (e.suggestion >= 0) {
      json.StartObject();
      json.Int("entry", e.suggestion);
      json.Key("script");
      json.String(fieldName(e.suggestion).c_str());
      json.Fixed("score", scoreShare(e.suggestionScore), 6);
      json.EndObject();
    } else {
      json.Null();
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("offset");
  json.StartObject();
  json.Int("best", r.best);
  json.Fixed("cleanAtBest", r.at(r.best).share(), 6);
  json.Fixed("cleanAsGiven", r.at(0).share(), 6);
  json.Key("clearlyBetter");
  json.Bool(r.clearlyBetter);
  json.Key("alsoFits");
  json.StartArray();
  for (const int o : r.alsoFits) json.Int(o);
  json.EndArray();
  json.Key("tried");
  json.StartArray();
  for (const OffsetFit& f : r.offsets) {
    json.StartObject();
    json.Int("offset", f.offset);
    json.Fixed("clean", f.share(), 6);
    json.Int("checked", f.checked);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  json.EndObject();
}

}  // namespace

int check(Context& c) {
  const Options& o = c.options;
  Reports reports(c);
  const int status = forEachProject(c, [&](Project& project, std::size_t index) {
    const std::string video = videoFor(o, index);
    const FrameList list = project.exportList();
    if (std::none_of(list.entries.begin(), list.entries.end(), [](const FrameEntry& e) { return e.state == Kept; }))
      return fail(c, project.path(), {Error::NothingKept, Subject::Project, 0});
    const bool topFirst = topFieldFirst(o, project);
    CheckSettings settings;
    settings.search = o.search;
    settings.threshold = o.threshold > 0 ? static_cast<int>(std::lround(o.threshold * kCombScoreMax)) : -1;
    settings.topFieldFirst = topFirst;
    const std::string ffmpeg = o.ffmpeg.empty() ? "ffmpeg" : o.ffmpeg;
    CheckResult r;
    DecodeProblem problem;
    {
      Progress progress(c.err, std::max<std::int64_t>(list.count(), 1));
      problem = checkVideo(list, ffmpeg, video, settings, r, std::ref(progress));
    }
    if (!problem.ok()) return failDecoding(c, video, ffmpeg, problem);
    const FrameRate rate = r.rate.num > 0 ? r.rate : FrameRate{};
    const StoredList stored(project);
    if (o.json) {
      jsonCheck(reports.json(), project, video, r, topFirst, rate);
    } else if (!(o.html && *o.html == "-")) {
      reports.beginText();
      textCheck(c.out, project, stored, video, list, r, topFirst, rate);
    }
    if (!o.html) return kOk;
    PageMarks marks;
    for (const CombedEntry& e : r.combed) marks.combed.push_back(e.entry);
    marks.summary = {{"Video", video + ", " + std::to_string(r.videoFrames) + " frames"},
                     {"Checked", std::to_string(r.kept) + " kept entries, " + percent(r.cleanShare()) + " clean"},
                     {"Combed", std::to_string(r.combed.size()) + " kept entries"},
                     {"Offset", offsetText(r)}};
    const CadenceSummary summary = cadenceSummary(project.list(), rate, stored.storedOrNull());
    return writePage(c, project, rate, summary, &marks, "Check against the video");
  });
  reports.finish();
  return status;
}

}  // namespace pulldex::cli
