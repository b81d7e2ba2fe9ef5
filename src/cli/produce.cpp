// asc, strip, sfs, frames, timestamps, script: one output per project,
// beside it unless -o or --output-dir says otherwise.
#include <algorithm>

#include "base/sys.h"
#include "cli/cli.h"
#include "cli/project_notes.h"
#include "formats/avi_script.h"
#include "formats/frame_numbers.h"
#include "formats/frame_setting_file.h"
#include "formats/tool_scripts.h"
#include "formats/wobbly_project.h"
#include "project/ivtc_block.h"
#include "version.h"
#include "video/check.h"
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

// "kept entries 4, 5 and 6"
std::string entriesText(const std::vector<std::int64_t>& entries) {
  std::string text = entries.size() == 1 ? "kept entry " : "kept entries ";
  for (std::size_t i = 0; i < entries.size(); ++i)
    text += (i == 0 ? "" : i + 1 == entries.size() ? " and " : ", ") + std::to_string(entries[i]);
  return text;
}

// What the check found, on Wobbly's frames: the kept entries whose frames
// weave two pictures, and a bookmark for each picture kept twice or lost and
// each shift, saying what to keep.
WobblyFindings findingsFor(const CheckResult& r, const FrameList& list, const WobblyPlan& plan) {
  WobblyFindings f;
  const std::vector<std::int64_t> kept = list.keptEntries();
  const auto frameOfKept = [&](std::int64_t entry) {
    const auto at = std::lower_bound(kept.begin(), kept.end(), entry);
    const auto k = static_cast<std::size_t>(at - kept.begin());
    return trimmedFrame(
        plan, at != kept.end() && *at == entry && k < plan.keptFrames.size() ? plan.keptFrames[k] : entry / 2);
  };
  for (const std::int64_t e : r.combedAsGiven) f.combedFrames.push_back(frameOfKept(e));
  std::sort(f.combedFrames.begin(), f.combedFrames.end());
  f.combedFrames.erase(std::unique(f.combedFrames.begin(), f.combedFrames.end()), f.combedFrames.end());
  for (const RepeatedEntry& e : r.repeated)
    f.bookmarks.push_back({frameOfKept(e.entry), "picture kept twice: entry " + std::to_string(e.entry) +
                                                     " shows what entry " + std::to_string(e.sameAs) +
                                                     " shows; keep it no more"});
  for (const LostPicture& p : r.lost)
    f.bookmarks.push_back({trimmedFrame(plan, p.keep / 2), "picture lost: keep entry " + std::to_string(p.keep) +
                                                               " (fields " + std::to_string(p.from) + " to " +
                                                               std::to_string(p.to) + ")"});
  for (const Shift& s : r.shifts)
    f.bookmarks.push_back(
        {frameOfKept(s.entry), "shift: from entry " + std::to_string(s.entry) + " on, " + offsetRule(s.offset)});
  std::stable_sort(f.bookmarks.begin(), f.bookmarks.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return f;
}

// Source filters that show the fields a stream's repeat-first-field flags
// show when called with the file alone, as Wobbly calls them.
bool appliesFlags(const std::string& filter) { return filter == "d2v.Source" || filter == "dgdecodenv.DGSource"; }

// Why Wobbly's source filter would not give the fields the list follows, or
// nothing. d2v.Source goes by the index, which says whether it applies them.
std::string sourceMismatch(Pulldown pulldown, const std::string& filter, const std::string& video) {
  if (pulldown == Pulldown::None || filter == "d2v.Source" || (pulldown == Pulldown::Applied) == appliesFlags(filter))
    return {};
  if (pulldown == Pulldown::Applied)
    return "the list has an entry for every field the flags of " + video + " show, and " + filter +
           ", called with the file alone as Wobbly calls it, gives each coded picture once: index the video as a DVD "
           "index (.d2v) for d2v.Source, or give --source-filter dgdecodenv.DGSource";
  return "the list has two entries a coded picture of " + video + ", and " + filter +
         " shows the fields its flags repeat: give --source-filter lsmas.LWLibavSource";
}

// Which fields the list follows, from the video's packets and --pulldown.
Pulldown pulldownOf(Context& c, const FrameList& list, const std::string& ffmpeg, const std::string& video,
                    PacketFields& packets) {
  const Options& o = c.options;
  packets = countFields(ffmpeg, video);
  const Pulldown p =
      pulldownFor(list.count(), packets.shown, 2 * packets.pictures, dvdFieldOperation(video), o.pulldown);
  if (o.pulldown && p == Pulldown::None && packets.pictures > 0)
    c.err << video << ": the stream repeats no fields: --pulldown changes nothing\n";
  return p;
}

// A script's source with soft pulldown. Where the list follows the fields
// the flags show, AviSynth's and VapourSynth's source applies them, and
// ffmpeg's script keeps whole coded pictures, as its decoder gives each
// once; a kept entry that weaves two of them is refused.
int flaggedSource(Context& c, Project& project, std::size_t index, const FrameList& list, ScriptSettings& settings,
                  SelectionPlan& plan) {
  const Options& o = c.options;
  if (o.videos.empty()) {
    settings.shownFields = o.pulldown.value_or(false);  // ffmpeg needs the video: the parser says so
    return kOk;
  }
  const std::string video = videoFor(o, index);
  const std::string ffmpeg = o.ffmpeg.empty() ? "ffmpeg" : o.ffmpeg;
  PacketFields packets;
  const Pulldown pulldown = pulldownOf(c, list, ffmpeg, video, packets);
  if (packets.pictures == 0) {
    // The quick pass told nothing: the decoder says why, where it fails.
    FfmpegFrames frames;
    const DecodeProblem p = frames.start(ffmpeg, video);
    frames.stop();
    if (!p.ok()) return failDecoding(c, video, ffmpeg, p);
  }
  if (pulldown != Pulldown::Applied) return kOk;
  settings.shownFields = true;
  if (o.tool != ScriptTool::Ffmpeg) return kOk;
  std::vector<std::uint8_t> fields;
  if (const DecodeProblem p = shownFields(ffmpeg, video, packets, fields); !p.ok())
    return failDecoding(c, video, ffmpeg, p);
  std::int64_t shown = 0;
  for (const std::uint8_t n : fields) shown += n;
  // Entries past the video's end are fine as long as none of them is kept.
  if (const std::vector<std::int64_t> kept = list.keptEntries(); !kept.empty() && kept.back() >= shown) {
    c.err << project.path() << ": " << errorText(Error::ListLongerThanVideo) << " (kept entry " << kept.back()
          << ", and " << video << " shows " << shown << " fields)\n";
    return kFailed;
  }
  PictureConflict conflict;
  if (codedPictureSelection(list, fields, plan, conflict)) return kOk;
  c.err << project.path() << ": " << errorText(Error::SourceFields) << " (kept entry " << conflict.entry << ", "
        << fieldName(conflict.entry) << ", ";
  if (conflict.other >= 0)
    c.err << "shows coded picture " << conflict.picture << " of " << video << ", as kept entry " << conflict.other
          << " does; ffmpeg's script keeps a picture once";
  else
    c.err << "weaves fields of coded pictures " << conflict.picture << " and " << conflict.nextPicture << " of "
          << video << ", which repeats fields; ffmpeg's script keeps whole pictures";
  c.err
      << ": repair the list with check --fix, or use --for avisynth or vapoursynth, whose source applies the flags)\n";
  return kFailed;
}

// The Wobbly project of one project: refused, with its message, when the
// video cannot be read or the list does not fit it. One decoding pass
// counts the video's frames and checks the list against it.
int wobbly(Context& c, Project& project, std::size_t index, const FrameList& exported, Destination destination) {
  const Options& o = c.options;
  const std::string video = videoFor(o, index);
  // The output is opened before a frame is decoded: one that cannot be
  // written fails now, not after the whole video.
  OpenOutput output;
  if (const Status s = output.open(destination); !s.ok()) return fail(c, project.path(), destination.path, s);
  WobblySource source;
  const std::string ffmpeg = o.ffmpeg.empty() ? "ffmpeg" : o.ffmpeg;
  source.topFieldFirst = topFieldFirst(o, project);
  source.filter = sourceFilterFor(o, video);
  CheckResult r;
  Pulldown pulldown = Pulldown::None;
  if (o.noCheck) {
    if (const DecodeProblem p = probe(ffmpeg, video, source); !p.ok()) return failDecoding(c, video, ffmpeg, p);
    PacketFields packets;
    pulldown = pulldownOf(c, exported, ffmpeg, video, packets);
    // Wobbly's frames are then the fields shown, two a frame.
    if (pulldown == Pulldown::Applied) source.frames = (packets.shown + 1) / 2;
  } else {
    CheckSettings settings;
    settings.topFieldFirst = source.topFieldFirst;
    settings.givenTopFirst = source.topFieldFirst;
    settings.applyPulldown = o.pulldown;
    if (const DecodeProblem p = checkVideo(exported, ffmpeg, video, settings, r); !p.ok())
      return failDecoding(c, video, ffmpeg, p);
    pulldown = r.pulldown;
    if (r.pulldownAsked && r.pulldown == Pulldown::None)
      c.err << video << ": the stream repeats no fields: --pulldown changes nothing\n";
    source.frames = r.videoFrames;
    source.width = r.width;
    source.height = r.height;
    if (r.rate.num > 0) {
      source.rateNum = r.rate.num;
      source.rateDen = r.rate.den;
    }
    if (r.videoTopFirst && *r.videoTopFirst != source.topFieldFirst)
      c.err << video << ": the video is " << (*r.videoTopFirst ? "top" : "bottom")
            << " field first, the Wobbly project says otherwise (--tff or --bff sets it)\n";
  }
  if (const std::string why = sourceMismatch(pulldown, source.filter, video); !why.empty()) {
    c.err << project.path() << ": " << errorText(Error::SourceFields) << " (" << why << ")\n";
    return kFailed;
  }
  if (videoFrames(exported.count()) > source.frames) {
    c.err << project.path() << ": " << errorText(Error::ListLongerThanVideo) << " (" << videoFrames(exported.count())
          << " frames of " << video << ", which has " << source.frames << ")\n";
    return kFailed;
  }
  WobblyPlan plan;
  WobblyConflict conflict;
  if (!wobblyPlan(exported, source.frames, plan, conflict)) {
    c.err << project.path() << ": " << errorText(Error::NotExpressible) << " (kept entry " << conflict.entry << ", "
          << fieldName(conflict.entry) << ", finds no frame of its own: " << entriesText(conflict.competing)
          << " compete for frames " << conflict.from << " to " << conflict.to << ")\n";
    return kFailed;
  }
  source.path = sys::toUtf8(sys::absolutePath(video));
  const WobblyFindings findings = o.noCheck ? WobblyFindings{} : findingsFor(r, exported, plan);
  const Status s = output.write([&](Sink& sink) {
    writeWobblyProject(sink, source, plan,
                       std::string("pulldex-cli ") + PULLDEX_VERSION + " from " + sys::toUtf8(project.path()),
                       o.noCheck ? nullptr : &findings);
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
    // Other tools get the list as the project stores it.
    const bool forTools =
        o.command == Command::Frames || o.command == Command::Timestamps || o.command == Command::Script;
    const FrameList exported = forTools ? project.storedList() : FrameList{};
    if ((o.command == Command::Timestamps || o.command == Command::Script) && !exported.keepsAny())
      return fail(c, project.path(), {Error::NothingKept, Subject::Project, 0});
    if (o.command == Command::Script && o.tool == ScriptTool::Wobbly)
      return wobbly(c, project, index, exported, destination);
    const std::string name = sys::toUtf8(project.path());
    ScriptSettings settings{o.tool, o.command == Command::Script && topFieldFirst(o, project), name};
    SelectionPlan plan;
    if (o.command == Command::Script) {
      plan = selectionPlan(exported);
      if (const int status = flaggedSource(c, project, index, exported, settings, plan); status != kOk) return status;
    }
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
          writeToolScript(sink, plan, settings);
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
