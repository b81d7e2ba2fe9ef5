// asc, strip, sfs, frames, timestamps: one output per project, beside it
// unless -o names one.
#include <ostream>

#include "cli/cli.h"
#include "formats/avi_script.h"
#include "formats/frame_numbers.h"
#include "formats/frame_setting_file.h"
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
      return {".frames", ".txt", Error::CreateScript};
    case Output::Timestamps:
      return {".timestamps", ".txt", Error::CreateScript};
  }
  return {"", "", Error::CreateScript};
}

// Writes the bytes of every output but the stripped project.
bool writeTo(Sink& sink, Output output, const std::string& project, const FrameList& list, const Options& o,
             std::int64_t num, std::int64_t den) {
  switch (output) {
    case Output::Script:
      return writeAviScript(sink, list);
    case Output::Settings:
      return writeFrameSettings(sink, list);
    case Output::Frames:
      return writeFrameNumbers(sink, list, o.dropped,
                               std::string("pulldex-cli ") + PULLDEX_VERSION + (o.dropped ? ": dropped" : ": kept") +
                                   " frames of " + project);
    case Output::Timestamps:
      return writeTimestamps(sink, list, num, den);
    case Output::Stripped:
      break;
  }
  return false;
}

}  // namespace

int produce(const Options& o, Output output, std::ostream& err) {
  std::int64_t num = 0, den = 1;
  if (output == Output::Timestamps && !parseRate(o.rate, num, den)) {
    err << "pulldex-cli: --rate: not a frame rate: " << o.rate << "\n";
    return kUsage;
  }
  const Kind kind = kindOf(output);
  return forEachProject(o, err, [&](const std::string& project, InputFile& file, const FrameList& list,
                                    const BlockLocation& block) {
    if (o.output == "-") {
      StdoutSink sink;
      if (!writeTo(sink, output, project, list, o, num, den) || !sink.finish())
        return fail(err, "-", {Error::WriteFile, Subject::Output, sys::lastError()});
      return kOk;
    }
    const std::string target = o.output.empty() ? besideProject(project, kind.infix, kind.extension) : o.output;
    if (output == Output::Stripped) {
      if (!file.regular()) return fail(err, project, {Error::NotRegular});
      if (const Status s = writeWithoutCopyFrames(file, project, block, target, list); !s.ok())
        return fail(err, s.subject == Subject::Output ? target : project, s);
      return kOk;
    }
    // One typo must not lose the only copy: the project is replaced by
    // another kind of file only when asked for.
    sys::Identity a, b;
    if (!o.force && file.identity(a) && sys::identifyPath(target, b) && a == b) {
      err << target << ": this is the project itself; add --force to replace it\n";
      return kUsage;
    }
    // Closed first: Windows cannot rename over a file that is still open.
    file.close();
    AtomicOutput out;
    Status s = out.open(target, kind.cannotCreate);
    if (s.ok()) s = writeTo(out, output, project, list, o, num, den) ? out.commit() : out.writeFailure();
    return s.ok() ? kOk : fail(err, target, s);
  });
}

}  // namespace pulldex::cli
