// Decimal digits for the numbers of the AVI script, of which a long video
// has millions.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace pulldex {

// Writes the decimal digits of `value` at `out` and returns the end: two
// digits at a time from the last one, as the script writes two numbers a line
// and millions of lines for a long video.
inline char* appendDecimal(char* out, std::uint32_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  static constexpr std::uint32_t kTens[] = {10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
  int length = 1;
  while (length < 10 && value >= kTens[length - 1]) ++length;
  char* p = out + length;
  while (value >= 100) {
    const std::uint32_t pair = (value % 100) * 2;
    value /= 100;
    *--p = kPairs[pair + 1];
    *--p = kPairs[pair];
  }
  if (value >= 10) {
    *--p = kPairs[value * 2 + 1];
    *--p = kPairs[value * 2];
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return out + length;
}

// A decimal number kept as text, for the two numbers of a line, which only
// grow, and by a little from line to line: a step changes a digit or two,
// where formatting anew costs a division per pair of digits, millions of
// times for a long video. The eight lowest digits live in one 64-bit word, an
// ASCII digit per byte with the units in the lowest, so that a step is a few
// operations on a register and the digits go out in one move. (Digits changed
// in memory a byte at a time and then copied as a word stall the copy: the
// processor cannot forward the narrow stores to the wide load.)
class DecimalCounter {
 public:
  void advanceTo(std::uint32_t value) {
    const std::uint32_t step = value - value_;
    if (step == 0) return;
    value_ = value;
    if (value >= kLimit || step > 99) {
      set(value);
    } else {
      // The step's two digits are added to the eight with a 64-bit add. Each
      // byte's sum is biased by 246, so that a sum of ten or more overflows
      // into the next byte as its carry and leaves the right digit behind.
      std::uint64_t sum = (word_ - kZeros) + ((step % 10) | std::uint64_t{step / 10} << 8) + kBias;
      // The bytes that did not overflow still hold the bias; their top bit tells.
      sum -= ((sum & kTopBits) >> 7) * 0xF6;
      word_ = sum + kZeros;
    }
    while (length_ < kWordDigits && value_ >= nextPower_) {
      ++length_;
      nextPower_ *= 10;
    }
  }
  // Writes a fixed 8 bytes and returns the end of the digits: the caller
  // has room for them and overwrites what follows.
  char* append(char* out) const {
    if (value_ >= kLimit) return appendDecimal(out, value_);
    // The digits to the top of the word, then most significant first in memory.
    std::uint64_t text = word_ << (8 * (kWordDigits - length_));
    if constexpr (std::endian::native == std::endian::little) text = __builtin_bswap64(text);
    std::memcpy(out, &text, sizeof text);
    return out + length_;
  }

 private:
  static constexpr int kWordDigits = 8;
  static constexpr std::uint32_t kLimit = 100'000'000;  // from here on, formatted anew each time
  static constexpr std::uint64_t kZeros = 0x3030303030303030;
  static constexpr std::uint64_t kBias = 0xF6F6F6F6F6F6F6F6;
  static constexpr std::uint64_t kTopBits = 0x8080808080808080;

  // The digits of `value` anew; advanceTo then sets their count.
  void set(std::uint32_t value) {
    word_ = kZeros;
    length_ = 1;
    nextPower_ = 10;
    if (value >= kLimit) return;
    for (int i = 0; value != 0; ++i, value /= 10) word_ += std::uint64_t{value % 10} << (8 * i);
  }

  std::uint64_t word_ = kZeros;
  int length_ = 1;
  std::uint32_t nextPower_ = 10;  // the value that takes one more digit
  std::uint32_t value_ = 0;
};

}  // namespace pulldex
