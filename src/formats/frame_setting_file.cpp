#include "formats/frame_setting_file.h"

#include <memory>

#include "base/file.h"

namespace pulldex {

namespace {

// Indexed by code 0 to 16; codes above have no digit either.
constexpr char kDigitMap[] = "1??4??5???62????3";
// Indexed by the digits "1" to "6".
constexpr std::uint8_t kCodeOfDigit[] = {0, 11, 16, 3, 6, 10};

}  // namespace

char frameSettingDigit(std::uint8_t code) { return code < sizeof kDigitMap - 1 ? kDigitMap[code] : '?'; }

std::string frameSettingsText(const FrameList& list) {
  std::string text;
  text.reserve(list.entries.size());
  for (const FrameEntry& e : list.entries) text += e.state == Kept ? frameSettingDigit(e.code) : '0';
  return text;
}

Error writeFrameSettings(const std::string& path, const FrameList& list) {
  AtomicOutput out;
  if (!out.open(path)) return Error::CreateFrameSettings;
  return out.write(frameSettingsText(list)) && out.commit() ? Error::None : Error::WriteFile;
}

Error readFrameSettings(const std::string& path, FrameList& list) {
  InputFile in;
  if (!in.open(path)) return Error::OpenFrameSettings;
  const std::int64_t size = in.size();
  if (size < 0) return Error::ReadFile;
  if (size == 0) return Error::None;
  if (size > kMaxFrames) return Error::FileFormat;

  FrameList imported;
  imported.entries.resize(static_cast<std::size_t>(size));
  std::size_t p = 0;
  constexpr std::size_t kChunk = 1 << 16;
  const auto chunk = std::make_unique<unsigned char[]>(kChunk);
  while (p < imported.entries.size()) {
    const std::int64_t got = in.read(chunk.get(), kChunk);
    if (got < 0) return Error::ReadFile;
    if (got == 0) break;
    for (std::int64_t i = 0; i < got && p < imported.entries.size(); ++i) {
      const unsigned char c = chunk[static_cast<std::size_t>(i)];
      if (c >= '0' && c <= '6') {
        imported.entries[p++] = c == '0' ? FrameEntry{0, Unlisted} : FrameEntry{kCodeOfDigit[c - '1'], Kept};
      } else if (c == '?') {
        // A kept frame whose code had no digit: keep its position so that
        // every later frame stays aligned.
        imported.entries[p++] = {0, Kept};
      }
    }
  }
  list = std::move(imported);
  return Error::None;
}

}  // namespace pulldex
