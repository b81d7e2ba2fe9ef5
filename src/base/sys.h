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

enum class Kind { Regular, Stream, Device, Folder };

// Opens for reading. "-" is standard input. `kind` tells what was opened;
// a folder or a device is closed again and kNoHandle returned.
Handle openRead(const std::string& path, Kind& kind);
void close(Handle h);
// Size of an open file in bytes, or -1.
std::int64_t fileSize(Handle h);
bool seek(Handle h, std::int64_t offset);
// Reads up to n bytes, looping over short reads: fewer than n only at the
// end of the file. -1 on error.
std::int64_t read(Handle h, void* buffer, std::size_t n);
// Writes all n bytes; false on any failure or short write.
bool writeAll(Handle h, const void* data, std::size_t n);

// Copies up to `length` bytes from `in` (at its current offset) to `out`
// inside the kernel. Returns the count copied; -1 with lastError() 0 when the
// platform cannot do it for these files (the caller then copies through a
// buffer), -1 with an error number when reading or writing failed.
std::int64_t kernelCopy(Handle in, Handle out, std::int64_t length);

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

// Why a destination cannot be written.
enum class Refusal { None, CannotCreate, HardLinks, UnsafeLink, KeepOwner };

// A file being written beside its destination. Nothing of it is visible under
// the destination's name before commit; a process that dies first leaves
// nothing behind.
struct Pending {
  Handle handle = kNoHandle;
  std::string destination;  // the file that commit replaces (links followed)
  std::string tempPath;     // a named temporary file, where the platform needs one
  bool existed = false;
  Identity old;  // the destination as it was when the write began
};

// Prepares a pending file for `destination`: follows links the kernel would
// follow, refuses a folder, a read-only file, a file with other hard links,
// and an owner that cannot be kept; gives the new file the old one's owner,
// group, mode bits, ACL and other extended attributes.
Refusal beginReplace(const std::string& destination, Pending& out);
// Flushes the file to the disk and renames it over the destination. With
// `expected`, only if the destination is still that file (else `changed` is
// set and nothing is renamed). The folder is flushed too, so the new name lasts.
bool commitReplace(Pending& p, const Identity* expected, bool& changed);
// Drops a pending file.
void abandonReplace(Pending& p);

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

}  // namespace pulldex::sys
