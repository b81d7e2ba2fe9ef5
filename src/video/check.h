// Checks a list's decisions against its video: every frame the list would
// make is woven from the video's own fields and measured for combing; the
// kept entries whose frames are combed are found, with a neighbour that
// would be clean, and the shift of the whole list that fits the video best.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/field_time.h"
#include "model/frame_list.h"
#include "video/decoder.h"

namespace pulldex {

struct CheckSettings {
  int search = 8;      // shifts of the list tried, either way
  int threshold = -1;  // a frame is combed above this score (per 10,000 pixels); -1: found from the video
  bool topFieldFirst = true;
};

struct CombedEntry {
  std::int64_t entry = 0;
  int score = 0;
  // The neighbour (±1, then ±2) whose frame is clean and weaves no picture
  // that a kept entry beside it weaves already, or -1.
  std::int64_t suggestion = -1;
  int suggestionScore = 0;
};

struct OffsetFit {
  int offset = 0;  // entry i taken as the video's field i + offset
  std::int64_t checked = 0, clean = 0;
  double share() const { return checked > 0 ? static_cast<double>(clean) / static_cast<double>(checked) : 0; }
};

struct CheckResult {
  std::int64_t videoFrames = 0;
  int width = 0, height = 0;
  FrameRate rate{0, 1};  // the video's, as the decoder gives it; 0/1 when it gives none
  std::int64_t entries = 0;
  std::int64_t kept = 0;       // kept entries checked as given
  std::int64_t clean = 0;      // of them, those that weave a clean frame
  std::int64_t unchecked = 0;  // kept entries past the video's last pair of fields
  int threshold = 0;           // the one used
  bool thresholdFromVideo = false;
  std::vector<CombedEntry> combed;  // as given, in order
  std::vector<OffsetFit> offsets;   // from -search to +search
  int best = 0;                     // the shift that fits best; of those that fit equally, the one nearest 0
  std::vector<int> alsoFits;        // the other shifts that fit equally well
  bool clearlyBetter = false;       // best is not 0 and fits clearly better than 0

  std::int64_t videoFields() const { return 2 * videoFrames; }
  double cleanShare() const { return kept ? static_cast<double>(clean) / static_cast<double>(kept) : 1; }
  const OffsetFit& at(int offset) const { return offsets[static_cast<std::size_t>(offset - offsets.front().offset)]; }
};

// Shares closer than this fit equally well.
inline constexpr double kEqualFit = 0.01;

// The threshold found from a video. Of a field's two pairings, with the field
// before it and with the one after, one weaves it with the other field of
// its own picture, in telecined film and in video alike: the lower of the
// two scores is a clean frame's. `cleanHistogram` counts those lower scores;
// the threshold is half as much again as nine in ten of them, and 2 more.
int thresholdFromScores(const std::vector<std::int64_t>& cleanHistogram);

// Takes the scores of the video's woven frames in order and weighs the list
// against them, holding only counts and the entries that may be combed.
class ListCheck {
 public:
  ListCheck(const FrameList& list, const CheckSettings& settings);
  // The score of the frame of fields f and f + 1, for f = 0, 1, 2, ….
  void add(int score);
  CheckResult finish();

 private:
  struct Candidate {
    std::int32_t entry;
    std::uint16_t score;
    std::int16_t around[4];  // the scores at -2, -1, +1, +2, or -1 where there is none
  };
  void consider(std::int64_t entry);
  int scoreAt(std::int64_t field) const;

  const FrameList& list_;
  CheckSettings settings_;
  std::int64_t pairs_ = 0;
  std::int16_t recent_[8] = {};                      // the last scores, by field modulo 8
  std::vector<std::int64_t> clean_;                  // histogram of the lower score of each field's two pairings
  std::vector<std::vector<std::int64_t>> byOffset_;  // histogram of the kept entries' scores, per shift
  std::vector<Candidate> candidates_;
  std::int64_t considered_ = 0;  // entries up to here are considered
};

// Decodes `video` with `ffmpeg` and checks `list` against it. `progress` is
// told the fields done now and then.
DecodeProblem checkVideo(const FrameList& list, const std::string& ffmpeg, const std::string& video,
                         const CheckSettings& settings, CheckResult& result,
                         const std::function<void(std::int64_t fields)>& progress = {});

}  // namespace pulldex
