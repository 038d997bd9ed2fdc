// Test functions with known least values, shared by the optimiser's tests
// and its benchmark.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace tbl::test {

// The chained Rosenbrock function; least value 0 at (1, ..., 1).
inline double rosenbrock(const std::vector<double>& x) {
  double f = 0.0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i)
    f += 100.0 * (x[i + 1] - x[i] * x[i]) * (x[i + 1] - x[i] * x[i]) + (1.0 - x[i]) * (1.0 - x[i]);
  return f;
}

// M points of R^3, each taken to the unit sphere: the sum of the reciprocal
// distances between them (the energy of M equal charges).
inline double sphere_energy(const std::vector<double>& x) {
  const std::size_t m = x.size() / 3;
  std::vector<double> p(x.size());
  for (std::size_t i = 0; i < m; ++i) {
    const double r =
        std::sqrt(x[3 * i] * x[3 * i] + x[3 * i + 1] * x[3 * i + 1] + x[3 * i + 2] * x[3 * i + 2]);
    for (int k = 0; k < 3; ++k) p[3 * i + k] = x[3 * i + k] / r;
  }
  double f = 0.0;
  for (std::size_t i = 0; i < m; ++i)
    for (std::size_t j = i + 1; j < m; ++j) {
      double d = 0.0;
      for (int k = 0; k < 3; ++k) d += (p[3 * i + k] - p[3 * j + k]) * (p[3 * i + k] - p[3 * j + k]);
      f += 1.0 / std::sqrt(d);
    }
  return f;
}

// The least energies of 4, 5 and 6 charges.
inline double sphere_least(int m) {
  const double known[] = {3.674234614, 6.474691495, 9.985281374};
  return known[m - 4];
}

// Spread, unsymmetric starting points on the sphere for M charges.
inline std::vector<double> sphere_start(int m) {
  std::vector<double> x;
  for (int i = 0; i < m; ++i) {
    const double t = 0.9 + 2.3 * i, u = 0.3 + 1.7 * i * i;
    x.insert(x.end(), {std::cos(t) * std::sin(u), std::sin(t) * std::sin(u), std::cos(u)});
  }
  return x;
}

// A separable quadratic on [0,1]^n whose centre lies above, below or inside
// the box by turns, so that its least value is at the centre clipped to the
// box: two thirds of the variables end on a bound.
struct BoundQuadratic {
  std::vector<double> centre, curv;
  explicit BoundQuadratic(int n) : centre(n), curv(n) {
    for (int i = 0; i < n; ++i) {
      centre[i] = i % 3 == 0 ? 2.0 : i % 3 == 1 ? -0.5 : 0.3 + 0.4 * i / n;
      curv[i] = 1.0 + double(i) / n;
    }
  }
  double operator()(const std::vector<double>& x) const {
    double f = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) f += curv[i] * (x[i] - centre[i]) * (x[i] - centre[i]);
    return f;
  }
  double least() const {
    std::vector<double> x(centre.size());
    for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::fmin(1.0, std::fmax(0.0, centre[i]));
    return (*this)(x);
  }
};

}  // namespace tbl::test
