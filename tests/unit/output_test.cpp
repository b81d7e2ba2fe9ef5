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

TEST_F(OutputTest, AProjectGivenOrLoadedIsNeverReplacedByAccident) {
  const std::string a = project("a.tpr", "KCK");
  const std::string b = project("b.tpr", "KKC");
  Project p;
  ASSERT_TRUE(p.load(dir_.path("a.tpr")).ok());
  sys::Identity other;
  ASSERT_TRUE(sys::identifyPath(dir_.path("b.tpr"), other));

  // The loaded project, and another of the same run, whatever the output.
  for (const bool inPlace : {false, true}) {
    const Status own = settingsTo({.path = dir_.path("a.tpr"), .project = &p, .otherProjects = {other}}, p);
    EXPECT_EQ(own.error, Error::OutputIsProject);
    EXPECT_EQ(own.subject, Subject::Output);
    EXPECT_EQ(settingsTo({.path = dir_.path("b.tpr"), .project = &p, .inPlace = inPlace, .otherProjects = {other}}, p),
              Error::OutputIsProject);
  }
  EXPECT_EQ(readFile(dir_.path("a.tpr")), a);
  EXPECT_EQ(readFile(dir_.path("b.tpr")), b);
  EXPECT_EQ(dir_.fileCount(), 2u) << "a refused output leaves no file";

  // Asked for: --force replaces either.
  for (const char* name : {"a.tpr", "b.tpr"}) {
    EXPECT_TRUE(settingsTo({.path = dir_.path(name), .project = &p, .otherProjects = {other}, .force = true}, p).ok());
    EXPECT_EQ(readFile(dir_.path(name)), "101") << name;
  }
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
