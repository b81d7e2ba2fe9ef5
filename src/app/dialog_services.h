// What the shared shell code needs from the main dialog of a front end. Each
// front end (Win32, FLTK, the recording fake of the tests) implements these
// once; the build links exactly one of them.
#pragma once

#include <string>

namespace pulldex::app {

class FileChooser;

// The main dialog as the front end knows it (an HWND, a window pointer).
using Window = void*;

// A message box titled "Error" with one OK button and no icon. `owner` may be
// null: the loader's boxes have no owner.
void showError(Window owner, const char* text);
// The whole text of the path field.
std::string pathFieldText(Window window);
void setPathFieldText(Window window, const std::string& text);
// Enables or disables the four buttons that need a loaded list.
void enableListButtons(Window window, bool enabled);
// Runs the platform's Open or Save dialog for `chooser`; true when the user
// confirmed a file, whose path the front end then stores with setFilePath.
bool runFileChooser(Window owner, FileChooser& chooser);

}  // namespace pulldex::app
