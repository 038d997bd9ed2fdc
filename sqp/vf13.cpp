// VF13AD: smooth constrained minimisation by sequential quadratic
// programming, driven by reverse communication.
//
// Each iteration solves, with VE17AD, the quadratic subproblem
//   minimise 0.5 d'Bd + g'd  subject to  c_i + a_i'd = 0 (i <= MEQ), >= 0,
// where B is a positive definite quasi-Newton approximation of the Hessian
// of the Lagrangian, kept definite by the damped BFGS update (the change of
// gradient is blended with B s when the curvature along the step is too
// small).  When the linearised constraints are inconsistent, the violated
// ones are relaxed to c_i xi + a_i'd, with the extra variable xi in [0, 1]
// driven towards 1 by a heavy quadratic penalty; xi near 0 means no step
// can reduce the linearised violation.  The step is then searched along d
// on the exact penalty function
//   phi(x) = F(x) + sum mu_i |c_i(x)| (equalities) + sum mu_i max(0, -c_i(x)),
// whose weights follow the subproblem's multipliers (mu_i = |lambda_i| at
// first, then max(|lambda_i|, (mu_i + |lambda_i|)/2)), accepting the first
// trial with phi(x + alpha d) <= phi(x) + 0.1 alpha Delta, Delta the change
// of the linearised phi over the full step.  A rejected trial gives the
// minimum of the quadratic through phi(x), the slope Delta and the trial
// value, but no less than a tenth of the trial step; a trial whose values
// are not finite is cut to a tenth.
//
// Between calls the iteration lives in the static State below (one live
// problem) and in the host's W and IW.  Layout of W, 1-based:
//   W(1:M)        multipliers of the last subproblem
//   then          merit weights (M), constraints at the iterate (M),
//                 a_i'd (M), the iterate (N), its gradient (N), the step
//                 (N), the gradient of the Lagrangian (N), the constraint
//                 gradients (N x M), B (N x N), and the subproblem area:
//                 with N1 = N+1, M2 = M+2, its Hessian (N1 x N1), linear
//                 term (N1), normals (N1 x M2), right-hand sides (M2),
//                 solution (N1), multipliers (M2) and VE17AD's workspace.
// IW(1:M+2) receives the subproblem's active list.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "interface/blas.hpp"
#include "interface/fmt.hpp"
#include "sqp/sqp.hpp"

using tbl::fint;
using tbl::Mat1;
using tbl::Vec1;

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
const fint kOne = 1;
const double kZero = 0.0, kPlusOne = 1.0, kMinusOne = -1.0;

enum Inform : fint {
  kEvaluate = -1,
  kSuccess = 0,
  kMaxfun = 1,
  kLineSearch = 2,
  kInconsistent = 3,
  kInvalid = 4,
  kShortW = 5,
  kNotFinite = 6,
};

// Sufficient decrease of the merit function, relative to Delta.
constexpr double kArmijo = 0.1;
// Smallest reduction of a rejected step, and the cut after non-finite values.
constexpr double kCut = 0.1;
// Penalty on 1 - xi in the relaxed subproblem, relative to B's diagonal.
constexpr double kRelaxPenalty = 1e6;
// Below this, the relaxed subproblem removes no part of the violation.
const double kXiMin = std::sqrt(kEps);

const char* const kEndText[] = {
    "the required accuracy is reached",
    "MAXFUN evaluations are used",
    "the line search cannot reduce the merit function",
    "the linearised constraints are inconsistent",
    "an argument is invalid",
    "LW is too small",
    "a value at the starting point is not finite",
};

// Offsets (0-based) of the sections of W.
struct Layout {
  std::int64_t lam, mu, c0, ad, x0, g0, d, gl, cn0, b;    // the iteration
  std::int64_t qh, qg, qa, qb, qx, qu, qw, qlw, end;      // the subproblem
  Layout(std::int64_t n, std::int64_t m) {
    // Only valid dimensions are ever used; others are kept from overflowing.
    n = std::clamp<std::int64_t>(n, 0, tbl::sqp::kDimensionCap);
    m = std::clamp<std::int64_t>(m, 0, INT32_MAX);
    const std::int64_t n1 = n + 1, m2 = m + 2;
    lam = 0;
    mu = lam + m;
    c0 = mu + m;
    ad = c0 + m;
    x0 = ad + m;
    g0 = x0 + n;
    d = g0 + n;
    gl = d + n;
    cn0 = gl + n;
    b = cn0 + n * m;
    qh = b + n * n;
    qg = qh + n1 * n1;
    qa = qg + n1;
    qb = qa + n1 * m2;
    qx = qb + m2;
    qu = qx + n1;
    qw = qu + m2;
    qlw = tbl::sqp::ve17_workspace(n1, m2);
    end = qw + qlw;
  }
};

enum class Stage { Idle, Start, Trial };

// The one live problem.
struct State {
  Stage stage = Stage::Idle;
  fint n = 0, m = 0, meq = 0, lcn = 0, lw = 0;
  fint nfun = 0, iter = 0;
  double alpha = 0.0, phi0 = 0.0, delta = 0.0, f0 = 0.0;
  double noise = 0.0;  // rounding level of the merit values at the iterate
  double viol = 0.0, opt = 0.0;
  bool fresh_b = true;     // B is the identity, not yet scaled
  bool have_weights = false;
};
State g_state;

// The host's arguments of one call.
struct Args {
  fint n, m, meq, lcn, maxfun, iprint, lw;
  double acc;
  double* x;
  double* f;
  double* g;
  double* c;
  double* cn;
  fint* inform;
  double* w;
  fint* iw;
};

bool all_finite(const double* v, std::int64_t n) {
  for (std::int64_t i = 0; i < n; ++i)
    if (!std::isfinite(v[i])) return false;
  return true;
}

double max_abs(const double* v, fint n) {
  double r = 0.0;
  for (fint i = 0; i < n; ++i) r = std::max(r, std::fabs(v[i]));
  return r;
}

class Run {
 public:
  Run(State& s, const Args& a) : s_(s), a_(a), L_(a.n, a.m) {}

  // First call: the checks, then the request for values at the start.
  void start() {
    if (!arguments_valid()) return;
    s_ = State{};
    s_.n = a_.n;
    s_.m = a_.m;
    s_.meq = a_.meq;
    s_.lcn = a_.lcn;
    s_.lw = a_.lw;
    s_.stage = Stage::Start;
    *a_.inform = kEvaluate;
  }

  // A call with the values at X.
  void resume() {
    if (s_.stage == Stage::Idle || a_.n != s_.n || a_.m != s_.m || a_.meq != s_.meq || a_.lcn != s_.lcn ||
        a_.lw != s_.lw)
      return invalid();
    if (!arguments_valid()) return;
    ++s_.nfun;
    if (s_.stage == Stage::Start) {
      if (!values_finite()) return finish(kNotFinite);
      save_iterate();
      set_identity();
      return iterate();
    }
    if (!values_finite()) {
      s_.alpha *= kCut;
      return next_trial();
    }
    const double phi = merit(*a_.f, a_.c);
    if (phi <= s_.phi0 + kArmijo * s_.alpha * s_.delta) return accept();
    // Near a solution the predicted reduction sinks below the rounding of
    // the merit values: the full step is taken when it changes them by no
    // more than rounding, since the gradients there still carry information.
    if (s_.alpha == 1.0 && -s_.delta <= s_.noise && phi <= s_.phi0 + s_.noise) return accept();
    const double rise = phi - s_.phi0 - s_.alpha * s_.delta;
    const double quadratic = -0.5 * s_.alpha * s_.alpha * s_.delta / rise;
    s_.alpha = std::max(kCut * s_.alpha, quadratic);
    next_trial();
  }

  void invalid() {
    s_.stage = Stage::Idle;
    *a_.inform = kInvalid;
    if (a_.iprint >= 0) {
      end_line(kInvalid);
      tbl::io::write(6, "(' N =',I8,'   M =',I8,'   MEQ =',I8,'   LCN =',I8,'   MAXFUN =',I8,'   ACC =',1P,D10.2)",
                     a_.n, a_.m, a_.meq, a_.lcn, a_.maxfun, a_.acc);
    }
  }

 private:
  Vec1<double> w(std::int64_t offset, std::int64_t len) const { return Vec1<double>(a_.w + offset, len); }
  double* at(std::int64_t offset) const { return a_.w + offset; }

  bool arguments_valid() {
    if (a_.n < 1 || a_.m < 0 || a_.meq < 0 || a_.meq > a_.m || a_.lcn < a_.n || !(a_.acc > 0.0) ||
        !std::isfinite(a_.acc) || a_.maxfun < 1) {
      invalid();
      return false;
    }
    const std::int64_t need = tbl::sqp::vf13_workspace(a_.n, a_.m);
    if (a_.lw < need) {
      s_.stage = Stage::Idle;
      a_.iw[0] = tbl::saturate(need);
      *a_.inform = kShortW;
      if (a_.iprint >= 0) {
        end_line(kShortW);
        tbl::io::write(6, "(' LW =',I12,' but at least',I12,' is needed')", a_.lw, static_cast<long long>(need));
      }
      return false;
    }
    // X is read only once its length has passed the workspace check.
    if (s_.stage == Stage::Idle && !all_finite(a_.x, a_.n)) {
      invalid();
      return false;
    }
    return true;
  }

  bool values_finite() const {
    if (!std::isfinite(*a_.f) || !all_finite(a_.g, a_.n) || !all_finite(a_.c, a_.m)) return false;
    for (fint j = 0; j < a_.m; ++j)
      if (!all_finite(a_.cn + std::int64_t(j) * a_.lcn, a_.n)) return false;
    return true;
  }

  double violation(const double* c) const {
    double v = 0.0;
    for (fint i = 0; i < a_.m; ++i) v = std::max(v, i < a_.meq ? std::fabs(c[i]) : -c[i]);
    return v;
  }

  double merit(double f, const double* c) const {
    const Vec1<double> mu = w(L_.mu, a_.m);
    double phi = f;
    for (fint i = 1; i <= a_.m; ++i) phi += mu(i) * (i <= a_.meq ? std::fabs(c[i - 1]) : std::max(0.0, -c[i - 1]));
    return phi;
  }

  // The host's values become the iterate's.
  void save_iterate() {
    const fint n = a_.n;
    s_.f0 = *a_.f;
    dcopy_(&n, a_.x, &kOne, at(L_.x0), &kOne);
    dcopy_(&n, a_.g, &kOne, at(L_.g0), &kOne);
    if (a_.m > 0) dcopy_(&a_.m, a_.c, &kOne, at(L_.c0), &kOne);
    for (fint j = 0; j < a_.m; ++j) dcopy_(&n, a_.cn + std::int64_t(j) * a_.lcn, &kOne, at(L_.cn0 + std::int64_t(j) * n), &kOne);
  }

  // The iterate's values go back to the host's arrays.
  void restore_iterate() {
    const fint n = a_.n;
    *a_.f = s_.f0;
    dcopy_(&n, at(L_.x0), &kOne, a_.x, &kOne);
    dcopy_(&n, at(L_.g0), &kOne, a_.g, &kOne);
    if (a_.m > 0) dcopy_(&a_.m, at(L_.c0), &kOne, a_.c, &kOne);
    for (fint j = 0; j < a_.m; ++j) dcopy_(&n, at(L_.cn0 + std::int64_t(j) * n), &kOne, a_.cn + std::int64_t(j) * a_.lcn, &kOne);
  }

  void set_identity() {
    const Mat1<double> b(at(L_.b), a_.n);
    for (fint j = 1; j <= a_.n; ++j)
      for (fint i = 1; i <= a_.n; ++i) b(i, j) = i == j ? 1.0 : 0.0;
    s_.fresh_b = true;
  }

  // The subproblem at the iterate: the step into W(d) and the multipliers
  // into W(lam).  False when even the relaxed subproblem gives no step.
  bool subproblem(bool& relaxed) {
    const fint n = a_.n, m = a_.m, meq = a_.meq;
    const Vec1<double> c0 = w(L_.c0, m), b = w(L_.qb, m + 2);
    for (fint i = 1; i <= m; ++i) b(i) = -c0(i);
    const std::int64_t limit = tbl::sqp::ve17_iteration_limit(n + 1, m + 2);
    fint nact = 0, info = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      tbl::sqp::ve17_solve(n, m, meq, at(L_.b), n, at(L_.g0), at(L_.cn0), n, b.data(), at(L_.d), at(L_.lam), a_.iw,
                           &nact, 0.0, at(L_.qw), L_.qlw, limit, &info);
      // Rounding can leave a long-updated B without a usable factor (2), or
      // so small against the gradient that the subproblem leaves the range
      // of doubles (6).
      if (info != 2 && info != 6) break;
      set_identity();
    }
    relaxed = false;
    if (info == 0) return true;
    if (info == 2 || info == 6) return false;

    // Relaxed subproblem in (d, xi).
    const fint n1 = n + 1, m2 = m + 2;
    const Mat1<double> bq(at(L_.b), n), h(at(L_.qh), n1), aq(at(L_.qa), n1);
    const Vec1<double> gq = w(L_.qg, n1), g0 = w(L_.g0, n);
    const Mat1<double> cn0(at(L_.cn0), n);
    double diag = 1.0;
    for (fint j = 1; j <= n; ++j) diag = std::max(diag, bq(j, j));
    const double rho = kRelaxPenalty * diag;
    for (fint j = 1; j <= n1; ++j)
      for (fint i = 1; i <= n1; ++i) h(i, j) = (i <= n && j <= n) ? bq(i, j) : (i == j ? rho : 0.0);
    for (fint i = 1; i <= n; ++i) gq(i) = g0(i);
    gq(n1) = -rho;
    for (fint k = 1; k <= m; ++k) {
      for (fint i = 1; i <= n; ++i) aq(i, k) = cn0(i, k);
      const bool violated = k <= meq ? c0(k) != 0.0 : c0(k) < 0.0;
      aq(n1, k) = violated ? c0(k) : 0.0;
      b(k) = violated ? 0.0 : -c0(k);
    }
    for (fint k = m + 1; k <= m2; ++k) {
      for (fint i = 1; i <= n; ++i) aq(i, k) = 0.0;
      aq(n1, k) = k == m + 1 ? 1.0 : -1.0;  // xi >= 0, -xi >= -1
      b(k) = k == m + 1 ? 0.0 : -1.0;
    }
    tbl::sqp::ve17_solve(n1, m2, meq, h.at(1, 1), n1, gq.data(), aq.at(1, 1), n1, b.data(), at(L_.qx), at(L_.qu),
                         a_.iw, &nact, 0.0, at(L_.qw), L_.qlw, limit, &info);
    const Vec1<double> xq = w(L_.qx, n1);
    if (info != 0 || !(xq(n1) > kXiMin)) return false;
    relaxed = true;
    dcopy_(&n, xq.data(), &kOne, at(L_.d), &kOne);
    if (m > 0) dcopy_(&m, at(L_.qu), &kOne, at(L_.lam), &kOne);
    return true;
  }

  // A new iterate: subproblem, convergence test, weights, line search set-up.
  void iterate() {
    const fint n = a_.n, m = a_.m;
    const Vec1<double> c0 = w(L_.c0, m), lam = w(L_.lam, m), mu = w(L_.mu, m), ad = w(L_.ad, m);
    s_.viol = violation(c0.data());
    bool relaxed = false;
    if (!subproblem(relaxed)) {
      s_.opt = 0.0;
      return finish(kInconsistent);
    }
    // Gradient of the Lagrangian and the optimality measure.
    dcopy_(&n, at(L_.g0), &kOne, at(L_.gl), &kOne);
    if (m > 0) dgemv_("N", &n, &m, &kMinusOne, at(L_.cn0), &n, lam.data(), &kOne, &kPlusOne, at(L_.gl), &kOne, 1);
    s_.opt = max_abs(at(L_.gl), n);
    for (fint i = 1; i <= m; ++i) s_.opt = std::max(s_.opt, std::fabs(lam(i) * c0(i)));
    if (a_.iprint > 0 && s_.iter % a_.iprint == 0) progress_line();
    if (!relaxed && s_.viol <= a_.acc && s_.opt <= a_.acc * std::max(1.0, max_abs(at(L_.g0), n)))
      return finish(kSuccess);

    for (fint i = 1; i <= m; ++i) {
      const double l = std::fabs(lam(i));
      mu(i) = s_.have_weights ? std::max(l, 0.5 * (mu(i) + l)) : l;
    }
    s_.have_weights = true;
    if (m > 0) dgemv_("T", &n, &m, &kPlusOne, at(L_.cn0), &n, at(L_.d), &kOne, &kZero, ad.data(), &kOne, 1);
    s_.phi0 = merit(s_.f0, c0.data());
    s_.noise = std::fabs(s_.f0);
    for (fint i = 1; i <= m; ++i) s_.noise += mu(i) * std::fabs(c0(i));
    s_.noise *= 1000.0 * kEps;
    double delta = ddot_(&n, at(L_.g0), &kOne, at(L_.d), &kOne);
    for (fint i = 1; i <= m; ++i) {
      const double lin = c0(i) + ad(i);
      delta += i <= a_.meq ? mu(i) * (std::fabs(lin) - std::fabs(c0(i)))
                           : mu(i) * (std::max(0.0, -lin) - std::max(0.0, -c0(i)));
    }
    s_.delta = delta;
    // A step predicted to gain nothing is tried only when that prediction
    // is rounding.
    if (!(delta < 0.0) && (relaxed || !(delta <= s_.noise)))
      return finish(relaxed ? kInconsistent : kLineSearch);
    s_.alpha = 1.0;
    next_trial();
  }

  // Asks for the values at x0 + alpha d, unless the step has become
  // negligible or the evaluations are spent.
  void next_trial() {
    const fint n = a_.n;
    const Vec1<double> x0 = w(L_.x0, n), d = w(L_.d, n);
    if (s_.alpha * max_abs(d.data(), n) <= 10.0 * kEps * std::max(1.0, max_abs(x0.data(), n)))
      return finish(kLineSearch);
    if (s_.nfun >= a_.maxfun) return finish(kMaxfun);
    for (fint i = 1; i <= n; ++i) a_.x[i - 1] = x0(i) + s_.alpha * d(i);
    s_.stage = Stage::Trial;
    *a_.inform = kEvaluate;
  }

  // The trial point becomes the iterate, after the quasi-Newton update.
  void accept() {
    const fint n = a_.n, m = a_.m;
    const Vec1<double> s = w(L_.d, n), y = w(L_.gl, n), x0 = w(L_.x0, n);
    // s = x - x0; y = grad L(x) - grad L(x0), with the multipliers of x0's
    // subproblem.
    for (fint i = 1; i <= n; ++i) {
      s(i) = a_.x[i - 1] - x0(i);
      y(i) = a_.g[i - 1] - y(i);
    }
    if (m > 0) dgemv_("N", &n, &m, &kMinusOne, a_.cn, &a_.lcn, at(L_.lam), &kOne, &kPlusOne, y.data(), &kOne, 1);
    update_b(s, y);
    save_iterate();
    ++s_.iter;
    iterate();
  }

  // Damped BFGS update of B with the step s and the gradient change y.
  void update_b(const Vec1<double>& s, const Vec1<double>& y) {
    const fint n = a_.n;
    const Mat1<double> b(at(L_.b), n);
    const Vec1<double> bs = w(L_.qx, n);  // the subproblem area is free here
    double sy = ddot_(&n, s.data(), &kOne, y.data(), &kOne);
    if (s_.fresh_b && sy > 0.0) {
      // Scale the identity to the curvature seen along the first step.
      const double scale = ddot_(&n, y.data(), &kOne, y.data(), &kOne) / sy;
      for (fint i = 1; i <= n; ++i) b(i, i) = scale;
      s_.fresh_b = false;
    }
    dgemv_("N", &n, &n, &kPlusOne, b.at(1, 1), &n, s.data(), &kOne, &kZero, bs.data(), &kOne, 1);
    const double sbs = ddot_(&n, s.data(), &kOne, bs.data(), &kOne);
    if (!(sbs > 0.0) || !std::isfinite(sbs)) return;
    const double theta = sy >= 0.2 * sbs ? 1.0 : 0.8 * sbs / (sbs - sy);
    for (fint i = 1; i <= n; ++i) y(i) = theta * y(i) + (1.0 - theta) * bs(i);
    sy = ddot_(&n, s.data(), &kOne, y.data(), &kOne);
    if (!(sy > 0.0) || !std::isfinite(sy)) return;
    for (fint j = 1; j <= n; ++j)
      for (fint i = 1; i <= n; ++i) b(i, j) += y(i) * y(j) / sy - bs(i) * bs(j) / sbs;
  }

  void finish(Inform code) {
    if (code == kMaxfun || code == kLineSearch || code == kInconsistent) restore_iterate();
    s_.stage = Stage::Idle;
    *a_.inform = code;
    if (a_.iprint < 0) return;
    end_line(code);
    if (code == kNotFinite) return;
    tbl::io::write(6, "(' iterations =',I7,'   evaluations =',I7)", s_.iter, s_.nfun);
    tbl::io::write(6, "(' F =',1P,D21.13,'   violation =',D10.2,'   optimality =',D10.2)", s_.f0, s_.viol, s_.opt);
    tbl::io::write(6, "(' X =',1P,5D16.8,:,/,(4X,5D16.8))", tbl::io::Reals{a_.x, a_.n});
  }

  void end_line(Inform code) const {
    tbl::io::write(6, "(' VF13AD ends with INFORM =',I2,': ',A)", static_cast<int>(code), kEndText[code]);
  }

  void progress_line() const {
    if (s_.iter == 0)
      tbl::io::write(6, "(' iteration  evaluations',21X,'F','   violation','  optimality')");
    tbl::io::write(6, "(I10,I13,1P,D22.13,2D12.3)", s_.iter, s_.nfun, s_.f0, s_.viol, s_.opt);
  }

  State& s_;
  const Args& a_;
  Layout L_;
};

}  // namespace

extern "C" {

TBL_EXPORT void VF13AD(const fint* N, const fint* M, const fint* MEQ, double* X, double* F, double* G, double* C,
                       double* CN, const fint* LCN, const double* ACC, const fint* MAXFUN, const fint* IPRINT,
                       fint* INFORM, double* W, const fint* LW, fint* IW) {
  const Args a{*N, *M, *MEQ, *LCN, *MAXFUN, *IPRINT, *LW, *ACC, X, F, G, C, CN, INFORM, W, IW};
  Run run(g_state, a);
  if (*INFORM == 0) {
    g_state.stage = Stage::Idle;
    run.start();
  } else if (*INFORM == kEvaluate) {
    run.resume();
  } else {
    run.invalid();
  }
}

}  // extern "C"
