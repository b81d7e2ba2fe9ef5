// Reads arbitrary bytes as the head of a DVD index.
#include <cstdlib>
#include <string>

#include "video/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pulldex::DvdIndexHead head;
  const pulldex::DecodeProblem p = pulldex::parseDvdIndex(std::string(reinterpret_cast<const char*>(data), size), head);
  // A head that does not read says why.
  if (!p.ok() && p.detail.empty()) std::abort();
  // A head that reads lists at least one file, none of them unnamed.
  if (p.ok() && head.files.empty()) std::abort();
  for (const std::string& f : head.files)
    if (f.empty()) std::abort();
  if (head.fieldOperation < -1 || head.fieldOperation > 2) std::abort();
  return 0;
}
