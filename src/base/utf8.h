// Text that goes into other programs' files: JSON strings, and comments of
// scripts whose tools read them as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace pulldex {

// `text` as valid UTF-8: every byte that is not part of a well-formed
// sequence (no overlong forms, no surrogates, nothing above U+10FFFF) is
// replaced by U+FFFD. `replaced` tells whether any was.
std::string validUtf8(std::string_view text, bool* replaced = nullptr);

// `text` made inert for one comment line of a script: valid UTF-8 stays as it
// is, and every control character, line or paragraph separator and byte that
// is not UTF-8 is written as an escape (\n, \r, \t, \xE9, \u2028), so that
// nothing of it can start a line of its own. A backslash stays a backslash:
// Windows paths read as they are.
std::string commentText(std::string_view text);

}  // namespace pulldex
