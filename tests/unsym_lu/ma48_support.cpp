#include "ma48_support.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "TesselBasicLib.h"

namespace tbl::test {

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr size_t kGuard = 0;  // the sanitizer watches the exact lengths
#else
constexpr size_t kGuard = 8;
#endif
constexpr double kGuardReal = -12345.5;
constexpr int32_t kGuardInt = -12345;

template <class T>
void check_guard(const std::vector<T>& v, size_t len, T mark, const char* what) {
  for (size_t k = len; k < v.size(); ++k)
    if (v[k] != mark) {
      ADD_FAILURE() << what << " written beyond its " << len << " entries";
      return;
    }
}

}  // namespace

Ma48::Ma48(int32_t m_, int32_t n_, std::vector<int32_t> rows, std::vector<int32_t> cols, std::vector<double> vals,
           int32_t la_factor)
    : m(m_),
      n(n_),
      ne(static_cast<int32_t>(rows.size())),
      row0(std::move(rows)),
      col0(std::move(cols)),
      val0(std::move(vals)) {
  VIZ_MA48ID(cntl, icntl);
  quiet();
  keep.assign(static_cast<size_t>(m) + 9 * static_cast<size_t>(n) + 2 + kGuard, -77);
  resize_la(std::max(2 * ne, la_factor * ne));
}

Ma48::Ma48(const Coo& c, int32_t la_factor) : Ma48(c.nrows, c.ncols, c.row, c.col, c.val, la_factor) {}

void Ma48::quiet() {
  icntl[0] = 0;
  icntl[1] = 0;
}

void Ma48::resize_la(int32_t l) {
  la = l;
  a.assign(la + kGuard, kGuardReal);
  irn.assign(la + kGuard, kGuardInt);
  jcn.assign(la + kGuard, kGuardInt);
}

void Ma48::grow_la(int32_t l) {
  const size_t old = a.size() - kGuard;
  for (auto* v : {&irn, &jcn}) {
    v->resize(old);
    v->resize(l, 0);
    v->resize(l + kGuard, kGuardInt);
  }
  a.resize(old);
  a.resize(l, 0.0);
  a.resize(l + kGuard, kGuardReal);
  la = l;
}

void Ma48::check_guards() const {
  check_guard(keep, keep.size() - kGuard, -77, "KEEP");
  const size_t len = a.size() - kGuard;
  check_guard(a, len, kGuardReal, "A");
  check_guard(irn, len, kGuardInt, "IRN");
  check_guard(jcn, len, kGuardInt, "JCN");
}

int32_t Ma48::analyse(int32_t job) {
  std::copy(row0.begin(), row0.end(), irn.begin());
  std::copy(col0.begin(), col0.end(), jcn.begin());
  std::copy(val0.begin(), val0.end(), a.begin());
  const size_t liw = 6 * size_t(std::max(m, 0)) + 3 * size_t(std::max(n, 0));
  if (iw.size() < liw) iw.resize(liw, 0);
  iw.resize(liw);
  iw.resize(liw + kGuard, kGuardInt);
  VIZ_MA48AD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info,
             rinfo);
  check_guard(iw, liw, kGuardInt, "IW");
  check_guards();
  return info[0];
}

int32_t Ma48::factorise(int32_t job) { return factorise(val0, job); }

int32_t Ma48::factorise(const std::vector<double>& values, int32_t job) {
  std::copy(values.begin(), values.end(), a.begin());
  const size_t lw = std::max(m, 0), liw = 2 * size_t(std::max(m, 0)) + 2 * size_t(std::max(n, 0));
  std::vector<double> w(lw + kGuard, kGuardReal);
  std::vector<int32_t> iwb(liw + kGuard, kGuardInt);
  VIZ_MA48BD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(),
             iwb.data(), info, rinfo);
  check_guard(w, lw, kGuardReal, "W");
  check_guard(iwb, liw, kGuardInt, "IW");
  check_guards();
  return info[0];
}

int32_t Ma48::solve(const std::vector<double>& rhs, std::vector<double>& x, bool trans, int32_t job,
                    double* error) {
  const size_t lr = trans ? n : m, lx = trans ? m : n, mx = std::max(m, n);
  const size_t lw = job == 1 ? lr + 2 * mx : lr + 2 * mx + lx;
  std::vector<double> b(rhs);
  b.resize(lr);
  b.resize(lr + kGuard, kGuardReal);
  x.assign(lx + kGuard, kGuardReal);
  std::vector<double> w(lw + kGuard, kGuardReal);
  std::vector<int32_t> iwc(lr + kGuard, kGuardInt);
  double err[3] = {-1.0, -1.0, -1.0};
  if (error != nullptr) std::copy(error, error + 3, err);
  int32_t t = trans ? -1 : 0;
  int32_t info1[1] = {info[0]};
  VIZ_MA48CD(&m, &n, &t, &job, &la, a.data(), irn.data(), keep.data(), cntl, icntl, b.data(), x.data(), err,
             w.data(), iwc.data(), info1);
  check_guard(b, lr, kGuardReal, "RHS");
  check_guard(x, lx, kGuardReal, "X");
  check_guard(w, lw, kGuardReal, "W");
  check_guard(iwc, lr, kGuardInt, "IW");
  check_guards();
  x.resize(lx);
  b.resize(lr);
  last_rhs = b;
  if (error != nullptr) std::copy(err, err + 3, error);
  info[0] = info1[0];
  return info1[0];
}

std::vector<double> Ma48::apply(const std::vector<double>& x, bool trans) const {
  std::vector<double> y(trans ? n : m, 0.0);
  for (int32_t k = 0; k < ne; ++k) {
    const int32_t i = row0[k], j = col0[k];
    if (i < 1 || i > m || j < 1 || j > n) continue;
    if (!trans)
      y[i - 1] += val0[k] * x[j - 1];
    else
      y[j - 1] += val0[k] * x[i - 1];
  }
  return y;
}

double Ma48::relative_residual(const std::vector<double>& b, const std::vector<double>& x, bool trans) const {
  const std::vector<double> y = apply(x, trans);
  double r = 0.0, s = 0.0;
  for (size_t i = 0; i < y.size(); ++i) {
    r = std::max(r, std::fabs(b[i] - y[i]));
    s = std::max(s, std::fabs(b[i]));
  }
  return s > 0 ? r / s : r;
}

Ma48 reducible_matrix() {
  return Ma48(7, 7, {1, 2, 1, 2, 3, 3, 4, 4, 5, 6, 5, 6, 7, 5}, {1, 2, 2, 1, 3, 1, 4, 3, 5, 6, 6, 5, 7, 4},
              {4.0, 5.0, 1.0, 2.0, 3.0, 1.0, 6.0, 1.0, 7.0, 8.0, 1.0, 2.0, 9.0, 1.0});
}

Ma48 cycle_matrix(int32_t nb, bool extras) {
  std::vector<int32_t> r, c;
  std::vector<double> v;
  for (int32_t b = 0; b < nb; ++b)
    for (int32_t j = 1; j <= 8; ++j) {
      r.insert(r.end(), {8 * b + j, 8 * b + j % 8 + 1});
      c.insert(c.end(), {8 * b + j, 8 * b + j});
      v.insert(v.end(), {4.0 + j, -1.0 - b});
    }
  if (nb > 1) {
    r.push_back(1);
    c.push_back(9);
    v.push_back(0.5);
  }
  if (extras) {
    r.insert(r.end(), {1, 2, 2, 8 * nb + 1});
    c.insert(c.end(), {1, 1, 2, 1});
    v.insert(v.end(), {0.5, 0.25, 1.0, 7.0});
  }
  return Ma48(8 * nb, 8 * nb, r, c, v);
}

std::string messages(Ma48& p, int32_t level, const std::function<void()>& body) {
  constexpr int32_t kUnit = 41;
  p.icntl[0] = p.icntl[1] = kUnit;
  p.icntl[2] = level;
  const std::string out = capture_unit(kUnit, body);
  p.quiet();
  return out;
}

std::string layout_fault(const Ma48& p) {
  const int64_t m = p.m, n = p.n;
  std::ostringstream why;
  auto is_perm = [](const int32_t* v, int64_t len) {
    std::vector<char> seen(len + 1, 0);
    for (int64_t i = 0; i < len; ++i) {
      if (v[i] < 1 || v[i] > len || seen[v[i]]) return false;
      seen[v[i]] = 1;
    }
    return true;
  };
  if (!is_perm(p.keep.data(), m)) return "row positions are not a permutation";
  if (!is_perm(p.keep.data() + m, n)) return "column order is not a permutation";
  const int32_t nb = p.nb();
  if (nb < 1 || nb > n) return "block count out of range";
  // Column j of the permuted matrix -> its block's first and last position.
  std::vector<int32_t> bfirst(n + 1), blast(n + 1);
  std::vector<char> tri(n + 1);
  int32_t s = 1;
  for (int k = 1; k <= nb; ++k) {
    const int32_t nc = p.block_order(k);
    if (nc < 1 || s + nc - 1 > n) return "block orders do not add up";
    if (p.block_flag(k) < 0 && p.block_flag(k) != -nc) return "triangular flag differs from the order";
    for (int32_t j = s; j < s + nc; ++j) {
      bfirst[j] = s;
      blast[j] = s + nc - 1;
      tri[j] = p.block_flag(k) < 0;
    }
    s += nc;
  }
  if (s != n + 1) return "block orders do not add up to N";
  if (p.iptrd(1) != 1 || p.iptro(1) != p.iptrd(n + 1)) return "pointer starts";
  const int32_t newne = p.iptro(n + 1) - 1;
  if (newne > p.ne) return "more stored entries than entries";
  std::vector<int32_t> colof(newne + 1, 0);
  for (int32_t j = 1; j <= n; ++j) {
    if (p.iptrd(j + 1) < p.iptrd(j) || p.iptro(j + 1) < p.iptro(j)) return "pointers decrease";
    for (int32_t q = p.iptrd(j); q < p.iptrd(j + 1); ++q) {
      colof[q] = j;
      const int32_t r = p.irn[q - 1];
      if (r < 1 || r > m) return "row index out of range";
      if ((nb > 1 || m == n) && (r < bfirst[j] || r > blast[j])) {
        why << "diagonal-block entry of column " << j << " in row " << r << " outside its block";
        return why.str();
      }
      if (tri[j] && q == p.iptrd(j) && r != j) return "triangular column does not start with its diagonal";
      if (tri[j] && q > p.iptrd(j) && r >= j) return "triangular block not upper triangular";
    }
    for (int32_t q = p.iptro(j); q < p.iptro(j + 1); ++q) {
      colof[q] = j;
      if (p.irn[q - 1] >= bfirst[j]) return "off-diagonal entry not above its block";
    }
  }
  const bool dups = p.jcn[0] < 0;
  std::vector<char> hit(newne + 1, 0);
  for (int32_t k = 0; k < p.ne; ++k) {
    const int32_t pos = k == 0 && dups ? -p.jcn[0] : p.jcn[k];
    const int32_t i = p.row0[k], j = p.col0[k];
    if (i < 1 || i > m || j < 1 || j > n) {
      if (pos != p.ne) return "out-of-range entry not mapped to NE";
      continue;
    }
    if (pos < 1 || pos > newne) return "map outside the stored entries";
    if (p.irn[pos - 1] != p.keep[i - 1]) {
      why << "entry " << k + 1 << " stored in the wrong row";
      return why.str();
    }
    if (p.keep[m + colof[pos] - 1] != j) {
      why << "entry " << k + 1 << " stored in the wrong column";
      return why.str();
    }
    hit[pos] = 1;
  }
  for (int32_t q = 1; q <= newne; ++q)
    if (!hit[q]) return "stored entry that no entry maps to";
  return "";
}

// The componentwise backward errors of X, evaluated independently in
// extended precision with the solver's own split of the equations.
std::pair<double, double> backward_errors(const Ma48& p, const std::vector<double>& b,
                                          const std::vector<double>& x, bool trans, std::vector<long double>* g1,
                                          std::vector<long double>* g2) {
  const size_t lr = b.size();
  std::vector<long double> r(b.begin(), b.end()), ax(lr, 0.0L), rowsum(lr, 0.0L);
  long double xnorm = 0.0L;
  for (double xi : x) xnorm = std::max<long double>(xnorm, std::fabs(xi));
  for (int32_t k = 0; k < p.ne; ++k) {
    if (p.row0[k] < 1 || p.row0[k] > p.m || p.col0[k] < 1 || p.col0[k] > p.n) continue;
    const int32_t i = trans ? p.col0[k] : p.row0[k], j = trans ? p.row0[k] : p.col0[k];
    const long double t = static_cast<long double>(p.val0[k]) * x[j - 1];
    r[i - 1] -= t;
    ax[i - 1] += std::fabs(t);
    rowsum[i - 1] += std::fabs(static_cast<long double>(p.val0[k]));
  }
  const long double tau = 1000.0L * 2.220446049250313e-16L * x.size();
  long double w1 = 0.0L, w2 = 0.0L;
  if (g1 != nullptr) g1->assign(lr, 0.0L);
  if (g2 != nullptr) g2->assign(lr, 0.0L);
  for (size_t i = 0; i < lr; ++i) {
    const long double d = std::fabs(static_cast<long double>(b[i])) + ax[i];
    const long double t = tau * (std::fabs(static_cast<long double>(b[i])) + xnorm * rowsum[i]);
    if (d > t) {
      w1 = std::max(w1, std::fabs(r[i]) / d);
      if (g1 != nullptr) (*g1)[i] = d;
    } else {
      if (t > 0) w2 = std::max(w2, std::fabs(r[i]) / (ax[i] + xnorm * rowsum[i]));
      if (g2 != nullptr) (*g2)[i] = ax[i] + xnorm * rowsum[i];
    }
  }
  return {static_cast<double>(w1), static_cast<double>(w2)};
}

std::string capture_unit(int32_t unit, const std::function<void()>& body) {
  char tmpl[] = "/tmp/tbl_ma48_XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  const std::string path = tmpl;
  FFOPEN(path.c_str(), &unit, path.size());
  body();
  FFCLOSE(&unit);
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  unlink(path.c_str());
  return s.str();
}

std::vector<double> random_vector(int32_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<double> v(n);
  for (auto& x : v) x = d(gen);
  return v;
}



}  // namespace tbl::test
