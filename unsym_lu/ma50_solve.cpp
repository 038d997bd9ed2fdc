// MA50CD: solves A x = b or A' x = b with the factors left by MA50BD, and
// MA50_DEFAULTS.
//
// The sparse part is A(:, 1:NP) = L~ U with U unit upper triangular (stored
// negated, by columns) and L~ holding each pivot column's values undivided
// (the pivot itself as its reciprocal), so the forward step divides by the
// pivot as it goes.  The full block is solved by MA50_DENSE_SOLVE.
#include <algorithm>
#include <cstdint>

#include "interface/common.hpp"
#include "interface/fmt.hpp"
#include "unsym_lu/ma50.hpp"
#include "unsym_lu/ma50_print.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
namespace io = tbl::io;

// A pivoting record of the full block that keeps the dense solve inside
// the block: a pivot's row among the MF rows, a column without pivot the
// position (within NF) at which it was set aside.
bool pivots_inside(fint mf, fint nf, const fint* ipiv) {
  fint r = std::min(mf, nf);
  while (r >= 1 && ipiv[r - 1] < 1) --r;
  for (fint k = 0; k < nf; ++k)
    if (k < r ? ipiv[k] < 1 || ipiv[k] > mf : ipiv[k] < -nf || ipiv[k] > -1) return false;
  return true;
}

// The solve proper.  CHECKED: every pointer and index read from IPTRL,
// IPTRU and IRNF is tested where it is first followed (pointers against
// LFACT, row indices against M, U step numbers against the column that
// names them, the full block and its pivoting record against the area), at
// the cost of a compare or two in loops that read the word anyway.  Returns
// false at the first one out of range, with X and W then only partly
// written.
template <bool kChecked>
bool ma50_solve(fint m, fint n, fint np, bool trans, fint nblas, fint lfact, const double* FACT, const fint* IRNF,
                const fint* IPTRL, const fint* IPTRU, const fint* IQ, const double* B, double* X, double* W) {
  const bool permuted = IQ != nullptr && IQ[0] > 0;
  Vec1<const fint> iq(IQ);
  Vec1<const double> fact(FACT, lfact), b(B);
  Vec1<const fint> irnf(IRNF, lfact), iptrl(IPTRL, n), iptru(IPTRU, n);
  Vec1<double> x(X), w(W, std::max(m, n));
  if (kChecked && (lfact < 2 || np < 0 || np > n)) return false;
  const fint mf = irnf(2);
  const fint nf = n - np;
  const fint base = iptrl(n);
  // Column j's U part is u_before(j)+1 .. iptru(j) (iptrl(0) is read as 2).
  auto u_before = [&](fint j) { return j == 1 ? 2 : iptrl(j - 1); };
  auto has_pivot = [&](fint j) { return iptru(j) < iptrl(j); };
  // An index v that must lie in 1..bound.
  auto outside = [](fint v, fint bound) {
    return kChecked && static_cast<std::uint32_t>(v) - 1u >= static_cast<std::uint32_t>(bound);
  };
  // Positions first+1 .. last, when not empty, that leave the area.
  auto leaves = [&](fint first, fint last) { return kChecked && first < last && (first < 0 || last > lfact); };
  // The full block: its rows, then (with columns) its reals and pivoting
  // record, inside the area.
  if (kChecked && (mf < 0 || mf > m || (mf >= 1 && (base < 0 || std::int64_t(base) + mf > lfact)))) return false;
  if (kChecked && nf >= 1 && mf >= 1 &&
      (std::int64_t(base) + std::max<std::int64_t>(std::int64_t(mf) * nf, std::int64_t(mf) + nf) > lfact ||
       !pivots_inside(mf, nf, IRNF + base + mf)))
    return false;

  if (!trans) {
    for (fint i = 1; i <= m; ++i) w(i) = b(i);
    for (fint j = 1; j <= np; ++j) {
      if (!has_pivot(j)) {
        if (kChecked && iptrl(j) < iptru(j)) return false;
        x(j) = 0.0;
        continue;
      }
      const fint pp = iptru(j) + 1;
      if (leaves(pp - 1, iptrl(j)) || outside(irnf(pp), m)) return false;
      const double xj = w(irnf(pp)) * fact(pp);
      x(j) = xj;
      if (xj == 0.0) continue;
      for (fint l = pp + 1; l <= iptrl(j); ++l) {
        if (outside(irnf(l), m)) return false;
        w(irnf(l)) -= fact(l) * xj;
      }
    }
    if (nf >= 1) {
      if (mf >= 1) {
        for (fint i = 1; i <= mf; ++i) {
          if (outside(irnf(base + i), m)) return false;
          w(i) = w(irnf(base + i));
        }
        const tbl::logical no = tbl::kFalse;
        MA50_DENSE_SOLVE(&no, &mf, &nf, fact.at(base + 1), &mf, irnf.at(base + mf + 1), W, &nblas);
        for (fint k = 1; k <= nf; ++k) x(np + k) = w(k);
      } else {
        for (fint k = np + 1; k <= n; ++k) x(k) = 0.0;
      }
    }
    for (fint j = n; j >= 2; --j) {
      if (j <= np && !has_pivot(j)) {
        x(j) = 0.0;
        continue;
      }
      const double xj = x(j);
      const fint u0 = u_before(j), u1 = iptru(j);
      if (u0 >= u1) {
        if (kChecked && u0 > u1) return false;  // the pointers never decrease
        continue;
      }
      if (leaves(u0, u1)) return false;
      for (fint q = u0 + 1; q <= u1; ++q) {
        if (outside(irnf(q), j - 1)) return false;
        x(irnf(q)) += fact(q) * xj;
      }
    }
    if (np >= 1 && !has_pivot(1)) x(1) = 0.0;
    if (permuted) {
      for (fint j = 1; j <= n; ++j) w(j) = x(j);
      for (fint j = 1; j <= n; ++j) x(iq(j)) = w(j);
    }
  } else {
    for (fint j = 1; j <= n; ++j) w(j) = permuted ? b(iq(j)) : b(j);
    for (fint i = 1; i <= m; ++i) x(i) = 0.0;
    for (fint j = 2; j <= n; ++j) {
      const fint u0 = u_before(j), u1 = iptru(j);
      if (u0 >= u1) {
        if (kChecked && u0 > u1) return false;
        continue;
      }
      if (leaves(u0, u1)) return false;
      double s = w(j);
      for (fint q = u0 + 1; q <= u1; ++q) {
        if (outside(irnf(q), j - 1)) return false;
        s += fact(q) * w(irnf(q));
      }
      w(j) = s;
    }
    if (nf >= 1) {
      for (fint k = 1; k <= nf; ++k) x(k) = w(np + k);
    }
    if (mf >= 1) {
      if (nf >= 1) {
        const tbl::logical yes = tbl::kTrue;
        MA50_DENSE_SOLVE(&yes, &mf, &nf, fact.at(base + 1), &mf, irnf.at(base + mf + 1), X, &nblas);
      } else {
        for (fint i = 1; i <= mf; ++i) x(i) = 0.0;
      }
      // The full block's rows increase, so moving from the last down never
      // overwrites a value before it has been moved.
      for (fint i = mf; i >= 1; --i) {
        const fint r = irnf(base + i);
        if (outside(r, m)) return false;
        if (r != i) x(r) = x(i);
      }
    }
    for (fint j = np; j >= 1; --j) {
      if (!has_pivot(j)) {
        if (kChecked && iptrl(j) < iptru(j)) return false;
        continue;
      }
      const fint pp = iptru(j) + 1;
      if (leaves(pp - 1, iptrl(j)) || outside(irnf(pp), m)) return false;
      double s = w(j);
      for (fint l = pp + 1; l <= iptrl(j); ++l) {
        if (outside(irnf(l), m)) return false;
        s -= fact(l) * x(irnf(l));
      }
      x(irnf(pp)) = s * fact(pp);
    }
  }
  return true;
}

}  // namespace

bool tbl::ma50::solve_checked(fint m, fint n, fint np, bool trans, fint nblas, fint lfact, const double* fact,
                              const fint* irnf, const fint* iptrl, const fint* iptru, const double* b, double* x,
                              double* w) {
  return ma50_solve<true>(m, n, np, trans, nblas, lfact, fact, irnf, iptrl, iptru, nullptr, b, x, w);
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

  if (mon != 0 && level >= 3) {
    io::write(mon, "(/,2(A,I6),A,I4,A,L2)", " Entering MA50CD with M=", m, " N =", n, " NP =", np, " TRANS =",
              io::Lgl{*TRANS});
    io::write(mon, "(A,I5,A,I5)", " Size of full submatrix", mf, " by", nf);
    if (level >= 4) {
      tbl::ma50::print_factors(mon, m, n, np, FACT, IRNF, IPTRL, IPTRU);
      io::write(mon, "(A4,5F10.4,:,/,(4X,5F10.4))", " B =", io::Reals{B, trans ? n : m});
    }
  }

  ma50_solve<false>(m, n, np, trans, ICNTL[4], *LFACT, FACT, IRNF, IPTRL, IPTRU, IQ, B, X, W);

  if (mon != 0 && level >= 4) {
    io::write(mon, "(A,/,(4X,5F10.4))", " Leaving MA50CD with X =", io::Reals{X, trans ? m : n});
  }
}

}  // extern "C"
