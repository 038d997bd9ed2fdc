#include "sym_ldlt/ma57.hpp"

extern "C" void MA57_DEFAULTS(double* CNTL, tbl::fint* ICNTL) {
  tbl::Vec1<double> cntl(CNTL, tbl::ma57::kLenCNTL);
  tbl::Vec1<tbl::fint> icntl(ICNTL, tbl::ma57::kLenICNTL);

  // The pivot threshold has always been the single-precision 0.01; callers
  // compare results bit for bit, so keep its widened value, not 0.01.
  cntl(1) = static_cast<double>(0.01f);
  cntl(2) = 0.0;
  cntl(3) = 0.5;
  cntl(4) = 0.0;
  cntl(5) = 0.0;

  icntl(1) = 6;    // errors
  icntl(2) = 6;    // warnings
  icntl(3) = 6;    // monitoring
  icntl(4) = -1;   // statistics: off
  icntl(5) = 2;    // print level: errors and warnings
  icntl(6) = 0;    // order computed by approximate minimum degree
  icntl(7) = 1;    // numerical pivoting strategy
  icntl(8) = 0;    // fail rather than suspend when storage runs short
  icntl(9) = 1;    // refinement steps
  icntl(10) = 0;   // no error analysis
  icntl(11) = 16;  // level-3 BLAS block size
  icntl(12) = 1;   // node amalgamation bound
  icntl(13) = 10;  // front size for level-2/3 BLAS in the solve
  icntl(14) = 100;
  for (int i = 15; i <= tbl::ma57::kLenICNTL; ++i) icntl(i) = 0;
}
