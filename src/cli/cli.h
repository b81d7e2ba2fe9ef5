// pulldex-cli's commands, as a library: run() parses a command line and runs
// its command; main.cpp only hands it the process's own. Tests call run()
// and the pieces below directly.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/file.h"
#include "model/error.h"
#include "project/output.h"
#include "project/project.h"

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

enum class Output { Script, Stripped, Settings, Frames, Timestamps, ToolScript };

struct Options {
  std::vector<std::string> projects;
  std::string sfs;        // a frame-setting file to import first, or empty
  std::string output;     // -o: a file, "-" for standard output, or empty
  std::string outputDir;  // --output-dir: the folder for outputs under their default names
  bool json = false;
  bool force = false;    // an output may replace a project given on the command line
  bool dropped = false;  // frames: the numbers of the entries that are not kept
  std::optional<std::string> html;  // report --html: empty for the default name
  std::string rate = "30000/1001";  // the source video's frame rate
  bool v1 = false;                  // timestamps: format v1
  std::string tool = "ffmpeg";      // script: ffmpeg, avisynth or vapoursynth
  bool bff = false;                 // script: bottom field first
  bool tff = false;                 // script: top field first, whatever the project says
};

// What a command works with: its options, its streams and the projects of
// the command line, none of which an output may replace without --force.
struct Context {
  const Options& options;
  StandardOutput& out;
  std::ostream& err;
  std::vector<sys::Identity> projects;
};

int info(Context& c);
int produce(Context& c, Output kind);
int report(Context& c);

// The output name beside `project`: its stem, `infix`, then `extension` or,
// when that is empty, the project's own extension. Never the project's own
// name, not even on a file system that ignores case.
std::string besideProject(const std::string& project, const std::string& infix, std::string extension);
// Where a command writes the output of `project`: -o, else the default name
// beside the project or in --output-dir.
std::string outputPath(const Options& o, const std::string& project, const std::string& infix,
                       const std::string& extension);

// A frame rate as a fraction: "30000/1001", "25" or "29.97" (which means
// 30000/1001, as do 23.976 and 59.94 for their rates). False for anything
// else, zero or negative.
bool parseRate(const std::string& text, std::int64_t& num, std::int64_t& den);

// `text` as a JSON string: valid UTF-8 always, bytes that are not UTF-8
// replaced by U+FFFD. `replaced` tells whether any were.
std::string jsonString(const std::string& text, bool* replaced = nullptr);

// The "path" field of a JSON object for `path` (and "pathBytes", the raw
// bytes in hexadecimal, where the name is not valid UTF-8).
std::string jsonPathFields(const std::string& path);

// Prints what info or report made of each project: texts one after the
// other; with --json an array of their objects.
void printReports(Context& c, const std::vector<std::string>& reports);

// Prints "file: message (system's reason)" and returns the exit status for
// it: 2 for an output that would replace a project (which --force allows),
// else 1. Standard output is named as such.
int fail(Context& c, const std::string& file, const Status& status);
// The same for a failure of the command's work on one project: the file is
// the one the status concerns.
int fail(Context& c, const std::string& project, const std::string& output, const Status& status);

// Loads each project of the command in turn (and imports --sfs into it) and
// hands it to `use`, which returns its own exit status. The result is the
// worst status over all projects.
int forEachProject(Context& c, const std::function<int(Project&)>& use);

// The destination of an output for `project`.
Destination destinationFor(Context& c, Project& project, const std::string& path, Error cannotCreate);

}  // namespace pulldex::cli
