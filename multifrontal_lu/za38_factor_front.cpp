// Front end of one factorisation for ZA38AD: the layout of the work areas
// INDEX and VALUE (a stack of what stays, from the top down, and a used
// region from the bottom up), the factorisation of the matrix, the memory
// accounts for INFO(18..23), the statistics and the singular warning.
//
// The matrix is factorised here as one block; the permutations and the
// seven trailing integers are reserved at the top of W at once, the block's
// factors go directly below them.
#include <algorithm>
#include <cstdint>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_kernel_ws.hpp"

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;
using namespace tbl::za38;

extern "C" void ZA38_FACTOR_FRONT(const fint* n_, const fint* nz_, fint* ap, double* ax, const fint* lax,
                                  fint* w_, const fint* lw_, fint* fv, fint* fi, std::int64_t* iinuse,
                                  std::int64_t* xinuse, fint* noffdiag, fint* nblocks, const fint* icntl,
                                  const double* cntl, fint* info, double* rinfo, const tbl::logical* preserve,
                                  const fint* pap, const fint* pai, const double* pax, const fint* pn,
                                  const fint* pnz, const fint* keep, const fint* ne_) {
  const i64 n = *n_, nz = *nz_, lw = *lw_, ne = *ne_;
  const bool kept = tbl::is_true(*preserve);
  Vec1<fint> w(w_, lw);
  const fint who = kWhoAnalyse;

  *nblocks = 1;
  *noffdiag = 0;
  i64 fvv = static_cast<i64>(*lax) + 1;
  i64 fii = lw - 2 * n - 6;
  const i64 free = kept ? 1 : nz + 1;
  *iinuse += 2 * n + 7;
  raise_info(info, kInfoIndexUsed, *iinuse);
  raise_info(info, kInfoIndexNeeded, *iinuse);
  fint ones = 0, onesok = 0;
  i64 vneed = nz, vnmax = 2 * ne;
  fint cmax = 1, rmax = 1, nrec = 0;
  const i64 cperm_at = lw - 2 * n - 6, rperm_at = lw - n - 6;

  bool ishort = fii < free, xshort = fvv < free;
  if (!ishort && !xshort) {
    // One block starting at position 1: the kernel writes its row and
    // column orders straight into the permutations at the top.
    fint bfi = 0, bfv = 0;
    const fint xlim = tbl::saturate(fvv - 1), ilim = tbl::saturate(fii - 1);
    const fint one = 1;
    tbl::logical is_short = tbl::kFalse, xs_short = tbl::kFalse;
    fint dummy_rinv = 0;
    ZA38_FACTOR_SETUP(ap, n_, w.at(cperm_at), w.at(rperm_at), noffdiag, &bfi, &bfv, ax, &xlim, xinuse, w_, &ilim,
                      iinuse, icntl, cntl, info, rinfo, nblocks, pap, pai, pax, preserve, &one, pn, pnz,
                      &dummy_rinv, keep, &cmax, &rmax, &nrec, &vnmax, &vneed, &is_short, &xs_short);
    ishort = tbl::is_true(is_short);
    xshort = tbl::is_true(xs_short) || fvv < free;
    if (!ishort && !xshort && info[kInfoStatus - 1] >= 0) {
      fii = bfi;
      fvv = bfv;
      w(fii) = 1;
    }
  }
  if (ishort || xshort) {
    fint& st = info[kInfoStatus - 1];
    if (ishort) {
      st = st == kErrValue ? kErrBoth : kErrIndex;
      if (icntl[kIcntlPrintLevel - 1] >= 1) print_message(who, kErrIndex, info[kInfoIndexNeeded - 1], icntl[0]);
    }
    if (xshort) {
      st = st == kErrIndex ? kErrBoth : kErrValue;
      if (icntl[kIcntlPrintLevel - 1] >= 1) print_message(who, kErrValue, info[kInfoValueNeeded - 1], icntl[0]);
    }
  }
  *fi = tbl::saturate(fii);
  *fv = tbl::saturate(fvv);

  // Statistics.
  info[kInfoNotInPattern - 1] = 0;
  info[kInfoEntries - 1] = static_cast<fint>(nz);
  info[kInfoDiagEntries - 1] = static_cast<fint>(nz - *noffdiag);
  info[kInfoOffdiagEntries - 1] = *noffdiag;
  info[kInfoOnesBlocks - 1] = ones;
  info[kInfoBlocks - 1] = *nblocks;
  info[kInfoFactorEntries - 1] = tbl::saturate(static_cast<i64>(info[kInfoUEntries - 1]) +
                                               info[kInfoLEntries - 1] + *noffdiag + n);
  fint diag = 0;
  if (info[kInfoStatus - 1] >= 0)
    for (i64 q = 0; q < n; ++q) diag += w(cperm_at + q) == w(rperm_at + q) ? 1 : 0;
  info[kInfoDiagPivots - 1] = diag;
  info[kInfoGoodPivots - 1] += onesok;
  rinfo[kRinfoBlasOps - 1] = rinfo[kRinfoBlas1Ops - 1] + rinfo[kRinfoBlas2Ops - 1] + rinfo[kRinfoBlas3Ops - 1];

  if (info[kInfoStatus - 1] >= 0 && info[kInfoGoodPivots - 1] < n) {
    fint& st = info[kInfoStatus - 1];
    if ((st & kWarnSingular) == 0) st += kWarnSingular;
    if (icntl[kIcntlPrintLevel - 1] >= 2 && icntl[kIcntlErrorUnit - 1] >= 0)
      print_message(who, kWarnSingular, info[kInfoGoodPivots - 1], icntl[kIcntlErrorUnit - 1]);
  }

  // What a later refactorisation will need.
  i64 need22 = std::max(3 * n + 2 + ne, 3 * ne + 1 + 2 * n);
  const i64 tail = static_cast<i64>(cmax) + 3 * static_cast<i64>(rmax) + 4 * static_cast<i64>(nrec);
  if (!kept) need22 = std::max({need22, 3 * n + 2 + 2 * nz, 3 * n + nz + tail + 9});
  else need22 = std::max(need22, 2 * nz + 4 * n + tail + 10);
  info[kInfoRefactorIndex - 1] = tbl::saturate(need22);
  info[kInfoRefactorValue - 1] = tbl::saturate(vnmax);
}
