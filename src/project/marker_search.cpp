#include "project/marker_search.h"

#include <cstring>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PULLDEX_X86 1
#include <immintrin.h>
#endif

namespace pulldex {

namespace {

// Project files are full of names that start like the marker ("Video.…"),
// so the vector versions take as candidates only the start positions whose
// first and last bytes both match, many positions at a time, and compare the
// bytes between only for those. A window full of near misses such as
// "Video.DeinterlaceEx.Lis" then costs no more than noise.

std::int32_t findScalar(const std::uint8_t* marker, std::size_t length, const std::uint8_t* start,
                        std::int32_t available, std::size_t from) {
  if (available < 0 || static_cast<std::size_t>(available) < length) return -1;
  const auto positions = static_cast<std::size_t>(available) - length + 1;
  for (std::size_t p = from; p < positions; ++p) {
    const auto* hit = static_cast<const std::uint8_t*>(std::memchr(start + p, marker[0], positions - p));
    if (hit == nullptr) return -1;
    p = static_cast<std::size_t>(hit - start);
    if (std::memcmp(hit + 1, marker + 1, length - 1) == 0) return static_cast<std::int32_t>(p);
  }
  return -1;
}

std::int32_t searchPlain(const std::uint8_t* marker, std::size_t length, const std::uint8_t* start,
                         std::int32_t available) {
  return findScalar(marker, length, start, available, 0);
}

#ifdef PULLDEX_X86

// The candidates among the 32 start positions at `at` whose first and last
// bytes match; checks them and returns the first real occurrence, or -1.
inline std::int32_t checkCandidates(std::uint64_t mask, std::size_t at, const std::uint8_t* marker, std::size_t length,
                                    const std::uint8_t* start) {
  while (mask != 0) {
    const std::size_t q = at + static_cast<std::size_t>(__builtin_ctzll(mask));
    if (std::memcmp(start + q + 1, marker + 1, length - 2) == 0) return static_cast<std::int32_t>(q);
    mask &= mask - 1;
  }
  return -1;
}

__attribute__((target("sse2"))) std::int32_t searchSse2(const std::uint8_t* marker, std::size_t length,
                                                        const std::uint8_t* start, std::int32_t available) {
  if (length < 2 || available < 0 || static_cast<std::size_t>(available) < length)
    return findScalar(marker, length, start, available, 0);
  const auto positions = static_cast<std::size_t>(available) - length + 1;
  const __m128i first = _mm_set1_epi8(static_cast<char>(marker[0]));
  const __m128i last = _mm_set1_epi8(static_cast<char>(marker[length - 1]));
  std::size_t p = 0;
  for (; p + 16 <= positions; p += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + p + length - 1));
    const auto mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    if (mask == 0) continue;
    if (const std::int32_t r = checkCandidates(mask, p, marker, length, start); r >= 0) return r;
  }
  return findScalar(marker, length, start, available, p);
}

// Start positions among the 32 at `at` whose first and last bytes match.
__attribute__((target("avx2"))) inline __m256i candidates32(const std::uint8_t* at, std::size_t length, __m256i first,
                                                            __m256i last) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + length - 1));
  return _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last));
}

// 64 start positions per step: two 32-byte halves, tested together.
__attribute__((target("avx2"))) std::int32_t searchAvx2(const std::uint8_t* marker, std::size_t length,
                                                        const std::uint8_t* start, std::int32_t available) {
  if (length < 2 || available < 0 || static_cast<std::size_t>(available) < length)
    return findScalar(marker, length, start, available, 0);
  const auto positions = static_cast<std::size_t>(available) - length + 1;
  const __m256i first = _mm256_set1_epi8(static_cast<char>(marker[0]));
  const __m256i last = _mm256_set1_epi8(static_cast<char>(marker[length - 1]));
  std::size_t p = 0;
  for (; p + 64 <= positions; p += 64) {
    const __m256i low = candidates32(start + p, length, first, last);
    const __m256i high = candidates32(start + p + 32, length, first, last);
    const __m256i any = _mm256_or_si256(low, high);
    if (_mm256_testz_si256(any, any)) continue;
    const std::uint64_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
                               std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
    if (const std::int32_t r = checkCandidates(mask, p, marker, length, start); r >= 0) return r;
  }
  for (; p + 32 <= positions; p += 32) {
    const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(candidates32(start + p, length, first, last)));
    if (mask == 0) continue;
    if (const std::int32_t r = checkCandidates(mask, p, marker, length, start); r >= 0) return r;
  }
  return findScalar(marker, length, start, available, p);
}

#endif

std::vector<MarkerSearch> available() {
  std::vector<MarkerSearch> all;
#ifdef PULLDEX_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) all.push_back({"avx2", searchAvx2});
  if (__builtin_cpu_supports("sse2")) all.push_back({"sse2", searchSse2});
#endif
  all.push_back({"plain", searchPlain});
  return all;
}

}  // namespace

std::span<const MarkerSearch> markerSearches() {
  static const std::vector<MarkerSearch> all = available();
  return all;
}

}  // namespace pulldex
