// Degree update and assembly: for every element that shares a row or a
// column with the front, its rows and columns outside the front are
// counted (stamped against TAG), what can be assembled cheaply is added
// into the front, spent tuples are dropped and the approximate degrees of
// the front's rows and columns are lowered.
#include <algorithm>
#include <utility>

#include "multifrontal_lu/za38_kernel_ws.hpp"

namespace tbl::za38 {

void Kernel::link_child(fint e) {
  if (e > n || rowpos(e) != -1) return;
  rowpos(e) = child_head - n - 2;
  child_head = e;
  ++nchild;
}

// A block holds values in XSEC while it is linked in the value list; a
// block taken out of the list has words 2, 3 and 4 cleared.
namespace {
bool in_value_list(const Kernel& kn, fint b) { return kn.vhead == b || kn.w(b, 4) != 0; }

void take_out(Kernel& kn, fint b) {
  const fint nx = kn.w(b, 3), pv = kn.w(b, 4);
  if (pv != 0) kn.w(pv, 3) = nx; else kn.vhead = nx;
  if (nx != 0) kn.w(nx, 4) = pv; else kn.vtail = pv;
  kn.w(b, 2) = kn.w(b, 3) = kn.w(b, 4) = 0;
  if (kn.gapblk == b) {
    kn.gapblk = 0;
    kn.gapsize = -1;
  }
}
}  // namespace

// The values of block b are no longer live: b merges with a free block
// that follows it and with one that precedes it, and the free gap so
// formed is remembered when it is the largest.
void Kernel::free_values(fint b) {
  if (!in_value_list(*this, b)) return;
  if (vhead == b) w(b, 2) = 1;
  const fint nx = w(b, 3);
  if (nx != 0 && w(nx, 6) == 0) take_out(*this, nx);
  fint m = b;
  const fint pv = w(b, 4);
  if (pv != 0 && w(pv, 6) == 0) {
    take_out(*this, b);
    m = pv;
  }
  const fint after = w(m, 3);
  const i64 end = after != 0 ? w(after, 2) : fp;
  const i64 gap = end - w(m, 2);
  if (gap > gapsize) {
    gapsize = gap;
    gapblk = m;
  }
}

void Kernel::absorb(fint e) {
  const fint h = rptr(e);
  const i64 nr = elem_nrows(e), nc = elem_ncols(e);
  rcnt(e) = ccnt(e) = dead;
  if (e > n) {
    w(h, 0) = static_cast<fint>(nr + kColHead);
    iinuse -= nr + kColHead;
    iest -= nr + kColHead;
    rptr(e) = 0;
  } else {
    rptr(e) = w(h, 0);
    w(h, 0) = kElemHead;
    iinuse -= kElemHead;
    iest -= kElemHead;
  }
  xest -= nr * nc;
  need_value(-nr * nc);
  w(h, 1) = -1;
  w(h, 6) = 0;
  free_values(h);
}

namespace {

// Tuples of a list for which set_aside(e) holds are moved behind the others;
// returns how many are kept in front.
template <class Pred>
fint partition_tuples(Kernel& kn, i64 t0, fint ntup, Pred set_aside) {
  fint kept = 0;
  for (fint t = 0; t < ntup; ++t) {
    const i64 at = t0 + 2 * t;
    if (set_aside(kn.is(at))) continue;
    if (kept != t) {
      const i64 to = t0 + 2 * kept;
      std::swap(kn.is(to), kn.is(at));
      std::swap(kn.is(to + 1), kn.is(at + 1));
    }
    ++kept;
  }
  return kept;
}

// ROFF(q) becomes the front row of the element's q-th row, or negative for a
// row that is dead or outside the front (ROFF is free during an assembly).
void place_rows(Kernel& kn, i64 rows, fint nr) {
  for (fint q = 0; q < nr; ++q) {
    const fint i = kn.is(rows + q);
    kn.roff(q + 1) = i > 0 ? kn.rowpos(i) : -1;
  }
}

}  // namespace

void Kernel::assemble(fint rs, fint cs, fint ca, fint ra) {
  auto frow = [&](fint idx) { return idx == 0 ? prow : frows(idx); };
  auto fcol = [&](fint idx) { return idx == 0 ? pcol : fcols(idx); };
  auto stamp = [&](fint e) {
    ccnt(e) = tag + elem_live_cols(e);
    rcnt(e) = tag + elem_live_rows(e);
  };
  const fint chain_end = n + nd + 1;

  // Row scan: RCNT(e) - TAG becomes the number of e's rows outside the front.
  for (fint idx = rs; idx <= r; ++idx) {
    const fint i = frow(idx);
    const fint rb = rptr(i);
    for (fint t = 0; t < ccnt(i); ++t) {
      const fint e = is(rb + kRowHead + 2 * t);
      if (is_dead(e)) continue;
      if (rcnt(e) < tag) stamp(e);
      --rcnt(e);
    }
  }
  // Column scan: likewise CCNT(e) - TAG for the columns.
  for (fint idx = cs; idx <= c; ++idx) {
    const fint j = fcol(idx);
    const fint cb = cblk(j);
    for (fint t = 0; t < w(cb, 5); ++t) {
      const fint e = is(cb + kColHead + 2 * t);
      if (is_dead(e)) continue;
      if (ccnt(e) < tag) stamp(e);
      --ccnt(e);
    }
  }

  const i64 nact = nactive();

  // Column assembly.
  fint chain = chain_end;
  for (fint idx = ca; idx <= c; ++idx) {
    const fint j = fcol(idx);
    const fint cb = cblk(j);
    const i64 coff = colpos(j);
    const fint ntup = w(cb, 5);
    const i64 t0 = cb + kColHead;
    i64 ext = 0;
    const fint kept = partition_tuples(*this, t0, ntup, [&](fint e) { return rcnt(e) <= tag; });
    for (fint t = 0; t < kept; ++t) ext += rcnt(is(t0 + 2 * t)) - tag;
    for (fint t = kept; t < ntup; ++t) {
      const fint e = is(t0 + 2 * t);
      const fint f = is(t0 + 2 * t + 1);
      if (rcnt(e) < tag) continue;  // dead, or handled in this assembly
      link_child(e);
      const i64 rows = elem_rows(e), cols = elem_cols(e), vals = elem_vals(e);
      const fint nr = elem_nrows(e), nc = elem_ncols(e), lde = elem_ld(e);
      // Every live row of e is in the front here.
      auto add_column = [&](fint m, i64 off) {
        const i64 src = vals + static_cast<i64>(lde) * m;
        for (fint q = 0; q < nr; ++q) {
          const fint i = is(rows + q);
          if (i > 0) xs(fp + rowpos(i) + off) += xs(src + q);
        }
      };
      // Several columns of e: its rows' places in the front are looked up
      // once, not once per column.
      auto add_placed_column = [&](fint m, i64 off) {
        const i64 src = vals + static_cast<i64>(lde) * m;
        const i64 dst = fp + off;
        for (fint q = 0; q < nr; ++q) {
          const fint at = roff(q + 1);
          if (at >= 0) xs(dst + at) += xs(src + q);
        }
      };
      if (ccnt(e) == tag) {
        place_rows(*this, rows, nr);
        for (fint m = 0; m < nc; ++m) {
          const fint jj = is(cols + m);
          if (jj > 0) add_placed_column(m, colpos(jj));
        }
        absorb(e);
      } else if (elem_live_cols(e) / 2 < ccnt(e) - tag) {
        add_column(f, coff);
        --elem_live_cols(e);
        is(cols + f) = -j;
      } else {
        place_rows(*this, rows, nr);
        fint taken = 0;
        for (fint m = 0; m < nc; ++m) {
          const fint jj = is(cols + m);
          if (jj > 0 && colpos(jj) >= 0) {
            add_placed_column(m, colpos(jj));
            is(cols + m) = -jj;
            ++taken;
          }
        }
        elem_live_cols(e) -= taken;
        rcnt(e) = -chain;
        chain = e;
      }
    }
    const fint dropped = ntup - kept;
    w(cb, 5) = kept;
    iinuse -= 2 * dropped;
    iest -= 2 * dropped;

    // The column's own entries in front rows; the remaining ones are kept
    // together at the end of the block and of its values.
    const fint ne = w(cb, 6);
    if (ne > 0) {
      const i64 ri = cb + w(cb, 0) - ne;
      const i64 vi = w(cb, 2);
      fint gone = 0;
      for (fint m = 0; m < ne; ++m) {
        const fint i = is(ri + m);
        if (rowpos(i) < 0) continue;
        xs(fp + rowpos(i) + coff) += xs(vi + m);
        is(ri + m) = is(ri + gone);
        xs(vi + m) = xs(vi + gone);
        ++gone;
      }
      if (gone > 0) {
        w(cb, 6) = ne - gone;
        w(cb, 2) = static_cast<fint>(vi + gone);
        iinuse -= gone;
        iest -= gone;
        xest -= gone;
        if (ne == gone) {
          w(cb, 2) = static_cast<fint>(vi);
          free_values(cb);
        }
      }
    }
    const i64 left = w(cb, 6);
    const fint old = w(cb, 1);
    w(cb, 1) = static_cast<fint>(std::min<i64>({old, ext + left, nact - (r + 1)}));
  }
  for (fint e = chain; e != chain_end;) {
    const fint next = -rcnt(e);
    rcnt(e) = tag;
    e = next;
  }

  // Row assembly, the same with rows and columns exchanged.
  chain = chain_end;
  for (fint idx = ra; idx <= r; ++idx) {
    const fint i = frow(idx);
    const fint rb = rptr(i);
    const i64 roff0 = rowpos(i);
    const fint ntup = ccnt(i);
    const i64 t0 = rb + kRowHead;
    i64 ext = 0;
    const fint kept = partition_tuples(*this, t0, ntup, [&](fint e) { return ccnt(e) <= tag; });
    for (fint t = 0; t < kept; ++t) ext += ccnt(is(t0 + 2 * t)) - tag;
    for (fint t = kept; t < ntup; ++t) {
      const fint e = is(t0 + 2 * t);
      const fint f = is(t0 + 2 * t + 1);
      if (ccnt(e) < tag) continue;
      link_child(e);
      const i64 rows = elem_rows(e), cols = elem_cols(e), vals = elem_vals(e);
      const fint nr = elem_nrows(e), nc = elem_ncols(e), lde = elem_ld(e);
      auto add_row = [&](fint q, i64 off) {
        for (fint m = 0; m < nc; ++m) {
          const fint jj = is(cols + m);
          if (jj > 0) xs(fp + off + colpos(jj)) += xs(vals + static_cast<i64>(lde) * m + q);
        }
      };
      if (elem_live_rows(e) / 2 < rcnt(e) - tag) {
        add_row(f, roff0);
        --elem_live_rows(e);
        is(rows + f) = -i;
      } else {
        // Every row of e in the front: walk e column by column, so that e
        // and the front are both read down their columns.  Each entry of
        // the front receives at most one addition from e, so the order of
        // the walk leaves the sums unchanged.
        place_rows(*this, rows, nr);
        for (fint m = 0; m < nc; ++m) {
          const fint jj = is(cols + m);
          if (jj <= 0) continue;
          const i64 dst = fp + colpos(jj);
          const i64 src = vals + static_cast<i64>(lde) * m;
          for (fint q = 0; q < nr; ++q) {
            const fint at = roff(q + 1);
            if (at >= 0) xs(dst + at) += xs(src + q);
          }
        }
        fint taken = 0;
        for (fint q = 0; q < nr; ++q) {
          if (roff(q + 1) < 0) continue;
          is(rows + q) = -is(rows + q);
          ++taken;
        }
        elem_live_rows(e) -= taken;
        ccnt(e) = -chain;
        chain = e;
      }
    }
    const fint dropped = ntup - kept;
    ccnt(i) = kept;
    iinuse -= 2 * dropped;
    iest -= 2 * dropped;

    // The row's input entries in front columns were assembled from the
    // column side; they leave the row's list unless the row is too long
    // to search.
    const fint ne = rcnt(i);
    const i64 end = rb + w(rb, 0);
    if (ne > rowcap) {
      ext += ne;
    } else if (ne > 0) {
      i64 to = end - 1;
      for (i64 from = end - 1; from >= end - ne; --from) {
        const fint jj = is(from);
        if (colpos(jj) != -2) continue;
        is(to--) = jj;
      }
      const fint left = static_cast<fint>(end - 1 - to);
      const fint gone = ne - left;
      rcnt(i) = left;
      iinuse -= gone;
      iest -= gone;
      ext += left;
    }
    const fint old = w(rb, 1);
    w(rb, 1) = static_cast<fint>(std::min<i64>({old, ext, nact - (c + 1)}));
  }
  for (fint e = chain; e != chain_end;) {
    const fint next = -ccnt(e);
    ccnt(e) = tag;
    e = next;
  }
}

}  // namespace tbl::za38
