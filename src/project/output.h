// The one way out: every output of every front end is written here. The
// rules live here once: nothing the run reads is replaced by accident, no two
// outputs of a run go to one file, a file is replaced whole or not at all, a
// project is replaced only while it is still the file that was loaded, and
// every failure names the file it concerns.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file.h"
#include "model/error.h"

namespace pulldex {

class Project;

// What one run reads and writes. Inputs are known by identity, not by
// spelling: a link or another name of a project is the project.
class RunFiles {
 public:
  enum class Kind { Project, Settings, Video };
  struct Input {
    sys::Identity identity;
    Kind kind;
  };
  // Notes a file the run reads. A stream, "-" and a missing file are not
  // noted: nothing can replace them.
  void addInput(const std::string& path, Kind kind);
  const std::vector<Input>& inputs() const { return inputs_; }

  // Claims the file `path` for an output made from `owner` (a project's
  // name). False when an earlier claim of the run names the same file;
  // `earlier` then holds that claim's owner. Standard output and streams
  // (devices, FIFOs) are not claimed: they take what comes.
  bool claim(const std::string& path, const std::string& owner, std::string& earlier);

 private:
  struct Claim {
    std::uint64_t device = 0, file = 0;  // the file, or else its folder
    std::string name;                    // empty for an existing file
    std::string owner;
  };
  std::vector<Input> inputs_;
  std::vector<Claim> claims_;
};

// Where one output goes and what it may replace.
struct Destination {
  std::string path;  // "-": `standardOutput`
  // The writer's own message for a destination that cannot be made.
  Error cannotCreate = Error::OpenDestination;
  // The project the output is made from; never replaced, unless `inPlace`
  // (the removal of copy frames into its own file) or `force`.
  Project* project = nullptr;
  bool inPlace = false;
  // The files the run reads (its other projects, its frame-setting file),
  // never replaced without `force`.
  const RunFiles* run = nullptr;
  bool force = false;
  Sink* standardOutput = nullptr;
};

// What a successful write did.
struct Written {
  bool replacedProject = false;  // the output replaced `project` itself
  sys::Identity identity;        // the file written (unknown for a stream)
};

// Writes the bytes that `produce` gives to `sink` and commits them. What it
// returns is its own failure, a read of the project that failed for
// instance; a failed write of the sink is reported by the door.
using Producer = std::function<Status(Sink& sink)>;

// One output through the door, opened before its bytes are made: open()
// checks every rule (what it may replace, that its folder is there) and
// readies the file, so that long work (decoding a video) is never done for
// an output that cannot be written. Standard output, a device, a FIFO or
// one of the process's own descriptors is written straight through; any
// other path is replaced whole, once write() has made all of it.
class OpenOutput {
 public:
  OpenOutput();
  ~OpenOutput();
  OpenOutput(const OpenOutput&) = delete;
  OpenOutput& operator=(const OpenOutput&) = delete;

  Status open(const Destination& destination);
  Status write(const Producer& produce, Written* written = nullptr);

 private:
  Destination d_;
  bool opened_ = false;
  std::unique_ptr<StreamOutput> stream_;
  std::unique_ptr<AtomicOutput> file_;
  std::optional<sys::Identity> replaced_;  // the file the run reads that this replaces
  bool ownProject_ = false;
};

// Opens and writes in one go.
Status writeOutput(const Destination& destination, const Producer& produce, Written* written = nullptr);

}  // namespace pulldex
