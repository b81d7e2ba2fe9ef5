// Checks a list's decisions against its video, and repairs what the video
// proves wrong. The video's fields are grouped into the pictures the film
// had (video/pictures.h); a right list keeps one entry for each picture, on
// a pair of fields that weave it cleanly. The check finds the kept entries
// whose frames weave two pictures, the pictures kept twice and those that no
// kept entry shows, and where the whole list sits some fields off the video
// (a cut at its start, a frame lost in the middle). The repair moves,
// removes and adds kept marks so that every picture the video proves is
// shown once, and leaves alone what the video proves nothing about.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/field_time.h"
#include "model/frame_list.h"
#include "video/decoder.h"
#include "video/finding_frames.h"
#include "video/pictures.h"

namespace pulldex {

struct CheckSettings {
  int search = 8;      // shifts of the list tried, either way
  int threshold = -1;  // a frame is combed above this score; -1: judged against the pairs around it
  // The field order when forced; else the video's where it shows one, else `givenTopFirst`.
  std::optional<bool> topFieldFirst;
  bool givenTopFirst = true;  // the project's, or top first
  // Whether the list was made from the fields the stream's flags show
  // (true) or from two fields a coded picture (false); else told from the
  // list's length.
  std::optional<bool> applyPulldown;
  // Ignore the list's marks and derive every one from the video (the list's
  // length and codes stay).
  bool fromVideo = false;
};

struct CombedEntry {
  std::int64_t entry = 0;
  int score = 0;
  // The entry to keep instead, one that shows a picture no kept entry
  // shows, or -1.
  std::int64_t suggestion = -1;
  int suggestionScore = 0;
};

struct RepeatedEntry {
  std::int64_t entry = 0, sameAs = 0;  // both kept, showing one picture
};

struct LostPicture {
  std::int64_t from = 0, to = 0;  // its fields
  std::int64_t keep = 0;          // the entry that would show it
};

// From `entry` on, entry i is the video's field i + offset.
struct Shift {
  std::int64_t entry = 0;
  int offset = 0;
};

enum class ChangeReason { Shift, Combed, Repeated, Lost, Video };
// "shift", "combed", "repeated", "lost", "video" (a mark derived from the video)
const char* changeReasonName(ChangeReason r);

struct Change {
  std::int64_t entry = 0;
  bool kept = false;  // the entry's new state
  ChangeReason reason = ChangeReason::Combed;
};

// The whole list taken at one offset.
struct OffsetFit {
  int offset = 0;
  std::int64_t checked = 0, clean = 0;  // kept entries that fall on film, and of them those that weave no comb
  std::int64_t errors = 0;              // combed, repeated and lost, as local repairs would count them
  double share() const { return checked > 0 ? static_cast<double>(clean) / static_cast<double>(checked) : 0; }
};

struct CheckResult {
  std::int64_t videoFrames = 0;  // of the fields judged: the shown ones where the pulldown is applied
  int width = 0, height = 0;
  // The stream's pictures and the fields its flags show, from its packets
  // (0 where ffmpeg told none), and which of the two the list follows.
  std::int64_t codedPictures = 0, shownFields = 0;
  Pulldown pulldown = Pulldown::None;
  bool pulldownAsked = false;  // --pulldown was given
  FrameRate rate{0, 1};        // the video's, as the decoder gives it; 0/1 when it gives none
  char scan = 0;               // what the stream says of its frames: 'p' progressive, 't', 'b', 'm' or 0
  bool topFirst = true;        // the order used
  bool weaveTopFirst = true;   // where the flags are applied, the first field shown
  bool givenTopFirst = true;
  std::optional<bool> videoTopFirst;  // the order the video shows, if any (of most of it)
  std::vector<OrderSpan> orders;      // each stretch's order, by frame: one where the order holds throughout
  std::int64_t entries = 0;
  std::int64_t kept = 0;       // kept entries judged as given (on film within the video)
  std::int64_t clean = 0;      // of them, those that weave a clean frame
  std::int64_t unchecked = 0;  // kept entries past the video's last field
  std::int64_t unjudged = 0;   // kept entries in stretches that prove nothing
  int threshold = -1;          // the one given, or -1 when judged locally
  std::vector<StretchSpan> interlaced, still;
  // Of the list with its shifts applied (as given where there are none).
  std::vector<CombedEntry> combed;
  std::vector<RepeatedEntry> repeated;
  std::vector<LostPicture> lost;
  std::vector<Shift> shifts;
  std::vector<std::int64_t> orphans;  // entries on fields alone, whose partner was cut away; never kept by a repair
  int offset = 0;                     // the offset of the most kept entries
  std::vector<OffsetFit> offsets;     // the whole list at each offset, from -search to +search
  std::vector<int> alsoFits;          // offsets that fit the whole list as well as the one found
  std::vector<Change> changes;        // what the repair does, by entry
  FrameList repaired;                 // the list with them
  bool fromVideo = false;             // every mark of the repaired list derived from the video
  bool keepsNoDecisions = false;      // the list keeps every frame, or one cadence throughout
  std::vector<std::int64_t> combedAsGiven;  // kept entries whose frames weave two pictures as the list stands
  // What checkVideo measured, for pictures of the findings.
  std::shared_ptr<const FrameScores> scores;
  std::shared_ptr<const FindingFrames> frames;  // findingPictures'

  std::int64_t videoFields() const { return 2 * videoFrames; }
  bool topFirstAt(std::int64_t pair) const { return orders.empty() ? topFirst : topFirstOf(orders, pair / 2); }
  double cleanShare() const { return kept ? static_cast<double>(clean) / static_cast<double>(kept) : 1; }
  const OffsetFit& at(int d) const { return offsets[static_cast<std::size_t>(d - offsets.front().offset)]; }
};

// The kept entries the video itself calls for, list and video taken at
// offset 0: the first field of each picture of two or three fields; in a
// stretch of film that tells no pictures apart (a still, or a drawing held
// over several film frames), pictures of two and three fields in turn,
// the 2:3 rhythm running on from the picture before; every frame of video
// whose every field is its own moment. A field alone is never kept.
std::vector<std::int64_t> marksFromVideo(const VideoPictures& video);

// Whether a list keeps every frame (every other entry) or one cadence (the
// same two entries of every five) from its first entry to its last: the
// marks of a project whose decisions were never set.
bool keepsNoDecisions(const FrameList& list);

// Weighs `list` (as the project stores it) against the pictures of a video
// and works out its repair.
CheckResult checkList(const FrameList& list, const VideoPictures& video, const CheckSettings& settings);

// Decodes `video` with `ffmpeg` and checks `list` against it. `progress` is
// told the fields done now and then.
DecodeProblem checkVideo(const FrameList& list, const std::string& ffmpeg, const std::string& video,
                         const CheckSettings& settings, CheckResult& result,
                         const std::function<void(std::int64_t fields)>& progress = {});

// Decodes `video` again, as checkVideo did, for the pictures of the frames
// that `pairs` of `result` weave (result.frames).
DecodeProblem findingPictures(const std::string& ffmpeg, const std::string& video,
                              const std::vector<std::int64_t>& pairs, CheckResult& result);

}  // namespace pulldex
