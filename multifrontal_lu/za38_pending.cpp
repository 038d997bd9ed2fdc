// TEMPORARY stand-ins for routines that other work on the package is
// building in files of their own.  Whoever lands the real routine deletes
// its stand-in here in the same commit (the link fails on two definitions).
//
//  - ZA38_REPORT: prints nothing.
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

}  // extern "C"
