#include "formats/wobbly_project.h"

#include "formats/json.h"

#include <algorithm>

namespace pulldex {

namespace {

constexpr int kCycle = 5;

}  // namespace

bool wobblyPlan(const FrameList& list, std::int64_t frames, WobblyPlan& plan, WobblyConflict& conflict) {
  plan = WobblyPlan{};
  conflict = WobblyConflict{};
  // Each source frame's match, where a kept entry uses it; '.' where none
  // does; and the kept entry that uses it.
  std::string use(static_cast<std::size_t>(frames), '.');
  std::vector<std::int64_t> user(static_cast<std::size_t>(frames), -1);
  const auto at = [&](std::int64_t f) -> char& { return use[static_cast<std::size_t>(f)]; };
  const auto take = [&](std::int64_t f, char match, std::int64_t i) {
    at(f) = match;
    user[static_cast<std::size_t>(f)] = i;
    plan.keptFrames.push_back(f);
  };
  // Entry i finds frame f taken too: the entries that took f and, each
  // pushed on by the one before, the frames before it want the same few
  // frames as i.
  const auto refuse = [&](std::int64_t i, std::int64_t f) {
    conflict.entry = i;
    conflict.to = f;
    conflict.from = f;
    while (conflict.from > 0 && at(conflict.from) == 'b') --conflict.from;
    for (std::int64_t g = conflict.from; g <= f; ++g) conflict.competing.push_back(user[static_cast<std::size_t>(g)]);
    conflict.competing.push_back(i);
    return false;
  };
  for (std::int64_t i = 0; i < list.count(); ++i) {
    if (!list.isKept(i)) continue;
    const std::int64_t n = i / 2;
    if (n >= frames) {  // past the source's end
      conflict.entry = i;
      return false;
    }
    // The source's last field has no field after it: its frame is the last
    // frame as it is, as the scripts make it.
    if (i % 2 == 0 || n + 1 == frames) {
      if (at(n) != '.') return refuse(i, n);
      take(n, 'c', i);
    } else if (at(n) == '.') {
      take(n, 'n', i);
    } else if (at(n + 1) == '.') {
      take(n + 1, 'b', i);
    } else {
      return refuse(i, n + 1);
    }
  }
  // What must be in the clip: every frame used, and the neighbour an n or b
  // match reads, right beside it.
  std::vector<bool> needed(static_cast<std::size_t>(frames), false);
  for (std::int64_t f = 0; f < frames; ++f) {
    if (at(f) == '.') continue;
    needed[static_cast<std::size_t>(f)] = true;
    if (at(f) == 'n') needed[static_cast<std::size_t>(f + 1)] = true;
    if (at(f) == 'b') needed[static_cast<std::size_t>(f - 1)] = true;
  }
  // Frames nothing needs stay in where they do no harm: in a cycle that has a
  // kept frame already, or one that the next kept frame will reach; else
  // they are cut out. No cycle is ever left with five decimated frames,
  // which Wobbly would not all decimate.
  std::int64_t nextUsed = frames;     // the first used frame at or after f
  std::int64_t neighboursBefore = 0;  // needed frames that are not used between f and it
  std::vector<std::int64_t> usedFrom(static_cast<std::size_t>(frames) + 1, frames), between(usedFrom.size(), 0);
  for (std::int64_t f = frames - 1; f >= 0; --f) {
    if (at(f) != '.') {
      nextUsed = f;
      neighboursBefore = 0;
    } else if (needed[static_cast<std::size_t>(f)]) {
      ++neighboursBefore;
    }
    usedFrom[static_cast<std::size_t>(f)] = nextUsed;
    between[static_cast<std::size_t>(f)] = neighboursBefore;
  }
  std::int64_t position = 0;  // in the trimmed clip
  bool cycleHasKept = false;
  for (std::int64_t f = 0; f < frames; ++f) {
    if (position % kCycle == 0) cycleHasKept = false;
    bool take = needed[static_cast<std::size_t>(f)];
    if (!take) {
      const bool more = usedFrom[static_cast<std::size_t>(f)] < frames;
      // Where the next kept frame lands if this one is taken and nothing
      // else that is not needed.
      const std::int64_t lands = position + 1 + between[static_cast<std::size_t>(f)];
      take = cycleHasKept || (more && lands / kCycle == position / kCycle);
    }
    if (!take) continue;
    if (plan.trims.empty() || plan.trims.back().second != f - 1)
      plan.trims.push_back({f, f});
    else
      plan.trims.back().second = f;
    const char match = at(f);
    plan.matches += match == '.' ? 'c' : match;
    if (match == '.') plan.decimated.push_back(position);
    cycleHasKept = cycleHasKept || match != '.';
    ++position;
  }
  return true;
}

std::int64_t trimmedFrame(const WobblyPlan& plan, std::int64_t frame) {
  std::int64_t position = 0;
  for (const auto& [first, last] : plan.trims) {
    if (frame <= last) return position + std::max<std::int64_t>(frame - first, 0);
    position += last - first + 1;
  }
  return std::max<std::int64_t>(position - 1, 0);
}

void writeWobblyProject(Sink& out, const WobblySource& source, const WobblyPlan& plan, const std::string& generatedBy,
                        const WobblyFindings* findings) {
  SinkStream stream(out);
  Json json(stream);
  json.StartObject();
  json.Int("project format version", 2);
  json.Text("generated with", generatedBy);
  json.Text("input file", source.path);
  json.Key("input frame rate");
  json.StartArray();
  json.Int(source.rateNum);
  json.Int(source.rateDen);
  json.EndArray();
  json.Key("input resolution");
  json.StartArray();
  json.Int(source.width);
  json.Int(source.height);
  json.EndArray();
  json.Key("trim");
  json.StartArray();
  for (const auto& [first, last] : plan.trims) {
    json.StartArray();
    json.Int(first);
    json.Int(last);
    json.EndArray();
  }
  json.EndArray();
  json.Text("source filter", source.filter);
  json.Key("vfm parameters");
  json.StartObject();
  json.Int("order", source.topFieldFirst ? 1 : 0);
  json.EndObject();
  for (const char* key : {"matches", "original matches"}) {
    json.Key(key);
    json.StartArray();
    for (const char m : plan.matches) json.String(&m, 1);
    json.EndArray();
  }
  json.Key("decimated frames");
  json.StartArray();
  for (const std::int64_t f : plan.decimated) json.Int(f);
  json.EndArray();
  json.Key("sections");
  json.StartArray();
  json.StartObject();
  json.Int("start", 0);
  json.Key("presets");
  json.StartArray();
  json.EndArray();
  json.EndObject();
  json.EndArray();
  json.Key("interlaced fades");
  json.StartArray();
  json.EndArray();
  if (findings) {
    // Wobbly reads them as its own: frames after the trims, no more combed
    // frames than frames, bookmarks in the user interface's object.
    json.Key("combed frames");
    json.StartArray();
    for (const std::int64_t f : findings->combedFrames) json.Int(f);
    json.EndArray();
    json.Key("user interface");
    json.StartObject();
    json.Key("bookmarks");
    json.StartArray();
    for (const auto& [frame, description] : findings->bookmarks) {
      json.StartObject();
      json.Int("frame", frame);
      json.Text("description", description);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndObject();
  stream.Put('\n');
  stream.Flush();
}

}  // namespace pulldex
