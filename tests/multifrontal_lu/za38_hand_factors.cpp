#include "za38_hand_factors.hpp"

#include <algorithm>
#include <numeric>
#include <random>

namespace tbl::test {

void PrintTo(const HandShape& s, std::ostream* os) { *os << s.name; }

HandDense write_hand_factors(const HandShape& s, Za38& p, int32_t slack) {
  std::mt19937 gen(s.seed);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  std::bernoulli_distribution coin(0.5), sparse(0.3);
  const int32_t n = s.n, nb = static_cast<int32_t>(s.orders.size());
  const bool multi = nb >= 2;
  HandDense d;
  d.n = n;
  d.l.assign(size_t(n) * n, 0.0);
  d.u.assign(size_t(n) * n, 0.0);
  d.o.assign(size_t(n) * n, 0.0);
  auto L = [&](int64_t r, int64_t c) -> double& { return d.l[(r - 1) * n + (c - 1)]; };
  auto U = [&](int64_t r, int64_t c) -> double& { return d.u[(r - 1) * n + (c - 1)]; };
  for (int32_t k = 1; k <= n; ++k) L(k, k) = 1.0;
  d.cperm.resize(n);
  d.rperm.resize(n);
  std::iota(d.cperm.begin(), d.cperm.end(), 1);
  std::iota(d.rperm.begin(), d.rperm.end(), 1);
  std::shuffle(d.cperm.begin(), d.cperm.end(), gen);
  std::shuffle(d.rperm.begin(), d.rperm.end(), gen);
  std::vector<int32_t> ib = {1};
  for (int32_t o : s.orders) ib.push_back(ib.back() + o);

  std::vector<int32_t> facti, bfptr(nb);
  std::vector<double> factx;
  for (int32_t t = 0; t < nb; ++t) {
    const int32_t m = s.orders[t], first = ib[t];
    if (multi && m == 1) {
      bfptr[t] = static_cast<int32_t>(factx.size()) + 1;
      factx.push_back(coin(gen) ? 2.0 + uni(gen) : -2.0 + uni(gen));
      U(first, first) = factx.back();
      continue;
    }
    const std::vector<int32_t>& ks = s.records[t];
    const int32_t r_count = static_cast<int32_t>(ks.size());
    const int32_t npiv = std::accumulate(ks.begin(), ks.end(), 0);
    for (int32_t i = npiv + 1; i <= m; ++i) U(first + i - 1, first + i - 1) = 1.0;
    std::vector<std::vector<int32_t>> recs(r_count);
    const int32_t real_start = static_cast<int32_t>(factx.size()) + 1;
    int32_t off = 0, maxr = 1, maxc = 1;
    for (int32_t j = 0; j < r_count; ++j) {
      const int32_t k = ks[j];
      std::vector<int32_t> rows, cols, sons;
      for (int32_t q = off + k + 1; q <= m; ++q) {
        if (coin(gen)) rows.push_back(q);
        if (coin(gen)) cols.push_back(q);
      }
      std::shuffle(rows.begin(), rows.end(), gen);
      std::shuffle(cols.begin(), cols.end(), gen);
      for (int32_t e = 1; e <= j; ++e)
        if (coin(gen)) sons.push_back(e + m * static_cast<int32_t>(gen() % 3));
      const int32_t r = static_cast<int32_t>(rows.size()), c = static_cast<int32_t>(cols.size());
      maxr = std::max(maxr, r);
      maxc = std::max(maxc, c);
      std::vector<int32_t>& w = recs[j];
      w = {static_cast<int32_t>(factx.size()) + 2 - real_start, k, c, r, static_cast<int32_t>(sons.size()), 0, 0};
      w.insert(w.end(), rows.begin(), rows.end());
      w.insert(w.end(), cols.begin(), cols.end());
      w.insert(w.end(), sons.begin(), sons.end());
      // Pivot columns over their k pivot rows and r further rows, then U12.
      const int32_t base = first + off - 1;
      for (int32_t cq = 1; cq <= k; ++cq) {
        for (int32_t iq = 1; iq <= k; ++iq) {
          const double v = iq == cq ? (coin(gen) ? 2.0 : -2.0) + uni(gen) : 0.5 * uni(gen);
          factx.push_back(v);
          (iq > cq ? L(base + iq, base + cq) : U(base + iq, base + cq)) = v;
        }
        for (int32_t t2 = 0; t2 < r; ++t2) {
          factx.push_back(0.5 * uni(gen));
          L(first + rows[t2] - 1, base + cq) = factx.back();
        }
      }
      for (int32_t t2 = 0; t2 < c; ++t2)
        for (int32_t iq = 1; iq <= k; ++iq) {
          factx.push_back(0.5 * uni(gen));
          U(base + iq, first + cols[t2] - 1) = factx.back();
        }
      off += k;
    }
    // The records lie in the area in reverse order; the table finds them.
    std::vector<int32_t> table(r_count), area;
    for (int32_t j = r_count - 1; j >= 0; --j) {
      table[j] = static_cast<int32_t>(area.size()) + 1;
      area.insert(area.end(), recs[j].begin(), recs[j].end());
    }
    bfptr[t] = static_cast<int32_t>(facti.size()) + 1;
    facti.insert(facti.end(), {real_start, r_count, npiv, maxr, maxc});
    facti.insert(facti.end(), table.begin(), table.end());
    facti.insert(facti.end(), area.begin(), area.end());
  }
  if (multi && facti.empty()) facti.push_back(0);

  // Entries above the diagonal blocks, by row, in increasing column.
  std::vector<int32_t> offrowp = {1}, oi;
  std::vector<double> ox;
  for (int32_t t = 0; t < nb && multi; ++t)
    for (int32_t i = ib[t]; i < ib[t + 1]; ++i) {
      for (int32_t c = ib[t + 1]; c <= n; ++c)
        if (sparse(gen)) {
          oi.push_back(c);
          ox.push_back(uni(gen));
          d.o[size_t(i - 1) * n + (c - 1)] = ox.back();
        }
      offrowp.push_back(static_cast<int32_t>(oi.size()) + 1);
    }

  // M from P M Q = L U + O, by columns.
  std::vector<double> pmq(size_t(n) * n, 0.0);
  for (int32_t t = 0; t < nb; ++t)
    for (int32_t r = ib[t]; r < ib[t + 1]; ++r)
      for (int32_t c = ib[t]; c < ib[t + 1]; ++c) {
        double v = 0.0;
        for (int32_t k = ib[t]; k <= std::min(r, c); ++k) v += L(r, k) * U(k, c);
        pmq[size_t(r - 1) * n + (c - 1)] = v;
      }
  for (size_t q = 0; q < pmq.size(); ++q) pmq[q] += d.o[q];
  std::vector<double> m(size_t(n) * n);
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = 1; j <= n; ++j) m[size_t(d.rperm[i - 1] - 1) * n + (d.cperm[j - 1] - 1)] = pmq[size_t(i - 1) * n + (j - 1)];
  p.n = n;
  p.row0.clear();
  p.col0.clear();
  p.val0.clear();
  std::vector<int32_t> ap = {1};
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t i = 1; i <= n; ++i)
      if (m[size_t(i - 1) * n + (j - 1)] != 0.0) {
        p.row0.push_back(i);
        p.col0.push_back(j);
        p.val0.push_back(m[size_t(i - 1) * n + (j - 1)]);
      }
    ap.push_back(static_cast<int32_t>(p.row0.size()) + 1);
  }
  const int32_t nz = p.ne(), noff = static_cast<int32_t>(oi.size());

  // INDEX: [copy] [OI] FACTI [BFPTR IB OFFROWP] CPERM RPERM trailer.
  std::vector<int32_t> top;
  if (multi) {
    top.insert(top.end(), bfptr.begin(), bfptr.end());
    top.insert(top.end(), ib.begin(), ib.end());
    top.insert(top.end(), offrowp.begin(), offrowp.end());
  }
  top.insert(top.end(), d.cperm.begin(), d.cperm.end());
  top.insert(top.end(), d.rperm.begin(), d.rperm.end());
  top.insert(top.end(), {0, multi ? noff : 0, nb, s.preserve ? 1 : 0, nz, n, nz});
  std::vector<int32_t> ints;
  std::vector<double> reals;
  if (s.preserve) {
    ints.insert(ints.end(), ap.begin(), ap.end());
    ints.insert(ints.end(), p.row0.begin(), p.row0.end());
    reals.insert(reals.end(), p.val0.begin(), p.val0.end());
  }
  if (multi) {
    ints.insert(ints.end(), oi.begin(), oi.end());
    reals.insert(reals.end(), ox.begin(), ox.end());
  }
  const int32_t k4 = slack + static_cast<int32_t>(ints.size()) + 1;
  ints.insert(ints.end(), facti.begin(), facti.end());
  ints.insert(ints.end(), top.begin(), top.end());
  reals.insert(reals.end(), factx.begin(), factx.end());
  p.set_lengths(slack + static_cast<int32_t>(ints.size()), slack + static_cast<int32_t>(reals.size()));
  std::copy(ints.begin(), ints.end(), p.index.begin() + slack);
  std::copy(reals.begin(), reals.end(), p.value.begin() + slack);
  p.keep[0] = slack + 1;
  p.keep[1] = p.lvalue;
  p.keep[2] = slack + 1;
  p.keep[3] = k4;
  p.keep[4] = p.lindex;
  p.job = s.preserve ? 1 : 0;
  p.transa = false;
  return d;
}

}  // namespace tbl::test
