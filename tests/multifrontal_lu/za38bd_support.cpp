#include "za38bd_support.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>

#include "multifrontal_lu/za38_layout.hpp"

namespace tbl::test {

namespace lay = tbl::za38;

Entries random_entries(int n, double per_col, int blocks, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<int> pick(1, n);
  auto block_of = [&](int i) { return (i - 1) * blocks / n; };
  std::map<std::pair<int, int>, double> m;  // (row, col) in the block triangular order
  for (int j = 1; j <= n; ++j)
    for (int t = 0; t < per_col; ++t) {
      const int i = pick(gen);
      if (block_of(i) <= block_of(j)) m[{i, j}] = u(gen);
    }
  std::vector<double> colsum(n + 1, 0.0);
  for (const auto& [ij, v] : m) colsum[ij.second] += std::abs(v);
  for (int j = 1; j <= n; ++j) m[{j, j}] = (u(gen) < 0 ? -1.0 : 1.0) * (1.0 + colsum[j]);
  std::vector<int> p(n), q(n);
  std::iota(p.begin(), p.end(), 1);
  std::iota(q.begin(), q.end(), 1);
  std::shuffle(p.begin(), p.end(), gen);
  std::shuffle(q.begin(), q.end(), gen);
  Entries a;
  a.n = n;
  for (const auto& [ij, v] : m) {
    a.row.push_back(p[ij.first - 1]);
    a.col.push_back(q[ij.second - 1]);
    a.val.push_back(v);
  }
  return a;
}

namespace {

Entries grid(int g, int dims, double wind) {
  const int n = dims == 2 ? g * g : g * g * g;
  Entries a;
  a.n = n;
  auto at = [&](int x, int y, int z) { return 1 + x + g * (y + g * z); };
  for (int z = 0; z < (dims == 3 ? g : 1); ++z)
    for (int y = 0; y < g; ++y)
      for (int x = 0; x < g; ++x) {
        const int i = at(x, y, z);
        auto add = [&](int j, double v) {
          a.row.push_back(i);
          a.col.push_back(j);
          a.val.push_back(v);
        };
        add(i, 2.0 * dims);
        if (x > 0) add(at(x - 1, y, z), -1.0 - wind);
        if (x + 1 < g) add(at(x + 1, y, z), -1.0 + wind);
        if (y > 0) add(at(x, y - 1, z), -1.0 - wind / 2);
        if (y + 1 < g) add(at(x, y + 1, z), -1.0 + wind / 2);
        if (dims == 3 && z > 0) add(at(x, y, z - 1), -1.0);
        if (dims == 3 && z + 1 < g) add(at(x, y, z + 1), -1.0);
      }
  return a;
}

}  // namespace

Entries grid2d(int g, double wind) { return grid(g, 2, wind); }
Entries grid3d(int g, double wind) { return grid(g, 3, wind); }

Entries file_entries(const std::string& file) {
  Coo c = read_mtx(matrix_path(file));
  if (c.symmetric) c = expand_symmetric(c);
  return Entries{c.nrows, c.row, c.col, c.val};
}

Za38 host_of(const Entries& a) { return Za38(a.n, a.row, a.col, a.val); }

void new_values(Za38& p, const Entries& a, double spread, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (std::size_t k = 0; k < a.val.size(); ++k) p.val0[k] = a.val[k] * (1.0 + spread * u(gen));
}

void relength(Za38& p, int32_t lindex, int32_t lvalue) {
  const std::vector<int32_t> kept(p.index.begin(), p.index.begin() + std::min(lindex, p.lindex));
  p.set_lengths(lindex, lvalue);
  std::copy(kept.begin(), kept.end(), p.index.begin());
}

double factor_residual(const Za38& h) {
  using fint = int32_t;
  const fint n = h.n;
  const auto& keep = h.keep;
  if (keep[3] < 1 || keep[4] < 7) return -1.0;
  auto ix = [&](lay::Pos p) { return h.index[p - 1]; };
  auto vx = [&](lay::Pos p) { return h.value[p - 1]; };
  const lay::Pos k1 = keep[0], k3 = keep[2], k4 = keep[3], k5 = keep[4];
  lay::TopData top(k5, n, 1);
  const fint nb = ix(top.trailer_word(lay::kTrNblocks));
  const fint noff = ix(top.trailer_word(lay::kTrNoffdiag));
  const fint nz = ix(top.trailer_word(lay::kTrNz));
  const bool pres = ix(top.trailer_word(lay::kTrPreserve)) != 0;
  const bool transa = ix(top.trailer_word(lay::kTrTransa)) != 0;
  top = lay::TopData(k5, n, nb);
  const lay::Pos ox = k1 + (pres ? nz : 0), oi = k3 + (pres ? n + 1 + nz : 0);
  const lay::Pos xb = ox + (nb >= 2 ? noff : 0);

  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> x(n + 1), y(n + 1, 0.0), y2(n + 1, 0.0), scale(n + 1, 0.0);
  std::vector<char> left_out(n + 1, 0);
  for (int i = 1; i <= n; ++i) x[i] = u(gen);

  for (fint t = 1; t <= nb; ++t) {
    const fint first = nb == 1 ? 1 : ix(top.ib() + t - 1);
    const fint m = nb == 1 ? n : ix(top.ib() + t) - first;
    const fint bfptr = nb == 1 ? 1 : ix(top.bfptr() + t - 1);
    if (m == 1 && nb >= 2) {
      y[first] += vx(xb + bfptr - 1) * x[first];
      continue;
    }
    const lay::Pos e = k4 + bfptr - 1;
    const lay::Pos br = xb + ix(e) - 1;
    const fint records = ix(e + lay::kBfRecords);
    if (ix(e + lay::kBfPivots) < m) std::fill(left_out.begin() + first, left_out.begin() + first + m, 1);
    std::vector<double> z(m + 1, 0.0);
    auto xl = [&](fint i) { return x[first + i - 1]; };
    // z = U x over the block, then y = L z.
    for (int pass = 0; pass < 2; ++pass) {
      fint off = 0;
      std::vector<double> w = z;
      for (fint j = 1; j <= records; ++j) {
        const lay::Pos rec = lay::bf_record(e, records, ix(lay::bf_table(e, j)));
        const fint k = ix(rec + lay::kRecPivots), c = ix(rec + lay::kRecCols), r = ix(rec + lay::kRecRows);
        const lay::Pos q = br + ix(rec) - 1, ldr = k + r;
        for (fint p = 1; p <= k; ++p) {
          if (pass == 0) {
            double s = 0.0;
            for (fint qq = p; qq <= k; ++qq) s += vx(q + (p - 1) + (qq - 1) * ldr) * xl(off + qq);
            for (fint t2 = 1; t2 <= c; ++t2) s += vx(q + k * ldr + (p - 1) + (t2 - 1) * k) * xl(ix(rec + 6 + r + t2));
            z[off + p] = s;
          } else {
            const double zq = z[off + p];
            for (fint i = p + 1; i <= k; ++i) w[off + i] += vx(q + (i - 1) + (p - 1) * ldr) * zq;
            for (fint t2 = 1; t2 <= r; ++t2) w[ix(rec + 6 + t2)] += vx(q + k + (t2 - 1) + (p - 1) * ldr) * zq;
          }
        }
        off += k;
      }
      if (pass == 1)
        for (fint i = 1; i <= m; ++i) y[first + i - 1] += w[i];
    }
  }
  if (nb >= 2) {
    const lay::Pos offrowp = top.offrowp();
    for (fint i = 1; i <= n; ++i)
      for (fint p = ix(offrowp + i - 1); p < ix(offrowp + i); ++p) y[i] += vx(ox + p - 1) * x[ix(oi + p - 1)];
  }

  std::vector<fint> rinv(n + 1), cinv(n + 1);
  for (fint k = 1; k <= n; ++k) {
    cinv[ix(top.cperm() + k - 1)] = k;
    rinv[ix(top.rperm() + k - 1)] = k;
  }
  for (int e = 0; e < h.ne(); ++e) {
    const fint r = transa ? h.col0[e] : h.row0[e], c = transa ? h.row0[e] : h.col0[e];
    if (r < 1 || r > n || c < 1 || c > n) continue;
    const fint i = rinv[r], j = cinv[c];
    y2[i] += h.val0[e] * x[j];
    scale[i] += std::abs(h.val0[e] * x[j]);
  }
  double err = 0.0, smax = 0.0;
  for (fint i = 1; i <= n; ++i) {
    if (!left_out[i]) err = std::max(err, std::abs(y[i] - y2[i]));
    smax = std::max(smax, scale[i]);
  }
  return smax > 0.0 ? err / smax : err;
}

}  // namespace tbl::test
