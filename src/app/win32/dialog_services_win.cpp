// The dialog services over the Win32 controls and common dialogs.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "app/file_chooser.h"
#include "app/main_dialog.h"

namespace pulldex::app {

namespace {

HWND hwnd(Window window) { return static_cast<HWND>(window); }

// The structure's basic form, without the members added later: accepted by
// every Windows version, 32- or 64-bit.
constexpr DWORD kOpenFileNameBasicSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 8 || kOpenFileNameBasicSize == 136, "the basic form is 136 bytes on x86-64");

// Room for the longest path Windows has. The chooser would fail on a path
// longer than its buffer as if cancelled, and a UTF-8 name takes up to three
// bytes per character.
constexpr std::size_t kChooserPathSize = 32768;

}  // namespace

void showError(Window owner, const char* text) { MessageBoxA(hwnd(owner), text, "Error", MB_OK); }

std::string pathFieldText(Window window) {
  const HWND field = GetDlgItem(hwnd(window), IDC_PATH);
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(field)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(field, text.data(), static_cast<int>(text.size()))));
  return text;
}

void setPathFieldText(Window window, const std::string& text) { SetDlgItemTextA(hwnd(window), IDC_PATH, text.c_str()); }

void enableListButtons(Window window, bool enabled) {
  for (const int id : kListButtons) EnableWindow(GetDlgItem(hwnd(window), id), enabled);
}

bool runFileChooser(Window owner, FileChooser& chooser) {
  std::vector<char> path(kChooserPathSize, '\0');
  std::strncpy(path.data(), chooser.filePath().c_str(), path.size() - 1);
  const std::string filter = chooser.filterText();
  OPENFILENAMEA ofn{};
  ofn.lStructSize = kOpenFileNameBasicSize;
  ofn.hwndOwner = hwnd(owner);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.Flags = chooser.saveMode() ? OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
  const BOOL confirmed = chooser.saveMode() ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!confirmed) return false;
  chooser.setFilePath(path.data());
  return true;
}

}  // namespace pulldex::app
