// The derivative-free trust-region method under simple bounds: quadratic
// models that interpolate the objective at NPT points, each new model the
// one whose second-derivative change has the least Frobenius norm, steps
// from a box-constrained truncated conjugate gradient, and geometry steps
// that keep the interpolation points well poised.
//
// The method knows nothing of penalties, restarts or files: it minimises one
// function of scaled variables inside scaled bounds, asking its caller for
// each value by reverse communication.  All arrays live in the caller's
// workspace (Work); the scalars that must survive between requests live in
// Run, which the caller keeps.
#pragma once

#include <bitset>
#include <cstdint>

#include "interface/common.hpp"

namespace tbl::bqa {

// Length of the workspace that Work lays out for n variables and npt points.
std::int64_t workspace_length(std::int64_t n, std::int64_t npt);

// Views of the method's arrays in the caller's workspace.  Points are held
// relative to XBASE; SL and SU are the bounds relative to XBASE.
//
// The matrix H, the inverse of the interpolation system, is kept as BMAT
// ((NPT+N) x N: the rows of the gradient parts for the NPT points, then the
// N x N block that belongs to the linear terms) and ZMAT (NPT x (NPT-N-1)),
// the factor of its leading NPT x NPT block, Omega = ZMAT ZMAT'.  The model
// is fval(kopt) + GOPT'd + d'(HQ + sum_k PQ(k) XPT(k) XPT(k)')d / 2 around
// XOPT, HQ packed by columns of its upper triangle.
struct Work {
  Work(double* w, fint n, fint npt);

  fint n, npt, ndim, nptm;
  Mat1<double> xpt, bmat, zmat;
  Vec1<double> xbase, xls, xus, sl, su, xopt, gopt, hq, pq, fval;
  Vec1<double> xnew, xalt, d, vlag, wv, wd, gnew, xbdi, s, hs, hred, glag, hcol, wsave, wu;
  Vec1<double> hv;     // scratch of hess_times only
  Vec1<double> xeval;  // the point of the next request, in scaled variables
  Vec1<double> xkeep;  // for the caller: a point kept between runs
};

// Where a run stands between two requests.
enum class Phase : fint { Idle = 0, Initial = 1, Trial = 2, FinalProbe = 3 };

// More interpolation points than any workspace of 32-bit length can hold:
// NPT*(NPT+N+7) words with N >= 1 would pass INT32_MAX.
inline constexpr fint kMaxPoints = 46341;
static_assert(std::int64_t(kMaxPoints) * (kMaxPoints + 8) > INT32_MAX);

struct Run {
  Phase phase = Phase::Idle;
  double rho = 0, rhoend = 0, delta = 0, rinit = 0;  // rinit: radius of the initial points
  fint kinit = 0;                                    // the initial point whose value is awaited
  bool rebuilt = false;                              // the initial points of a rebuild, not of a start
  fint nf = 0;                                       // points evaluated in this run
  fint nfsav = 0, nresc = 0, kopt = 1, knew = 0, ntrits = 0, itest = 0;
  double diffa = 0, diffb = 0, diffc = 0, ratio = 1, dnorm = 0, dsq = 0, crvmin = 0;
  double vquad = 0, beta = 0, denom = 0, alpha = 0, cauchy = 0, xoptsq = 0, fbeg = 0;
  // The interpolation points whose value stands in for one that was not
  // finite (by index, 1..NPT), how many there are, and whether such a value
  // came at the current radius: a run that ends with any of them has not
  // seen the function near its best point.
  std::bitset<kMaxPoints> stand_in;
  fint stand_ins = 0;
  bool stand_in_at_rho = false;

  void mark(fint k, bool value) {
    if (stand_in[k] != value) stand_ins += value ? 1 : -1;
    stand_in[k] = value;
  }
};

// Whether the run's model and its evaluations at the current radius rest on
// finite values only.
inline bool rests_on_finite(const Run& run) { return run.stand_ins == 0 && !run.stand_in_at_rho; }

enum class Outcome {
  Evaluate,   // the value at XEVAL is wanted
  Converged,  // the radius has come down to RHOEND
  Breakdown,  // the model can no longer be trusted, even after a rebuild
};

// Called for each new trust-region radius RHO, with the points so far.
struct RadiusObserver {
  void (*call)(void* context, double rho) = nullptr;
  void* context = nullptr;
};

// Starts a run at X0 (scaled) inside XLS..XUS, which the caller has set in
// the workspace; RHOBEG <= (XUS-XLS)/2 everywhere; NPT < kMaxPoints.
// KNOWN, when not null, is the finite value at X0 itself, used if the first
// point is X0 unchanged.
Outcome start(Run& run, const Work& w, const double* x0, double rhobeg, double rhoend, const double* known);

// Hands the value at the last XEVAL to the run and goes on to the next
// request or the end.  The value must be finite; STAND_IN says that it is
// the caller's stand-in for a value that was not.
Outcome resume(Run& run, const Work& w, double f, const RadiusObserver& obs, bool stand_in = false);

// The pieces of the method, on the workspace.
namespace detail {
// out = (HQ + sum_k PQ(k) XPT(k) XPT(k)') v
void hess_times(const Work& w, const Vec1<double>& v, const Vec1<double>& out);
// out(k) = XPT(k)'v and out(k) = |XPT(k) - x|^2 for every point, reading
// XPT by columns.
void point_dots(const Work& w, const Vec1<double>& v, const Vec1<double>& out);
void point_distances(const Work& w, const Vec1<double>& x, const Vec1<double>& out);
// Interpolation point k of the initial set and the model and H entries that
// its value F completes.
void initial_point(const Work& w, fint k, double rinit);
void record_initial_value(const Work& w, Run& run, fint k, double f);
// The values of the Lagrange functions at XOPT + D (VLAG) and the BETA of
// the denominators of the update.
double lagrange_values(const Work& w, fint kopt, double xoptsq);
// H after replacing point KNEW by XOPT + D, given VLAG, BETA and DENOM.
void update_h(const Work& w, fint knew, double beta, double denom);
// Moves XBASE to XBASE + XOPT, keeping H and the model.
void shift_base(const Work& w);
// The step D (and XNEW = XOPT + D) that reduces the model inside the
// trust region of radius DELTA and the bounds; GNEW the model gradient at
// XNEW.  DSQ = |D|^2, or NaN when the model's numbers overflow; CRVMIN the
// least curvature met (0 when the step ends on the trust-region boundary).
void trust_region_step(const Work& w, double delta, double& dsq, double& crvmin);
// A step within ADELT of XOPT that makes |L_knew| large (XNEW), and the
// constrained Cauchy step for the same aim (XALT).
void geometry_step(const Work& w, fint kopt, fint knew, double adelt, double& alpha, double& cauchy);
}  // namespace detail

}  // namespace tbl::bqa
