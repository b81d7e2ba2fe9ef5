// The main dialog on Linux: the controls of the Windows template, with FLTK.
#include "app/fltk/main_dialog_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Output.H>

#include <string_view>

#include "app/dropped_files.h"
#include "app/main_dialog.h"

namespace pulldex::app {

namespace {

struct ControlLayout {
  int id;
  const char* label;
  int x, y, w, h;
};

// Tab order and positions of the Windows template, in dialog units.
constexpr ControlLayout kControls[] = {
    {IDC_OPEN, "&Open", 7, 7, 50, 14},
    {IDC_EXPORT_SCRIPT, "&Export AVI Script File", 7, 38, 80, 24},
    {IDC_REMOVE_COPY, "&Remove Copy Frames and save", 97, 38, 83, 24},
    {IDC_PATH, nullptr, 68, 7, 112, 14},
    {IDC_IMPORT_SFS, "&Import Frame-setting file", 7, 77, 81, 21},
    {IDC_EXPORT_SFS, "E&xport Frame-setting file", 99, 77, 81, 21},
};

void onButton(Fl_Widget* button, void*) {
  runCommand(static_cast<int>(button->argument()), static_cast<MainDialog*>(button->window()));
}

// Close box and Esc: the cancel command, which ends the dialog.
void onClose(Fl_Widget* window, void*) {
  destroyDialog();
  window->hide();
}

}  // namespace

MainDialog::MainDialog() : Fl_Double_Window(187 * kUnitX, 113 * kUnitY, kCaption) {
  for (const ControlLayout& c : kControls) {
    const int x = c.x * kUnitX, y = c.y * kUnitY, w = c.w * kUnitX, h = c.h * kUnitY;
    Fl_Widget* widget;
    if (c.id == IDC_PATH) {
      // Read-only, and out of the tab order.
      auto* field = new Fl_Output(x, y, w, h);
      field->visible_focus(0);
      field->textsize(kLabelSize);
      widget = field;
    } else {
      widget = new Fl_Button(x, y, w, h, c.label);
      widget->align(FL_ALIGN_WRAP | FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
      widget->callback(onButton);
    }
    widget->labelsize(kLabelSize);
    widget->argument(c.id);
  }
  end();
  callback(onClose);
}

int MainDialog::handle(int event) {
  switch (event) {
    // Files dragged over the dialog: the window takes them, not the control
    // under the pointer, so that the drop's text comes here.
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_RELEASE:
      Fl::belowmouse(this);
      return 1;
    case FL_DND_LEAVE:
      return 1;
    case FL_PASTE:
      // A dropped project loads as if it had been picked with "&Open".
      if (const auto path = firstDroppedFile(std::string_view(Fl::event_text(), Fl::event_length())))
        loadProject(*path, this);
      return 1;
    default:
      return Fl_Double_Window::handle(event);
  }
}

Fl_Widget* MainDialog::control(int id) const {
  for (int i = 0; i < children(); ++i)
    if (child(i)->argument() == id) return child(i);
  return nullptr;
}

}  // namespace pulldex::app
