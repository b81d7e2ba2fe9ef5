// What info, report and check say about a project besides its counts.
#pragma once

#include <string>

#include "formats/number_text.h"
#include "model/field_time.h"
#include "project/project.h"

namespace pulldex::cli {

// "1 frame", "3 frames".
inline std::string countText(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "1200 (600a)": a field and the AVI script's name for it.
inline std::string fieldText(std::int64_t field) { return std::to_string(field) + " (" + fieldName(field) + ")"; }

// What an offset of the list on its video means: "entry i is the video's
// field i + 2".
inline std::string offsetRule(int offset) {
  return std::string("entry i is the video's field i ") + (offset < 0 ? "- " : "+ ") +
         std::to_string(offset < 0 ? -offset : offset);
}

// The list as the project stores it, kept apart only where the load moved
// its first mark: the breaks are the stored list's.
class StoredList {
 public:
  explicit StoredList(const Project& project) : moved_(project.normalised()) {
    if (moved_) list_ = project.storedList();
  }
  // For SectionStream and cadenceSummary: nothing where it is the loaded list.
  const FrameList* storedOrNull() const { return moved_ ? &list_ : nullptr; }

 private:
  bool moved_;
  FrameList list_;
};

// Where the load moved the first kept entry, or nothing.
inline std::string normalisationNote(const Project& project) {
  if (!project.normalised()) return {};
  return "The AVI script starts at 0a: its first kept entry, " + fieldText(project.block().normalisation.movedFrom) +
         " in the project, is moved to entry 0 (other tools get it where it is).";
}

}  // namespace pulldex::cli
