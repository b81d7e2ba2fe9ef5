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

// `comment` (one line, without "#") first, then one 0-based entry number
// per line, ascending, LF line ends: the Kept entries, or with `dropped` all
// the others.
bool writeFrameNumbers(Sink& out, const FrameList& list, bool dropped, const std::string& comment);

// "# timestamp format v2", then for each Kept entry i, in order, the moment
// of its field, i * 1000 * den / (2 * num) milliseconds, with six decimals
// (rounded).
bool writeTimestamps(Sink& out, const FrameList& list, FrameRate rate);

// "# timestamp format v1": "assume R", the rate of the sections that cover
// the most entries, then "first,last,fps" (output frame numbers) for each
// stretch of sections at another rate. Frames inside a section are evenly
// spaced; each section spans its entries up to the next one's, the first
// from entry 0, so that every later section's first frame lands at its
// field's moment. Rates have six decimals.
bool writeTimestampsV1(Sink& out, const FrameList& list, FrameRate rate);

// The time of field `i` in milliseconds, as written.
std::string timestampText(std::int64_t i, FrameRate rate);

}  // namespace pulldex
