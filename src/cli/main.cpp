// pulldex-cli: the IVTC list of TMPGEnc projects from the command line. The
// commands live in the library in src/cli; this only hands them the process.
#include <iostream>

#include "base/sys.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
  pulldex::sys::consoleSpeaksUtf8();
  pulldex::cli::StdoutSink out;
  return pulldex::cli::run(argc, argv, out, std::cerr);
}
