// What info, report and check say about a project besides its counts, and
// how they write numbers.
#pragma once

#include <cstdio>
#include <string>

#include "model/field_time.h"
#include "project/project.h"

namespace pulldex::cli {

// `value` with exactly `decimals` decimals.
inline std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A rate in frames a second, as the report shows it.
inline std::string rateText(double fps) { return fixed(fps, 3); }

// "1200 (600a)": a field and the AVI script's name for it.
inline std::string fieldText(std::int64_t field) { return std::to_string(field) + " (" + fieldName(field) + ")"; }

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

// A kept entry on the video's last field, or nothing.
inline std::string leftOutNote(const Project& project) {
  const std::int64_t entry = project.leftOutEntry();
  if (entry < 0) return {};
  return "Entry " + fieldText(entry) +
         " is kept on the video's last field, which has no field after it to weave with: every export for other "
         "tools leaves it out.";
}

}  // namespace pulldex::cli
