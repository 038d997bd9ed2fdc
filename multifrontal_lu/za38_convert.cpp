// The host's coordinate entries into column form, in place at the front of
// INDEX and VALUE: entries out of range dropped, duplicates summed, the
// transpose built instead when asked.  Two passes of a counting sort and
// one mark per row: linear in NE + N, no storage beyond the caller's.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "multifrontal_lu/za38_internal.hpp"

using namespace tbl;
using namespace tbl::za38;

extern "C" void ZA38_CONVERT_INPUT(const fint* n_, fint* nz_, const logical* transa_, double* value_,
                                   const fint* /*lvalue*/, fint* info_, const fint* icntl, fint* index_,
                                   const fint* /*liw*/, fint* cw_, fint* cp_, const fint* who_) {
  const fint n = *n_;
  const fint ne = *nz_;
  const bool transa = is_true(*transa_);
  const fint who = *who_;
  Vec1<fint> index(index_);
  Vec1<double> value(value_);
  Vec1<fint> info(info_, kLenInfo);
  Vec1<fint> cw(cw_, n);
  Vec1<fint> cp(cp_, std::int64_t{n} + 1);
  const bool lines = entry_lines_printed(icntl);
  const fint diag_unit = icntl[kIcntlDiagUnit - 1];
  const fint err_unit = icntl[kIcntlErrorUnit - 1];

  // The host's entry k is (row(k), col(k), value(k)).
  auto row = [&](std::int64_t k) -> fint& { return index(k); };
  auto col = [&](std::int64_t k) -> fint& { return index(std::int64_t{ne} + k); };

  // Count the valid entries by column of M; an invalid one is listed, then
  // replaced by the last entry still held, so the kept ones end up in
  // 1..NVALID and the lines come from the highest position down.
  for (fint j = 1; j <= n; ++j) cw(j) = 0;
  fint mend = ne;
  for (fint k = ne; k >= 1; --k) {
    const fint i = row(k), j = col(k);
    if (i >= 1 && i <= n && j >= 1 && j <= n) {
      ++cw(transa ? i : j);
      continue;
    }
    if (lines) print_entry_line(who, kLineOutOfRange, i, j, value(k), diag_unit);
    row(k) = row(mend);
    col(k) = col(mend);
    value(k) = value(mend);
    --mend;
  }
  const fint nvalid = mend;
  const fint dropped = ne - nvalid;
  if (dropped != 0) {
    info(kInfoStatus) = merged_status(info(kInfoStatus), kWarnInvalid);
    if (warnings_printed(icntl)) print_message(who, kWarnInvalid, dropped, err_unit);
  }

  cp(1) = 1;
  for (fint j = 1; j <= n; ++j) {
    cp(j + 1) = cp(j) + cw(j);
    cw(j) = cp(j);
  }

  // Stable scatter into the staging area above the input, then down to
  // the column form's place (the target never passes the source).
  const std::int64_t sbase = std::max<std::int64_t>(2 * std::int64_t{ne}, std::int64_t{n} + 1);
  for (fint e = 1; e <= nvalid; ++e) {
    const fint i = transa ? col(e) : row(e);
    const fint j = transa ? row(e) : col(e);
    const fint p = cw(j);
    index(sbase + p) = i;
    value(std::int64_t{ne} + p) = value(e);
    cw(j) = p + 1;
  }
  const std::int64_t rows = std::int64_t{n} + 1;  // row index of entry p at index(rows + p)
  for (fint p = 1; p <= nvalid; ++p) {
    index(rows + p) = index(sbase + p);
    value(p) = value(std::int64_t{ne} + p);
  }

  // Duplicates: cw(i) is where row i was last placed; a row met again in
  // the same column is summed into that place.
  for (fint i = 1; i <= n; ++i) cw(i) = 0;
  fint out = 1;
  for (fint j = 1; j <= n; ++j) {
    const fint start = out;
    for (fint p = cp(j); p < cp(j + 1); ++p) {
      const fint i = index(rows + p);
      if (cw(i) < start) {
        cw(i) = out;
        if (out != p) {
          index(rows + out) = i;
          value(out) = value(p);
        }
        ++out;
      } else {
        value(cw(i)) += value(p);
        if (lines) print_entry_line(who, kLineDuplicate, transa ? j : i, transa ? i : j, value(p), diag_unit);
      }
    }
    cp(j) = start;
  }
  cp(n + 1) = out;
  const fint nz = out - 1;
  *nz_ = nz;
  const fint duplicates = nvalid - nz;
  if (duplicates != 0) {
    info(kInfoStatus) = merged_status(info(kInfoStatus), kWarnDuplicate);
    if (warnings_printed(icntl)) print_message(who, kWarnDuplicate, duplicates, err_unit);
  }
  for (fint j = 1; j <= n + 1; ++j) index(j) = cp(j);

  info(kInfoDuplicates) = duplicates;
  info(kInfoInvalid) = dropped;
  info(kInfoEntries) = nz;
  info(kInfoDiagEntries) = nz;
  info(kInfoOffdiagEntries) = 0;
  if (nz == 0) {
    info(kInfoStatus) = kErrNe;
    if (errors_printed(icntl)) print_message(who, kErrNe, -1, err_unit);
  }
}

namespace tbl::za38 {

bool refuse_non_finite(fint who, fint n, fint nz, bool transa, const fint* index, const double* value,
                       const fint* icntl, fint* info) {
  // The check at its full speed; the first bad entry is looked for only
  // when there is one, on the way to the refusal.
  if (all_finite(value, nz)) return false;
  std::int64_t p = 0;
  while (std::isfinite(value[p])) ++p;

  info[kInfoStatus - 1] = kErrNotFinite;
  if (errors_printed(icntl)) {
    // Entry p+1 lies in column j: INDEX(j) <= p+1 < INDEX(j+1).
    const fint pos = static_cast<fint>(p + 1);
    const fint j = static_cast<fint>(std::upper_bound(index, index + n + 1, pos) - index);
    const fint i = index[n + pos];
    print_entry_line(who, kErrNotFinite, transa ? j : i, transa ? i : j, value[p], icntl[kIcntlErrorUnit - 1]);
  }
  return true;
}

}  // namespace tbl::za38
