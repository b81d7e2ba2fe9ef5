// The fields a flagged stream shows, woven back into frames; what ffmpeg
// tells of each frame's time and each packet's length; DVD index heads.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "video/decoder.h"
#include "video/pulldown.h"

namespace pulldex {
namespace {

// Each picture's lines say which picture they are: 10 × k, plus 1 on its
// bottom (odd) lines. A frame is named by the pictures of its top and its
// bottom field.
std::vector<std::pair<int, int>> woven(const std::vector<int>& counts, bool firstTop) {
  constexpr int w = 4, h = 6;
  PulldownWeaver weaver(w, h, firstTop);
  std::vector<std::pair<int, int>> frames;
  const auto emit = [&](const std::uint8_t* f) {
    for (int y = 2; y < h; ++y) EXPECT_EQ(f[y * w], f[(y - 2) * w + w - 1]) << "a field's lines from one picture";
    frames.emplace_back(f[0] / 10, f[w] / 10);
    EXPECT_EQ(f[w] % 10, 1);
  };
  std::vector<std::uint8_t> picture(w * h);
  for (std::size_t k = 0; k < counts.size(); ++k) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) picture[y * w + x] = static_cast<std::uint8_t>(10 * k + y % 2);
    weaver.add(picture.data(), counts[k], emit);
  }
  weaver.finish(picture.data(), emit);
  return frames;
}

TEST(Pulldown, FlagsToFields) {
  using Frames = std::vector<std::pair<int, int>>;
  const struct {
    std::vector<int> counts;
    bool firstTop;
    Frames frames;  // (picture of the top field, picture of the bottom field)
  } cases[] = {
      // Soft pulldown: T0 B0 T0 | B1 T1 | B2 T2 B2 | T3 B3
      {{3, 2, 3, 2}, true, {{0, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3}}},
      // Bottom first: B0 T0 B0 | T1 B1 | T2 B2 T2 | B3 T3
      {{3, 2, 3, 2}, false, {{0, 0}, {1, 0}, {2, 1}, {2, 2}, {3, 3}}},
      // 2:3 the other way round
      {{2, 3, 2, 3}, true, {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {3, 3}}},
      // Hard telecine or video: every picture as it is
      {{2, 2, 2}, false, {{0, 0}, {1, 1}, {2, 2}}},
      // A stream mixing both
      {{2, 3, 2, 2, 3}, true, {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 4}}},
      // A field left at the end: its frame takes the picture's other field
      {{3}, true, {{0, 0}, {0, 0}}},
      // Counts out of range are taken as 1 to 6
      {{0, 7}, true, {{0, 1}, {1, 1}, {1, 1}, {1, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.counts) + (c.firstTop ? " top first" : " bottom first"));
    EXPECT_EQ(woven(c.counts, c.firstTop), c.frames);
  }
}

TEST(Pulldown, WhatFfmpegTells) {
  const std::string line =
      "[Parsed_showinfo_0 @ 0x5559f9fe1040] [info] n:  12 pts: 480480 pts_time:0.4004 pos: 27640 i:P";
  const std::optional<ShownFrame> f = parseShowinfo(line);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->n, 12);
  EXPECT_EQ(f->pts, 480480);
  const std::optional<ShownFrame> none = parseShowinfo("[Parsed_showinfo_0 @ 0x1] n:   3 pts:NOPTS pts_time:NOPTS");
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->pts);
  for (const char* other : {"[Parsed_showinfo_0 @ 0x1] [info]   side data - pan/scan", "[info] n: 3 pts: 4",
                            "[Parsed_showinfo_0 @ 0x1] [info] color_range:tv"})
    EXPECT_FALSE(parseShowinfo(other)) << other;
  const std::optional<FrameRate> tb =
      parseShowinfoTimeBase("[Parsed_showinfo_0 @ 0x1] [info] config in time_base: 1/1200000, frame_rate: 30000/1001");
  ASSERT_TRUE(tb);
  EXPECT_EQ(tb->den, 1200000);
  // 1.5 frames and 1 frame at 29.97 in 1/1200000 s; 90 kHz ticks of a
  // program stream; times that do not advance.
  EXPECT_EQ(fieldsBetween(60060, 120120, *tb, {30000, 1001}), 3);
  EXPECT_EQ(fieldsBetween(120120, 160160, *tb, {30000, 1001}), 2);
  EXPECT_EQ(fieldsBetween(0, 4505, {1, 90000}, {30000, 1001}), 3);
  EXPECT_EQ(fieldsBetween(7, 7, {1, 90000}, {30000, 1001}), 2);

  // Packets: 2 and 3 fields, or 2 each, whatever the time base.
  PacketCounter soft, hard;
  for (const char* l : {"#tb 0: 1/1200000", "0,          0, -9223372036854775808,    60060,    27640, 0xb58b388f",
                        "0,      60060,      60060,    40040,     1000, 0x1", "0, 100100, 100100, 60060, 9, 0x2",
                        "1, 0, 0, 1920, 9, 0x3"})
    soft.line(l);
  EXPECT_EQ(soft.result().pictures, 3);
  EXPECT_EQ(soft.result().shown, 8);
  for (const char* l : {"0, 0, 0, 3003, 9, 0x1", "0, 3003, 3003, 3003, 9, 0x1"}) hard.line(l);
  EXPECT_EQ(hard.result().shown, 4);

  // Which sequence a list follows: the nearer of the two; none without flags.
  EXPECT_EQ(pulldownFor(150, 150, 120), Pulldown::Applied);
  EXPECT_EQ(pulldownFor(120, 150, 120), Pulldown::Ignored);
  EXPECT_EQ(pulldownFor(146, 150, 120), Pulldown::Applied);
  EXPECT_EQ(pulldownFor(100, 120, 120), Pulldown::None);

  // Complaints: ffmpeg's tagged errors and untagged lines, not its information.
  EXPECT_EQ(firstComplaint("[info] Input #0\n[Parsed_showinfo_0 @ 0x1] [info] n: 0\n[mpeg2video @ 0x2] [error] "
                           "ac-tex damaged at 3 4\n"),
            "ac-tex damaged at 3 4");
  EXPECT_EQ(firstComplaint("movie.m2v: No such file or directory\r\n"), "movie.m2v: No such file or directory");
  EXPECT_EQ(firstComplaint("[warning] deprecated\n"), "");
}

TEST(Pulldown, DvdIndexHeads) {
  const struct {
    std::string text;
    bool ok;
    std::string problem;  // part of the problem's detail
    std::size_t files = 0;
    int fieldOperation = -1;
  } cases[] = {
      {"DGIndexProjectFile16\r\n2\r\nC:\\dvd\\VTS_01_1.VOB\r\nVTS_01_2.VOB\r\n\r\nField_Operation=1\r\n", true, "", 2,
       1},
      {"DGIndexProjectFile16\n1\nmovie.m2v\n", true, "", 1, -1},
      {"DGIndexProjectFile16\n99999999999999999999999\nmovie.m2v\n", false, "line 2"},
      {"DGIndexProjectFile16\n-1\nmovie.m2v\n", false, "line 2"},
      {"DGIndexProjectFile16\n0\n", false, "line 2"},
      {"DGIndexProjectFile16\n3\na.vob\nb.vob\n", false, "line 2 says 3 files"},
      {"DGIndexProjectFile16\n2\na.vob\n\n", false, "line 4"},
      {"DGIndexProjectFile16\n1\na.vob\n\nField_Operation=7\n", false, "line 5"},
      {"not an index\n1\na.vob\n", false, "DGIndexProjectFile"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    DvdIndexHead head;
    const DecodeProblem p = parseDvdIndex(c.text, head);
    EXPECT_EQ(p.ok(), c.ok) << p.detail;
    EXPECT_NE(p.detail.find(c.problem), std::string::npos) << p.detail;
    if (!c.ok) continue;
    EXPECT_EQ(head.files.size(), c.files);
    EXPECT_EQ(head.fieldOperation, c.fieldOperation);
  }
}

}  // namespace
}  // namespace pulldex
