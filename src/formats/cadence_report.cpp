#include "formats/cadence_report.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

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
  const std::string p = pattern;
  for (const auto& known : kKnown) {
    const std::string k = known.pattern;
    if (p.size() != k.size()) continue;
    // Any rotation of it.
    for (std::size_t r = 0; r < k.size(); ++r)
      if (p == k.substr(r) + k.substr(0, r)) return known.name;
  }
  return nullptr;
}

namespace {

bool periodic(PatternKind kind) {
  return kind == PatternKind::Cycle || kind == PatternKind::Run || kind == PatternKind::Alternation;
}

}  // namespace

CadenceReport cadenceReport(const FrameList& list, FrameRate rate) {
  CadenceReport r;
  r.rate = rate;
  r.entries = list.count();
  for (const FrameEntry& e : list.entries) {
    if (e.state == Kept)
      ++r.kept;
    else if (e.state == Copy)
      ++r.copy;
    else
      ++r.unlisted;
  }
  const std::vector<PatternLine> lines = patternLines(list);
  r.sections.reserve(lines.size());
  for (const PatternLine& line : lines) {
    Section s;
    s.first = line.entry;
    s.firstKeptIndex = line.keptIndex;
    s.kind = line.kind;
    const std::string text = patternText(line);
    std::memcpy(s.pattern, text.data(), std::min(text.size(), sizeof s.pattern - 1));
    r.sections.push_back(s);
  }
  const double fields = rate.fields();
  std::unordered_map<std::string, std::pair<std::int64_t, std::int64_t>> patterns;  // entries, sections
  std::map<std::int64_t, std::int64_t> rateEntries;  // by fps in thousandths
  std::int64_t periodicEntries = 0;
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    Section& s = r.sections[i];
    const bool lastOne = i + 1 == r.sections.size();
    s.last = lastOne ? r.entries - 1 : r.sections[i + 1].first - 1;
    s.kept = (lastOne ? static_cast<std::uint32_t>(r.kept) : r.sections[i + 1].firstKeptIndex) - s.firstKeptIndex;
    s.seconds = fieldSeconds(s.first, rate);
    const PatternLine& line = lines[i];
    if (line.periodic()) {
      s.fps = fields * line.period / static_cast<double>(line.periodEntries());
      s.cadence = cadenceName(s.pattern);
    } else {
      s.fps = fields * s.kept / static_cast<double>(s.entries());
    }
    const bool afterPeriodic = i > 0 && periodic(r.sections[i - 1].kind);
    const bool oddRate = periodic(s.kind) && rateClass(s.fps, rate) == RateClass::Other;
    s.isBreak = !periodic(s.kind) || afterPeriodic || oddRate;
    if (lastOne && !periodic(s.kind) && afterPeriodic) {
      // Cut short only by the list's end: the pattern before it goes on here.
      const PatternLine& before = lines[i - 1];
      const std::int64_t at = (s.first - before.entry) % before.periodEntries();
      bool onPattern = false;
      for (int k = 0; k < before.period; ++k) onPattern = onPattern || before.offset(k) == at;
      if (onPattern && s.kept == 1) s.isBreak = false;
    }
    r.breaks += s.isBreak;
    if (periodic(s.kind)) periodicEntries += s.entries();
    if (s.entries() > r.sections[r.longest].entries()) r.longest = i;
    auto& [patternEntries, patternSections] = patterns[s.pattern];
    patternEntries += s.entries();
    ++patternSections;
    if (patternEntries > r.commonEntries || (patternEntries == r.commonEntries && s.pattern < r.commonPattern)) {
      r.commonEntries = patternEntries;
      r.commonPattern = s.pattern;
    }
    rateEntries[std::llround(s.fps * 1000)] += s.entries();
  }
  if (!r.commonPattern.empty()) r.commonCount = patterns[r.commonPattern].second;
  for (const auto& [fps, entries] : rateEntries)
    r.rates.push_back({static_cast<double>(fps) / 1000, entries,
                       r.entries > 0 ? static_cast<double>(entries) / static_cast<double>(r.entries) : 0});
  std::stable_sort(r.rates.begin(), r.rates.end(), [](const RateShare& a, const RateShare& b) { return a.entries > b.entries; });
  r.periodicShare = r.entries > 0 ? static_cast<double>(periodicEntries) / static_cast<double>(r.entries) : 0;
  return r;
}

}  // namespace pulldex
