// Constrained optimisation: the dense strictly convex quadratic programming
// solver VE17AD, exported under its own name (declared in the public
// header); what is here is what the tests and the benchmarks reach besides.
#pragma once

#include <cstdint>

#include "TesselBasicLib.h"
#include "interface/common.hpp"

namespace tbl::sqp {

// Real workspace VE17AD needs for N variables and M constraints:
// 2N^2 + 4N + 3M + 1.
inline std::int64_t ve17_workspace(std::int64_t n, std::int64_t m) { return 2 * n * n + 4 * n + 3 * m + 1; }

// The number of constraint additions and deletions after which VE17AD gives
// up (INFORM 5): a guard against cycling, far above what a solve needs.
inline std::int64_t ve17_iteration_limit(std::int64_t n, std::int64_t m) { return 10 * (n + m) + 100; }

// VE17AD with an explicit limit on additions and deletions.
void ve17_solve(fint n, fint m, fint meq, const double* h, fint lh, const double* g, const double* a, fint la,
                const double* b, double* x, double* u, fint* iact, fint* nact, double tol, double* w,
                std::int64_t lw, std::int64_t max_iter, fint* inform);

}  // namespace tbl::sqp
