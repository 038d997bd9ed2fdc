// Solves classic constrained test problems with VF13AD by reverse
// communication, as a host does through the shared library, and prints for
// each the evaluations used, the optimum found beside the known one and the
// constraint violation there.
//
//   sqp_solve [-p K] [NAME...]
//
// NAME: problems of the Hock-Schittkowski collection (tests/sqp/hs_problems.cpp);
// by default a few of them, with equality and inequality constraints and
// infeasible starting points.  -p K lets VF13AD print its progress every K
// iterations and its summary (IPRINT = K).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "tests/sqp/hs_problems.hpp"

int main(int argc, char** argv) {
  int32_t iprint = -1;
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-p") == 0 && i + 1 < argc)
      iprint = std::atoi(argv[++i]);
    else
      names.push_back(argv[i]);
  }
  if (names.empty()) names = {"HS6", "HS14", "HS15", "HS43", "HS65", "HS71", "HS78", "HS100", "HS113"};

  std::printf("%-7s %3s %3s %4s %6s %6s %22s %22s %10s\n", "problem", "N", "M", "MEQ", "INFORM", "evals",
              "F found", "F known", "violation");
  int failures = 0;
  for (const std::string& name : names) {
    const sqptest::Problem* pp = nullptr;
    for (const auto& q : sqptest::hs_problems())
      if (q.name == name) pp = &q;
    if (pp == nullptr) {
      std::fprintf(stderr, "unknown problem %s\n", name.c_str());
      return 2;
    }
    const sqptest::Problem& p = *pp;
    const int32_t n = p.n, m = p.m, meq = p.meq, lcn = n, maxfun = 200;
    const double acc = 1e-10;
    // The workspace lengths the header documents.
    const int32_t lw = 4 * n * n + 2 * n * m + 18 * n + 10 * m + 22;
    std::vector<double> x = p.x0, g(n), c(std::max(m, 1)), cn(std::size_t(n) * std::max(m, 1)), w(lw);
    std::vector<int32_t> iw(2 * (n + m));
    double f = 0.0;
    int32_t inform = 0;
    int evaluations = 0;
    for (;;) {
      VF13AD(&n, &m, &meq, x.data(), &f, g.data(), c.data(), cn.data(), &lcn, &acc, &maxfun, &iprint, &inform,
             w.data(), &lw, iw.data());
      if (inform != -1) break;
      ++evaluations;
      sqptest::evaluate(p, x.data(), f, g.data(), c.data(), cn.data(), lcn);
    }
    std::printf("%-7s %3d %3d %4d %6d %6d %22.14e %22.14e %10.2e\n", p.name.c_str(), n, m, meq, inform, evaluations,
                f, p.fstar, sqptest::violation(p, x.data()));
    failures += inform != 0;
  }
  return failures == 0 ? 0 : 1;
}
