#pragma once

#include <windows.h>

namespace pulldex::app {

// Registers the themed controls of the Common Controls 6 library that the
// manifest asks for. Call it before the dialog is created: without it some
// systems (Wine among them) find no button class and create no dialog.
void initCommonControls();

// The procedure of IDD_MAIN. The creation parameter points to the
// std::optional<std::string> of the command line's first argument, or is 0.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pulldex::app
