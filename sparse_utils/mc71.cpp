// 1-norm estimation by reverse communication: power-like steps on sign and
// unit vectors, then a check with an alternating-sign vector that catches
// matrices on which the power steps stall.
//
// The routine keeps nothing of its own between calls: the stage to resume,
// the iteration count and the two column indices live in KEEP, the last
// product in W and the previous sign vector in IW.  Two estimates can thus
// run interleaved, each on its own arrays.
#include "sparse_utils/mc71.hpp"

#include <cmath>
#include <cstdint>

#include "interface/blas.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;

constexpr fint kMaxIter = 5;

// Zero of either sign, and NaN, count as positive.
inline double sign_of(double x) { return x < 0.0 ? -1.0 : 1.0; }

enum Stage : fint { kStart = 1, kTransposeOfSigns = 2, kColumn = 3, kNextTranspose = 4, kAlternating = 5 };

}  // namespace

extern "C" void MC71AD(const fint* n_, fint* kase, double* x_, double* est, double* w_, fint* iw_, fint* keep) {
  const fint n = *n_;
  if (n < 1) {
    *kase = -1;
    return;
  }
  Vec1<double> x(x_, n), w(w_, n);
  Vec1<fint> isgn(iw_, n);

  if (*kase == 0) {
    for (fint i = 1; i <= n; ++i) x(i) = 1.0 / n;
    *kase = 1;
    keep[0] = kStart;
    keep[1] = keep[2] = keep[3] = 0;
    return;
  }

  fint jump = keep[0];
  fint iter = keep[1];
  fint j = keep[2];
  fint jlast = keep[3];
  const fint one = 1;

  auto save = [&](fint next_kase) {
    *kase = next_kase;
    keep[0] = jump;
    keep[1] = iter;
    keep[2] = j;
    keep[3] = jlast;
  };
  // Ask for the column B*e_j.
  auto request_unit_vector = [&]() {
    for (fint i = 1; i <= n; ++i) x(i) = 0.0;
    x(j) = 1.0;
    jump = kColumn;
    save(1);
  };
  // EST from the last column; then ask for B times the alternating vector,
  // whose entries grow from 1 to 2 in magnitude.
  auto final_check = [&]() {
    double sum = 0.0;
    for (fint i = 1; i <= n; ++i) sum += std::fabs(w(i));
    *est = sum;
    double altsgn = 1.0;
    for (fint i = 1; i <= n; ++i) {
      x(i) = altsgn * (1.0 + static_cast<double>(i - 1) / static_cast<double>(n - 1));
      altsgn = -altsgn;
    }
    jump = kAlternating;
    save(1);
  };
  // Replace X by its sign vector, remember it in IW, and ask for B'*X.
  auto request_transpose_of_signs = [&](fint next_jump) {
    for (fint i = 1; i <= n; ++i) {
      x(i) = sign_of(x(i));
      isgn(i) = static_cast<fint>(x(i));
    }
    jump = next_jump;
    save(2);
  };

  switch (jump) {
    case kTransposeOfSigns:
      j = idamax_(&n, x_, &one);
      iter = 2;
      request_unit_vector();
      return;

    case kColumn: {
      for (fint i = 1; i <= n; ++i) w(i) = x(i);
      bool repeats = true;
      for (fint i = 1; i <= n; ++i) {
        if (static_cast<fint>(sign_of(x(i))) != isgn(i)) {
          repeats = false;
          break;
        }
      }
      if (repeats) {
        final_check();
      } else {
        request_transpose_of_signs(kNextTranspose);
      }
      return;
    }

    case kNextTranspose:
      jlast = j;
      j = idamax_(&n, x_, &one);
      if (std::fabs(x(jlast)) == std::fabs(x(j)) || iter >= kMaxIter) {
        final_check();
      } else {
        ++iter;
        request_unit_vector();
      }
      return;

    case kAlternating: {
      double sum = 0.0;
      for (fint i = 1; i <= n; ++i) sum += std::fabs(x(i));
      // 3N in 64 bits: the value is the same, and no order overflows.
      const double temp = 2.0 * sum / static_cast<double>(3 * static_cast<std::int64_t>(n));
      if (temp > *est) {
        for (fint i = 1; i <= n; ++i) w(i) = x(i);
        *est = temp;
      }
      save(0);
      return;
    }

    default:  // kStart, and any value a caller may have left in KEEP(1)
      if (n == 1) {
        w(1) = x(1);
        *est = std::fabs(x(1));
        save(0);
        return;
      }
      request_transpose_of_signs(kTransposeOfSigns);
      return;
  }
}
