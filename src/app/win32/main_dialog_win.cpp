// The main dialog on Windows: the dialog procedure and the dialog services
// over the Win32 controls and common dialogs.
#include "app/win32/main_dialog_win.h"

#include <commdlg.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include "app/file_chooser.h"
#include "app/main_dialog.h"

namespace pulldex::app {

namespace {

HWND hwnd(Window window) { return static_cast<HWND>(window); }

constexpr int kListButtons[] = {IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_EXPORT_SFS};

// The structure's basic form, without the members added later: accepted by
// every Windows version, 32- or 64-bit.
constexpr DWORD kOpenFileNameBasicSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 8 || kOpenFileNameBasicSize == 136, "the basic form is 136 bytes on x86-64");

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
  char path[FileChooser::kPathSize] = {};
  std::strncpy(path, chooser.filePath().c_str(), sizeof path - 1);
  const std::string filter = chooser.filterText();
  OPENFILENAMEA ofn{};
  ofn.lStructSize = kOpenFileNameBasicSize;
  ofn.hwndOwner = hwnd(owner);
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.Flags = chooser.saveMode() ? OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
  const BOOL confirmed = chooser.saveMode() ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!confirmed) return false;
  chooser.setFilePath(path);
  return true;
}

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* initialPath = reinterpret_cast<const std::optional<std::string>*>(lParam);
      initDialog(dialog, initialPath ? *initialPath : std::nullopt);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kCancel) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return runCommand(LOWORD(wParam), dialog) ? TRUE : FALSE;
    case WM_DESTROY:
      destroyDialog();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace pulldex::app
