#include <windows.h>

#include "app/command_line.h"
#include "app/main_dialog.h"
#include "app/win32/main_dialog_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  using namespace pulldex::app;
  initCommonControls();
  const auto initialPath = firstArgument(commandLine ? commandLine : "");
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, mainDialogProc,
                  reinterpret_cast<LPARAM>(&initialPath));
  destroyDialog();
  return 0;
}
