// LU records and the closing of a frontal matrix.
//
// An LU record written because the next pivot's pattern would run into the
// pivot slots (the overlap case) lists the rows and columns the front held
// before the pass that triggered it: the rows and columns that pass added
// have no entries in the record's pivots.  The refactorisation relies on
// this.
#include <algorithm>
#include <cmath>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

namespace tbl::za38 {

void Kernel::compact(bool spare, bool keep_front, bool keep_wcol) {
  fint frontp = keep_front ? static_cast<fint>(fp) : 0;
  const fint frontsz = keep_front ? ld * ldc : 0;
  fint wcolp = keep_wcol ? static_cast<fint>(wcol()) : 0;
  const fint wcolsz = keep_wcol ? ld : 0;
  const logical sp = to_logical(spare);
  fint ifr = static_cast<fint>(ifree), xfr = static_cast<fint>(xfree);
  fint nspare = 0, gs = 0;
  const fint lx = static_cast<fint>(lxsec), li = static_cast<fint>(lisec);
  ZA38_COMPACT(xs.data(), &lx, &xfr, &xinuse, is.data(), &li, &ifr, &iinuse, cblk.data(), rptr.data(), &nd, &n,
               rowpos.data(), colpos.data(), ccnt.data(), rcnt.data(), &frontp, &frontsz, &wcolp, &wcolsz, &sp,
               &gapblk, &gs, &vhead, &vtail, &nspare);
  gapsize = gs;
  ifree = ifr;
  xfree = xfr;
  if (keep_front) fp = frontp;
}

bool Kernel::write_record(bool goes_on) {
  const fint s = nchild;
  const i64 ni = static_cast<i64>(r) + c + s + kRecHead;
  const i64 nx = (static_cast<i64>(k) + r + c) * k;
  const bool ishort = ifstart - ifree < ni, xshort = xfstart - xfree < nx;
  if (ishort || xshort) {
    if (ishort) ++info[kInfoIntCompactions - 1];
    if (xshort) ++info[kInfoRealCompactions - 1];
    compact(false, true, true);
  }
  use_int(ni);
  est_int(ni);
  use_real(nx);
  est_real(nx);
  need_value(nx);
  const bool istill = ifstart - ifree < ni, xstill = xfstart - xfree < nx;
  if (istill || xstill) {
    fail(istill, xstill);
    return false;
  }
  ifstart -= ni;
  xfstart -= nx;
  const i64 q = ifstart;
  w(q, 0) = static_cast<fint>(xfstart);
  w(q, 1) = k;
  w(q, 2) = c;
  w(q, 3) = r;
  w(q, 4) = s;
  w(q, 5) = 0;
  w(q, 6) = 0;
  i64 at = q + kRecHead;
  for (fint i = 1; i <= r; ++i) is(at++) = frows(i);
  for (fint j = 1; j <= c; ++j) is(at++) = fcols(j);
  for (fint e = child_head, t = 0; t < s; ++t) {
    const fint next = rowpos(e) + n + 2;
    fint code = e + 2 * n;
    if (rcnt(e) == dead) code = e;
    else if (rcnt(e) == tag) code = e + n;
    is(at++) = code;
    rowpos(e) = -1;
    e = next;
  }

  // Pivot columns over the pivot rows and the L rows, then the U rows.
  // The largest magnitude in U (on and above the diagonal of the pivot
  // block, and the U rows) is taken on the way, for the growth figure.
  const i64 v = xfstart;
  const i64 ldl = static_cast<i64>(k) + r;
  double umax = rinfo[kRinfoGrowth - 1];
  for (fint qq = 1; qq <= k; ++qq) {
    const fint col = ldc - qq;
    const i64 dst = v + (qq - 1) * ldl;
    for (fint q2 = 1; q2 <= qq; ++q2) {
      const double x = *front(ld - q2, col);
      xs(dst + q2 - 1) = x;
      umax = std::max(umax, std::fabs(x));
    }
    for (fint q2 = qq + 1; q2 <= k; ++q2) xs(dst + q2 - 1) = *front(ld - q2, col);
    std::copy_n(front(0, col), r, xs.at(dst + k));
  }
  const i64 u = v + k * ldl;
  for (fint j = 0; j < c; ++j)
    for (fint qq = 1; qq <= k; ++qq) {
      const double x = *front(ld - qq, j);
      xs(u + static_cast<i64>(j) * k + qq - 1) = x;
      umax = std::max(umax, std::fabs(x));
    }
  rinfo[kRinfoGrowth - 1] = umax;

  const i64 tri = static_cast<i64>(k) * (k - 1) / 2;
  info[kInfoUEntries - 1] = saturate(info[kInfoUEntries - 1] + static_cast<i64>(c) * k + tri);
  info[kInfoLEntries - 1] = saturate(info[kInfoLEntries - 1] + static_cast<i64>(r) * k + tri);
  ++nrec_block;
  maxr_rec = std::max(maxr_rec, r);
  maxc_rec = std::max(maxc_rec, c);
  rcnt(rec_name) = ccnt(rec_name) = dead;
  rptr(rec_name) = static_cast<fint>(q);
  if (first_rec == 0) first_rec = q;
  child_head = 0;
  nchild = 0;
  if (goes_on) {
    child_head = rec_name;
    rowpos(rec_name) = -n - 2;
    nchild = 1;
  }
  return true;
}

namespace {

// The body a growing block is given: twice what it needs (at least 16 more
// words), never beyond 3N + 2 NDENSE words, and never less than it needs.
i64 grown_body(i64 m, i64 cap) { return std::max(m, std::min(m + std::max<i64>(m, 16), cap)); }

}  // namespace

bool Kernel::add_tuple(bool column, fint x, fint e, fint f) {
  const fint head = column ? kColHead : kRowHead;
  const i64 cap = 3 * static_cast<i64>(n) + 2 * static_cast<i64>(nd);
  for (int attempt = 0;; ++attempt) {
    const i64 b = column ? cblk(x) : rptr(x);
    const i64 ntup = column ? w(b, 5) : ccnt(x);
    const i64 nin = column ? w(b, 6) : rcnt(x);
    if (w(b, 0) >= nin + 2 * ntup + head + 2) {
      is(b + head + 2 * ntup) = e;
      is(b + head + 2 * ntup + 1) = f;
      if (column) ++w(b, 5); else ++ccnt(x);
      use_int(2);
      est_int(2);
      return true;
    }
    const i64 m = nin + 2 * ntup + 2;
    const i64 len = head + grown_body(m, cap);
    if (ifstart - ifree < len) {
      if (attempt > 0) {
        fail(true, false);
        return false;
      }
      ++info[kInfoIntCompactions - 1];
      compact(true, false, false);
      continue;  // the block may have received spare words
    }
    const i64 nb = ifree;
    for (i64 t = 0; t < head + 2 * ntup; ++t) is(nb + t) = is(b + t);
    const i64 old_end = b + w(b, 0);
    for (i64 t = 1; t <= nin; ++t) is(nb + len - t) = is(old_end - t);
    w(nb, 0) = static_cast<fint>(len);
    w(b, 1) = -1;
    ifree += len;
    use_int(len);
    if (column) {
      w(b, 6) = 0;
      cblk(x) = static_cast<fint>(nb);
      if (nin > 0) {
        const fint pv = w(nb, 4), nx = w(nb, 3);
        if (pv != 0) w(pv, 3) = static_cast<fint>(nb); else vhead = static_cast<fint>(nb);
        if (nx != 0) w(nx, 4) = static_cast<fint>(nb); else vtail = static_cast<fint>(nb);
      } else {
        w(nb, 2) = w(nb, 3) = w(nb, 4) = 0;
      }
    } else {
      rptr(x) = static_cast<fint>(nb);
    }
  }
}

bool Kernel::close_front() {
  if (first_rec != 0) {
    w(first_rec, 5) = col_extent;
    w(first_rec, 6) = row_extent;
  }
  ++info[kInfoFronts - 1];

  const fint nk = n - npiv;
  for (fint kk = c; kk >= 1; --kk) {
    const fint j = fcols(kk);
    const fint cb = cblk(j);
    const fint d = w(cb, 1);
    if (d < 0) continue;
    const fint nd2 = std::min(d + r, nk);
    w(cb, 1) = nd2;
    if (nd2 > 0) {
      push_degree(j, nd2);
      mindeg = std::min(mindeg, nd2);
    }
  }
  for (fint kk = 1; kk <= r; ++kk) {
    const fint rb = rptr(frows(kk));
    w(rb, 1) = std::min(w(rb, 1) + c, nk);
  }
  advance_tag(r, c);

  const i64 area = static_cast<i64>(ld) * ldc;
  const i64 rc = static_cast<i64>(r) * c;
  need_value(rc - area);
  xest += rc - area - ld;

  if (r == 0 || c == 0) {
    xinuse -= xfree - fp;
    xfree = fp;
    fp = 0;
    for (fint kk = 1; kk <= c; ++kk) colpos(fcols(kk)) = -2;
    for (fint kk = 1; kk <= r; ++kk) rowpos(frows(kk)) = -1;
    ++nclosed;
    return true;
  }

  // The contribution block becomes element e, named after the last record.
  xfree -= ld;
  xinuse -= ld;
  const fint e = rec_name;
  if (ifstart - ifree < kElemHead) {
    ++info[kInfoIntCompactions - 1];
    compact(false, true, false);
    if (ifstart - ifree < kElemHead) {
      use_int(kElemHead);
      est_int(kElemHead);
      fail(true, false);
      return false;
    }
  }
  const i64 q = ifree;
  ifree += kElemHead;
  use_int(kElemHead);
  est_int(kElemHead);
  raise_info(info, kInfoIndexNeeded,
             iest + 2 * (static_cast<i64>(r) + c) + kElemHead + 3 * static_cast<i64>(n) + 2 * nd + kColHead);
  rcnt(e) = ccnt(e) = tag - 1;
  rinfo[kRinfoAssemblyOps - 1] += static_cast<double>(rc);
  w(q, 0) = rptr(e);
  rptr(e) = static_cast<fint>(q);
  w(q, 5) = c;
  w(q, 6) = r;

  if (rc > gapsize) {
    w(q, 1) = ld;
    w(q, 2) = static_cast<fint>(fp);
    w(q, 3) = 0;
    w(q, 4) = vtail;
    if (vtail != 0) w(vtail, 3) = static_cast<fint>(q); else vhead = static_cast<fint>(q);
    vtail = static_cast<fint>(q);
    const i64 used = static_cast<i64>(c - 1) * ld + r;
    xinuse -= area - used;
    xfree = fp + used;
  } else {
    const fint g = gapblk;
    const i64 dst = w(g, 2);
    for (fint j = 0; j < c; ++j) std::copy_n(front(0, j), r, xs.at(dst + static_cast<i64>(j) * r));
    w(q, 1) = r;
    w(q, 2) = static_cast<fint>(dst);
    const fint pv = w(g, 4);
    w(q, 3) = g;
    w(q, 4) = pv;
    if (pv != 0) w(pv, 3) = static_cast<fint>(q); else vhead = static_cast<fint>(q);
    w(g, 4) = static_cast<fint>(q);
    w(g, 2) = static_cast<fint>(dst + rc);
    gapsize -= rc;
    if (gapsize == 0) {
      const fint nx = w(g, 3);
      w(q, 3) = nx;
      if (nx != 0) w(nx, 4) = static_cast<fint>(q); else vtail = static_cast<fint>(q);
      w(g, 2) = w(g, 3) = w(g, 4) = 0;
      gapblk = 0;
      gapsize = -1;
    }
    xinuse -= xfree - fp;
    xfree = fp;
  }
  fp = 0;

  for (fint f = 0; f < c; ++f) {
    const fint j = fcols(f + 1);
    if (!add_tuple(true, j, e, f)) return false;
    colpos(j) = -2;
  }
  for (fint f = 0; f < r; ++f) {
    const fint i = frows(f + 1);
    if (!add_tuple(false, i, e, f)) return false;
    rowpos(i) = -1;
  }
  ++nclosed;
  return true;
}

}  // namespace tbl::za38
