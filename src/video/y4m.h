// YUV4MPEG2 streams, as ffmpeg writes them to a pipe: a header line with
// the size and rate, then for each frame a line "FRAME" and its planes.
// Only the first plane (the grey or luma one) is kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/field_time.h"

namespace pulldex {

// Where the stream's bytes come from: up to n bytes, at least one but for
// the end (0); -1 when reading failed.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::int64_t read(void* data, std::size_t n) = 0;
};

struct Y4mHeader {
  int width = 0;
  int height = 0;
  FrameRate rate{0, 1};  // 0/1 when the stream gives none
  char scan = 0;         // 'p' progressive, 't' top or 'b' bottom field first, 'm' mixed; 0 when not given
};

enum class Y4mResult { Frame, End, NotY4m, BadHeader, BadFrame, Truncated, ReadFailed };

// What went wrong, in a user's words ("the stream ends inside a frame").
const char* y4mProblem(Y4mResult r);

class Y4mReader {
 public:
  explicit Y4mReader(ByteSource& source);
  ~Y4mReader();
  Y4mReader(const Y4mReader&) = delete;
  Y4mReader& operator=(const Y4mReader&) = delete;

  // The header: Frame when it was read, End for a stream without a byte,
  // else what went wrong. Sizes up to 16384 each way.
  Y4mResult readHeader(Y4mHeader& header);
  // The next frame's first plane, width × height bytes, into `pixels`: Frame,
  // End where the stream ends cleanly between frames, or what went wrong.
  Y4mResult next(std::uint8_t* pixels);

 private:
  // Up to one line, without its LF.
  enum class Line { Read, End, TooLong };
  Line line(std::string& out, std::size_t limit);
  // Exactly n bytes into `to` (or skipped, where `to` is null); the count read.
  std::size_t take(std::uint8_t* to, std::size_t n);

  ByteSource& source_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0, filled_ = 0;
  bool failed_ = false;
  std::size_t planeBytes_ = 0, otherBytes_ = 0;
};

}  // namespace pulldex
