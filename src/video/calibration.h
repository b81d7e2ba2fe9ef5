// The judge's calibration, in one table: every value it was tuned to, what
// it does, and which content of the calibration clips (720x480 2:3 film,
// MPEG-2 at 6 Mb/s and lossless, both field orders; the README's table)
// bounds it. Scores are combed pixels in a 16x16 window, 0 to 256.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pulldex::calibration {

// --- A pixel combs (combing.cpp) ---
// Grey levels a line must stand out from both lines beside it. Bound by
// the pan with heavy grain: its clean pairings stay at 0.23 at most.
inline constexpr int kCombPixel = 9;
// Grey levels a pixel must change between the frames before and after to
// count as moving. Bound by the small object over a still picture with
// grain: the grain alone moves less.
inline constexpr int kCombMotion = 8;

// --- A pair judged against those around it (pictures.cpp) ---
// Pairs either side in the window: several groups of pictures of an
// MPEG-2 stream, whose blocks comb alike within one (the fast pan).
inline constexpr int kReach = 40;
// Where in the window's sorted scores the clean and the combed level are
// read: in film three pairs in five are clean, in 60i none, so a quarter
// of the way up is a clean pair's score and four fifths a combed one's.
inline constexpr double kCleanAt = 0.25, kCombedAt = 0.8;
// Drawings held over film frames: where few pairs comb (one in five on
// twos, one in seven or eight on threes) but the clean ones score low, the
// combed level is read this far up instead.
inline constexpr double kHeldCombedAt = 0.92;
// A stretch whose combed level stays below this moves too little to tell
// pictures apart. Between the still picture (combed median 0.01) and
// the dark pan (combed pairings 0.18 at least).
inline constexpr int kStillBelow = 24;
// Combed pairs score at least 1.4 times the clean level and this much
// more, or every pairing combs alike (60i); the margin fades as the clean
// level rises (pictures.cpp, filmGap). Bound by the flat cartoon, whose
// clean pairings score 0 and combed ones 0.25 at least, the 60i pan's
// MPEG-2, whose pairings score 0.82 and 0.96 in turn (1.17 times), and
// testsrc2 at 320x240, whose clean pairings score up to 0.18 and combed
// ones 0.2 to 0.34.
inline constexpr int kGap = 16;
// Pairs in a row above the limit that make a stretch of video though the
// window around them looks like film: 60i of a few frames between film
// (hd1080i's, 20 frames). Bursts of MPEG-2 noise are shorter (5 at most on
// the fast pan).
inline constexpr std::size_t kVideoRun = 8;
// The limit lies this far from the clean level towards the combed one.
// Bound by testsrc2 (clean 0.21 at most, combed 0.39 at least) and the small
// object (clean up to 0.24 where it crosses grain, combed 0.44 at least).
inline constexpr double kLimitAt = 0.4;
// A combed pair scores half as much again as the cleaner of its fields'
// other pairings, and this much more: the fast pan's MPEG-2, whose noisy
// clean pairings come out unclear rather than combed.
inline constexpr int kCleanerBy = 8;

// A change of field order costs as much as this many frames that tell the
// order against it. In dvd-tff no frame tells the wrong order, and 20
// frames of moving film tell the right one 9 to 12 times: a change is taken
// within about 16 frames of the other order's film, and a few frames of
// noise (the unit test's five) never make one.
inline constexpr std::int64_t kOrderChange = 8;

// --- The film from the video alone (check.cpp, marksFromVideo) ---
// Where a still or a held drawing tells no pictures apart, a phase of the
// 2:3 rhythm is taken from the faint scores of its pairings when they sum
// to twice those of the phase running on, and this much more. Bound by the
// fade of svcd and vcd, whose pairings between pictures score 0.01 to 0.1
// and those inside one 0 to 0.01, and the flat cartoon's holds, which score
// 0 throughout.
inline constexpr std::int64_t kPhaseBy = 16;

// --- Where the list sits (check.cpp) ---
// Errors a change of offset inside the list costs for each frame it moves
// by, and more for an odd offset (2:3 film often fits an odd offset as well
// as the even one beside it). Bound by eight scattered mistakes in 2:3
// film, which are no shift.
inline constexpr std::int64_t kShiftCost = 8;
inline constexpr std::int64_t kOddCost = 3;
// A first offset is claimed where the list as given makes at least this
// many errors, three times those at the offset: 2:3 film one frame off
// may show no other errors than two at the list's ends.
inline constexpr std::int64_t kStartErrors = 2;
// A shift inside the list is claimed where the list taken as it is is
// wrong on this share of the entries it judges. Bound by the same
// scattered mistakes.
inline constexpr double kShiftErrorShare = 0.2;
// A shift is placed as late as the old offset explains the entries before
// it to within this many errors.
inline constexpr std::int64_t kPlaceSlack = 2;

}  // namespace pulldex::calibration
