// Drives the MA50 kernel the way its caller does: analyse a matrix held by
// columns, factorise with the orders found, solve.  Shared by the MA50 tests
// and benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "support/mtx.hpp"
#include "unsym_lu/ma50.hpp"

namespace tbl::test {

// A sparse matrix by columns: column j at ptr[j-1] .. ptr[j]-1 (1-based
// positions), with 1-based row indices.
struct Csc {
  int m = 0, n = 0;
  std::vector<int> ptr;  // n+1 entries
  std::vector<int> row;
  std::vector<double> val;
  int nnz() const { return static_cast<int>(row.size()); }

  double at(int i, int j) const {
    for (int k = ptr[j - 1]; k < ptr[j]; ++k) {
      if (row[k - 1] == i) return val[k - 1];
    }
    return 0.0;
  }
  // y = A x (or A' x)
  std::vector<double> mul(const std::vector<double>& x, bool trans = false) const {
    std::vector<double> y(trans ? n : m, 0.0);
    for (int j = 1; j <= n; ++j) {
      for (int k = ptr[j - 1]; k < ptr[j]; ++k) {
        const int i = row[k - 1];
        if (trans) {
          y[j - 1] += val[k - 1] * x[i - 1];
        } else {
          y[i - 1] += val[k - 1] * x[j - 1];
        }
      }
    }
    return y;
  }
};

// Entries (i, j, v) summed at equal positions, columns in order.
inline Csc make_csc(int m, int n, const std::vector<std::pair<std::pair<int, int>, double>>& entries) {
  std::map<std::pair<int, int>, double> by_col;
  for (const auto& e : entries) by_col[{e.first.second, e.first.first}] += e.second;
  Csc a;
  a.m = m;
  a.n = n;
  a.ptr.assign(n + 1, 1);
  for (const auto& [key, v] : by_col) {
    a.row.push_back(key.second);
    a.val.push_back(v);
    ++a.ptr[key.first];
  }
  for (int j = 1; j <= n; ++j) a.ptr[j] += a.ptr[j - 1] - 1;
  return a;
}

inline Csc from_dense(int m, int n, const std::vector<double>& colmajor) {
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= n; ++j) {
    for (int i = 1; i <= m; ++i) {
      const double v = colmajor[(i - 1) + (j - 1) * m];
      if (v != 0.0) e.push_back({{i, j}, v});
    }
  }
  return make_csc(m, n, e);
}

inline Csc from_coo(const Coo& c) {
  const Coo full = c.symmetric ? expand_symmetric(c) : c;
  std::vector<std::pair<std::pair<int, int>, double>> e;
  e.reserve(full.row.size());
  for (std::size_t k = 0; k < full.row.size(); ++k) e.push_back({{full.row[k], full.col[k]}, full.val[k]});
  return make_csc(full.nrows, full.ncols, e);
}

// Random sparse matrix with a strong diagonal (when square) and about
// `per_col` further entries per column.
inline Csc random_csc(int m, int n, int per_col, unsigned seed, bool diag = true) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(1, m);
  std::uniform_real_distribution<double> val(-1.0, 1.0);
  std::vector<std::pair<std::pair<int, int>, double>> e;
  for (int j = 1; j <= n; ++j) {
    if (diag && j <= m) e.push_back({{j, j}, 4.0 + val(gen)});
    for (int k = 0; k < per_col; ++k) e.push_back({{pick(gen), j}, val(gen)});
  }
  return make_csc(m, n, e);
}

// One MA50 problem: the matrix, its controls and every array of the kernel.
struct Ma50 {
  Csc a;
  double cntl[4];
  fint icntl[7];

  // Analysis.
  std::vector<fint> ip, iq;
  fint np = 0;
  fint info_a[7] = {};
  double rinfo_a = 0.0;

  // Factorisation.
  fint lfact = 0;
  std::vector<double> fact, w;
  std::vector<fint> irnf, iptrl, iptru, iw;
  fint info_b[7] = {};
  double rinfo_b = 0.0;
  std::vector<fint> ip_b;  // row positions returned by MA50BD

  explicit Ma50(Csc mat) : a(std::move(mat)) { MA50_DEFAULTS(cntl, icntl); icntl[2] = 0; }

  // MA50AD with LA = la_factor * NE (at least NE).
  fint analyse(double la_factor = 3.0) {
    const fint m = a.m, n = a.n, ne = a.nnz();
    fint la = std::max<fint>(ne, static_cast<fint>(la_factor * ne));
    std::vector<double> av(la, 0.0);
    std::vector<fint> irn(la, 0), jcn(la, 0);
    std::copy(a.val.begin(), a.val.end(), av.begin());
    std::copy(a.row.begin(), a.row.end(), irn.begin());
    iq.assign(a.ptr.begin(), a.ptr.begin() + n);
    if (ip.size() != static_cast<std::size_t>(m)) ip.assign(m, 0);
    std::vector<fint> jfirst(m), lenr(m), lastr(m), nextr(m), iwa(m);
    std::vector<fint> lenc(n), lastc(n), nextc(n);
    if (ifirst_in.size() != static_cast<std::size_t>(n)) ifirst_in.assign(n, 0);
    std::vector<fint> ifirst = ifirst_in;
    MA50AD(&m, &n, &ne, &la, av.data(), irn.data(), jcn.data(), iq.data(), cntl, icntl, ip.data(), &np,
           jfirst.data(), lenr.data(), lastr.data(), nextr.data(), iwa.data(), ifirst.data(), lenc.data(),
           lastc.data(), nextc.data(), info_a, &rinfo_a);
    return info_a[0];
  }
  std::vector<fint> ifirst_in;  // given column sequence for ICNTL(7) = 2

  // MA50BD; lfact 0 means "MA50AD's forecast".
  fint factorise(fint job, fint lfact_in = 0, const std::vector<double>* values = nullptr) {
    const fint m = a.m, n = a.n, ne = a.nnz();
    const fint want = lfact_in > 0 ? lfact_in : info_a[3];
    if (job == 1 || want != lfact) {
      // A new length: keep what an earlier call stored (JOB 2 and 3 need it).
      lfact = want;
      fact.resize(lfact, 0.0);
      irnf.resize(lfact, 0);
    }
    iptrl.resize(n);
    iptru.resize(n);
    w.assign(m, 0.0);
    iw.assign(m + 2 * n, 0);
    if (job == 1 || ip_b.empty()) ip_b = ip;
    const double* vals = values ? values->data() : a.val.data();
    MA50BD(&m, &n, &ne, &job, vals, a.row.data(), a.ptr.data(), cntl, icntl, ip_b.data(), iq.data(), &np, &lfact,
           fact.data(), irnf.data(), iptrl.data(), iptru.data(), w.data(), iw.data(), info_b, &rinfo_b);
    return info_b[0];
  }

  std::vector<double> solve(const std::vector<double>& b, bool trans) {
    const fint m = a.m, n = a.n;
    std::vector<double> x(std::max(m, n), -7.0), work(std::max(m, n));
    fint info = 12345;
    const logical tr = trans ? kTrue : kFalse;
    MA50CD(&m, &n, icntl, iq.data(), &np, &tr, &lfact, fact.data(), irnf.data(), iptrl.data(), iptru.data(),
           b.data(), x.data(), work.data(), &info);
    x.resize(trans ? m : n);
    return x;
  }
};

// A = [2 0 1; 1 3 0; 0 1 4], whose factors the tests work out by hand.
inline Csc small_example() {
  return make_csc(3, 3, {{{1, 1}, 2.0}, {{2, 1}, 1.0}, {{2, 2}, 3.0}, {{3, 2}, 1.0}, {{1, 3}, 1.0}, {{3, 3}, 4.0}});
}

// Identity row order, identity column order (IQ(1) = 0) and NP sparse
// columns: a factorisation without analysis.
inline void identity_orders(Ma50& p, fint np) {
  p.ip.resize(p.a.m);
  for (fint i = 1; i <= p.a.m; ++i) p.ip[i - 1] = i;
  p.iq.assign(p.a.n, 0);
  p.np = np;
}

inline double max_abs(const std::vector<double>& v) {
  double r = 0.0;
  for (double x : v) r = std::max(r, std::fabs(x));
  return r;
}

// max |A x - b| / (max |A| * max |x| + max |b|)
inline double residual(const Csc& a, const std::vector<double>& x, const std::vector<double>& b, bool trans) {
  std::vector<double> r = a.mul(x, trans);
  for (std::size_t i = 0; i < r.size(); ++i) r[i] -= b[i];
  return max_abs(r) / (max_abs(a.val) * max_abs(x) + max_abs(b));
}

inline bool is_permutation(const std::vector<fint>& v, fint n) {
  if (v.size() != static_cast<std::size_t>(n)) return false;
  std::vector<char> seen(n + 1, 0);
  for (fint x : v) {
    if (x < 1 || x > n || seen[x]) return false;
    seen[x] = 1;
  }
  return true;
}

}  // namespace tbl::test
