// The text form's reader: arbitrary bytes as the value between the braces
// of a text project. What loads must strip, and load back to the same kept
// entries.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "fuzz_file.h"
#include "project/ivtc_block.h"
#include "project/project.h"

using namespace pulldex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Far frames only cost time: keep the lists small.
  if (size > 4096) return -1;
  const std::string text = "object TMPEGEncodeJobFile\r\n  Video.DeinterlaceEx.List = {" +
                           std::string(reinterpret_cast<const char*>(data), size) + "\r\n  Audio.Gain = 0\r\nend\r\n";
  const std::string path = fuzz::inputFile(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), "text");
  Project project;
  if (!project.load(path).ok()) return 0;
  if (project.block().form != ProjectForm::Text) std::abort();
  for (const FrameEntry& e : project.list().entries)
    if (e.state > 255) std::abort();
  const auto kept = [](const FrameList& list) {
    return std::count_if(list.entries.begin(), list.entries.end(), [](FrameEntry e) { return e.state == Kept; });
  };
  const std::string stripped = fuzz::folder() + "/text.out.tpr";
  if (!writeWithoutCopyFrames(project, {.path = stripped}).ok()) std::abort();
  Project back;
  if (!back.load(stripped).ok() || back.block().form != ProjectForm::Text) std::abort();
  if (kept(back.list()) != kept(project.list())) std::abort();
  return 0;
}
