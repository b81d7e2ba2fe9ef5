// pulldex-cli run in process, as the tests of the command line run it:
// standard output in memory, standard error in a string.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace pulldex::testing {

// Standard output in memory; `full` makes every write fail, as /dev/full does.
class MemoryOutput final : public cli::StandardOutput {
 public:
  explicit MemoryOutput(bool full = false) : full_(full) {}
  bool write(const void* data, std::size_t n) override {
    if (full_ && n > 0) failed_ = true;
    if (!failed_) text.append(static_cast<const char*>(data), n);
    return !failed_;
  }
  using Sink::write;
  int error() const override { return failed_ ? 28 : 0; }
  bool finish() override { return !failed_; }
  std::string text;

 private:
  bool full_;
  bool failed_ = false;
};

struct CliResult {
  int status;
  std::string out, err;
};

// Runs the command line `args` (without the program's name).
inline CliResult runCli(std::vector<std::string> args, bool full = false) {
  args.insert(args.begin(), "pulldex-cli");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  MemoryOutput out(full);
  std::ostringstream err;
  const int status = cli::run(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.text, err.str()};
}

}  // namespace pulldex::testing
