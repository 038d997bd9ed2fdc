// DI23AD: sparse nonlinear least squares, min ||F(x)||, and nonlinear
// equations F(x) = 0, by a Levenberg-Marquardt method with reverse
// communication.
//
// Each step solves (J'J + mu D^2) p = -J'f by MA57 on the pattern of J'J
// analysed once at the start, factorising without pivoting.  A trial point
// is accepted when ||F|| falls and the ratio of actual to predicted
// reduction is at least 1e-4; the damping factor then shrinks by
// max(1/3, 1 - (2 rho - 1)^3), and after a rejection grows by a factor that
// doubles with each rejection in a row.  The Jacobian comes from the host or
// from grouped finite differences (TD22).  Products with J and J' go
// through MC09AD.
//
// The host's arrays are never trusted: a residual or Jacobian value that is
// not finite stops the start, and rejects a later point (a run of
// Jacobians that are not finite ends the problem); the state kept in IW is
// checked against the call before it is used.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "interface/fmt.hpp"
#include "interface/machine.hpp"
#include "nonlinear/di23.hpp"
#include "nonlinear/td22.hpp"
#include "sparse_utils/coord.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_solve.hpp"

namespace tbl::di23 {

// ---------------------------------------------------------------------------
// Helpers shared with the start.

double norm2(const double* v, i64 n) {
  double sum = 0;
  for (i64 i = 0; i < n; ++i) sum += v[i] * v[i];
  if (sum > 1e-290 && sum < 1e290) return std::sqrt(sum);
  // Scaled accumulation when squares overflow or underflow.
  double scale = 0, ssq = 1;
  for (i64 i = 0; i < n; ++i) {
    const double x = std::fabs(v[i]);
    if (x == 0) continue;
    if (!(x <= scale)) {
      ssq = 1 + ssq * (scale / x) * (scale / x);
      scale = x;
    } else {
      ssq += (x / scale) * (x / scale);
    }
  }
  return scale * std::sqrt(ssq);
}

double scaled_norm2(const double* d, const double* v, i64 n) {
  double sum = 0;
  for (i64 i = 0; i < n; ++i) sum += (d[i] * v[i]) * (d[i] * v[i]);
  if (sum > 1e-290 && sum < 1e290) return std::sqrt(sum);
  double scale = 0, ssq = 1;
  for (i64 i = 0; i < n; ++i) {
    const double x = std::fabs(d[i] * v[i]);
    if (x == 0) continue;
    if (!(x <= scale)) {
      ssq = 1 + ssq * (scale / x) * (scale / x);
      scale = x;
    } else {
      ssq += (x / scale) * (x / scale);
    }
  }
  return scale * std::sqrt(ssq);
}

i64 first_nonfinite(const double* v, i64 n) {
  for (i64 i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return i + 1;
  return 0;
}

bool controls_valid(const Args& a, bool check_d) {
  Vec1<const fint> icntl(a.ICNTL), icntlm(a.ICNTLM);
  Vec1<const double> cntl(a.CNTL), cntld(a.CNTLD), cntlm(a.CNTLM);
  Vec1<fint> info(a.INFO);
  auto bad = [&](fint which, i64 k) {
    info(2) = static_cast<fint>(k);
    info(3) = which;
    return false;
  };
  if (icntl(5) != 0 && icntl(5) != 1) return bad(1, 5);
  if (icntl(6) < 1) return bad(1, 6);
  if (icntl(7) < 1) return bad(1, 7);
  if (icntl(8) != 1 && icntl(8) != 2) return bad(1, 8);
  if (icntl(9) != 0 && icntl(9) != 1) return bad(1, 9);
  for (int k = 1; k <= 5; ++k)
    if (!(std::isfinite(cntl(k)) && cntl(k) >= 0)) return bad(2, k);
  for (int k = 1; k <= 2; ++k)
    if (!(std::isfinite(cntld(k)) && cntld(k) >= 0)) return bad(3, k);
  // MA57 must order the pattern itself and pivot in that order.
  if (icntlm(6) == 1) return bad(4, 6);
  if (icntlm(7) != 2 && icntlm(7) != 3) return bad(4, 7);
  if (!(std::isfinite(cntlm(2)) && cntlm(2) >= 0)) return bad(5, 2);
  if (check_d) {
    const fint n = *a.N;
    for (fint j = 1; j <= n; ++j)
      if (!(std::isfinite(a.D[j - 1]) && a.D[j - 1] > 0)) return bad(6, j);
  }
  return true;
}

void print_error(const fint* icntl, fint code, i64 v1, i64 v2, i64 v3, const char* text, double r) {
  const fint unit = icntl[0];
  if (unit <= 0 || icntl[3] < 1) return;
  const long long a = v1, b = v2, c = v3;
  io::write(unit, "(/,' *** Error return from DI23AD ***  IREQ =',I3)", code);
  switch (code) {
    case -1:
      io::write(unit, "(' M =',I10,'   N =',I10,'   NE =',I10)", a, b, c);
      break;
    case -2:
      io::write(unit, "(' Entry',I10,' (',I10,',',I10,') is ',A)", a, b, c, text);
      break;
    case -3:
      io::write(unit, "(' LIW =',I11,' is less than',I11)", a, b);
      break;
    case -4:
      io::write(unit, "(' LW =',I11,' is less than',I11)", a, b);
      break;
    case -5:
      io::write(unit, "(' Limit of',I10,' residual evaluations reached')", a);
      break;
    case -6:
      io::write(unit, "(' Limit of',I10,' iterations reached')", a);
      break;
    case -7:
      io::write(unit, "(' Non-finite ',A,' at the start, component',I11)", text, a);
      break;
    case -8: {
      static const char* const kNames[] = {"", "ICNTL", "CNTL", "CNTLD", "ICNTLM", "CNTLM", "D"};
      if (b >= 1 && b <= 5)
        io::write(unit, "(' Invalid ',A,'(',I2,')')", kNames[b], a);
      else if (b == 6)
        io::write(unit, "(' Invalid scaling ',A,'(',I10,')')", kNames[b], a);
      else
        io::write(unit, "(' IREQ =',I11,' does not continue the problem held in IW')", a);
      break;
    }
    case -9:
      io::write(unit, "(' Factorization fails after',I3,' doublings of the damping term; MA57 INFO(1) =',I4)", a, b);
      break;
    case -10:
      io::write(unit, "(' No step reduces ||F|| from the best point any more; damping factor =',1P,D12.4)", r);
      break;
    case -11:
      io::write(unit, "(' Workspace changed between calls: IW(',I10,') is not as DI23AD left it')", a);
      break;
    case -12:
      io::write(unit, "(' Non-finite Jacobian value at',I3,' trial points in a row, component',I11)", b, a);
      break;
    default:
      break;
  }
}

namespace {

constexpr double kAccept = 1e-4;  // smallest ratio of actual to predicted reduction accepted

// One call of DI23AD on a live problem.
class Solver {
 public:
  explicit Solver(const Args& a)
      : a_(a),
        sizes_(kept_sizes(a.IW)),
        lay_(sizes_),
        iw_(a.IW),
        w_(a.W),
        icntl_(a.ICNTL),
        cntl_(a.CNTL),
        info_(a.INFO),
        rinfo_(a.RINFO) {}

  // Whether IW holds a problem that this call continues.
  static bool holds_problem(const Args& a);
  void resume();

 private:

  // Sections of the workspace.
  double* d() const { return w_.at(lay_.d); }
  double* x(fint slot) const { return w_.at(lay_.xs + slot * sizes_.n); }
  double* f(fint slot) const { return w_.at(lay_.fs + slot * sizes_.m); }
  double* aj(fint slot) const { return w_.at(lay_.ajs + slot * sizes_.ne); }
  fint current() const { return iw_(kCurrent); }
  fint candidate() const { return 1 - iw_(kCurrent); }
  fint& phase_word() const { return iw_(kPhase); }
  double& mu() const { return w_(kMu); }
  double& nu() const { return w_(kNu); }

  bool ask_residuals(Phase next);
  void begin_jacobian();
  void host_jacobian();
  void estimated_jacobian();
  void jacobian_ready();
  void reject_candidate(const char* why);
  void nonfinite_jacobian(i64 entry);
  void nonfinite_end();
  void compute_step();
  bool factorise_and_solve();
  void trial_done();
  void commit_candidate();
  bool raise_damping();
  void stalled(fint why);
  // The scaled gradient at the current point is at most sqrt(CNTL(2)):
  // along any scaled column the linear model then offers a relative
  // reduction of ||F||^2 of about CNTL(2) at most.
  bool flat() const { return w_(kGnorm) * w_(kGnorm) <= cntl_(2); }
  // The scaled gradient passes test 4 or the level of test 2: the only
  // points where a test other than ||F|| <= CNTL(1) may end the solve.
  bool stationary() const { return w_(kGnorm) <= cntl_(4) || flat(); }
  // Whether the current point was reached by an accepted step, while a
  // trial, already counted in NITER, is being evaluated.
  bool past_start() const { return i64{iw_(kNiter)} - iw_(kNreject) > 1; }
  double damping_floor() const;
  void assemble_normal_matrix();
  void update_scaling_and_gradient();

  void succeed(fint test);
  void fail(fint code, i64 detail = 0, i64 sub = 0, bool candidate_best = false);
  void publish_point(bool candidate_best = false) const;
  void publish();
  void monitor_step(bool accepted) const;

  const Args& a_;
  const Sizes sizes_;
  const Layout lay_;
  Vec1<fint> iw_;
  Vec1<double> w_;
  Vec1<const fint> icntl_;
  Vec1<const double> cntl_;
  Vec1<fint> info_;
  Vec1<double> rinfo_;
};

bool Solver::holds_problem(const Args& a) {
  if (*a.LIW < kIwHeader) return false;
  Vec1<const fint> h(a.IW);
  if (h(kMagicAt) != kMagic) return false;
  if (h(kM) != *a.M || h(kN) != *a.N || h(kNE) != *a.NE || h(kLIW) != *a.LIW || h(kLW) != *a.LW) return false;
  // A phase word outside its values is a changed workspace, which the
  // check of the kept state reports.
  const auto ph = static_cast<Phase>(h(kPhase));
  if (h(kPhase) < static_cast<fint>(Phase::StartF) || h(kPhase) > static_cast<fint>(Phase::Trial))
    return ph != Phase::Idle;
  const fint expect = ph == Phase::HostJ ? 2 : 1;
  return *a.IREQ == expect;
}

// ---------------------------------------------------------------------------
// Reporting.

// X, F and FNORM from the current point, or from the candidate when it is
// the better one (an accepted trial, or the start, still waiting for its
// Jacobian).
void Solver::publish_point(bool candidate_best) const {
  const bool cand = candidate_best || !iw_(kStarted);
  const fint best = cand ? candidate() : current();
  std::copy(x(best), x(best) + sizes_.n, a_.X);
  std::copy(f(best), f(best) + sizes_.m, a_.F);
  *a_.FNORM = cand ? w_(kFcand) : w_(kFnorm);
}

void Solver::publish() {
  *a_.NFEV = iw_(kNfev);
  *a_.NJEV = iw_(kNjev);
  *a_.NITER = iw_(kNiter);
  info_(4) = iw_(kNejtj);
  info_(5) = iw_(kNgroup);
  info_(6) = iw_(kFactorEntries);
  info_(7) = iw_(kDelayed);
  info_(8) = iw_(kLfact);
  info_(9) = iw_(kLifact);
  info_(10) = iw_(kNfact);
  info_(11) = iw_(kNdoubling);
  info_(12) = iw_(kNreject);
  info_(13) = iw_(kNnonfinite);
  info_(14) = iw_(kNeedIW);
  info_(15) = iw_(kNeedW);
  info_(16) = iw_(kMa57Status);
  rinfo_(1) = *a_.FNORM;
  rinfo_(2) = w_(kFnorm0);
  rinfo_(3) = mu();
  rinfo_(4) = w_(kGnorm);
  rinfo_(5) = w_(kStep);
  rinfo_(6) = w_(kXnorm);
  rinfo_(7) = w_(kRatio);
  rinfo_(8) = w_(kAred);
  rinfo_(9) = w_(kPred);
}

void Solver::monitor_step(bool accepted) const {
  const fint unit = icntl_(3);
  if (unit <= 0 || icntl_(4) < 3) return;
  const double shown = accepted ? w_(kFcand) : w_(kFnorm);
  io::write(unit, "(I7,I8,1P,4D13.4,2X,A)", iw_(kNiter), iw_(kNfev), shown, mu(), w_(kGnorm), w_(kStep),
            accepted ? "accepted" : "rejected");
}

void Solver::succeed(fint test) {
  phase_word() = static_cast<fint>(Phase::Idle);
  *a_.IREQ = 3;
  info_(1) = 0;
  info_(2) = test;
  info_(3) = 0;
  publish_point();
  publish();
  const fint unit = icntl_(3);
  if (unit > 0 && icntl_(4) >= 3)
    io::write(unit, "(/,' DI23AD ends: IREQ =',I3,'  test',I2,'  NFEV =',I8,'  NJEV =',I8,'  NITER =',I8,"
              "/,' ||F|| =',1P,D14.6)",
              3, test, iw_(kNfev), iw_(kNjev), iw_(kNiter), *a_.FNORM);
}

void Solver::fail(fint code, i64 detail, i64 sub, bool candidate_best) {
  phase_word() = static_cast<fint>(Phase::Idle);
  *a_.IREQ = code;
  info_(1) = code;
  info_(2) = saturate(detail);
  info_(3) = saturate(sub);
  // The best point so far, once its residuals are known.
  if (iw_(kStarted) || candidate_best) publish_point(candidate_best);
  publish();
}

// ---------------------------------------------------------------------------
// The iteration.

// Asks for the residuals at XT, within the evaluation limit.
bool Solver::ask_residuals(Phase next) {
  if (iw_(kNfev) >= icntl_(6)) {
    // While a Jacobian is estimated, the candidate is the better point.
    fail(-5, icntl_(6), 0, next == Phase::Estimate);
    print_error(a_.ICNTL, -5, icntl_(6));
    return false;
  }
  phase_word() = static_cast<fint>(next);
  *a_.IREQ = 1;
  publish();
  return true;
}

void Solver::begin_jacobian() {
  const fint c = candidate();
  if (iw_(kSource) == 1) {
    std::copy(x(c), x(c) + sizes_.n, a_.XT);
    phase_word() = static_cast<fint>(Phase::HostJ);
    *a_.IREQ = 2;
    publish();
    return;
  }
  fint req = 0;
  const fint m = static_cast<fint>(sizes_.m), n = static_cast<fint>(sizes_.n), method = iw_(kMethod);
  TD22AD(&m, &n, iw_.at(lay_.ipj), iw_.at(lay_.irnj), iw_.at(kNgroup), iw_.at(lay_.gptr), iw_.at(lay_.gcol),
         &method, a_.CNTLD, w_.at(lay_.typ), x(c), f(c), a_.XT, a_.FT, aj(c), w_.at(lay_.wn), w_.at(lay_.wm),
         iw_.at(kTdGroup), &req);
  ask_residuals(Phase::Estimate);
}

void Solver::host_jacobian() {
  const fint c = candidate();
  const i64 bad = first_nonfinite(a_.AJ, sizes_.ne);
  if (bad > 0) {
    if (!iw_(kStarted)) {
      fail(-7, bad, 3);
      print_error(a_.ICNTL, -7, bad, 0, 0, "Jacobian value");
      return;
    }
    ++iw_(kNjev);
    nonfinite_jacobian(bad);
    return;
  }
  Vec1<const fint> hostpos(iw_.at(lay_.hostpos));
  Vec1<double> jc(aj(c));
  for (i64 k = 1; k <= sizes_.ne; ++k) jc(hostpos(k)) = a_.AJ[k - 1];
  ++iw_(kNjev);
  jacobian_ready();
}

void Solver::estimated_jacobian() {
  const fint c = candidate();
  fint req = 1;
  const fint m = static_cast<fint>(sizes_.m), n = static_cast<fint>(sizes_.n), method = iw_(kMethod);
  TD22AD(&m, &n, iw_.at(lay_.ipj), iw_.at(lay_.irnj), iw_.at(kNgroup), iw_.at(lay_.gptr), iw_.at(lay_.gcol),
         &method, a_.CNTLD, w_.at(lay_.typ), x(c), f(c), a_.XT, a_.FT, aj(c), w_.at(lay_.wn), w_.at(lay_.wm),
         iw_.at(kTdGroup), &req);
  if (req == 1) {
    ask_residuals(Phase::Estimate);
    return;
  }
  ++iw_(kNjev);
  const i64 bad = first_nonfinite(aj(c), sizes_.ne);
  if (bad > 0) {
    // Report the entry in the host's numbering.
    Vec1<const fint> hostpos(iw_.at(lay_.hostpos));
    i64 k = 1;
    while (k < sizes_.ne && hostpos(k) != bad) ++k;
    if (!iw_(kStarted)) {
      fail(-7, k, 3);
      print_error(a_.ICNTL, -7, k, 0, 0, "Jacobian value");
      return;
    }
    nonfinite_jacobian(k);
    return;
  }
  jacobian_ready();
}

// A trial point whose Jacobian (ENTRY the first value, in the host's
// numbering, that is not finite) cannot be used: it is rejected as a point
// whose residuals grew would be, the damping growing from its value
// before the point was tried; a run of such Jacobians ends the problem at
// X, the last point whose Jacobian was finite.
void Solver::nonfinite_jacobian(i64 entry) {
  iw_(kNonfiniteAt) = saturate(entry);
  if (++iw_(kNonfiniteRun) >= kMaxNonfiniteJacobians) {
    ++iw_(kNreject);
    ++iw_(kNnonfinite);
    nonfinite_end();
    return;
  }
  reject_candidate("Jacobian value");
}

void Solver::nonfinite_end() {
  fail(-12, iw_(kNonfiniteAt), iw_(kNonfiniteRun));
  print_error(a_.ICNTL, -12, iw_(kNonfiniteAt), iw_(kNonfiniteRun));
}

// J'J on its pattern from the Jacobian of the current point: for each
// column k and each of its rows i, the products with the entries of row i
// from column k on.
void Solver::assemble_normal_matrix() {
  Vec1<const fint> ipj(iw_.at(lay_.ipj)), irnj(iw_.at(lay_.irnj)), ipr(iw_.at(lay_.ipr)), jcr(iw_.at(lay_.jcr)),
      posr(iw_.at(lay_.posr)), rowpos(iw_.at(lay_.rowpos)), ipa(iw_.at(lay_.ipa)), ira(iw_.at(lay_.ira));
  Vec1<fint> slot(iw_.at(lay_.iscr));
  Vec1<const double> jv(aj(current()));
  Vec1<double> av(w_.at(lay_.av));
  const fint n = static_cast<fint>(sizes_.n);
  for (i64 s = 1; s <= sizes_.nejtj; ++s) av(s) = 0;
  // Every slot starts at an entry of J'J: a pattern changed between calls
  // then adds into a wrong entry, never outside the matrix.
  for (fint j = 1; j <= n; ++j) slot(j) = 1;
  for (fint k = 1; k <= n; ++k) {
    for (fint s = ipa(k); s < ipa(k + 1); ++s) slot(ira(s)) = s;
    for (fint e = ipj(k); e < ipj(k + 1); ++e) {
      const double v = jv(e);
      const fint i = irnj(e);
      for (fint t = rowpos(e); t < ipr(i + 1); ++t) av(slot(jcr(t))) += jv(posr(t)) * v;
    }
  }
}

// Automatic scaling: each column's largest norm so far.  A column that has
// been zero all along has no size yet: its D stays 0, so that it counts
// neither in ||D x|| nor in the largest D, until the column's own norm
// replaces it.  A fixed size in its place (1) can lie any number of orders
// from the sizes of the variables, and then ||D x|| is that one coordinate
// and every step passes the step test.
//
// In the same pass, the scaled gradient from g = J'f: the largest cosine
// between F and a column of J, the fraction of ||F||^2 that a change of
// that variable alone removes in the linear model; with the host's scaling,
// |g_j| / (D_j ||F||).  The largest norm a column once had would hide a
// column that has since become small (the automatic D_j), so the column's
// own norm is used; a zero column has g_j = 0 and is left out.  An
// overflowed norm proves nothing: the test then fails.  A column whose
// squares all underflowed in J'J (entries below 1e-154) is not zero when
// g_j is not: its norm is taken from its entries, scaled, lest it pass for
// a zero column and leave a gradient of 0.
void Solver::update_scaling_and_gradient() {
  Vec1<const fint> ipa(iw_.at(lay_.ipa)), ipj(iw_.at(lay_.ipj));
  const double* jv = aj(current());
  Vec1<const double> av(w_.at(lay_.av)), g(w_.at(lay_.g));
  Vec1<double> dd(d());
  const bool automatic = iw_(kScaling) == 0;
  double ratio = 0, maxd2 = 0, gmax = 0;
  for (fint j = 1; j <= sizes_.n; ++j) {
    const double diag = av(ipa(j)), norm = std::sqrt(diag);
    if (automatic) dd(j) = std::fmax(dd(j), norm);
    const double d2 = dd(j) * dd(j);
    // 0/0 for a column zero all along, which fmax passes over.
    ratio = std::fmax(ratio, diag / d2);
    maxd2 = std::fmax(maxd2, d2);
    const double size = automatic ? norm : dd(j);
    if (size > 0)
      gmax = std::isfinite(size) ? std::fmax(gmax, std::fabs(g(j)) / size) : INFINITY;
    else if (g(j) != 0)
      gmax = std::fmax(gmax, std::fabs(g(j)) / norm2(jv + (ipj(j) - 1), ipj(j + 1) - ipj(j)));
  }
  w_(kDiagRatio) = ratio;
  w_(kMaxD2) = maxd2;
  const double fnorm = w_(kFnorm);
  w_(kGnorm) = fnorm > 0 ? gmax / fnorm : 0.0;
}

void Solver::commit_candidate() {
  iw_(kCurrent) = candidate();
  iw_(kStarted) = 1;
  w_(kFnorm) = w_(kFcand);
  w_(kXnorm) = scaled_norm2(d(), x(current()), sizes_.n);
  publish_point();
}

void Solver::jacobian_ready() {
  const bool first = iw_(kStarted) == 0;
  commit_candidate();
  iw_(kFresh) = 1;
  iw_(kNonfiniteRun) = 0;
  if (!first) {
    // The trial point is accepted only now that its Jacobian is known.
    mu() = w_(kMuAccepted);
    nu() = 2;
  }
  assemble_normal_matrix();
  // g = J'f.
  const fint m = static_cast<fint>(sizes_.m), n = static_cast<fint>(sizes_.n);
  const logical trans = kTrue;
  double* g = w_.at(lay_.g);
  std::fill(g, g + n, 0.0);
  MC09AD(&m, &n, aj(current()), f(current()), g, &trans, iw_.at(lay_.irnj), iw_.at(lay_.ipj));
  update_scaling_and_gradient();
  w_(kXnorm) = scaled_norm2(d(), x(current()), sizes_.n);
  if (first) {
    mu() = cntl_(5) * w_(kDiagRatio);
    nu() = 2;
  }
  if (w_(kGnorm) <= cntl_(4)) {
    succeed(4);
    return;
  }
  compute_step();
}

// A failed factorisation, or a rejected step, never leaves the damping
// below rounding level relative to the scaled diagonal of J'J (where a zero
// damping could not make a singular J'J definite).
double Solver::damping_floor() const {
  const double base = w_(kDiagRatio) > 0 ? w_(kDiagRatio) : 1.0;
  return re05re(1) * base;
}

// False when the damping is already as large as the arithmetic can use:
// mu D^2 must stay finite next to J'J.
bool Solver::raise_damping() {
  const double cap = re05re(5) * re05re(1) / std::fmax(w_(kMaxD2), 1.0);
  if (mu() >= cap) return false;
  mu() = std::fmin(std::fmax(mu() * nu(), damping_floor()), cap);
  nu() = std::fmin(2 * nu(), 1e100);
  return true;
}

// No trial step can be accepted any more (WHY: 1 the damping is at its
// largest, 2 the step no longer changes X).  A run of rejections that drove
// the damping up is no convergence: the best point is a failure unless the
// gradient test holds there, or the gradient is as small as the relative
// reduction test asks.  The failure is -12 when a Jacobian that was not
// finite began the run.
void Solver::stalled(fint why) {
  if (stationary()) {
    succeed(w_(kGnorm) <= cntl_(4) ? 4 : 2);
    return;
  }
  // Since the last finite Jacobian, the trial points were given up for
  // Jacobians that were not finite (and perhaps residuals that grew): that
  // is what stopped the method.
  if (iw_(kNonfiniteRun) > 0) {
    nonfinite_end();
    return;
  }
  fail(-10, why);
  print_error(a_.ICNTL, -10, why, 0, 0, "", mu());
}

void Solver::reject_candidate(const char* why) {
  ++iw_(kNreject);
  ++iw_(kNnonfinite);
  iw_(kFresh) = 0;
  const fint unit = icntl_(2);
  if (unit > 0 && icntl_(4) >= 2)
    io::write(unit, "(' *** Warning from DI23AD: non-finite ',A,' at a trial point, step rejected')", why);
  monitor_step(false);
  if (!raise_damping()) {
    stalled(1);
    return;
  }
  compute_step();
}

// (J'J + mu D^2) p = -g: MA57BD on the new damping term, MA57CD.  True
// with a finite step in P.
bool Solver::factorise_and_solve() {
  const fint n = static_cast<fint>(sizes_.n);
  const fint ne57 = static_cast<fint>(sizes_.ne57());
  const fint lkeep = static_cast<fint>(sizes_.lkeep());
  const fint lfact = static_cast<fint>(sizes_.lfact), lifact = static_cast<fint>(sizes_.lifact);
  Vec1<double> av(w_.at(lay_.av));
  const double* dd = d();
  // A column that has been zero all along (D_j = 0) has a zero row in J'J
  // and a zero g_j, so its step is 0 at any positive weight: 1.
  for (fint j = 1; j <= n; ++j) av(sizes_.nejtj + j) = dd[j - 1] > 0 ? mu() * dd[j - 1] * dd[j - 1] : mu();
  if (first_nonfinite(av.at(1), sizes_.ne57()) > 0) {
    iw_(kMa57Status) = 0;
    return false;
  }

  fint info57[ma57::kLenINFO] = {};
  double rinfo57[ma57::kLenRINFO] = {};
  fint* iwork = iw_.at(lay_.iscr + n);
  MA57BD(&n, &ne57, av.at(1), w_.at(lay_.fact), &lfact, iw_.at(lay_.ifact), &lifact, &lkeep, iw_.at(lay_.keep),
         iwork, a_.ICNTLM, a_.CNTLM, info57, rinfo57);
  ++iw_(kNfact);
  iw_(kMa57Status) = info57[0];
  if (info57[0] != 0) return false;
  iw_(kFactorEntries) = info57[13];
  iw_(kDelayed) = info57[22];

  double* p = w_.at(lay_.p);
  const double* g = w_.at(lay_.g);
  for (fint j = 0; j < n; ++j) p[j] = -g[j];
  const fint job = 1, nrhs = 1;
  MA57CD(&job, &n, w_.at(lay_.fact), &lfact, iw_.at(lay_.ifact), &lifact, &nrhs, p, &n, w_.at(lay_.wn), &n, iwork,
         a_.ICNTLM, info57);
  return first_nonfinite(p, n) == 0;
}

// The next trial point.  A short step (||D p|| <= CNTL(3) (||D x|| +
// CNTL(3)), or one that leaves x unchanged) ends the solve only when the
// model makes it short: on a fresh Jacobian the damping is first cut by
// kProbeCut, and a step that then grows by more than kGrowth was only
// damped, so the solve goes on with the smaller damping.  The last short
// step is still evaluated and kept when it lowers ||F|| (from the start,
// only when it is also accepted on its ratio); when it does not, the solve
// ends at X only if X was reached by an accepted step.  After a
// rejection the damping explains a short step: it is an ordinary trial,
// and a step that leaves X unchanged means the method has stalled.
void Solver::compute_step() {
  const i64 n = sizes_.n;
  const fint mm = static_cast<fint>(sizes_.m), nn = static_cast<fint>(n);
  bool probing = false;
  // After a trial point the step is the call's first use of J and of
  // MA57's analysis in IW: they are checked here, not on every trial.
  if (phase_word() == static_cast<fint>(Phase::Trial)) {
    if (const i64 bad = damaged_before_step(a_)) {
      end_damaged(a_, bad);
      return;
    }
  }
  for (;;) {
    if (iw_(kNiter) >= icntl_(7)) {
      fail(-6, icntl_(7));
      print_error(a_.ICNTL, -6, icntl_(7));
      return;
    }
    for (fint doublings = 0;; ++doublings) {
      if (factorise_and_solve()) break;
      if (doublings == kMaxDoublings) {
        fail(-9, kMaxDoublings, iw_(kMa57Status));
        print_error(a_.ICNTL, -9, kMaxDoublings, iw_(kMa57Status));
        return;
      }
      ++iw_(kNdoubling);
      mu() = std::fmax(2 * mu(), damping_floor());
    }

    const double* p = w_.at(lay_.p);
    const double* xc = x(current());
    double* xt = x(candidate());
    bool moved = false;
    for (i64 j = 0; j < n; ++j) {
      xt[j] = xc[j] + p[j];
      moved = moved || xt[j] != xc[j];
    }
    w_(kStep) = scaled_norm2(d(), p, n);
    const bool short_step = !moved || w_(kStep) <= cntl_(3) * (w_(kXnorm) + cntl_(3));
    if (short_step && iw_(kFresh) && mu() > 0 && !(probing && w_(kStep) <= kGrowth * w_(kProbeStep))) {
      w_(kProbeStep) = w_(kStep);
      mu() /= kProbeCut;
      nu() = 2;
      probing = true;
      continue;
    }
    // Only at a stationary point.  Elsewhere a short step comes from the
    // scaling (a D_j far above the column's present norm makes ||D x||
    // large), or X lies near a zero of F, which is test 1's to end: the
    // step is tried as an ordinary one.
    const bool step_test = short_step && iw_(kFresh) && stationary();
    if (!moved) {
      // Undamped, the model's own step is below rounding level: no point
      // it offers differs from X, even at the start.
      if (step_test)
        succeed(3);
      else
        stalled(2);
      return;
    }
    iw_(kFinal) = step_test ? 1 : 0;

    // Predicted relative reduction (||J p||^2 + 2 mu ||D p||^2) / ||F||^2.
    const logical plain = kFalse;
    double* jp = w_.at(lay_.wm);
    std::fill(jp, jp + mm, 0.0);
    MC09AD(&mm, &nn, aj(current()), p, jp, &plain, iw_.at(lay_.irnj), iw_.at(lay_.ipj));
    const double fnorm = w_(kFnorm);
    const double t1 = norm2(jp, mm) / fnorm, t2 = std::sqrt(mu()) * w_(kStep) / fnorm;
    w_(kPred) = t1 * t1 + 2 * t2 * t2;
    ++iw_(kNiter);
    std::copy(xt, xt + n, a_.XT);
    ask_residuals(Phase::Trial);
    return;
  }
}

void Solver::trial_done() {
  const double* ft = a_.FT;
  const i64 m = sizes_.m;
  const double fnew = first_nonfinite(ft, m) == 0 ? norm2(ft, m) : NAN;
  const bool final_step = iw_(kFinal) != 0;
  iw_(kFinal) = 0;
  // A final step that fails leaves the point where the step test held,
  // unless that is the start.
  const bool converged = final_step && past_start();
  if (!std::isfinite(fnew)) {
    if (converged) {
      succeed(3);
      return;
    }
    reject_candidate("residual");
    return;
  }
  const double fnorm = w_(kFnorm);
  const double ared = 0.1 * fnew < fnorm ? 1 - (fnew / fnorm) * (fnew / fnorm) : -1.0;
  const double pred = w_(kPred);
  const double rho = pred > 0 ? ared / pred : 0.0;
  w_(kAred) = ared;
  w_(kRatio) = rho;
  // Small reductions prove nothing when the damping made them small, as a
  // run of rejected steps does: the scaled gradient must be small as well.
  const bool small = std::fabs(ared) <= cntl_(2) && pred <= cntl_(2) && rho <= 2 && flat();

  // From the start a final step must pass the acceptance test as well: no
  // accepted step has yet shown the model to be right, and a Jacobian far
  // larger than the residuals' own makes every step short.
  if (fnew < fnorm && (rho >= kAccept || converged)) {
    std::copy(ft, ft + m, f(candidate()));
    w_(kFcand) = fnew;
    monitor_step(true);
    const double shrink = 1 - std::pow(2 * rho - 1, 3);
    w_(kMuAccepted) = mu() * std::fmax(1.0 / 3, shrink);
    const fint test = fnew <= cntl_(1) ? 1 : small ? 2 : final_step ? 3 : 0;
    if (test > 0) {
      mu() = w_(kMuAccepted);
      nu() = 2;
      commit_candidate();
      succeed(test);
      return;
    }
    begin_jacobian();
    return;
  }
  ++iw_(kNreject);
  iw_(kFresh) = 0;
  monitor_step(false);
  if (small || converged) {
    succeed(small ? 2 : 3);
    return;
  }
  if (!raise_damping()) {
    stalled(1);
    return;
  }
  compute_step();
}

void Solver::resume() {
  if (!controls_valid(a_, false)) {
    fail(-8, info_(2), info_(3));
    print_error(a_.ICNTL, -8, info_(2), info_(3));
    return;
  }
  info_(1) = info_(2) = info_(3) = 0;
  switch (static_cast<Phase>(phase_word())) {
    case Phase::StartF: {
      ++iw_(kNfev);
      const i64 bad = first_nonfinite(a_.FT, sizes_.m);
      const double fnorm = bad == 0 ? norm2(a_.FT, sizes_.m) : NAN;
      if (!std::isfinite(fnorm)) {
        const i64 at = bad > 0 ? bad : 1;
        fail(-7, at, 2);
        print_error(a_.ICNTL, -7, at, 0, 0, "residual");
        return;
      }
      std::copy(a_.FT, a_.FT + sizes_.m, f(candidate()));
      w_(kFcand) = w_(kFnorm0) = fnorm;
      const fint unit = icntl_(3);
      if (unit > 0 && icntl_(4) >= 3) {
        io::write(unit,
                  "(/,' DI23AD  M =',I10,'  N =',I10,'  NE =',I10,'  J''J entries =',I11,'  groups =',I8,"
                  "/,'   ITER    NFEV        ||F||      DAMPING     GRADIENT         STEP')",
                  sizes_.m, sizes_.n, sizes_.ne, sizes_.nejtj, iw_(kNgroup));
        io::write(unit, "(I7,I8,1P,D13.4)", 0, iw_(kNfev), fnorm);
      }
      if (fnorm <= cntl_(1)) {
        commit_candidate();
        succeed(1);
        return;
      }
      begin_jacobian();
      return;
    }
    case Phase::HostJ:
      host_jacobian();
      return;
    case Phase::Estimate:
      ++iw_(kNfev);
      estimated_jacobian();
      return;
    case Phase::Trial:
      ++iw_(kNfev);
      trial_done();
      return;
    case Phase::Idle:
      break;
  }
}

}  // namespace
}  // namespace tbl::di23

extern "C" TBL_EXPORT void DI23AD(const tbl::fint* M, const tbl::fint* N, const tbl::fint* NE, const tbl::fint* IRN,
                                  const tbl::fint* JCN, double* X, double* F, double* D, const tbl::fint* ICNTL,
                                  const double* CNTL, const double* CNTLD, const tbl::fint* ICNTLM,
                                  const double* CNTLM, tbl::fint* IW, const tbl::fint* LIW, double* W,
                                  const tbl::fint* LW, double* AJ, double* XT, tbl::fint* IREQ, double* FT,
                                  tbl::fint* INFO, double* RINFO, tbl::fint* NFEV, tbl::fint* NJEV,
                                  tbl::fint* NITER, double* FNORM) {
  using namespace tbl::di23;
  const Args a{M,  N,  NE, IRN,  JCN, X,  F,  D,    ICNTL, CNTL, CNTLD, ICNTLM, CNTLM, IW,
               LIW, W, LW, AJ,   XT,  IREQ, FT, INFO, RINFO, NFEV, NJEV,  NITER,  FNORM};
  if (*IREQ == 0) {
    start_problem(a);
    return;
  }
  if (!Solver::holds_problem(a)) {
    const tbl::fint flag = *IREQ;
    *IREQ = -8;
    INFO[0] = -8;
    INFO[1] = flag;
    INFO[2] = 0;
    print_error(ICNTL, -8, flag, 0);
    return;
  }
  if (const tbl::di23::i64 word = damaged_word(a)) {
    end_damaged(a, word);
    return;
  }
  Solver(a).resume();
}
