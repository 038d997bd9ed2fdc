// MA48CD: solve with the factors of MA48BD, with iterative refinement,
// componentwise backward errors and an estimate of the error.
//
// With LR equations, LX unknowns and MX = max(M,N), the host's W is divided
// into sections that never overlap:
//   R = W(1:LR)                 permuted right-hand side, then the residual;
//                               first weight vector of the estimate
//   C = W(LR+1:LR+MX)           each solve's result (room for MX entries,
//                               which the kernel needs whatever LX is), then
//                               the sums (|A||x|)(i); second weight vector
//   T = W(LR+MX+1:LR+2MX)       a copy of the permuted right-hand side
//                               through the first solve (square, JOB > 1),
//                               the solves' workspace during refinement, then
//                               the absolute row sums; a temporary vector of
//                               the estimate
//   S = W(LR+2MX+1:LR+2MX+LX)   the previous iterate; the estimator's vector
// For a square matrix these are W(1:N), W(N+1:2N), W(2N+1:3N), W(3N+1:4N).
// The solves made for the estimator run in scratch of their own, since every
// section of W and RHS (the estimator's workspace) is live then.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "interface/fmt.hpp"
#include "interface/machine.hpp"
#include "sparse_utils/mc71.hpp"
#include "unsym_lu/index_check.hpp"
#include "unsym_lu/ma48.hpp"
#include "unsym_lu/ma48_print.hpp"
#include "unsym_lu/ma50.hpp"

using tbl::fint;
using tbl::logical;
using tbl::Vec1;

namespace {

// The first column from J on (up to LAST) whose pointer range
// P(j)..P(j+1)-1 is not empty, LAST+1 when there is none; P(j) = PTR[j-1].
// Runs of empty columns are passed four at a time.
inline fint skip_empty(const fint* ptr, fint j, fint last) {
#if defined(__SSE2__)
  for (; j + 3 <= last; j += 4) {
    const __m128i now = tbl::unsym::load4(ptr + j - 1), next = tbl::unsym::load4(ptr + j);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(now, next)) != 0xFFFF) break;
  }
#endif
  while (j <= last && ptr[j] == ptr[j - 1]) ++j;
  return j;
}

// What the solve of a block through the kernel needs besides the block:
// the factor area (FACT and IRNF of LAF entries from NEWNE+1), the factor
// pointers, the kernel's control and workspace.
struct Kernel {
  const double* fact;
  const fint* irnf;
  const fint* iptrl;
  const fint* iptru;
  std::int64_t laf;
  fint nblas;
  double* w;
  bool trans;
  bool again;  // more solves follow in this call (for MA50's checked solve)
};

using tbl::ma50::Checked;

// How much the block solve tests as it goes: every index it follows
// (kAll); all but the rows of the off-diagonal entries, which the caller
// has tested in one pass (kOffPassed); nothing, the blocks, pointers and
// indices having passed a checked solve of this call that found kAll
// (kNone).
enum class Tests { kAll, kOffPassed, kNone };

// Block JB (its triplet T: order, packed columns, factor start) from
// column JFIRST through MA50's checked solve (or, with TESTED, through the
// solve that follows indices found inside before), B and X of the whole
// matrix.
template <bool kTested>
inline Checked kernel_solve(const Kernel& k, const fint* t, fint jb, fint jfirst, double* b, double* x) {
  const std::int64_t pos = jb == 1 ? 1 : t[2];  // block 1's third entry holds NB
  if (kTested)
    return tbl::ma50::solve_tested(t[0], t[0], t[1], k.trans, k.nblas, k.fact + pos - 1, k.irnf + pos - 1,
                                   k.iptrl + jfirst - 1, k.iptru + jfirst - 1, b + jfirst - 1, x + jfirst - 1, k.w)
               ? Checked::kAll
               : Checked::kFault;
  const std::int64_t lfact = k.laf - pos + 1;
  if (pos < 1 || lfact < 2) return Checked::kFault;
  return tbl::ma50::solve_checked(t[0], t[0], t[1], k.trans, k.nblas, static_cast<fint>(lfact), k.fact + pos - 1,
                                  k.irnf + pos - 1, k.iptrl + jfirst - 1, k.iptru + jfirst - 1, b + jfirst - 1,
                                  x + jfirst - 1, k.w, k.again);
}

// The block solve.  The caller has checked that IPTRD(1:N+1) and
// IPTRO(1:N+1) lie in 1..NEWNE+1 with NEWNE < LA, so that every pointer
// range is inside the stored entries and a triangular column's diagonal
// A(IPTRD(j)) inside A.  Unless TESTS is kNone, each block's order and flag
// are tested here as the block is met (the orders must add up to N), every
// row index of a triangular block as it is read, and MA50's checked solve
// checks each factor area; the rows of the off-diagonal entries are tested
// as they are read with kAll.  With STORED (kAll only: the caller will
// follow every stored entry in a refinement) the stored entries are tested
// as the refinement needs them instead of against 1..N: a triangular column
// led by its diagonal and its other rows above it in the block, the rows of
// a kernel block's entries inside the block (one pass, as the solve reads
// its factors, not its entries), the off-diagonal rows in earlier blocks
// (none in the first).  Returns kFault at the first fault (B, X and W then
// partly written); kAll when every index that any solve of these blocks
// follows, plain or transposed, has now been tested (the block list, the
// pointers, the rows, which every solve reads in full, and each factor area
// that MA50's solve found kAll of).
template <Tests kTests, bool kStored = false>
[[gnu::aligned(64)]] Checked block_solve(fint N, fint NB, const Kernel& kern, const double* a_p, const fint* irn_p,
                                         const fint* iptrd_p, const fint* iptro_p, const fint* blocks, double* b_p,
                                         double* x_p) {
  constexpr bool kChecked = kTests != Tests::kNone, kOffChecked = kTests == Tests::kAll;
  constexpr bool stored = kOffChecked && kStored;
  Vec1<const double> A(a_p);
  Vec1<const fint> IRN(irn_p), IPTRD(iptrd_p), IPTRO(iptro_p);
  Vec1<double> B(b_p), X(x_p);
  const std::uint32_t n = static_cast<std::uint32_t>(N);  // the row indices' bound
  Checked found = Checked::kAll;
  // Block JB has NC columns, 1 <= NC <= AVAILABLE, and its flag is minus
  // NC (triangular) or a count of packed columns in 0..NC (tested by the
  // kernel).
  auto block_bad = [&](fint nc, fint flag, fint available) {
    return kChecked && (static_cast<std::uint32_t>(nc) - 1u >= static_cast<std::uint32_t>(available) ||
                        (flag < 0 && flag != -nc));
  };
  // A kernel block's entries, with STORED: rows inside the block.
  auto kernel = [&](const fint* t, fint jb, fint jfirst) {
    const fint jlast = jfirst + t[0] - 1;
    if (stored && !tbl::unsym::all_inside(irn_p + IPTRD(jfirst) - 1, IPTRD(jlast + 1) - IPTRD(jfirst), jfirst, jlast))
      return false;
    const Checked k = kernel_solve<!kChecked>(kern, t, jb, jfirst, b_p, x_p);
    if (k != Checked::kAll) found = Checked::kSolved;
    return k != Checked::kFault;
  };
  // A triangular column J of the block from JFIRST, with STORED: not empty,
  // led by its diagonal.  Its other rows lie in LO..LO+BOUND-1: in the
  // block above J with STORED, else in 1..N.
  auto triangular = [&](fint j, fint jfirst, fint& lo, std::uint32_t& bound) {
    lo = stored ? jfirst : 1;
    bound = stored ? static_cast<std::uint32_t>(j - jfirst) : n;
    return !stored || (IPTRD(j + 1) > IPTRD(j) && IRN(IPTRD(j)) == j);
  };
  // The off-diagonal rows of the block from JFIRST to JLAST lie in 1..the
  // returned bound; with STORED, before the block, and the first block has
  // none (the solve does not visit them).
  auto off_bound = [&](fint jfirst) { return stored ? static_cast<std::uint32_t>(jfirst - 1) : n; };
  auto first_off_bad = [&](fint jlast) { return stored && IPTRO(jlast + 1) != IPTRO(1); };
  // The off-diagonal part is visited column by column, or, when the block
  // has fewer such entries than a quarter of its columns, only at the
  // columns that have entries (most have none).  (The scatters over columns
  // that are long on average go four entries a step.)
  auto few = [&](std::int64_t entries, fint columns) { return 4 * entries < columns; };

  if (!kern.trans) {
    fint jlast = N;
    for (fint jb = NB; jb >= 1; --jb) {
      const fint* t = blocks + 3 * std::ptrdiff_t(jb - 1);
      if (block_bad(t[0], t[1], jlast)) return Checked::kFault;
      const fint jfirst = jlast - t[0] + 1;
      if (t[1] < 0) {
        auto columns = [&](auto long_columns) {
          for (fint j = jlast; j >= jfirst; --j) {
            fint lo;
            std::uint32_t bound;
            if (!triangular(j, jfirst, lo, bound)) return false;
            const double xj = B(j) / A(IPTRD(j));
            X(j) = xj;
            if (!tbl::unsym::scatter<1, kChecked, true, decltype(long_columns)::value>(
                    a_p, irn_p, IPTRD(j) + 1, IPTRD(j + 1), xj, bound, b_p, lo))
              return false;
          }
          return true;
        };
        if (!(tbl::unsym::long_columns(IPTRD(jlast + 1) - IPTRD(jfirst) - t[0], t[0]) ? columns(std::true_type{})
                                                                                      : columns(std::false_type{})))
          return Checked::kFault;
      } else if (!kernel(t, jb, jfirst)) {
        return Checked::kFault;
      }
      // The off-diagonal part of each column: rows of earlier blocks.
      // B(rows) -= A(k) * X(j) over the off-diagonal entries of column J.
      if (jb == 1) {
        if (first_off_bad(jlast)) return Checked::kFault;
      } else {
        const std::uint32_t bound = off_bound(jfirst);
        auto off_column = [&](fint j) __attribute__((always_inline)) {
          return tbl::unsym::scatter<1, kOffChecked, true>(a_p, irn_p, IPTRO(j), IPTRO(j + 1), X(j), bound, b_p);
        };
        auto off_column_long = [&](fint j) __attribute__((always_inline)) {
          return tbl::unsym::scatter<1, kOffChecked, true, true>(a_p, irn_p, IPTRO(j), IPTRO(j + 1), X(j), bound,
                                                                 b_p);
        };
        const std::int64_t entries = IPTRO(jlast + 1) - IPTRO(jfirst);
        if (few(entries, t[0])) {
          for (fint j = skip_empty(iptro_p, jfirst, jlast); j <= jlast; j = skip_empty(iptro_p, j + 1, jlast))
            if (!off_column(j)) return Checked::kFault;
        } else if (tbl::unsym::long_columns(entries, t[0])) {
          for (fint j = jfirst; j <= jlast; ++j)
            if (!off_column_long(j)) return Checked::kFault;
        } else {
          for (fint j = jfirst; j <= jlast; ++j)
            if (!off_column(j)) return Checked::kFault;
        }
      }
      jlast = jfirst - 1;
    }
    return jlast == 0 ? found : Checked::kFault;
  }

  fint jfirst = 1;
  for (fint jb = 1; jb <= NB; ++jb) {
    const fint* t = blocks + 3 * std::ptrdiff_t(jb - 1);
    if (block_bad(t[0], t[1], N - jfirst + 1)) return Checked::kFault;
    const fint jlast = jfirst + t[0] - 1;
    // B(j) -= the sum of A(k) * X(rows) over the off-diagonal entries of
    // column J.  (A column without entries would subtract 0, which changes
    // nothing.)
    if (jb == 1) {
      if (first_off_bad(jlast)) return Checked::kFault;
    } else {
      const std::uint32_t bound = off_bound(jfirst);
      auto off_column = [&](fint j) __attribute__((always_inline)) {
        double sum = 0.0;
        if (!tbl::unsym::gather<1, kOffChecked, false>(a_p, irn_p, IPTRO(j), IPTRO(j + 1), sum, bound, x_p))
          return false;
        B(j) -= sum;
        return true;
      };
      if (few(IPTRO(jlast + 1) - IPTRO(jfirst), t[0])) {
        for (fint j = skip_empty(iptro_p, jfirst, jlast); j <= jlast; j = skip_empty(iptro_p, j + 1, jlast))
          if (!off_column(j)) return Checked::kFault;
      } else {
        for (fint j = jfirst; j <= jlast; ++j)
          if (!off_column(j)) return Checked::kFault;
      }
    }
    if (t[1] < 0) {
      for (fint j = jfirst; j <= jlast; ++j) {
        fint lo;
        std::uint32_t bound;
        if (!triangular(j, jfirst, lo, bound)) return Checked::kFault;
        double sum = 0.0;
        if (!tbl::unsym::gather<1, kChecked, false>(a_p, irn_p, IPTRD(j) + 1, IPTRD(j + 1), sum, bound, x_p, lo))
          return Checked::kFault;
        B(j) -= sum;
        X(j) = B(j) / A(IPTRD(j));
      }
    } else if (!kernel(t, jb, jfirst)) {
      return Checked::kFault;
    }
    jfirst = jlast + 1;
  }
  return jfirst == N + 1 ? found : Checked::kFault;
}

}  // namespace

extern "C" void MA48_BLOCK_SOLVE(const fint* n_p, const fint* newne_p, const fint* laf_p, const double* fact,
                                 const double* a_p, const fint* irnf, const fint* irn_p, const fint* iptrd_p,
                                 const fint* iptro_p, const fint* nb_p, const fint* blocks, const fint* iptrl,
                                 const fint* iptru, double* b_p, double* x_p, const logical* trans,
                                 const fint* icntl5, double* w) {
  const fint n = *n_p, newne = *newne_p;
  if (*laf_p < 1 || !tbl::unsym::all_inside(iptrd_p, std::int64_t(n) + 1, 1, newne + 1) ||
      !tbl::unsym::all_inside(iptro_p, std::int64_t(n) + 1, 1, newne + 1))
    return;
  const Kernel kern{fact, irnf, iptrl, iptru, *laf_p, icntl5[4], w, tbl::is_true(*trans), false};
  block_solve<Tests::kAll>(n, *nb_p, kern, a_p, irn_p, iptrd_p, iptro_p, blocks, b_p, x_p);
}

namespace {

void entry_monitor(const tbl::ma48::Monitor& mon, fint m, fint n, logical trans, fint job, fint la,
                   const double* a, const fint* irn, const fint* keep, const double* cntl, const fint* icntl,
                   const double* rhs, fint lr) {
  using namespace tbl::ma48;
  const KeepLayout kl(m, n);
  const fint nb = keep[kl.kblock + 2];
  tbl::io::write(mon.unit, "(/,A,/,3(A,I8),A,I2,/,A,L2,A,I7,/,A,1P,D12.4,/,A,3I6,2(/,A,I6))",
                 " Entering MA48CD with", " M =", m, "     N =", n, "     LA =", la, "      JOB =", job,
                 "   TRANS =", tbl::io::Lgl{trans}, "      No. of blocks =", nb, "   CNTL(5)    = ", cntl[4],
                 "   ICNTL(1:3) = ", tbl::io::Ints{icntl, 3}, "   ICNTL(5)   = ", icntl[4],
                 "   ICNTL(9)   = ", icntl[8]);
  values_by_blocks(mon, m, n, a, irn, keep);
  factors_by_blocks(mon, m, n, a, irn, keep);
  text(mon.unit, " Contents of KEEP array");
  position_lists(mon, m, n, keep);
  text(mon.unit, " Pointer information from KEEP");
  pointer_lists(mon, m, n, keep, true, true);
  text(mon.unit, " Block structure information from KEEP");
  block_list(mon, " NBLOCK (order blocks) =", keep, kl.nblock, nb);
  block_list(mon, " MBLOCK (triangular flag and number packed rows) =", keep, kl.mblock, nb);
  block_list(mon, " KBLOCK (position of beginning of block) =", keep, kl.kblock, nb);
  tbl::io::write(mon.unit, "(' RHS =  ',1P,5D12.4,/,(8X,5D12.4))", tbl::io::Reals{rhs, mon.cut(lr)});
}

// The words the entry monitor lists are followed only after they have been
// checked as a whole: every pointer and every factor area.
bool listing_safe(fint M, fint N, std::int64_t LA, const fint* keep_p, const fint* irn_p) {
  using namespace tbl::ma48;
  const KeepLayout kl(M, N);
  Vec1<const fint> KEEP(keep_p);
  if (!pointers_valid(N, keep_p + kl.iptrd, keep_p + kl.iptro)) return false;
  const fint nb = KEEP(kl.kblock + 3);
  const std::int64_t newne = KEEP(kl.iptro + N + 1) - 1;
  fint jfirst = 1;
  for (fint jb = 1; jb <= nb; ++jb) {
    const fint nc = KEEP(kl.nblock + 3 * jb), np = KEEP(kl.mblock + 3 * jb);
    if (np >= 0) {
      const std::int64_t pos = jb == 1 ? 1 : KEEP(kl.kblock + 3 * jb);
      if (pos < 1 ||
          !factor_area_valid(nb == 1 ? M : nc, nc, np, LA - newne - pos + 1, irn_p + newne + pos - 1,
                             keep_p + kl.iptrl + jfirst - 1, keep_p + kl.iptru + jfirst - 1))
        return false;
    }
    jfirst += nc;
  }
  return true;
}

// The largest magnitude among V(1:N), a NaN passed over as std::max
// passes it; FINITE tells whether every value is finite (v - v is 0 for a
// finite v, else NaN, which stays in the sum).  Two values a step in
// vector registers.
double largest_magnitude(const double* v, fint n, bool& finite) {
  std::ptrdiff_t i = 0;
  double largest = 0.0, sum = 0.0;
#if defined(__SSE2__)
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
  __m128d m0 = _mm_setzero_pd(), m1 = m0, s0 = m0, s1 = m0;
  for (; i + 4 <= n; i += 4) {
    const __m128d a = _mm_loadu_pd(v + i), b = _mm_loadu_pd(v + i + 2);
    // MAXPD gives its second operand when either is a NaN.
    m0 = _mm_max_pd(_mm_and_pd(a, magnitude), m0);
    m1 = _mm_max_pd(_mm_and_pd(b, magnitude), m1);
    s0 = _mm_add_pd(s0, _mm_sub_pd(a, a));
    s1 = _mm_add_pd(s1, _mm_sub_pd(b, b));
  }
  alignas(16) double lanes[2], sums[2];
  _mm_store_pd(lanes, _mm_max_pd(m0, m1));
  _mm_store_pd(sums, _mm_add_pd(s0, s1));
  largest = std::max(lanes[0], lanes[1]);
  sum = sums[0] + sums[1];
#endif
  for (; i < n; ++i) {
    largest = std::max(largest, std::fabs(v[i]));
    sum += v[i] - v[i];
  }
  finite = sum == sum;
  return largest;
}

// The backward errors of a refinement step measure nothing when X or the
// residual holds a value that is not finite: it fails every comparison
// that forms them, so they would read 0 (the caller tests X and R).  So
// would a nonzero residual divided by sums that overflow (entries near the
// largest real).  Whether, in every row whose residual R(i) is not 0, both
// denominators, |b| + |A||x| and |A||x| + XNORM times the row sum of |A|,
// are finite; a row whose residual is exactly 0 is measured whatever its
// sums, so an exact X keeps its 0.  The caller asks only when the largest
// sum of a row's two denominators is not finite.
bool denominators_finite(fint lr, const double* r, const double* b, const double* c, const double* t, double xnorm) {
  for (std::ptrdiff_t i = 0; i < lr; ++i)
    if (r[i] != 0.0 && !(std::isfinite(std::fabs(b[i]) + c[i]) && std::isfinite(c[i] + xnorm * t[i]))) return false;
  return true;
}

// A permutation's moves, four a step: TO(P(i)) = FROM(i) with SCATTER,
// else TO(i) = FROM(P(i)), for i = 1..N.
template <bool kScatter>
inline void move(const fint* p, std::ptrdiff_t i, const double* from, double* to) {
  if (kScatter)
    to[p[i] - 1] = from[i];
  else
    to[i] = from[p[i] - 1];
}

template <bool kScatter>
void permute(const fint* p, fint n, const double* from, double* to) {
  std::ptrdiff_t i = 0;
  for (; i + 4 <= n; i += 4) {
    move<kScatter>(p, i, from, to);
    move<kScatter>(p, i + 1, from, to);
    move<kScatter>(p, i + 2, from, to);
    move<kScatter>(p, i + 3, from, to);
  }
  for (; i < n; ++i) move<kScatter>(p, i, from, to);
}

// What the pass that permutes the right-hand side in tests besides its own
// permutation P: the other permutation (OTHER, of the same length N, when
// the matrix is square), and the column pointers (POINTERS, for the block
// solve): IPTRD(1:N) against 1..OFF_FIRST and IPTRO(1:N) against
// OFF_FIRST..LAST, with OFF_FIRST = IPTRO(1) and LAST = NEWNE+1, so that
// the off-diagonal entries of any column lie in IRN(IPTRO(1):NEWNE), or
// with ORDERED that neither IPTRD(1:N+1) nor IPTRO(1:N+1) decreases, which
// keeps them inside those ranges (IPTRD(1) = 1, IPTRD(N+1) = IPTRO(1) and
// IPTRO(N+1) = NEWNE+1 have passed ends_valid).
struct AlsoChecked {
  const fint* other = nullptr;
  const fint* iptrd = nullptr;
  const fint* iptro = nullptr;
  fint off_first = 1;
  fint last = 0;
  bool ordered = false;
};

// The moves of the right-hand side with P tested on the way, so that no
// separate pass over it is needed: each group of four indices in 1..N
// before it is followed, and the sum of them all that of a permutation, so
// that a change of any one of them shows.  ALSO's words are tested in the
// same pass (they are followed only later).  Returns false at the first
// index out of range or for a sum that does not match.
template <bool kScatter, bool kOther, bool kPointers, bool kOrdered>
[[gnu::noinline, gnu::aligned(64)]] bool permute_checked(const fint* p, fint n, const double* from, double* to,
                                                         const AlsoChecked& also) {
  const tbl::unsym::Range range(1, n), diagonal(1, also.off_first), off(also.off_first, also.last);
  std::uint32_t sum = 0, other_sum = 0;
  std::ptrdiff_t i = 0;
#if defined(__SSE2__)
  // The sums are taken of the shifted indices that the range test forms
  // anyway, and the shifts taken off at the end.
  const __m128i shift = range.shift(), limit = range.limit();
  const __m128i dshift = diagonal.shift(), dlimit = diagonal.limit();
  const __m128i oshift = off.shift(), olimit = off.limit();
  __m128i sums = _mm_setzero_si128(), other_sums = _mm_setzero_si128();
  auto outside = [](__m128i shifted, __m128i lim) { return _mm_cmpgt_epi32(shifted, lim); };
  for (; i + 4 <= n; i += 4) {
    const __m128i v = _mm_add_epi32(tbl::unsym::load4(p + i), shift);
    const __m128i o = kOther ? _mm_add_epi32(tbl::unsym::load4(also.other + i), shift) : v;
    __m128i bad = outside(v, limit);
    if (kOther) bad = _mm_or_si128(bad, outside(o, limit));
    if (kPointers) {
      // Lists in order between their ends (which the caller has tested)
      // are inside their ranges.
      const __m128i dptr = tbl::unsym::load4(also.iptrd + i), optr = tbl::unsym::load4(also.iptro + i);
      if (kOrdered) {
        bad = _mm_or_si128(bad, _mm_cmpgt_epi32(dptr, tbl::unsym::load4(also.iptrd + i + 1)));
        bad = _mm_or_si128(bad, _mm_cmpgt_epi32(optr, tbl::unsym::load4(also.iptro + i + 1)));
      } else {
        bad = _mm_or_si128(bad, outside(_mm_add_epi32(dptr, dshift), dlimit));
        bad = _mm_or_si128(bad, outside(_mm_add_epi32(optr, oshift), olimit));
      }
    }
    if (__builtin_expect(_mm_movemask_epi8(bad) != 0, 0)) return false;
    sums = _mm_add_epi32(sums, v);
    if (kOther) other_sums = _mm_add_epi32(other_sums, o);
    move<kScatter>(p, i, from, to);
    move<kScatter>(p, i + 1, from, to);
    move<kScatter>(p, i + 2, from, to);
    move<kScatter>(p, i + 3, from, to);
  }
  alignas(16) std::uint32_t lanes[4], other_lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sums);
  _mm_store_si128(reinterpret_cast<__m128i*>(other_lanes), other_sums);
  const std::uint32_t shifts = static_cast<std::uint32_t>(i) * (0x80000000u - range.lo);
  sum = lanes[0] + lanes[1] + lanes[2] + lanes[3] - shifts;
  other_sum = other_lanes[0] + other_lanes[1] + other_lanes[2] + other_lanes[3] - shifts;
#endif
  for (; i < n; ++i) {
    if (range.outside(p[i]) || (kOther && range.outside(also.other[i])) ||
        (kPointers && !kOrdered && (diagonal.outside(also.iptrd[i]) || off.outside(also.iptro[i]))) ||
        (kOrdered && (also.iptrd[i] > also.iptrd[i + 1] || also.iptro[i] > also.iptro[i + 1])))
      return false;
    sum += static_cast<std::uint32_t>(p[i]);
    if (kOther) other_sum += static_cast<std::uint32_t>(also.other[i]);
    move<kScatter>(p, i, from, to);
  }
  const std::uint64_t nn = static_cast<std::uint32_t>(n);
  const std::uint32_t expected = static_cast<std::uint32_t>(nn * (nn + 1) / 2);
  return sum == expected && (!kOther || other_sum == expected);
}

template <bool kScatter>
bool permute_checked(const fint* p, fint n, const double* from, double* to, const AlsoChecked& also) {
  if (also.iptrd != nullptr)
    return also.ordered ? permute_checked<kScatter, true, true, true>(p, n, from, to, also)
                        : permute_checked<kScatter, true, true, false>(p, n, from, to, also);
  if (also.other != nullptr) return permute_checked<kScatter, true, false, false>(p, n, from, to, also);
  return permute_checked<kScatter, false, false, false>(p, n, from, to, also);
}

}  // namespace

extern "C" void MA48CD(const fint* m_p, const fint* n_p, const logical* trans_p, const fint* job_p,
                       const fint* la_p, const double* a_p, const fint* irn_p, const fint* keep_p,
                       const double* cntl, const fint* icntl, double* rhs_p, double* x_p, double* error,
                       double* w_p, fint* iw_p, fint* info) {
  using tbl::ma48::KeepLayout;
  const fint M = *m_p, N = *n_p, JOB = *job_p, LA = *la_p;
  const bool trans = tbl::is_true(*trans_p);

  // Checks.
  if (N < 1 || M < 1 || JOB < 1 || JOB > 4) {
    info[0] = (N < 1 || M < 1) ? -1 : -6;
    tbl::ma48::entry_check_message(icntl, "MA48C/CD", info[0], M, N, 0, JOB, 0, 0);
    return;
  }
  auto refuse = [&] {
    info[0] = tbl::ma48::kBadState;
    tbl::ma48::state_message(icntl, " Error return from MA48C/CD because A, IRN and KEEP do not hold",
                             " the factors of a successful call of MA48B/BD");
  };

  // What the factorisation left, before anything is written: here the
  // phase mark, the block count and the ends of the stored entries
  // (NEWNE < LA, so that a triangular column's diagonal may be read at any
  // pointer up to NEWNE+1); both permutations as the right-hand side is
  // permuted in (the one that moves the solution out here when the matrix
  // is not square); each block's order and flag, and the pointers and
  // indices that the solve follows, as it meets them.  The refinement's
  // pass over the whole matrix has its blocks checked here, its stored
  // entries in the first solve (below); the monitor's listing, which
  // follows every pointer, has them all checked here.
  const KeepLayout kl(M, N);
  Vec1<const fint> KEEP(keep_p), IRN(irn_p);
  Vec1<const double> A(a_p);
  const bool monitor = tbl::ma48::monitor_on(icntl);
  const fint* perm_in = trans ? keep_p + M : keep_p;   // KEEP(M+1:M+N) or KEEP(1:M)
  const fint* perm_out = trans ? keep_p : keep_p + M;  // the other one
  const fint lr = trans ? N : M;
  const fint lx = trans ? M : N;
  const bool whole = JOB > 1 || monitor;
  if (tbl::ma48::marked_no_factors(M, N, keep_p) ||
      !(whole ? tbl::ma48::blocks_valid(M, N, keep_p, LA - 1) : tbl::ma48::ends_valid(M, N, keep_p, LA - 1)) ||
      (M != N && KEEP(kl.mblock + 3) < 0) ||
      ((M != N || monitor) && !tbl::ma48::permutation_valid(perm_out, lx)) ||
      (monitor && !tbl::ma48::permutation_valid(perm_in, lr)) ||
      (JOB > 1 && monitor && !tbl::ma48::entries_valid(M, N, keep_p, irn_p)) ||
      (monitor && !listing_safe(M, N, LA, keep_p, irn_p))) {
    refuse();
    return;
  }

  info[0] = 0;
  double omega[2] = {0.0, 0.0};
  const fint nb = KEEP(kl.kblock + 3);
  const fint newne = KEEP(kl.iptro + N + 1) - 1;
  const std::int64_t mx = std::max(M, N);
  const tbl::ma48::Monitor mon{icntl[1], icntl[2] >= 4};
  if (monitor) entry_monitor(mon, M, N, *trans_p, JOB, LA, a_p, irn_p, keep_p, cntl, icntl, rhs_p, lr);

  Vec1<double> RHS(rhs_p), X(x_p), R(w_p), C(w_p + lr), T(w_p + lr + mx), S(w_p + lr + 2 * mx);
  Vec1<fint> IW(iw_p);

  // One solve with the factors, from B (which it overwrites) into SOL
  // (room for MX entries), with WORK (MX entries) as the kernel's
  // workspace; kFault when an index it met was out of range.  Once a solve
  // has found kAll, nothing that a solve follows needs testing again in
  // this call (nothing of KEEP, A or IRN changes in it): the refinement's
  // and the estimate's solves then run without the tests.  (Inlined: on a
  // small matrix a call of its own costs as much as several checks.)
  const bool one_block = nb == 1 && KEEP(kl.mblock + 3) >= 0;
  const fint laf = LA - newne;
  const fint nblas = icntl[4];
  bool off_inside = false;  // every off-diagonal row index in 1..N (set below)
  const bool stored = JOB > 1 && !monitor;  // the stored entries to be tested by the first solve (below)
  Checked tested = Checked::kSolved;
  auto solve = [&](bool tr, double* b, double* sol, double* work) __attribute__((always_inline)) {
    const fint* iptrl = keep_p + kl.iptrl;
    const fint* iptru = keep_p + kl.iptru;
    if (one_block) {
      const fint np = KEEP(kl.mblock + 3);
      if (tested == Checked::kAll)
        return tbl::ma50::solve_tested(M, N, np, tr, nblas, a_p + newne, irn_p + newne, iptrl, iptru, b, sol, work)
                   ? Checked::kAll
                   : Checked::kFault;
      return tbl::ma50::solve_checked(M, N, np, tr, nblas, laf, a_p + newne, irn_p + newne, iptrl, iptru, b, sol,
                                      work, JOB > 1);
    }
    const Kernel kern{a_p + newne, irn_p + newne, iptrl, iptru, laf, nblas, work, tr, JOB > 1};
    auto block = tested == Checked::kAll ? block_solve<Tests::kNone>
                 : off_inside            ? block_solve<Tests::kOffPassed>
                 : stored                ? block_solve<Tests::kAll, true>
                                         : block_solve<Tests::kAll>;
    return block(N, nb, kern, a_p, irn_p, keep_p + kl.iptrd, keep_p + kl.iptro, keep_p + kl.nblock + 2, b, sol);
  };

  // The right-hand side in permuted order: R(KEEP(i)) = RHS(i), or with
  // the transpose R(j) = RHS(KEEP(M+j)).  The same pass tests the other
  // permutation of a square matrix and, for the block solve, the pointers
  // of the stored entries (IPTRD(N+1) = IPTRO(1) and IPTRO(N+1) = NEWNE+1
  // have passed ends_valid).
  //
  // A refinement follows every stored entry (STORED), which must then be
  // as the analysis left them: both pointer lists in order (in the same
  // pass when the matrix is square); the rows of a single kernel block's
  // entries in 1..M, which its solve does not read (one vector pass); the
  // rows that the block solve reads, as it reads them; see block_solve.
  AlsoChecked also;
  if (M == N) also.other = perm_out;
  if (!one_block || (stored && M == N)) {
    also.iptrd = keep_p + kl.iptrd;
    also.iptro = keep_p + kl.iptro;
    also.off_first = KEEP(kl.iptro + 1);
    also.last = newne + 1;
    also.ordered = stored;
  }
  bool permuted = !trans ? permute_checked<true>(perm_in, lr, rhs_p, w_p, also)
                         : permute_checked<false>(perm_in, lr, rhs_p, w_p, also);
  if (permuted && stored && one_block) {
    const fint off_first = KEEP(kl.iptro + 1);
    permuted = (M == N || tbl::ma48::pointers_valid(N, keep_p + kl.iptrd, keep_p + kl.iptro)) &&
               off_first == newne + 1 && tbl::unsym::all_inside(irn_p, std::ptrdiff_t(off_first) - 1, 1, M);
  }
  // Otherwise the off-diagonal entries of every column lie in
  // IRN(IPTRO(1):NEWNE), which the block solve reads in full: their rows are
  // tested here in one vector pass, which costs less than a test at each
  // entry.
  if (permuted && !one_block && !stored) {
    const std::ptrdiff_t off_entries = std::ptrdiff_t(newne) + 1 - also.off_first;
    off_inside = off_entries >= 16 && tbl::unsym::all_inside(irn_p + also.off_first - 1, off_entries, 1, N);
  }
  // The first solve comes before anything of the host's but W is written.
  // Unless it found kAll, the later solves of this call test again what
  // they follow (an index it did not read may be out of range); one that
  // meets such an index stops there, and the call is refused, although X,
  // RHS and IW have been written by then (DAMAGED).
  // A square matrix's solves leave T alone (their blocks need no room
  // beyond B): with JOB > 1 it keeps the permuted right-hand side that the
  // solve overwrites in R.
  const bool keep_b = JOB > 1 && M == N;
  if (permuted && keep_b) std::copy(R.data(), R.data() + lr, T.data());
  if (permuted) tested = solve(trans, R.data(), C.data(), T.data());
  if (!permuted || tested == Checked::kFault) {
    refuse();
    return;
  }

  const double* solution = C.data();  // permuted solution to be moved out at the end
  bool damaged = false;               // a later solve met an index out of range
  double error3 = 0.0;                // ERROR(3), written with the other results
  bool estimate = false;
  bool finite = true;  // X and the residual of the last step computed
  double xnorm = 0.0;

  if (JOB > 1) {
    for (fint j = 1; j <= lx; ++j) X(j) = 0.0;
    // The permuted right-hand side b, kept in RHS for the residuals (the
    // solve overwrote R, so it is permuted again unless T kept it).
    if (!keep_b) {
      if (!trans)
        permute<true>(perm_in, lr, rhs_p, w_p);
      else
        permute<false>(perm_in, lr, rhs_p, w_p);
    }
    const double* b = keep_b ? T.data() : R.data();
    std::copy(b, b + lr, rhs_p);
    if (icntl[8] <= 0) {
      info[0] = -8;
    } else {
      // Refinement; the first correction is the solution just computed.
      double old_omega = 0.0, saved[2] = {0.0, 0.0};
      const double ctau = 1000.0 * tbl::re05re(1) * lx;
      bool left = false;
      for (fint k = 1; k <= icntl[8]; ++k) {
        if (k > 1 && solve(trans, R.data(), C.data(), T.data()) == Checked::kFault) {
          damaged = true;
          break;
        }
        for (fint j = 1; j <= lx; ++j) X(j) += C(j);
        for (fint i = 1; i <= lr; ++i) {
          R(i) = RHS(i);
          C(i) = 0.0;
          T(i) = 0.0;
        }
        // Residual, |A||x| and row sums in one pass over the stored entries.
        for (fint j = 1; j <= N; ++j) {
          auto entry = [&](fint p) {
            const fint i = IRN(p);
            const double a = A(p);
            const fint eq = trans ? j : i;
            const double ax = a * X(trans ? i : j);
            R(eq) -= ax;
            C(eq) += std::fabs(ax);
            T(eq) += std::fabs(a);
          };
          for (fint p = KEEP(kl.iptrd + j); p < KEEP(kl.iptrd + j + 1); ++p) entry(p);
          for (fint p = KEEP(kl.iptro + j); p < KEEP(kl.iptro + j + 1); ++p) entry(p);
        }
        bool x_finite;
        xnorm = largest_magnitude(x_p, lx, x_finite);
        // The largest sum of the two denominators of a row is finite only
        // when no denominator overflows; otherwise the rows are sought
        // (denominators_finite).
        omega[0] = omega[1] = 0.0;
        double largest_sum = 0.0;
        for (fint i = 1; i <= lr; ++i) {
          const double bi = std::fabs(RHS(i));
          const double d = bi + C(i);
          const double xt = xnorm * T(i);
          const double t = ctau * (bi + xt);
          const double e = C(i) + xt;
          largest_sum = std::max(largest_sum, d + e);
          if (d > t) {
            IW(i) = 1;
            omega[0] = std::max(omega[0], std::fabs(R(i)) / d);
          } else {
            IW(i) = 2;
            if (t > 0.0) omega[1] = std::max(omega[1], std::fabs(R(i)) / e);
          }
        }
        finite = x_finite && tbl::all_finite(R.data(), lr) &&
                 (largest_sum <= std::numeric_limits<double>::max() ||
                  denominators_finite(lr, R.data(), RHS.data(), C.data(), T.data(), xnorm));
        if (!finite) omega[0] = omega[1] = HUGE_VAL;
        if (JOB == 2) {
          left = true;
          break;
        }
        const double om = omega[0] + omega[1];
        if (1.0 + om <= 1.0) {
          left = estimate = true;
          break;
        }
        if (!finite || (k > 1 && om > cntl[4] * old_omega)) {
          if (k > 1 && om > old_omega) {
            for (fint j = 1; j <= lx; ++j) X(j) = S(j);
            omega[0] = saved[0];
            omega[1] = saved[1];
          }
          left = estimate = true;
          break;
        }
        for (fint j = 1; j <= lx; ++j) S(j) = X(j);
        saved[0] = omega[0];
        saved[1] = omega[1];
        old_omega = om;
      }
      if (!left && !damaged) info[0] = -8;
    }
  }
  if (damaged) {
    refuse();
    return;
  }
  if (info[0] == -8 && tbl::ma48::errors_on(icntl)) {
    tbl::io::write(icntl[0], "(A)",
                   " Error return from MA48C/CD because of nonconvergence of iterative refinement");
    tbl::io::write(icntl[0], "(A,I2,A,I10)", " Error INFO(1) = ", -8, "  with ICNTL(9) = ", icntl[8]);
  }

  // Error estimate: the infinity norm of inverse(A) diag(G) for each kind
  // of equation, through the 1-norm estimator.  Weights that are not finite
  // give no estimate: it is then infinite.
  if (estimate && JOB == 4 && M == N && !finite) {
    error3 = HUGE_VAL;
  } else if (estimate && JOB == 4 && M == N) {
    bool present[2] = {false, false};
    for (fint i = 1; i <= N; ++i) {
      if (IW(i) == 1) {
        R(i) = std::fabs(RHS(i)) + C(i);
        C(i) = 0.0;
        present[0] = true;
      } else {
        C(i) += xnorm * T(i);
        R(i) = 0.0;
        present[1] = true;
      }
    }
    std::vector<double> scratch(static_cast<std::size_t>(mx));
    double est[2] = {0.0, 0.0};
    fint resume[4] = {0, 0, 0, 0};
    for (int jj = 0; jj < 2 && info[0] == 0; ++jj) {
      if (!present[jj]) continue;
      const Vec1<double>& g = jj == 0 ? R : C;
      fint kase = 0;
      fint requests = 1;
      for (;;) {
        MC71AD(&N, &kase, S.data(), &est[jj], rhs_p, iw_p, resume);
        if (kase == 0) break;
        if (kase == 1) {
          damaged = solve(!trans, S.data(), T.data(), scratch.data()) == Checked::kFault;
          for (fint i = 1; i <= N && !damaged; ++i) S(i) = g(i) * T(i);
        } else {
          for (fint i = 1; i <= N; ++i) T(i) = g(i) * S(i);
          damaged = solve(trans, T.data(), S.data(), scratch.data()) == Checked::kFault;
        }
        if (damaged) break;
        if (++requests > 40) {
          info[0] = -9;
          break;
        }
      }
      if (damaged) break;
      if (info[0] == -9) {
        if (tbl::ma48::errors_on(icntl)) {
          tbl::io::write(icntl[0], "(A)", " Error return from MA48C/CD because of error in MC71A/AD");
          tbl::io::write(icntl[0], "(A)", " ERROR(3) not calculated");
        }
        break;
      }
      if (xnorm > 0.0) est[jj] /= xnorm;
      error3 += est[jj] * omega[jj];
    }
    if (damaged) {
      refuse();
      return;
    }
  }

  // The solution in the host's order of the unknowns (a permutation
  // checked before the first solve): X(KEEP(M+j)) = SOL(j), or with the
  // transpose X(i) = SOL(KEEP(i)).
  error[2] = error3;
  if (JOB > 1) {
    for (fint j = 1; j <= lx; ++j) R(j) = X(j);
    solution = R.data();
  }
  if (!trans)
    permute<true>(perm_out, lx, solution, x_p);
  else
    permute<false>(perm_out, lx, solution, x_p);
  if (JOB >= 2) {
    error[0] = omega[0];
    error[1] = omega[1];
  }
  if (monitor) {
    tbl::io::write(mon.unit, "(/,A,I6)", " Leaving MA48CD with INFO(1) =", info[0]);
    if (JOB > 1)
      tbl::io::write(mon.unit, "(' ERROR =',1P,3D12.4)",
                     tbl::io::Reals{error, (JOB == 4 && info[0] != -9) ? 3 : 2});
    tbl::io::write(mon.unit, "(' X =    ',1P,5D12.4,:,/,(8X,5D12.4))", tbl::io::Reals{x_p, mon.cut(lx)});
  }
}
