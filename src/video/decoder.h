// The frames of a video in grey, decoded by ffmpeg in a child process and
// read from its pipe one at a time: memory does not grow with the video.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/process.h"
#include "model/error.h"
#include "video/pulldown.h"
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

// The head of a DVD index: the files it lists, as written, and its
// Field_Operation (0 honour the flags, 1 force film, 2 ignore them; -1 where
// it gives none). A problem names the line that is wrong.
struct DvdIndexHead {
  std::vector<std::string> files;
  int fieldOperation = -1;
};
DecodeProblem parseDvdIndex(const std::string& text, DvdIndexHead& head);

// Whether a path names a DVD index (.d2v, as DGIndex and D2V Witch write
// them), which is read as the files it lists, joined in order.
bool isDvdIndex(const std::string& path);

// The arguments that make ffmpeg write `input` as grey frames to its
// standard output, every frame as it is decoded (no frame dropped or
// repeated for a constant rate). With `timed`, it also tells each frame's
// time on standard error (its showinfo filter), in display order.
std::vector<std::string> ffmpegArguments(const std::string& input, bool timed = false);

// The pictures of the video's stream and the fields they show, from its
// packets, without decoding them (a quick pass over the file). Zero counts
// where ffmpeg tells nothing.
PacketFields countFields(const std::string& program, const std::string& video);

// The fields each coded picture shows, in display order, as a player shows
// them (2, or 3 where it repeats its first field): the stream is decoded
// once for its frames' times. `packets` is what countFields told.
DecodeProblem shownFields(const std::string& program, const std::string& video, const PacketFields& packets,
                          std::vector<std::uint8_t>& fields);

// A DVD index's Field_Operation: 0 honour the flags, 1 force film, 2 ignore
// them; -1 where it says nothing or `video` is no index.
int dvdFieldOperation(const std::string& video);

// The first line of complaint in what ffmpeg said on standard error: lines
// it tags as information, warnings or less are passed over.
std::string firstComplaint(const std::string& errors);

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

  // Starts `program` on `video` and reads the stream's header. With
  // `timed`, each frame's time is read as it is decoded (timeOf).
  DecodeProblem start(const std::string& program, const std::string& video, bool timed = false);
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
  // The time of frame n, in timeBase() units, once a timed decoder has told
  // it: waits for it, as the decoder tells a frame's time before it writes
  // the frame. Nothing where it tells none (NOPTS, or it ended first).
  std::optional<std::int64_t> timeOf(std::int64_t n);
  FrameRate timeBase();
  // The fields picture n - 1 shows, from its time and picture n's in fields
  // of the stream's rate (2 where either is untold).
  int fieldsBefore(std::int64_t n);
  // The times are not wanted: they are no longer kept.
  void dropTimes();

 private:
  class Pipe;
  sys::Child child_;
  std::unique_ptr<Pipe> pipe_;
  std::unique_ptr<Y4mReader> reader_;
  Y4mHeader header_;
  Y4mResult last_ = Y4mResult::Frame;
  std::string errors_;  // its complaints on standard error, their first 64 KiB
  std::thread drain_;
  // Frame times, as the drain reads them: by frame number from `timesFrom_`.
  std::mutex mutex_;
  std::condition_variable told_;
  std::deque<std::optional<std::int64_t>> times_;
  std::int64_t timesFrom_ = 0;
  FrameRate timeBase_{0, 1};
  bool drained_ = false;
  bool dropTimes_ = false;
};

}  // namespace pulldex
