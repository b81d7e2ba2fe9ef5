#pragma once

#include <windows.h>

namespace pulldex::app {

// The procedure of IDD_MAIN. The creation parameter points to the
// std::optional<std::string> of the command line's first argument, or is 0.
INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pulldex::app
