// The real FLTK dialog, in process: commands go in, controls are read back.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Browser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Output.H>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/fltk/main_dialog_fltk.h"
#include "app/main_dialog.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex::app {
namespace {

// Closes every error box shortly after it opens and keeps its text.
std::vector<std::string> closedErrors;
void closeErrorBox(void*) {
  Fl_Window* box = Fl::modal();
  if (box != nullptr && box->label() != nullptr && std::string(box->label()) == "Error") {
    closedErrors.push_back(box->child(0)->label());
    box->hide();
  }
  Fl::repeat_timeout(0.02, closeErrorBox);
}

// What a chooser showed: its title and the names in its list. It is
// cancelled once seen.
struct SeenChooser {
  std::string title;
  std::vector<std::string> names;
};
SeenChooser seen;

template <class Found>
Found* findIn(Fl_Widget* widget, const char* label = nullptr) {
  if (auto* found = dynamic_cast<Found*>(widget))
    if (!label || (found->label() && std::string(found->label()) == label)) return found;
  if (auto* group = widget->as_group())
    for (int i = 0; i < group->children(); ++i)
      if (Found* found = findIn<Found>(group->child(i), label)) return found;
  return nullptr;
}

void readChooser(void*) {
  for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) {
    Fl_File_Browser* browser = w->label() ? findIn<Fl_File_Browser>(w) : nullptr;
    Fl_Button* cancel = browser ? findIn<Fl_Button>(w, "Cancel") : nullptr;
    if (!cancel || browser->size() == 0) continue;
    seen.title = w->label();
    for (int i = 1; i <= browser->size(); ++i)
      if (const char* text = browser->text(i); text && std::string(text) != "../") seen.names.emplace_back(text);
    cancel->do_callback();
    return;
  }
  Fl::repeat_timeout(0.05, readChooser);
}

class FltkDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
    closedErrors.clear();
    Fl::add_timeout(0.02, closeErrorBox);
    dialog_ = std::make_unique<MainDialog>();
    dialog_->show();
  }
  void TearDown() override {
    Fl::remove_timeout(closeErrorBox);
    destroyDialog();
  }
  bool enabled(int id) const { return dialog_->control(id)->active() != 0; }
  std::string pathField() const { return static_cast<Fl_Output*>(dialog_->control(IDC_PATH))->value(); }
  std::vector<bool> states() const {
    std::vector<bool> s;
    for (const int id : {IDC_OPEN, IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_EXPORT_SFS})
      s.push_back(enabled(id));
    return s;
  }

  std::unique_ptr<MainDialog> dialog_;
  testing::TempDir dir_;
};

// Titled as the platform's choosers are, and a project's Save chooser lists
// the projects already there, whatever the case of their extension.
TEST_F(FltkDialogTest, ChoosersShowTheirTitleAndEveryProject) {
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
  for (const char* name : {"a.tpr", "B.TPR", "c.Tpr", "x.asc"})
    ASSERT_TRUE(testdata::writeFile(dir_.path(name), testdata::ivtcBlock({{0, 3, 0}})));
  loadProject(dir_.path("a.tpr"), dialog_.get());
  // The Open chooser proposes nothing and starts in the current folder.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path(""));
  const std::pair<int, const char*> commands[] = {{IDC_REMOVE_COPY, "Save As"}, {IDC_OPEN, "Open"}};
  for (const auto& [id, title] : commands) {
    seen = {};
    Fl::add_timeout(0.05, readChooser);
    runCommand(id, dialog_.get());
    Fl::remove_timeout(readChooser);
    EXPECT_EQ(seen.title, title);
    std::sort(seen.names.begin(), seen.names.end());
    EXPECT_EQ(seen.names, (std::vector<std::string>{"B.TPR", "a.tpr", "c.Tpr"})) << title;
  }
  std::filesystem::current_path(before);
}

TEST_F(FltkDialogTest, EnabledStatesAndPathFieldFollowTheLoads) {
  initDialog(dialog_.get(), std::nullopt);
  EXPECT_EQ(states(), (std::vector<bool>{true, false, false, false, false}));
  EXPECT_EQ(pathField(), "");
  EXPECT_STREQ(dialog_->label(), "Pulldex 0.56 by Brannock (tessaly)");

  const std::string good = dir_.path("good.tpr");
  ASSERT_TRUE(testdata::writeFile(good, testdata::ivtcBlock({{0, 3, 0}, {1, 3, 1}})));
  loadProject(good, dialog_.get());
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(pathField(), good);
  EXPECT_TRUE(closedErrors.empty());

  loadProject(dir_.path("missing.tpr"), dialog_.get());
  EXPECT_EQ(closedErrors, std::vector<std::string>{"Error in opening the file"});
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(pathField(), good);
  EXPECT_EQ(currentList().count(), 2);
}

TEST_F(FltkDialogTest, AStartupPathThatFailsLeavesOnlyOpen) {
  initDialog(dialog_.get(), std::string());
  EXPECT_EQ(closedErrors, std::vector<std::string>{"Error in opening the file"});
  EXPECT_EQ(states(), (std::vector<bool>{true, false, false, false, false}));
}

TEST_F(FltkDialogTest, LabelsAndCloseBox) {
  const std::pair<int, const char*> labels[] = {{IDC_OPEN, "&Open"},
                                                {IDC_EXPORT_SCRIPT, "&Export AVI Script File"},
                                                {IDC_REMOVE_COPY, "&Remove Copy Frames and save"},
                                                {IDC_IMPORT_SFS, "&Import Frame-setting file"},
                                                {IDC_EXPORT_SFS, "E&xport Frame-setting file"}};
  for (const auto& [id, label] : labels) EXPECT_STREQ(dialog_->control(id)->label(), label);
  EXPECT_EQ(dialog_->control(IDC_PATH)->visible_focus(), 0u) << "the path field is not a tab stop";
  dialog_->do_callback();
  EXPECT_FALSE(dialog_->shown());
}

// A drop as FLTK delivers one from a file manager: the drag enters and is
// released over a control, then the text/uri-list arrives as a paste to the
// widget that took the release.
void drop(MainDialog& dialog, int overControl, const std::string& uriList) {
  Fl_Widget* target = dialog.control(overControl);
  Fl::e_x = target->x() + 2;
  Fl::e_y = target->y() + 2;
  Fl::e_x_root = dialog.x() + Fl::e_x;
  Fl::e_y_root = dialog.y() + Fl::e_y;
  Fl::handle(FL_DND_ENTER, &dialog);
  Fl::handle(FL_DND_DRAG, &dialog);
  Fl::handle(FL_DND_RELEASE, &dialog);
  ASSERT_EQ(Fl::belowmouse(), &dialog) << "the dialog itself takes the drop";
  std::string text = uriList;
  Fl::e_text = text.data();
  Fl::e_length = static_cast<int>(text.size());
  Fl::belowmouse()->handle(FL_PASTE);
  Fl::e_text = nullptr;
  Fl::e_length = 0;
}

TEST_F(FltkDialogTest, ADroppedProjectLoadsLikeAnOpenedOne) {
  initDialog(dialog_.get(), std::nullopt);
  const std::string name = "My Videos \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xC3\xA9.tpr";  // 日本語-é
  const std::string project = dir_.path(name);
  // Saved as text.
  ASSERT_TRUE(testdata::writeFile(project, testdata::textProject(testdata::ivtcValue({{0, 3, 0}, {1, 3, 1}, {2, 3, 0}}),
                                                                 {.crlf = false})));
  const std::string uri = "file://" + dir_.path("My%20Videos%20%E6%97%A5%E6%9C%AC%E8%AA%9E-%C3%A9.tpr");

  // Over the path field, which would take a text drop of its own; two files.
  drop(*dialog_, IDC_PATH, uri + "\r\nfile:///elsewhere/second.tpr\r\n");
  EXPECT_EQ(pathField(), project);
  EXPECT_EQ(currentList().count(), 3);
  EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true, true}));
  EXPECT_TRUE(closedErrors.empty());

  // A file that is no project reports like a bad pick; the list stays.
  drop(*dialog_, IDC_OPEN, "file://" + dir_.path("missing.tpr") + "\r\n");
  EXPECT_EQ(closedErrors, std::vector<std::string>{"Error in opening the file"});
  EXPECT_EQ(pathField(), project);
  EXPECT_EQ(currentList().count(), 3);
}

}  // namespace
}  // namespace pulldex::app
