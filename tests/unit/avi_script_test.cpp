#include <gtest/gtest.h>

#include <filesystem>

#include "formats/avi_script.h"
#include "formats/decimal_counter.h"
#include "lists.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex {
namespace {

using testing::listFromPattern;

// Lines written as "start,pattern,keptIndex" and joined by ";".
std::string script(const std::string& lines) {
  std::string out;
  std::string field;
  for (const char c : lines + ";") {
    if (c == ';' || c == ',') {
      if (!field.empty() && field.front() == ' ') field.erase(0, 1);
      out += field;
      out += c == ',' ? "\t" : "\r\n";
      field.clear();
    } else {
      field += c;
    }
  }
  return lines.empty() ? "" : out;
}

TEST(AviScript, PatternsOfKeptFrames) {
  struct Case {
    const char* entries;
    const char* lines;
  } cases[] = {
      {"K-K--K-K--K-K--K-K--", "0a, 10100, 0"},
      {"K-K--K--K-K-K--K--K-", "0a, 1010010010, 0"},
      {"K-K--K--K-", "0a, 1 0, 0; 1a, 100, 1; 4a, 1 0, 3"},
      {"K-K--K-K--K------KKK", "0a, 10100, 0; 8b, 1, 5"},
      {"K--KK---KK-K", "0a, 1 0, 0; 1b, 1, 1; 2a, 1 0, 2; 4a, 110, 3"},
      {"K-KK-KK-KK-K", "0a, 101, 0"},
      {"K----K----K", "0a, 10000, 0; 5a, 1, 2"},
      {"K-----K-----K", "0a, 1 0, 0; 3a, 1 0, 1; 6a, 1, 2"},
      {"KKKK-KKKK-KKKK-KKKK-",
       "0a, 1, 0; 1b, 1 0, 3; 2b, 1, 4; 4a, 1 0, 7; 5a, 1, 8; 6b, 1 0, 11; 7b, 1, 12; 9a, 1 0, 15"},
      {"KKKKKK", "0a, 1, 0"},
      {"K-----", "0a, 1 0, 0"},
      {"-K", "0b, 1, 0"},
      {"------", ""},
      {"", ""},
      // A cycle recognised from the zeros past the end of the list.
      {"K--K--K--KK--K--K--", "0a, 1001001001, 0"},
      // 0, 3, 0, 3 is neither a cycle nor an alternation.
      {"K---KK---KK---KK---KK---",
       "0a, 1 0, 0; 2a, 1, 1; 2b, 1 0, 2; 4b, 1, 3; 5a, 1 0, 4; 7a, 1, 5; 7b, 1 0, 6;"
       " 9b, 1, 7; 10a, 1 0, 8"},
      // A gap of five or more breaking a period writes no line.
      {"K-K--K-K--K-----", "0a, 10100, 0"},
      // Copy entries are skipped like unlisted ones.
      {"KCKCCKCKCC", "0a, 10100, 0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(aviScript(listFromPattern(c.entries)), script(c.lines)) << c.entries;
  }
}

TEST(AviScript, FirstRowByteForByte) {
  const std::string expected("\x30\x61\x09\x31\x30\x31\x30\x30\x09\x30\x0D\x0A", 12);
  EXPECT_EQ(aviScript(listFromPattern("K-K--K-K--K-K--K-K--")), expected);
}

TEST(AviScript, LongPulldownWithBreaks) {
  // A cadence of gaps 1, 2, a progressive stretch, then the cadence in the
  // other phase (gaps 2, 1): one line per stretch, each lasting to its end.
  std::string entries;
  for (int i = 0; i < 1000; ++i) entries += "K-K--";
  entries += std::string(600, 'K');
  for (int i = 0; i < 1000; ++i) entries += "K--K-";
  EXPECT_EQ(aviScript(listFromPattern(entries)), script("0a, 10100, 0; 2500a, 1, 2000; 2800a, 10010, 2600"));
}

TEST(AviScript, PatternsMeetingTheEndOfTheList) {
  const std::pair<const char*, const char*> cases[] = {
      // The last kept entry's gap of 0 breaks the alternation; past the end
      // every gap is 0, so it starts a run.
      {"K-K--K-K--K-K", "0a, 10100, 0; 6a, 1, 5"},
      // The last kept entry's gap runs to the end and continues the period.
      {"K-K--K-K--K-K--", "0a, 10100, 0"},
      {"K-K--K-K--K-K---", "0a, 10100, 0; 6a, 1 0, 5"},
  };
  for (const auto& [entries, lines] : cases) EXPECT_EQ(aviScript(listFromPattern(entries)), script(lines)) << entries;
}

TEST(AviScript, NumbersAcrossCarriesAndJumps) {
  // Every kept entry gets a line "1 0"; the start field steps by 3 or by 35.
  for (const int spacing : {6, 70}) {
    std::string entries;
    std::string expected;
    for (int j = 0; j < 2000; ++j) {
      entries += 'K' + std::string(static_cast<std::size_t>(spacing - 1), '-');
      const int start = j * spacing / 2;
      expected += std::to_string(start) + (j * spacing % 2 ? "b" : "a") + "\t1 0\t" + std::to_string(j) + "\r\n";
    }
    EXPECT_EQ(aviScript(listFromPattern(entries)), expected) << spacing;
  }
}

// The counter against std::to_string over runs of steps: carries through
// every digit, steps up to 99 (added in place) and beyond (set anew), and the
// move past eight digits, where it formats each value anew.
TEST(AviScript, DecimalCounterFollowsEveryStep) {
  struct Run {
    std::uint32_t from, to, step;
  } runs[] = {
      {0, 1200, 1},
      {5, 20'000, 37},
      {1, 100'000, 99},
      {0, 2'000'000, 100},
      {7, 3'000'000, 250},
      {0, 1'000'000, 999},
      {123, 9'000'000, 65'537},
      {9'999'990, 10'000'010, 1},
      {99'999'900, 100'000'100, 3},
      {99'999'999, 100'000'000, 1},
      {4'294'967'000u, 4'294'967'295u, 7},
  };
  for (const Run& r : runs) {
    DecimalCounter counter;
    for (std::uint64_t v = r.from; v <= r.to; v += r.step) {
      counter.advanceTo(static_cast<std::uint32_t>(v));
      char text[32];
      const char* end = counter.append(text);
      ASSERT_EQ(std::string(static_cast<const char*>(text), end), std::to_string(v))
          << "from " << r.from << " by " << r.step;
    }
  }
}

TEST(AviScript, ProposedName) {
  const std::pair<const char*, const char*> cases[] = {{"D:\\video\\movie.tpr", "D:\\video\\movie.asc"},
                                                       {"D:\\video\\movie.TPR", "D:\\video\\movie.asc"},
                                                       {"D:\\video\\movie.tprx", "D:\\video\\movie.tprx"},
                                                       {"D:\\video\\movie", "D:\\video\\movie"},
                                                       {"a.b.x", "a.asc"},
                                                       {"", ""},
                                                       {".abc", ".asc"}};
  for (const auto& [path, proposed] : cases) EXPECT_EQ(proposedScriptName(path), proposed) << path;
}

}  // namespace
}  // namespace pulldex
