// Quadratic programs as the tests build them, and a check of a solution by
// the optimality conditions of a convex problem (which are sufficient):
// stationarity, feasibility, signs of the multipliers, complementarity, and
// an active list that matches the multipliers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace sqptest {

struct Qp {
  int32_t n = 0, m = 0, meq = 0;
  std::vector<double> h;  // n x n, column-major (only the upper triangle need be meaningful)
  std::vector<double> g;
  std::vector<double> a;  // n x m, column-major: column i is constraint i's normal
  std::vector<double> b;
  double hij(int i, int j) const {  // symmetric entry from the upper triangle, 0-based
    return i <= j ? h[i + std::size_t(j) * n] : h[j + std::size_t(i) * n];
  }
  double aij(int i, int j) const { return a[i + std::size_t(j) * n]; }
};

// The largest failure of the optimality conditions at (x, u), each term
// relative to the size of what it compares; iact(1:nact) must be exactly
// the constraints with a role in the solution.
inline double kkt_error(const Qp& p, const std::vector<double>& x, const std::vector<double>& u,
                        const std::vector<int32_t>& iact, int32_t nact, std::string* what = nullptr) {
  double err = 0.0;
  auto note = [&](double e, const char* name) {
    if (e > err) {
      err = e;
      if (what) *what = name;
    }
  };
  double scale = 1.0;
  for (int i = 0; i < p.n; ++i) scale = std::max(scale, std::fabs(p.g[i]));
  for (int i = 0; i < p.n; ++i) {
    double r = p.g[i], mag = std::fabs(p.g[i]);
    for (int j = 0; j < p.n; ++j) {
      r += p.hij(i, j) * x[j];
      mag += std::fabs(p.hij(i, j) * x[j]);
    }
    for (int k = 0; k < p.m; ++k) {
      r -= p.aij(i, k) * u[k];
      mag += std::fabs(p.aij(i, k) * u[k]);
    }
    note(std::fabs(r) / std::max(mag, scale), "stationarity");
  }
  std::vector<bool> listed(p.m, false);
  if (nact < 0 || nact > p.m) note(1.0, "nact");
  for (int k = 0; k < nact && k < p.m; ++k) {
    const int32_t i = iact[k];
    if (i < 1 || i > p.m || listed[i - 1]) {
      note(1.0, "iact");
      continue;
    }
    listed[i - 1] = true;
  }
  for (int k = 0; k < p.m; ++k) {
    double s = -p.b[k], mag = std::fabs(p.b[k]);
    for (int i = 0; i < p.n; ++i) {
      s += p.aij(i, k) * x[i];
      mag += std::fabs(p.aij(i, k) * x[i]);
    }
    mag = std::max(mag, 1.0);
    if (k < p.meq) {
      note(std::fabs(s) / mag, "equality");
    } else {
      note(-s / mag, "inequality");
      note(-u[k], "multiplier sign");
      note(std::fabs(u[k] * s) / (mag * std::max(1.0, std::fabs(u[k]))), "complementarity");
    }
    if (!listed[k] && u[k] != 0.0) note(1.0, "multiplier of an inactive constraint");
  }
  return err;
}

}  // namespace sqptest
