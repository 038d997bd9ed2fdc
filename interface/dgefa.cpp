// Gaussian elimination with partial pivoting, column by column, in the
// classic layout: U on and above the diagonal, the negated multipliers of L
// below it, IPVT the row exchanged with each pivot row.  The work is done by
// level-1 BLAS along columns.
#include <utility>

#include "interface/blas.hpp"
#include "interface/routines.hpp"

namespace {
constexpr tbl::fint kOne = 1;
}

extern "C" {

void DGEFA(double* a_, const tbl::fint* lda, const tbl::fint* n_, tbl::fint* ipvt_, tbl::fint* info) {
  const tbl::fint n = *n_;
  tbl::Mat1<double> a(a_, *lda);
  tbl::Vec1<tbl::fint> ipvt(ipvt_, n);
  *info = 0;
  // Without this guard an empty matrix would record its last pivot in
  // IPVT(0), before the caller's array.
  if (n < 1) return;
  for (tbl::fint k = 1; k <= n - 1; ++k) {
    const tbl::fint len = n - k + 1;
    const tbl::fint below = n - k;
    const tbl::fint l = idamax_(&len, a.at(k, k), &kOne) + k - 1;
    ipvt(k) = l;
    // A zero column leaves nothing to eliminate; a NaN pivot is not zero.
    if (a(l, k) == 0.0) {
      *info = k;
      continue;
    }
    if (l != k) std::swap(a(l, k), a(k, k));
    double t = -1.0 / a(k, k);
    dscal_(&below, &t, a.at(k + 1, k), &kOne);
    for (tbl::fint j = k + 1; j <= n; ++j) {
      t = a(l, j);
      if (l != k) {
        a(l, j) = a(k, j);
        a(k, j) = t;
      }
      daxpy_(&below, &t, a.at(k + 1, k), &kOne, a.at(k + 1, j), &kOne);
    }
  }
  ipvt(n) = n;
  if (a(n, n) == 0.0) *info = n;
}

void DGESL(const double* a_, const tbl::fint* lda, const tbl::fint* n_, const tbl::fint* ipvt_, double* b_,
           const tbl::fint* job) {
  const tbl::fint n = *n_;
  tbl::Mat1<const double> a(a_, *lda);
  tbl::Vec1<const tbl::fint> ipvt(ipvt_, n);
  tbl::Vec1<double> b(b_, n);
  if (n < 1) return;
  if (*job == 0) {
    // Forward elimination with L, applying the row exchanges as they come.
    for (tbl::fint k = 1; k <= n - 1; ++k) {
      const tbl::fint l = ipvt(k);
      const double t = b(l);
      if (l != k) {
        b(l) = b(k);
        b(k) = t;
      }
      const tbl::fint below = n - k;
      daxpy_(&below, &t, a.at(k + 1, k), &kOne, b.at(k + 1), &kOne);
    }
    // Back substitution with U, by columns.
    for (tbl::fint k = n; k >= 1; --k) {
      b(k) = b(k) / a(k, k);
      const double t = -b(k);
      const tbl::fint above = k - 1;
      daxpy_(&above, &t, a.at(1, k), &kOne, b.at(1), &kOne);
    }
  } else {
    // Solve U' y = b, then L' x = y, undoing the exchanges in reverse.
    for (tbl::fint k = 1; k <= n; ++k) {
      const tbl::fint above = k - 1;
      const double t = ddot_(&above, a.at(1, k), &kOne, b.at(1), &kOne);
      b(k) = (b(k) - t) / a(k, k);
    }
    for (tbl::fint k = n - 1; k >= 1; --k) {
      const tbl::fint below = n - k;
      b(k) = b(k) + ddot_(&below, a.at(k + 1, k), &kOne, b.at(k + 1), &kOne);
      const tbl::fint l = ipvt(k);
      if (l != k) std::swap(b(l), b(k));
    }
  }
}
}
