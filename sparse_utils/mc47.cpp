// MC47AD: approximate minimum degree ordering as a complete service.  The
// given triangle is cleaned, expanded to the full pattern in place and
// handed to the ordering kernel with its arrays carved from the tail of IW.
#include <algorithm>
#include <cstdint>

#include "interface/fmt.hpp"
#include "sparse_utils/amd.hpp"
#include "sparse_utils/coord.hpp"

using tbl::fint;
using tbl::logical;
using tbl::Vec1;

namespace {

// Writes a list of integers against a record that lays out one line; the
// record is reused for as many lines as the list needs.
void write_ints(fint mp, const char* record, const fint* v, fint n) {
  if (n > 0) tbl::io::write(mp, record, tbl::io::Ints{v, n});
}

void write_entry(fint mp, fint n, fint ne, const Vec1<fint>& pe, const Vec1<fint>& iw, fint iwlen,
                 bool coordinate) {
  tbl::io::write(mp, "(/,'Entry to MC47A/AD')");
  tbl::io::write(mp, "('Matrix of order',I10,' with',I10,' entries')", n, ne);
  if (coordinate) {
    tbl::io::write(mp, "('Matrix input in coordinate form')");
    tbl::io::write(mp, "('Row and column indices')");
    // Four (row, column) pairs to a line.
    for (fint k = 1; k <= ne; k += 4) {
      tbl::io::FmtList line;
      for (fint p = k; p <= std::min(ne, k + 3); ++p) line.add(iw(p)).add(iw(ne + p));
      tbl::io::write_list(mp, "(4(2I8,4X))", line);
    }
  } else {
    tbl::io::write(mp, "('Matrix input by columns')");
    // Every column is listed, as given; pointers that decrease show an empty
    // column (the call then fails with -3), and a list reaching outside IW
    // is not read.
    for (fint j = 1; j <= n; ++j) {
      tbl::io::write(mp, "('Column',I4)", j);
      const fint first = pe(j);
      const std::int64_t len = std::int64_t{pe(j + 1)} - first;
      if (first >= 1 && first + len - 1 <= iwlen) write_ints(mp, "(10I8)", iw.at(first), static_cast<fint>(len));
    }
  }
}

void write_exit(fint mp, fint n, const Vec1<fint>& info, const fint* pe, const fint* elen, const fint* last,
                const fint* nv) {
  tbl::io::write(mp, "(/,'Exit from MC47A/AD')");
  tbl::io::write(mp, "('INFO(1-7):',/,7I10)", tbl::io::Ints{info.data(), 7});
  tbl::io::write(mp, "('Parent array')");
  write_ints(mp, "(8I10)", pe, n);
  tbl::io::write(mp, "('Permutation')");
  write_ints(mp, "(8I10)", elen, n);
  tbl::io::write(mp, "('Inverse permutation')");
  write_ints(mp, "(8I10)", last, n);
  tbl::io::write(mp, "('Degree array')");
  write_ints(mp, "(8I10)", nv, n);
}

}  // namespace

extern "C" {

void MC47_EXPAND_PATTERN(const fint* N, fint* IRN, fint* IP, const logical* YESA, double* A, fint* IW) {
  const fint n = *N;
  const bool yesa = tbl::is_true(*YESA);
  Vec1<fint> irn(IRN), ip(IP, n + 1), w(IW, n);
  Vec1<double> a(A);

  // (a) Length of each full column: its own entries plus the mirror of
  // every off-diagonal entry that names it as row.
  for (fint j = 1; j <= n; ++j) w(j) = 0;
  for (fint j = 1; j <= n; ++j) {
    for (fint k = ip(j); k < ip(j + 1); ++k) {
      w(j) += 1;
      if (irn(k) != j) w(irn(k)) += 1;
    }
  }
  fint total = 0;
  for (fint j = 1; j <= n; ++j) total += w(j);

  // (b) Move each column's own entries to the end of its new slot, from the
  // last column to the first: slots only move up, so a column is never
  // overwritten before it has moved.  W(J) keeps the end of slot J.
  fint end = total;
  fint next_old = ip(n + 1);
  for (fint j = n; j >= 1; --j) {
    const fint old_start = ip(j);
    const fint len = next_old - old_start;
    const fint slot_len = w(j);
    for (fint t = len - 1; t >= 0; --t) {
      irn(end - len + 1 + t) = irn(old_start + t);
      if (yesa) a(end - len + 1 + t) = a(old_start + t);
    }
    ip(j) = end - len + 1;
    w(j) = end;
    next_old = old_start;
    end -= slot_len;
  }

  // (c) Put each mirror in front of its column.  Going from the last column
  // to the first leaves the mirrored entries of each column in increasing
  // order; with a lower triangle no column gains a mirror before its own
  // entries have been read.
  for (fint j = n; j >= 1; --j) {
    const fint own_end = w(j);
    for (fint k = ip(j); k <= own_end; ++k) {
      const fint i = irn(k);
      if (i == j) continue;
      ip(i) -= 1;
      irn(ip(i)) = j;
      if (yesa) a(ip(i)) = a(k);
    }
  }
  ip(n + 1) = total + 1;
}

void MC47AD(const fint* N, const fint* NE, fint* PE, fint* IW, const fint* IWLEN, const fint* MP, fint* INFO) {
  const fint n = *N, ne = *NE, iwlen = *IWLEN, mp = *MP;
  Vec1<fint> info(INFO, 7);
  if (n < 1) {
    info(1) = -1;
    return;
  }
  Vec1<fint> pe(PE, std::ptrdiff_t{n} + 1), iw(IW, iwlen);
  const bool coordinate = pe(1) <= 0;
  // Coordinate input needs the two index arrays and MC49AD's N+1 work
  // entries behind them; sizes are compared in 64 bits.
  const std::int64_t need = coordinate ? std::int64_t{n} + 2 * std::int64_t{ne} + 1 : std::int64_t{n} + ne;
  if (iwlen < need) {
    info(1) = -2;
    return;
  }
  info(1) = 0;

  if (mp > 0) write_entry(mp, n, ne, pe, iw, iwlen, coordinate);

  fint ndup = 0, ignored = 0, extra = 0, kept = 0;
  info(6) = 0;
  info(7) = 0;
  if (coordinate) {
    // Keep the strict lower triangle: entries on or above the diagonal are
    // dropped by giving them row 0, which MC49AD rejects and counts.
    for (fint k = 1; k <= ne; ++k) {
      const fint i = iw(k), j = iw(ne + k);
      if (i > j) continue;
      if (i == j && i != 0) info(7) += 1;
      if (i < j && i > 0) info(6) += 1;
      iw(k) = 0;
    }
    if (ne >= 1) {
      const fint ind = 2, lip = n + 1, liw = n + 1, la = 1;
      const logical yesa = tbl::kFalse;
      double dummy = 0.0;
      fint iflag = 0;
      // Its IFLAG is not needed: with LIP = LIW = N + 1 it cannot fail once
      // an entry survives, and its counts say what happened.
      MC49AD(&ind, &n, &n, &ne, iw.at(1), iw.at(ne + 1), &yesa, &la, &dummy, &lip, PE, &liw,
             iw.at(2 * ne + 1), &iflag);
      ndup = tbl::MC49_COUNTS.ndup;
      ignored = tbl::MC49_COUNTS.irnout;
      extra = tbl::MC49_COUNTS.jcnout;
    }
    kept = ne - ndup - ignored - extra;
  } else {
    // Keep each row index below the diagonal once per column, compacting
    // the columns towards position 1; markers at IW(NE+1..NE+N).  A column
    // whose end pointer decreases or runs past the NE entries given stops
    // the call before it is read (the counts so far stay in INFO).
    // With NE < 0 the first column already fails, before any marker is
    // needed (the markers would lie in front of IW).
    Vec1<fint> mark(iw.at(std::max<fint>(ne, 0) + 1), n);
    if (ne >= 0)
      for (fint i = 1; i <= n; ++i) mark(i) = 0;
    fint pos = 1;
    for (fint j = 1; j <= n; ++j) {
      const fint first = pe(j);
      if (pe(j + 1) < first || std::int64_t{pe(j + 1)} - 1 > ne) {
        info(1) = -3;
        return;
      }
      const fint last = pe(j + 1) - 1;
      pe(j) = pos;
      for (fint k = first; k <= last; ++k) {
        const fint i = iw(k);
        if (i > j && i <= n) {
          if (mark(i) == j) {
            ++ndup;
          } else {
            mark(i) = j;
            iw(pos++) = i;
          }
        } else {
          ++ignored;
          if (i == j) info(7) += 1;
          if (i > 0 && i < j) info(6) += 1;
        }
      }
    }
    pe(n + 1) = pos;
    kept = pos - 1;
  }

  info(4) = ndup;
  if (ndup > 0) info(1) = 1;
  if (ignored > 0 || extra > 0) {
    info(5) = ignored - info(7) + extra;
    info(1) = 1;
  } else {
    info(5) = 0;
  }
  if (info(6) > 0 || info(7) > 0) info(1) = 1;

  if (kept <= 0) {
    info(1) = -4;
    return;
  }
  const std::int64_t nnz = std::int64_t{pe(n + 1)} - 1;
  const std::int64_t room = std::int64_t{iwlen} - 8 * std::int64_t{n};
  if (room < 2 * nnz) {
    info(1) = -2;
    return;
  }

  // The kernel's arrays, carved from the end of IW.
  const fint kwlen = static_cast<fint>(room);
  fint* len = iw.at(kwlen + 1);
  fint* next = len + n;
  fint* head = next + n;
  fint* degree = head + n;
  fint* w = degree + n;
  fint* nv = w + n;
  fint* elen = nv + n;
  fint* last = elen + n;

  const logical no_values = tbl::kFalse;
  MC47_EXPAND_PATTERN(&n, IW, PE, &no_values, nullptr, w);
  for (fint j = 1; j <= n; ++j) len[j - 1] = pe(j + 1) - pe(j);
  fint pfree = pe(n + 1);
  fint ncmpa = 0;
  MC47_AMD_KERNEL(&n, &kwlen, PE, &pfree, len, IW, nv, elen, last, &ncmpa, degree, head, next, w);

  info(2) = ncmpa;
  info(3) = tbl::saturate(std::int64_t{pfree} + 8 * std::int64_t{n});
  if (mp > 0) write_exit(mp, n, info, PE, elen, last, nv);
}

}  // extern "C"
