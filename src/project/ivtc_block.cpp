#include "project/ivtc_block.h"

#include <algorithm>
#include <memory>

#include "base/byte_reader.h"
#include "project/block_scanner.h"
#include "project/project.h"

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

Status projectFailure(Error error, const InputFile& file) { return {error, Subject::Project, file.error()}; }

// The block as found in an open project: where its marker starts, its
// header, and the scanner standing right behind the header.
struct FoundBlock {
  std::unique_ptr<BlockScanner> scanner;
  std::int64_t offset = -1;
  IvtcHeader header{};
};

Status findBlock(InputFile& file, FoundBlock& found) {
  found.scanner = std::make_unique<BlockScanner>(file);
  found.offset = found.scanner->findMarker(kIvtcMarker);
  // A read that failed is no missing block: say why instead.
  if (found.scanner->failed()) return projectFailure(Error::ReadFile, file);
  if (found.offset < 0) return {Error::NoIvtcBlock};
  if (found.scanner->readBytes(found.header.raw, kHeaderSize) < kHeaderSize)
    return projectFailure(Error::ReadFile, file);
  return {};
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

Status readIvtcList(const std::string& path, FrameList& out) {
  Project project;
  const Status s = project.load(path);
  if (s.ok()) out = std::move(project.list());
  return s;
}

Status readIvtcList(InputFile& file, FrameList& out, BlockLocation* where) {
  sys::Identity identity;
  if (file.regular() && !file.identity(identity)) return projectFailure(Error::ReadFile, file);
  FoundBlock block;
  if (const Status found = findBlock(file, block); !found.ok()) return found;
  const IvtcHeader& header = block.header;
  if (header.typeTag() != kTypeTag || header.recordSize() != kRecordSize) return {Error::FileFormat};

  const std::int64_t recordBytes = std::int64_t{header.valueLength()} - 8;
  if (recordBytes < 0 || recordBytes % kRecordSize != 0) return {Error::FileFormat};
  // Checked before anything is allocated for them, where the size is known.
  const std::int64_t size = file.size();
  if (file.regular() && (size < 0 || block.offset + kHeaderSize + recordBytes > size)) return {Error::FileFormat};

  FrameList list;
  list.entries.reserve(static_cast<std::size_t>(std::min<std::int64_t>(recordBytes / kRecordSize, kMaxFrames)));
  std::size_t entries = 0;  // list.entries.size()
  std::int32_t highest = -1;
  std::int32_t last = -1;
  constexpr std::int32_t kChunk = kRecordSize * 8192;
  std::uint8_t chunk[kChunk];
  for (std::int64_t left = recordBytes; left > 0;) {
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(left, kChunk));
    if (block.scanner->readBytes(chunk, want) < want)
      return block.scanner->failed() ? projectFailure(Error::ReadFile, file) : Status{Error::FileFormat};
    left -= want;
    const auto bytes = static_cast<std::size_t>(want);
    // First the chunk's highest frame, so that the list grows at most once
    // per chunk and the loop that stores the records calls nothing: a call
    // in it would push its values out of the registers.
    std::uint32_t top = 0;
    for (ByteReader reader(chunk, bytes); const std::uint8_t* record = reader.take(kRecordSize);)
      top = std::max(top, ByteReader::le32(record));
    // A negative frame reads as a huge one here.
    if (top >= static_cast<std::uint32_t>(kMaxFrames)) return {Error::FileFormat};
    // Grown in steps within the room reserved for one entry per record,
    // then cut to the last record's frame below.
    if (top >= entries)
      list.entries.resize(entries = std::max<std::size_t>(top + 1, std::min(2 * entries, list.entries.capacity())));
    FrameEntry* const data = list.entries.data();
    for (ByteReader reader(chunk, bytes); const std::uint8_t* record = reader.take(kRecordSize);)
      data[ByteReader::le32(record)] = {record[4], static_cast<std::uint8_t>(record[5] + 1)};
    highest = std::max(highest, static_cast<std::int32_t>(top));
    last = static_cast<std::int32_t>(ByteReader::le32(chunk + bytes - kRecordSize));
  }
  // The last record sizes the list; one naming a later frame is corrupt.
  if (highest > last) return {Error::FileFormat};
  list.entries.resize(static_cast<std::size_t>(last + 1));
  normalise(list);
  out = std::move(list);
  if (where) *where = {block.offset, header, identity};
  return {};
}

Status writeWithoutCopyFrames(Project& project, Destination destination) {
  InputFile* in = nullptr;
  if (const Status s = project.input(in); !s.ok()) return s;
  if (!in->regular()) return {Error::NotRegular};
  const BlockLocation& block = project.block();
  const std::int64_t size = block.identity.size;
  // The block must still be where the list came from, byte for byte.
  IvtcHeader header{};
  if (block.offset < 0 || !in->seek(block.offset) || in->read(header.raw, kHeaderSize) != kHeaderSize)
    return in->error() != 0 ? projectFailure(Error::ReadFile, *in) : Status{Error::ProjectChanged};
  if (!std::equal(header.raw, header.raw + kHeaderSize, block.header.raw)) return {Error::ProjectChanged};
  // A valueLength below 8 would start the copied tail inside the old header;
  // one past the end of the file would silently drop the tail.
  const std::int64_t blockEnd = block.offset + kValueStart + header.valueLength();
  if (header.valueLength() < 8 || blockEnd > size) return {Error::FileFormat};
  const FrameList& list = project.list();
  header.setRecords(static_cast<std::uint32_t>(
      std::count_if(list.entries.begin(), list.entries.end(), [](const FrameEntry& e) { return e.state == Kept; })));

  destination.project = &project;
  const auto produce = [&](Sink& out) -> Status {
    const auto copied = [&](CopyResult r) {
      return r == CopyResult::ReadFailed ? projectFailure(Error::ReadFile, *in) : Status{};
    };
    if (const Status s = copied(out.copyFrom(*in, 0, block.offset)); !s.ok()) return s;
    out.write(header.raw, kHeaderSize);
    std::uint8_t records[kRecordSize * 4096];
    std::size_t used = 0;
    for (std::int32_t i = 0; i < list.count(); ++i) {
      if (!list.isKept(i)) continue;
      std::uint8_t* record = records + used;
      putU32(record, static_cast<std::uint32_t>(i));
      record[4] = list.entries[static_cast<std::size_t>(i)].code;
      record[5] = 0;
      used += kRecordSize;
      if (used == sizeof records) {
        if (!out.write(records, used)) return {};
        used = 0;
      }
    }
    if (!out.write(records, used)) return {};
    return copied(out.copyFrom(*in, blockEnd, size - blockEnd));
  };
  Written written;
  if (const Status s = writeOutput(destination, produce, &written); !s.ok()) return s;
  if (written.replacedProject) project.savedOver(written.identity, header);
  return {};
}

}  // namespace pulldex
