#include "formats/cadence_report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace pulldex {

const char* kindName(PatternKind kind) {
  switch (kind) {
    case PatternKind::Cycle:
      return "cycle";
    case PatternKind::Run:
      return "run";
    case PatternKind::Alternation:
      return "alternation";
    case PatternKind::Single:
      return "single";
    case PatternKind::Irregular:
      return "irregular";
  }
  return "";
}

RateClass rateClass(double fps, const FrameRate& rate) {
  const double fields = rate.fields();
  if (std::fabs(fps - fields * 2 / 5) < 1e-6 * fields) return RateClass::Film;
  if (std::fabs(fps - fields / 2) < 1e-6 * fields) return RateClass::Video;
  return RateClass::Other;
}

const char* cadenceName(const char* pattern) {
  static const struct {
    const char* pattern;
    const char* name;
  } kKnown[] = {{"10100", "3:2 pulldown"}, {"1010100100", "2:3:3:2"}, {"10", "video"}};
  const std::size_t n = std::strlen(pattern);
  for (const auto& known : kKnown) {
    if (std::strlen(known.pattern) != n) continue;
    // Any rotation of it.
    for (std::size_t r = 0; r < n; ++r) {
      std::size_t i = 0;
      while (i < n && pattern[i] == known.pattern[(i + r) % n]) ++i;
      if (i == n) return known.name;
    }
  }
  return nullptr;
}

namespace {

// Whether every entry of [first, last] is kept or not as the periodic
// pattern of `before` would have it.
bool goesOn(const PatternLine& before, std::int64_t first, std::int64_t last, const FrameList& list) {
  const std::int64_t period = before.periodEntries();
  for (std::int64_t e = first; e <= last; ++e) {
    const std::int64_t at = (e - before.entry) % period;
    bool expected = false;
    for (int k = 0; k < before.period; ++k) expected = expected || before.offset(k) == at;
    if (list.isKept(e) != expected) return false;
  }
  return true;
}

}  // namespace

// The sections of one list with breaks by the rules, one line ahead.
class SectionStream::Direct {
 public:
  Direct(const FrameList& list, FrameRate rate) : list_(list), sections_(list), rate_(rate) {}

  bool next(Section& s) {
    PatternLine line;
    std::int64_t kept = 0, end = 0;
    if (!sections_.next(line, kept, end)) return false;
    const bool lastOne = end == list_.count();
    s = Section{};
    s.first = line.entry;
    s.firstKeptIndex = line.keptIndex;
    s.kind = line.kind;
    writePatternText(line, s.pattern);
    s.last = end - 1;
    s.kept = static_cast<std::uint32_t>(kept);
    s.seconds = fieldSeconds(s.first, rate_);
    const double fields = rate_.fields();
    if (line.periodic()) {
      s.fps = fields * line.period / static_cast<double>(line.periodEntries());
      s.cadence = cadenceName(s.pattern);
    } else {
      s.fps = fields * s.kept / static_cast<double>(s.entries());
    }
    const bool afterPeriodic = hasPrevious_ && previous_.periodic();
    const bool oddRate = s.periodic() && rateClass(s.fps, rate_) == RateClass::Other;
    s.isBreak = !s.periodic() || afterPeriodic || oddRate;
    // Cut short only by the list's end: the pattern before it goes on here,
    // or, after a section that had no pattern, one last kept entry with
    // nothing after it to make one of its own (a "run" of gap 0 at the field
    // rate, say). A break there is the section before it.
    if (lastOne && afterPeriodic && goesOn(previous_, s.first, s.last, list_)) s.isBreak = false;
    if (lastOne && hasPrevious_ && !afterPeriodic && s.kept == 1) s.isBreak = false;
    previous_ = line;
    hasPrevious_ = true;
    return true;
  }

 private:
  const FrameList& list_;
  PatternSections sections_;
  FrameRate rate_;
  PatternLine previous_;
  bool hasPrevious_ = false;
};

SectionStream::SectionStream(const FrameList& list, FrameRate rate, const FrameList* stored)
    : list_(std::make_unique<Direct>(list, rate)) {
  if (stored && !(*stored == list)) {
    stored_ = std::make_unique<Direct>(*stored, rate);
    storedMore_ = stored_->next(storedNext_);
  }
}

SectionStream::~SectionStream() = default;

bool SectionStream::next(Section& out) {
  if (!list_->next(out)) return false;
  if (!stored_) return true;
  // The stored list's breaks that start inside this section.
  out.isBreak = false;
  while (storedMore_ && storedNext_.first <= out.last) {
    if (storedNext_.first >= out.first) out.isBreak = out.isBreak || storedNext_.isBreak;
    storedMore_ = stored_->next(storedNext_);
  }
  return true;
}

namespace {

// Adds up the summary as the sections go by.
class SummaryBuilder {
 public:
  SummaryBuilder(const FrameList& list, FrameRate rate, const FrameList* stored) {
    r_.rate = rate;
    r_.entries = list.count();
    for (const FrameEntry& e : (stored ? *stored : list).entries) {
      if (e.state == Kept)
        ++r_.kept;
      else if (e.state == Copy)
        ++r_.copy;
      else
        ++r_.unlisted;
    }
  }

  void add(const Section& s) {
    ++r_.sections;
    r_.breaks += s.isBreak;
    if (s.periodic()) periodicEntries_ += s.entries();
    if (r_.sections == 1 || s.entries() > r_.longest.entries()) r_.longest = s;
    // A few dozen pattern texts at most: a list is quicker than a map.
    auto it = std::find_if(patterns_.begin(), patterns_.end(),
                           [&](const PatternStats& p) { return std::strcmp(p.pattern, s.pattern) == 0; });
    if (it == patterns_.end()) {
      patterns_.emplace_back();
      it = patterns_.end() - 1;
      std::memcpy(it->pattern, s.pattern, sizeof s.pattern);
    }
    it->entries += s.entries();
    ++it->sections;
    rateEntries_[std::llround(s.fps * 1000)] += s.entries();
  }

  CadenceSummary finish() {
    for (const PatternStats& p : patterns_)
      if (p.entries > r_.commonEntries || (p.entries == r_.commonEntries && r_.commonPattern > p.pattern)) {
        r_.commonEntries = p.entries;
        r_.commonCount = p.sections;
        r_.commonPattern = p.pattern;
      }
    for (const auto& [fps, entries] : rateEntries_)
      r_.rates.push_back({static_cast<double>(fps) / 1000, entries,
                          r_.entries > 0 ? static_cast<double>(entries) / static_cast<double>(r_.entries) : 0});
    std::stable_sort(r_.rates.begin(), r_.rates.end(),
                     [](const RateShare& a, const RateShare& b) { return a.entries > b.entries; });
    r_.periodicShare = r_.entries > 0 ? static_cast<double>(periodicEntries_) / static_cast<double>(r_.entries) : 0;
    return std::move(r_);
  }

 private:
  CadenceSummary r_;
  std::int64_t periodicEntries_ = 0;
  struct PatternStats {
    char pattern[12] = {};
    std::int64_t entries = 0, sections = 0;
  };
  std::vector<PatternStats> patterns_;
  // The rates of the irregular sections are as many as their distinct
  // lengths: a few thousand at most.
  std::map<std::int64_t, std::int64_t> rateEntries_;  // by fps in thousandths
};

}  // namespace

CadenceSummary cadenceSummary(const FrameList& list, FrameRate rate, const FrameList* stored) {
  SummaryBuilder builder(list, rate, stored);
  SectionStream sections(list, rate, stored);
  for (Section s; sections.next(s);) builder.add(s);
  return builder.finish();
}

CadenceReport cadenceReport(const FrameList& list, FrameRate rate, const FrameList* stored) {
  SummaryBuilder builder(list, rate, stored);
  std::vector<Section> all;
  SectionStream sections(list, rate, stored);
  for (Section s; sections.next(s);) {
    builder.add(s);
    all.push_back(s);
  }
  CadenceReport r;
  static_cast<CadenceSummary&>(r) = builder.finish();
  r.sections = std::move(all);
  return r;
}

}  // namespace pulldex
