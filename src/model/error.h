// What a core operation can report, and the exact text the user sees for it.
#pragma once

namespace pulldex {

enum class Error {
  None,
  OpenProject,          // the project cannot be opened for loading
  NoIvtcBlock,          // no "Video.DeinterlaceEx.List" entry
  ReadFile,             // a short header or a failed read
  FileFormat,           // a block that breaks the format's rules
  OpenSource,           // copy-frame removal: the source cannot be opened
  OpenDestination,      // copy-frame removal: the destination cannot be created
  WriteFile,            // a failed or short write, or a failed final rename
  CreateFrameSettings,  // frame-setting export: the output cannot be created
  OpenFrameSettings,    // frame-setting import: the file cannot be opened
  CreateScript,         // AVI script export: the output cannot be created
};

const char* errorText(Error error);

}  // namespace pulldex
