// The frames of a video in grey, decoded by ffmpeg in a child process and
// read from its pipe one at a time: memory does not grow with the video.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "base/process.h"
#include "model/error.h"
#include "video/y4m.h"

namespace pulldex {

// What went wrong with a decoding, for its message: the error, the system's
// error number, and a detail (the decoder's own first line of complaint,
// or what was wrong with its stream).
struct DecodeProblem {
  Error error = Error::None;
  int osError = 0;
  std::string detail;
  bool ok() const { return error == Error::None; }
};

// Whether a path names a DVD index (.d2v, as DGIndex and D2V Witch write
// them), which is read as the files it lists, joined in order.
bool isDvdIndex(const std::string& path);

// The arguments that make ffmpeg write `input` as grey frames to its
// standard output, every frame as it is decoded (no frame dropped or
// repeated for a constant rate).
std::vector<std::string> ffmpegArguments(const std::string& input);

// How many frames the video has, as ffmpeg reads its length and rate from
// the container (for a progress line); -1 where it does not say.
std::int64_t probeFrames(const std::string& program, const std::string& video);
// The same from what ffmpeg says of an input on standard error.
std::int64_t framesFromProbe(const std::string& text);

class FfmpegFrames {
 public:
  FfmpegFrames();
  ~FfmpegFrames();
  FfmpegFrames(const FfmpegFrames&) = delete;
  FfmpegFrames& operator=(const FfmpegFrames&) = delete;

  // Starts `program` on `video` and reads the stream's header.
  DecodeProblem start(const std::string& program, const std::string& video);
  const Y4mHeader& header() const { return header_; }
  std::size_t frameBytes() const {
    return static_cast<std::size_t>(header_.width) * static_cast<std::size_t>(header_.height);
  }
  // The next frame into `pixels` (frameBytes()); false after the last one or
  // when the stream broke, which finish() tells.
  bool next(std::uint8_t* pixels);
  // Waits for the decoder to end: fine only when it exited with 0 and its
  // stream ended cleanly after whole frames.
  DecodeProblem finish();
  // Ends the decoder at once, as when the reader gives up.
  void stop();

 private:
  class Pipe;
  sys::Child child_;
  std::unique_ptr<Pipe> pipe_;
  std::unique_ptr<Y4mReader> reader_;
  Y4mHeader header_;
  Y4mResult last_ = Y4mResult::Frame;
  std::string errors_;  // what it said on standard error, its first 64 KiB
  std::thread drain_;
};

}  // namespace pulldex
