#include "project/ivtc_block.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>

#include "base/byte_reader.h"
#include "project/block_scanner.h"
#include "project/project.h"
#include "project/text_form.h"

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

// Records in, one list out: each record sets the entry of its frame.
class ListBuilder {
 public:
  // `expected`: how many records there are likely to be, to reserve room for.
  explicit ListBuilder(std::int64_t expected) {
    list_.entries.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(expected, 0, kMaxFrames)));
    // Millions of entries: large pages, or a fault for every 4 KiB.
    sys::preferLargePages(list_.entries.data(), list_.entries.capacity() * sizeof(FrameEntry));
  }
  // Whole records; false when one names a frame past the limit.
  bool add(const std::uint8_t* records, std::size_t bytes) {
    if (bytes == 0) return true;
    // First the chunk's highest frame, so that the list grows at most once
    // per chunk and the loop that stores the records calls nothing: a call
    // in it would push its values out of the registers.
    std::uint32_t top = 0;
    for (ByteReader reader(records, bytes); const std::uint8_t* record = reader.take(kRecordSize);)
      top = std::max(top, ByteReader::le32(record));
    // A negative frame reads as a huge one here.
    if (top >= static_cast<std::uint32_t>(kMaxFrames)) return false;
    // Grown in steps within the room reserved for one entry per record,
    // then cut to the last record's frame in finish().
    if (top >= entries_)
      list_.entries.resize(entries_ = std::max<std::size_t>(top + 1, std::min(2 * entries_, list_.entries.capacity())));
    FrameEntry* const data = list_.entries.data();
    for (ByteReader reader(records, bytes); const std::uint8_t* record = reader.take(kRecordSize);)
      data[ByteReader::le32(record)] = {record[4], static_cast<std::uint8_t>(record[5] + 1)};
    highest_ = std::max(highest_, static_cast<std::int32_t>(top));
    last_ = static_cast<std::int32_t>(ByteReader::le32(records + bytes - kRecordSize));
    return true;
  }
  // The last record sizes the list; one naming a later frame is corrupt.
  bool finish(FrameList& out, Normalisation& changed) {
    if (highest_ > last_) return false;
    list_.entries.resize(static_cast<std::size_t>(last_ + 1));
    changed = normalise(list_);
    out = std::move(list_);
    return true;
  }

 private:
  // Moves the first Kept mark to entry 0, so that a script made from the
  // list starts at the first frame.
  static Normalisation normalise(FrameList& list) {
    const auto first =
        std::find_if(list.entries.begin(), list.entries.end(), [](const FrameEntry& e) { return e.state == Kept; });
    if (first == list.entries.end() || first == list.entries.begin()) return {};
    const Normalisation changed{static_cast<std::int32_t>(first - list.entries.begin()), list.entries[0].state};
    first->state = Unlisted;
    list.entries[0].state = Kept;
    return changed;
  }

  FrameList list_;
  std::size_t entries_ = 0;  // list_.entries.size()
  std::int32_t highest_ = -1;
  std::int32_t last_ = -1;
};

constexpr std::int32_t kChunk = kRecordSize * 8192;

// The binary form: the header behind the marker, then the records.
Status readBinaryValue(InputFile& file, BlockScanner& scanner, std::int64_t offset, FrameList& out,
                       BlockLocation& where) {
  IvtcHeader& header = where.header;
  if (scanner.readBytes(header.raw, kHeaderSize) < kHeaderSize) return projectFailure(Error::ReadFile, file);
  if (header.typeTag() != kTypeTag || header.recordSize() != kRecordSize) return {Error::FileFormat};
  const std::int64_t recordBytes = std::int64_t{header.valueLength()} - 8;
  if (recordBytes < 0 || recordBytes % kRecordSize != 0) return {Error::FileFormat};
  // Checked before anything is allocated for them, where the size is known.
  const std::int64_t size = file.size();
  if (file.regular() && (size < 0 || offset + kHeaderSize + recordBytes > size)) return {Error::FileFormat};

  ListBuilder builder(recordBytes / kRecordSize);
  std::uint8_t chunk[kChunk];
  for (std::int64_t left = recordBytes; left > 0;) {
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(left, kChunk));
    if (scanner.readBytes(chunk, want) < want)
      return scanner.failed() ? projectFailure(Error::ReadFile, file) : Status{Error::FileFormat};
    left -= want;
    if (!builder.add(chunk, static_cast<std::size_t>(want))) return {Error::FileFormat};
  }
  return builder.finish(out, where.normalisation) ? Status{} : Status{Error::FileFormat};
}

// The text form: blanks, "=", blanks and "{" behind the marker, then the
// value in hexadecimal up to "}", decoded as it streams by.
Status readTextValue(InputFile& file, BlockScanner& scanner, std::int64_t offset, FrameList& out,
                     BlockLocation& where) {
  const auto ended = [&] { return projectFailure(Error::ReadFile, file); };
  std::int64_t at = offset + static_cast<std::int64_t>(std::strlen(kIvtcMarker));
  scanner.consume(static_cast<std::int32_t>(std::strlen(kIvtcMarker)));
  // "Name = {": blanks, "=", blanks, "{".
  for (const char wanted : {'=', '{'}) {
    for (;;) {
      const std::uint8_t* p = nullptr;
      if (scanner.available(p) == 0) return scanner.failed() ? ended() : Status{Error::FileFormat};
      scanner.consume(1);
      ++at;
      if (*p == wanted) break;
      if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return {Error::FileFormat};
    }
  }
  where.valueStart = at - 1;

  // The first 8 bytes are the value's header: recordSize and recordCount.
  const std::int64_t size = file.size();
  ListBuilder builder(size > at ? (size - at) / (2 * kRecordSize) : 0);
  std::uint8_t chunk[kChunk];
  std::size_t fill = 0;
  std::int64_t decoded = 0;
  bool header = true;
  for (;;) {
    const std::uint8_t* p = nullptr;
    const std::int32_t n = scanner.available(p);
    if (n == 0) return ended();
    std::size_t used = 0, made = 0;
    const std::size_t room = header ? 8 - fill : kChunk - fill;
    const HexStep step = decodeHex(p, static_cast<std::size_t>(n), chunk + fill, room, used, made);
    scanner.consume(static_cast<std::int32_t>(used));
    at += static_cast<std::int64_t>(used);
    fill += made;
    decoded += static_cast<std::int64_t>(made);
    if (step == HexStep::BadDigit) return {Error::FileFormat};
    if (header && fill == 8) {
      std::memcpy(where.header.raw + kValueStart, chunk, 8);
      if (where.header.recordSize() != kRecordSize) return {Error::FileFormat};
      header = false;
      fill = 0;
    } else if (!header && fill == kChunk) {
      if (!builder.add(chunk, fill)) return {Error::FileFormat};
      fill = 0;
    }
    if (step == HexStep::Done) break;
    // A lone digit at the very end of the file.
    if (used == 0 && made == 0 && room > 0) return ended();
  }
  // A value that ends at "}" before its records are whole breaks the format,
  // as a binary value would.
  if (header) return {Error::FileFormat};
  if (fill % kRecordSize != 0 || decoded > INT32_MAX) return {Error::FileFormat};
  if (!builder.add(chunk, fill)) return {Error::FileFormat};
  where.valueEnd = at - 1;
  std::memcpy(where.header.raw, kIvtcMarker, std::strlen(kIvtcMarker));
  where.header.raw[24] = kTypeTag;
  putU32(where.header.raw + 25, static_cast<std::uint32_t>(decoded));
  return builder.finish(out, where.normalisation) ? Status{} : Status{Error::FileFormat};
}

}  // namespace

Status readIvtcList(const std::string& path, FrameList& out) {
  Project project;
  const Status s = project.load(path);
  if (s.ok()) out = std::move(project.list());
  return s;
}

namespace {

constexpr char kFieldOrderMarker[] = "Video.TopFieldFirst";

// The value behind "Video.TopFieldFirst" at `p`: in the binary form its
// type tag (8 False, 9 True), in the text form "= True" or "= False".
std::optional<bool> fieldOrderAt(const std::uint8_t* p, std::size_t n, ProjectForm form) {
  const std::size_t name = std::strlen(kFieldOrderMarker);
  if (n <= name) return std::nullopt;
  if (form == ProjectForm::Binary) {
    if (p[name] == 8) return false;
    if (p[name] == 9) return true;
    return std::nullopt;
  }
  std::size_t i = name;
  const auto blanks = [&] {
    while (i < n && (p[i] == ' ' || p[i] == '\t')) ++i;
  };
  blanks();
  if (i >= n || p[i] != '=') return std::nullopt;
  ++i;
  blanks();
  std::string word;
  while (i < n && word.size() < 6 && std::isalpha(p[i])) word += static_cast<char>(std::tolower(p[i++]));
  if (word == "true") return true;
  if (word == "false") return false;
  return std::nullopt;
}

std::optional<bool> readFieldOrder(BlockScanner& scanner, ProjectForm form) {
  const std::uint8_t* p = nullptr;
  const std::int32_t n = scanner.available(p);
  const std::optional<bool> order = fieldOrderAt(p, static_cast<std::size_t>(n), form);
  scanner.consume(static_cast<std::int32_t>(std::strlen(kFieldOrderMarker)));
  return order;
}

}  // namespace

Status readIvtcList(InputFile& file, FrameList& out, BlockLocation* where, bool fieldOrder) {
  BlockLocation found;
  if (file.regular() && !file.identity(found.identity)) return projectFailure(Error::ReadFile, file);
  BlockScanner scanner(file);
  const std::uint8_t* head = nullptr;
  const std::int32_t headSize = scanner.available(head);
  found.form = isTextForm(head, static_cast<std::size_t>(headSize)) ? ProjectForm::Text : ProjectForm::Binary;
  // The field order is read in the same pass, before the list or after it:
  // a stream cannot be read twice.
  bool orderSeen = !fieldOrder;
  for (;;) {
    int which = 0;
    found.offset = scanner.findEither(kIvtcMarker, orderSeen ? nullptr : kFieldOrderMarker, which);
    if (found.offset < 0 || which == 0) break;
    found.topFieldFirst = readFieldOrder(scanner, found.form);
    orderSeen = true;
  }
  // A read that failed is no missing block: say why instead.
  if (scanner.failed()) return projectFailure(Error::ReadFile, file);
  if (found.offset < 0) return {Error::NoIvtcBlock};
  FrameList list;
  const Status s = found.form == ProjectForm::Text ? readTextValue(file, scanner, found.offset, list, found)
                                                   : readBinaryValue(file, scanner, found.offset, list, found);
  if (!s.ok()) return s;
  if (!orderSeen && scanner.findMarker(kFieldOrderMarker) >= 0)
    found.topFieldFirst = readFieldOrder(scanner, found.form);
  if (scanner.failed()) return projectFailure(Error::ReadFile, file);
  out = std::move(list);
  if (where) *where = found;
  return {};
}

namespace {

// Whether entry i gets a record: each Kept entry, or with `all` every
// entry that has one (and the last entry always, so that the list keeps its
// length).
bool hasRecord(const FrameList& list, std::int32_t i, bool all) {
  const std::uint8_t state = list.entries[static_cast<std::size_t>(i)].state;
  return state == Kept || (all && (state != Unlisted || i + 1 == list.count()));
}

// The records of `list`, in order, a batch at a time, each with its state's
// copy flag (0 for Kept).
template <class Emit>
bool listRecords(const FrameList& list, bool all, Emit&& emit) {
  std::uint8_t records[kRecordSize * 4096];
  std::size_t used = 0;
  for (std::int32_t i = 0; i < list.count(); ++i) {
    if (!hasRecord(list, i, all)) continue;
    const FrameEntry& e = list.entries[static_cast<std::size_t>(i)];
    std::uint8_t* record = records + used;
    putU32(record, static_cast<std::uint32_t>(i));
    record[4] = e.code;
    record[5] = e.state == Kept ? 0 : e.state == Unlisted ? 1 : static_cast<std::uint8_t>(e.state - 1);
    used += kRecordSize;
    if (used == sizeof records) {
      if (!emit(records, used)) return false;
      used = 0;
    }
  }
  return emit(records, used);
}

std::uint32_t recordCount(const FrameList& list, bool all) {
  std::uint32_t n = 0;
  for (std::int32_t i = 0; i < list.count(); ++i) n += hasRecord(list, i, all);
  return n;
}

// How the text form around the block is laid out: the line end of the
// property's line and the indent of its value's lines.
struct TextLayout {
  std::string lineEnd = "\n";
  std::string indent = "  ";
};

TextLayout textLayout(InputFile& in, const BlockLocation& block) {
  TextLayout layout;
  // The property's own indent: the blanks before its name on its line.
  constexpr std::int64_t kBack = 4096;
  const std::int64_t from = std::max<std::int64_t>(0, block.offset - kBack);
  std::string before(static_cast<std::size_t>(block.offset - from), '\0');
  if (in.seek(from) && in.read(before.data(), before.size()) == static_cast<std::int64_t>(before.size())) {
    std::size_t start = before.size();
    while (start > 0 && (before[start - 1] == ' ' || before[start - 1] == '\t')) --start;
    layout.indent = before.substr(start) + "  ";
  }
  // The property's line ends right after "{", or after "}" when the value
  // stands on it whole.
  char after[2] = {};
  for (const std::int64_t at : {block.valueStart + 1, block.valueEnd + 1}) {
    if (!in.seek(at) || in.read(after, 2) < 1) continue;
    if (after[0] == '\r' && after[1] == '\n') return layout.lineEnd = "\r\n", layout;
    if (after[0] == '\n') return layout;
  }
  // Else the line before the property's tells.
  const std::size_t newline = before.rfind('\n');
  if (newline != std::string::npos && newline > 0 && before[newline - 1] == '\r') layout.lineEnd = "\r\n";
  return layout;
}

}  // namespace

Status writeProjectList(Project& project, const FrameList& list, bool allRecords, OpenOutput& output) {
  InputFile* in = nullptr;
  if (const Status s = project.input(in); !s.ok()) return s;
  if (!in->regular()) return {Error::NotRegular};
  const BlockLocation& block = project.block();
  const bool text = block.form == ProjectForm::Text;
  const std::int64_t size = block.identity.size;
  // The block must still be where the list came from: its header byte for
  // byte, or in the text form its name and braces.
  IvtcHeader header{};
  const std::int32_t checked = text ? static_cast<std::int32_t>(std::strlen(kIvtcMarker)) : kHeaderSize;
  if (block.offset < 0 || !in->seek(block.offset) || in->read(header.raw, static_cast<std::size_t>(checked)) != checked)
    return in->error() != 0 ? projectFailure(Error::ReadFile, *in) : Status{Error::ProjectChanged};
  if (!std::equal(header.raw, header.raw + checked, block.header.raw)) return {Error::ProjectChanged};
  if (text) {
    char braces[2] = {};
    if (!in->seek(block.valueStart) || in->read(braces, 1) != 1 || !in->seek(block.valueEnd) ||
        in->read(braces + 1, 1) != 1)
      return in->error() != 0 ? projectFailure(Error::ReadFile, *in) : Status{Error::ProjectChanged};
    if (braces[0] != '{' || braces[1] != '}') return {Error::ProjectChanged};
    header = block.header;
  }
  // A valueLength below 8 would start the copied tail inside the old header;
  // one past the end of the file would silently drop the tail.
  const std::int64_t blockEnd = text ? block.valueEnd : block.offset + kValueStart + header.valueLength();
  if (header.valueLength() < 8 || blockEnd > size) return {Error::FileFormat};
  header.setRecords(recordCount(list, allRecords));
  const TextLayout layout = text ? textLayout(*in, block) : TextLayout{};

  std::int64_t newValueEnd = block.valueEnd;  // where "}" lands in the output
  const auto produce = [&](Sink& out) -> Status {
    const auto copied = [&](CopyResult r) {
      return r == CopyResult::ReadFailed ? projectFailure(Error::ReadFile, *in) : Status{};
    };
    if (!text) {
      if (const Status s = copied(out.copyFrom(*in, 0, block.offset)); !s.ok()) return s;
      out.write(header.raw, kHeaderSize);
      listRecords(list, allRecords, [&](const std::uint8_t* records, std::size_t n) { return out.write(records, n); });
    } else {
      // Everything up to "{" and from "}" on as it was; between them the
      // same bytes the binary form gets, as the Delphi writer lays them out.
      if (const Status s = copied(out.copyFrom(*in, 0, block.valueStart + 1)); !s.ok()) return s;
      DelphiHexWriter hex(out, header.valueLength(), layout.lineEnd, layout.indent);
      hex.write(header.raw + kValueStart, kHeaderSize - kValueStart);
      listRecords(list, allRecords, [&](const std::uint8_t* records, std::size_t n) { return hex.write(records, n); });
      hex.finish();
      newValueEnd = block.valueStart + 1 + hex.textBytes();
    }
    return copied(out.copyFrom(*in, blockEnd, size - blockEnd));
  };
  Written written;
  if (const Status s = output.write(produce, &written); !s.ok()) return s;
  if (written.replacedProject) {
    // Should it be written once more: the new header, and in the text form
    // the value's new end.
    BlockLocation saved = block;
    saved.header = header;
    saved.valueEnd = newValueEnd;
    project.savedOver(written.identity, saved);
  }
  return {};
}

Status writeWithoutCopyFrames(Project& project, Destination destination) {
  destination.project = &project;
  OpenOutput output;
  if (const Status s = output.open(destination); !s.ok()) return s;
  return writeProjectList(project, project.list(), false, output);
}

}  // namespace pulldex
