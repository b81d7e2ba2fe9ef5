// info: the frame count, the counts of each state and the codes in use.
#include <array>

#include "cli/cli.h"
#include "model/field_time.h"

namespace pulldex::cli {

namespace {

// The values in use, in increasing order, with their counts.
std::vector<std::pair<int, long>> inUse(const std::array<long, 256>& counts, int from) {
  std::vector<std::pair<int, long>> used;
  for (int v = from; v < 256; ++v)
    if (counts[static_cast<std::size_t>(v)] > 0) used.emplace_back(v, counts[static_cast<std::size_t>(v)]);
  return used;
}

std::string jsonCounts(const std::vector<std::pair<int, long>>& counts) {
  std::string out = "{";
  const char* sep = "";
  for (const auto& [value, n] : counts) {
    out += sep + std::string("\"") + std::to_string(value) + "\": " + std::to_string(n);
    sep = ", ";
  }
  return out + "}";
}

}  // namespace

std::string jsonPathFields(const std::string& path) {
  bool replaced = false;
  std::string out = "\"path\": " + jsonString(sys::toUtf8(path), &replaced);
  if (replaced) {
    // The name as it is on the disk, byte for byte, in hexadecimal.
    static const char kHex[] = "0123456789abcdef";
    out += ", \"pathBytes\": \"";
    for (const unsigned char c : path) {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    out += "\"";
  }
  return out;
}

std::string describe(const Project& project, bool json) {
  const std::string& path = project.path();
  const FrameList& list = project.list();
  const char* form = project.block().form == ProjectForm::Text ? "text" : "binary";
  std::array<long, 256> states{};
  std::array<long, 256> codes{};
  for (const FrameEntry& e : list.entries) {
    ++states[e.state];
    if (e.state != Unlisted) ++codes[e.code];
  }
  if (json)
    return "{" + jsonPathFields(path) + ", \"form\": \"" + form + "\", \"frames\": " + std::to_string(list.count()) +
           ", \"fields\": " + std::to_string(list.count()) + ", \"videoFrames\": " + std::to_string(videoFrames(list.count())) +
           ", \"kept\": " + std::to_string(states[Kept]) + ", \"copy\": " + std::to_string(states[Copy]) +
           ", \"unlisted\": " + std::to_string(states[Unlisted]) +
           ", \"otherStates\": " + jsonCounts(inUse(states, Copy + 1)) + ", \"codes\": " + jsonCounts(inUse(codes, 0)) +
           "}";
  std::string out = path + "\n  form      " + form + "\n  fields    " + std::to_string(list.count()) + " (" +
                    std::to_string(videoFrames(list.count())) + " frames)\n  Kept      " +
                    std::to_string(states[Kept]) + "\n  Copy      " + std::to_string(states[Copy]) + "\n  Unlisted  " +
                    std::to_string(states[Unlisted]) + "\n";
  for (const auto& [state, n] : inUse(states, Copy + 1))
    out += "  state " + std::to_string(state) + "   " + std::to_string(n) + "\n";
  out += "  codes of listed frames:";
  const auto usedCodes = inUse(codes, 0);
  if (usedCodes.empty()) out += " none";
  for (const auto& [code, n] : usedCodes) out += "\n    code " + std::to_string(code) + ": " + std::to_string(n);
  return out + "\n";
}

int info(Context& c) {
  std::vector<std::string> objects;
  const int status = forEachProject(c, [&](Project& project) {
    objects.push_back(describe(project, c.options.json));
    return kOk;
  });
  printReports(c, objects);
  return status;
}

}  // namespace pulldex::cli
