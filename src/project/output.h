// The one way out: every output of every front end is written here. The
// rules live here once: no project is replaced by accident, a file is
// replaced whole or not at all, a project is replaced only while it is still
// the file that was loaded, and every failure names the file it concerns.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/file.h"
#include "model/error.h"

namespace pulldex {

class Project;

// Where one output goes and what it may replace.
struct Destination {
  std::string path;  // "-": `standardOutput`
  // The writer's own message for a destination that cannot be made.
  Error cannotCreate = Error::OpenDestination;
  // The project the output is made from; never replaced, unless `inPlace`
  // (the removal of copy frames into its own file) or `force`.
  Project* project = nullptr;
  bool inPlace = false;
  // Other projects of the same run (the command line's), never replaced
  // without `force`.
  std::vector<sys::Identity> otherProjects;
  bool force = false;
  Sink* standardOutput = nullptr;
};

// What a successful write did.
struct Written {
  bool replacedProject = false;  // the output replaced `project` itself
  sys::Identity identity;        // the file written (unknown for standard output)
};

// Writes the bytes that `produce` gives to `sink` and commits them. What it
// returns is its own failure, a read of the project that failed for
// instance; a failed write of the sink is reported by the door.
using Producer = std::function<Status(Sink& sink)>;

Status writeOutput(const Destination& destination, const Producer& produce, Written* written = nullptr);

}  // namespace pulldex
