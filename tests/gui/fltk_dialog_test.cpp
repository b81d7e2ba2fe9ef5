// The real FLTK dialog, in process: commands go in, controls are read back.
#include <FL/Fl.H>
#include <FL/Fl_Output.H>
#include <gtest/gtest.h>

#include <cstdlib>
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
  if (box != nullptr && std::string(box->label()) == "Error") {
    closedErrors.push_back(box->child(0)->label());
    box->hide();
  }
  Fl::repeat_timeout(0.02, closeErrorBox);
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

}  // namespace
}  // namespace pulldex::app
