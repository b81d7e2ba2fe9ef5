// Frame-setting files (.SFS): one character per frame, no header, no line
// ends. "0" is a frame that is not kept; "1" to "6" a kept frame with one of
// six codes; "?" a kept frame whose code has no digit.
#pragma once

#include <string>

#include "base/file.h"
#include "model/error.h"
#include "model/frame_list.h"

namespace pulldex {

// The character the export writes for each code of a kept frame.
char frameSettingDigit(std::uint8_t code);

// The file's bytes for `list`: one character per entry.
std::string frameSettingsText(const FrameList& list);

// Streams the bytes through a fixed buffer; false when a write failed.
bool writeFrameSettings(Sink& out, const FrameList& list);

// What an import found, for warnings: the file's length, and the offset of
// its first byte that is not "0" to "6" or "?" (-1 when there is none).
struct FrameSettingsFacts {
  std::int64_t bytes = 0;
  std::int64_t firstOther = -1;
};

// Replaces `list` by the file's frames. The list takes the file's length in
// bytes; bytes other than "0" to "6" and "?" take no frame position, which
// leaves that many Unlisted entries at the end. An empty file leaves the list
// as it was, and so does any error. A pipe or "-" (standard input) is read to
// its end.
Status readFrameSettings(const std::string& path, FrameList& list, FrameSettingsFacts* facts = nullptr);

}  // namespace pulldex
