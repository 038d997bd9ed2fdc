// The multifrontal factorisation kernel: entry, initialisation of the
// workspace from the column blocks that the set-up laid out, and the main
// loop (one pass per frontal matrix).
//
// Argument order: argument 5 is the column map (the block's part of CPERM)
// and argument 6 the row map (the block's part of RPERM).  In the
// single-block call they are also the kernel's COLPOS and ROWPOS, so the
// column and row orders left in those arrays at the end are the caller's
// permutations directly.
#include <algorithm>
#include <climits>
#include <cmath>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

namespace tbl::za38 {

void Kernel::use_int(i64 words) {
  iinuse += words;
  raise_info(info, kInfoIndexUsed, iinuse);
}
void Kernel::use_real(i64 reals) {
  xinuse += reals;
  raise_info(info, kInfoValueUsed, xinuse);
}
void Kernel::est_int(i64 words) {
  iest += words;
  raise_info(info, kInfoIndexNeeded, iest);
}
void Kernel::est_real(i64 reals) {
  xest += reals;
  raise_info(info, kInfoValueNeeded, xest);
}
void Kernel::need_value(i64 reals) {
  *vneed += reals;
  *vnmax = std::max(*vnmax, *vneed);
}

// Element lists: a dense-column element keeps its rows in its own block,
// a frontal element in the LU record that its header points to.
fint Kernel::elem_nrows(fint e) const { return e > n ? w(rptr(e), 1) : w(w(rptr(e), 0), 3); }
fint Kernel::elem_ncols(fint e) const { return e > n ? 1 : w(w(rptr(e), 0), 2); }
i64 Kernel::elem_rows(fint e) const { return e > n ? rptr(e) + kColHead : w(rptr(e), 0) + kRecHead; }
i64 Kernel::elem_cols(fint e) const {
  return e > n ? rptr(e) + 8 : w(rptr(e), 0) + kRecHead + w(w(rptr(e), 0), 3);
}

void Kernel::unlink_degree(fint j) {
  const i64 cb = cblk(j);
  const fint nx = w(cb, 7), pv = w(cb, 8);
  if (pv != 0) {
    w(cblk(pv), 7) = nx;
  } else {
    const fint d = w(cb, 1);
    if (d >= 1 && d <= n && dhead(d) == j) dhead(d) = nx;
  }
  if (nx != 0) w(cblk(nx), 8) = pv;
  w(cb, 7) = 0;
  w(cb, 8) = 0;
}

void Kernel::push_degree(fint j, fint d) {
  const i64 cb = cblk(j);
  const fint head = dhead(d);
  w(cb, 7) = head;
  w(cb, 8) = 0;
  if (head != 0) w(cblk(head), 8) = j;
  dhead(d) = j;
}

// TAG moves past every stamp of the fronts closed so far.  The test is made
// before the addition, so the stamp never wraps; on restart every element
// that carries a stamp goes back to "untouched" (the row tuple counts in
// CCNT never exceed N + NDENSE and are left as they are).
void Kernel::advance_tag(fint rr, fint cc) {
  const fint top = n + nd;
  if (tag > INT_MAX - (tagm + 1)) {
    tag = top + 2;
    for (fint i = 1; i <= top; ++i) {
      if (ccnt(i) > top) {
        ccnt(i) = top + 1;
        rcnt(i) = top + 1;
      }
    }
  } else {
    tag += tagm + 1;
  }
  tagm = std::max({tagm, rr, cc});
}

bool Kernel::initialise() {
  const i64 base9 = 9 * static_cast<i64>(n) + nzb;
  for (fint i = 1; i <= n; ++i) {
    rowpos(i) = -1;
    colpos(i) = -2;
    dhead(i) = 0;
    rcnt(i) = 0;
    ccnt(i) = 0;
  }
  for (fint i = n + 1; i <= n + nd; ++i) {
    rcnt(i) = 0;
    ccnt(i) = 0;
  }

  // The value list links the column blocks with values, in address order.
  fint prev = 0;
  for (fint j = 1; j <= n; ++j) {
    const fint cb = cblk(j);
    if (w(cb, 6) > 0) {
      w(cb, 3) = 0;
      w(cb, 4) = prev;
      if (prev != 0) w(prev, 3) = cb; else vhead = cb;
      prev = cb;
    } else {
      w(cb, 2) = w(cb, 3) = w(cb, 4) = 0;
    }
  }
  vtail = prev;

  // Row counts; dense columns become elements N+k.
  fint kd = 0;
  i64 dtot = 0;
  fint maxdense = 1;
  for (fint j = 1; j <= n; ++j) {
    const fint cb = cblk(j);
    const fint cnt = w(cb, 6);
    const i64 rows = cb + w(cb, 0) - cnt;
    if (cnt <= dthresh) {
      for (fint m = 0; m < cnt; ++m) ++rcnt(is(rows + m));
    } else {
      for (fint m = 0; m < cnt; ++m) ++ccnt(is(rows + m));
      dtot += cnt;
      ++kd;
      const fint e = n + kd;
      rptr(e) = cb;
      w(cb, 1) = cnt;
      w(cb, 5) = 1;
      w(cb, 6) = cnt;
      w(cb, 8) = j;
      rcnt(e) = ccnt(e) = n + nd + 1;
      maxdense = std::max(maxdense, cnt);
    }
  }
  tagm = maxdense;

  const i64 need = 11 * static_cast<i64>(nd) + 2 * static_cast<i64>(n) + nzb + dtot;
  raise_info(info, kInfoIndexNeeded, iinuse + 24);
  raise_info(info, kInfoIndexNeeded, iinuse + need);
  raise_info(info, kInfoIndexUsed, iinuse + need);
  if (base9 + need > lisec) {
    use_int(need);
    fail(true, false);
    return false;
  }
  const i64 slack = nd > 0 ? std::min<i64>((lisec - base9 - need) / nd, static_cast<i64>(dthresh) + 6) : 0;
  raise_info(info, kInfoIndexUsed, iinuse + need + slack * nd);

  // Row blocks in row order; CPAT holds each row's fill pointer meanwhile.
  i64 pos = base9 + 1;
  for (fint i = 1; i <= n; ++i) {
    const fint len = rcnt(i) + 2 * ccnt(i) + kRowHead;
    rptr(i) = static_cast<fint>(pos);
    w(pos, 0) = len;
    w(pos, 1) = rcnt(i) + ccnt(i);
    cpat(i) = static_cast<fint>(pos + kRowHead);
    pos += len;
  }
  // Dense column headers, each the column's block with the one tuple.
  for (fint kk = 1; kk <= nd; ++kk) {
    const fint e = n + kk;
    const fint eb = rptr(e);
    const fint j = w(eb, 8);
    const fint cnt = w(eb, 1);
    const i64 q = pos + (kk - 1) * (kDenseHead + slack);
    w(q, 0) = static_cast<fint>(kDenseHead + slack);
    w(q, 1) = cnt;
    for (fint t = 2; t <= 8; ++t) w(q, t) = 0;
    w(q, 5) = 1;
    w(q, 9) = e;
    w(q, 10) = 0;
    cblk(j) = static_cast<fint>(q);
    for (fint m = 0; m < cnt; ++m) {
      const fint i = is(eb + kColHead + m);
      is(cpat(i)) = e;
      is(cpat(i) + 1) = m;
      cpat(i) += 2;
    }
  }
  // Sparse columns into their rows' input lists, in column order.
  for (fint j = 1; j <= n; ++j) {
    const fint cb = cblk(j);
    if (cb > base9) continue;  // a dense column's header
    const fint cnt = w(cb, 6);
    const i64 rows = cb + w(cb, 0) - cnt;
    for (fint m = 0; m < cnt; ++m) {
      const fint i = is(rows + m);
      is(cpat(i)) = j;
      ++cpat(i);
    }
  }
  rinfo[kRinfoAssemblyOps - 1] += nzb;

  // Degree lists, built by head insertion from the last column down.
  for (fint j = n; j >= 1; --j) {
    const fint cb = cblk(j);
    const fint d = w(cb, 1);
    if (d < 1) {
      w(cb, 1) = -(n + 2);
      w(cb, 7) = w(cb, 8) = 0;
    } else {
      push_degree(j, d);
    }
  }
  mindeg = 1;
  ifree = pos + static_cast<i64>(nd) * (kDenseHead + slack);
  iinuse += need + slack * nd;
  iest = iinuse - slack * nd;
  return true;
}

// A block at the tail of the value list that holds no live values gives
// its space back to XFREE (one block per pass).
void Kernel::release_value_tail() {
  if (vtail == 0) return;
  const fint b = vtail;
  if (w(b, 6) != 0) return;
  const i64 vp = w(b, 2);
  xinuse -= xfree - vp;
  xfree = vp;
  const fint pv = w(b, 4);
  vtail = pv;
  if (pv != 0) w(pv, 3) = 0; else vhead = 0;
  w(b, 3) = w(b, 4) = 0;
  if (b == gapblk) {
    gapblk = 0;
    gapsize = -1;
  }
}

}  // namespace tbl::za38

using tbl::fint;
using tbl::Vec1;
using namespace tbl::za38;

extern "C" void ZA38_FACTOR_KERNEL(fint* cblk, const fint* nzb, const fint* n, const fint* /*unused4*/,
                                   fint* colmap, fint* rowmap, fint* ifstart, fint* xfstart, double* xsec,
                                   const fint* lxsec, fint* isec, const fint* lisec, const fint* icntl,
                                   const double* cntl, fint* info, double* rinfo, const tbl::logical* multi,
                                   std::int64_t* iinuse, std::int64_t* xinuse, fint* rowpos, fint* colpos,
                                   fint* fcols, fint* frows, fint* cpat, fint* dhead, fint* roff, fint* rptr,
                                   fint* rcnt, fint* ccnt, const fint* ndense, const fint* dthresh, fint* cmax,
                                   fint* rmax, fint* nrec, std::int64_t* vnmax, std::int64_t* vneed) {
  Kernel kn;
  kn.n = *n;
  kn.nzb = *nzb;
  kn.nd = *ndense;
  kn.dthresh = *dthresh;
  kn.lisec = *lisec;
  kn.lxsec = *lxsec;
  kn.is = Vec1<fint>(isec, std::max<i64>(kn.lisec, 0));
  kn.xs = Vec1<double>(xsec, std::max<i64>(kn.lxsec, 0));
  const fint nn = kn.n, nt = kn.n + kn.nd;
  kn.cblk = Vec1<fint>(cblk, nn);
  kn.rowpos = Vec1<fint>(rowpos, nn);
  kn.colpos = Vec1<fint>(colpos, nn);
  kn.fcols = Vec1<fint>(fcols, nn);
  kn.frows = Vec1<fint>(frows, nn);
  kn.cpat = Vec1<fint>(cpat, nn);
  kn.dhead = Vec1<fint>(dhead, nn);
  kn.roff = Vec1<fint>(roff, nn);
  kn.rptr = Vec1<fint>(rptr, nt);
  kn.rcnt = Vec1<fint>(rcnt, nt);
  kn.ccnt = Vec1<fint>(ccnt, nt);
  kn.colmap = Vec1<fint>(colmap, nn);
  kn.rowmap = Vec1<fint>(rowmap, nn);
  kn.multi = tbl::is_true(*multi);
  kn.icntl = icntl;
  kn.cntl = cntl;
  kn.info = info;
  kn.rinfo = rinfo;
  kn.cmax = cmax;
  kn.rmax = rmax;
  kn.nrec = nrec;
  kn.vnmax = vnmax;
  kn.vneed = vneed;
  kn.iinuse = *iinuse;
  kn.xinuse = *xinuse;

  // Controls.  A NaN tolerance would make every threshold test false and
  // report a regular matrix singular: it is read as the default.  A NaN
  // growth factor is read as 1.
  kn.nsearch = std::max(1, icntl[kIcntlSearch - 1]);
  kn.nb = std::max(1, icntl[kIcntlBlockSize - 1]);
  const double tol = cntl[kCntlPivotTol - 1];
  kn.tol = std::isnan(tol) ? 0.1 : std::clamp(tol, 0.0, 1.0);
  const double growth = cntl[kCntlGrowth - 1];
  kn.growth = std::isnan(growth) ? 1.0 : std::max(1.0, growth);
  kn.sympref = icntl[kIcntlSymmetry - 1] != 0;
  *ifstart = tbl::saturate(kn.lisec + 1);
  *xfstart = tbl::saturate(kn.lxsec + 1);
  kn.ifstart = kn.lisec + 1;
  kn.xfstart = kn.lxsec + 1;
  kn.xfree = static_cast<i64>(kn.nzb) + 1;
  kn.dead = -(nt + 2);
  kn.tag = nt + 2;

  auto give_back = [&] {
    *iinuse = kn.iinuse;
    *xinuse = kn.xinuse;
  };

  const i64 blocks = 9 * static_cast<i64>(nn) + kn.nzb;
  const bool ishort = blocks > kn.lisec || kn.lisec < 24;
  const bool xshort = kn.nzb > kn.lxsec;
  if (ishort || xshort) {
    raise_info(info, kInfoIndexNeeded, kn.iinuse + 24);
    const fint who = kWhoAnalyse;
    if (ishort) {
      const fint code = kErrIndex, v = info[kInfoIndexNeeded - 1];
      ZA38_RECORD_ERROR(&who, icntl, info, &code, &v);
    }
    if (xshort) {
      const fint code = kErrValue, v = info[kInfoValueNeeded - 1];
      ZA38_RECORD_ERROR(&who, icntl, info, &code, &v);
    }
    give_back();
    return;
  }
  kn.ibase = kn.iinuse - blocks;
  kn.xbase = kn.xinuse - kn.nzb;
  kn.xest = kn.xinuse;
  if (!kn.initialise()) {
    give_back();
    return;
  }

  while (kn.npiv < nn && kn.nclosed < nn) {
    kn.release_value_tail();
    bool found = false;
    if (!kn.search_pivot(found)) break;
    if (!found) break;
    if (!kn.allocate_front()) break;
    kn.assemble(0, 0, 0, 0);
    if (!kn.factor_front()) break;
  }
  if (!kn.failed) kn.finish();
  *ifstart = tbl::saturate(kn.ifstart);
  *xfstart = tbl::saturate(kn.xfstart);
  give_back();
}
