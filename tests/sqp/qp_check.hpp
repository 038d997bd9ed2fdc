// A check of a quadratic program's solution by the optimality conditions of
// a convex problem (which are sufficient): stationarity, feasibility, signs
// of the multipliers, complementarity, and an active list (equalities
// first) that holds every constraint with a nonzero multiplier.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace sqptest {

struct Qp {
  int32_t n = 0, m = 0, meq = 0;
  std::vector<double> h;  // n x n by columns; the upper triangle counts
  std::vector<double> g, a, b;  // a: n x m by columns, column i the normal of constraint i
  double hij(int i, int j) const { return i <= j ? h[i + std::size_t(j) * n] : h[j + std::size_t(i) * n]; }
  double aij(int i, int k) const { return a[i + std::size_t(k) * n]; }
};

// The largest failure, each term relative to the size of what it compares;
// WHAT names it.
inline double kkt_error(const Qp& p, const std::vector<double>& x, const std::vector<double>& u,
                        const std::vector<int32_t>& iact, int32_t nact, std::string* what) {
  double err = 0.0;
  auto note = [&](double e, const char* name) {
    if (e > err) err = e, *what = name;
  };
  for (int i = 0; i < p.n; ++i) {
    double r = p.g[i], mag = std::max(1.0, std::fabs(p.g[i]));
    for (int j = 0; j < p.n; ++j) r += p.hij(i, j) * x[j], mag += std::fabs(p.hij(i, j) * x[j]);
    for (int k = 0; k < p.m; ++k) r -= p.aij(i, k) * u[k], mag += std::fabs(p.aij(i, k) * u[k]);
    note(std::fabs(r) / mag, "stationarity");
  }
  std::vector<int> listed(p.m, 0);
  if (nact < 0 || nact > p.m) return note(1.0, "NACT"), err;
  for (int k = 0; k < nact; ++k) {
    const int32_t i = iact[k];
    if (i < 1 || i > p.m || listed[i - 1]++) note(1.0, "IACT entry");
    else if (k > 0 && i <= p.meq && iact[k - 1] > p.meq) note(1.0, "IACT order");
  }
  for (int k = 0; k < p.m; ++k) {
    double s = -p.b[k], mag = std::max(1.0, std::fabs(p.b[k]));
    for (int i = 0; i < p.n; ++i) s += p.aij(i, k) * x[i], mag += std::fabs(p.aij(i, k) * x[i]);
    note((k < p.meq ? std::fabs(s) : -s) / mag, "feasibility");
    if (k >= p.meq) note(-u[k], "multiplier sign");
    note(std::fabs(u[k] * s) / (mag * std::max(1.0, std::fabs(u[k]))), "complementarity");
    if (!listed[k] && u[k] != 0.0) note(1.0, "multiplier of an inactive constraint");
  }
  return err;
}

}  // namespace sqptest
