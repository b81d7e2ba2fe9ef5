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
  std::vector<std::int64_t> keptFrames;                      // the source frame of each kept entry, in order
};

// Why a list cannot be expressed: the kept entry that finds no frame of its
// own, and the kept entries before it that took the frames it could have,
// all of them wanting frames `from` to `to`.
struct WobblyConflict {
  std::int64_t entry = -1;
  std::vector<std::int64_t> competing;  // ascending, `entry` last
  std::int64_t from = 0, to = 0;
};

// What a check found, for Wobbly's lists: the trimmed frames of kept
// entries that weave two pictures, and bookmarks on the trimmed frames a
// user should look at.
struct WobblyFindings {
  std::vector<std::int64_t> combedFrames;
  std::vector<std::pair<std::int64_t, std::string>> bookmarks;  // frame, description
};

// The plan for `list` (the list as other tools get it) over a source of
// `frames` frames. An even kept entry 2n is frame n as it is; an odd one
// 2n + 1 weaves frames n and n + 1: "n" on frame n, or "b" on frame n + 1
// where frame n is taken. Frames no kept entry uses are decimated, and
// stretches of them are cut out where a cycle would hold no kept frame,
// always keeping the neighbours an n or b match reads. False when the list
// cannot be expressed (or past the source's end), with `conflict` saying why.
bool wobblyPlan(const FrameList& list, std::int64_t frames, WobblyPlan& plan, WobblyConflict& conflict);

// The frame of the trimmed clip that shows source frame `frame`, or the
// nearest one that remains.
std::int64_t trimmedFrame(const WobblyPlan& plan, std::int64_t frame);

// The project file, with a check's findings where there are some. A failed
// write is the sink's to tell.
void writeWobblyProject(Sink& out, const WobblySource& source, const WobblyPlan& plan, const std::string& generatedBy,
                        const WobblyFindings* findings = nullptr);

}  // namespace pulldex
