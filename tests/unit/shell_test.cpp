#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/command_line.h"
#include "app/dropped_files.h"
#include "app/file_chooser.h"
#include "app/main_dialog.h"
#include "fake_dialog.h"
#include "file_size_limit.h"
#include "formats/avi_script.h"
#include "lists.h"
#include "project_builder.h"
#include "temp_dir.h"

namespace pulldex::app {
namespace {

using namespace std::string_literals;
using namespace testdata;
using testing::fakeDialog;

TEST(FirstArgument, FromTheCommandLineTail) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"", std::nullopt},
      {"movie.tpr", "movie.tpr"},
      {"\"C:\\My Videos\\movie.tpr\" more words", "C:\\My Videos\\movie.tpr"},
      {"C:\\\"My Videos\"\\movie.tpr next", "C:\\My Videos\\movie.tpr"},
      {"one\ttwo three", "one\ttwo"},
      {"movie.tpr ", "movie.tpr"},
      {"\"\"", ""},
      {"\"unclosed quote with spaces", "unclosed quote with spaces"},
  };
  for (const auto& [tail, expected] : cases) EXPECT_EQ(firstArgument(tail), expected) << tail;
}

TEST(FirstDroppedFile, FromAUriListOrPaths) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"", std::nullopt},
      {"file:///home/me/movie.tpr", "/home/me/movie.tpr"},
      // Escapes decode to bytes: a space, and UTF-8 for 日本語-é.
      {"file:///home/me/My%20Videos/%E6%97%A5%E6%9C%AC%E8%AA%9E-%C3%A9.tpr\r\n",
       "/home/me/My Videos/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E-\xC3\xA9.tpr"},
      {"file://localhost/tmp/a.tpr", "/tmp/a.tpr"},
      {"FILE:///tmp/a%2etpr", "/tmp/a.tpr"},
      // The first of several; comments and other schemes are passed over.
      {"# from a file manager\r\nhttp://example.org/x.tpr\r\nfile:///one.tpr\r\nfile:///two.tpr\r\n", "/one.tpr"},
      {"/plain/path with space.tpr\n/second.tpr", "/plain/path with space.tpr"},
      // A broken escape stays as it is; an escaped NUL is no path.
      {"file:///100%25%2/x%zz", "/100%%2/x%zz"},
      {"file:///a%00b.tpr", std::nullopt},
      {"file:relative.tpr", std::nullopt},
      {"\r\n\r\n", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(firstDroppedFile(text), expected) << text;
}

TEST(FileChooser, FilterText) {
  struct Case {
    bool saveMode;
    const char* name;
    const char* pattern;
    std::string expected;
  } cases[] = {
      {false, "Frame setting File", "*.SFS",
       "Supported Files\0*.SFS\0Frame setting File (*.SFS)\0*.SFS\0All Files (*.*)\0*.*\0\0"s},
      {true, "Frame setting File", "*.SFS", "Frame setting File (*.SFS)\0*.SFS\0All Files (*.*)\0*.*\0\0"s},
      {false, "TMPGEnc Project File", "*.TPR",
       "Supported Files\0*.TPR\0TMPGEnc Project File (*.TPR)\0*.TPR\0All Files (*.*)\0*.*\0\0"s},
  };
  const std::size_t sizes[] = {76, 54, 78};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    FileChooser chooser(cases[i].saveMode);
    chooser.addFilter(cases[i].name, cases[i].pattern);
    EXPECT_EQ(chooser.filterText(), cases[i].expected);
    EXPECT_EQ(chooser.filterText().size(), sizes[i]);
  }
  FileChooser two(false);
  two.addFilter("A", "*.A");
  two.addFilter("B", "*.B");
  EXPECT_EQ(two.filterText(), "Supported Files\0*.A;*.B\0A (*.A)\0*.A\0B (*.B)\0*.B\0All Files (*.*)\0*.*\0\0"s);
}

// Each test starts with a fresh dialog and an empty list.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fakeDialog() = {};
    destroyDialog();
    initDialog(window(), std::nullopt);
  }
  static Window window() { return fakeDialog().window(); }
  std::string project(const std::string& name, std::string_view pattern) {
    const std::string path = dir_.path(name);
    EXPECT_TRUE(writeFile(path, noise(100, 1) + ivtcBlock(recordsFromPattern(pattern, {3, 6})) + "tail"));
    return path;
  }
  std::vector<std::string> errorTexts() const {
    std::vector<std::string> texts;
    for (const auto& e : fakeDialog().errors) texts.push_back(e.text);
    return texts;
  }

  testing::TempDir dir_;
};

TEST_F(ShellTest, StartsWithOnlyOpenUsable) {
  EXPECT_FALSE(fakeDialog().listButtonsEnabled);
  EXPECT_EQ(fakeDialog().pathField, "");
}

TEST_F(ShellTest, StartupLoadOfACommandLinePath) {
  const std::string good = project("good.tpr", "KCK");
  initDialog(window(), good);
  EXPECT_TRUE(fakeDialog().listButtonsEnabled);
  EXPECT_EQ(fakeDialog().pathField, good);

  fakeDialog() = {};
  destroyDialog();
  initDialog(window(), ""s);
  EXPECT_FALSE(fakeDialog().listButtonsEnabled);
  ASSERT_EQ(errorTexts(), std::vector<std::string>{"Error in opening the file"});
  EXPECT_EQ(fakeDialog().errors[0].owner, nullptr) << "the loader's boxes have no owner";
}

TEST_F(ShellTest, AFailedLoadAfterAGoodOneChangesNothing) {
  const std::string first = project("first.tpr", "KCKK");
  fakeDialog().answers = {first, dir_.path("missing.tpr"), std::nullopt};
  ASSERT_TRUE(runCommand(IDC_OPEN, window()));
  const FrameList loaded = currentList();
  ASSERT_EQ(loaded.count(), 4);
  ASSERT_TRUE(writeFile(dir_.path("bad.tpr"), ivtcBlock({{0, 0, 0}}, {.typeTag = 3})));
  loadProject(dir_.path("bad.tpr"), window());
  runCommand(IDC_OPEN, window());
  runCommand(IDC_OPEN, window());  // cancelled
  EXPECT_EQ(errorTexts(), (std::vector<std::string>{"Error in file format", "Error in opening the file"}));
  EXPECT_EQ(currentList(), loaded);
  EXPECT_EQ(fakeDialog().pathField, first);
  EXPECT_TRUE(fakeDialog().listButtonsEnabled);
}

TEST_F(ShellTest, CommandsUseTheirChoosers) {
  const std::string path = project("movie.tpr", "KCK");
  loadProject(path, window());
  fakeDialog().answers.assign(5, std::nullopt);
  for (const int id : {IDC_OPEN, IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_EXPORT_SFS})
    EXPECT_TRUE(runCommand(id, window()));
  EXPECT_FALSE(runCommand(IDC_PATH, window()));
  EXPECT_FALSE(runCommand(kCancel, window()));
  using Items = std::vector<std::pair<std::string, std::string>>;
  const std::string asc = path.substr(0, path.size() - 3) + "asc";
  const testing::ChooserRun expected[] = {
      {false, Items{{"TMPGEnc Project File", "*.TPR"}}, ""},  {true, Items{{"AVI Script File", "*.ASC"}}, asc},
      {true, Items{{"TMPGEnc Project File", "*.TPR"}}, path}, {false, Items{{"Frame setting File", "*.SFS"}}, path},
      {true, Items{{"Frame setting File", "*.SFS"}}, path},
  };
  ASSERT_EQ(fakeDialog().choosers.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(fakeDialog().choosers[i].saveMode, expected[i].saveMode) << i;
    EXPECT_EQ(fakeDialog().choosers[i].items, expected[i].items) << i;
    EXPECT_EQ(fakeDialog().choosers[i].proposed, expected[i].proposed) << i;
  }
  EXPECT_TRUE(fakeDialog().errors.empty()) << "cancelling is silent";
  EXPECT_EQ(dir_.fileCount(), 1u) << "cancelling writes nothing";
}

TEST_F(ShellTest, ALongPathIsReadInFull) {
  // 258 characters: past the 255 that a 256-byte buffer holds, inside the
  // 260 that Windows allows.
  const std::string folder = dir_.path(std::string(100, 'f'));
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/" + std::string(258 - folder.size() - 5, 'p') + ".tpr";
  ASSERT_TRUE(writeFile(path, ivtcBlock(recordsFromPattern("KCKCK"))));
  loadProject(path, window());
  ASSERT_EQ(fakeDialog().pathField.size(), 258u);
  fakeDialog().answers = {dir_.path("out.tpr")};
  runCommand(IDC_REMOVE_COPY, window());
  EXPECT_TRUE(fakeDialog().errors.empty());
  EXPECT_EQ(readFile(dir_.path("out.tpr")), ivtcBlock({{0, 0, 0}, {2, 0, 0}, {4, 0, 0}}));
}

TEST_F(ShellTest, ImportedListFeedsTheOtherCommands) {
  const std::string path = project("movie.tpr", "KKKKKK");
  loadProject(path, window());
  ASSERT_TRUE(writeFile(dir_.path("in.sfs"), "1?0260"));
  fakeDialog().answers = {dir_.path("in.sfs"), dir_.path("out.tpr"), dir_.path("out.asc"), dir_.path("out.sfs")};
  for (const int id : {IDC_IMPORT_SFS, IDC_REMOVE_COPY, IDC_EXPORT_SCRIPT, IDC_EXPORT_SFS}) runCommand(id, window());
  EXPECT_TRUE(fakeDialog().errors.empty());
  EXPECT_EQ(fakeDialog().pathField, path) << "an import leaves the path field";
  EXPECT_EQ(readFile(dir_.path("out.tpr")),
            noise(100, 1) + ivtcBlock({{0, 0, 0}, {1, 0, 0}, {3, 11, 0}, {4, 10, 0}}) + "tail");
  EXPECT_EQ(readFile(dir_.path("out.asc")), aviScript(testing::listFromPattern("KK-KK-")));
  EXPECT_EQ(readFile(dir_.path("out.sfs")), "110260");
}

TEST_F(ShellTest, WorkerFailuresAreOwnedByTheDialog) {
  const std::string path = project("movie.tpr", "KCK");
  loadProject(path, window());
  std::filesystem::create_directory(dir_.path("folder"));
  const std::string folder = dir_.path("folder");
  exportAviScript(folder, window());
  exportFrameSettings(folder, window());
  importFrameSettings(dir_.path("missing.sfs"), window());
  removeCopyFrames(folder, window());
  EXPECT_EQ(errorTexts(), (std::vector<std::string>{"Error in creating the file", "Error in creating output file",
                                                    "Error in opening file", "Error in opening destination file"}));
  for (const auto& e : fakeDialog().errors) EXPECT_EQ(e.owner, window());
}

TEST_F(ShellTest, TheSourceVanishingBeforeARemoval) {
  const std::string path = project("movie.tpr", "KCK");
  loadProject(path, window());
  std::filesystem::remove(path);
  removeCopyFrames(dir_.path("out.tpr"), window());
  EXPECT_EQ(errorTexts(), std::vector<std::string>{"Error in opening source TPR file"});
  EXPECT_EQ(dir_.fileCount(), 0u);
}

TEST_F(ShellTest, AProjectSavedAnewSinceItsLoadIsNotStripped) {
  const std::string path = project("movie.tpr", "KCK");
  loadProject(path, window());
  // Saved anew under the same name, as an editor does: write, then rename.
  const std::string resaved = noise(100, 1) + ivtcBlock(recordsFromPattern("KKKKC", {3, 6})) + "tail";
  ASSERT_TRUE(writeFile(dir_.path("resaved.tmp"), resaved));
  std::filesystem::rename(dir_.path("resaved.tmp"), path);
  removeCopyFrames(path, window());
  EXPECT_EQ(errorTexts(), std::vector<std::string>{"Error, the project has changed since it was loaded"});
  EXPECT_EQ(readFile(path), resaved);
  EXPECT_EQ(dir_.fileCount(), 1u);
}

// The dialog's own save in place is no change by someone else: a later
// removal to another name goes ahead.
TEST_F(ShellTest, ARemovalAfterTheDialogsOwnSaveInPlace) {
  const std::string path = project("movie.tpr", "KCKKCK");
  loadProject(path, window());
  ASSERT_TRUE(writeFile(dir_.path("in.sfs"), "1?0260"));
  fakeDialog().answers = {path, dir_.path("in.sfs"), dir_.path("other.tpr")};
  for (const int id : {IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_REMOVE_COPY}) runCommand(id, window());
  EXPECT_TRUE(fakeDialog().errors.empty()) << errorTexts()[0];
  EXPECT_EQ(readFile(path), noise(100, 1) + ivtcBlock({{0, 3, 0}, {2, 3, 0}, {3, 6, 0}, {5, 6, 0}}) + "tail");
  EXPECT_EQ(readFile(dir_.path("other.tpr")),
            noise(100, 1) + ivtcBlock({{0, 0, 0}, {1, 0, 0}, {3, 11, 0}, {4, 10, 0}}) + "tail");

  // A read-only destination is one that cannot be opened, whatever came before.
  ASSERT_TRUE(writeFile(dir_.path("locked.tpr"), "locked"));
  std::filesystem::permissions(dir_.path("locked.tpr"), std::filesystem::perms::owner_read);
  removeCopyFrames(dir_.path("locked.tpr"), window());
  EXPECT_EQ(errorTexts(), std::vector<std::string>{"Error in opening destination file"});
  std::filesystem::permissions(dir_.path("locked.tpr"), std::filesystem::perms::owner_all);
}

// A project saved as text loads, exports and strips as a binary one does.
TEST_F(ShellTest, AProjectInTextForm) {
  const std::string path = dir_.path("text.tpr");
  ASSERT_TRUE(writeFile(path, textProject(ivtcValue(recordsFromPattern("KCKKC", {3})), {.crlf = false})));
  loadProject(path, window());
  fakeDialog().answers = {dir_.path("text.asc"), path};
  for (const int id : {IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY}) runCommand(id, window());
  EXPECT_TRUE(fakeDialog().errors.empty());
  EXPECT_EQ(readFile(dir_.path("text.asc")), aviScript(testing::listFromPattern("K-KK-")));
  EXPECT_EQ(readFile(path), textProject(ivtcValue({{0, 3, 0}, {2, 3, 0}, {3, 3, 0}}), {.crlf = false}));
}

// The export choosers propose the project's own name; taking it writes nothing.
TEST_F(ShellTest, NoExportReplacesTheLoadedProject) {
  const std::string path = project("movie.tpr", "KCK");
  const std::string bytes = readFile(path);
  loadProject(path, window());
  fakeDialog().answers = {path};
  runCommand(IDC_EXPORT_SFS, window());
  exportAviScript(path, window());
  EXPECT_EQ(fakeDialog().choosers.at(0).proposed, path);
  EXPECT_EQ(errorTexts(), std::vector<std::string>(2, "Error, this is the project itself"));
  EXPECT_EQ(readFile(path), bytes);
  EXPECT_EQ(dir_.fileCount(), 1u);
}

#ifndef _WIN32
TEST_F(ShellTest, AFullDiskKeepsEveryOldOutput) {
  // A project whose outputs are all larger than the limit below.
  const std::string path = dir_.path("big.tpr");
  std::string pattern;
  for (int i = 0; i < 2000; ++i) pattern += "KCCCCCC";
  ASSERT_TRUE(writeFile(path, noise(5000, 2) + ivtcBlock(recordsFromPattern(pattern)) + noise(5000, 3)));
  loadProject(path, window());
  const std::pair<void (*)(const std::string&, Window), const char*> workers[] = {
      {exportAviScript, "old.asc"}, {exportFrameSettings, "old.sfs"}, {removeCopyFrames, "old.tpr"}};
  for (const auto& [worker, name] : workers) {
    ASSERT_TRUE(writeFile(dir_.path(name), "old"));
    {
      testing::FileSizeLimit limit(4096);
      worker(dir_.path(name), window());
    }
    EXPECT_EQ(readFile(dir_.path(name)), "old") << name;
  }
  EXPECT_EQ(errorTexts(), std::vector<std::string>(3, "Error in writing the file"));
  EXPECT_EQ(dir_.fileCount(), 4u) << "no temporary file is left";
}
#endif

}  // namespace
}  // namespace pulldex::app
