#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/process.h"
#include "base/sys.h"

namespace pulldex::sys {

namespace {

HANDLE win(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle ours(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(h); }

// A text in the A calls' code page (UTF-8 under the manifest) as UTF-16;
// empty when it cannot be converted.
std::wstring fromCodePage(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
  return w;
}

// A path of ours for the W calls, which take paths of any length. A path too
// long for the old limit gets the \\?\ form, which needs no system setting.
std::wstring wide(const std::string& path) {
  const std::wstring w = fromCodePage(path);
  if (w.size() < MAX_PATH - 14 || w.rfind(L"\\\\?\\", 0) == 0 || w.rfind(L"\\\\.\\", 0) == 0) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring fullPath(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), n, full.data(), nullptr));
  return full;
}

HANDLE openPath(const std::string& path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL,
                DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) {
  return CreateFileW(wide(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
}

bool identityOf(HANDLE h, Identity& out, DWORD* links = nullptr) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return false;
  out.device = info.dwVolumeSerialNumber;
  out.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  out.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  out.modified = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                           info.ftLastWriteTime.dwLowDateTime);
  if (links) *links = info.nNumberOfLinks;
  return true;
}

// The file is deleted when its last handle closes, unless this is cleared
// again: a process that dies while writing leaves nothing behind.
bool setDeleteOnClose(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = on ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

std::atomic<int> replaceFault{0};  // 0 none, 1 the replacement stays out, 2 and nothing moves after
bool stuck = false;                // the second fault, under way

// ReplaceFile with a backup name. The simulated fault does what Windows
// does when it cannot move the replacement in: the replaced file is at the
// backup name, the replacement where it was.
bool replaceFile(const std::wstring& to, const std::wstring& from, const std::wstring& backup) {
  if (const int fault = replaceFault.exchange(0); fault != 0) {
    if (!MoveFileExW(to.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    stuck = fault == 2;
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return false;
  }
  return ReplaceFileW(to.c_str(), from.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
}

// A rename, which the second simulated fault makes fail.
bool moveFile(const std::wstring& from, const std::wstring& to, DWORD flags) {
  if (stuck) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return MoveFileExW(from.c_str(), to.c_str(), flags) != 0;
}

// Temporary files without a delete disposition, removed on console Ctrl
// events; and the replaced files moved aside while a replace works, each
// put back where its destination is gone, else removed.
std::mutex pendingLock;
std::vector<std::string> pendingNames;
std::vector<std::pair<std::wstring, std::wstring>> asideNames;  // the file aside, its destination
std::atomic<bool> forceNamed{false};

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

BOOL WINAPI removePending(DWORD) {
  std::lock_guard<std::mutex> lock(pendingLock);
  for (const std::string& name : pendingNames) DeleteFileW(wide(name).c_str());
  for (const auto& [aside, destination] : asideNames) {
    if (!exists(aside)) continue;
    if (exists(destination))
      DeleteFileW(aside.c_str());
    else
      MoveFileExW(aside.c_str(), destination.c_str(), MOVEFILE_WRITE_THROUGH);
  }
  return FALSE;  // and let the default handler end the process
}

// Once, under pendingLock.
void installCtrlHandler() {
  static bool installed = false;
  if (!installed) installed = SetConsoleCtrlHandler(removePending, TRUE) != 0;
}

void registerAside(const std::wstring& aside, const std::wstring& destination) {
  std::lock_guard<std::mutex> lock(pendingLock);
  installCtrlHandler();
  asideNames.emplace_back(aside, destination);
}

void unregisterAside(const std::wstring& aside) {
  std::lock_guard<std::mutex> lock(pendingLock);
  for (auto it = asideNames.begin(); it != asideNames.end(); ++it)
    if (it->first == aside) {
      asideNames.erase(it);
      return;
    }
}

void registerPending(const std::string& name) {
  std::lock_guard<std::mutex> lock(pendingLock);
  installCtrlHandler();
  pendingNames.push_back(name);
}

void unregisterPending(const std::string& name) {
  std::lock_guard<std::mutex> lock(pendingLock);
  for (auto it = pendingNames.begin(); it != pendingNames.end(); ++it)
    if (*it == name) {
      pendingNames.erase(it);
      return;
    }
}

}  // namespace

std::string folderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  // "C:movie.tpr" is in the current folder of drive C, not of this one.
  if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "." : ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string nameKey(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/:") + 1);
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return name;
}

const int kErrorFolder = ERROR_DIRECTORY;
const int kErrorDenied = ERROR_ACCESS_DENIED;

int lastError() { return static_cast<int>(GetLastError()); }

std::string errorMessage(int error) {
  char* text = nullptr;
  const DWORD n =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = n > 0 && text ? std::string(text, n) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == '.' || message.back() == ' '))
    message.pop_back();
  return message;
}

Handle openRead(const std::string& path, Kind& kind) {
  HANDLE h;
  if (path == "-") {
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_INPUT_HANDLE), GetCurrentProcess(), &h, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
      return kNoHandle;
  } else {
    h = openPath(path, GENERIC_READ, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return kNoHandle;
  }
  switch (GetFileType(h)) {
    case FILE_TYPE_DISK:
      kind = Kind::Regular;
      return ours(h);
    case FILE_TYPE_PIPE:
      kind = Kind::Stream;
      return ours(h);
    default:
      kind = Kind::Device;
      CloseHandle(h);
      SetLastError(ERROR_BAD_DEVICE);
      return kNoHandle;
  }
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
  auto* p = static_cast<char*>(buffer);
  std::size_t total = 0;
  while (total < n) {
    DWORD got = 0;
    const std::size_t left = n - total;
    const DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    if (!ReadFile(win(h), p + total, want, &got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer closed its end
      return -1;
    }
    if (got == 0) break;
    total += got;
  }
  return static_cast<std::int64_t>(total);
}

std::int64_t readSome(Handle h, void* buffer, std::size_t n) {
  DWORD got = 0;
  const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
  if (!ReadFile(win(h), buffer, want, &got, nullptr)) return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
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

std::int64_t kernelCopy(Handle, Handle, std::int64_t) {
  SetLastError(0);
  return -1;
}

// Large pages need a privilege no ordinary user has.
void preferLargePages(void*, std::size_t) {}

// Windows has no call that starts a write-back without waiting for it.
void startWriteback(Handle, std::int64_t, std::int64_t) {}

bool identify(Handle h, Identity& out) { return identityOf(win(h), out); }

bool identifyPath(const std::string& path, Identity& out) {
  const HANDLE h = openPath(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = identityOf(h, out);
  CloseHandle(h);
  return ok;
}

void forceNamedTemporaryFiles(bool on) { forceNamed = on; }

void simulateReplaceFault(bool nothingMoves) { replaceFault = nothingMoves ? 2 : 1; }

int examine(const std::string& path, PathFacts& out) {
  out = PathFacts{};
  const DWORD attributes = GetFileAttributesW(wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
  }
  out.exists = true;
  out.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  out.regular = !out.folder && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  out.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  const HANDLE h = openPath(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) {
    // Gone since its attributes were read (another writer's replace moves
    // it aside for a moment): it is not there.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return static_cast<int>(error);
    out = PathFacts{};
    return 0;
  }
  DWORD links = 1;
  const bool known = identityOf(h, out.identity, &links);
  const DWORD error = GetLastError();
  CloseHandle(h);
  if (!known) return static_cast<int>(error != 0 ? error : ERROR_INVALID_FUNCTION);
  out.links = links;
  return 0;
}

// Windows links are left as they are: the replace acts on the link itself.
int followLinks(std::string&, bool& unsafe) {
  unsafe = false;
  return 0;
}

int createPending(Pending& p) {
  // A new name beside the destination, pdxNNNN.tmp. The system's own
  // temporary names stop at the old path limit.
  std::string folder = folderOf(p.destination);
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  static std::atomic<unsigned> counter{0};
  std::string name;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 1000 && h == INVALID_HANDLE_VALUE; ++attempt) {
    char unique[32];
    std::snprintf(unique, sizeof unique, "pdx%lx%lx.tmp", GetCurrentProcessId(),
                  static_cast<unsigned long>((GetTickCount() << 8) + counter.fetch_add(1)));
    name = folder + unique;
    h = openPath(name, GENERIC_WRITE | DELETE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_DELETE);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      break;
  }
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  p.handle = ours(h);
  p.tempPath = name;
  if (forceNamed || !setDeleteOnClose(h, true)) registerPending(name);
  return 0;
}

int copyMetadata(Pending& p) {
  // The replace keeps the security and streams of the file it replaces; the
  // attributes are given here too, for a replace that falls back to a rename.
  const DWORD attributes = GetFileAttributesW(wide(p.destination).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Gone meanwhile (another writer's replace is under way): nothing to keep.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
  }
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(win(p.handle), FileBasicInfo, &basic, sizeof basic))
    return static_cast<int>(GetLastError());
  constexpr DWORD kKept =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  basic.FileAttributes = (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(win(p.handle), FileBasicInfo, &basic, sizeof basic))
    return static_cast<int>(GetLastError());
  return 0;
}

int syncPending(Pending& p) { return FlushFileBuffers(win(p.handle)) ? 0 : static_cast<int>(GetLastError()); }

int replaceDestination(Pending& p) {
  if (!setDeleteOnClose(win(p.handle), false)) {
    // Without a disposition there is nothing to clear, unless the file is
    // one of the named ones; either way it must outlive the handle now.
    bool named = false;
    {
      std::lock_guard<std::mutex> lock(pendingLock);
      for (const std::string& n : pendingNames) named = named || n == p.tempPath;
    }
    if (!named) {
      const DWORD error = GetLastError();
      abandonPending(p);
      return static_cast<int>(error);
    }
  }
  CloseHandle(win(p.handle));
  p.handle = kNoHandle;
  // Full paths: Wine's ReplaceFile takes no relative ones.
  const std::wstring from = fullPath(wide(p.tempPath));
  const std::wstring to = fullPath(wide(p.destination));
  // The replaced file goes to a name of ours while ReplaceFile works: without
  // one, a replacement that cannot be moved in leaves the old file under a
  // name the system chose.
  const std::wstring backup = from.substr(0, from.size() - 4) + L".bak";
  registerAside(backup, to);
  // Another program (a second writer, a virus scanner, an indexer) may hold
  // the destination for a moment: try again for up to about a second.
  DWORD error = 0;
  bool aside = false;  // the replaced file is at the backup name
  for (int attempt = 0; attempt < 50; ++attempt) {
    // ReplaceFile keeps the replaced file's attributes, security and
    // streams; a destination that is gone by now is simply renamed into.
    bool done = false;
    if (p.existed && !aside) {
      done = replaceFile(to, from, backup);
      error = done ? 0 : GetLastError();
      aside = !done && error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    }
    // Gone meanwhile, or (a second writer's replace got there first) the
    // replaced file removed and ours left under its own name, or the
    // replaced file moved aside and ours not yet in (a second writer may
    // hold the name for a moment): a rename then.
    if (!done && (aside || !p.existed || error == ERROR_FILE_NOT_FOUND || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)) {
      done = moveFile(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
      error = done ? 0 : GetLastError();
    }
    if (done) break;
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION &&
        error != ERROR_UNABLE_TO_REMOVE_REPLACED)
      break;
    Sleep(20);
  }
  // Ours could not go in: the replaced file goes back, unless a second
  // writer's file has taken the name meanwhile (it is the newer one).
  if (aside && error != 0) moveFile(backup, to, MOVEFILE_WRITE_THROUGH);
  // The replaced file at the backup name goes only once a file is proven in
  // the destination's place: else it may be the only copy.
  if (exists(to)) DeleteFileW(backup.c_str());
  unregisterAside(backup);
  stuck = false;
  if (error == 0) {
    // The replaced file's data went out with it; flush the new one's name.
    const HANDLE h = openPath(p.destination, GENERIC_WRITE, OPEN_EXISTING);
    if (h != INVALID_HANDLE_VALUE) {
      FlushFileBuffers(h);
      CloseHandle(h);
    }
  } else {
    DeleteFileW(from.c_str());
  }
  unregisterPending(p.tempPath);
  p.tempPath.clear();
  SetLastError(error);
  return static_cast<int>(error);
}

void abandonPending(Pending& p) {
  if (p.handle != kNoHandle) CloseHandle(win(p.handle));  // the disposition deletes it
  p.handle = kNoHandle;
  if (!p.tempPath.empty()) {
    DeleteFileW(wide(p.tempPath).c_str());
    unregisterPending(p.tempPath);
    p.tempPath.clear();
  }
}

namespace {

// NUL, CON, COM1 and the like, with or without an extension, in any folder:
// names of devices, never of files.
bool deviceName(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/:") == std::string::npos ? 0 : path.find_last_of("\\/:") + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (name == "NUL" || name == "CON" || name == "PRN" || name == "AUX" || name == "CONOUT$") return true;
  return name.size() == 4 && (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0) && name[3] >= '1' &&
         name[3] <= '9';
}

}  // namespace

bool namesStreamOutput(const std::string& path) {
  return path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0 || deviceName(path);
}

int openStreamOutput(const std::string& path, Handle& out) {
  out = kNoHandle;
  if (!namesStreamOutput(path)) return 0;
  const HANDLE h = CreateFileW(fromCodePage(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  if (GetFileType(h) == FILE_TYPE_DISK) {
    // A file after all (\\.\C:\x): replaced as any other.
    CloseHandle(h);
    return 0;
  }
  out = ours(h);
  return 0;
}

namespace {

// One argument as the C runtime splits a command line: quoted where it has
// blanks or quotes, backslashes before a quote doubled.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, L'\\');
  return out + L"\"";
}

bool isFile(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string toCodePage(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string findProgram(const std::string& name) {
  std::wstring w = fromCodePage(name);
  const bool extension = w.size() > 4 && w[w.size() - 4] == L'.';
  if (w.find_first_of(L"\\/:") != std::wstring::npos) {
    if (isFile(w)) return name;
    return !extension && isFile(w + L".exe") ? name + ".exe" : std::string();
  }
  if (!extension) w += L".exe";
  // Beside this program first: that is where a Windows user puts it. Then
  // the folders of PATH, and no others: not the working folder, not the
  // system's, which the system's own search would try first.
  std::vector<std::wstring> folders;
  wchar_t self[32768];
  const DWORD n = GetModuleFileNameW(nullptr, self, 32768);
  if (n > 0 && n < 32768) {
    const std::wstring exe(self, n);
    folders.push_back(exe.substr(0, exe.find_last_of(L"\\/")));
  }
  const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring path(size, L'\0');
  path.resize(size > 0 ? GetEnvironmentVariableW(L"PATH", path.data(), size) : 0);
  for (std::size_t at = 0; at < path.size();) {
    std::size_t end = path.find(L';', at);
    if (end == std::wstring::npos) end = path.size();
    std::wstring folder = path.substr(at, end - at);
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
      folder = folder.substr(1, folder.size() - 2);
    if (!folder.empty()) folders.push_back(folder);
    at = end + 1;
  }
  for (std::wstring folder : folders) {
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    if (isFile(folder + w)) return toCodePage(folder + w);
  }
  return {};
}

bool runsThroughShell(const std::string& program) {
  const std::wstring w = fromCodePage(program);
  return w.size() > 4 &&
         (_wcsicmp(w.c_str() + w.size() - 4, L".bat") == 0 || _wcsicmp(w.c_str() + w.size() - 4, L".cmd") == 0);
}

namespace {

// Every child is in one job that ends them all when the job's last handle
// closes: when this process ends, however it ends.
HANDLE childrenJob() {
  static const HANDLE job = [] {
    const HANDLE h = CreateJobObjectW(nullptr, nullptr);
    if (!h) return h;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(h, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return h;
  }();
  return job;
}

}  // namespace

int startChild(const std::string& program, const std::vector<std::string>& arguments, Child& child) {
  child = Child{};
  const std::string path = findProgram(program);
  if (path.empty()) return ERROR_FILE_NOT_FOUND;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  if (!CreatePipe(&outRead, &outWrite, &inherit, 1 << 20)) return static_cast<int>(GetLastError());
  if (!CreatePipe(&errRead, &errWrite, &inherit, 1 << 16)) {
    const DWORD error = GetLastError();
    CloseHandle(outRead);
    CloseHandle(outWrite);
    return static_cast<int>(error);
  }
  // Our ends stay ours.
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  const HANDLE nothing =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  std::wstring line = quoted(fromCodePage(path));
  for (const std::string& a : arguments) line += L" " + quoted(fromCodePage(a));
  // The child inherits its three handles and nothing else of ours.
  HANDLE handles[3] = {outWrite, errWrite, nothing};
  const DWORD handleCount = nothing != INVALID_HANDLE_VALUE ? 3 : 2;
  SIZE_T attributeBytes = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeBytes);
  std::vector<unsigned char> attributeSpace(attributeBytes);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeSpace.data());
  const bool listed = InitializeProcThreadAttributeList(attributes, 1, 0, &attributeBytes) &&
                      UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                                handleCount * sizeof(HANDLE), nullptr, nullptr);
  STARTUPINFOEXW start{};
  start.StartupInfo.cb = sizeof start;
  start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  start.StartupInfo.hStdInput = nothing;
  start.StartupInfo.hStdOutput = outWrite;
  start.StartupInfo.hStdError = errWrite;
  if (listed) start.lpAttributeList = attributes;
  PROCESS_INFORMATION process{};
  const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0);
  const BOOL started = CreateProcessW(fromCodePage(path).c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                      nullptr, &start.StartupInfo, &process);
  const DWORD error = started ? 0 : GetLastError();
  if (listed) DeleteProcThreadAttributeList(attributes);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (!started) {
    CloseHandle(outRead);
    CloseHandle(errRead);
    return static_cast<int>(error);
  }
  // In the job before it runs a single instruction.
  if (const HANDLE job = childrenJob()) AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  child.output = ours(outRead);
  child.errors = ours(errRead);
  child.id = reinterpret_cast<std::intptr_t>(process.hProcess);
  return 0;
}

int waitChild(Child& child) {
  close(child.output);
  close(child.errors);
  child.output = child.errors = kNoHandle;
  if (child.id == -1) return -1;
  const HANDLE process = reinterpret_cast<HANDLE>(child.id);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(process, &code) != 0;
  CloseHandle(process);
  child.id = -1;
  return known ? static_cast<int>(code) : -1;
}

void stopChild(Child& child) {
  if (child.id != -1) TerminateProcess(reinterpret_cast<HANDLE>(child.id), 1);
  waitChild(child);
}

std::string absolutePath(const std::string& path) {
  const std::wstring full = fullPath(fromCodePage(path));
  return full.empty() ? path : toCodePage(full);
}

bool isStandardOutput(const std::string& path) {
  Identity out, named;
  const HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  if (path.empty() || h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK ||
      !identityOf(h, out) || !identifyPath(path, named))
    return false;
  return out.device == named.device && out.file == named.file;
}

bool stderrIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool terminalEscapes() {
  // The console reads escapes only where asked to (Windows 10 and later).
  const HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(h, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::string toUtf8(const std::string& text) {
  if (GetACP() == CP_UTF8 || text.empty()) return text;
  const std::wstring w = fromCodePage(text);
  if (w.empty()) return text;
  const int length = static_cast<int>(w.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), length, out.data(), n, nullptr, nullptr);
  return out;
}

void binaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

namespace {

UINT savedConsoleOutput = 0;

void restoreConsoleOutput() {
  if (savedConsoleOutput != 0) SetConsoleOutputCP(savedConsoleOutput);
}

BOOL WINAPI restoreConsoleOnCtrl(DWORD) {
  restoreConsoleOutput();
  return FALSE;
}

}  // namespace

void consoleSpeaksUtf8() {
  // Names are printed as the A calls have them; the console shows them right
  // when it reads the same code page. Without a console there is nothing to do.
  const UINT old = GetConsoleOutputCP();
  if (old == 0 || old == CP_UTF8 || GetACP() != CP_UTF8) return;
  if (!SetConsoleOutputCP(CP_UTF8)) return;
  savedConsoleOutput = old;
  std::atexit(restoreConsoleOutput);
  SetConsoleCtrlHandler(restoreConsoleOnCtrl, TRUE);
}

}  // namespace pulldex::sys
