#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "file_size_limit.h"
#include "lists.h"
#include "project/ivtc_block.h"
#include "project/project.h"
#include "project_builder.h"
#include "temp_dir.h"

using namespace std::string_literals;

namespace pulldex {
namespace {

using namespace testdata;

class RemovalTest : public ::testing::Test {
 protected:
  // Writes `bytes` as a project and loads it.
  FrameList loadFrom(const std::string& name, const std::string& bytes) {
    EXPECT_TRUE(writeFile(dir_.path(name), bytes));
    FrameList list;
    EXPECT_EQ(readIvtcList(dir_.path(name), list), Error::None);
    return list;
  }
  // Loads `source` and removes its copy frames into `destination`, with
  // `list` in place of the project's own where given.
  Status strip(const std::string& source, const std::string& destination, const FrameList* list = nullptr) {
    Project project;
    if (const Status s = project.load(dir_.path(source)); !s.ok()) return s;
    if (list) project.list() = *list;
    return writeWithoutCopyFrames(project, into(destination));
  }
  Destination into(const std::string& destination) {
    return {.path = dir_.path(destination), .cannotCreate = Error::OpenDestination, .inPlace = true};
  }

  testing::TempDir dir_;
};

// A project whose block holds the records from `pattern` (codes 1, 2, 3, ...).
struct Source {
  std::string before = noise(700, 1) + namedEntry("Video.Source", "movie.avi");
  std::string after = namedEntry("Audio.Gain", "12") + noise(40000, 2);
  std::string pattern;
  std::string bytes() const { return before + ivtcBlock(recordsFromPattern(pattern, {1, 2, 3, 4, 5, 6, 7})) + after; }
};

TEST_F(RemovalTest, KeepsOnlyKeptFramesAndEveryOtherByte) {
  struct Case {
    const char* what;
    Source project;
    std::vector<Record> expected;
  } cases[] = {
      {"copy frames drop out, numbers stay", {.pattern = "KCKKC"}, {{0, 1, 0}, {2, 3, 0}, {3, 4, 0}}},
      {"no kept frame gives an empty block", {.pattern = "CCC"}, {}},
      {"the normalisation shows: frame 0 kept with its code 0", {.pattern = "--KCK"}, {{0, 0, 0}, {4, 3, 0}}},
      {"a block at offset 0", {.before = "", .pattern = "KCK"}, {{0, 1, 0}, {2, 3, 0}}},
      {"a block ending the file", {.after = "", .pattern = "KKC"}, {{0, 1, 0}, {1, 2, 0}}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFile(dir_.path("in.tpr"), c.project.bytes()));
    ASSERT_EQ(strip("in.tpr", "out.tpr"), Error::None) << c.what;
    EXPECT_EQ(readFile(dir_.path("out.tpr")), c.project.before + ivtcBlock(c.expected) + c.project.after) << c.what;
    EXPECT_EQ(readFile(dir_.path("in.tpr")), c.project.bytes()) << "the source is untouched: " << c.what;
  }
}

TEST_F(RemovalTest, TheFiveFrameExampleByteForByte) {
  const std::string before = "ABC";
  const std::string after = "XYZ";
  const std::string source = before + ivtcBlock({{0, 3, 0}, {1, 6, 1}, {2, 10, 0}, {3, 11, 0}, {4, 16, 1}}) + after;
  ASSERT_TRUE(writeFile(dir_.path("five.tpr"), source));
  ASSERT_EQ(strip("five.tpr", "five-out.tpr"), Error::None);
  const std::string expected = before +
                               "Video.DeinterlaceEx.List"   // marker
                               "\x0a"                       // typeTag
                               "\x1a\x00\x00\x00"           // valueLength 26
                               "\x06\x00\x00\x00"           // recordSize 6
                               "\x03\x00\x00\x00"           // recordCount 3
                               "\x00\x00\x00\x00\x03\x00"   // frame 0, code 3
                               "\x02\x00\x00\x00\x0a\x00"   // frame 2, code 10
                               "\x03\x00\x00\x00\x0b\x00"s  // frame 3, code 11
                               + after;
  const std::string written = readFile(dir_.path("five-out.tpr"));
  EXPECT_EQ(written, expected);
  EXPECT_EQ(written.size() + 12, source.size());
  FrameList back;
  EXPECT_EQ(readIvtcList(dir_.path("five-out.tpr"), back), Error::None);
}

TEST_F(RemovalTest, AnEmptyResultLoadsBackAsAnEmptyList) {
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), Source{.pattern = "CC"}.bytes()));
  ASSERT_EQ(strip("in.tpr", "out.tpr"), Error::None);
  FrameList back = testing::listFromPattern("K");
  EXPECT_EQ(readIvtcList(dir_.path("out.tpr"), back), Error::None);
  EXPECT_EQ(back.count(), 0);
}

TEST_F(RemovalTest, UsesTheListInMemoryNotTheSourcesRecords) {
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), Source{.pattern = "KKKKK"}.bytes()));
  FrameList imported = testing::listFromPattern("-K--K");
  imported.entries[4].code = 16;
  ASSERT_EQ(strip("in.tpr", "out.tpr", &imported), Error::None);
  const Source p{.pattern = ""};
  EXPECT_EQ(readFile(dir_.path("out.tpr")), p.before + ivtcBlock({{1, 0, 0}, {4, 16, 0}}) + p.after);
}

TEST_F(RemovalTest, InPlaceGivesTheSameBytesAsToAnotherFile) {
  const Source p{.pattern = "KKKCKKKKCKKKKCK"};
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), p.bytes()));
  ASSERT_EQ(strip("in.tpr", "other.tpr"), Error::None);
  ASSERT_EQ(strip("in.tpr", "in.tpr"), Error::None);
  EXPECT_EQ(readFile(dir_.path("in.tpr")), readFile(dir_.path("other.tpr")));
  EXPECT_EQ(dir_.fileCount(), 2u) << "no temporary file is left";
}

TEST_F(RemovalTest, FailuresLeaveEveryFileAsItWas) {
  const Source p{.pattern = "KCK"};
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), p.bytes()));
  ASSERT_TRUE(writeFile(dir_.path("old.tpr"), "old content"));
  // The project changed after it was loaded, in place: whatever it holds
  // now, its list is not the one in memory.
  const std::string changed[][2] = {
      {"no block any more", noise(5000, 3)},
      {"the same size, other bytes", p.before + ivtcBlock(recordsFromPattern("KKK", {1})) + p.after},
      {"a block past the end", p.before + ivtcBlock({{0, 0, 0}}, {.valueLength = 100000})},
  };
  for (const auto& [what, bytes] : changed) {
    ASSERT_TRUE(writeFile(dir_.path("changed.tpr"), p.bytes()));
    Project project;
    ASSERT_TRUE(project.load(dir_.path("changed.tpr")).ok());
    project.release();
    ASSERT_TRUE(writeFile(dir_.path("changed.tpr"), bytes));
    // As a save a moment later would leave it, whatever the clock's grain.
    std::filesystem::last_write_time(dir_.path("changed.tpr"),
                                     std::filesystem::last_write_time(dir_.path("changed.tpr")) + std::chrono::seconds(10));
    EXPECT_EQ(writeWithoutCopyFrames(project, into("old.tpr")), Error::ProjectChanged) << what;
    EXPECT_EQ(readFile(dir_.path("old.tpr")), "old content") << what;
  }
  {
    ASSERT_TRUE(writeFile(dir_.path("changed.tpr"), p.bytes()));
    Project gone;
    ASSERT_TRUE(gone.load(dir_.path("changed.tpr")).ok());
    gone.release();
    std::filesystem::remove(dir_.path("changed.tpr"));
    EXPECT_EQ(writeWithoutCopyFrames(gone, into("old.tpr")), Error::OpenSource);
  }
  EXPECT_EQ(strip("in.tpr", "no folder/x.tpr"), Error::OpenDestination);
  std::filesystem::create_directory(dir_.path("folder.tpr"));
  EXPECT_EQ(strip("in.tpr", "folder.tpr"), Error::OpenDestination);
  EXPECT_EQ(readFile(dir_.path("old.tpr")), "old content");
  EXPECT_EQ(readFile(dir_.path("in.tpr")), p.bytes());
  EXPECT_EQ(dir_.fileCount(), 3u) << "no temporary file is left";
}

TEST_F(RemovalTest, ThroughTheLoadedFileWithoutScanningAgain) {
  const Source p{.pattern = "KCKKC"};
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), p.bytes()));
  const std::string resaved = Source{.pattern = "KKKKK"}.bytes();
#ifdef _WIN32
  // Windows renames nothing over a file that is open.
  for (const bool replaced : {false}) {
#else
  for (const bool replaced : {false, true}) {
#endif
    Project project;
    ASSERT_TRUE(project.load(dir_.path("in.tpr")).ok());
    if (replaced) {
      // Saved anew under its name while the strip in place runs.
      ASSERT_TRUE(writeFile(dir_.path("new.tmp"), resaved));
      std::filesystem::rename(dir_.path("new.tmp"), dir_.path("in.tpr"));
    }
    const Status s = writeWithoutCopyFrames(project, into("in.tpr"));
    if (replaced) {
      EXPECT_EQ(s.error, Error::ProjectChanged);
      EXPECT_EQ(readFile(dir_.path("in.tpr")), resaved) << "the project saved anew is kept";
    } else {
      EXPECT_TRUE(s.ok());
      EXPECT_EQ(readFile(dir_.path("in.tpr")), p.before + ivtcBlock({{0, 1, 0}, {2, 3, 0}, {3, 4, 0}}) + p.after);
    }
  }
  EXPECT_EQ(dir_.fileCount(), 1u);
}

#ifndef _WIN32
TEST_F(RemovalTest, ALinkedDestinationReplacesItsTarget) {
  const Source p{.pattern = "KCK"};
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), p.bytes()));
  std::filesystem::create_symlink("in.tpr", dir_.path("link.tpr"));
  ASSERT_EQ(strip("link.tpr", "link.tpr"), Error::None);
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.path("link.tpr")));
  EXPECT_EQ(readFile(dir_.path("in.tpr")), p.before + ivtcBlock({{0, 1, 0}, {2, 3, 0}}) + p.after);
}

using testing::FileSizeLimit;

TEST_F(RemovalTest, AWriteFailingPartWayKeepsTheOldDestination) {
  Source p{.pattern = "KCKKC"};
  p.before = noise(300000, 4);
  ASSERT_TRUE(writeFile(dir_.path("in.tpr"), p.bytes()));
  // Limits inside the prefix, the records and the tail.
  for (const rlim_t limit : {100000u, 300040u, 320000u}) {
    ASSERT_TRUE(writeFile(dir_.path("old.tpr"), "old content"));
    {
      FileSizeLimit guard(limit);
      EXPECT_EQ(strip("in.tpr", "old.tpr"), Error::WriteFile) << limit;
      EXPECT_EQ(strip("in.tpr", "in.tpr"), Error::WriteFile) << limit;
    }
    EXPECT_EQ(readFile(dir_.path("old.tpr")), "old content");
    EXPECT_EQ(readFile(dir_.path("in.tpr")), p.bytes());
    EXPECT_EQ(dir_.fileCount(), 2u) << "no temporary file is left";
  }
}
#endif

}  // namespace
}  // namespace pulldex
