// JSON documents, written as they are made by RapidJSON's
// streaming Writer into a Sink: no document is held in memory.
#pragma once

#include <rapidjson/writer.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "base/file.h"

namespace pulldex {

// RapidJSON's output stream over a Sink, through a buffer.
class SinkStream {
 public:
  using Ch = char;
  explicit SinkStream(Sink& sink) : sink_(sink) {}
  ~SinkStream() { Flush(); }
  SinkStream(const SinkStream&) = delete;
  SinkStream& operator=(const SinkStream&) = delete;

  void Put(char c) {
    if (used_ == sizeof buffer_) Flush();
    buffer_[used_++] = c;
  }
  void Flush() {
    if (used_ > 0) sink_.write(buffer_, used_);
    used_ = 0;
  }

 private:
  Sink& sink_;
  char buffer_[1 << 16];
  std::size_t used_ = 0;
};

class Json : public rapidjson::Writer<SinkStream> {
 public:
  explicit Json(SinkStream& stream) : rapidjson::Writer<SinkStream>(stream) {}
  using rapidjson::Writer<SinkStream>::String;
  // Any text as a JSON string: bytes that are not UTF-8 become U+FFFD.
  void Text(std::string_view text);
  void Key(const char* key) { rapidjson::Writer<SinkStream>::Key(key); }
  // A number with exactly `decimals` decimals, as people read it.
  void Fixed(double value, int decimals);
  void Int(std::int64_t value) { Int64(value); }
  // A number, or null where `value` is negative (an entry that is none).
  void EntryOrNull(std::int64_t value);
  // A member of an object: its key, then its value.
  void Int(const char* key, std::int64_t value) {
    Key(key);
    Int64(value);
  }
  void Fixed(const char* key, double value, int decimals) {
    Key(key);
    Fixed(value, decimals);
  }
  void Text(const char* key, std::string_view text) {
    Key(key);
    Text(text);
  }
  // "path" (valid UTF-8) and, where the name is not UTF-8, "pathBytes": its
  // bytes in hexadecimal.
  void Path(const std::string& path);
};

}  // namespace pulldex
