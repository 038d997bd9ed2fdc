// Classic least-squares and equation test problems with known minima, each
// with its residuals, the pattern of its Jacobian and the analytic values
// on it; shared by the tests and the benchmark.  Sums of squares are
// ||F||^2 at the minimum.
#pragma once

#include <algorithm>
#include <cmath>
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

inline Problem singular_four() {
  Problem p{"SingularFour", 4, 4, {1, 1, 2, 2, 3, 3, 4, 4}, {1, 2, 3, 4, 2, 3, 1, 4}, {}, {}, {3, -1, 0, 1}, 0.0};
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

inline std::vector<Problem> classic_problems() {
  return {rosenbrock(), singular_four(), freudenstein_roth(), bard(), box3d(), brown_badly_scaled(),
          helical_valley(), meyer(), linear_rank1(), linear_rank1_zero_rows()};
}

}  // namespace nls
