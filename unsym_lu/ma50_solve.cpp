// MA50CD: solves A x = b or A' x = b with the factors left by MA50BD, and
// MA50_DEFAULTS.
//
// The sparse part is A(:, 1:NP) = L~ U with U unit upper triangular (stored
// negated, by columns) and L~ holding each pivot column's values undivided
// (the pivot itself as its reciprocal), so the forward step divides by the
// pivot as it goes.  The full block is solved by MA50_DENSE_SOLVE.
//
// The sweeps come in two forms: as MA50CD runs them, trusting the factors,
// and checked, for MA48's solve, which must not follow an index that a host
// changed between the phases.  The checked form tests every column pointer
// once before the sweeps (in vector registers), and every row and step index
// before it is followed: in one vector pass over the factor area when the
// block is (nearly) square, else where it is read, one compare against a
// bound fixed for the whole sweep.  The loops are otherwise the same, so
// both forms give the same X bit for bit.  A caller that solves again with
// factors that a checked solve found every index of inside, and that have
// not changed since, runs the sweeps without the tests (solve_tested).
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "interface/common.hpp"
#include "interface/fmt.hpp"
#include "unsym_lu/index_check.hpp"
#include "unsym_lu/ma50.hpp"
#include "unsym_lu/ma50_print.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
namespace io = tbl::io;

using tbl::unsym::at;
using tbl::unsym::gather;
using tbl::unsym::outside;
using tbl::unsym::scatter;

// A pivoting record of the full block that keeps the dense solve inside
// the block: a pivot's row among the MF rows, a column without pivot the
// position (within NF) at which it was set aside.
bool pivots_inside(fint mf, fint nf, const fint* ipiv) {
  fint r = std::min(mf, nf);
  while (r >= 1 && ipiv[r - 1] < 1) --r;
  // Offsets from the first allowed value, as unsigned: the largest of each
  // kind must stay below the count allowed.
  std::uint32_t row = 0, set_aside = 0;
  for (fint k = 0; k < r; ++k) row = std::max(row, at(ipiv[k]));
  for (fint k = r; k < nf; ++k) set_aside = std::max(set_aside, 0u - static_cast<std::uint32_t>(ipiv[k]) - 1u);
  return row < static_cast<std::uint32_t>(mf) && set_aside < static_cast<std::uint32_t>(nf);
}

// The factors' column sweeps, each a function of its own so that its loop
// keeps every pointer in a register.  Column j's U part is at positions
// IPTRL(j-1)+1 .. IPTRU(j) (IPTRL(0) read as 2), its pivot at IPTRU(j)+1 and
// its L part up to IPTRL(j); below, U(j) and L(j) are those ranges as
// 0-based positions [first, end).

// Forward with L (no transpose): W holds b on entry.
template <bool kChecked, bool kLong>
[[gnu::noinline, gnu::aligned(64)]] bool forward_l(fint np, fint m, const double* fact, const fint* irnf,
                                                   const fint* iptrl, const fint* iptru, double* w, double* x) {
  const std::uint32_t rows = static_cast<std::uint32_t>(m);
  for (std::ptrdiff_t j = 0; j < np; ++j) {
    const std::ptrdiff_t u = iptru[j], l = iptrl[j];
    if (u >= l) {  // no pivot in this column
      x[j] = 0.0;
      continue;
    }
    const std::uint32_t p = at(irnf[u]);
    if (outside<kChecked>(p, rows)) return false;
    const double xj = w[p] * fact[u];
    x[j] = xj;
    if (xj != 0.0 && !scatter<0, kChecked, true, kLong>(fact, irnf, u + 1, l, xj, rows, w)) return false;
  }
  return true;
}

// Back substitution with U (no transpose) into X(1:N).
template <bool kChecked, bool kLong>
[[gnu::noinline, gnu::aligned(64)]] bool backward_u(fint n, fint np, const double* fact, const fint* irnf,
                                                    const fint* iptrl, const fint* iptru, double* x) {
  const std::uint32_t steps = static_cast<std::uint32_t>(n);
  // Column j (0-based, j >= 1) adds its U entries times X(j) to earlier
  // unknowns: first the full block's columns, then the sparse ones, where
  // a column without pivot has X(j) = 0 instead.
  std::ptrdiff_t j = n - 1;
  for (; j >= std::max<std::ptrdiff_t>(1, np); --j)
    if (!scatter<0, kChecked, false, kLong>(fact, irnf, iptrl[j - 1], iptru[j], x[j], steps, x)) return false;
  for (; j >= 1; --j) {
    if (iptru[j] >= iptrl[j]) {
      x[j] = 0.0;
      continue;
    }
    if (!scatter<0, kChecked, false, kLong>(fact, irnf, iptrl[j - 1], iptru[j], x[j], steps, x)) return false;
  }
  if (np >= 1 && iptru[0] >= iptrl[0]) x[0] = 0.0;
  return true;
}

// Forward with U' (transpose): W holds b on entry.
template <bool kChecked>
[[gnu::noinline, gnu::aligned(64)]] bool forward_ut(fint n, const double* fact, const fint* irnf, const fint* iptrl,
                                                    const fint* iptru, double* w) {
  const std::uint32_t steps = static_cast<std::uint32_t>(n);
  for (std::ptrdiff_t j = 1; j < n; ++j) {
    const std::ptrdiff_t first = iptrl[j - 1], end = iptru[j];
    if (first >= end) continue;
    double s = w[j];
    if (!gather<0, kChecked, false>(fact, irnf, first, end, s, steps, w)) return false;
    w[j] = s;
  }
  return true;
}

// Back substitution with L' (transpose) into X(1:M).
template <bool kChecked>
[[gnu::noinline, gnu::aligned(64)]] bool backward_lt(fint np, fint m, const double* fact, const fint* irnf,
                                                     const fint* iptrl, const fint* iptru, const double* w,
                                                     double* x) {
  const std::uint32_t rows = static_cast<std::uint32_t>(m);
  for (std::ptrdiff_t j = np - 1; j >= 0; --j) {
    const std::ptrdiff_t u = iptru[j], l = iptrl[j];
    if (u >= l) continue;
    double s = w[j];
    if (!gather<0, kChecked, true>(fact, irnf, u + 1, l, s, rows, x)) return false;
    const std::uint32_t p = at(irnf[u]);
    if (outside<kChecked>(p, rows)) return false;
    x[p] = s * fact[u];
  }
  return true;
}

// The part of the solve below that follows the indices: the sparse
// sweeps and the full block, with BASE = IPTRL(N) and, when CHECKED, the
// structure of the factor area already tested.  ROWS_TESTED: every row
// index of L is tested where it is read; STEPS_TESTED: every step index of
// U (the full block's rows are tested whenever CHECKED).
template <bool kChecked, bool kRowsTested, bool kStepsTested>
bool sweeps(fint m, fint n, fint np, bool trans, fint nblas, fint base, const double* fact, const fint* irnf,
            const fint* iptrl, const fint* iptru, double* w, double* x) {
  const fint mf = irnf[1];
  const fint nf = n - np;
  const bool sparse = !kChecked || np > 0;
  // Untested sweeps gain less from the split over long columns (no tests
  // to pay for), so they take it only over longer ones on average.
  const std::int64_t entries = std::int64_t(base) - 2;
  const bool long_l = tbl::unsym::long_columns(entries, n, kRowsTested ? 6 : 8);
  const bool long_u = tbl::unsym::long_columns(entries, n, kStepsTested ? 6 : 8);
  const fint* rows = irnf + base;  // the full block's rows, then its record

  if (!trans) {
    if (sparse && !(long_l ? forward_l<kRowsTested, true>(np, m, fact, irnf, iptrl, iptru, w, x)
                           : forward_l<kRowsTested, false>(np, m, fact, irnf, iptrl, iptru, w, x)))
      return false;
    if (nf >= 1) {
      if (mf >= 1) {
        // The full block's vector is gathered into W, or, checked and
        // without sparse columns, straight into X, which then needs no copy.
        double* v = kChecked && np == 0 && mf <= n ? x : w;
        for (fint i = 0; i < mf; ++i) {
          const std::uint32_t r = at(rows[i]);
          if (outside<kChecked>(r, static_cast<std::uint32_t>(m))) return false;
          v[i] = w[r];
        }
        const tbl::logical no = tbl::kFalse;
        MA50_DENSE_SOLVE(&no, &mf, &nf, fact + base, &mf, rows + mf, v, &nblas);
        if (v == w)
          for (fint k = 0; k < nf; ++k) x[np + k] = w[k];
      } else {
        for (fint k = np; k < n; ++k) x[k] = 0.0;
      }
    }
    return !sparse || (long_u ? backward_u<kStepsTested, true>(n, np, fact, irnf, iptrl, iptru, x)
                              : backward_u<kStepsTested, false>(n, np, fact, irnf, iptrl, iptru, x));
  }

  for (fint i = 0; i < m; ++i) x[i] = 0.0;
  if (sparse && !forward_ut<kStepsTested>(n, fact, irnf, iptrl, iptru, w)) return false;
  for (fint k = 0; k < nf; ++k) x[k] = w[np + k];
  if (mf >= 1) {
    if (nf >= 1) {
      const tbl::logical yes = tbl::kTrue;
      MA50_DENSE_SOLVE(&yes, &mf, &nf, fact + base, &mf, rows + mf, x, &nblas);
    } else {
      for (fint i = 0; i < mf; ++i) x[i] = 0.0;
    }
    // The full block's rows increase, so moving from the last down never
    // overwrites a value before it has been moved.
    for (fint i = mf - 1; i >= 0; --i) {
      const std::uint32_t r = at(rows[i]);
      if (outside<kChecked>(r, static_cast<std::uint32_t>(m))) return false;
      if (r != static_cast<std::uint32_t>(i)) x[r] = x[i];
    }
  }
  return !sparse || backward_lt<kRowsTested>(np, m, fact, irnf, iptrl, iptru, w, x);
}

// A factor area of at most this many indices (1 MB, with as many reals
// again) stays in the second-level cache between a pass that tests it and
// the solve that follows.
constexpr std::int64_t kSmallArea = 262144;

// The solve proper, from W (which holds b and is overwritten; max(M,N)
// entries when the full block has columns and no transpose, else M, or N
// with the transpose) into X.  CHECKED: the pointers, the full block and its
// record are tested first, every row and step index before it is followed;
// kFault at the first that is out of range (X and W then partly written).
template <bool kChecked>
tbl::ma50::Checked solve(fint m, fint n, fint np, bool trans, fint nblas, fint lfact, const double* fact,
                         const fint* irnf, const fint* iptrl, const fint* iptru, double* w, double* x,
                         bool again = false) {
  using tbl::ma50::Checked;
  auto found = [](bool solved, Checked what) { return solved ? what : Checked::kFault; };
  if (kChecked && (lfact < 2 || static_cast<std::uint32_t>(np) > static_cast<std::uint32_t>(n))) return Checked::kFault;
  const fint mf = irnf[1];
  const fint nf = n - np;
  const fint base = iptrl[n - 1];
  if (kChecked) {
    // Every column range inside positions 3..BASE, then the full block's
    // rows and (with columns) its reals and pivoting record behind BASE.
    // Without sparse columns there are no L or U entries: the sweeps and
    // their pointers are skipped.
    const bool full = nf >= 1 && mf >= 1;
    const std::int64_t behind = full ? std::max<std::int64_t>(std::int64_t(mf) * nf, std::int64_t(mf) + nf) : mf;
    if (static_cast<std::uint32_t>(mf) > static_cast<std::uint32_t>(m) || base < 2 ||
        std::int64_t(base) + behind > lfact || (full && !pivots_inside(mf, nf, irnf + base + mf)) ||
        (np > 0 && !tbl::unsym::both_inside(iptrl, iptru, n, 2, base)))
      return Checked::kFault;
  }
  // One vector pass over every index the sweeps read (positions 3..BASE)
  // against max(M,N) takes fewer instructions than a test at each entry:
  // the sweeps whose bound that is (both for a square block) then run as
  // MA50CD's, and only those of the smaller dimension (L's rows when M < N,
  // U's steps when N < M) test each index as they read it.  When the pass
  // finds an index outside, both test (and fail at it, if they read it).
  // A square block whose pass found every index inside, or a block without
  // sparse columns, has had every index that any later solve follows
  // tested (kAll), so that the pass serves every solve of a call that
  // solves AGAIN.  A single solve takes it only over an area small enough
  // to stay in the second-level cache: over a larger one the pass is a
  // sweep through memory that the solve then makes again, and costs more
  // than the tests, which wait on nothing in sweeps that wait on their
  // loads (bayer10, the 2D operator of 16,384 rows: 7 to 8% of the solve).
  // A block far from square is left to the tests at each entry: its many
  // columns without pivot keep U parts that the sweeps skip, and that the
  // pass would read for nothing.
  const bool near_square = 8 * std::int64_t(std::abs(m - n)) <= std::max(m, n);
  const bool pass = again || std::int64_t(base) - 2 <= kSmallArea;
  if (kChecked && np > 0 && near_square && pass &&
      tbl::unsym::all_inside(irnf + 2, std::ptrdiff_t(base) - 2, 1, std::max(m, n))) {
    if (m == n)
      return found(sweeps<true, false, false>(m, n, np, trans, nblas, base, fact, irnf, iptrl, iptru, w, x),
                   Checked::kAll);
    if (m < n)
      return found(sweeps<true, true, false>(m, n, np, trans, nblas, base, fact, irnf, iptrl, iptru, w, x),
                   Checked::kSolved);
    return found(sweeps<true, false, true>(m, n, np, trans, nblas, base, fact, irnf, iptrl, iptru, w, x),
                 Checked::kSolved);
  }
  return found(sweeps<kChecked, kChecked, kChecked>(m, n, np, trans, nblas, base, fact, irnf, iptrl, iptru, w, x),
               kChecked && np > 0 ? Checked::kSolved : Checked::kAll);
}

// B serves as the working vector unless the full block's solve needs more
// entries than it has: its vector holds max(MF, N-NP) entries, and MF <= M
// (tested by the checked solve, which fails for an NP outside 0..N).
double* working_vector(fint m, fint n, fint np, bool trans, double* b, double* w) {
  if (trans || std::int64_t(n) - np <= m) return b;
  std::copy(b, b + m, w);
  return w;
}

}  // namespace

tbl::ma50::Checked tbl::ma50::solve_checked(fint m, fint n, fint np, bool trans, fint nblas, fint lfact,
                                            const double* fact, const fint* irnf, const fint* iptrl,
                                            const fint* iptru, double* b, double* x, double* w, bool again) {
  return ::solve<true>(m, n, np, trans, nblas, lfact, fact, irnf, iptrl, iptru, working_vector(m, n, np, trans, b, w),
                       x, again);
}

bool tbl::ma50::solve_tested(fint m, fint n, fint np, bool trans, fint nblas, const double* fact, const fint* irnf,
                             const fint* iptrl, const fint* iptru, double* b, double* x, double* w) {
  return sweeps<true, false, false>(m, n, np, trans, nblas, iptrl[n - 1], fact, irnf, iptrl, iptru,
                                    working_vector(m, n, np, trans, b, w), x);
}

extern "C" {

void MA50_DEFAULTS(double* CNTL, fint* ICNTL) {
  CNTL[0] = 0.5;
  CNTL[1] = 0.1;
  CNTL[2] = 0.0;
  CNTL[3] = 0.0;
  const fint defaults[7] = {6, 6, 1, 3, 32, 0, 0};
  std::copy(defaults, defaults + 7, ICNTL);
}

void MA50CD(const fint* M, const fint* N, const fint* ICNTL, const fint* IQ, const fint* NP,
            const tbl::logical* TRANS, const fint* LFACT, const double* FACT, const fint* IRNF, const fint* IPTRL,
            const fint* IPTRU, const double* B, double* X, double* W, fint* INFO) {
  const fint m = *M, n = *N, np = *NP;
  const fint level = ICNTL[2];
  const fint err = (level >= 1 && ICNTL[0] > 0) ? ICNTL[0] : 0;
  const fint mon = (level >= 2 && ICNTL[1] > 0) ? ICNTL[1] : 0;
  if (m < 1 || n < 1) {
    INFO[0] = -1;
    if (err != 0) {
      io::write(err, "(/,A,/,2(A,I8))", " **** Error return from MA50CD ****", " M =", m, " N =", n);
    }
    return;
  }
  const bool trans = tbl::is_true(*TRANS);
  const fint mf = IRNF[1];
  const fint nf = n - np;
  Vec1<const fint> iq(IQ);
  Vec1<double> x(X), w(W);
  const bool permuted = iq(1) > 0;

  if (mon != 0 && level >= 3) {
    io::write(mon, "(/,2(A,I6),A,I4,A,L2)", " Entering MA50CD with M=", m, " N =", n, " NP =", np, " TRANS =",
              io::Lgl{*TRANS});
    io::write(mon, "(A,I5,A,I5)", " Size of full submatrix", mf, " by", nf);
    if (level >= 4) {
      tbl::ma50::print_factors(mon, m, n, np, FACT, IRNF, IPTRL, IPTRU);
      io::write(mon, "(A4,5F10.4,:,/,(4X,5F10.4))", " B =", io::Reals{B, trans ? n : m});
    }
  }

  // The right-hand side into W (in the column order for the transpose).
  if (!trans)
    std::copy(B, B + m, W);
  else
    for (fint j = 1; j <= n; ++j) w(j) = permuted ? B[iq(j) - 1] : B[j - 1];
  solve<false>(m, n, np, trans, ICNTL[4], *LFACT, FACT, IRNF, IPTRL, IPTRU, W, X);
  if (!trans && permuted) {
    for (fint j = 1; j <= n; ++j) w(j) = x(j);
    for (fint j = 1; j <= n; ++j) x(iq(j)) = w(j);
  }

  if (mon != 0 && level >= 4) {
    io::write(mon, "(A,/,(4X,5F10.4))", " Leaving MA50CD with X =", io::Reals{X, trans ? m : n});
  }
}

}  // extern "C"
