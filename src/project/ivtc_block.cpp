#include "project/ivtc_block.h"

#include <algorithm>
#include <memory>

#include "base/byte_reader.h"
#include "project/block_scanner.h"

namespace pulldex {

std::int32_t IvtcHeader::valueLength() const {
  std::int32_t value = 0;
  ByteReader(raw + 25, 4).i32(value);
  return value;
}

std::uint32_t IvtcHeader::recordSize() const {
  std::uint32_t value = 0;
  ByteReader(raw + 29, 4).u32(value);
  return value;
}

void IvtcHeader::setRecords(std::uint32_t count) {
  putU32(raw + 25, count * kRecordSize + 8);
  putU32(raw + 33, count);
}

namespace {

// The block as found in an open project: where its marker starts, its
// header, and the scanner standing right behind the header.
struct FoundBlock {
  std::unique_ptr<BlockScanner> scanner;
  std::int64_t offset = -1;
  IvtcHeader header{};
};

Error findBlock(InputFile& file, FoundBlock& found) {
  found.scanner = std::make_unique<BlockScanner>(file);
  found.offset = found.scanner->findMarker(kIvtcMarker);
  if (found.offset < 0) return Error::NoIvtcBlock;
  if (found.scanner->readBytes(found.header.raw, kHeaderSize) < kHeaderSize) return Error::ReadFile;
  return Error::None;
}

// Moves the first Kept mark to entry 0, so that a script made from the list
// starts at the first frame.
void normalise(FrameList& list) {
  const auto first =
      std::find_if(list.entries.begin(), list.entries.end(), [](const FrameEntry& e) { return e.state == Kept; });
  if (first == list.entries.end()) return;
  first->state = Unlisted;
  list.entries[0].state = Kept;
}

}  // namespace

Error readIvtcList(const std::string& path, FrameList& out) {
  InputFile file;
  if (!file.open(path)) return Error::OpenProject;
  FoundBlock block;
  if (const Error e = findBlock(file, block); e != Error::None) return e;
  const IvtcHeader& header = block.header;
  if (header.typeTag() != kTypeTag || header.recordSize() != kRecordSize) return Error::FileFormat;

  const std::int64_t recordBytes = std::int64_t{header.valueLength()} - 8;
  if (recordBytes < 0 || recordBytes % kRecordSize != 0) return Error::FileFormat;
  // Checked before anything is allocated for them.
  const std::int64_t size = file.size();
  if (size < 0 || block.offset + kHeaderSize + recordBytes > size) return Error::FileFormat;

  FrameList list;
  list.entries.reserve(static_cast<std::size_t>(std::min<std::int64_t>(recordBytes / kRecordSize, kMaxFrames)));
  std::size_t entries = 0;  // list.entries.size(), kept here: the loop below is hot
  std::int32_t highest = -1;
  std::int32_t last = -1;
  constexpr std::int32_t kChunk = kRecordSize * 8192;
  std::uint8_t chunk[kChunk];
  for (std::int64_t left = recordBytes; left > 0;) {
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(left, kChunk));
    if (block.scanner->readBytes(chunk, want) < want) return Error::FileFormat;
    left -= want;
    ByteReader reader(chunk, static_cast<std::size_t>(want));
    IvtcRecord r;
    while (reader.record(r.frameIndex, r.code, r.copyFlag)) {
      if (r.frameIndex < 0 || r.frameIndex >= kMaxFrames) return Error::FileFormat;
      const auto index = static_cast<std::size_t>(r.frameIndex);
      // Grown in steps within the room reserved for one entry per record,
      // then cut to the last record's frame below.
      if (index >= entries)
        list.entries.resize(entries = std::max(index + 1, std::min(2 * entries, list.entries.capacity())));
      list.entries[index] = {r.code, static_cast<std::uint8_t>(r.copyFlag + 1)};
      highest = std::max(highest, r.frameIndex);
      last = r.frameIndex;
    }
  }
  // The last record sizes the list; one naming a later frame is corrupt.
  if (highest > last) return Error::FileFormat;
  list.entries.resize(static_cast<std::size_t>(last + 1));
  normalise(list);
  out = std::move(list);
  return Error::None;
}

Error writeWithoutCopyFrames(const std::string& source, const std::string& destination, const FrameList& list) {
  InputFile in;
  if (!in.open(source)) return Error::OpenSource;
  FoundBlock block;
  if (const Error e = findBlock(in, block); e != Error::None) return e;
  block.scanner.reset();
  IvtcHeader& header = block.header;
  const std::int64_t offset = block.offset;
  // A valueLength below 8 would start the copied tail inside the old header;
  // one past the end of the file would silently drop the tail.
  const std::int64_t blockEnd = offset + kValueStart + header.valueLength();
  if (header.valueLength() < 8 || blockEnd > in.size()) return Error::FileFormat;

  const auto kept = static_cast<std::uint32_t>(
      std::count_if(list.entries.begin(), list.entries.end(), [](const FrameEntry& e) { return e.state == Kept; }));
  header.setRecords(kept);

  AtomicOutput out;
  if (!out.open(destination)) return Error::OpenDestination;
  auto copied = out.copyFrom(in, 0, offset);
  if (copied == CopyResult::ReadFailed) return Error::ReadFile;
  if (copied == CopyResult::WriteFailed || !out.write(header.raw, kHeaderSize)) return Error::WriteFile;
  for (std::int32_t i = 0; i < list.count(); ++i) {
    if (!list.isKept(i)) continue;
    std::uint8_t record[kRecordSize];
    putU32(record, static_cast<std::uint32_t>(i));
    record[4] = list.entries[static_cast<std::size_t>(i)].code;
    record[5] = 0;
    if (!out.write(record, kRecordSize)) return Error::WriteFile;
  }
  copied = out.copyFrom(in, blockEnd, -1);
  if (copied == CopyResult::ReadFailed) return Error::ReadFile;
  // Closed first: Windows cannot rename over a file that is still open.
  in.close();
  if (copied == CopyResult::WriteFailed || !out.commit()) return Error::WriteFile;
  return Error::None;
}

}  // namespace pulldex
