// The dialog services over the FLTK dialog: its own error box, the path
// field, the list buttons and FLTK's file chooser.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "app/file_chooser.h"
#include "app/fltk/main_dialog_fltk.h"
#include "app/main_dialog.h"

namespace pulldex::app {

namespace {

MainDialog* dialogOf(Window window) { return static_cast<MainDialog*>(window); }

// FLTK's filter list: "name TAB pattern" lines; several patterns as {a,b}.
// FLTK adds " (pattern)" to each name itself; a name that had it already
// would hide every file. Its matching ignores case, so *.TPR lists movie.tpr.
std::string fltkFilter(const FileChooser& chooser) {
  std::string filter;
  const auto& items = chooser.items();
  if (!chooser.saveMode() && !items.empty()) {
    std::string patterns;
    for (const FilterItem& item : items) patterns += std::string(patterns.empty() ? "" : ",") + item.pattern;
    filter += "Supported Files\t" + (items.size() > 1 ? "{" + patterns + "}" : patterns) + "\n";
  }
  for (const FilterItem& item : items)
    filter += std::string(item.name) + "\t" + item.pattern + "\n";
  return filter + "All Files\t*";
}

}  // namespace

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
  native.title(chooser.saveMode() ? "Save As" : "Open");
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
  // FLTK's chooser reads a bare preset name as one in the current folder, and
  // would save there: the whole path keeps the proposed folder.
  if (!name.empty()) native.preset_file(proposed.c_str());
  if (native.show() != 0 || native.filename() == nullptr || *native.filename() == '\0') return false;
  chooser.setFilePath(native.filename());
  return true;
}

}  // namespace pulldex::app
