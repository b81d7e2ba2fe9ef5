#include <FL/Fl.H>

#include <optional>
#include <string>

#include "app/fltk/main_dialog_fltk.h"
#include "app/main_dialog.h"

int main(int argc, char** argv) {
  using namespace pulldex::app;
  // FLTK's own chooser everywhere: the same filters and behaviour whether or
  // not GTK is installed.
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
  const std::optional<std::string> initialPath = argc > 1 ? std::optional<std::string>(argv[1]) : std::nullopt;
  MainDialog dialog;
  dialog.show();
  initDialog(&dialog, initialPath);
  Fl::run();
  destroyDialog();
  return 0;
}
