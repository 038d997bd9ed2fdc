// Entry points of the sparse matrix utilities.  The own-name exports MC09AD,
// MC49AD and MC59AD are the routines themselves; these forwarders only give
// the host a second name.
#include "TesselBasicLib.h"
#include "interface/common.hpp"
#include "sparse_utils/coord.hpp"

using tbl::fint;

extern "C" {

TBL_EXPORT void VIZ_MC09AD(const fint* M, const fint* N, const double* A, const double* X, double* Y,
                           const fint* TRANS, const fint* IRN, const fint* IP) {
  MC09AD(M, N, A, X, Y, TRANS, IRN, IP);
}

TBL_EXPORT void VIZ_MC29AD(const fint* M, const fint* N, const fint* NE, const double* A, const fint* IRN,
                           const fint* ICN, double* RLOG, double* CLOG, double* W, const fint* LP,
                           fint* IFAIL) {
  MC29AD(M, N, NE, A, IRN, ICN, RLOG, CLOG, W, LP, IFAIL);
}

TBL_EXPORT void VIZ_MC49AD(const fint* IND, const fint* NC, const fint* NR, const fint* NNZ, fint* IRN,
                           fint* JCN, const fint* YESA, const fint* LA, double* A, const fint* LIP, fint* IP,
                           const fint* LIW, fint* IW, fint* IFLAG) {
  MC49AD(IND, NC, NR, NNZ, IRN, JCN, YESA, LA, A, LIP, IP, LIW, IW, IFLAG);
}

TBL_EXPORT void VIZ_MC59AD(const fint* ICNTL, const fint* NC, const fint* NR, const fint* NE, fint* IRN,
                           const fint* LJCN, fint* JCN, const fint* LA, double* A, const fint* LIP, fint* IP,
                           const fint* LIW, fint* IW, fint* INFO) {
  MC59AD(ICNTL, NC, NR, NE, IRN, LJCN, JCN, LA, A, LIP, IP, LIW, IW, INFO);
}

}  // extern "C"
