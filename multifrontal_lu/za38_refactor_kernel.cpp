// ZA38_REFACTOR_KERNEL and ZA38_REFACTOR_COMPACT: new values pushed through
// the stored LU records of one diagonal block, in their pivot order, with
// no search and no symbolic work.
//
// The real work area is used from both ends: the block's input arrowheads
// at the bottom (consumed in pivot order), above them the contribution
// blocks of finished fronts in address order with the current front last,
// and the new LU blocks from the top down.  Contribution blocks are chained
// by address through ENEXT/EPREV between two sentinels, so that freed spans
// can be merged and reused before the area is compacted.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "interface/blas.hpp"
#include "multifrontal_lu/za38_internal.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;
using namespace tbl::za38;

// The stored words of one LU record (see the factor layout): its header and
// lists, read through the record position table.
struct Record {
  Vec1<fint> w;  // w(1) is the record's first word
  fint k() const { return w(2); }
  fint ncols() const { return w(3); }  // may carry the "assembled" mark
  fint nrows() const { return w(4); }
  fint nsons() const { return w(5); }
  fint colcap() const { return w(6); }
  fint ld() const { return w(7); }  // 0: continues the previous record's front
  fint& row(fint i) const { return w(7 + i); }
  fint& col(fint j) const { return w(7 + std::abs(w(4)) + j); }
  fint son(fint t) const { return w(7 + std::abs(w(4)) + std::abs(w(3)) + t); }
};

// Contribution list and the remembered gap, shared by the kernel's stages
// and the compaction.
struct ContribList {
  Vec1<fint> eld, epos, enext, eprev;
  fint nelem;
  fint head() const { return nelem + 1; }  // start sentinel
  fint tail() const { return nelem + 2; }  // end sentinel
  void unlink(fint q) const {
    enext(eprev(q)) = enext(q);
    eprev(enext(q)) = eprev(q);
  }
  void link_after(fint q, fint after) const {
    enext(q) = enext(after);
    eprev(q) = after;
    eprev(enext(after)) = q;
    enext(after) = q;
  }
};

inline fint rows_of(const Record& r) { return std::abs(r.nrows()); }
inline fint cols_of(const Record& r) { return std::abs(r.ncols()); }

struct Kernel {
  // Arguments.
  Vec1<fint> arrowp, arrowi;
  fint n;
  Vec1<double> xsec;
  fint lxsec;
  Vec1<const fint> cperm, rperm, icntl;
  Vec1<fint> info;
  Vec1<double> rinfo;
  Vec1<fint> rowpos, colpos, fcols, frows, spos;
  ContribList list;
  Vec1<const fint> hdrp;
  fint* isec;
  fint* nignored;

  // State.
  fint nb = 1;
  bool diagnostics = false;
  fint xfree = 0, xfstart = 0;
  i64 xinuse = 0, xneed = 0, xtally = 0, xpeak = 0;
  fint gappos = 0;
  i64 gapsize = -1;
  // The current front: position, leading dimension, size, active part.
  fint fpos = 0, ld = 0, colcap = 0;
  i64 fsize = 0;
  fint mrows = 0, ncols = 0;
  fint k0 = 0;

  Record record(fint e) const { return Record{Vec1<fint>(isec + (hdrp(e) - 1))}; }
  double& front(fint i, fint j) const { return xsec(fpos + i + i64{j} * ld); }  // 0-based row, column

  void raise_real_maxima() {
    info(kInfoValueUsed) = std::max(info(kInfoValueUsed), tbl::saturate(xinuse));
    info(kInfoValueNeeded) = std::max(info(kInfoValueNeeded), tbl::saturate(xneed));
    xpeak = std::max(xpeak, xtally);
  }

  void record_error(fint code, fint value) {
    ZA38_RECORD_ERROR(&kWhoRefactor, icntl.data(), info.data(), &code, &value);
  }
  void real_shortage() { record_error(kErrValue, info(kInfoValueNeeded)); }

  void compact(bool carry_front) {
    fint carried = carry_front ? fpos : 0;
    fint size = tbl::saturate(carry_front ? fsize : 0);
    fint lx = lxsec, xf = xfree, gp = 0, gs = 0;
    i64 xu = xinuse;
    ZA38_REFACTOR_COMPACT(xsec.data(), &lx, &xf, &xu, isec, list.eld.data(), list.epos.data(), list.enext.data(),
                          list.eprev.data(), &list.nelem, hdrp.data(), &carried, &size, &gp, &gs);
    xinuse -= xfree - xf;
    xfree = xf;
    gappos = gp;
    gapsize = gs;
    if (carry_front) fpos = carried;
  }

  void finish_front(fint e_prev);
  bool fits(const Record& rec) const;
  bool open_front(const Record& rec);
  bool continue_front(const Record& rec);
  void assemble_arrowheads(fint k);
  void assemble_son(fint code);
  void delete_son(fint s, i64 size);
  bool factorise(fint k);
  bool store(const Record& rec, fint k);
  void print_entry(fint code, fint pivot, fint index, double value) const;
};

// An input entry of arrowhead PIVOT with index INDEX, named by the row and
// column of the held matrix.
void Kernel::print_entry(fint code, fint pivot, fint index, double value) const {
  const fint row = index > 0 ? rperm(index) : rperm(pivot);
  const fint col = index > 0 ? cperm(pivot) : cperm(-index);
  print_entry_line(kWhoRefactor, code, row, col, value, icntl(kIcntlDiagUnit));
}

// Stage 1: the previous front is closed; its active part becomes the
// contribution block of its last record, left in place or moved into the
// remembered gap.
void Kernel::finish_front(fint e_prev) {
  if (fpos == 0) return;
  for (fint i = 1; i <= mrows; ++i) rowpos(frows(i)) = -1;
  for (fint j = 1; j <= ncols; ++j) colpos(fcols(j)) = -1;
  const i64 block = i64{mrows} * ncols;
  xneed -= fsize - block;
  xtally -= fsize - block;
  ++info(kInfoFronts);
  const fint old_free = xfree;
  if (block > 0) {
    rinfo(kRinfoAssemblyOps) += static_cast<double>(block);
    if (gapsize < block) {
      list.eld(e_prev) = ld;
      list.epos(e_prev) = fpos;
      xfree = static_cast<fint>(fpos + i64{ncols - 1} * ld + mrows);
      list.epos(list.tail()) = xfree;
      list.link_after(e_prev, list.eprev(list.tail()));
    } else {
      fint dest;
      if (gappos == list.tail()) {
        dest = list.epos(list.tail());
        list.epos(list.tail()) = static_cast<fint>(dest + block);
        list.link_after(e_prev, list.eprev(list.tail()));
      } else {
        dest = static_cast<fint>(list.epos(list.enext(gappos)) - block);
        list.link_after(e_prev, gappos);
      }
      // Towards lower addresses with a leading dimension that never grows,
      // so a forward copy is safe even when the gap touches the front.
      for (fint j = 0; j < ncols; ++j)
        for (fint i = 0; i < mrows; ++i) xsec(dest + i + i64{j} * mrows) = front(i, j);
      list.eld(e_prev) = mrows;
      list.epos(e_prev) = dest;
      gapsize -= block;
      if (gapsize == 0) {
        if (gappos >= 1 && gappos <= list.nelem) list.unlink(gappos);
        gappos = 0;
        gapsize = -1;
      }
      xfree = list.epos(list.tail());
    }
  } else {
    xfree = list.epos(list.tail());
  }
  xinuse -= old_free - xfree;
  fpos = 0;
}

// A record whose pivots, rows or columns do not fit its front, or whose
// indices leave the block, would write outside the front or the maps: the
// stored pattern is damaged.
bool Kernel::fits(const Record& rec) const {
  const fint k = rec.k(), r = rec.nrows(), c = rec.ncols();
  if (k < 1 || r < 0 || c < 0 || k > n - k0 || i64{r} + k > ld || i64{c} + k > colcap) return false;
  for (fint i = 1; i <= r; ++i)
    if (rec.row(i) < 1 || rec.row(i) > n) return false;
  for (fint j = 1; j <= c; ++j)
    if (rec.col(j) < 1 || rec.col(j) > n) return false;
  return true;
}

// Stage 1, continued: a new front for a record that starts one.
bool Kernel::open_front(const Record& rec) {
  ld = rec.ld();
  colcap = rec.colcap();
  fsize = i64{colcap} * ld;
  if (xfstart - xfree < fsize) {
    ++info(kInfoRealCompactions);
    compact(false);
  }
  fpos = xfree;
  xinuse += fsize;
  xneed += fsize;
  xtally += fsize;
  raise_real_maxima();
  if (xfstart - i64{xfree} < fsize) {
    fpos = 0;
    real_shortage();
    return false;
  }
  xfree = static_cast<fint>(xfree + fsize);
  std::fill(xsec.at(fpos), xsec.at(fpos) + fsize, 0.0);

  const fint k = rec.k(), r = rec.nrows(), c = rec.ncols();
  for (fint i = 1; i <= r; ++i) {
    rowpos(rec.row(i)) = i - 1;
    frows(i) = rec.row(i);
  }
  for (fint j = 1; j <= c; ++j) {
    colpos(rec.col(j)) = (j - 1) * ld;
    fcols(j) = rec.col(j);
  }
  for (fint i = 1; i <= k; ++i) {
    rowpos(k0 + i) = r + k - i;
    colpos(k0 + i) = (c + k - i) * ld;
  }
  return true;
}

// Stage 2: a record that continues the previous record's front.  Its pivots
// are moved into the pivot slots; rows and columns that joined the front
// after the previous record was written are then given the free slots of
// the zeroed extension, so that their input entries and son contributions
// find their place.
bool Kernel::continue_front(const Record& rec) {
  const fint k = rec.k(), r = rec.nrows(), c = rec.ncols();
  const fint m0 = mrows, n0 = ncols;
  for (fint j = n0; j < c + k; ++j)
    for (fint i = 0; i < r + k; ++i) front(i, j) = 0.0;
  for (fint j = 0; j < n0; ++j)
    for (fint i = m0; i < r + k; ++i) front(i, j) = 0.0;

  fint acols = n0, arows = m0;
  for (fint i = 1; i <= k; ++i) {
    const fint piv = k0 + i;
    // Column first, over every row of the record's extent.
    const fint tc = c + k - i;  // 0-based target column
    if (colpos(piv) >= 0) {
      const fint pc = colpos(piv) / ld;
      if (tc >= acols) {
        for (fint t = 0; t < r + k; ++t) front(t, tc) = front(t, pc);
        const fint last = acols - 1;
        if (pc < last) {
          for (fint t = 0; t < r + k; ++t) {
            front(t, pc) = front(t, last);
            front(t, last) = 0.0;
          }
          fcols(pc + 1) = fcols(last + 1);
          colpos(fcols(pc + 1)) = pc * ld;
        } else {
          for (fint t = 0; t < r + k; ++t) front(t, pc) = 0.0;
        }
      } else if (pc != tc) {
        for (fint t = 0; t < r + k; ++t) std::swap(front(t, pc), front(t, tc));
        fcols(pc + 1) = fcols(tc + 1);
        colpos(fcols(pc + 1)) = pc * ld;
      }
      --acols;
    }
    colpos(piv) = tc * ld;

    // Then the row, over every column of the record's extent.
    const fint tr = r + k - i;
    if (rowpos(piv) >= 0) {
      const fint pr = rowpos(piv);
      if (tr >= arows) {
        for (fint t = 0; t < c + k; ++t) front(tr, t) = front(pr, t);
        const fint last = arows - 1;
        if (pr < last) {
          for (fint t = 0; t < c + k; ++t) {
            front(pr, t) = front(last, t);
            front(last, t) = 0.0;
          }
          frows(pr + 1) = frows(last + 1);
          rowpos(frows(pr + 1)) = pr;
        } else {
          for (fint t = 0; t < c + k; ++t) front(pr, t) = 0.0;
        }
      } else if (pr != tr) {
        for (fint t = 0; t < c + k; ++t) std::swap(front(pr, t), front(tr, t));
        frows(pr + 1) = frows(tr + 1);
        rowpos(frows(pr + 1)) = pr;
      }
      --arows;
    }
    rowpos(piv) = tr;
  }

  for (fint i = 1; i <= r; ++i) {
    const fint row = rec.row(i);
    if (rowpos(row) >= 0) continue;
    if (arows >= r) return false;
    frows(arows + 1) = row;
    rowpos(row) = arows++;
  }
  for (fint j = 1; j <= c; ++j) {
    const fint col = rec.col(j);
    if (colpos(col) >= 0) continue;
    if (acols >= c) return false;
    fcols(acols + 1) = col;
    colpos(col) = acols++ * ld;
  }
  return arows == r && acols == c;
}

// Stage 3: the input arrowheads of the record's pivots.  The largest
// magnitude of the entries assembled (those left out are not part of the
// matrix factorised) goes to the front end through RINFO(10).
void Kernel::assemble_arrowheads(fint k) {
  double amax = rinfo(kRinfoAssembledMax);
  for (fint j = k0 + 1; j <= k0 + k; ++j) {
    for (fint p = arrowp(j + 1); p < arrowp(j); ++p) {
      const fint idx = arrowi(p);
      const fint rp = idx > 0 ? rowpos(idx) : rowpos(j);
      const fint cp = idx > 0 ? colpos(j) : colpos(-idx);
      if (rp < 0 || cp < 0) {
        ++*nignored;
        if (diagnostics) print_entry(kLineNotInPattern, j, idx, xsec(p));
        continue;
      }
      xsec(fpos + rp + cp) += xsec(p);
      amax = std::max(amax, std::fabs(xsec(p)));
    }
  }
  rinfo(kRinfoAssembledMax) = amax;
  const fint released = arrowp(k0 + 1) - arrowp(k0 + k + 1);
  list.epos(list.head()) = arrowp(k0 + k + 1);
  xneed -= released;
  if (released > gapsize) {
    gappos = list.head();
    gapsize = released;
  }
}

// A son absorbed whole leaves the list; its span joins free neighbours so
// that each free span has one representative whose EPOS is its start.
void Kernel::delete_son(fint s, i64 size) {
  list.eld(s) = 0;
  xneed -= size;
  xtally -= size;
  const fint prev = list.eprev(s), next = list.enext(s);
  const bool prev_free = prev == list.head() || prev == list.tail() || list.eld(prev) < 1;
  const bool next_free = next == list.head() || next == list.tail() || list.eld(next) < 1;
  fint rep = s;
  if (prev_free) {
    list.unlink(s);
    rep = prev;
  }
  if (next_free) {
    list.epos(next) = list.epos(rep);
    if (rep != list.head() && rep != list.tail()) list.unlink(rep);
    rep = next;
  }
  if (list.enext(list.head()) == list.tail()) list.epos(list.tail()) = list.epos(list.head());
  const i64 span = (rep == list.tail() ? xfree : list.epos(list.enext(rep))) - i64{list.epos(rep)};
  if (span > gapsize) {
    gappos = rep;
    gapsize = span;
  }
}

// Stage 4: one son, by its code (record s whole, its columns, or its rows).
void Kernel::assemble_son(fint code) {
  const fint kind = code <= n ? 0 : (code <= 2 * n ? 1 : 2);
  const fint s = code - kind * n;
  if (s < 1 || s > list.nelem || list.eld(s) == 0) return;
  const Record son = record(s);
  const fint sr = rows_of(son), sc = cols_of(son);
  const fint sld = list.eld(s);
  const double* vals = xsec.at(list.epos(s));
  // Front row of every live row of the son (-1 for dead or absent rows).
  for (fint i = 1; i <= sr; ++i) spos(i) = son.row(i) > 0 ? rowpos(son.row(i)) : -1;

  if (kind == 0) {
    for (fint j = 1; j <= sc; ++j) {
      const fint col = son.col(j);
      if (col <= 0 || colpos(col) < 0) continue;
      double* dst = xsec.at(fpos + colpos(col));
      const double* src = vals + i64{j - 1} * sld;
      for (fint i = 1; i <= sr; ++i)
        if (spos(i) >= 0) dst[spos(i)] += src[i - 1];
    }
    delete_son(s, i64{sr} * sc);
  } else if (kind == 1) {
    for (fint j = 1; j <= sc; ++j) {
      const fint col = son.col(j);
      if (col <= 0 || colpos(col) < 0) continue;
      double* dst = xsec.at(fpos + colpos(col));
      const double* src = vals + i64{j - 1} * sld;
      for (fint i = 1; i <= sr; ++i)
        if (spos(i) >= 0) dst[spos(i)] += src[i - 1];
      son.col(j) = -col;
    }
    son.w(3) = -sc;
  } else {
    for (fint i = 1; i <= sr; ++i) {
      if (spos(i) < 0) continue;
      son.row(i) = -son.row(i);
      for (fint j = 1; j <= sc; ++j) {
        const fint col = son.col(j);
        if (col <= 0 || colpos(col) < 0) continue;
        xsec(fpos + colpos(col) + spos(i)) += vals[(i - 1) + i64{j - 1} * sld];
      }
    }
    son.w(4) = -sr;
  }
}

// Stage 5: the record's k pivots, left-looking inside blocks of NB pivots
// and right-looking across blocks.  The front holds its first pivot in the
// bottom-right corner of the active part, so the unit lower triangle of a
// block's pivots is stored as an upper triangle.
bool Kernel::factorise(fint k) {
  static const double one = 1.0, minus_one = -1.0;
  static const fint inc = 1;
  fint m = mrows, nc = ncols;  // active part, including the pivots to come
  fint b = 0;
  for (fint t = 1; t <= k; ++t) {
    const fint h = t - b;
    double* pcol = &front(0, nc - 1);  // current pivot column
    if (h >= 3) {
      const fint order = h - 1;
      dtrsv_("U", "N", "U", &order, &front(m, nc), &ld, pcol + m, &inc, 1, 1, 1);
      rinfo(kRinfoBlas2Ops) += static_cast<double>(i64{h - 1} * (h - 2));
    }
    if (h >= 2) {
      const fint hm = h - 1;
      dgemv_("N", &m, &hm, &minus_one, &front(0, nc), &ld, pcol + m, &inc, &one, pcol, &inc, 1);
      rinfo(kRinfoBlas2Ops) += static_cast<double>(2 * i64{h - 1} * m);
    }
    --m;
    --nc;
    const double pivot = front(m, nc);
    if (pivot == 0.0) {
      record_error(kErrPivotOrder, 0);
      return false;
    }
    const double inv = 1.0 / pivot;
    for (fint i = 0; i < m; ++i) pcol[i] *= inv;
    rinfo(kRinfoBlas1Ops) += m;
    ++info(kInfoGoodPivots);
    if (h == nb || t == k) {
      if (nc > 0) {
        dtrsm_("L", "U", "N", "U", &h, &nc, &one, &front(m, nc), &ld, &front(m, 0), &ld, 1, 1, 1, 1);
        if (m > 0)
          dgemm_("N", "N", &m, &nc, &h, &minus_one, &front(0, nc), &ld, &front(m, 0), &ld, &one, &front(0, 0), &ld, 1,
                 1);
      }
      rinfo(kRinfoBlas3Ops) += static_cast<double>(i64{h - 1} * h * nc + 2 * i64{h} * m * nc);
      b = t;
    }
  }
  mrows = m;
  ncols = nc;
  return true;
}

// Stage 6: the record's LU block, first pivot first, and its lists in the
// order of the front.
bool Kernel::store(const Record& rec, fint k) {
  const fint r = mrows, c = ncols;
  const i64 size = i64{k} * (i64{k} + c + r);
  if (xfstart - i64{xfree} < size) {
    ++info(kInfoRealCompactions);
    compact(true);
  }
  xinuse += size;
  xneed += size;
  xtally += size;
  raise_real_maxima();
  if (xfstart - i64{xfree} < size) {
    real_shortage();
    return false;
  }
  xfstart = static_cast<fint>(xfstart - size);
  rec.w(1) = xfstart;
  for (fint i = 1; i <= r; ++i) rec.row(i) = frows(i);
  for (fint j = 1; j <= c; ++j) rec.col(j) = fcols(j);

  // The largest magnitude in U (on and above the diagonal of the pivot
  // block, and the U part) is taken on the way, for the growth figure.
  const fint ldr = k + r;
  Vec1<double> out(xsec.at(xfstart));
  double umax = rinfo(kRinfoGrowth);
  for (fint q = 1; q <= k; ++q) {
    const fint fc = c + k - q;  // front column of pivot q
    for (fint p = 1; p <= q; ++p) {
      const double x = front(r + k - p, fc);
      out(p + i64{q - 1} * ldr) = x;
      umax = std::max(umax, std::fabs(x));
    }
    for (fint p = q + 1; p <= k; ++p) out(p + i64{q - 1} * ldr) = front(r + k - p, fc);
    for (fint i = 1; i <= r; ++i) out(k + i + i64{q - 1} * ldr) = front(i - 1, fc);
  }
  const i64 u0 = i64{k} * ldr;
  for (fint j = 1; j <= c; ++j)
    for (fint p = 1; p <= k; ++p) {
      const double x = front(r + k - p, j - 1);
      out(u0 + p + i64{j - 1} * k) = x;
      umax = std::max(umax, std::fabs(x));
    }
  rinfo(kRinfoGrowth) = umax;

  const i64 tri = i64{k} * (k - 1) / 2;
  info(kInfoUEntries) = tbl::saturate(info(kInfoUEntries) + i64{c} * k + tri);
  info(kInfoLEntries) = tbl::saturate(info(kInfoLEntries) + i64{r} * k + tri);
  for (fint i = 1; i <= k; ++i) {
    rowpos(k0 + i) = -1;
    colpos(k0 + i) = -1;
  }
  k0 += k;
  return true;
}

}  // namespace

extern "C" void ZA38_REFACTOR_KERNEL(fint* arrowp_, const fint* ninput, const fint* n_, fint* xfstart_, double* xsec_,
                                     const fint* lxsec_, i64* xinuse_, fint* arrowi_, const fint* cperm_,
                                     const fint* rperm_, const fint* icntl_, fint* info_, double* rinfo_,
                                     const fint* /*maxr*/, const fint* /*maxc*/, fint* rowpos_, fint* colpos_,
                                     fint* fcols_, fint* frows_, fint* spos_, fint* /*soff*/, fint* eld_, fint* epos_,
                                     fint* enext_, fint* eprev_, const fint* nelem_, const fint* hdrp_, fint* isec_,
                                     fint* nignored_, i64* xpeak_) {
  Kernel kn{Vec1<fint>(arrowp_),
            Vec1<fint>(arrowi_),
            *n_,
            Vec1<double>(xsec_),
            *lxsec_,
            Vec1<const fint>(cperm_),
            Vec1<const fint>(rperm_),
            Vec1<const fint>(icntl_),
            Vec1<fint>(info_),
            Vec1<double>(rinfo_),
            Vec1<fint>(rowpos_),
            Vec1<fint>(colpos_),
            Vec1<fint>(fcols_),
            Vec1<fint>(frows_),
            Vec1<fint>(spos_),
            ContribList{Vec1<fint>(eld_), Vec1<fint>(epos_), Vec1<fint>(enext_), Vec1<fint>(eprev_), *nelem_},
            Vec1<const fint>(hdrp_),
            isec_,
            nignored_};
  const fint n = kn.n, nelem = *nelem_;
  Vec1<const fint> icntl(icntl_);
  Vec1<fint> arrowp(arrowp_);
  kn.nb = std::max<fint>(icntl(kIcntlBlockSize), 1);
  kn.diagnostics = entry_lines_printed(icntl_);
  kn.xinuse = *xinuse_;
  kn.xpeak = std::max<i64>(*xpeak_, kn.xinuse);
  kn.xneed = kn.xtally = kn.xinuse;
  kn.xfstart = kn.lxsec + 1;
  kn.xfree = arrowp(1);
  kn.rinfo(kRinfoAssemblyOps) += *ninput;
  for (fint i = 1; i <= n; ++i) kn.rowpos(i) = kn.colpos(i) = -1;
  const ContribList& list = kn.list;
  for (fint e = 1; e <= nelem + 2; ++e) list.eld(e) = list.epos(e) = list.enext(e) = list.eprev(e) = 0;
  list.enext(list.head()) = list.tail();
  list.eprev(list.tail()) = list.head();
  list.epos(list.head()) = list.epos(list.tail()) = arrowp(1);

  auto leave = [&] {
    *xfstart_ = kn.xfstart;
    *xinuse_ = kn.xinuse;
    *xpeak_ = kn.xpeak;
  };

  for (fint e = 1; e <= nelem; ++e) {
    const Record rec = kn.record(e);
    const fint k = rec.k();
    if (rec.ld() != 0) {
      kn.finish_front(e - 1);
      kn.ld = rec.ld();
      kn.colcap = rec.colcap();
      if (rec.ld() < 0 || rec.colcap() < 0 || !kn.fits(rec)) {
        kn.record_error(kErrFactors, 0);
        return leave();
      }
      if (!kn.open_front(rec)) return leave();
    } else if (kn.fpos == 0 || !kn.fits(rec) || kn.mrows > rec.nrows() + k || kn.ncols > rec.ncols() + k ||
               !kn.continue_front(rec)) {
      kn.record_error(kErrFactors, 0);
      return leave();
    }
    kn.mrows = rec.nrows() + k;
    kn.ncols = rec.ncols() + k;
    kn.assemble_arrowheads(k);
    for (fint t = 1; t <= rec.nsons(); ++t) kn.assemble_son(rec.son(t));
    if (!kn.factorise(k)) return leave();
    if (!kn.store(rec, k)) return leave();
  }

  // Arrowheads of pivots the earlier factorisation never found.
  if (kn.diagnostics)
    for (fint j = kn.k0 + 1; j <= n; ++j)
      for (fint p = arrowp(j + 1); p < arrowp(j); ++p) kn.print_entry(kLinePriorSingular, j, kn.arrowi(p), kn.xsec(p));
  *nignored_ += arrowp(kn.k0 + 1) - arrowp(n + 1);
  if (kn.fpos != 0) ++kn.info(kInfoFronts);
  kn.xinuse -= kn.xfree - i64{arrowp(n + 1)};
  if (nelem == 0) {
    kn.xfstart = kn.lxsec;
    kn.xinuse += 1;
    kn.info(kInfoValueUsed) = std::max(kn.info(kInfoValueUsed), tbl::saturate(kn.xinuse));
    kn.info(kInfoValueNeeded) = std::max(kn.info(kInfoValueNeeded), tbl::saturate(kn.xinuse));
  }
  if (arrowp(n + 1) > kn.xfstart) {
    kn.real_shortage();
    return leave();
  }
  if (nelem == 0) {
    kn.xsec(kn.xfstart) = 0.0;
  } else {
    for (fint e = 1; e <= nelem; ++e) kn.record(e).w(1) -= kn.xfstart - 1;
    // New values whose factors are not finite (an overflow, in U or in L
    // alone, where a small kept pivot leaves U finite) count as an infinite
    // growth: one pass over the block's reals.
    if (!all_finite(kn.xsec.at(kn.xfstart), i64{kn.lxsec} - kn.xfstart + 1)) kn.rinfo(kRinfoGrowth) = HUGE_VAL;
  }
  kn.xpeak = std::max(kn.xpeak, kn.xinuse);
  leave();
}

extern "C" void ZA38_REFACTOR_COMPACT(double* xsec_, const fint* /*lxsec*/, fint* xfree, i64* xinuse, fint* isec,
                                      fint* eld_, fint* epos_, fint* enext_, fint* eprev_, const fint* nelem_,
                                      const fint* hdrp_, fint* fpos, const fint* fsize, fint* gappos, fint* gapsize) {
  Vec1<double> xsec(xsec_);
  Vec1<const fint> hdrp(hdrp_);
  const ContribList list{Vec1<fint>(eld_), Vec1<fint>(epos_), Vec1<fint>(enext_), Vec1<fint>(eprev_), *nelem_};
  i64 x = list.epos(list.head());
  for (fint q = list.enext(list.head()); q != list.tail();) {
    const fint next = list.enext(q);
    if (list.eld(q) == 0) {
      list.unlink(q);
      q = next;
      continue;
    }
    const Record rec{Vec1<fint>(isec + (hdrp(q) - 1))};
    const fint m = rows_of(rec), nc = cols_of(rec);
    const fint from = list.epos(q);
    list.epos(q) = static_cast<fint>(x);
    if (list.eld(q) == m) {
      for (i64 t = 0; t < i64{m} * nc; ++t) xsec(x + t) = xsec(from + t);
    } else {
      for (fint j = 0; j < nc; ++j)
        for (fint i = 0; i < m; ++i) xsec(x + i + i64{j} * m) = xsec(from + i + i64{j} * list.eld(q));
      list.eld(q) = m;
    }
    x += i64{m} * nc;
    q = next;
  }
  *gapsize = -1;
  *gappos = 0;
  list.epos(list.tail()) = static_cast<fint>(x);
  if (*fpos != 0) {
    const fint from = *fpos;
    for (fint t = 0; t < *fsize; ++t) xsec(x + t) = xsec(from + t);
    *fpos = static_cast<fint>(x);
    x += *fsize;
  }
  *xinuse -= *xfree - x;
  *xfree = static_cast<fint>(x);
}
