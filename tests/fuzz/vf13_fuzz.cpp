// VF13AD driven through its reverse communication by a host that is
// sometimes careless: dimensions, leading dimension, accuracy, evaluation
// limit and workspace around their valid ranges, and in the loop values of
// F, G, C or CN that are NaN, infinite or huge, and a request flag changed
// between calls.  The host's problem: a quadratic objective and quadratic
// constraints with coefficients from the input.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "TesselBasicLib.h"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fuzz::HostArray;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tbl::fuzz::silence_standard_output();
  Input in(data, size);
  const int32_t n = in.range(0, 4), m = in.range(-1, 4);
  const int32_t meq = in.range(-1, std::max(m, 0) + 1);
  const int64_t nn = std::max(n, 1), mm = std::max(m, 0);
  const int32_t lcn = in.length(nn);
  const int32_t lw = in.length(4 * nn * nn + 2 * nn * mm + 18 * nn + 10 * mm + 22);
  const double acc = in.rcontrol(1e-6);
  const int32_t maxfun = std::min(in.icontrol(12), 16);  // a few iterations reach every state
  // Printing every iteration costs more than the iteration: one input in
  // eight asks for it.
  const std::uint8_t print = in.byte();
  const int32_t iprint = print >= 224 ? print % 4 - 1 : -(print & 1);
  HostArray<double> x(nn), g(nn), c(mm), cn(std::max<int64_t>(lcn, 0) * mm), w(lw);
  HostArray<int32_t> iw(2 * (nn + mm));
  for (int64_t i = 0; i < nn; ++i) x[i] = in.real() * 0.25;
  // Objective sum_j q_j (x_j - s_j)^2; constraint i: a_i'x + r_i |x|^2 - b_i.
  double q[4], s[4], a[4][4], r[4], b[4];
  for (int j = 0; j < 4; ++j) {
    q[j] = in.real();
    s[j] = in.real();
  }
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) a[i][j] = in.real();
    r[i] = in.real() * 0.25;
    b[i] = in.real();
  }
  double f = 0.0;
  int32_t inform = in.byte() >= 240 ? in.range(-2, 1) : 0;
  for (int call = 0; call < 200; ++call) {
    VF13AD(&n, &m, &meq, x.data(), &f, g.data(), c.data(), cn.data(), &lcn, &acc, &maxfun, &iprint, &inform,
           w.data(), &lw, iw.data());
    if (inform != -1) break;
    double xx = 0.0;
    for (int64_t j = 0; j < nn && j < 4; ++j) xx += x[j] * x[j];
    f = 0.0;
    for (int64_t j = 0; j < nn && j < 4; ++j) {
      f += q[j] * (x[j] - s[j]) * (x[j] - s[j]);
      g[j] = 2.0 * q[j] * (x[j] - s[j]);
    }
    for (int64_t i = 0; i < mm && i < 4; ++i) {
      c[i] = r[i] * xx - b[i];
      for (int64_t j = 0; j < nn && j < 4; ++j) {
        c[i] += a[i][j] * x[j];
        if (j < lcn) cn[i * lcn + j] = a[i][j] + 2.0 * r[i] * x[j];
      }
    }
    const std::uint8_t k = in.byte();
    if (k >= 240) {
      const double bad = (k & 1) ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
      switch (k % 6) {
        case 0: f = bad; break;
        case 1: g[0] = bad; break;
        case 2: if (c.size() > 0) c[0] = bad; break;
        case 3: if (cn.size() > 0) cn[0] = bad; break;
        case 4: inform = in.range(-2, 1); break;  // the request flag changed
        default: f = std::numeric_limits<double>::max(); break;
      }
    }
  }
  return 0;
}
