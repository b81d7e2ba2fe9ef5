// Thin layer over the operating system's file calls. One implementation per
// platform (sys_posix.cpp, sys_win.cpp), chosen by the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pulldex::sys {

// A file descriptor on POSIX, a HANDLE on Windows. -1 means "no file".
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The error number of the last failed call of this thread (errno or
// GetLastError), and the system's words for one.
int lastError();
std::string errorMessage(int error);
// The platform's error numbers for "this is a folder" and "access denied".
extern const int kErrorFolder;
extern const int kErrorDenied;

enum class Kind { Regular, Stream, Device };

// Opens for reading. "-" is standard input. `kind` tells what was opened;
// a folder (EISDIR) or a device is closed again and kNoHandle returned.
Handle openRead(const std::string& path, Kind& kind);
void close(Handle h);
// Size of an open file in bytes, or -1.
std::int64_t fileSize(Handle h);
bool seek(Handle h, std::int64_t offset);
// Reads up to n bytes, looping over short reads: fewer than n only at the
// end of the file. -1 on error.
std::int64_t read(Handle h, void* buffer, std::size_t n);
// Reads what is there, up to n bytes, waiting only for the first: from a
// pipe, as soon as its writer has written. 0 at the end, -1 on error.
std::int64_t readSome(Handle h, void* buffer, std::size_t n);
// Writes all n bytes; false on any failure or short write.
bool writeAll(Handle h, const void* data, std::size_t n);

// Copies up to `length` bytes from `in` (at its current offset) to `out`
// inside the kernel. Returns the count copied, fewer at the end of `in` or
// before an error; -1 when nothing was copied, with lastError() 0 when the
// platform cannot do it for these files and an error number when a read or a
// write failed. Which side failed is not told: the caller finds out by
// copying the rest through a buffer.
std::int64_t kernelCopy(Handle in, Handle out, std::int64_t length);

// Asks for large pages behind a large block of memory not yet touched, so
// that filling it faults once every few megabytes; nothing where the
// platform has no such request.
void preferLargePages(void* start, std::size_t bytes);

// Asks the system to start writing these bytes of a file to the disk now,
// without waiting for it, so that the flush before a commit finds little
// left to do. Does nothing where the platform has no such call.
void startWriteback(Handle h, std::int64_t offset, std::int64_t length);

// What makes a file the same file: a changed identity means it was replaced
// or written since.
struct Identity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::int64_t size = -1;
  std::int64_t modified = 0;  // nanoseconds, or the platform's ticks
  bool operator==(const Identity&) const = default;
};
bool identify(Handle h, Identity& out);
// The identity of the file at `path` (links followed); false when none.
bool identifyPath(const std::string& path, Identity& out);

// The folder that holds the file `path` names: "." for a bare name.
std::string folderOf(const std::string& path);
// The file's name within that folder, as the file system matches names:
// without regard to case on Windows.
std::string nameKey(const std::string& path);

// What a path names, links followed.
struct PathFacts {
  bool exists = false;
  bool regular = false;
  bool folder = false;
  bool readOnly = false;  // no write permission bits, or the read-only attribute
  bool writable = true;   // this process may write it
  std::uint32_t links = 1;
  Identity identity;
};
// 0, or the error number of the call that failed. A missing file is no
// failure: `exists` is then false.
int examine(const std::string& path, PathFacts& out);

// Follows symbolic links at `path` one hop at a time, as the kernel would
// for a write, and leaves the file they lead to in `path`. `unsafe` is set
// (and the walk stops) at a link the kernel's protected_symlinks rule would
// refuse: in a sticky, world-writable folder, owned by neither the folder's
// owner nor us. 0 or an error number. Windows leaves links as they are.
int followLinks(std::string& path, bool& unsafe);

// A file being written beside its destination. Nothing of it is visible under
// the destination's name before it replaces it; a process that dies first
// leaves nothing behind.
struct Pending {
  Handle handle = kNoHandle;
  std::string destination;  // the file that it replaces (links followed)
  std::string tempPath;     // a named temporary file, where the platform needs one
  bool existed = false;
};

// Creates the pending file in the destination's folder: unnamed where the
// system allows it, else under a hidden name of its own. 0 or an error number.
int createPending(Pending& p);
// Gives the pending file what the existing destination has that the
// replace would not keep by itself: on POSIX its owner and group, mode bits,
// ACL and other extended attributes (changing the owner first, which clears
// set-user-ID). On Windows the replace keeps them. 0 or an error number.
int copyMetadata(Pending& p);
// Flushes the pending file's bytes to the disk. 0 or an error number.
int syncPending(Pending& p);
// Puts the pending file in the destination's place and flushes the folder,
// so that the new name lasts. A destination that existed keeps, on Windows,
// its attributes, security and streams. The handle is closed either way.
// 0 or an error number.
int replaceDestination(Pending& p);
// Drops a pending file.
void abandonPending(Pending& p);

// Opens an output that is written straight through rather than replaced: a
// path that names an existing file which is neither a regular file nor a
// folder (a character device such as /dev/null, a FIFO, a socket; on Windows
// a device name such as NUL or a \\.\ path), or one of the process's own
// descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), which
// is taken as it is. `out` stays kNoHandle for any other path, which is
// replaced as a file. 0 or the error number of the open that failed.
int openStreamOutput(const std::string& path, Handle& out);
// Whether openStreamOutput would take `path` as such an output, without
// opening it (a FIFO would wait for its reader).
bool namesStreamOutput(const std::string& path);

// Whether `path` names the file standard output writes to (the same file
// as descriptor 1): /dev/stdout, /dev/fd/1, or the file it was sent to.
bool isStandardOutput(const std::string& path);

// `path` as an absolute path, without "." and ".." steps; links are not
// followed. The path as it was when it cannot be made absolute.
std::string absolutePath(const std::string& path);

// Whether standard error is a terminal (a console on Windows).
bool stderrIsTerminal();
// Whether that terminal takes the escapes that move the cursor and clear
// a line; on Windows they are turned on where the console can.
bool terminalEscapes();

// A path or text in the platform's encoding (the ANSI code page on
// Windows, bytes on POSIX) as UTF-8, where it can be converted.
std::string toUtf8(const std::string& text);

// Makes standard output carry bytes unchanged (no CR added before LF).
void binaryStdout();

// Makes the console show what the program prints (UTF-8 names on Windows)
// until the program ends, when the console gets its old code page back.
void consoleSpeaksUtf8();

// For tests: make pending files named ones, removed on SIGINT, SIGTERM and
// SIGHUP, as on systems without unnamed temporary files.
void forceNamedTemporaryFiles(bool on);
// For tests, on Windows: the next replace fails as Windows fails when it
// cannot move the new file in (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2); with
// `nothingMoves`, every rename after that fails too, so that the replaced
// file cannot go back either. Nothing elsewhere.
void simulateReplaceFault(bool nothingMoves = false);

}  // namespace pulldex::sys
