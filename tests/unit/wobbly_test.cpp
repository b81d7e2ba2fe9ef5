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

// The project of a plan over a source of `frames` frames, as text.
std::string projectText(const WobblyPlan& plan, std::int64_t frames, bool tff,
                        const WobblyFindings* findings = nullptr) {
  struct Text final : Sink {
    std::string text;
    bool write(const void* d, std::size_t n) override {
      text.append(static_cast<const char*>(d), n);
      return true;
    }
  } out;
  writeWobblyProject(out, {"/v/movie.m2v", "lsmas.LWLibavSource", 720, 480, 30000, 1001, frames, tff}, plan, "test",
                     findings);
  return out.text;
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
      {"kept on the last field", repeat("K-K--", 8) + "-K"},
  };
  for (const auto& c : cases)
    for (const bool tff : {true, false}) {
      const FrameList list = testing::listFromPattern(c.pattern);
      const std::int64_t frames = (list.count() + 1) / 2;
      WobblyPlan plan;
      WobblyConflict conflict;
      ASSERT_TRUE(wobblyPlan(list, frames, plan, conflict)) << c.what << ": entry " << conflict.entry;
      const std::string text = projectText(plan, frames, tff);
      std::vector<Fields> expected;
      // The last field's frame is the last frame as it is, as the scripts make it.
      for (std::int64_t i = 0; i < list.count(); ++i)
        if (list.isKept(i)) expected.push_back(i + 1 == 2 * frames ? Fields{i / 2, i / 2} : entryFrame(i, tff));
      EXPECT_EQ(wobblyFrames(text), expected) << c.what << (tff ? ", top first" : ", bottom first");
      // Long stretches that keep nothing are cut out.
      if (std::string(c.what) == "a long dropped stretch") {
        EXPECT_GE(plan.trims.size(), 2u);
      }
    }
  // Lists no matches give, and the entries that compete for the frames:
  // three kept entries in a row from an even one (4 takes frame 2, 5 the
  // next, 6 finds it taken), and 0, 1, 3 and 4, which want frames 0 to 2.
  const struct {
    const char* pattern;
    std::int64_t entry;
    std::vector<std::int64_t> competing;
    std::int64_t from, to;
  } refused[] = {{"K---KKK---K-", 6, {4, 5, 6}, 2, 3}, {"KK-KK-----K-K--K-K--", 4, {0, 1, 3, 4}, 0, 2}};
  for (const auto& r : refused) {
    WobblyPlan plan;
    WobblyConflict conflict;
    const FrameList list = testing::listFromPattern(r.pattern);
    EXPECT_FALSE(wobblyPlan(list, (list.count() + 1) / 2, plan, conflict)) << r.pattern;
    EXPECT_EQ(conflict.entry, r.entry) << r.pattern;
    EXPECT_EQ(conflict.competing, r.competing) << r.pattern;
    EXPECT_EQ(conflict.from, r.from) << r.pattern;
    EXPECT_EQ(conflict.to, r.to) << r.pattern;
  }
}

// A check's findings, where Wobbly's reader looks for them: "combed frames"
// an array of frame numbers after the trims, no more of them than frames;
// "user interface" an object whose "bookmarks" are objects of an integer
// "frame" and a string "description".
TEST(WobblyProject, FindingsAsWobblyReadsThem) {
  const FrameList list = testing::listFromPattern(std::string(400, '-') + "K-K--K-K--K-K--");
  WobblyPlan plan;
  WobblyConflict conflict;
  ASSERT_TRUE(wobblyPlan(list, (list.count() + 1) / 2, plan, conflict));
  ASSERT_EQ(plan.keptFrames.size(), 6u);
  const std::int64_t first = trimmedFrame(plan, plan.keptFrames[0]);
  const WobblyFindings findings{{first, first + 2}, {{first + 1, "picture lost: keep entry 403"}}};
  const std::string text = projectText(plan, 208, true, &findings);
  rapidjson::Document d;
  d.Parse(text.c_str());
  ASSERT_TRUE(d.IsObject()) << text;
  ASSERT_TRUE(d["combed frames"].IsArray());
  EXPECT_LE(d["combed frames"].Size(), d["matches"].Size());
  for (const auto& f : d["combed frames"].GetArray()) {
    ASSERT_TRUE(f.IsInt());
    EXPECT_LT(f.GetInt(), static_cast<int>(d["matches"].Size())) << "a frame after the trims";
    EXPECT_NE(d["matches"][static_cast<rapidjson::SizeType>(f.GetInt())].GetString()[0], 'x');
  }
  EXPECT_LT(first, 10) << "the long stretch before is cut out: frames count after the trims";
  const auto& bookmarks = d["user interface"]["bookmarks"];
  ASSERT_TRUE(bookmarks.IsArray() && bookmarks.Size() == 1);
  EXPECT_TRUE(bookmarks[0u]["frame"].IsInt());
  EXPECT_STREQ(bookmarks[0u]["description"].GetString(), "picture lost: keep entry 403");
}

}  // namespace
}  // namespace pulldex
