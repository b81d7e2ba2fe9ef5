#include <gtest/gtest.h>

#include "lists.h"
#include "project/ivtc_block.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex {
namespace {

using namespace testdata;

struct Loaded {
  Error error;
  FrameList list;
};

class LoaderTest : public ::testing::Test {
 protected:
  Loaded load(const std::string& bytes) {
    const std::string path = dir_.path("p" + std::to_string(files_++) + ".tpr");
    EXPECT_TRUE(writeFile(path, bytes));
    Loaded result{Error::None, sentinel()};
    result.error = readIvtcList(path, result.list).error;
    return result;
  }
  // What a failed load must leave in place.
  static FrameList sentinel() { return testing::listFromPattern("KCK"); }

  testing::TempDir dir_;
  int files_ = 0;
};

FrameEntry kept(std::uint8_t code) { return {code, Kept}; }
FrameEntry copy(std::uint8_t code) { return {code, Copy}; }
FrameEntry unlisted(std::uint8_t code = 0) { return {code, Unlisted}; }

TEST_F(LoaderTest, BuildsTheList) {
  struct Case {
    const char* what;
    std::vector<Record> records;
    std::vector<FrameEntry> expected;
  } cases[] = {
      {"the normalisation moves the first kept mark to frame 0",
       {{2, 11, 0}, {3, 16, 1}, {4, 6, 0}},
       {kept(0), unlisted(), unlisted(11), copy(16), kept(6)}},
      {"frame 0 kept stays as it is", {{0, 3, 0}, {1, 6, 1}, {2, 10, 0}}, {kept(3), copy(6), kept(10)}},
      {"all copy frames: nothing moves", {{1, 3, 1}, {2, 3, 1}}, {unlisted(), copy(3), copy(3)}},
      {"entry 0 copy, entry 1 kept", {{0, 5, 1}, {1, 6, 0}}, {{5, Kept}, unlisted(6)}},
      {"the later record for a frame wins", {{0, 1, 0}, {1, 3, 0}, {1, 9, 1}}, {kept(1), copy(9)}},
      {"sparse frames are unlisted with code 0",
       {{0, 1, 0}, {3, 2, 0}, {6, 4, 1}},
       {kept(1), unlisted(), unlisted(), kept(2), unlisted(), unlisted(), copy(4)}},
      {"an odd copy flag becomes state flag + 1", {{0, 1, 0}, {1, 2, 5}, {2, 3, 255}}, {kept(1), {2, 6}, {3, 0}}},
      {"a block without records loads as an empty list", {}, {}},
  };
  for (const Case& c : cases) {
    const Loaded got = load(noise(500, 1) + ivtcBlock(c.records) + namedEntry("Video.Other", "xyz"));
    EXPECT_EQ(got.error, Error::None) << c.what;
    EXPECT_EQ(got.list.entries, c.expected) << c.what;
  }
}

TEST_F(LoaderTest, SizesByValueLengthNotRecordCount) {
  const Loaded got = load(ivtcBlock({{0, 0, 0}, {1, 0, 0}}, {.recordCount = 99}));
  EXPECT_EQ(got.error, Error::None);
  EXPECT_EQ(got.list.count(), 2);
}

TEST_F(LoaderTest, EveryFailureKeepsTheOldList) {
  const std::string good = ivtcBlock({{0, 0, 0}, {1, 3, 0}});
  struct Case {
    const char* what;
    std::string bytes;
    Error error;
  } cases[] = {
      {"no block", noise(70000, 2), Error::NoIvtcBlock},
      {"name 30 bytes before the end", noise(10, 3) + good.substr(0, 30), Error::ReadFile},
      {"type tag not 10", ivtcBlock({{0, 0, 0}}, {.typeTag = 11}), Error::FileFormat},
      {"record size not 6", ivtcBlock({{0, 0, 0}}, {.recordSize = 5}), Error::FileFormat},
      {"only the first name counts", ivtcBlock({{0, 0, 0}}, {.typeTag = 9}) + good, Error::FileFormat},
      {"valueLength below 8", ivtcBlock({}, {.valueLength = 2}), Error::FileFormat},
      {"valueLength negative", ivtcBlock({}, {.valueLength = -100}), Error::FileFormat},
      {"record bytes not a multiple of 6", ivtcBlock({{0, 0, 0}}, {.valueLength = 8 + 7}) + "xxxxx", Error::FileFormat},
      {"records past the end of the file", ivtcBlock({{0, 0, 0}}, {.valueLength = 8 + 12}), Error::FileFormat},
      {"a huge valueLength", ivtcBlock({{0, 0, 0}}, {.valueLength = 0x7ffffff8}), Error::FileFormat},
      {"a negative frame index", ivtcBlock({{-1, 0, 0}, {2, 0, 0}}), Error::FileFormat},
      {"a frame above the last record's", ivtcBlock({{0, 0, 0}, {9, 0, 0}, {3, 0, 0}}), Error::FileFormat},
      {"more than 16777216 frames", ivtcBlock({{0, 0, 0}, {16777216, 0, 0}}), Error::FileFormat},
  };
  for (const Case& c : cases) {
    const Loaded got = load(c.bytes);
    EXPECT_EQ(got.error, c.error) << c.what;
    EXPECT_EQ(got.list, sentinel()) << c.what;
  }
  Loaded missing{Error::None, sentinel()};
  missing.error = readIvtcList(dir_.path("no such file.tpr"), missing.list).error;
  EXPECT_EQ(missing.error, Error::OpenProject);
  EXPECT_EQ(missing.list, sentinel());
  EXPECT_EQ(readIvtcList("", missing.list), Error::OpenProject);
}

// The loader takes the records in chunks of 8192 and grows the list by each
// chunk's highest frame. Lists of several chunks, in and out of order, against
// the same records applied one by one here.
TEST_F(LoaderTest, ListsOfManyChunks) {
  const auto expectedOf = [](const std::vector<Record>& records) {
    std::vector<FrameEntry> entries(static_cast<std::size_t>(records.back().frame) + 1);
    for (const Record& r : records)
      entries[static_cast<std::size_t>(r.frame)] = {r.code, static_cast<std::uint8_t>(r.copyFlag + 1)};
    for (FrameEntry& e : entries) {
      if (e.state != Kept) continue;
      e.state = Unlisted;
      entries[0].state = Kept;
      break;
    }
    return entries;
  };
  std::vector<Record> dense, sparse, backwards;
  for (int i = 0; i < 30000; ++i)
    dense.push_back({i, static_cast<std::uint8_t>(i % 7), static_cast<std::uint8_t>(i % 5 == 2)});
  // Far beyond the room reserved for one entry per record, in the second chunk.
  for (int i = 0; i < 20000; ++i)
    sparse.push_back({i < 9000 ? i : 4'000'000 + 3 * i, 1, static_cast<std::uint8_t>(i % 3 == 0)});
  // Each chunk names lower frames than the one before; the last record the highest.
  for (int i = 0; i < 25000; ++i) backwards.push_back({25000 - i, static_cast<std::uint8_t>(i % 11), 0});
  backwards.push_back({25001, 4, 0});
  for (const auto* records : {&dense, &sparse, &backwards}) {
    const Loaded got = load(noise(300, 4) + ivtcBlock(*records));
    ASSERT_EQ(got.error, Error::None) << records->size();
    EXPECT_EQ(got.list.entries, expectedOf(*records)) << records->size();
  }
  // A bad frame deep in a later chunk still fails the whole load.
  std::vector<Record> negative = dense, higher = dense, tooLarge = dense;
  negative[20000].frame = -5;
  higher[100].frame = 30000;
  tooLarge[17000].frame = 16'777'216;
  for (const auto* records : {&negative, &higher, &tooLarge}) {
    const Loaded got = load(ivtcBlock(*records));
    EXPECT_EQ(got.error, Error::FileFormat);
    EXPECT_EQ(got.list, sentinel());
  }
}

TEST_F(LoaderTest, TheLargestAllowedFrameLoads) {
  const Loaded got = load(ivtcBlock({{0, 0, 0}, {16777215, 0, 1}}));
  EXPECT_EQ(got.error, Error::None);
  EXPECT_EQ(got.list.count(), 16777216);
}

TEST(ErrorText, MessagesAreTheProgramsOwn) {
  EXPECT_STREQ(errorText(Error::OpenProject), "Error in opening the file");
  EXPECT_STREQ(errorText(Error::NoIvtcBlock), "Error, can't find IVTC setting in the file");
  EXPECT_STREQ(errorText(Error::ReadFile), "Error in reading file");
  EXPECT_STREQ(errorText(Error::FileFormat), "Error in file format");
  EXPECT_STREQ(errorText(Error::OpenSource), "Error in opening source TPR file");
  EXPECT_STREQ(errorText(Error::OpenDestination), "Error in opening destination file");
  EXPECT_STREQ(errorText(Error::WriteFile), "Error in writing the file");
  EXPECT_STREQ(errorText(Error::CreateFrameSettings), "Error in creating output file");
  EXPECT_STREQ(errorText(Error::OpenFrameSettings), "Error in opening file");
  EXPECT_STREQ(errorText(Error::CreateScript), "Error in creating the file");
}

}  // namespace
}  // namespace pulldex
