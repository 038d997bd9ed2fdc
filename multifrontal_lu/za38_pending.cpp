// TEMPORARY stand-ins for routines that other work on the package is
// building in files of their own.  Whoever lands the real routine deletes
// its stand-in here in the same commit (the link fails on two definitions).
//
//  - ZA38_REPORT: prints nothing.
//  - ZA38_FACTOR_FRONT: factorises the held matrix as one dense block with
//    partial pivoting and stores it as a single LU record, in the layout of
//    the stored factors, so that the drivers and the solve can be exercised
//    end to end.  No block triangular form, no sparsity.
#include <cmath>
#include <cstdint>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"

using namespace tbl;
using namespace tbl::za38;

extern "C" {

void ZA38_REPORT(const fint*, const fint*, const fint*, const fint*, const fint*, const logical*, const fint*,
                 const fint*, const double*, const fint*, const fint*, const double*, const fint*, const fint*,
                 const double*, const double*, const double*, const double*, const fint*) {}

void ZA38_FACTOR_FRONT(const fint* n_, const fint* nz_, fint* ap_, double* ax_, const fint* lax_, fint* w_,
                       const fint* lw_, fint* fv_, fint* fi_, std::int64_t* iinuse, std::int64_t* xinuse,
                       fint* noffdiag, fint* nblocks, const fint* icntl, const double*, fint* info_, double*,
                       const logical* preserve_, const fint* pap_, const fint* pai_, const double* pax_, const fint*,
                       const fint*, const fint*, const fint* ne_) {
  const std::int64_t n = *n_, nz = *nz_, lax = *lax_, lw = *lw_;
  const bool preserve = is_true(*preserve_);
  Vec1<fint> info(info_, kLenInfo);
  Vec1<fint> w(w_);
  Vec1<double> ax(ax_);
  *noffdiag = 0;
  *nblocks = 1;
  const std::int64_t free = preserve ? 1 : nz + 1;
  const std::int64_t block_words = kBfHeader + 1 + kRecHeader;
  const std::int64_t fi = lw - 2 * n - 6 - block_words;
  const std::int64_t fv = lax + 1 - n * n;
  *iinuse += 2 * n + kTrailerLength + block_words;
  *xinuse += n * n;
  raise_info(info_, kInfoIndexUsed, *iinuse);
  raise_info(info_, kInfoIndexNeeded, *iinuse);
  raise_info(info_, kInfoValueUsed, *xinuse);
  raise_info(info_, kInfoValueNeeded, *xinuse);
  const bool ishort = fi < free, xshort = fv < free;
  if (ishort || xshort) {
    const fint who = kWhoAnalyse;
    if (ishort) ZA38_RECORD_ERROR(&who, icntl, info_, &kErrIndex, &info(kInfoIndexNeeded));
    if (xshort) ZA38_RECORD_ERROR(&who, icntl, info_, &kErrValue, &info(kInfoValueNeeded));
    return;
  }

  // The dense matrix at the top of AX, column by column.
  Mat1<double> d(ax.at(fv), n);
  for (std::int64_t k = 0; k < n * n; ++k) ax(fv + k) = 0.0;
  const fint* ap = preserve ? pap_ : ap_;
  const fint* ai = preserve ? pai_ : w_;
  const double* av = preserve ? pax_ : ax_;
  for (std::int64_t j = 1; j <= n; ++j)
    for (std::int64_t p = ap[j - 1]; p < ap[j]; ++p) d(ai[p - 1], j) += av[p - 1];

  Vec1<fint> cperm(w.at(lw - 2 * n - 6)), rperm(w.at(lw - n - 6));
  for (std::int64_t k = 1; k <= n; ++k) cperm(k) = rperm(k) = static_cast<fint>(k);
  fint good = 0;
  for (std::int64_t k = 1; k <= n; ++k) {
    std::int64_t piv = k;
    for (std::int64_t i = k + 1; i <= n; ++i)
      if (std::fabs(d(i, k)) > std::fabs(d(piv, k))) piv = i;
    if (d(piv, k) == 0.0) continue;
    ++good;
    if (piv != k) {
      for (std::int64_t j = 1; j <= n; ++j) std::swap(d(k, j), d(piv, j));
      std::swap(rperm(k), rperm(piv));
    }
    for (std::int64_t i = k + 1; i <= n; ++i) d(i, k) /= d(k, k);
    for (std::int64_t j = k + 1; j <= n; ++j)
      for (std::int64_t i = k + 1; i <= n; ++i) d(i, j) -= d(i, k) * d(k, j);
  }

  const fint words[] = {1, 1, static_cast<fint>(n), 1, 1, 1, 1, static_cast<fint>(n), 0, 0, 0,
                        static_cast<fint>(n), static_cast<fint>(n)};
  for (std::int64_t k = 0; k < block_words; ++k) w(fi + k) = words[k];
  *fi_ = static_cast<fint>(fi);
  *fv_ = static_cast<fint>(fv);
  info(kInfoOnesBlocks) = n == 1 ? 1 : 0;
  info(kInfoBlocks) = 1;
  info(kInfoUEntries) = info(kInfoLEntries) = saturate(n * (n - 1) / 2);
  info(kInfoFactorEntries) = saturate(n * (n - 1) + n);
  info(kInfoFronts) = 1;
  info(kInfoGoodPivots) = good;
  fint diag = 0;
  for (std::int64_t k = 1; k <= n; ++k) diag += cperm(k) == rperm(k);
  info(kInfoDiagPivots) = diag;
  info(kInfoRefactorIndex) = saturate(3 * n + 2 + *ne_);
  info(kInfoRefactorValue) = saturate(n * n + nz);
  if (good < n) {
    const fint who = kWhoAnalyse;
    ZA38_RECORD_ERROR(&who, icntl, info_, &kWarnSingular, &good);
  }
}

}  // extern "C"
