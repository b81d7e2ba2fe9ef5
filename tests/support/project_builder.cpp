#include "project_builder.h"

#include <fstream>
#include <iterator>

namespace pulldex::testdata {

std::string le32(std::uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  return out;
}

std::string recordBytes(const std::vector<Record>& records) {
  std::string out;
  out.reserve(records.size() * 6);
  for (const Record& r : records) {
    out += le32(static_cast<std::uint32_t>(r.frame));
    out += static_cast<char>(r.code);
    out += static_cast<char>(r.copyFlag);
  }
  return out;
}

std::string ivtcBlock(const std::vector<Record>& records, const BlockFields& fields) {
  const auto n = static_cast<std::uint32_t>(records.size());
  std::string out = "Video.DeinterlaceEx.List";
  out += static_cast<char>(fields.typeTag);
  out += le32(static_cast<std::uint32_t>(fields.valueLength.value_or(static_cast<std::int32_t>(8 + 6 * n))));
  out += le32(fields.recordSize);
  out += le32(fields.recordCount.value_or(n));
  return out + recordBytes(records);
}

std::string ivtcValue(const std::vector<Record>& records) { return ivtcBlock(records).substr(29); }

std::string textProject(std::string_view value, const TextStyle& style) {
  const char* digits = style.lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  const std::string eol = style.crlf ? "\r\n" : "\n";
  const std::string indent = style.nested ? "    " : "  ";
  std::string hex;
  for (std::size_t i = 0; i < value.size(); ++i) {
    // Each line's 64 digits start with a line end and the deeper indent.
    if (i % 32 == 0 && (style.freePascal || value.size() >= 32)) hex += (i == 0 && style.freePascal ? "" : eol) + indent + "  ";
    hex += digits[static_cast<unsigned char>(value[i]) >> 4];
    hex += digits[static_cast<unsigned char>(value[i]) & 15];
  }
  std::string property = indent + "Video.DeinterlaceEx.List = {";
  if (style.freePascal)
    property += eol + hex + eol + indent + "}" + eol;
  else
    property += hex + "}" + eol;
  std::string out = "object TMPEGEncodeJobFile" + eol + "  Video.Source = 'movie.avi'" + eol;
  if (style.nested) out += "  object Item: TJobItem" + eol;
  out += indent + "Video.FrameRate = 29970" + eol + property + indent + "Audio.Gain = 0" + eol;
  if (style.nested) out += "  end" + eol;
  return out + "end" + eol;
}

std::string namedEntry(std::string_view name, std::string_view value) {
  std::string out(name);
  out += '\x01';
  out += le32(static_cast<std::uint32_t>(value.size()));
  out += value;
  return out;
}

std::string noise(std::size_t n, std::uint32_t seed) {
  std::string out(n, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    // No 'V', so no marker can appear by chance.
    c = static_cast<char>(x >> 24);
    if (c == 'V') c = 'v';
  }
  return out;
}

std::vector<Record> recordsFromPattern(std::string_view pattern, const std::vector<std::uint8_t>& codes) {
  std::vector<Record> records;
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '-') continue;
    records.push_back({static_cast<std::int32_t>(i), codes[next++ % codes.size()],
                       static_cast<std::uint8_t>(pattern[i] == 'C' ? 1 : 0)});
  }
  return records;
}

bool writeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace pulldex::testdata
