// A recording stand-in for the dialog services: the shell's workers and
// commands run against it in unit tests.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "app/file_chooser.h"

namespace pulldex::testing {

struct ShownError {
  app::Window owner;
  std::string text;
};

struct ChooserRun {
  bool saveMode;
  std::vector<std::pair<std::string, std::string>> items;
  std::string proposed;
};

struct FakeDialog {
  std::string pathField;
  bool listButtonsEnabled = true;
  std::vector<ShownError> errors;
  std::vector<ChooserRun> choosers;
  // What the next choosers return: a path to confirm, or nothing to cancel.
  std::deque<std::optional<std::string>> answers;

  app::Window window() { return this; }
};

// The dialog the services act on; tests set it up and read it back.
FakeDialog& fakeDialog();

}  // namespace pulldex::testing
