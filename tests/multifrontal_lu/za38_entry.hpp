// The phases as the tests call them: through the published entry points,
// as a host does (tests linked with the shared library define
// TBL_ZA38_THROUGH_EXPORTS), or by their internal names inside the core.
// The entry points forward their arguments unchanged, so both roads run
// the same code.
#pragma once

#include <cstdint>
#include <string>

#ifdef TBL_ZA38_THROUGH_EXPORTS
#include "TesselBasicLib.h"
#define TBL_ZA38_CALL(name) VIZ_##name
#else
#include "interface/routines.hpp"
#include "multifrontal_lu/za38_internal.hpp"
#define TBL_ZA38_CALL(name) name
#endif

namespace tbl::test {

inline void za38_id(int32_t* keep, double* cntl, int32_t* icntl) { TBL_ZA38_CALL(ZA38ID)(keep, cntl, icntl); }

inline void za38_ad(const int32_t* n, const int32_t* ne, const int32_t* job, const int32_t* transa,
                    const int32_t* lvalue, const int32_t* lindex, double* value, int32_t* index, int32_t* keep,
                    const double* cntl, const int32_t* icntl, int32_t* info, double* rinfo) {
  TBL_ZA38_CALL(ZA38AD)(n, ne, job, transa, lvalue, lindex, value, index, keep, cntl, icntl, info, rinfo);
}

inline void za38_cd(const int32_t* n, const int32_t* job, const int32_t* transc, const int32_t* lvalue,
                    const int32_t* lindex, const double* value, const int32_t* index, const int32_t* keep,
                    const double* b, double* x, double* w, const double* cntl, const int32_t* icntl, int32_t* info,
                    double* rinfo) {
  TBL_ZA38_CALL(ZA38CD)(n, job, transc, lvalue, lindex, value, index, keep, b, x, w, cntl, icntl, info, rinfo);
}

inline void za38_bd(const int32_t* n, const int32_t* ne, const int32_t* job, const int32_t* transa,
                    const int32_t* lvalue, const int32_t* lindex, double* value, int32_t* index, int32_t* keep,
                    const double* cntl, const int32_t* icntl, int32_t* info, double* rinfo) {
  TBL_ZA38_CALL(ZA38BD)(n, ne, job, transa, lvalue, lindex, value, index, keep, cntl, icntl, info, rinfo);
}

inline void za38_ffopen(const std::string& path, int32_t unit) { FFOPEN(path.c_str(), &unit, path.size()); }
inline void za38_ffclose(int32_t unit) { FFCLOSE(&unit); }

}  // namespace tbl::test
