// Front end of one factorisation for ZA38AD: the layout of the work areas
// INDEX and VALUE (a stack of what stays, from the top down, and a used
// region from the bottom up), the block triangular ordering when ICNTL(4) =
// 1, the factorisation of the matrix as one block or block by block, the
// memory accounts for INFO(18..23), the statistics, and the singular and
// growth warnings.
//
// The permutations and the seven trailing integers are reserved at the top
// of W at once; with one block its factors go directly below them, with
// several the block road (za38_factor_blocks.cpp) keeps the block data
// there first.
#include <algorithm>
#include <cstdint>

#include "multifrontal_lu/za38_front.hpp"

using namespace tbl;
using namespace tbl::za38;

extern "C" void ZA38_FACTOR_FRONT(const fint* n_, const fint* nz_, fint* ap, double* ax, const fint* lax, fint* w,
                                  const fint* lw, fint* fv, fint* fi, std::int64_t* iinuse, std::int64_t* xinuse,
                                  fint* noffdiag, fint* nblocks, const fint* icntl, const double* cntl, fint* info,
                                  double* rinfo, const logical* preserve, const fint* pap, const fint* pai,
                                  const double* pax, const fint* pn, const fint* pnz, const fint* keep,
                                  const fint* ne_) {
  FrontEnd f;
  f.n = *n_;
  f.nz = *nz_;
  f.ne = *ne_;
  f.ap = ap;
  f.ax = ax;
  f.lax = *lax;
  f.w = w;
  f.lw = *lw;
  f.iinuse = iinuse;
  f.xinuse = xinuse;
  f.icntl = icntl;
  f.cntl = cntl;
  f.info = info;
  f.rinfo = rinfo;
  f.preserve_arg = preserve;
  f.preserve = is_true(*preserve);
  f.pap = pap;
  f.pai = pai;
  f.pax = pax;
  f.pn = pn;
  f.pnz = pnz;
  f.keep = keep;
  const std::int64_t n = f.n, nz = f.nz;
  // The largest entry of the held matrix, before the layout overwrites it;
  // RINFO(9) gathers the largest entry of U meanwhile.
  const double amax = largest_magnitude(f.preserve ? pax : ax, nz);
  rinfo[kRinfoGrowth - 1] = 0.0;
  f.fv = f.lax + 1;
  f.fi = f.cperm_at();
  f.free = f.preserve ? 1 : nz + 1;
  f.grow_ints(2 * n + 7);
  f.vneed = nz;
  f.vnmax = 2 * std::int64_t{f.ne};
  f.ineed = f.free;
  const fint who = kWhoAnalyse;

  if (f.fi < f.free) f.shortage = true;
  if (!f.shortage && icntl[kIcntlBtf - 1] == 1) front_order(f);
  if (!f.shortage && f.nblocks == 1) {
    if (icntl[kIcntlBtf - 1] == 1) {
      f.fi = f.cperm_at();
      *iinuse -= 6 * n + 2;
    }
    fint bfi = 0, bfv = 0;
    const fint xlim = saturate(f.fv - 1), ilim = saturate(f.fi - 1), one = 1;
    logical is = kFalse, xs = kFalse;
    fint none = 0;
    ZA38_FACTOR_SETUP(ap, n_, f.w + (f.cperm_at() - 1), f.w + (f.rperm_at() - 1), &f.noffdiag, &bfi, &bfv, ax,
                      &xlim, xinuse, w, &ilim, iinuse, icntl, cntl, info, rinfo, &f.nblocks, pap, pai, pax,
                      preserve, &one, pn, pnz, &none, keep, &f.cmax, &f.rmax, &f.nrec, &f.vnmax, &f.vneed, &is, &xs);
    f.ishort = is_true(is);
    f.xshort = is_true(xs);
    f.shortage = f.ishort || f.xshort;
    if (!f.shortage && info[kInfoStatus - 1] >= 0) {
      f.fi = bfi;
      f.fv = bfv;
      f.wi(f.fi) = 1;
    }
  } else if (!f.shortage) {
    front_blocks(f);
  }
  // A shortage: INDEX is short when flagged or below what the failing
  // step needed, VALUE when flagged or below the used region; both may be.
  if (f.shortage) {
    f.ishort = f.ishort || f.fi < f.ineed;
    f.xshort = f.xshort || f.fv < f.free;
  }
  if (f.ishort || f.xshort) {
    fint& st = info[kInfoStatus - 1];
    if (f.ishort) {
      st = st == kErrValue ? kErrBoth : kErrIndex;
      if (icntl[kIcntlPrintLevel - 1] >= 1) print_message(who, kErrIndex, info[kInfoIndexNeeded - 1], icntl[0]);
    }
    if (f.xshort) {
      st = st == kErrIndex ? kErrBoth : kErrValue;
      if (icntl[kIcntlPrintLevel - 1] >= 1) print_message(who, kErrValue, info[kInfoValueNeeded - 1], icntl[0]);
    }
  }
  *fi = saturate(f.fi);
  *fv = saturate(f.fv);
  *noffdiag = f.noffdiag;
  *nblocks = f.nblocks;

  info[kInfoNotInPattern - 1] = 0;
  info[kInfoEntries - 1] = f.nz;
  info[kInfoDiagEntries - 1] = f.nz - f.noffdiag;
  info[kInfoOffdiagEntries - 1] = f.noffdiag;
  info[kInfoOnesBlocks - 1] = f.ones;
  info[kInfoBlocks - 1] = f.nblocks;
  info[kInfoFactorEntries - 1] =
      saturate(std::int64_t{info[kInfoUEntries - 1]} + info[kInfoLEntries - 1] + f.noffdiag + n);
  fint diag = 0;
  if (info[kInfoStatus - 1] >= 0)
    for (std::int64_t q = 0; q < n; ++q) diag += f.wi(f.cperm_at() + q) == f.wi(f.rperm_at() + q);
  info[kInfoDiagPivots - 1] = diag;
  info[kInfoGoodPivots - 1] += f.onesok;
  rinfo[kRinfoBlasOps - 1] = rinfo[kRinfoBlas1Ops - 1] + rinfo[kRinfoBlas2Ops - 1] + rinfo[kRinfoBlas3Ops - 1];
  if (info[kInfoStatus - 1] >= 0 && info[kInfoGoodPivots - 1] < n) {
    fint& st = info[kInfoStatus - 1];
    if ((st & kWarnSingular) == 0) st += kWarnSingular;
    if (warnings_printed(icntl)) print_message(who, kWarnSingular, info[kInfoGoodPivots - 1], icntl[0]);
  }
  if (info[kInfoStatus - 1] >= 0)
    finish_growth(who, amax, icntl, info, rinfo);
  else
    rinfo[kRinfoGrowth - 1] = 0.0;
  std::int64_t need22 = std::max(3 * n + 2 + f.ne, 3 * std::int64_t{f.ne} + 1 + 2 * n);
  const std::int64_t tail = std::int64_t{f.cmax} + 3 * std::int64_t{f.rmax} + 4 * std::int64_t{f.nrec};
  if (!f.preserve)
    need22 = std::max({need22, 3 * n + 2 + 2 * nz, 3 * n + nz + tail + 9});
  else
    need22 = std::max(need22, 2 * nz + 4 * n + tail + 10);
  info[kInfoRefactorIndex - 1] = saturate(need22);
  info[kInfoRefactorValue - 1] = saturate(f.vnmax);
}

