#include "app/file_chooser.h"

namespace pulldex::app {

void FileChooser::addFilter(const char* name, const char* pattern) {
  if (items_.size() < kMaxItems) items_.push_back({name, pattern});
}

std::string FileChooser::filterText() const {
  using namespace std::string_literals;
  std::string text;
  if (!saveMode_ && !items_.empty()) {
    text += "Supported Files\0"s;
    for (const FilterItem& item : items_) text += item.pattern + ";"s;
    text.back() = '\0';
  }
  for (const FilterItem& item : items_) {
    text += item.name + " ("s + item.pattern + ")\0"s;
    text += item.pattern + "\0"s;
  }
  text += "All Files (*.*)\0*.*\0\0"s;
  return text;
}

}  // namespace pulldex::app
