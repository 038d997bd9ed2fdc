// MC49AD: coordinate entries into column form, in place.
#include <algorithm>
#include <cstdlib>

#include "sparse_utils/coord.hpp"
#include "sparse_utils/coord_sort.hpp"

namespace tbl {
MC49Counts MC49_COUNTS = {0, 0, 0, 0};
}

using tbl::fint;
using tbl::logical;
using tbl::Vec1;

extern "C" {

void MC49_COUNT_SORT(const fint* N, const fint* KNE, fint* IRN, fint* JCN, const logical* YESA,
                     const fint* /*LA*/, double* A, fint* IP, fint* IW) {
  tbl::coord::cycle_sort(*N, *KNE, Vec1<fint>(JCN), Vec1<fint>(IRN), tbl::is_true(*YESA) ? A : nullptr,
                         Vec1<fint>(IP), Vec1<fint>(IW));
}

void MC49_SORT_WITHIN(const fint* NC, const fint* NR, const fint* KNE, fint* IRN, fint* JCN,
                      const logical* YESA, const fint* /*LA*/, double* A, fint* IP, fint* IW) {
  tbl::coord::rows_to_columns(*NR, *NC, *KNE, Vec1<fint>(IRN), Vec1<fint>(JCN),
                              tbl::is_true(*YESA) ? A : nullptr, Vec1<fint>(IW), Vec1<fint>(IP));
}

TBL_EXPORT void MC49AD(const fint* IND, const fint* NC, const fint* NR, const fint* NNZ, fint* IRN,
                       fint* JCN, const logical* YESA, const fint* LA, double* A, const fint* LIP,
                       fint* IP, const fint* LIW, fint* IW, fint* IFLAG) {
  auto& counts = tbl::MC49_COUNTS;
  counts.ndup = 0;

  const fint ind = *IND;
  const fint nc = *NC;
  const fint nr = *NR;
  const fint nnz = *NNZ;
  const bool yesa = tbl::is_true(*YESA);
  const fint mode = std::abs(ind);  // 1: columns in any order, 2: rows increasing
  const bool check = ind > 0;

  fint flag = 0;
  if (ind != -2 && ind != -1 && ind != 1 && ind != 2) {
    flag = -1;
  } else if (nc < 1 || nr < 1 || nnz < 1) {
    flag = -2;
  } else if ((!yesa && *LA < 1) || (yesa && *LA < nnz)) {
    flag = -3;
  } else if ((mode == 1 && *LIW <= nc) || (mode == 2 && *LIW <= nr) ||
             // merging duplicates marks each row in IW
             (ind == 1 && *LIW < nr)) {
    flag = -4;
  } else if ((mode == 1 && *LIP <= nc) || (mode == 2 && *LIP <= std::max(nr, nc))) {
    flag = -5;
  }
  if (flag < 0) {
    *IFLAG = flag;
    counts.irnout = 0;
    counts.jcnout = 0;
    counts.kne = 0;
    return;
  }

  Vec1<fint> irn(IRN, nnz), jcn(JCN, nnz), ip(IP, *LIP), iw(IW, *LIW);
  Vec1<double> a(A, yesa ? nnz : 0);
  double* vals = yesa ? A : nullptr;

  // Drop the entries whose indices are out of range, keeping the others in
  // their order.  Without checking the caller vouches for the indices, but
  // one read-only scan is cheap and keeps a bad index from steering a write.
  bool clean = check;
  if (!check) {
    clean = false;
    for (fint k = 1; k <= nnz; ++k) {
      if (irn(k) < 1 || irn(k) > nr || jcn(k) < 1 || jcn(k) > nc) {
        clean = true;
        break;
      }
    }
  }
  fint irnout = 0, jcnout = 0, kne = nnz;
  if (clean) {
    kne = 0;
    for (fint k = 1; k <= nnz; ++k) {
      const fint i = irn(k), j = jcn(k);
      if (i < 1 || i > nr) {
        ++irnout;
      } else if (j < 1 || j > nc) {
        ++jcnout;
      } else {
        ++kne;
        irn(kne) = i;
        jcn(kne) = j;
        if (yesa) a(kne) = a(k);
      }
    }
  }
  flag = 0;
  if (irnout > 0) flag = 2;
  if (jcnout > 0) flag = 3;
  counts.irnout = irnout;
  counts.jcnout = jcnout;
  counts.kne = kne;
  *IFLAG = flag;
  if (kne == 0) {
    // Nothing survived: the result is the empty matrix, stated in column
    // form so that the warning's promise of valid output holds.
    for (fint j = 1; j <= nc + 1; ++j) ip(j) = 1;
    return;
  }

  if (mode == 1) {
    tbl::coord::cycle_sort(nc, kne, jcn, irn, vals, ip, iw);
  } else {
    // Sort into rows first, then deal the rows out into columns from the
    // last to the first so that each column ends up ordered by row.
    tbl::coord::cycle_sort(nr, kne, irn, jcn, vals, iw, ip);
    tbl::coord::rows_to_columns(nr, nc, kne, irn, jcn, vals, iw, ip);
  }

  if (check) {
    const fint ndup = tbl::coord::merge_duplicates(nc, ip, irn, vals, tbl::coord::DupValues::Sum, iw, nr);
    counts.ndup = ndup;
    counts.kne = ip(nc + 1) - 1;
    if (ndup > 0) *IFLAG = 1;
  }
}

}  // extern "C"
