// What a file manager hands over when files are dropped on the dialog.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pulldex::app {

// The first local file of a drop's text: a text/uri-list (one URI per line,
// "#" lines are comments) whose file:// URIs are percent-decoded, or plain
// absolute paths, one per line. Nothing when the text names no local file.
std::optional<std::string> firstDroppedFile(std::string_view text);

}  // namespace pulldex::app
