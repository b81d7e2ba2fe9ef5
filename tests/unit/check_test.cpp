// The check of a list against its video: the combing measure on frames made
// by hand, the stream from the decoder, the weighing of a list, and the
// whole command with a stand-in for ffmpeg, so that the process layer of
// every platform is tested.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "project_builder.h"
#include "run_cli.h"
#include "temp_dir.h"
#include "video/check.h"
#include "video/combing.h"
#include "video/y4m.h"

namespace pulldex {
namespace {

using testdata::readFile;
using testdata::writeFile;

constexpr int W = 64, H = 48;
using Picture = std::vector<std::uint8_t>;

// A textured background with a bright square whose left edge is at `x`.
Picture picture(int x) {
  Picture p(W * H);
  for (int r = 0; r < H; ++r)
    for (int c = 0; c < W; ++c)
      p[r * W + c] =
          static_cast<std::uint8_t>(c >= x && c < x + 16 && r >= 8 && r < 40 ? 230 : 40 + (c * 7 + r * 3) % 20);
  return p;
}

// Even lines of `top`, odd lines of `bottom`.
Picture weave(const Picture& top, const Picture& bottom) {
  Picture p(W * H);
  for (int r = 0; r < H; ++r) std::memcpy(&p[r * W], &(r % 2 ? bottom : top)[r * W], W);
  return p;
}

TEST(CombMeter, OnlyPicturesWovenFromTwoMomentsComb) {
  const Picture still = picture(20), moved = picture(28);
  Picture flat(W * H, 128), edge(W * H, 0), line = still;
  for (int i = W * H / 2; i < W * H; ++i) edge[i] = 255;
  for (int c = 0; c < W; ++c) line[21 * W + c] = 250;  // one line, one pixel thick
  const struct {
    const char* what;
    Picture even, odd, before, after;
    bool combed;
  } cases[] = {
      {"flat grey", flat, flat, flat, flat, false},
      {"one picture, moving", still, still, moved, moved, false},
      {"two moments woven", moved, still, still, still, true},
      {"two moments woven, the other way", still, moved, moved, moved, true},
      {"a sharp horizontal edge, moving", edge, edge, flat, flat, false},
      {"a line one pixel thick, moving", line, line, flat, flat, false},
      {"two pictures that are the same", still, still, still, still, false},
  };
  CombMeter meter(W, H);
  for (const auto& c : cases) {
    const int score = meter.score(c.even.data(), c.odd.data(), c.before.data(), c.after.data());
    if (c.combed) {
      EXPECT_GT(score, 200) << c.what;
    } else {
      EXPECT_LE(score, 2) << c.what;
    }
  }
}

// The measure as its header says it, pixel by pixel, against what the meter
// does many pixels at a time, on noisy frames of widths that leave a rest.
TEST(CombMeter, EveryPixelAsTheRulesSay) {
  std::uint32_t seed = 5;
  const auto random = [&] {
    seed = seed * 1103515245 + 12345;
    return static_cast<std::uint8_t>(seed >> 16);
  };
  for (const int w : {7, 33, 64, 77, 720}) {
    const int h = 23;
    Picture a(static_cast<std::size_t>(w * h)), b(a.size()), c(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      a[i] = random();
      b[i] = random() % 2 ? a[i] : random();  // half of the picture moves
      c[i] = random();
    }
    const auto px = [&](const Picture& p, int x, int y) { return static_cast<int>(p[static_cast<std::size_t>(y * w + x)]); };
    const auto combed = [&](int x, int y) {
      const Picture& r = y % 2 ? a : b;  // even lines of b, odd lines of a
      const auto at = [&](int yy) { return px(yy % 2 ? a : b, x, yy); };
      const int v = at(y), d1 = v - at(y - 1), d2 = v - at(y + 1);
      const bool sameWay = (d1 > kCombPixelThreshold && d2 > kCombPixelThreshold) ||
                           (d1 < -kCombPixelThreshold && d2 < -kCombPixelThreshold);
      const bool fields =
          std::abs(at(y - 2) + 4 * v + at(y + 2) - 3 * (at(y - 1) + at(y + 1))) > 6 * kCombPixelThreshold;
      const bool moves = std::abs(px(b, x, y) - px(c, x, y)) > kCombMotionThreshold ||
                         std::abs(px(b, x, y) - px(a, x, y)) > kCombMotionThreshold;
      (void)r;
      return sameWay && fields && moves;
    };
    std::int64_t count = 0;
    for (int y = 3; y + 3 < h; ++y)
      for (int x = 0; x < w; ++x) count += combed(x, y - 1) && combed(x, y) && combed(x, y + 1);
    const std::int64_t pixels = static_cast<std::int64_t>(w) * h;
    CombMeter meter(w, h);
    EXPECT_EQ(meter.score(b.data(), a.data(), c.data(), a.data()), (count * kCombScoreMax + pixels / 2) / pixels)
        << "width " << w;
  }
}

// Bytes in memory as a stream, handed out in pieces of at most `step`.
class Bytes final : public ByteSource {
 public:
  Bytes(std::string bytes, std::size_t step) : bytes_(std::move(bytes)), step_(step) {}
  std::int64_t read(void* data, std::size_t n) override {
    const std::size_t part = std::min({n, step_, bytes_.size() - at_});
    std::memcpy(data, bytes_.data() + at_, part);
    at_ += part;
    return static_cast<std::int64_t>(part);
  }

 private:
  std::string bytes_;
  std::size_t step_, at_ = 0;
};

std::string y4m(const std::vector<Picture>& frames, const char* colour = "mono") {
  std::string s = std::string("YUV4MPEG2 W") + std::to_string(W) + " H" + std::to_string(H) + " F30000:1001 Ip A1:1 C" +
                  colour + " XCOLORRANGE=FULL\n";
  const std::size_t chroma = std::strcmp(colour, "mono") == 0 ? 0 : 2 * (W / 2) * (H / 2);
  for (const Picture& f : frames) {
    s += "FRAME\n";
    s.append(reinterpret_cast<const char*>(f.data()), f.size());
    s.append(chroma, '\x80');
  }
  return s;
}

TEST(Y4mReader, WholeFramesOrAClearReason) {
  const std::vector<Picture> two = {picture(1), picture(2)};
  const std::string good = y4m(two);
  const struct {
    const char* what;
    std::string bytes;
    int frames;
    Y4mResult end;
  } cases[] = {
      {"grey", good, 2, Y4mResult::End},
      {"with colour", y4m(two, "420jpeg"), 2, Y4mResult::End},
      {"cut inside a frame", good.substr(0, good.size() - 10), 1, Y4mResult::Truncated},
      {"cut inside FRAME", good.substr(0, good.size() - W * H - 3), 1, Y4mResult::Truncated},
      {"no header", "hello\n", 0, Y4mResult::NotY4m},
      {"no size", "YUV4MPEG2 F25:1 Cmono\n", 0, Y4mResult::BadHeader},
      {"ten bits", "YUV4MPEG2 W64 H48 F30000:1001 C420p10\n", 0, Y4mResult::BadHeader},
      {"no FRAME", "YUV4MPEG2 W64 H48 F30000:1001 Cmono\nFRAMX\n", 0, Y4mResult::BadFrame},
      {"nothing", "", 0, Y4mResult::End},
  };
  for (const auto& c : cases)
    for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
      Bytes bytes(c.bytes, step);
      Y4mReader reader(bytes);
      Y4mHeader h;
      Y4mResult r = reader.readHeader(h);
      int frames = 0;
      Picture p(W * H);
      if (r == Y4mResult::Frame) {
        EXPECT_EQ(h.width, W);
        EXPECT_EQ(h.rate.num, 30000);
        while ((r = reader.next(p.data())) == Y4mResult::Frame) EXPECT_EQ(p, two[static_cast<std::size_t>(frames++)]);
      }
      EXPECT_EQ(frames, c.frames) << c.what << ", step " << step;
      EXPECT_EQ(r, c.end) << c.what << ", step " << step;
    }
}

// The fields of 3:2 film and then of video: picture k's fields start where
// the pattern puts them; each field is one picture's top or bottom lines in
// turn.
struct Telecined {
  std::vector<Picture> frames;
  std::vector<std::int64_t> starts;  // the field where each picture starts
};

Telecined telecine(int pictures) {
  Telecined t;
  std::vector<int> fieldPicture;
  for (int k = 0; k < pictures; ++k) {
    t.starts.push_back(static_cast<std::int64_t>(fieldPicture.size()));
    // 3:2 film, then video: two fields a picture.
    for (int f = 0; f < (k % 2 && k < pictures / 2 ? 3 : 2); ++f) fieldPicture.push_back(k);
  }
  if (fieldPicture.size() % 2) fieldPicture.push_back(pictures - 1);
  for (std::size_t f = 0; f < fieldPicture.size(); f += 2)
    // Top field first: field f is the frame's top lines, f + 1 its bottom.
    t.frames.push_back(weave(picture(4 + 3 * fieldPicture[f]), picture(4 + 3 * fieldPicture[f + 1])));
  return t;
}

FrameList keeping(const std::vector<std::int64_t>& kept, std::int64_t entries) {
  FrameList list;
  list.entries.resize(static_cast<std::size_t>(entries));
  for (const std::int64_t k : kept) list.entries[static_cast<std::size_t>(k)].state = Kept;
  return list;
}

// The weighing of a list against scores made by hand: clean pairs of one
// picture score 1, pairs of two 60.
TEST(ListCheck, CombedEntriesSuggestionsAndTheBestShift) {
  const Telecined t = telecine(40);
  const auto fields = static_cast<std::int64_t>(2 * t.frames.size());
  std::vector<int> pictureOf(static_cast<std::size_t>(fields), 39);
  for (std::size_t k = 0; k < t.starts.size(); ++k)
    for (std::int64_t f = t.starts[k]; f < fields; ++f) pictureOf[static_cast<std::size_t>(f)] = static_cast<int>(k);
  const auto run = [&](const std::vector<std::int64_t>& kept, int shift) {
    const FrameList list = keeping(kept, fields);
    ListCheck check(list, {});
    for (std::int64_t f = 0; f + 1 < fields; ++f) {
      const std::int64_t g = std::clamp<std::int64_t>(f - shift, 0, fields - 2);
      check.add(pictureOf[static_cast<std::size_t>(g)] == pictureOf[static_cast<std::size_t>(g + 1)] ? 1 : 60);
    }
    return check.finish();
  };
  const CheckResult right = run(t.starts, 0);
  EXPECT_EQ(right.threshold, 4) << "1 × 1.5 + 2";
  EXPECT_EQ(right.clean, right.kept);
  EXPECT_TRUE(right.combed.empty());
  EXPECT_EQ(right.best, 0);

  // Two kept entries moved onto the last field of a two-field picture.
  std::vector<std::int64_t> moved = t.starts;
  moved[2] += 1;
  moved[10] += 1;
  const CheckResult wrong = run(moved, 0);
  ASSERT_EQ(wrong.combed.size(), 2u);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(wrong.combed[k].entry, moved[k ? 10 : 2]);
    EXPECT_EQ(wrong.combed[k].suggestion, t.starts[k ? 10 : 2]) << "keep the field before instead";
  }
  EXPECT_EQ(wrong.kept - wrong.clean, 2);

  // The video starting two fields later than the list: found, and the equal
  // fits named.
  const CheckResult late = run(t.starts, -2);
  EXPECT_EQ(late.best, -2);
  EXPECT_TRUE(late.clearlyBetter);
  EXPECT_DOUBLE_EQ(late.at(-2).share(), 1.0);
  EXPECT_LT(late.at(0).share(), 0.8);
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

// The whole command through a child process: what the decoder's stream says,
// and every way the decoder can fail.
TEST_F(CheckCommandTest, ThroughAChildProcess) {
  const Telecined t = telecine(40);
  ASSERT_TRUE(writeFile(path("film.y4m"), y4m(t.frames)));
  const auto fields = static_cast<std::int64_t>(2 * t.frames.size());
  std::vector<testdata::Record> records;
  for (std::int64_t i = 0; i < fields; ++i)
    records.push_back({static_cast<std::int32_t>(i), 0,
                       static_cast<std::uint8_t>(std::find(t.starts.begin(), t.starts.end(), i) == t.starts.end())});
  ASSERT_TRUE(writeFile(path("movie.tpr"), testdata::ivtcBlock(records)));
  const Result r = run({"--json", "--video", path("film.y4m"), path("movie.tpr")});
  ASSERT_EQ(r.status, cli::kOk) << r.err;
  rapidjson::Document d;
  d.Parse(r.out.c_str());
  ASSERT_TRUE(d.IsArray() && d.Size() == 1) << r.out;
  EXPECT_EQ(d[0u]["videoFields"].GetInt(), fields);
  EXPECT_EQ(d[0u]["kept"].GetInt(), 40);
  EXPECT_EQ(d[0u]["combed"].Size(), 0u) << r.out;
  EXPECT_EQ(d[0u]["offset"]["best"].GetInt(), 0);

  const std::string y = y4m(t.frames);
  ASSERT_TRUE(writeFile(path("cut.y4m"), y.substr(0, y.size() - W * H / 2)));
  ASSERT_TRUE(writeFile(path("broken.y4m"), "FAIL broken.y4m: Invalid data found when processing input\n"));
  ASSERT_TRUE(writeFile(path("text.y4m"), "not a video at all\n"));
  ASSERT_TRUE(writeFile(path("empty.y4m"), ""));
  const struct {
    std::string video;
    std::string message;
  } failures[] = {
      {path("cut.y4m"), "Error in the decoded video (the stream ends inside a frame)"},
      {path("broken.y4m"), "Error, the video decoder failed ("},
      {path("broken.y4m"), "broken.y4m: Invalid data found when processing input)"},
      {path("missing.y4m"), "missing.y4m: No such file or directory"},
      {path("text.y4m"), "Error in the decoded video (the stream is not YUV4MPEG2)"},
      {path("empty.y4m"), "Error, the video has no frames"},
  };
  for (const auto& f : failures) {
    const Result bad = run({"--video", f.video, path("movie.tpr")});
    EXPECT_EQ(bad.status, cli::kFailed) << f.video;
    EXPECT_NE(bad.err.find(f.message), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "") << "nothing partial is presented as complete";
  }
  const Result missing =
      run({"--ffmpeg", path("no-such-program"), "--video", path("film.y4m"), path("movie.tpr")}, false);
  EXPECT_EQ(missing.status, cli::kFailed);
  EXPECT_NE(missing.err.find("Error, can't start the video decoder (" + path("no-such-program")), std::string::npos)
      << missing.err;
  EXPECT_EQ(run({path("movie.tpr")}).status, cli::kUsage) << "--video is required";
}

// A Wobbly project takes the source's size, rate and length from the
// decoder, and is refused when the list does not fit the video.
TEST_F(CheckCommandTest, WobblyProjectsOfTheVideoAsItIs) {
  const Telecined t = telecine(40);
  ASSERT_TRUE(writeFile(path("film.y4m"), y4m(t.frames)));
  const auto fields = static_cast<std::int64_t>(2 * t.frames.size());
  const auto project = [&](const std::string& name, std::int64_t entries, const std::vector<std::int64_t>& kept) {
    std::vector<testdata::Record> records;
    for (std::int64_t i = 0; i < entries; ++i)
      records.push_back({static_cast<std::int32_t>(i), 0,
                         static_cast<std::uint8_t>(std::find(kept.begin(), kept.end(), i) == kept.end())});
    ASSERT_TRUE(writeFile(path(name), testdata::ivtcBlock(records)));
  };
  project("movie.tpr", fields, t.starts);
  const Result r = run({"--for", "wobbly", "--video", path("film.y4m"), path("movie.tpr")}, true, "script");
  ASSERT_EQ(r.status, cli::kOk) << r.err;
  rapidjson::Document d;
  d.Parse(readFile(path("movie.wob")).c_str());
  ASSERT_TRUE(d.IsObject());
  EXPECT_EQ(d["input resolution"][0u].GetInt(), W);
  EXPECT_EQ(d["input frame rate"][1u].GetInt(), 1001);
  EXPECT_EQ(d["matches"].Size() - d["decimated frames"].Size(), t.starts.size());
  EXPECT_TRUE(std::filesystem::path(d["input file"].GetString()).is_absolute());

  project("long.tpr", fields + 10, t.starts);
  project("three.tpr", fields, {4, 5, 6});
  const struct {
    const char* project;
    std::string message;
  } refused[] = {
      {"long.tpr", "Error, the list is longer than the video (" + std::to_string(fields / 2 + 5) + " frames"},
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
