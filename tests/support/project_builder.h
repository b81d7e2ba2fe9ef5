// Builds project files for tests, the sample and the benchmarks: any bytes
// and other named entries around an IVTC block with any header and records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pulldex::testdata {

struct Record {
  std::int32_t frame;
  std::uint8_t code;
  std::uint8_t copyFlag;
};

// Header fields; unset ones are derived from the records.
struct BlockFields {
  std::uint8_t typeTag = 10;
  std::optional<std::int32_t> valueLength;
  std::uint32_t recordSize = 6;
  std::optional<std::uint32_t> recordCount;
};

std::string le32(std::uint32_t value);
std::string recordBytes(const std::vector<Record>& records);
std::string ivtcBlock(const std::vector<Record>& records, const BlockFields& fields = {});
// The value of the IVTC property: the bytes that follow its 4-byte length
// in the binary form (recordSize, recordCount, the records).
std::string ivtcValue(const std::vector<Record>& records);

// How a project in text form is laid out, as the writers of Delphi and Free
// Pascal lay it out.
struct TextStyle {
  bool freePascal = false;  // "{" then a line end; "}" alone on a last line
  bool crlf = true;
  bool lowerCase = false;
  bool nested = false;  // the property inside a child object, one level deeper
};
// A project in text form around an IVTC property holding `value`.
std::string textProject(std::string_view value, const TextStyle& style = {});

// Some other entry of a project: its name, a tag, a length and the value.
std::string namedEntry(std::string_view name, std::string_view value);
// `n` bytes of deterministic noise that never contain the IVTC marker.
std::string noise(std::size_t n, std::uint32_t seed);

// Records from a pattern: 'K' a kept frame, 'C' a copy frame, '-' a frame
// without a record. Codes cycle through `codes`.
std::vector<Record> recordsFromPattern(std::string_view pattern, const std::vector<std::uint8_t>& codes = {0});

bool writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);

}  // namespace pulldex::testdata
