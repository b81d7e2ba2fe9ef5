// Lists for other tools: the numbers of the kept (or the dropped) entries,
// and an mkvmerge timestamp file (format v2) that keeps each kept frame at
// its original moment.
#pragma once

#include <cstdint>
#include <string>

#include "base/file.h"
#include "model/frame_list.h"

namespace pulldex {

// `comment` (one line, without "#") first, then one 0-based entry number
// per line, ascending, LF line ends: the Kept entries, or with `dropped` all
// the others.
bool writeFrameNumbers(Sink& out, const FrameList& list, bool dropped, const std::string& comment);

// "# timestamp format v2", then for each Kept entry i, in order, its time
// i * 1000 * den / num in milliseconds with six decimals (rounded).
bool writeTimestamps(Sink& out, const FrameList& list, std::int64_t num, std::int64_t den);

// The time of entry `i` at `num`/`den` entries a second, as written.
std::string timestampText(std::int64_t i, std::int64_t num, std::int64_t den);

}  // namespace pulldex
