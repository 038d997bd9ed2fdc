// The interpolation model and the inverse H of its interpolation system:
// the initial points with their closed-form H, the Lagrange values of a new
// point, the update of H when a point moves, and the shift of the origin.
#include <cmath>
#include <cstdint>

#include "bound_opt/bqa.hpp"

namespace tbl::bqa {

namespace {

// Offsets of the arrays, in the order Work lays them out.
struct Offsets {
  std::int64_t xpt, bmat, zmat, hq, fval, pq, wv, wd, hcol, hv, vlag, wu, vec0, total;
  static constexpr int kVectors = 19;  // arrays of length n
  Offsets(std::int64_t n, std::int64_t npt) {
    const std::int64_t ndim = npt + n;
    std::int64_t at = 0;
    xpt = at, at += npt * n;
    bmat = at, at += ndim * n;
    zmat = at, at += npt * (npt - n - 1);
    hq = at, at += n * (n + 1) / 2;
    fval = at, at += npt;
    pq = at, at += npt;
    wv = at, at += npt;
    wd = at, at += npt;
    hcol = at, at += npt;
    hv = at, at += npt;
    vlag = at, at += ndim;
    wu = at, at += ndim;
    vec0 = at, at += kVectors * n;
    total = at;
  }
};

}  // namespace

std::int64_t workspace_length(std::int64_t n, std::int64_t npt) {
  // Sizes near the 32-bit limits would wrap 64 bits: such a length can
  // never be given anyway.
  const __int128 total = __int128(npt) * (npt + n + 7) + __int128(n) * (3 * n + 43) / 2;
  if (total > INT64_MAX) return INT64_MAX;
  return Offsets(n, npt).total;
}

Work::Work(double* w, fint n_, fint npt_)
    : n(n_),
      npt(npt_),
      ndim(npt_ + n_),
      nptm(npt_ - n_ - 1),
      xpt(w + Offsets(n_, npt_).xpt, npt_),
      bmat(w + Offsets(n_, npt_).bmat, npt_ + n_),
      zmat(w + Offsets(n_, npt_).zmat, npt_) {
  const Offsets o(n, npt);
  hq = Vec1<double>(w + o.hq, std::int64_t(n) * (n + 1) / 2);
  fval = Vec1<double>(w + o.fval, npt);
  pq = Vec1<double>(w + o.pq, npt);
  wv = Vec1<double>(w + o.wv, npt);
  wd = Vec1<double>(w + o.wd, npt);
  hcol = Vec1<double>(w + o.hcol, npt);
  hv = Vec1<double>(w + o.hv, npt);
  vlag = Vec1<double>(w + o.vlag, ndim);
  wu = Vec1<double>(w + o.wu, ndim);
  Vec1<double>* vectors[Offsets::kVectors] = {&xbase, &xls,  &xus,   &sl,    &su,   &xopt, &gopt,
                                              &xnew,  &xalt, &d,     &gnew,  &xbdi, &s,    &hs,
                                              &hred,  &glag, &wsave, &xeval, &xkeep};
  for (int v = 0; v < Offsets::kVectors; ++v) *vectors[v] = Vec1<double>(w + o.vec0 + std::int64_t(v) * n, n);
}

namespace detail {

namespace {

// Position of the entry (i,j), i <= j, of the packed upper triangle.
inline std::int64_t packed(fint i, fint j) { return std::int64_t(j) * (j - 1) / 2 + i; }

// The pair of coordinates of the extra initial point that follows the 2N+1
// points on the axes: pairs (i, i+s) with the offset s growing, wrapped
// around N, so that each pair comes once.
void pair_of(fint n, fint index, fint& p, fint& q) {
  const fint e = index - 2 * n - 2;  // 0 for the first extra point
  const fint offset = e / n + 1;
  p = e % n + 1;
  q = p + offset;
  if (q > n) q -= n;
}

}  // namespace

void point_dots(const Work& w, const Vec1<double>& v, const Vec1<double>& out) {
  for (fint k = 1; k <= w.npt; ++k) out(k) = 0.0;
  for (fint j = 1; j <= w.n; ++j) {
    const double vj = v(j);
    for (fint k = 1; k <= w.npt; ++k) out(k) += w.xpt(k, j) * vj;
  }
}

void point_distances(const Work& w, const Vec1<double>& x, const Vec1<double>& out) {
  for (fint k = 1; k <= w.npt; ++k) out(k) = 0.0;
  for (fint j = 1; j <= w.n; ++j) {
    const double xj = x(j);
    for (fint k = 1; k <= w.npt; ++k) out(k) += (w.xpt(k, j) - xj) * (w.xpt(k, j) - xj);
  }
}

void hess_times(const Work& w, const Vec1<double>& v, const Vec1<double>& out) {
  const fint n = w.n;
  for (fint j = 1; j <= n; ++j) out(j) = 0.0;
  std::int64_t ih = 0;
  for (fint j = 1; j <= n; ++j) {
    for (fint i = 1; i <= j; ++i) {
      ++ih;
      if (i < j) out(j) += w.hq(ih) * v(i);
      out(i) += w.hq(ih) * v(j);
    }
  }
  point_dots(w, v, w.hv);
  for (fint k = 1; k <= w.npt; ++k) w.hv(k) *= w.pq(k);
  for (fint i = 1; i <= n; ++i) {
    double sum = 0.0;
    for (fint k = 1; k <= w.npt; ++k) sum += w.hv(k) * w.xpt(k, i);
    out(i) += sum;
  }
}

// Point 1 is XBASE; points 2..N+1 step along each axis by RINIT (towards the
// inside when XBASE sits on the upper bound); points N+2..2N+1 step the other
// way, or twice as far when a bound is in the way; the rest combine the
// first steps of two axes.
void initial_point(const Work& w, fint k, double rinit) {
  const fint n = w.n;
  for (fint j = 1; j <= n; ++j) w.xpt(k, j) = 0.0;
  if (k >= 2 && k <= n + 1) {
    const fint j = k - 1;
    w.xpt(k, j) = w.su(j) == 0.0 ? -rinit : rinit;
  } else if (k >= n + 2 && k <= 2 * n + 1) {
    const fint j = k - n - 1;
    double stepb = -rinit;
    if (w.sl(j) == 0.0) stepb = std::min(2.0 * rinit, w.su(j));
    if (w.su(j) == 0.0) stepb = std::max(-2.0 * rinit, w.sl(j));
    w.xpt(k, j) = stepb;
  } else if (k > 2 * n + 1) {
    fint p = 0, q = 0;
    pair_of(n, k, p, q);
    w.xpt(k, p) = w.xpt(p + 1, p);
    w.xpt(k, q) = w.xpt(q + 1, q);
  }
  for (fint j = 1; j <= n; ++j) w.xnew(j) = w.xpt(k, j);
}

// The initial model has its gradient at XBASE in GOPT and its whole second
// derivative in HQ (PQ = 0).  H is known in closed form for these points:
// along an axis with points 0, a, b the Lagrange functions are the 1-D
// quadratics, and a point a_p e_p + a_q e_q only adds the product term.
void record_initial_value(const Work& w, Run& run, fint k, double f) {
  const fint n = w.n, npt = w.npt;
  w.fval(k) = f;
  if (k == 1) {
    run.fbeg = f;
    run.kopt = 1;
    return;
  }
  if (f < w.fval(run.kopt)) run.kopt = k;
  if (k <= n + 1) {
    const fint j = k - 1;
    const double a = w.xpt(k, j);
    w.gopt(j) = (f - run.fbeg) / a;
    if (npt < k + n) {  // no second point on this axis
      w.bmat(1, j) = -1.0 / a;
      w.bmat(k, j) = 1.0 / a;
      w.bmat(npt + j, j) = -0.5 * a * a;
    }
  } else if (k <= 2 * n + 1) {
    const fint j = k - n - 1, ka = j + 1;
    double a = w.xpt(ka, j), b = w.xpt(k, j);
    const double slope_b = (f - run.fbeg) / b;
    w.hq(packed(j, j)) = 2.0 * (slope_b - w.gopt(j)) / (b - a);
    w.gopt(j) = (w.gopt(j) * b - slope_b * a) / (b - a);
    // The point on the first side is the one that the pairs build on: make
    // it the better of two opposite steps.
    if (a * b < 0.0 && f < w.fval(ka)) {
      w.fval(k) = w.fval(ka);
      w.fval(ka) = f;
      const bool stand_in = run.stand_in[k];
      run.stand_in[k] = run.stand_in[ka];
      run.stand_in[ka] = stand_in;
      if (run.kopt == k) run.kopt = ka;
      w.xpt(ka, j) = b;
      w.xpt(k, j) = a;
      std::swap(a, b);
    }
    w.bmat(1, j) = -(a + b) / (a * b);
    w.bmat(ka, j) = b / (a * (b - a));
    w.bmat(k, j) = -a / (b * (b - a));
    const double c = std::sqrt(2.0) / std::fabs(a * b * (b - a));
    w.zmat(1, j) = c * (a - b);
    w.zmat(ka, j) = c * b;
    w.zmat(k, j) = -c * a;
  } else {
    fint p = 0, q = 0;
    pair_of(n, k, p, q);
    const double prod = w.xpt(k, p) * w.xpt(k, q);
    const double c = 1.0 / std::fabs(prod);
    const fint col = k - n - 1;
    w.zmat(1, col) = c;
    w.zmat(k, col) = c;
    w.zmat(p + 1, col) = -c;
    w.zmat(q + 1, col) = -c;
    w.hq(packed(std::min(p, q), std::max(p, q))) = (run.fbeg - w.fval(p + 1) - w.fval(q + 1) + f) / prod;
  }
}

// With D the step from XOPT, the quadratic parts of the new point's column
// of the interpolation system are taken as differences from those of XOPT,
// whose column H maps to the unit vector of KOPT: this keeps the rounding
// errors of the large terms out of VLAG and BETA.
double lagrange_values(const Work& w, fint kopt, double xoptsq) {
  const fint n = w.n, npt = w.npt;
  point_dots(w, w.d, w.wd);
  point_dots(w, w.xopt, w.wv);
  for (fint k = 1; k <= npt; ++k) {
    w.wv(k) = w.wd(k) * (0.5 * w.wd(k) + w.wv(k));
    w.vlag(k) = 0.0;
  }
  for (fint j = 1; j <= n; ++j)
    for (fint k = 1; k <= npt; ++k) w.vlag(k) += w.bmat(k, j) * w.d(j);
  double beta = 0.0;
  for (fint jj = 1; jj <= w.nptm; ++jj) {
    double sum = 0.0;
    for (fint k = 1; k <= npt; ++k) sum += w.zmat(k, jj) * w.wv(k);
    beta -= sum * sum;
    for (fint k = 1; k <= npt; ++k) w.vlag(k) += sum * w.zmat(k, jj);
  }
  double dsq = 0.0, dx = 0.0, bsum = 0.0;
  for (fint j = 1; j <= n; ++j) {
    dsq += w.d(j) * w.d(j);
    dx += w.d(j) * w.xopt(j);
  }
  for (fint j = 1; j <= n; ++j) {
    double sum = 0.0;
    for (fint k = 1; k <= npt; ++k) sum += w.wv(k) * w.bmat(k, j);
    bsum += sum * w.d(j);
    for (fint i = 1; i <= n; ++i) sum += w.bmat(npt + i, j) * w.d(i);
    w.vlag(npt + j) = sum;
    bsum += sum * w.d(j);
  }
  w.vlag(kopt) += 1.0;
  return dx * dx + dsq * (xoptsq + dx + dx + 0.5 * dsq) + beta - bsum;
}

void update_h(const Work& w, fint knew, double beta, double denom) {
  const fint n = w.n, npt = w.npt;
  // Rotate the columns of ZMAT so that only its first column has a nonzero
  // entry in row KNEW; Omega = ZMAT ZMAT' is unchanged.
  double ztest = 0.0;
  for (fint j = 1; j <= w.nptm; ++j)
    for (fint k = 1; k <= npt; ++k) ztest = std::max(ztest, std::fabs(w.zmat(k, j)));
  ztest *= 1.0e-20;
  for (fint j = 2; j <= w.nptm; ++j) {
    if (std::fabs(w.zmat(knew, j)) > ztest) {
      const double r = std::hypot(w.zmat(knew, 1), w.zmat(knew, j));
      const double c = w.zmat(knew, 1) / r, s = w.zmat(knew, j) / r;
      for (fint i = 1; i <= npt; ++i) {
        const double t = c * w.zmat(i, 1) + s * w.zmat(i, j);
        w.zmat(i, j) = c * w.zmat(i, j) - s * w.zmat(i, 1);
        w.zmat(i, 1) = t;
      }
    }
    w.zmat(knew, j) = 0.0;
  }
  // H e_knew: its leading part from the first column of ZMAT, its last N
  // entries from row KNEW of BMAT.
  for (fint i = 1; i <= npt; ++i) w.wu(i) = w.zmat(knew, 1) * w.zmat(i, 1);
  const double alpha = w.wu(knew);
  const double tau = w.vlag(knew);
  w.vlag(knew) -= 1.0;
  // The first column of ZMAT takes the whole rank-one change of Omega.
  const double root = std::sqrt(denom);
  const double tempb = w.zmat(knew, 1) / root, tempa = tau / root;
  for (fint i = 1; i <= npt; ++i) w.zmat(i, 1) = tempa * w.zmat(i, 1) - tempb * w.vlag(i);
  for (fint j = 1; j <= n; ++j) {
    const fint jp = npt + j;
    w.wu(jp) = w.bmat(knew, j);
    const double ta = (alpha * w.vlag(jp) - tau * w.wu(jp)) / denom;
    const double tb = (-beta * w.wu(jp) - tau * w.vlag(jp)) / denom;
    for (fint i = 1; i <= jp; ++i) {
      w.bmat(i, j) += ta * w.vlag(i) + tb * w.wu(i);
      if (i > npt) w.bmat(jp, i - npt) = w.bmat(i, j);
    }
  }
}

void shift_base(const Work& w) {
  const fint n = w.n, npt = w.npt;
  double xoptsq = 0.0;
  for (fint i = 1; i <= n; ++i) xoptsq += w.xopt(i) * w.xopt(i);
  const double fracsq = 0.25 * xoptsq;
  double sumpq = 0.0;
  point_dots(w, w.xopt, w.wv);
  // The parts of the last N rows of BMAT that do not depend on ZMAT.
  for (fint k = 1; k <= npt; ++k) {
    sumpq += w.pq(k);
    const double sum = w.wv(k) - 0.5 * xoptsq;
    w.wv(k) = sum;
    const double temp = fracsq - 0.5 * sum;
    for (fint i = 1; i <= n; ++i) {
      w.wu(i) = w.bmat(k, i);
      w.vlag(i) = sum * w.xpt(k, i) + temp * w.xopt(i);
    }
    for (fint i = 1; i <= n; ++i)
      for (fint j = 1; j <= i; ++j) w.bmat(npt + i, j) += w.wu(i) * w.vlag(j) + w.vlag(i) * w.wu(j);
  }
  // The parts that depend on ZMAT, one column at a time.
  for (fint jj = 1; jj <= w.nptm; ++jj) {
    double sumz = 0.0, sumw = 0.0;
    for (fint k = 1; k <= npt; ++k) {
      sumz += w.zmat(k, jj);
      w.vlag(k) = w.wv(k) * w.zmat(k, jj);
      sumw += w.vlag(k);
    }
    for (fint j = 1; j <= n; ++j) {
      double sum = (fracsq * sumz - 0.5 * sumw) * w.xopt(j);
      for (fint k = 1; k <= npt; ++k) sum += w.vlag(k) * w.xpt(k, j);
      w.wu(j) = sum;
      for (fint k = 1; k <= npt; ++k) w.bmat(k, j) += sum * w.zmat(k, jj);
    }
    for (fint i = 1; i <= n; ++i)
      for (fint j = 1; j <= i; ++j) w.bmat(npt + i, j) += w.wu(i) * w.wu(j);
  }
  // The points move; the implicit second derivatives of the model move
  // with them, and HQ takes up the difference.
  std::int64_t ih = 0;
  for (fint j = 1; j <= n; ++j) {
    w.wu(j) = -0.5 * sumpq * w.xopt(j);
    for (fint k = 1; k <= npt; ++k) {
      w.wu(j) += w.pq(k) * w.xpt(k, j);
      w.xpt(k, j) -= w.xopt(j);
    }
    for (fint i = 1; i <= j; ++i) {
      ++ih;
      w.hq(ih) += w.wu(i) * w.xopt(j) + w.xopt(i) * w.wu(j);
      w.bmat(npt + i, j) = w.bmat(npt + j, i);
    }
  }
  for (fint i = 1; i <= n; ++i) {
    w.xbase(i) += w.xopt(i);
    w.xnew(i) -= w.xopt(i);
    w.sl(i) -= w.xopt(i);
    w.su(i) -= w.xopt(i);
    w.xopt(i) = 0.0;
  }
}

}  // namespace detail
}  // namespace tbl::bqa
