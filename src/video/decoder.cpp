#include "video/decoder.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "base/file.h"

namespace pulldex {

bool isDvdIndex(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return end == ".d2v";
}

DecodeProblem parseDvdIndex(const std::string& text, DvdIndexHead& head) {
  head = {};
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  // "DGIndexProjectFile16", the number of files, then a path a line.
  if (lines.size() < 2 || lines[0].rfind("DGIndexProjectFile", 0) != 0)
    return {Error::DvdIndex, 0, "the index does not start with DGIndexProjectFile and its list of files"};
  std::int64_t count = 0;
  const std::string& counted = lines[1];
  const auto [end, ec] = std::from_chars(counted.data(), counted.data() + counted.size(), count);
  if (counted.empty() || ec != std::errc() || end != counted.data() + counted.size() || count <= 0)
    return {Error::DvdIndex, 0, "line 2 should give the number of files listed, from 1 on: " + counted.substr(0, 40)};
  if (static_cast<std::int64_t>(lines.size()) < 2 + count)
    return {Error::DvdIndex, 0,
            "line 2 says " + std::to_string(count) + " files are listed, but the index ends after " +
                std::to_string(lines.size() - 2)};
  for (std::int64_t i = 0; i < count; ++i) {
    const std::string& file = lines[static_cast<std::size_t>(2 + i)];
    if (file.empty())
      return {Error::DvdIndex, 0, "line " + std::to_string(3 + i) + " should name a file, and is empty"};
    head.files.push_back(file);
  }
  for (std::size_t i = static_cast<std::size_t>(2 + count); i < lines.size(); ++i) {
    if (lines[i].rfind("Field_Operation=", 0) != 0) continue;
    const std::string value = lines[i].substr(16);
    if (value != "0" && value != "1" && value != "2")
      return {Error::DvdIndex, 0, "line " + std::to_string(i + 1) + " should say 0, 1 or 2: " + lines[i].substr(0, 40)};
    head.fieldOperation = value[0] - '0';
    break;
  }
  return {};
}

namespace {

// The files a DVD index lists, in order, each there, relative ones taken
// from the index's folder.
DecodeProblem dvdIndexFiles(const std::string& index, std::vector<std::string>& files, int* fieldOperation = nullptr) {
  files.clear();
  InputFile in;
  if (!in.open(index)) return {Error::DvdIndex, in.error(), index};
  std::string text(1 << 16, '\0');
  const std::int64_t got = in.read(text.data(), text.size());
  if (got < 0) return {Error::DvdIndex, in.error(), index};
  text.resize(static_cast<std::size_t>(got));
  DvdIndexHead head;
  if (DecodeProblem p = parseDvdIndex(text, head); !p.ok()) return p;
  if (fieldOperation) *fieldOperation = head.fieldOperation;
  const std::string folder = sys::folderOf(index);
  for (std::string file : head.files) {
    const bool absolute = file[0] == '/' || file[0] == '\\' || (file.size() > 1 && file[1] == ':');
    if (!absolute) file = folder + "/" + file;
    sys::PathFacts facts;
    if (sys::examine(file, facts) != 0 || !facts.exists) return {Error::IndexedFileMissing, 0, file};
    // ffmpeg's concat: joins the files by "|".
    if (file.find('|') != std::string::npos) return {Error::DvdIndex, 0, "a listed name holds a |: " + file};
    files.push_back(sys::absolutePath(file));
  }
  return {};
}

// What ffmpeg is given to read `video`. "file:": a name with a colon in it
// ("Show: part 1.m2v") is a file, not a protocol. The files of a DVD index
// are read as one stream, one after the other, as the index reads them.
DecodeProblem inputOf(const std::string& video, std::string& input) {
  if (!isDvdIndex(video)) {
    input = "file:" + video;
    return {};
  }
  std::vector<std::string> parts;
  if (DecodeProblem p = dvdIndexFiles(video, parts); !p.ok()) return p;
  input = "concat:";
  for (std::size_t i = 0; i < parts.size(); ++i) input += (i ? "|" : "") + parts[i];
  return {};
}

}  // namespace

std::vector<std::string> ffmpegArguments(const std::string& input, bool timed) {
  // -fps_mode passthrough: without it, frames of a clip joined from parts
  // come out dropped or doubled to keep a constant rate.
  std::vector<std::string> a = {"-nostdin", "-hide_banner", "-loglevel", "error", "-i", input, "-map", "0:v:0"};
  if (timed) {
    // Each frame's time, tagged so that complaints can be told from it.
    a[3] = "level+info";
    a.insert(a.begin() + 2, "-nostats");
    a.insert(a.end(), {"-vf", "showinfo=checksum=0"});
  }
  a.insert(a.end(), {"-fps_mode", "passthrough", "-f", "yuv4mpegpipe", "-pix_fmt", "gray", "-"});
  return a;
}

namespace {

// What a line of ffmpeg's says once its "[context @ 0x…] " is passed over,
// and whether it is a complaint: an error, or an untagged line.
bool complaint(std::string_view line, std::string_view& text) {
  while (!line.empty() && line[0] == '[') {
    const std::size_t close = line.find("] ");
    if (close == std::string_view::npos) break;
    const std::string_view tag = line.substr(1, close - 1);
    if (tag.find(" @ ") != std::string_view::npos) {
      line.remove_prefix(close + 2);
      continue;
    }
    for (const std::string_view quiet : {"info", "verbose", "debug", "trace", "warning"})
      if (tag == quiet) return false;
    for (const std::string_view loud : {"error", "fatal", "panic"})
      if (tag == loud) line.remove_prefix(close + 2);
    break;
  }
  text = line;
  return !line.empty();
}

// Splits what comes in chunks into lines, for `each`.
class Lines {
 public:
  template <class Each>
  void add(const char* data, std::size_t n, Each&& each) {
    for (std::size_t i = 0; i < n; ++i) {
      if (data[i] != '\n' && data[i] != '\r') {
        if (line_.size() < 4096) line_ += data[i];
        continue;
      }
      if (!line_.empty()) each(line_);
      line_.clear();
    }
  }
  template <class Each>
  void end(Each&& each) {
    if (!line_.empty()) each(line_);
    line_.clear();
  }

 private:
  std::string line_;
};

}  // namespace

std::string firstComplaint(const std::string& errors) {
  std::string first;
  Lines lines;
  const auto each = [&](const std::string& line) {
    std::string_view text;
    if (first.empty() && complaint(line, text)) first = text;
  };
  lines.add(errors.data(), errors.size(), each);
  lines.end(each);
  while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.pop_back();
  return first;
}

PacketFields countFields(const std::string& program, const std::string& video) {
  std::string input;
  if (sys::runsThroughShell(sys::findProgram(program)) || !inputOf(video, input).ok()) return {};
  sys::Child child;
  if (sys::startChild(program,
                      {"-nostdin", "-hide_banner", "-loglevel", "error", "-i", input, "-map", "0:v:0", "-c", "copy",
                       "-f", "framecrc", "-"},
                      child) != 0)
    return {};
  // Its complaints are few, and read after; the decoding tells them.
  PacketCounter counter;
  Lines lines;
  const auto each = [&](const std::string& line) { counter.line(line); };
  char chunk[1 << 15];
  for (std::int64_t got; (got = sys::read(child.output, chunk, sizeof chunk)) > 0;)
    lines.add(chunk, static_cast<std::size_t>(got), each);
  lines.end(each);
  for (std::int64_t got; (got = sys::read(child.errors, chunk, sizeof chunk)) > 0;) {
  }
  if (sys::waitChild(child) != 0) return {};
  return counter.result();
}

int dvdFieldOperation(const std::string& video) {
  if (!isDvdIndex(video)) return -1;
  std::vector<std::string> files;
  int operation = -1;
  return dvdIndexFiles(video, files, &operation).ok() ? operation : -1;
}

std::int64_t framesFromProbe(const std::string& text) {
  // "  Duration: 00:01:02.50, start: ..." and "  Stream #0:0: Video: ..., 29.97 fps, ..."
  const std::size_t at = text.find("Duration: ");
  if (at == std::string::npos) return -1;
  int h = 0, m = 0;
  double sec = 0;
  if (std::sscanf(text.c_str() + at + 10, "%d:%d:%lf", &h, &m, &sec) != 3) return -1;
  const std::size_t video = text.find("Video:", at);
  if (video == std::string::npos) return -1;
  const std::string line = text.substr(video, text.find('\n', video) - video);
  double fps = 0;
  for (const char* unit : {" fps", " tbr"}) {
    const std::size_t end = line.find(unit);
    if (end == std::string::npos) continue;
    const std::size_t start = line.rfind(' ', end - 1);
    if (start != std::string::npos && std::sscanf(line.c_str() + start + 1, "%lf", &fps) == 1 && fps > 0) break;
    fps = 0;
  }
  if (fps <= 0) return -1;
  return static_cast<std::int64_t>((3600.0 * h + 60.0 * m + sec) * fps + 0.5);
}

DecodeProblem shownFields(const std::string& program, const std::string& video, const PacketFields& packets,
                          std::vector<std::uint8_t>& fields) {
  fields.clear();
  FfmpegFrames frames;
  if (DecodeProblem p = frames.start(program, video, true); !p.ok()) return p;
  std::vector<std::uint8_t> pixels(frames.frameBytes());
  std::int64_t n = 0, shown = 0;
  for (; frames.next(pixels.data()); ++n) {
    if (n == 0) continue;
    fields.push_back(static_cast<std::uint8_t>(frames.fieldsBefore(n)));
    shown += fields.back();
  }
  if (DecodeProblem p = frames.finish(); !p.ok()) return p;
  if (n == 0) return {Error::EmptyVideo, 0, {}};
  fields.push_back(static_cast<std::uint8_t>(lastPictureFields(packets.shown, shown)));
  return {};
}

std::int64_t probeFrames(const std::string& program, const std::string& video) {
  sys::Child child;
  std::string input;
  if (!inputOf(video, input).ok()) return -1;
  if (sys::startChild(program, {"-nostdin", "-hide_banner", "-i", input}, child) != 0) return -1;
  // It describes the input on standard error and stops: it is given no output.
  std::string text;
  char chunk[4096];
  for (std::int64_t got; (got = sys::read(child.errors, chunk, sizeof chunk)) > 0;)
    if (text.size() < 65536) text.append(chunk, static_cast<std::size_t>(got));
  sys::waitChild(child);
  return framesFromProbe(text);
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

DecodeProblem FfmpegFrames::start(const std::string& program, const std::string& video, bool timed) {
  if (sys::runsThroughShell(sys::findProgram(program))) return {Error::DecoderIsScript, 0, program};
  std::string input;
  if (DecodeProblem p = inputOf(video, input); !p.ok()) return p;
  if (const int e = sys::startChild(program, ffmpegArguments(input, timed), child_); e != 0)
    return {Error::StartDecoder, e, program};
  // Its complaints and times are read as they come, so that a full pipe
  // never stops it; the reading thread owns that pipe and closes it at its
  // end.
  drain_ = std::thread([this, errors = child_.errors] {
    Lines lines;
    const auto each = [&](const std::string& line) {
      if (const std::optional<ShownFrame> f = parseShowinfo(line)) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!dropTimes_ && f->n == timesFrom_ + static_cast<std::int64_t>(times_.size())) {
          times_.push_back(f->pts);
          told_.notify_all();
        }
        return;
      }
      if (const std::optional<FrameRate> tb = parseShowinfoTimeBase(line)) {
        const std::lock_guard<std::mutex> lock(mutex_);
        timeBase_ = *tb;
        return;
      }
      std::string_view text;
      if (complaint(line, text) && errors_.size() < 65536) errors_.append(text).push_back('\n');
    };
    char chunk[4096];
    for (std::int64_t got; (got = sys::readSome(errors, chunk, sizeof chunk)) > 0;)
      lines.add(chunk, static_cast<std::size_t>(got), each);
    lines.end(each);
    sys::close(errors);
    const std::lock_guard<std::mutex> lock(mutex_);
    drained_ = true;
    told_.notify_all();
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
  const std::string first = firstComplaint(errors_);
  if (broken) return {Error::VideoStream, 0, std::string(y4mProblem(last_)) + (first.empty() ? "" : "; " + first)};
  // ffmpeg's way of saying so: "Stream map '0:v:0' matches no streams."
  if (status != 0 && errors_.find("matches no streams") != std::string::npos) return {Error::NoVideoStream, 0, {}};
  if (status != 0) return {Error::DecoderFailed, 0, first.empty() ? "exit status " + std::to_string(status) : first};
  return {};
}

int FfmpegFrames::fieldsBefore(std::int64_t n) {
  const std::optional<std::int64_t> before = timeOf(n - 1), now = timeOf(n);
  const FrameRate rate = header_.rate.num > 0 ? header_.rate : FrameRate{};
  return before && now ? fieldsBetween(*before, *now, timeBase(), rate) : 2;
}

std::optional<std::int64_t> FfmpegFrames::timeOf(std::int64_t n) {
  std::unique_lock<std::mutex> lock(mutex_);
  told_.wait(lock, [&] { return drained_ || n < timesFrom_ + static_cast<std::int64_t>(times_.size()); });
  // What came before n - 1 is not asked for again.
  while (timesFrom_ + 1 < n && !times_.empty()) {
    times_.pop_front();
    ++timesFrom_;
  }
  if (n < timesFrom_ || n >= timesFrom_ + static_cast<std::int64_t>(times_.size())) return std::nullopt;
  return times_[static_cast<std::size_t>(n - timesFrom_)];
}

void FfmpegFrames::dropTimes() {
  const std::lock_guard<std::mutex> lock(mutex_);
  dropTimes_ = true;
  times_.clear();
}

FrameRate FfmpegFrames::timeBase() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return timeBase_;
}

void FfmpegFrames::stop() {
  if (child_.id != -1) sys::stopChild(child_);
  if (drain_.joinable()) drain_.join();
}

}  // namespace pulldex
