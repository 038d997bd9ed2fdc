// The one test for values that are not finite that the solvers share.
#pragma once

#include <cstdint>

namespace tbl {

// True when every one of N reals is finite.  x - x is 0 for a finite x and
// NaN for an Inf or a NaN, and a NaN stays in a sum; eight at a time in four
// sums, branch-free, so that the check over a whole matrix or a block's
// factors costs about two instructions a value.
inline bool all_finite(const double* x, std::int64_t n) {
  using D2 = double __attribute__((vector_size(16)));
  D2 s0 = {0.0, 0.0}, s1 = s0, s2 = s0, s3 = s0;
  std::int64_t p = 0;
  for (; p + 8 <= n; p += 8) {
    D2 v0, v1, v2, v3;
    __builtin_memcpy(&v0, x + p, sizeof v0);
    __builtin_memcpy(&v1, x + p + 2, sizeof v1);
    __builtin_memcpy(&v2, x + p + 4, sizeof v2);
    __builtin_memcpy(&v3, x + p + 6, sizeof v3);
    s0 += v0 - v0;
    s1 += v1 - v1;
    s2 += v2 - v2;
    s3 += v3 - v3;
  }
  s0 += s1 + s2 + s3;
  double s = s0[0] + s0[1];
  for (; p < n; ++p) s += x[p] - x[p];
  return s == s;
}

}  // namespace tbl
