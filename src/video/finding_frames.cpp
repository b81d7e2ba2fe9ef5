#include "video/finding_frames.h"

#include <algorithm>
#include <cmath>

#include "video/check.h"

namespace pulldex {

namespace {

// Thumbnails of the frames of the recent past; the check's rules judge a
// pair against the pairs 40 either side of it, so a look every 32 frames
// at the 128 most recent ones settles what lies 22 frames in from either end.
constexpr std::int64_t kRing = 128;
constexpr std::int64_t kEvery = 32;
constexpr std::int64_t kMargin = 48;  // pairs at a look's ends that are not settled yet
constexpr int kWidth = 240;

}  // namespace

Thumbnails::Thumbnails(int width, int height) : width_(width), height_(height) {
  step_ = std::max(1, static_cast<int>(std::lround(static_cast<double>(width) / kWidth)));
  lineStep_ = step_ % 2 ? step_ : step_ + 1;
}

Thumbnail Thumbnails::of(const std::uint8_t* frame) const {
  Thumbnail t{width_ / step_, (height_ + lineStep_ - 1) / lineStep_, {}};
  t.pixels.resize(static_cast<std::size_t>(t.width) * static_cast<std::size_t>(t.height));
  for (int r = 0; r < t.height; ++r) {
    const std::uint8_t* line = frame + static_cast<std::size_t>(r * lineStep_) * static_cast<std::size_t>(width_);
    for (int c = 0; c < t.width; ++c) {
      int sum = 0;
      for (int i = 0; i < step_; ++i) sum += line[c * step_ + i];
      t.pixels[static_cast<std::size_t>(r * t.width + c)] = static_cast<std::uint8_t>((sum + step_ / 2) / step_);
    }
  }
  return t;
}

Thumbnail Thumbnails::woven(const Thumbnail& first, const Thumbnail& second, bool topFirst) const {
  // Line r of a thumbnail is line r × lineStep of the frame, of the frame's
  // top field where r is even: top field first, the second frame gives it.
  Thumbnail t = first;
  for (int r = 0; r < t.height; ++r)
    if ((r % 2 == 0) == topFirst)
      std::copy_n(second.pixels.begin() + r * t.width, t.width, t.pixels.begin() + r * t.width);
  return t;
}

FindingFrames::FindingFrames(const FrameList& list, int width, int height, std::size_t limit,
                             std::optional<bool> forcedOrder, bool givenOrder, int threshold)
    : list_(list),
      thumbnails_(width, height),
      limit_(limit),
      forcedOrder_(forcedOrder),
      givenOrder_(givenOrder),
      threshold_(threshold),
      ring_(static_cast<std::size_t>(kRing)) {}

void FindingFrames::frame(std::int64_t k, const std::uint8_t* pixels) {
  if (limit_ == 0 || 2 * k > list_.count() + 2 * kRing) return;
  ring_[static_cast<std::size_t>(k % kRing)] = thumbnails_.of(pixels);
  newest_ = k;
}

bool FindingFrames::leastOnTop(const Candidate& a, const Candidate& b) { return a.worth > b.worth; }

void FindingFrames::look(std::int64_t k, const FrameScores& scores, bool end) {
  if (end) frames_ = k + 1;
  // Every kEvery frames once the ring is full: a look at fewer frames would
  // judge them against fewer pairs than the check itself does.
  if (limit_ == 0 || (!end && ((k + 1) % kEvery != 0 || k + 1 < kRing))) return;
  const auto known = static_cast<std::int64_t>(scores.own.size());
  k = std::min(k, known - 1);
  const std::int64_t from = std::max<std::int64_t>(0, k + 1 - kRing);
  if (k < from || newest_ < k) return;
  // The recent frames' scores as a video of their own, the list's entries
  // beside them as a list of its own.
  FrameScores part;
  for (std::int64_t f = from; f <= k; ++f) {
    const auto i = static_cast<std::size_t>(f);
    const bool last = f == k || i >= scores.crossTop.size();
    part.add(scores.own[i], last ? -1 : scores.crossTop[i], last ? -1 : scores.crossBottom[i], kRing);
  }
  const bool topFirst = forcedOrder_.value_or(fieldOrderOf(scores).value_or(givenOrder_));
  const VideoPictures video(part, topFirst, threshold_);
  const std::int64_t base = 2 * from;
  FrameList entries;
  for (std::int64_t e = base; e < std::min<std::int64_t>(list_.count(), 2 * (k + 1)); ++e)
    entries.entries.push_back(list_.entries[static_cast<std::size_t>(e)]);
  if (!entries.keepsAny()) return;
  CheckSettings settings;
  settings.search = 0;
  settings.threshold = threshold_;
  const CheckResult r = checkList(entries, video, settings);
  // What lies far enough in from both ends, and was not looked at before.
  const std::int64_t settledFrom = std::max(lookedUpTo_, from > 0 ? base + kMargin : 0);
  const std::int64_t settledTo = end ? 2 * (k + 1) : 2 * (k + 1) - kMargin;
  const auto settled = [&](std::int64_t pair) { return pair + base >= settledFrom && pair + base < settledTo; };
  for (const CombedEntry& e : r.combed)
    if (settled(e.entry))
      keep(e.score, base + std::min(e.entry, e.suggestion < 0 ? e.entry : e.suggestion) - 2,
           base + std::max(e.entry, e.suggestion) + 2);
  for (const RepeatedEntry& e : r.repeated)
    if (settled(e.entry)) keep(kCombScoreMax + 1, base + e.sameAs - 2, base + e.entry + 2);
  for (const LostPicture& p : r.lost)
    if (settled(p.keep)) keep(kCombScoreMax + 1, base + p.from - 2, base + p.to + 2);
  lookedUpTo_ = std::max(lookedUpTo_, settledTo);
}

void FindingFrames::keep(int worth, std::int64_t firstPair, std::int64_t lastPair) {
  Candidate c{worth, std::max<std::int64_t>(0, firstPair / 2), std::min(newest_, lastPair / 2 + 1)};
  if (c.last < c.first || c.first + kRing <= newest_) return;
  if (candidates_.size() == limit_) {
    if (candidates_.front().worth >= worth) return;
    std::pop_heap(candidates_.begin(), candidates_.end(), leastOnTop);
    release(candidates_.back());
    candidates_.pop_back();
  }
  for (std::int64_t f = c.first; f <= c.last; ++f) {
    auto [at, added] = kept_.try_emplace(f, ring_[static_cast<std::size_t>(f % kRing)], 0);
    ++at->second.second;
  }
  candidates_.push_back(c);
  std::push_heap(candidates_.begin(), candidates_.end(), leastOnTop);
}

void FindingFrames::release(const Candidate& c) {
  for (std::int64_t f = c.first; f <= c.last; ++f) {
    const auto at = kept_.find(f);
    if (at != kept_.end() && --at->second.second == 0) kept_.erase(at);
  }
}

std::optional<Thumbnail> FindingFrames::pair(std::int64_t p, bool topFirst) const {
  if (p < 0) return std::nullopt;
  const auto first = kept_.find(p / 2);
  if (first == kept_.end()) return std::nullopt;
  if (p % 2 == 0) return first->second.first;
  // The video's last field: its frame is the last frame as it is.
  if (p / 2 + 1 == frames_) return first->second.first;
  const auto second = kept_.find(p / 2 + 1);
  if (second == kept_.end()) return std::nullopt;
  return thumbnails_.woven(first->second.first, second->second.first, topFirst);
}

}  // namespace pulldex
