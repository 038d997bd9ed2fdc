// The derivative-free optimiser: how many evaluations it needs to come
// within 1e-6 (relative) of a known least value, and what each evaluation
// costs in the method itself as the number of variables grows.
//
// BM_EvaluationsToTarget/<problem>: counter "evals", the evaluations until
// the best value is within 1e-6 * max(1, |least|) of the least value.
// BM_MethodTimePerEvaluation/<N>: a fixed budget of evaluations on the
// chained Rosenbrock function in a box with NPT = 2N+1; counters
// "us_per_eval" (the method's own time, the function's time taken out)
// and "ns_per_eval_per_npt2", which stays level when the work of an
// iteration grows like NPT^2.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "bound_opt/dfo_problems.hpp"
#include "bound_opt/optbqa.hpp"

namespace {

using tbl::fint;
using V = std::vector<double>;

struct Run {
  fint info = 0, nfev = 0;
  double fbest = 0.0, method_seconds = 0.0;
};

// One problem solved through the optimiser's own entry, no output.
Run optimise(const std::function<double(const V&)>& f, V x, const V& xl, const V& xu, double ftarget,
             fint maxfun, double rhobeg, double rhoend) {
  fint n = static_cast<fint>(x.size()), meq = 0, min = 0, npt = 2 * n + 1, maxrst = 0, iptype = 1, iprint = 0,
       iout = 6, itrace = 0, nrst = 0;
  const fint lw = static_cast<fint>(tbl::optbqa::workspace_length(n, npt));
  V scale(n, 1.0), xbest(n), w(lw);
  double fx = 0.0, pen = 1.0, pengrow = 10.0, penmax = 1.0, rhorst = rhoend, ctol = 0.0, cviol, pbest, rho;
  Run r;
  double host = 0.0;
  const auto t0 = std::chrono::steady_clock::now();
  for (;;) {
    OPTBQA(&n, x.data(), xl.data(), xu.data(), scale.data(), &meq, &min, &fx, nullptr, nullptr, &npt, &rhobeg,
           &rhoend, &maxfun, &ftarget, &pen, &pengrow, &penmax, &maxrst, &rhorst, &ctol, nullptr, &iptype,
           xbest.data(), &r.fbest, &cviol, &pbest, &rho, &r.nfev, &nrst, &iprint, &iout, &itrace, &r.info,
           w.data(), &lw, "", 0);
    if (r.info != 1) break;
    const auto h0 = std::chrono::steady_clock::now();
    fx = f(x);
    host += std::chrono::duration<double>(std::chrono::steady_clock::now() - h0).count();
  }
  r.method_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() - host;
  return r;
}

struct Target {
  std::string name;
  std::function<double(const V&)> f;
  V x0, xl, xu;
  double least;
};

std::vector<Target> targets() {
  std::vector<Target> t;
  t.push_back({"rosenbrock_2", tbl::test::rosenbrock, {-1.2, 1.0}, {-2, -2}, {2, 2}, 0.0});
  t.push_back({"rosenbrock_2_bound", tbl::test::rosenbrock, {-1.2, 1.0}, {-2, -2}, {0.5, 2}, 0.25});
  t.push_back({"rosenbrock_10", tbl::test::rosenbrock, V(10, -1.0), V(10, -2.0), V(10, 2.0), 0.0});
  for (int m = 4; m <= 6; ++m)
    t.push_back({"sphere_" + std::to_string(m) + "_points", tbl::test::sphere_energy,
                 tbl::test::sphere_start(m), V(3 * m, -1.0), V(3 * m, 1.0), tbl::test::sphere_least(m)});
  for (int n : {10, 30, 100}) {
    const tbl::test::BoundQuadratic q(n);
    t.push_back({"quadratic_on_bounds_" + std::to_string(n), q, V(n, 0.5), V(n, 0.0), V(n, 1.0), q.least()});
  }
  return t;
}

void BM_EvaluationsToTarget(benchmark::State& state, const Target& t) {
  // The stop is at the target; a target not reached is an error.
  const double ftarget = t.least + 1e-6 * std::max(1.0, std::fabs(t.least));
  Run r;
  for (auto _ : state) r = optimise(t.f, t.x0, t.xl, t.xu, ftarget, 100000, 0.5, 1e-10);
  if (r.info != 3) state.SkipWithError(("target not reached, INFO " + std::to_string(r.info)).c_str());
  state.counters["evals"] = r.nfev;
}

void BM_MethodTimePerEvaluation(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fint npt = 2 * n + 1, budget = npt + 30 * n;
  Run r;
  double seconds = 0.0;
  std::int64_t evals = 0;
  for (auto _ : state) {
    r = optimise(tbl::test::rosenbrock, V(n, -1.0), V(n, -2.0), V(n, 2.0), -1.0, budget, 0.5, 1e-8);
    seconds += r.method_seconds;
    evals += r.nfev;
  }
  const double per_eval = seconds / static_cast<double>(evals);
  state.counters["us_per_eval"] = 1e6 * per_eval;
  state.counters["ns_per_eval_per_npt2"] = 1e9 * per_eval / (double(npt) * npt);
}

const bool kRegistered = [] {
  for (const Target& t : targets())
    benchmark::RegisterBenchmark(("BM_EvaluationsToTarget/" + t.name).c_str(), BM_EvaluationsToTarget, t)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  return true;
}();

BENCHMARK(BM_MethodTimePerEvaluation)->RangeMultiplier(2)->Range(10, 160)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
