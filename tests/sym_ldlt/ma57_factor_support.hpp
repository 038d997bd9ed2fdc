// Helpers for the tests of the MA57 factorisation: a problem held as
// coordinate entries, the analyse/factorise sequence with arrays sized from
// the forecasts, and the reconstruction of P L D L^T P^T from the stored
// factors.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "interface/common.hpp"
#include "interface/units.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"

namespace ma57test {

using tbl::fint;

struct Problem {
  fint n = 0;
  std::vector<fint> irn, jcn;
  std::vector<double> val;
  fint ne() const { return static_cast<fint>(irn.size()); }
  void add(fint i, fint j, double v) {
    irn.push_back(i);
    jcn.push_back(j);
    val.push_back(v);
  }
  // Dense symmetric matrix (column-major, n x n), duplicates summed and
  // out-of-range entries ignored.
  std::vector<double> dense() const {
    std::vector<double> d(static_cast<std::size_t>(n) * n, 0.0);
    for (std::size_t k = 0; k < irn.size(); ++k) {
      fint i = irn[k], j = jcn[k];
      if (i < 1 || j < 1 || i > n || j > n) continue;
      d[(i - 1) + (j - 1) * std::size_t(n)] += val[k];
      if (i != j) d[(j - 1) + (i - 1) * std::size_t(n)] += val[k];
    }
    return d;
  }
};

struct Controls {
  double cntl[5];
  fint icntl[20];
  Controls() {
    MA57_DEFAULTS(cntl, icntl);
    icntl[0] = icntl[1] = icntl[2] = -1;  // silent unless a test asks
  }
};

struct Analysis {
  std::vector<fint> keep, iwork;
  fint info[40] = {};
  double rinfo[20] = {};
  fint lkeep() const { return static_cast<fint>(keep.size()); }
};

// Runs MA57AD; `order` (pivot positions per variable) selects the caller's
// order when not empty.
inline Analysis analyse(const Problem& p, Controls c, const std::vector<fint>& order = {}) {
  Analysis a;
  fint n = p.n, ne = p.ne();
  a.keep.assign(static_cast<std::size_t>(tbl::ma57::min_lkeep(n, ne)), 0);
  a.iwork.assign(static_cast<std::size_t>(5 * std::max<fint>(n, 1)), 0);
  if (!order.empty()) {
    c.icntl[5] = 1;
    std::copy(order.begin(), order.end(), a.keep.begin());
  }
  std::vector<fint> irn = p.irn, jcn = p.jcn;
  fint lkeep = a.lkeep();
  MA57AD(&n, &ne, irn.data(), jcn.data(), &lkeep, a.keep.data(), a.iwork.data(), c.icntl, a.info, a.rinfo);
  return a;
}

// One factorisation on arrays of the given lengths.
struct Factors {
  std::vector<double> fact;
  std::vector<fint> ifact;
  std::vector<fint> keep, iwork;
  fint info[40] = {};
  double rinfo[20] = {};
  fint lfact() const { return static_cast<fint>(fact.size()); }
  fint lifact() const { return static_cast<fint>(ifact.size()); }
};

inline void factorise_into(const Problem& p, const Controls& c, Factors& f) {
  fint n = p.n, ne = p.ne(), lfact = f.lfact(), lifact = f.lifact(), lkeep = static_cast<fint>(f.keep.size());
  MA57BD(&n, &ne, p.val.data(), f.fact.data(), &lfact, f.ifact.data(), &lifact, &lkeep, f.keep.data(),
         f.iwork.data(), c.icntl, c.cntl, f.info, f.rinfo);
}

inline Factors factorise(const Problem& p, const Controls& c, const Analysis& a, fint lfact, fint lifact) {
  Factors f;
  f.fact.assign(static_cast<std::size_t>(lfact), 0.0);
  f.ifact.assign(static_cast<std::size_t>(lifact), 0);
  f.keep = a.keep;
  f.iwork.assign(static_cast<std::size_t>(std::max<fint>(p.n, 1)), 0);
  std::copy(a.info, a.info + 40, f.info);
  std::copy(a.rinfo, a.rinfo + 20, f.rinfo);
  factorise_into(p, c, f);
  return f;
}

// Generous lengths from the analysis forecasts (room for delays).
inline Factors factorise(const Problem& p, const Controls& c, const Analysis& a) {
  fint lf = 2 * a.info[8] + 4 * p.n * p.n + 100;
  fint li = 2 * a.info[9] + 8 * p.n + 100;
  if (c.icntl[6] == 4) lf += p.n + 5;
  return factorise(p, c, a, lf, li);
}

// The blocks of the stored factors, walked as the solve reads them.
struct Block {
  fint ncols, nrows;
  std::vector<fint> idx;     // as stored (2x2 halves negated)
  std::vector<double> piv;   // packed pivot block
  std::vector<double> offp;  // off-pivot part, per pivot
};

inline std::vector<Block> blocks(const double* fact, const fint* ifact) {
  std::vector<Block> out;
  std::int64_t fpos = 0, ipos = 3;
  for (fint b = 0; b < ifact[2]; ++b) {
    Block bl;
    bl.ncols = ifact[ipos];
    bl.nrows = ifact[ipos + 1];
    bl.idx.assign(ifact + ipos + 2, ifact + ipos + 2 + bl.ncols);
    std::int64_t np = std::int64_t(bl.nrows) * (bl.nrows + 1) / 2;
    std::int64_t no = std::int64_t(bl.nrows) * (bl.ncols - bl.nrows);
    bl.piv.assign(fact + fpos, fact + fpos + np);
    bl.offp.assign(fact + fpos + np, fact + fpos + np + no);
    fpos += np + no;
    ipos += bl.ncols + 2;
    out.push_back(std::move(bl));
  }
  return out;
}

// L D L^T in variable numbering (dense, column-major).  The 1x1 blocks that
// stand for uneliminated variables of a singular matrix (trailing records
// 1, 1, v holding 1.0) contribute nothing: they are no pivots.
inline std::vector<double> reconstruct(fint n, const double* fact, const fint* ifact, fint rank) {
  const std::size_t N = static_cast<std::size_t>(n);
  std::vector<double> L(N * N, 0.0), D(N * N, 0.0);
  std::vector<fint> pivots;  // variables in pivot order
  std::int64_t lpos = ifact[0] - 1;
  auto at = [N](std::vector<double>& m, fint i, fint j) -> double& { return m[(i - 1) + (j - 1) * N]; };
  for (const Block& b : blocks(fact, ifact)) {
    std::int64_t pos = 0;
    bool prev_first = false;
    for (fint k = 0; k < b.nrows; ++k) {
      const fint vk = std::abs(b.idx[k]);
      pivots.push_back(vk);
      at(L, vk, vk) = 1.0;
      const bool first = b.idx[k] < 0 && !prev_first;
      const double dinv = b.piv[pos];
      for (fint r = k + 1; r < b.nrows; ++r) at(L, std::abs(b.idx[r]), vk) = b.piv[pos + (r - k)];
      for (fint r = b.nrows; r < b.ncols; ++r)
        at(L, std::abs(b.idx[r]), vk) = -b.offp[std::size_t(k) * (b.ncols - b.nrows) + (r - b.nrows)];
      if (first) {
        const fint vn = std::abs(b.idx[k + 1]);
        const std::size_t second = pos + (b.nrows - k);  // diagonal of the next column
        const double a11 = dinv, a22 = b.piv[second], a12 = fact[lpos++];
        const double det = a11 * a22 - a12 * a12;  // D is the inverse of [a11 a12; a12 a22]
        at(D, vk, vk) = a22 / det;
        at(D, vn, vn) = a11 / det;
        at(D, vk, vn) = at(D, vn, vk) = -a12 / det;
      } else if (!prev_first) {
        at(D, vk, vk) = static_cast<fint>(pivots.size()) > rank ? 0.0 : 1.0 / dinv;
      }
      prev_first = first;
      pos += b.nrows - k;
    }
  }
  // A = L D L^T
  std::vector<double> LD(N * N, 0.0), A(N * N, 0.0);
  for (std::size_t j = 0; j < N; ++j)
    for (std::size_t k = 0; k < N; ++k) {
      const double d = D[k + j * N];
      if (d == 0.0) continue;
      for (std::size_t i = 0; i < N; ++i) LD[i + j * N] += L[i + k * N] * d;
    }
  for (std::size_t j = 0; j < N; ++j)
    for (std::size_t k = 0; k < N; ++k) {
      const double l = L[j + k * N];
      if (l == 0.0) continue;
      for (std::size_t i = 0; i < N; ++i) A[i + j * N] += LD[i + k * N] * l;
    }
  return A;
}

// Largest |A - L D L^T| relative to the largest |A|.
inline double reconstruction_error(const Problem& p, const Factors& f) {
  std::vector<double> a = p.dense();
  std::vector<double> r = reconstruct(p.n, f.fact.data(), f.ifact.data(), f.info[24]);
  double amax = 0.0, emax = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    amax = std::max(amax, std::abs(a[k]));
    emax = std::max(emax, std::abs(a[k] - r[k]));
  }
  return amax > 0.0 ? emax / amax : emax;
}


// Runs `body` with `unit` attached to a fresh file and returns what was
// written on it.
inline std::string capture(fint unit, const std::function<void()>& body) {
  char path[] = "/tmp/tbl_ma57_factor_XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  tbl::io::unit_attach(unit, path);
  body();
  tbl::io::unit_detach(unit);
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  std::remove(path);
  return ss.str();
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) out.push_back(line);
  return out;
}

}  // namespace ma57test
