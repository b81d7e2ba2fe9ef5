#include "formats/tool_scripts.h"

#include "base/utf8.h"
#include "formats/avi_script.h"
#include "version.h"

namespace pulldex {

const char* scriptExtension(ScriptTool tool) {
  switch (tool) {
    case ScriptTool::Ffmpeg:
      return ".ffmpeg.txt";
    case ScriptTool::AviSynth:
      return ".avs";
    case ScriptTool::VapourSynth:
      return ".vpy";
    case ScriptTool::Wobbly:
      return ".wob";
  }
  return ".txt";
}

SelectionPlan selectionPlan(const FrameList& list) {
  SelectionPlan plan;
  PatternSections sections(list);
  PatternLine line;
  std::int64_t kept = 0, end = 0;
  while (sections.next(line, kept, end)) {
    plan.kept += kept;
    if (!line.periodic()) {
      // One kept entry: the walker starts a line at each one outside a pattern.
      plan.pieces.push_back({line.entry});
      continue;
    }
    PlanPiece piece{line.entry, 0, static_cast<int>(line.periodEntries()), {}, line.period};
    for (int k = 0; k < line.period; ++k) piece.offsets[k] = static_cast<int>(line.offset(k));
    // Whole periods as one piece; the kept entries of a last, partial one
    // (and the last kept entry, whose gap may break the pattern) one by one.
    const std::int64_t periods = kept / line.period;
    piece.count = periods * piece.period;
    if (periods > 0) plan.pieces.push_back(piece);
    for (std::int64_t k = 0; k < kept % line.period; ++k)
      plan.pieces.push_back({line.entry + piece.count + piece.offsets[k]});
  }
  return plan;
}

bool codedPictureSelection(const FrameList& list, const std::vector<std::uint8_t>& fields, SelectionPlan& plan,
                           PictureConflict& conflict) {
  plan = {};
  std::int64_t picture = 0, start = 0, last = -1, lastEntry = -1;  // field `start` is picture `picture`'s first
  const auto pictureOf = [&](std::int64_t field) {
    while (picture + 1 < static_cast<std::int64_t>(fields.size()) &&
           field >= start + fields[static_cast<std::size_t>(picture)])
      start += fields[static_cast<std::size_t>(picture++)];
    return picture;
  };
  for (const std::int64_t entry : list.keptEntries()) {
    const std::int64_t a = pictureOf(entry);
    const std::int64_t end = start + (fields.empty() ? 2 : fields[static_cast<std::size_t>(a)]);
    // The video's last field is woven with the last picture's other field.
    const std::int64_t b = entry + 1 < end || a + 1 >= static_cast<std::int64_t>(fields.size()) ? a : a + 1;
    if (a != b || a == last) {
      conflict = {entry, a == b ? lastEntry : -1, a, b};
      return false;
    }
    if (!plan.pieces.empty() && plan.pieces.back().first + plan.pieces.back().count == a)
      ++plan.pieces.back().count;
    else
      plan.pieces.push_back({a});
    ++plan.kept;
    last = a;
    lastEntry = entry;
  }
  return true;
}

namespace {

std::string number(std::int64_t n) { return std::to_string(n); }

// The select expression for pieces [lo, hi): a leaf tests its own range.
void ffmpegExpression(const std::vector<PlanPiece>& pieces, std::size_t lo, std::size_t hi, std::string& out) {
  if (hi - lo == 1) {
    const PlanPiece& p = pieces[lo];
    if (p.count == 1) {
      out += "eq(n," + number(p.first) + ")";
      return;
    }
    out += "between(n," + number(p.first) + "," + number(p.first + p.count - 1) + ")";
    if (p.period == 1) return;
    out += "*(";
    for (int k = 0; k < p.offsetCount; ++k)
      out += std::string(k ? "+" : "") + "eq(mod(n-" + number(p.first) + "," + number(p.period) + ")," +
             number(p.offsets[k]) + ")";
    out += ")";
    return;
  }
  const std::size_t mid = lo + (hi - lo) / 2;
  out += "if(lt(n," + number(pieces[mid].first) + "),";
  ffmpegExpression(pieces, lo, mid, out);
  out += ",";
  ffmpegExpression(pieces, mid, hi, out);
  out += ")";
}

std::string offsetsText(const PlanPiece& p, const char* separator) {
  std::string text;
  for (int k = 0; k < p.offsetCount; ++k) text += (k ? separator : "") + number(p.offsets[k]);
  return text;
}

// The project's name on the third line: Python reads "coding=" or
// "coding:" on either of the first two as the file's encoding, and a name
// may hold it.
std::string header(const ScriptSettings& s, const char* tool) {
  return std::string("# Pulldex ") + PULLDEX_VERSION + ": the kept frames of a TMPGEnc project, for " + tool +
         ".\n# Each entry of the list is a field; a kept entry is the first field of an output frame.\n# Project: " +
         commentText(s.project) + "\n";
}

// Soft pulldown: the source has to show the fields its flags show, as the
// list has an entry for each.
std::string flagsNote(const ScriptSettings& s) {
  return s.shownFields ? "# The list has an entry for every field the stream's repeat-first-field flags show:\n"
                         "# open it with the flags applied (LWLibav: repeat; d2v.Source and DGSource do by default).\n"
                       : "";
}

}  // namespace

bool writeToolScript(Sink& out, const SelectionPlan& plan, const ScriptSettings& s) {
  const std::vector<PlanPiece>& pieces = plan.pieces;
  std::string text;
  switch (s.tool) {
    case ScriptTool::Ffmpeg:
      // The filtergraph alone: ffmpeg's filter scripts take no comments.
      // A copy of the last frame at the end: the last field's frame is then
      // the last frame as it is, woven with its own first field again.
      // From soft pulldown, the plan's are coded pictures, as decoded.
      text = s.shownFields ? "select='"
             : s.topFieldFirst
                 ? "tpad=stop=1:stop_mode=clone,setfield=tff,separatefields,doubleweave,select='"
                 : "tpad=stop=1:stop_mode=clone,setfield=bff,separatefields,doubleweave=first_field=bottom,"
                   "select='";
      if (pieces.empty())
        text += "0";
      else
        ffmpegExpression(pieces, 0, pieces.size(), text);
      text += "'\n";
      break;
    case ScriptTool::AviSynth:
      text = header(s, "AviSynth") + flagsNote(s) +
             "# Your source line goes here, for example:\n# last = LWLibavVideoSource(\"" +
             (s.shownFields ? "movie.m2v\", repeat=true)\n" : "movie.mkv\")\n") +
             (s.topFieldFirst ? "AssumeTFF()\n" : "AssumeBFF()\n") +
             "# A copy of the last frame: the last field's frame is the last frame as it is.\n"
             "last ++ Trim(FrameCount - 1, -1)\nSeparateFields()\nDoubleWeave()\nfields = last\n";
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        const PlanPiece& p = pieces[i];
        text += i == 0 ? "" : " \\\n++ ";
        // A negative end counts frames: Trim(a, 0) would run to the end.
        text += "fields.Trim(" + number(p.first) + ",-" + number(p.count) + ")";
        if (p.period > 1) text += ".SelectEvery(" + number(p.period) + "," + offsetsText(p, ",") + ")";
      }
      text += pieces.empty() ? "BlankClip(fields, length=0)\n" : "\n";
      break;
    case ScriptTool::VapourSynth: {
      const char* tff = s.topFieldFirst ? "True" : "False";
      text = header(s, "VapourSynth") + "import vapoursynth as vs\ncore = vs.core\n" + flagsNote(s) +
             "# Your source line goes here, for example:\n" +
             (s.shownFields ? "# clip = core.lsmas.LWLibavSource(\"movie.m2v\", repeat=1)\n"
                            : "# clip = core.lsmas.LWLibavSource(\"movie.mkv\")\n") +
             "# A copy of the last frame: the last field's frame is the last frame as it is.\n"
             "clip = clip + clip[-1]\n"
             "clip = core.std.SeparateFields(clip, tff=" +
             tff + ")\nclip = core.std.DoubleWeave(clip, tff=" + tff + ")\npieces = [\n";
      for (const PlanPiece& p : pieces) {
        const std::string range = "clip[" + number(p.first) + ":" + number(p.first + p.count) + "]";
        text += p.period > 1 ? "    core.std.SelectEvery(" + range + ", cycle=" + number(p.period) + ", offsets=[" +
                                   offsetsText(p, ", ") + "]),\n"
                             : "    " + range + ",\n";
      }
      text += "]\nclip = core.std.Splice(pieces, mismatch=True) if len(pieces) > 1 else pieces[0]\nclip.set_output()\n";
      break;
    }
    case ScriptTool::Wobbly:
      break;  // a project of its own: writeWobblyProject
  }
  return out.write(text);
}

}  // namespace pulldex
