// info: the frame count, the counts of each state and the codes in use, of
// the list as the project stores it.
#include <array>

#include "cli/cli.h"
#include "cli/project_notes.h"
#include "formats/json.h"

namespace pulldex::cli {

namespace {

// The values in use, in increasing order, with their counts.
std::vector<std::pair<int, long>> inUse(const std::array<long, 256>& counts, int from) {
  std::vector<std::pair<int, long>> used;
  for (int v = from; v < 256; ++v)
    if (counts[static_cast<std::size_t>(v)] > 0) used.emplace_back(v, counts[static_cast<std::size_t>(v)]);
  return used;
}

void jsonCounts(Json& json, const char* key, const std::vector<std::pair<int, long>>& counts) {
  json.Key(key);
  json.StartObject();
  for (const auto& [value, n] : counts) {
    json.Key(std::to_string(value).c_str());
    json.Int(n);
  }
  json.EndObject();
}

}  // namespace

int info(Context& c) {
  const bool asJson = c.options.json;
  Reports reports(c);
  Json& json = reports.json();
  const int status = forEachProject(c, [&](Project& project, std::size_t) {
    const FrameList list = project.storedList();
    const char* form = project.block().form == ProjectForm::Text ? "text" : "binary";
    std::array<long, 256> states{};
    std::array<long, 256> codes{};
    for (const FrameEntry& e : list.entries) {
      ++states[e.state];
      if (e.state != Unlisted) ++codes[e.code];
    }
    const std::int64_t moved = project.normalised() ? project.block().normalisation.movedFrom : -1;
    if (asJson) {
      json.StartObject();
      json.Path(project.path());
      json.Key("form");
      json.String(form);
      for (const char* key : {"frames", "fields"}) {
        json.Key(key);
        json.Int(list.count());
      }
      json.Int("videoFrames", videoFrames(list.count()));
      json.Int("kept", states[Kept]);
      json.Int("copy", states[Copy]);
      json.Int("unlisted", states[Unlisted]);
      jsonCounts(json, "otherStates", inUse(states, Copy + 1));
      jsonCounts(json, "codes", inUse(codes, 0));
      json.Key("normalisedFrom");
      json.EntryOrNull(moved);
      // Every kept entry makes a frame; "leftOut" stays for those who read it.
      json.Key("leftOut");
      json.Null();
      json.Int("outputFrames", states[Kept]);
      json.EndObject();
      return kOk;
    }
    std::string text = project.path() + "\n  form      " + form + "\n  fields    " + std::to_string(list.count()) +
                       " (" + countText(videoFrames(list.count()), "frame", "frames") + ")\n  Kept      " +
                       std::to_string(states[Kept]) + "\n  Copy      " + std::to_string(states[Copy]) +
                       "\n  Unlisted  " + std::to_string(states[Unlisted]) + "\n";
    for (const auto& [state, n] : inUse(states, Copy + 1))
      text += "  state " + std::to_string(state) + "   " + std::to_string(n) + "\n";
    text += "  codes of listed frames:";
    const auto usedCodes = inUse(codes, 0);
    if (usedCodes.empty()) text += " none";
    for (const auto& [code, n] : usedCodes) text += "\n    code " + std::to_string(code) + ": " + std::to_string(n);
    text += "\n";
    if (const std::string note = normalisationNote(project); !note.empty()) text += "  " + note + "\n";
    reports.beginText();
    c.out.write(text);
    return kOk;
  });
  reports.finish();
  return status;
}

}  // namespace pulldex::cli
