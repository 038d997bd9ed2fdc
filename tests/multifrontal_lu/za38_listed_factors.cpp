#include "za38_listed_factors.hpp"

#include <numeric>

#include "multifrontal_lu/za38_layout.hpp"

namespace za38test {

using tbl::za38::Pos;

namespace {

void append(std::vector<fint>& to, const std::vector<fint>& from) { to.insert(to.end(), from.begin(), from.end()); }

// A block factor: header, record table and records, positions relative to
// its own first word (integers) and to REAL_START (reals).
std::vector<fint> block_factor(const HandBlock& b, fint real_start, std::vector<double>& factx, double& next) {
  const fint r = static_cast<fint>(b.records.size());
  fint pivots = 0, maxr = 1, maxc = 1;
  std::vector<fint> area, table;
  const std::size_t block_reals = factx.size();
  for (const HandRecord& rec : b.records) {
    const fint nr = static_cast<fint>(rec.rows.size()), nc = static_cast<fint>(rec.cols.size());
    table.push_back(static_cast<fint>(area.size()) + 1);
    area.push_back(static_cast<fint>(factx.size() - block_reals) + 1);
    area.insert(area.end(), {rec.k, nc, nr, static_cast<fint>(rec.sons.size()), rec.colext, rec.rowext});
    append(area, rec.rows);
    append(area, rec.cols);
    append(area, rec.sons);
    for (fint t = 0; t < (rec.k + nr + nc) * rec.k; ++t) factx.push_back(next++);
    pivots += rec.k;
    maxr = std::max(maxr, nr);
    maxc = std::max(maxc, nc);
  }
  std::vector<fint> words = {real_start, r, b.pivots >= 0 ? b.pivots : pivots, maxr, maxc};
  append(words, table);
  append(words, area);
  return words;
}

}  // namespace

Stored store(const HandFactors& h) {
  const fint n = h.n;
  const fint nb = static_cast<fint>(h.blocks.size());
  const bool preserve = !h.ap.empty();
  Stored s;
  s.index.assign(h.free_ints, 0);
  s.value.assign(h.free_reals, 0.0);
  const fint k3 = s.lindex() + 1, k1 = s.lvalue() + 1;
  if (preserve) {
    append(s.index, h.ap);
    append(s.index, h.ai);
    s.value.insert(s.value.end(), h.ax.begin(), h.ax.end());
  }
  if (nb >= 2) {
    append(s.index, h.oi);
    s.value.insert(s.value.end(), h.ox.begin(), h.ox.end());
  }
  const fint k4 = s.lindex() + 1;

  std::vector<fint> facti, bfptr, ib = {1};
  std::vector<double> factx;
  double next = 1.0;
  for (const HandBlock& b : h.blocks) {
    ib.push_back(ib.back() + b.order);
    if (b.order == 1 && nb >= 2) {
      factx.push_back(b.pivot);
      bfptr.push_back(static_cast<fint>(factx.size()));
    } else {
      bfptr.push_back(static_cast<fint>(facti.size()) + 1);
      append(facti, block_factor(b, static_cast<fint>(factx.size()) + 1, factx, next));
    }
  }
  if (facti.empty()) facti.push_back(0);
  append(s.index, facti);
  s.value.insert(s.value.end(), factx.begin(), factx.end());
  if (nb >= 2) {
    append(s.index, bfptr);
    append(s.index, ib);
    append(s.index, h.offrowp);
  }
  std::vector<fint> identity(n);
  std::iota(identity.begin(), identity.end(), 1);
  append(s.index, h.cperm.empty() ? identity : h.cperm);
  append(s.index, h.rperm.empty() ? identity : h.rperm);
  tbl::za38::Trailer tr;
  tr.transa = h.transa ? 1 : 0;
  tr.noffdiag = static_cast<fint>(h.oi.size());
  tr.nblocks = nb;
  tr.preserve = preserve ? 1 : 0;
  tr.nz = preserve ? static_cast<fint>(h.ai.size()) : h.ne;
  tr.n = n;
  tr.ne = h.ne;
  s.index.resize(s.index.size() + tbl::za38::kTrailerLength);
  tbl::za38::write_trailer(s.index.data(), s.lindex(), tr);
  s.keep[0] = k1;
  s.keep[1] = s.lvalue();
  s.keep[2] = k3;
  s.keep[3] = k4;
  s.keep[4] = s.lindex();
  return s;
}

}  // namespace za38test
