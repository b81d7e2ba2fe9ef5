#include "video/decoder.h"

namespace pulldex {

std::vector<std::string> ffmpegArguments(const std::string& video) {
  // -fps_mode passthrough: without it, frames of a clip joined from parts
  // come out dropped or doubled to keep a constant rate.
  return {"-nostdin",  "-hide_banner", "-loglevel", "error",        "-i",       video,  "-map", "0:v:0",
          "-fps_mode", "passthrough",  "-f",        "yuv4mpegpipe", "-pix_fmt", "gray", "-"};
}

class FfmpegFrames::Pipe final : public ByteSource {
 public:
  explicit Pipe(sys::Handle h) : h_(h) {}
  // What is there: the frames are measured while the decoder writes on.
  std::int64_t read(void* data, std::size_t n) override { return sys::readSome(h_, data, n); }

 private:
  sys::Handle h_;
};

FfmpegFrames::FfmpegFrames() = default;

FfmpegFrames::~FfmpegFrames() { stop(); }

DecodeProblem FfmpegFrames::start(const std::string& program, const std::string& video) {
  if (const int e = sys::startChild(program, ffmpegArguments(video), child_); e != 0)
    return {Error::StartDecoder, e, program};
  // Its complaints are read as they come, so that a full pipe never stops
  // it; the reading thread owns that pipe and closes it at its end.
  drain_ = std::thread([this, errors = child_.errors] {
    char chunk[4096];
    for (std::int64_t got; (got = sys::read(errors, chunk, sizeof chunk)) > 0;)
      if (errors_.size() < 65536) errors_.append(chunk, static_cast<std::size_t>(got));
    sys::close(errors);
  });
  child_.errors = sys::kNoHandle;
  pipe_ = std::make_unique<Pipe>(child_.output);
  reader_ = std::make_unique<Y4mReader>(*pipe_);
  last_ = reader_->readHeader(header_);
  if (last_ == Y4mResult::Frame) return {};
  // Whatever the decoder says about it is the better reason.
  DecodeProblem why = finish();
  if (why.ok()) why = {Error::EmptyVideo, 0, {}};
  return why;
}

bool FfmpegFrames::next(std::uint8_t* pixels) {
  if (last_ != Y4mResult::Frame) return false;
  last_ = reader_->next(pixels);
  return last_ == Y4mResult::Frame;
}

DecodeProblem FfmpegFrames::finish() {
  if (child_.id == -1 && !drain_.joinable()) return {Error::StartDecoder, 0, {}};
  const bool broken = last_ != Y4mResult::End && last_ != Y4mResult::Frame;
  // The rest of a broken stream is not wanted: the decoder is ended.
  const int status = broken ? (sys::stopChild(child_), -1) : sys::waitChild(child_);
  if (drain_.joinable()) drain_.join();
  std::string first = errors_.substr(0, errors_.find('\n'));
  while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.pop_back();
  if (broken) return {Error::VideoStream, 0, std::string(y4mProblem(last_)) + (first.empty() ? "" : "; " + first)};
  if (status != 0) return {Error::DecoderFailed, 0, first.empty() ? "exit status " + std::to_string(status) : first};
  return {};
}

void FfmpegFrames::stop() {
  if (child_.id != -1) sys::stopChild(child_);
  if (drain_.joinable()) drain_.join();
}

}  // namespace pulldex
