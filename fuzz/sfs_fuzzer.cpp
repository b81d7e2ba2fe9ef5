// Imports arbitrary bytes as a frame-setting file.
#include "formats/frame_setting_file.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pulldex::FrameList list{{{3, pulldex::Kept}}};
  const pulldex::Error error = pulldex::readFrameSettings(pulldex::fuzz::inputFile(data, size), list).error;
  if (error != pulldex::Error::None) std::abort();
  // The list takes the file's length; an empty file leaves it alone.
  if (list.count() != (size == 0 ? 1 : static_cast<std::int32_t>(size))) std::abort();
  return 0;
}
