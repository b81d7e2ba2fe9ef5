#include "base/sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace pulldex::sys {

namespace {

int fd(Handle h) { return static_cast<int>(h); }

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

Handle openRead(const std::string& path) {
  int f;
  do {
    f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (f < 0 && errno == EINTR);
  if (f < 0) return kNoHandle;
  struct stat st {};
  // Reading a folder "succeeds" on some systems; it is not a file.
  if (::fstat(f, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(f);
    return kNoHandle;
  }
  return f;
}

void close(Handle h) {
  if (h != kNoHandle) ::close(fd(h));
}

std::int64_t fileSize(Handle h) {
  struct stat st {};
  if (::fstat(fd(h), &st) != 0) return -1;
  return st.st_size;
}

bool seek(Handle h, std::int64_t offset) { return ::lseek(fd(h), offset, SEEK_SET) == offset; }

std::int64_t read(Handle h, void* buffer, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd(h), buffer, n);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

bool writeAll(Handle h, const void* data, std::size_t n) {
  auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd(h), p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

std::int64_t kernelCopy(Handle in, Handle out, std::int64_t length) {
#ifdef __linux__
  std::int64_t total = 0;
  while (total < length) {
    const ssize_t n = ::copy_file_range(fd(in), nullptr, fd(out), nullptr, static_cast<std::size_t>(length - total), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return total > 0 ? total : -1;
    if (n == 0) break;
    total += n;
  }
  return total;
#else
  (void)in;
  (void)out;
  (void)length;
  return -1;
#endif
}

std::string resolveLinks(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

bool replaceable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) return false;
  // Refuse read-only files even for root, who could write them anyway: the
  // user marked them so on purpose.
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(path.c_str(), W_OK) == 0;
}

Handle createTempBeside(const std::string& target, std::string& tempPath) {
  std::string name = folderOf(target) + "/.pulldex-XXXXXX";
  const int f = ::mkostemp(name.data(), O_CLOEXEC);
  if (f < 0) return kNoHandle;
  tempPath = name;
  return f;
}

bool finish(Handle h, const std::string& target) {
  struct stat st {};
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  return ::fchmod(fd(h), mode) == 0 && ::fsync(fd(h)) == 0;
}

bool replace(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

void binaryStdout() {}

}  // namespace pulldex::sys
