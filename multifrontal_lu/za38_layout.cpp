#include "multifrontal_lu/za38_layout.hpp"

#include <algorithm>
#include <vector>

#include "multifrontal_lu/za38_internal.hpp"

namespace tbl::za38 {
namespace {

// True when v lies in 1..hi; one unsigned comparison, so the loops over
// index lists stay branch-free.
inline bool outside(fint v, std::uint32_t hi) { return static_cast<std::uint32_t>(v) - 1u >= hi; }

// A permutation of 1..n, by one bit per index.
bool is_permutation(const fint* p, fint n, std::vector<std::uint64_t>& bits) {
  bits.assign((static_cast<std::size_t>(n) + 63) / 64, 0);
  const auto hi = static_cast<std::uint32_t>(n);
  for (fint k = 0; k < n; ++k) {
    const fint v = p[k];
    if (outside(v, hi)) return false;
    const auto b = static_cast<std::uint32_t>(v - 1);
    const std::uint64_t mask = std::uint64_t{1} << (b & 63u);
    if (bits[b >> 6] & mask) return false;
    bits[b >> 6] |= mask;
  }
  return true;
}

// Non-decreasing pointers p(1..len) from first to last.
bool pointers_ok(const fint* p, Pos len, fint first, Pos last) {
  if (p[0] != first || p[len - 1] != last) return false;
  bool bad = false;
  for (Pos i = 1; i < len; ++i) bad |= p[i] < p[i - 1];
  return !bad;
}

// One block factor of order m at E: its table and records inside
// INDEX(K4..pattern end), their index lists in 1..m, sons naming earlier
// records, pivots adding up, the largest row and column counts those of
// the records, and (when the reals are read) every record's
// reals inside VALUE(block start..K2).
bool block_factor_ok(Region& reg, Pos e, Pos m, const FactorSet& fs, bool reals) {
  const fint records = reg(e + kBfRecords);
  const fint npiv = reg(e + kBfPivots);
  if (reg.bad() || records < 0 || npiv < 0 || npiv > m) return false;
  if (!reg.holds(e, kBfHeader + records)) return false;
  Pos br = 0;
  if (reals) {
    const fint rel = reg(e + kBfRealStart);
    if (rel < 1) return false;
    br = fs.xb + rel - 1;
  }
  const auto hi = static_cast<std::uint32_t>(m);
  Pos pivots = 0, maxr = 1, maxc = 1;
  for (Pos j = 1; j <= records; ++j) {
    const fint rel = reg(bf_table(e, j));
    if (rel < 1) return false;
    const Pos x = bf_record(e, records, rel);
    if (!reg.holds(x, kRecHeader)) return false;
    const fint* w = reg.at(x);
    RecordShape sh{w[kRecPivots], w[kRecCols], w[kRecRows], w[kRecSons]};
    if (sh.k < 1 || sh.k > m || sh.c < 0 || sh.c > m || sh.r < 0 || sh.r > m || sh.s < 0) return false;
    if (!reg.holds(x, sh.int_length())) return false;
    if (reals) {
      const Pos q = w[kRecRealStart];
      if (q < 1 || br + q - 1 + sh.real_length() - 1 > fs.k2) return false;
    }
    pivots += sh.k;
    maxr = std::max(maxr, sh.r);
    maxc = std::max(maxc, sh.c);
    bool bad = false;
    const fint* lists = w + kRecHeader;
    for (Pos t = 0; t < sh.r + sh.c; ++t) bad |= outside(lists[t], hi);
    const fint* sons = lists + sh.r + sh.c;
    for (Pos t = 0; t < sh.s; ++t) {
      const Pos code = sons[t];
      const Pos rec = son_record(code, m);
      bad |= code < 1 || code > 3 * m || rec >= j;
    }
    if (bad) return false;
  }
  // The refactorisation sizes the row and column lists of its fronts by
  // the block's largest counts, so they must be what the records hold.
  return pivots == npiv && reg(e + kBfMaxRows) == maxr && reg(e + kBfMaxCols) == maxc;
}

}  // namespace

Trailer read_trailer(const fint* index, Pos top) {
  const fint* t = index + (top - kTrailerLength);  // word w at t[w - 1]
  Trailer r;
  r.transa = t[kTrTransa - 1];
  r.noffdiag = t[kTrNoffdiag - 1];
  r.nblocks = t[kTrNblocks - 1];
  r.preserve = t[kTrPreserve - 1];
  r.nz = t[kTrNz - 1];
  r.n = t[kTrN - 1];
  r.ne = t[kTrNe - 1];
  return r;
}

void write_trailer(fint* index, Pos top, const Trailer& tr) {
  fint* t = index + (top - kTrailerLength);
  t[kTrTransa - 1] = tr.transa;
  t[kTrNoffdiag - 1] = tr.noffdiag;
  t[kTrNblocks - 1] = tr.nblocks;
  t[kTrPreserve - 1] = tr.preserve;
  t[kTrNz - 1] = tr.nz;
  t[kTrN - 1] = tr.n;
  t[kTrNe - 1] = tr.ne;
}

fint check_location(fint n, const fint* keep, const fint* index, fint lindex, fint lvalue, FactorUse use,
                    FactorSet& fs) {
  fs = FactorSet{};
  fs.k1 = keep[kKeepValueFirst - 1];
  fs.k2 = keep[kKeepValueLast - 1];
  fs.k3 = keep[kKeepIndexFirst - 1];
  fs.k4 = keep[kKeepRetainedFirst - 1];
  fs.k5 = keep[kKeepIndexLast - 1];
  if (fs.k4 < 1 || fs.k4 > fs.k5 - 6 || fs.k5 > lindex) return kErrFactors;
  const bool solve = use == FactorUse::kSolve;
  if (solve && (fs.k1 < 1 || fs.k1 > fs.k2 || fs.k2 > lvalue || fs.k3 < 1 || fs.k3 > fs.k4 || fs.k4 > fs.k5))
    return kErrFactors;

  fs.tr = read_trailer(index, fs.k5);
  const Trailer& t = fs.tr;
  if (t.n != n || t.nz < 1 || t.nblocks < 1 || t.nblocks > n || t.noffdiag < 0) return kErrFactors;
  if ((t.transa != 0 && t.transa != 1) || (t.preserve != 0 && t.preserve != 1)) return kErrFactors;
  fs.topd = TopData(fs.k5, n, t.nblocks);
  if (fs.topd.pattern_end() < fs.k4) return kErrFactors;
  if (!solve) return 0;

  Pos i = fs.k3, v = fs.k1;
  if (fs.preserved()) {
    fs.ap = i;
    fs.ai = i + n + 1;
    fs.ax = v;
    i += preserved_ints(n, t.nz);
    v += t.nz;
  }
  if (fs.multi()) {
    fs.oi = i;
    fs.ox = v;
    i += t.noffdiag;
    v += t.noffdiag;
  }
  fs.xb = v;
  if (fs.xb > fs.k2 || i != fs.k4) return kErrFactors;
  return 0;
}

fint validate_factors(fint n, const fint* keep, const fint* index, fint lindex, fint lvalue,
                      const ValidateOptions& opt, FactorSet& fs) {
  if (check_location(n, keep, index, lindex, lvalue, opt.use, fs) != 0) return kErrFactors;
  const bool solve = opt.use == FactorUse::kSolve;
  const TopData& top = fs.topd;
  const Pos pend = top.pattern_end();

  std::vector<std::uint64_t> bits;
  if (!is_permutation(index + (top.cperm() - 1), n, bits) || !is_permutation(index + (top.rperm() - 1), n, bits))
    return kErrFactors;

  if (solve && opt.check_copy && fs.preserved()) {
    const fint* ap = index + (fs.ap - 1);
    if (!pointers_ok(ap, Pos{n} + 1, 1, Pos{fs.tr.nz} + 1)) return kErrFactors;
    const fint* ai = index + (fs.ai - 1);
    bool bad = false;
    const auto hi = static_cast<std::uint32_t>(n);
    for (fint p = 0; p < fs.tr.nz; ++p) bad |= outside(ai[p], hi);
    if (bad) return kErrFactors;
  }

  Region reg(index, fs.k4, pend);
  if (!fs.multi()) return block_factor_ok(reg, fs.k4, n, fs, solve) ? 0 : kErrFactors;

  const fint nb = fs.tr.nblocks;
  const fint* ib = index + (top.ib() - 1);        // ib[t-1] = IB(t)
  const fint* bfptr = index + (top.bfptr() - 1);  // bfptr[t-1] = BFPTR(t)
  if (ib[0] != 1 || ib[nb] != n + 1) return kErrFactors;
  for (fint t = 1; t <= nb; ++t)
    if (ib[t] <= ib[t - 1]) return kErrFactors;

  for (fint t = 1; t <= nb; ++t) {
    const Pos m = ib[t] - ib[t - 1];
    const fint b = bfptr[t - 1];
    if (b < 1) return kErrFactors;
    if (m == 1) {
      if (solve && fs.xb + b - 1 > fs.k2) return kErrFactors;
    } else if (!block_factor_ok(reg, fs.k4 + b - 1, m, fs, solve)) {
      return kErrFactors;
    }
  }

  if (solve) {
    // Off-diagonal part: rows of block t name columns of later blocks only.
    const fint* offrowp = index + (top.offrowp() - 1);
    if (!pointers_ok(offrowp, Pos{n} + 1, 1, Pos{fs.tr.noffdiag} + 1)) return kErrFactors;
    const fint* oi = index + (fs.oi - 1);
    bool bad = false;
    for (fint t = 1; t <= nb; ++t) {
      const auto first_later = static_cast<std::uint32_t>(ib[t]);
      const auto span = static_cast<std::uint32_t>(n) + 1u - first_later;
      for (fint p = offrowp[ib[t - 1] - 1]; p < offrowp[ib[t] - 1]; ++p)
        bad |= static_cast<std::uint32_t>(oi[p - 1]) - first_later >= span;
    }
    if (bad) return kErrFactors;
  }

  return 0;
}

}  // namespace tbl::za38
