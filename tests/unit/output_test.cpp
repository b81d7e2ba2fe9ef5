// The one way out: what an output may replace, the identity of a project
// across its own saves, and which file a failure is blamed on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "file_size_limit.h"
#include "formats/frame_setting_file.h"
#include "project/ivtc_block.h"
#include "project/output.h"
#include "project/project.h"
#include "project_builder.h"
#include "temp_dir.h"

#ifndef _WIN32
#include <cerrno>

#include "io_faults.h"
#endif

namespace pulldex {
namespace {

using namespace testdata;

class OutputTest : public ::testing::Test {
 protected:
  std::string project(const std::string& name, std::string_view pattern) {
    const std::string bytes = noise(3000, 5) + ivtcBlock(recordsFromPattern(pattern)) + noise(70000, 6);
    EXPECT_TRUE(writeFile(dir_.path(name), bytes));
    return bytes;
  }
  static Status settingsTo(Destination d, const Project& p) {
    return writeOutput(d, [&](Sink& out) {
      writeFrameSettings(out, p.list());
      return Status{};
    });
  }

  testing::TempDir dir_;
};

TEST_F(OutputTest, NothingTheRunReadsIsReplacedByAccident) {
  const std::string a = project("a.tpr", "KCK");
  const std::string b = project("b.tpr", "KKC");
  ASSERT_TRUE(writeFile(dir_.path("edited.sfs"), "1?0"));
  Project p;
  ASSERT_TRUE(p.load(dir_.path("a.tpr")).ok());
  RunFiles run;
  run.addInput(dir_.path("a.tpr"), RunFiles::Kind::Project);
  run.addInput(dir_.path("b.tpr"), RunFiles::Kind::Project);
  run.addInput(dir_.path("edited.sfs"), RunFiles::Kind::Settings);

  // The loaded project, another of the same run and the frame-setting file
  // read, whatever the output, by any name.
  const struct {
    const char* path;
    Error refused;
  } cases[] = {{"a.tpr", Error::OutputIsProject},
               {"b.tpr", Error::OutputIsProject},
               {"./b.tpr", Error::OutputIsProject},
               {"edited.sfs", Error::OutputIsInput}};
  for (const auto& c : cases)
    for (const bool inPlace : {false, true}) {
      if (inPlace && std::string(c.path) == "a.tpr") continue;  // the strip in place
      const Status s = settingsTo({.path = dir_.path(c.path), .project = &p, .inPlace = inPlace, .run = &run}, p);
      EXPECT_EQ(s.error, c.refused) << c.path;
      EXPECT_EQ(s.subject, Subject::Output) << c.path;
    }
  EXPECT_EQ(readFile(dir_.path("a.tpr")), a);
  EXPECT_EQ(readFile(dir_.path("b.tpr")), b);
  EXPECT_EQ(readFile(dir_.path("edited.sfs")), "1?0");
  EXPECT_EQ(dir_.fileCount(), 3u) << "a refused output leaves no file";

  // Asked for: --force replaces each.
  for (const char* name : {"a.tpr", "b.tpr", "edited.sfs"}) {
    EXPECT_TRUE(settingsTo({.path = dir_.path(name), .project = &p, .run = &run, .force = true}, p).ok()) << name;
    EXPECT_EQ(readFile(dir_.path(name)), "101") << name;
  }
}

// Two outputs of one run on one file are found before either is written,
// by whatever name they reach it; streams take any number.
TEST_F(OutputTest, OneFileTakesOneOutputOfARun) {
  std::filesystem::create_directory(dir_.path("out"));
  ASSERT_TRUE(writeFile(dir_.path("out/old.asc"), "old"));
  const struct {
    const char *first, *second;
    bool collide;
  } cases[] = {
      {"out/movie.asc", "out/movie.asc", true}, {"out/movie.asc", "out/../out/movie.asc", true},
      {"out/old.asc", "./out/old.asc", true},   {"out/movie.asc", "out/movie.sfs", false},
      {"out/movie.asc", "movie.asc", false},    {"-", "-", false},
  };
  for (const auto& c : cases) {
    RunFiles run;
    std::string earlier;
    const auto at = [&](const char* p) { return std::string(p) == "-" ? std::string("-") : dir_.path(p); };
    EXPECT_TRUE(run.claim(at(c.first), "a/movie.tpr", earlier)) << c.first;
    EXPECT_EQ(run.claim(at(c.second), "b/movie.tpr", earlier), !c.collide) << c.first << " " << c.second;
    if (c.collide) {
      EXPECT_EQ(earlier, "a/movie.tpr");
    }
  }
#ifndef _WIN32
  RunFiles run;
  std::string earlier;
  EXPECT_TRUE(run.claim("/dev/null", "a", earlier));
  EXPECT_TRUE(run.claim("/dev/null", "b", earlier));
  std::filesystem::create_symlink(dir_.path("out/old.asc"), dir_.path("link.asc"));
  EXPECT_TRUE(run.claim(dir_.path("out/old.asc"), "a", earlier));
  EXPECT_FALSE(run.claim(dir_.path("link.asc"), "b", earlier));
#endif
}

TEST_F(OutputTest, ARemovalInPlaceMakesItsFileTheProject) {
  project("a.tpr", "KCKKCKC");
  Project p;
  ASSERT_TRUE(p.load(dir_.path("a.tpr")).ok());
  const Destination inPlace{.path = dir_.path("a.tpr"), .inPlace = true};
  ASSERT_TRUE(writeWithoutCopyFrames(p, inPlace).ok());
  sys::Identity now;
  ASSERT_TRUE(sys::identifyPath(dir_.path("a.tpr"), now));
  EXPECT_EQ(p.identity(), now) << "the file it wrote is the loaded one now";

  // Its own save is no foreign change: another list, removed again, in
  // place and to another name (the project no longer open, as in the dialog).
  p.release();
  p.list() = FrameList{{{0, Kept}, {0, Copy}, {5, Kept}}};
  ASSERT_TRUE(writeWithoutCopyFrames(p, {.path = dir_.path("b.tpr")}).ok());
  ASSERT_TRUE(writeWithoutCopyFrames(p, inPlace).ok());
  FrameList back;
  ASSERT_TRUE(readIvtcList(dir_.path("b.tpr"), back).ok());
  EXPECT_EQ(back.entries, (std::vector<FrameEntry>{{0, Kept}, {0, Unlisted}, {5, Kept}}));
  EXPECT_EQ(readFile(dir_.path("a.tpr")), readFile(dir_.path("b.tpr")));

  // A save by someone else is still one.
  p.release();
  const std::string theirs = project("a.tpr", "KK");
  std::filesystem::last_write_time(dir_.path("a.tpr"),
                                   std::filesystem::last_write_time(dir_.path("a.tpr")) + std::chrono::seconds(10));
  EXPECT_EQ(writeWithoutCopyFrames(p, inPlace), Error::ProjectChanged);
  EXPECT_EQ(readFile(dir_.path("a.tpr")), theirs);
}

TEST_F(OutputTest, AFailedWriteToAStreamIsAFailure) {
  struct Full final : Sink {
    bool write(const void*, std::size_t n) override { return n == 0 && !failed; }
    int error() const override { return 28; }
    bool failed = true;
  } full;
  project("a.tpr", "KCK");
  Project p;
  ASSERT_TRUE(p.load(dir_.path("a.tpr")).ok());
  const Status s = settingsTo({.path = "-", .project = &p, .standardOutput = &full}, p);
  EXPECT_EQ(s.error, Error::WriteFile);
  EXPECT_EQ(s.subject, Subject::Output);
  EXPECT_EQ(s.osError, 28);
}

#ifndef _WIN32
// When the kernel's copy fails, it does not say whether it was the read of
// the project or the write of the output: the rest of the copy goes through
// plain reads and writes, which do.
TEST_F(OutputTest, ACopyThatFailsIsBlamedOnTheSideThatFailed) {
  const std::string a = project("a.tpr", "KCKKC");
  struct Case {
    const char* what;
    bool readFails;
    rlim_t sizeLimit;  // 0: none
    Error error;
    Subject subject;
  } cases[] = {
      {"the project cannot be read", true, 0, Error::ReadFile, Subject::Project},
      {"the output cannot be written", false, 50000, Error::WriteFile, Subject::Output},
      {"neither: the copy is finished by hand", false, 0, Error::None, Subject::Project},
  };
  for (const Case& c : cases) {
    Project p;
    ASSERT_TRUE(p.load(dir_.path("a.tpr")).ok());
    InputFile* in = nullptr;
    ASSERT_TRUE(p.input(in).ok());
    pulldexCopyFault = EIO;
    pulldexReadFaultFd = c.readFails ? static_cast<int>(in->handle()) : -1;
    Status s;
    if (c.sizeLimit != 0) {
      testing::FileSizeLimit limit(c.sizeLimit);
      s = writeWithoutCopyFrames(p, {.path = dir_.path("out.tpr")});
    } else {
      s = writeWithoutCopyFrames(p, {.path = dir_.path("out.tpr")});
    }
    pulldexCopyFault = 0;
    pulldexReadFaultFd = -1;
    EXPECT_EQ(s.error, c.error) << c.what;
    EXPECT_EQ(s.subject, c.subject) << c.what;
    if (!s.ok()) {
      EXPECT_NE(s.osError, 0) << c.what;
      EXPECT_FALSE(std::filesystem::exists(dir_.path("out.tpr"))) << c.what;
    }
  }
  FrameList back;
  ASSERT_TRUE(readIvtcList(dir_.path("out.tpr"), back).ok());
  EXPECT_EQ(readFile(dir_.path("out.tpr")).size(), a.size() - 2 * 6);
  EXPECT_EQ(dir_.fileCount(), 2u);
}
#endif

}  // namespace
}  // namespace pulldex
