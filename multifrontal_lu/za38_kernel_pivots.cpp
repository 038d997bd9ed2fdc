// Further pivots inside a frontal matrix: after each elimination the next
// pivot is looked for among the front's own columns, the front grows by the
// rows and columns that pivot brings, and the rank-1 updates of the
// contribution block are deferred and applied NB at a time through DGEMM.
//
// Pivot slot q (q = 1..k, in the order chosen) is row LD-q and column
// LDC-q of the front (0-based); the most recent p slots are pending.
#include <algorithm>
#include <cmath>

#include "interface/blas.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

namespace tbl::za38 {

namespace {

const fint kOne = 1;
const double kMinusOne = -1.0;
const double kPlusOne = 1.0;

// C(1:m,1:n) -= A(1:m,1:k) B(1:k,1:n), all with leading dimension ld.
void rank_update(fint m, fint nn, fint kk, const double* a, const double* b, double* cc, fint ld) {
  if (m <= 0 || nn <= 0 || kk <= 0) return;
  dgemm_("N", "N", &m, &nn, &kk, &kMinusOne, a, &ld, b, &ld, &kPlusOne, cc, &ld, 1, 1);
}

}  // namespace

bool Kernel::factor_front() {
  while (true) {
    col_extent = std::max(col_extent, c + k);
    row_extent = std::max(row_extent, r + k);

    // 1. Eliminate the pivot in slot k.
    const fint pr = ld - k, pc = ldc - k;
    const double rcp = 1.0 / *front(pr, pc);
    double* lcol = front(0, pc);
    for (fint i = 0; i < r; ++i) lcol[i] *= rcp;
    rinfo[kRinfoBlas1Ops - 1] += r;
    ++npiv;
    ++info[kInfoGoodPivots - 1];
    fcols(n - npiv + 1) = prow;
    frows(n - npiv + 1) = pcol;
    {
      const fint rb = rptr(prow), cb = cblk(pcol);
      iest -= kRowHead + 2 * static_cast<i64>(ccnt(prow)) + rcnt(prow);
      iest -= kColHead + 2 * static_cast<i64>(w(cb, 5)) + w(cb, 6);
      w(rb, 1) = -1;
      w(cb, 1) = -1;
      rptr(prow) = 0;
      cblk(pcol) = 0;
      rowpos(prow) = -1;
      colpos(pcol) = -1;
    }

    const fint r0 = r, c0 = c;
    fint rnew = r, cnew = c;
    fint cand = 0, cpos = 0, crow = 0, rpos = 0;
    bool ok = r > 0;

    // 2. The candidate: the front column of least degree.
    if (ok) {
      fint bestd = n + 1, bestj = n + 1;
      for (fint kk = 1; kk <= c; ++kk) {
        const fint j = fcols(kk);
        const fint d = w(cblk(j), 1);
        if (d < 0) continue;
        if (d < bestd || (d == bestd && j < bestj)) {
          bestd = d;
          bestj = j;
          cpos = kk;
        }
      }
      ok = bestd <= n;
      cand = bestj;
    }
    const fint ccb = ok ? cblk(cand) : 0;
    // 3. Its own entries must fit beside the front's rows.
    if (ok) ok = static_cast<i64>(r) + w(ccb, 6) <= ld;

    const i64 wc = wcol();
    if (ok) {
      // 4. Work copy brought up to date with the pending pivots.
      const i64 coff = colpos(cand);
      std::copy_n(xs.at(fp + coff), r, xs.at(wc));
      if (p > 0) {
        dgemv_("N", &r, &p, &kMinusOne, front(0, ldc - k), &ld, front(ld - k, coff / ld), &kOne, &kPlusOne,
               xs.at(wc), &kOne, 1);
        rinfo[kRinfoSearchOps - 1] += 2.0 * p * r;
      }
      // 5. Its other contributions, with the rows they bring.
      const fint ne = w(ccb, 6);
      const fint ntup = w(ccb, 5);
      for (fint t = 0; t < ntup && ok; ++t) {
        const fint e = is(ccb + kColHead + 2 * t);
        const fint f = is(ccb + kColHead + 2 * t + 1);
        if (is_dead(e)) continue;
        const i64 rows = elem_rows(e);
        const fint nr = elem_nrows(e);
        for (fint m = 0; m < nr; ++m) {
          const fint i = is(rows + m);
          if (i <= 0 || rowpos(i) >= 0) continue;
          frows(++rnew) = i;
          if (static_cast<i64>(rnew) + ne > ld) {
            ok = false;
            break;
          }
          rowpos(i) = rnew - 1;
          xs(wc + rnew - 1) = 0.0;
        }
        if (!ok) {
          --rnew;  // the row that did not fit has no ROWPOS yet
          break;
        }
        const i64 vals = elem_vals(e) + static_cast<i64>(elem_ld(e)) * f;
        for (fint m = 0; m < nr; ++m) {
          const fint i = is(rows + m);
          if (i > 0) xs(wc + rowpos(i)) += xs(vals + m);
        }
      }
      if (ok) {
        const i64 ri = ccb + w(ccb, 0) - ne;
        const i64 vi = w(ccb, 2);
        for (fint m = 0; m < ne; ++m) {
          const fint i = is(ri + m);
          frows(++rnew) = i;
          rowpos(i) = rnew - 1;
          xs(wc + rnew - 1) = xs(vi + m);
        }
        w(ccb, 1) = rnew - r;

        // 6. The pivot row by threshold, among the front's old rows only.
        const fint imax = idamax_(&rnew, xs.at(wc), &kOne);
        rinfo[kRinfoSearchOps - 1] += rnew;
        const double a = rnew > 0 ? std::fabs(xs(wc + imax - 1)) : 0.0;
        if (a == 0.0) {
          w(ccb, 1) = -(n + 2);
          ok = false;
        } else {
          const double thr = tol * a;
          auto good = [&](double v) { return std::fabs(v) >= thr && v != 0.0; };
          if (sympref && rowpos(cand) >= 0 && rowpos(cand) < r && good(xs(wc + rowpos(cand)))) {
            crow = cand;
            rpos = rowpos(cand) + 1;
          } else {
            fint bestd = 0;
            for (fint kk = 1; kk <= r; ++kk) {
              if (!good(xs(wc + kk - 1))) continue;
              const fint i = frows(kk);
              const fint d = w(rptr(i), 1);
              if (crow == 0 || d < bestd || (d == bestd && i < crow)) {
                bestd = d;
                crow = i;
                rpos = kk;
              }
            }
          }
          ok = crow != 0;
        }
      }
    }

    if (ok) {
      // 7. The pivot row's columns join the front.
      auto add_col = [&](fint j) {
        if (colpos(j) != -2) return true;
        if (cnew + 1 > ldc) return false;
        fcols(++cnew) = j;
        colpos(j) = (cnew - 1) * ld;
        return true;
      };
      const fint rb = rptr(crow);
      const fint ntup = ccnt(crow);
      for (fint t = 0; t < ntup && ok; ++t) {
        const fint e = is(rb + kRowHead + 2 * t);
        if (is_dead(e)) continue;
        const fint nc = elem_ncols(e);
        if (e <= n && nc > ldc) {
          ok = false;
          break;
        }
        const i64 cols = elem_cols(e);
        for (fint m = 0; m < nc && ok; ++m) {
          const fint j = is(cols + m);
          if (j > 0) ok = add_col(j);
        }
      }
      if (ok) {
        // The row's input entries in columns not yet in the front are the
        // only ones it keeps (ROFF collects them until the row is known to
        // fit).
        const fint nin = rcnt(crow);
        const i64 end = rb + w(rb, 0);
        fint fresh = 0;
        for (i64 from = end - nin; from < end && ok; ++from) {
          const fint j = is(from);
          if (colpos(j) != -2) continue;
          ok = add_col(j);
          roff(++fresh) = j;
        }
        if (ok) {
          if (fresh < nin) {
            for (fint m = 1; m <= fresh; ++m) is(end - fresh + m - 1) = roff(m);
            rcnt(crow) = fresh;
            iest -= nin - fresh;
          }
          w(rb, 1) = cnew - c;
        }
      }
    }

    if (!ok) {
      // 9. No further pivot fits: undo the growth, flush, close the front.
      for (fint kk = r0 + 1; kk <= rnew; ++kk) rowpos(frows(kk)) = -1;
      for (fint kk = c0 + 1; kk <= cnew; ++kk) colpos(fcols(kk)) = -2;
      if (k > 0) {
        rank_update(r, c, p, front(0, ldc - k), front(ld - k, 0), front(0, 0), ld);
        rinfo[kRinfoBlas3Ops - 1] += 2.0 * r * c * p;
        p = 0;
        if (!write_record(false)) return false;
      }
      return close_front();
    }

    // 8. Apply the pending pivots when NB of them wait or when the grown
    // pattern would run into the pivot slots; in the latter case the
    // pivots held so far also go out as an LU record.
    const bool overlap = rnew > ld - k || cnew > ldc - k;
    if (p >= nb || overlap) {
      rank_update(r, c, p, front(0, ldc - k), front(ld - k, 0), front(0, 0), ld);
      rinfo[kRinfoBlas3Ops - 1] += 2.0 * r * c * p;
      p = 0;
    }
    if (overlap) {
      if (!write_record(true)) return false;
      k = 0;
      rec_name = crow;
    }

    // 10-11. Place the new pivot in slot k+1.  Old rows and columns stay
    // packed first and the added ones after them, so that the next
    // assembly pass starts at the first added one.
    const fint sr = ld - k - 1, sc = ldc - k - 1;
    // Each move is done entry by entry so that a slot that is also the
    // last old position is read before it is written.
    const fint cold = c0 - 1;
    auto move_col_entry = [&](fint q) {
      const double v = *front(q, cpos - 1);
      if (cpos != c0) *front(q, cpos - 1) = *front(q, c0 - 1);
      *front(q, sc) = v;
    };
    for (fint q = 0; q < r0; ++q) move_col_entry(q);
    for (fint q = ld - k; q < ld; ++q) move_col_entry(q);
    if (cpos != c0) {
      fcols(cpos) = fcols(c0);
      colpos(fcols(cpos)) = (cpos - 1) * ld;
    }
    if (cnew > c0) {
      fcols(c0) = fcols(cnew);
      colpos(fcols(c0)) = (c0 - 1) * ld;
    }
    colpos(cand) = sc * ld;
    if (p > 0) {
      dgemv_("N", &r0, &p, &kMinusOne, front(0, ldc - k), &ld, front(ld - k, sc), &kOne, &kPlusOne, front(0, sc),
             &kOne, 1);
      rinfo[kRinfoBlas2Ops - 1] += 2.0 * p * r0;
    }
    auto move_row_entry = [&](fint j) {
      const double v = *front(rpos - 1, j);
      if (rpos != r0) *front(rpos - 1, j) = *front(r0 - 1, j);
      *front(sr, j) = v;
    };
    for (fint j = 0; j < cold; ++j) move_row_entry(j);
    for (fint j = sc; j < ldc; ++j) move_row_entry(j);
    if (rpos != r0) {
      frows(rpos) = frows(r0);
      rowpos(frows(rpos)) = rpos - 1;
    }
    if (rnew > r0) {
      frows(r0) = frows(rnew);
      rowpos(frows(r0)) = r0 - 1;
    }
    rowpos(crow) = sr;
    if (p > 0 && cold > 0) {
      dgemv_("T", &p, &cold, &kMinusOne, front(ld - k, 0), &ld, front(sr, ldc - k), &ld, &kPlusOne, front(sr, 0),
             &ld, 1);
      rinfo[kRinfoBlas2Ops - 1] += 2.0 * p * cold;
    }
    r = rnew - 1;
    c = cnew - 1;
    prow = crow;
    pcol = cand;

    // 12. The new pivot is pending.  Added rows and columns are zeroed,
    // leave the degree lists and are assembled before the next pass.
    ++k;
    ++p;
    const bool rows_grew = rnew > r0, cols_grew = cnew > c0;
    if (!rows_grew && !cols_grew) continue;
    for (fint j = c0 - 1; j < c; ++j) {
      std::fill_n(front(0, j), r, 0.0);
      std::fill_n(front(ld - k, j), k, 0.0);
    }
    for (fint i = r0 - 1; i < r; ++i) {
      for (fint j = 0; j < c0 - 1; ++j) *front(i, j) = 0.0;
      for (fint j = ldc - k; j < ldc; ++j) *front(i, j) = 0.0;
    }
    for (fint kk = c0; kk <= c; ++kk) {
      const fint j = fcols(kk);
      if (w(cblk(j), 1) > 0) unlink_degree(j);
    }
    assemble(r0, c0, rows_grew ? 0 : c0, cols_grew ? 0 : r0);
  }
}

}  // namespace tbl::za38
