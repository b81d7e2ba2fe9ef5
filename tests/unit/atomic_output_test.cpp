// The contract of AtomicOutput: a destination is replaced whole or not at
// all, keeps what it was (owner, group, mode, ACL, attributes), and no
// temporary file outlives a failure, a crash or a signal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/file.h"
#include "file_size_limit.h"
#ifndef _WIN32
#include "io_faults.h"
#endif
#include "project_builder.h"
#include "temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace pulldex {
namespace {

using testdata::readFile;
using testdata::writeFile;

// Writes `content` to `destination`; the status of open or commit.
Status writeWhole(const std::string& destination, const std::string& content) {
  AtomicOutput out;
  if (const Status s = out.open(destination, Error::CreateScript); !s.ok()) return s;
  if (!out.write(content)) return out.writeFailure();
  return out.commit();
}

class AtomicOutputTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
};

TEST_F(AtomicOutputTest, ReplacesWholeOrNotAtAll) {
  ASSERT_TRUE(writeFile(dir_.path("old.txt"), "old"));
  ASSERT_TRUE(writeFile(dir_.path("read-only.txt"), "kept"));
  std::filesystem::permissions(dir_.path("read-only.txt"), std::filesystem::perms::owner_read);
  std::filesystem::create_directory(dir_.path("folder"));
  const struct {
    const char* name;
    Error expected;
    const char* after;  // the destination's content afterwards, or null for none
  } cases[] = {
      {"new.txt", Error::None, "new"},
      {"old.txt", Error::None, "new"},
      {"read-only.txt", Error::CreateScript, "kept"},
      {"folder", Error::CreateScript, nullptr},
      {"no such folder/x.txt", Error::CreateScript, nullptr},
  };
  for (const auto& c : cases) {
    const Status s = writeWhole(dir_.path(c.name), "new");
    EXPECT_EQ(s.error, c.expected) << c.name;
    EXPECT_EQ(s.subject, c.expected == Error::None ? Subject::Project : Subject::Output) << c.name;
    if (c.after) {
      EXPECT_EQ(readFile(dir_.path(c.name)), c.after) << c.name;
    }
  }
  EXPECT_EQ(dir_.fileCount(), 4u) << "no temporary file is left";
}

#ifndef _WIN32
// A system call that fails on the way to the new name: the write is a
// failure, never reported done; where another way exists (no /proc to name
// the unnamed file by), it is taken and the file arrives whole.
TEST_F(AtomicOutputTest, EveryStepOfTheReplaceIsChecked) {
  const struct {
    const char* what;
    int* fault;
    int error;
    bool named;     // named temporary files, as without O_TMPFILE
    bool arrives;   // the new content is in place afterwards
    bool reported;  // the write reports a failure
  } cases[] = {
      {"the folder's flush after the rename", &pulldexFolderSyncFault, EIO, false, true, true},
      {"the named file's rights", &pulldexChmodFault, EPERM, true, false, true},
      {"no way to link the unnamed file", &pulldexLinkFault, ENOENT, false, true, false},
      {"no right to link the unnamed file", &pulldexLinkFault, EPERM, false, true, false},
      {"a link that fails for good", &pulldexLinkFault, EIO, false, false, true},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(writeFile(dir_.path("out.txt"), "old"));
    ::chmod(dir_.path("out.txt").c_str(), 0640);
    sys::forceNamedTemporaryFiles(c.named);
    *c.fault = c.error;
    const Status s = writeWhole(dir_.path("out.txt"), "new");
    *c.fault = 0;
    sys::forceNamedTemporaryFiles(false);
    EXPECT_EQ(s.ok(), !c.reported) << c.what;
    if (c.reported) {
      EXPECT_EQ(s.osError, c.error) << c.what;
    }
    EXPECT_EQ(readFile(dir_.path("out.txt")), c.arrives ? "new" : "old") << c.what;
    struct stat st {};
    ASSERT_EQ(::stat(dir_.path("out.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << c.what << ": the mode is kept";
    EXPECT_EQ(dir_.fileCount(), 1u) << c.what << ": no temporary file is left";
  }
}
#endif

// Writes of every size around the output's 64 KiB buffer, and copies larger
// than the 8 MiB steps in which the kernel copies and the write-back starts:
// every byte arrives, in order.
TEST_F(AtomicOutputTest, WritesAndCopiesOfEverySizeArriveInOrder) {
  const std::string source = testdata::noise(20 * 1024 * 1024 + 100, 7);
  ASSERT_TRUE(writeFile(dir_.path("source"), source));
  InputFile in;
  ASSERT_TRUE(in.open(dir_.path("source")));
  AtomicOutput out;
  ASSERT_TRUE(out.open(dir_.path("out"), Error::CreateScript).ok());
  std::string expected;
  std::size_t at = 0;
  for (const std::size_t n : {1, 65535, 65536, 65537, 200000, 3, 131072, 7, 0, 65536 * 3 + 1}) {
    const std::string piece = source.substr(at, n);
    ASSERT_TRUE(out.write(piece)) << n;
    expected += piece;
    at += n;
  }
  ASSERT_EQ(out.copyFrom(in, 12345, 17 * 1024 * 1024 + 3), CopyResult::Ok);
  expected += source.substr(12345, 17 * 1024 * 1024 + 3);
  ASSERT_TRUE(out.write("tail"));
  expected += "tail";
  ASSERT_EQ(out.copyFrom(in, 5, 70000), CopyResult::Ok);
  expected += source.substr(5, 70000);
  ASSERT_TRUE(out.commit().ok());
  EXPECT_TRUE(readFile(dir_.path("out")) == expected) << "the output differs";

  // A source that ends before the length asked for is a read failure, not a hole.
  ASSERT_TRUE(out.open(dir_.path("short"), Error::CreateScript).ok());
  EXPECT_EQ(out.copyFrom(in, static_cast<std::int64_t>(source.size()) - 10, 9 * 1024 * 1024), CopyResult::ReadFailed);
}

TEST_F(AtomicOutputTest, DiscardedWithoutCommit) {
  ASSERT_TRUE(writeFile(dir_.path("old.txt"), "old"));
  {
    AtomicOutput out;
    ASSERT_TRUE(out.open(dir_.path("old.txt"), Error::CreateScript).ok());
    ASSERT_TRUE(out.write(std::string(200000, 'x')));
  }
  EXPECT_EQ(readFile(dir_.path("old.txt")), "old");
  EXPECT_EQ(dir_.fileCount(), 1u);
}

#ifndef _WIN32
TEST_F(AtomicOutputTest, AFullDiskAtAnyOffsetKeepsTheOldFile) {
  const std::string big(300000, 'n');
  for (const rlim_t limit : {1u, 4096u, 65536u, 65537u, 200000u}) {
    ASSERT_TRUE(writeFile(dir_.path("old.txt"), "old"));
    Status s;
    {
      testing::FileSizeLimit guard(limit);
      s = writeWhole(dir_.path("old.txt"), big);
    }
    EXPECT_EQ(s.error, Error::WriteFile) << limit;
    EXPECT_NE(s.osError, 0) << "the system's reason is kept: " << limit;
    EXPECT_EQ(readFile(dir_.path("old.txt")), "old") << limit;
    EXPECT_EQ(dir_.fileCount(), 1u) << limit;
  }
}

TEST_F(AtomicOutputTest, HardLinkedFilesAreRefusedNotSplit) {
  ASSERT_TRUE(writeFile(dir_.path("a.txt"), "old"));
  std::filesystem::create_hard_link(dir_.path("a.txt"), dir_.path("b.txt"));
  EXPECT_EQ(writeWhole(dir_.path("a.txt"), "new").error, Error::HardLinks);
  EXPECT_EQ(readFile(dir_.path("b.txt")), "old");
  EXPECT_EQ(std::filesystem::hard_link_count(dir_.path("a.txt")), 2u);
}

TEST_F(AtomicOutputTest, KeepsModeOwnerAttributesAndAcl) {
  const std::string path = dir_.path("kept.txt");
  ASSERT_TRUE(writeFile(path, "old"));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  }
  const bool xattrs = ::setxattr(path.c_str(), "user.pulldex", "note", 4, 0) == 0;
  const bool acl = std::system(("setfacl -m u:65534:rw '" + path + "' 2>/dev/null").c_str()) == 0;

  ASSERT_TRUE(writeWhole(path, "new").ok());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(readFile(path), "new");
  if (!acl) {
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
  }
  if (root) {
    EXPECT_EQ(st.st_gid, 65534u);
  }
  if (xattrs) {
    char value[16] = {};
    EXPECT_EQ(::getxattr(path.c_str(), "user.pulldex", value, sizeof value), 4);
    EXPECT_STREQ(value, "note");
  }
  if (acl) {
    const std::string acls = "getfacl -c '" + path + "' 2>/dev/null | grep -q '^user:nobody:rw-'";
    EXPECT_EQ(std::system(acls.c_str()), 0) << "the ACL entry is kept";
  }
  if (!root || !xattrs || !acl)
    std::printf("skipped parts: %s%s%s\n", root ? "" : "owner (not root) ", xattrs ? "" : "xattrs (unsupported) ",
                acl ? "" : "ACL (unsupported) ");
}

TEST_F(AtomicOutputTest, SetUserIdStaysOnlyWithItsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another owner";
  const std::string path = dir_.path("prog");
  ASSERT_TRUE(writeFile(path, "prog"));
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(path.c_str(), 04755), 0);
  ASSERT_TRUE(writeWhole(path, "new prog").ok());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u) << "root must not come to own a set-user-ID file";
  EXPECT_EQ(st.st_mode & 07777, 04755u);
}

TEST_F(AtomicOutputTest, NoLinkIsFollowedThatTheKernelWouldRefuse) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link owned by someone else";
  const std::string sticky = dir_.path("sticky");
  std::filesystem::create_directory(sticky);
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  ASSERT_TRUE(writeFile(dir_.path("target.txt"), "old"));
  ASSERT_EQ(::symlink(dir_.path("target.txt").c_str(), (sticky + "/link").c_str()), 0);
  ASSERT_EQ(::lchown((sticky + "/link").c_str(), 65534, 65534), 0);
  EXPECT_EQ(writeWhole(sticky + "/link", "new").error, Error::UnsafeLink);
  EXPECT_EQ(readFile(dir_.path("target.txt")), "old");
  // The same link owned by us is followed, and stays a link.
  ASSERT_EQ(::lchown((sticky + "/link").c_str(), 0, 0), 0);
  EXPECT_TRUE(writeWhole(sticky + "/link", "new").ok());
  EXPECT_EQ(readFile(dir_.path("target.txt")), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(sticky + "/link"));
}

// A child process opens an output, writes and tells us; then it is killed.
// Whatever kills it, no file of it is left.
TEST_F(AtomicOutputTest, NoTemporaryFileOutlivesAKilledProcess) {
  const struct {
    int signal;
    bool named;  // the fallback for systems without unnamed files
  } cases[] = {{SIGKILL, false}, {SIGTERM, false}, {SIGINT, true}, {SIGTERM, true}, {SIGHUP, true}};
  for (const auto& c : cases) {
    ASSERT_TRUE(writeFile(dir_.path("old.txt"), "old"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      sys::forceNamedTemporaryFiles(c.named);
      AtomicOutput out;
      const bool ok = out.open(dir_.path("old.txt"), Error::CreateScript).ok() && out.write(std::string(1 << 20, 'x'));
      (void)!::write(ready[1], ok ? "x" : "f", 1);
      for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'x') << "the child could not write";
    if (c.named) {
      EXPECT_EQ(dir_.fileCount(), 2u) << "the named temporary file exists while it is written";
    }
    ::kill(child, c.signal);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(WIFSIGNALED(status)) << c.signal;
    EXPECT_EQ(dir_.fileCount(), 1u) << "signal " << c.signal << (c.named ? ", named" : "");
    EXPECT_EQ(readFile(dir_.path("old.txt")), "old");
  }
}
#endif

#ifdef _WIN32
// A replaced file keeps its attributes: hidden and system stay hidden and system.
TEST_F(AtomicOutputTest, KeepsAttributes) {
  const std::string path = dir_.path("hidden.txt");
  ASSERT_TRUE(writeFile(path, "old"));
  for (const DWORD kept : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}}) {
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), kept | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(writeWhole(path, "new").ok());
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), kept);
  }
  EXPECT_EQ(dir_.fileCount(), 1u);
}

// When Windows cannot move the new file in, the old one is under our backup
// name, not one the system chose: the new file still goes in place, and
// nothing else is left. Where even the old one cannot go back, it stays
// under the backup name: the only copy is never deleted.
TEST_F(AtomicOutputTest, ANewFileThatCannotBeMovedInStillArrives) {
  ASSERT_TRUE(writeFile(dir_.path("old.txt"), "old"));
  sys::simulateReplaceFault();
  EXPECT_TRUE(writeWhole(dir_.path("old.txt"), "new").ok());
  EXPECT_EQ(readFile(dir_.path("old.txt")), "new");
  EXPECT_EQ(dir_.fileCount(), 1u);

  sys::simulateReplaceFault(true);
  EXPECT_FALSE(writeWhole(dir_.path("old.txt"), "newer").ok());
  ASSERT_EQ(dir_.fileCount(), 1u);
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(dir_.path("old.txt")).parent_path())) {
    EXPECT_EQ(entry.path().extension(), ".bak") << entry.path();
    EXPECT_EQ(readFile(entry.path().string()), "new") << "the old file, kept";
  }
}

// The same on Windows: the test program starts itself again as a writer that
// opens an output, writes, says so through a file, and waits to be ended.
TEST_F(AtomicOutputTest, NoTemporaryFileOutlivesATerminatedProcess) {
  if (const char* target = std::getenv("PULLDEX_WRITER_TARGET")) {
    AtomicOutput out;
    const bool ok = out.open(target, Error::CreateScript).ok() && out.write(std::string(1 << 20, 'x'));
    writeFile(std::string(target) + ".ready", ok ? "x" : "f");
    Sleep(INFINITE);
  }
  ASSERT_TRUE(writeFile(dir_.path("old.txt"), "old"));
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  SetEnvironmentVariableA("PULLDEX_WRITER_TARGET", dir_.path("old.txt").c_str());
  std::string command =
      std::string("\"") + self + "\" --gtest_filter=AtomicOutputTest.NoTemporaryFileOutlivesATerminatedProcess";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  SetEnvironmentVariableA("PULLDEX_WRITER_TARGET", nullptr);
  for (int i = 0; i < 500 && !std::filesystem::exists(dir_.path("old.txt.ready")); ++i) Sleep(20);
  EXPECT_EQ(readFile(dir_.path("old.txt.ready")), "x") << "the writer could not write";
  EXPECT_EQ(dir_.fileCount(), 3u) << "the temporary file exists while it is written";
  TerminateProcess(child.hProcess, 1);
  WaitForSingleObject(child.hProcess, 10000);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  std::filesystem::remove(dir_.path("old.txt.ready"));
  EXPECT_EQ(dir_.fileCount(), 1u) << "a temporary file outlived its writer";
  EXPECT_EQ(readFile(dir_.path("old.txt")), "old");
}
#endif

}  // namespace
}  // namespace pulldex
