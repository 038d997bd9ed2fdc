// Block upper triangular form of the held matrix, over the shared transversal
// and strongly-connected-component kernels, and the split of its entries into
// the diagonal blocks and the part above them.
//
// The kernels see the columns as lists of row targets: the matching gives
// each row a column that holds it, and the components of the graph "column
// matched to row i holds row r" come out completed-first, which puts every
// entry on or above its column's diagonal block.
#include "multifrontal_lu/za38_internal.hpp"
#include "sparse_utils/btf.hpp"

using namespace tbl;

extern "C" void ZA38_BTF_ORDER(double* a_, const fint* /*la*/, fint* icn_, const fint* /*licn*/, const fint* n_,
                               const fint* nz_, fint* nindiag, fint* noffdiag, fint* nblocks, fint* ip_, fint* cperm_,
                               fint* rperm_, fint* rinv_, fint* cinv_, fint* lenr_, fint* iperm_, fint* ib_,
                               fint* offrowp_, const logical* preserve) {
  const fint n = *n_, nz = *nz_;
  Vec1<double> a(a_);
  Vec1<fint> icn(icn_), ip(ip_, std::int64_t{n} + 1), cperm(cperm_, n), rperm(rperm_, n), rinv(rinv_, n),
      cinv(cinv_, n), lenr(lenr_, n), iperm(iperm_, n), ib(ib_, std::int64_t{n} + 1),
      offrowp(offrowp_, std::int64_t{n} + 1);
  *nindiag = nz;
  *noffdiag = 0;

  for (fint j = 1; j <= n; ++j) lenr(j) = ip(j + 1) - ip(j);
  fint numnz = 0;
  BTF_TRANSVERSAL_KERNEL(n_, icn_, nz_, ip_, lenr_, iperm_, &numnz, offrowp_, cperm_, rinv_, cinv_);

  // List i is the column matched to row i.
  for (fint i = 1; i <= n; ++i) {
    offrowp(i) = ip(iperm(i));
    lenr(i) = ip(iperm(i) + 1) - ip(iperm(i));
  }
  BTF_SCC_KERNEL(n_, icn_, nz_, offrowp_, lenr_, rperm_, ib_, nblocks, cperm_, rinv_, cinv_);
  const fint nb = *nblocks;
  if (nb == 1) return;

  for (fint k = 1; k <= n; ++k) cperm(k) = iperm(rperm(k));
  if (!is_true(*preserve)) {
    for (fint k = 1; k <= n; ++k) {
      rinv(rperm(k)) = k;
      cinv(cperm(k)) = k;
    }
    // lenr(k): the first position of the block that holds position k.
    ib(nb + 1) = n + 1;
    for (fint t = 1; t <= nb; ++t)
      for (fint k = ib(t); k < ib(t + 1); ++k) lenr(k) = ib(t);

    // Entries of the diagonal blocks, staged behind the input, by column
    // position, rows counted from their block's start.
    fint next = nz + 1;
    for (fint k = 1; k <= n; ++k) {
      const fint j = cperm(k), s = lenr(k);
      iperm(k) = next;
      for (fint p = ip(j); p < ip(j + 1); ++p) {
        const fint r = rinv(icn(p));
        if (lenr(r) == s) {
          icn(next) = r - s + 1;
          a(next) = a(p);
          ++next;
        }
      }
    }
    *nindiag = next - nz - 1;
    *noffdiag = nz - *nindiag;

    // The others, compacted in place by unpermuted column (the write never
    // passes the read), then the staged ones moved down behind them.
    fint out = 1;
    for (fint j = 1; j <= n; ++j) {
      offrowp(j) = out;
      const fint s = lenr(cinv(j));
      for (fint p = ip(j); p < ip(j + 1); ++p) {
        const fint i = icn(p);
        if (lenr(rinv(i)) != s) {
          icn(out) = i;
          a(out) = a(p);
          ++out;
        }
      }
    }
    offrowp(n + 1) = out;
    for (fint p = 1; p <= *nindiag; ++p) {
      icn(*noffdiag + p) = icn(nz + p);
      a(*noffdiag + p) = a(nz + p);
    }
    for (fint k = 1; k <= n; ++k) ip(k) = iperm(k) - *nindiag;
  }

  // The boundaries to the top of IB, from the top down (the ranges overlap).
  ib(nb + 1) = n + 1;
  for (fint t = nb + 1; t >= 1; --t) ib(n - nb + t) = ib(t);
}
