// ZA38BD: new values factorised on the structure an earlier ZA38AD (or
// ZA38BD) stored: its block triangular form, permutations, pivot order and
// LU record patterns.  Only INDEX(KEEP(4)..KEEP(5)) of the earlier call is
// needed; the new factors replace everything else in place.
//
// The retained region is validated and the lengths checked where the host
// left it, before anything is moved or converted, so that a call that
// fails on its arguments leaves the host's pattern intact.
#include <algorithm>
#include <cstdint>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;
using namespace tbl::za38;

}  // namespace

extern "C" void ZA38BD(const fint* n_, const fint* ne_, const fint* job, const tbl::logical* transa,
                       const fint* lvalue_, const fint* lindex_, double* value_, fint* index_, fint* keep_,
                       const double* cntl, const fint* icntl, fint* info_, double* rinfo_) {
  const fint n = *n_, ne = *ne_, lvalue = *lvalue_, lindex = *lindex_;
  Vec1<fint> index(index_), keep(keep_), info(info_);
  Vec1<double> value(value_), rinfo(rinfo_);
  const bool preserve = *job == 1;
  const fint level = icntl[kIcntlPrintLevel - 1], unit = icntl[kIcntlErrorUnit - 1];
  auto message = [&](fint code, fint v) {
    if (level >= 1) print_message(kWhoRefactor, code, v, unit);
  };

  std::fill(info_, info_ + kLenInfo, 0);
  std::fill(rinfo_, rinfo_ + kLenRinfo, 0.0);
  keep(kKeepValueFirst) = keep(kKeepValueLast) = keep(kKeepIndexFirst) = 0;
  const fint inout_in = 1, inout_out = 2, lw = 1;
  ZA38_REPORT(&kWhoRefactor, &inout_in, n_, ne_, job, transa, lvalue_, lindex_, value_, index_, keep_, cntl, icntl,
              info_, rinfo_, rinfo_, rinfo_, rinfo_, &lw);
  info(kInfoEntries) = info(kInfoDiagEntries) = ne;

  i64 int_used = 0, real_used = 0;
  i64 int_need = 0;  // the INDEX length a shortage reports
  const i64 ne2 = 2 * i64{ne};

  auto run = [&]() -> bool {
    if (n < 1) {
      info(kInfoStatus) = kErrN;
      message(kErrN, -1);
      return false;
    }
    if (ne < 1) {
      info(kInfoStatus) = kErrNe;
      message(kErrNe, -1);
      return false;
    }
    const fint k4 = keep(kKeepRetainedFirst), k5 = keep(kKeepIndexLast);
    if (k4 < 1 || i64{k4} > i64{k5} - 6 || k5 > lindex) {
      info(kInfoStatus) = kErrFactors;
      message(kErrFactors, 0);
      return false;
    }
    if (k4 < ne2) {
      info(kInfoStatus) = kErrNe;
      message(kErrNe, k4 / 2);
      return false;
    }
    FactorSet fs;
    ValidateOptions opt;
    opt.use = FactorUse::kRetained;
    if (validate_factors(n, keep_, index_, lindex, lvalue, opt, fs) != 0) {
      info(kInfoStatus) = kErrFactors;
      message(kErrFactors, 0);
      return false;
    }

    const i64 d = i64{k5} - k4;
    raise_info(info_, kInfoValueUsed, ne2);
    raise_info(info_, kInfoValueNeeded, ne2);
    raise_info(info_, kInfoRefactorValue, ne2);
    int_need = ne + 2 * i64{n} + std::max(i64{n} + 1, ne2) + d + 2;
    raise_info(info_, kInfoIndexUsed, int_need);
    raise_info(info_, kInfoIndexNeeded, int_need);
    int_used = int_need;
    real_used = ne2;
    if (lindex < int_need) {
      info(kInfoStatus) = merged_status(info(kInfoStatus), kErrIndex);
      message(kErrIndex, tbl::saturate(int_need));
    }
    if (lvalue < ne2) {
      info(kInfoStatus) = merged_status(info(kInfoStatus), kErrValue);
      message(kErrValue, tbl::saturate(ne2));
    }
    if (info(kInfoStatus) < 0) return false;

    // The region moves to the top of INDEX as a whole; every position in it
    // is relative or counted from its top.
    const fint l = lindex;
    if (k5 < l) {
      std::copy_backward(index.at(k4), index.at(k5) + 1, index.at(l) + 1);
      keep(kKeepRetainedFirst) = static_cast<fint>(l - d);
      keep(kKeepIndexLast) = l;
    }
    const fint kr = keep(kKeepRetainedFirst);
    const TopData top(l, n, fs.tr.nblocks);

    fint nz = ne;
    const fint liw = kr - 2 * n - 2;
    ZA38_CONVERT_INPUT(n_, &nz, transa, value_, lvalue_, info_, icntl, index_, &liw, index.at(kr - 2 * n - 1),
                       index.at(kr - n - 1), &kWhoRefactor);
    if (info(kInfoStatus) < 0) return false;
    // Checked before the entries are sorted into the stored pattern, so an
    // entry the pattern would drop is refused too: the host's data is bad.
    if (refuse_non_finite(kWhoRefactor, n, nz, tbl::is_true(*transa), index_, value_, icntl, info_)) return false;

    const fint nblocks = fs.tr.nblocks;
    i64 iinuse = n + d + nz + 2, xinuse = nz;
    fint *ap, *ai, *ap0, *ai0;
    double *ax, *ax0;
    fint lax, lai, an, anz;
    if (preserve) {
      std::copy(index.at(1), index.at(n + 2), index.at(n + nz + 2));
      iinuse = 2 * i64{n} + d + nz + 3;
      ap = index.at(n + nz + 2);
      ax = value.at(nz + 1);
      lax = lvalue - nz;
      ai = index.at(2 * n + nz + 3);
      lai = kr - 2 * n - nz - 3;
      ap0 = index.at(1);
      ai0 = index.at(n + 2);
      ax0 = value.at(1);
      an = n;
      anz = nz;
    } else {
      ap = index.at(1);
      ax = value.at(1);
      lax = lvalue;
      ai = index.at(n + 2);
      lai = kr - n - 2;
      ap0 = index.at(1);
      ai0 = index.at(1);
      ax0 = value.at(1);
      an = 0;
      anz = 1;
    }
    const fint llui = static_cast<fint>(top.pattern_end() - kr + 1);
    fint* bfptr = nblocks >= 2 ? index.at(top.bfptr()) : index.at(1);
    fint* ib = nblocks >= 2 ? index.at(top.ib()) : index.at(1);
    fint* offrowp = nblocks >= 2 ? index.at(top.offrowp()) : index.at(1);
    const tbl::logical pres = tbl::to_logical(preserve);
    fint nz_front = nz, xfstart = 0, ifstart = 0, noffdiag = 0;
    ZA38_REFACTOR_FRONT(n_, &nz_front, ap, ax, &lax, ai, &lai, &xfstart, &ifstart, &iinuse, &xinuse, &noffdiag,
                        &nblocks, icntl, info_, rinfo_, &pres, ap0, ai0, ax0, &an, &anz, index.at(kr), &llui, bfptr, ib,
                        offrowp, index.at(top.cperm()), index.at(top.rperm()), ne_);
    if (info(kInfoStatus) < 0) {
      int_used = iinuse;
      real_used = xinuse;
      return false;
    }

    const fint k3 = ifstart + n + 1;
    if (preserve) {
      std::copy_backward(index.at(1), index.at(n + nz + 2), index.at(k3 + n + nz) + 1);
      std::copy_backward(value.at(1), value.at(nz + 1), value.at(xfstart + nz - 1) + 1);
    }
    keep(kKeepValueFirst) = xfstart;
    keep(kKeepValueLast) = lvalue;
    keep(kKeepIndexFirst) = k3;
    keep(kKeepIndexLast) = l;
    Trailer tr;
    tr.transa = tbl::is_true(*transa) ? 1 : 0;
    tr.noffdiag = noffdiag;
    tr.nblocks = nblocks;
    tr.preserve = preserve ? 1 : 0;
    tr.nz = preserve ? nz : nz_front;
    tr.n = n;
    tr.ne = ne;
    write_trailer(index_, l, tr);
    int_used = i64{l} - k3 + 1;
    real_used = i64{lvalue} - xfstart + 1;
    return true;
  };

  if (!run()) std::fill(keep_, keep_ + 5, 0);

  // Memory entries: what was used, never above the arrays' lengths; after a
  // shortage of INDEX the length it needs, unclipped, so that a retry with
  // it gets through.
  const i64 reached = std::max<i64>(info(kInfoIndexUsed), int_used);
  const fint status = info(kInfoStatus);
  info(kInfoIndexUsed) = tbl::saturate(std::min<i64>(reached, lindex));
  if (status == kErrIndex || status == kErrBoth)
    info(kInfoIndexNeeded) = tbl::saturate(std::max<i64>({reached, info(kInfoIndexNeeded), int_need}));
  else
    info(kInfoIndexNeeded) = info(kInfoIndexUsed);
  info(kInfoRefactorIndex) = info(kInfoIndexUsed);
  info(kInfoValueUsed) = tbl::saturate(std::min<i64>(std::max<i64>(info(kInfoValueUsed), real_used), lvalue));
  ZA38_REPORT(&kWhoRefactor, &inout_out, n_, ne_, job, transa, lvalue_, lindex_, value_, index_, keep_, cntl, icntl,
              info_, rinfo_, rinfo_, rinfo_, rinfo_, &lw);
}
