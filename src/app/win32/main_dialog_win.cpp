// The main dialog on Windows: the procedure of the dialog template.
#include "app/win32/main_dialog_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <optional>
#include <string>

#include "app/main_dialog.h"

namespace pulldex::app {

namespace {

// The first file of a drop, in the code page of the A calls (UTF-8 under the
// manifest), like the path the Open chooser gives.
std::string firstFileOf(HDROP drop) {
  const UINT length = DragQueryFileA(drop, 0, nullptr, 0);
  if (length == 0) return {};
  std::string path(length + 1, '\0');
  path.resize(DragQueryFileA(drop, 0, path.data(), length + 1));
  return path;
}

}  // namespace

void initCommonControls() {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* initialPath = reinterpret_cast<const std::optional<std::string>*>(lParam);
      initDialog(dialog, initialPath ? *initialPath : std::nullopt);
      DragAcceptFiles(dialog, TRUE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == kCancel) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return runCommand(LOWORD(wParam), dialog) ? TRUE : FALSE;
    case WM_DROPFILES: {
      // A dropped project loads as if it had been picked with "&Open".
      const auto drop = reinterpret_cast<HDROP>(wParam);
      const std::string path = firstFileOf(drop);
      DragFinish(drop);
      if (!path.empty()) loadProject(path, dialog);
      return TRUE;
    }
    case WM_DESTROY:
      destroyDialog();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace pulldex::app
