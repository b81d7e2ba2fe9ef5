#include "app/dropped_files.h"

#include <cctype>

namespace pulldex::app {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The path of a file:// URI: the host part (empty or a name such as
// "localhost") is dropped, %XX escapes become bytes. Nothing for other
// schemes and for an escaped NUL, which no path can hold.
std::optional<std::string> uriPath(std::string_view uri) {
  // The scheme is case-insensitive: "file:" or "FILE:".
  constexpr std::string_view kScheme = "file://";
  if (uri.size() < kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(uri[i])) != kScheme[i]) return std::nullopt;
  uri.remove_prefix(kScheme.size());
  const std::size_t slash = uri.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  uri.remove_prefix(slash);
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    const int high = uri[i] == '%' && i + 2 < uri.size() ? hexValue(uri[i + 1]) : -1;
    const int low = high >= 0 ? hexValue(uri[i + 2]) : -1;
    if (low >= 0) {
      const char byte = static_cast<char>(high * 16 + low);
      if (byte == '\0') return std::nullopt;
      path += byte;
      i += 2;
    } else {
      path += uri[i];
    }
  }
  return path;
}

}  // namespace

std::optional<std::string> firstDroppedFile(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '/') return std::string(line);
    if (auto path = uriPath(line)) return path;
  }
  return std::nullopt;
}

}  // namespace pulldex::app
