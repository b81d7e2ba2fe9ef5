// pulldex-cli's commands, as a library: main.cpp parses the command line
// into Options and calls one of these; tests call them directly.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/file.h"
#include "model/error.h"
#include "model/frame_list.h"
#include "project/ivtc_block.h"

namespace pulldex::cli {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

struct Options {
  std::vector<std::string> projects;
  std::string sfs;     // a frame-setting file to import first, or empty
  std::string output;  // -o: a file, "-" for standard output, or empty
  bool json = false;
  bool force = false;  // asc, sfs: the output may be the project itself
  bool dropped = false;  // frames: the numbers of the entries that are not kept
  std::optional<std::string> html;  // report --html: empty for the default name
  std::string rate = "30000/1001";  // timestamps: the rate of the list's entries
};

// The output name beside `project`: its stem, `infix`, then `extension` or,
// when that is empty, the project's own extension. Never the project's own
// name, not even on a file system that ignores case.
std::string besideProject(const std::string& project, const std::string& infix, std::string extension);

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
// other; with --json one object, or an array for several projects.
void printReports(std::ostream& out, const std::vector<std::string>& reports, const Options& o);

// Prints "file: message (system's reason)" and returns kFailed.
int fail(std::ostream& err, const std::string& file, const Status& status);

// Standard output as an output: bytes unchanged, through a fixed buffer.
class StdoutSink final : public Sink {
 public:
  StdoutSink();
  bool write(const void* data, std::size_t n) override;
  using Sink::write;
  // Flushes; false when any write failed.
  bool finish();

 private:
  bool ok_ = true;
};

// Opens `project` and loads its list, then imports --sfs if given. On a
// failure prints it and returns false. `block` tells where the list was, for
// a removal through the same open file.
bool loadForCommand(const Options& o, const std::string& project, InputFile& file, FrameList& list,
                    BlockLocation& block, std::ostream& err);

// Loads each project of the command in turn and hands it to `use`, which
// returns its own exit status. The result is the last failure, or kOk.
template <class Use>
int forEachProject(const Options& o, std::ostream& err, Use&& use) {
  int status = kOk;
  for (const std::string& project : o.projects) {
    InputFile file;
    FrameList list;
    BlockLocation block;
    const int s = loadForCommand(o, project, file, list, block, err) ? use(project, file, list, block) : kFailed;
    if (s != kOk) status = s;
  }
  return status;
}

enum class Output { Script, Stripped, Settings, Frames, Timestamps };

int info(const Options& o, std::ostream& out, std::ostream& err);
int produce(const Options& o, Output kind, std::ostream& err);
int report(const Options& o, std::ostream& out, std::ostream& err);

}  // namespace pulldex::cli
