// Minimisation without derivatives through VUR_OPTBQA, as a host drives it:
// a loop that evaluates the function (and the constraints) wherever the
// library asks, until it reports the end.
//
//   dfo_solve [directory]
//
// 1. Six charges on the unit sphere, each a point of [-1,1]^3 taken to the
//    sphere: the least energy (sum of reciprocal distances) is 9.985281374.
// 2. The box of largest volume with surface 6 and its first edge at most
//    0.8 (an equality and an inequality constraint): the edges 0.8, 1.10790,
//    1.10790 with volume 0.981953.
// The trace files go to the directory given (default: the current one).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "bound_opt/dfo_problems.hpp"

namespace {

struct Problem {
  const char* title;
  std::vector<double> x, xl, xu;
  int32_t meq, min;
  std::function<double(const std::vector<double>&)> f;
  std::function<void(const std::vector<double>&, double*, double*)> c;
};

void solve(const Problem& p, const std::string& trace, int32_t iprint) {
  int32_t n = static_cast<int32_t>(p.x.size()), meq = p.meq, min = p.min, npt = 2 * n + 1;
  std::vector<double> x = p.x, scale(n, 1.0), cwt(meq + min, 1.0), ceq(meq + 1), cin(min + 1), xbest(n);
  double f = 0.0, rhobeg = 0.2, rhoend = 1e-8, ftarget = -1e300, pen = 1.0, pengrow = 10.0, penmax = 1e10,
         rhorst = 0.01, ctol = 1e-6, fbest = NAN, cviol = NAN, pbest = NAN, rho = NAN;
  int32_t maxfun = 20000, maxrst = 8, iptype = 1, iout = 6, itrace = 1, info = 0, nfev = 0, nrst = 0;
  int32_t lw = npt * (npt + n + 7) + n * (3 * n + 43) / 2;
  std::vector<double> w(lw);

  std::printf("\n== %s: N = %d, MEQ = %d, MIN = %d, NPT = %d\n", p.title, n, meq, min, npt);
  const auto t0 = std::chrono::steady_clock::now();
  double host_time = 0.0;
  for (;;) {
    VUR_OPTBQA(&n, x.data(), p.xl.data(), p.xu.data(), scale.data(), &meq, &min, &f, ceq.data(), cin.data(),
               &npt, &rhobeg, &rhoend, &maxfun, &ftarget, &pen, &pengrow, &penmax, &maxrst, &rhorst, &ctol,
               cwt.data(), &iptype, xbest.data(), &fbest, &cviol, &pbest, &rho, &nfev, &nrst, &iprint, &iout,
               &itrace, &info, w.data(), &lw, trace.data(), trace.size());
    if (info != 1) break;
    const auto h0 = std::chrono::steady_clock::now();
    f = p.f(x);
    if (p.c) p.c(x, ceq.data(), cin.data());
    host_time += std::chrono::duration<double>(std::chrono::steady_clock::now() - h0).count();
    if (nfev > 0 && nfev % 200 == 0)
      std::printf("   evaluation %6d: best F %.12f, violation %.2e\n", nfev, fbest, cviol);
  }
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("INFO %d after %d evaluations and %d restarts (final PEN %.0e)\n", info, nfev, nrst, pen);
  std::printf("least F %.10f with violation %.2e at\n  ", fbest, cviol);
  for (int32_t j = 0; j < n; ++j)
    std::printf("%10.6f%s", xbest[j], (j + 1) % 6 == 0 && j + 1 < n ? "\n  " : " ");
  std::printf(
      "\ntime in the library %.3f s (%.1f us per evaluation, the trace file included); trace file %s.vorex\n",
      total - host_time, 1e6 * (total - host_time) / std::max(nfev, 1), trace.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";

  Problem sphere{
      "Six charges on the unit sphere (least energy 9.985281374)", {}, {}, {}, 0, 0, tbl::test::sphere_energy, {}};
  for (int i = 0; i < 6; ++i) {
    const double t = 0.9 + 2.3 * i, u = 0.3 + 1.7 * i * i;
    sphere.x.insert(sphere.x.end(), {std::cos(t) * std::sin(u), std::sin(t) * std::sin(u), std::cos(u)});
  }
  sphere.xl.assign(18, -1.0);
  sphere.xu.assign(18, 1.0);
  solve(sphere, dir + "/dfo_sphere", 1);

  Problem box{"Largest box with surface 6 and its first edge at most 0.8 (volume 0.981953)",
              {0.5, 1.5, 0.8},
              {0.1, 0.1, 0.1},
              {3.0, 3.0, 3.0},
              1,
              1,
              [](const std::vector<double>& x) { return -x[0] * x[1] * x[2]; },
              [](const std::vector<double>& x, double* ceq, double* cin) {
                ceq[0] = 2.0 * (x[0] * x[1] + x[1] * x[2] + x[0] * x[2]) - 6.0;
                cin[0] = x[0] - 0.8;
              }};
  solve(box, dir + "/dfo_box", 2);
  return 0;
}
