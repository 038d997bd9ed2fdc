#include "za38_factor_support.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <utility>

#include "multifrontal_lu/za38_internal.hpp"

namespace tbl::za38test {

Problem Problem::transposed() const {
  Problem t = *this;
  std::swap(t.row, t.col);
  return t;
}

Problem random_problem(const ProblemSpec& s) {
  std::mt19937 gen(s.seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_real_distribution<double> coin(0.0, 1.0);
  const int n = s.n;
  std::vector<int> perm(n);
  std::iota(perm.begin(), perm.end(), 1);
  std::shuffle(perm.begin(), perm.end(), gen);
  std::set<std::pair<int, int>> seen;  // (col, row)
  for (int j = 1; j <= n; ++j) {
    seen.insert({j, perm[j - 1]});
    for (int i = 1; i <= n; ++i)
      if (coin(gen) < s.density) seen.insert({j, i});
  }
  for (int d = 0; d < s.dense_cols && d < n; ++d)
    for (int i = 1; i <= n; ++i) seen.insert({1 + (d * 7) % n, i});
  for (int d = 0; d < s.dense_rows && d < n; ++d)
    for (int j = 1; j <= n; ++j) seen.insert({j, 1 + (d * 5 + 2) % n});
  std::vector<std::vector<std::pair<int, double>>> cols(n + 1);
  for (const auto& [j, i] : seen) cols[j].push_back({i, u(gen)});
  for (int d = 0; d < s.empty_cols && d < n; ++d) cols[n - d].clear();
  for (int d = 0; d < s.zero_cols && d < n; ++d)
    for (auto& [i, v] : cols[1 + d]) v = 0.0;
  Problem p;
  p.n = n;
  for (int j = 1; j <= n; ++j)
    for (auto [i, v] : cols[j]) {
      p.row.push_back(i);
      p.col.push_back(j);
      p.val.push_back(v);
    }
  return p;
}

Controls::Controls() {
  ZA38ID(keep.data(), cntl.data(), icntl.data());
  icntl[0] = -1;
  icntl[1] = -1;
  icntl[2] = 0;
  icntl[3] = 0;
}

FactorRun factorise(const Problem& m, fint lindex, fint lvalue, const Controls& ctl, bool preserve) {
  FactorRun run;
  const int n = m.n, nz = m.nnz();
  run.n = n;
  run.preserve = preserve;
  run.index.assign(std::max<fint>(lindex, 2 * n + nz + 3), 0);
  run.value.assign(std::max<fint>(lvalue, nz + 1), 0.0);
  // Column form at the front: INDEX(1..N+1) pointers, rows, VALUE values.
  std::vector<int> order(nz);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return m.col[a] < m.col[b]; });
  std::vector<fint> ptr(n + 2, 0);
  for (int e = 0; e < nz; ++e) ++ptr[m.col[e] + 1];
  ptr[1] = 1;
  for (int j = 1; j <= n; ++j) ptr[j + 1] += ptr[j];
  for (int j = 1; j <= n + 1; ++j) run.index[j - 1] = ptr[j];
  for (int q = 0; q < nz; ++q) {
    run.index[n + 1 + q] = m.row[order[q]];
    run.value[q] = m.val[order[q]];
  }
  std::int64_t iinuse = 0, xinuse = nz;
  fint lw = 0, lax = 0;
  if (!preserve) {
    run.w0 = n + 1;
    run.ax0 = 0;
    lw = lindex - n - 1;
    lax = lvalue;
    iinuse = n + 1 + nz;
  } else {
    std::copy_n(run.index.begin(), n + 1, run.index.begin() + n + nz + 1);
    run.w0 = 2 * n + nz + 2;
    run.ax0 = nz;
    lw = lindex - 2 * n - nz - 2;
    lax = lvalue - nz;
    iinuse = 2 * n + nz + 2;
  }
  run.lw = lw;
  fint* ap = preserve ? run.index.data() + n + nz + 1 : run.index.data();
  const fint nn = n, nzz = nz, ne = nz, pn = preserve ? n : 0, pnz = preserve ? nz : 1;
  const logical pres = to_logical(preserve);
  ZA38_FACTOR_FRONT(&nn, &nzz, ap, run.value.data() + run.ax0, &lax, run.index.data() + run.w0, &lw, &run.fv,
                    &run.fi, &iinuse, &xinuse, &run.noffdiag, &run.nblocks, ctl.icntl.data(), ctl.cntl.data(),
                    run.info.data(), run.rinfo.data(), &pres, run.index.data(), run.index.data() + n + 1,
                    run.value.data(), &pn, &pnz, ctl.keep.data(), &ne);
  return run;
}

Check check_factors(const Problem& m, const FactorRun& run) {
  Check out;
  const int n = run.n;
  const fint* w = run.w() - 1;     // w[p] = W(p)
  const double* ax = run.ax() - 1;  // ax[p] = AX(p)
  const fint lw = run.lw;
  const fint* cperm = w + (lw - 2 * n - 6) - 1;  // cperm[k] = CPERM(k)
  const fint* rperm = w + (lw - n - 6) - 1;
  auto fault = [&](const std::string& f) {
    if (out.fault.empty()) out.fault = f;
  };
  {
    std::vector<int> seen_r(n + 1, 0), seen_c(n + 1, 0);
    for (int k = 1; k <= n; ++k) {
      if (cperm[k] < 1 || cperm[k] > n || seen_c[cperm[k]]++) fault("CPERM is not a permutation");
      if (rperm[k] < 1 || rperm[k] > n || seen_r[rperm[k]]++) fault("RPERM is not a permutation");
    }
    if (!out.fault.empty()) return out;
  }
  const std::int64_t e = run.fi;
  const int nrec = w[e + 1];
  out.pivots = w[e + 2];
  const double* br = ax + run.fv + w[e] - 1;  // br[p] = block real p (1-based)
  std::vector<double> lmat(static_cast<std::size_t>(n) * n, 0.0), umat(lmat.size(), 0.0);
  auto L = [&](int i, int j) -> double& { return lmat[(i - 1) + static_cast<std::size_t>(j - 1) * n]; };
  auto U = [&](int i, int j) -> double& { return umat[(i - 1) + static_cast<std::size_t>(j - 1) * n]; };
  for (int i = 1; i <= n; ++i) L(i, i) = 1.0;
  const std::int64_t area = e + 5 + nrec;
  int off = 0, maxr = 1, maxc = 1;
  for (int j = 1; j <= nrec; ++j) {
    const std::int64_t x = area + w[e + 4 + j] - 1;
    if (x < area || x + 6 >= lw) return fault("record outside the block factor"), out;
    const int k = w[x + 1], c = w[x + 2], r = w[x + 3], s = w[x + 4];
    out.u_entries += static_cast<long long>(c) * k + static_cast<long long>(k) * (k - 1) / 2;
    out.l_entries += static_cast<long long>(r) * k + static_cast<long long>(k) * (k - 1) / 2;
    ++out.records;
    maxr = std::max(maxr, r);
    maxc = std::max(maxc, c);
    if (k < 1 || off + k > n || r < 0 || c < 0 || r > n - off - k || c > n - off - k)
      return fault("record sizes out of range"), out;
    const fint* rows = w + x + 7;
    const fint* cols = rows + r;
    const fint* sons = cols + c;
    for (int q = 0; q < s; ++q) {
      const int code = sons[q], rec = code <= n ? code : code <= 2 * n ? code - n : code - 2 * n;
      if (rec < 1 || rec >= j) fault("son code does not name an earlier record");
    }
    const double* f = br + w[x] - 1;
    for (int q = 1; q <= k; ++q) {
      for (int q2 = 1; q2 <= k; ++q2) {
        const double v = f[(q - 1) * (k + r) + q2 - 1];
        if (q2 > q) L(off + q2, off + q) = v; else U(off + q2, off + q) = v;
      }
      for (int i = 0; i < r; ++i) {
        if (rows[i] <= off + k || rows[i] > n) return fault("L row not after the record's pivots"), out;
        L(rows[i], off + q) = f[(q - 1) * (k + r) + k + i];
      }
    }
    for (int jj = 0; jj < c; ++jj) {
      if (cols[jj] <= off + k || cols[jj] > n) return fault("U column not after the record's pivots"), out;
      for (int q = 1; q <= k; ++q) U(off + q, cols[jj]) = f[k * (k + r) + jj * k + q - 1];
    }
    off += k;
  }
  if (off != out.pivots) fault("record pivots do not add up to the block's count");
  if (w[e + 3] != maxr || w[e + 4] != maxc) fault("largest record sizes wrong in the table");
  // P M Q from the problem.
  std::vector<int> rinv(n + 1), cinv(n + 1);
  for (int k = 1; k <= n; ++k) {
    rinv[rperm[k]] = k;
    cinv[cperm[k]] = k;
  }
  std::vector<double> pmq(lmat.size(), 0.0);
  double scale = 0.0;
  for (int q = 0; q < m.nnz(); ++q) {
    pmq[(rinv[m.row[q]] - 1) + static_cast<std::size_t>(cinv[m.col[q]] - 1) * n] += m.val[q];
    scale = std::max(scale, std::fabs(m.val[q]));
  }
  const int kp = out.pivots;
  double err = 0.0;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      if (std::min(i, j) > kp) continue;
      double lu = 0.0;
      for (int t = 1; t <= std::min({i, j, kp}); ++t) lu += L(i, t) * U(t, j);
      err = std::max(err, std::fabs(pmq[(i - 1) + static_cast<std::size_t>(j - 1) * n] - lu));
    }
  double umax = 0.0;
  for (double v : umat) umax = std::max(umax, std::fabs(v));
  out.error = scale > 0 ? err / scale : err;
  out.growth = scale > 0 ? umax / scale : umax;
  return out;
}

}  // namespace tbl::za38test
