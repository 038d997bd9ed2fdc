// The defaults of the multifrontal LU's controls.
#include "interface/machine.hpp"
#include "multifrontal_lu/za38_internal.hpp"

using namespace tbl;
using namespace tbl::za38;

extern "C" void ZA38ID(fint* keep, double* cntl, fint* icntl) {
  Vec1<fint> ic(icntl, kLenIcntl);
  Vec1<double> c(cntl, kLenCntl);
  Vec1<fint> k(keep, kLenKeep);
  constexpr fint kIcntlDefaults[] = {6, 6, 2, 1, 4, 0, 16, 0};
  for (int i = 1; i <= kLenIcntl; ++i) ic(i) = i <= 8 ? kIcntlDefaults[i - 1] : 0;
  c(kCntlPivotTol) = 0.1;
  c(kCntlGrowth) = 2.0;
  c(kCntlEps) = re05re(1);
  for (int i = 4; i <= kLenCntl; ++i) c(i) = 0.0;
  // KEEP(1..5) belong to the factorising calls.
  for (int i = 6; i <= kLenKeep; ++i) k(i) = i == kKeepDense1 ? 64 : i == kKeepDense2 ? 1 : 0;
}
