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
#include "support/mtx.hpp"

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

// A symmetric Matrix Market file (its stored triangle) as a problem; throws
// when the file cannot be read, so a missing matrix is never skipped.
inline Problem load_problem(const std::string& path) {
  const tbl::test::Coo coo = tbl::test::read_mtx(path);
  Problem p;
  p.n = coo.nrows;
  for (int k = 0; k < coo.nnz(); ++k) p.add(coo.row[k], coo.col[k], coo.val[k]);
  return p;
}

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

// Lengths from the analysis forecasts, enlarged after each shortage by
// what the failed call reports (delayed pivots can outgrow the forecast).
inline Factors factorise(const Problem& p, const Controls& c, const Analysis& a) {
  fint lf = 2 * a.info[8] + 100 + (c.icntl[6] == 4 ? p.n + 5 : 0);
  fint li = 2 * a.info[9] + 100;
  for (;;) {
    Factors f = factorise(p, c, a, lf, li);
    if (f.info[0] == -3)
      lf = std::max(2 * lf, f.info[16]);
    else if (f.info[0] == -4)
      li = std::max(2 * li, f.info[17]);
    else
      return f;
  }
}

// Generated problems (lower triangle entries).
// 7-point Laplacian on a k x k x k grid.
inline Problem laplacian3d(fint k) {
  Problem p;
  p.n = k * k * k;
  auto id = [k](fint x, fint y, fint z) { return 1 + x + k * (y + k * z); };
  for (fint z = 0; z < k; ++z)
    for (fint y = 0; y < k; ++y)
      for (fint x = 0; x < k; ++x) {
        const fint i = id(x, y, z);
        p.add(i, i, 6.0);
        if (x > 0) p.add(i, id(x - 1, y, z), -1.0);
        if (y > 0) p.add(i, id(x, y - 1, z), -1.0);
        if (z > 0) p.add(i, id(x, y, z - 1), -1.0);
      }
  return p;
}

// Saddle-point matrix [H A^T; A 0]: H (order nh) a diagonally dominant
// banded matrix, A = [I B] (m x nh, m < nh) with a few pseudo-random
// entries per row in B, so of full row rank: inertia nh+, m-.
inline Problem kkt(fint nh, fint m, fint per_row, std::uint32_t seed) {
  Problem p;
  p.n = nh + m;
  auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (fint i = 1; i <= nh; ++i) {
    p.add(i, i, 4.0 + (next() % 100) / 50.0);
    if (i > 1) p.add(i, i - 1, -1.0);
    if (i > 7) p.add(i, i - 7, 0.5);
  }
  for (fint r = 1; r <= m; ++r) {
    p.add(nh + r, r, 1.0);
    for (fint t = 0; t < per_row && nh > m; ++t)
      p.add(nh + r, m + 1 + static_cast<fint>(next() % static_cast<std::uint32_t>(nh - m)),
            (static_cast<int>(next() % 200) - 100) / 64.0);
  }
  return p;
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

// y = L D L^T z from the stored factors, in O(entries of L): the blocks
// that stand for uneliminated variables (beyond `rank` pivots) contribute
// nothing.
inline std::vector<double> apply_ldlt(fint n, const double* fact, const fint* ifact, fint rank,
                                      const std::vector<double>& z) {
  std::vector<Block> bl = blocks(fact, ifact);
  std::vector<double> w(static_cast<std::size_t>(n) + 1, 0.0), y(static_cast<std::size_t>(n) + 1, 0.0);
  auto L = [](const Block& b, fint k, fint r, std::int64_t colstart) {  // L(idx[r], idx[k]), r > k
    if (r < b.nrows) return b.piv[static_cast<std::size_t>(colstart + (r - k))];
    return -b.offp[static_cast<std::size_t>(k) * (b.ncols - b.nrows) + (r - b.nrows)];
  };
  // w = L^T z
  for (const Block& b : bl) {
    std::int64_t pos = 0;
    for (fint k = 0; k < b.nrows; ++k) {
      double s = z[static_cast<std::size_t>(std::abs(b.idx[k])) - 1];
      for (fint r = k + 1; r < b.ncols; ++r) s += L(b, k, r, pos) * z[static_cast<std::size_t>(std::abs(b.idx[r])) - 1];
      w[static_cast<std::size_t>(std::abs(b.idx[k]))] = s;
      pos += b.nrows - k;
    }
  }
  // u = D w (in place), then y = L u
  std::int64_t lpos = ifact[0] - 1;
  fint count = 0;
  for (const Block& b : bl) {
    std::int64_t pos = 0;
    bool prev_first = false;
    std::vector<double> u(static_cast<std::size_t>(b.nrows));
    for (fint k = 0; k < b.nrows; ++k) {
      const std::size_t vk = static_cast<std::size_t>(std::abs(b.idx[k]));
      const bool first = b.idx[k] < 0 && !prev_first;
      ++count;
      if (first) {
        const std::size_t vn = static_cast<std::size_t>(std::abs(b.idx[k + 1]));
        const double a11 = b.piv[static_cast<std::size_t>(pos)];
        const double a22 = b.piv[static_cast<std::size_t>(pos + (b.nrows - k))];
        const double a12 = fact[lpos++];
        const double det = a11 * a22 - a12 * a12;
        u[k] = (a22 * w[vk] - a12 * w[vn]) / det;
        u[k + 1] = (a11 * w[vn] - a12 * w[vk]) / det;
      } else if (!prev_first) {
        u[k] = count > rank ? 0.0 : w[vk] / b.piv[static_cast<std::size_t>(pos)];
      }
      prev_first = first;
      pos += b.nrows - k;
    }
    pos = 0;
    for (fint k = 0; k < b.nrows; ++k) {
      y[static_cast<std::size_t>(std::abs(b.idx[k]))] += u[k];
      for (fint r = k + 1; r < b.ncols; ++r) y[static_cast<std::size_t>(std::abs(b.idx[r]))] += L(b, k, r, pos) * u[k];
      pos += b.nrows - k;
    }
  }
  y.erase(y.begin());
  return y;
}

// Largest |A - L D L^T| relative to the largest |A|, every column of
// L D L^T formed as its product with a unit vector (small matrices).
inline double reconstruction_error(const Problem& p, const Factors& f) {
  const std::size_t n = static_cast<std::size_t>(p.n);
  const std::vector<double> a = p.dense();
  std::vector<double> z(n, 0.0);
  double amax = 0.0, emax = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    z[j] = 1.0;
    const std::vector<double> col = apply_ldlt(p.n, f.fact.data(), f.ifact.data(), f.info[24], z);
    z[j] = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      amax = std::max(amax, std::abs(a[i + j * n]));
      emax = std::max(emax, std::abs(a[i + j * n] - col[i]));
    }
  }
  return amax > 0.0 ? emax / amax : emax;
}

// Largest |A z - L D L^T z| relative to the largest |A z| for a fixed
// pseudo-random z: an O(entries) check of the factors of large matrices.
inline double product_error(const Problem& p, const double* fact, const fint* ifact, fint rank) {
  std::vector<double> z(static_cast<std::size_t>(p.n));
  std::uint32_t seed = 12345;
  for (double& v : z) {
    seed = seed * 1664525u + 1013904223u;
    v = 0.5 + static_cast<double>(seed >> 8) / 16777216.0;
  }
  std::vector<double> az(z.size(), 0.0);
  for (std::size_t k = 0; k < p.irn.size(); ++k) {
    const fint i = p.irn[k], j = p.jcn[k];
    if (i < 1 || j < 1 || i > p.n || j > p.n) continue;
    az[i - 1] += p.val[k] * z[j - 1];
    if (i != j) az[j - 1] += p.val[k] * z[i - 1];
  }
  std::vector<double> y = apply_ldlt(p.n, fact, ifact, rank, z);
  double amax = 0.0, emax = 0.0;
  for (std::size_t k = 0; k < z.size(); ++k) {
    amax = std::max(amax, std::abs(az[k]));
    emax = std::max(emax, std::abs(az[k] - y[k]));
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
