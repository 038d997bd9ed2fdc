// ZA38_BLOCK_SPLIT: the entries of a new matrix sorted into the block
// structure of an earlier factorisation: rows of entries above the diagonal
// blocks, arrowheads of each block for the refactorisation kernel, and the
// entries below the blocks (which no block upper triangular matrix has)
// counted and dropped.
#include "multifrontal_lu/za38_internal.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using namespace tbl::za38;

// Entries below the diagonal blocks, one diagnostic each.  The column shown
// is that of the held matrix, so the line names one entry of one matrix.
void report_below(const fint* icntl, fint row, fint col, double value) {
  if (entry_lines_printed(icntl))
    print_entry_line(kWhoRefactor, kLineBelowBlocks, row, col, value, icntl[kIcntlDiagUnit - 1]);
}

}  // namespace

extern "C" void ZA38_BLOCK_SPLIT(const tbl::logical* preserve_, const fint* n_, const fint* nz_, const fint* cperm_,
                                 const fint* rperm_, fint* rinv_, fint* cnt_, const fint* nblocks_, double* xout_,
                                 fint* iout_, fint* noffdiag, fint* nzin, const fint* icntl_, const fint* ap_,
                                 const fint* ib_, fint* ai_, double* ax_, fint* offrowp_, const fint* sel_,
                                 const fint* m_, fint* nkept, fint* nbad) {
  const bool preserve = tbl::is_true(*preserve_);
  const fint n = *n_, nz = *nz_, nblocks = *nblocks_, sel = *sel_, m = *m_;
  Vec1<const fint> cperm(cperm_), rperm(rperm_), ap(ap_), ib(ib_);
  Vec1<fint> rinv(rinv_), cnt(cnt_), iout(iout_), ai(ai_), offrowp(offrowp_);
  Vec1<double> xout(xout_), ax(ax_);

  *noffdiag = 0;
  *nbad = 0;
  if (nblocks == 1 || !preserve)
    for (fint r = 1; r <= n; ++r) rinv(rperm(r)) = r;

  // Rows of the entries above the diagonal blocks, by a counting sort over
  // the row positions; filling from the last column position down leaves
  // every row in increasing column order.
  if (nblocks >= 2 && !preserve) {
    cnt(1) = 1;
    for (fint i = 2; i <= n; ++i) cnt(i) = 0;
    for (fint b = 1; b <= nblocks; ++b)
      for (fint k = ib(b); k < ib(b + 1); ++k)
        for (fint p = ap(cperm(k)); p < ap(cperm(k) + 1); ++p) {
          const fint r = rinv(ai(p));
          if (r < ib(b)) {
            ++cnt(r);
          } else if (r >= ib(b + 1)) {
            ++*nbad;
            report_below(icntl_, ai(p), cperm(k), ax(p));
          }
        }
    for (fint i = 2; i <= n; ++i) cnt(i) += cnt(i - 1);
    cnt(n + 1) = cnt(n);
    for (fint b = nblocks; b >= 1; --b)
      for (fint k = ib(b + 1) - 1; k >= ib(b); --k)
        for (fint p = ap(cperm(k)); p < ap(cperm(k) + 1); ++p) {
          const fint r = rinv(ai(p));
          if (r >= ib(b)) continue;
          const fint at = --cnt(r);
          iout(at) = k;
          xout(at) = ax(p);
        }
    for (fint i = 1; i <= n + 1; ++i) offrowp(i) = cnt(i);
    *noffdiag = offrowp(n + 1) - 1;
  }

  // Arrowheads, block after block behind the off-diagonal part.  CNT is
  // indexed by pivot position less the offset of the selected block.
  for (fint i = 1; i <= m + 1; ++i) cnt(i) = 0;
  fint base = *noffdiag + 1;
  const fint first_block = sel > 0 ? sel : 1;
  const fint last_block = sel > 0 ? sel : (nblocks < 2 ? 1 : nblocks);
  for (fint b = first_block; b <= last_block; ++b) {
    const fint k1 = nblocks < 2 ? 1 : ib(b);
    const fint k2 = nblocks < 2 ? n : ib(b + 1) - 1;
    const fint o = sel > 0 ? ib(sel) - 1 : 0;
    auto slot = [&](fint pos) -> fint& { return cnt(pos - o); };  // count or pointer of position pos

    for (fint k = k1; k <= k2; ++k)
      for (fint p = ap(cperm(k)); p < ap(cperm(k) + 1); ++p) {
        const fint r = rinv(ai(p));
        if (r >= k1 && r <= k2) ++slot(r < k ? r : k);
      }
    // slot(j+1) becomes one past the end of arrowhead j; the last pivot's
    // arrowhead comes first.
    slot(k2 + 1) = base + slot(k2);
    for (fint j = k2 - 1; j >= k1; --j) slot(j + 1) = slot(j + 2) + slot(j);
    slot(k1) = slot(k1 + 1);
    for (fint k = k1; k <= k2; ++k)
      for (fint p = ap(cperm(k)); p < ap(cperm(k) + 1); ++p) {
        const fint r = rinv(ai(p));
        if (r < k1 || r > k2) continue;
        fint at;
        if (r < k) {
          at = --slot(r + 1);
          iout(at) = -(k - k1 + 1);  // in pivot row r
        } else {
          at = --slot(k + 1);
          iout(at) = r - k1 + 1;  // in pivot column k
        }
        xout(at) = ax(p);
      }
    base = slot(k1);
    slot(k2 + 1) = 0;
  }
  cnt(m + 1) = *noffdiag + 1;
  *nzin = base - *noffdiag - 1;
  *nkept = base - 1;

  if (!preserve)
    for (fint p = 1; p <= nz; ++p) {
      ai(p) = iout(p);
      ax(p) = xout(p);
    }
}
