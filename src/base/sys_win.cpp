#include "base/sys.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

namespace pulldex::sys {

namespace {

HANDLE win(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle ours(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(h); }

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

}  // namespace

Handle openRead(const std::string& path) {
  return ours(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void close(Handle h) {
  if (h != kNoHandle) CloseHandle(win(h));
}

std::int64_t fileSize(Handle h) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(win(h), &size)) return -1;
  return size.QuadPart;
}

bool seek(Handle h, std::int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(win(h), to, nullptr, FILE_BEGIN) != 0;
}

std::int64_t read(Handle h, void* buffer, std::size_t n) {
  DWORD got = 0;
  const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
  if (!ReadFile(win(h), buffer, want, &got, nullptr)) return -1;
  return got;
}

bool writeAll(Handle h, const void* data, std::size_t n) {
  auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD put = 0;
    if (!WriteFile(win(h), p, chunk, &put, nullptr) || put == 0) return false;
    p += put;
    n -= put;
  }
  return true;
}

std::int64_t kernelCopy(Handle, Handle, std::int64_t) { return -1; }

// Windows links are left as they are: MoveFileEx replaces the link itself.
std::string resolveLinks(const std::string& path) { return path; }

bool replaceable(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND;
  }
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

Handle createTempBeside(const std::string& target, std::string& tempPath) {
  char name[MAX_PATH];
  if (GetTempFileNameA(folderOf(target).c_str(), "pdx", 0, name) == 0) return kNoHandle;
  const HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(name);
    return kNoHandle;
  }
  tempPath = name;
  return ours(h);
}

bool finish(Handle h, const std::string&) { return FlushFileBuffers(win(h)) != 0; }

bool replace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void removeFile(const std::string& path) { DeleteFileA(path.c_str()); }

void binaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace pulldex::sys
