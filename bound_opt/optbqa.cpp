// The optimiser behind VUR_OPTBQA: checks, the penalty, the restarts, the
// best point, the trace file and the report, around runs of the bound-
// constrained method (bqa.hpp).
//
// The method sees only the penalised value P = F + PEN * sum_i CWT(i) t_i,
// t_i = v_i^2 (IPTYPE 1) or |v_i| (IPTYPE 2), v the violations, as a
// function of x/SCALE.  When a run ends at RHOEND with its best point
// violating the constraints by more than CTOL, PEN grows by PENGROW and a
// new run starts from that point with radius RHORST.
//
// The ends that judge the function from the run that ended - converged,
// FTARGET reached, still infeasible, on a kink, breakdown of the model -
// stand only when that run rests on finite values: no interpolation point
// of its model and no evaluation at its current radius had F, CEQ or CIN not
// finite.  The stand-ins that take the place of such values let the run go
// on, but a model built on them says nothing of the function near the best
// point, and the problem ends saying so instead.
//
// A run under IPTYPE 2 that ends on the kink of some |v_i| has not shown
// that its point is a minimiser: the quadratic models cannot see past the
// kink, so the radius comes down wherever the constraint set bends away
// from the steps.  Such an end is not taken as convergence: the restart
// that follows uses the smooth penalty of IPTYPE 1, whose runs end only
// where the model is stationary, and the problem keeps it to the end.
//
// SavedState: the problem's scalars live here between calls (one live
// problem); its arrays live in the host's W.
#include "bound_opt/optbqa.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <string_view>

#include "bound_opt/bqa.hpp"
#include "bound_opt/optbqa_report.hpp"
#include "interface/units.hpp"

namespace tbl::optbqa {

std::int64_t workspace_length(std::int64_t n, std::int64_t npt) { return bqa::workspace_length(n, npt); }

namespace {

// Scaled bounds beyond this magnitude count as absent; it keeps the
// method's arithmetic with the bounds finite.
constexpr double kFarBound = 1.0e100;
// The least stand-in for a value that is not finite, in the method's units.
constexpr double kVeryLarge = 1.0e30;

struct Problem {
  bool live = false;
  Controls c;
  fint lw = 0, iprint = 0, iout = -1;
  bool tracing = false;
  double pen = 0.0;
  fint penalty = 1;  // the IPTYPE in force: 2 turns into 1 after a run ends on the kink
  fint nfev = 0, nrst = 0;
  // The best point of the current run, by P with the current PEN: its
  // penalty terms, their IPTYPE 1 form (for a switch of penalty), and
  // whether a weighted constraint holds there to CTOL.
  bool have_best = false, best_on_kink = false;
  double fbest = 0.0, cviol = 0.0, pbest = 0.0, best_terms = 0.0, best_squares = 0.0;
  // A point evaluated at the last radius of the current run violated a
  // weighted constraint: the run's last models reached across a kink.
  bool last_radius_violation = false;
  double largest = 0.0;  // the largest finite |P| met, in the method's units
  // The method sees P times UNIT, a power of two that brings the first
  // value to [1, 2): the method is unchanged by such a factor, but its
  // squares of gradients and curvatures would overflow or underflow for
  // values far from 1 and end a run at its start as if converged.
  double unit = 1.0;
  bqa::Run run;
};

Problem g_problem;

// The host's arguments of one call.
struct Args {
  const fint *n, *meq, *min, *npt, *maxfun, *maxrst, *iptype, *iprint, *iout, *itrace, *lw;
  double* x;
  const double *xl, *xu, *scale, *f, *ceq, *cin, *rhobeg, *rhoend, *ftarget, *pengrow, *penmax, *rhorst,
      *ctol, *cwt;
  double *pen, *xbest, *fbest, *cviol, *pbest, *rho, *w;
  fint *nfev, *nrst, *info;
  const char* trace;
  std::size_t ltrace;
};

bool positive_finite(double v) { return std::isfinite(v) && v > 0.0; }

// The first failure of the checks made before anything else, or 0.
fint check_arguments(const Args& a, Fault& fault) {
  const std::int64_t n = *a.n, npt = *a.npt;
  auto fail = [&](fint code, const char* argument, std::int64_t index = 0) {
    fault.argument = argument;
    fault.index = index;
    return code;
  };
  if (n < 1) return fail(kBadSizes, "N");
  if (*a.meq < 0) return fail(kBadSizes, "MEQ");
  if (*a.min < 0) return fail(kBadSizes, "MIN");
  if (npt < n + 2 || npt > (n + 1) * (n + 2) / 2) return fail(kBadSizes, "NPT");

  const double rhobeg = *a.rhobeg;
  for (std::int64_t j = 0; j < n; ++j) {
    const double lo = a.xl[j], hi = a.xu[j];
    if (!(lo <= hi)) return fail(kBadBounds, "XL, XU", j + 1);
    // The width against the radius only where both are valid; otherwise the
    // radius or the scale is what is wrong.
    if (positive_finite(rhobeg) && positive_finite(a.scale[j]) && !(hi - lo >= 2.0 * rhobeg * a.scale[j]))
      return fail(kBadBounds, "XL, XU", j + 1);
  }

  const double rhoend = *a.rhoend, rhorst = *a.rhorst;
  if (!positive_finite(rhobeg)) return fail(kBadRadii, "RHOBEG");
  if (!positive_finite(rhoend) || rhoend > rhobeg) return fail(kBadRadii, "RHOEND");
  if (!(rhorst >= rhoend && rhorst <= rhobeg)) return fail(kBadRadii, "RHORST");

  for (std::int64_t j = 0; j < n; ++j)
    if (!positive_finite(a.scale[j])) return fail(kBadControl, "SCALE", j + 1);
  const std::int64_t ncon = std::int64_t(*a.meq) + *a.min;
  for (std::int64_t i = 0; i < ncon; ++i)
    if (!(std::isfinite(a.cwt[i]) && a.cwt[i] >= 0.0)) return fail(kBadControl, "CWT", i + 1);
  if (!positive_finite(*a.pen)) return fail(kBadControl, "PEN");
  if (!(std::isfinite(*a.pengrow) && *a.pengrow > 1.0)) return fail(kBadControl, "PENGROW");
  if (!(*a.penmax >= *a.pen)) return fail(kBadControl, "PENMAX");
  if (*a.maxrst < 0) return fail(kBadControl, "MAXRST");
  if (!(*a.ctol >= 0.0)) return fail(kBadControl, "CTOL");
  if (*a.iptype != 1 && *a.iptype != 2) return fail(kBadControl, "IPTYPE");
  if (std::int64_t(*a.maxfun) < npt + 1) return fail(kBadControl, "MAXFUN");
  // A NaN target compares false with every P: it would pass for no target.
  if (std::isnan(*a.ftarget)) return fail(kBadControl, "FTARGET");

  const std::int64_t need = workspace_length(n, npt);
  if (*a.lw < need) {
    fault.have = *a.lw;
    fault.need = need;
    return kShortWorkspace;
  }
  return 0;
}

// The penalty terms and the largest violation of the constraint values.
struct Violation {
  double terms = 0.0;    // sum_i CWT(i) t_i
  double squares = 0.0;  // sum_i CWT(i) v_i^2
  double largest = 0.0;
  bool finite = true;
  // A constraint with a positive weight within CTOL of holding exactly,
  // where |v_i| has its kink; one with a positive weight violated.
  bool on_kink = false, weighted_violation = false;
};

Violation violation_of(const Args& a, fint iptype, double ctol) {
  Violation v;
  const std::int64_t meq = *a.meq, ncon = meq + *a.min;
  for (std::int64_t i = 0; i < ncon; ++i) {
    const double value = i < meq ? a.ceq[i] : a.cin[i - meq];
    if (!std::isfinite(value)) {
      v.finite = false;
      continue;
    }
    const double viol = i < meq ? std::fabs(value) : std::max(value, 0.0);
    v.largest = std::max(v.largest, viol);
    v.terms += a.cwt[i] * (iptype == 1 ? viol * viol : viol);
    v.squares += a.cwt[i] * (viol * viol);
    if (a.cwt[i] > 0.0) {
      v.on_kink = v.on_kink || std::fabs(value) <= ctol;
      v.weighted_violation = v.weighted_violation || viol > 0.0;
    }
  }
  if (!v.finite) v.largest = INFINITY;
  return v;
}

// The host's point for the method's scaled point XEVAL: on a finite bound
// exactly where XEVAL is on the scaled bound.
void host_point(const Args& a, const bqa::Work& w, double* x) {
  for (fint j = 1; j <= w.n; ++j) {
    const double lo = a.xl[j - 1], hi = a.xu[j - 1];
    double v = std::min(hi, std::max(lo, w.xeval(j) * a.scale[j - 1]));
    if (w.xeval(j) <= w.xls(j) && std::isfinite(lo)) v = lo;
    if (w.xeval(j) >= w.xus(j) && std::isfinite(hi)) v = hi;
    x[j - 1] = v;
  }
}

void write_outputs(const Args& a) {
  const Problem& p = g_problem;
  *a.nfev = p.nfev;
  *a.nrst = p.nrst;
  *a.rho = p.run.rho;
  *a.pen = p.pen;
  if (p.have_best) {
    *a.fbest = p.fbest;
    *a.cviol = p.cviol;
    *a.pbest = p.pbest;
  }
}

// P in the method's units; a value that is not finite there becomes a
// stand-in larger than any met.
double method_value(Problem& p, double pval) {
  const double value = pval * p.unit;
  if (std::isfinite(value)) {
    p.largest = std::max(p.largest, std::fabs(value));
    return value;
  }
  return std::min(std::max(kVeryLarge, 10.0 * p.largest), DBL_MAX);
}

bool printing(const Problem& p, fint level) { return p.iprint >= level && p.iout >= 0; }

// Ends the live problem (or a call that never started one) with CODE.
void finish(const Args& a, fint code, const Fault& fault = Fault{}, bool call_order = false) {
  Problem& p = g_problem;
  *a.info = code;
  Summary s;
  s.info = code;
  s.call_order = call_order;
  s.fault = fault;
  // After a call out of order the host's arrays may no longer have the
  // problem's sizes: none of them is written.
  s.evaluated = p.live && p.nfev > 0 && !call_order;
  if (s.evaluated) {
    write_outputs(a);
    for (fint j = 0; j < p.c.n; ++j) a.x[j] = a.xbest[j];
    s.n = p.c.n;
    s.nfev = p.nfev;
    s.nrst = p.nrst;
    s.rho = p.run.rho;
    s.pen = p.pen;
    s.fbest = p.fbest;
    s.cviol = p.cviol;
    s.pbest = p.pbest;
    s.xbest = a.xbest;
  }
  if (printing(p, 1)) write_report(p.iout, s);
  if (p.live && p.tracing) {
    write_report(kTraceUnit, s);
    io::unit_detach(kTraceUnit);
  }
  p.live = false;
  p.tracing = false;
}

// CODE, a judgement of the function from the run that ended, when that run
// rests on finite values.
fint judged(fint code) { return bqa::rests_on_finite(g_problem.run) ? code : kNotFiniteNearBest; }

void on_new_radius(void* context, double rho) {
  const Problem& p = *static_cast<const Problem*>(context);
  if (printing(p, 3)) write_radius_line(p.iout, rho, p.nfev, p.pbest, p.cviol);
}

// Carries the method's outcome on to the next request or the end, through
// restarts.
void proceed(const Args& a, const bqa::Work& w, bqa::Outcome outcome) {
  Problem& p = g_problem;
  for (;;) {
    if (outcome == bqa::Outcome::Evaluate) {
      if (p.nfev < p.c.maxfun) {
        host_point(a, w, a.x);
        write_outputs(a);
        *a.info = kEvaluate;
        return;
      }
      // The last short step of a finished run is worth a try, not a failure.
      if (p.run.phase != bqa::Phase::FinalProbe) return finish(a, kMaxfunReached);
      outcome = bqa::Outcome::Converged;
    }
    if (outcome == bqa::Outcome::Breakdown) return finish(a, judged(kBreakdown));
    // The run has reached RHOEND.  Under IPTYPE 2 its end proves nothing
    // when it is on the kink of some |v_i|: a weighted constraint holds to
    // CTOL at the best point, or the last radius tried points that violate
    // one.  The restart then uses the smooth penalty, for the rest of the
    // problem.
    const bool feasible = p.cviol <= p.c.ctol;
    const bool on_kink = p.penalty == 2 && (p.best_on_kink || p.last_radius_violation);
    p.last_radius_violation = false;
    if (feasible && !on_kink) return finish(a, judged(kConverged));
    if (p.nrst >= p.c.maxrst || !(p.pen * p.c.pengrow <= p.c.penmax))
      return finish(a, judged(feasible ? kOnKink : kStillInfeasible));
    if (p.nfev >= p.c.maxfun) return finish(a, kMaxfunReached);
    p.pen *= p.c.pengrow;
    ++p.nrst;
    if (on_kink) {
      p.penalty = 1;
      p.best_terms = p.best_squares;
    }
    p.pbest = p.fbest + p.pen * p.best_terms;
    if (printing(p, 2)) write_restart_line(p.iout, p.nrst, p.pen, p.cviol, p.nfev);
    const double known = method_value(p, p.pbest);
    outcome = bqa::start(p.run, w, w.xkeep.data(), p.c.rhorst, p.c.rhoend, &known);
  }
}

void start_problem(const Args& a) {
  Problem& p = g_problem;
  // A problem still live is abandoned: its trace file is closed as it is.
  if (p.live && p.tracing) io::unit_detach(kTraceUnit);
  p = Problem{};
  p.iprint = *a.iprint;
  p.iout = *a.iout;
  *a.nfev = 0;
  *a.nrst = 0;

  Fault fault;
  if (fint code = check_arguments(a, fault); code != 0) return finish(a, code, fault);
  Controls& c = p.c;
  c.n = *a.n, c.npt = *a.npt, c.meq = *a.meq, c.min = *a.min;
  c.maxfun = *a.maxfun, c.maxrst = *a.maxrst, c.iptype = *a.iptype;
  c.rhobeg = *a.rhobeg, c.rhoend = *a.rhoend, c.rhorst = *a.rhorst;
  c.pen = *a.pen, c.pengrow = *a.pengrow, c.penmax = *a.penmax, c.ctol = *a.ctol, c.ftarget = *a.ftarget;
  p.lw = *a.lw;
  p.pen = c.pen;
  p.penalty = c.iptype;

  if (*a.itrace != 0) {
    std::string_view base(a.trace, a.ltrace);
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const std::string name = std::string(base) + ".vorex";
    if (!io::unit_open_private(kTraceUnit, name)) {
      fault.file = name;
      return finish(a, kTraceNotOpened, fault);
    }
    p.tracing = true;
    write_trace_header(kTraceUnit, c);
  }
  p.live = true;

  // The start inside the bounds: a finite point that the method can hold in
  // its scaled variables (beyond kFarBound it would take the start for a
  // point past bounds that it treats as absent, and move it).
  const bqa::Work w(a.w, c.n, c.npt);
  for (fint j = 1; j <= c.n; ++j) {
    const double x0 = std::min(a.xu[j - 1], std::max(a.xl[j - 1], a.x[j - 1]));
    const double scaled = x0 / a.scale[j - 1];
    if (std::isnan(a.x[j - 1]) || !(std::fabs(scaled) <= kFarBound)) {
      fault.argument = "X";
      fault.index = j;
      return finish(a, kNonFiniteStart, fault);
    }
    w.xls(j) = std::max(a.xl[j - 1] / a.scale[j - 1], -kFarBound);
    w.xus(j) = std::min(a.xu[j - 1] / a.scale[j - 1], kFarBound);
    w.xkeep(j) = scaled;
  }
  proceed(a, w, bqa::start(p.run, w, w.xkeep.data(), c.rhobeg, c.rhoend, nullptr));
}

// The values at the point of the last request.
void take_values(const Args& a) {
  Problem& p = g_problem;
  const bqa::Work w(a.w, p.c.n, p.c.npt);
  const Violation v = violation_of(a, p.penalty, p.c.ctol);
  const double f = *a.f;
  const double pval = f + p.pen * v.terms;
  // A P that overflows from finite values is a very large value, not one
  // the host failed to give.
  const bool given = std::isfinite(f) && v.finite;
  const bool finite = given && std::isfinite(pval);
  ++p.nfev;
  if (v.weighted_violation && p.run.rho <= p.c.rhoend) p.last_radius_violation = true;
  // The point asked for, as the request gave it (the host may have
  // overwritten X).
  host_point(a, w, a.x);
  if (p.tracing)
    write_trace_line(kTraceUnit, p.nfev, p.nrst, p.pen, f, v.largest, pval, p.run.rho, a.x, p.c.n);

  const bool first = !p.have_best;
  if (finite && (first || pval < p.pbest)) {
    p.have_best = true;
    p.fbest = f;
    p.cviol = v.largest;
    p.pbest = pval;
    p.best_terms = v.terms;
    p.best_squares = v.squares;
    p.best_on_kink = v.on_kink;
    for (fint j = 1; j <= p.c.n; ++j) {
      a.xbest[j - 1] = a.x[j - 1];
      w.xkeep(j) = w.xeval(j);
    }
  }
  if (first && !finite) {
    p.have_best = true;
    p.fbest = f;
    p.cviol = v.largest;
    p.pbest = pval;
    for (fint j = 0; j < p.c.n; ++j) a.xbest[j] = a.x[j];
    return finish(a, kNonFiniteStart);
  }
  if (first && pval != 0.0) p.unit = std::ldexp(1.0, std::clamp(-std::ilogb(pval), -1022, 1022));
  if (p.pbest <= p.c.ftarget && p.cviol <= p.c.ctol)
    return finish(a, given ? judged(kTargetReached) : kNotFiniteNearBest);

  const bqa::RadiusObserver obs{on_new_radius, &p};
  proceed(a, w, bqa::resume(p.run, w, method_value(p, finite ? pval : NAN), obs, !given));
}

}  // namespace
}  // namespace tbl::optbqa

extern "C" void OPTBQA(const tbl::fint* n, double* x, const double* xl, const double* xu, const double* scale,
                       const tbl::fint* meq, const tbl::fint* min, const double* f, const double* ceq,
                       const double* cin, const tbl::fint* npt, const double* rhobeg, const double* rhoend,
                       const tbl::fint* maxfun, const double* ftarget, double* pen, const double* pengrow,
                       const double* penmax, const tbl::fint* maxrst, const double* rhorst,
                       const double* ctol, const double* cwt, const tbl::fint* iptype, double* xbest,
                       double* fbest, double* cviol, double* pbest, double* rho, tbl::fint* nfev,
                       tbl::fint* nrst, const tbl::fint* iprint, const tbl::fint* iout,
                       const tbl::fint* itrace, tbl::fint* info, double* w, const tbl::fint* lw,
                       const char* trace, std::size_t ltrace) {
  using namespace tbl::optbqa;
  const Args a{n,   meq,   min,   npt,   maxfun, maxrst, iptype, iprint,  iout,    itrace, lw,     x,     xl,
               xu,  scale, f,     ceq,   cin,    rhobeg, rhoend, ftarget, pengrow, penmax, rhorst, ctol,  cwt,
               pen, xbest, fbest, cviol, pbest,  rho,    w,      nfev,    nrst,    info,   trace,  ltrace};
  Problem& p = g_problem;
  if (*info == kStart) return start_problem(a);
  // Only the live problem, with the sizes it started with, can go on.
  const bool continues = *info == kEvaluate && p.live && *n == p.c.n && *npt == p.c.npt && *meq == p.c.meq &&
                         *min == p.c.min && *lw == p.lw;
  if (!continues) {
    if (!p.live) {
      p.iprint = *iprint;
      p.iout = *iout;
    }
    return finish(a, kBadSizes, Fault{}, true);
  }
  take_values(a);
}
