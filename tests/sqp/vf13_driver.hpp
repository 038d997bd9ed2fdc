// A host loop around VF13AD for the test problems: it answers every request
// for values, counts the evaluations itself, and can tamper with the values
// it returns.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "TesselBasicLib.h"
#include "sqp/sqp.hpp"
#include "tests/sqp/hs_problems.hpp"

namespace sqptest {

struct Values {
  double f = 0.0;
  std::vector<double> x, g, c, cn;  // cn with leading dimension lcn
};

struct Options {
  double acc = 1e-10;
  int32_t maxfun = 400;
  int32_t iprint = -1;
  int32_t extra_w = 0;  // added to the documented workspace length
  int32_t extra_lcn = 0;
  // Called after each evaluation (numbered from 1) before the values go back.
  std::function<void(int evaluation, Values& v)> tamper;
};

struct Outcome {
  int32_t inform = -99;
  int evaluations = 0;  // requests the host answered
  Values v;             // the arrays as VF13AD left them
  std::vector<double> w;
  std::vector<int32_t> iw;
  int32_t lcn = 0;
  std::vector<double> multipliers() const { return {w.begin(), w.begin() + v.c.size()}; }
};

inline Outcome run_vf13(const Problem& p, const Options& o = {}) {
  Outcome r;
  const int32_t n = p.n, m = p.m, meq = p.meq;
  r.lcn = n + o.extra_lcn;
  const int32_t lw = static_cast<int32_t>(tbl::sqp::vf13_workspace(n, m)) + o.extra_w;
  r.w.assign(std::max(lw, 1), 0.0);
  r.iw.assign(2 * (n + m), 0);
  r.v.x = p.x0;
  r.v.g.assign(n, 0.0);
  r.v.c.assign(m, 0.0);
  r.v.cn.assign(std::size_t(r.lcn) * std::max(m, 1), 0.0);
  r.inform = 0;
  for (;;) {
    VF13AD(&n, &m, &meq, r.v.x.data(), &r.v.f, r.v.g.data(), r.v.c.data(), r.v.cn.data(), &r.lcn, &o.acc, &o.maxfun,
           &o.iprint, &r.inform, r.w.data(), &lw, r.iw.data());
    if (r.inform != -1 || r.evaluations > o.maxfun + 5) break;
    ++r.evaluations;
    evaluate(p, r.v.x.data(), r.v.f, r.v.g.data(), r.v.c.data(), r.v.cn.data(), r.lcn);
    if (o.tamper) o.tamper(r.evaluations, r.v);
  }
  return r;
}

}  // namespace sqptest
