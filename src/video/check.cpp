#include "video/check.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <thread>

#include "video/calibration.h"
#include "video/combing.h"

namespace pulldex {

namespace {

using namespace calibration;

// A first offset other than 0 is one cut at the list's start: it costs 1
// for each frame up to 8 frames (kOddCost more where it is odd), so that of
// offsets that explain alike, the nearer 0 wins, two errors at the edges of
// 2:3 film tell a one-frame cut, and a long cut costs no more than a short
// one once the video proves it.

// A position in the list and one in the video. An offset takes the one to
// the other (entry i is the video's field i + offset); nothing else does.
struct ListEntry {
  std::int64_t at = 0;
};
struct VideoField {
  std::int64_t at = 0;
};
VideoField onVideo(ListEntry e, int offset) { return {e.at + offset}; }
ListEntry onList(VideoField f, int offset) { return {f.at - offset}; }

// The costs of taking the list at one offset or another: each kept entry
// that weaves two pictures, shows one that the kept entry before it shows,
// or leaves pictures between them unshown is an error. `entries` is the
// list's length, which the repaired list keeps.
class Costs {
 public:
  Costs(const VideoPictures& video, std::int64_t entries) : video_(video), entries_(entries) {}

  // A kept entry's own frame: 1 where it weaves two pictures.
  std::int64_t frame(ListEntry e, int offset) const {
    const VideoField p = onVideo(e, offset);
    return inside(p) && video_.combed(p.at);
  }
  // A kept entry that the offset puts past the video's end, where the list
  // as given has it inside: 1, a mark the video can no longer show. One
  // that a first offset puts before the video's start is the cut's, which
  // the offset's own cost pays for.
  std::int64_t outside(ListEntry e, int offset) const {
    return onVideo(e, offset).at >= video_.fields() && e.at < video_.fields() ? 1 : 0;
  }
  // The first kept entry, and the pictures before it that the list covers
  // at `offset` (from the video's field `offset`, or its first).
  std::int64_t head(ListEntry e, int offset) const {
    const VideoField p = onVideo(e, offset);
    if (!inside(p)) return outside(e, offset);
    return frame(e, offset) + video_.countedWithin(std::max<std::int64_t>(onVideo(ListEntry{0}, offset).at, 0), p.at);
  }
  // A kept entry at `offset` after the one `before` at its own offset.
  std::int64_t step(ListEntry before, int beforeOffset, ListEntry e, int offset) const {
    const VideoField p = onVideo(e, offset), q = onVideo(before, beforeOffset);
    if (!inside(p)) return outside(e, offset);
    const std::int64_t shows = counted(p);
    return frame(e, offset) + (shows >= 0 && shows == counted(q) ? 1 : 0) +
           video_.countedWithin(std::max<std::int64_t>(q.at + 1, 0), p.at);
  }
  // The pictures after the last kept entry that the list covers at `offset`.
  std::int64_t tail(ListEntry e, int offset) const {
    const VideoField p = onVideo(e, offset), end = onVideo(ListEntry{entries_}, offset);
    return video_.countedWithin(std::max<std::int64_t>(p.at + 1, 0), std::min(end.at, video_.fields()) - 1);
  }
  // The counted picture a kept entry shows, or -1.
  std::int64_t counted(VideoField p) const {
    const std::int64_t k = video_.shows(p.at);
    return k >= 0 && video_.pictures()[static_cast<std::size_t>(k)].counted ? k : -1;
  }

 private:
  bool inside(VideoField p) const { return p.at >= 0 && p.at < video_.fields(); }

  const VideoPictures& video_;
  std::int64_t entries_;
};

// The errors of kept entries [from, to) taken at `offset`: with the list's
// ends, the pictures before the first and after the last; without, the
// stretch alone, its first entry's own frame only.
std::int64_t errorsAt(const Costs& costs, const std::vector<ListEntry>& kept, std::size_t from, std::size_t to,
                      int offset, bool withEnds) {
  if (to <= from) return 0;
  std::int64_t errors = withEnds ? costs.head(kept[from], offset) : costs.frame(kept[from], offset);
  for (std::size_t k = from + 1; k < to; ++k) errors += costs.step(kept[k - 1], offset, kept[k], offset);
  if (withEnds) errors += costs.tail(kept[to - 1], offset);
  return errors;
}

// The offset of each kept entry: the fewest errors, where a change of
// offset costs kShiftCost a frame it moves by (a first offset other than 0
// too): the list is taken as it is wherever the video allows, and of
// changes that explain the same, the smallest.
std::int64_t start(int d) { return d == 0 ? 0 : std::min(std::abs(d), 16) / 2 + (d % 2 ? kOddCost : 0); }

std::int64_t change(int from, int to) {
  if (from == to) return 0;
  const int fields = std::abs(to - from);
  return kShiftCost * ((fields + 1) / 2) + (to % 2 ? kOddCost : 0);
}

std::vector<int> fitOffsets(const Costs& costs, const std::vector<ListEntry>& kept, int search) {
  const int states = 2 * search + 1;
  std::vector<int> path(kept.size(), 0);
  if (kept.empty()) return path;
  std::vector<std::int64_t> cost(static_cast<std::size_t>(states)), next(cost.size());
  std::vector<std::int16_t> back(kept.size() * static_cast<std::size_t>(states));
  for (int j = 0; j < states; ++j) {
    const int d = j - search;
    cost[static_cast<std::size_t>(j)] = start(d) + costs.head(kept[0], d);
  }
  // Of offsets that cost the same: an even one (a cut takes whole frames),
  // then the one nearest 0.
  const auto better = [&](std::int64_t a, int j, std::int64_t b, int i) {
    const int d = j - search, e = i - search;
    if (a != b) return a < b;
    if ((d % 2 != 0) != (e % 2 != 0)) return d % 2 == 0;
    return std::abs(d) < std::abs(e);
  };
  for (std::size_t k = 1; k < kept.size(); ++k) {
    for (int j = 0; j < states; ++j) {
      const int d = j - search;
      // From each offset: the step from the kept entry before, where it
      // was, and the cost of the change. Of equals, the way from the offset
      // nearer 0: the list is taken as it is for as long as the video allows.
      int from = j;
      std::int64_t best = cost[static_cast<std::size_t>(j)] + costs.step(kept[k - 1], d, kept[k], d);
      for (int i = 0; i < states; ++i) {
        if (i == j) continue;
        const std::int64_t c =
            cost[static_cast<std::size_t>(i)] + change(i - search, d) + costs.step(kept[k - 1], i - search, kept[k], d);
        if (c < best || (c == best && better(0, i, 0, from))) {
          best = c;
          from = i;
        }
      }
      next[static_cast<std::size_t>(j)] = best;
      back[k * static_cast<std::size_t>(states) + static_cast<std::size_t>(j)] = static_cast<std::int16_t>(from);
    }
    cost.swap(next);
  }
  // The last offset: the fewest errors.
  const auto total = [&](int j) { return cost[static_cast<std::size_t>(j)] + costs.tail(kept.back(), j - search); };
  int state = search;
  for (int j = 0; j < states; ++j)
    if (better(total(j), j, total(state), state)) state = j;
  for (std::size_t k = kept.size(); k-- > 0;) {
    path[k] = state - search;
    state = back[k * static_cast<std::size_t>(states) + static_cast<std::size_t>(state)];
  }
  return path;
}

// Keeps only the changes of offset that explain what scattered mistakes
// cannot: the stretch after each must be wrong at its old offset at a rate
// of kShiftErrorShare of its judged entries, and three times less wrong at
// its new one.
void keepRealShifts(const Costs& costs, const VideoPictures& video, const std::vector<ListEntry>& kept,
                    std::vector<int>& path) {
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t from = 0; from < path.size();) {
      std::size_t to = from;
      while (to < path.size() && path[to] == path[from]) ++to;
      const int before = from == 0 ? 0 : path[from - 1];
      if (path[from] != before) {
        std::int64_t judged = 0;
        for (std::size_t k = from; k < to; ++k) {
          const VideoField p = onVideo(kept[k], before);
          judged += video.clean(p.at) || video.combed(p.at);
        }
        // At the start, one cut before the list: its pictures, and its
        // ends where the stretch is the whole list, clearly better told.
        const bool whole = from == 0 && to == path.size();
        const std::int64_t wrong = errorsAt(costs, kept, from, to, before, whole);
        // Marks the new offset puts outside the video are pictures it lacks,
        // no mistake of the list there.
        std::int64_t outside = 0;
        for (std::size_t k = from; k < to; ++k) outside += costs.outside(kept[k], path[from]);
        const std::int64_t right = errorsAt(costs, kept, from, to, path[from], whole) - outside;
        const bool real = (static_cast<double>(wrong) >= kShiftErrorShare * static_cast<double>(judged) &&
                           wrong >= 3 * right && wrong >= kShiftCost) ||
                          (from == 0 && wrong >= kStartErrors && wrong >= 3 * right + 1);
        if (!real) {
          std::fill(path.begin() + static_cast<std::ptrdiff_t>(from), path.begin() + static_cast<std::ptrdiff_t>(to),
                    before);
          changed = true;
        }
      }
      from = to;
    }
  }
}

// A list being repaired: its kept marks, the reason each entry last
// changed for, and where a moved mark came from.
class Repair {
 public:
  explicit Repair(const FrameList& list) : given_(list), now_(list), reason_(list.entries.size(), -1) {}

  bool kept(std::int64_t i) const { return i >= 0 && i < now_.count() && now_.isKept(i); }
  void drop(std::int64_t i, ChangeReason why) { set(i, false, why); }
  // Keeps entry i; a mark moved from `from` (-1 for none) gives it its code
  // where the entry has no record of its own.
  void keep(std::int64_t i, ChangeReason why, std::int64_t from) {
    if (i < 0 || i >= now_.count()) return;
    FrameEntry& e = now_.entries[static_cast<std::size_t>(i)];
    if (given_.entries[static_cast<std::size_t>(i)].state == Unlisted && !kept(i)) e.code = codeFor(i, from);
    set(i, true, why);
  }
  std::vector<std::int64_t> marks() const { return now_.keptEntries(); }
  const FrameList& list() const { return now_; }

  std::vector<Change> changes() const {
    std::vector<Change> out;
    for (std::int64_t i = 0; i < now_.count(); ++i)
      if (now_.isKept(i) != given_.isKept(i))
        out.push_back({i, now_.isKept(i), static_cast<ChangeReason>(reason_[static_cast<std::size_t>(i)])});
    return out;
  }

 private:
  void set(std::int64_t i, bool keep, ChangeReason why) {
    if (i < 0 || i >= now_.count() || kept(i) == keep) return;
    const std::uint8_t given = given_.entries[static_cast<std::size_t>(i)].state;
    // A mark that goes leaves its record as a copy frame; an entry that
    // loses a mark it did not have is what it was.
    std::uint8_t state = Kept;
    if (!keep) state = given == Kept ? static_cast<std::uint8_t>(Copy) : given;
    now_.entries[static_cast<std::size_t>(i)].state = state;
    reason_[static_cast<std::size_t>(i)] = static_cast<int>(why);
  }
  std::uint8_t codeFor(std::int64_t i, std::int64_t from) const {
    if (from >= 0 && from < given_.count()) return given_.entries[static_cast<std::size_t>(from)].code;
    for (std::int64_t j = i - 1; j >= 0; --j)
      if (now_.isKept(j)) return now_.entries[static_cast<std::size_t>(j)].code;
    for (std::int64_t j = i + 1; j < now_.count(); ++j)
      if (now_.isKept(j)) return now_.entries[static_cast<std::size_t>(j)].code;
    return 0;
  }

  const FrameList& given_;
  FrameList now_;
  std::vector<int> reason_;
};

// Moves each change of offset to where the video shows it: the latest
// entry from which the new offset explains the rest of its stretch as well
// as anywhere earlier does, give or take one scattered mistake. Where both
// offsets fit (2:3 film fits some offsets alike), the list stays as it is.
void placeShifts(const Costs& costs, const std::vector<ListEntry>& kept, std::vector<int>& path) {
  // A first offset other than 0 is a change from 0 at the list's start,
  // moved only where offset 0 explains the entries before it exactly.
  for (std::size_t b = 0; b < path.size(); ++b) {
    const int before = b == 0 ? 0 : path[b - 1], after = path[b];
    if (after == before) continue;
    std::size_t from = b, to = b;
    while (from > 0 && path[from - 1] == before) --from;
    while (to < path.size() && path[to] == after) ++to;
    // Errors of entries [from, c) at the old offset and [c, to) at the new,
    // for every change point c.
    const auto error = [&](std::size_t k, int d) {
      return k == from ? costs.frame(kept[k], d) : costs.step(kept[k - 1], d, kept[k], d);
    };
    std::vector<std::int64_t> total(to - from + 1, 0);
    std::int64_t old = 0;
    for (std::size_t c = from; c <= to; ++c) {
      total[c - from] = old;
      if (c < to) old += error(c, before);
    }
    std::int64_t rest = 0;
    for (std::size_t c = to; c > from; --c) {
      rest += error(c - 1, after);
      total[c - 1 - from] += rest;
    }
    const std::size_t first = b == 0 ? 0 : from + 1;
    const std::int64_t slack = b == 0 ? 0 : kPlaceSlack;
    std::int64_t least = std::numeric_limits<std::int64_t>::max();
    for (std::size_t c = first; c < to; ++c) least = std::min(least, total[c - from]);
    std::size_t at = b;
    for (std::size_t c = first; c < to; ++c)
      if (total[c - from] <= least + slack) at = c;
    // The list's first kept entry shows the same picture either way where
    // the video lost only what came before it: a change there is a cut at
    // the start.
    if (b == 0 && at <= 1) at = 0;
    for (std::size_t k = from; k < to; ++k) path[k] = k < at ? before : after;
    b = at;
  }
}

}  // namespace

const char* changeReasonName(ChangeReason r) {
  switch (r) {
    case ChangeReason::Shift:
      return "shift";
    case ChangeReason::Combed:
      return "combed";
    case ChangeReason::Repeated:
      return "repeated";
    case ChangeReason::Lost:
      return "lost";
    case ChangeReason::Video:
      return "video";
  }
  return "";
}

bool keepsNoDecisions(const FrameList& list) {
  const std::int64_t n = list.count();
  if (n < 10) return false;
  // Every frame: every other entry, and only those.
  const auto everyOther = [&](std::int64_t from) {
    for (std::int64_t i = 0; i < n; ++i)
      if (list.isKept(i) != (i % 2 == from)) return false;
    return true;
  };
  if (everyOther(0) || everyOther(1)) return true;
  // One cadence: two entries of every five, the same two throughout.
  int inFive = 0;
  for (std::int64_t i = 0; i < 5; ++i) inFive += list.isKept(i);
  if (inFive != 2) return false;
  for (std::int64_t i = 5; i < n; ++i)
    if (list.isKept(i) != list.isKept(i % 5)) return false;
  return true;
}

std::vector<std::int64_t> marksFromVideo(const VideoPictures& video) {
  // Each field: in a picture of two or three fields (its first is kept),
  // in video (every frame kept), or neither (the rhythm fills it).
  // A field alone in film, whose partner was cut away, is never kept, and
  // stops the rhythm.
  enum class Field : std::uint8_t { Picture, Video, Other, Alone };
  const std::int64_t fields = video.known();
  std::vector<Field> kind(static_cast<std::size_t>(fields), Field::Other);
  for (const Picture& p : video.pictures()) {
    if (p.fields() == 2 || p.fields() == 3)
      for (std::int64_t f = p.first; f <= p.last; ++f) kind[static_cast<std::size_t>(f)] = Field::Picture;
    // Alone: film's pairings on both sides of it, and neither clean.
    const std::int64_t f = p.first;
    if (p.fields() == 1 && video.inFilm(f - 1) && video.inFilm(f) && !video.clean(f - 1) && !video.clean(f))
      kind[static_cast<std::size_t>(f)] = Field::Alone;
  }
  // A field alone at the edge of video is the video's. Video keeps whole
  // frames: of a stretch, the frames both of whose fields lie in it.
  for (const StretchSpan& s : video.stretches(Stretch::Interlaced))
    for (std::int64_t f = s.from; f <= s.to && f < fields; ++f)
      if (kind[static_cast<std::size_t>(f)] != Field::Picture) kind[static_cast<std::size_t>(f)] = Field::Video;
  std::vector<std::int64_t> marks;
  std::int64_t last = 0;  // fields of the picture before: the next has the other count
  for (std::int64_t f = 0; f < fields;) {
    const Field k = kind[static_cast<std::size_t>(f)];
    std::int64_t end = f;
    while (end < fields && kind[static_cast<std::size_t>(end)] == k &&
           (k != Field::Picture || end == f || video.pictureOf(end) == video.pictureOf(f)))
      ++end;
    if (k == Field::Picture) {
      marks.push_back(f);
      last = end - f;
    } else if (k == Field::Alone) {
      last = 0;
    } else if (k == Field::Video) {
      for (std::int64_t e = f + f % 2; e + 1 < end; e += 2) marks.push_back(e);
      last = 0;
    } else {
      // Pictures of two and three fields in turn. Where nothing moves but a
      // little (a fade, grain), the pairings between pictures still score
      // a little more than those inside one: of the ten phases of the
      // rhythm, the one whose pairings between pictures score clearly
      // most, else the one running on from the picture before.
      const auto starts = [&](int phase) {
        std::vector<std::int64_t> at;
        for (std::int64_t p = f; p < end; ++p)
          if (const std::int64_t r = (p - f + phase) % 10; r == 0 || r == 2 || r == 5 || r == 7) at.push_back(p);
        return at;
      };
      const auto between = [&](int phase) {
        std::int64_t sum = 0;
        for (const std::int64_t p : starts(phase))
          if (p > f) sum += video.score(p - 1);
        return sum;
      };
      int phase = last == 3 ? 0 : 7;  // a picture of two fields first, or of three
      const std::int64_t onFrom = between(phase);
      for (int other = 0; other < 10; ++other)
        if (between(other) >= 2 * onFrom + kPhaseBy && between(other) > between(phase)) phase = other;
      std::vector<std::int64_t> at = starts(phase);
      if (at.empty() || at.front() != f) at.insert(at.begin(), f);
      for (std::size_t i = 0; i < at.size(); ++i) {
        const std::int64_t n = (i + 1 < at.size() ? at[i + 1] : end) - at[i];
        if (n >= 2) marks.push_back(at[i]);
        last = std::min<std::int64_t>(n, 3);
      }
    }
    f = end;
  }
  return marks;
}

CheckResult checkList(const FrameList& list, const VideoPictures& video, const CheckSettings& settings) {
  CheckResult r;
  r.entries = list.count();
  r.threshold = settings.threshold;
  r.interlaced = video.stretches(Stretch::Interlaced);
  r.still = video.stretches(Stretch::Still);
  std::vector<ListEntry> kept;
  for (const std::int64_t i : list.keptEntries()) kept.push_back({i});
  const Costs costs(video, list.count());

  // The list as given.
  for (const auto [i] : kept) {
    if (i >= video.fields()) {
      ++r.unchecked;
    } else if (!video.clean(i) && !video.combed(i)) {
      ++r.unjudged;
    } else {
      ++r.kept;
      r.clean += video.clean(i);
      if (video.combed(i)) r.combedAsGiven.push_back(i);
    }
  }
  // The whole list at each offset.
  for (int d = -settings.search; d <= settings.search; ++d) {
    OffsetFit fit{d, 0, 0, errorsAt(costs, kept, 0, kept.size(), d, true)};
    for (const ListEntry e : kept) {
      const std::int64_t p = onVideo(e, d).at;
      if (!video.clean(p) && !video.combed(p)) continue;
      ++fit.checked;
      fit.clean += video.clean(p);
    }
    r.offsets.push_back(fit);
  }

  // Where the list sits on the video, stretch by stretch.
  std::vector<int> path = fitOffsets(costs, kept, settings.search);
  keepRealShifts(costs, video, kept, path);
  placeShifts(costs, kept, path);
  for (std::size_t k = 0; k < path.size(); ++k)
    if (path[k] != (k == 0 ? 0 : path[k - 1])) r.shifts.push_back({k == 0 ? 0 : kept[k].at, path[k]});
  // The offset of the most kept entries; where it is the only one, the
  // others that fit the whole list as well.
  std::vector<std::int64_t> at(r.offsets.size(), 0);
  for (const int d : path) ++at[static_cast<std::size_t>(d + settings.search)];
  r.offset = static_cast<int>(std::max_element(at.begin(), at.end()) - at.begin()) - settings.search;
  // Only of a fit with few errors: where the list is wrong here and there,
  // other offsets are no better, but that makes them no fit.
  const OffsetFit& fit = r.at(r.offset);
  const bool fits = static_cast<double>(fit.errors) <= std::max(2.0, 0.02 * static_cast<double>(fit.checked));
  if (fits && (r.shifts.empty() || (r.shifts.size() == 1 && r.shifts[0].entry == 0)))
    for (const OffsetFit& f : r.offsets)
      if (f.offset != r.offset && f.errors <= fit.errors && f.checked >= fit.checked) r.alsoFits.push_back(f.offset);

  // Fields alone, as entries where the list sits there.
  for (const std::int64_t field : video.orphans()) {
    const VideoField f{field};
    int d = !r.shifts.empty() && r.shifts[0].entry == 0 ? r.shifts[0].offset : 0;
    for (const Shift& s : r.shifts)
      if (onVideo(ListEntry{s.entry}, s.offset).at <= f.at) d = s.offset;
    const ListEntry e = onList(f, d);
    if (e.at >= 0 && e.at < list.count()) r.orphans.push_back(e.at);
  }

  // The shifts first: every mark from a shift's entry on moves with it.
  Repair repair(list);
  // The video's field a mark shows, where the list sits, is the entry that
  // weaves it in the repaired list: the project reads that video.
  for (std::size_t k = 0; k < kept.size(); ++k)
    if (path[k] != 0) repair.drop(kept[k].at, ChangeReason::Shift);
  for (std::size_t k = 0; k < kept.size(); ++k)
    if (path[k] != 0) repair.keep(onVideo(kept[k], path[k]).at, ChangeReason::Shift, kept[k].at);

  // Then each mark against the pictures. Who shows each counted picture.
  const std::vector<Picture>& pictures = video.pictures();
  std::vector<std::int64_t> shownBy(pictures.size(), -1);
  std::vector<std::int64_t> marks = repair.marks();
  for (const std::int64_t m : marks) {
    const std::int64_t k = costs.counted(VideoField{m});
    if (k < 0) continue;
    if (shownBy[static_cast<std::size_t>(k)] < 0)
      shownBy[static_cast<std::size_t>(k)] = m;
    else
      r.repeated.push_back({m, shownBy[static_cast<std::size_t>(k)]});
  }
  // Of the video's pictures, those the list covers where it sits: from its
  // first entry at the first offset to its last at the last.
  const std::int64_t coverFrom = path.empty() ? 0 : std::max(path.front(), 0);
  const std::int64_t coverTo = std::min<std::int64_t>(list.count() + (path.empty() ? 0 : path.back()), video.fields());
  const auto unshown = [&](std::int64_t k) {
    if (k < 0) return false;
    const Picture& p = pictures[static_cast<std::size_t>(k)];
    return p.counted && shownBy[static_cast<std::size_t>(k)] < 0 && p.first >= coverFrom && p.last < coverTo &&
           video.bestPair(k) < list.count();
  };
  // A combed mark moves to the picture beside it that nothing shows, the
  // nearer of two; where both pictures are shown, it is one frame too many.
  for (const std::int64_t m : marks) {
    if (m >= video.fields() || !video.combed(m)) continue;
    CombedEntry e{m, video.score(m), -1, 0};
    const std::int64_t here = video.pictureOf(m), there = video.pictureOf(m + 1);
    std::int64_t target = -1;
    for (const std::int64_t k : {here, there}) {
      if (!unshown(k)) continue;
      if (target < 0 || std::abs(video.bestPair(k) - m) < std::abs(video.bestPair(target) - m)) target = k;
    }
    if (target >= 0) {
      e.suggestion = video.bestPair(target);
      e.suggestionScore = video.score(e.suggestion);
      shownBy[static_cast<std::size_t>(target)] = e.suggestion;
      repair.drop(m, ChangeReason::Combed);
      repair.keep(e.suggestion, ChangeReason::Combed, m);
    } else if (here >= 0 && there >= 0 && here != there && pictures[static_cast<std::size_t>(here)].counted &&
               pictures[static_cast<std::size_t>(there)].counted) {
      repair.drop(m, ChangeReason::Combed);
    }
    r.combed.push_back(e);
  }
  for (const RepeatedEntry& e : r.repeated) repair.drop(e.entry, ChangeReason::Repeated);
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    if (!unshown(static_cast<std::int64_t>(k))) continue;
    const Picture& p = pictures[k];
    const std::int64_t keep = video.bestPair(static_cast<std::int64_t>(k));
    r.lost.push_back({p.first, p.last, keep});
    repair.keep(keep, ChangeReason::Lost, -1);
  }
  r.changes = repair.changes();
  r.repaired = repair.list();
  // A list that keeps every frame, or one cadence from its first entry to
  // its last, holds no decisions: where the video proves it wrong, its
  // marks are all taken from the video.
  r.keepsNoDecisions = keepsNoDecisions(list);
  if (settings.fromVideo || (r.keepsNoDecisions && !r.changes.empty())) {
    // The marks as the video calls for them; none past the video's end,
    // where it shows nothing.
    Repair derived(list);
    for (std::int64_t i = 0; i < list.count(); ++i) derived.drop(i, ChangeReason::Video);
    for (const std::int64_t m : marksFromVideo(video))
      if (m < list.count()) derived.keep(m, ChangeReason::Video, -1);
    r.changes = derived.changes();
    r.repaired = derived.list();
    r.fromVideo = true;
  }
  return r;
}

namespace {

// Reads every frame of the fields the list follows into `buffer()` in
// turn, and calls `taken()` after each: the decoded frames as they are,
// or, where the flags are applied, the frames of the fields they show,
// the first of them top where `firstTop`.
// `shows(picture, fields)` is told of each coded picture before its frames.
template <class Buffer, class Taken, class Shows>
void readFrames(FfmpegFrames& frames, bool weave, bool firstTop, std::int64_t packetsShown, Buffer&& buffer,
                Taken&& taken, Shows&& shows) {
  if (!weave) {
    while (frames.next(buffer())) taken();
    return;
  }
  const Y4mHeader& h = frames.header();
  const std::size_t bytes = frames.frameBytes();
  // Each picture is woven once the next one tells how many fields it shows.
  std::vector<std::uint8_t> decoded[2] = {std::vector<std::uint8_t>(bytes), std::vector<std::uint8_t>(bytes)};
  PulldownWeaver weaver(h.width, h.height, firstTop);
  weaver.weaveInto(buffer);
  const auto emit = [&](const std::uint8_t*) { taken(); };
  std::int64_t n = 0, shown = 0;
  for (; frames.next(decoded[n % 2].data()); ++n) {
    if (n == 0) continue;
    const int fields = frames.fieldsBefore(n);
    shows(n - 1, fields);
    weaver.add(decoded[(n - 1) % 2].data(), fields, emit);
    shown += fields;
  }
  if (n > 0) {
    const std::uint8_t* last = decoded[(n - 1) % 2].data();
    const int fields = lastPictureFields(packetsShown, shown);
    // A field left alone is woven with the same picture's other one.
    shows(n - 1, fields + 1);
    weaver.add(last, fields, emit);
    weaver.finish(last, emit);
  }
}

// The order most of the video's `frames` are in.
bool mostFrames(const std::vector<OrderSpan>& orders, std::int64_t frames) {
  std::int64_t top = 0;
  for (std::size_t i = 0; i < orders.size(); ++i)
    if (orders[i].topFirst) top += (i + 1 < orders.size() ? orders[i + 1].from : frames) - orders[i].from;
  return 2 * top >= frames;
}

}  // namespace

DecodeProblem checkVideo(const FrameList& list, const std::string& ffmpeg, const std::string& video,
                         const CheckSettings& settings, CheckResult& result,
                         const std::function<void(std::int64_t fields)>& progress) {
  // The fields the list was made from: those the stream's flags show, or
  // two a coded picture.
  // The quick pass over the packets runs while the decoder starts; its
  // frames wait in the pipe until the choice is made.
  PacketFields packets;
  std::thread counting([&] { packets = countFields(ffmpeg, video); });
  FfmpegFrames frames;
  const DecodeProblem started = frames.start(ffmpeg, video, true);
  counting.join();
  if (!started.ok()) return started;
  const Pulldown pulldown =
      pulldownFor(list.count(), packets.shown, 2 * packets.pictures, dvdFieldOperation(video), settings.applyPulldown);
  const bool weave = pulldown == Pulldown::Applied;
  if (!weave) frames.dropTimes();
  const Y4mHeader& h = frames.header();
  const std::size_t bytes = frames.frameBytes();
  // Three frames in turn: the one before, the one measured, the one after.
  std::vector<std::uint8_t> buffers[3] = {std::vector<std::uint8_t>(bytes), std::vector<std::uint8_t>(bytes),
                                          std::vector<std::uint8_t>(bytes)};
  // Where the flags are applied, the fields shown start with the one the
  // order says: the stream's, where it tells one.
  const bool firstTop = settings.topFieldFirst.value_or(h.scan == 'b'   ? false
                                                        : h.scan == 't' ? true
                                                                        : settings.givenTopFirst);
  CombMeter meter(h.width, h.height);
  auto scores = std::make_shared<FrameScores>();
  // The frames the list and its shifts reach are measured; the rest only
  // counted.
  const std::int64_t measured = (static_cast<std::int64_t>(list.count()) + settings.search + 3) / 2 + 1;
  std::int64_t count = 0;
  const auto frame = [&](std::int64_t k) { return buffers[k % 3].data(); };
  // Frame k as it is moves against frames k - 1 and k + 1; woven with
  // frame k + 1 (either order), against that frame.
  // Where the flags are applied: of the fields not yet measured, from
  // field `tagged`, the coded picture each comes from where that picture
  // shows three (a repeated field), else -1. The standard repeats a field
  // of progressive pictures only, whose fields weave cleanly: a pairing of
  // two of them is clean without measuring.
  std::deque<std::int64_t> repeated;
  std::int64_t tagged = 0;
  const auto onePicture = [&](std::int64_t field) {
    const auto at = [&](std::int64_t f) {
      const std::int64_t i = f - tagged;
      return i >= 0 && i < static_cast<std::int64_t>(repeated.size()) ? repeated[static_cast<std::size_t>(i)] : -1;
    };
    return weave && at(field) >= 0 && at(field) == at(field + 1);
  };
  const auto measure = [&](std::int64_t k, bool last) {
    if (k >= measured) {
      scores->add(0, last ? -1 : 0, last ? -1 : 0, measured);
      return;
    }
    for (; tagged < 2 * k && !repeated.empty(); ++tagged) repeated.pop_front();
    const std::uint8_t* f = frame(k);
    const CombScore own =
        onePicture(2 * k) ? CombScore{} : meter.score(f, f, k > 0 ? frame(k - 1) : f, last ? f : frame(k + 1));
    if (last) {
      scores->add(own, nullptr, nullptr, measured);
      return;
    }
    const std::uint8_t* next = frame(k + 1);
    // Top field first: the next frame's top (even) lines, this frame's bottom.
    // Frames woven from the fields the flags show have the flags' order:
    // the other is not measured.
    if (weave) {
      const CombScore cross = onePicture(2 * k + 1) ? CombScore{}
                              : firstTop            ? meter.score(next, f, f, f)
                                                    : meter.score(f, next, next, next);
      scores->add(own, &cross, &cross, measured);
      return;
    }
    const CombScore top = meter.score(next, f, f, f), bottom = meter.score(f, next, next, next);
    scores->add(own, &top, &bottom, measured);
  };
  // Frame `count` is in its buffer.
  const auto taken = [&] {
    if (count > 0) measure(count - 1, false);
    ++count;
    if (progress && count % 64 == 0) progress(2 * count);
  };
  readFrames(
      frames, weave, firstTop, packets.shown, [&] { return frame(count); }, taken,
      [&](std::int64_t picture, int fields) { repeated.insert(repeated.end(), fields, fields >= 3 ? picture : -1); });
  if (DecodeProblem p = frames.finish(); !p.ok()) return p;
  if (count == 0) return {Error::EmptyVideo, 0, {}};
  measure(count - 1, true);
  if (progress) progress(2 * count);

  std::optional<bool> shownOrder = weave ? std::nullopt : fieldOrderOf(*scores);
  // Woven fields are in the order they were woven in; a forced order holds
  // throughout. Else each stretch is judged in the order it shows.
  std::vector<OrderSpan> orders{{0, weave ? firstTop : settings.topFieldFirst.value_or(true)}};
  if (!weave && !settings.topFieldFirst) {
    orders = fieldOrdersOf(*scores, shownOrder.value_or(settings.givenTopFirst));
    if (orders.size() > 1) shownOrder = mostFrames(orders, count);
  }
  const bool topFirst = orders.size() > 1 ? *shownOrder : orders.front().topFirst;
  const VideoPictures fields(*scores, orders, settings.threshold);
  result = checkList(list, fields, settings);
  result.orders = fields.orders();
  result.scores = scores;
  result.videoFrames = count;
  result.codedPictures = packets.pictures;
  result.shownFields = packets.shown;
  result.pulldown = pulldown;
  result.pulldownAsked = settings.applyPulldown.has_value();
  result.width = h.width;
  result.height = h.height;
  result.rate = h.rate;
  result.scan = h.scan;
  result.topFirst = topFirst;
  result.weaveTopFirst = firstTop;
  result.givenTopFirst = settings.givenTopFirst;
  result.videoTopFirst = shownOrder;
  return {};
}

DecodeProblem findingPictures(const std::string& ffmpeg, const std::string& video,
                              const std::vector<std::int64_t>& pairs, CheckResult& result) {
  FfmpegFrames frames;
  const bool weave = result.pulldown == Pulldown::Applied;
  if (const DecodeProblem p = frames.start(ffmpeg, video, weave); !p.ok()) return p;
  if (!weave) frames.dropTimes();
  auto pictures = std::make_shared<FindingFrames>(frames.header().width, frames.header().height, pairs);
  std::vector<std::uint8_t> pixels(frames.frameBytes());
  std::int64_t count = 0;
  readFrames(
      frames, weave, result.weaveTopFirst, result.shownFields, [&] { return pixels.data(); },
      [&] { pictures->frame(count++, pixels.data()); }, [](std::int64_t, int) {});
  if (DecodeProblem p = frames.finish(); !p.ok()) return p;
  pictures->ended(count);
  result.frames = pictures;
  return {};
}

}  // namespace pulldex
