#include "formats/cadence_report.h"

#include <cstring>
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

CadenceReport cadenceReport(const FrameList& list) {
  CadenceReport r;
  r.entries = list.count();
  for (const FrameEntry& e : list.entries) {
    if (e.state == Kept)
      ++r.kept;
    else if (e.state == Copy)
      ++r.copy;
    else
      ++r.unlisted;
  }
  PatternWalker walker(list);
  PatternLine lines[1024];
  for (std::size_t n; (n = walker.next(lines, std::size(lines))) > 0;) {
    for (std::size_t i = 0; i < n; ++i) {
      Section s;
      s.first = lines[i].entry;
      s.firstKeptIndex = lines[i].keptIndex;
      s.kind = lines[i].kind;
      const std::string text = patternText(lines[i]);
      std::memcpy(s.pattern, text.data(), std::min(text.size(), sizeof s.pattern - 1));
      r.sections.push_back(s);
    }
  }
  std::unordered_map<std::string, std::int64_t> patterns;
  std::int64_t periodicEntries = 0;
  for (std::size_t i = 0; i < r.sections.size(); ++i) {
    Section& s = r.sections[i];
    const bool lastOne = i + 1 == r.sections.size();
    s.last = lastOne ? r.entries - 1 : r.sections[i + 1].first - 1;
    s.kept = (lastOne ? static_cast<std::uint32_t>(r.kept) : r.sections[i + 1].firstKeptIndex) - s.firstKeptIndex;
    const bool periodic = s.kind == PatternKind::Cycle || s.kind == PatternKind::Run || s.kind == PatternKind::Alternation;
    const bool afterPeriodic = i > 0 && r.sections[i - 1].kind != PatternKind::Single &&
                               r.sections[i - 1].kind != PatternKind::Irregular;
    s.isBreak = !periodic || afterPeriodic;
    r.breaks += s.isBreak;
    if (periodic) periodicEntries += s.entries();
    if (s.entries() > r.sections[r.longest].entries()) r.longest = i;
    const std::int64_t count = ++patterns[s.pattern];
    if (count > r.commonCount || (count == r.commonCount && s.pattern < r.commonPattern)) {
      r.commonCount = count;
      r.commonPattern = s.pattern;
    }
  }
  r.periodicShare = r.entries > 0 ? static_cast<double>(periodicEntries) / static_cast<double>(r.entries) : 0;
  return r;
}

}  // namespace pulldex
