// A host of the optimiser for the tests: it drives VUR_OPTBQA through the
// public header, evaluates each requested point, checks that the point
// respects the bounds, and keeps a record of every evaluation.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TesselBasicLib.h"

namespace tbl::test {

struct DfoProblem {
  std::vector<double> x0, xl, xu, scale;  // scale empty: all 1
  int32_t meq = 0, min = 0;
  std::function<double(const std::vector<double>&)> f;
  // Fills ceq(meq) then cin(min).
  std::function<void(const std::vector<double>&, double* ceq, double* cin)> c;
  std::string name;
};

struct DfoSettings {
  int32_t npt = 0;  // 0: 2N+1
  double rhobeg = 0.5, rhoend = 1e-7;
  int32_t maxfun = 20000;
  double ftarget = -INFINITY;
  double pen = 10.0, pengrow = 10.0, penmax = 1e12;
  int32_t maxrst = 8;
  double rhorst = 0.1, ctol = 1e-6;
  std::vector<double> cwt;  // empty: all 1
  int32_t iptype = 1, iprint = 0, iout = 6, itrace = 0;
  std::string trace;        // base name, passed with its length
  int64_t lw = 0;           // 0: the least that is needed
  int32_t info_in = 0;      // INFO of the first call
  int32_t stop_after = -1;  // >= 0: leave the loop after this many evaluations
  bool null_when_empty = false;  // pass CEQ, CIN, CWT as null pointers when they have no entry
};

struct Evaluation {
  std::vector<double> x;
  double f = 0;
  std::vector<double> ceq, cin;
};

struct DfoResult {
  int32_t info = -1, nfev = -1, nrst = -1;
  double fbest = NAN, cviol = NAN, pbest = NAN, rho = NAN, pen = NAN;
  std::vector<double> x, xbest;
  std::vector<Evaluation> evaluations;
  bool inside = true;  // every requested point within the bounds
};

inline int64_t dfo_workspace(int64_t n, int64_t npt) { return npt * (npt + n + 7) + n * (3 * n + 43) / 2; }

inline DfoResult dfo_solve(const DfoProblem& p, const DfoSettings& s) {
  int32_t n = static_cast<int32_t>(p.x0.size());
  int32_t npt = s.npt != 0 ? s.npt : 2 * n + 1;
  std::vector<double> scale = p.scale.empty() ? std::vector<double>(n, 1.0) : p.scale;
  const int32_t meq_len = std::max(p.meq, 0), min_len = std::max(p.min, 0);
  std::vector<double> cwt = s.cwt.empty() ? std::vector<double>(meq_len + min_len, 1.0) : s.cwt;
  std::vector<double> ceq(meq_len + 1), cin(min_len + 1);
  int64_t lw64 = s.lw != 0 ? s.lw : dfo_workspace(n, npt);
  int32_t lw = static_cast<int32_t>(lw64);
  std::vector<double> w(static_cast<size_t>(std::max<int64_t>(lw64, 1)));
  DfoResult r;
  r.x = p.x0;
  r.xbest.assign(n, NAN);
  r.pen = s.pen;
  double f = 0.0, ftarget = s.ftarget, pengrow = s.pengrow, penmax = s.penmax, rhobeg = s.rhobeg,
         rhoend = s.rhoend, rhorst = s.rhorst, ctol = s.ctol;
  int32_t meq = p.meq, min = p.min, maxfun = s.maxfun, maxrst = s.maxrst, iptype = s.iptype,
          iprint = s.iprint, iout = s.iout, itrace = s.itrace;
  r.info = s.info_in;
  const bool null_ceq = s.null_when_empty && meq_len == 0, null_cin = s.null_when_empty && min_len == 0;
  for (;;) {
    VUR_OPTBQA(&n, r.x.data(), p.xl.data(), p.xu.data(), scale.data(), &meq, &min, &f,
               null_ceq ? nullptr : ceq.data(), null_cin ? nullptr : cin.data(), &npt, &rhobeg, &rhoend, &maxfun,
               &ftarget, &r.pen, &pengrow, &penmax, &maxrst, &rhorst, &ctol,
               null_ceq && null_cin ? nullptr : cwt.data(), &iptype, r.xbest.data(), &r.fbest, &r.cviol, &r.pbest,
               &r.rho, &r.nfev, &r.nrst,
               &iprint, &iout, &itrace, &r.info, w.data(), &lw, s.trace.data(), s.trace.size());
    if (r.info != 1) break;
    if (s.stop_after >= 0 && static_cast<int32_t>(r.evaluations.size()) >= s.stop_after) break;
    for (int32_t j = 0; j < n; ++j) r.inside = r.inside && r.x[j] >= p.xl[j] && r.x[j] <= p.xu[j];
    f = p.f(r.x);
    if (p.c) p.c(r.x, ceq.data(), cin.data());
    r.evaluations.push_back({r.x, f, std::vector<double>(ceq.begin(), ceq.begin() + meq_len),
                             std::vector<double>(cin.begin(), cin.begin() + min_len)});
  }
  return r;
}

}  // namespace tbl::test
