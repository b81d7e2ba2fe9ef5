#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pulldex::app {

// The first argument of a Windows command-line tail: double quotes toggle
// quoting and are dropped; an unquoted space (only a space, not a tab) ends
// it. Nothing when the tail is empty; "" gives an empty path.
std::optional<std::string> firstArgument(std::string_view tail);

}  // namespace pulldex::app
