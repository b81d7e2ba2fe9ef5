// The command line's shared pieces: output names, rates, JSON text, and the
// numbers the export formats write.
#include <gtest/gtest.h>

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
      {"30000/1001", 30000, 1001}, {"25", 25, 1},          {"29.97", 30000, 1001}, {"23.976", 24000, 1001},
      {"59.94", 60000, 1001},      {"12.5", 125, 10},      {"24/1", 24, 1},        {"0", 0, 0},
      {"25/0", 0, 0},              {"-25", 0, 0},          {"abc", 0, 0},          {"", 0, 0},
      {"1.", 0, 0},                {"30000/1001/2", 0, 0}, {"99999999", 0, 0},     {" 25", 0, 0},
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

TEST(Json, AlwaysValidUtf8) {
  const struct {
    std::string in, out;
    bool replaced;
  } cases[] = {
      {"movie.tpr", "\"movie.tpr\"", false},
      {"a\"b\\c\n", "\"a\\\"b\\\\c\\u000a\"", false},
      {"\xe6\x97\xa5\xe6\x9c\xac-\xc3\xa9", "\"\xe6\x97\xa5\xe6\x9c\xac-\xc3\xa9\"", false},
      {"bad\xff", "\"bad\xef\xbf\xbd\"", true},
      {"\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\"", true},       // overlong
      {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"", true},  // a surrogate
      {"\xe6\x97", "\"\xef\xbf\xbd\xef\xbf\xbd\"", true},       // cut short
  };
  for (const auto& c : cases) {
    bool replaced = false;
    EXPECT_EQ(jsonString(c.in, &replaced), c.out) << c.in;
    EXPECT_EQ(replaced, c.replaced) << c.in;
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
      const double expected = periodic ? fields * static_cast<double>(std::count(p.begin(), p.end(), '1')) /
                                             static_cast<double>(p.size())
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
