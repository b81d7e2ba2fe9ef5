#include "formats/json.h"

#include <charconv>

#include "base/sys.h"
#include "base/utf8.h"
#include "formats/number_text.h"

namespace pulldex {

void Json::Text(std::string_view text) {
  const std::string valid = validUtf8(text);
  String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()));
}

void Json::Fixed(double value, int decimals) {
  char text[32];
  RawValue(text, static_cast<std::size_t>(appendFixed(text, value, decimals) - text), rapidjson::kNumberType);
}

void Json::EntryOrNull(std::int64_t value) {
  if (value < 0)
    Null();
  else
    Int64(value);
}

void Json::Path(const std::string& path) {
  bool replaced = false;
  const std::string valid = validUtf8(sys::toUtf8(path), &replaced);
  Key("path");
  String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()));
  if (!replaced) return;
  // The name as it is on the disk, byte for byte.
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : path) {
    hex += kHex[c >> 4];
    hex += kHex[c & 15];
  }
  Key("pathBytes");
  String(hex.data(), static_cast<rapidjson::SizeType>(hex.size()));
}

}  // namespace pulldex
