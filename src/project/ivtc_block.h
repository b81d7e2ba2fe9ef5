// The "Video.DeinterlaceEx.List" entry of a TMPGEnc project file: a 37-byte
// header followed by 6-byte records, all integers little-endian.
//
//   offset  size  field
//   0       24    marker       "Video.DeinterlaceEx.List", no terminator
//   24      1     typeTag      10
//   25      4     valueLength  bytes after this field: 8 + 6 * records
//   29      4     recordSize   6
//   33      4     recordCount
//   37      6*n   records      frameIndex (i32), code (u8), copyFlag (u8)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/file.h"
#include "model/error.h"
#include "model/frame_list.h"
#include "project/output.h"

namespace pulldex {

class Project;

inline constexpr char kIvtcMarker[] = "Video.DeinterlaceEx.List";
inline constexpr std::int32_t kHeaderSize = 37;
inline constexpr std::int32_t kRecordSize = 6;
inline constexpr std::uint8_t kTypeTag = 10;
// valueLength counts from here, the byte after its own field.
inline constexpr std::int32_t kValueStart = 29;

struct IvtcHeader {
  std::uint8_t raw[kHeaderSize];  // as read; written back with two fields changed

  std::uint8_t typeTag() const { return raw[24]; }
  std::int32_t valueLength() const;
  std::uint32_t recordSize() const;
  void setRecords(std::uint32_t count);  // valueLength and recordCount
};

// The two forms a project file is saved in: a binary component stream, or
// the same stream written as text.
enum class ProjectForm : std::uint8_t { Binary, Text };

// What the load changed in the list: the first Kept mark moved to entry 0,
// so that the AVI script starts at "0a". Other tools get the list as stored.
struct Normalisation {
  std::int32_t movedFrom = -1;  // the first Kept entry, when it was not entry 0
  std::uint8_t stateAt0 = 0;    // entry 0's state before
};

// Where a loaded block was: what a removal through the same open file needs
// to find it again without scanning.
struct BlockLocation {
  std::int64_t offset = -1;  // of the name "Video.DeinterlaceEx.List"
  // As read; in the text form, as the binary form would hold the value.
  IvtcHeader header{};
  sys::Identity identity;  // the file as it was loaded
  ProjectForm form = ProjectForm::Binary;
  std::int64_t valueStart = -1;  // text form: the offset of "{"
  std::int64_t valueEnd = -1;    // text form: the offset of "}"
  Normalisation normalisation;
  // Not the block's, but found in the same pass: the project's field order,
  // "Video.TopFieldFirst", where it holds one as a boolean.
  std::optional<bool> topFieldFirst;
};

// Loads the IVTC list of a project. `out` changes only on success.
Status readIvtcList(const std::string& path, FrameList& out);
// The same from a file opened at its start: a regular file or a stream. With
// `fieldOrder`, the same pass also looks for "Video.TopFieldFirst", before
// the list or after it, and puts its value in `where`.
Status readIvtcList(InputFile& file, FrameList& out, BlockLocation* where = nullptr, bool fieldOrder = false);

// Writes the project without copy frames: its file with the IVTC block
// replaced by one record per Kept entry of its list (copy flag 0), every
// other byte as it was. The destination's `project` is set to `project`; the
// bytes come from the file that was loaded, whose block must still be where
// it was. A removal into the project's own file makes that file the project.
Status writeWithoutCopyFrames(Project& project, Destination destination);

// The same with `list` in place of the project's, through an output opened
// for `project`: one record for each Kept entry, or with `allRecords` one
// for every entry that is not Unlisted, each with its state's copy flag
// (and one for the last entry however it stands, so that the list keeps
// its length).
Status writeProjectList(Project& project, const FrameList& list, bool allRecords, OpenOutput& output);

}  // namespace pulldex
