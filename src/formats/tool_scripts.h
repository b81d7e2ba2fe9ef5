// The user's decisions for ffmpeg, AviSynth and VapourSynth: scripts that
// separate the source into fields, weave each field with the next one, and
// keep the frames whose first field the list keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/file.h"
#include "model/frame_list.h"

namespace pulldex {

// One piece of a selection: `count` entries from `first`, of which those at
// `offsets` within each period of `period` entries are kept. A single kept
// entry is a piece of one entry with period 1.
struct PlanPiece {
  std::int64_t first = 0;
  std::int64_t count = 1;
  int period = 1;
  int offsets[4] = {0};
  int offsetCount = 1;
};

// Which entries to keep, in order: the periodic sections of the pattern
// walker, in whole periods, and the other kept entries one by one. Its size
// grows with the sections, not with the entries.
struct SelectionPlan {
  std::vector<PlanPiece> pieces;
  std::int64_t kept = 0;
};

SelectionPlan selectionPlan(const FrameList& list);

// A stream with soft pulldown shows some pictures' first field twice; a
// decoder gives each coded picture once, and the list, made from the fields
// shown, has an entry for each. Where every kept entry weaves the two fields
// of one coded picture, the frames are those pictures: the plan then keeps
// coded pictures, in runs. `fields` holds the fields each coded picture
// shows, in display order. Otherwise `conflict` tells the first kept entry
// that weaves fields of two pictures (`other` -1), or that shows the picture
// an earlier one (`other`) shows, which a selection cannot give twice.
struct PictureConflict {
  std::int64_t entry = -1, other = -1;
  std::int64_t picture = 0, nextPicture = 0;  // those of its fields
};
bool codedPictureSelection(const FrameList& list, const std::vector<std::uint8_t>& fields, SelectionPlan& plan,
                           PictureConflict& conflict);

enum class ScriptTool { Ffmpeg, AviSynth, VapourSynth, Wobbly };
// The name a script for `tool` gets after the project's stem: ".ffmpeg.txt",
// ".avs", ".vpy", ".wob".
const char* scriptExtension(ScriptTool tool);

struct ScriptSettings {
  ScriptTool tool = ScriptTool::Ffmpeg;
  bool topFieldFirst = true;
  std::string project;  // named in the scripts' comments, as UTF-8 where it can be; made inert there
  // The list follows the fields the stream's flags show. ffmpeg's plan then
  // keeps coded pictures (codedPictureSelection); AviSynth's and
  // VapourSynth's source line applies the flags.
  bool shownFields = false;
};

// ffmpeg: a filter script for -filter_script:v, the filtergraph alone. Its
// select expression is a balanced tree of if(lt(n,X),A,B) over the pieces,
// so that its nesting grows with the logarithm of their number (ffmpeg's
// parser takes at most 100 levels).
// AviSynth and VapourSynth: a script that starts with a comment naming the
// project and where the source line goes.
bool writeToolScript(Sink& out, const SelectionPlan& plan, const ScriptSettings& settings);

}  // namespace pulldex
