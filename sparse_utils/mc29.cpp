// MC29AD: row and column scaling factors of a sparse matrix that bring the
// logarithms of the scaled entries as close to zero as possible in the
// least-squares sense, by conjugate gradients on the normal equations.
#include <cmath>

#include "interface/fmt.hpp"
#include "sparse_utils/coord.hpp"

using tbl::fint;
using tbl::Vec1;

extern "C" {

void MC29AD(const fint* M, const fint* N, const fint* NE, const double* A, const fint* IRN, const fint* ICN,
            double* RLOG, double* CLOG, double* W, const fint* LP, fint* IFAIL) {
  const fint m = *M, n = *N, ne = *NE;
  fint ifail = 0;
  if (m < 1 || n < 1) {
    ifail = -1;
  } else if (ne < 1) {
    ifail = -2;
  }
  *IFAIL = ifail;
  if (ifail != 0) {
    if (*LP > 0)
      tbl::io::write(*LP, "(/,A,/,A,I3)", " **** Error return from MC29AD ****", " IFAIL =", ifail);
    return;
  }

  Vec1<const double> a(A, ne);
  Vec1<const fint> irn(IRN, ne), icn(ICN, ne);
  Vec1<double> r(RLOG, m), c(CLOG, n);
  // The workspace: row counts, column counts, column solution, column
  // direction and the saved row means.
  Vec1<double> rc(W, m), cc(W + m, n), cs(W + m + n, n), cd(W + m + 2 * std::ptrdiff_t{n}, n),
      rm(W + m + 3 * std::ptrdiff_t{n}, m);

  // Entries with a zero value or an index out of range take no part.
  auto used = [&](fint k) {
    const fint i = irn(k), j = icn(k);
    return a(k) != 0.0 && i >= 1 && i <= m && j >= 1 && j <= n;
  };

  for (fint i = 1; i <= m; ++i) {
    r(i) = 0.0;
    rc(i) = 0.0;
  }
  for (fint j = 1; j <= n; ++j) {
    c(j) = 0.0;
    cc(j) = 0.0;
    cs(j) = 0.0;
    cd(j) = 0.0;
  }
  for (fint k = 1; k <= ne; ++k) {
    if (!used(k)) continue;
    const double u = std::log(std::fabs(a(k)));
    const fint i = irn(k), j = icn(k);
    rc(i) += 1.0;
    cc(j) += 1.0;
    r(i) += u;
    cs(j) += u;
  }
  for (fint i = 1; i <= m; ++i) {
    if (rc(i) == 0.0) rc(i) = 1.0;
    r(i) = r(i) / rc(i);
    rm(i) = r(i);
  }
  for (fint j = 1; j <= n; ++j) {
    if (cc(j) == 0.0) cc(j) = 1.0;
    cs(j) = cs(j) / cc(j);
  }

  // The stopping level: the constant is the single-precision 0.1, widened.
  const double sm = static_cast<double>(0.1f) * ne;

  for (fint k = 1; k <= ne; ++k)
    if (used(k)) r(irn(k)) = r(irn(k)) - cs(icn(k)) / rc(irn(k));
  double e = 0.0, q = 1.0, s = 0.0;
  for (fint i = 1; i <= m; ++i) s = s + rc(i) * (r(i) * r(i));

  bool rows_scaled = false;  // true when RLOG already holds rc(i) * residual
  if (s > sm) {
    for (fint iter = 1; iter <= 100; ++iter) {
      for (fint k = 1; k <= ne; ++k)
        if (used(k)) c(icn(k)) = c(icn(k)) + r(irn(k));
      double s1 = s;
      s = 0.0;
      for (fint j = 1; j <= n; ++j) {
        const double v = -c(j) / q;
        c(j) = v / cc(j);
        s = s + v * c(j);
      }
      double e1 = e;
      e = q * s / s1;
      q = 1.0 - e;
      if (s <= sm) e = 0.0;
      for (fint i = 1; i <= m; ++i) r(i) = r(i) * e * rc(i);
      if (s <= sm) {
        rows_scaled = true;
        break;
      }
      const double em = e * e1;
      for (fint k = 1; k <= ne; ++k)
        if (used(k)) r(irn(k)) = r(irn(k)) + c(icn(k));
      s1 = s;
      s = 0.0;
      for (fint i = 1; i <= m; ++i) {
        const double v = -r(i) / q;
        r(i) = v / rc(i);
        s = s + v * r(i);
      }
      e1 = e;
      e = q * s / s1;
      const double q1 = q;
      q = 1.0 - e;
      if (s <= sm) q = 1.0;
      const double qm = q * q1;
      for (fint j = 1; j <= n; ++j) {
        cd(j) = (em * cd(j) + c(j)) / qm;
        cs(j) = cs(j) + cd(j);
      }
      if (s <= sm) break;
      for (fint j = 1; j <= n; ++j) c(j) = c(j) * e * cc(j);
    }
    // Stopping after the last iteration without convergence is silent: the
    // factors reached are still an improvement.
  }
  if (!rows_scaled)
    for (fint i = 1; i <= m; ++i) r(i) = r(i) * rc(i);
  for (fint k = 1; k <= ne; ++k)
    if (used(k)) r(irn(k)) = r(irn(k)) + cs(icn(k));
  for (fint i = 1; i <= m; ++i) r(i) = r(i) / rc(i) - rm(i);
  for (fint j = 1; j <= n; ++j) c(j) = -cs(j);
}

}  // extern "C"
