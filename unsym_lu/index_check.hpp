// Range tests on the index words that the MA48 solve follows, four words
// a step in vector registers where the target has them.  A word v lies in
// lo..hi exactly when v - lo, as an unsigned number, is at most hi - lo;
// the vector form compares as signed after flipping the sign bit of both
// sides, since SSE2 has only a signed compare.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "interface/common.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tbl::unsym {

// The test of one group: an index LO..HI as the vector operands need it.
struct Range {
  std::uint32_t lo, span;  // span = hi - lo
  Range(fint lo_, fint hi_)
      : lo(static_cast<std::uint32_t>(lo_)), span(static_cast<std::uint32_t>(hi_) - static_cast<std::uint32_t>(lo_)) {}
  bool outside(fint v) const { return static_cast<std::uint32_t>(v) - lo > span; }
#if defined(__SSE2__)
  __m128i shift() const { return _mm_set1_epi32(static_cast<int>(0x80000000u - lo)); }
  __m128i limit() const { return _mm_set1_epi32(static_cast<int>(span + 0x80000000u)); }
#endif
};

#if defined(__SSE2__)
// All ones in the lanes of V outside the range given by SHIFT and LIMIT.
inline __m128i lanes_outside(__m128i v, __m128i shift, __m128i limit) {
  return _mm_cmpgt_epi32(_mm_add_epi32(v, shift), limit);
}
inline __m128i load4(const fint* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

// Whether every one of V(0:N-1) lies in LO..HI.
inline bool all_inside(const fint* v, std::ptrdiff_t n, fint lo, fint hi) {
  const Range range(lo, hi);
  std::ptrdiff_t i = 0;
  bool inside = true;
#if defined(__SSE2__)
  if (n >= 8) {
    const __m128i shift = range.shift(), limit = range.limit();
    __m128i bad = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
      bad = _mm_or_si128(bad, lanes_outside(load4(v + i), shift, limit));
      bad = _mm_or_si128(bad, lanes_outside(load4(v + i + 4), shift, limit));
    }
    if (i + 4 <= n) {
      bad = _mm_or_si128(bad, lanes_outside(load4(v + i), shift, limit));
      i += 4;
    }
    inside = _mm_movemask_epi8(bad) == 0;
  }
#endif
  std::uint32_t worst = 0;  // the largest offset from LO met, as unsigned
  for (; i < n; ++i) worst = std::max(worst, static_cast<std::uint32_t>(v[i]) - range.lo);
  return inside && worst <= range.span;
}

}  // namespace tbl::unsym
