#include "bound_opt/optbqa_report.hpp"

#include <string>
#include <vector>

#include "bound_opt/optbqa.hpp"
#include "interface/fmt.hpp"

namespace tbl::optbqa {

namespace {

// Reals in the trace carry 17 significant digits, enough to read back the
// exact double that was written; the leading blank keeps negative values
// apart from their neighbours.
constexpr int kFixedReals = 5;  // PEN, F, CVIOL, P, RHO

const char* info_text(fint info, bool call_order) {
  switch (info) {
    case kConverged:
      return "converged: RHOEND reached with the constraints satisfied";
    case kTargetReached:
      return "FTARGET reached with the constraints satisfied";
    case kBadSizes:
      return call_order ? "INFO neither starts a problem (0) nor continues the live one (1)"
                        : "invalid N, NPT, MEQ or MIN";
    case kBadBounds:
      return "inconsistent bounds: XL > XU, or XU - XL < 2 RHOBEG SCALE";
    case kBadRadii:
      return "invalid radii: RHOBEG, RHOEND or RHORST";
    case kBadControl:
      return "invalid control argument";
    case kShortWorkspace:
      return "LW too small";
    case kTraceNotOpened:
      return "the trace file cannot be opened";
    case kMaxfunReached:
      return "MAXFUN evaluations reached";
    case kStillInfeasible:
      return "constraints still violated and no restart left";
    case kBreakdown:
      return "numerical breakdown of the model";
    case kNonFiniteStart:
      return "non-finite value at the starting point";
    case kOnKink:
      return "constraints met, but not shown optimal: IPTYPE = 2 ended on a kink and no restart is left";
    case kNotFiniteNearBest:
      return "non-finite value of F, CEQ or CIN near the best point";
    default:
      return "";
  }
}

}  // namespace

void write_trace_header(fint unit, const Controls& c) {
  io::write(unit, "('# VUR_OPTBQA trace')");
  io::write(unit, "('# N =',I8,'  NPT =',I8,'  MEQ =',I8,'  MIN =',I8)", c.n, c.npt, c.meq, c.min);
  io::write(unit, "('# MAXFUN =',I11,'  MAXRST =',I11,'  IPTYPE =',I2)", c.maxfun, c.maxrst, c.iptype);
  io::write(unit, "('# RHOBEG =',1P,E25.16E3,'  RHOEND =',E25.16E3,'  RHORST =',E25.16E3)", c.rhobeg,
            c.rhoend, c.rhorst);
  io::write(unit, "('# PEN =',1P,E25.16E3,'  PENGROW =',E25.16E3,'  PENMAX =',E25.16E3)", c.pen, c.pengrow,
            c.penmax);
  io::write(unit, "('# CTOL =',1P,E25.16E3,'  FTARGET =',E25.16E3)", c.ctol, c.ftarget);
  // The column names, right-aligned over their columns.
  const std::string record = "('#   NFEV',' RUN'," + std::to_string(kFixedReals + c.n) + "A25)";
  std::vector<std::string> xnames;
  xnames.reserve(c.n);
  for (fint j = 1; j <= c.n; ++j) xnames.push_back("X(" + std::to_string(j) + ")");
  io::FmtList names("PEN", "F", "CVIOL", "P", "RHO");
  for (const auto& name : xnames) names.add(name);
  io::write_list(unit, record, names);
}

void write_trace_line(fint unit, fint nfev, fint run, double pen, double f, double viol, double p, double rho,
                      const double* x, fint n) {
  const std::string record = "(I8,I4,1P," + std::to_string(kFixedReals + n) + "E25.16E3)";
  io::write(unit, record, nfev, run, pen, f, viol, p, rho, io::Reals{x, n});
}

void write_report(fint unit, const Summary& s) {
  io::write(unit, "('# VUR_OPTBQA: INFO =',I4,2X,A)", s.info, info_text(s.info, s.call_order));
  const Fault& fault = s.fault;
  if (s.info == kShortWorkspace) {
    io::write(unit, "('# LW =',I11,' is less than',I21)", static_cast<long long>(fault.have),
              static_cast<long long>(fault.need));
  } else if (s.info == kTraceNotOpened) {
    io::write(unit, "('# file: ',A)", fault.file);
  } else if (fault.argument != nullptr && fault.index > 0) {
    io::write(unit, "('# argument at fault: ',A,' entry',I11)", fault.argument,
              static_cast<long long>(fault.index));
  } else if (fault.argument != nullptr) {
    io::write(unit, "('# argument at fault: ',A)", fault.argument);
  }
  if (!s.evaluated) return;
  io::write(unit, "('# NFEV =',I11,'  NRST =',I11,'  RHO =',1P,E25.16E3,'  PEN =',E25.16E3)", s.nfev, s.nrst,
            s.rho, s.pen);
  io::write(unit, "('# FBEST =',1P,E25.16E3,'  CVIOL =',E25.16E3,'  PBEST =',E25.16E3)", s.fbest, s.cviol,
            s.pbest);
  io::write(unit, "('# XBEST =',1P,4E25.16E3,:,/,('#        ',1P,4E25.16E3))", io::Reals{s.xbest, s.n});
}

void write_restart_line(fint unit, fint nrst, double pen, double cviol, fint nfev) {
  io::write(unit, "('# VUR_OPTBQA: restart',I6,' with PEN =',1P,E12.4,', CVIOL =',E12.4,', NFEV =',I11)",
            nrst, pen, cviol, nfev);
}

void write_radius_line(fint unit, double rho, fint nfev, double pbest, double cviol) {
  io::write(unit, "('# VUR_OPTBQA: RHO =',1P,E12.4,', NFEV =',I11,', PBEST =',E25.16E3,', CVIOL =',E12.4)",
            rho, nfev, pbest, cviol);
}

}  // namespace tbl::optbqa
