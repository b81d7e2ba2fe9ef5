#include "video/combing.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PULLDEX_COMB_SSE2 1
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define PULLDEX_COMB_AVX2 1
#endif

namespace pulldex {

namespace {

constexpr int t = kCombPixelThreshold, t6 = 6 * kCombPixelThreshold, tm = kCombMotionThreshold;

// The flags of pixels [from, to) of one line, one at a time: bit 0 where
// the line combs, bit 1 where the picture moves.
void flagLine(std::uint8_t* f, const std::uint8_t* up2, const std::uint8_t* up, const std::uint8_t* at,
              const std::uint8_t* down, const std::uint8_t* down2, const std::uint8_t* p, const std::uint8_t* q,
              const std::uint8_t* r, std::size_t from, std::size_t to) {
  for (std::size_t x = from; x < to; ++x) {
    const int b = at[x], d1 = b - up[x], d2 = b - down[x];
    const int sameWay = (d1 > t && d2 > t) | (d1 < -t && d2 < -t);
    const int fieldsDiffer = std::abs(up2[x] + 4 * b + down2[x] - 3 * (up[x] + down[x])) > t6;
    const int moves = (std::abs(p[x] - q[x]) > tm) | (std::abs(p[x] - r[x]) > tm);
    f[x] = static_cast<std::uint8_t>((sameWay & fieldsDiffer) | moves << 1);
  }
}

#ifdef PULLDEX_COMB_SSE2
// Eight pixels widened to 16 bits: the comb test's two parts, as masks.
inline __m128i combHalf(__m128i up2, __m128i up, __m128i at, __m128i down, __m128i down2) {
  const __m128i d1 = _mm_sub_epi16(at, up), d2 = _mm_sub_epi16(at, down);
  const __m128i tp = _mm_set1_epi16(t), tn = _mm_set1_epi16(-t);
  const __m128i sameWay = _mm_or_si128(_mm_and_si128(_mm_cmpgt_epi16(d1, tp), _mm_cmpgt_epi16(d2, tp)),
                                       _mm_and_si128(_mm_cmplt_epi16(d1, tn), _mm_cmplt_epi16(d2, tn)));
  const __m128i around = _mm_add_epi16(up, down);
  const __m128i v = _mm_sub_epi16(_mm_add_epi16(_mm_add_epi16(up2, down2), _mm_slli_epi16(at, 2)),
                                  _mm_add_epi16(around, _mm_add_epi16(around, around)));
  const __m128i magnitude = _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
  return _mm_and_si128(sameWay, _mm_cmpgt_epi16(magnitude, _mm_set1_epi16(t6)));
}

// Whether two bytes differ by more than the motion threshold, as a mask.
inline __m128i differ(__m128i a, __m128i b) {
  const __m128i d = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
  const __m128i limit = _mm_set1_epi8(static_cast<char>(tm));
  return _mm_andnot_si128(_mm_cmpeq_epi8(_mm_min_epu8(d, limit), d), _mm_set1_epi8(-1));
}

// Sixteen pixels a step from `x`; the rest one at a time.
void flagLineSse2(std::uint8_t* f, const std::uint8_t* up2, const std::uint8_t* up, const std::uint8_t* at,
                  const std::uint8_t* down, const std::uint8_t* down2, const std::uint8_t* p, const std::uint8_t* q,
                  const std::uint8_t* r, std::size_t w, std::size_t x = 0) {
  const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1), two = _mm_set1_epi8(2);
  const auto load = [](const std::uint8_t* a, std::size_t x) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
  };
  for (; x + 16 <= w; x += 16) {
    const __m128i vu2 = load(up2, x), vu = load(up, x), va = load(at, x), vd = load(down, x), vd2 = load(down2, x);
    const __m128i low = combHalf(_mm_unpacklo_epi8(vu2, zero), _mm_unpacklo_epi8(vu, zero), _mm_unpacklo_epi8(va, zero),
                                 _mm_unpacklo_epi8(vd, zero), _mm_unpacklo_epi8(vd2, zero));
    const __m128i high =
        combHalf(_mm_unpackhi_epi8(vu2, zero), _mm_unpackhi_epi8(vu, zero), _mm_unpackhi_epi8(va, zero),
                 _mm_unpackhi_epi8(vd, zero), _mm_unpackhi_epi8(vd2, zero));
    const __m128i comb = _mm_packs_epi16(low, high);
    const __m128i vp = load(p, x);
    const __m128i moves =
        q == r ? differ(vp, load(q, x)) : _mm_or_si128(differ(vp, load(q, x)), differ(vp, load(r, x)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(f + x),
                     _mm_or_si128(_mm_and_si128(comb, one), _mm_and_si128(moves, two)));
  }
  flagLine(f, up2, up, at, down, down2, p, q, r, x, w);
}
#endif

#ifdef PULLDEX_COMB_AVX2
// The same as combHalf, sixteen pixels at a time.
__attribute__((target("avx2"))) inline __m256i combHalf256(__m256i up2, __m256i up, __m256i at, __m256i down,
                                                           __m256i down2) {
  const __m256i d1 = _mm256_sub_epi16(at, up), d2 = _mm256_sub_epi16(at, down);
  const __m256i tp = _mm256_set1_epi16(t), tn = _mm256_set1_epi16(-t);
  const __m256i sameWay = _mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi16(d1, tp), _mm256_cmpgt_epi16(d2, tp)),
                                          _mm256_and_si256(_mm256_cmpgt_epi16(tn, d1), _mm256_cmpgt_epi16(tn, d2)));
  const __m256i around = _mm256_add_epi16(up, down);
  const __m256i v = _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(up2, down2), _mm256_slli_epi16(at, 2)),
                                     _mm256_add_epi16(around, _mm256_add_epi16(around, around)));
  return _mm256_and_si256(sameWay, _mm256_cmpgt_epi16(_mm256_abs_epi16(v), _mm256_set1_epi16(t6)));
}

__attribute__((target("avx2"))) inline __m256i differ256(__m256i a, __m256i b) {
  const __m256i d = _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(tm));
  return _mm256_andnot_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(d, limit), d), _mm256_set1_epi8(-1));
}

// Thirty-two pixels a step; the rest as the SSE2 version does them.
__attribute__((target("avx2"))) void flagLineAvx2(std::uint8_t* f, const std::uint8_t* up2, const std::uint8_t* up,
                                                  const std::uint8_t* at, const std::uint8_t* down,
                                                  const std::uint8_t* down2, const std::uint8_t* p,
                                                  const std::uint8_t* q, const std::uint8_t* r, std::size_t w) {
#define PULLDEX_LOAD(a) _mm256_loadu_si256(reinterpret_cast<const __m256i*>((a) + x))
  // Widening works within 128-bit lanes: the low and high halves of each
  // lane, which the pack puts back in the same order.
#define PULLDEX_LOW(v) _mm256_unpacklo_epi8(v, _mm256_setzero_si256())
#define PULLDEX_HIGH(v) _mm256_unpackhi_epi8(v, _mm256_setzero_si256())
  std::size_t x = 0;
  for (; x + 32 <= w; x += 32) {
    const __m256i vu2 = PULLDEX_LOAD(up2), vu = PULLDEX_LOAD(up), va = PULLDEX_LOAD(at), vd = PULLDEX_LOAD(down),
                  vd2 = PULLDEX_LOAD(down2);
    const __m256i low =
        combHalf256(PULLDEX_LOW(vu2), PULLDEX_LOW(vu), PULLDEX_LOW(va), PULLDEX_LOW(vd), PULLDEX_LOW(vd2));
    const __m256i high =
        combHalf256(PULLDEX_HIGH(vu2), PULLDEX_HIGH(vu), PULLDEX_HIGH(va), PULLDEX_HIGH(vd), PULLDEX_HIGH(vd2));
    const __m256i comb = _mm256_packs_epi16(low, high);
    const __m256i vp = PULLDEX_LOAD(p);
    const __m256i moves = q == r ? differ256(vp, PULLDEX_LOAD(q))
                                 : _mm256_or_si256(differ256(vp, PULLDEX_LOAD(q)), differ256(vp, PULLDEX_LOAD(r)));
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(f + x),
        _mm256_or_si256(_mm256_and_si256(comb, _mm256_set1_epi8(1)), _mm256_and_si256(moves, _mm256_set1_epi8(2))));
  }
#undef PULLDEX_LOAD
#undef PULLDEX_LOW
#undef PULLDEX_HIGH
  flagLineSse2(f, up2, up, at, down, down2, p, q, r, w, x);
}

bool haveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#endif

}  // namespace

CombMeter::CombMeter(int width, int height)
    : width_(width),
      height_(height),
      flags_(static_cast<std::size_t>(width) * 5, 0),
      cells_(static_cast<std::size_t>(width + 7) / 8, 0),
      above_(cells_.size(), 0) {}

CombScore CombMeter::score(const std::uint8_t* even, const std::uint8_t* odd, const std::uint8_t* before,
                           const std::uint8_t* after) {
  CombScore worst;
  if (height_ < 9 || width_ < 1) return worst;
  const auto w = static_cast<std::size_t>(width_);
  const auto row = [&](int y) { return (y % 2 == 0 ? even : odd) + static_cast<std::size_t>(y) * w; };
  const auto flagsOf = [&](int y) { return flags_.data() + static_cast<std::size_t>(y % 5) * w; };
  const auto measure = [&](int y) {
    const std::size_t line = static_cast<std::size_t>(y) * w;
#ifdef PULLDEX_COMB_AVX2
    if (haveAvx2()) {
      flagLineAvx2(flagsOf(y), row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), even + line, before + line,
                   after + line, w);
      return;
    }
#endif
#ifdef PULLDEX_COMB_SSE2
    flagLineSse2(flagsOf(y), row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), even + line, before + line,
                 after + line, w);
#else
    flagLine(flagsOf(y), row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), even + line, before + line,
             after + line, 0, w);
#endif
  };
  // The windows of two bands of 8 lines and two cells of 8 columns, the
  // band before and this one.
  const std::size_t cells = cells_.size();
  const auto windows = [&](int band) {
    for (std::size_t c = 0; c < cells; ++c) {
      const std::size_t next = c + 1 < cells ? c + 1 : c;
      const int n = above_[c] + cells_[c] + (next != c ? above_[next] + cells_[next] : 0);
      if (n > worst.worst) worst = {n, static_cast<int>(8 * c), 8 * std::max(band - 1, 0)};
      if (next == c) break;
    }
    above_.swap(cells_);
    std::fill(cells_.begin(), cells_.end(), 0);
  };
  std::fill(cells_.begin(), cells_.end(), 0);
  std::fill(above_.begin(), above_.end(), 0);
  // Lines 2 to height - 3 are measured (each needs two lines above and
  // below); lines 4 to height - 5 counted (each needs the motion of the
  // lines two above and below).
  for (int y = 2; y < 6; ++y) measure(y);
  for (int y = 4; y + 4 < height_; ++y) {
    measure(y + 2);
    const std::uint8_t *up2 = flagsOf(y - 2), *up = flagsOf(y - 1), *at = flagsOf(y), *down = flagsOf(y + 1),
                       *down2 = flagsOf(y + 2);
    std::size_t x = 0;
#ifdef PULLDEX_COMB_SSE2
    for (; x + 16 <= w; x += 16) {
      const auto load = [&](const std::uint8_t* a) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x)); };
      const __m128i a = load(up2), b = load(up), c = load(at), d = load(down), e = load(down2);
      // Bit 1: a line moves where it moves itself or both lines beside it
      // do (a repeated field keeps its own lines still).
      const auto moves = [](__m128i above, __m128i self, __m128i below) {
        return _mm_or_si128(self, _mm_and_si128(above, below));
      };
      const __m128i all = _mm_and_si128(_mm_and_si128(b, c), d);
      const __m128i moving = _mm_and_si128(_mm_and_si128(moves(a, b, c), moves(b, c, d)), moves(c, d, e));
      const __m128i combed = _mm_and_si128(_mm_and_si128(all, _mm_srli_epi16(moving, 1)), _mm_set1_epi8(1));
      // Each half of the sum is one cell of 8 columns.
      const __m128i sums = _mm_sad_epu8(combed, _mm_setzero_si128());
      cells_[x / 8] += _mm_cvtsi128_si32(sums);
      cells_[x / 8 + 1] += _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    }
#endif
    for (; x < w; ++x) {
      const auto moves = [](int above, int self, int below) { return self | (above & below); };
      const int moving = moves(up2[x], up[x], at[x]) & moves(up[x], at[x], down[x]) & moves(at[x], down[x], down2[x]);
      cells_[x / 8] += up[x] & at[x] & down[x] & moving >> 1 & 1;
    }
    if (y % 8 == 7 || y + 5 == height_) windows(y / 8);
  }
  return worst;
}

}  // namespace pulldex
