// Pivot search over a few columns of lowest approximate degree, with the
// threshold test and an approximate Markowitz cost, and the allocation of
// the frontal matrix that the chosen pivot starts.
#include <algorithm>
#include <cmath>

#include "interface/blas.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

namespace tbl::za38 {

// XFREE grows by amount; when the gap below XFSTART is too small the
// sections are compacted first.
bool Kernel::reserve_reals(i64 amount) {
  if (xfstart - xfree < amount) {
    ++info[kInfoRealCompactions - 1];
    compact(false, false, false);
  }
  use_real(amount);
  est_real(amount);
  xfree += amount;
  if (xfree > xfstart) {
    fail(false, true);
    return false;
  }
  return true;
}

bool Kernel::search_pivot(bool& found) {
  found = false;
  fint d = mindeg;
  fint ncand = 0, nexam = 0, chain = 0;
  fint best = 0, bestrow = 0, bestcdeg = 0;
  i64 bestcost = 0;

  while (true) {
    while (d <= n && dhead(d) == 0) ++d;
    if (d > n) break;
    mindeg = d;
    const fint j = dhead(d);
    dhead(d) = w(cblk(j), 7);
    if (dhead(d) != 0) w(cblk(dhead(d)), 8) = 0;
    ++nexam;

    // The column's pattern: element rows first (each once), then its own
    // input entries, which no element shares.  A reservation may compact
    // the sections, which moves the column's block: its position is read
    // after each one.
    i64 reserved = d;
    if (!reserve_reals(reserved)) return false;
    i64 cb = cblk(j);
    fint len = 0;
    const fint ntup = w(cb, 5);
    for (fint t = 0; t < ntup; ++t) {
      const fint e = is(cb + kColHead + 2 * t);
      if (is_dead(e)) continue;
      const i64 rows = elem_rows(e);
      const fint nr = elem_nrows(e);
      for (fint m = 0; m < nr; ++m) {
        const fint i = is(rows + m);
        if (i > 0 && rowpos(i) < 0) {
          cpat(++len) = i;
          rowpos(i) = len - 1;
        }
      }
    }
    const fint ne = w(cb, 6);
    const fint cd = len + ne;
    // The reservation came from the approximate degree; a column longer
    // than that gets the room it needs instead of writing past it.
    if (cd > reserved) {
      xfree -= reserved;
      xinuse -= reserved;
      xest -= reserved;
      reserved = cd;
      if (!reserve_reals(reserved)) return false;
      cb = cblk(j);
    }
    const i64 v0 = xfree - reserved;
    for (fint m = 0; m < len; ++m) xs(v0 + m) = 0.0;
    for (fint t = 0; t < ntup; ++t) {
      const fint e = is(cb + kColHead + 2 * t);
      const fint f = is(cb + kColHead + 2 * t + 1);
      if (is_dead(e)) continue;
      const i64 rows = elem_rows(e);
      const fint nr = elem_nrows(e);
      const i64 vals = elem_vals(e) + static_cast<i64>(elem_ld(e)) * f;
      for (fint m = 0; m < nr; ++m) {
        const fint i = is(rows + m);
        if (i > 0) xs(v0 + rowpos(i)) += xs(vals + m);
      }
    }
    const i64 in_rows = cb + w(cb, 0) - ne;
    const i64 in_vals = w(cb, 2);
    for (fint m = 0; m < ne; ++m) {
      cpat(len + m + 1) = is(in_rows + m);
      xs(v0 + len + m) = xs(in_vals + m);
    }
    w(cb, 1) = cd;

    fint prow_found = 0, pidx = 0;
    if (cd > 0) {
      const fint one = 1;
      const fint imax = idamax_(&cd, xs.at(v0), &one);
      rinfo[kRinfoSearchOps - 1] += cd;
      const double amax = std::fabs(xs(v0 + imax - 1));
      if (amax > 0.0) {
        const double thr = tol * amax;
        auto ok = [&](double v) { return std::fabs(v) >= thr && v != 0.0; };
        if (sympref) {
          fint di = -1;
          if (rowpos(j) >= 0) {
            di = rowpos(j);
          } else {
            for (fint m = 0; m < ne; ++m)
              if (cpat(len + m + 1) == j) di = len + m;
          }
          if (di >= 0 && ok(xs(v0 + di))) {
            prow_found = j;
            pidx = di + 1;
          }
        }
        if (prow_found == 0) {
          fint bestdeg = n + 1;
          for (fint kk = 1; kk <= cd; ++kk) {
            if (!ok(xs(v0 + kk - 1))) continue;
            const fint i = cpat(kk);
            const fint rd = w(rptr(i), 1);
            if (rd < bestdeg || (rd == bestdeg && i < prow_found)) {
              bestdeg = rd;
              prow_found = i;
              pidx = kk;
            }
          }
        }
      }
    }
    xfree -= reserved;
    xinuse -= reserved;
    xest -= reserved;
    for (fint m = 1; m <= len; ++m) rowpos(cpat(m)) = -1;

    if (prow_found == 0) {
      w(cb, 1) = -(n + 2);
    } else {
      ++ncand;
      w(cb, 7) = chain;
      chain = j;
      const i64 rdeg = w(rptr(prow_found), 1);
      const i64 cost = (rdeg - 1) * (cd - 1);
      if (best == 0 || cost < bestcost) {
        best = j;
        bestrow = prow_found;
        bestcost = cost;
        bestcdeg = cd;
        for (fint kk = 1; kk <= cd; ++kk) frows(kk) = cpat(kk);
        frows(pidx) = cpat(cd);
      }
    }
    if (ncand >= nsearch || nexam >= n) break;
  }
  if (ncand == 0) return true;

  // Rejected candidates go back to the head of the list of their exact
  // length; the chosen column stays out.
  for (fint j = chain; j != 0;) {
    const fint next = w(cblk(j), 7);
    if (j != best) {
      const fint dd = w(cblk(j), 1);
      push_degree(j, dd);
      mindeg = std::min(mindeg, dd);
    }
    j = next;
  }
  found = true;
  prow = bestrow;
  pcol = best;
  cdeg = bestcdeg;
  return true;
}

namespace {
// min(NACTIVE, size * GROWTH) in floating point: an infinite or huge growth
// factor gives NACTIVE instead of an undefined conversion.
fint grown(fint size, double growth, fint nactive) {
  const double v = static_cast<double>(size) * growth;
  if (!(v < static_cast<double>(nactive))) return nactive;
  return std::max(size, static_cast<fint>(v));
}
}  // namespace

bool Kernel::allocate_front() {
  // The front's columns: those of every element in the pivot row, then the
  // row's own input entries.
  ncols = 0;
  auto add_col = [&](fint jj) {
    if (colpos(jj) == -2) {
      fcols(++ncols) = jj;
      colpos(jj) = 0;
    }
  };
  const fint rb = rptr(prow);
  const fint ntup = ccnt(prow);
  for (fint t = 0; t < ntup; ++t) {
    const fint e = is(rb + kRowHead + 2 * t);
    if (is_dead(e)) continue;
    const i64 cols = elem_cols(e);
    const fint nc = elem_ncols(e);
    for (fint m = 0; m < nc; ++m) {
      const fint jj = is(cols + m);
      if (jj > 0) add_col(jj);
    }
  }
  const fint nin = rcnt(prow);
  const i64 in0 = rb + w(rb, 0) - nin;
  for (fint m = 0; m < nin; ++m) add_col(is(in0 + m));
  add_col(pcol);

  const fint nact = nactive();
  ld = grown(cdeg, growth, nact);
  ldc = grown(ncols, growth, nact);
  rowcap = std::max(dthresh, ldc);

  const i64 area = static_cast<i64>(ld) * ldc;
  const i64 size = area + ld;
  if (xfstart - xfree < size) {
    ++info[kInfoRealCompactions - 1];
    compact(false, false, false);
  }
  fp = xfree;
  use_real(size);
  est_real(size);
  xfree += size;
  if (xfree > xfstart) {
    fail(false, true);
    return false;
  }
  need_value(area);

  for (fint kk = 1; kk < cdeg; ++kk) rowpos(frows(kk)) = kk - 1;
  fint pi = 0;
  for (fint kk = 1; kk <= ncols; ++kk) {
    colpos(fcols(kk)) = (kk - 1) * ld;
    if (fcols(kk) == pcol) pi = kk;
  }
  fcols(pi) = fcols(ncols);
  colpos(fcols(pi)) = (pi - 1) * ld;
  colpos(pcol) = (ldc - 1) * ld;
  rowpos(prow) = ld - 1;
  r = cdeg - 1;
  c = ncols - 1;
  k = 1;
  p = 1;

  for (fint jj = 0; jj < c; ++jj) {
    std::fill_n(front(0, jj), r, 0.0);
    *front(ld - 1, jj) = 0.0;
  }
  std::fill_n(front(0, ldc - 1), r, 0.0);
  *front(ld - 1, ldc - 1) = 0.0;

  for (fint kk = 1; kk <= c; ++kk) {
    const fint jj = fcols(kk);
    if (w(cblk(jj), 1) > 0) unlink_degree(jj);
  }
  child_head = 0;
  nchild = 0;
  rec_name = prow;
  first_rec = 0;
  col_extent = 0;
  row_extent = 0;
  return true;
}

}  // namespace tbl::za38
