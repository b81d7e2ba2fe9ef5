#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/process.h"
#include "base/sys.h"

extern char** environ;

namespace pulldex::sys {

namespace {

int fd(Handle h) { return static_cast<int>(h); }

int failure() { return errno != 0 ? errno : EIO; }

Identity identityOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::int64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// Named temporary files that a signal must not leave behind, and child
// processes that must not outlive us. Only plain stores, unlink() and
// kill() happen in the handler, all safe there.
constexpr int kSlots = 8;
char pendingNames[kSlots][PATH_MAX];
std::atomic<bool> slotUsed[kSlots];
std::atomic<bool> forceNamed{false};
std::atomic<pid_t> children[kSlots];

void cleanUpAndDie(int signal) {
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i].load()) ::unlink(pendingNames[i]);
  for (int i = 0; i < kSlots; ++i)
    if (const pid_t pid = children[i].load(); pid > 0) ::kill(pid, SIGKILL);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void installCleanup() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    sigaction(s, nullptr, &old);
    if (old.sa_handler != SIG_DFL) continue;  // the program handles it itself
    struct sigaction action {};
    action.sa_handler = cleanUpAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(s, &action, nullptr);
  }
}

void registerPending(const std::string& name) {
  if (name.size() >= PATH_MAX) return;
  installCleanup();
  for (int i = 0; i < kSlots; ++i) {
    if (slotUsed[i].load()) continue;
    std::memcpy(pendingNames[i], name.c_str(), name.size() + 1);
    slotUsed[i].store(true);
    return;
  }
}

// A child to end should we be ended by a signal: one in the terminal's
// process group gets a Ctrl-C of its own, but not our SIGTERM or SIGHUP.
void registerChild(pid_t pid) {
  installCleanup();
  for (int i = 0; i < kSlots; ++i) {
    pid_t none = 0;
    if (children[i].compare_exchange_strong(none, pid)) return;
  }
}

void unregisterChild(pid_t pid) {
  for (int i = 0; i < kSlots; ++i) {
    pid_t expected = pid;
    children[i].compare_exchange_strong(expected, 0);
  }
}

void unregisterPending(const std::string& name) {
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i].load() && name == pendingNames[i]) slotUsed[i].store(false);
}

// Copies every extended attribute of `from` (POSIX ACLs among them) onto `to`.
bool copyAttributes(const std::string& from, int to) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP;
  std::vector<char> names(static_cast<std::size_t>(size) + 1);
  size = ::listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return false;
  for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
    const ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
    if (length < 0) continue;  // not ours to read
    std::vector<char> value(static_cast<std::size_t>(length) + 1);
    const ssize_t got = ::getxattr(from.c_str(), name, value.data(), value.size());
    if (got < 0) continue;
    if (::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0) != 0) return false;
  }
  return true;
}

// Flushes the folder that holds `path`, so that a new name in it lasts.
// 0 or an error number; a file system that cannot flush folders (EINVAL)
// keeps its names without being asked.
int syncFolder(const std::string& path) {
  const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return failure();
  const int error = ::fsync(dir) == 0 || errno == EINVAL ? 0 : failure();
  ::close(dir);
  return error;
}

int usualMode(int f) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return ::fchmod(f, 0666 & ~mask) == 0 ? 0 : failure();
}

// The process's own descriptor that `path` names, or -1.
int ownDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::size_t n = std::strlen(prefix);
    if (path.compare(0, n, prefix) != 0 || path.size() == n || path.size() > n + 9) continue;
    int fd = 0;
    for (std::size_t i = n; i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9') return -1;
      fd = fd * 10 + (path[i] - '0');
    }
    return fd;
  }
  return -1;
}

// A fresh name beside `target` for a hidden file of ours.
std::string tempNameBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  char name[64];
  std::snprintf(name, sizeof name, "/.pulldex-%d-%u", static_cast<int>(::getpid()), counter++);
  return folderOf(target) + name;
}

}  // namespace

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameKey(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

const int kErrorFolder = EISDIR;
const int kErrorDenied = EACCES;

int lastError() { return errno; }

std::string errorMessage(int error) { return std::strerror(error); }

Handle openRead(const std::string& path, Kind& kind) {
  int f;
  if (path == "-") {
    f = ::fcntl(0, F_DUPFD_CLOEXEC, 0);
  } else {
    do {
      f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (f < 0 && errno == EINTR);
  }
  if (f < 0) return kNoHandle;
  struct stat st {};
  if (::fstat(f, &st) != 0) {
    const int error = errno;
    ::close(f);
    errno = error;
    return kNoHandle;
  }
  if (S_ISREG(st.st_mode)) {
    kind = Kind::Regular;
  } else if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    kind = Kind::Stream;
  } else {
    // A folder fails as any file that cannot be opened would.
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder) kind = Kind::Device;
    ::close(f);
    errno = folder ? EISDIR : ENODEV;
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
  auto* p = static_cast<char*>(buffer);
  std::size_t total = 0;
  while (total < n) {
    const ssize_t got = ::read(fd(h), p + total, n - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(total);
}

std::int64_t readSome(Handle h, void* buffer, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd(h), buffer, n);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool writeAll(Handle h, const void* data, std::size_t n) {
  auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd(h), p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = EIO;
      return false;
    }
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
    if (n < 0) {
      // These say "not for these files": the caller copies through a buffer.
      const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                               errno == EBADF || errno == ETXTBSY;
      // What was copied counts; the next call meets the error again.
      if (total > 0) return total;
      if (unsupported) errno = 0;
      return -1;
    }
    if (n == 0) break;
    total += n;
  }
  return total;
#else
  (void)in;
  (void)out;
  (void)length;
  errno = 0;
  return -1;
#endif
}

void preferLargePages(void* start, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
  const auto from = (reinterpret_cast<std::uintptr_t>(start) + kLarge - 1) & ~(kLarge - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kLarge - 1);
  if (to > from) (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)start;
  (void)bytes;
#endif
}

void startWriteback(Handle h, std::int64_t offset, std::int64_t length) {
#ifdef __linux__
  // Only a hint: a failure changes nothing, the commit's fsync still flushes all.
  (void)::sync_file_range(fd(h), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)h;
  (void)offset;
  (void)length;
#endif
}

bool identify(Handle h, Identity& out) {
  struct stat st {};
  if (::fstat(fd(h), &st) != 0) return false;
  out = identityOf(st);
  return true;
}

bool identifyPath(const std::string& path, Identity& out) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  out = identityOf(st);
  return true;
}

void forceNamedTemporaryFiles(bool on) { forceNamed = on; }

void simulateReplaceFault(bool) {}

int examine(const std::string& path, PathFacts& out) {
  out = PathFacts{};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : failure();
  out.exists = true;
  out.regular = S_ISREG(st.st_mode);
  out.folder = S_ISDIR(st.st_mode);
  out.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  out.writable = ::access(path.c_str(), W_OK) == 0;
  out.links = static_cast<std::uint32_t>(st.st_nlink);
  out.identity = identityOf(st);
  return 0;
}

int followLinks(std::string& path, bool& unsafe) {
  unsafe = false;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    struct stat folder {};
    if (::stat(folderOf(path).c_str(), &folder) != 0) return failure();
    const bool sticky = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (sticky && st.st_uid != folder.st_uid && st.st_uid != ::geteuid()) {
      unsafe = true;
      return 0;
    }
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return failure();
    if (static_cast<std::size_t>(n) >= target.size()) return ENAMETOOLONG;
    const std::string to(target.data(), static_cast<std::size_t>(n));
    path = to[0] == '/' ? to : folderOf(path) + "/" + to;
  }
  return ELOOP;
}

int createPending(Pending& p) {
  // Unnamed until it replaces the destination, so that even a kill -9
  // leaves nothing behind. Open for reading too: where it cannot be given a
  // name, its bytes are copied into one that has (nameByCopy).
  int f = -1;
#ifdef O_TMPFILE
  if (!forceNamed) {
    f = ::open(folderOf(p.destination).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (f < 0 && (errno == ENOENT || errno == EACCES || errno == EROFS || errno == ENOTDIR)) return failure();
  }
#endif
  if (f < 0) {
    std::string name = folderOf(p.destination) + "/.pulldex-XXXXXX";
    f = ::mkostemp(name.data(), O_CLOEXEC);
    if (f < 0) return failure();
    p.tempPath = name;
    registerPending(name);
    // mkostemp makes it 0600; a new file gets what any other would.
    if (const int error = usualMode(f); error != 0) {
      p.handle = f;
      abandonPending(p);
      return error;
    }
  }
  p.handle = f;
  return 0;
}

int copyMetadata(Pending& p) {
  struct stat st {};
  struct stat mine {};
  if (::stat(p.destination.c_str(), &st) != 0) return errno == ENOENT ? 0 : failure();  // gone: nothing to keep
  if (::fstat(fd(p.handle), &mine) != 0) return failure();
  // Owner and group first: changing them clears set-user-ID.
  if ((mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) && ::fchown(fd(p.handle), st.st_uid, st.st_gid) != 0)
    return failure();
  if (::fchmod(fd(p.handle), st.st_mode & 07777) != 0 || !copyAttributes(p.destination, fd(p.handle))) return failure();
  return 0;
}

int syncPending(Pending& p) { return ::fsync(fd(p.handle)) == 0 ? 0 : failure(); }

// Copies the unnamed pending file into a named one beside the destination:
// the way to a name where neither link call may be used (no /proc, and no
// right to link by descriptor).
int nameByCopy(Pending& p) {
  std::string name = folderOf(p.destination) + "/.pulldex-XXXXXX";
  const int g = ::mkostemp(name.data(), O_CLOEXEC);
  if (g < 0) return failure();
  registerPending(name);
  const int f = fd(p.handle);
  p.handle = g;
  p.tempPath = name;
  int error = usualMode(g);
  std::vector<char> buffer(1 << 16);
  for (off_t at = 0; error == 0;) {
    const ssize_t got = ::pread(f, buffer.data(), buffer.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = failure();
    if (got <= 0) break;
    if (!writeAll(g, buffer.data(), static_cast<std::size_t>(got))) error = failure();
    at += got;
  }
  ::close(f);
  if (error == 0 && p.existed) error = copyMetadata(p);
  if (error == 0) error = syncPending(p);
  return error;
}

int replaceDestination(Pending& p) {
  const int f = fd(p.handle);
  if (p.tempPath.empty()) {
    // Give the unnamed file a name of its own, then move it over.
    std::string name;
    int linked = -1;
    int error = 0;
    for (int attempt = 0; attempt < 100 && linked != 0; ++attempt) {
      name = tempNameBeside(p.destination);
      char self[64];
      std::snprintf(self, sizeof self, "/proc/self/fd/%d", f);
      linked = ::linkat(f, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
      if (linked != 0 && errno != EEXIST) linked = ::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
      if (linked != 0 && errno != EEXIST) {
        error = failure();
        break;
      }
    }
    if (linked != 0) {
      // Without /proc (or the right to link by descriptor) the bytes are
      // copied into a file that has a name from the start.
      if (error == ENOENT || error == EPERM || error == EACCES || error == ENOSYS || error == EOPNOTSUPP ||
          error == EINVAL)
        error = nameByCopy(p);
      else if (error == 0)
        error = EEXIST;
      if (error != 0) {
        abandonPending(p);
        return error;
      }
    } else {
      p.tempPath = name;
      registerPending(name);
    }
  }
  int error = ::rename(p.tempPath.c_str(), p.destination.c_str()) == 0 ? 0 : failure();
  if (error == 0) {
    unregisterPending(p.tempPath);
    p.tempPath.clear();
    // The new name is in place, but it is not known to last until its
    // folder is on the disk too: a failure here is a failed write.
    error = syncFolder(p.destination);
  }
  abandonPending(p);
  return error;
}

void abandonPending(Pending& p) {
  if (p.handle != kNoHandle) ::close(fd(p.handle));
  p.handle = kNoHandle;
  if (!p.tempPath.empty()) {
    ::unlink(p.tempPath.c_str());
    unregisterPending(p.tempPath);
    p.tempPath.clear();
  }
}

bool namesStreamOutput(const std::string& path) {
  struct stat st {};
  return ownDescriptor(path) >= 0 || (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
}

int openStreamOutput(const std::string& path, Handle& out) {
  out = kNoHandle;
  int f = -1;
  if (const int own = ownDescriptor(path); own >= 0) {
    f = ::fcntl(own, F_DUPFD_CLOEXEC, 0);
  } else {
    if (!namesStreamOutput(path)) return 0;
    // Written into as it is: no temporary file, nothing truncated. A FIFO
    // waits here for its reader.
    do {
      f = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } while (f < 0 && errno == EINTR);
  }
  if (f < 0) return failure();
  out = f;
  return 0;
}

bool stderrIsTerminal() { return ::isatty(2) == 1; }

bool terminalEscapes() { return true; }

bool isStandardOutput(const std::string& path) {
  struct stat out {
  }, named{};
  if (path.empty() || ::fstat(1, &out) != 0 || ::stat(path.c_str(), &named) != 0) return false;
  return out.st_dev == named.st_dev && out.st_ino == named.st_ino;
}

std::string absolutePath(const std::string& path) {
  std::string whole = path;
  if (path.empty() || path[0] != '/') {
    std::vector<char> here(PATH_MAX);
    if (!::getcwd(here.data(), here.size())) return path;
    whole = std::string(here.data()) + "/" + path;
  }
  std::vector<std::string> steps;
  for (std::size_t at = 0; at <= whole.size();) {
    std::size_t end = whole.find('/', at);
    if (end == std::string::npos) end = whole.size();
    const std::string step = whole.substr(at, end - at);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    at = end + 1;
  }
  std::string out;
  for (const std::string& step : steps) out += "/" + step;
  return out.empty() ? "/" : out;
}

std::string findProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), F_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (std::size_t at = 0; at <= folders.size();) {
    std::size_t end = folders.find(':', at);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > at ? folders.substr(at, end - at) : ".";
    const std::string candidate = folder + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    at = end + 1;
  }
  return {};
}

bool runsThroughShell(const std::string&) { return false; }

int startChild(const std::string& program, const std::vector<std::string>& arguments, Child& child) {
  child = Child{};
  const std::string path = findProgram(program);
  if (path.empty()) return ENOENT;
  // There but not a program we may run: say so, not that it is missing.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
  if (::access(path.c_str(), X_OK) != 0) return failure();
  int out[2] = {-1, -1}, err[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0) return failure();
  if (::pipe2(err, O_CLOEXEC) != 0) {
    const int error = failure();
    ::close(out[0]);
    ::close(out[1]);
    return error;
  }
#ifdef F_SETPIPE_SZ
  // Room for a few frames of video: the child writes on while we measure.
  // Without the right to more, the system's largest pipe (1 MiB by default).
  if (::fcntl(out[0], F_SETPIPE_SZ, 4 << 20) < 0) ::fcntl(out[0], F_SETPIPE_SZ, 1 << 20);
#endif
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  if (error != 0) {
    ::close(out[0]);
    ::close(err[0]);
    return error;
  }
  child.output = out[0];
  child.errors = err[0];
  child.id = pid;
  registerChild(pid);
  return 0;
}

int waitChild(Child& child) {
  close(child.output);
  close(child.errors);
  child.output = child.errors = kNoHandle;
  if (child.id < 0) return -1;
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(static_cast<pid_t>(child.id), &status, 0);
  } while (got < 0 && errno == EINTR);
  unregisterChild(static_cast<pid_t>(child.id));
  child.id = -1;
  if (got < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void stopChild(Child& child) {
  if (child.id >= 0) ::kill(static_cast<pid_t>(child.id), SIGKILL);
  waitChild(child);
}

std::string toUtf8(const std::string& text) { return text; }

void binaryStdout() {}

void consoleSpeaksUtf8() {}

}  // namespace pulldex::sys
