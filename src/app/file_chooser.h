// One Open or Save file dialog with its filter items and the path the user
// picks. Made for one command and dropped when the command ends.
#pragma once

#include <string>
#include <vector>

#include "app/dialog_services.h"

namespace pulldex::app {

struct FilterItem {
  const char* name;     // shown in the type list, e.g. "Frame setting File"
  const char* pattern;  // e.g. "*.SFS"
};

class FileChooser {
 public:
  static constexpr std::size_t kMaxItems = 32;

  explicit FileChooser(bool saveMode) : saveMode_(saveMode) {}

  void addFilter(const char* name, const char* pattern);
  // The proposed file name; the whole text is kept.
  void setInitialPath(const std::string& path) { path_ = path; }
  bool show(Window owner) { return runFileChooser(owner, *this); }
  const std::string& filePath() const { return path_; }

  bool saveMode() const { return saveMode_; }
  const std::vector<FilterItem>& items() const { return items_; }
  // The Windows filter list: name NUL pattern NUL pairs ending in a second
  // NUL. Open mode starts with "Supported Files" and every pattern joined by
  // ";"; both modes end with "All Files (*.*)".
  std::string filterText() const;
  void setFilePath(const std::string& path) { path_ = path; }

 private:
  bool saveMode_;
  std::vector<FilterItem> items_;
  std::string path_;
};

}  // namespace pulldex::app
