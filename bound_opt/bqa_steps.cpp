// The two kinds of step: the trust-region step that reduces the model
// inside the box, and the geometry step that keeps the interpolation points
// well poised by making a Lagrange function large.
#include <algorithm>
#include <cmath>

#include "bound_opt/bqa.hpp"

namespace tbl::bqa::detail {

namespace {

// Free variables are those not fixed at a bound by the step.
inline bool is_free(const Work& w, fint i) { return w.xbdi(i) == 0.0; }

}  // namespace

// Conjugate gradients on the model, restarted from steepest descent each
// time a variable reaches a bound (which then stays fixed); once the step
// reaches the trust-region boundary, it is turned on that boundary, in the
// plane of the step and the reduced gradient, while the model still falls.
void trust_region_step(const Work& w, double delta, double& dsq, double& crvmin) {
  const fint n = w.n;
  fint iterc = 0, nact = 0;
  for (fint i = 1; i <= n; ++i) {
    w.xbdi(i) = 0.0;
    if (w.xopt(i) <= w.sl(i)) {
      if (w.gopt(i) >= 0.0) w.xbdi(i) = -1.0;
    } else if (w.xopt(i) >= w.su(i)) {
      if (w.gopt(i) <= 0.0) w.xbdi(i) = 1.0;
    }
    if (w.xbdi(i) != 0.0) ++nact;
    w.d(i) = 0.0;
    w.gnew(i) = w.gopt(i);
  }
  double delsq = delta * delta, qred = 0.0;
  crvmin = -1.0;

  // Truncated conjugate gradients inside the ball.  Squares of gradients
  // and curvatures that overflow would stop the step at zero length, as if
  // the model had no descent left: they are reported through DSQ instead.
  bool on_boundary = false, overflow = false;
  double beta = 0.0, gredsq = 0.0;
  fint itermax = 0;
  for (;;) {
    double stepsq = 0.0;
    for (fint i = 1; i <= n; ++i) {
      if (!is_free(w, i))
        w.s(i) = 0.0;
      else if (beta == 0.0)
        w.s(i) = -w.gnew(i);
      else
        w.s(i) = beta * w.s(i) - w.gnew(i);
      stepsq += w.s(i) * w.s(i);
    }
    if (stepsq == 0.0) break;
    if (!std::isfinite(stepsq)) {
      overflow = true;
      break;
    }
    if (beta == 0.0) {
      gredsq = stepsq;
      itermax = iterc + n - nact;
    }
    if (gredsq * delsq <= 1.0e-4 * qred * qred) break;
    hess_times(w, w.s, w.hs);
    double resid = delsq, ds = 0.0, shs = 0.0;
    for (fint i = 1; i <= n; ++i) {
      if (!is_free(w, i)) continue;
      resid -= w.d(i) * w.d(i);
      ds += w.s(i) * w.d(i);
      shs += w.s(i) * w.hs(i);
    }
    if (!std::isfinite(shs)) {
      overflow = true;
      break;
    }
    if (resid <= 0.0) {
      on_boundary = true;
      break;
    }
    const double root = std::sqrt(stepsq * resid + ds * ds);
    const double blen = ds < 0.0 ? (root - ds) / stepsq : resid / (root + ds);
    double stplen = blen;
    if (shs > 0.0) stplen = std::min(blen, gredsq / shs);
    // The first bound met along S.
    fint iact = 0;
    for (fint i = 1; i <= n; ++i) {
      if (w.s(i) == 0.0) continue;
      const double xsum = w.xopt(i) + w.d(i);
      const double room = w.s(i) > 0.0 ? (w.su(i) - xsum) / w.s(i) : (w.sl(i) - xsum) / w.s(i);
      if (room < stplen) {
        stplen = room;
        iact = i;
      }
    }
    double sdec = 0.0, ggsav = gredsq;
    if (stplen > 0.0) {
      ++iterc;
      const double curv = shs / stepsq;
      if (iact == 0 && curv > 0.0) crvmin = crvmin == -1.0 ? curv : std::min(crvmin, curv);
      gredsq = 0.0;
      for (fint i = 1; i <= n; ++i) {
        w.gnew(i) += stplen * w.hs(i);
        if (is_free(w, i)) gredsq += w.gnew(i) * w.gnew(i);
        w.d(i) += stplen * w.s(i);
      }
      sdec = std::max(stplen * (ggsav - 0.5 * stplen * shs), 0.0);
      qred += sdec;
    }
    if (iact > 0) {
      ++nact;
      w.xbdi(iact) = w.s(iact) > 0.0 ? 1.0 : -1.0;
      delsq -= w.d(iact) * w.d(iact);
      if (delsq <= 0.0) {
        on_boundary = true;
        break;
      }
      beta = 0.0;
      continue;
    }
    if (stplen < blen) {
      if (iterc == itermax || sdec <= 0.01 * qred) break;
      beta = gredsq / ggsav;
      continue;
    }
    on_boundary = true;
    break;
  }

  if (on_boundary && !overflow) {
    crvmin = 0.0;
    bool done = false;
    while (!done && nact < n - 1) {
      // A fresh start on the boundary with the free variables of now.
      double dredsq = 0.0, dredg = 0.0;
      gredsq = 0.0;
      for (fint i = 1; i <= n; ++i) {
        if (is_free(w, i)) {
          dredsq += w.d(i) * w.d(i);
          dredg += w.d(i) * w.gnew(i);
          gredsq += w.gnew(i) * w.gnew(i);
          w.s(i) = w.d(i);
        } else {
          w.s(i) = 0.0;
        }
      }
      hess_times(w, w.s, w.hred);
      bool refix = false;
      while (!done && !refix) {
        ++iterc;
        double temp = gredsq * dredsq - dredg * dredg;
        if (!std::isfinite(temp)) {
          overflow = true;
          done = true;
          break;
        }
        if (temp <= 1.0e-4 * qred * qred) {
          done = true;
          break;
        }
        temp = std::sqrt(temp);
        for (fint i = 1; i <= n; ++i)
          w.s(i) = is_free(w, i) ? (dredg * w.d(i) - dredsq * w.gnew(i)) / temp : 0.0;
        const double sredg = -temp;
        // The tangent of half the largest turn that keeps the free variables
        // inside their bounds; a variable already at a bound is fixed first.
        double angbd = 1.0, xsav = 0.0;
        fint iact = 0;
        for (fint i = 1; i <= n && !refix; ++i) {
          if (!is_free(w, i)) continue;
          const double tempa = w.xopt(i) + w.d(i) - w.sl(i);
          const double tempb = w.su(i) - w.xopt(i) - w.d(i);
          if (tempa <= 0.0 || tempb <= 0.0) {
            ++nact;
            w.xbdi(i) = tempa <= 0.0 ? -1.0 : 1.0;
            refix = true;
            break;
          }
          const double ssq = w.d(i) * w.d(i) + w.s(i) * w.s(i);
          double t = ssq - (w.xopt(i) - w.sl(i)) * (w.xopt(i) - w.sl(i));
          if (t > 0.0) {
            t = std::sqrt(t) - w.s(i);
            if (angbd * t > tempa) {
              angbd = tempa / t;
              iact = i;
              xsav = -1.0;
            }
          }
          t = ssq - (w.su(i) - w.xopt(i)) * (w.su(i) - w.xopt(i));
          if (t > 0.0) {
            t = std::sqrt(t) + w.s(i);
            if (angbd * t > tempb) {
              angbd = tempb / t;
              iact = i;
              xsav = 1.0;
            }
          }
        }
        if (refix) break;
        hess_times(w, w.s, w.hs);
        double shs = 0.0, dhs = 0.0, dhd = 0.0;
        for (fint i = 1; i <= n; ++i) {
          if (!is_free(w, i)) continue;
          shs += w.s(i) * w.hs(i);
          dhs += w.d(i) * w.hs(i);
          dhd += w.d(i) * w.hred(i);
        }
        if (!std::isfinite(shs + dhs + dhd)) {
          overflow = true;
          done = true;
          break;
        }
        // The reduction of the model at equally spaced tangents of the half
        // angle, refined by a parabola through the best and its neighbours.
        double redmax = 0.0, redsav = 0.0, rdprev = 0.0, rdnext = 0.0;
        fint isav = 0;
        const fint iu = static_cast<fint>(17.0 * angbd + 3.1);
        for (fint i = 1; i <= iu; ++i) {
          const double angt = angbd * i / iu;
          const double sth = (angt + angt) / (1.0 + angt * angt);
          const double t = shs + angt * (angt * dhd - dhs - dhs);
          const double rednew = sth * (angt * dredg - sredg - 0.5 * sth * t);
          if (rednew > redmax) {
            redmax = rednew;
            isav = i;
            rdprev = redsav;
          } else if (i == isav + 1) {
            rdnext = rednew;
          }
          redsav = rednew;
        }
        if (isav == 0) {
          done = true;
          break;
        }
        double angt = angbd;
        if (isav < iu) {
          const double t = (rdnext - rdprev) / (redmax + redmax - rdprev - rdnext);
          angt = angbd * (isav + 0.5 * t) / iu;
        }
        const double cth = (1.0 - angt * angt) / (1.0 + angt * angt);
        const double sth = (angt + angt) / (1.0 + angt * angt);
        const double t = shs + angt * (angt * dhd - dhs - dhs);
        const double sdec = sth * (angt * dredg - sredg - 0.5 * sth * t);
        if (!(sdec > 0.0)) {
          done = true;
          break;
        }
        dredg = 0.0;
        gredsq = 0.0;
        for (fint i = 1; i <= n; ++i) {
          w.gnew(i) += (cth - 1.0) * w.hred(i) + sth * w.hs(i);
          if (is_free(w, i)) {
            w.d(i) = cth * w.d(i) + sth * w.s(i);
            dredg += w.d(i) * w.gnew(i);
            gredsq += w.gnew(i) * w.gnew(i);
          }
          w.hred(i) = cth * w.hred(i) + sth * w.hs(i);
        }
        qred += sdec;
        if (iact > 0 && isav == iu) {
          ++nact;
          w.xbdi(iact) = xsav;
          refix = true;
          break;
        }
        if (sdec <= 0.01 * qred) done = true;
      }
    }
  }

  // XNEW on the bounds exactly where the step fixed a variable.
  dsq = 0.0;
  for (fint i = 1; i <= n; ++i) {
    double x = std::max(std::min(w.xopt(i) + w.d(i), w.su(i)), w.sl(i));
    if (w.xbdi(i) == -1.0) x = w.sl(i);
    if (w.xbdi(i) == 1.0) x = w.su(i);
    w.xnew(i) = x;
    w.d(i) = x - w.xopt(i);
    dsq += w.d(i) * w.d(i);
  }
  if (overflow) dsq = NAN;
}

// One constrained Cauchy step for L_knew with gradient GLAG at XOPT: the
// steepest-descent step of length ADELT with the variables that it would
// take past a bound fixed there.  GGFREE is |GLAG|^2 over the variables
// that can move (marked 1 in HS).  NEGATED: the curvature is that of
// -L_knew.
static void cauchy_step(const Work& w, double adelt, double ggfree, bool negated, double ratio,
                        double& cauchy) {
  const fint n = w.n, npt = w.npt;
  double wfixsq = 0.0;
  // Fix the variables that the steepest-descent step of length ADELT
  // would take past a bound, until no more need fixing.
  double step = 0.0;
  for (;;) {
    const double temp = adelt * adelt - wfixsq;
    if (!(temp > 0.0)) break;
    const double wsqsav = wfixsq;
    step = std::sqrt(temp / ggfree);
    ggfree = 0.0;
    for (fint i = 1; i <= n; ++i) {
      if (w.hs(i) != 1.0) continue;
      const double x = w.xopt(i) - step * w.glag(i);
      if (x <= w.sl(i)) {
        w.s(i) = w.sl(i) - w.xopt(i);
        w.hs(i) = 2.0;
        wfixsq += w.s(i) * w.s(i);
      } else if (x >= w.su(i)) {
        w.s(i) = w.su(i) - w.xopt(i);
        w.hs(i) = 2.0;
        wfixsq += w.s(i) * w.s(i);
      } else {
        ggfree += w.glag(i) * w.glag(i);
      }
    }
    if (!(wfixsq > wsqsav && ggfree > 0.0)) break;
  }
  double gw = 0.0;
  for (fint i = 1; i <= n; ++i) {
    if (w.hs(i) == 1.0) {
      w.s(i) = -step * w.glag(i);
      w.xalt(i) = std::max(w.sl(i), std::min(w.su(i), w.xopt(i) + w.s(i)));
    } else if (w.hs(i) == 0.0) {
      w.xalt(i) = w.xopt(i);
    } else if (w.glag(i) > 0.0) {
      w.xalt(i) = w.sl(i);
    } else {
      w.xalt(i) = w.su(i);
    }
    gw += w.glag(i) * w.s(i);
  }
  // A shorter step when the curvature of L_knew along S makes |L_knew|
  // larger there.
  point_dots(w, w.s, w.wd);
  double curv = 0.0;
  for (fint k = 1; k <= npt; ++k) curv += w.hcol(k) * w.wd(k) * w.wd(k);
  if (negated) curv = -curv;
  if (curv > -gw && curv < -ratio * gw) {
    const double scale = -gw / curv;
    for (fint i = 1; i <= n; ++i)
      w.xalt(i) = std::max(w.sl(i), std::min(w.su(i), w.xopt(i) + scale * w.s(i)));
    cauchy = (0.5 * gw * scale) * (0.5 * gw * scale);
  } else {
    cauchy = (gw + 0.5 * curv) * (gw + 0.5 * curv);
  }
}

// XNEW: the best point, for |L_knew| and the distance to the other points,
// on the lines through XOPT and each other interpolation point, within
// ADELT and the bounds.  XALT: a constrained Cauchy step for L_knew (or
// -L_knew, whichever gives more) from XOPT.  ALPHA is the diagonal entry of
// Omega for KNEW; CAUCHY the square of L_knew at XALT (0 when no Cauchy
// step exists).
void geometry_step(const Work& w, fint kopt, fint knew, double adelt, double& alpha, double& cauchy) {
  const fint n = w.n, npt = w.npt;
  const double kCauchyRatio = 1.0 + std::sqrt(2.0);
  for (fint k = 1; k <= npt; ++k) w.hcol(k) = 0.0;
  for (fint j = 1; j <= w.nptm; ++j) {
    const double temp = w.zmat(knew, j);
    for (fint k = 1; k <= npt; ++k) w.hcol(k) += temp * w.zmat(k, j);
  }
  alpha = w.hcol(knew);
  const double ha = 0.5 * alpha;
  // The gradient of L_knew at XOPT.
  point_dots(w, w.xopt, w.wv);
  for (fint k = 1; k <= npt; ++k) w.wv(k) *= w.hcol(k);
  for (fint i = 1; i <= n; ++i) {
    double sum = w.bmat(knew, i);
    for (fint k = 1; k <= npt; ++k) sum += w.wv(k) * w.xpt(k, i);
    w.glag(i) = sum;
  }

  double presav = 0.0, stpsav = 0.0;
  fint ksav = 0, ibdsav = 0;
  for (fint k = 1; k <= npt; ++k) {
    if (k == kopt) continue;
    double dderiv = 0.0, distsq = 0.0;
    for (fint i = 1; i <= n; ++i) {
      const double temp = w.xpt(k, i) - w.xopt(i);
      dderiv += w.glag(i) * temp;
      distsq += temp * temp;
    }
    double subd = adelt / std::sqrt(distsq), slbd = -subd;
    fint ilbd = 0, iubd = 0;
    const double sumin = std::min(1.0, subd);
    // The bounds shorten the admissible range of the line.
    for (fint i = 1; i <= n; ++i) {
      const double temp = w.xpt(k, i) - w.xopt(i);
      if (temp > 0.0) {
        if (slbd * temp < w.sl(i) - w.xopt(i)) {
          slbd = (w.sl(i) - w.xopt(i)) / temp;
          ilbd = -i;
        }
        if (subd * temp > w.su(i) - w.xopt(i)) {
          subd = std::max(sumin, (w.su(i) - w.xopt(i)) / temp);
          iubd = i;
        }
      } else if (temp < 0.0) {
        if (slbd * temp > w.su(i) - w.xopt(i)) {
          slbd = (w.su(i) - w.xopt(i)) / temp;
          ilbd = i;
        }
        if (subd * temp < w.sl(i) - w.xopt(i)) {
          subd = std::max(sumin, (w.sl(i) - w.xopt(i)) / temp);
          iubd = -i;
        }
      }
    }
    // Along the line, L_knew is t*(dderiv - t*(dderiv-1)) towards KNEW
    // itself, and dderiv*t*(1-t) towards any other point.
    double step = 0.0, vlag = 0.0;
    fint isbd = 0;
    if (k == knew) {
      const double diff = dderiv - 1.0;
      step = slbd;
      vlag = slbd * (dderiv - slbd * diff);
      isbd = ilbd;
      const double temp = subd * (dderiv - subd * diff);
      if (std::fabs(temp) > std::fabs(vlag)) {
        step = subd;
        vlag = temp;
        isbd = iubd;
      }
      const double tempd = 0.5 * dderiv;
      const double tempa = tempd - diff * slbd, tempb = tempd - diff * subd;
      if (tempa * tempb < 0.0) {
        const double t = tempd * tempd / diff;
        if (std::fabs(t) > std::fabs(vlag)) {
          step = tempd / diff;
          vlag = t;
          isbd = 0;
        }
      }
    } else {
      step = slbd;
      vlag = slbd * (1.0 - slbd);
      isbd = ilbd;
      const double temp = subd * (1.0 - subd);
      if (std::fabs(temp) > std::fabs(vlag)) {
        step = subd;
        vlag = temp;
        isbd = iubd;
      }
      if (subd > 0.5 && std::fabs(vlag) < 0.25) {
        step = 0.5;
        vlag = 0.25;
        isbd = 0;
      }
      vlag *= dderiv;
    }
    // An estimate of the denominator of the update for this candidate.
    const double temp = step * (1.0 - step) * distsq;
    const double predsq = vlag * vlag * (vlag * vlag + ha * temp * temp);
    if (predsq > presav) {
      presav = predsq;
      ksav = k;
      stpsav = step;
      ibdsav = isbd;
    }
  }
  if (ksav == 0) {  // no candidate improved on nothing: stay on the line to KNEW
    ksav = knew;
    stpsav = 0.5;
    ibdsav = 0;
  }
  for (fint i = 1; i <= n; ++i) {
    const double temp = w.xopt(i) + stpsav * (w.xpt(ksav, i) - w.xopt(i));
    w.xnew(i) = std::max(w.sl(i), std::min(w.su(i), temp));
  }
  if (ibdsav < 0) w.xnew(-ibdsav) = w.sl(-ibdsav);
  if (ibdsav > 0) w.xnew(ibdsav) = w.su(ibdsav);

  // The Cauchy steps, for L_knew and then for -L_knew.  HS marks the
  // components of the step: 0 none, 1 free, 2 fixed at a bound; S holds it.
  double csave = 0.0;
  for (int sign_pass = 0; sign_pass < 2; ++sign_pass) {
    double ggfree = 0.0;
    for (fint i = 1; i <= n; ++i) {
      w.s(i) = 0.0;
      w.hs(i) = 0.0;
      const double tempa = std::min(w.xopt(i) - w.sl(i), w.glag(i));
      const double tempb = std::max(w.xopt(i) - w.su(i), w.glag(i));
      if (tempa > 0.0 || tempb < 0.0) {
        w.hs(i) = 1.0;
        ggfree += w.glag(i) * w.glag(i);
      }
    }
    if (ggfree == 0.0) {  // no move along this sign of the gradient
      for (fint i = 1; i <= n; ++i) w.xalt(i) = w.xopt(i);
      cauchy = 0.0;
    } else {
      cauchy_step(w, adelt, ggfree, sign_pass == 1, kCauchyRatio, cauchy);
    }
    if (sign_pass == 0) {
      for (fint i = 1; i <= n; ++i) {
        w.glag(i) = -w.glag(i);
        w.wsave(i) = w.xalt(i);
      }
      csave = cauchy;
    }
  }
  if (csave > cauchy) {
    for (fint i = 1; i <= n; ++i) w.xalt(i) = w.wsave(i);
    cauchy = csave;
  }
}

}  // namespace tbl::bqa::detail
