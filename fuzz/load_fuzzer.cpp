// Loads arbitrary bytes as a project.
#include "fuzz_file.h"
#include "project/ivtc_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (pulldex::fuzz::namesFarFrames(data, size)) return -1;
  pulldex::FrameList list{{{3, pulldex::Kept}}};
  const pulldex::FrameList before = list;
  if (pulldex::readIvtcList(pulldex::fuzz::inputFile(data, size), list) != pulldex::Error::None && list != before)
    std::abort();  // a failed load must leave the list alone
  return 0;
}
