// One run of the method by reverse communication: the initial points, then
// trust-region and geometry steps with their evaluations, the radius RHO
// coming down from its first value to RHOEND.  Between two requests the run
// keeps only its scalars (Run) and the workspace.
//
// When the model breaks down (a denominator of the update that is too small
// to trust, a step that does not reduce the model, values that overflow),
// the run builds a fresh set of initial points around its best point at the
// current radius; a breakdown with no evaluation since the last (re)build
// ends the run.
#include <algorithm>
#include <cmath>

#include "bound_opt/bqa.hpp"

namespace tbl::bqa {

using namespace detail;

namespace {

enum class Next {
  AfterInitial,
  TrustRegion,
  PrepareStep,
  Geometry,
  Lagrange,
  AfterTrial,
  FarPoint,
  NewRho,
  Breakdown
};

bool all_finite(const Vec1<double>& v, std::int64_t n) {
  for (std::int64_t i = 1; i <= n; ++i)
    if (!std::isfinite(v(i))) return false;
  return true;
}

// The point XBASE + XNEW in XEVAL, inside the bounds, and on a bound exactly
// where XNEW is.
void set_eval_point(const Work& w) {
  for (fint j = 1; j <= w.n; ++j) {
    double x = std::max(w.xls(j), std::min(w.xus(j), w.xbase(j) + w.xnew(j)));
    if (w.xnew(j) == w.sl(j)) x = w.xls(j);
    if (w.xnew(j) == w.su(j)) x = w.xus(j);
    w.xeval(j) = x;
  }
}

// XBASE from X0 for initial steps of length R: a coordinate closer than R
// to a bound moves onto that bound (when outside or on it) or to R from it,
// so that every initial step stays feasible.  Returns whether XBASE differs
// from X0.
bool place_base(const Work& w, const double* x0, double r) {
  bool moved = false;
  for (fint j = 1; j <= w.n; ++j) {
    const double width = w.xus(j) - w.xls(j);
    double xb = x0[j - 1];
    double sl = w.xls(j) - xb, su = w.xus(j) - xb;
    if (sl >= -r) {
      if (sl >= 0.0) {
        xb = w.xls(j);
        sl = 0.0;
        su = width;
      } else {
        xb = w.xls(j) + r;
        sl = -r;
        su = std::max(w.xus(j) - xb, r);
      }
    } else if (su <= r) {
      if (su <= 0.0) {
        xb = w.xus(j);
        sl = -width;
        su = 0.0;
      } else {
        xb = w.xus(j) - r;
        sl = std::min(w.xls(j) - xb, -r);
        su = r;
      }
    }
    moved = moved || xb != x0[j - 1];
    w.xbase(j) = xb;
    w.sl(j) = sl;
    w.su(j) = su;
  }
  return moved;
}

Outcome request_initial(Run& run, const Work& w) {
  initial_point(w, run.kinit, run.rinit);
  set_eval_point(w);
  run.phase = Phase::Initial;
  return Outcome::Evaluate;
}

// A fresh interpolation set around XBASE with steps R; KNOWN, when not
// null, is the value at XBASE (a stand-in when KNOWN_STAND_IN).
Outcome begin_initial(Run& run, const Work& w, double r, const double* known, bool known_stand_in = false) {
  const fint n = w.n, npt = w.npt;
  run.stand_ins = 0;
  for (fint k = 1; k <= npt; ++k) {
    run.stand_in[k] = false;
    w.pq(k) = 0.0;
    for (fint j = 1; j <= n; ++j) w.xpt(k, j) = 0.0;
    for (fint j = 1; j <= w.nptm; ++j) w.zmat(k, j) = 0.0;
  }
  for (fint k = 1; k <= w.ndim; ++k)
    for (fint j = 1; j <= n; ++j) w.bmat(k, j) = 0.0;
  for (std::int64_t i = 1; i <= std::int64_t(n) * (n + 1) / 2; ++i) w.hq(i) = 0.0;
  for (fint j = 1; j <= n; ++j) w.gopt(j) = 0.0;
  run.rinit = r;
  run.kinit = 1;
  if (known != nullptr) {
    run.mark(1, known_stand_in);
    record_initial_value(w, run, 1, *known);
    run.kinit = 2;
  }
  return request_initial(run, w);
}

double model_change(const Work& w) {
  hess_times(w, w.d, w.hs);
  double vquad = 0.0;
  for (fint i = 1; i <= w.n; ++i) vquad += w.d(i) * (w.gopt(i) + 0.5 * w.hs(i));
  return vquad;
}

// The point to replace by XOPT + D: the largest denominator of the update,
// weighted towards points far from X.  Returns false when even the best is
// small beside the largest Lagrange value (the update would be unsafe).
bool choose_knew(const Work& w, Run& run, const Vec1<double>& x, fint skip) {
  const double delsq = run.delta * run.delta;
  double scaden = 0.0, biglsq = 0.0;
  run.knew = 0;
  // The diagonal of Omega in WU, the distances in HCOL.
  for (fint k = 1; k <= w.npt; ++k) w.wu(k) = 0.0;
  for (fint j = 1; j <= w.nptm; ++j)
    for (fint k = 1; k <= w.npt; ++k) w.wu(k) += w.zmat(k, j) * w.zmat(k, j);
  point_distances(w, x, w.hcol);
  for (fint k = 1; k <= w.npt; ++k) {
    if (k == skip) continue;
    const double den = run.beta * w.wu(k) + w.vlag(k) * w.vlag(k);
    const double dist = w.hcol(k) / delsq;
    const double weight = std::max(1.0, dist * dist);
    if (weight * den > scaden) {
      scaden = weight * den;
      run.knew = k;
      run.denom = den;
    }
    biglsq = std::max(biglsq, weight * w.vlag(k) * w.vlag(k));
  }
  return scaden > 0.5 * biglsq;
}

// The model after the value F at XNEW: H and the second derivatives for the
// moved point KNEW, then the gradient; XOPT moves when F is the least.
void take_new_point(const Work& w, Run& run, double f, bool stand_in, double diff) {
  const fint n = w.n, npt = w.npt, knew = run.knew;
  run.mark(knew, stand_in);
  update_h(w, knew, run.beta, run.denom);
  // The implicit second derivative of the point that leaves becomes
  // explicit; the change of the model is DIFF times the new Lagrange
  // function of KNEW.
  const double pqold = w.pq(knew);
  w.pq(knew) = 0.0;
  std::int64_t ih = 0;
  for (fint i = 1; i <= n; ++i) {
    const double temp = pqold * w.xpt(knew, i);
    for (fint j = 1; j <= i; ++j) w.hq(++ih) += temp * w.xpt(knew, j);
  }
  for (fint jj = 1; jj <= w.nptm; ++jj) {
    const double temp = diff * w.zmat(knew, jj);
    for (fint k = 1; k <= npt; ++k) w.pq(k) += temp * w.zmat(k, jj);
  }
  w.fval(knew) = f;
  for (fint i = 1; i <= n; ++i) {
    w.xpt(knew, i) = w.xnew(i);
    w.wu(i) = w.bmat(knew, i);
  }
  // Omega's column KNEW in HCOL, the products XPT(k)'XOPT in WD.
  for (fint k = 1; k <= npt; ++k) w.hcol(k) = 0.0;
  for (fint jj = 1; jj <= w.nptm; ++jj) {
    const double zk = w.zmat(knew, jj);
    for (fint k = 1; k <= npt; ++k) w.hcol(k) += zk * w.zmat(k, jj);
  }
  point_dots(w, w.xopt, w.wd);
  for (fint k = 1; k <= npt; ++k) w.hcol(k) *= w.wd(k);
  for (fint i = 1; i <= n; ++i) {
    double sum = w.wu(i);
    for (fint k = 1; k <= npt; ++k) sum += w.hcol(k) * w.xpt(k, i);
    w.gopt(i) += diff * sum;
  }
}

// After a trust-region step: when the gradient of the model is repeatedly
// much larger than that of the least-Frobenius-norm interpolant of the
// same values (measured where the bounds allow moves), the model is
// replaced by that interpolant.
void maybe_replace_model(const Work& w, Run& run) {
  const fint n = w.n, npt = w.npt;
  for (fint k = 1; k <= npt; ++k) {
    w.vlag(k) = w.fval(k) - w.fval(run.kopt);
    w.wv(k) = 0.0;
  }
  for (fint j = 1; j <= w.nptm; ++j) {
    double sum = 0.0;
    for (fint k = 1; k <= npt; ++k) sum += w.zmat(k, j) * w.vlag(k);
    for (fint k = 1; k <= npt; ++k) w.wv(k) += sum * w.zmat(k, j);
  }
  point_dots(w, w.xopt, w.hcol);
  for (fint k = 1; k <= npt; ++k) {
    w.wd(k) = w.wv(k);
    w.wv(k) *= w.hcol(k);
  }
  double gqsq = 0.0, gisq = 0.0;
  for (fint i = 1; i <= n; ++i) {
    double sum = 0.0;
    for (fint k = 1; k <= npt; ++k) sum += w.bmat(k, i) * w.vlag(k) + w.xpt(k, i) * w.wv(k);
    const double g = w.gopt(i);
    if (w.xopt(i) == w.sl(i)) {
      gqsq += std::min(0.0, g) * std::min(0.0, g);
      gisq += std::min(0.0, sum) * std::min(0.0, sum);
    } else if (w.xopt(i) == w.su(i)) {
      gqsq += std::max(0.0, g) * std::max(0.0, g);
      gisq += std::max(0.0, sum) * std::max(0.0, sum);
    } else {
      gqsq += g * g;
      gisq += sum * sum;
    }
    w.vlag(npt + i) = sum;
  }
  ++run.itest;
  if (gqsq < 10.0 * gisq) run.itest = 0;
  if (run.itest >= 3) {
    for (fint i = 1; i <= n; ++i) w.gopt(i) = w.vlag(npt + i);
    for (std::int64_t i = 1; i <= std::int64_t(n) * (n + 1) / 2; ++i) w.hq(i) = 0.0;
    for (fint k = 1; k <= npt; ++k) w.pq(k) = w.wd(k);
    run.itest = 0;
  }
}

Outcome iterate(Run& run, const Work& w, Next next, double f, bool stand_in, const RadiusObserver& obs) {
  const fint n = w.n, npt = w.npt;
  double distsq = 0.0, adelt = 0.0;
  for (;;) {
    switch (next) {
      case Next::AfterInitial: {
        // The model's gradient moves from XBASE to the best point.
        for (fint j = 1; j <= n; ++j) w.xopt(j) = w.xpt(run.kopt, j);
        run.xoptsq = 0.0;
        for (fint j = 1; j <= n; ++j) run.xoptsq += w.xopt(j) * w.xopt(j);
        if (run.kopt != 1) {
          hess_times(w, w.xopt, w.gnew);
          for (fint j = 1; j <= n; ++j) w.gopt(j) += w.gnew(j);
        }
        run.nresc = run.nf;
        run.nfsav = run.nf;
        run.ntrits = 0;
        run.itest = 0;
        run.diffa = run.diffb = run.diffc = 0.0;
        run.ratio = 1.0;
        if (!all_finite(w.gopt, n) || !all_finite(w.hq, std::int64_t(n) * (n + 1) / 2)) {
          next = Next::Breakdown;
          break;
        }
        next = Next::TrustRegion;
        break;
      }

      case Next::TrustRegion: {
        trust_region_step(w, run.delta, run.dsq, run.crvmin);
        if (!std::isfinite(run.dsq)) {
          next = Next::Breakdown;
          break;
        }
        run.dnorm = std::min(run.delta, std::sqrt(run.dsq));
        if (run.dnorm >= 0.5 * run.rho) {
          ++run.ntrits;
          next = Next::PrepareStep;
          break;
        }
        // A short step: either the geometry needs attention or the work at
        // this radius may be done, judged by the recent model errors
        // against what a step of length RHO/2 could still gain.
        run.ntrits = -1;
        distsq = 100.0 * run.rho * run.rho;
        next = Next::FarPoint;
        if (run.nf <= run.nfsav + 2) break;
        const double errbig = std::max({run.diffa, run.diffb, run.diffc});
        const double frhosq = 0.125 * run.rho * run.rho;
        if (run.crvmin > 0.0 && errbig > frhosq * run.crvmin) break;
        const double bdtol = errbig / run.rho;
        bool geometry = false;
        for (fint j = 1; j <= n && !geometry; ++j) {
          double bdtest = bdtol;
          if (w.xnew(j) == w.sl(j)) bdtest = w.gnew(j);
          if (w.xnew(j) == w.su(j)) bdtest = -w.gnew(j);
          if (bdtest < bdtol) {
            double curv = w.hq(std::int64_t(j) * (j + 1) / 2);
            for (fint k = 1; k <= npt; ++k) curv += w.pq(k) * w.xpt(k, j) * w.xpt(k, j);
            bdtest += 0.5 * curv * run.rho;
            geometry = bdtest < bdtol;
          }
        }
        if (!geometry) next = Next::NewRho;
        break;
      }

      case Next::PrepareStep:
        // Far from XBASE the rounding errors of the large terms grow: move
        // the origin to XOPT.
        if (run.dsq <= 1.0e-3 * run.xoptsq) {
          shift_base(w);
          run.xoptsq = 0.0;
        }
        next = run.ntrits == 0 ? Next::Geometry : Next::Lagrange;
        break;

      case Next::Geometry:
        geometry_step(w, run.kopt, run.knew, adelt, run.alpha, run.cauchy);
        for (fint i = 1; i <= n; ++i) w.d(i) = w.xnew(i) - w.xopt(i);
        next = Next::Lagrange;
        break;

      case Next::Lagrange: {
        run.beta = lagrange_values(w, run.kopt, run.xoptsq);
        if (run.ntrits == 0) {
          const double tau = w.vlag(run.knew);
          run.denom = tau * tau + run.alpha * run.beta;
          if (run.denom < run.cauchy && run.cauchy > 0.0) {
            for (fint i = 1; i <= n; ++i) {
              w.xnew(i) = w.xalt(i);
              w.d(i) = w.xalt(i) - w.xopt(i);
            }
            run.cauchy = 0.0;
            break;  // the Lagrange values again, for the Cauchy step
          }
          if (!(run.denom > 0.5 * tau * tau)) {
            next = Next::Breakdown;
            break;
          }
        } else if (!choose_knew(w, run, w.xopt, run.kopt)) {
          next = Next::Breakdown;
          break;
        }
        run.vquad = model_change(w);
        if (!std::isfinite(run.vquad) || (run.ntrits > 0 && !(run.vquad < 0.0))) {
          next = Next::Breakdown;
          break;
        }
        set_eval_point(w);
        run.phase = Phase::Trial;
        return Outcome::Evaluate;
      }

      case Next::AfterTrial: {
        const double fopt = w.fval(run.kopt);
        const double diff = f - fopt - run.vquad;
        run.diffc = run.diffb;
        run.diffb = run.diffa;
        run.diffa = std::fabs(diff);
        if (run.dnorm > run.rho) run.nfsav = run.nf;
        if (run.ntrits > 0) {
          run.ratio = (f - fopt) / run.vquad;
          if (run.ratio <= 0.1)
            run.delta = std::min(0.5 * run.delta, run.dnorm);
          else if (run.ratio <= 0.7)
            run.delta = std::max(0.5 * run.delta, run.dnorm);
          else
            run.delta = std::max(0.5 * run.delta, 2.0 * run.dnorm);
          if (run.delta <= 1.5 * run.rho) run.delta = run.rho;
          // A new best point may replace another than the one chosen.
          if (f < fopt) {
            const fint ksav = run.knew;
            const double densav = run.denom;
            if (!choose_knew(w, run, w.xnew, 0)) {
              run.knew = ksav;
              run.denom = densav;
            }
          }
        }
        take_new_point(w, run, f, stand_in, diff);
        if (f < fopt) {
          run.kopt = run.knew;
          run.xoptsq = 0.0;
          for (fint j = 1; j <= n; ++j) {
            w.xopt(j) = w.xnew(j);
            run.xoptsq += w.xopt(j) * w.xopt(j);
          }
          hess_times(w, w.d, w.hs);
          for (fint i = 1; i <= n; ++i) w.gopt(i) += w.hs(i);
        }
        if (run.ntrits > 0) maybe_replace_model(w, run);
        if (run.ntrits == 0 || f <= fopt + 0.1 * run.vquad) {
          next = Next::TrustRegion;
          break;
        }
        distsq = std::max(4.0 * run.delta * run.delta, 100.0 * run.rho * run.rho);
        next = Next::FarPoint;
        break;
      }

      case Next::FarPoint: {
        // The point farthest from XOPT beyond sqrt(DISTSQ), if any, is
        // moved by a geometry step.
        run.knew = 0;
        point_distances(w, w.xopt, w.hcol);
        for (fint k = 1; k <= npt; ++k) {
          const double sum = w.hcol(k);
          if (sum > distsq) {
            run.knew = k;
            distsq = sum;
          }
        }
        if (run.knew > 0) {
          const double dist = std::sqrt(distsq);
          if (run.ntrits == -1) {
            run.delta = std::min(0.1 * run.delta, 0.5 * dist);
            if (run.delta <= 1.5 * run.rho) run.delta = run.rho;
          }
          run.ntrits = 0;
          adelt = std::max(std::min(0.1 * dist, run.delta), run.rho);
          run.dsq = adelt * adelt;
          next = Next::PrepareStep;
        } else if (run.ntrits == -1) {
          next = Next::NewRho;
        } else if (run.ratio > 0.0 || std::max(run.delta, run.dnorm) > run.rho) {
          next = Next::TrustRegion;
        } else {
          next = Next::NewRho;
        }
        break;
      }

      case Next::NewRho: {
        if (run.rho > run.rhoend) {
          run.delta = 0.5 * run.rho;
          const double ratio = run.rho / run.rhoend;
          if (ratio <= 16.0)
            run.rho = run.rhoend;
          else if (ratio <= 250.0)
            run.rho = std::sqrt(ratio) * run.rhoend;
          else
            run.rho *= 0.1;
          run.delta = std::max(run.delta, run.rho);
          run.stand_in_at_rho = false;
          if (obs.call != nullptr) obs.call(obs.context, run.rho);
          run.ntrits = 0;
          run.nfsav = run.nf;
          next = Next::TrustRegion;
          break;
        }
        // The last short step has not been tried; it may still gain.
        if (run.ntrits == -1 && run.dsq > 0.0) {
          set_eval_point(w);
          run.phase = Phase::FinalProbe;
          return Outcome::Evaluate;
        }
        run.phase = Phase::Idle;
        return Outcome::Converged;
      }

      case Next::Breakdown: {
        if (run.nf <= run.nresc) {
          run.phase = Phase::Idle;
          return Outcome::Breakdown;
        }
        // Rebuild around the best point, at the current radius.
        for (fint j = 1; j <= n; ++j) w.wsave(j) = w.xbase(j) + w.xopt(j);
        const double fopt = w.fval(run.kopt);
        const bool fopt_stand_in = run.stand_in[run.kopt];
        run.rebuilt = true;
        const bool moved = place_base(w, w.wsave.data(), run.rho);
        return begin_initial(run, w, run.rho, moved ? nullptr : &fopt, fopt_stand_in);
      }
    }
  }
}

}  // namespace

Outcome start(Run& run, const Work& w, const double* x0, double rhobeg, double rhoend, const double* known) {
  run = Run{};
  run.rho = rhobeg;
  run.delta = rhobeg;
  run.rhoend = rhoend;
  const bool moved = place_base(w, x0, rhobeg);
  return begin_initial(run, w, rhobeg, moved ? nullptr : known);
}

Outcome resume(Run& run, const Work& w, double f, const RadiusObserver& obs, bool stand_in) {
  ++run.nf;
  run.stand_in_at_rho = run.stand_in_at_rho || stand_in;
  switch (run.phase) {
    case Phase::Initial:
      run.mark(run.kinit, stand_in);
      record_initial_value(w, run, run.kinit, f);
      if (++run.kinit <= w.npt) return request_initial(run, w);
      return iterate(run, w, Next::AfterInitial, 0.0, false, obs);
    case Phase::Trial:
      return iterate(run, w, Next::AfterTrial, f, stand_in, obs);
    case Phase::FinalProbe:
    case Phase::Idle:
      break;
  }
  run.phase = Phase::Idle;
  return Outcome::Converged;
}

}  // namespace tbl::bqa
