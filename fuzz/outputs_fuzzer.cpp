// Loads arbitrary bytes as a project and, when that works, writes all three
// outputs from the list and checks that they read back consistently.
#include <algorithm>

#include "formats/avi_script.h"
#include "formats/frame_setting_file.h"
#include "fuzz_file.h"
#include "project/ivtc_block.h"
#include "project/output.h"
#include "project/project.h"

using namespace pulldex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (pulldex::fuzz::namesFarFrames(data, size)) return -1;
  const std::string project = fuzz::inputFile(data, size, "project");
  Project loaded;
  if (loaded.load(project) != Error::None) return 0;
  const FrameList& list = loaded.list();
  const auto kept =
      std::count_if(list.entries.begin(), list.entries.end(), [](FrameEntry e) { return e.state == Kept; });

  const std::string script = fuzz::folder() + "/out.asc";
  const auto write = [&](const std::string& path, bool (*format)(Sink&, const FrameList&)) {
    return writeOutput({.path = path, .project = &loaded}, [&](Sink& out) {
      format(out, list);
      return Status{};
    });
  };
  if (write(script, writeAviScript) != Error::None) std::abort();
  if (testdata::readFile(script) != aviScript(list)) std::abort();

  const std::string settings = fuzz::folder() + "/out.sfs";
  if (write(settings, writeFrameSettings) != Error::None) std::abort();
  FrameList imported;
  if (readFrameSettings(settings, imported) != Error::None) std::abort();
  if (list.count() > 0 && imported.count() != list.count()) std::abort();

  const std::string stripped = fuzz::folder() + "/out.tpr";
  if (writeWithoutCopyFrames(loaded, {.path = stripped}) != Error::None) std::abort();
  FrameList back;
  if (readIvtcList(stripped, back) != Error::None) std::abort();
  if (std::count_if(back.entries.begin(), back.entries.end(), [](FrameEntry e) { return e.state == Kept; }) != kept)
    std::abort();
  return 0;
}
