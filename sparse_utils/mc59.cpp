// MC59AD: check a coordinate (or column) matrix and sort it into column
// form in place.
#include <algorithm>
#include <cstdint>
#include <utility>

#include "interface/fmt.hpp"
#include "sparse_utils/coord.hpp"
#include "sparse_utils/coord_sort.hpp"

using tbl::fint;
using tbl::logical;
using tbl::Vec1;

namespace {

constexpr const char* kErrorHeader = "(/,' *** Error return from MC59AD *** INFO(1) = ',I3)";

// Row indices of one column in increasing order, values moving along; equal
// indices keep their order.  Short columns are sorted by insertion.  A long
// column whose indices are known to be distinct is heap-sorted instead:
// with distinct keys every correct sort gives the same result, and the
// heap keeps a long unsorted column from costing quadratic time.
void insertion_sort(fint* r, double* v, std::ptrdiff_t n) {
  for (std::ptrdiff_t k = 1; k < n; ++k) {
    const fint key = r[k];
    if (r[k - 1] <= key) continue;
    const double val = v != nullptr ? v[k] : 0.0;
    std::ptrdiff_t p = k;
    while (p > 0 && r[p - 1] > key) {
      r[p] = r[p - 1];
      if (v != nullptr) v[p] = v[p - 1];
      --p;
    }
    r[p] = key;
    if (v != nullptr) v[p] = val;
  }
}

void sift_down(fint* r, double* v, std::ptrdiff_t root, std::ptrdiff_t n) {
  for (;;) {
    std::ptrdiff_t child = 2 * root + 1;
    if (child >= n) return;
    if (child + 1 < n && r[child + 1] > r[child]) ++child;
    if (r[root] >= r[child]) return;
    std::swap(r[root], r[child]);
    if (v != nullptr) std::swap(v[root], v[child]);
    root = child;
  }
}

void heap_sort(fint* r, double* v, std::ptrdiff_t n) {
  for (std::ptrdiff_t s = n / 2; s-- > 0;) sift_down(r, v, s, n);
  for (std::ptrdiff_t end = n - 1; end > 0; --end) {
    std::swap(r[0], r[end]);
    if (v != nullptr) std::swap(v[0], v[end]);
    sift_down(r, v, 0, end);
  }
}

constexpr std::ptrdiff_t kInsertionLimit = 32;

void sort_column(fint* r, double* v, std::ptrdiff_t n, bool distinct) {
  if (n < 2) return;
  if (n <= kInsertionLimit || !distinct) {
    insertion_sort(r, v, n);
  } else {
    bool sorted = true;
    for (std::ptrdiff_t k = 1; k < n && sorted; ++k) sorted = r[k - 1] <= r[k];
    if (!sorted) heap_sort(r, v, n);
  }
}

void write_error(fint unit, fint info1, fint info2, const fint* ICNTL, fint nc, fint nr, fint ljcn, fint la,
                 fint lip, fint liw) {
  if (unit < 1) return;
  tbl::io::write(unit, kErrorHeader, info1);
  switch (info1) {
    case -1:
      tbl::io::write(unit, "(1X,'ICNTL(2) = ',I2,' is out of range')", ICNTL[1]);
      break;
    case -11:
      tbl::io::write(unit, "(1X,'ICNTL(6) = ',I2,' is out of range')", ICNTL[5]);
      break;
    case -2:
      tbl::io::write(unit, "(1X,'NC = ',I6,' is out of range')", nc);
      break;
    case -3:
      if (nr < 1)
        tbl::io::write(unit, "(1X,'NR = ',I6,' is out of range')", nr);
      else
        tbl::io::write(unit, "(1X,'Symmetric case. NC = ',I6,' but NR = ',I6)", nc, nr);
      break;
    case -4:
      tbl::io::write(unit, "(1X,'NE = ',I10,' is out of range')", info2);
      break;
    case -5:
      tbl::io::write(unit, "(1X,'Increase LJCN from ',I10,' to at least ',I10)", ljcn, info2);
      break;
    case -6:
      tbl::io::write(unit, "(1X,'Increase LA from ',I10,' to at least ',I10)", la, info2);
      break;
    case -7:
      tbl::io::write(unit, "(1X,'Increase LIP from ',I8,' to at least ',I10)", lip, info2);
      break;
    case -8:
      tbl::io::write(unit, "(1X,'Increase LIW from ',I8,' to at least ',I10)", liw, info2);
      break;
    case -9:
      tbl::io::write(unit, "(1X,'Entries in IP are not monotonic increasing')");
      break;
    case -10:
      tbl::io::write(unit, "(1X,'All entries out of range')");
      break;
    default:
      break;
  }
}

void write_warnings(fint unit, const Vec1<fint>& info) {
  if (unit < 1 || info(1) <= 0) return;
  tbl::io::write(unit, "(/,' *** Warning message from MC59AD *** INFO(1) = ',I3)", info(1));
  if (info(4) > 0)
    tbl::io::write(unit,
                   "(1X,I8,' entries in IRN supplied by the user were ',/,"
                   "'       out of range and were ignored by the routine')",
                   info(4));
  if (info(5) > 0)
    tbl::io::write(unit,
                   "(1X,I8,' entries in JCN supplied by the user were ',/,"
                   "'       out of range and were ignored by the routine')",
                   info(5));
  if (info(3) > 0) tbl::io::write(unit, "(1X,I8,' duplicate entries were supplied by the user')", info(3));
  if (info(7) > 0)
    tbl::io::write(unit,
                   "(1X,I8,' of these entries were in the upper triangular ',/,"
                   "'       part of matrix')",
                   info(7));
}

// The first column whose start pointers cannot describe entries within
// IRN(1..NE): IP(1) < 1, a decrease, or a column running past entry NE.
// When the last column is taken to end at NE (no checking), IP(NC+1) is not
// read.  Returns 0 when the pointers are sound.
fint first_bad_column(const Vec1<fint>& ip, fint nc, fint ne, bool last_ends_at_ne) {
  const std::int64_t end = std::int64_t{ne} + 1;
  if (ip(1) < 1) return 1;
  const fint ncheck = last_ends_at_ne ? nc - 1 : nc;
  for (fint j = 1; j <= ncheck; ++j) {
    if (ip(j) > ip(j + 1) || ip(j + 1) > end) return j;
  }
  if (last_ends_at_ne && ip(nc) > end) return nc;
  return 0;
}

}  // namespace

extern "C" {

void MC59_SORT_COLUMNS(const logical* CHECK, const fint* SYM, const fint* N, const fint* M, const fint* NE,
                       fint* KEY, fint* OTHER, const logical* YESA, double* A, fint* IP, fint* IW,
                       fint* NOUTM, fint* NOUTN, fint* NKEPT) {
  const fint n = *N, m = *M, ne = *NE, sym = *SYM;
  const bool yesa = tbl::is_true(*YESA);
  Vec1<fint> key(KEY, ne), other(OTHER, ne);
  Vec1<double> a(A, yesa ? ne : 0);
  fint kept = ne;
  fint noutm = 0, noutn = 0;
  // Mirroring keeps (list, other) in the lower triangle: for column lists the
  // row (other) index must not be below the column, for row lists the
  // column (other) index must not exceed the row.
  auto mirror = [sym](fint& list, fint& oth) {
    if ((sym > 0 && oth < list) || (sym < 0 && oth > list)) std::swap(list, oth);
  };
  if (tbl::is_true(*CHECK)) {
    kept = 0;
    for (fint k = 1; k <= ne; ++k) {
      fint l = key(k), o = other(k);
      const bool list_bad = l < 1 || l > n;
      if (o < 1 || o > m) {
        ++noutm;
        if (list_bad) ++noutn;
        continue;
      }
      if (list_bad) {
        ++noutn;
        continue;
      }
      mirror(l, o);
      ++kept;
      key(kept) = l;
      other(kept) = o;
      if (yesa) a(kept) = a(k);
    }
  } else if (sym != 0) {
    for (fint k = 1; k <= ne; ++k) mirror(key(k), other(k));
  }
  *NOUTM = noutm;
  *NOUTN = noutn;
  *NKEPT = kept;
  if (kept == 0) return;
  tbl::coord::cycle_sort(n, kept, key, other, yesa ? A : nullptr, Vec1<fint>(IP), Vec1<fint>(IW));
}

TBL_EXPORT void MC59AD(const fint* ICNTL, const fint* NC, const fint* NR, const fint* NE, fint* IRN,
                       const fint* LJCN, fint* JCN, const fint* LA, double* A, const fint* LIP, fint* IP,
                       const fint* LIW, fint* IW, fint* INFO) {
  Vec1<fint> info(INFO, 10);
  for (fint i = 1; i <= 10; ++i) info(i) = 0;
  Vec1<const fint> icntl(ICNTL, 6);
  const fint nc = *NC, nr = *NR, ne = *NE;
  const bool check = icntl(1) == 0;
  const fint form = icntl(2);
  const bool yesa = icntl(3) == 0;
  const fint lp = icntl(4), wp = icntl(5), symc = icntl(6);
  const bool sym = symc != 0;
  const fint maxrc = std::max(nr, nc);
  // MAXRC + 1 and NC + 1 overflow 32 bits at the top of the range.
  const std::int64_t maxrc1 = std::int64_t{maxrc} + 1;
  const std::int64_t nc1 = std::int64_t{nc} + 1;

  fint err = 0;
  std::int64_t err2 = 0;
  if (form < 0 || form > 2) {
    err = -1, err2 = form;
  } else if (symc < -2 || symc > 2) {
    err = -11, err2 = symc;
  } else if (nc < 1) {
    err = -2, err2 = nc;
  } else if (nr < 1) {
    err = -3, err2 = nr;
  } else if (sym && nr != nc) {
    err = -3, err2 = nr;
  } else if (ne < 1) {
    err = -4, err2 = ne;
  } else if (form < 2 && *LJCN < ne) {
    err = -5, err2 = ne;
  } else if (form == 2 && *LJCN < 1) {
    err = -5, err2 = 1;
  } else if (yesa && *LA < ne) {
    err = -6, err2 = ne;
  } else if (!yesa && *LA < 1) {
    err = -6, err2 = 1;
  } else if (form == 1 && *LIP < maxrc1) {
    err = -7, err2 = maxrc1;
  } else if (form != 1 && *LIP < nc1) {
    err = -7, err2 = nc1;
  } else if (*LIW < maxrc1) {
    err = -8, err2 = maxrc1;
  }
  if (err < 0) {
    info(1) = err;
    info(2) = tbl::saturate(err2);
    write_error(lp, err, info(2), ICNTL, nc, nr, *LJCN, *LA, *LIP, *LIW);
    return;
  }

  Vec1<fint> irn(IRN, ne), ip(IP, *LIP), iw(IW, *LIW);
  Vec1<double> a(A, yesa ? ne : 0);
  double* vals = yesa ? A : nullptr;
  const auto dupmode = symc < 0 ? tbl::coord::DupValues::KeepFirst : tbl::coord::DupValues::Sum;
  const logical yesa_l = tbl::to_logical(yesa);

  fint ndup = 0, nirn = 0, njcn = 0, nupper = 0, kept = ne;

  if (form == 0 || form == 1) {
    Vec1<fint> jcn(JCN, ne);
    // Without checking the caller vouches for the indices; one read-only scan
    // still keeps a bad index from steering a write, and such entries are
    // then dropped and counted as in the checking mode.
    bool filter = check;
    if (!check) {
      for (fint k = 1; k <= ne && !filter; ++k)
        filter = irn(k) < 1 || irn(k) > nr || jcn(k) < 1 || jcn(k) > nc;
    }
    const logical filter_l = tbl::to_logical(filter);
    if (form == 0) {
      // Column lists keyed by JCN; the row index is the other index.
      const fint symcode = sym ? 1 : 0;
      MC59_SORT_COLUMNS(&filter_l, &symcode, &nc, &nr, &ne, JCN, IRN, &yesa_l, A, IP, IW, &nirn, &njcn, &kept);
      if (kept > 0 && check) {
        ndup = tbl::coord::merge_duplicates(nc, ip, irn, vals, dupmode, iw, nr);
        kept = ip(nc + 1) - 1;
      }
    } else {
      // The transposed problem: row lists keyed by IRN, row starts in IW.
      const fint symcode = sym ? -1 : 0;
      MC59_SORT_COLUMNS(&filter_l, &symcode, &nr, &nc, &ne, IRN, JCN, &yesa_l, A, IW, IP, &njcn, &nirn, &kept);
      if (kept > 0) {
        if (check) {
          // Duplicates row by row, the column index as key, markers in IP.
          ndup = tbl::coord::merge_duplicates(nr, iw, jcn, vals, dupmode, ip, nc);
          kept = iw(nr + 1) - 1;
        }
        tbl::coord::rows_to_columns(nr, nc, kept, irn, jcn, vals, iw, ip);
      }
    }
  } else {
    // Column input.  Pointers that cannot describe entries inside IRN(1..NE)
    // are refused in both modes, since they would steer reads and writes
    // outside the arrays.  Without checking, the last column ends at NE.
    const bool last_at_ne = !check;
    // Reads the original IP(J+1): the compaction below rewrites IP(J) only
    // once column J has been read.
    auto col_end = [&](fint j) { return (j < nc || !last_at_ne) ? ip(j + 1) - 1 : ne; };
    auto col_low = [&](fint j) { return sym ? j : 1; };  // with symmetry rows above J are out
    const fint bad = first_bad_column(ip, nc, ne, last_at_ne);
    bool filter = check;
    if (!check && bad == 0) {
      // The caller vouches for the row indices; one read-only scan keeps a
      // bad one from steering a write, and such entries are then dropped
      // and counted as in the checking mode.
      for (fint j = 1; j <= nc && !filter; ++j) {
        const fint low = col_low(j), last = col_end(j);
        for (fint k = ip(j); k <= last && !filter; ++k) filter = irn(k) < low || irn(k) > nr;
      }
    }
    if (filter) {
      // Drop out-of-range rows, merge duplicates when checking, and compact
      // the columns towards position 1.  A failure at column BAD leaves the
      // counts of the columns before it.
      if (check)
        for (fint i = 1; i <= nr; ++i) iw(i) = 0;
      const fint ncols = bad > 0 ? bad - 1 : nc;
      fint pos = 1;
      for (fint j = 1; j <= ncols; ++j) {
        const fint first = ip(j), last = col_end(j), low = col_low(j);
        const fint start = pos;
        ip(j) = start;
        for (fint k = first; k <= last; ++k) {
          const fint r = irn(k);
          if (r > nr || r < low) {
            ++nirn;
            if (sym && r < j) ++nupper;
            continue;
          }
          if (check && iw(r) >= start) {
            ++ndup;
            if (vals != nullptr && dupmode == tbl::coord::DupValues::Sum) a(iw(r)) += a(k);
            continue;
          }
          irn(pos) = r;
          if (vals != nullptr) a(pos) = a(k);
          if (check) iw(r) = pos;
          ++pos;
        }
      }
      kept = pos - 1;
    }
    if (bad > 0) {
      info(1) = -9;
      info(2) = bad;
      info(3) = ndup;
      info(4) = nirn;
      info(7) = nupper;
      write_error(lp, -9, bad, ICNTL, nc, nr, *LJCN, *LA, *LIP, *LIW);
      return;
    }
    if (kept > 0) {
      // Sort each column by row, the last column ending at the last entry
      // kept.  Checked columns hold distinct rows; unchecked ones do when
      // the caller keeps its promise, which a marker pass confirms before a
      // long column is heap-sorted.
      const fint last_entry = kept;
      if (!check)
        for (fint i = 1; i <= nr; ++i) iw(i) = 0;
      for (fint j = nc; j >= 1; --j) {
        const fint first = ip(j);
        const fint last = j < nc ? ip(j + 1) - 1 : last_entry;
        const std::ptrdiff_t len = std::ptrdiff_t{last} - first + 1;
        if (len < 2) continue;
        bool distinct = check;
        if (!check && len > kInsertionLimit) {
          distinct = true;
          for (fint k = first; k <= last; ++k) {
            if (iw(irn(k)) == j) distinct = false;
            iw(irn(k)) = j;
          }
        }
        sort_column(irn.at(first), vals != nullptr ? a.at(first) : nullptr, len, distinct);
      }
      ip(nc + 1) = last_entry + 1;
    }
  }

  if (kept == 0) {
    info(1) = -10;
    info(2) = tbl::saturate(std::int64_t{nirn} + njcn);
    info(3) = ndup;
    info(4) = nirn;
    info(5) = njcn;
    info(7) = nupper;
    write_error(lp, -10, info(2), ICNTL, nc, nr, *LJCN, *LA, *LIP, *LIW);
    return;
  }

  info(3) = ndup;
  info(4) = nirn;
  info(5) = njcn;
  info(6) = kept;
  info(7) = nupper;
  info(1) = (ndup > 0 ? 1 : 0) + (nirn > 0 ? 2 : 0) + (njcn > 0 ? 4 : 0);
  ip(nc + 1) = kept + 1;
  write_warnings(wp, info);
}

}  // extern "C"
