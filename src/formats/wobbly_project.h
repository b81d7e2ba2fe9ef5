// The decisions as a Wobbly project (.wob, format version 2), so that a user
// goes on from them in Wobbly, frame for frame. Wobbly trims the source,
// applies FieldHint with one match a frame (c: the frame as it is; n: its top
// or bottom field with the next frame's other one; b: with the previous
// frame's), then deletes the decimated frames, at most four in each cycle of
// five. The frames that come out are exactly the kept entries' frames: for a
// kept entry i, fields i and i + 1 of the source, in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/file.h"
#include "model/frame_list.h"

namespace pulldex {

// The source as Wobbly opens it.
struct WobblySource {
  std::string path;    // absolute, UTF-8
  std::string filter;  // "lsmas.LWLibavSource", "d2v.Source", …
  int width = 0, height = 0;
  std::int64_t rateNum = 30000, rateDen = 1001;
  std::int64_t frames = 0;  // the source's frames
  bool topFieldFirst = true;
};

struct WobblyPlan {
  std::vector<std::pair<std::int64_t, std::int64_t>> trims;  // source frames, first and last of each range
  std::string matches;                                       // one of "cnb" for each trimmed frame
  std::vector<std::int64_t> decimated;                       // trimmed frame numbers
};

// The plan for `list` (the list as other tools get it) over a source of
// `frames` frames. An even kept entry 2n is frame n as it is; an odd one
// 2n + 1 weaves frames n and n + 1: "n" on frame n, or "b" on frame n + 1
// where frame n is taken. Frames no kept entry uses are decimated, and
// stretches of them are cut out where a cycle would hold no kept frame,
// always keeping the neighbours an n or b match reads. False when the list
// cannot be expressed, with `entry` the kept entry that found no frame.
bool wobblyPlan(const FrameList& list, std::int64_t frames, WobblyPlan& plan, std::int64_t& entry);

// The project file.
bool writeWobblyProject(Sink& out, const WobblySource& source, const WobblyPlan& plan, const std::string& generatedBy);

}  // namespace pulldex
