// The real Win32 dialog, in process: commands go in, controls are read back.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_dialog.h"
#include "app/win32/main_dialog_win.h"
#include "project_builder.h"
#include "temp_dir.h"
#include "version.h"

namespace pulldex::app {
namespace {

// Answers every message box titled "Error" from another thread and keeps its
// text, so that the dialog's own thread can run its modal loop as usual.
class ErrorBoxCloser {
 public:
  ErrorBoxCloser() : thread_([this] { run(); }) {}
  ~ErrorBoxCloser() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::string> texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  void run() {
    while (!stop_) {
      if (HWND box = FindWindowA("#32770", "Error")) {
        char text[256] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(text);
        }
        SendMessageA(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> texts_;
  std::thread thread_;
};

class Win32DialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { initCommonControls(); }
  HWND create(const std::optional<std::string>& initialPath) {
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, mainDialogProc,
                                 reinterpret_cast<LPARAM>(&initialPath));
    return dialog_;
  }
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
  }
  std::vector<bool> states() const {
    std::vector<bool> s;
    for (const int id : {IDC_OPEN, IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_EXPORT_SFS})
      s.push_back(IsWindowEnabled(GetDlgItem(dialog_, id)) != 0);
    return s;
  }
  std::string text(int id) const {
    char buffer[1024] = {};
    GetDlgItemTextA(dialog_, id, buffer, sizeof buffer);
    return buffer;
  }

  HWND dialog_ = nullptr;
  testing::TempDir dir_;
};

TEST_F(Win32DialogTest, EnabledStatesAndPathFieldFollowTheLoads) {
  ASSERT_NE(create(std::nullopt), nullptr);
  EXPECT_EQ(states(), (std::vector<bool>{true, false, false, false, false}));
  EXPECT_EQ(text(IDC_PATH), "");
  char caption[64] = {};
  GetWindowTextA(dialog_, caption, sizeof caption);
  EXPECT_STREQ(caption, "Pulldex 0.56 by Brannock (tessaly)");

  const std::string good = dir_.path("good.tpr");
  ASSERT_TRUE(testdata::writeFile(good, testdata::ivtcBlock({{0, 3, 0}, {1, 3, 1}})));
  loadProject(good, dialog_);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(text(IDC_PATH), good);

  ErrorBoxCloser closer;
  loadProject(dir_.path("missing.tpr"), dialog_);
  EXPECT_EQ(closer.texts(), std::vector<std::string>{"Error in opening the file"});
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(text(IDC_PATH), good);
  EXPECT_EQ(currentList().count(), 2);
}

TEST_F(Win32DialogTest, AStartupPathLoadsAtInitialisation) {
  const std::string good = dir_.path("start.tpr");
  ASSERT_TRUE(testdata::writeFile(good, testdata::textProject(testdata::ivtcValue({{0, 3, 0}}), {.crlf = true})));
  ASSERT_NE(create(good), nullptr);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(text(IDC_PATH), good);
}

TEST_F(Win32DialogTest, TemplateAndCommandTable) {
  ASSERT_NE(create(std::nullopt), nullptr);
  const std::pair<int, const char*> labels[] = {{IDC_OPEN, "&Open"},
                                                {IDC_EXPORT_SCRIPT, "&Export AVI Script File"},
                                                {IDC_REMOVE_COPY, "&Remove Copy Frames and save"},
                                                {IDC_IMPORT_SFS, "&Import Frame-setting file"},
                                                {IDC_EXPORT_SFS, "E&xport Frame-setting file"}};
  for (const auto& [id, label] : labels) EXPECT_EQ(text(id), label);
  const LONG pathStyle = GetWindowLongA(GetDlgItem(dialog_, IDC_PATH), GWL_STYLE);
  EXPECT_TRUE(pathStyle & ES_READONLY);
  EXPECT_FALSE(pathStyle & WS_TABSTOP);
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(dialog_, IDC_REMOVE_COPY), GWL_STYLE) & BS_MULTILINE);
  // A notification of the path field is no command.
  EXPECT_EQ(mainDialogProc(dialog_, WM_COMMAND, MAKEWPARAM(IDC_PATH, EN_CHANGE), 0), FALSE);
  EXPECT_EQ(mainDialogProc(dialog_, WM_COMMAND, 4711, 0), FALSE);
}

// A drop as the shell sends it: a DROPFILES block in moveable global memory,
// followed by the wide names, each ended by a NUL, and one more NUL.
HDROP makeDrop(const std::vector<std::wstring>& names) {
  std::size_t chars = 1;
  for (const std::wstring& name : names) chars += name.size() + 1;
  const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(drop + 1);
  for (const std::wstring& name : names) {
    std::memcpy(text, name.c_str(), name.size() * sizeof(wchar_t));
    text += name.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring toWide(const std::string& utf8) {
  std::wstring w(utf8.size(), L'\0');
  w.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), static_cast<int>(w.size()))));
  return w;
}

TEST_F(Win32DialogTest, ADroppedProjectLoadsLikeAnOpenedOne) {
  // The test program runs under the exes' manifest, so the A calls carry UTF-8.
  ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8));
  ASSERT_NE(create(std::nullopt), nullptr);
  const std::string first = dir_.path("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xC3\xA9.tpr");  // 日本語-é.tpr
  const std::string second = dir_.path("second.tpr");
  // Saved as text.
  ASSERT_TRUE(testdata::writeFile(first, testdata::textProject(testdata::ivtcValue({{0, 3, 0}, {1, 3, 1}, {2, 3, 0}}))));
  ASSERT_TRUE(testdata::writeFile(second, testdata::ivtcBlock({{0, 3, 0}})));

  // Several files: the first is taken, as the shell lists them.
  SendMessageW(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({toWide(first), toWide(second)})), 0);
  EXPECT_EQ(text(IDC_PATH), first);
  EXPECT_EQ(currentList().count(), 3);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));

  // A dropped file that is no project reports like a bad pick and keeps the list.
  const std::string other = dir_.path("notes.txt");
  ASSERT_TRUE(testdata::writeFile(other, "no list here"));
  ErrorBoxCloser closer;
  SendMessageW(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({toWide(other)})), 0);
  EXPECT_EQ(closer.texts(), std::vector<std::string>{"Error, can't find IVTC setting in the file"});
  EXPECT_EQ(text(IDC_PATH), first);
  EXPECT_EQ(currentList().count(), 3);
  // The dialog takes drops at all: the shell only sends them to windows that asked.
  EXPECT_TRUE(GetWindowLongW(dialog_, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}

// The resources of one exe, read back as the system reads them.
class ExeResources {
 public:
  explicit ExeResources(const char* variable) {
    const char* path = std::getenv(variable);
    if (path) path_ = toWide(path);
    module_ = path ? LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)
                   : nullptr;
  }
  ~ExeResources() {
    if (module_) FreeLibrary(module_);
  }
  bool loaded() const { return module_ != nullptr; }
  std::string resource(LPCWSTR type, LPCWSTR name) const {
    const HRSRC found = FindResourceW(module_, name, type);
    if (!found) return {};
    const HGLOBAL data = LoadResource(module_, found);
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(module_, found));
  }
  // A string of the version resource's U.S. English table.
  std::string versionString(const char* key) const {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoW(path_.c_str(), 0, size, block.data())) return {};
    char* value = nullptr;
    UINT length = 0;
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || length == 0) return {};
    return value;
  }
  DWORD fileVersionMS() const {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path_.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length))
      return 0;
    return info->dwFileVersionMS;
  }

 private:
  std::wstring path_;
  HMODULE module_ = nullptr;
};

TEST(ExeResources, ManifestVersionAndIconInBothExes) {
  for (const char* variable : {"PULLDEX_GUI_EXE", "PULLDEX_CLI_EXE"}) {
    SCOPED_TRACE(variable);
    const ExeResources exe(variable);
    if (!std::getenv(variable)) GTEST_SKIP() << variable << " names no exe";
    ASSERT_TRUE(exe.loaded());
    const std::string manifest = exe.resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));  // RT_MANIFEST, 1
    const char* settings[] = {
        "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>",
        "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2</dpiAwareness>",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
    };
    for (const char* setting : settings) EXPECT_NE(manifest.find(setting), std::string::npos) << setting;

    EXPECT_EQ(exe.versionString("ProductName"), "Pulldex");
    EXPECT_EQ(exe.versionString("FileVersion"), PULLDEX_VERSION);
    EXPECT_FALSE(exe.versionString("FileDescription").empty());
    EXPECT_EQ(exe.fileVersionMS(), static_cast<DWORD>(PULLDEX_VERSION_MAJOR << 16 | PULLDEX_VERSION_MINOR));
    EXPECT_FALSE(exe.resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(1)).empty()) << "no icon group";  // RT_GROUP_ICON
  }
}

TEST_F(Win32DialogTest, ControlsComeFromCommonControls6) {
  ASSERT_NE(create(std::nullopt), nullptr);
  // The manifest's dependency gives the dialog the themed buttons of version 6
  // of the control library: the button's window procedure lives in it.
  HMODULE module = nullptr;
  const auto procedure = reinterpret_cast<LPCWSTR>(GetClassLongPtrW(GetDlgItem(dialog_, IDC_OPEN), GCLP_WNDPROC));
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 procedure, &module));
  // Its version number says nothing (Wine's version 6 reports 5.81); the
  // side-by-side folder it was loaded from does.
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring lower(path);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos);
  EXPECT_NE(lower.find(L"comctl32.dll"), std::wstring::npos);
}

// The CLI shows UTF-8 names on the console it shares with its caller while
// it runs, and gives the console its code page back when it ends.
TEST(CliConsole, UsesUtf8WhileItRunsAndRestoresTheCodePage) {
  const char* cli = std::getenv("PULLDEX_CLI_EXE");
  if (!cli) GTEST_SKIP() << "PULLDEX_CLI_EXE names no exe";
  // A console of its own, whatever the test program was started with.
  FreeConsole();
  if (!AllocConsole()) GTEST_SKIP() << "no console to share (error " << GetLastError() << ")";
  ASSERT_TRUE(SetConsoleOutputCP(437));

  // The CLI reads a project from a pipe that stays open, so it waits while
  // the console is looked at.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  std::wstring command = L"\"" + toWide(cli) + L"\" info -";
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
  CloseHandle(readEnd);

  UINT during = 0;
  for (int i = 0; i < 250 && during != CP_UTF8; ++i) {
    Sleep(20);
    during = GetConsoleOutputCP();
  }
  EXPECT_EQ(during, static_cast<UINT>(CP_UTF8));
  CloseHandle(writeEnd);  // the project ends: the CLI reports and exits
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(GetConsoleOutputCP(), 437u);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(nul);
}

}  // namespace
}  // namespace pulldex::app
