// check: the list's decisions against the video they were made for. ffmpeg
// decodes the video; its fields are grouped into the pictures the film had,
// and each kept entry is judged by the picture it shows. --fix writes the
// project with the repair.
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
#include "formats/png.h"
#include "project/ivtc_block.h"
#include "video/check.h"
#include "video/combing.h"

namespace pulldex::cli {

namespace {

std::string percent(double share) { return fixedText(100 * share, 1) + " %"; }

std::string signedOffset(int o) { return o > 0 ? "+" + std::to_string(o) : std::to_string(o); }

// A score as the share of its window's pixels that comb.
double scoreShare(int score) { return static_cast<double>(score) / kCombScoreMax; }

std::string orderName(bool topFirst) { return topFirst ? "top field first" : "bottom field first"; }

// One line on standard error that updates in place, where it is a terminal.
class Progress {
 public:
  Progress(std::ostream& err, std::int64_t total)
      : err_(err), total_(total), on_(sys::stderrIsTerminal()), escapes_(on_ && sys::terminalEscapes()) {}
  ~Progress() { clear(); }
  void operator()(std::int64_t done) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    std::string line = progressLine(done, total_, std::chrono::duration<double>(now - start_).count());
    const std::size_t length = line.size();
    // Without escapes, blanks clear what a longer line left.
    if (!escapes_ && line.size() < shown_) line.append(shown_ - line.size(), ' ');
    err_ << "\r" << line << (escapes_ ? "\x1b[K" : "") << std::flush;
    shown_ = length;
  }
  void clear() {
    if (shown_ > 0) err_ << "\r" << (escapes_ ? "\x1b[K" : std::string(shown_, ' ') + "\r") << std::flush;
    shown_ = 0;
  }

 private:
  std::ostream& err_;
  std::int64_t total_;
  bool on_, escapes_;
  std::size_t shown_ = 0;  // the length of the line shown
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

// What the fit of the list on the video says, in words.
std::string offsetText(const CheckResult& r) {
  std::string text;
  if (r.shifts.empty()) {
    text = "the list fits the video as given (offset 0)";
  } else {
    for (std::size_t i = 0; i < r.shifts.size(); ++i) {
      const Shift& s = r.shifts[i];
      const int n = std::abs(s.offset);
      text += i ? "; " : "";
      const std::string fields = std::to_string(n) + (n == 1 ? " field " : " fields ");
      if (s.entry == 0) {
        text += "the video starts " + fields + (s.offset < 0 ? "later" : "earlier") + " than the list (offset " +
                signedOffset(s.offset) + ")";
        continue;
      }
      const int step = s.offset - (i ? r.shifts[i - 1].offset : 0);
      const int m = std::abs(step);
      const std::string moved = std::to_string(m) + (m == 1 ? " field" : " fields");
      // Fields lost or gained only where the video's length says so; else
      // the film's 2:3 rhythm starts anew there, as at a cut in edited film.
      const std::int64_t longer = r.videoFields() - r.entries;
      if (s.offset < 0 ? longer <= s.offset : longer >= s.offset)
        text += "from entry " + fieldText(s.entry) + " on, offset " + signedOffset(s.offset) + ": the video " +
                (step < 0 ? "lacks " : "has ") + moved + (step < 0 ? "" : " more") + " there";
      else
        text += "the cadence restarts at " + fieldText(s.entry) + ", " + moved + (step < 0 ? " earlier" : " later") +
                " (offset " + signedOffset(s.offset) + " from there)";
    }
  }
  if (!r.alsoFits.empty()) {
    text += "; the fit is ambiguous: equally good at " + signedOffset(r.offset);
    for (std::size_t i = 0; i < r.alsoFits.size(); ++i)
      text += (i + 1 == r.alsoFits.size() ? " and " : ", ") + signedOffset(r.alsoFits[i]);
  }
  return text;
}

// What looks wrong with the video itself, and where the field order used
// is not the one the video shows.
std::vector<std::string> warningsOf(const CheckResult& r, bool forced) {
  std::vector<std::string> w;
  if (r.rate.num > 0) {
    const double fps = r.rate.fields() / 2;
    if (fps < 24.5 || fps > 30.5)
      w.push_back("the video runs at " + rateText(fps) +
                  " fps: telecined film is interlaced video at 29.97 or 30 fps (25 in PAL), so this video is not "
                  "telecined");
  }
  if (r.scan == 'p' && !r.videoTopFirst && r.kept > 0 && r.pulldown != Pulldown::Applied)
    w.push_back("the stream says its frames are progressive, and no field order shows in them");
  if (r.videoTopFirst && *r.videoTopFirst != r.topFirst)
    w.push_back(std::string("the video is ") + orderName(*r.videoTopFirst) + ", but " +
                (forced ? "--tff/--bff" : "the project") + " says " + orderName(r.topFirst));
  else if (r.videoTopFirst && *r.videoTopFirst != r.givenTopFirst)
    w.push_back(std::string("the project says ") + orderName(r.givenTopFirst) + ", but the video is " +
                orderName(*r.videoTopFirst) + "; the video's order is used");
  if (r.pulldown == Pulldown::Applied && !forced && r.weaveTopFirst != r.givenTopFirst)
    w.push_back(std::string("the project says ") + orderName(r.givenTopFirst) + ", but the stream's flags show " +
                orderName(r.weaveTopFirst) + "; the flags' order is used");
  if (r.orders.size() > 1)
    w.push_back("the video changes its field order " + countText(r.orders.size() - 1, "time", "times") +
                ": the check judges each stretch in its own order, but scripts made from the list weave every "
                "frame in the project's");
  if (r.pulldownAsked && r.pulldown == Pulldown::None)
    w.push_back("the stream repeats no fields: --pulldown changes nothing");
  if (r.pulldown != Pulldown::None && r.entries != r.shownFields && r.entries != 2 * r.codedPictures)
    w.push_back("the list's " + std::to_string(r.entries) + " entries fit neither the " +
                std::to_string(r.shownFields) + " fields the stream's flags show nor the " +
                std::to_string(2 * r.codedPictures) + " of its " + std::to_string(r.codedPictures) +
                " pictures; the nearer is used");
  if (videoFrames(r.entries) != r.videoFrames)
    w.push_back("the video has " + countText(r.videoFrames, "frame", "frames") + ", the list covers " +
                std::to_string(videoFrames(r.entries)));
  if (r.unchecked > 0)
    w.push_back(countText(static_cast<std::size_t>(r.unchecked), "kept entry lies", "kept entries lie") +
                " past the video's last field, unchecked");
  return w;
}

std::string whereText(std::int64_t entry, FrameRate rate) {
  return fieldText(entry) + " at " + clockTime(fieldSeconds(entry, rate));
}

std::string checkText(const Project& project, const std::string& video, const CheckResult& r,
                      const std::vector<std::string>& warnings, FrameRate rate, const std::string& repaired) {
  std::string text = project.path() + " against " + video + "\n";
  text += "  video      " + std::to_string(r.videoFields()) + " fields (" +
          countText(r.videoFrames, "frame", "frames") + ", " + std::to_string(r.width) + "x" +
          std::to_string(r.height) + (r.rate.num > 0 ? ", " + rateText(r.rate.fields() / 2) + " fps" : std::string()) +
          "), " + orderName(r.topFirst) +
          (r.pulldown == Pulldown::Applied ? " (the fields the stream's flags show)"
           : r.videoTopFirst               ? *r.videoTopFirst == r.topFirst ? " (as the video shows)" : " (forced)"
                                           : " (the video shows no order; the project's is used)") +
          "\n";
  for (std::size_t i = 1; i < r.orders.size(); ++i)
    text += "  order      " + orderName(r.orders[i].topFirst) + " from " + fieldText(2 * r.orders[i].from) +
            ", as the video shows\n";
  if (r.pulldown != Pulldown::None)
    text += "  pulldown   " + std::string(pulldownName(r.pulldown)) + ": " + std::to_string(r.codedPictures) +
            " coded pictures show " + std::to_string(r.shownFields) + " fields; the list follows " +
            (r.pulldown == Pulldown::Applied ? "the fields shown" : "two fields a picture") + "\n";
  text += "  list       " + std::to_string(r.entries) + " entries\n";
  for (const std::string& w : warnings) text += "  warning    " + w + "\n";
  text += "  kept       " + std::to_string(r.kept) + " judged as given, " + percent(r.cleanShare()) + " clean";
  if (r.unjudged > 0) text += "; " + std::to_string(r.unjudged) + " in stretches that prove nothing";
  text += r.threshold >= 0 ? " (combed above a score of " + fixedText(scoreShare(r.threshold), 2) + ")\n"
                           : " (each frame judged against those around it)\n";
  for (const StretchSpan& s : r.interlaced)
    text += "  interlaced " + fieldText(s.from) + " to " + fieldText(s.to) +
            ": every field its own moment, no pairing clean; kept as video, not judged\n";
  for (const StretchSpan& s : r.still)
    text += "  still      " + fieldText(s.from) + " to " + fieldText(s.to) +
            ": nothing moves, any pairing shows the "
            "same picture\n";
  text += "  offset     " + offsetText(r) + "\n";
  text +=
      "  combed     " + countText(r.combed.size(), "kept entry", "kept entries") + (r.combed.empty() ? "" : ":") + "\n";
  for (const CombedEntry& e : r.combed) {
    text += "    " + whereText(e.entry, rate) + ": score " + fixedText(scoreShare(e.score), 2);
    text += e.suggestion >= 0 ? ", keep " + std::to_string(e.suggestion) + " instead" : ", no clean entry beside it";
    text += "\n";
  }
  text += "  repeated   " + countText(r.repeated.size(), "kept entry", "kept entries") +
          (r.repeated.empty() ? "" : ":") + "\n";
  for (const RepeatedEntry& e : r.repeated)
    text += "    " + whereText(e.entry, rate) + " shows the picture of " + fieldText(e.sameAs) + "\n";
  text += "  lost       " + countText(r.lost.size(), "picture", "pictures") + (r.lost.empty() ? "" : ":") + "\n";
  for (const LostPicture& p : r.lost)
    text += "    fields " + std::to_string(p.from) + " to " + std::to_string(p.to) + " at " +
            clockTime(fieldSeconds(p.from, rate)) + ": keep " + fieldText(p.keep) + "\n";
  if (!r.orphans.empty()) {
    text += "  orphans    " + countText(r.orphans.size(), "field", "fields") +
            " alone, whose partner was cut away; a repair never keeps one:";
    for (std::size_t i = 0; i < r.orphans.size() && i < 20; ++i) text += (i ? ", " : " ") + fieldText(r.orphans[i]);
    text += r.orphans.size() > 20 ? ", ...\n" : "\n";
  }
  if (!repaired.empty()) {
    text += "  repaired   " + repaired + ": " + countText(r.changes.size(), "change", "changes") +
            (r.fromVideo ? r.keepsNoDecisions
                               ? ", every mark derived from the video (the list keeps every frame or one cadence "
                                 "throughout, no decisions of its own)"
                               : ", every mark derived from the video"
                         : "") +
            (r.changes.empty() ? "" : ":") + "\n";
    for (const Change& ch : r.changes)
      text +=
          "    " + fieldText(ch.entry) + (ch.kept ? " kept" : " not kept") + " (" + changeReasonName(ch.reason) + ")\n";
  }
  return text;
}

// An array of objects, one for each item, its members as `each` writes them.
template <class Items, class Each>
void jsonObjects(Json& json, const char* key, const Items& items, Each&& each) {
  json.Key(key);
  json.StartArray();
  for (const auto& item : items) {
    json.StartObject();
    each(item);
    json.EndObject();
  }
  json.EndArray();
}

void jsonCheck(Json& json, const Project& project, const std::string& video, const CheckResult& r,
               const std::vector<std::string>& warnings, FrameRate rate, const std::string& repaired) {
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
                                                         {"unchecked", r.unchecked},
                                                         {"unjudged", r.unjudged}};
  for (const auto& [key, value] : counts) json.Int(key, value);
  json.Text("rate", std::to_string(rate.num) + "/" + std::to_string(rate.den));
  json.Text("pulldown", pulldownName(r.pulldown));
  json.Int("codedPictures", r.codedPictures);
  json.Int("shownFields", r.shownFields);
  json.Text("fieldOrder", r.topFirst ? "tff" : "bff");
  json.Text("fieldOrderGiven", r.givenTopFirst ? "tff" : "bff");
  json.Key("fieldOrderVideo");
  if (r.videoTopFirst)
    json.String(*r.videoTopFirst ? "tff" : "bff");
  else
    json.Null();
  json.Key("warnings");
  json.StartArray();
  for (const std::string& w : warnings) json.Text(w);
  json.EndArray();
  json.Fixed("clean", r.cleanShare(), 6);
  json.Key("threshold");
  if (r.threshold >= 0)
    json.Fixed(scoreShare(r.threshold), 6);
  else
    json.Null();
  json.Key("thresholdFromVideo");
  json.Bool(r.threshold < 0);
  jsonObjects(json, "combed", r.combed, [&](const CombedEntry& e) {
    json.Int("entry", e.entry);
    json.Text("script", fieldName(e.entry));
    json.Fixed("seconds", fieldSeconds(e.entry, rate), 6);
    json.Fixed("score", scoreShare(e.score), 6);
    json.Key("suggestion");
    if (e.suggestion < 0) {
      json.Null();
      return;
    }
    json.StartObject();
    json.Int("entry", e.suggestion);
    json.Text("script", fieldName(e.suggestion));
    json.Fixed("score", scoreShare(e.suggestionScore), 6);
    json.EndObject();
  });
  jsonObjects(json, "repeated", r.repeated, [&](const RepeatedEntry& e) {
    json.Int("entry", e.entry);
    json.Int("sameAs", e.sameAs);
  });
  jsonObjects(json, "lost", r.lost, [&](const LostPicture& p) {
    json.Int("from", p.from);
    json.Int("to", p.to);
    json.Int("keep", p.keep);
  });
  jsonObjects(json, "orphans", r.orphans, [&](std::int64_t entry) { json.Int("entry", entry); });
  const std::vector<OrderSpan> changes(r.orders.size() > 1 ? r.orders.begin() + 1 : r.orders.end(), r.orders.end());
  jsonObjects(json, "fieldOrderChanges", changes, [&](const OrderSpan& o) {
    json.Int("entry", 2 * o.from);
    json.Text("fieldOrder", o.topFirst ? "tff" : "bff");
  });
  for (const auto& [key, spans] : {std::pair{"interlaced", &r.interlaced}, std::pair{"still", &r.still}})
    jsonObjects(json, key, *spans, [&](const StretchSpan& span) {
      json.Int("from", span.from);
      json.Int("to", span.to);
    });
  jsonObjects(json, "shifts", r.shifts, [&](const Shift& shift) {
    json.Int("entry", shift.entry);
    json.Int("offset", shift.offset);
  });
  json.Key("offset");
  json.StartObject();
  json.Int("best", r.offset);
  json.Fixed("cleanAtBest", r.at(r.offset).share(), 6);
  json.Fixed("cleanAsGiven", r.at(0).share(), 6);
  json.Key("clearlyBetter");
  json.Bool(!r.shifts.empty());
  json.Key("ambiguous");
  json.Bool(!r.alsoFits.empty());
  json.Key("alsoFits");
  json.StartArray();
  for (const int o : r.alsoFits) json.Int(o);
  json.EndArray();
  jsonObjects(json, "tried", r.offsets, [&](const OffsetFit& f) {
    json.Int("offset", f.offset);
    json.Fixed("clean", f.share(), 6);
    json.Int("checked", f.checked);
    json.Int("errors", f.errors);
  });
  json.EndObject();
  if (!repaired.empty()) {
    json.Text("repaired", sys::toUtf8(repaired));
    json.Key("fromVideo");
    json.Bool(r.fromVideo);
    json.Key("keepsNoDecisions");
    json.Bool(r.keepsNoDecisions);
    jsonObjects(json, "changes", r.changes, [&](const Change& ch) {
      json.Int("entry", ch.entry);
      json.Key("kept");
      json.Bool(ch.kept);
      json.Text("reason", changeReasonName(ch.reason));
    });
  }
  json.EndObject();
}

// A finding of the page, and the pairs whose frames show it.
struct PageItem {
  PageFinding finding;
  std::int64_t given = -1, other = -1;  // their pairs
  int worth = 0;
};

// The findings for the page, the worst first.
std::vector<PageItem> pageItems(const CheckResult& r, bool fixed) {
  std::vector<PageItem> items;
  const int high = kCombScoreMax + 1;
  for (const CombedEntry& e : r.combed)
    items.push_back({{"combed", e.entry, fixedText(scoreShare(e.score), 2),
                      e.suggestion >= 0 ? "keep " + fieldText(e.suggestion) + " instead" : "no clean entry beside it"},
                     e.entry,
                     e.suggestion,
                     e.score});
  for (const RepeatedEntry& e : r.repeated)
    items.push_back({{"repeated", e.entry, "", "shows the picture of " + fieldText(e.sameAs) + ": keep it no more"},
                     e.entry,
                     -1,
                     high});
  for (const LostPicture& p : r.lost)
    items.push_back({{"lost", p.keep, "",
                      "fields " + std::to_string(p.from) + " to " + std::to_string(p.to) + " shown by none: keep " +
                          fieldText(p.keep)},
                     -1,
                     p.keep,
                     high});
  for (const Shift& sh : r.shifts)
    items.push_back(
        {{"shift", sh.entry, "", "from here on, " + offsetRule(sh.offset)}, sh.entry, sh.entry + sh.offset, high + 1});
  if (fixed)
    for (const Change& ch : r.changes)
      items.push_back({{"change", ch.entry, "",
                        std::string(ch.kept ? "kept" : "no longer kept") + " (" + changeReasonName(ch.reason) + ")"},
                       ch.kept ? -1 : ch.entry,
                       ch.kept ? ch.entry : -1,
                       0});
  std::stable_sort(items.begin(), items.end(), [](const PageItem& a, const PageItem& b) { return a.worth > b.worth; });
  return items;
}

// The pairs whose pictures the page shows: those of the worst `pictures`
// findings.
std::vector<std::int64_t> picturePairs(const CheckResult& r, bool fixed, std::size_t pictures) {
  std::vector<std::int64_t> pairs;
  const std::vector<PageItem> items = pageItems(r, fixed);
  for (std::size_t rank = 0; rank < items.size() && rank < pictures; ++rank)
    for (const std::int64_t p : {items[rank].given, items[rank].other})
      if (p >= 0) pairs.push_back(p);
  return pairs;
}

// The findings for the page, by entry, with the pictures of the worst
// `pictures` of them, as findingPictures took them.
PageMarks pageMarks(const CheckResult& r, bool fixed, std::size_t pictures) {
  PageMarks marks;
  for (const CombedEntry& e : r.combed) marks.combed.push_back(e.entry);
  std::vector<PageItem> items = pageItems(r, fixed);
  const auto png = [&](std::int64_t pair) {
    if (pair < 0 || !r.frames) return std::string();
    const std::optional<Thumbnail> t = r.frames->pair(pair, r.topFirstAt(pair));
    return t ? greyPng(t->width, t->height, t->pixels.data()) : std::string();
  };
  for (std::size_t rank = 0; rank < items.size(); ++rank) {
    PageItem& item = items[rank];
    PageFinding& f = item.finding;
    f.repaired = fixed;
    if (rank < pictures) {
      f.given = png(item.given);
      f.other = png(item.other);
    }
    if (f.given.empty() && f.other.empty()) {
      ++marks.withoutPictures;
    } else if (!f.given.empty() && std::string_view(f.kind) == "combed" && r.scores) {
      const auto [x, y] = r.scores->worstAt(item.given, r.topFirstAt(item.given));
      if (x >= 0 && r.width > 0 && r.height > 0) {
        f.box[0] = 100.0 * x / r.width;
        f.box[1] = 100.0 * y / r.height;
        f.box[2] = 100.0 * kCombWindow / r.width;
        f.box[3] = 100.0 * kCombWindow / r.height;
        f.boxed = true;
      }
    }
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const PageItem& a, const PageItem& b) { return a.finding.entry < b.finding.entry; });
  for (PageItem& item : items) marks.findings.push_back(std::move(item.finding));
  return marks;
}

}  // namespace

std::string progressLine(std::int64_t done, std::int64_t total, double seconds) {
  const double speed = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string line = "  " + std::to_string(done) + (total > 0 && done <= total ? " of " + std::to_string(total) : "") +
                     " fields, " + std::to_string(std::llround(speed)) + " fields/s";
  if (total > 0 && done < total && speed > 0)
    line += ", " + clockTime(static_cast<double>(total - done) / speed).substr(0, 7) + " left";
  return line;
}

int check(Context& c) {
  const Options& o = c.options;
  Reports reports(c);
  const int status = forEachProject(c, [&](Project& project, std::size_t index) {
    const std::string video = videoFor(o, index);
    const FrameList list = project.storedList();
    if (!list.keepsAny()) return fail(c, project.path(), {Error::NothingKept, Subject::Project, 0});
    // Every output is opened before a frame is decoded: one that cannot be
    // written fails now, not after the whole video.
    const std::string pagePath = o.html ? outputPath(o, project.path()) : std::string();
    const std::string repairedPath = o.fix ? fixedPath(o, project.path()) : std::string();
    OpenOutput page, repaired;
    if (o.html)
      if (const Status s = page.open(destinationFor(c, project, pagePath, Error::CreatePage)); !s.ok())
        return fail(c, project.path(), pagePath, s);
    if (o.fix)
      if (const Status s = repaired.open(destinationFor(c, project, repairedPath, Error::OpenDestination)); !s.ok())
        return fail(c, project.path(), repairedPath, s);

    const bool forced = o.bff || o.tff;
    CheckSettings settings;
    settings.search = o.search;
    settings.threshold = o.threshold ? static_cast<int>(std::lround(*o.threshold * kCombScoreMax)) : -1;
    if (forced) settings.topFieldFirst = o.tff;
    settings.givenTopFirst = project.topFieldFirst().value_or(true);
    settings.applyPulldown = o.pulldown;
    settings.fromVideo = o.fromVideo;
    const std::string ffmpeg = o.ffmpeg.empty() ? "ffmpeg" : o.ffmpeg;
    CheckResult r;
    DecodeProblem problem;
    {
      Progress progress(c.err, sys::stderrIsTerminal() ? 2 * probeFrames(ffmpeg, video) : 0);
      problem = checkVideo(list, ffmpeg, video, settings, r, std::ref(progress));
    }
    if (!problem.ok()) return failDecoding(c, video, ffmpeg, problem);
    if (r.videoFrames < 2) return failDecoding(c, video, ffmpeg, {Error::OneFrame, 0, {}});
    if (r.unchecked > 0 && r.unchecked == r.kept + r.unjudged + r.unchecked)
      return fail(c, project.path(), {Error::NothingInVideo, Subject::Project, 0});
    const FrameRate rate = r.rate.num > 0 ? r.rate : FrameRate{};
    const std::vector<std::string> warnings = warningsOf(r, forced);
    // What goes to standard output: the check, unless the page or the
    // repaired project goes there.
    const bool outTaken = pagePath == "-" || repairedPath == "-";
    if (o.json) {
      jsonCheck(reports.json(), project, video, r, warnings, rate, repairedPath);
    } else if (!outTaken) {
      reports.beginText();
      c.out.write(checkText(project, video, r, warnings, rate, repairedPath));
    } else {
      // The check on standard error, where it does not mix with the file.
      c.err << checkText(project, video, r, warnings, rate, repairedPath == "-" ? "standard output" : repairedPath);
    }
    if (o.fix)
      if (const Status s = writeProjectList(project, r.repaired, true, repaired); !s.ok())
        return fail(c, project.path(), repairedPath, s);
    if (!o.html) return kOk;
    // The pictures of the findings, from a second pass over the video now
    // that they are known.
    if (o.pictures > 0)
      if (const DecodeProblem p = findingPictures(ffmpeg, video, picturePairs(r, o.fix, o.pictures), r); !p.ok())
        return failDecoding(c, video, ffmpeg, p);
    PageMarks marks = pageMarks(r, o.fix, o.pictures);
    marks.rate = rate;
    marks.summary = {
        {"Video", video + ", " + countText(r.videoFrames, "frame", "frames") + ", " + (r.topFirst ? "top" : "bottom") +
                      " field first"},
        {"Checked", std::to_string(r.kept) + " kept entries, " + percent(r.cleanShare()) + " clean"},
        {"Combed", countText(static_cast<std::int64_t>(r.combed.size()), "kept entry", "kept entries")},
        {"Repeated", countText(static_cast<std::int64_t>(r.repeated.size()), "kept entry", "kept entries")},
        {"Lost", countText(static_cast<std::int64_t>(r.lost.size()), "picture", "pictures")},
        {"Offset", offsetText(r)}};
    for (const std::string& w : warnings) marks.summary.push_back({"Warning", w});
    if (o.fix)
      marks.summary.push_back(
          {"Repaired",
           repairedPath + ": " + countText(static_cast<std::int64_t>(r.changes.size()), "change", "changes")});
    const CadenceSummary summary = cadenceSummary(project.list(), rate, StoredList(project).storedOrNull());
    return writePage(c, project, page, pagePath, rate, summary, &marks, "Check against the video");
  });
  reports.finish();
  return status;
}

}  // namespace pulldex::cli
