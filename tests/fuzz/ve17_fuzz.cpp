// VE17AD with small problems: dimensions and leading dimensions around
// their minima, equality counts in and out of range, workspace lengths
// around the least accepted, tolerances and values including 0, NaN, Inf
// and extremes, and now and then a Hessian made positive definite so that
// the active-set iteration runs.
#include <algorithm>
#include <cmath>
#include <cstdint>

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
  int32_t nact = -5, inform = -5;
  VE17AD(&n, &m, &meq, h.data(), &lh, g.data(), a.data(), &la, b.data(), x.data(), u.data(), iact.data(), &nact,
         &tol, w.data(), &lw, &inform);
  return 0;
}
