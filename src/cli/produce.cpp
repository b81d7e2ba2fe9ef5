// asc, strip, sfs, frames, timestamps, script: one output per project,
// beside it unless -o or --output-dir says otherwise.
#include "base/sys.h"
#include "cli/cli.h"
#include "formats/avi_script.h"
#include "formats/frame_numbers.h"
#include "formats/frame_setting_file.h"
#include "formats/tool_scripts.h"
#include "project/ivtc_block.h"
#include "version.h"

namespace pulldex::cli {

namespace {

Error cannotCreate(Command command) {
  switch (command) {
    case Command::Asc:
    case Command::Script:
      return Error::CreateScript;
    case Command::Strip:
      return Error::OpenDestination;
    case Command::Sfs:
      return Error::CreateFrameSettings;
    default:
      return Error::CreateList;
  }
}

bool keepsAny(const FrameList& list) {
  for (const FrameEntry& e : list.entries)
    if (e.state == Kept) return true;
  return false;
}

}  // namespace

int produce(Context& c) {
  const Options& o = c.options;
  return forEachProject(c, [&](Project& project, std::size_t) {
    const std::string target = outputPath(o, project.path());
    Destination destination = destinationFor(c, project, target, cannotCreate(o.command));
    if (o.command == Command::Strip) {
      // The removal into the project's own file is the in-place strip.
      destination.inPlace = true;
      const Status s = writeWithoutCopyFrames(project, destination);
      return s.ok() ? kOk : fail(c, project.path(), target, s);
    }
    // Other tools get the list as the project stores it, without an entry
    // on the video's last field.
    const bool forTools = o.command == Command::Frames || o.command == Command::Timestamps || o.command == Command::Script;
    const FrameList exported = forTools ? project.exportList() : FrameList{};
    if ((o.command == Command::Timestamps || o.command == Command::Script) && !keepsAny(exported))
      return fail(c, project.path(), {Error::NothingKept, Subject::Project, 0});
    const std::string name = sys::toUtf8(project.path());
    const Status s = writeOutput(destination, [&](Sink& sink) {
      switch (o.command) {
        case Command::Asc:
          writeAviScript(sink, project.list());
          break;
        case Command::Sfs:
          writeFrameSettings(sink, project.list());
          break;
        case Command::Frames:
          writeFrameNumbers(sink, exported, o.dropped,
                            std::string("pulldex-cli ") + PULLDEX_VERSION + (o.dropped ? ": dropped" : ": kept") +
                                " frames of " + name);
          break;
        case Command::Timestamps:
          o.v1 ? writeTimestampsV1(sink, exported, o.rate) : writeTimestamps(sink, exported, o.rate);
          break;
        case Command::Script:
          writeToolScript(sink, selectionPlan(exported), {o.tool, topFieldFirst(o, project), name});
          break;
        default:
          break;
      }
      return Status{};
    });
    return s.ok() ? kOk : fail(c, project.path(), target, s);
  });
}

}  // namespace pulldex::cli
