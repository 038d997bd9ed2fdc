#include "za38_support.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "za38_entry.hpp"

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

std::string fault(const std::string& what, int64_t a = 0) { return what + " (" + std::to_string(a) + ")"; }

}  // namespace

Za38::Za38(int32_t n_, std::vector<int32_t> rows, std::vector<int32_t> cols, std::vector<double> vals)
    : n(n_), row0(std::move(rows)), col0(std::move(cols)), val0(std::move(vals)) {
  za38_id(keep, cntl, icntl);
  quiet();
  const int64_t ne64 = ne();
  const int64_t li = std::max<int64_t>(min_index(n, ne64), 10 * ne64 + 20 * int64_t{n} + 64);
  const int64_t lv = std::max<int64_t>(min_value(ne64), 10 * ne64 + 2 * int64_t{n} * n + 64);
  set_lengths(static_cast<int32_t>(std::min<int64_t>(li, INT32_MAX)),
              static_cast<int32_t>(std::min<int64_t>(lv, INT32_MAX)));
}

Za38::Za38(const Coo& c) : Za38(c.nrows, c.row, c.col, c.val) {}

void Za38::quiet() {
  icntl[0] = -1;
  icntl[1] = -1;
}

void Za38::set_lengths(int32_t li, int32_t lv) {
  lindex = li;
  lvalue = lv;
  index.assign(static_cast<size_t>(std::max(li, 0)) + kGuard, kGuardInt);
  value.assign(static_cast<size_t>(std::max(lv, 0)) + kGuard, kGuardReal);
}

namespace {

// Entries in front of INDEX and VALUE (as far as the lengths reach), then
// one of the factorising phases.
template <class Phase>
int32_t factorising_call(Za38& p, int32_t job_, bool transa_, Phase phase) {
  p.job = job_;
  p.transa = transa_;
  const int32_t m = p.ne();
  for (int32_t k = 0; k < m; ++k) {
    if (k < p.lindex) p.index[k] = p.row0[k];
    if (m + k < p.lindex) p.index[m + k] = p.col0[k];
    if (k < p.lvalue) p.value[k] = p.val0[k];
  }
  const int32_t t = p.transa ? -1 : 0;
  std::fill(std::begin(p.rinfo), std::end(p.rinfo), -1.0);  // both phases clear RINFO first
  phase(&p.n, &m, &p.job, &t, &p.lvalue, &p.lindex, p.value.data(), p.index.data(), p.keep, p.cntl, p.icntl, p.info,
        p.rinfo);
  p.check_guards();
  // RINFO(9), the growth, is 0 after an error; RINFO(10..20) are always 0.
  for (int k = p.info[0] < 0 ? 9 : 10; k <= 20; ++k)
    if (p.rinfo[k - 1] != 0.0) ADD_FAILURE() << "RINFO(" << k << ") = " << p.rinfo[k - 1] << " on return";
  return p.info[0];
}

}  // namespace

int32_t Za38::analyse(int32_t job_, bool transa_) { return factorising_call(*this, job_, transa_, za38_ad); }
int32_t Za38::refactor(int32_t job_, bool transa_) { return factorising_call(*this, job_, transa_, za38_bd); }

int32_t Za38::analyse_growing(int32_t job_, bool transa_) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int32_t st = analyse(job_, transa_);
    if (st != -3 && st != -4 && st != -5) return st;
    const int64_t li = std::max<int64_t>(lindex, int64_t{info[18]} + int64_t{info[18]} / 4);
    const int64_t lv = std::max<int64_t>(lvalue, int64_t{info[20]} + int64_t{info[20]} / 4);
    set_lengths(static_cast<int32_t>(std::min<int64_t>(li, INT32_MAX)),
                static_cast<int32_t>(std::min<int64_t>(lv, INT32_MAX)));
  }
  return analyse(job_, transa_);
}

int32_t Za38::solve(const std::vector<double>& b, std::vector<double>& x, int32_t sjob, bool transc) {
  const size_t lw = size_t(n) * (icntl[7] > 0 ? 4 : 2);
  std::vector<double> w(lw + kGuard, kGuardReal);
  x.resize(size_t(n) + kGuard, kGuardReal);
  const int32_t t = transc ? -1 : 0;
  za38_cd(&n, &sjob, &t, &lvalue, &lindex, value.data(), index.data(), keep, b.data(), x.data(), w.data(), cntl,
          icntl, info, rinfo);
  check_guard(w, lw, kGuardReal, "W");
  check_guard(x, size_t(n), kGuardReal, "X");
  x.resize(n);
  return info[0];
}

void Za38::check_guards() const {
  check_guard(index, static_cast<size_t>(std::max(lindex, 0)), kGuardInt, "INDEX");
  check_guard(value, static_cast<size_t>(std::max(lvalue, 0)), kGuardReal, "VALUE");
}

std::vector<double> Za38::apply(const std::vector<double>& x, bool trans) const {
  std::vector<double> y(n, 0.0);
  for (int32_t k = 0; k < ne(); ++k) {
    int32_t i = row0[k], j = col0[k];
    if (i < 1 || i > n || j < 1 || j > n) continue;
    if (transa) std::swap(i, j);  // an entry of the held matrix
    if (trans) std::swap(i, j);
    y[i - 1] += val0[k] * x[j - 1];
  }
  return y;
}

double Za38::relative_residual(const std::vector<double>& b, const std::vector<double>& x, bool trans) const {
  const std::vector<double> ax = apply(x, trans);
  double r = 0.0, bn = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    r = std::max(r, std::fabs(b[i] - ax[i]));
    bn = std::max(bn, std::fabs(b[i]));
  }
  return bn > 0.0 ? r / bn : r;
}

std::vector<double> held_dense(const Za38& p) {
  const int64_t n = p.n;
  std::vector<double> m(n * n, 0.0);
  for (int32_t k = 0; k < p.ne(); ++k) {
    int32_t i = p.row0[k], j = p.col0[k];
    if (i < 1 || i > n || j < 1 || j > n) continue;
    if (p.transa) std::swap(i, j);
    m[(i - 1) * n + (j - 1)] += p.val0[k];
  }
  return m;
}

std::string read_factors(const Za38& p, StoredFactors& f) {
  const int64_t k1 = p.keep[0], k2 = p.keep[1], k3 = p.keep[2], k4 = p.keep[3], k5 = p.keep[4];
  if (!(1 <= k1 && k1 <= k2 && k2 <= p.lvalue && 1 <= k3 && k3 <= k4 && k4 <= k5 - 6 && k5 <= p.lindex))
    return "KEEP(1..5) out of order";
  f.transa = p.idx(k5 - 6);
  f.noffdiag = p.idx(k5 - 5);
  f.nblocks = p.idx(k5 - 4);
  f.preserve = p.idx(k5 - 3);
  f.nz = p.idx(k5 - 2);
  f.n = p.idx(k5 - 1);
  f.ne = p.idx(k5);
  const int64_t n = f.n, nb = f.nblocks;
  if (n != p.n || f.nz < 1 || nb < 1 || nb > n || f.noffdiag < 0) return "trailer";
  if (f.transa != (p.transa ? 1 : 0) || f.preserve != (p.job == 1 ? 1 : 0) || f.ne != p.ne()) return "trailer flags";
  for (int64_t k = 1; k <= n; ++k) {
    f.cperm.push_back(p.idx(k5 - 2 * n - 7 + k));
    f.rperm.push_back(p.idx(k5 - n - 7 + k));
  }
  for (const auto* perm : {&f.cperm, &f.rperm}) {
    std::vector<int> seen(n + 1, 0);
    for (int32_t v : *perm)
      if (v < 1 || v > n || seen[v]++) return "permutation";
  }
  // Walk from K3 and K1 to the block factors.
  int64_t i = k3, v = k1;
  if (f.preserve) {
    i += n + 1 + f.nz;
    v += f.nz;
  }
  const int64_t ioff = i, voff = v;
  if (nb >= 2) {
    i += f.noffdiag;
    v += f.noffdiag;
  }
  if (i != k4) return fault("KEEP(4) is not where the walk from KEEP(3) ends", i);
  const int64_t xb = v;
  const int64_t pend = nb >= 2 ? k5 - 3 * n - 2 * nb - 9 : k5 - 2 * n - 7;
  if (pend < k4) return "no room for the block factors";

  std::vector<int64_t> bfptr;
  if (nb >= 2) {
    for (int64_t t = 1; t <= nb + 1; ++t) f.ib.push_back(p.idx(k5 - 3 * n - nb - 9 + t));
    for (int64_t t = 1; t <= nb; ++t) bfptr.push_back(p.idx(k5 - 3 * n - 2 * nb - 9 + t));
  } else {
    f.ib = {1, static_cast<int32_t>(n + 1)};
    bfptr = {1};
  }
  if (f.ib.front() != 1 || f.ib.back() != n + 1) return "block boundaries";
  for (size_t t = 1; t < f.ib.size(); ++t)
    if (f.ib[t] <= f.ib[t - 1]) return "block boundaries not increasing";

  f.l.assign(n * n, 0.0);
  f.u.assign(n * n, 0.0);
  auto L = [&](int64_t r, int64_t c) -> double& { return f.l[(r - 1) * n + (c - 1)]; };
  auto U = [&](int64_t r, int64_t c) -> double& { return f.u[(r - 1) * n + (c - 1)]; };
  for (int64_t k = 1; k <= n; ++k) L(k, k) = 1.0;
  for (int64_t t = 1; t <= nb; ++t) {
    const int64_t first = f.ib[t - 1], m = f.ib[t] - first;
    if (m == 1 && nb >= 2) {
      const int64_t pos = xb + bfptr[t - 1] - 1;
      if (bfptr[t - 1] < 1 || pos > k2) return fault("order-1 block pointer", t);
      U(first, first) = p.val(pos);
      f.pivots_found.push_back(1);
      continue;
    }
    const int64_t e = k4 + bfptr[t - 1] - 1;
    if (e < k4 || e + 4 > pend) return fault("block pointer", t);
    const int64_t r = p.idx(e + 1), npiv = p.idx(e + 2);
    if (r < 0 || npiv < 0 || npiv > m || e + 4 + r > pend) return fault("block factor table", t);
    f.pivots_found.push_back(static_cast<int32_t>(npiv));
    const int64_t br = xb + p.idx(e) - 1;
    int64_t off = 0;
    for (int64_t j = 1; j <= r; ++j) {
      const int64_t x = e + 5 + r + p.idx(e + 4 + j) - 1;
      if (x < e + 5 + r || x + 6 > pend) return fault("record position", j);
      const int64_t k = p.idx(x + 1), c = p.idx(x + 2), rr = p.idx(x + 3), s = p.idx(x + 4);
      if (k < 1 || c < 0 || rr < 0 || s < 0 || x + 6 + rr + c + s > pend || off + k > npiv)
        return fault("record header", j);
      const int64_t q = br + p.idx(x) - 1;
      if (q < xb || q + (k + rr + c) * k - 1 > k2) return fault("record reals", j);
      for (int64_t t2 = 1; t2 <= rr + c; ++t2)
        if (p.idx(x + 6 + t2) < 1 || p.idx(x + 6 + t2) > m) return fault("record index", j);
      for (int64_t t2 = 1; t2 <= s; ++t2) {
        const int64_t code = p.idx(x + 6 + rr + c + t2);
        const int64_t rec = code <= m ? code : code <= 2 * m ? code - m : code - 2 * m;
        if (code < 1 || code > 3 * m || rec >= j) return fault("son code", j);
      }
      const int64_t ld = k + rr;
      for (int64_t cq = 1; cq <= k; ++cq) {
        for (int64_t iq = 1; iq <= k; ++iq) {
          const double a = p.val(q + (iq - 1) + (cq - 1) * ld);
          if (iq > cq)
            L(first + off + iq - 1, first + off + cq - 1) = a;
          else
            U(first + off + iq - 1, first + off + cq - 1) = a;
        }
        for (int64_t t2 = 1; t2 <= rr; ++t2)
          L(first + p.idx(x + 6 + t2) - 1, first + off + cq - 1) = p.val(q + k + (t2 - 1) + (cq - 1) * ld);
      }
      for (int64_t iq = 1; iq <= k; ++iq)
        for (int64_t t2 = 1; t2 <= c; ++t2)
          U(first + off + iq - 1, first + p.idx(x + 6 + rr + t2) - 1) = p.val(q + k * ld + (iq - 1) + (t2 - 1) * k);
      off += k;
    }
    if (off != npiv) return fault("records do not add up to the block's pivots", t);
  }
  if (nb >= 2) {
    const int64_t op = k5 - 3 * n - 7;  // OFFROWP(1)
    if (p.idx(op) != 1 || p.idx(op + n) != f.noffdiag + 1) return "off-diagonal row pointers";
    int32_t blk = 0;
    for (int64_t row = 1; row <= n; ++row) {
      while (f.ib[blk + 1] <= row) ++blk;
      const int64_t a = p.idx(op + row - 1), b = p.idx(op + row);
      if (b < a) return "off-diagonal row pointers decrease";
      int64_t last = 0;
      for (int64_t e2 = a; e2 < b; ++e2) {
        const int32_t col = p.idx(ioff + e2 - 1);
        if (col < f.ib[blk + 1] || col > n || col <= last) return fault("off-diagonal column", row);
        last = col;
        f.off.push_back({static_cast<int32_t>(row), col, p.val(voff + e2 - 1)});
      }
    }
  }
  return "";
}

std::string reconstruction_fault(const Za38& p, double tol) {
  StoredFactors f;
  const std::string bad = read_factors(p, f);
  if (!bad.empty()) return bad;
  const int64_t n = p.n;
  const std::vector<double> m = held_dense(p);
  double scale = 0.0;
  for (double a : m) scale = std::max(scale, std::fabs(a));
  // P M Q in pivot positions.
  auto pmq = [&](int64_t r, int64_t c) { return m[(f.rperm[r - 1] - 1) * n + (f.cperm[c - 1] - 1)]; };
  std::vector<double> offd(n * n, 0.0);
  for (const auto& o : f.off) offd[(o.row - 1) * n + (o.col - 1)] = o.v;
  for (size_t t = 0; t + 1 < f.ib.size(); ++t) {
    const int64_t a = f.ib[t], b = f.ib[t + 1] - 1;
    const bool complete = f.pivots_found[t] == b - a + 1;
    for (int64_t r = a; r <= b; ++r) {
      for (int64_t c = 1; c <= n; ++c) {
        double want = pmq(r, c), got;
        if (c < a) {
          got = 0.0;  // below the diagonal blocks: nothing may be there
        } else if (c > b) {
          got = offd[(r - 1) * n + (c - 1)];
        } else {
          if (!complete) continue;
          got = 0.0;
          for (int64_t k = a; k <= std::min(r, c); ++k) got += f.l[(r - 1) * n + (k - 1)] * f.u[(k - 1) * n + (c - 1)];
        }
        // A zero pivot of a block of order 1 is stored as 1.0.
        if (a == b && r == c && want == 0.0 && got == 1.0) continue;
        if (std::fabs(got - want) > tol * std::max(scale, 1e-300))
          return "P M Q (" + std::to_string(r) + "," + std::to_string(c) + ") = " + std::to_string(want) +
                 " but the factors give " + std::to_string(got);
      }
    }
  }
  return "";
}

std::string capture_unit(int32_t unit, const std::function<void()>& body) {
  char tmpl[] = "/tmp/tbl_za38_XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  const std::string path = tmpl;
  za38_ffopen(path, unit);
  body();
  za38_ffclose(unit);
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  unlink(path.c_str());
  return s.str();
}

std::string messages(Za38& p, int32_t level, const std::function<void()>& body) {
  constexpr int32_t kUnit = 71;
  p.icntl[0] = kUnit;
  p.icntl[1] = kUnit;
  p.icntl[2] = level;
  const std::string out = capture_unit(kUnit, body);
  p.quiet();
  p.icntl[2] = 2;
  return out;
}

}  // namespace tbl::test
