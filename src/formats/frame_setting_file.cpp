#include "formats/frame_setting_file.h"

namespace pulldex {

namespace {

// Indexed by code 0 to 16; codes above have no digit either.
constexpr char kDigitMap[] = "1??4??5???62????3";
// Indexed by the digits "1" to "6".
constexpr std::uint8_t kCodeOfDigit[] = {0, 11, 16, 3, 6, 10};

Status settingsFailure(Error error, const InputFile& file) { return {error, Subject::Settings, file.error()}; }

}  // namespace

char frameSettingDigit(std::uint8_t code) { return code < sizeof kDigitMap - 1 ? kDigitMap[code] : '?'; }

bool writeFrameSettings(Sink& out, const FrameList& list) {
  char chunk[1 << 16];
  std::size_t used = 0;
  for (const FrameEntry& e : list.entries) {
    chunk[used++] = e.state == Kept ? frameSettingDigit(e.code) : '0';
    if (used == sizeof chunk) {
      if (!out.write(chunk, used)) return false;
      used = 0;
    }
  }
  return out.write(chunk, used);
}

std::string frameSettingsText(const FrameList& list) {
  // The same bytes the export streams, gathered in memory.
  struct TextSink final : Sink {
    std::string text;
    bool write(const void* data, std::size_t n) override {
      text.append(static_cast<const char*>(data), n);
      return true;
    }
  } sink;
  sink.text.reserve(list.entries.size());
  writeFrameSettings(sink, list);
  return sink.text;
}


Status readFrameSettings(const std::string& path, FrameList& list, FrameSettingsFacts* facts) {
  InputFile in;
  if (!in.open(path))
    return in.kind() == sys::Kind::Device ? Status{Error::Device, Subject::Settings}
                                          : settingsFailure(Error::OpenFrameSettings, in);
  // The whole file first: a pipe has no size to go by. More bytes than a
  // list can have frames is no frame-setting file.
  std::string bytes;
  constexpr std::size_t kChunk = 1 << 16;
  for (std::int64_t got = 1; got > 0 && bytes.size() <= static_cast<std::size_t>(kMaxFrames);) {
    const std::size_t at = bytes.size();
    bytes.resize(at + kChunk);
    got = in.read(bytes.data() + at, kChunk);
    if (got < 0) return settingsFailure(Error::ReadFile, in);
    bytes.resize(at + static_cast<std::size_t>(got));
  }
  const auto size = static_cast<std::int64_t>(bytes.size());
  if (facts) *facts = {size, -1};
  if (size == 0) return {};
  if (size > kMaxFrames) return {Error::FileFormat, Subject::Settings};

  FrameList imported;
  imported.entries.resize(static_cast<std::size_t>(size));
  std::size_t p = 0;
  for (std::int64_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    if (c >= '0' && c <= '6') {
      imported.entries[p++] = c == '0' ? FrameEntry{0, Unlisted} : FrameEntry{kCodeOfDigit[c - '1'], Kept};
    } else if (c == '?') {
      // A kept frame whose code had no digit: keep its position so that
      // every later frame stays aligned.
      imported.entries[p++] = {0, Kept};
    } else if (facts && facts->firstOther < 0) {
      facts->firstOther = i;
    }
  }
  list = std::move(imported);
  return {};
}

}  // namespace pulldex
