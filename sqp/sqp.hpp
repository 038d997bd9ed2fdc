// Constrained optimisation: the dense strictly convex quadratic programming
// solver VE17AD and the sequential quadratic programming driver VF13AD built
// on it.  Both are exported under their own names (declared in the public
// header); what is here is what the tests and the benchmarks reach besides.
#pragma once

#include <cstdint>

#include "TesselBasicLib.h"
#include "interface/common.hpp"

namespace tbl::sqp {

// N beyond this gives workspace lengths (at least 2N^2) far past any 32-bit
// LW.  The lengths below are formed from N capped here and from M as the
// host gives it: M's terms are only linear, so a cap on M could bring a
// length below what the solve uses, and with N capped no 32-bit M
// overflows 64 bits.
inline constexpr std::int64_t kDimensionCap = std::int64_t(1) << 24;
inline std::int64_t capped(std::int64_t v) { return v < kDimensionCap ? v : kDimensionCap; }

// Real workspace VE17AD needs for N variables and M constraints:
// 2N^2 + 4N + 3M + 1.
inline std::int64_t ve17_workspace(std::int64_t n, std::int64_t m) {
  n = capped(n);
  return 2 * n * n + 4 * n + 3 * m + 1;
}

// The number of constraint additions and deletions after which VE17AD gives
// up (INFORM 5): a guard against cycling, far above what a solve needs.
inline std::int64_t ve17_iteration_limit(std::int64_t n, std::int64_t m) { return 10 * (n + m) + 100; }

// VE17AD with an explicit limit on additions and deletions.
void ve17_solve(fint n, fint m, fint meq, const double* h, fint lh, const double* g, const double* a, fint la,
                const double* b, double* x, double* u, fint* iact, fint* nact, double tol, double* w,
                std::int64_t lw, std::int64_t max_iter, fint* inform);

// Real workspace VF13AD needs: 4N^2 + 2NM + 18N + 10M + 22.
inline std::int64_t vf13_workspace(std::int64_t n, std::int64_t m) {
  n = capped(n);
  return 4 * n * n + 2 * n * m + 18 * n + 10 * m + 22;
}

}  // namespace tbl::sqp
