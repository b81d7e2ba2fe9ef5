// Lists for other tools: the numbers of the kept (or the dropped) entries,
// and an mkvmerge timestamp file (format v2) that keeps each kept frame at
// its original moment.
#pragma once

#include <cstdint>
#include <string>

#include "base/file.h"
#include "model/field_time.h"
#include "model/frame_list.h"

namespace pulldex {

// `comment` (one line, without "#"; made inert as commentText does) first, then one 0-based entry number
// per line, ascending, LF line ends: the Kept entries, or with `dropped` all
// the others.
bool writeFrameNumbers(Sink& out, const FrameList& list, bool dropped, const std::string& comment);

// "# timestamp format v2", then for each Kept entry i, in order, the moment
// of its field, i * 1000 * den / (2 * num) milliseconds, with six decimals
// (rounded).
bool writeTimestamps(Sink& out, const FrameList& list, FrameRate rate);

// "# timestamp format v1": "assume R", the rate that times the most frames,
// then "first,last,fps" (output frame numbers) for each stretch at another
// rate. The frames of a periodic section's whole periods are evenly spaced at
// the pattern's rate (24000/1001 for 3:2 film from 29.97 fps video), each
// within half a field of its field's moment; every other frame lands at its
// moment, to the rounding of a written rate. Format v1 starts at 0, so the
// first frame is at 0. Rates have six decimals.
bool writeTimestampsV1(Sink& out, const FrameList& list, FrameRate rate);

// The time of field `i` in milliseconds, as written.
std::string timestampText(std::int64_t i, FrameRate rate);

}  // namespace pulldex
