// End of the factorisation of one block: the singular remainder, the
// permutations, and the final form of the LU records (positions relative,
// indices as pivot positions, sons as record numbers) with their table.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

namespace tbl::za38 {

void Kernel::fail(bool ishort, bool xshort) {
  failed = true;
  const fint who = kWhoAnalyse;
  const fint v19 = info[kInfoIndexNeeded - 1];
  const fint v21 = info[kInfoValueNeeded - 1];
  if (ishort || lisec < 24) {
    const fint code = kErrIndex;
    ZA38_RECORD_ERROR(&who, icntl, info, &code, &v19);
  }
  if (xshort || (ishort && xfree > xfstart)) {
    const fint code = kErrValue;
    ZA38_RECORD_ERROR(&who, icntl, info, &code, &v21);
  }
}

bool Kernel::finish() {
  const fint kk_found = npiv;
  if (kk_found < n && nclosed < n) {
    fint at = n - kk_found;
    for (fint j = 1; j <= n; ++j) {
      if (cblk(j) == 0) continue;
      frows(at--) = j;
      cblk(j) = 0;
    }
  }
  fint at = n - kk_found;
  for (fint i = 1; i <= n + nd; ++i) {
    if (i > n) {
      rptr(i) = 0;
      continue;
    }
    if (rptr(i) == 0) continue;
    if (rcnt(i) >= 0 && rcnt(i) <= n) {
      fcols(at--) = i;
      rptr(i) = 0;
    } else if (ccnt(i) != dead) {
      rptr(i) = w(rptr(i), 0);
      rcnt(i) = ccnt(i) = dead;
    }
  }

  // Only the LU records stay.
  ifree = 1;
  xfree = 1;
  if (nrec_block == 0) {
    ifstart = lisec;
    is(lisec) = 0;
    if (lxsec >= 1) {
      xfstart = lxsec;
      xs(lxsec) = 0.0;
    }
  }
  iinuse = ibase + (lisec + 1 - ifstart);
  xinuse = xbase + (lxsec + 1 - xfstart);
  // Factors that are not finite (an overflow, in U or in L alone, where a
  // small pivot accepted without a threshold leaves U finite) count as an
  // infinite growth: one pass over the block's reals, which now lie
  // together at the top.
  if (nrec_block > 0 && !all_finite(xs.at(xfstart), lxsec - i64{xfstart} + 1)) rinfo[kRinfoGrowth - 1] = HUGE_VAL;

  // Permutations: the pivot sequence was recorded from the end.
  for (fint q = 1; q <= n; ++q) {
    rowpos(q) = fcols(n - q + 1);
    colpos(q) = frows(n - q + 1);
  }
  for (fint q = 1; q <= n; ++q) {
    fcols(rowpos(q)) = q;
    frows(colpos(q)) = q;
  }
  if (multi) {
    for (fint q = 1; q <= n; ++q) cpat(q) = rowmap(rowpos(q));
    for (fint q = 1; q <= n; ++q) rowmap(q) = cpat(q);
    for (fint q = 1; q <= n; ++q) cpat(q) = colmap(colpos(q));
    for (fint q = 1; q <= n; ++q) colmap(q) = cpat(q);
  }

  // The table of records below the lowest one.
  const fint nr = nrec_block;
  const i64 lowest = ifstart;
  ifstart -= static_cast<i64>(nr) + 5;
  use_int(static_cast<i64>(nr) + 5);
  est_int(static_cast<i64>(nr) + 5);
  raise_info(info, kInfoIndexNeeded, iinuse);
  if (ifstart < 1) {
    fail(true, false);
    return false;
  }
  w(ifstart, 1) = nr;
  w(ifstart, 2) = kk_found;
  w(ifstart, 3) = std::max(1, maxr_rec);
  w(ifstart, 4) = std::max(1, maxc_rec);
  fint num = 0;
  for (fint q = 1; q <= kk_found && num < nr; ++q) {
    const fint i = rowpos(q);
    if (rptr(i) == 0) continue;
    const i64 x = rptr(i);
    ++num;
    w(ifstart, 4 + num) = static_cast<fint>(x - lowest + 1);
    w(x, 0) = static_cast<fint>(w(x, 0) - xfstart + 1);
    const fint rr = w(x, 3), cc = w(x, 2), ss = w(x, 4);
    i64 y = x + kRecHead;
    for (fint m = 0; m < rr; ++m, ++y) is(y) = fcols(std::abs(is(y)));
    for (fint m = 0; m < cc; ++m, ++y) is(y) = frows(std::abs(is(y)));
    for (fint m = 0; m < ss; ++m, ++y) {
      const fint code = is(y);
      const fint kind = (code - 1) / n;
      const fint e = code - kind * n;
      is(y) = rcnt(e) + kind * n;
    }
    rcnt(i) = num;
  }
  *nrec += nr;
  *rmax = std::max(*rmax, maxr_rec);
  *cmax = std::max(*cmax, maxc_rec);
  need_value(-static_cast<i64>(nzb));
  return true;
}

}  // namespace tbl::za38
