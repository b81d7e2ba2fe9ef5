// pulldex-cli's commands, as a library: run() parses a command line and runs
// its command; main.cpp only hands it the process's own. Tests call run()
// and the pieces below directly.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/file.h"
#include "formats/json.h"
#include "formats/tool_scripts.h"
#include "model/error.h"
#include "model/field_time.h"
#include "project/output.h"
#include "project/project.h"
#include "video/decoder.h"

namespace pulldex::cli {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// Standard output as the commands write it: every byte through here, and
// finish() tells at the end whether all of it arrived.
class StandardOutput : public Sink {
 public:
  // Flushes; false when any write failed.
  virtual bool finish() = 0;
  // Set once the failure was told, so that it is told once.
  bool reported = false;
};

// The process's standard output: bytes unchanged, through stdio's buffer.
class StdoutSink final : public StandardOutput {
 public:
  StdoutSink();
  bool write(const void* data, std::size_t n) override;
  using Sink::write;
  int error() const override { return error_; }
  bool finish() override;

 private:
  bool ok_ = true;
  int error_ = 0;
};

// Parses the command line (argv[0] is the program) and runs its command.
// Returns the exit status: the worst over all projects, 2 for a usage error.
int run(int argc, const char* const* argv, StandardOutput& out, std::ostream& err);

enum class Command { Info, Report, Asc, Strip, Sfs, Frames, Timestamps, Script, Check };

// The command line, each option turned into what it means where it is parsed.
struct Options {
  Command command = Command::Info;
  std::vector<std::string> projects;
  std::string sfs;        // a frame-setting file to import first, or empty
  std::string output;     // -o: a file, "-" for standard output, or empty
  std::string outputDir;  // --output-dir: the folder for outputs under their default names
  bool json = false;
  bool force = false;               // an output may replace a file the run reads
  bool dropped = false;             // frames: the numbers of the entries that are not kept
  std::optional<std::string> html;  // report, check --html: empty for the default name
  FrameRate rate;                   // the source video's frame rate
  bool v1 = false;                  // timestamps: format v1
  ScriptTool tool = ScriptTool::Ffmpeg;
  bool bff = false;  // bottom field first, whatever the project says
  bool tff = false;  // top field first, whatever the project says
  // check and script --for wobbly
  std::vector<std::string> videos;  // one per project, or one with {} for the project's stem
  std::string ffmpeg;               // the program; empty: found on PATH
  int search = 8;                   // check: the offsets tried, either way
  std::optional<double> threshold;  // check: combed above this share of a window; none: judged locally
  bool fix = false;                 // check: write the repaired project
  bool fromVideo = false;           // check --fix: every mark derived from the video, none from the list
  std::optional<bool> pulldown;     // check: the stream's repeated fields applied (true) or not; none: by length
  std::size_t pictures = 200;       // check --html: findings with pictures, the worst first
  std::string sourceFilter;         // script --for wobbly: as given, or empty for the one the video calls for
  bool noCheck = false;             // script --for wobbly: no findings of a check in the project
};

// What a command works with: its options, its streams and every file the
// run reads and writes.
struct Context {
  const Options& options;
  StandardOutput& out;
  std::ostream& err;
  RunFiles run;
};

// What info, report and check print on standard output: their texts one
// after the other, or with --json one array with an object per project,
// written as it is made.
class Reports {
 public:
  explicit Reports(Context& c);
  Reports(const Reports&) = delete;
  Reports& operator=(const Reports&) = delete;
  // The array's writer, with --json.
  Json& json() { return json_; }
  // Before each project's text: a blank line after the one before.
  void beginText();
  // Closes the array.
  void finish();

 private:
  Context& c_;
  SinkStream stream_;
  Json json_;
  bool first_ = true;
};

int info(Context& c);
int produce(Context& c);
int report(Context& c);
int check(Context& c);

// The output name beside `project`: its stem, `infix`, then `extension` or,
// when that is empty, the project's own extension. Never the project's own
// name, not even on a file system that ignores case.
std::string besideProject(const std::string& project, const std::string& infix, std::string extension);
// Where the command writes its output for `project`, if it writes one: -o,
// else the default name beside the project or in --output-dir. Empty for
// none (info, a report without --html).
std::string outputPath(const Options& o, const std::string& project);

// Where check --fix writes the repaired project for `project`: -o, else
// movie.fixed.tpr beside it or in --output-dir.
std::string fixedPath(const Options& o, const std::string& project);

// The progress line of a check: fields done, of how many where known, the
// speed and the time left.
std::string progressLine(std::int64_t done, std::int64_t total, double seconds);

// A frame rate as a fraction: "30000/1001", "25" or "29.97" (which means
// 30000/1001, as do 23.976 and 59.94 for their rates). False for anything
// else, zero or negative.
bool parseRate(const std::string& text, std::int64_t& num, std::int64_t& den);

// The video of the project at `index`: the one given for it, or the one
// pattern with {} replaced by the project's stem.
std::string videoFor(const Options& o, std::size_t index);

// Prints "file: message (system's reason)" and returns the exit status for
// it: 2 for an output refused because it would replace a file the run reads
// (which --force allows) or collide with another, else 1. "-" is standard
// input or standard output, as the status's subject says.
int fail(Context& c, const std::string& file, const Status& status);
// The same for a failure of the command's work on one project: the file is
// the one the status concerns.
int fail(Context& c, const std::string& project, const std::string& output, const Status& status);

// Prints what went wrong with decoding `video` with `ffmpeg`; returns 1.
int failDecoding(Context& c, const std::string& video, const std::string& ffmpeg, const DecodeProblem& problem);

// Loads each project of the command in turn (and imports --sfs into it) and
// hands it with its index to `use`, which returns its own exit status. The
// result is the worst status over all projects.
int forEachProject(Context& c, const std::function<int(Project&, std::size_t)>& use);

// The destination of an output for `project`.
Destination destinationFor(Context& c, Project& project, const std::string& path, Error cannotCreate);

// The source filter Wobbly opens `video` with: --source-filter, else
// d2v.Source for a DVD index and lsmas.LWLibavSource for anything else.
std::string sourceFilterFor(const Options& o, const std::string& video);

// The field order for the scripts and the check: --bff or --tff, else what
// the project says, else top first.
bool topFieldFirst(const Options& o, const Project& project);

}  // namespace pulldex::cli
