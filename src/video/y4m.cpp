#include "video/y4m.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace pulldex {

namespace {

constexpr std::size_t kBuffer = std::size_t{1} << 20;
constexpr int kMaxSide = 16384;

bool number(std::string_view text, std::int64_t& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

const char* y4mProblem(Y4mResult r) {
  switch (r) {
    case Y4mResult::Frame:
    case Y4mResult::End:
      return "";
    case Y4mResult::NotY4m:
      return "the stream is not YUV4MPEG2";
    case Y4mResult::BadHeader:
      return "the stream's header gives no usable size or colour format";
    case Y4mResult::BadFrame:
      return "a frame of the stream does not start with FRAME";
    case Y4mResult::Truncated:
      return "the stream ends inside a frame";
    case Y4mResult::ReadFailed:
      return "the stream could not be read";
  }
  return "";
}

Y4mReader::Y4mReader(ByteSource& source) : source_(source), buffer_(new std::uint8_t[kBuffer]) {}
Y4mReader::~Y4mReader() = default;

Y4mReader::Line Y4mReader::line(std::string& out, std::size_t limit) {
  out.clear();
  for (;;) {
    if (used_ == filled_) {
      const std::int64_t got = source_.read(buffer_.get(), kBuffer);
      if (got < 0) failed_ = true;
      if (got <= 0) return Line::End;
      used_ = 0;
      filled_ = static_cast<std::size_t>(got);
    }
    const auto* start = buffer_.get() + used_;
    const auto* lf = static_cast<const std::uint8_t*>(std::memchr(start, '\n', filled_ - used_));
    const std::size_t n = lf ? static_cast<std::size_t>(lf - start) : filled_ - used_;
    if (out.size() + n > limit) {
      out.append(reinterpret_cast<const char*>(start), limit - out.size());
      return Line::TooLong;
    }
    out.append(reinterpret_cast<const char*>(start), n);
    used_ += n + (lf ? 1 : 0);
    if (lf) return Line::Read;
  }
}

std::size_t Y4mReader::take(std::uint8_t* to, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    if (used_ == filled_) {
      // Large pieces go straight to where they belong: a frame is read
      // into its own buffer, not copied there from ours.
      if (to && n - done >= kBuffer / 16) {
        const std::int64_t got = source_.read(to + done, n - done);
        if (got < 0) failed_ = true;
        if (got <= 0) return done;
        done += static_cast<std::size_t>(got);
        continue;
      }
      const std::int64_t got = source_.read(buffer_.get(), kBuffer);
      if (got < 0) failed_ = true;
      if (got <= 0) return done;
      used_ = 0;
      filled_ = static_cast<std::size_t>(got);
    }
    const std::size_t part = std::min(n - done, filled_ - used_);
    if (to) std::memcpy(to + done, buffer_.get() + used_, part);
    used_ += part;
    done += part;
  }
  return done;
}

Y4mResult Y4mReader::readHeader(Y4mHeader& header) {
  std::string text;
  const Line got = line(text, 4096);
  if (failed_) return Y4mResult::ReadFailed;
  // A header too long to be one is no header.
  if (got == Line::TooLong) return text.rfind("YUV4MPEG2 ", 0) == 0 ? Y4mResult::BadHeader : Y4mResult::NotY4m;
  if (got == Line::End) return text.empty() ? Y4mResult::End : Y4mResult::NotY4m;
  if (text.rfind("YUV4MPEG2 ", 0) != 0) return Y4mResult::NotY4m;
  std::string colour = "420jpeg";
  for (std::size_t at = 10; at < text.size();) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string_view tag(text.data() + at, end - at);
    at = end + 1;
    if (tag.empty()) continue;
    const std::string_view value = tag.substr(1);
    std::int64_t v = 0;
    switch (tag[0]) {
      case 'W':
        if (!number(value, v) || v <= 0 || v > kMaxSide) return Y4mResult::BadHeader;
        header.width = static_cast<int>(v);
        break;
      case 'H':
        if (!number(value, v) || v <= 0 || v > kMaxSide) return Y4mResult::BadHeader;
        header.height = static_cast<int>(v);
        break;
      case 'F': {
        const std::size_t colon = value.find(':');
        std::int64_t num = 0, den = 0;
        if (colon == std::string_view::npos || !number(value.substr(0, colon), num) ||
            !number(value.substr(colon + 1), den) || num <= 0 || den <= 0)
          return Y4mResult::BadHeader;
        header.rate = {num, den};
        break;
      }
      case 'C':
        colour = std::string(value);
        break;
      case 'I':
        header.scan = value.size() == 1 ? value[0] : 0;
        break;
      default:
        break;
    }
  }
  if (header.width == 0 || header.height == 0) return Y4mResult::BadHeader;
  const auto w = static_cast<std::size_t>(header.width), h = static_cast<std::size_t>(header.height);
  planeBytes_ = w * h;
  // What follows the first plane in each frame.
  const std::size_t halfW = (w + 1) / 2, halfH = (h + 1) / 2;
  if (colour == "mono")
    otherBytes_ = 0;
  else if (colour == "420" || colour == "420jpeg" || colour == "420paldv" || colour == "420mpeg2")
    otherBytes_ = 2 * halfW * halfH;
  else if (colour == "422")
    otherBytes_ = 2 * halfW * h;
  else if (colour == "444")
    otherBytes_ = 2 * w * h;
  else if (colour == "444alpha")
    otherBytes_ = 3 * w * h;
  else
    return Y4mResult::BadHeader;  // more than 8 bits a sample, or unknown
  return Y4mResult::Frame;
}

Y4mResult Y4mReader::next(std::uint8_t* pixels) {
  std::string text;
  const Line got = line(text, 1024);
  if (failed_) return Y4mResult::ReadFailed;
  // Whatever comes between frames that is not a frame's line breaks the
  // stream, a line too long to be one too.
  if (got == Line::TooLong) return Y4mResult::BadFrame;
  if (got == Line::End) {
    if (text.empty()) return Y4mResult::End;
    const std::string_view frame = "FRAME";
    const bool started = text.rfind(frame, 0) == 0 || frame.rfind(text, 0) == 0;
    return started ? Y4mResult::Truncated : Y4mResult::BadFrame;
  }
  if (text.rfind("FRAME", 0) != 0) return Y4mResult::BadFrame;
  if (take(pixels, planeBytes_) != planeBytes_ || take(nullptr, otherBytes_) != otherBytes_)
    return failed_ ? Y4mResult::ReadFailed : Y4mResult::Truncated;
  return Y4mResult::Frame;
}

}  // namespace pulldex
