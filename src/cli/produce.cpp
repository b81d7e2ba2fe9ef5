// asc, strip, sfs, frames, timestamps: one output per project, beside it
// unless -o or --output-dir says otherwise.
#include "cli/cli.h"
#include "formats/avi_script.h"
#include "formats/frame_numbers.h"
#include "formats/frame_setting_file.h"
#include "formats/tool_scripts.h"
#include "project/ivtc_block.h"
#include "version.h"

namespace pulldex::cli {

namespace {

struct Kind {
  const char* infix;
  const char* extension;  // empty: the project's own
  Error cannotCreate;
};

Kind kindOf(Output output) {
  switch (output) {
    case Output::Script:
      return {"", ".asc", Error::CreateScript};
    case Output::Stripped:
      return {".nocopy", "", Error::OpenDestination};
    case Output::Settings:
      return {"", ".sfs", Error::CreateFrameSettings};
    case Output::Frames:
      return {".frames", ".txt", Error::CreateList};
    case Output::Timestamps:
      return {".timestamps", ".txt", Error::CreateList};
    case Output::ToolScript:
      return {"", "", Error::CreateScript};
  }
  return {"", "", Error::CreateList};
}

// Writes the bytes of every output but the stripped project.
void writeTo(Sink& sink, Output output, const Project& project, const Options& o, FrameRate rate, bool topFieldFirst) {
  const FrameList& list = project.list();
  switch (output) {
    case Output::Script:
      writeAviScript(sink, list);
      break;
    case Output::Settings:
      writeFrameSettings(sink, list);
      break;
    case Output::Frames:
      // For other tools, the list as the project stores it.
      writeFrameNumbers(sink, project.storedList(), o.dropped,
                        std::string("pulldex-cli ") + PULLDEX_VERSION + (o.dropped ? ": dropped" : ": kept") +
                            " frames of " + project.path());
      break;
    case Output::Timestamps:
      o.v1 ? writeTimestampsV1(sink, project.storedList(), rate) : writeTimestamps(sink, project.storedList(), rate);
      break;
    case Output::ToolScript: {
      ScriptSettings settings;
      settings.tool = o.tool == "avisynth" ? ScriptTool::AviSynth
                      : o.tool == "vapoursynth" ? ScriptTool::VapourSynth
                                                : ScriptTool::Ffmpeg;
      settings.topFieldFirst = topFieldFirst;
      settings.project = project.path();
      writeToolScript(sink, selectionPlan(project.storedList()), settings);
      break;
    }
    case Output::Stripped:
      break;
  }
}

}  // namespace

int produce(Context& c, Output output) {
  const Options& o = c.options;
  FrameRate rate;
  if (output == Output::Timestamps && !parseRate(o.rate, rate.num, rate.den)) {
    c.err << "pulldex-cli: --rate: not a frame rate: " << o.rate << "\n";
    return kUsage;
  }
  const Kind kind = kindOf(output);
  return forEachProject(c, [&](Project& project) {
    std::string extension = kind.extension;
    bool topFieldFirst = true;
    if (output == Output::ToolScript) {
      extension = o.tool == "avisynth" ? ".avs" : o.tool == "vapoursynth" ? ".vpy" : ".ffmpeg.txt";
      // --bff or --tff, else what the project says, else top first.
      topFieldFirst = o.bff ? false : o.tff ? true : project.topFieldFirst().value_or(true);
    }
    const std::string target = outputPath(o, project.path(), kind.infix, extension);
    Destination destination = destinationFor(c, project, target, kind.cannotCreate);
    Status s;
    if (output == Output::Stripped) {
      // The removal into the project's own file is the in-place strip.
      destination.inPlace = true;
      s = writeWithoutCopyFrames(project, destination);
    } else {
      s = writeOutput(destination, [&](Sink& sink) {
        writeTo(sink, output, project, o, rate, topFieldFirst);
        return Status{};
      });
    }
    return s.ok() ? kOk : fail(c, project.path(), target, s);
  });
}

}  // namespace pulldex::cli
