// The check of a list against its video: the weighing of a list and its
// repair on scores made by hand, then the whole command with a stand-in for
// ffmpeg, so that the process layer of every platform is tested.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "frames.h"
#include "project_builder.h"
#include "run_cli.h"
#include "temp_dir.h"
#include "video/check.h"

namespace pulldex {
namespace {

using testdata::readFile;
using testdata::writeFile;

// 2:3 film of `pictures` pictures, field by field: the picture each field
// shows, the pictures starting at fields 0, 2, 5, 7, …
std::vector<int> filmFields(int pictures) {
  std::vector<int> picture;
  for (int k = 0; k < pictures; ++k)
    for (int f = 0; f < (k % 2 ? 3 : 2); ++f) picture.push_back(k);
  return picture;
}

// The scores of a video whose fields show `picture` (-1: a field of its own,
// as in video whose every field is a moment), top field first; the other
// order's pairings comb.
VideoPictures videoOf(const std::vector<int>& picture, int clean = 30) {
  FrameScores s;
  const auto pair = [&](std::size_t p) {
    return picture[p] >= 0 && picture[p] == picture[p + 1] ? clean : 160 + static_cast<int>(p % 7);
  };
  for (std::size_t k = 0; 2 * k < picture.size(); ++k) {
    const bool last = 2 * k + 2 >= picture.size();
    s.add(pair(2 * k), last ? -1 : pair(2 * k + 1), last ? -1 : 250, 1 << 20);
  }
  return VideoPictures(s, true);
}

std::vector<std::int64_t> startsOf(const std::vector<int>& picture) {
  std::vector<std::int64_t> starts;
  for (std::size_t f = 0; f < picture.size(); ++f)
    if (f == 0 || picture[f] != picture[f - 1]) starts.push_back(static_cast<std::int64_t>(f));
  return starts;
}

FrameList keeping(const std::vector<std::int64_t>& kept, std::int64_t entries) {
  FrameList list;
  list.entries.assign(static_cast<std::size_t>(entries), FrameEntry{0, Copy});
  for (const std::int64_t k : kept) list.entries[static_cast<std::size_t>(k)] = {0, Kept};
  return list;
}

std::vector<std::int64_t> keptOf(const FrameList& list) {
  std::vector<std::int64_t> kept;
  for (std::int64_t i = 0; i < list.count(); ++i)
    if (list.isKept(i)) kept.push_back(i);
  return kept;
}

// The repaired list shows every picture the video proves once, of those
// wholly in fields [from, to): each counted picture has exactly one kept
// entry weaving it cleanly, and no kept entry is combed.
void expectEachPictureOnce(const VideoPictures& v, const FrameList& repaired, std::int64_t from, std::int64_t to,
                           const std::string& what) {
  std::vector<int> shownBy(v.pictures().size(), 0);
  for (const std::int64_t k : keptOf(repaired)) {
    const std::int64_t p = v.shows(k);
    if (p >= 0) ++shownBy[static_cast<std::size_t>(p)];
    if (k < v.fields()) {
      EXPECT_FALSE(v.combed(k)) << what << ": " << k << " still combed";
    }
  }
  for (std::size_t p = 0; p < shownBy.size(); ++p)
    if (v.pictures()[p].counted && v.pictures()[p].first >= from && v.pictures()[p].last < to) {
      EXPECT_EQ(shownBy[p], 1) << what << ": picture " << p;
    }
}

// Each kind of mistake, and what the repair makes of it: every picture
// the video proves shown once, nothing else changed.
TEST(CheckList, FindsEachMistakeAndRepairsIt) {
  const std::vector<int> fields = filmFields(80);
  const std::vector<std::int64_t> right = startsOf(fields);
  const auto entries = static_cast<std::int64_t>(fields.size());
  std::vector<int> cut(fields.begin() + 2, fields.end());  // the video's first frame is gone
  std::vector<int> lost = fields;                          // a frame lost in the middle
  lost.erase(lost.begin() + 100, lost.begin() + 102);
  std::vector<int> video = fields;  // a stretch of video, every field its own
  std::fill(video.begin() + 60, video.begin() + 120, -1);

  const struct Case {
    const char* what;
    std::vector<int> video;
    std::vector<std::int64_t> kept;
    std::vector<std::int64_t> combed, repeated;
    std::size_t lost;
    std::vector<Shift> shifts;
  } cases[] = {
      {"right", fields, right, {}, {}, 0, {}},
      // Picture 10 starts at 25: a two-field picture, the mark moved onto
      // its second field weaves it with the next one.
      {"a mark one field late",
       fields,
       [&] {
         auto k = right;
         k[10] = 26;
         return k;
       }(),
       {26},
       {},
       0,
       {}},
      // Picture 21 has three fields from 52: the mark of picture 22 (55)
      // moved into it shows it twice, and picture 22 is lost.
      {"a picture twice, the next lost",
       fields,
       [&] {
         auto k = right;
         k[22] = 53;
         return k;
       }(),
       {},
       {53},
       1,
       {}},
      {"a mark missing",
       fields,
       [&] {
         auto k = right;
         k.erase(k.begin() + 30);
         return k;
       }(),
       {},
       {},
       1,
       {}},
      // Scattered mistakes that a neighbour fixes are mistakes, not a shift.
      {"eight scattered mistakes",
       fields,
       [&] {
         auto k = right;
         for (const int i : {4, 14, 24, 34, 44, 54, 64, 74}) ++k[static_cast<std::size_t>(i)];
         return k;
       }(),
       {11, 36, 61, 86, 111, 136, 161, 186},
       {},
       0,
       {}},
      {"a video cut at its start", cut, right, {}, {}, 0, {{0, -2}}},
      {"a frame lost in the middle", lost, right, {}, {}, 0, {{102, -2}}},
      // Kept as video where the video is video: no mistake.
      {"a stretch of video",
       video,
       [&] {
         std::vector<std::int64_t> k;
         for (const std::int64_t s : right)
           if (s < 60 || s >= 120) k.push_back(s);
         for (std::int64_t s = 60; s < 120; s += 2) k.push_back(s);
         std::sort(k.begin(), k.end());
         return k;
       }(),
       {},
       {},
       0,
       {}},
  };
  for (const Case& c : cases) {
    const VideoPictures v = videoOf(c.video);
    const FrameList given = keeping(c.kept, entries);
    const CheckResult r = checkList(given, v, {});
    std::vector<std::int64_t> combed, repeated;
    for (const CombedEntry& e : r.combed) combed.push_back(e.entry);
    for (const RepeatedEntry& e : r.repeated) repeated.push_back(e.entry);
    EXPECT_EQ(combed, c.combed) << c.what;
    EXPECT_EQ(repeated, c.repeated) << c.what;
    EXPECT_EQ(r.lost.size(), c.lost) << c.what;
    ASSERT_EQ(r.shifts.size(), c.shifts.size()) << c.what;
    for (std::size_t i = 0; i < c.shifts.size(); ++i) {
      EXPECT_EQ(r.shifts[i].entry, c.shifts[i].entry) << c.what << " " << r.shifts[i].offset;
      EXPECT_EQ(r.shifts[i].offset, c.shifts[i].offset) << c.what;
    }
    expectEachPictureOnce(v, r.repaired, 0, entries, c.what);
    // And the list keeps its length; nothing changes where nothing was wrong.
    EXPECT_EQ(r.repaired.count(), given.count());
    if (c.combed.empty() && c.repeated.empty() && c.lost == 0 && c.shifts.empty()) {
      EXPECT_TRUE(r.changes.empty()) << c.what;
    }
  }
}

// The changes, once: a mark moved to the picture beside it, a mark added
// for a lost picture, one that goes; which code a new mark gets; and that
// entries past the video's end stay as they were.
TEST(CheckList, ChangesSayWhatMovedAndWhy) {
  const std::vector<int> fields = filmFields(20);
  const VideoPictures v = videoOf(fields);
  std::vector<std::int64_t> kept = startsOf(fields);  // 0 2 5 7 10 12 15 17 20 22 …
  kept[4] = 11;                                       // picture 4 (10, 11) as 11: woven with picture 5
  kept.erase(kept.begin() + 6);                       // picture 6 (15, 16) lost
  const std::int64_t entries = static_cast<std::int64_t>(fields.size()) + 6;
  kept.push_back(entries - 2);  // past the video's end
  FrameList given = keeping(kept, entries);
  given.entries[11].code = 16;        // the mark that moves carries its code
  given.entries[10] = {0, Unlisted};  // to an entry with no record of its own
  given.entries[15] = {3, Copy};      // a copy frame that becomes kept keeps its code
  given.entries[12].code = 6;
  const CheckResult r = checkList(given, v, {});
  ASSERT_EQ(r.changes.size(), 3u);
  const Change want[] = {
      {10, true, ChangeReason::Combed}, {11, false, ChangeReason::Combed}, {15, true, ChangeReason::Lost}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(r.changes[i].entry, want[i].entry);
    EXPECT_EQ(r.changes[i].kept, want[i].kept);
    EXPECT_EQ(r.changes[i].reason, want[i].reason);
  }
  EXPECT_EQ(r.repaired.entries[10], (FrameEntry{16, Kept}));
  EXPECT_EQ(r.repaired.entries[11], (FrameEntry{16, Copy}));
  EXPECT_EQ(r.repaired.entries[15], (FrameEntry{3, Kept}));
  EXPECT_EQ(r.unchecked, 1);
  EXPECT_TRUE(r.repaired.isKept(entries - 2));
  ASSERT_EQ(r.combed.size(), 1u);
  EXPECT_EQ(r.combed[0].suggestion, 10);
  ASSERT_EQ(r.lost.size(), 1u);
  EXPECT_EQ(r.lost[0].from, 15);
  EXPECT_EQ(r.lost[0].to, 16);
  EXPECT_EQ(r.lost[0].keep, 15);
}

// Edited film: each scene telecined on its own and cut at some phase of
// its cadence, the 2:3 rhythm restarting at every cut. Picture numbers run
// on across the scenes.
// A phase of 2 starts the scene with an orphan: one field whose picture's
// other fields were cut away.
std::vector<int> editedFields(const std::vector<std::pair<int, int>>& scenes) {
  std::vector<int> picture;
  int next = 0;
  for (const auto& [pictures, phase] : scenes) {
    if (phase == 2) picture.push_back(next++);
    for (int k = 0; k < pictures; ++k, ++next)
      for (int f = 0; f < ((k + phase) % 2 ? 3 : 2); ++f) picture.push_back(next);
  }
  return picture;
}

// The list made for one stretch of the video, checked against video that
// starts earlier (a positive offset: the video has fields the list has
// not) or later (negative: the video lost its first fields).
TEST(CheckList, OffsetsOfBothSigns) {
  const std::vector<int> film = editedFields({{14, 1}, {23, 2}, {9, 1}, {31, 0}, {17, 2}, {40, 0}, {26, 2}});
  // At the start where the video tells it there; where 2:3 film shows each
  // picture's neighbour cleanly up to a cut (+2, -8), or the cadence fits a
  // whole period off (-10), the list is taken as it is up to there.
  const struct {
    int offset, search;
    bool atStart;
  } cases[] = {{2, 8, false}, {4, 8, true},   {6, 8, true},     {8, 8, true},    {-2, 8, true},  {-4, 8, true},
               {-6, 8, true}, {-8, 8, false}, {-10, 16, false}, {-16, 16, true}, {62, 64, true}, {-62, 64, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE("offset " + std::to_string(c.offset));
    // The list covers film fields [70, 70 + n); the video starts `offset`
    // fields before it.
    const std::size_t from = 70, n = film.size() - 140;
    const std::vector<int> listed(film.begin() + from, film.begin() + from + n);
    const std::vector<int> video(film.begin() + static_cast<std::ptrdiff_t>(from) - c.offset, film.end());
    CheckSettings settings;
    settings.search = c.search;
    // The right list keeps every picture but the orphans, fields alone.
    std::vector<std::int64_t> right;
    for (const std::int64_t f : startsOf(listed))
      if (f + 1 < static_cast<std::int64_t>(n) &&
          listed[static_cast<std::size_t>(f + 1)] == listed[static_cast<std::size_t>(f)])
        right.push_back(f);
    const VideoPictures v = videoOf(video);
    const CheckResult r = checkList(keeping(right, static_cast<std::int64_t>(n)), v, settings);
    ASSERT_EQ(r.shifts.size(), 1u);
    EXPECT_EQ(r.shifts[0].offset, c.offset);
    if (c.atStart) {
      // After the few first marks that either offset explains alike.
      EXPECT_LT(r.shifts[0].entry, 12);
      EXPECT_EQ(r.offset, c.offset);
      EXPECT_TRUE(r.combed.empty() && r.repeated.empty());
      // The fields alone, where cuts left them, as the list's entries.
      std::vector<std::int64_t> orphans;
      for (std::size_t f = 1; f + 1 < n; ++f)
        if (listed[f] != listed[f - 1] && listed[f] != listed[f + 1] && static_cast<int>(f) + c.offset > 0)
          orphans.push_back(static_cast<std::int64_t>(f));
      EXPECT_EQ(r.orphans, orphans);
    }
    // Of the video's pictures the list covers, every one shown once.
    expectEachPictureOnce(v, r.repaired, std::max(c.offset, 0), static_cast<std::int64_t>(n) + std::min(c.offset, 0),
                          "offset " + std::to_string(c.offset));
  }
}

// 2:3 film fits some other offsets as well as its own: those are named,
// and none is claimed where the list as given fits.
// The marks the video calls for: one a film frame, held drawings or not,
// the 2:3 rhythm running on through a hold or a still; every frame of 60i.
TEST(CheckList, MarksFromTheVideoAlone) {
  // 60 film frames of 2 and 3 fields in turn, frame k showing drawing(k);
  // the marks, each frame's first field.
  const auto film = [](int (*drawing)(int)) {
    std::pair<std::vector<int>, std::vector<std::int64_t>> f;
    for (int k = 0; k < 60; ++k) {
      f.second.push_back(static_cast<std::int64_t>(f.first.size()));
      f.first.insert(f.first.end(), k % 2 ? 3 : 2, drawing(k));
    }
    return f;
  };
  std::vector<std::int64_t> everyFrame;
  for (std::int64_t e = 0; e < 120; e += 2) everyFrame.push_back(e);
  const struct {
    const char* what;
    std::pair<std::vector<int>, std::vector<std::int64_t>> film;
    int clean;  // the score of a clean pairing: 0 where nothing moves at all
  } cases[] = {
      {"on ones", film([](int k) { return k; }), 30},
      {"on twos", film([](int k) { return k < 5 ? k : 5 + (k - 5) / 2; }), 30},
      {"on threes", film([](int k) { return k < 4 ? k : 4 + (k - 4) / 3; }), 30},
      {"truly still for 40 fields", film([](int k) { return k < 20 || k >= 36 ? k : 20; }), 0},
      {"60i", {std::vector<int>(120, -1), everyFrame}, 30},
  };
  for (const auto& c : cases) {
    const VideoPictures v = videoOf(c.film.first, c.clean);
    EXPECT_EQ(marksFromVideo(v), c.film.second) << c.what;
    // --from-video keeps the list's length and makes those its marks.
    CheckSettings settings;
    settings.fromVideo = true;
    const auto entries = static_cast<std::int64_t>(c.film.first.size());
    const CheckResult r = checkList(keeping({0, 3, 4}, entries), v, settings);
    EXPECT_EQ(r.repaired.count(), entries);
    EXPECT_EQ(keptOf(r.repaired), c.film.second) << c.what;
  }
}

TEST(CheckList, OffsetsThatFitAlikeAreNamed) {
  const std::vector<int> fields = filmFields(80);
  const VideoPictures v = videoOf(fields);
  const CheckResult r = checkList(keeping(startsOf(fields), static_cast<std::int64_t>(fields.size())), v, {});
  EXPECT_TRUE(r.shifts.empty());
  EXPECT_EQ(r.offset, 0);
  for (const int d : r.alsoFits) EXPECT_LE(r.at(d).errors, r.at(0).errors);
}

class CheckCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* fake = std::getenv("PULLDEX_FAKE_FFMPEG");
    if (!fake) GTEST_SKIP() << "PULLDEX_FAKE_FFMPEG is not set";
    fake_ = fake;
  }
  using Result = testing::CliResult;
  Result run(std::vector<std::string> args, bool fake = true, const char* command = "check") {
    args.insert(args.begin(), command);
    if (fake) args.insert(args.begin() + 1, {"--ffmpeg", fake_});
    return testing::runCli(std::move(args));
  }
  std::string path(const std::string& name) const { return dir_.path(name); }
  std::string fake_;
  testing::TempDir dir_;
};

constexpr int W = testing::kFrameWidth, H = testing::kFrameHeight;
using testing::Frame;
using testing::picture;

// `pictures` pictures of 2:3 film telecined top field first, as frames.
std::vector<Frame> telecine(int pictures) {
  const std::vector<int> fields = filmFields(pictures);
  std::vector<Frame> frames;
  for (std::size_t f = 0; f + 1 < fields.size(); f += 2) {
    Frame frame(W * H);
    for (int r = 0; r < H; ++r) {
      const Frame p = picture(4 + 3 * fields[f + (r % 2)] % 40);
      std::memcpy(&frame[r * W], &p[r * W], W);
    }
    frames.push_back(frame);
  }
  return frames;
}

std::string y4m(const std::vector<Frame>& frames) {
  std::string s = "YUV4MPEG2 W64 H48 F30000:1001 It A1:1 Cmono\n";
  for (const Frame& f : frames) {
    s += "FRAME\n";
    s.append(reinterpret_cast<const char*>(f.data()), f.size());
  }
  return s;
}

std::string project(const std::vector<std::int64_t>& kept, std::int64_t entries) {
  std::vector<testdata::Record> records;
  for (std::int64_t i = 0; i < entries; ++i)
    records.push_back({static_cast<std::int32_t>(i), 11,
                       static_cast<std::uint8_t>(std::find(kept.begin(), kept.end(), i) == kept.end())});
  return testdata::namedEntry("Project.Version", "3.0") + testdata::ivtcBlock(records) +
         testdata::namedEntry("Project.Notes", "end");
}

// The whole command through a child process: what the decoder's stream
// says, the repaired project, and every way the decoder and the video can
// fail, each before anything is written.
TEST_F(CheckCommandTest, ThroughAChildProcess) {
  const std::vector<Frame> frames = telecine(40);
  const std::string video = y4m(frames);
  ASSERT_TRUE(writeFile(path("film.y4m"), video));
  const std::vector<int> fields = filmFields(40);
  const auto entries = static_cast<std::int64_t>(2 * frames.size());
  std::vector<std::int64_t> kept = startsOf(fields);
  ASSERT_TRUE(writeFile(path("movie.tpr"), project(kept, entries)));
  const Result r = run({"--json", "--video", path("film.y4m"), path("movie.tpr")});
  ASSERT_EQ(r.status, cli::kOk) << r.err;
  rapidjson::Document d;
  d.Parse(r.out.c_str());
  ASSERT_TRUE(d.IsArray() && d.Size() == 1) << r.out;
  EXPECT_EQ(d[0u]["videoFields"].GetInt(), entries);
  EXPECT_EQ(d[0u]["kept"].GetInt(), 40) << r.out;
  EXPECT_EQ(d[0u]["combed"].Size(), 0u) << r.out;
  EXPECT_STREQ(d[0u]["fieldOrderVideo"].GetString(), "tff");
  EXPECT_EQ(d[0u]["shifts"].Size(), 0u);

  // A mark one field late, repaired: the project's bytes as they were but
  // for the two records that changed.
  kept[6] += 1;  // picture 6 starts at 15, a two-field picture
  const std::string given = project(kept, entries);
  ASSERT_TRUE(writeFile(path("late.tpr"), given));
  const Result fixed = run({"--fix", "--json", "--video", path("film.y4m"), path("late.tpr")});
  ASSERT_EQ(fixed.status, cli::kOk) << fixed.err;
  d.Parse(fixed.out.c_str());
  ASSERT_EQ(d[0u]["changes"].Size(), 2u) << fixed.out;
  EXPECT_EQ(d[0u]["changes"][0u]["entry"].GetInt(), 15);
  EXPECT_TRUE(d[0u]["changes"][0u]["kept"].GetBool());
  EXPECT_STREQ(d[0u]["changes"][1u]["reason"].GetString(), "combed");
  const std::string repaired = readFile(path("late.fixed.tpr"));
  ASSERT_EQ(repaired.size(), given.size());
  std::size_t differ = 0;
  for (std::size_t i = 0; i < given.size(); ++i) differ += repaired[i] != given[i];
  EXPECT_EQ(differ, 2u) << "two copy flags change, nothing else";
  EXPECT_EQ(repaired, project(startsOf(fields), entries));

  ASSERT_TRUE(writeFile(path("cut.y4m"), video.substr(0, video.size() - W * H / 2)));
  ASSERT_TRUE(writeFile(path("garbage.y4m"), video + std::string(5000, 'x')));
  ASSERT_TRUE(writeFile(path("broken.y4m"), "FAIL broken.y4m: Invalid data found when processing input\n"));
  ASSERT_TRUE(writeFile(path("audio.y4m"), "FAIL Stream map '0:v:0' matches no streams.\n"));
  ASSERT_TRUE(writeFile(path("text.y4m"), "not a video at all\n"));
  ASSERT_TRUE(writeFile(path("empty.y4m"), ""));
  ASSERT_TRUE(writeFile(path("one.y4m"), y4m({frames[0]})));
  ASSERT_TRUE(writeFile(path("colon: part 1.y4m"), video));
  ASSERT_TRUE(writeFile(path("past.tpr"), project({entries + 4}, entries + 10)));
  const struct {
    std::string video, project;
    std::string message;
  } failures[] = {
      {path("cut.y4m"), "movie.tpr", "Error in the decoded video (the stream ends inside a frame)"},
      {path("garbage.y4m"), "movie.tpr", "Error in the decoded video (a frame of the stream does not start with FRAME"},
      {path("broken.y4m"), "movie.tpr", "broken.y4m: Error, the video decoder failed ("},
      {path("broken.y4m"), "movie.tpr", "broken.y4m: Invalid data found when processing input)"},
      {path("audio.y4m"), "movie.tpr", "audio.y4m: Error, the file has no video stream\n"},
      {path("missing.y4m"), "movie.tpr", "missing.y4m: No such file or directory"},
      {path("text.y4m"), "movie.tpr", "Error in the decoded video (the stream is not YUV4MPEG2)"},
      {path("empty.y4m"), "movie.tpr", "Error, the video has no frames"},
      {path("one.y4m"), "movie.tpr", "Error, the video has only one frame"},
      {path("film.y4m"), "past.tpr", "past.tpr: Error, no kept entry lies within the video"},
  };
  for (const auto& f : failures) {
    const Result bad = run({"--fix", "--video", f.video, path(f.project)});
    EXPECT_EQ(bad.status, cli::kFailed) << f.video;
    EXPECT_NE(bad.err.find(f.message), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "") << "nothing partial is presented as complete";
  }
  EXPECT_FALSE(std::filesystem::exists(path("movie.fixed.tpr"))) << "no repair from a check that failed";
  EXPECT_FALSE(std::filesystem::exists(path("past.fixed.tpr")));
  // Video no telecine gives: progressive film at its own rate.
  std::string progressive = video;
  progressive.replace(progressive.find("F30000:1001 It"), 14, "F24000:1001 Ip");
  ASSERT_TRUE(writeFile(path("progressive.y4m"), progressive));
  const Result film = run({"--json", "--video", path("progressive.y4m"), path("movie.tpr")});
  d.Parse(film.out.c_str());
  ASSERT_TRUE(d.IsArray()) << film.err;
  ASSERT_GE(d[0u]["warnings"].Size(), 1u) << film.out;
  EXPECT_NE(std::string(d[0u]["warnings"][0u].GetString()).find("the video runs at 23.976 fps"), std::string::npos);
  // Several projects, each repaired into its own file.
  ASSERT_TRUE(writeFile(path("other.tpr"), given));
  const Result both =
      run({"--fix", "--video", path("film.y4m"), "--video", path("film.y4m"), path("late.tpr"), path("other.tpr")});
  ASSERT_EQ(both.status, cli::kOk) << both.err;
  EXPECT_EQ(readFile(path("other.fixed.tpr")), repaired);
  EXPECT_EQ(run({"--fix", "-o", path("x.tpr"), "--video", path("film.y4m"), "--video", path("film.y4m"),
                 path("late.tpr"), path("other.tpr")})
                .status,
            cli::kUsage);
  // A name with a colon is a file, not a protocol.
  EXPECT_EQ(run({"--video", path("colon: part 1.y4m"), path("movie.tpr")}).status, cli::kOk);
  EXPECT_EQ(run({path("movie.tpr")}).status, cli::kUsage) << "--video is required";
  const Result noFix = run({"-o", path("x.tpr"), "--video", path("film.y4m"), path("movie.tpr")});
  EXPECT_EQ(noFix.status, cli::kUsage);
  EXPECT_NE(noFix.err.find("goes with --fix"), std::string::npos) << noFix.err;
  const Result derived = run({"--from-video", "--video", path("film.y4m"), path("movie.tpr")});
  EXPECT_EQ(derived.status, cli::kUsage);
  EXPECT_NE(derived.err.find("--from-video"), std::string::npos) << derived.err;
  const Result search = run({"--search", "abc", "--video", path("film.y4m"), path("movie.tpr")});
  EXPECT_NE(search.err.find("must be a whole number"), std::string::npos) << search.err;
}

// Outputs are claimed and opened before the decoder starts: an output that
// cannot be written wastes no decoding. The stand-in notes each start.
TEST_F(CheckCommandTest, OutputsFailBeforeAFrameIsDecoded) {
  ASSERT_TRUE(writeFile(path("film.y4m"), y4m(telecine(20))));
  ASSERT_TRUE(writeFile(path("movie.tpr"), project(startsOf(filmFields(20)), 50)));
  const std::string log = path("starts.log");
#ifdef _WIN32
  _putenv_s("PULLDEX_FAKE_FFMPEG_LOG", log.c_str());
#else
  setenv("PULLDEX_FAKE_FFMPEG_LOG", log.c_str(), 1);
#endif
  const struct {
    std::vector<std::string> args;
    const char* command;
    int status;
  } cases[] = {
      {{"--html=" + path("no/such/folder/page.html"), "--video", path("film.y4m"), path("movie.tpr")},
       "check",
       cli::kFailed},
      {{"--fix", "-o", path("movie.tpr"), "--video", path("film.y4m"), path("movie.tpr")}, "check", cli::kUsage},
      {{"--fix", "-o", path("film.y4m"), "--video", path("film.y4m"), path("movie.tpr")}, "check", cli::kUsage},
      {{"--for", "wobbly", "-o", path("no/such/folder/movie.wob"), "--video", path("film.y4m"), path("movie.tpr")},
       "script",
       cli::kFailed},
  };
  for (const auto& c : cases) {
    const Result r = run(c.args, true, c.command);
    EXPECT_EQ(r.status, c.status) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(log)) << "the decoder was started: " << readFile(log);
  EXPECT_EQ(run({"--video", path("film.y4m"), path("movie.tpr")}).status, cli::kOk);
  EXPECT_TRUE(std::filesystem::exists(log)) << "the stand-in notes its starts";
#ifdef _WIN32
  _putenv_s("PULLDEX_FAKE_FFMPEG_LOG", "");
#else
  unsetenv("PULLDEX_FAKE_FFMPEG_LOG");
#endif
}

// Which program is run as the decoder: the one named, or ffmpeg found
// beside pulldex-cli or in the folders of PATH, never one in the working
// folder; a file that is no program it may run is refused with the reason.
TEST_F(CheckCommandTest, TheDecoderIsTheProgramMeant) {
  ASSERT_TRUE(writeFile(path("film.y4m"), y4m(telecine(20))));
  ASSERT_TRUE(writeFile(path("movie.tpr"), project(startsOf(filmFields(20)), 50)));
  const std::string exe =
#ifdef _WIN32
      ".exe";
#else
      "";
#endif
  std::filesystem::copy_file(fake_, path("ffmpeg" + exe));
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path(""));
  const char* pathVariable = std::getenv("PATH");
  const std::string savedPath = pathVariable ? pathVariable : "";
  const std::string emptyFolder = path("empty");
  std::filesystem::create_directory(emptyFolder);
#ifdef _WIN32
  _putenv_s("PATH", emptyFolder.c_str());
#else
  setenv("PATH", emptyFolder.c_str(), 1);
#endif
  const Result inHere = run({"--video", path("film.y4m"), path("movie.tpr")}, false);
#ifdef _WIN32
  _putenv_s("PATH", savedPath.c_str());
#else
  setenv("PATH", savedPath.c_str(), 1);
#endif
  std::filesystem::current_path(here);
  EXPECT_EQ(inHere.status, cli::kFailed);
  EXPECT_NE(inHere.err.find("Error, can't start the video decoder (ffmpeg"), std::string::npos) << inHere.err;

#ifdef _WIN32
  ASSERT_TRUE(writeFile(path("decode.bat"), "@echo off\r\n"));
  const Result batch = run({"--ffmpeg", path("decode.bat"), "--video", path("film.y4m"), path("movie.tpr")}, false);
  EXPECT_EQ(batch.status, cli::kFailed);
  EXPECT_NE(batch.err.find("Error, the video decoder must be a program, not a batch file"), std::string::npos)
      << batch.err;
#else
  ASSERT_TRUE(writeFile(path("not-a-program"), "#!/bin/sh\n"));
  const Result denied = run({"--ffmpeg", path("not-a-program"), "--video", path("film.y4m"), path("movie.tpr")}, false);
  EXPECT_EQ(denied.status, cli::kFailed);
  EXPECT_NE(denied.err.find("not-a-program: Permission denied)"), std::string::npos) << denied.err;
#endif
  // --threshold 0 means 0: any comb at all.
  const Result zero = run({"--json", "--threshold", "0", "--video", path("film.y4m"), path("movie.tpr")});
  rapidjson::Document d;
  d.Parse(zero.out.c_str());
  ASSERT_TRUE(d.IsArray()) << zero.err;
  EXPECT_EQ(d[0u]["threshold"].GetDouble(), 0.0);
  EXPECT_FALSE(d[0u]["thresholdFromVideo"].GetBool());
}

TEST(CheckProgress, TheLineAndTheTotalTheContainerTells) {
  EXPECT_EQ(cli::progressLine(512, 6000, 1.0), "  512 of 6000 fields, 512 fields/s, 0:00:10 left");
  EXPECT_EQ(cli::progressLine(700, 0, 1.0), "  700 fields, 700 fields/s") << "no total known";
  EXPECT_EQ(framesFromProbe("Input #0, mpegvideo, from 'file:a.m2v':\n  Duration: 00:01:40.10, bitrate: 6000 kb/s\n"
                            "  Stream #0:0: Video: mpeg2video (Main), yuv420p(tv, top first), 720x480 [SAR 8:9 DAR "
                            "4:3], 6000 kb/s, 29.97 fps, 29.97 tbr, 1200k tbn\nAt least one output file must be "
                            "specified\n"),
            3000);
  EXPECT_EQ(framesFromProbe("  Duration: N/A, bitrate: N/A\n  Stream #0:0: Video: rawvideo, 25 tbr\n"), -1);
}

// A Wobbly project takes the source's size, rate and length from the
// decoder, and is refused when the list does not fit the video.
TEST_F(CheckCommandTest, WobblyProjectsOfTheVideoAsItIs) {
  const std::vector<Frame> frames = telecine(40);
  ASSERT_TRUE(writeFile(path("film.y4m"), y4m(frames)));
  const auto entries = static_cast<std::int64_t>(2 * frames.size());
  const std::vector<std::int64_t> starts = startsOf(filmFields(40));
  ASSERT_TRUE(writeFile(path("movie.tpr"), project(starts, entries)));
  const Result r = run({"--for", "wobbly", "--video", path("film.y4m"), path("movie.tpr")}, true, "script");
  ASSERT_EQ(r.status, cli::kOk) << r.err;
  rapidjson::Document d;
  d.Parse(readFile(path("movie.wob")).c_str());
  ASSERT_TRUE(d.IsObject());
  EXPECT_EQ(d["input resolution"][0u].GetInt(), W);
  EXPECT_EQ(d["input frame rate"][1u].GetInt(), 1001);
  EXPECT_EQ(d["matches"].Size() - d["decimated frames"].Size(), starts.size());
  EXPECT_TRUE(std::filesystem::path(d["input file"].GetString()).is_absolute());

  ASSERT_TRUE(writeFile(path("long.tpr"), project(starts, entries + 10)));
  ASSERT_TRUE(writeFile(path("three.tpr"), project({4, 5, 6}, entries)));
  const struct {
    const char* project;
    std::string message;
  } refused[] = {
      {"long.tpr", "Error, the list is longer than the video (" + std::to_string(entries / 2 + 5) + " frames"},
      {"three.tpr", "Error, Wobbly cannot express the list (kept entry 6, 3a,"}};
  for (const auto& c : refused) {
    const Result bad = run({"--for", "wobbly", "--video", path("film.y4m"), path(c.project)}, true, "script");
    EXPECT_EQ(bad.status, cli::kFailed) << c.project;
    EXPECT_NE(bad.err.find(c.message), std::string::npos) << bad.err;
  }
  EXPECT_FALSE(std::filesystem::exists(path("long.wob")) || std::filesystem::exists(path("three.wob")));
  EXPECT_EQ(run({"--for", "wobbly", path("movie.tpr")}, true, "script").status, cli::kUsage) << "--video is required";
}

}  // namespace
}  // namespace pulldex
