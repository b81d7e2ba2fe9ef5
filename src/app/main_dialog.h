// The shell shared by every front end: the process-wide frame list, the
// workers that act on it, and the commands behind the dialog's buttons.
#pragma once

#include <optional>
#include <string>

#include "app/dialog_services.h"
#include "model/frame_list.h"
#include "resource.h"
#include "version.h"

namespace pulldex::app {

// The command of the close box, the system menu and Esc.
inline constexpr int kCancel = 2;

inline constexpr char kCaption[] = PULLDEX_CAPTION;

// The buttons that need a loaded list: disabled until a project loads.
inline constexpr int kListButtons[] = {IDC_EXPORT_SCRIPT, IDC_REMOVE_COPY, IDC_IMPORT_SFS, IDC_EXPORT_SFS};

// The list every command works on.
FrameList& currentList();

// Workers: each reports its own failures and leaves the list as it was.
void loadProject(const std::string& path, Window window);
void removeCopyFrames(const std::string& destination, Window window);
void importFrameSettings(const std::string& path, Window window);
void exportFrameSettings(const std::string& path, Window window);
void exportAviScript(const std::string& path, Window window);

// Dialog start: only "&Open" usable, then the project of the command line.
void initDialog(Window window, const std::optional<std::string>& initialPath);
// Runs the command of a button; false for an id that is not a command (the
// caller handles kCancel itself, as ending the dialog is the front end's).
bool runCommand(int id, Window window);
// Dialog end: the list is dropped.
void destroyDialog();

}  // namespace pulldex::app
