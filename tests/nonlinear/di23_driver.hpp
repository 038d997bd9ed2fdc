// Drives DI23AD through its export as a host does: the defaults, a first
// call with no workspace to learn the lengths, then the reverse
// communication loop with IW and W exactly as long as reported.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "TesselBasicLib.h"
#include "nonlinear/nls_problems.hpp"

namespace nls {

struct Controls {
  int32_t icntl[20];
  double cntl[20];
  double cntld[5];
  int32_t icntlm[20];
  double cntlm[5];
  Controls() {
    VIZ_DI23ID(icntl, cntl, cntld, icntlm, cntlm);
    icntl[3] = 0;  // quiet unless a test asks
  }
};

// Every array of one problem and one call of DI23AD on them.
struct Session {
  Problem p;
  Controls c;
  int32_t m, n, ne, liw, lw, ireq = 0, info[20] = {}, nfev = -1, njev = -1, niter = -1;
  double rinfo[20] = {}, fnorm = -1;
  std::vector<int32_t> iw;
  std::vector<double> w, x, f, d, aj, xt, ft;

  Session(Problem prob, Controls ctl, int32_t iw_len, int32_t w_len, double fill = 0)
      : p(std::move(prob)), c(ctl), m(p.m), n(p.n), ne(p.ne()), liw(iw_len), lw(w_len) {
    const auto len = [](int32_t k) { return static_cast<std::size_t>(std::max(k, 1)); };
    iw.assign(len(liw), static_cast<int32_t>(fill));
    w.assign(len(lw), fill);
    x = p.x0;
    x.resize(len(n), 0.0);
    f.assign(len(m), fill);
    d.assign(len(n), 1.0);
    aj.assign(len(ne), fill);
    xt.assign(len(n), fill);
    ft.assign(len(m), fill);
  }
  int32_t call() {
    VIZ_DI23AD(&m, &n, &ne, p.irn.data(), p.jcn.data(), x.data(), f.data(), d.data(), c.icntl, c.cntl, c.cntld,
               c.icntlm, c.cntlm, iw.data(), &liw, w.data(), &lw, aj.data(), xt.data(), &ireq, ft.data(), info, rinfo,
               &nfev, &njev, &niter, &fnorm);
    return ireq;
  }
};

// The lengths DI23AD reports from a call with empty workspace.
inline void needs(const Problem& p, const Controls& c, int32_t& liw, int32_t& lw, const std::vector<double>* d = nullptr) {
  Session s(p, c, 0, 0);
  if (d) s.d = *d;
  s.call();
  liw = s.ireq == -3 ? s.info[1] : s.info[2];
  lw = s.ireq == -3 ? s.info[2] : s.info[1];
}

struct Result {
  int32_t ireq = 99;
  int32_t info[20] = {};
  double rinfo[20] = {};
  std::vector<double> x, f;
  double fnorm = -1;
  int32_t nfev = -1, njev = -1, niter = -1;
  int residual_calls = 0, jacobian_calls = 0;  // requests the host answered
  int32_t liw = 0, lw = 0;                     // the lengths used
};

// Replaces the host's answer to a request; by default the problem's own.
struct Host {
  std::function<void(const double* x, double* f)> residuals;
  std::function<void(const double* x, double* aj)> jacobian;
};

// Runs the problem to its end.  LIW/LW < 0 take the reported needs.
inline Result solve(const Problem& p, const Controls& c, const Host& host = {}, std::vector<double>* d = nullptr,
                    int32_t liw = -1, int32_t lw = -1) {
  int32_t need_iw = 0, need_w = 0;
  needs(p, c, need_iw, need_w, d);
  Session s(p, c, liw < 0 ? need_iw : liw, lw < 0 ? need_w : lw);
  if (d) s.d = *d;
  const auto fun = host.residuals ? host.residuals : p.residuals;
  const auto jac = host.jacobian ? host.jacobian : p.jacobian;
  Result r;
  for (int guard = 0; guard < 1000000; ++guard) {
    s.call();
    if (s.ireq == 1) {
      fun(s.xt.data(), s.ft.data());
      ++r.residual_calls;
    } else if (s.ireq == 2) {
      jac(s.xt.data(), s.aj.data());
      ++r.jacobian_calls;
    } else {
      break;
    }
  }
  if (d) *d = s.d;
  r.ireq = s.ireq;
  std::copy(s.info, s.info + 20, r.info);
  std::copy(s.rinfo, s.rinfo + 20, r.rinfo);
  r.x = s.x;
  r.f = s.f;
  r.fnorm = s.fnorm;
  r.nfev = s.nfev;
  r.njev = s.njev;
  r.niter = s.niter;
  r.liw = s.liw;
  r.lw = s.lw;
  return r;
}

inline double sumsq(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x * x;
  return s;
}

}  // namespace nls
