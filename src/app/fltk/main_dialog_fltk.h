// The main dialog on Linux, with FLTK: the same controls, labels and states
// as the Windows dialog template.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <optional>
#include <string>

namespace pulldex::app {

class MainDialog : public Fl_Double_Window {
 public:
  MainDialog();
  // Takes files dropped on the dialog.
  int handle(int event) override;
  // The button or path field of a control id, or null.
  Fl_Widget* control(int id) const;
};

// The dialog's own message box: "Error", the text and one OK button. Its
// first child is the text.
void showErrorBox(Fl_Window* owner, const char* text);

// Dialog units to pixels, for a 9-point font as on Windows, and that font.
inline constexpr int kUnitX = 2;
inline constexpr int kUnitY = 2;
inline constexpr int kLabelSize = 12;

}  // namespace pulldex::app
