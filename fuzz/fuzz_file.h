// The core reads and writes files by path, so each input goes through a
// file of its own in a folder that lives as long as the fuzzer.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "project_builder.h"

namespace pulldex::fuzz {

inline const std::string& folder() {
  static const std::string path = [] {
    // In memory where the system has it: every input is written once.
    std::string name = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/pulldex-fuzz-XXXXXX" : "/tmp/pulldex-fuzz-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) std::abort();
    return name;
  }();
  return path;
}

// Writes the input to a file and returns its path.
inline std::string inputFile(const std::uint8_t* data, std::size_t size, const char* name = "input") {
  const std::string path = folder() + "/" + name;
  if (!testdata::writeFile(path, std::string_view(reinterpret_cast<const char*>(data), size))) std::abort();
  return path;
}

// True when the input holds an IVTC record for a frame above 65535. Such a
// list is tens of MiB of zeroes to allocate, which would slow every run
// without reaching other code; the unit tests and benchmarks load such lists.
inline bool namesFarFrames(const std::uint8_t* data, std::size_t size) {
  static constexpr char kMarker[] = "Video.DeinterlaceEx.List";
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t at = bytes.find(kMarker);
  if (at == std::string_view::npos) return false;
  for (std::size_t r = at + 37; r + 4 <= size; r += 6) {
    const std::uint32_t frame =
        data[r] | data[r + 1] << 8 | data[r + 2] << 16 | static_cast<std::uint32_t>(data[r + 3]) << 24;
    if (frame > 65535 && frame < 0x80000000u) return true;
  }
  return false;
}

}  // namespace pulldex::fuzz
