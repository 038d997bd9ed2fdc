// DI23ID: the defaults of DI23, of its difference estimator and of MA57.
#include <cmath>

#include "interface/machine.hpp"
#include "nonlinear/di23.hpp"
#include "sym_ldlt/ma57.hpp"

extern "C" TBL_EXPORT void DI23ID(tbl::fint* ICNTL, double* CNTL, double* CNTLD, tbl::fint* ICNTLM, double* CNTLM) {
  using namespace tbl::di23;
  tbl::Vec1<tbl::fint> icntl(ICNTL, kLenICNTL);
  tbl::Vec1<double> cntl(CNTL, kLenCNTL), cntld(CNTLD, kLenCNTLD);
  for (int k = 1; k <= kLenICNTL; ++k) icntl(k) = 0;
  for (int k = 1; k <= kLenCNTL; ++k) cntl(k) = 0;
  for (int k = 1; k <= kLenCNTLD; ++k) cntld(k) = 0;

  icntl(1) = 6;      // errors
  icntl(2) = 6;      // warnings
  icntl(3) = 6;      // monitoring
  icntl(4) = 2;      // print level: errors and warnings
  icntl(5) = 0;      // the Jacobian is estimated
  icntl(6) = 10000;  // residual evaluations
  icntl(7) = 1000;   // iterations
  icntl(8) = 1;      // forward differences
  icntl(9) = 0;      // automatic scaling

  // An absolute level for ||F||: normal equations cannot follow a residual
  // that vanishes at a singular root much further.  The relative tests are
  // those usual with the square root of the relative precision.
  const double root_eps = std::sqrt(tbl::re05re(1));
  cntl(1) = 1e-12;
  cntl(2) = root_eps;
  cntl(3) = root_eps;
  cntl(4) = 0.0;
  cntl(5) = 1e-3;

  // 0: the relative step follows the difference formula; 0: no smallest step.
  cntld(1) = 0.0;
  cntld(2) = 0.0;

  MA57_DEFAULTS(CNTLM, ICNTLM);
  ICNTLM[4] = 0;  // MA57 prints nothing
  ICNTLM[6] = 2;  // no pivoting: J'J + mu D^2 is positive definite
}
