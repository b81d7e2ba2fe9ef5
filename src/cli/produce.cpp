// asc, strip, sfs, frames, timestamps, script: one output per project,
// beside it unless -o or --output-dir says otherwise.
#include "base/sys.h"
#include "cli/cli.h"
#include "formats/avi_script.h"
#include "formats/frame_numbers.h"
#include "formats/frame_setting_file.h"
#include "formats/tool_scripts.h"
#include "formats/wobbly_project.h"
#include "project/ivtc_block.h"
#include "version.h"
#include "video/decoder.h"

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

// The source as Wobbly will open it: its size and rate from ffmpeg, its frames
// counted by decoding it.
DecodeProblem probe(const std::string& ffmpeg, const std::string& video, WobblySource& source) {
  FfmpegFrames frames;
  if (DecodeProblem p = frames.start(ffmpeg, video); !p.ok()) return p;
  std::vector<std::uint8_t> pixels(frames.frameBytes());
  std::int64_t count = 0;
  while (frames.next(pixels.data())) ++count;
  if (DecodeProblem p = frames.finish(); !p.ok()) return p;
  if (count == 0) return {Error::EmptyVideo, 0, {}};
  source.frames = count;
  source.width = frames.header().width;
  source.height = frames.header().height;
  if (frames.header().rate.num > 0) {
    source.rateNum = frames.header().rate.num;
    source.rateDen = frames.header().rate.den;
  }
  return {};
}

// The Wobbly project of one project: refused, with its message, when the
// video cannot be read or the list does not fit it.
int wobbly(Context& c, Project& project, std::size_t index, const FrameList& exported, Destination destination) {
  const Options& o = c.options;
  const std::string video = videoFor(o, index);
  WobblySource source;
  const std::string ffmpeg = o.ffmpeg.empty() ? "ffmpeg" : o.ffmpeg;
  if (const DecodeProblem p = probe(ffmpeg, video, source); !p.ok()) return failDecoding(c, video, ffmpeg, p);
  if (videoFrames(exported.count()) > source.frames) {
    c.err << project.path() << ": " << errorText(Error::ListLongerThanVideo) << " (" << videoFrames(exported.count())
          << " frames of " << video << ", which has " << source.frames << ")\n";
    return kFailed;
  }
  WobblyPlan plan;
  std::int64_t entry = -1;
  if (!wobblyPlan(exported, source.frames, plan, entry)) {
    c.err << project.path() << ": " << errorText(Error::NotExpressible) << " (kept entry " << entry << ", "
          << fieldName(entry) << ", weaves no frame of its own: three kept entries in a row)\n";
    return kFailed;
  }
  source.path = sys::toUtf8(sys::absolutePath(video));
  source.filter = o.sourceFilter;
  source.topFieldFirst = topFieldFirst(o, project);
  const Status s = writeOutput(destination, [&](Sink& sink) {
    writeWobblyProject(sink, source, plan,
                       std::string("pulldex-cli ") + PULLDEX_VERSION + " from " + sys::toUtf8(project.path()));
    return Status{};
  });
  return s.ok() ? kOk : fail(c, project.path(), destination.path, s);
}

}  // namespace

int produce(Context& c) {
  const Options& o = c.options;
  return forEachProject(c, [&](Project& project, std::size_t index) {
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
    const bool forTools =
        o.command == Command::Frames || o.command == Command::Timestamps || o.command == Command::Script;
    const FrameList exported = forTools ? project.exportList() : FrameList{};
    if ((o.command == Command::Timestamps || o.command == Command::Script) && !keepsAny(exported))
      return fail(c, project.path(), {Error::NothingKept, Subject::Project, 0});
    if (o.command == Command::Script && o.tool == ScriptTool::Wobbly)
      return wobbly(c, project, index, exported, destination);
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
