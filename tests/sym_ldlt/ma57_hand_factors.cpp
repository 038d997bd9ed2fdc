#include "sym_ldlt/ma57_hand_factors.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace tbl::test {

Dense multiply(const Dense& a, const Dense& b) {
  Dense c(a.n);
  for (int j = 1; j <= a.n; ++j)
    for (int k = 1; k <= a.n; ++k)
      for (int i = 1; i <= a.n; ++i) c(i, j) += a(i, k) * b(k, j);
  return c;
}

Dense transpose(const Dense& a) {
  Dense t(a.n);
  for (int j = 1; j <= a.n; ++j)
    for (int i = 1; i <= a.n; ++i) t(i, j) = a(j, i);
  return t;
}

std::vector<double> multiply(const Dense& a, const std::vector<double>& x) {
  std::vector<double> y(a.n, 0.0);
  for (int j = 1; j <= a.n; ++j)
    for (int i = 1; i <= a.n; ++i) y[i - 1] += a(i, j) * x[j - 1];
  return y;
}

std::vector<double> solve_exact(const Dense& a, const std::vector<double>& b) {
  const int n = a.n;
  std::vector<long double> m(a.v.begin(), a.v.end());
  std::vector<long double> x(b.begin(), b.end());
  auto at = [&](int i, int j) -> long double& { return m[i + static_cast<std::size_t>(j) * n]; };
  for (int k = 0; k < n; ++k) {
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(at(i, k)) > std::fabs(at(p, k))) p = i;
    if (at(p, k) == 0) throw std::runtime_error("solve_exact: singular matrix");
    for (int j = 0; j < n; ++j) std::swap(at(k, j), at(p, j));
    std::swap(x[k], x[p]);
    for (int i = k + 1; i < n; ++i) {
      const long double f = at(i, k) / at(k, k);
      for (int j = k; j < n; ++j) at(i, j) -= f * at(k, j);
      x[i] -= f * x[k];
    }
  }
  for (int k = n - 1; k >= 0; --k) {
    for (int j = k + 1; j < n; ++j) x[k] -= at(k, j) * x[j];
    x[k] /= at(k, k);
  }
  return std::vector<double>(x.begin(), x.end());
}

Dense inverse(const Dense& a) {
  Dense inv(a.n);
  for (int j = 1; j <= a.n; ++j) {
    std::vector<double> e(a.n, 0.0);
    e[j - 1] = 1.0;
    const auto col = solve_exact(a, e);
    for (int i = 1; i <= a.n; ++i) inv(i, j) = col[i - 1];
  }
  return inv;
}

HandFactors store_factors(int n, const std::vector<BlockLayout>& blocks, const Dense& m, const Dense& d) {
  HandFactors f;
  f.n = n;
  f.m = m;
  f.d = d;
  f.a = multiply(multiply(m, d), transpose(m));
  std::vector<double> pairs;  // off-diagonal entries of the 2x2 inverses
  f.ifact = {0, 0, static_cast<int>(blocks.size())};
  for (const auto& b : blocks) {
    const int nrows = static_cast<int>(b.pivots.size());
    const int ncols = nrows + static_cast<int>(b.rest.size());
    std::vector<bool> first(nrows + 2, false), second(nrows + 2, false);
    for (int k : b.pairs) {
      first[k] = true;
      second[k + 1] = true;
    }
    f.ifact.push_back(ncols);
    f.ifact.push_back(nrows);
    for (int k = 1; k <= nrows; ++k) f.ifact.push_back(first[k] || second[k] ? -b.pivots[k - 1] : b.pivots[k - 1]);
    for (int v : b.rest) f.ifact.push_back(v);
    for (int k = 1; k <= nrows; ++k) {
      const int p = b.pivots[k - 1];
      if (first[k]) {
        const int q = b.pivots[k];
        const double det = d(p, p) * d(q, q) - d(p, q) * d(q, p);
        f.fact.push_back(d(q, q) / det);
        pairs.push_back(-d(p, q) / det);
      } else if (second[k]) {
        const int q = b.pivots[k - 2];
        const double det = d(p, p) * d(q, q) - d(p, q) * d(q, p);
        f.fact.push_back(d(q, q) / det);
      } else {
        f.fact.push_back(1.0 / d(p, p));
      }
      for (int i = k + 1; i <= nrows; ++i) f.fact.push_back(first[k] && i == k + 1 ? 0.0 : m(b.pivots[i - 1], p));
    }
    for (int k = 1; k <= nrows; ++k)
      for (int r : b.rest) f.fact.push_back(-m(r, b.pivots[k - 1]));
  }
  f.ifact[0] = static_cast<int>(f.fact.size()) + 1;
  f.ifact[1] = static_cast<int>(f.fact.size() + pairs.size());
  f.fact.insert(f.fact.end(), pairs.begin(), pairs.end());
  return f;
}

HandFactors random_factors(int n, const std::vector<BlockLayout>& blocks, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Dense m(n), d(n);
  for (int i = 1; i <= n; ++i) m(i, i) = 1.0;
  for (const auto& b : blocks) {
    const int nrows = static_cast<int>(b.pivots.size());
    std::vector<bool> first(nrows + 2, false);
    for (int k : b.pairs) first[k] = true;
    for (int k = 1; k <= nrows; ++k) {
      const int p = b.pivots[k - 1];
      for (int i = k + 1; i <= nrows; ++i)
        if (!(first[k] && i == k + 1)) m(b.pivots[i - 1], p) = 0.5 * u(gen);
      for (int r : b.rest) m(r, p) = 0.5 * u(gen);
    }
    for (int k = 1; k <= nrows; ++k) {
      const int p = b.pivots[k - 1];
      if (first[k]) {
        const int q = b.pivots[k];
        d(p, p) = 0.5 * u(gen);
        d(q, q) = 0.5 * u(gen);
        d(p, q) = d(q, p) = 2.0 + u(gen);
        ++k;
      } else {
        d(p, p) = (u(gen) < 0 ? -1.0 : 1.0) * (1.5 + u(gen));
      }
    }
  }
  return store_factors(n, blocks, m, d);
}

HandFactors mixed_factors() {
  const std::vector<BlockLayout> blocks = {
      {{5, 3, 9, 1, 12, 7}, {2, 14, 6}, {2}},
      {{2, 14}, {6, 10}, {}},
      {{8, 11, 4, 13, 6}, {10, 15, 16}, {1, 4}},
      {{10, 16, 15}, {}, {2}},
  };
  return random_factors(16, blocks, 7u);
}

HandFactors diagonal_factors(const std::vector<double>& dv) {
  const int n = static_cast<int>(dv.size());
  Dense m(n), d(n);
  BlockLayout b;
  for (int i = 1; i <= n; ++i) {
    m(i, i) = 1.0;
    d(i, i) = dv[i - 1];
    b.pivots.push_back(i);
  }
  return store_factors(n, {b}, m, d);
}

HandFactors dense_ldlt(const Dense& a, const std::vector<int>& block_sizes) {
  const int n = a.n;
  Dense m(n), d(n), s = a;
  for (int k = 1; k <= n; ++k) {
    m(k, k) = 1.0;
    d(k, k) = s(k, k);
    for (int i = k + 1; i <= n; ++i) m(i, k) = s(i, k) / s(k, k);
    for (int j = k + 1; j <= n; ++j)
      for (int i = k + 1; i <= n; ++i) s(i, j) -= m(i, k) * d(k, k) * m(j, k);
  }
  std::vector<BlockLayout> blocks;
  int next = 1;
  for (int size : block_sizes) {
    BlockLayout b;
    for (int k = 0; k < size; ++k) b.pivots.push_back(next++);
    for (int v = next; v <= n; ++v) b.rest.push_back(v);
    blocks.push_back(b);
  }
  if (next != n + 1) throw std::invalid_argument("dense_ldlt: block sizes must add up to n");
  HandFactors f = store_factors(n, blocks, m, d);
  f.a = a;  // the matrix itself, not its product of rounded factors
  return f;
}

Entries lower_entries(const Dense& a) {
  Entries e;
  for (int j = 1; j <= a.n; ++j)
    for (int i = j; i <= a.n; ++i)
      if (a(i, j) != 0.0) {
        e.val.push_back(a(i, j));
        e.irn.push_back(i);
        e.jcn.push_back(j);
      }
  return e;
}

double rel_diff(const std::vector<double>& got, const std::vector<double>& want) {
  double err = 0.0, scale = 0.0;
  for (std::size_t i = 0; i < want.size(); ++i) {
    err = std::max(err, std::abs(got[i] - want[i]));
    scale = std::max(scale, std::abs(want[i]));
  }
  return scale == 0.0 ? err : err / scale;
}

double max_abs(const std::vector<double>& v) {
  double m = 0.0;
  for (double t : v) m = std::max(m, std::abs(t));
  return m;
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace tbl::test
