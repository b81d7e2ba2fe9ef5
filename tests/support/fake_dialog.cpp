#include "fake_dialog.h"

namespace pulldex::testing {

FakeDialog& fakeDialog() {
  static FakeDialog dialog;
  return dialog;
}

}  // namespace pulldex::testing

namespace pulldex::app {

using testing::fakeDialog;

void showError(Window owner, const char* text) { fakeDialog().errors.push_back({owner, text}); }
std::string pathFieldText(Window) { return fakeDialog().pathField; }
void setPathFieldText(Window, const std::string& text) { fakeDialog().pathField = text; }
void enableListButtons(Window, bool enabled) { fakeDialog().listButtonsEnabled = enabled; }

bool runFileChooser(Window, FileChooser& chooser) {
  auto& dialog = fakeDialog();
  testing::ChooserRun run{chooser.saveMode(), {}, chooser.filePath()};
  for (const FilterItem& item : chooser.items()) run.items.emplace_back(item.name, item.pattern);
  dialog.choosers.push_back(run);
  if (dialog.answers.empty() || !dialog.answers.front()) {
    if (!dialog.answers.empty()) dialog.answers.pop_front();
    return false;
  }
  chooser.setFilePath(*dialog.answers.front());
  dialog.answers.pop_front();
  return true;
}

}  // namespace pulldex::app
