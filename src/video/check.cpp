#include "video/check.h"

#include <algorithm>
#include <cstdlib>

#include "video/combing.h"

namespace pulldex {

namespace {

// Every threshold is at least this: a frame scoring no more is clean.
constexpr int kLowest = 2;

}  // namespace

int thresholdFromScores(const std::vector<std::int64_t>& cleanHistogram) {
  std::int64_t n = 0;
  for (const std::int64_t c : cleanHistogram) n += c;
  std::int64_t seen = 0;
  std::size_t value = 0;
  for (; value < cleanHistogram.size(); ++value) {
    seen += cleanHistogram[value];
    if (10 * seen >= 9 * n) break;
  }
  return static_cast<int>(std::min<std::size_t>((3 * value + 1) / 2 + kLowest, kCombScoreMax));
}

ListCheck::ListCheck(const FrameList& list, const CheckSettings& settings)
    : list_(list),
      settings_(settings),
      clean_(kCombScoreMax + 1, 0),
      byOffset_(static_cast<std::size_t>(2 * settings.search + 1), std::vector<std::int64_t>(kCombScoreMax + 1, 0)) {}

int ListCheck::scoreAt(std::int64_t field) const {
  if (field < 0 || field >= pairs_ || field < pairs_ - 8) return -1;
  return recent_[field % 8];
}

void ListCheck::add(int score) {
  const std::int64_t f = pairs_++;
  recent_[f % 8] = static_cast<std::int16_t>(score);
  if (f > 0) ++clean_[static_cast<std::size_t>(std::min<int>(score, recent_[(f - 1) % 8]))];
  // Entry f - offset is the video's field f at each shift.
  for (int o = -settings_.search; o <= settings_.search; ++o) {
    const std::int64_t i = f - o;
    if (i >= 0 && i < list_.count() && list_.isKept(i))
      ++byOffset_[static_cast<std::size_t>(o + settings_.search)][static_cast<std::size_t>(score)];
  }
  // An entry as given is weighed once the fields two after it are known.
  if (f >= 2) consider(f - 2);
}

void ListCheck::consider(std::int64_t entry) {
  considered_ = entry + 1;
  if (entry >= list_.count() || !list_.isKept(entry)) return;
  const int score = scoreAt(entry);
  if (score <= std::min(kLowest, settings_.threshold < 0 ? kLowest : settings_.threshold)) return;
  Candidate c{static_cast<std::int32_t>(entry), static_cast<std::uint16_t>(score), {}};
  const int steps[4] = {-2, -1, 1, 2};
  for (int k = 0; k < 4; ++k) c.around[k] = static_cast<std::int16_t>(scoreAt(entry + steps[k]));
  candidates_.push_back(c);
}

CheckResult ListCheck::finish() {
  for (std::int64_t i = considered_; i < pairs_; ++i) consider(i);
  CheckResult r;
  r.entries = list_.count();
  r.thresholdFromVideo = settings_.threshold < 0;
  r.threshold = r.thresholdFromVideo ? thresholdFromScores(clean_) : settings_.threshold;
  for (int o = -settings_.search; o <= settings_.search; ++o) {
    OffsetFit fit{o, 0, 0};
    const auto& h = byOffset_[static_cast<std::size_t>(o + settings_.search)];
    for (std::size_t k = 0; k < h.size(); ++k) {
      fit.checked += h[k];
      if (static_cast<int>(k) <= r.threshold) fit.clean += h[k];
    }
    r.offsets.push_back(fit);
  }
  const OffsetFit& given = r.at(0);
  r.kept = given.checked;
  r.clean = given.clean;
  for (std::int64_t i = std::max<std::int64_t>(pairs_, 0); i < list_.count(); ++i) r.unchecked += list_.isKept(i);

  // The combed entries as given, each with the neighbour that would weave a
  // clean frame instead: the nearest, then the cleaner. A neighbour next to
  // another kept entry would weave that one's picture again, so it is none.
  const int steps[4] = {1, -1, 2, -2};
  const int slot[4] = {2, 1, 3, 0};  // where each is in `around`
  const auto keptOther = [&](std::int64_t at, std::int64_t self) {
    return at != self && at >= 0 && at < list_.count() && list_.isKept(at);
  };
  for (const Candidate& c : candidates_) {
    if (c.score <= r.threshold) continue;
    CombedEntry e{c.entry, c.score, -1, 0};
    for (int k = 0; k < 4; ++k) {
      const int s = c.around[slot[k]];
      const std::int64_t other = c.entry + steps[k];
      if (s < 0 || s > r.threshold || other < 0 || other >= list_.count() || list_.isKept(other) ||
          keptOther(other - 1, c.entry) || keptOther(other + 1, c.entry))
        continue;
      if (e.suggestion < 0 || (std::abs(steps[k]) == std::abs(e.suggestion - c.entry) && s < e.suggestionScore)) {
        e.suggestion = other;
        e.suggestionScore = s;
      }
    }
    r.combed.push_back(e);
  }

  // The shift that fits best; of those that fit about equally, the one
  // nearest 0 (an even shift of film or video often fits as well).
  double top = 0;
  for (const OffsetFit& f : r.offsets)
    if (f.checked > 0) top = std::max(top, f.share());
  std::vector<int> fits;
  for (const OffsetFit& f : r.offsets)
    if (f.checked > 0 && f.share() >= top - kEqualFit) fits.push_back(f.offset);
  std::stable_sort(fits.begin(), fits.end(), [&](int a, int b) {
    if (std::abs(a) != std::abs(b)) return std::abs(a) < std::abs(b);
    return r.at(a).share() > r.at(b).share() || (r.at(a).share() == r.at(b).share() && a < b);
  });
  r.best = fits.empty() ? 0 : fits.front();
  r.alsoFits.assign(fits.begin() + (fits.empty() ? 0 : 1), fits.end());
  r.clearlyBetter = r.best != 0 && r.at(r.best).share() > given.share() + kEqualFit;
  return r;
}

DecodeProblem checkVideo(const FrameList& list, const std::string& ffmpeg, const std::string& video,
                         const CheckSettings& settings, CheckResult& result,
                         const std::function<void(std::int64_t fields)>& progress) {
  FfmpegFrames frames;
  if (DecodeProblem p = frames.start(ffmpeg, video); !p.ok()) return p;
  const Y4mHeader& h = frames.header();
  const std::size_t bytes = frames.frameBytes();
  // Three frames in turn: the one before, the one measured, the one after.
  std::vector<std::uint8_t> buffers[3] = {std::vector<std::uint8_t>(bytes), std::vector<std::uint8_t>(bytes),
                                          std::vector<std::uint8_t>(bytes)};
  CombMeter meter(h.width, h.height);
  ListCheck check(list, settings);
  std::int64_t count = 0;
  // Frame k's own fields (pair 2k) move against frames k - 1 and k + 1; the
  // pair of its second field and the next frame's first (2k + 1) weaves two.
  const auto frame = [&](std::int64_t k) { return buffers[k % 3].data(); };
  const auto own = [&](std::int64_t k, bool last) {
    const std::uint8_t* f = frame(k);
    check.add(meter.score(f, f, k > 0 ? frame(k - 1) : f, last ? f : frame(k + 1)));
  };
  for (; frames.next(frame(count)); ++count) {
    if (count == 0) continue;
    own(count - 1, false);
    // Top field first: the pair's top (even) lines are the next frame's.
    const std::uint8_t *first = frame(count - 1), *second = frame(count);
    const std::uint8_t* even = settings.topFieldFirst ? second : first;
    const std::uint8_t* odd = settings.topFieldFirst ? first : second;
    check.add(meter.score(even, odd, odd, odd));
    if (progress && count % 64 == 0) progress(2 * count);
  }
  if (DecodeProblem p = frames.finish(); !p.ok()) return p;
  if (count == 0) return {Error::EmptyVideo, 0, {}};
  own(count - 1, true);
  if (progress) progress(2 * count);
  result = check.finish();
  result.videoFrames = count;
  result.width = h.width;
  result.height = h.height;
  result.rate = h.rate;
  return {};
}

}  // namespace pulldex
