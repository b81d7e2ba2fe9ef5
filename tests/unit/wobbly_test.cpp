// The Wobbly project gives exactly the frames the list keeps: a model of
// Wobbly's rules (trims, FieldHint's table, at most four decimated frames a
// cycle) applied to the project as written.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "formats/wobbly_project.h"
#include "lists.h"

namespace pulldex {
namespace {

using Fields = std::pair<std::int64_t, std::int64_t>;  // the source frames of an output frame's top and bottom field

// The frame of a kept entry i: fields i and i + 1; field j is frame j / 2's
// top field (top field first) for even j.
Fields entryFrame(std::int64_t i, bool tff) {
  if (i % 2 == 0) return {i / 2, i / 2};
  const std::int64_t before = (i - 1) / 2, after = (i + 1) / 2;
  return tff ? Fields{after, before} : Fields{before, after};
}

// What Wobbly makes of the project.
std::vector<Fields> wobblyFrames(const std::string& json) {
  rapidjson::Document d;
  d.Parse(json.c_str());
  EXPECT_FALSE(d.HasParseError());
  EXPECT_EQ(d["project format version"].GetInt(), 2);
  for (const char* key : {"input file", "input frame rate", "input resolution", "trim", "source filter"})
    EXPECT_TRUE(d.HasMember(key)) << key;
  const bool tff = d["vfm parameters"]["order"].GetInt() == 1;
  std::vector<std::int64_t> clip;  // source frame of each trimmed frame
  for (const auto& t : d["trim"].GetArray())
    for (std::int64_t f = t[0].GetInt64(); f <= t[1].GetInt64(); ++f) clip.push_back(f);
  const auto& matches = d["matches"];
  EXPECT_EQ(matches.Size(), clip.size());
  // At most four of each cycle of five, counted from trimmed frame 0; a
  // fifth is not decimated.
  std::vector<int> perCycle(clip.size() / 5 + 1, 0);
  std::set<std::int64_t> decimated;
  for (const auto& f : d["decimated frames"].GetArray()) {
    const auto n = f.GetInt64();
    if (perCycle[static_cast<std::size_t>(n / 5)]++ < 4) decimated.insert(n);
  }
  const auto n0 = static_cast<std::int64_t>(clip.size());
  std::vector<Fields> out;
  for (std::int64_t n = 0; n < n0; ++n) {
    if (decimated.count(n)) continue;
    const char m = matches[static_cast<rapidjson::SizeType>(n)].GetString()[0];
    EXPECT_FALSE(n == 0 && (m == 'p' || m == 'b')) << "FieldHint refuses it";
    EXPECT_FALSE(n == n0 - 1 && (m == 'n' || m == 'u')) << "FieldHint refuses it";
    const auto src = [&](std::int64_t k) { return clip[static_cast<std::size_t>(k)]; };
    std::int64_t t = n, b = n;
    switch (m) {
      case 'p':
        (tff ? t : b) = n - 1;
        break;
      case 'n':
        (tff ? t : b) = n + 1;
        break;
      case 'b':
        (tff ? b : t) = n - 1;
        break;
      case 'u':
        (tff ? b : t) = n + 1;
        break;
      default:
        break;
    }
    out.push_back({src(t), src(b)});
  }
  return out;
}

std::string repeat(std::string_view unit, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += unit;
  return s;
}

TEST(WobblyProject, GivesExactlyTheKeptFrames) {
  const struct {
    const char* what;
    std::string pattern;
  } cases[] = {
      {"3:2", repeat("K-K--", 40)},
      {"2:3:3:2", repeat("K-K-K--K--", 20)},
      {"30p video", repeat("K-", 60)},
      {"a mix", repeat("K-K--", 20) + repeat("K-", 15) + repeat("K-K-K--K--", 8) + repeat("K--K-", 12)},
      {"starting mid-cadence", "-K-K--" + repeat("K-K--", 30)},
      {"odd entries side by side", repeat("-KK-", 30)},
      {"a long dropped stretch", repeat("K-K--", 20) + repeat("-", 400) + repeat("K-K--", 20)},
      {"dropped at both ends", repeat("-", 101) + repeat("K--K-", 20) + repeat("-", 77)},
      {"one kept entry", "------K-----"},
  };
  for (const auto& c : cases)
    for (const bool tff : {true, false}) {
      const FrameList list = testing::listFromPattern(c.pattern);
      const std::int64_t frames = (list.count() + 1) / 2;
      WobblyPlan plan;
      std::int64_t entry = 0;
      ASSERT_TRUE(wobblyPlan(list, frames, plan, entry)) << c.what << ": entry " << entry;
      struct Text final : Sink {
        std::string text;
        bool write(const void* d, std::size_t n) override {
          text.append(static_cast<const char*>(d), n);
          return true;
        }
      } out;
      writeWobblyProject(out, {"/v/movie.m2v", "lsmas.LWLibavSource", 720, 480, 30000, 1001, frames, tff}, plan,
                         "test");
      std::vector<Fields> expected;
      for (std::int64_t i = 0; i < list.count(); ++i)
        if (list.isKept(i)) expected.push_back(entryFrame(i, tff));
      EXPECT_EQ(wobblyFrames(out.text), expected) << c.what << (tff ? ", top first" : ", bottom first");
      // Long stretches that keep nothing are cut out.
      if (std::string(c.what) == "a long dropped stretch") {
        EXPECT_GE(plan.trims.size(), 2u);
      }
    }
  // Three kept entries in a row from an even one: 4 takes frame 2, 5 the
  // next frame, and 6 finds its frame taken.
  WobblyPlan plan;
  std::int64_t entry = 0;
  EXPECT_FALSE(wobblyPlan(testing::listFromPattern("K---KKK---K-"), 6, plan, entry));
  EXPECT_EQ(entry, 6);
}

}  // namespace
}  // namespace pulldex
