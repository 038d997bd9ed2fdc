// The entries above the diagonal blocks, stored by permuted row with their
// column positions: a counting sort (one pass to count, one to place),
// filled from the last column position down so that each row comes out in
// increasing column order.
#include "multifrontal_lu/za38_internal.hpp"

using namespace tbl;
using namespace tbl::za38;

extern "C" void ZA38_STORE_OFFDIAG(fint* rp_, const fint* n_, const fint* rperm_, const fint* cperm_,
                                   fint* noffdiag, fint* offrowp_, fint* oi_, double* ox_, fint* rinv_,
                                   const fint* icntl, const fint* ap_, const fint* ai_, const double* ax_,
                                   const fint* /*lai*/, const fint* /*lax*/, const logical* preserve,
                                   const fint* nblocks, const fint* bnd_, const fint* /*unused19*/,
                                   const fint* who_, fint* nbad, const fint* /*unused22*/) {
  const fint n = *n_;
  const std::int64_t n1 = std::int64_t{n} + 1;
  Vec1<fint> rp(rp_, n1), offrowp(offrowp_, n1), rinv(rinv_, n), oi(oi_);
  Vec1<const fint> rperm(rperm_, n), cperm(cperm_, n), ap(ap_, n1), ai(ai_);
  Vec1<double> ox(ox_);
  Vec1<const double> ax(ax_);
  const bool separated = !is_true(*preserve);
  const fint nb = separated ? 0 : *nblocks;
  Vec1<const fint> bnd(bnd_, std::int64_t{nb} + 1);
  const bool report = *who_ == kWhoRefactor;
  const bool lines = entry_lines_printed(icntl);

  for (fint p = 1; p <= n; ++p) rinv(rperm(p)) = p;
  rp(1) = 1;
  for (fint p = 2; p <= n; ++p) rp(p) = 0;
  *nbad = 0;

  // Count per permuted row.
  if (separated) {
    for (fint j = 1; j <= n; ++j)
      for (fint e = offrowp(j); e < offrowp(j + 1); ++e) ++rp(rinv(ai(e)));
  } else {
    for (fint t = 1; t <= nb; ++t) {
      const fint s = bnd(t), f = bnd(t + 1) - 1;
      for (fint k = s; k <= f; ++k) {
        const fint j = cperm(k);
        for (fint e = ap(j); e < ap(j + 1); ++e) {
          const fint p = rinv(ai(e));
          if (p < s) {
            ++rp(p);
          } else if (p > f && report) {
            // Below the diagonal blocks: only a new matrix can put one there.
            ++*nbad;
            if (lines) print_entry_line(kWhoRefactor, kLineBelowBlocks, ai(e), j, ax(e), icntl[kIcntlDiagUnit - 1]);
          }
        }
      }
    }
  }
  // rp(1) started at 1, so the running sums end one past each row.
  for (fint p = 2; p <= n; ++p) rp(p) += rp(p - 1);
  rp(n + 1) = rp(n);

  if (separated) {
    for (fint k = n; k >= 1; --k) {
      const fint j = cperm(k);
      for (fint e = offrowp(j); e < offrowp(j + 1); ++e) {
        const fint p = rinv(ai(e));
        const fint at = --rp(p);
        oi(at) = k;
        ox(at) = ax(e);
      }
    }
  } else {
    for (fint t = nb; t >= 1; --t) {
      const fint s = bnd(t);
      for (fint k = bnd(t + 1) - 1; k >= s; --k) {
        const fint j = cperm(k);
        for (fint e = ap(j); e < ap(j + 1); ++e) {
          const fint p = rinv(ai(e));
          if (p < s) {
            const fint at = --rp(p);
            oi(at) = k;
            ox(at) = ax(e);
          }
        }
      }
    }
  }
  for (fint p = 1; p <= n + 1; ++p) offrowp(p) = rp(p);
  *noffdiag = offrowp(n + 1) - 1;
}
