// What a core operation can report, and the exact text the user sees for it.
#pragma once

#include <cstdint>

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
  CreateList,           // frame numbers or timestamps: the output cannot be created
  CreatePage,           // the report's HTML page cannot be created
  ProjectChanged,       // the project is no longer the file that was loaded
  HardLinks,            // the destination has other names, which a new file would split off
  UnsafeLink,           // a link that the kernel would not follow for us either
  KeepOwner,            // the destination's owner, group or rights cannot be given to the new file
  Device,               // a device, which is neither a file nor a stream
  NotRegular,           // copy-frame removal needs a regular project file
  OutputIsProject,      // an output would replace a project that was not to be replaced
  OutputIsInput,        // an output would replace another file the run reads
  OutputsCollide,       // two outputs of one run would go to one file
  NothingKept,          // a list that keeps no frame, which no tool can take
  StartDecoder,         // the video decoder (ffmpeg) cannot be started
  DecoderFailed,        // the decoder ended with an error
  VideoStream,          // the decoder's stream broke off or is not what it should be
  EmptyVideo,           // a video without a frame
  OneFrame,             // a video of one frame, a picture: no fields to weave
  NoVideoStream,        // a file without a video stream
  DecoderIsScript,      // a batch file named as the decoder, which cmd.exe would run
  NothingInVideo,       // no kept entry of the list lies within the video
  DvdIndex,             // a .d2v index that is not one, or cannot be read
  IndexedFileMissing,   // a file a .d2v index lists is not there
  ListLongerThanVideo,  // the list's entries run past the video's end
  NotExpressible,       // a list that Wobbly's matches cannot give
  SourceFields,         // the tool's source would not give the fields the list was made from
};

const char* errorText(Error error);

// Which file an error concerns.
enum class Subject : std::uint8_t { Project, Output, Settings };

// The result of a core operation: the error, the file it concerns and the
// operating system's error number behind it (0 when there is none).
struct Status {
  Error error = Error::None;
  Subject subject = Subject::Project;
  int osError = 0;

  bool ok() const { return error == Error::None; }
  bool operator==(Error e) const { return error == e; }
};

}  // namespace pulldex
