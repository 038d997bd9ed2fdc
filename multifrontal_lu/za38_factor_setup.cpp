// Set-up of one diagonal block for the factorisation kernel: the dense
// threshold and count, the kernel's work arrays and sections carved out of
// the front end's free space, the column blocks the kernel starts from,
// the call, and the kernel's results turned into positions of the front
// end's work areas.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;
using namespace tbl::za38;

namespace {

// max(KEEP(7), int(sqrt(n)) * KEEP(8), 0), the product formed in 64 bits and
// saturated, so that a huge KEEP(8) means "no column is dense" rather than a
// wrapped negative threshold.
fint dense_threshold(fint n, const fint* keep) {
  const i64 root = static_cast<i64>(std::sqrt(static_cast<double>(n)));
  const i64 prod = root * keep[kKeepDense2 - 1];
  return tbl::saturate(std::max<i64>({keep[kKeepDense1 - 1], prod, 0}));
}

}  // namespace

extern "C" void ZA38_FACTOR_SETUP(fint* cblk_, const fint* n_, fint* cperm_, fint* rperm_, fint* noffdiag,
                                  fint* fi, fint* fv, double* ax_, const fint* xlim, std::int64_t* xinuse,
                                  fint* w_, const fint* ilim, std::int64_t* iinuse, const fint* icntl,
                                  const double* cntl, fint* info, double* rinfo, const fint* nblocks,
                                  const fint* pap_, const fint* pai_, const double* pax_, const tbl::logical* preserve,
                                  const fint* s_, const fint* /*pn*/, const fint* pnz, const fint* rinv_,
                                  const fint* keep, fint* cmax, fint* rmax, fint* nrec, std::int64_t* vnmax,
                                  std::int64_t* vneed, tbl::logical* ishort, tbl::logical* xshort) {
  const fint n = *n_;
  const fint s = *s_;
  const bool kept = tbl::is_true(*preserve);
  const bool single = *nblocks == 1;
  Vec1<fint> cblk(cblk_, n + 1), cperm(cperm_, n), w(w_, std::max<fint>(*ilim, 0));
  Vec1<double> ax(ax_, std::max<fint>(*xlim, 0));
  Vec1<const fint> pap(pap_), pai(pai_), rinv(rinv_);
  Vec1<const double> pax(pax_);
  *ishort = tbl::kFalse;
  *xshort = tbl::kFalse;

  // Dense columns.
  const fint dthresh = dense_threshold(n, keep);
  auto inside = [&](fint row) { return rinv(row) >= s; };
  auto count_of = [&](fint j) -> i64 {  // entries of the block's column j
    if (!kept) return cblk(j + 1) - cblk(j);
    if (single) return pap(j + 1) - pap(j);
    const fint col = cperm(j);
    i64 m = 0;
    for (fint q = pap(col); q < pap(col + 1); ++q) m += inside(pai(q)) ? 1 : 0;
    return m;
  };
  fint ndense = 0;
  for (fint j = 1; j <= n; ++j) ndense += count_of(j) > dthresh ? 1 : 0;
  const i64 wa = (single ? 8 * static_cast<i64>(n) : 10 * static_cast<i64>(n)) + 3 * static_cast<i64>(ndense);
  const i64 nine = 9 * static_cast<i64>(n);

  // Column blocks at the start of ISEC = W(B+WA..), values at XSEC = AX(B..).
  i64 b = 1, nzb = 0;
  if (!kept) {
    b = cblk(1);
    const i64 e = cblk(n + 1);
    nzb = e - b;
    *iinuse += wa + nine;
    raise_info(info, kInfoIndexUsed, *iinuse);
    raise_info(info, kInfoIndexNeeded, *iinuse);
    if (b + wa + nine + nzb - 1 > *ilim) {
      *ishort = tbl::kTrue;
      return;
    }
    // Row indices move up, last column first, behind 9-word heads.
    i64 src_end = e;
    for (fint j = n; j >= 1; --j) {
      const i64 src = cblk(j);
      const i64 m = src_end - src;
      const i64 c = (src - b) + 9 * static_cast<i64>(j - 1) + 1;  // position in ISEC
      const i64 at = b + wa + c - 1;                               // the same in W
      for (i64 t = m - 1; t >= 0; --t) w(at + kColHead + t) = w(src + t);
      w(at) = static_cast<fint>(kColHead + m);
      w(at + 1) = static_cast<fint>(m);
      w(at + 2) = static_cast<fint>(src - b + 1);
      w(at + 5) = 0;
      w(at + 6) = static_cast<fint>(m);
      w(at + 7) = w(at + 8) = 0;
      cblk(j) = static_cast<fint>(c);
      src_end = src;
    }
  } else {
    // The preserved matrix is read and copied, the block's part only.  Its
    // size is known before the copy, so a shortage reports what the block
    // needs.
    i64 nkept = 0;
    if (single) {
      nkept = *pnz;
    } else {
      for (fint j = 1; j <= n; ++j) nkept += count_of(j);
    }
    *iinuse += nine + wa + nkept;
    *xinuse += nkept;
    raise_info(info, kInfoIndexUsed, *iinuse);
    raise_info(info, kInfoIndexNeeded, *iinuse);
    raise_info(info, kInfoValueUsed, *xinuse);
    raise_info(info, kInfoValueNeeded, *xinuse);
    if (nine + wa + nkept > *ilim) *ishort = tbl::kTrue;
    if (nkept > *xlim) *xshort = tbl::kTrue;
    if (tbl::is_true(*ishort) || tbl::is_true(*xshort)) return;
    i64 c = 1;
    i64 v = 1;
    for (fint j = 1; j <= n; ++j) {
      const fint col = single ? j : cperm(j);
      const i64 at = b + wa + c - 1;
      if (at + kColHead - 1 > *ilim) {
        *ishort = tbl::kTrue;
        return;
      }
      i64 m = 0;
      const i64 v0 = v;
      for (fint q = pap(col); q < pap(col + 1); ++q) {
        const fint row = pai(q);
        fint local = row;
        if (!single) {
          if (!inside(row)) {
            ++*noffdiag;
            continue;
          }
          local = rinv(row) - s + 1;
        }
        if (at + kColHead + m > *ilim) {
          *ishort = tbl::kTrue;
          return;
        }
        if (v > *xlim) {
          *xshort = tbl::kTrue;
          return;
        }
        w(at + kColHead + m) = local;
        ax(v++) = pax(q);
        ++m;
      }
      w(at) = static_cast<fint>(kColHead + m);
      w(at + 1) = static_cast<fint>(m);
      w(at + 2) = static_cast<fint>(m > 0 ? v0 : 0);
      w(at + 5) = 0;
      w(at + 6) = static_cast<fint>(m);
      w(at + 7) = w(at + 8) = 0;
      cblk(j) = static_cast<fint>(c);
      c += kColHead + m;
    }
    nzb = v - 1;
    *vneed += nzb;
    *vnmax = std::max(*vnmax, *vneed);
  }

  // The kernel's work arrays at the start of the section.
  fint* base = w.at(b);
  fint *rowpos, *colpos, *rest;
  if (single) {
    rowpos = rperm_;
    colpos = cperm_;
    rest = base;
  } else {
    rowpos = base;
    colpos = base + n;
    rest = base + 2 * static_cast<i64>(n);
  }
  fint* fcols = rest;
  fint* frows = rest + n;
  fint* cpat = rest + 2 * static_cast<i64>(n);
  fint* dhead = rest + 3 * static_cast<i64>(n);
  fint* roff = rest + 4 * static_cast<i64>(n);
  fint* rptr = rest + 5 * static_cast<i64>(n);
  fint* rcnt = rptr + n + ndense;
  fint* ccnt = rcnt + n + ndense;

  const fint lisec = tbl::saturate(*ilim - (b + wa) + 1);
  const fint lxsec = tbl::saturate(*xlim - b + 1);
  const fint nzb32 = static_cast<fint>(nzb);
  const tbl::logical multi = tbl::to_logical(!single);
  const fint unused = single ? 1 : n;
  fint ifstart = 0, xfstart = 0;
  ZA38_FACTOR_KERNEL(cblk_, &nzb32, &n, &unused, cperm_, rperm_, &ifstart, &xfstart, ax.at(b), &lxsec,
                     w.at(b + wa), &lisec, icntl, cntl, info, rinfo, &multi, iinuse, xinuse, rowpos, colpos, fcols,
                     frows, cpat, dhead, roff, rptr, rcnt, ccnt, &ndense, &dthresh, cmax, rmax, nrec, vnmax,
                     vneed);
  if (info[kInfoStatus - 1] < 0) return;
  *fi = tbl::saturate(ifstart + b + wa - 1);
  *fv = tbl::saturate(xfstart + b - 1);
  *iinuse -= wa;
  w(*fi) = *fv;
}
