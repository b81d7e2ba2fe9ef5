// The real Win32 dialog, in process: commands go in, controls are read back.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_dialog.h"
#include "app/win32/main_dialog_win.h"
#include "project_builder.h"
#include "temp_dir.h"

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
  ASSERT_TRUE(testdata::writeFile(good, testdata::ivtcBlock({{0, 3, 0}})));
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

}  // namespace
}  // namespace pulldex::app
