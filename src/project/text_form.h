// The text form of a project file: the same component stream written as
// text, "object TMPEGEncodeJobFile", then a line "Name = value" for each
// property. A binary value is hexadecimal inside braces; the IVTC list is
//
//   Video.DeinterlaceEx.List = {
//     0600000014000000000000000300010000000301020000000300030000000301
//     ...}
//
// where the bytes are those that follow the 4-byte length in the binary
// form: recordSize, recordCount, then the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/file.h"

namespace pulldex {

// Whether a file starting with these bytes is a project in text form: after
// an optional UTF-8 byte order mark and blanks, "object" in any case and a
// blank.
bool isTextForm(const std::uint8_t* head, std::size_t n);

// Decodes pairs of hexadecimal digits, of either case, between which any
// blanks (bytes 1 to 32) may stand, up to the closing brace, from `in`
// (n bytes) into `out` (room for `room` bytes). `used` and `made` tell how
// far it got: a pair split by the end of `in` is left for the next call.
// Done at the brace, which is consumed too.
enum class HexStep { More, Done, BadDigit };
HexStep decodeHex(const std::uint8_t* in, std::size_t n, std::uint8_t* out, std::size_t room, std::size_t& used,
                  std::size_t& made);

// Writes a binary value as the Delphi writer lays it out, between the
// braces: under 32 bytes as one run of digits; otherwise 64 digits a line,
// each line on a line of its own after `lineEnd` and `indent`, the brace
// right after the last digit. The value's length must be known first.
class DelphiHexWriter {
 public:
  DelphiHexWriter(Sink& out, std::int64_t length, std::string lineEnd, std::string indent);
  bool write(const std::uint8_t* bytes, std::size_t n);
  // Whatever is left of the last line; true when every write worked.
  bool finish();
  // The bytes of text it wrote.
  std::int64_t textBytes() const { return textBytes_; }

 private:
  bool flush();
  Sink& out_;
  bool lines_;
  std::string lineStart_;  // line end and indent
  std::uint8_t pending_[32] = {};
  std::size_t pendingUsed_ = 0;
  std::string text_;
  std::int64_t textBytes_ = 0;
  bool ok_ = true;
};

}  // namespace pulldex
