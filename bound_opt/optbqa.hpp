// The optimiser that the host reaches through VUR_OPTBQA: minimisation
// without derivatives under bounds, equality and inequality constraints
// taken in by a penalty whose prefactor grows from run to run, driven by
// reverse communication, with a trace file and a closing report.  The
// arguments and codes are documented with the export in TesselBasicLib.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interface/common.hpp"

namespace tbl::optbqa {

// The least LW for N variables and NPT interpolation points.
std::int64_t workspace_length(std::int64_t n, std::int64_t npt);

// The private output unit of the trace file (a negative number, never a
// host's unit).
inline constexpr fint kTraceUnit = -8;

// The status codes of INFO.
enum Code : fint {
  kStart = 0,
  kEvaluate = 1,
  kConverged = 2,
  kTargetReached = 3,
  kBadSizes = 100,
  kBadBounds = 101,
  kBadRadii = 102,
  kBadControl = 103,
  kShortWorkspace = 104,
  kTraceNotOpened = 105,
  kMaxfunReached = 110,
  kStillInfeasible = 111,
  kBreakdown = 112,
  kNonFiniteStart = 113,
  kOnKink = 114,
  kNotFiniteNearBest = 115,
};

}  // namespace tbl::optbqa

extern "C" {

// All 37 arguments by address, then the length of TRACE.
void OPTBQA(const tbl::fint* n, double* x, const double* xl, const double* xu, const double* scale,
            const tbl::fint* meq, const tbl::fint* min, const double* f, const double* ceq, const double* cin,
            const tbl::fint* npt, const double* rhobeg, const double* rhoend, const tbl::fint* maxfun,
            const double* ftarget, double* pen, const double* pengrow, const double* penmax,
            const tbl::fint* maxrst, const double* rhorst, const double* ctol, const double* cwt,
            const tbl::fint* iptype, double* xbest, double* fbest, double* cviol, double* pbest, double* rho,
            tbl::fint* nfev, tbl::fint* nrst, const tbl::fint* iprint, const tbl::fint* iout,
            const tbl::fint* itrace, tbl::fint* info, double* w, const tbl::fint* lw, const char* trace,
            std::size_t ltrace);
}
