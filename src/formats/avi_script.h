// AVI script files (.ASC): one line per break in the pattern of kept frames.
// Each line is "start TAB pattern TAB keptIndex CR LF"; a repeating pattern
// of gaps between kept frames is written once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/error.h"
#include "model/frame_list.h"

namespace pulldex {

// The decimal digits of a value, most significant first, no leading zeros.
class DecimalText {
 public:
  explicit DecimalText(std::uint32_t value);
  std::string_view view() const { return {digits_, length_}; }

 private:
  char digits_[10];
  std::size_t length_;
};

inline DecimalText decimalText(std::uint32_t value) { return DecimalText(value); }

// The name proposed for a script of the project at `projectPath`: a "."
// followed by exactly three characters at the end becomes ".asc".
std::string proposedScriptName(std::string projectPath);

// The whole script of `list`.
std::string aviScript(const FrameList& list);

Error writeAviScript(const std::string& path, const FrameList& list);

}  // namespace pulldex
