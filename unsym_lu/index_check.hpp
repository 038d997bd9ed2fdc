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
    // Sixteen words a step (the loop control is then a small part of the
    // work), into two masks so that the ORs do not wait on each other.
    const __m128i shift = range.shift(), limit = range.limit();
    __m128i bad = _mm_setzero_si128(), bad2 = bad;
    for (; i + 16 <= n; i += 16) {
      bad = _mm_or_si128(bad, lanes_outside(load4(v + i), shift, limit));
      bad2 = _mm_or_si128(bad2, lanes_outside(load4(v + i + 4), shift, limit));
      bad = _mm_or_si128(bad, lanes_outside(load4(v + i + 8), shift, limit));
      bad2 = _mm_or_si128(bad2, lanes_outside(load4(v + i + 12), shift, limit));
    }
    for (; i + 4 <= n; i += 4) bad = _mm_or_si128(bad, lanes_outside(load4(v + i), shift, limit));
    inside = _mm_movemask_epi8(_mm_or_si128(bad, bad2)) == 0;
  }
#endif
  std::uint32_t worst = 0;  // the largest offset from LO met, as unsigned
  for (; i < n; ++i) worst = std::max(worst, static_cast<std::uint32_t>(v[i]) - range.lo);
  return inside && worst <= range.span;
}

// Whether every one of A(0:N-1) and B(0:N-1) lies in LO..HI (one pass over
// both).
inline bool both_inside(const fint* a, const fint* b, std::ptrdiff_t n, fint lo, fint hi) {
  const Range range(lo, hi);
  std::ptrdiff_t i = 0;
  bool inside = true;
#if defined(__SSE2__)
  if (n >= 4) {
    const __m128i shift = range.shift(), limit = range.limit();
    __m128i bad = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
      bad = _mm_or_si128(bad, lanes_outside(load4(a + i), shift, limit));
      bad = _mm_or_si128(bad, lanes_outside(load4(b + i), shift, limit));
    }
    inside = _mm_movemask_epi8(bad) == 0;
  }
#endif
  std::uint32_t worst = 0;  // the largest offset from LO met, as unsigned
  for (; i < n; ++i)
    worst = std::max(worst, std::max(static_cast<std::uint32_t>(a[i]) - range.lo,
                                     static_cast<std::uint32_t>(b[i]) - range.lo));
  return inside && worst <= range.span;
}

// Whether V(0:N-1) never decreases.
inline bool nondecreasing(const fint* v, std::ptrdiff_t n) {
  std::ptrdiff_t i = 0;
  bool in_order = true;
#if defined(__SSE2__)
  __m128i bad = _mm_setzero_si128();
  for (; i + 5 <= n; i += 4) bad = _mm_or_si128(bad, _mm_cmpgt_epi32(load4(v + i), load4(v + i + 1)));
  in_order = _mm_movemask_epi8(bad) == 0;
#endif
  for (; i + 1 < n; ++i) in_order &= v[i] <= v[i + 1];
  return in_order;
}

// The 0-based position of a 1-based index, and, checked, whether it lies
// outside 1..bound: (index - 1) as unsigned is below the bound exactly then.
inline std::uint32_t at(fint i) { return static_cast<std::uint32_t>(i) - 1u; }
template <bool kChecked>
inline bool outside(std::uint32_t i0, std::uint32_t bound) {
  return kChecked && __builtin_expect(i0 >= bound, 0);
}

// The loops over one column's entries: Y(IDX(q)) = Y(IDX(q)) -/+ V(q)*S (a
// scatter), or S -/+ V(q)*Y(IDX(q)) summed in order (a gather), for the
// positions q in [FIRST, END) of V and IDX, counted from ORIGIN (0 or 1, as
// the caller's pointers give them), each index (1-based) tested before it
// is followed when CHECKED: it must lie in LO..LO+BOUND-1 (1..BOUND by
// default); false at the first outside.
// The operations and their order are those of the plain loop.  LONG, for
// columns that are long on average, makes the scatter go four entries a
// step after the odd ones over each column of eight or more: its tests
// then cost no more than the loop control they save (over short columns
// the split costs more than it saves).
template <int kOrigin, bool kChecked, bool kSubtract, bool kLong = false>
[[gnu::always_inline]] inline bool scatter(const double* v, const fint* idx, std::ptrdiff_t first, std::ptrdiff_t end,
                                           double s, std::uint32_t bound, double* y, fint lo = 1) {
  double* const y_lo = y + (std::ptrdiff_t(lo) - 1);
  auto one = [&](std::ptrdiff_t q) {
    double* yi;
    if (kChecked) {
      const std::uint32_t i = static_cast<std::uint32_t>(idx[q - kOrigin]) - static_cast<std::uint32_t>(lo);
      if (outside<kChecked>(i, bound)) return false;
      yi = y_lo + i;
    } else {
      yi = y + (std::ptrdiff_t(idx[q - kOrigin]) - 1);  // the 1 folds into the address
    }
    if (kSubtract)
      *yi -= v[q - kOrigin] * s;
    else
      *yi += v[q - kOrigin] * s;
    return true;
  };
  std::ptrdiff_t q = first;
  if (kLong && end - first >= 8) {
    for (const std::ptrdiff_t odd = first + ((end - first) & 3); q < odd; ++q)
      if (!one(q)) return false;
    for (; q < end; q += 4)
      if (!one(q) || !one(q + 1) || !one(q + 2) || !one(q + 3)) return false;
    return true;
  }
  for (; q < end; ++q)
    if (!one(q)) return false;
  return true;
}

// Whether columns with ENTRIES entries over COLUMNS columns are long on
// average, at least PER_COLUMN entries each (for the scatter's LONG).
inline bool long_columns(std::int64_t entries, std::int64_t columns, int per_column = 6) {
  return entries >= per_column * columns;
}

template <int kOrigin, bool kChecked, bool kSubtract>
[[gnu::always_inline]] inline bool gather(const double* v, const fint* idx, std::ptrdiff_t first, std::ptrdiff_t end,
                                          double& s, std::uint32_t bound, const double* y, fint lo = 1) {
  const double* const y_lo = y + (std::ptrdiff_t(lo) - 1);
  for (std::ptrdiff_t q = first; q < end; ++q) {
    const double* yi;
    if (kChecked) {
      const std::uint32_t i = static_cast<std::uint32_t>(idx[q - kOrigin]) - static_cast<std::uint32_t>(lo);
      if (outside<kChecked>(i, bound)) return false;
      yi = y_lo + i;
    } else {
      yi = y + (std::ptrdiff_t(idx[q - kOrigin]) - 1);
    }
    if (kSubtract)
      s -= v[q - kOrigin] * *yi;
    else
      s += v[q - kOrigin] * *yi;
  }
  return true;
}

}  // namespace tbl::unsym
