#include "video/pictures.h"

#include <algorithm>
#include <limits>

#include "video/calibration.h"

namespace pulldex {

namespace {

using namespace calibration;

// One order's pairing clearly cleaner than the other's: a third of it, and
// a clear gap.
bool clearlyCleaner(int a, int b) { return b >= 3 * a + kGap; }

// How far above the clean level film's combed pairs score at least: two
// fifths again, and kGap more where clean pairs score little, fading as
// they score more (dense moving detail in a small picture scores high on its
// clean pairings too). In video whose every field is its own moment, each
// pairing weaves neighbouring moments, and all score alike.
int filmGap(int clean) { return 2 * clean / 5 + std::max(0, kGap - clean / 2); }

}  // namespace

void FrameScores::add(int ownScore, int crossT, int crossB, std::int64_t keep) {
  if (frames < keep) {
    own.push_back(static_cast<std::uint16_t>(ownScore));
    if (crossT >= 0) {
      crossTop.push_back(static_cast<std::uint16_t>(crossT));
      crossBottom.push_back(static_cast<std::uint16_t>(crossB));
    }
  }
  ++frames;
  if (crossT < 0) return;
  votesTop += clearlyCleaner(crossT, crossB);
  votesBottom += clearlyCleaner(crossB, crossT);
  sumTop += crossT;
  sumBottom += crossB;
}

void FrameScores::add(const CombScore& ownScore, const CombScore* crossT, const CombScore* crossB, std::int64_t keep) {
  const auto at = [](const CombScore& c) {
    return static_cast<std::uint16_t>((c.x / 8 & 0xFF) | (c.y / 8 & 0xFF) << 8);
  };
  if (frames < keep) {
    ownAt.push_back(at(ownScore));
    if (crossT) {
      crossTopAt.push_back(at(*crossT));
      crossBottomAt.push_back(at(*crossB));
    }
  }
  add(ownScore.worst, crossT ? crossT->worst : -1, crossB ? crossB->worst : -1, keep);
}

std::pair<int, int> FrameScores::worstAt(std::int64_t pair, bool topFirst) const {
  const std::vector<std::uint16_t>& at = pair % 2 == 0 ? ownAt : topFirst ? crossTopAt : crossBottomAt;
  const auto k = static_cast<std::size_t>(pair / 2);
  if (pair < 0 || k >= at.size()) return {-1, -1};
  return {8 * (at[k] & 0xFF), 8 * (at[k] >> 8)};
}

std::optional<bool> fieldOrderOf(const FrameScores& s) {
  // Film: the right order weaves a picture's own fields where the wrong one
  // weaves pictures three fields apart.
  const std::int64_t votes = s.votesTop + s.votesBottom;
  if (votes >= 8) {
    if (s.votesTop >= 4 * s.votesBottom) return true;
    if (s.votesBottom >= 4 * s.votesTop) return false;
    return std::nullopt;
  }
  // Video whose every field is its own moment: the right order weaves
  // neighbouring moments, the wrong one moments three fields apart, which
  // comb more.
  const std::int64_t low = std::min(s.sumTop, s.sumBottom), high = std::max(s.sumTop, s.sumBottom);
  if (s.frames >= 50 && high >= kStillBelow * s.frames && 10 * low <= 9 * high) return s.sumTop < s.sumBottom;
  return std::nullopt;
}

std::vector<OrderSpan> fieldOrdersOf(const FrameScores& s, bool fallback) {
  // Each frame's vote, and the cheapest run of orders to explain them: a
  // vote against the order costs 1, a change of order kOrderChange.
  const std::size_t n = s.crossTop.size();
  std::vector<int> vote(n, 0);
  std::int64_t votes = 0;
  for (std::size_t k = 0; k < n; ++k) {
    vote[k] = clearlyCleaner(s.crossTop[k], s.crossBottom[k])   ? 1
              : clearlyCleaner(s.crossBottom[k], s.crossTop[k]) ? -1
                                                                : 0;
    votes += vote[k] != 0;
  }
  if (votes < kOrderChange) return {{0, fallback}};
  // cost[1]: top first up to this frame; cost[0]: bottom first. `changed`
  // holds, per frame, whether each order was reached by a change there.
  std::int64_t cost[2] = {0, 0};
  std::vector<std::uint8_t> changed(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    std::int64_t next[2];
    for (int top = 0; top < 2; ++top) {
      // Of equal costs the later change: the frames between the last that
      // tell the old order and the first that tell the new one tell none,
      // and the pair across the change is among them.
      const std::int64_t stay = cost[top], change = cost[1 - top] + kOrderChange;
      if (k > 0 && change <= stay) changed[k] |= static_cast<std::uint8_t>(1 << top);
      next[top] = (k > 0 ? std::min(stay, change) : stay) + (vote[k] == (top ? -1 : 1));
    }
    cost[0] = next[0];
    cost[1] = next[1];
  }
  int top = cost[1] == cost[0] ? fallback : cost[1] < cost[0];
  std::vector<OrderSpan> spans;
  for (std::size_t k = n; k-- > 0;) {
    if (!(changed[k] >> top & 1)) continue;
    spans.push_back({static_cast<std::int64_t>(k), top != 0});
    top = 1 - top;
  }
  spans.push_back({0, top != 0});
  std::reverse(spans.begin(), spans.end());
  return spans;
}

bool topFirstOf(const std::vector<OrderSpan>& orders, std::int64_t frame) {
  const auto after = std::upper_bound(orders.begin() + 1, orders.end(), frame,
                                      [](std::int64_t k, const OrderSpan& o) { return k < o.from; });
  return (after - 1)->topFirst;
}

VideoPictures::VideoPictures(const FrameScores& s, std::vector<OrderSpan> orders, int limit)
    : fields_(2 * s.frames), orders_(std::move(orders)) {
  if (orders_.empty()) orders_.push_back({0, true});
  std::size_t span = 0;
  for (std::size_t k = 0; k < s.own.size(); ++k) {
    score_.push_back(s.own[k]);
    if (k >= s.crossTop.size()) continue;
    while (span + 1 < orders_.size() && orders_[span + 1].from <= static_cast<std::int64_t>(k)) ++span;
    const bool changes = span + 1 < orders_.size() && orders_[span + 1].from == static_cast<std::int64_t>(k) + 1;
    score_.push_back(changes                  ? std::max(s.crossTop[k], s.crossBottom[k])
                     : orders_[span].topFirst ? s.crossTop[k]
                                              : s.crossBottom[k]);
  }
  const std::size_t pairs = score_.size();
  limit_.resize(pairs);
  kind_.resize(pairs);
  // The scores of the window around each pair, kept sorted as it slides.
  std::vector<std::uint16_t> window;
  std::size_t in = 0, out = 0;
  for (std::size_t p = 0; p < pairs; ++p) {
    for (; in < pairs && in <= p + kReach; ++in)
      window.insert(std::upper_bound(window.begin(), window.end(), score_[in]), score_[in]);
    for (; out + kReach < p; ++out) window.erase(std::lower_bound(window.begin(), window.end(), score_[out]));
    const auto at = [&](double share) {
      return static_cast<int>(window[static_cast<std::size_t>(share * static_cast<double>(window.size() - 1))]);
    };
    // Drawings held over several film frames comb on fewer pairs: one in
    // five on twos, fewer on threes. Where the usual level shows no film,
    // the level of the few is read, if they comb clearly more than the
    // clean pairs (at the edge of video, film's few combed pairs comb only
    // a little more than video's every one).
    const int clean = at(kCleanAt), usual = at(kCombedAt), few = at(kHeldCombedAt);
    const bool held = usual - clean < filmGap(clean) && clearlyCleaner(clean, few);
    const int combed = held ? few : usual;
    if (combed < kStillBelow)
      kind_[p] = Stretch::Still;
    else if (combed - clean < filmGap(clean))
      kind_[p] = Stretch::Interlaced;
    else
      kind_[p] = Stretch::Film;
    limit_[p] = static_cast<std::uint16_t>(limit >= 0 ? limit : clean + static_cast<int>(kLimitAt * (combed - clean)));
  }

  // A stretch of video is told from the window around each pair, which at
  // its edges still holds enough film to look like film. Its edges are
  // where the film's last clean pairing is: video combs on every pairing,
  // film on at most two in a row.
  for (std::size_t p = 0; p < pairs; ++p) {
    if (kind_[p] != Stretch::Interlaced) continue;
    std::size_t to = p;
    while (to < pairs && kind_[to] == Stretch::Interlaced) ++to;
    std::size_t from = p;
    while (from > 0 && kind_[from - 1] == Stretch::Film && score_[from - 1] > limit_[from - 1]) --from;
    // The pair across the edge weaves film's last field with the video's
    // first: it stays film's.
    for (std::size_t q = from + 1; q < p; ++q) kind_[q] = Stretch::Interlaced;
    std::size_t end = to;
    while (end < pairs && kind_[end] == Stretch::Film && score_[end] > limit_[end]) ++end;
    for (std::size_t q = to; q + 1 < end; ++q) kind_[q] = Stretch::Interlaced;
    p = std::max(to, end);
  }

  // Above the limit is combed where it stands out: one of its fields' other
  // pairings clearly cleaner, as a field's pairing with its own picture's
  // other field is, and no more than two such pairs in a row (a field of
  // its own between two pictures). A burst of noise over several pairs, as
  // where a compressed stream starts a new group of pictures, proves
  // nothing. Above the limit but clearly cleaner than both pairings beside
  // it is clean: the field's own picture in a noisier stretch.
  verdict_.assign(pairs, Verdict::Unclear);
  const auto cleanerThan = [](int a, int b) { return 2 * b >= 3 * a + 2 * kCleanerBy; };
  // The cleaner of the pairs beside p, or none.
  constexpr int kNone = std::numeric_limits<int>::max();
  const auto cleanerBeside = [&](std::size_t p) {
    int low = p > 0 ? score_[p - 1] : kNone;
    if (p + 1 < pairs) low = std::min<int>(low, score_[p + 1]);
    return low;
  };
  std::vector<bool> high(pairs, false);
  for (std::size_t p = 0; p < pairs; ++p)
    high[p] = kind_[p] == Stretch::Film && score_[p] > limit_[p] &&
              !(cleanerBeside(p) != kNone && cleanerThan(score_[p], cleanerBeside(p)));
  // A run of pairs that all comb, too short for its window to show it,
  // is video whose every field is its own moment too.
  for (std::size_t p = 0; p < pairs;) {
    std::size_t to = p;
    while (to < pairs && high[to]) ++to;
    if (to - p >= kVideoRun)
      for (std::size_t q = p; q < to; ++q) {
        kind_[q] = Stretch::Interlaced;
        high[q] = false;
      }
    p = std::max(to, p + 1);
  }
  for (std::size_t p = 0; p < pairs; ++p) {
    if (kind_[p] != Stretch::Film) continue;
    if (!high[p]) {
      verdict_[p] = Verdict::Clean;
      continue;
    }
    std::size_t from = p, to = p + 1;
    while (from > 0 && high[from - 1]) --from;
    while (to < pairs && high[to]) ++to;
    const int other = cleanerBeside(p);
    const bool standsOut = other == kNone || cleanerThan(other, score_[p]);
    if (standsOut && to - from <= 2) {
      verdict_[p] = Verdict::Combed;
    } else if ((from > 0 && kind_[from - 1] == Stretch::Interlaced) ||
               (to < pairs && kind_[to] == Stretch::Interlaced)) {
      // The edge of a stretch whose every field is its own moment: its
      // pairs comb alike, but none of its fields is a film picture's.
      verdict_[p] = Verdict::Apart;
    }
  }

  // Fields joined by clean pairs of film are one picture.
  const std::size_t known = pairs + (pairs > 0 ? 1 : 0);
  pictureOf_.assign(known, -1);
  for (std::size_t f = 0; f < known; ++f) {
    const bool filmBefore = f > 0 && kind_[f - 1] == Stretch::Film;
    const bool filmAfter = f < pairs && kind_[f] == Stretch::Film;
    if (!filmBefore && !filmAfter) continue;
    if (filmBefore && clean(static_cast<std::int64_t>(f) - 1) && pictureOf_[f - 1] >= 0) {
      pictureOf_[f] = pictureOf_[f - 1];
      pictures_.back().last = static_cast<std::int64_t>(f);
      continue;
    }
    pictureOf_[f] = static_cast<std::int32_t>(pictures_.size());
    pictures_.push_back({static_cast<std::int64_t>(f), static_cast<std::int64_t>(f), false});
  }
  // Counted: two or three fields, set apart by combed pairs on both sides
  // (or the video's own ends).
  const auto apart = [&](std::int64_t pair) {
    if (pair < 0 || pair + 1 >= fields_) return true;
    if (pair >= static_cast<std::int64_t>(pairs)) return false;
    const auto p = static_cast<std::size_t>(pair);
    return verdict_[p] == Verdict::Combed || verdict_[p] == Verdict::Apart || kind_[p] == Stretch::Interlaced;
  };
  endedBefore_.assign(known + 1, 0);
  for (Picture& p : pictures_) {
    p.counted = p.fields() >= 2 && p.fields() <= 3 && apart(p.first - 1) && apart(p.last) &&
                (p.last + 1 < static_cast<std::int64_t>(known) || p.last + 1 == fields_);
    endedBefore_[static_cast<std::size_t>(p.last + 1)] += p.counted;
    if (p.fields() == 1 && p.first > 0 && p.first + 1 < fields_ &&
        verdict_[static_cast<std::size_t>(p.first - 1)] == Verdict::Combed &&
        static_cast<std::size_t>(p.first) < pairs && verdict_[static_cast<std::size_t>(p.first)] == Verdict::Combed)
      orphans_.push_back(p.first);
  }
  for (std::size_t f = 1; f <= known; ++f) endedBefore_[f] += endedBefore_[f - 1];
}

std::int64_t VideoPictures::clampPair(std::int64_t pair) const {
  return std::clamp<std::int64_t>(pair, 0, static_cast<std::int64_t>(score_.size()) - 1);
}

bool VideoPictures::combed(std::int64_t pair) const {
  return pair >= 0 && pair < static_cast<std::int64_t>(verdict_.size()) &&
         verdict_[static_cast<std::size_t>(pair)] == Verdict::Combed;
}

bool VideoPictures::clean(std::int64_t pair) const {
  return pair >= 0 && pair < static_cast<std::int64_t>(verdict_.size()) &&
         verdict_[static_cast<std::size_t>(pair)] == Verdict::Clean;
}

std::int64_t VideoPictures::shows(std::int64_t pair) const {
  if (pair == fields_ - 1) --pair;
  if (pair < 0 || pair >= static_cast<std::int64_t>(score_.size())) return -1;
  return clean(pair) ? pictureOf(pair) : -1;
}

std::int64_t VideoPictures::countedWithin(std::int64_t from, std::int64_t to) const {
  from = std::max<std::int64_t>(from, 0);
  to = std::min<std::int64_t>(to, known() - 1);
  if (to < from) return 0;
  // Those that end from `from` to `to`, but for one that starts before `from`.
  std::int64_t n = endedBefore_[static_cast<std::size_t>(to + 1)] - endedBefore_[static_cast<std::size_t>(from)];
  const std::int64_t k = pictureOf(from);
  if (k >= 0) {
    const Picture& p = pictures_[static_cast<std::size_t>(k)];
    n -= p.counted && p.first < from && p.last <= to;
  }
  return n;
}

std::int64_t VideoPictures::bestPair(std::int64_t k) const {
  const Picture& p = pictures_[static_cast<std::size_t>(k)];
  std::int64_t best = p.first;
  for (std::int64_t pair = p.first + 1; pair < p.last; ++pair)
    if (score(pair) < score(best)) best = pair;
  return best;
}

std::vector<StretchSpan> VideoPictures::stretches(Stretch kind) const {
  std::vector<StretchSpan> spans;
  for (std::size_t p = 0; p < kind_.size(); ++p) {
    if (kind_[p] != kind) continue;
    const auto field = static_cast<std::int64_t>(p);
    if (!spans.empty() && spans.back().to >= field)
      spans.back().to = field + 1;
    else
      spans.push_back({field, field + 1, kind});
  }
  return spans;
}

}  // namespace pulldex
