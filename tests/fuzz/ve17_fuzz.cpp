// VE17AD with small problems: dimensions and leading dimensions around
// their minima, equality counts in and out of range, workspace lengths
// around the least accepted, tolerances and values including 0, NaN, Inf
// and extremes, and now and then a Hessian made positive definite so that
// the active-set iteration runs, that one at times scaled far from 1.  A
// success must come with a finite X that meets every constraint to within
// the documented allowance, checked here in extended precision (with twice
// the allowance, for the rounding of the check itself): anything else stops
// the run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "TesselBasicLib.h"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const int32_t n = in.range(-1, 8), m = in.range(-1, 10);
  const int32_t meq = in.range(-1, std::max(m, 0) + 1);
  const int64_t nn = std::max(n, 0), mm = std::max(m, 0);
  const int32_t lh = in.length(nn), la = in.length(nn);
  const int32_t lw = in.length(2 * nn * nn + 4 * nn + 3 * mm + 1);
  HostArray<double> h(std::max<int64_t>(lh, 0) * nn), g(nn), a(std::max<int64_t>(la, 0) * mm), b(mm), x(nn),
      u(mm), w(lw);
  HostArray<int32_t> iact(mm);
  const bool convex = in.flag();
  for (int64_t k = 0; k < h.size(); ++k) h[k] = convex ? in.real() * 0.01 : in.real();
  if (convex && lh >= n) {
    // Diagonally dominant: symmetric positive definite in its upper triangle.
    for (int64_t j = 0; j < nn; ++j) h[j * lh + j] = 1.0 + nn + std::fabs(in.real());
    for (int64_t j = 0; j < nn; ++j)
      for (int64_t i = 0; i < j; ++i)
        if (!std::isfinite(h[j * lh + i])) h[j * lh + i] = 0.0;
  }
  for (int64_t k = 0; k < g.size(); ++k) g[k] = in.real();
  for (int64_t k = 0; k < a.size(); ++k) a[k] = in.real();
  for (int64_t k = 0; k < b.size(); ++k) b[k] = in.real();
  const double tol = in.flag() ? 1e-10 : in.real();
  // A scale of the positive definite Hessian, to reach minima far out or
  // beyond range: read last and mostly 1, so that the inputs stored before
  // it decode as they did.
  static const double kScales[8] = {1e-300, 1e-150, 1e-20, 1e20, 1e150, 1e300, 4.9406564584124654e-324, 1e-8};
  const std::uint8_t pick = in.byte();
  const double scale = pick >= 248 ? kScales[pick - 248] : 1.0;
  if (convex && scale != 1.0)
    for (int64_t k = 0; k < h.size(); ++k) h[k] *= scale;
  int32_t nact = -5, inform = -5;
  VE17AD(&n, &m, &meq, h.data(), &lh, g.data(), a.data(), &la, b.data(), x.data(), u.data(), iact.data(), &nact,
         &tol, w.data(), &lw, &inform);
  if (inform != 0) return 0;
  using Long = long double;
  Long xscale = 0.0L;
  for (int64_t j = 0; j < nn; ++j) {
    if (!std::isfinite(x[j])) std::abort();
    xscale += Long(x[j]) * x[j];
  }
  const Long underflow = nn * Long(std::numeric_limits<double>::min());
  xscale = std::sqrt(xscale) + underflow;
  const Long eps = std::numeric_limits<double>::epsilon();
  for (int64_t i = 0; i < mm; ++i) {
    Long s = -Long(b[i]), anorm = 0.0L;
    for (int64_t k = 0; k < nn; ++k) {
      s += Long(a[i * la + k]) * x[k];
      anorm += Long(a[i * la + k]) * a[i * la + k];
    }
    const Long violation = i < meq ? std::fabs(s) : -s;
    if (violation > 2.0L * (tol + 1000.0L * eps * (std::fabs(Long(b[i])) + std::sqrt(anorm) * xscale + underflow)))
      std::abort();
  }
  return 0;
}
