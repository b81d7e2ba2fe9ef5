// The command line's shared pieces: output names, rates, JSON text, and the
// numbers the export formats write.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "base/utf8.h"
#include "cli/cli.h"
#include "formats/cadence_report.h"
#include "formats/frame_numbers.h"
#include "lists.h"

namespace pulldex::cli {
namespace {

TEST(OutputNames, BesideTheProjectNeverTheProjectItself) {
  const struct {
    const char *project, *infix, *extension, *expected;
  } cases[] = {
      {"movie.tpr", "", ".asc", "movie.asc"},
      {"dir/movie.tpr", ".nocopy", "", "dir/movie.nocopy.tpr"},
      {"movie", ".report", ".html", "movie.report.html"},
      {"a.b/movie", "", ".sfs", "a.b/movie.sfs"},
      {"x.asc", "", ".asc", "x.asc.asc"},
      {"X.ASC", "", ".asc", "X.ASC.asc"},
      {"d:\\v\\m.TPR", ".frames", ".txt", "d:\\v\\m.frames.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(besideProject(c.project, c.infix, c.extension), c.expected) << c.project;
}

TEST(Rates, FractionsIntegersAndDecimals) {
  const struct {
    const char* text;
    std::int64_t num, den;  // 0: refused
  } cases[] = {
      {"30000/1001", 30000, 1001},
      {"25", 25, 1},
      {"29.97", 30000, 1001},
      {"23.976", 24000, 1001},
      {"59.94", 60000, 1001},
      {"12.5", 125, 10},
      {"24/1", 24, 1},
      {"0", 0, 0},
      {"25/0", 0, 0},
      {"-25", 0, 0},
      {"abc", 0, 0},
      {"", 0, 0},
      {"1.", 0, 0},
      {"30000/1001/2", 0, 0},
      {"99999999", 0, 0},
      {" 25", 0, 0},
  };
  for (const auto& c : cases) {
    std::int64_t num = 0, den = 0;
    const bool ok = parseRate(c.text, num, den);
    EXPECT_EQ(ok, c.num != 0) << c.text;
    if (ok) {
      EXPECT_EQ(num * c.den, c.num * den) << c.text;
    }
  }
}

// Text for other programs' files: JSON strings stay valid UTF-8, and a
// comment line of a script never ends before the name in it does.
TEST(Text, ValidUtf8AndInertComments) {
  const struct {
    std::string in, valid;
    bool replaced;
    std::string comment;
  } cases[] = {
      {"movie.tpr", "movie.tpr", false, "movie.tpr"},
      {"a\"b\\c\n", "a\"b\\c\n", false, "a\"b\\c\\n"},
      {"x\r\nimport os\t\x01", "x\r\nimport os\t\x01", false, "x\\r\\nimport os\\t\\x01"},
      {"\xe6\x97\xa5\xe6\x9c\xac-\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac-\xc3\xa9", false,
       "\xe6\x97\xa5\xe6\x9c\xac-\xc3\xa9"},
      {"bad\xe9", "bad\xef\xbf\xbd", true, "bad\\xE9"},
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd", true, "\\xC0\\xAF"},                       // overlong
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd", true, "\\xED\\xA0\\x80"},  // a surrogate
      {"\xe6\x97", "\xef\xbf\xbd\xef\xbf\xbd", true, "\\xE6\\x97"},                       // cut short
      {"a\xe2\x80\xa8"
       "b\xc2\x85",
       "a\xe2\x80\xa8"
       "b\xc2\x85",
       false, "a\\u2028b\\u0085"},  // line separators
      {"C:\\v\\m.tpr", "C:\\v\\m.tpr", false, "C:\\v\\m.tpr"},
  };
  for (const auto& c : cases) {
    bool replaced = false;
    EXPECT_EQ(validUtf8(c.in, &replaced), c.valid) << c.in;
    EXPECT_EQ(replaced, c.replaced) << c.in;
    EXPECT_EQ(commentText(c.in), c.comment) << c.in;
  }
}

// An entry is a field: at 30000/1001 frames a second, fields come 60000/1001
// a second.
TEST(Timestamps, EachKeptFieldKeepsItsMoment) {
  EXPECT_EQ(timestampText(0, {30000, 1001}), "0.000000");
  EXPECT_EQ(timestampText(1, {30000, 1001}), "16.683333");
  EXPECT_EQ(timestampText(2, {30000, 1001}), "33.366667");
  EXPECT_EQ(timestampText(30000, {30000, 1001}), "500500.000000");
  EXPECT_EQ(timestampText(16777215, {30000, 1001}), "279899870.250000");
  EXPECT_EQ(timestampText(3, {25, 1}), "60.000000");
  EXPECT_EQ(timestampText(1, {3, 1}), "166.666667");
  EXPECT_EQ(timestampText(2, {3, 1}), "333.333333");
}

TEST(CadenceReport, SectionsFollowTheScriptLines) {
  // K-K--K--K-: "1 0" at 0, a run of gap 2 from entry 2, "1 0" at 8.
  const CadenceReport r = cadenceReport(testing::listFromPattern("K-K--K--K-"));
  ASSERT_EQ(r.sections.size(), 3u);
  const struct {
    std::int64_t first, last;
    std::uint32_t kept, keptIndex;
    PatternKind kind;
    const char* pattern;
    bool isBreak;
  } expected[] = {// A run of one in three is neither film nor video: a break. The last
                  // section goes on with it and is only cut short by the list's end.
                  {0, 1, 1, 0, PatternKind::Irregular, "1 0", true},
                  {2, 7, 2, 1, PatternKind::Run, "100", true},
                  {8, 9, 1, 3, PatternKind::Irregular, "1 0", false}};
  for (std::size_t i = 0; i < 3; ++i) {
    const Section& s = r.sections[i];
    EXPECT_EQ(s.first, expected[i].first) << i;
    EXPECT_EQ(s.last, expected[i].last) << i;
    EXPECT_EQ(s.kept, expected[i].kept) << i;
    EXPECT_EQ(s.firstKeptIndex, expected[i].keptIndex) << i;
    EXPECT_EQ(s.kind, expected[i].kind) << i;
    EXPECT_STREQ(s.pattern, expected[i].pattern) << i;
    EXPECT_EQ(s.isBreak, expected[i].isBreak) << i;
  }
  EXPECT_EQ(r.breaks, 2);
  EXPECT_DOUBLE_EQ(r.periodicShare, 0.6);
  // One periodic pattern giving way to another is a break too.
  const CadenceReport two = cadenceReport(testing::listFromPattern("K-K-K-K-K-K-K-K--K-K--K-K--K-K--"));
  ASSERT_EQ(two.sections.size(), 2u);
  EXPECT_FALSE(two.sections[0].isBreak);
  EXPECT_STREQ(two.sections[0].cadence, "video");
  EXPECT_TRUE(two.sections[1].isBreak);
  EXPECT_STREQ(two.sections[1].cadence, "3:2 pulldown");
  // The most common pattern is the one that covers the most entries.
  EXPECT_STREQ(cadenceName(two.commonPattern.c_str()), "3:2 pulldown");
}

// Each section's moment and rate, against a model: entries are fields at
// twice the video rate; a periodic section keeps its pattern's share of
// them, any other its kept entries over its entries.
TEST(CadenceReport, TimesAndRates) {
  std::string pattern;
  for (int i = 0; i < 8; ++i) pattern += "K-K--";
  pattern += "KK-K-K-K-K-K-K-K-K-K--K--K--K--K-----K";
  for (const FrameRate rate : {FrameRate{30000, 1001}, FrameRate{25, 1}}) {
    const CadenceReport r = cadenceReport(testing::listFromPattern(pattern), rate);
    const double fields = 2.0 * static_cast<double>(rate.num) / static_cast<double>(rate.den);
    double shares = 0;
    for (const Section& s : r.sections) {
      EXPECT_DOUBLE_EQ(s.seconds, static_cast<double>(s.first) / fields) << s.first;
      const std::string p = s.pattern;
      const bool periodic = s.kind != PatternKind::Single && s.kind != PatternKind::Irregular;
      const double expected =
          periodic ? fields * static_cast<double>(std::count(p.begin(), p.end(), '1')) / static_cast<double>(p.size())
                   : fields * s.kept / static_cast<double>(s.entries());
      EXPECT_NEAR(s.fps, expected, 1e-9) << s.first << " " << p;
    }
    for (const RateShare& share : r.rates) shares += share.share;
    EXPECT_NEAR(shares, 1.0, 1e-9);
    EXPECT_NEAR(r.rates.front().fps, fields * 2 / 5, 0.001);
  }
}

}  // namespace
}  // namespace pulldex::cli

namespace pulldex::cli {
namespace {

std::string repeat(std::string_view unit, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += unit;
  return s;
}

// Breaks are where the cadence really breaks: not where the list's end cuts
// the last section short, whatever the walker made of it, and not where only
// the load's moved first mark made one.
TEST(CadenceReport, OnlyRealBreaks) {
  const struct {
    std::string stored;  // as the project stores it; the load moves its first K to entry 0
    std::int64_t breaks;
  } cases[] = {
      {repeat("K-K--", 20) + "K", 0},  // a last kept entry on the pattern
      {repeat("K-K--", 20) + "K-", 0},
      {repeat("K-K--", 3) + "K-K-K", 1},            // 17 breaks the pattern; 19 alone is no cadence
      {repeat("K-K--", 20) + repeat("K-", 20), 1},  // video after film: a break
      {"-K-K--" + repeat("K-K--", 20), 0},          // film starting mid-cadence
      {"---K-K--" + repeat("K-K--", 20), 0},
      {"-K-K--" + repeat("K-K--", 20) + "K--K", 1},  // and a real break at the end
  };
  for (const auto& c : cases) {
    const FrameList stored = testing::listFromPattern(c.stored);
    FrameList loaded = stored;
    const auto first =
        std::find_if(loaded.entries.begin(), loaded.entries.end(), [](const FrameEntry& e) { return e.state == Kept; });
    const bool moved = first != loaded.entries.begin();
    if (moved) {
      first->state = Unlisted;
      loaded.entries[0].state = Kept;
    }
    const CadenceSummary r = cadenceSummary(loaded, {}, moved ? &stored : nullptr);
    EXPECT_EQ(r.breaks, c.breaks) << c.stored;
    EXPECT_EQ(r.kept, std::count(c.stored.begin(), c.stored.end(), 'K')) << "counts as stored: " << c.stored;
  }
}

// Format v1 read as mkvmerge reads it: each frame lasts 1 / the rate of its
// line, or of "assume". Every frame but the first (v1 starts at 0) stays
// within a field of its v2 moment, whatever the gaps; film is evenly spaced.
TEST(Timestamps, V1StaysWithinAFieldOfV2) {
  std::string random;
  std::uint32_t seed = 11;
  for (int i = 0; i < 3000; ++i) {
    seed = seed * 1103515245 + 12345;
    random += (seed >> 16) % 3 == 0 ? 'K' : '-';
  }
  const struct {
    const char* what;
    std::string pattern;
    std::size_t lines;  // at most this many range lines
  } cases[] = {
      {"a long dropped stretch", repeat("K-K--", 2000) + repeat("-", 3000) + repeat("K-K--", 200), 1},
      {"periodic drops", repeat(repeat("K-", 50) + repeat("-", 14), 30), 60},
      {"2:3:3:2 and 3:2", repeat("K-K-K--K--", 40) + repeat("K-K--", 40) + repeat("K-", 30), 4},
      {"starting late", "-----" + repeat("K--K-", 50), 2},
      {"random", random, 3000},
  };
  for (const FrameRate rate : {FrameRate{30000, 1001}, FrameRate{25, 1}}) {
    for (const auto& c : cases) {
      const FrameList list = testing::listFromPattern(c.pattern);
      struct Text final : Sink {
        std::string text;
        bool write(const void* d, std::size_t n) override {
          text.append(static_cast<const char*>(d), n);
          return true;
        }
      } v1, v2;
      ASSERT_TRUE(writeTimestampsV1(v1, list, rate));
      ASSERT_TRUE(writeTimestamps(v2, list, rate));
      std::vector<double> moments;
      std::istringstream in2(v2.text);
      for (std::string line; std::getline(in2, line);)
        if (line[0] != '#') moments.push_back(std::stod(line));
      std::istringstream in1(v1.text);
      std::string line;
      std::getline(in1, line);
      ASSERT_EQ(line, "# timestamp format v1");
      std::getline(in1, line);
      const double assume = std::stod(line.substr(7));
      std::vector<double> rates(moments.size(), assume);
      std::size_t lines = 0;
      for (; std::getline(in1, line); ++lines) {
        std::int64_t first = 0, last = 0;
        double fps = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%" SCNd64 ",%" SCNd64 ",%lf", &first, &last, &fps), 3) << line;
        for (std::int64_t k = first; k <= last; ++k) rates.at(static_cast<std::size_t>(k)) = fps;
      }
      EXPECT_LE(lines, c.lines) << c.what;
      const double field = 1000.0 / rate.fields();
      double t = 0, worst = 0;
      for (std::size_t k = 0; k < moments.size(); ++k) {
        if (k > 0) worst = std::max(worst, std::fabs(t - moments[k]));
        t += 1000.0 / rates[k];
      }
      EXPECT_LE(worst, field) << c.what << " at " << rate.num << "/" << rate.den;
    }
  }
}

}  // namespace
}  // namespace pulldex::cli
