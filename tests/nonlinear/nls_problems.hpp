// Classic least-squares and equation test problems with known minima, each
// with its residuals, the pattern of its Jacobian and the analytic values
// on it; shared by the tests and the benchmark.  Sums of squares are
// ||F||^2 at the minimum.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

namespace nls {

struct Problem {
  std::string name;
  int m = 0, n = 0;
  std::vector<int> irn, jcn;  // pattern of J, 1-based
  std::function<void(const double* x, double* f)> residuals;
  std::function<void(const double* x, double* aj)> jacobian;  // values on the pattern
  std::vector<double> x0;
  double min_sumsq = 0;  // ||F||^2 at the minimum the method is known to reach from x0
  int ne() const { return static_cast<int>(irn.size()); }
};

// Full pattern, entry (i, j) at k = (j-1)*m + i - 1, from a dense Jacobian
// function dj(x, i, j).
inline void dense_pattern(Problem& p, std::function<double(const double*, int, int)> dj) {
  for (int j = 1; j <= p.n; ++j)
    for (int i = 1; i <= p.m; ++i) {
      p.irn.push_back(i);
      p.jcn.push_back(j);
    }
  const int m = p.m, n = p.n;
  p.jacobian = [m, n, dj](const double* x, double* aj) {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= m; ++i) aj[(j - 1) * m + i - 1] = dj(x, i, j);
  };
}

inline Problem rosenbrock() {
  Problem p{"Rosenbrock", 2, 2, {1, 1, 2}, {1, 2, 1}, {}, {}, {-1.2, 1.0}, 0.0};
  p.residuals = [](const double* x, double* f) {
    f[0] = 10 * (x[1] - x[0] * x[0]);
    f[1] = 1 - x[0];
  };
  p.jacobian = [](const double* x, double* aj) {
    aj[0] = -20 * x[0];
    aj[1] = 10;
    aj[2] = -1;
  };
  return p;
}

inline Problem powell_singular() {
  Problem p{"PowellSingular", 4, 4, {1, 1, 2, 2, 3, 3, 4, 4}, {1, 2, 3, 4, 2, 3, 1, 4}, {}, {}, {3, -1, 0, 1}, 0.0};
  const double r5 = std::sqrt(5.0), r10 = std::sqrt(10.0);
  p.residuals = [=](const double* x, double* f) {
    f[0] = x[0] + 10 * x[1];
    f[1] = r5 * (x[2] - x[3]);
    f[2] = (x[1] - 2 * x[2]) * (x[1] - 2 * x[2]);
    f[3] = r10 * (x[0] - x[3]) * (x[0] - x[3]);
  };
  p.jacobian = [=](const double* x, double* aj) {
    aj[0] = 1;
    aj[1] = 10;
    aj[2] = r5;
    aj[3] = -r5;
    aj[4] = 2 * (x[1] - 2 * x[2]);
    aj[5] = -4 * (x[1] - 2 * x[2]);
    aj[6] = 2 * r10 * (x[0] - x[3]);
    aj[7] = -2 * r10 * (x[0] - x[3]);
  };
  return p;
}

// From the standard start the method reaches the local minimum, not the
// zero at (5, 4).
inline Problem freudenstein_roth() {
  Problem p{"FreudensteinRoth", 2, 2, {}, {}, {}, {}, {0.5, -2.0}, 48.984253679240013};
  p.residuals = [](const double* x, double* f) {
    f[0] = -13 + x[0] + ((5 - x[1]) * x[1] - 2) * x[1];
    f[1] = -29 + x[0] + ((x[1] + 1) * x[1] - 14) * x[1];
  };
  dense_pattern(p, [](const double* x, int i, int j) {
    if (j == 1) return 1.0;
    return i == 1 ? (10 - 3 * x[1]) * x[1] - 2 : (3 * x[1] + 2) * x[1] - 14;
  });
  return p;
}

inline Problem bard() {
  static const double y[15] = {0.14, 0.18, 0.22, 0.25, 0.29, 0.32, 0.35, 0.39,
                               0.37, 0.58, 0.73, 0.96, 1.34, 2.10, 4.39};
  Problem p{"Bard", 15, 3, {}, {}, {}, {}, {1, 1, 1}, 8.2148773065789e-3};
  p.residuals = [](const double* x, double* f) {
    for (int i = 1; i <= 15; ++i) {
      const double u = i, v = 16 - i, w = std::min(u, v);
      f[i - 1] = y[i - 1] - (x[0] + u / (v * x[1] + w * x[2]));
    }
  };
  dense_pattern(p, [](const double* x, int i, int j) {
    const double u = i, v = 16 - i, w = std::min(u, v), q = v * x[1] + w * x[2];
    if (j == 1) return -1.0;
    return (j == 2 ? v : w) * u / (q * q);
  });
  return p;
}

inline Problem box3d() {
  Problem p{"Box3D", 10, 3, {}, {}, {}, {}, {0, 10, 20}, 0.0};
  p.residuals = [](const double* x, double* f) {
    for (int i = 1; i <= 10; ++i) {
      const double t = 0.1 * i;
      f[i - 1] = std::exp(-t * x[0]) - std::exp(-t * x[1]) - x[2] * (std::exp(-t) - std::exp(-10 * t));
    }
  };
  dense_pattern(p, [](const double* x, int i, int j) {
    const double t = 0.1 * i;
    if (j == 1) return -t * std::exp(-t * x[0]);
    if (j == 2) return t * std::exp(-t * x[1]);
    return -(std::exp(-t) - std::exp(-10 * t));
  });
  return p;
}

inline Problem brown_badly_scaled() {
  Problem p{"BrownBadlyScaled", 3, 2, {1, 3, 2, 3}, {1, 1, 2, 2}, {}, {}, {1, 1}, 0.0};
  p.residuals = [](const double* x, double* f) {
    f[0] = x[0] - 1e6;
    f[1] = x[1] - 2e-6;
    f[2] = x[0] * x[1] - 2;
  };
  p.jacobian = [](const double* x, double* aj) {
    aj[0] = 1;
    aj[1] = x[1];
    aj[2] = 1;
    aj[3] = x[0];
  };
  return p;
}

inline Problem helical_valley() {
  Problem p{"HelicalValley", 3, 3, {1, 2, 1, 2, 1, 3}, {1, 1, 2, 2, 3, 3}, {}, {}, {-1, 0, 0}, 0.0};
  const double tpi = 8 * std::atan(1.0);
  p.residuals = [=](const double* x, double* f) {
    double theta = std::atan(x[1] / x[0]) / tpi;
    if (x[0] < 0) theta += 0.5;
    f[0] = 10 * (x[2] - 10 * theta);
    f[1] = 10 * (std::sqrt(x[0] * x[0] + x[1] * x[1]) - 1);
    f[2] = x[2];
  };
  p.jacobian = [=](const double* x, double* aj) {
    const double r2 = x[0] * x[0] + x[1] * x[1], r = std::sqrt(r2);
    aj[0] = 100 * x[1] / (tpi * r2);
    aj[1] = 10 * x[0] / r;
    aj[2] = -100 * x[0] / (tpi * r2);
    aj[3] = 10 * x[1] / r;
    aj[4] = 10;
    aj[5] = 1;
  };
  return p;
}

inline Problem meyer() {
  static const double y[16] = {34780, 28610, 23650, 19630, 16370, 13720, 11540, 9744,
                               8261,  7030,  6005,  5147,  4427,  3820,  3307,  2872};
  Problem p{"Meyer", 16, 3, {}, {}, {}, {}, {0.02, 4000, 250}, 87.945855170395831};
  p.residuals = [](const double* x, double* f) {
    for (int i = 1; i <= 16; ++i) {
      const double t = 45 + 5.0 * i;
      f[i - 1] = x[0] * std::exp(x[1] / (t + x[2])) - y[i - 1];
    }
  };
  dense_pattern(p, [](const double* x, int i, int j) {
    const double t = 45 + 5.0 * i, q = t + x[2], e = std::exp(x[1] / q);
    if (j == 1) return e;
    if (j == 2) return x[0] * e / q;
    return -x[0] * x[1] * e / (q * q);
  });
  return p;
}

// Rank 1 everywhere: f_i = i * sum_j j x_j - 1.
inline Problem linear_rank1() {
  const int m = 10, n = 5;
  Problem p{"LinearRank1", m, n, {}, {}, {}, {}, std::vector<double>(n, 1.0), m * (m - 1.0) / (2 * (2 * m + 1.0))};
  p.residuals = [=](const double* x, double* f) {
    double s = 0;
    for (int j = 1; j <= n; ++j) s += j * x[j - 1];
    for (int i = 1; i <= m; ++i) f[i - 1] = i * s - 1;
  };
  dense_pattern(p, [](const double*, int i, int j) { return double(i) * j; });
  return p;
}

// Rank 1 with the first and last rows and columns empty.
inline Problem linear_rank1_zero_rows() {
  const int m = 10, n = 5;
  Problem p{"LinearRank1ZeroRows", m, n, {}, {}, {}, {}, std::vector<double>(n, 1.0),
            (m * m + 3.0 * m - 6) / (2 * (2 * m - 3.0))};
  for (int j = 2; j <= n - 1; ++j)
    for (int i = 2; i <= m - 1; ++i) {
      p.irn.push_back(i);
      p.jcn.push_back(j);
    }
  p.residuals = [=](const double* x, double* f) {
    double s = 0;
    for (int j = 2; j <= n - 1; ++j) s += j * x[j - 1];
    f[0] = f[m - 1] = -1;
    for (int i = 2; i <= m - 1; ++i) f[i - 1] = (i - 1) * s - 1;
  };
  p.jacobian = [=](const double*, double* aj) {
    int k = 0;
    for (int j = 2; j <= n - 1; ++j)
      for (int i = 2; i <= m - 1; ++i) aj[k++] = double(i - 1) * j;
  };
  return p;
}

// Chebyquad: f_i = (1/n) sum_j T_i(2 x_j - 1) + (1 / (i^2 - 1) for even i),
// T_i the Chebyshev polynomial; x0 scales the standard start j / (n + 1).
// The minimum is the one for m = n = 8 from the standard start.
inline Problem chebyquad(int n, double scale = 1) {
  Problem p;
  p.name = "Chebyquad" + std::to_string(n);
  p.m = p.n = n;
  for (int j = 1; j <= n; ++j) p.x0.push_back(scale * j / (n + 1.0));
  p.min_sumsq = 3.5168737256773e-3;
  p.residuals = [n](const double* x, double* f) {
    for (int i = 1; i <= n; ++i) f[i - 1] = i % 2 == 0 ? 1.0 / (i * i - 1.0) : 0.0;
    for (int j = 0; j < n; ++j) {
      const double y = 2 * x[j] - 1;
      double t0 = 1, t1 = y;
      for (int i = 1; i <= n; ++i) {
        f[i - 1] += t1 / n;
        const double t2 = 2 * y * t1 - t0;
        t0 = t1;
        t1 = t2;
      }
    }
  };
  // d/dx T_i(2x - 1) = 2 i U_{i-1}(2x - 1).
  dense_pattern(p, [n](const double* x, int i, int j) {
    const double y = 2 * x[j - 1] - 1;
    double u0 = 1, u1 = 2 * y;  // U_0, U_1
    for (int k = 1; k < i; ++k) {
      const double u2 = 2 * y * u1 - u0;
      u0 = u1;
      u1 = u2;
    }
    return 2.0 * i * u0 / n;
  });
  return p;
}

// Watson: for t_i = i / 29, f_i = sum_{j>=2} (j-1) x_j t_i^(j-2) -
// (sum_j x_j t_i^(j-1))^2 - 1, i = 1..29, then f_30 = x_1 and f_31 = x_2 -
// x_1^2 - 1; m = 31, from x = 0.
inline Problem watson(int n) {
  Problem p;
  p.name = "Watson" + std::to_string(n);
  p.m = 31;
  p.n = n;
  p.x0.assign(n, 0.0);
  p.min_sumsq = n == 6 ? 2.2876700535524e-3 : 0.0;
  p.residuals = [n](const double* x, double* f) {
    for (int i = 1; i <= 29; ++i) {
      const double t = i / 29.0;
      double s1 = 0, s2 = x[0], tp = 1;
      for (int j = 2; j <= n; ++j) {
        s1 += (j - 1) * x[j - 1] * tp;
        tp *= t;
        s2 += x[j - 1] * tp;
      }
      f[i - 1] = s1 - s2 * s2 - 1;
    }
    f[29] = x[0];
    f[30] = x[1] - x[0] * x[0] - 1;
  };
  dense_pattern(p, [n](const double* x, int i, int j) {
    if (i == 30) return j == 1 ? 1.0 : 0.0;
    if (i == 31) return j == 1 ? -2 * x[0] : j == 2 ? 1.0 : 0.0;
    const double t = i / 29.0;
    double s2 = 0, tp = 1;
    for (int k = 1; k <= n; ++k, tp *= t) s2 += x[k - 1] * tp;
    const double tj2 = j >= 2 ? std::pow(t, j - 2) : 0.0;
    return (j - 1) * tj2 - 2 * s2 * std::pow(t, j - 1);
  });
  return p;
}

// Sparse problems of any size.

inline Problem extended_rosenbrock(int n) {
  Problem p;
  p.name = "ExtendedRosenbrock" + std::to_string(n);
  p.m = p.n = n;
  for (int i = 1; i <= n / 2; ++i) {
    p.irn.insert(p.irn.end(), {2 * i - 1, 2 * i - 1, 2 * i});
    p.jcn.insert(p.jcn.end(), {2 * i - 1, 2 * i, 2 * i - 1});
    p.x0.insert(p.x0.end(), {-1.2, 1.0});
  }
  p.residuals = [n](const double* x, double* f) {
    for (int i = 0; i < n; i += 2) {
      f[i] = 10 * (x[i + 1] - x[i] * x[i]);
      f[i + 1] = 1 - x[i];
    }
  };
  p.jacobian = [n](const double* x, double* aj) {
    for (int i = 0, k = 0; i < n; i += 2, k += 3) {
      aj[k] = -20 * x[i];
      aj[k + 1] = 10;
      aj[k + 2] = -1;
    }
  };
  return p;
}

// The discretised boundary-value problem u'' = (u + t + 1)^3 / 2, u(0) =
// u(1) = 0: f_i = 2x_i - x_{i-1} - x_{i+1} + h^2 (x_i + t_i + 1)^3 / 2.
inline Problem boundary_value(int n) {
  Problem p;
  p.name = "BoundaryValue" + std::to_string(n);
  p.m = p.n = n;
  const double h = 1.0 / (n + 1);
  for (int i = 1; i <= n; ++i) {
    for (int j = std::max(1, i - 1); j <= std::min(n, i + 1); ++j) {
      p.irn.push_back(i);
      p.jcn.push_back(j);
    }
    p.x0.push_back(i * h * (i * h - 1));
  }
  p.residuals = [n, h](const double* x, double* f) {
    for (int i = 1; i <= n; ++i) {
      const double t = i * h, xi = x[i - 1];
      const double left = i > 1 ? x[i - 2] : 0, right = i < n ? x[i] : 0;
      f[i - 1] = 2 * xi - left - right + h * h * std::pow(xi + t + 1, 3) / 2;
    }
  };
  p.jacobian = [n, h](const double* x, double* aj) {
    int k = 0;
    for (int i = 1; i <= n; ++i) {
      const double t = i * h;
      for (int j = std::max(1, i - 1); j <= std::min(n, i + 1); ++j)
        aj[k++] = j == i ? 2 + 1.5 * h * h * (x[i - 1] + t + 1) * (x[i - 1] + t + 1) : -1.0;
    }
  };
  return p;
}

// Broyden's tridiagonal function: f_i = (3 - 2x_i) x_i - x_{i-1} - 2x_{i+1} + 1.
inline Problem broyden_tridiagonal(int n) {
  Problem p;
  p.name = "BroydenTridiagonal" + std::to_string(n);
  p.m = p.n = n;
  for (int i = 1; i <= n; ++i)
    for (int j = std::max(1, i - 1); j <= std::min(n, i + 1); ++j) {
      p.irn.push_back(i);
      p.jcn.push_back(j);
    }
  p.x0.assign(n, -1.0);
  p.residuals = [n](const double* x, double* f) {
    for (int i = 1; i <= n; ++i) {
      const double left = i > 1 ? x[i - 2] : 0, right = i < n ? x[i] : 0;
      f[i - 1] = (3 - 2 * x[i - 1]) * x[i - 1] - left - 2 * right + 1;
    }
  };
  p.jacobian = [n](const double* x, double* aj) {
    int k = 0;
    for (int i = 1; i <= n; ++i)
      for (int j = std::max(1, i - 1); j <= std::min(n, i + 1); ++j)
        aj[k++] = j == i ? 3 - 4 * x[i - 1] : j < i ? -1.0 : -2.0;
  };
  return p;
}

// Broyden's banded function: row i couples x_{i-5} .. x_{i+1}, so at least
// seven column groups are needed.
inline Problem broyden_banded(int n) {
  Problem p;
  p.name = "BroydenBanded" + std::to_string(n);
  p.m = p.n = n;
  for (int i = 1; i <= n; ++i)
    for (int j = std::max(1, i - 5); j <= std::min(n, i + 1); ++j) {
      p.irn.push_back(i);
      p.jcn.push_back(j);
    }
  p.x0.assign(n, -1.0);
  p.residuals = [n](const double* x, double* f) {
    for (int i = 1; i <= n; ++i) {
      const double xi = x[i - 1];
      double s = 0;
      for (int j = std::max(1, i - 5); j <= std::min(n, i + 1); ++j)
        if (j != i) s += x[j - 1] * (1 + x[j - 1]);
      f[i - 1] = xi * (2 + 5 * xi * xi) + 1 - s;
    }
  };
  p.jacobian = [n](const double* x, double* aj) {
    int k = 0;
    for (int i = 1; i <= n; ++i)
      for (int j = std::max(1, i - 5); j <= std::min(n, i + 1); ++j)
        aj[k++] = j == i ? 2 + 15 * x[i - 1] * x[i - 1] : -(1 + 2 * x[j - 1]);
  };
  return p;
}

// The remaining problems of the published least-squares test set.  Their
// residuals are written once for real and complex arguments, and the
// Jacobian on the pattern comes from complex steps: exact to rounding, and
// independent of any difference estimate.
template <class Fn>
Problem complex_step_problem(std::string name, int m, int n, std::vector<int> irn, std::vector<int> jcn,
                             std::vector<double> x0, double min_sumsq, Fn fn) {
  Problem p{std::move(name), m, n, std::move(irn), std::move(jcn), {}, {}, std::move(x0), min_sumsq};
  if (p.irn.empty())
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= m; ++i) {
        p.irn.push_back(i);
        p.jcn.push_back(j);
      }
  p.residuals = [fn](const double* x, double* f) { fn(x, f); };
  p.jacobian = [fn, m, n, irn = p.irn, jcn = p.jcn](const double* x, double* aj) {
    using C = std::complex<double>;
    constexpr double h = 1e-200;
    std::vector<C> xc(x, x + n), fc(m);
    for (int j = 1; j <= n; ++j) {
      xc[j - 1] = C(x[j - 1], h);
      fn(xc.data(), fc.data());
      xc[j - 1] = x[j - 1];
      for (std::size_t k = 0; k < irn.size(); ++k)
        if (jcn[k] == j) aj[k] = fc[irn[k] - 1].imag() / h;
    }
  };
  return p;
}

// |v| of a real or complex-step argument (the sign taken from the real part).
template <class T>
T magnitude(T v) {
  return std::real(v) < 0 ? -v : v;
}

inline Problem powell_badly_scaled() {
  return complex_step_problem("PowellBadlyScaled", 2, 2, {}, {}, {0, 1}, 0, [](const auto* x, auto* f) {
    f[0] = 1e4 * x[0] * x[1] - 1.0;
    f[1] = std::exp(-x[0]) + std::exp(-x[1]) - 1.0001;
  });
}

inline Problem beale() {
  return complex_step_problem("Beale", 3, 2, {}, {}, {1, 1}, 0, [](const auto* x, auto* f) {
    const double y[3] = {1.5, 2.25, 2.625};
    for (int i = 1; i <= 3; ++i) f[i - 1] = y[i - 1] - x[0] * (1.0 - std::pow(x[1], i));
  });
}

inline Problem jennrich_sampson() {
  return complex_step_problem("JennrichSampson", 10, 2, {}, {}, {0.3, 0.4}, 124.36218235561,
                              [](const auto* x, auto* f) {
                                for (int i = 1; i <= 10; ++i)
                                  f[i - 1] = 2.0 + 2.0 * i - (std::exp(double(i) * x[0]) + std::exp(double(i) * x[1]));
                              });
}

inline Problem gaussian() {
  return complex_step_problem("Gaussian", 15, 3, {}, {}, {0.4, 1, 0}, 1.1279327696183e-8, [](const auto* x, auto* f) {
    const double y[15] = {9e-4,   4.4e-3, 1.75e-2, 5.4e-2, 0.1295, 0.242,  0.3521, 0.3989,
                          0.3521, 0.242,  0.1295,  5.4e-2, 1.75e-2, 4.4e-3, 9e-4};
    for (int i = 1; i <= 15; ++i) {
      const double t = (8 - i) / 2.0;
      f[i - 1] = x[0] * std::exp(-x[1] * (t - x[2]) * (t - x[2]) / 2.0) - y[i - 1];
    }
  });
}

inline Problem gulf() {
  return complex_step_problem("Gulf", 10, 3, {}, {}, {5, 2.5, 0.15}, 0, [](const auto* x, auto* f) {
    for (int i = 1; i <= 10; ++i) {
      const double t = i / 100.0, y = 25 + std::pow(-50 * std::log(t), 2.0 / 3);
      f[i - 1] = std::exp(-std::pow(magnitude(y - x[1]), x[2]) / x[0]) - t;
    }
  });
}

inline Problem wood() {
  return complex_step_problem("Wood", 6, 4, {1, 1, 2, 3, 3, 4, 5, 5, 6, 6}, {1, 2, 1, 3, 4, 3, 2, 4, 2, 4},
                              {-3, -1, -3, -1}, 0, [](const auto* x, auto* f) {
                                f[0] = 10.0 * (x[1] - x[0] * x[0]);
                                f[1] = 1.0 - x[0];
                                f[2] = std::sqrt(90.0) * (x[3] - x[2] * x[2]);
                                f[3] = 1.0 - x[2];
                                f[4] = std::sqrt(10.0) * (x[1] + x[3] - 2.0);
                                f[5] = (x[1] - x[3]) / std::sqrt(10.0);
                              });
}

inline Problem kowalik_osborne() {
  return complex_step_problem(
      "KowalikOsborne", 11, 4, {}, {}, {0.25, 0.39, 0.415, 0.39}, 3.0750560384924e-4, [](const auto* x, auto* f) {
        const double y[11] = {0.1957, 0.1947, 0.1735, 0.16, 0.0844, 0.0627, 0.0456, 0.0342, 0.0323, 0.0235, 0.0246};
        const double u[11] = {4, 2, 1, 0.5, 0.25, 0.167, 0.125, 0.1, 0.0833, 0.0714, 0.0625};
        for (int i = 0; i < 11; ++i)
          f[i] = y[i] - x[0] * (u[i] * u[i] + u[i] * x[1]) / (u[i] * u[i] + u[i] * x[2] + x[3]);
      });
}

inline Problem brown_dennis() {
  return complex_step_problem("BrownDennis", 20, 4, {}, {}, {25, 5, -5, -1}, 85822.201626356,
                              [](const auto* x, auto* f) {
                                for (int i = 1; i <= 20; ++i) {
                                  const double t = i / 5.0;
                                  const auto a = x[0] + t * x[1] - std::exp(t);
                                  const auto b = x[2] + x[3] * std::sin(t) - std::cos(t);
                                  f[i - 1] = a * a + b * b;
                                }
                              });
}

inline Problem osborne1() {
  return complex_step_problem(
      "Osborne1", 33, 5, {}, {}, {0.5, 1.5, -1, 0.01, 0.02}, 5.4648946974825e-5, [](const auto* x, auto* f) {
        const double y[33] = {0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.85,  0.818, 0.784, 0.751,
                              0.718, 0.685, 0.658, 0.628, 0.603, 0.58,  0.558, 0.538, 0.522, 0.506, 0.49,
                              0.478, 0.467, 0.457, 0.448, 0.438, 0.431, 0.424, 0.42,  0.414, 0.411, 0.406};
        for (int i = 0; i < 33; ++i) {
          const double t = 10.0 * i;
          f[i] = y[i] - (x[0] + x[1] * std::exp(-t * x[3]) + x[2] * std::exp(-t * x[4]));
        }
      });
}

inline Problem biggs_exp6() {
  return complex_step_problem("BiggsExp6", 13, 6, {}, {}, {1, 2, 1, 1, 1, 1}, 0, [](const auto* x, auto* f) {
    for (int i = 1; i <= 13; ++i) {
      const double t = 0.1 * i, y = std::exp(-t) - 5 * std::exp(-10 * t) + 3 * std::exp(-4 * t);
      f[i - 1] = x[2] * std::exp(-t * x[0]) - x[3] * std::exp(-t * x[1]) + x[5] * std::exp(-t * x[4]) - y;
    }
  });
}

inline Problem osborne2() {
  return complex_step_problem(
      "Osborne2", 65, 11, {}, {}, {1.3, 0.65, 0.65, 0.7, 0.6, 3, 5, 7, 2, 4.5, 5.5}, 4.0137736293548e-2,
      [](const auto* x, auto* f) {
        const double y[65] = {1.366, 1.191, 1.112, 1.013, 0.991, 0.885, 0.831, 0.847, 0.786, 0.725, 0.746, 0.679,
                              0.608, 0.655, 0.616, 0.606, 0.602, 0.626, 0.651, 0.724, 0.649, 0.649, 0.694, 0.644,
                              0.624, 0.661, 0.612, 0.558, 0.533, 0.495, 0.5, 0.423, 0.395, 0.375, 0.372, 0.391,
                              0.396, 0.405, 0.428, 0.429, 0.523, 0.562, 0.607, 0.653, 0.672, 0.708, 0.633, 0.668,
                              0.645, 0.632, 0.591, 0.559, 0.597, 0.625, 0.739, 0.71, 0.729, 0.72, 0.636, 0.581,
                              0.428, 0.292, 0.162, 0.098, 0.054};
        for (int i = 0; i < 65; ++i) {
          const double t = i / 10.0;
          auto g = [&](int a, int b, int c) { return x[a] * std::exp(-(t - x[c]) * (t - x[c]) * x[b]); };
          f[i] = y[i] - (x[0] * std::exp(-t * x[4]) + g(1, 5, 8) + g(2, 6, 9) + g(3, 7, 10));
        }
      });
}

inline Problem extended_powell_singular(int n) {
  std::vector<int> irn, jcn;
  std::vector<double> x0;
  const Problem block = powell_singular();
  for (int b = 0; b < n / 4; ++b) {
    for (int k = 0; k < block.ne(); ++k) {
      irn.push_back(4 * b + block.irn[k]);
      jcn.push_back(4 * b + block.jcn[k]);
    }
    x0.insert(x0.end(), block.x0.begin(), block.x0.end());
  }
  return complex_step_problem("ExtendedPowellSingular" + std::to_string(n), n, n, irn, jcn, x0, 0,
                              [n](const auto* x, auto* f) {
                                for (int b = 0; b < n; b += 4) {
                                  f[b] = x[b] + 10.0 * x[b + 1];
                                  f[b + 1] = std::sqrt(5.0) * (x[b + 2] - x[b + 3]);
                                  f[b + 2] = (x[b + 1] - 2.0 * x[b + 2]) * (x[b + 1] - 2.0 * x[b + 2]);
                                  f[b + 3] = std::sqrt(10.0) * (x[b] - x[b + 3]) * (x[b] - x[b + 3]);
                                }
                              });
}

inline Problem penalty1(int n) {
  std::vector<double> x0;
  for (int j = 1; j <= n; ++j) x0.push_back(j);
  return complex_step_problem("Penalty1_" + std::to_string(n), n + 1, n, {}, {}, x0, n == 4 ? 2.2499775008999e-5 : 0,
                              [n](const auto* x, auto* f) {
                                auto s = x[0] * x[0];
                                for (int j = 0; j < n; ++j) f[j] = std::sqrt(1e-5) * (x[j] - 1.0);
                                for (int j = 1; j < n; ++j) s += x[j] * x[j];
                                f[n] = s - 0.25;
                              });
}

inline Problem penalty2(int n) {
  return complex_step_problem(
      "Penalty2_" + std::to_string(n), 2 * n, n, {}, {}, std::vector<double>(n, 0.5), n == 4 ? 9.3762930073554e-6 : 0,
      [n](const auto* x, auto* f) {
        const double a = std::sqrt(1e-5);
        f[0] = x[0] - 0.2;
        for (int i = 2; i <= n; ++i)
          f[i - 1] = a * (std::exp(x[i - 1] / 10.0) + std::exp(x[i - 2] / 10.0) - std::exp(i / 10.0) -
                          std::exp((i - 1) / 10.0));
        for (int i = n + 1; i < 2 * n; ++i) f[i - 1] = a * (std::exp(x[i - n] / 10.0) - std::exp(-0.1));
        auto s = double(n) * x[0] * x[0];
        for (int j = 2; j <= n; ++j) s += double(n - j + 1) * x[j - 1] * x[j - 1];
        f[2 * n - 1] = s - 1.0;
      });
}

inline Problem variably_dimensioned(int n) {
  std::vector<double> x0;
  for (int j = 1; j <= n; ++j) x0.push_back(1 - double(j) / n);
  return complex_step_problem("VariablyDimensioned" + std::to_string(n), n + 2, n, {}, {}, x0, 0,
                              [n](const auto* x, auto* f) {
                                auto s = x[0] - 1.0;
                                for (int j = 2; j <= n; ++j) s += double(j) * (x[j - 1] - 1.0);
                                for (int j = 0; j < n; ++j) f[j] = x[j] - 1.0;
                                f[n] = s;
                                f[n + 1] = s * s;
                              });
}

// From the standard start with n = 10 the method reaches the local minimum,
// not a zero.
inline Problem trigonometric(int n) {
  return complex_step_problem("Trigonometric" + std::to_string(n), n, n, {}, {}, std::vector<double>(n, 1.0 / n),
                              n == 10 ? 2.7950561218771e-5 : 0,
                              [n](const auto* x, auto* f) {
                                auto s = std::cos(x[0]);
                                for (int j = 1; j < n; ++j) s += std::cos(x[j]);
                                for (int i = 1; i <= n; ++i) {
                                  const auto xi = x[i - 1];
                                  f[i - 1] = double(n) - s + double(i) * (1.0 - std::cos(xi)) - std::sin(xi);
                                }
                              });
}

inline Problem brown_almost_linear(int n) {
  return complex_step_problem("BrownAlmostLinear" + std::to_string(n), n, n, {}, {}, std::vector<double>(n, 0.5), 0,
                              [n](const auto* x, auto* f) {
                                auto s = x[0], prod = x[0];
                                for (int j = 1; j < n; ++j) {
                                  s += x[j];
                                  prod *= x[j];
                                }
                                for (int i = 0; i < n - 1; ++i) f[i] = x[i] + s - double(n + 1);
                                f[n - 1] = prod - 1.0;
                              });
}

inline Problem discrete_integral_equation(int n) {
  std::vector<double> x0;
  const double h = 1.0 / (n + 1);
  for (int i = 1; i <= n; ++i) x0.push_back(i * h * (i * h - 1));
  return complex_step_problem("DiscreteIntegralEquation" + std::to_string(n), n, n, {}, {}, x0, 0,
                              [n, h](const auto* x, auto* f) {
                                for (int i = 1; i <= n; ++i) {
                                  const double ti = i * h;
                                  auto below = 0.0 * x[0], above = 0.0 * x[0];
                                  for (int j = 1; j <= n; ++j) {
                                    const double tj = j * h;
                                    const auto u = x[j - 1] + tj + 1.0, c = u * u * u;
                                    if (j <= i)
                                      below += tj * c;
                                    else
                                      above += (1 - tj) * c;
                                  }
                                  f[i - 1] = x[i - 1] + h * ((1 - ti) * below + ti * above) / 2.0;
                                }
                              });
}

inline Problem linear_full_rank(int m, int n) {
  return complex_step_problem("LinearFullRank", m, n, {}, {}, std::vector<double>(n, 1.0), m - n,
                              [m, n](const auto* x, auto* f) {
                                auto s = x[0];
                                for (int j = 1; j < n; ++j) s += x[j];
                                for (int i = 0; i < m; ++i)
                                  f[i] = (i < n ? x[i] : 0.0 * x[0]) - 2.0 * s / double(m) - 1.0;
                              });
}

// The published set at its standard starts, in its order: the problems
// above and these, with the usual sizes of the scalable ones.
inline std::vector<Problem> published_set() {
  return {rosenbrock(),          freudenstein_roth(),         powell_badly_scaled(),     brown_badly_scaled(),
          beale(),               jennrich_sampson(),          helical_valley(),          bard(),
          gaussian(),            meyer(),                     gulf(),                    box3d(),
          powell_singular(),     wood(),                      kowalik_osborne(),         brown_dennis(),
          osborne1(),            biggs_exp6(),                osborne2(),                watson(6),
          extended_rosenbrock(10), extended_powell_singular(12), penalty1(4),            penalty2(4),
          variably_dimensioned(10), trigonometric(10),         brown_almost_linear(10),   boundary_value(10),
          discrete_integral_equation(10), broyden_tridiagonal(10), broyden_banded(10),   linear_full_rank(10, 5),
          linear_rank1(),        linear_rank1_zero_rows(),    chebyquad(8)};
}

// The problem in y = x / SCALE: the solver's variables are SCALE times the
// published ones.
inline Problem scaled(const Problem& p, double scale, const std::string& tag) {
  Problem s = p;
  s.name = p.name + tag;
  for (double& v : s.x0) v *= scale;
  s.residuals = [f = p.residuals, n = p.n, scale](const double* x, double* r) {
    std::vector<double> y(x, x + n);
    for (double& v : y) v /= scale;
    f(y.data(), r);
  };
  s.jacobian = [jac = p.jacobian, n = p.n, ne = p.ne(), scale](const double* x, double* aj) {
    std::vector<double> y(x, x + n);
    for (double& v : y) v /= scale;
    jac(y.data(), aj);
    for (int k = 0; k < ne; ++k) aj[k] /= scale;
  };
  return s;
}

}  // namespace nls
