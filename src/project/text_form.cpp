#include "project/text_form.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PULLDEX_HEX_SSE2 1
#endif

namespace pulldex {

namespace {

bool blank(std::uint8_t c) { return c >= 1 && c <= 32; }

// The value of a hexadecimal digit, or -1.
constexpr struct DigitTable {
  std::int8_t value[256];
  constexpr DigitTable() : value() {
    for (int c = 0; c < 256; ++c) value[c] = -1;
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<std::int8_t>(c - 'A' + 10);
  }
} kDigits;

#ifdef PULLDEX_HEX_SSE2
// 32 digits into 16 bytes, or false when any of them is no digit.
bool decode32(const std::uint8_t* in, std::uint8_t* out) {
  const auto values = [](__m128i c, __m128i& v) {
    const __m128i digit = _mm_sub_epi8(c, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    v = _mm_or_si128(_mm_and_si128(isDigit, digit),
                     _mm_and_si128(isLetter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
    return _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) == 0xffff;
  };
  __m128i a, b;
  if (!values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), a) ||
      !values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), b))
    return false;
  // Each 16-bit lane holds a pair: the high digit in its low byte.
  const __m128i low = _mm_set1_epi16(0xff);
  const __m128i pa = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(a, low), 4), _mm_srli_epi16(a, 8));
  const __m128i pb = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(b, low), 4), _mm_srli_epi16(b, 8));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(pa, pb));
  return true;
}
#else
bool decode32(const std::uint8_t* in, std::uint8_t* out) {
  for (int i = 0; i < 16; ++i) {
    const int high = kDigits.value[in[2 * i]], low = kDigits.value[in[2 * i + 1]];
    if ((high | low) < 0) return false;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}
#endif

}  // namespace

bool isTextForm(const std::uint8_t* head, std::size_t n) {
  std::size_t i = 0;
  if (n >= 3 && head[0] == 0xef && head[1] == 0xbb && head[2] == 0xbf) i = 3;
  while (i < n && blank(head[i])) ++i;
  constexpr char kObject[] = "object";
  if (n - i < sizeof kObject) return false;
  for (std::size_t k = 0; k + 1 < sizeof kObject; ++k)
    if ((head[i + k] | 0x20) != kObject[k]) return false;
  return blank(head[i + sizeof kObject - 1]);
}

HexStep decodeHex(const std::uint8_t* in, std::size_t n, std::uint8_t* out, std::size_t room, std::size_t& used,
                  std::size_t& made) {
  std::size_t i = 0, o = 0;
  while (o < room) {
    // Whole runs of digits, as the writers lay them out, 32 at a time.
    while (i + 32 <= n && o + 16 <= room && decode32(in + i, out + o)) {
      i += 32;
      o += 16;
    }
    if (i >= n) break;
    const std::uint8_t c = in[i];
    if (c == '}') {
      used = i + 1;
      made = o;
      return HexStep::Done;
    }
    if (blank(c)) {
      // A line end and the next line's indent, in one go.
      do ++i;
      while (i < n && blank(in[i]));
      continue;
    }
    if (i + 1 >= n) break;  // the pair's second digit comes with the next call
    const int high = kDigits.value[c], low = kDigits.value[in[i + 1]];
    if ((high | low) < 0) {
      used = i;
      made = o;
      return HexStep::BadDigit;
    }
    out[o++] = static_cast<std::uint8_t>(high << 4 | low);
    i += 2;
  }
  used = i;
  made = o;
  return HexStep::More;
}

DelphiHexWriter::DelphiHexWriter(Sink& out, std::int64_t length, std::string lineEnd, std::string indent)
    : out_(out), lines_(length >= 32), lineStart_(std::move(lineEnd) + indent) {
  text_.reserve(1 << 16);
}

bool DelphiHexWriter::flush() {
  static const char kHex[] = "0123456789ABCDEF";
  if (pendingUsed_ == 0) return ok_;
  if (lines_) text_ += lineStart_;
  for (std::size_t i = 0; i < pendingUsed_; ++i) {
    text_ += kHex[pending_[i] >> 4];
    text_ += kHex[pending_[i] & 15];
  }
  pendingUsed_ = 0;
  if (text_.size() >= (1 << 16) - 256) {
    textBytes_ += static_cast<std::int64_t>(text_.size());
    ok_ = out_.write(text_) && ok_;
    text_.clear();
  }
  return ok_;
}

bool DelphiHexWriter::write(const std::uint8_t* bytes, std::size_t n) {
  while (n > 0) {
    const std::size_t part = std::min(n, sizeof pending_ - pendingUsed_);
    std::memcpy(pending_ + pendingUsed_, bytes, part);
    pendingUsed_ += part;
    bytes += part;
    n -= part;
    if (pendingUsed_ == sizeof pending_ && !flush()) return false;
  }
  return ok_;
}

bool DelphiHexWriter::finish() {
  flush();
  textBytes_ += static_cast<std::int64_t>(text_.size());
  ok_ = out_.write(text_) && ok_;
  text_.clear();
  return ok_;
}

}  // namespace pulldex
