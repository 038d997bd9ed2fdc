// What the later MA48 phases check of the host's KEEP, A and IRN before they
// follow an index held there.  The phases never trust what an earlier call
// left: a host may skip a phase, ignore a failure or change the arrays in
// between.
//
// The phase state lives in the last column's factor pointers
// (KEEP(IPTRL+N), KEEP(IPTRU+N)), which the analysis uses only as scratch
// and a factorisation always writes (0 for a triangular column, at least 2
// for a column of a factorised block): -1 there says "analysed, no factors"
// (left by a successful analysis and by any error of a factorisation, since
// the host has put new values over the stored matrix by then), -2 "no
// analysis" (left by any error of an analysis, since the host has usually
// put a new pattern in IRN and JCN).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interface/fmt.hpp"
#include "unsym_lu/index_check.hpp"
#include "unsym_lu/ma48.hpp"
#include "unsym_lu/ma48_print.hpp"

namespace tbl::ma48 {

void mark_no_factors(fint m, fint n, fint* keep) {
  // A KEEP without an analysis stays marked so.
  if (marked_no_analysis(m, n, keep)) return;
  const KeepLayout kl(m, n);
  keep[kl.iptrl + n - 1] = keep[kl.iptru + n - 1] = kNoFactors;
}

void mark_no_analysis(fint m, fint n, fint* keep) {
  const KeepLayout kl(m, n);
  keep[kl.iptrl + n - 1] = keep[kl.iptru + n - 1] = kNoAnalysis;
}


bool marked_no_analysis(fint m, fint n, const fint* keep) {
  const KeepLayout kl(m, n);
  return keep[kl.iptrl + n - 1] == kNoAnalysis || keep[kl.iptru + n - 1] == kNoAnalysis;
}

bool blocks_valid(fint m, fint n, const fint* keep_p, std::int64_t max_stored) {
  if (!ends_valid(m, n, keep_p, max_stored)) return false;
  const KeepLayout kl(m, n);
  Vec1<const fint> keep(keep_p);
  const fint nb = keep(kl.kblock + 3);
  std::int64_t columns = 0;
  for (fint k = 1; k <= nb; ++k) {
    const fint nc = keep(kl.nblock + 3 * k), flag = keep(kl.mblock + 3 * k);
    if (nc < 1 || nc > n - columns) return false;
    if (flag < 0 ? (flag != -nc || m != n) : flag > nc) return false;
    columns += nc;
  }
  return columns == n;
}

bool permutation_valid(const fint* v, fint n) {
  // Values in 1..n whose sum is that of 1..n (modulo 2^32): a change of any
  // one entry always shows.  Eight at a time in vector registers, since this
  // runs before every solve, whose own work per row is of the same order.
  const tbl::unsym::Range range(1, n);
  std::uint32_t total = 0;
  bool inside = true;
  fint i = 0;
#if defined(__SSE2__)
  const __m128i shift = range.shift(), limit = range.limit();
  __m128i bad = _mm_setzero_si128(), sum0 = bad, sum1 = bad;
  for (; i + 8 <= n; i += 8) {
    const __m128i x0 = tbl::unsym::load4(v + i), x1 = tbl::unsym::load4(v + i + 4);
    sum0 = _mm_add_epi32(sum0, x0);
    sum1 = _mm_add_epi32(sum1, x1);
    bad = _mm_or_si128(bad, _mm_or_si128(tbl::unsym::lanes_outside(x0, shift, limit),
                                         tbl::unsym::lanes_outside(x1, shift, limit)));
  }
  inside = _mm_movemask_epi8(bad) == 0;
  alignas(16) std::uint32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_add_epi32(sum0, sum1));
  total = lanes[0] + lanes[1] + lanes[2] + lanes[3];
#endif
  for (; i < n; ++i) {
    inside &= !range.outside(v[i]);
    total += static_cast<std::uint32_t>(v[i]);
  }
  const std::uint64_t nn = static_cast<std::uint32_t>(n);
  return inside && total == static_cast<std::uint32_t>(nn * (nn + 1) / 2);
}

bool pointers_valid(fint n, const fint* iptrd, const fint* iptro) {
  return tbl::unsym::nondecreasing(iptrd, std::ptrdiff_t(n) + 1) &&
         tbl::unsym::nondecreasing(iptro, std::ptrdiff_t(n) + 1);
}

bool factor_area_valid(fint nr, fint nc, fint np, std::int64_t lfact, const fint* irnf, const fint* iptrl,
                       const fint* iptru) {
  if (lfact < 2 || np < 0 || np > nc) return false;
  const std::int64_t mf = irnf[1];
  if (mf < 0 || mf > nr) return false;
  std::int64_t prev = 2;  // the area's header takes positions 1 and 2
  for (fint j = 1; j <= nc; ++j) {
    const std::int64_t u = iptru[j - 1], l = iptrl[j - 1];
    if (u < prev || l < u || l > lfact || (j > np && l != u)) return false;
    prev = l;
  }
  const std::int64_t nf = nc - np;
  if (prev + std::max(mf * nf, mf + nf) > lfact) return false;
  // The full block's rows, increasing, then its pivoting record: a pivot's
  // row among the MF rows, a column without pivot the position (within NF)
  // at which it was set aside.
  const fint* rows = irnf + prev;
  for (std::int64_t i = 0; i < mf; ++i)
    if (rows[i] < 1 || rows[i] > nr || (i > 0 && rows[i] <= rows[i - 1])) return false;
  if (mf >= 1 && nf >= 1) {
    const fint* piv = rows + mf;
    std::int64_t r = std::min(mf, nf);
    while (r >= 1 && piv[r - 1] < 1) --r;
    for (std::int64_t k = 0; k < nf; ++k)
      if (k < r ? piv[k] > mf || piv[k] < 1 : piv[k] < -nf || piv[k] > -1) return false;
  }
  return true;
}

bool entries_valid(fint m, fint n, const fint* keep_p, const fint* irn_p) {
  const KeepLayout kl(m, n);
  Vec1<const fint> keep(keep_p), irn(irn_p);
  if (!pointers_valid(n, keep_p + kl.iptrd, keep_p + kl.iptro)) return false;
  // With the pointers in order, the parts of a block's columns lie next to
  // each other: where every column of a block has the same bounds, its
  // rows are tested as one range, in vector registers.
  auto inside = [&](fint first, fint end, fint lo, fint hi) {
    return tbl::unsym::all_inside(irn_p + first - 1, std::ptrdiff_t(end) - first, lo, hi);
  };
  const fint nb = keep(kl.kblock + 3);
  fint jfirst = 1;
  for (fint jb = 1; jb <= nb; ++jb) {
    const fint nc = keep(kl.nblock + 3 * jb), jlast = jfirst + nc - 1;
    // Off-diagonal rows lie in earlier blocks (the first block has none).
    const fint o0 = keep(kl.iptro + jfirst), o1 = keep(kl.iptro + jlast + 1);
    if (jfirst == 1 ? o1 != o0 : !inside(o0, o1, 1, jfirst - 1)) return false;
    if (keep(kl.mblock + 3 * jb) >= 0) {
      // Rows of the diagonal block (all M of a single block).
      const fint lo = nb == 1 ? 1 : jfirst, hi = nb == 1 ? m : jlast;
      if (!inside(keep(kl.iptrd + jfirst), keep(kl.iptrd + jlast + 1), lo, hi)) return false;
      jfirst = jlast + 1;
      continue;
    }
    // A triangular column: led by its diagonal, its other rows above it in
    // the block.
    for (fint j = jfirst; j <= jlast; ++j) {
      const fint d0 = keep(kl.iptrd + j), d1 = keep(kl.iptrd + j + 1);
      if (d1 <= d0 || irn(d0) != j) return false;
      bool bad = false;
      for (fint k = d0 + 1; k < d1; ++k) bad |= irn(k) < jfirst || irn(k) >= j;
      if (bad) return false;
    }
    jfirst = jlast + 1;
  }
  return true;
}

namespace {

template <bool kMagnitudes>
bool copy_sum(const double* from, double* to, std::int64_t n) {
  // A sum of the values is finite only if every value is (an infinity or a
  // NaN stays in it; an overflow only sends the caller to the exact test).
  // A sum of magnitudes below half the largest real also bounds every sum
  // of some of the values, whatever their order.  Four partial sums keep
  // the additions apart.
  const double kHalfLargest = 0.5 * std::numeric_limits<double>::max();
  std::int64_t i = 0;
  double total = 0.0;
#if defined(__SSE2__)
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
  auto term = [&](__m128d v) { return kMagnitudes ? _mm_and_pd(v, magnitude) : v; };
  __m128d s0 = _mm_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
  for (; i + 8 <= n; i += 8) {
    const __m128d a = _mm_loadu_pd(from + i), b = _mm_loadu_pd(from + i + 2);
    const __m128d c = _mm_loadu_pd(from + i + 4), d = _mm_loadu_pd(from + i + 6);
    _mm_storeu_pd(to + i, a);
    _mm_storeu_pd(to + i + 2, b);
    _mm_storeu_pd(to + i + 4, c);
    _mm_storeu_pd(to + i + 6, d);
    s0 = _mm_add_pd(s0, term(a));
    s1 = _mm_add_pd(s1, term(b));
    s2 = _mm_add_pd(s2, term(c));
    s3 = _mm_add_pd(s3, term(d));
  }
  alignas(16) double lanes[2];
  _mm_store_pd(lanes, _mm_add_pd(_mm_add_pd(s0, s1), _mm_add_pd(s2, s3)));
  total = lanes[0] + lanes[1];
#endif
  for (; i < n; ++i) {
    to[i] = from[i];
    total += kMagnitudes ? std::fabs(from[i]) : from[i];
  }
  return kMagnitudes ? total <= kHalfLargest : std::isfinite(total);  // (false for a NaN)
}

}  // namespace

bool copy_sum_finite(const double* from, double* to, std::int64_t n, bool summed) {
  return summed ? copy_sum<true>(from, to, n) : copy_sum<false>(from, to, n);
}

std::int64_t first_nonfinite_entry(fint ne, const fint* map, const double* stored, std::int64_t nstored) {
  for (fint k = 1; k <= ne; ++k) {
    const std::int64_t p = k == 1 ? std::abs(std::int64_t(map[0])) : map[k - 1];
    if (p >= 1 && p <= nstored && !std::isfinite(stored[p - 1])) return k;
  }
  return 0;
}

void state_message(const fint* icntl, const char* line1, const char* line2) {
  if (!errors_on(icntl)) return;
  io::write(icntl[0], "(A,/,A)", line1, line2);
}

void not_finite_message(const fint* icntl, const char* who, fint row, fint col) {
  if (!errors_on(icntl)) return;
  io::write(icntl[0], "(A,A,A,/,A,I10,A,I10)", " Error return from ", who, " because of a value that is not finite",
            " in the entry in row", row, " and column", col);
}

}  // namespace tbl::ma48
