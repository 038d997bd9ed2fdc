// NB01AD: a zero of a function of one variable inside a bracket, by reverse
// communication.
//
// Each new point comes from interpolation (inverse quadratic through the
// bracket ends and the end last dropped, else the secant through the ends),
// then is truncated towards the midpoint and projected onto an interval
// around the midpoint whose radius shrinks as bisection would (the
// interpolate-truncate-project scheme).  So the bracket after j inner
// evaluations is never wider than 2^(1-j) times the first one -- at most one
// evaluation more than bisection needs for any width -- while a smooth simple
// root keeps the superlinear convergence of the interpolation.
#include <cmath>
#include <utility>

#include "interface/machine.hpp"
#include "nonlinear/nonlinear.hpp"

using tbl::fint;

namespace {

// Slack of the projection: how many halvings the interpolation may fall
// behind bisection.
constexpr int kSlack = 1;
// Truncation: a step is pushed towards the midpoint by
// kTruncate * width^2 / (first width), enough to move both bracket ends.
constexpr double kTruncate = 0.2;

enum class Stage { Idle, AtA, AtB, Inner };

// The one live problem (SavedState).
struct Problem {
  Stage stage = Stage::Idle;
  double a = 0, fa = 0, b = 0, fb = 0;  // the bracket, a < b once both ends are known
  double c = 0, fc = 0;                 // the end dropped last, for quadratic interpolation
  bool have_c = false;
  double x = 0;                          // the point the host is evaluating
  double best_x = 0, best_y = 0;         // smallest |f| so far
  double eps = 0;
  double half0 = 0;                      // half the first bracket width
  fint limit = 0, evaluations = 0;
  int inner = 0;                         // inner evaluations so far
};

Problem P;

bool same_sign(double u, double v) { return std::signbit(u) == std::signbit(v); }

// Half-differences and midpoints by halves, so that no finite bracket
// overflows.
double half_width(double a, double b) { return b / 2 - a / 2; }
double midpoint(double a, double b) { return a / 2 + b / 2; }

// Where the secant through the bracket ends crosses zero (ends of opposite
// signs, so the point lies in [a, b]); the midpoint when an end is infinite.
double secant(const Problem& p) {
  const double ha = std::fabs(p.fa) / 2, hb = std::fabs(p.fb) / 2;
  if (!std::isfinite(ha) || !std::isfinite(hb)) return midpoint(p.a, p.b);
  const double t = ha / (ha + hb);
  return p.a + t * (2 * half_width(p.a, p.b));
}

// Inverse quadratic interpolation through (a, fa), (b, fb), (c, fc); NaN
// when the three values do not allow it.
double inverse_quadratic(const Problem& p) {
  if (!p.have_c || !std::isfinite(p.fc) || !std::isfinite(p.fa) || !std::isfinite(p.fb)) return NAN;
  const double fa = p.fa, fb = p.fb, fc = p.fc;
  if (fa == fb || fa == fc || fb == fc) return NAN;
  return p.a * (fb / (fa - fb)) * (fc / (fa - fc)) + p.b * (fa / (fb - fa)) * (fc / (fb - fc)) +
         p.c * (fa / (fc - fa)) * (fb / (fc - fb));
}

// The bracket cannot usefully shrink further: its width is at rounding
// level, or no double lies strictly between its ends.
bool bracket_converged(const Problem& p) {
  const double mid = midpoint(p.a, p.b);
  if (mid <= p.a || mid >= p.b) return true;
  return half_width(p.a, p.b) <= tbl::re05re(1) * std::fmax(std::fabs(p.a), std::fabs(p.b));
}

double next_point(const Problem& p) {
  const double mid = midpoint(p.a, p.b);
  const double h = half_width(p.a, p.b);

  double xf = inverse_quadratic(p);
  if (!(xf > p.a && xf < p.b)) xf = secant(p);

  // Truncation towards the midpoint.
  const double delta = 2 * kTruncate * h * (h / p.half0);
  const double sigma = mid >= xf ? 1.0 : -1.0;
  const double xt = delta <= std::fabs(mid - xf) ? xf + sigma * delta : mid;

  // At least a rounding-level step from either end: when one end is the
  // root to working accuracy the other end still moves, and the bracket
  // closes at once.
  const double tol = tbl::re05re(1) * std::fmax(std::fabs(p.a), std::fabs(p.b));
  const double xs = std::fmin(std::fmax(xt, p.a + tol), p.b - tol);

  // Projection onto the interval around the midpoint that keeps the next
  // bracket within 2^(slack - j - 1) of the first.
  const double r = std::fmax(std::ldexp(p.half0, kSlack - p.inner) - h, 0.0);
  double x = std::fabs(xs - mid) <= r ? xs : mid - sigma * r;
  if (!(x > p.a && x < p.b)) x = mid;
  return x;
}

void finish(fint* IND, fint status, double* X, double* Y, double x, double y) {
  *X = x;
  *Y = y;
  *IND = status;
  P.stage = Stage::Idle;
}

void ask(fint* IND, double* X, double x) {
  P.x = x;
  *X = x;
  *IND = 2;
}

// After an end or inner evaluation with a sign change in [a, b]: converged,
// out of evaluations, or the next point.
void continue_inside(fint* IND, double* X, double* Y) {
  if (bracket_converged(P)) {
    const bool a_better = std::fabs(P.fa) <= std::fabs(P.fb);
    finish(IND, 0, X, Y, a_better ? P.a : P.b, a_better ? P.fa : P.fb);
    return;
  }
  if (P.evaluations >= P.limit) {
    finish(IND, -2, X, Y, P.best_x, P.best_y);
    return;
  }
  P.stage = Stage::Inner;
  ask(IND, X, next_point(P));
}

}  // namespace

extern "C" void NB01AD(fint* IND, const double* A, const double* B, const double* EPS, double* X, double* Y,
                       const fint* LIMIT) {
  if (*IND == 1) {
    P = Problem{};
    const double a = *A, b = *B, eps = *EPS;
    const fint limit = *LIMIT;
    if (!(eps >= 0) || limit < 2 || !std::isfinite(a) || !std::isfinite(b)) {
      *IND = -3;
      return;
    }
    P.a = a;
    P.b = b;
    P.eps = eps;
    P.limit = limit;
    P.stage = Stage::AtA;
    ask(IND, X, a);
    return;
  }
  // Anything but a reply to a request of a live problem is refused, and
  // ends the problem.
  if (*IND != 2 || P.stage == Stage::Idle) {
    P.stage = Stage::Idle;
    *IND = -3;
    return;
  }

  const double y = *Y;
  const double x = P.x;
  if (std::isnan(y)) {
    finish(IND, -4, X, Y, x, y);
    return;
  }
  ++P.evaluations;
  if (P.evaluations == 1 || std::fabs(y) < std::fabs(P.best_y)) {
    P.best_x = x;
    P.best_y = y;
  }
  if (std::fabs(y) <= P.eps) {
    finish(IND, 0, X, Y, x, y);
    return;
  }

  switch (P.stage) {
    case Stage::AtA:
      P.fa = y;
      P.stage = Stage::AtB;
      ask(IND, X, P.b);
      return;
    case Stage::AtB:
      P.fb = y;
      if (same_sign(P.fa, P.fb)) {
        finish(IND, -1, X, Y, P.best_x, P.best_y);
        return;
      }
      if (P.b < P.a) {
        std::swap(P.a, P.b);
        std::swap(P.fa, P.fb);
      }
      P.half0 = half_width(P.a, P.b);
      continue_inside(IND, X, Y);
      return;
    case Stage::Inner:
      ++P.inner;
      P.have_c = true;
      if (same_sign(y, P.fa)) {
        P.c = P.a;
        P.fc = P.fa;
        P.a = x;
        P.fa = y;
      } else {
        P.c = P.b;
        P.fc = P.fb;
        P.b = x;
        P.fb = y;
      }
      continue_inside(IND, X, Y);
      return;
    case Stage::Idle:
      break;
  }
}
