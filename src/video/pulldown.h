// The fields a video shows, as a player shows them. An MPEG-2 stream may
// store film as 24 pictures a second with flags: each picture shows its
// first field, its second, and its first again where "repeat first field"
// is set (soft pulldown, as on most film DVDs). A decoder gives each coded
// picture once. A project made through a reader that applies the flags has
// an entry for every field shown; one made without them has two a picture.
// Here the pictures are turned back into the frames of the fields shown,
// two fields a frame, each frame's even lines from its top field.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/field_time.h"

namespace pulldex {

enum class Pulldown : std::uint8_t {
  None,     // the stream shows two fields of every picture
  Applied,  // it repeats fields, and the list has an entry for each field shown
  Ignored,  // it repeats fields, and the list has two entries a coded picture
};
const char* pulldownName(Pulldown p);  // "none", "applied", "ignored"

// Which field sequence a list of `entries` was made from: `shown` fields
// with the flags applied, `coded` (two a picture) without. A DVD index read
// as film or without its flags (`fieldOperation` 1 or 2) gives each picture
// once; `asked` is the user's word, where the stream has flags.
Pulldown pulldownFor(std::int64_t entries, std::int64_t shown, std::int64_t coded, int fieldOperation = -1,
                     std::optional<bool> asked = {});

// Weaves pictures, each showing 2 or 3 fields (1 to 6 are taken), into the
// frames of the fields they show. The first field shown is the top one
// where `firstTop`, and the fields alternate from there on.
class PulldownWeaver {
 public:
  using Emit = std::function<void(const std::uint8_t* frame)>;
  PulldownWeaver(int width, int height, bool firstTop);

  // A picture (width × height, rows packed) that shows `fields` fields;
  // `emit` gets each frame it completes.
  void add(const std::uint8_t* picture, int fields, const Emit& emit);
  // The video's end: a field left alone makes a frame with the same
  // picture's other field.
  void finish(const std::uint8_t* lastPicture, const Emit& emit);
  // Each frame is woven into the buffer `target` gives as the frame starts,
  // not into one of the weaver's own: no copy of it is made.
  void weaveInto(std::function<std::uint8_t*()> target) { target_ = std::move(target); }

 private:
  void field(const std::uint8_t* picture, bool top);
  std::function<std::uint8_t*()> target_;
  std::uint8_t* current_ = nullptr;  // the frame being woven

  int width_, height_;
  bool nextTop_;
  bool half_ = false;  // the frame holds its first field
  std::vector<std::uint8_t> frame_;
};

// The fields each picture shows, from the times of the pictures in display
// order: the time to the next picture in fields of `rate` (frames a second).
// The last picture's is told by the caller.
int fieldsBetween(std::int64_t pts, std::int64_t nextPts, FrameRate timeBase, FrameRate rate);
// The last picture's: what the packets' count of fields shown leaves after
// the pictures before it, where that is a picture's (2 or 3), else 2.
int lastPictureFields(std::int64_t packetsShown, std::int64_t shownBefore);

// ffmpeg's per-frame line of its showinfo filter: "... n:  12 pts: 480480 ...".
// The frame's number and time, or nothing for another line.
struct ShownFrame {
  std::int64_t n = 0;
  std::optional<std::int64_t> pts;  // none where it says NOPTS
};
std::optional<ShownFrame> parseShowinfo(const std::string& line);
// Its "config in time_base: 1/1200000" line's time base, or nothing.
std::optional<FrameRate> parseShowinfoTimeBase(const std::string& line);

// The fields of a stream counted from its packets' durations (ffmpeg's
// framecrc lines "0, dts, pts, duration, size, crc"): pictures, and the
// fields they show. The field's length is read from the durations
// themselves: 2 fields for the shortest, or the common step of 2 and 3.
struct PacketFields {
  std::int64_t pictures = 0, shown = 0;
};
class PacketCounter {
 public:
  void line(const std::string& text);
  PacketFields result() const;

 private:
  std::map<std::int64_t, std::int64_t> durations_;  // how many packets last each
};

}  // namespace pulldex
