// ZA38_REFACTOR_FRONT: the numerical work of ZA38BD.  The new entries are
// sorted into the prior blocks, each block of order 2 or more is
// refactorised on its stored records, blocks of order 1 take their pivot
// directly, and the entries above the blocks are stored where the solve
// reads them.  Nothing is chosen and no pattern changes.
//
// Both work areas fill from the top down: the reals of the factors at
// AX(XFSTART..LAX), the off-diagonal column positions at AI(IFSTART..LAI)
// (the integer factors stay in the retained region); the temporary arrays
// of each step are carved just below IFSTART and released when the step
// ends; the input entries lie at the bottom.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using i64 = std::int64_t;
using namespace tbl::za38;

// Words of the kernel's ten work arrays for a block of order m whose factor
// table starts at FACTI(p).
i64 kernel_words(i64 m, const Vec1<fint>& facti, i64 p) {
  return 2 * m + 4 * i64{facti(p + kBfRecords)} + 3 * i64{facti(p + kBfMaxRows)} + facti(p + kBfMaxCols) + 8;
}

struct Front {
  fint n;
  Vec1<fint> ap, ai, bfptr, offrowp, facti;
  Vec1<double> ax;
  fint lax, lai;
  Vec1<const fint> ib, cperm, rperm, ap0, ai0;
  Vec1<const double> ax0;
  const fint* icntl;
  Vec1<fint> info;
  Vec1<double> rinfo;
  bool preserve;
  fint nblocks;

  fint xfstart = 0, ifstart = 0;
  i64 iinuse = 0, xinuse = 0, xpeak = 0;
  fint nbad = 0, nignored = 0, ones = 0, onesok = 0;

  void raise_int() { raise_info(info.data(), kInfoIndexUsed, iinuse); }
  void raise_real() {
    raise_info(info.data(), kInfoValueUsed, xinuse);
    raise_info(info.data(), kInfoValueNeeded, xinuse);
    xpeak = std::max(xpeak, xinuse);
  }
  void index_short();
  void value_short();
  bool run_kernel(fint k1, fint m, fint p);
  i64 index_need(fint nz) const;
};

// Shortages: the status merge and the message with the amount so far.
void Front::index_short() {
  info(kInfoStatus) = merged_status(info(kInfoStatus), kErrIndex);
  if (icntl[kIcntlPrintLevel - 1] >= 1)
    print_message(kWhoRefactor, kErrIndex, info(kInfoIndexUsed), icntl[kIcntlErrorUnit - 1]);
}
void Front::value_short() {
  info(kInfoStatus) = merged_status(info(kInfoStatus), kErrValue);
  if (icntl[kIcntlPrintLevel - 1] >= 1)
    print_message(kWhoRefactor, kErrValue, info(kInfoValueNeeded), icntl[kIcntlErrorUnit - 1]);
}

// One block of order m from pivot position k1, its block factor at
// FACTI(p), its arrowheads at AP(k1..k1+m) (the entry after the last pivot
// already set to the block's start).
bool Front::run_kernel(fint k1, fint m, fint p) {
  const i64 kw = kernel_words(m, facti, p);
  const i64 start = ifstart - kw;
  iinuse += kw;
  raise_int();
  if (start < ap(k1)) {
    index_short();
    return false;
  }
  ifstart = static_cast<fint>(start);
  const fint nelem = facti(p + kBfRecords);
  const fint maxr = facti(p + kBfMaxRows), maxc = facti(p + kBfMaxCols);
  fint* w = ai.at(ifstart);
  fint* rowpos = w;
  fint* colpos = rowpos + m;
  fint* fcols = colpos + m;
  fint* frows = fcols + maxc;
  fint* spos = frows + maxr;
  fint* soff = spos + maxr;
  fint* eld = soff + maxr;
  fint* epos = eld + (nelem + 2);
  fint* enext = epos + (nelem + 2);
  fint* eprev = enext + (nelem + 2);
  const fint last_input = ap(k1) - 1;
  const fint lxsec = xfstart - 1;
  fint xf = 0;
  ZA38_REFACTOR_KERNEL(ap.at(k1), &last_input, &m, &xf, ax.data(), &lxsec, &xinuse, ai.data(), cperm.at(k1),
                       rperm.at(k1), icntl, info.data(), rinfo.data(), &maxr, &maxc, rowpos, colpos, fcols, frows, spos,
                       soff, eld, epos, enext, eprev, &nelem, facti.at(p + kBfHeader), facti.at(p + kBfHeader + nelem),
                       &nignored, &xpeak);
  if (info(kInfoStatus) < 0) return false;
  xfstart = xf;
  ifstart = static_cast<fint>(ifstart + kw);
  iinuse -= kw + (ap(k1) - ap(k1 + m));
  facti(p + kBfRealStart) = xfstart;
  return true;
}

// The most integer space, beyond what is in use when the front end starts,
// that any of its steps can ask for with NZ entries: the split of the whole
// matrix, each block's split and kernel work arrays beside its arrowheads,
// and the store of the entries above the blocks.
i64 Front::index_need(fint nz) const {
  const bool split_road = nblocks == 1 || !preserve;
  i64 extra = split_road ? 2 * i64{n} + 1 + nz : i64{n} + nz;
  for (fint b = 1; b <= nblocks; ++b) {
    const fint m = nblocks == 1 ? n : ib(b + 1) - ib(b);
    if (m == 1 && nblocks >= 2) continue;
    const i64 kw = kernel_words(m, facti, nblocks == 1 ? 1 : bfptr(b));
    if (!split_road)
      extra = std::max(extra, std::max(i64{m} + 1, kw) + nz);
    else
      extra = std::max(extra, kw + (preserve ? nz : 0));
  }
  return extra;
}

}  // namespace

extern "C" void ZA38_REFACTOR_FRONT(const fint* n_, fint* nz_, fint* ap_, double* ax_, const fint* lax_, fint* ai_,
                                    const fint* lai_, fint* xfstart_, fint* ifstart_, i64* iinuse_, i64* xinuse_,
                                    fint* noffdiag_, const fint* nblocks_, const fint* icntl, fint* info_,
                                    double* rinfo_, const tbl::logical* preserve_, const fint* ap0_, fint* ai0_,
                                    double* ax0_, const fint* an_, const fint* anz_, fint* facti_, const fint* llui_,
                                    fint* bfptr_, const fint* ib_, fint* offrowp_, const fint* cperm_,
                                    const fint* rperm_, const fint* ne_) {
  const fint n = *n_;
  Front f{n,
          Vec1<fint>(ap_),
          Vec1<fint>(ai_),
          Vec1<fint>(bfptr_),
          Vec1<fint>(offrowp_),
          Vec1<fint>(facti_),
          Vec1<double>(ax_),
          *lax_,
          *lai_,
          Vec1<const fint>(ib_),
          Vec1<const fint>(cperm_),
          Vec1<const fint>(rperm_),
          Vec1<const fint>(ap0_),
          Vec1<const fint>(ai0_),
          Vec1<const double>(ax0_),
          icntl,
          Vec1<fint>(info_),
          Vec1<double>(rinfo_),
          tbl::is_true(*preserve_),
          *nblocks_};
  Vec1<fint>& ap = f.ap;
  Vec1<fint>& ai = f.ai;
  Vec1<double>& ax = f.ax;
  Vec1<fint>& info = f.info;
  const fint nz_entry = *nz_;
  fint nz = nz_entry;
  fint noffdiag = 0;
  f.iinuse = *iinuse_;
  f.xinuse = *xinuse_;
  const i64 iinuse_entry = f.iinuse;
  f.xpeak = 2 * i64{*ne_};
  const bool preserve = f.preserve;
  const fint nblocks = f.nblocks;
  const fint s = preserve ? 1 : nz + 1;  // where the split writes its output
  // The largest magnitudes in U and in the entries kept, gathered as the
  // blocks are done (the kernel adds its own through RINFO(9) and RINFO(10)).
  double& umax = f.rinfo(kRinfoGrowth);
  double& amax = f.rinfo(kRinfoAssembledMax);
  umax = amax = 0.0;

  auto run = [&]() -> bool {
    if (nblocks == 1 || !preserve) {
      // The whole matrix at once; its work arrays at the top of AI.
      f.xfstart = f.lax + 1;
      const i64 top = i64{f.lai} - 2 * i64{n};
      const i64 split_words = 2 * i64{n} + 1 + nz;
      f.iinuse += split_words;
      f.xinuse += nz;
      f.raise_int();
      f.raise_real();
      bool ok = true;
      if (top < i64{s} + nz) {
        f.index_short();
        ok = false;
      }
      if (i64{f.lax} + 1 < i64{s} + nz) {
        f.value_short();
        ok = false;
      }
      if (!ok) return false;
      f.ifstart = static_cast<fint>(top);
      fint* rinv = ai.at(f.ifstart);
      fint* cnt = ai.at(f.lai - n);
      const fint sel = 0;
      fint nzin = 0, nkept = 0;
      ZA38_BLOCK_SPLIT(preserve_, n_, &nz, cperm_, rperm_, rinv, cnt, nblocks_, ax.at(s), ai.at(s), &noffdiag, &nzin,
                       icntl, preserve ? ap0_ : ap_, ib_, preserve ? ai0_ : ai_, preserve ? ax0_ : ax_, offrowp_, &sel,
                       n_, &nkept, &f.nbad);
      std::copy(cnt, cnt + (n + 1), ap.data());
      f.iinuse -= 2 * i64{n} + 1;
      if (!preserve) {
        f.iinuse -= nz;
        f.xinuse -= nz;
      }
      nz = nkept;
      f.ifstart = f.lai + 1;
    } else {
      for (fint k = 1; k <= n; ++k) f.offrowp(f.rperm(k)) = k;
      f.ifstart = f.lai + 1;
      f.xfstart = f.lax + 1;
    }

    if (nblocks == 1) {
      if (!f.run_kernel(1, n, 1)) return false;
      f.facti(kBfRealStart + 1) = 1;
      return true;
    }

    if (preserve) noffdiag = 0;
    for (fint b = nblocks; b >= 1; --b) {
      const fint k1 = f.ib(b), k2 = f.ib(b + 1) - 1, m = k2 - k1 + 1;
      if (!preserve) ap(k2 + 1) = b == 1 ? noffdiag + 1 : ap(f.ib(b - 1));
      if (m == 1) {
        double value = 0.0;
        fint e;
        if (!preserve) {
          const fint end = ap(k1);
          if (ap(k1 + 1) < end) {
            value = ax(end - 1);
            f.iinuse -= 1;
            f.xinuse -= 1;
            e = end - 1;
          } else {
            e = end;
          }
        } else {
          const fint col = f.cperm(k1);
          for (fint p = f.ap0(col); p < f.ap0(col + 1); ++p) {
            const fint r = f.offrowp(f.ai0(p));
            if (r < k1) ++noffdiag;
            if (r == k1) value = f.ax0(p);
          }
          e = 1;
        }
        f.xinuse += 1;
        f.raise_real();
        ++f.ones;
        --f.xfstart;
        if (f.xfstart < e) {
          if (f.ifstart < e) f.index_short();
          f.value_short();
          return false;
        }
        if (value != 0.0) {
          ax(f.xfstart) = value;
          ++f.onesok;
          umax = std::max(umax, std::fabs(value));
          amax = std::max(amax, std::fabs(value));
        } else {
          ax(f.xfstart) = 1.0;
        }
        f.bfptr(b) = -f.xfstart;
        continue;
      }

      if (preserve) {
        // This block's entries, read from the preserved copy.
        fint nin = 0;
        for (fint k = k1; k <= k2; ++k) {
          const fint col = f.cperm(k);
          for (fint p = f.ap0(col); p < f.ap0(col + 1); ++p) {
            const fint r = f.offrowp(f.ai0(p));
            if (r < k1)
              ++noffdiag;
            else if (r <= k2)
              ++nin;
          }
        }
        f.ifstart -= m + 1;
        f.iinuse += m + 1 + nin;
        f.xinuse += nin;
        f.raise_int();
        f.raise_real();
        bool ok = true;
        if (f.ifstart < nin + 1) {
          f.index_short();
          ok = false;
        }
        if (f.xfstart < nin + 1) {
          f.value_short();
          ok = false;
        }
        if (!ok) return false;
        fint* cnt = ai.at(f.ifstart);
        fint noff = 0, nzin = 0, nkept = 0, nbad = 0;
        ZA38_BLOCK_SPLIT(preserve_, n_, anz_, cperm_, rperm_, offrowp_, cnt, nblocks_, ax.data(), ai.data(), &noff,
                         &nzin, icntl, ap0_, ib_, ai0_, ax0_, offrowp_, &b, &m, &nkept, &nbad);
        std::copy(cnt, cnt + (m + 1), ap.at(k1));
        f.iinuse -= m + 1;
        f.ifstart += m + 1;
      }
      if (!f.run_kernel(k1, m, f.bfptr(b))) return false;
    }

    // Positions of the block factors' reals become relative to XB.
    const fint xb = f.xfstart;
    for (fint b = 1; b <= nblocks; ++b) {
      if (f.ib(b + 1) - f.ib(b) == 1)
        f.bfptr(b) = -f.bfptr(b) - xb + 1;
      else
        f.facti(f.bfptr(b) + kBfRealStart) -= xb - 1;
    }

    if (!preserve) {
      // The split left the off-diagonal entries at the bottom.
      if (f.ifstart - noffdiag < 1) f.index_short();
      if (xb - noffdiag < 1) f.value_short();
      if (info(kInfoStatus) < 0) return false;
      for (fint p = noffdiag; p >= 1; --p) {
        ai(f.ifstart - noffdiag + p - 1) = ai(p);
        ax(xb - noffdiag + p - 1) = ax(p);
      }
      f.ifstart -= noffdiag;
      f.xfstart = xb - noffdiag;
    } else {
      const i64 ifs = i64{f.ifstart} - noffdiag;
      const i64 xfs = i64{xb} - noffdiag;
      f.xinuse += noffdiag;
      f.iinuse += i64{n} + noffdiag;
      f.raise_int();
      f.raise_real();
      bool ok = true;
      if (ifs < n + 1) {
        f.index_short();
        ok = false;
      }
      if (xfs < 1) {
        f.value_short();
        ok = false;
      }
      if (!ok) return false;
      f.ifstart = static_cast<fint>(ifs);
      f.xfstart = static_cast<fint>(xfs);
      const fint counted = noffdiag;
      const fint unused = 0;
      fint* oi = noffdiag > 0 ? ai.at(f.ifstart) : ai.data();
      double* ox = noffdiag > 0 ? ax.at(f.xfstart) : ax.data();
      ZA38_STORE_OFFDIAG(ap_, n_, rperm_, cperm_, &noffdiag, offrowp_, oi, ox, ai_, icntl, ap0_, ai0_, ax0_, an_, anz_,
                         preserve_, nblocks_, ib_, &counted, &kWhoRefactor, &f.nbad, &unused);
      f.iinuse -= n;
    }
    if (noffdiag > 0) amax = std::max(amax, largest_magnitude(ax.at(f.xfstart), noffdiag));
    if (f.ifstart < 1) f.index_short();
    if (f.xfstart < 1) f.value_short();
    return info(kInfoStatus) >= 0;
  };

  const bool ok = run();

  // The kernel marks the lists of records whose rows or columns were
  // assembled into a parent; the retained pattern is made whole again on
  // every exit, whatever happened.  A mark is a negated count or index, so
  // it lies in -N..-1; a word outside any record keeps what it held.
  for (fint p = 1; p <= *llui_; ++p)
    if (f.facti(p) < 0 && f.facti(p) >= -n) f.facti(p) = -f.facti(p);
  // A block of order 1 holds the absolute position of its value, negated,
  // until the pointers are made relative; after a failure it keeps a
  // positive one (the next call rewrites it).
  if (nblocks >= 2)
    for (fint b = 1; b <= nblocks; ++b) f.bfptr(b) = std::abs(f.bfptr(b));

  // An integer shortage reports, besides the amount reached so far, what
  // the whole refactorisation needs at most, so a retry with it succeeds.
  if (!ok && (info(kInfoStatus) == kErrIndex || info(kInfoStatus) == kErrBoth))
    raise_info(info.data(), kInfoIndexNeeded, iinuse_entry + f.index_need(nz_entry));

  // Statistics, on every exit.
  f.iinuse -= n + 1;
  info(kInfoNotInPattern) = f.nbad + f.nignored;
  info(kInfoDiagEntries) = nz_entry - noffdiag - info(kInfoNotInPattern);
  info(kInfoEntries) = noffdiag + info(kInfoDiagEntries);
  info(kInfoOffdiagEntries) = noffdiag;
  info(kInfoOnesBlocks) = f.ones;
  info(kInfoBlocks) = nblocks;
  info(kInfoFactorEntries) = tbl::saturate(i64{info(kInfoUEntries)} + info(kInfoLEntries) + noffdiag + n);
  fint diag = 0;
  for (fint k = 1; k <= n; ++k) diag += f.cperm(k) == f.rperm(k);
  info(kInfoDiagPivots) = diag;
  info(kInfoGoodPivots) += f.onesok;
  Vec1<double>& rinfo = f.rinfo;
  rinfo(kRinfoBlasOps) = rinfo(kRinfoBlas1Ops) + rinfo(kRinfoBlas2Ops) + rinfo(kRinfoBlas3Ops);
  const fint level = icntl[kIcntlPrintLevel - 1], unit = icntl[kIcntlErrorUnit - 1];
  if (info(kInfoNotInPattern) > 0) {
    info(kInfoStatus) = merged_status(info(kInfoStatus), kWarnInvalid);
    if (level >= 2) print_message(kWhoRefactor, kWarnInvalid, -info(kInfoNotInPattern), unit);
  }
  if (info(kInfoStatus) >= 0 && info(kInfoGoodPivots) < n) {
    info(kInfoStatus) = merged_status(info(kInfoStatus), kWarnSingular);
    if (warnings_printed(icntl)) print_message(kWhoRefactor, kWarnSingular, info(kInfoGoodPivots), unit);
  }
  if (info(kInfoStatus) >= 0)
    finish_growth(kWhoRefactor, amax, icntl, info.data(), rinfo.data());
  else
    umax = 0.0;
  amax = 0.0;
  info(kInfoRefactorValue) = tbl::saturate(f.xpeak);

  *nz_ = nz;
  *noffdiag_ = noffdiag;
  *xfstart_ = f.xfstart;
  *ifstart_ = f.ifstart;
  *iinuse_ = f.iinuse;
  *xinuse_ = f.xinuse;
}
