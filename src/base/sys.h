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

Handle openRead(const std::string& path);
void close(Handle h);
// Size of an open file in bytes, or -1.
std::int64_t fileSize(Handle h);
bool seek(Handle h, std::int64_t offset);
// Reads up to n bytes: the count read, 0 at the end of the file, -1 on error.
std::int64_t read(Handle h, void* buffer, std::size_t n);
// Writes all n bytes; false on any failure or short write.
bool writeAll(Handle h, const void* data, std::size_t n);

// Copies up to `length` bytes from `in` (at its current offset) to `out`
// inside the kernel. Returns the count copied, or -1 when the platform cannot
// do it for these files (the caller then copies through a buffer).
std::int64_t kernelCopy(Handle in, Handle out, std::int64_t length);

// Follows symbolic links so that a replaced file keeps its links.
std::string resolveLinks(const std::string& path);
// False when `path` names something that cannot be replaced by a file we
// write: a folder, another non-regular file, or a read-only file.
bool replaceable(const std::string& path);
// Creates a new empty file in the folder of `target`; its name goes to `tempPath`.
Handle createTempBeside(const std::string& target, std::string& tempPath);
// Gives the finished temporary file the permissions that `target` has (or
// an ordinary file's) and flushes it to the disk.
bool finish(Handle h, const std::string& target);
// Atomically renames `from` over `to`.
bool replace(const std::string& from, const std::string& to);
void removeFile(const std::string& path);

// Makes standard output carry bytes unchanged (no CR added before LF).
void binaryStdout();

}  // namespace pulldex::sys
