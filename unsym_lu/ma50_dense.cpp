// Dense LU of the full block of the MA50 factorisation, and the solve with
// it.  The three factorisations compute the same decomposition (Crout order,
// partial pivoting by rows, columns without an acceptable pivot moved to the
// end); they differ only in how the work is given to BLAS, so that ICNTL(5)
// can trade the level-3 panels against simpler code paths for small blocks.
//
// Pivoting record IPIV(k): for a pivot position k <= RANK the row that was
// exchanged with row k; for a column moved to position k without a pivot,
// minus the pivot position at which it was rejected (the position it was
// exchanged with).
#include <algorithm>
#include <cmath>

#include "interface/blas.hpp"
#include "interface/common.hpp"
#include "unsym_lu/ma50.hpp"

namespace {

using tbl::fint;
using tbl::Mat1;
using tbl::Vec1;

constexpr fint kOne = 1;
constexpr double kMinusOne = -1.0;
constexpr double kPlusOne = 1.0;

// A negative tolerance must not let an exact zero through as a pivot.
double pivot_tolerance(const double* cntl4) { return std::max(*cntl4, 0.0); }

void gemv(const char* trans, fint m, fint n, const double* a, fint lda, const double* x, fint incx, double* y,
          fint incy) {
  if (m <= 0 || n <= 0) return;
  dgemv_(trans, &m, &n, &kMinusOne, a, &lda, x, &incx, &kPlusOne, y, &incy, 1);
}

void swap_rows(fint ncols, double* x, double* y, fint lda) {
  if (ncols <= 0 || x == y) return;
  dswap_(&ncols, x, &lda, y, &lda);
}

void swap_columns(fint m, double* x, double* y) {
  if (m <= 0 || x == y) return;
  dswap_(&m, x, &kOne, y, &kOne);
}

// Pivot of the candidate column r: the row of largest magnitude in rows
// r..m, recorded in IPIV(r).  Returns that row when its magnitude exceeds
// the tolerance, else 0 (always 0 once r > m: no rows are left).
fint accept_pivot(const Mat1<double>& a, fint m, fint r, double tol, Vec1<fint>& ipiv) {
  if (r > m) return 0;
  fint len = m - r + 1;
  const fint p = r - 1 + idamax_(&len, a.at(r, r), &kOne);
  ipiv(r) = p;
  return std::fabs(a(p, r)) > tol ? p : 0;
}

// Rejected candidate at position r: clear its unfinished part, move it
// behind the columns still to be processed and remember where it came from.
void reject_column(const Mat1<double>& a, fint m, fint r, fint& nlast, Vec1<fint>& ipiv) {
  for (fint i = r; i <= m; ++i) a(i, r) = 0.0;
  if (r != nlast) swap_columns(m, a.at(1, r), a.at(1, nlast));
  ipiv(nlast) = -r;
  --nlast;
}

void scale_below(const Mat1<double>& a, fint m, fint r) {
  if (r >= m) return;
  fint len = m - r;
  double s = 1.0 / a(r, r);
  dscal_(&len, &s, a.at(r + 1, r), &kOne);
}

}  // namespace

extern "C" {

void MA50_DENSE_FACTOR2(const fint* M, const fint* N, double* A, const fint* LDA, const double* CNTL4,
                        fint* IPIV, fint* RANK) {
  const fint m = *M, n = *N, lda = *LDA;
  const double tol = pivot_tolerance(CNTL4);
  Mat1<double> a(A, lda);
  Vec1<fint> ipiv(IPIV, n);
  fint r = 1, nlast = n;
  while (r <= nlast) {
    // Rows above r already hold this column's U part (each accepted pivot
    // updates its row of U to the right), so only the rows below remain.
    if (r <= m) gemv("N", m - r + 1, r - 1, a.at(r, 1), lda, a.at(1, r), 1, a.at(r, r), 1);
    const fint p = accept_pivot(a, m, r, tol, ipiv);
    if (p == 0) {
      reject_column(a, m, r, nlast, ipiv);
      continue;
    }
    if (p != r) swap_rows(nlast, a.at(r, 1), a.at(p, 1), lda);
    scale_below(a, m, r);
    gemv("T", r - 1, nlast - r, a.at(1, r + 1), lda, a.at(r, 1), lda, a.at(r, r + 1), lda);
    ++r;
  }
  *RANK = r - 1;
}

void MA50_DENSE_FACTOR1(const fint* M, const fint* N, double* A, const fint* LDA, const double* CNTL4,
                        fint* IPIV, fint* RANK) {
  const fint m = *M, n = *N, lda = *LDA;
  const double tol = pivot_tolerance(CNTL4);
  Mat1<double> a(A, lda);
  Vec1<fint> ipiv(IPIV, n);
  fint r = 1, nlast = n;
  while (r <= nlast) {
    // Left-looking: the whole column (U part and below) is brought up to
    // date here, one earlier pivot at a time.
    for (fint k = 1; k < r && k < m; ++k) {
      fint len = m - k;
      double alpha = -a(k, r);
      daxpy_(&len, &alpha, a.at(k + 1, k), &kOne, a.at(k + 1, r), &kOne);
    }
    const fint p = accept_pivot(a, m, r, tol, ipiv);
    if (p == 0) {
      reject_column(a, m, r, nlast, ipiv);
      continue;
    }
    if (p != r) swap_rows(nlast, a.at(r, 1), a.at(p, 1), lda);
    scale_below(a, m, r);
    ++r;
  }
  *RANK = r - 1;
}

void MA50_DENSE_FACTOR3(const fint* M, const fint* N, double* A, const fint* LDA, const fint* NB,
                        const double* CNTL4, fint* IPIV, fint* RANK) {
  const fint m = *M, n = *N, lda = *LDA;
  const fint nb = std::max<fint>(1, std::min(*NB, n));
  const double tol = pivot_tolerance(CNTL4);
  Mat1<double> a(A, lda);
  Vec1<fint> ipiv(IPIV, n);
  fint r = 1, nlast = n;
  while (r <= nlast) {
    const fint r0 = r;
    fint pend = std::min(r0 + nb - 1, nlast);
    // Inside the panel the column method runs with every update limited to
    // the panel; the rest of the matrix is brought up to date once per
    // panel by DTRSM and DGEMM.
    while (r <= pend) {
      if (r <= m) gemv("N", m - r + 1, r - r0, a.at(r, r0), lda, a.at(r0, r), 1, a.at(r, r), 1);
      const fint p = accept_pivot(a, m, r, tol, ipiv);
      if (p != 0) {
        if (p != r) swap_rows(pend - r0 + 1, a.at(r, r0), a.at(p, r0), lda);
        scale_below(a, m, r);
        gemv("T", r - r0, pend - r, a.at(r0, r + 1), lda, a.at(r, r0), lda, a.at(r, r + 1), lda);
        ++r;
        continue;
      }
      const bool incoming_outside = nlast > pend;
      reject_column(a, m, r, nlast, ipiv);
      if (!incoming_outside) {
        pend = nlast;
        continue;
      }
      // The column brought in from beyond the panel has not seen the
      // panel's interchanges nor its rows of U yet.
      for (fint k = r0; k < r; ++k) {
        if (ipiv(k) != k) std::swap(a(k, r), a(ipiv(k), r));
      }
      fint npiv = r - r0;
      if (npiv > 0) dtrsv_("L", "N", "U", &npiv, a.at(r0, r0), &lda, a.at(r0, r), &kOne, 1, 1, 1);
    }
    const fint npiv = r - r0;
    if (npiv == 0) continue;
    const fint nright = nlast - pend;
    for (fint k = r0; k < r; ++k) {
      const fint p = ipiv(k);
      if (p == k) continue;
      swap_rows(r0 - 1, a.at(k, 1), a.at(p, 1), lda);
      swap_rows(nright, a.at(k, pend + 1), a.at(p, pend + 1), lda);
    }
    if (nright > 0) {
      fint nr = nright, np = npiv;
      dtrsm_("L", "L", "N", "U", &np, &nr, &kPlusOne, a.at(r0, r0), &lda, a.at(r0, pend + 1), &lda, 1, 1, 1,
             1);
      fint mrest = m - r + 1;
      if (mrest > 0) {
        dgemm_("N", "N", &mrest, &nr, &np, &kMinusOne, a.at(r, r0), &lda, a.at(r0, pend + 1), &lda, &kPlusOne,
               a.at(r, pend + 1), &lda, 1, 1);
      }
    }
  }
  *RANK = r - 1;
}

void MA50_DENSE_SOLVE(const tbl::logical* TRANS, const fint* M, const fint* N, const double* A, const fint* LDA,
                      const fint* IPIV, double* X, const fint* NBLAS) {
  const fint m = *M, n = *N, lda = *LDA;
  Mat1<const double> a(A, lda);
  Vec1<const fint> ipiv(IPIV, n);
  Vec1<double> x(X, std::max(m, n));
  const bool use_blas = *NBLAS > 0;
  // Rank: the trailing positions hold columns moved to the end without a
  // pivot.  A block of rank 0 has no pivot at all, so the scan stops at 0.
  fint r = std::min(m, n);
  while (r >= 1 && ipiv(r) < 1) --r;

  if (!tbl::is_true(*TRANS)) {
    for (fint k = 1; k <= r; ++k) std::swap(x(k), x(ipiv(k)));
    if (r > 0 && use_blas) {
      fint rr = r;
      dtrsv_("L", "N", "U", &rr, A, &lda, X, &kOne, 1, 1, 1);
      dtrsv_("U", "N", "N", &rr, A, &lda, X, &kOne, 1, 1, 1);
    } else if (r > 0) {
      for (fint j = 1; j < r; ++j) {
        if (x(j) == 0.0) continue;
        fint len = r - j;
        double alpha = -x(j);
        daxpy_(&len, &alpha, a.at(j + 1, j), &kOne, x.at(j + 1), &kOne);
      }
      for (fint j = r; j >= 2; --j) {
        if (x(j) == 0.0) continue;
        x(j) /= a(j, j);
        fint len = j - 1;
        double alpha = -x(j);
        daxpy_(&len, &alpha, a.at(1, j), &kOne, x.at(1), &kOne);
      }
      x(1) /= a(1, 1);
    }
    for (fint k = r + 1; k <= n; ++k) x(k) = 0.0;
    for (fint k = r + 1; k <= n; ++k) std::swap(x(k), x(-ipiv(k)));
    return;
  }

  for (fint k = n; k >= r + 1; --k) std::swap(x(k), x(-ipiv(k)));
  if (r > 0 && use_blas) {
    fint rr = r;
    dtrsv_("U", "T", "N", &rr, A, &lda, X, &kOne, 1, 1, 1);
    dtrsv_("L", "T", "U", &rr, A, &lda, X, &kOne, 1, 1, 1);
  } else if (r > 0) {
    x(1) /= a(1, 1);
    for (fint j = 2; j <= r; ++j) {
      fint len = j - 1;
      x(j) = (x(j) - ddot_(&len, a.at(1, j), &kOne, x.at(1), &kOne)) / a(j, j);
    }
    for (fint j = r - 1; j >= 1; --j) {
      fint len = r - j;
      x(j) -= ddot_(&len, a.at(j + 1, j), &kOne, x.at(j + 1), &kOne);
    }
  }
  for (fint k = r + 1; k <= m; ++k) x(k) = 0.0;
  for (fint k = r; k >= 1; --k) std::swap(x(k), x(ipiv(k)));
}

}  // extern "C"
