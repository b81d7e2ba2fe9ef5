#include "app/fltk/main_dialog_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include "app/file_chooser.h"
#include "app/main_dialog.h"

namespace pulldex::app {

namespace {

// Dialog units to pixels, for a 9-point font as on Windows.
constexpr int kUnitX = 2;
constexpr int kUnitY = 2;
constexpr int kLabelSize = 12;

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

constexpr int kListButtons[] = {IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_EXPORT_SFS};

MainDialog* dialogOf(Window window) { return static_cast<MainDialog*>(window); }

void onButton(Fl_Widget* button, void*) {
  runCommand(static_cast<int>(button->argument()), static_cast<MainDialog*>(button->window()));
}

// Close box and Esc: the cancel command, which ends the dialog.
void onClose(Fl_Widget* window, void*) {
  destroyDialog();
  window->hide();
}

// FLTK's filter list: "name TAB pattern" lines; several patterns as {a,b}.
std::string fltkFilter(const FileChooser& chooser) {
  std::string filter;
  const auto& items = chooser.items();
  if (!chooser.saveMode() && !items.empty()) {
    std::string patterns;
    for (const FilterItem& item : items) patterns += std::string(patterns.empty() ? "" : ",") + item.pattern;
    filter += "Supported Files\t" + (items.size() > 1 ? "{" + patterns + "}" : patterns) + "\n";
  }
  for (const FilterItem& item : items)
    filter += std::string(item.name) + " (" + item.pattern + ")\t" + item.pattern + "\n";
  return filter + "All Files (*.*)\t*";
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

Fl_Widget* MainDialog::control(int id) const {
  for (int i = 0; i < children(); ++i)
    if (child(i)->argument() == id) return child(i);
  return nullptr;
}

void showErrorBox(Fl_Window* owner, const char* text) {
  fl_font(FL_HELVETICA, kLabelSize);
  int textW = 0, textH = 0;
  fl_measure(text, textW, textH, 0);
  const int w = std::max(textW + 40, 160);
  const int h = textH + 70;
  Fl_Window box(w, h, "Error");
  auto* label = new Fl_Box(20, 15, w - 40, textH, nullptr);
  label->copy_label(text);
  label->labelsize(kLabelSize);
  auto* ok = new Fl_Return_Button(w / 2 - 40, h - 40, 80, 26, "OK");
  ok->labelsize(kLabelSize);
  ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
  box.end();
  box.set_modal();
  if (owner) box.position(owner->x() + (owner->w() - w) / 2, owner->y() + (owner->h() - h) / 2);
  box.show();
  while (box.shown()) Fl::wait();
}

void showError(Window owner, const char* text) { showErrorBox(dialogOf(owner), text); }

std::string pathFieldText(Window window) {
  return static_cast<Fl_Output*>(dialogOf(window)->control(IDC_PATH))->value();
}

void setPathFieldText(Window window, const std::string& text) {
  static_cast<Fl_Output*>(dialogOf(window)->control(IDC_PATH))->value(text.c_str());
}

void enableListButtons(Window window, bool enabled) {
  for (const int id : kListButtons) {
    Fl_Widget* button = dialogOf(window)->control(id);
    enabled ? button->activate() : button->deactivate();
  }
}

bool runFileChooser(Window, FileChooser& chooser) {
  Fl_Native_File_Chooser native;
  native.type(chooser.saveMode() ? Fl_Native_File_Chooser::BROWSE_SAVE_FILE : Fl_Native_File_Chooser::BROWSE_FILE);
  // A Save chooser asks before it replaces a file.
  native.options(chooser.saveMode() ? Fl_Native_File_Chooser::SAVEAS_CONFIRM : Fl_Native_File_Chooser::NO_OPTIONS);
  const std::string filter = fltkFilter(chooser);
  native.filter(filter.c_str());
  native.filter_value(0);
  const std::string& proposed = chooser.filePath();
  const std::size_t slash = proposed.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : proposed.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? proposed : proposed.substr(slash + 1);
  if (!folder.empty()) native.directory(folder.c_str());
  if (!name.empty()) native.preset_file(name.c_str());
  if (native.show() != 0 || native.filename() == nullptr || *native.filename() == '\0') return false;
  chooser.setFilePath(native.filename());
  return true;
}

}  // namespace pulldex::app
