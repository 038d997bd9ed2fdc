// MC09AD: Y := Y + A X or Y := Y + A' X for A held by columns.
#include "sparse_utils/coord.hpp"

using tbl::fint;
using tbl::logical;

extern "C" {

TBL_EXPORT void MC09AD(const fint* /*M*/, const fint* N, const double* A, const double* X, double* Y,
                       const logical* TRANS, const fint* IRN, const fint* IP) {
  const fint n = *N;
  if (n < 1) return;
  tbl::Vec1<const double> a(A), x(X);
  tbl::Vec1<double> y(Y);
  tbl::Vec1<const fint> irn(IRN), ip(IP);

  if (!tbl::is_true(*TRANS)) {
    for (fint j = 1; j <= n; ++j) {
      const double xj = x(j);
      const fint end = ip(j + 1);
      for (fint k = ip(j); k < end; ++k) y(irn(k)) += a(k) * xj;
    }
    return;
  }

  // The transposed product is a dot product per column.  Eight independent
  // partial sums break the chain of dependent additions, so the gathers of
  // one run of eight overlap.
  for (fint j = 1; j <= n; ++j) {
    fint k = ip(j);
    const fint end = ip(j + 1);
    if (k >= end) continue;
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0, s5 = 0.0, s6 = 0.0, s7 = 0.0;
    for (; end - k >= 8; k += 8) {
      s0 += a(k) * x(irn(k));
      s1 += a(k + 1) * x(irn(k + 1));
      s2 += a(k + 2) * x(irn(k + 2));
      s3 += a(k + 3) * x(irn(k + 3));
      s4 += a(k + 4) * x(irn(k + 4));
      s5 += a(k + 5) * x(irn(k + 5));
      s6 += a(k + 6) * x(irn(k + 6));
      s7 += a(k + 7) * x(irn(k + 7));
    }
    double tail = 0.0;
    for (; k < end; ++k) tail += a(k) * x(irn(k));
    y(j) += ((s0 + s1) + (s2 + s3)) + ((s4 + s5) + (s6 + s7)) + tail;
  }
}

}  // extern "C"
