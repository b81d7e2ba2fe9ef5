// The scripts for ffmpeg, AviSynth and VapourSynth: the plan they share, the
// text each writer makes of it, and the field order a project gives. That
// the plan keeps the right frames is proven through ffmpeg itself (the
// video test); here, the writers against texts checked by hand.
#include <gtest/gtest.h>

#include <string>

#include "formats/tool_scripts.h"
#include "lists.h"
#include "project/project.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex {
namespace {

using testing::listFromPattern;

std::string script(const FrameList& list, ScriptTool tool, bool tff = true) {
  struct Text final : Sink {
    bool write(const void* data, std::size_t n) override {
      text.append(static_cast<const char*>(data), n);
      return true;
    }
    using Sink::write;
    std::string text;
  } out;
  writeToolScript(out, selectionPlan(list), {tool, tff, "movie.tpr"});
  return out.text;
}

// The body after the comments and the field lines.
std::string body(const std::string& text, const std::string& after) {
  return text.substr(text.find(after) + after.size());
}

TEST(SelectionPlan, KeepsExactlyTheKeptEntries) {
  // 3:2 from entry 3 (the list as stored), a break, video, a last period cut short.
  const FrameList list = listFromPattern("---K-K--K-K--K-K--K--KK-K-K-K-K-K-K--K-");
  const SelectionPlan plan = selectionPlan(list);
  std::vector<std::int64_t> kept;
  for (const PlanPiece& p : plan.pieces)
    for (std::int64_t e = p.first; e < p.first + p.count; ++e)
      for (int k = 0; k < p.offsetCount; ++k)
        if ((e - p.first) % p.period == p.offsets[k]) kept.push_back(e);
  std::vector<std::int64_t> expected;
  for (std::int64_t e = 0; e < list.count(); ++e)
    if (list.isKept(e)) expected.push_back(e);
  EXPECT_EQ(kept, expected);
  EXPECT_EQ(plan.kept, static_cast<std::int64_t>(expected.size()));
}

TEST(SelectionPlan, CodedPicturesOfSoftPulldown) {
  // Pictures showing 3, 2, 3, 2 and 2 fields: 0-2, 3-4, 5-7, 8-9, 10-11.
  const std::vector<std::uint8_t> fields = {3, 2, 3, 2, 2};
  struct Case {
    const char* list;
    std::vector<std::int64_t> firsts, counts;  // the plan's runs of pictures
    std::int64_t conflict, other;              // its conflict, where it has one
  } cases[] = {
      {"K--K-K--K-K-", {0}, {5}, -1, -1},
      {"-K---K--K-K", {0, 2}, {1, 3}, -1, -1},  // the first picture's second pair; picture 1 not kept
      {"K-K--", {}, {}, 2, -1},                 // the third field with the next picture's first
      {"KK---", {}, {}, 1, 0},                  // one picture kept twice
      {"K--K-K--K--K", {0}, {5}, -1, -1},       // the video's last field: its frame is the last picture's
  };
  for (const Case& c : cases) {
    SelectionPlan plan;
    PictureConflict conflict;
    const bool ok = codedPictureSelection(listFromPattern(c.list), fields, plan, conflict);
    EXPECT_EQ(ok, c.conflict < 0) << c.list;
    if (!ok) {
      EXPECT_EQ(conflict.entry, c.conflict) << c.list;
      EXPECT_EQ(conflict.other, c.other) << c.list;
      continue;
    }
    std::vector<std::int64_t> firsts, counts;
    for (const PlanPiece& p : plan.pieces) {
      firsts.push_back(p.first);
      counts.push_back(p.count);
    }
    EXPECT_EQ(firsts, c.firsts) << c.list;
    EXPECT_EQ(counts, c.counts) << c.list;
  }
}

TEST(ToolScripts, EachWriterAgainstTextCheckedByHand) {
  // Entries 0 to 9 in 3:2 ("10100" twice), then 10 alone, then 12.
  const FrameList list = listFromPattern("K-K--K-K--K-K");
  EXPECT_EQ(script(list, ScriptTool::Ffmpeg),
            "tpad=stop=1:stop_mode=clone,setfield=tff,separatefields,doubleweave,select='if(lt(n,10),between(n,0,9)*("
            "eq(mod(n-0,5),0)+eq(mod(n-0,5),2)),if(lt(n,12),eq(n,10),eq(n,12)))'\n");
  EXPECT_EQ(script(list, ScriptTool::Ffmpeg, false).substr(0, 87),
            "tpad=stop=1:stop_mode=clone,setfield=bff,separatefields,doubleweave=first_field=bottom,");
  EXPECT_EQ(body(script(list, ScriptTool::AviSynth), "fields = last\n"),
            "fields.Trim(0,-10).SelectEvery(5,0,2) \\\n++ fields.Trim(10,-1) \\\n++ fields.Trim(12,-1)\n");
  EXPECT_NE(script(list, ScriptTool::AviSynth, false)
                .find("AssumeBFF()\n# A copy of the last frame: the last field's frame is the last frame as it is.\n"
                      "last ++ Trim(FrameCount - 1, -1)\nSeparateFields()\nDoubleWeave()\n"),
            std::string::npos);
  EXPECT_EQ(body(script(list, ScriptTool::VapourSynth), "pieces = [\n"),
            "    core.std.SelectEvery(clip[0:10], cycle=5, offsets=[0, 2]),\n    clip[10:11],\n    clip[12:13],\n]\n"
            "clip = core.std.Splice(pieces, mismatch=True) if len(pieces) > 1 else pieces[0]\nclip.set_output()\n");
  EXPECT_NE(script(list, ScriptTool::VapourSynth, false)
                .find("clip = clip + clip[-1]\nclip = core.std.SeparateFields(clip, tff=False)"),
            std::string::npos);
  // The project's name stays off the first two lines, where Python would
  // read "coding=" in it as the file's encoding.
  for (const ScriptTool tool : {ScriptTool::AviSynth, ScriptTool::VapourSynth}) {
    const std::string text = script(list, tool);
    const std::size_t third = text.find('\n', text.find('\n') + 1);
    EXPECT_EQ(text.substr(0, third).find("movie.tpr"), std::string::npos);
  }
  // Where the user's source goes, and which project it is.
  EXPECT_NE(script(list, ScriptTool::AviSynth).find("movie.tpr"), std::string::npos);
  EXPECT_NE(script(list, ScriptTool::AviSynth).find("# last = "), std::string::npos);
  EXPECT_NE(script(list, ScriptTool::VapourSynth).find("# clip = "), std::string::npos);
  EXPECT_EQ(script(list, ScriptTool::Ffmpeg).find('#'), std::string::npos) << "ffmpeg's scripts take no comments";
}

TEST(ToolScripts, OneSectionOfAMillionEntriesIsAFewLines) {
  std::string pattern;
  while (pattern.size() < 1'000'000) pattern += "K-K--";
  for (const ScriptTool tool : {ScriptTool::Ffmpeg, ScriptTool::AviSynth, ScriptTool::VapourSynth})
    EXPECT_LT(script(listFromPattern(pattern), tool).size(), 4096u);
}

TEST(FieldOrder, AsTheProjectHoldsIt) {
  testing::TempDir dir;
  using testdata::ivtcBlock;
  const std::string block = ivtcBlock(testdata::recordsFromPattern("KC"));
  const struct {
    std::string bytes;
    std::optional<bool> tff;
  } cases[] = {
      {std::string("\x13Video.TopFieldFirst\x09", 21) + block, true},
      {block + std::string("\x13Video.TopFieldFirst\x08", 21), false},
      {std::string("\x13Video.TopFieldFirst\x02\x01", 22) + block, std::nullopt},
      {block, std::nullopt},
      // Across the end of the scanner's first window, either marker.
      {testdata::noise(32768 - 10, 1) + std::string("\x13Video.TopFieldFirst\x09", 21) + block, true},
      {testdata::noise(32768 - 40, 2) + std::string("\x13Video.TopFieldFirst\x08", 21) + testdata::noise(3, 3) + block,
       false},
      {"object X\r\n  Video.TopFieldFirst = False\r\n" +
           testdata::textProject(testdata::ivtcValue({{0, 0, 0}})).substr(10),
       false},
      {"object X\n  Video.TopFieldFirst = True\n" + testdata::textProject(testdata::ivtcValue({{0, 0, 0}})).substr(10),
       true},
      {"object X\n  Video.TopFieldFirst = 1\n" + testdata::textProject(testdata::ivtcValue({{0, 0, 0}})).substr(10),
       std::nullopt},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(testdata::writeFile(dir.path("p.tpr"), c.bytes));
    Project p;
    ASSERT_TRUE(p.load(dir.path("p.tpr"), true).ok()) << c.bytes.substr(0, 60);
    EXPECT_EQ(p.topFieldFirst(), c.tff) << c.bytes.substr(0, 60);
  }
}

}  // namespace
}  // namespace pulldex
