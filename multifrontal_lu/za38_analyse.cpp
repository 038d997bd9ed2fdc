// ZA38AD: checks the arguments and lengths, converts the entries, hands the
// column form to the factorisation front end, and completes the stored
// factors (the preserved copy moved below them, the trailer, KEEP).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"

using namespace tbl;
using namespace tbl::za38;

namespace {

// The minimum lengths, fixed before anything is converted: the column form,
// the sorting area above it and the conversion's two work arrays.
std::int64_t min_index_length(fint n, fint ne) {
  return std::int64_t{ne} + 2 * std::int64_t{n} + 1 + std::max(std::int64_t{n} + 1, 2 * std::int64_t{ne});
}
std::int64_t min_value_length(fint ne) { return 2 * std::int64_t{ne}; }

}  // namespace

extern "C" void ZA38AD(const fint* n_, const fint* ne_, const fint* job_, const logical* transa_,
                       const fint* lvalue_, const fint* lindex_, double* value_, fint* index_, fint* keep_,
                       const double* cntl, const fint* icntl, fint* info_, double* rinfo_) {
  const fint n = *n_, ne = *ne_, lvalue = *lvalue_, lindex = *lindex_;
  const bool preserve = *job_ == 1;
  Vec1<fint> info(info_, kLenInfo);
  Vec1<double> rinfo(rinfo_, kLenRinfo);
  Vec1<fint> keep(keep_, kLenKeep);
  Vec1<fint> index(index_);
  Vec1<double> value(value_);
  const fint err_unit = icntl[kIcntlErrorUnit - 1];
  const bool errors = icntl[kIcntlPrintLevel - 1] >= 1;

  for (int i = 1; i <= kLenInfo; ++i) info(i) = 0;
  for (int i = 1; i <= kLenRinfo; ++i) rinfo(i) = 0.0;
  for (int i = kKeepValueFirst; i <= kKeepIndexLast; ++i) keep(i) = 0;
  const fint who = kWhoAnalyse, in = 1, out = 2, one = 1;
  ZA38_REPORT(&who, &in, n_, ne_, job_, transa_, lvalue_, lindex_, value_, index_, keep_, cntl, icntl, info_,
              rinfo_, rinfo_, rinfo_, rinfo_, &one);
  info(kInfoEntries) = ne;
  info(kInfoDiagEntries) = ne;

  // What the final memory entries are raised to.
  std::int64_t iused = 0, xused = 0;
  bool failed = true;
  [&] {
    if (n < 1) {
      info(kInfoStatus) = kErrN;
      if (errors) print_message(who, kErrN, 0, err_unit);
      return;
    }
    if (ne < 1) {
      info(kInfoStatus) = kErrNe;
      if (errors) print_message(who, kErrNe, 0, err_unit);
      return;
    }
    const std::int64_t mini = min_index_length(n, ne);
    const std::int64_t minv = min_value_length(ne);
    info(kInfoValueUsed) = info(kInfoValueNeeded) = saturate(minv);
    info(kInfoIndexUsed) = info(kInfoIndexNeeded) = saturate(mini);
    iused = mini;
    xused = minv;
    // A length equal to its minimum is enough.
    if (lindex < mini) {
      info(kInfoStatus) = merged_status(info(kInfoStatus), kErrIndex);
      if (errors) print_message(who, kErrIndex, saturate(mini), err_unit);
    }
    if (lvalue < minv) {
      info(kInfoStatus) = merged_status(info(kInfoStatus), kErrValue);
      if (errors) print_message(who, kErrValue, saturate(minv), err_unit);
    }
    if (info(kInfoStatus) < 0) return;

    // From here on every length below is at least its minimum, so all the
    // positions fit in 32 bits.
    fint nz = ne;
    const fint liw = lindex - 2 * n - 1;
    ZA38_CONVERT_INPUT(n_, &nz, transa_, value_, lvalue_, info_, icntl, index_, &liw, index.at(lindex - 2 * n),
                       index.at(lindex - n), &who);
    if (info(kInfoStatus) < 0) return;
    // A value that is not finite would run through the factorisation and
    // leave factors of no use behind a success.
    if (refuse_non_finite(who, n, nz, is_true(*transa_), index_, value_, icntl, info_)) return;

    // The partition of INDEX and VALUE for the front end.
    fint fv = 0, fi = 0, noffdiag = 0, nblocks = 0;
    std::int64_t iinuse, xinuse = nz;
    const fint lw = preserve ? lindex - 2 * n - nz - 2 : lindex - n - 1;
    const fint lax = preserve ? lvalue - nz : lvalue;
    fint* ap = index.at(1);
    fint* w = index.at(n + 2);
    double* ax = value.at(1);
    if (preserve) {
      std::memcpy(index.at(n + nz + 2), index.at(1), sizeof(fint) * (std::size_t(n) + 1));
      ap = index.at(n + nz + 2);
      w = index.at(2 * n + nz + 3);
      ax = value.at(nz + 1);
      iinuse = 2 * std::int64_t{n} + nz + 2;
    } else {
      iinuse = std::int64_t{n} + 1 + nz;
    }
    const fint pn = preserve ? n : 0, pnz = preserve ? nz : 1;
    const logical pres = to_logical(preserve);
    ZA38_FACTOR_FRONT(n_, &nz, ap, ax, &lax, w, &lw, &fv, &fi, &iinuse, &xinuse, &noffdiag, &nblocks, icntl, cntl,
                      info_, rinfo_, &pres, index.at(1), index.at(n + 2), value.at(1), &pn, &pnz, keep_, ne_);
    iused = iinuse;
    xused = xinuse;
    if (info(kInfoStatus) < 0) return;

    // With a preserved copy, FI and FV count from the sections' starts;
    // the copy moves to lie directly below the factors (the ranges may
    // overlap, and memmove copies as from the high end).
    if (preserve) {
      std::memmove(index.at(fi + n + 1), index.at(1), sizeof(fint) * (std::size_t(n) + 1 + std::size_t(nz)));
      std::memmove(value.at(fv), value.at(1), sizeof(double) * std::size_t(nz));
    }
    keep(kKeepValueFirst) = fv;
    keep(kKeepIndexFirst) = fi + n + 1;
    keep(kKeepValueLast) = lvalue;
    keep(kKeepIndexLast) = lindex;
    Trailer tr;
    tr.transa = is_true(*transa_) ? 1 : 0;
    tr.noffdiag = noffdiag;
    tr.nblocks = nblocks;
    tr.preserve = preserve ? 1 : 0;
    tr.nz = nz;
    tr.n = n;
    tr.ne = ne;
    write_trailer(index_, lindex, tr);
    keep(kKeepRetainedFirst) =
        static_cast<fint>(retained_first(keep(kKeepIndexFirst), n, nz, preserve, nblocks, noffdiag));
    info(kInfoRefactorIndex) =
        saturate(std::int64_t{info(kInfoRefactorIndex)} + lindex - keep(kKeepRetainedFirst) + 1);
    iused = std::int64_t{lindex} - keep(kKeepIndexFirst) + 1;
    xused = std::int64_t{lvalue} - keep(kKeepValueFirst) + 1;
    failed = false;
  }();

  if (failed)
    for (int i = kKeepValueFirst; i <= kKeepIndexLast; ++i) keep(i) = 0;
  info(kInfoIndexUsed) = saturate(std::min<std::int64_t>(std::max<std::int64_t>(info(kInfoIndexUsed), iused), lindex));
  info(kInfoValueUsed) = saturate(std::min<std::int64_t>(std::max<std::int64_t>(info(kInfoValueUsed), xused), lvalue));
  ZA38_REPORT(&who, &out, n_, ne_, job_, transa_, lvalue_, lindex_, value_, index_, keep_, cntl, icntl, info_,
              rinfo_, rinfo_, rinfo_, rinfo_, &one);
}
