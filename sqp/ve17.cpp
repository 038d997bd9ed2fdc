// VE17AD: dense strictly convex quadratic programming by the dual active-set
// method.
//
// The solve starts at the unconstrained minimum -H^{-1} g and adds violated
// constraints one at a time, each time moving to the minimum over the
// constraints made active so far; every intermediate point is optimal for a
// subset of the constraints, so the dual objective rises and no starting
// feasible point is needed.  Equalities are added first and never dropped.
//
// Factorisation: with H = R0' R0 (Cholesky), J starts as R0^{-1}, so that
// J J' = H^{-1}.  For the active normals N (q columns), J' N = [R; 0] with R
// upper triangular; columns q+1..n of J then span the null space of N' in
// the metric of H.  Adding or dropping a constraint updates J and R by plane
// rotations, never by refactorising, which keeps the method stable when
// constraints are nearly dependent.
//
// Workspace W (1-based, n = N, m = M):
//   W(1 : n^2)            J (leading dimension n)
//   W(n^2+1 : 2n^2)       R (leading dimension n), first the Cholesky factor
//   next 4n+1             d = J'a (n), the primal direction z (n), the dual
//                         direction r (n), the active multipliers u (n+1)
//   next 3m               the norms of the normals, the status of each
//                         constraint, the residuals a_i'x - b_i
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "interface/blas.hpp"
#include "sqp/sqp.hpp"

using tbl::fint;
using tbl::Mat1;
using tbl::Vec1;

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kInf = std::numeric_limits<double>::infinity();
const fint kOne = 1;
const double kZero = 0.0, kPlusOne = 1.0, kMinusOne = -1.0;

// Status of each constraint, kept as a real in the workspace.  A deferred
// inequality is one whose normal depends on the active normals and whose
// violation is within what the rounding of those constraints explains; it
// is looked at again once the active set or the point has changed.
constexpr double kInactive = 0.0, kActive = 1.0, kDependent = -1.0, kDeferred = 2.0;

// How far the rounding of nearly dependent active constraints may amplify a
// constraint's own rounding before its violation no longer counts as rounding.
constexpr double kAmplification = 100.0;

enum Inform : fint {
  kSolved = 0,
  kInconsistent = 1,
  kNotDefinite = 2,
  kInvalid = 3,
  kShortW = 4,
  kLimit = 5,
  kOutOfRange = 6
};

// How far above the rounding of a Cholesky pivot (about 2(j+2) eps times
// the diagonal entry for pivot j) a pivot must lie to count as positive.
constexpr double kPivotMargin = 10.0;

// Upper Cholesky factor of the symmetric matrix whose upper triangle is in H,
// written into the upper triangle of R.  False when a pivot is not clearly
// positive or not finite.  A pivot of a singular matrix comes out as its
// rounding, which reaches a few times N eps times the diagonal: the floor
// stands well above that.  Below the normalised range the relative floor
// underflows and the pivots lose precision, so the floor never goes there.
bool cholesky(fint n, const Mat1<const double>& h, const Mat1<double>& r) {
  double maxdiag = 0.0;
  for (fint j = 1; j <= n; ++j) maxdiag = std::max(maxdiag, h(j, j));
  const double floor = std::max(kPivotMargin * n * kEps * maxdiag, std::numeric_limits<double>::min());
  for (fint j = 1; j <= n; ++j)
    for (fint i = 1; i <= j; ++i) r(i, j) = h(i, j);
  const fint ld = static_cast<fint>(r.ld());
  for (fint j = 1; j <= n; ++j) {
    // Row j from column j on, less the contributions of the rows above.
    const fint above = j - 1, width = n - j + 1;
    if (above > 0)
      dgemv_("T", &above, &width, &kMinusOne, r.at(1, j), &ld, r.at(1, j), &kOne, &kPlusOne, r.at(j, j), &ld, 1);
    const double pivot = r(j, j);
    if (!(pivot > floor) || !std::isfinite(pivot)) return false;
    const double rjj = std::sqrt(pivot);
    r(j, j) = rjj;
    const fint rest = n - j;
    const double inv = 1.0 / rjj;
    if (rest > 0) dscal_(&rest, &inv, r.at(j, j + 1), &ld);
  }
  return true;
}

bool finite(fint n, const double* v) {
  for (fint j = 0; j < n; ++j)
    if (!std::isfinite(v[j])) return false;
  return true;
}

// Plane rotation taking (a, b) to (rho, 0): a' = c a + s b, b' = c b - s a.
struct Rotation {
  double c = 1.0, s = 0.0, rho = 0.0;
  Rotation(double a, double b) : rho(std::hypot(a, b)) {
    if (rho > 0.0) {
      c = a / rho;
      s = b / rho;
    }
  }
};

// The active set with its factorisation and the vectors of one step, laid
// out in the workspace as the file header describes.
struct Solver {
  Solver(fint n_, fint m_, fint meq_, const double* a_, fint lda, const double* b_, double* w, fint* iact)
      : n(n_),
        m(m_),
        meq(meq_),
        a_ld(lda),
        a(a_, lda),
        b(b_, m_),
        J(w, n_),
        R(w + std::int64_t(n_) * n_, n_),
        d(w + 2 * std::int64_t(n_) * n_, n_),
        z(d.at(n_ + 1), n_),
        r(z.at(n_ + 1), n_),
        u(r.at(n_ + 1), n_ + 1),
        anorm(u.at(n_ + 2), m_),
        status(anorm.at(m_ + 1), m_),
        s(status.at(m_ + 1), m_),
        act(iact, m_),
        dep_tol(100.0 * std::max<fint>(n_, 10) * kEps) {}

  fint n, m, meq, a_ld;
  Mat1<const double> a;
  Vec1<const double> b;
  Mat1<double> J, R;
  Vec1<double> d, z, r, u;
  Vec1<double> anorm, status, s;
  Vec1<fint> act;
  fint q = 0;
  double dep_tol;
  double xmax = 0.0;  // the largest norm of the points passed through
  std::int64_t changes = 0;  // additions and deletions so far

  const double* normal(fint i) const { return a.at(1, i); }

  // d = J' a_p; the norm of d and of its part d(q+1:n) outside the range
  // of the active normals.
  void project(fint p, double& dnorm, double& d2norm) {
    dgemv_("T", &n, &n, &kPlusOne, J.at(1, 1), &n, normal(p), &kOne, &kZero, d.at(1), &kOne, 1);
    dnorm = dnrm2_(&n, d.at(1), &kOne);
    const fint rest = n - q;
    d2norm = rest > 0 ? dnrm2_(&rest, d.at(q + 1), &kOne) : 0.0;
  }

  // Step in the primal space: z = J(:, q+1:n) d(q+1:n) (q < n).
  void primal_direction() {
    const fint rest = n - q;
    dgemv_("N", &n, &rest, &kPlusOne, J.at(1, q + 1), &n, d.at(q + 1), &kOne, &kZero, z.at(1), &kOne, 1);
  }

  // Change of the active multipliers per unit step: r = R^{-1} d(1:q).
  void dual_direction() {
    if (q == 0) return;
    dcopy_(&q, d.at(1), &kOne, r.at(1), &kOne);
    dtrsv_("U", "N", "N", &q, R.at(1, 1), &n, r.at(1), &kOne, 1, 1, 1);
  }

  // Constraint p joins the active set (d = J'a_p is current): rotations
  // fold d(q+2:n) into d(q+1), turning the same columns of J.
  void add(fint p) {
    for (fint i = n; i >= q + 2; --i) {
      if (d(i) == 0.0) continue;
      const Rotation g(d(i - 1), d(i));
      drot_(&n, J.at(1, i - 1), &kOne, J.at(1, i), &kOne, &g.c, &g.s);
      d(i - 1) = g.rho;
      d(i) = 0.0;
    }
    ++q;
    for (fint i = 1; i <= q; ++i) R(i, q) = d(i);
    act(q) = p;
    status(p) = kActive;
    ++changes;
    undefer();
  }

  // A deferred inequality was judged at the point and active set of its
  // time: once either changes, it is looked at afresh.
  void undefer() {
    for (fint i = meq + 1; i <= m; ++i)
      if (status(i) == kDeferred) status(i) = kInactive;
  }

  // The constraint at position k of the active set leaves it; the multiplier
  // of the constraint being added (u(q+1)) moves down with the others.
  void drop(fint k) {
    status(act(k)) = kInactive;
    ++changes;
    undefer();
    for (fint j = k; j < q; ++j) {
      for (fint i = 1; i <= j + 1; ++i) R(i, j) = R(i, j + 1);
      act(j) = act(j + 1);
      u(j) = u(j + 1);
    }
    u(q) = u(q + 1);
    for (fint j = k; j < q; ++j) {
      // Column j now reaches row j+1: rotate rows j and j+1 back to
      // triangular form, and the matching columns of J.
      if (R(j + 1, j) == 0.0) continue;
      const Rotation g(R(j, j), R(j + 1, j));
      R(j, j) = g.rho;
      R(j + 1, j) = 0.0;
      const fint right = q - 1 - j;
      if (right > 0) drot_(&right, R.at(j, j + 1), &n, R.at(j + 1, j + 1), &n, &g.c, &g.s);
      drot_(&n, J.at(1, j), &kOne, J.at(1, j + 1), &kOne, &g.c, &g.s);
    }
    --q;
  }

  // Move x by t along z, and the multipliers by t along (-r, 1); the
  // multipliers of active inequalities stay non-negative.
  void step(double t, double* x, bool primal) {
    if (primal && t != 0.0) {
      daxpy_(&n, &t, z.at(1), &kOne, x, &kOne);
      track(x);
      undefer();
    }
    for (fint j = 1; j <= q; ++j) {
      u(j) -= t * r(j);
      if (act(j) > meq) u(j) = std::max(u(j), 0.0);
    }
    u(q + 1) += t;
  }

  // The rounding error of forming a_i'x - b_i, where x carries the rounding
  // of the largest point the solve has passed through (the unconstrained
  // minimum may lie far from the solution).
  double rounding(fint i) const { return 10.0 * kEps * (std::fabs(b(i)) + anorm(i) * xmax); }
  // Feasibility allowance of constraint i: the host's tolerance plus that.
  double allowance(fint i, double tol) const { return tol + rounding(i); }
  void track(const double* x) { xmax = std::max(xmax, dnrm2_(&n, x, &kOne)); }

  // The allowance of constraint p when a_p = sum of r(j) a_act(j) (r
  // current): the active constraints hold to within their rounding, which
  // reaches a_p'x - b_p multiplied by r.  The amplification is capped: a
  // large r means nearly dependent active normals, whose r carries no
  // reliable sign, and a violation beyond the cap is not rounding.
  double combined_allowance(fint p, double tol) const {
    double slack = rounding(p);
    for (fint j = 1; j <= q; ++j) slack += std::fabs(r(j)) * rounding(act(j));
    return tol + std::min(slack, kAmplification * rounding(p));
  }

  // Whether every constraint holds at X, the active ones tight, to within
  // the capped allowance of the rounding at X itself: the last word before
  // a solve reports success, since the constraints left out as dependent or
  // deferred were judged at earlier points, and the allowances of the
  // iteration count the rounding of points that may be far larger than X.
  // It follows most_violated at the same X, whose residuals s are current;
  // X is finite, as every point of the solve is checked when it is formed.
  // An allowance that is not finite (a'x beyond the range of doubles)
  // cannot be judged at all.
  enum class Check { kHolds, kFails, kOutOfRange };
  Check check(const double* x, double tol) {
    if (m == 0) return Check::kHolds;
    // Below the normalised range, entries of X and the products a_ki x_k
    // are held to an absolute spacing of eps * tiny, not to eps relative:
    // N * tiny stands for that much in X and in the sum.
    const double underflow = n * std::numeric_limits<double>::min();
    const double xscale = dnrm2_(&n, x, &kOne) + underflow;
    Check verdict = Check::kHolds;
    for (fint i = 1; i <= m; ++i) {
      const double own = 10.0 * kEps * (std::fabs(b(i)) + anorm(i) * xscale + underflow);
      const double allowed = tol + kAmplification * own;
      if (!std::isfinite(allowed)) return Check::kOutOfRange;
      // Active inequalities hold as equalities: their multipliers stand for
      // that, and a slack there means X is not yet the minimum.
      const double si = s(i) - b(i), violation = i <= meq || status(i) == kActive ? std::fabs(si) : -si;
      if (!(violation <= allowed)) verdict = Check::kFails;
    }
    return verdict;
  }

  // The point of the active set formed afresh from the factorisation:
  // x = J y with y(1:q) = R'^{-1} b_act, so that the active constraints
  // hold (N'J = [R' 0]), and y(q+1:n) = -(J'g)(q+1:n), the minimum along
  // the rest.  The steps that led here add up to the same point but carry
  // the rounding of every point passed through; from an unconstrained
  // minimum far out (H small against g) that rounding can swamp the
  // constraints, while this point carries only the rounding of J and R.
  void recompute(const double* g, double* x) {
    dgemv_("T", &n, &n, &kPlusOne, J.at(1, 1), &n, g, &kOne, &kZero, d.at(1), &kOne, 1);
    for (fint j = 1; j <= q; ++j) z(j) = b(act(j));
    if (q > 0) dtrsv_("U", "T", "N", &q, R.at(1, 1), &n, z.at(1), &kOne, 1, 1, 1);
    for (fint j = q + 1; j <= n; ++j) z(j) = -d(j);
    dgemv_("N", &n, &n, &kPlusOne, J.at(1, 1), &n, z.at(1), &kOne, &kZero, x, &kOne, 1);
    xmax = dnrm2_(&n, x, &kOne);
    undefer();
  }

  // The most violated inactive inequality, measured along its normal, or 0.
  fint most_violated(const double* x, double tol) {
    if (m == 0) return 0;
    dgemv_("T", &n, &m, &kPlusOne, a.at(1, 1), &a_ld, x, &kOne, &kZero, s.at(1), &kOne, 1);
    fint p = 0;
    double worst = 0.0;
    for (fint i = meq + 1; i <= m; ++i) {
      if (status(i) != kInactive) continue;
      const double si = s(i) - b(i);
      if (si >= -allowance(i, tol)) continue;
      const double score = anorm(i) > 0.0 ? si / anorm(i) : -kInf;
      if (p == 0 || score < worst) {
        p = i;
        worst = score;
      }
    }
    return p;
  }
};

bool finite_data(fint n, fint m, const Mat1<const double>& h, const double* g, const Mat1<const double>& a,
                 const double* b) {
  for (fint j = 1; j <= n; ++j) {
    if (!std::isfinite(g[j - 1])) return false;
    for (fint i = 1; i <= j; ++i)
      if (!std::isfinite(h(i, j))) return false;
  }
  for (fint j = 1; j <= m; ++j) {
    if (!std::isfinite(b[j - 1])) return false;
    for (fint i = 1; i <= n; ++i)
      if (!std::isfinite(a(i, j))) return false;
  }
  return true;
}

}  // namespace

namespace tbl::sqp {

void ve17_solve(fint n, fint m, fint meq, const double* h, fint lh, const double* g, const double* a, fint la,
                const double* b, double* x, double* u, fint* iact, fint* nact, double tol, double* w,
                std::int64_t lw, std::int64_t max_iter, fint* inform) {
  if (n < 1 || m < 0 || meq < 0 || meq > m || lh < n || (m > 0 && la < n) || !(tol >= 0.0) ||
      !std::isfinite(tol)) {
    *inform = kInvalid;
    return;
  }
  if (lw < ve17_workspace(n, m)) {
    *inform = kShortW;
    return;
  }
  const Mat1<const double> hm(h, lh);
  const Mat1<const double> am(a, m > 0 ? la : n);
  if (!finite_data(n, m, hm, g, am, b)) {
    *inform = kInvalid;
    return;
  }

  Solver sv(n, m, meq, a, m > 0 ? la : n, b, w, iact);

  if (!cholesky(n, hm, sv.R)) {
    *inform = kNotDefinite;
    return;
  }
  // J = R0^{-1}: the identity solved against the Cholesky factor.
  for (fint j = 1; j <= n; ++j)
    for (fint i = 1; i <= n; ++i) sv.J(i, j) = i == j ? 1.0 : 0.0;
  dtrsm_("L", "U", "N", "N", &n, &n, &kPlusOne, sv.R.at(1, 1), &n, sv.J.at(1, 1), &n, 1, 1, 1, 1);
  // An inverse beyond the range of doubles: H is singular in this arithmetic.
  for (fint j = 1; j <= n; ++j)
    if (!finite(n, sv.J.at(1, j))) {
      *inform = kNotDefinite;
      return;
    }

  // The unconstrained minimum x = -J J' g.
  dgemv_("T", &n, &n, &kPlusOne, sv.J.at(1, 1), &n, g, &kOne, &kZero, sv.d.at(1), &kOne, 1);
  dgemv_("N", &n, &n, &kMinusOne, sv.J.at(1, 1), &n, sv.d.at(1), &kOne, &kZero, x, &kOne, 1);
  sv.track(x);

  for (fint i = 1; i <= m; ++i) {
    sv.anorm(i) = dnrm2_(&n, sv.normal(i), &kOne);
    sv.status(i) = kInactive;
  }

  auto finish = [&](fint code) {
    for (fint i = 1; i <= m; ++i) u[i - 1] = 0.0;
    for (fint j = 1; j <= sv.q; ++j) u[sv.act(j) - 1] = sv.u(j);
    *nact = sv.q;
    *inform = code;
  };
  // Every point the method passes through is a minimum over some of the
  // constraints, starting from the one over none; one beyond the range of
  // doubles leaves nothing to work with.
  if (!finite(n, x)) return finish(kOutOfRange);

  std::int64_t iter = 0;
  // Equalities in their order.  One whose normal depends on those already
  // active is consistent with them or the constraints are inconsistent.
  for (fint p = 1; p <= meq; ++p) {
    if (iter >= max_iter) return finish(kLimit);
    double dnorm, d2norm;
    sv.project(p, dnorm, d2norm);
    const double sp = ddot_(&n, sv.normal(p), &kOne, x, &kOne) - sv.b(p);
    sv.dual_direction();
    if (d2norm <= sv.dep_tol * dnorm) {
      if (std::fabs(sp) <= sv.combined_allowance(p, tol)) {
        sv.status(p) = kDependent;
        continue;
      }
      return finish(kInconsistent);
    }
    // Only data whose products overflow give a step that is not finite: no
    // point within the range of the arithmetic then satisfies a_p.
    const double t = -sp / d2norm / d2norm;
    if (!std::isfinite(t)) return finish(kInconsistent);
    sv.primal_direction();
    sv.u(sv.q + 1) = 0.0;
    sv.step(t, x, true);
    if (!finite(n, x)) return finish(kOutOfRange);
    sv.add(p);
    ++iter;
  }

  // Inequalities, the most violated first.  When none is left and the point
  // fails the check, it is formed afresh from its active set, once for each
  // active set, and the search goes on from there.
  std::int64_t recomputed_at = -1;
  for (;;) {
    const fint p = sv.most_violated(x, tol);
    if (p == 0) {
      const Solver::Check verdict = sv.check(x, tol);
      if (verdict == Solver::Check::kHolds) return finish(kSolved);
      if (verdict == Solver::Check::kOutOfRange) return finish(kOutOfRange);
      if (recomputed_at == sv.changes) return finish(kInconsistent);
      sv.recompute(g, x);
      recomputed_at = sv.changes;
      if (!finite(n, x)) return finish(kOutOfRange);
      continue;
    }
    sv.u(sv.q + 1) = 0.0;
    for (;;) {
      if (iter >= max_iter) return finish(kLimit);
      ++iter;
      double dnorm, d2norm;
      sv.project(p, dnorm, d2norm);
      sv.dual_direction();
      // The longest step that keeps the multipliers of active inequalities
      // non-negative, and the one that would drop.
      double t1 = kInf;
      fint k = 0;
      for (fint j = 1; j <= sv.q; ++j) {
        if (sv.act(j) <= meq || !(sv.r(j) > 0.0)) continue;
        const double ratio = std::max(sv.u(j), 0.0) / sv.r(j);
        if (ratio < t1) {
          t1 = ratio;
          k = j;
        }
      }
      if (d2norm <= sv.dep_tol * dnorm) {
        // a_p lies in the range of the active normals: only the multipliers
        // can move.  A violation that the rounding of the active
        // constraints explains is no violation; it is put aside while the
        // multipliers still stand as they were for the other constraints
        // (else dropping the multiplier of p would leave them out of
        // balance).  Without an active inequality to drop, no point
        // satisfies a_p together with the active constraints.
        const double sp = ddot_(&n, sv.normal(p), &kOne, x, &kOne) - sv.b(p);
        if (sv.u(sv.q + 1) == 0.0 && sp >= -sv.combined_allowance(p, tol)) {
          sv.status(p) = kDeferred;
          break;
        }
        if (k == 0) return finish(kInconsistent);
        sv.step(t1, x, false);
        sv.u(k) = 0.0;
        sv.drop(k);
        continue;
      }
      sv.primal_direction();
      const double sp = ddot_(&n, sv.normal(p), &kOne, x, &kOne) - sv.b(p);
      const double t2 = std::max(-sp / d2norm / d2norm, 0.0);
      // As for an equality; a finite t2 above t1 leaves k a constraint to drop.
      if (!std::isfinite(t2)) return finish(kInconsistent);
      // A step to a violated constraint too short for the arithmetic: adding
      // it moves nothing, and the constraints can take turns at that.
      if (t2 == 0.0 && sp < -sv.allowance(p, tol)) return finish(kOutOfRange);
      if (t2 <= t1) {
        sv.step(t2, x, true);
        if (!finite(n, x)) return finish(kOutOfRange);
        sv.add(p);
        break;
      }
      sv.step(t1, x, true);
      if (!finite(n, x)) return finish(kOutOfRange);
      sv.u(k) = 0.0;
      sv.drop(k);
    }
  }
}

}  // namespace tbl::sqp

extern "C" {

TBL_EXPORT void VE17AD(const fint* N, const fint* M, const fint* MEQ, const double* H, const fint* LH,
                       const double* G, const double* A, const fint* LA, const double* B, double* X, double* U,
                       fint* IACT, fint* NACT, const double* TOL, double* W, const fint* LW, fint* INFORM) {
  tbl::sqp::ve17_solve(*N, *M, *MEQ, H, *LH, G, A, *LA, B, X, U, IACT, NACT, *TOL, W, *LW,
                       tbl::sqp::ve17_iteration_limit(*N, *M), INFORM);
}

}  // extern "C"
