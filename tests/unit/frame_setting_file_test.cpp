#include <gtest/gtest.h>

#include <filesystem>

#include "formats/frame_setting_file.h"
#include "lists.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex {
namespace {

using namespace testdata;

FrameEntry kept(std::uint8_t code) { return {code, Kept}; }
constexpr FrameEntry kUnlisted{0, Unlisted};

TEST(FrameSettings, Export) {
  struct Case {
    const char* what;
    std::vector<FrameEntry> entries;
    std::string expected;
  } cases[] = {
      {"the five-entry example", {kept(0), kept(11), {3, Copy}, kUnlisted, kept(5)}, "1200?"},
      {"every code with a digit", {kept(0), kept(11), kept(16), kept(3), kept(6), kept(10)}, "123456"},
      {"codes without a digit, 17 and 255 included", {kept(1), kept(15), kept(17), kept(255)}, "????"},
      {"other states write 0 whatever the code", {{16, Copy}, {6, Unlisted}, {3, 9}}, "000"},
      {"an empty list", {}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(frameSettingsText(FrameList{c.entries}), c.expected) << c.what;
}

TEST(FrameSettings, Import) {
  const FrameList before = testing::listFromPattern("KCK-");
  struct Case {
    const char* what;
    std::string bytes;
    Error error;
    std::vector<FrameEntry> expected;  // empty: the list stays as it was
  } cases[] = {
      {"seven digits and CR LF",
       "0123456\r\n",
       Error::None,
       {kUnlisted, kept(0), kept(11), kept(16), kept(3), kept(6), kept(10), kUnlisted, kUnlisted}},
      {"three letters", "abc", Error::None, {kUnlisted, kUnlisted, kUnlisted}},
      {"\"?\" keeps its frame position", "1?2", Error::None, {kept(0), kept(0), kept(11)}},
      {"high bytes are skipped",
       "\xff"
       "3\x80",
       Error::None,
       {kept(16), kUnlisted, kUnlisted}},
      {"an empty file changes nothing", "", Error::None, {}},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFile(dir.path("in.sfs"), c.bytes));
    FrameList list = before;
    EXPECT_EQ(readFrameSettings(dir.path("in.sfs"), list), c.error) << c.what;
    EXPECT_EQ(list.entries, c.expected.empty() ? before.entries : c.expected) << c.what;
  }
  FrameList list = before;
  EXPECT_EQ(readFrameSettings(dir.path("missing.sfs"), list), Error::OpenFrameSettings);
  EXPECT_EQ(list, before);
}

TEST(FrameSettings, ImportRunsOnAcrossChunks) {
  testing::TempDir dir;
  ASSERT_TRUE(writeFile(dir.path("600.sfs"), std::string(600, '1')));
  FrameList list;
  ASSERT_EQ(readFrameSettings(dir.path("600.sfs"), list), Error::None);
  EXPECT_EQ(list.entries, std::vector<FrameEntry>(600, kept(0)));

  std::string big(200000, '0');
  big[150000] = '6';
  big[199999] = '4';
  ASSERT_TRUE(writeFile(dir.path("big.sfs"), big));
  ASSERT_EQ(readFrameSettings(dir.path("big.sfs"), list), Error::None);
  ASSERT_EQ(list.count(), 200000);
  EXPECT_EQ(list.entries[150000], kept(10));
  EXPECT_EQ(list.entries[199999], kept(3));
  EXPECT_EQ(frameSettingsText(list), big);
}

TEST(FrameSettings, RoundTrip) {
  struct Case {
    const char* what;
    std::vector<FrameEntry> entries;
    std::vector<FrameEntry> back;
  } cases[] = {
      {"digit codes come back exactly", {kept(0), kept(11), kept(16), kUnlisted, kept(3), kept(6), kept(10)}, {}},
      {"a copy entry comes back unlisted", {kept(3), {3, Copy}, kept(6)}, {kept(3), kUnlisted, kept(6)}},
      {"codes without a digit keep their frame",
       {kept(3), kept(7), kept(200), kept(6)},
       {kept(3), kept(0), kept(0), kept(6)}},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFile(dir.path("rt.sfs"), frameSettingsText(FrameList{c.entries})));
    FrameList back;
    ASSERT_EQ(readFrameSettings(dir.path("rt.sfs"), back), Error::None);
    EXPECT_EQ(back.entries, c.back.empty() ? c.entries : c.back) << c.what;
  }
}

}  // namespace
}  // namespace pulldex
