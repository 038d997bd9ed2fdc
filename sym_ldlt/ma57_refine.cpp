// MA57DD: solution through the factors with iterative refinement against the
// matrix, componentwise backward errors (two classes of rows, so that rows
// whose scaled residual would be dominated by rounding are measured against
// a bound that includes the norm of x), and condition numbers estimated with
// the 1-norm estimator.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "interface/common.hpp"
#include "interface/fmt.hpp"
#include "interface/machine.hpp"
#include "sparse_utils/mc71.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_solve.hpp"

namespace {

using tbl::fint;
using tbl::Vec1;
using idx = std::ptrdiff_t;

// The estimator requests at most a dozen products; anything beyond this
// bound means it has lost its way.
constexpr int kMaxEstimatorCalls = 40;

struct Matrix {
  fint n;
  fint ne;
  Vec1<const double> a;
  Vec1<const fint> irn;
  Vec1<const fint> jcn;
  bool in_range(idx k) const {
    const fint i = irn(k);
    const fint j = jcn(k);
    return std::min(i, j) >= 1 && std::max(i, j) <= n;
  }
};

// The larger of a and b, NaN when either is: a residual or a solution that
// has gone NaN must show in the backward errors and norms, never vanish
// from them and let the iterate pass as converged.
double max_nan(double a, double b) { return (b > a || std::isnan(b)) ? b : a; }

// resid = b - A x.
void residual(const Matrix& m, const double* b, const double* x, double* resid) {
  Vec1<double> r(resid);
  Vec1<const double> xv(x);
  std::copy(b, b + m.n, resid);
  for (idx k = 1; k <= m.ne; ++k) {
    if (!m.in_range(k)) continue;
    const fint i = m.irn(k);
    const fint j = m.jcn(k);
    r(i) -= m.a(k) * xv(j);
    if (i != j) r(j) -= m.a(k) * xv(i);
  }
}

// The state of one refinement iterate, measured against the matrix.
struct Measures {
  double omega1 = 0.0;
  double omega2 = 0.0;
  double xnorm = 0.0;
};

// resid = b - A x, ax(i) = sum_j |a_ij x_j|, rowsum(i) = sum_j |a_ij|, the
// class of each row in cls, and the two backward errors.
Measures measure(const Matrix& m, const double* b, const double* x, double* resid, double* ax, double* rowsum,
                 fint* cls, double tau) {
  Vec1<double> r(resid);
  Vec1<double> w1(ax);
  Vec1<double> w3(rowsum);
  Vec1<const double> xv(x);
  Vec1<const double> bv(b);
  Vec1<fint> c(cls);
  std::copy(b, b + m.n, resid);
  std::fill(ax, ax + m.n, 0.0);
  std::fill(rowsum, rowsum + m.n, 0.0);
  for (idx k = 1; k <= m.ne; ++k) {
    if (!m.in_range(k)) continue;
    const fint i = m.irn(k);
    const fint j = m.jcn(k);
    const double aij = m.a(k);
    r(i) -= aij * xv(j);
    w1(i) += std::abs(aij * xv(j));
    w3(i) += std::abs(aij);
    if (i != j) {
      r(j) -= aij * xv(i);
      w1(j) += std::abs(aij * xv(i));
      w3(j) += std::abs(aij);
    }
  }
  Measures ms;
  for (idx i = 1; i <= m.n; ++i) ms.xnorm = max_nan(ms.xnorm, std::abs(xv(i)));
  for (idx i = 1; i <= m.n; ++i) {
    const double d1 = std::abs(bv(i)) + w1(i);
    const double t = (std::abs(bv(i)) + ms.xnorm * w3(i)) * tau;
    if (d1 > t) {
      c(i) = 1;
      ms.omega1 = max_nan(ms.omega1, std::abs(r(i)) / d1);
    } else {
      c(i) = 2;
      // Only a bound of exactly zero (a zero row with b_i = 0) is left out; a
      // NaN bound counts, so that the error shows.
      if (!(t <= 0.0)) ms.omega2 = max_nan(ms.omega2, std::abs(r(i)) / (w1(i) + ms.xnorm * w3(i)));
    }
  }
  return ms;
}

// One solve with the factors, in place, one right-hand side.
struct Solver {
  fint n;
  const double* fact;
  const fint* lfact;
  const fint* ifact;
  const fint* lifact;
  fint icntl[20];  // the caller's units and levels, monitoring switched off
  fint* info;
  void operator()(double* v, double* work, fint* iwork) const {
    const fint job = 1;
    const fint one = 1;
    MA57CD(&job, &n, fact, lfact, ifact, lifact, &one, v, &n, work, &n, iwork, icntl, info);
  }
};

}  // namespace

extern "C" void MA57DD(const fint* job, const fint* n, const fint* ne, const double* a, const fint* irn,
                       const fint* jcn, const double* fact, const fint* lfact, const fint* ifact,
                       const fint* lifact, const double* rhs, double* x, double* resid, double* w, fint* iw,
                       const fint* icntl, const double* cntl, fint* info, double* rinfo) {
  const Vec1<const fint> ic(icntl, 20);
  const Vec1<fint> inf(info, 40);
  const Vec1<double> rinf(rinfo, 20);
  const fint lp = ic(1);
  const fint mp = ic(3);
  const fint ldiag = ic(5);
  const bool print_errors = ldiag > 0 && lp >= 0;
  const char* head = "**** Error return from MA57DD ****  INFO(1) =";

  if (*n < 1) {
    inf(1) = -1;
    inf(2) = *n;
    if (print_errors) tbl::io::write(lp, "(A,I3,/,A,I12)", head, inf(1), "N has value", *n);
    return;
  }
  if (*ne < 0) {
    inf(1) = -2;
    inf(2) = *ne;
    if (print_errors) tbl::io::write(lp, "(A,I3,/,A,I12)", head, inf(1), "NE has value", *ne);
    return;
  }
  if (ic(9) < 1) {
    inf(1) = -13;
    inf(2) = ic(9);
    if (print_errors) tbl::io::write(lp, "(A,I4,/,A,I12)", head, inf(1), "ICNTL(9) has value", ic(9));
    return;
  }
  if (*job < 0 || *job > 4 || (ic(9) > 1 && *job != 0 && *job != 2)) {
    inf(1) = -12;
    inf(2) = *job;
    if (print_errors) {
      tbl::io::write(lp, "(A,I4,/,A,I12)", head, inf(1), "JOB has value", *job);
      if (ic(9) > 1) tbl::io::write(lp, "(A,I3)", "and ICNTL(9) =", ic(9));
    }
    return;
  }

  const fint nn = *n;
  Vec1<double> xv(x, nn);
  Vec1<double> rv(resid, nn);
  Vec1<const double> bv(rhs, nn);

  if (*ne == 0) {
    std::fill(x, x + nn, 0.0);
    if (*job != 3) std::fill(resid, resid + nn, 0.0);
    inf(30) = 0;
    for (int k = 6; k <= 13; ++k) rinf(k) = 0.0;
    return;
  }

  const bool monitor = ldiag >= 3 && mp >= 0;
  if (monitor) {
    tbl::io::write(mp,
                   "(/,'Entering iterative refinement solution phase ','(MA57DD) with ...',/,"
                   "'JOB       Control for coefficient matrix      =',I12,/,"
                   "'N         Order of matrix                     =',I12,/,"
                   "'NE        Number of entries in matrix         =',I12,/,"
                   "'ICNTL(1)  Stream for errors                   =',I12,/,"
                   "' --- (2)  Stream for warnings                 =',I12,/,"
                   "' --- (3)  Stream for monitoring               =',I12,/,"
                   "' --- (4)  Stream for statistics               =',I12,/,"
                   "' --- (5)  Level of diagnostic printing        =',I12,/,"
                   "'LFACT     Length of array FACT                =',I12,/,"
                   "'LIFACT    Length of array IFACT               =',I12,/,"
                   "'ICNTL(9)  Number steps iterative refinement   =',I12,/,"
                   "'ICNTL(10) Control for error analysis          =',I12,/,"
                   "'ICNTL(13) Threshold for Level 2 and 3 BLAS    =',I12,/,"
                   "'CNTL(3)   Convergence test for IR             =',1P,D12.4)",
                   *job, nn, *ne, ic(1), ic(2), ic(3), ic(4), ic(5), *lfact, *lifact, ic(9), ic(10), ic(13),
                   cntl[2]);
    MA57_PRINT_FACTORS(fact, lfact, ifact, lifact, icntl);
    tbl::io::write(mp, "(/,A)", "Right-hand side");
    tbl::ma57::print_vector(mp, ldiag, "((4X,1P,5D13.3))", nn, rhs);
  }

  Solver solve{nn, fact, lfact, ifact, lifact, {}, info};
  for (int k : {1, 2, 4, 5, 13}) solve.icntl[k - 1] = ic(k);
  solve.icntl[2] = -1;

  const Matrix mat{nn, *ne, Vec1<const double>(a), Vec1<const fint>(irn), Vec1<const fint>(jcn)};
  // W(1:N): |A||x| and the solves' work; W(N+1:2N): last accepted iterate;
  // W(2N+1:3N): absolute row sums of A, later the estimator's vector;
  // W(3N+1:4N): the estimator's work.
  double* w1 = w;
  double* w2 = w + nn;
  double* w3 = w + 2 * static_cast<idx>(nn);
  double* w4 = w + 3 * static_cast<idx>(nn);

  const bool refine = ic(9) > 1;
  if (*job == 0 || *job == 1) {
    std::copy(rhs, rhs + nn, x);
    std::copy(rhs, rhs + nn, resid);
    solve(x, w1, iw);
  } else if (*job == 2) {
    std::copy(rhs, rhs + nn, resid);
  }

  if (!refine) {
    if (*job <= 2) residual(mat, rhs, x, resid);
    if (*job != 0) {
      solve(resid, w1, iw);
      for (idx i = 1; i <= nn; ++i) xv(i) += rv(i);
      if (*job == 4) residual(mat, rhs, x, resid);
    }
  } else {
    const double tau = static_cast<double>(static_cast<std::int64_t>(nn) * 1000) * tbl::re05re(1);
    Measures ms = measure(mat, rhs, x, resid, w1, w3, iw, tau);
    double om = ms.omega1 + ms.omega2;
    inf(30) = 0;
    // Anything but a negligible backward error (a NaN one included) starts
    // the steps.
    if (!(om + 1.0 <= 1.0)) {
      std::copy(x, x + nn, w2);
      Measures old = ms;
      double oldom = om;
      bool settled = false;
      for (fint k = 1; k <= ic(9); ++k) {
        solve(resid, w1, iw);
        for (idx i = 1; i <= nn; ++i) xv(i) += rv(i);
        ms = measure(mat, rhs, x, resid, w1, w3, iw, tau);
        om = ms.omega1 + ms.omega2;
        if (om + 1.0 <= 1.0) {
          inf(30) = k;
          settled = true;
          break;
        }
        if (om > cntl[2] * oldom) {
          inf(30) = k;
          settled = true;
          if (om > oldom) {
            // The step made things worse: go back to the previous iterate,
            // and measure it again so that the residual, the norms and the
            // row classes returned belong to the x that is returned (its
            // backward errors come out as they were).
            std::copy(w2, w2 + nn, x);
            ms = measure(mat, rhs, x, resid, w1, w3, iw, tau);
            ms.omega1 = old.omega1;
            ms.omega2 = old.omega2;
          }
          break;
        }
        std::copy(x, x + nn, w2);
        old = ms;
        oldom = om;
      }
      if (!settled) {
        inf(1) = -8;
        inf(30) = ic(9) + 1;
        if (print_errors)
          tbl::io::write(lp,
                         "('Error return from MA57D/DD because of ','nonconvergence',' of iterative refinement',/,"
                         "'Error INFO(1) = ',I2,'  with',' ICNTL','(9) = ',I10)",
                         inf(1), ic(9));
      }
    }

    double anorm = 0.0;
    double rmax = 0.0;
    for (idx i = 0; i < nn; ++i) {
      anorm = max_nan(anorm, w3[i]);
      rmax = max_nan(rmax, std::abs(resid[i]));
    }
    rinf(6) = ms.omega1;
    rinf(7) = ms.omega2;
    rinf(8) = anorm;
    rinf(9) = ms.xnorm;
    const double scale = anorm * ms.xnorm;
    rinf(10) = scale == 0.0 ? rmax : rmax / scale;

    if (inf(1) >= 0 && ic(10) > 0) {
      // Weights of the two row classes, in W(1:N) and W(N+1:2N).
      bool present[2] = {false, false};
      for (idx i = 0; i < nn; ++i) {
        if (iw[i] == 1) {
          w1[i] = std::abs(rhs[i]) + w1[i];
          w2[i] = 0.0;
          present[0] = true;
        } else {
          w2[i] = ms.xnorm * w3[i] + w1[i];
          w1[i] = 0.0;
          present[1] = true;
        }
      }
      // The estimator keeps its sign vector in IW and its saved product in
      // W(3N+1:4N) between calls, so the solves it asks for get scratch of
      // their own.
      std::vector<double> swork(static_cast<std::size_t>(nn));
      std::vector<fint> siwork(static_cast<std::size_t>(nn));
      double cond[2] = {0.0, 0.0};
      for (int kc = 0; kc < 2; ++kc) {
        if (!present[kc]) continue;
        const double* weight = kc == 0 ? w1 : w2;
        fint kase = 0;
        fint keep[5] = {0, 0, 0, 0, 0};
        double est = 0.0;
        bool done = false;
        for (int call = 1; call <= kMaxEstimatorCalls; ++call) {
          MC71AD(&nn, &kase, w3, &est, w4, iw, keep);
          if (kase == 0) {
            done = true;
            break;
          }
          if (kase == 1) solve(w3, swork.data(), siwork.data());
          for (idx i = 0; i < nn; ++i) w3[i] *= weight[i];
          if (kase == 2) solve(w3, swork.data(), siwork.data());
        }
        if (!done) {
          inf(1) = -14;
          if (print_errors)
            tbl::io::write(lp,
                           "('Error return from MA57D/DD because of ','error in MC71','A/AD',/,"
                           "'Error not calculated')");
        }
        cond[kc] = est;
      }
      if (ms.xnorm > 0.0) {
        cond[0] /= ms.xnorm;
        cond[1] /= ms.xnorm;
      }
      rinf(11) = cond[0];
      rinf(12) = cond[1];
      rinf(13) = cond[0] * ms.omega1 + cond[1] * ms.omega2;
    }
  }

  if (monitor) {
    tbl::io::write(mp,
                   "(/,'Leaving iterative refinement solution phase ','(MA57DD) with ...',/,"
                   "'INFO (1)                                      =',I12,/)",
                   inf(1));
    if (inf(1) < 0) return;
    if (!refine) {
      tbl::io::write(mp, "(/,A,I10)", (*job == 0 || *job == 4) ? "Residual" : "Correction to solution");
      tbl::ma57::print_vector(mp, ldiag, "(1P,5D13.3)", nn, resid);
    } else {
      tbl::io::write(mp,
                     "('INFO(30)  Number steps iterative ref   =',I10,/,"
                     "'RINFO(6)  Backward errors  (OMEGA(1))  =',1P,D10.3,/,"
                     "'-----(7)  Backward errors  (OMEGA(2))  =',1P,D10.3,/,"
                     "'-----(8)  Infinity norm of matrix      =',1P,D10.3,/,"
                     "'-----(9)  Infinity norm of solution    =',1P,D10.3,/,"
                     "'-----(10) Norm of scaled residuals     =',1P,D10.3)",
                     inf(30), rinf(6), rinf(7), rinf(8), rinf(9), rinf(10));
      if (ic(10) > 0)
        tbl::io::write(mp,
                       "('RINFO(11) Condition number (COND(1))   =',1P,D10.3,/,"
                       "'RINFO(12) Condition number (COND(2))   =',1P,D10.3,/,"
                       "'RINFO(13) Error in solution            =',1P,D10.3)",
                       rinf(11), rinf(12), rinf(13));
      tbl::io::write(mp, "(/,A,I10)", "Residual");
      tbl::ma57::print_vector(mp, ldiag, "(1P,5D13.3)", nn, resid);
    }
    tbl::io::write(mp, "(/,A,I10)", "Solution");
    tbl::ma57::print_vector(mp, ldiag, "(1P,5D13.3)", nn, x);
  }
}
