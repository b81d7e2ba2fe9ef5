#include "base/utf8.h"

#include <cstdio>

namespace pulldex {

namespace {

// The length of the well-formed UTF-8 sequence at p (1 to 4), or 0.
int sequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = *p;
  if (c < 0x80) return 1;
  const int length = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
  if (length == 0 || end - p < length) return 0;
  for (int k = 1; k < length; ++k)
    if ((p[k] & 0xc0) != 0x80) return 0;
  if (length == 3 && ((c == 0xe0 && p[1] < 0xa0) || (c == 0xed && p[1] >= 0xa0))) return 0;
  if (length == 4 && ((c == 0xf0 && p[1] < 0x90) || (c == 0xf4 && p[1] >= 0x90))) return 0;
  return length;
}

template <class Each>
void forEachSequence(std::string_view text, Each&& each) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) {
    const int length = sequenceLength(p, end);
    each(p, length);
    p += length > 0 ? length : 1;
  }
}

}  // namespace

std::string validUtf8(std::string_view text, bool* replaced) {
  if (replaced) *replaced = false;
  std::string out;
  out.reserve(text.size());
  forEachSequence(text, [&](const unsigned char* p, int length) {
    if (length > 0) {
      out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
      return;
    }
    out += "\xef\xbf\xbd";
    if (replaced) *replaced = true;
  });
  return out;
}

std::string commentText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[12];
  forEachSequence(text, [&](const unsigned char* p, int length) {
    const unsigned char c = *p;
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else if (length > 1) {
      // U+0085 (next line), U+2028 and U+2029 end a line for some readers.
      const bool separator = (length == 2 && c == 0xc2 && p[1] == 0x85) ||
                             (length == 3 && c == 0xe2 && p[1] == 0x80 && (p[2] == 0xa8 || p[2] == 0xa9));
      if (!separator) {
        out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
        return;
      }
      std::snprintf(escape, sizeof escape, "\\u%04X", length == 2 ? 0x85 : 0x2000 | (p[2] == 0xa8 ? 0x28 : 0x29));
      out += escape;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  });
  return out;
}

}  // namespace pulldex
