// Bounds-checked little-endian reads and writes over a byte range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pulldex {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t remaining() const { return size_ - at_; }
  bool u32(std::uint32_t& out) {
    if (remaining() < 4) return false;
    out = le32(data_ + at_);
    at_ += 4;
    return true;
  }
  bool i32(std::int32_t& out) {
    std::uint32_t u;
    if (!u32(u)) return false;
    out = static_cast<std::int32_t>(u);
    return true;
  }
  // The next `n` bytes, or nullptr when fewer remain: for a fixed-size
  // record that the caller decodes with le32 and plain indexes below n.
  const std::uint8_t* take(std::size_t n) {
    if (remaining() < n) return nullptr;
    const std::uint8_t* p = data_ + at_;
    at_ += n;
    return p;
  }

  static std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

inline void putU32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  out[2] = static_cast<std::uint8_t>(value >> 16);
  out[3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace pulldex
