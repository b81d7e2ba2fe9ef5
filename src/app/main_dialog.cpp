#include "app/main_dialog.h"

#include "app/file_chooser.h"
#include "formats/avi_script.h"
#include "formats/frame_setting_file.h"
#include "project/ivtc_block.h"
#include "project/output.h"
#include "project/project.h"

namespace pulldex::app {

namespace {

// The project loaded last. A removal refuses to copy from a file that was
// saved anew since, as its list may no longer be the one shown; the
// dialog's own saves over it are the project from then on.
Project theProject;

constexpr char kProjectName[] = "TMPGEnc Project File";
constexpr char kProjectPattern[] = "*.TPR";
constexpr char kScriptName[] = "AVI Script File";
constexpr char kScriptPattern[] = "*.ASC";
constexpr char kSettingsName[] = "Frame setting File";
constexpr char kSettingsPattern[] = "*.SFS";

void report(const Status& status, Window owner) {
  if (!status.ok()) showError(owner, errorText(status.error));
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

FrameList& currentList() { return theProject.list(); }

void loadProject(const std::string& path, Window window) {
  Project loaded;
  if (const Status status = loaded.load(path); !status.ok()) {
    report(status, nullptr);
    return;
  }
  // No file stays open between commands.
  loaded.release();
  theProject = std::move(loaded);
  setPathFieldText(window, path);
  enableListButtons(window, true);
}

void removeCopyFrames(const std::string& destination, Window window) {
  const Status status =
      writeWithoutCopyFrames(theProject, {.path = destination, .cannotCreate = Error::OpenDestination, .inPlace = true});
  theProject.release();
  report(status, window);
}

void importFrameSettings(const std::string& path, Window window) {
  report(theProject.importSettings(path), window);
}

namespace {

// An export: never over the loaded project itself.
void exportTo(const std::string& path, Error cannotCreate, bool (*write)(Sink&, const FrameList&), Window window) {
  const Destination destination{.path = path, .cannotCreate = cannotCreate, .project = &theProject};
  report(writeOutput(destination,
                     [&](Sink& out) {
                       write(out, theProject.list());
                       return Status{};
                     }),
         window);
}

}  // namespace

void exportFrameSettings(const std::string& path, Window window) {
  exportTo(path, Error::CreateFrameSettings, writeFrameSettings, window);
}

void exportAviScript(const std::string& path, Window window) {
  exportTo(path, Error::CreateScript, writeAviScript, window);
}

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

void destroyDialog() { theProject = Project{}; }

}  // namespace pulldex::app
