#include "app/main_dialog.h"

#include "app/file_chooser.h"
#include "formats/avi_script.h"
#include "formats/frame_setting_file.h"
#include "project/ivtc_block.h"

namespace pulldex::app {

namespace {

FrameList theList;

constexpr char kProjectName[] = "TMPGEnc Project File";
constexpr char kProjectPattern[] = "*.TPR";
constexpr char kScriptName[] = "AVI Script File";
constexpr char kScriptPattern[] = "*.ASC";
constexpr char kSettingsName[] = "Frame setting File";
constexpr char kSettingsPattern[] = "*.SFS";

void report(Error error, Window owner) {
  if (error != Error::None) showError(owner, errorText(error));
}

// Asks for a file and hands it to `worker`; a cancelled chooser does nothing.
template <class Worker>
void choose(Window window, bool saveMode, const char* name, const char* pattern,
            const std::optional<std::string>& proposed, Worker worker) {
  FileChooser chooser(saveMode);
  chooser.addFilter(name, pattern);
  if (proposed) chooser.setInitialPath(*proposed);
  if (chooser.show(window)) worker(chooser.filePath(), window);
}

}  // namespace

FrameList& currentList() { return theList; }

void loadProject(const std::string& path, Window window) {
  const Error error = readIvtcList(path, theList);
  if (error != Error::None) {
    report(error, nullptr);
    return;
  }
  setPathFieldText(window, path);
  enableListButtons(window, true);
}

void removeCopyFrames(const std::string& destination, Window window) {
  report(writeWithoutCopyFrames(pathFieldText(window), destination, theList), window);
}

void importFrameSettings(const std::string& path, Window window) { report(readFrameSettings(path, theList), window); }

void exportFrameSettings(const std::string& path, Window window) { report(writeFrameSettings(path, theList), window); }

void exportAviScript(const std::string& path, Window window) { report(writeAviScript(path, theList), window); }

void initDialog(Window window, const std::optional<std::string>& initialPath) {
  enableListButtons(window, false);
  if (initialPath) loadProject(*initialPath, window);
}

bool runCommand(int id, Window window) {
  switch (id) {
    case IDC_OPEN:
      choose(window, false, kProjectName, kProjectPattern, std::nullopt, loadProject);
      return true;
    case IDC_EXPORT_SCRIPT:
      choose(window, true, kScriptName, kScriptPattern, proposedScriptName(pathFieldText(window)), exportAviScript);
      return true;
    case IDC_REMOVE_COPY:
      choose(window, true, kProjectName, kProjectPattern, pathFieldText(window), removeCopyFrames);
      return true;
    case IDC_IMPORT_SFS:
      choose(window, false, kSettingsName, kSettingsPattern, pathFieldText(window), importFrameSettings);
      return true;
    case IDC_EXPORT_SFS:
      choose(window, true, kSettingsName, kSettingsPattern, pathFieldText(window), exportFrameSettings);
      return true;
    default:
      return false;
  }
}

void destroyDialog() { theList = FrameList{}; }

}  // namespace pulldex::app
