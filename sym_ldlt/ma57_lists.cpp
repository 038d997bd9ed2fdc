// Compaction of a store of integer lists, each reached through a position
// array and headed by its length.
#include "sym_ldlt/ma57.hpp"

extern "C" void MA57_COMPRESS_LISTS(const tbl::fint* N, tbl::fint* LISTPOS, tbl::fint* IW,
                                    const tbl::fint* LIW, tbl::fint* IWFREE,
                                    tbl::fint* NCOMPRESS) {
  using tbl::fint;
  const fint n = *N;
  const fint liw = *LIW;
  *NCOMPRESS += 1;
  *IWFREE = 1;
  if (n < 1) return;

  tbl::Vec1<fint> listpos(LISTPOS, n);
  tbl::Vec1<fint> iw(IW, liw > 0 ? liw : 0);

  // Mark each live list where it lies: its head word goes into LISTPOS and
  // is replaced by -(owner), so that one upward scan finds the lists in
  // storage order.  A head beyond the store cannot be a list of it; such a
  // position is left alone rather than written through.
  for (fint i = 1; i <= n; ++i) {
    const fint k = listpos(i);
    if (k > 0 && k <= liw) {
      listpos(i) = iw(k);
      iw(k) = -i;
    }
  }

  fint free = 1;
  fint moved = 0;
  fint k = 1;
  while (moved < n && k <= liw) {
    if (iw(k) >= 0) {
      ++k;
      continue;
    }
    const fint i = -iw(k);
    // A length that would run past the store (only possible when two owners
    // claim one head) is cut at its end so that nothing outside is touched.
    fint len = listpos(i);
    if (len < 0) len = 0;
    if (len > liw - k) len = liw - k;
    iw(free) = len;
    listpos(i) = free;
    for (fint t = 1; t <= len; ++t) iw(free + t) = iw(k + t);
    free += len + 1;
    k += len + 1;
    ++moved;
  }
  *IWFREE = free;
}
