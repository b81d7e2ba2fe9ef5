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
#include <string>

#include "base/file.h"
#include "model/error.h"
#include "model/frame_list.h"

namespace pulldex {

inline constexpr char kIvtcMarker[] = "Video.DeinterlaceEx.List";
inline constexpr std::int32_t kMarkerSize = 24;
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

struct IvtcRecord {
  std::int32_t frameIndex = 0;
  std::uint8_t code = 0;
  std::uint8_t copyFlag = 0;
};

// Where a loaded block was: what a removal through the same open file needs
// to find it again without scanning.
struct BlockLocation {
  std::int64_t offset = -1;
  IvtcHeader header{};
  sys::Identity identity;  // the file as it was loaded
};

// Loads the IVTC list of a project. `out` changes only on success.
Status readIvtcList(const std::string& path, FrameList& out);
// The same from a file opened at its start: a regular file or a stream.
Status readIvtcList(InputFile& file, FrameList& out, BlockLocation* where = nullptr);

// Writes `destination`: the project `source` with its IVTC block replaced by
// one record per Kept entry of `list` (copy flag 0), every other byte as it
// was. The destination may be the source itself. With `loaded`, the source
// must still be the file with that identity.
Status writeWithoutCopyFrames(const std::string& source, const std::string& destination, const FrameList& list,
                              const sys::Identity* loaded = nullptr);
// The same through the file the list was loaded from, whose block is known:
// the bytes are checked at that offset instead of scanning again, and the
// file must not have changed since the load.
// `sourcePath` must still name the source when the destination is taken.
Status writeWithoutCopyFrames(InputFile& source, const std::string& sourcePath, const BlockLocation& block,
                              const std::string& destination, const FrameList& list);

}  // namespace pulldex
