// A loaded project: the one way in for every front end. It holds the open
// project file, its IVTC list, where the list's block lies and the file's
// identity as it was loaded.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/file.h"
#include "formats/frame_setting_file.h"
#include "model/error.h"
#include "model/frame_list.h"
#include "project/ivtc_block.h"

namespace pulldex {

class Project {
 public:
  Project();
  ~Project();
  Project(Project&&) noexcept;
  Project& operator=(Project&&) noexcept;

  // Opens `path` (a regular file, a pipe, or "-" for standard input) and
  // loads its list, and with `fieldOrder` the project's field order, in one
  // pass. On failure the project is left as it was.
  Status load(const std::string& path, bool fieldOrder = false);
  bool loaded() const { return loaded_; }

  const std::string& path() const { return path_; }
  FrameList& list() { return list_; }
  const FrameList& list() const { return list_; }
  // The list as the project stores it, for other tools: without the load's
  // normalisation (or as a frame-setting file put it).
  FrameList storedList() const;
  // Whether the list differs from the stored one by the normalisation.
  bool normalised() const { return block_.normalisation.movedFrom > 0; }
  // The project's field order, "Video.TopFieldFirst", where it holds one as
  // a boolean: read in the pass that loaded the list (when asked for), from
  // a stream too.
  std::optional<bool> topFieldFirst() const { return block_.topFieldFirst; }
  // Replaces the list by a frame-setting file's, as the import does.
  Status importSettings(const std::string& path, FrameSettingsFacts* facts = nullptr);
  const BlockLocation& block() const { return block_; }
  // Whether the project is a regular file, whose identity is known.
  bool regular() const { return regular_; }
  // The file as it was loaded, or as the last save over it left it.
  const sys::Identity& identity() const { return block_.identity; }

  // The open file, opened again by its path where it was released; it must
  // still be the file that was loaded. Streams cannot be opened again.
  Status input(InputFile*& file);
  // Closes the file until input() is asked for again: the dialog keeps no
  // file open between commands, and Windows replaces no file that is open.
  void release();
  // A save of this project over its own file wrote `written`, with the block
  // at `block`: that file is the project now.
  void savedOver(const sys::Identity& written, const BlockLocation& block);

 private:
  std::string path_;
  std::unique_ptr<InputFile> file_;
  FrameList list_;
  BlockLocation block_;
  bool regular_ = false;
  bool loaded_ = false;
};

}  // namespace pulldex
