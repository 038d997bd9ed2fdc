// NB01AD driven by a host that is sometimes careless: ends in either order,
// equal, infinite or NaN; tolerances and limits around their valid ranges;
// and in the loop values that are NaN, infinite or huge, and a request flag
// changed between calls.  The function is a cubic with coefficients from
// the input.
#include <cmath>
#include <cstdint>
#include <limits>

#include "nonlinear/nonlinear.hpp"
#include "tests/fuzz/fuzz_input.hpp"

using tbl::fint;
using tbl::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  fint ind = in.byte() >= 240 ? in.range(-2, 3) : 1;
  const double a = in.real(), b = in.flag() ? -a : in.real();
  const double eps = in.flag() ? 1e-12 : in.real();
  const fint limit = in.flag() ? 100 : in.icontrol(100);
  double c[4];
  for (double& v : c) v = in.real();
  double x = in.real(), y = in.real();
  for (int call = 0; call < 400; ++call) {
    NB01AD(&ind, &a, &b, &eps, &x, &y, &limit);
    if (ind != 2) break;
    y = ((c[3] * x + c[2]) * x + c[1]) * x + c[0];
    const std::uint8_t k = in.byte();
    if (k >= 240) {
      switch (k % 8) {
        case 0: y = std::numeric_limits<double>::quiet_NaN(); break;
        case 1: y = std::numeric_limits<double>::infinity(); break;
        case 2: y = -std::numeric_limits<double>::infinity(); break;
        case 3: y = std::numeric_limits<double>::max(); break;
        case 4: ind = in.range(-1, 3); break;  // the request flag changed
        case 5: ind = 1; break;                // a new problem
        default: y = 0.0; break;
      }
    }
  }
  return 0;
}
