// In-place building blocks shared by the coordinate converters: a counting
// sort by cycle following, the redistribution of row lists into columns
// with increasing row indices, and duplicate merging.  None uses storage
// beyond the arrays handed in, so the converters keep to the caller's
// workspace.  Every key handed to these helpers must already be in range.
#pragma once

#include <utility>

#include "interface/common.hpp"

namespace tbl::coord {

// Sorts entries 1..ne into n lists by key (values in 1..n), moving other and
// (when a is not null) the values with their key.  P(1..n+1) receives the
// list starts; F(1..n+1) is work.  Each entry is moved at most once after
// it is picked up, so the sort is linear in ne + n.
inline void cycle_sort(fint n, fint ne, Vec1<fint> key, Vec1<fint> other, double* a, Vec1<fint> P,
                       Vec1<fint> F) {
  Vec1<double> val(a);
  for (fint j = 1; j <= n + 1; ++j) F(j) = 0;
  for (fint k = 1; k <= ne; ++k) F(key(k)) += 1;
  P(1) = 1;
  for (fint j = 1; j <= n; ++j) P(j + 1) = P(j) + F(j);
  // F(j) becomes the next free position of list j.
  for (fint j = 1; j <= n; ++j) F(j) = P(j);
  for (fint j = 1; j <= n; ++j) {
    // Positions before F(j) were filled by earlier cycles with entries of
    // list j; every entry of a lower list is already in place, so the
    // entries met from here on belong to list j or to a later one.
    for (fint k = F(j); k < P(j + 1); ++k) {
      fint kj = key(k);
      if (kj == j) continue;
      fint ko = other(k);
      double v = a != nullptr ? val(k) : 0.0;
      do {
        const fint pos = F(kj)++;
        std::swap(kj, key(pos));
        std::swap(ko, other(pos));
        if (a != nullptr) std::swap(v, val(pos));
      } while (kj != j);
      key(k) = kj;
      other(k) = ko;
      if (a != nullptr) val(k) = v;
    }
    F(j) = P(j + 1);
  }
}

// Moves entry k of irn (and of the values) to position tgt(k), for a
// permutation tgt of 1..ne.  tgt is destroyed (its entries are negated as
// they are used).
inline void permute_to_targets(fint ne, Vec1<fint> tgt, Vec1<fint> irn, double* a) {
  Vec1<double> val(a);
  for (fint k = 1; k <= ne; ++k) {
    fint t = tgt(k);
    if (t <= 0) continue;
    tgt(k) = -t;
    fint r = irn(k);
    double v = a != nullptr ? val(k) : 0.0;
    while (t != k) {
      std::swap(r, irn(t));
      if (a != nullptr) std::swap(v, val(t));
      const fint next = tgt(t);
      tgt(t) = -next;
      t = next;
    }
    irn(k) = r;
    if (a != nullptr) val(k) = v;
  }
}

// Entries 1..ne held by rows (row i at R(i)..R(i+1)-1, column indices in
// jcn, all in 1..nc) are rearranged into columns: irn and the values receive
// the column form with increasing row indices in each column and IP(1..nc+1)
// its starts.  jcn is used for the target positions and left undefined.
inline void rows_to_columns(fint nr, fint nc, fint ne, Vec1<fint> irn, Vec1<fint> jcn, double* a,
                            Vec1<fint> R, Vec1<fint> IP) {
  for (fint j = 1; j <= nc + 1; ++j) IP(j) = 0;
  for (fint k = 1; k <= ne; ++k) IP(jcn(k)) += 1;
  // IP(j) = one past the end of column j; placing the rows from the last to
  // the first, each at the free end of its column, leaves every column
  // ordered by increasing row.
  fint end = 1;
  for (fint j = 1; j <= nc; ++j) {
    end += IP(j);
    IP(j) = end;
  }
  IP(nc + 1) = ne + 1;
  for (fint i = nr; i >= 1; --i) {
    for (fint k = R(i); k < R(i + 1); ++k) {
      const fint c = jcn(k);
      IP(c) -= 1;
      jcn(k) = IP(c);
      irn(k) = i;
    }
  }
  permute_to_targets(ne, jcn, irn, a);
}

enum class DupValues { None, Sum, KeepFirst };

// Merges repeated keys within each of the n lists P(j)..P(j+1)-1, compacting
// the lists towards position 1 and rewriting P.  The first occurrence keeps
// its place; with DupValues::Sum the later values are added to it.  marker
// has room for every key (1..m) and is cleared here.  Returns the number of
// duplicates removed.
inline fint merge_duplicates(fint n, Vec1<fint> P, Vec1<fint> key, double* a, DupValues mode,
                             Vec1<fint> marker, fint m) {
  Vec1<double> val(a);
  for (fint i = 1; i <= m; ++i) marker(i) = 0;
  fint ndup = 0;
  fint pos = 1;
  for (fint j = 1; j <= n; ++j) {
    const fint first = P(j);
    const fint last = P(j + 1) - 1;
    const fint start = pos;
    P(j) = start;
    for (fint k = first; k <= last; ++k) {
      const fint r = key(k);
      // A marker at or after the list's new start was set inside this list.
      if (marker(r) >= start) {
        ++ndup;
        if (a != nullptr && mode == DupValues::Sum) val(marker(r)) += val(k);
      } else {
        key(pos) = r;
        if (a != nullptr) val(pos) = val(k);
        marker(r) = pos;
        ++pos;
      }
    }
  }
  P(n + 1) = pos;
  return ndup;
}

}  // namespace tbl::coord
