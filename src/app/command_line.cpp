#include "app/command_line.h"

namespace pulldex::app {

std::optional<std::string> firstArgument(std::string_view tail) {
  if (tail.empty()) return std::nullopt;
  std::string argument;
  bool quoted = false;
  for (const char c : tail) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ' ' && !quoted) {
      break;
    } else {
      argument += c;
    }
  }
  return argument;
}

}  // namespace pulldex::app
