// What the check sees of a video: the combing measure on frames made by
// hand, the decoder's stream, and the grouping of fields into pictures on
// scores made by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frames.h"
#include "video/combing.h"
#include "video/finding_frames.h"
#include "video/pictures.h"
#include "video/y4m.h"

namespace pulldex {
namespace {

constexpr int W = testing::kFrameWidth, H = testing::kFrameHeight;
using testing::Frame;
using testing::picture;

// Even lines of `top`, odd lines of `bottom`.
Frame weave(const Frame& top, const Frame& bottom, int w = W, int h = H) {
  Frame p(static_cast<std::size_t>(w * h));
  for (int r = 0; r < h; ++r) std::memcpy(&p[r * w], &(r % 2 ? bottom : top)[r * w], static_cast<std::size_t>(w));
  return p;
}

TEST(CombMeter, OnlyPicturesWovenFromTwoMomentsComb) {
  const Frame still = picture(20), moved = picture(28);
  Frame flat(W * H, 128), edge(W * H, 0), line = still;
  for (int i = W * H / 2; i < W * H; ++i) edge[i] = 255;
  for (int c = 0; c < W; ++c) line[21 * W + c] = 250;  // one line, one pixel thick
  Frame stripes = still;                               // lines of one pixel, a still picture's detail
  for (int r = 0; r < H; r += 2) std::fill(stripes.begin() + r * W, stripes.begin() + r * W + W, 200);
  const struct {
    const char* what;
    Frame even, odd, before, after;
    bool combed;
  } cases[] = {
      {"flat grey", flat, flat, flat, flat, false},
      {"one picture, moving", still, still, moved, moved, false},
      {"two moments woven", moved, still, still, still, true},
      {"two moments woven, the other way", still, moved, moved, moved, true},
      // The frame after repeats this frame's top field: its even lines are
      // still, the odd ones between them move.
      {"two moments, one field repeated", still, moved, weave(still, still), weave(still, moved), true},
      {"a sharp horizontal edge, moving", edge, edge, flat, flat, false},
      {"a line one pixel thick, moving", line, line, flat, flat, false},
      {"lines of one pixel in a still picture", stripes, stripes, stripes, stripes, false},
      {"two pictures that are the same", still, still, still, still, false},
  };
  CombMeter meter(W, H);
  for (const auto& c : cases) {
    const CombScore score = meter.score(c.even.data(), c.odd.data(), c.before.data(), c.after.data());
    if (c.combed) {
      EXPECT_GT(score.worst, kCombScoreMax / 4) << c.what;
    } else {
      EXPECT_LE(score.worst, 2) << c.what;
    }
  }
}

// The measure is local: a small object that moves over a large still
// picture combs its window fully, where a share of the whole frame would be
// a few pixels in ten thousand.
TEST(CombMeter, ASmallObjectOverAStillPictureCombsWhereItIs) {
  constexpr int w = 720, h = 480;
  Frame back(w * h);
  for (int i = 0; i < w * h; ++i) back[i] = static_cast<std::uint8_t>(60 + (i * 37 + i / w * 11) % 50);
  const auto withObject = [&](int x) {
    Frame p = back;
    for (int r = 300; r < 316; ++r)
      for (int c = x; c < x + 16; ++c) p[r * w + c] = 240;
    return p;
  };
  const Frame a = withObject(400), b = withObject(406);
  CombMeter meter(w, h);
  const CombScore s = meter.score(b.data(), a.data(), a.data(), a.data());
  EXPECT_GE(s.worst, 40);
  // Where it is: the worst window holds the object's moving edge.
  EXPECT_GE(s.x + kCombWindow, 400);
  EXPECT_LE(s.x, 422);
  EXPECT_GE(s.y + kCombWindow, 300);
  EXPECT_LE(s.y, 316);
}

// The measure as its header says it, pixel by pixel and window by window,
// against what the meter does many pixels at a time, on noisy frames of
// widths that leave a rest.
TEST(CombMeter, EveryPixelAsTheRulesSay) {
  std::uint32_t seed = 5;
  const auto random = [&] {
    seed = seed * 1103515245 + 12345;
    return static_cast<std::uint8_t>(seed >> 16);
  };
  for (const int w : {7, 33, 64, 77, 720}) {
    const int h = 37;
    Frame a(static_cast<std::size_t>(w * h)), b(a.size()), c(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      a[i] = random();
      b[i] = random() % 2 ? a[i] : random();  // half of the picture moves
      c[i] = random() % 4 ? b[i] : random();
    }
    // The frame: even lines of b, odd lines of a; motion of b against a and c.
    const auto px = [&](const Frame& p, int x, int y) {
      return static_cast<int>(p[static_cast<std::size_t>(y * w + x)]);
    };
    const auto at = [&](int x, int y) { return px(y % 2 ? a : b, x, y); };
    const auto combs = [&](int x, int y) {
      const int v = at(x, y), d1 = v - at(x, y - 1), d2 = v - at(x, y + 1);
      const int t = kCombPixelThreshold;
      return ((d1 > t && d2 > t) || (d1 < -t && d2 < -t)) &&
             std::abs(at(x, y - 2) + 4 * v + at(x, y + 2) - 3 * (at(x, y - 1) + at(x, y + 1))) > 6 * t;
    };
    const auto moves = [&](int x, int y) {
      return std::abs(px(b, x, y) - px(c, x, y)) > kCombMotionThreshold ||
             std::abs(px(b, x, y) - px(a, x, y)) > kCombMotionThreshold;
    };
    const auto moving = [&](int x, int y) { return moves(x, y) || (moves(x, y - 1) && moves(x, y + 1)); };
    const auto counted = [&](int x, int y) {
      return y >= 4 && y + 4 < h && combs(x, y - 1) && combs(x, y) && combs(x, y + 1) && moving(x, y - 1) &&
             moving(x, y) && moving(x, y + 1);
    };
    CombScore want;
    for (int y0 = 0; y0 < h; y0 += 8)
      for (int x0 = 0; x0 < w; x0 += 8) {
        int n = 0;
        for (int y = y0; y < std::min(h, y0 + kCombWindow); ++y)
          for (int x = x0; x < std::min(w, x0 + kCombWindow); ++x) n += counted(x, y);
        if (n > want.worst) want = {n, x0, y0};
      }
    CombMeter meter(w, h);
    const CombScore got = meter.score(b.data(), a.data(), c.data(), a.data());
    EXPECT_EQ(got.worst, want.worst) << "width " << w;
    EXPECT_EQ(got.x, want.x) << "width " << w;
    EXPECT_EQ(got.y, want.y) << "width " << w;
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

std::string y4m(const std::vector<Frame>& frames, const char* colour = "mono") {
  std::string s = std::string("YUV4MPEG2 W") + std::to_string(W) + " H" + std::to_string(H) + " F30000:1001 It A1:1 C" +
                  colour + " XCOLORRANGE=FULL\n";
  const std::size_t chroma = std::strcmp(colour, "mono") == 0 ? 0 : 2 * (W / 2) * (H / 2);
  for (const Frame& f : frames) {
    s += "FRAME\n";
    s.append(reinterpret_cast<const char*>(f.data()), f.size());
    s.append(chroma, '\x80');
  }
  return s;
}

TEST(Y4mReader, WholeFramesOrAClearReason) {
  const std::vector<Frame> two = {picture(1), picture(2)};
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
      {"garbage after the frames", good + std::string(5000, 'x'), 2, Y4mResult::BadFrame},
      {"a short line of garbage at the end", good + "oops", 2, Y4mResult::BadFrame},
      {"a header longer than any", "YUV4MPEG2 W64 H48 X" + std::string(5000, 'x') + "\n", 0, Y4mResult::BadHeader},
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
      Frame p(W * H);
      if (r == Y4mResult::Frame) {
        EXPECT_EQ(h.width, W);
        EXPECT_EQ(h.rate.num, 30000);
        if (c.bytes.find(" It ") < c.bytes.find('\n')) {
          EXPECT_EQ(h.scan, 't');
        }
        while ((r = reader.next(p.data())) == Y4mResult::Frame) EXPECT_EQ(p, two[static_cast<std::size_t>(frames++)]);
      }
      EXPECT_EQ(frames, c.frames) << c.what << ", step " << step;
      EXPECT_EQ(r, c.end) << c.what << ", step " << step;
    }
}

// Scores of every pair for one field order, as the decoder's frames give
// them: pair 2k frame k as it is, pair 2k + 1 woven with the next frame;
// the other order's pairings score `other`.
FrameScores scoresOf(const std::vector<int>& pairs, bool topFirst, int other = 200) {
  FrameScores s;
  for (std::size_t k = 0; 2 * k < pairs.size(); ++k) {
    const bool last = 2 * k + 1 >= pairs.size();
    const int cross = last ? -1 : pairs[2 * k + 1];
    s.add(pairs[2 * k], last ? -1 : topFirst ? cross : other, last ? -1 : topFirst ? other : cross, 1 << 20);
  }
  return s;
}

// 2:3 film: the pairs inside a picture clean, those across two combed.
std::vector<int> film(int pictures, int clean, int combed) {
  std::vector<int> s;
  for (int k = 0; k < pictures; ++k) {
    const int fields = k % 2 ? 3 : 2;
    for (int f = 1; f < fields; ++f) s.push_back(clean);
    s.push_back(combed);
  }
  s.pop_back();  // no picture after the last
  return s;
}

TEST(VideoPictures, FieldsGroupIntoThePicturesTheFilmHad) {
  // Film, bright and dark, and dense moving detail in a small picture,
  // whose clean pairings comb a little and combed ones not much more, or
  // near the top of the scale: each judged against the pairs around it.
  for (const auto& [clean, combed] : {std::pair{40, 180}, std::pair{3, 50}, std::pair{30, 60}, std::pair{130, 220}}) {
    const VideoPictures v(scoresOf(film(40, clean, combed), true), true);
    ASSERT_EQ(v.pictures().size(), 40u) << clean;
    for (std::size_t k = 0; k < 40; ++k) {
      const Picture& p = v.pictures()[k];
      EXPECT_EQ(p.fields(), k % 2 ? 3 : 2);
      EXPECT_TRUE(p.counted) << k;
    }
    EXPECT_TRUE(v.combed(1));
    EXPECT_TRUE(v.clean(2) && v.clean(3));
    EXPECT_EQ(v.shows(2), 1);
    EXPECT_EQ(v.shows(1), -1);
  }

  // Stretches that prove nothing: a still one, where no pairing combs, and
  // one of video whose every field is its own moment, where all do.
  std::vector<int> s = film(40, 30, 160);
  s.insert(s.end(), 100, 2);
  const std::vector<int> more = film(40, 30, 160);
  s.insert(s.end(), more.begin(), more.end());
  s.insert(s.end(), 100, 200);
  s.insert(s.end(), more.begin(), more.end());
  const VideoPictures v(scoresOf(s, true), true);
  const auto still = v.stretches(Stretch::Still), interlaced = v.stretches(Stretch::Interlaced);
  ASSERT_EQ(still.size(), 1u);
  ASSERT_EQ(interlaced.size(), 1u);
  // The still one near where it is: within a window of pairs of it (40),
  // each pair is judged against the film beside it too, and the few combed
  // pairs near its edge look like a drawing held. The video exactly, from
  // the film's last clean pair (297) to its next (398), the pairs that
  // cross from one to the other left to the film.
  EXPECT_NEAR(static_cast<double>(still[0].from), 100, 40);
  EXPECT_EQ(interlaced[0].from, 299);
  EXPECT_EQ(interlaced[0].to, 397);
  EXPECT_FALSE(v.clean(150) || v.combed(150) || v.clean(350) || v.combed(350));
  EXPECT_EQ(v.shows(150), -1);

  // A burst of noise over several pairs in a row is no comb; a pair above
  // the limit but far cleaner than both beside it is clean.
  std::vector<int> burst = film(40, 30, 160);
  for (int p = 40; p < 45; ++p) burst[p] = 90;
  burst[51] = 100;  // inside a three-field picture, between two combed pairs
  burst[50] = burst[52] = 250;
  const VideoPictures b(scoresOf(burst, true), true);
  for (int p = 40; p < 45; ++p) EXPECT_FALSE(b.combed(p)) << p;
  EXPECT_TRUE(b.clean(51));
}

// Video edited from sources of both orders is judged stretch by stretch.
// Film tells the order where one order's pairing is clean and the other's
// combed; a change needs more than a few frames that tell it.
TEST(VideoPictures, EachStretchInItsOwnOrder) {
  // Film of 40 pictures (50 frames) in each order of `orders`, one after the
  // other; `against`: frames where the wrong order's pairing is the clean one.
  const auto scores = [](const std::vector<bool>& orders, const std::vector<int>& against = {}) {
    std::vector<int> pairs;
    for (std::size_t i = 0; i < orders.size(); ++i) {
      const std::vector<int> f = film(40, 30, 160);
      if (i > 0) pairs.push_back(200);  // across the cut: no pairing weaves
      pairs.insert(pairs.end(), f.begin(), f.end());
    }
    FrameScores s;
    for (std::size_t k = 0; 2 * k < pairs.size(); ++k) {
      const bool last = 2 * k + 1 >= pairs.size();
      int right = last ? -1 : pairs[2 * k + 1], wrong = last ? -1 : 200;
      if (std::find(against.begin(), against.end(), static_cast<int>(k)) != against.end()) std::swap(right, wrong);
      const bool top = orders[std::min(k / 50, orders.size() - 1)];
      s.add(pairs[2 * k], top ? right : wrong, top ? wrong : right, 1 << 20);
    }
    return s;
  };
  const struct Case {
    const char* what;
    FrameScores scores;
    bool fallback;
    std::vector<std::pair<std::int64_t, bool>> orders;  // from frame, top first
    bool film = true;                                   // 40 pictures a stretch, as they were
  } cases[] = {
      {"top first", scores({true}), false, {{0, true}}},
      {"bottom first", scores({false}), true, {{0, false}}},
      // The change at the first frame that tells it; frames 49 and 50 tell
      // nothing, the pair across the cut and a combed one.
      {"top, then bottom", scores({true, false}), true, {{0, true}, {51, false}}},
      {"bottom, top, bottom", scores({false, true, false}), true, {{0, false}, {51, true}, {101, false}}},
      {"a few frames against", scores({true}, {10, 11, 13, 16, 30}), false, {{0, true}}, false},
      {"nothing tells", scoresOf(std::vector<int>(200, 2), true, 2), false, {{0, false}}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::int64_t, bool>> got;
    for (const OrderSpan& o : fieldOrdersOf(c.scores, c.fallback)) got.emplace_back(o.from, o.topFirst);
    EXPECT_EQ(got, c.orders) << c.what;
    // Judged in those orders, each stretch's pictures are the film's.
    const VideoPictures v(c.scores, fieldOrdersOf(c.scores, c.fallback));
    if (c.film) {
      EXPECT_EQ(v.pictures().size(), 40 * c.orders.size()) << c.what;
      for (const Picture& p : v.pictures()) EXPECT_TRUE(p.counted) << c.what << ": " << p.first;
      EXPECT_EQ(v.topFirstAt(2 * 60), c.orders.size() > 1 ? c.orders[1].second : c.orders[0].second) << c.what;
    }
  }
}

// The page's pictures: only the frames the findings' pairs weave are kept,
// an odd pair woven from two frames, the video's last field's frame as it is.
TEST(FindingFrames, TheFramesOfThePairsAsked) {
  constexpr int w = 8, h = 6;  // thumbnails of 8 columns keep every pixel
  const auto frameOf = [&](int k) { return std::vector<std::uint8_t>(w * h, static_cast<std::uint8_t>(10 * k + 5)); };
  FindingFrames frames(w, h, {4, 7, 11});
  for (int k = 0; k < 6; ++k) frames.frame(k, frameOf(k).data());
  frames.ended(6);
  const auto grey = [&](std::int64_t pair, bool topFirst) {
    const std::optional<Thumbnail> t = frames.pair(pair, topFirst);
    std::vector<int> lines;
    if (t)
      for (int r = 0; r < t->height; ++r) lines.push_back(t->pixels[static_cast<std::size_t>(r * t->width)]);
    return lines;
  };
  EXPECT_EQ(grey(4, true), (std::vector<int>{25, 25, 25, 25, 25, 25}));
  // Top field first: the next frame's top lines, this frame's bottom ones.
  EXPECT_EQ(grey(7, true), (std::vector<int>{45, 35, 45, 35, 45, 35}));
  EXPECT_EQ(grey(7, false), (std::vector<int>{35, 45, 35, 45, 35, 45}));
  EXPECT_EQ(grey(11, true), (std::vector<int>{55, 55, 55, 55, 55, 55}));  // the last field
  EXPECT_TRUE(grey(2, true).empty());                                     // frame 1 was not asked for
  EXPECT_TRUE(grey(0, true).empty());                                     // nor frame 0
}

TEST(VideoPictures, TheFieldOrderShowsInTheOtherPairings) {
  const std::vector<int> s = film(60, 20, 150);
  EXPECT_EQ(fieldOrderOf(scoresOf(s, true)), std::optional<bool>(true));
  EXPECT_EQ(fieldOrderOf(scoresOf(s, false)), std::optional<bool>(false));
  // Still: nothing tells.
  EXPECT_EQ(fieldOrderOf(scoresOf(std::vector<int>(120, 1), true, 1)), std::nullopt);
  // Video whose every field is its own moment: the wrong order weaves
  // moments further apart, which comb more.
  EXPECT_EQ(fieldOrderOf(scoresOf(std::vector<int>(200, 180), false, 250)), std::optional<bool>(false));
  EXPECT_EQ(fieldOrderOf(scoresOf(std::vector<int>(200, 180), true, 185)), std::nullopt);
}

}  // namespace
}  // namespace pulldex
