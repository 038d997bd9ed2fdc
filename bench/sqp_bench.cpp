// Constrained optimisation: evaluations that VF13AD spends on the classic
// test problems to come within 1e-6 of the known optimum, and the time of
// VF13AD and VE17AD on dense problems of a few hundred variables.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "sqp/sqp.hpp"
#include "tests/sqp/hs_problems.hpp"

namespace {

using tbl::fint;

// One VF13AD solve by reverse communication; EVAL fills f, g, c, cn (ld n).
struct Solve {
  fint inform = 0;
  int evaluations = 0;
  int to_optimum = -1;  // the first evaluation within tolerance of the optimum, if any
  double f = 0.0;
};

template <class Eval, class Near>
Solve vf13(fint n, fint m, fint meq, std::vector<double> x, double acc, fint maxfun, Eval eval, Near near_optimum) {
  Solve s;
  const fint lw = static_cast<fint>(tbl::sqp::vf13_workspace(n, m)), iprint = -1;
  std::vector<double> g(n), c(std::max(m, 1)), cn(std::size_t(n) * std::max(m, 1)), w(lw);
  std::vector<fint> iw(2 * (n + m));
  for (;;) {
    VF13AD(&n, &m, &meq, x.data(), &s.f, g.data(), c.data(), cn.data(), &n, &acc, &maxfun, &iprint, &s.inform,
           w.data(), &lw, iw.data());
    if (s.inform != -1) break;
    ++s.evaluations;
    eval(x.data(), s.f, g.data(), c.data(), cn.data());
    if (s.to_optimum < 0 && near_optimum(x.data(), s.f)) s.to_optimum = s.evaluations;
  }
  return s;
}

// Evaluations on each classic problem: to the first point within 1e-6 of
// the known optimum (relative, and feasible to 1e-6), and in all to the end
// with ACC = 1e-8.
void BM_ClassicEvaluations(benchmark::State& state) {
  const sqptest::Problem& p = sqptest::hs_problems()[state.range(0)];
  state.SetLabel(p.name);
  Solve s;
  for (auto _ : state) {
    s = vf13(
        p.n, p.m, p.meq, p.x0, 1e-8, 500,
        [&](const double* x, double& f, double* g, double* c, double* cn) { sqptest::evaluate(p, x, f, g, c, cn, p.n); },
        [&](const double* x, double f) {
          return std::fabs(f - p.fstar) <= 1e-6 * std::max(1.0, std::fabs(p.fstar)) && sqptest::violation(p, x) <= 1e-6;
        });
  }
  state.counters["INFORM"] = s.inform;
  state.counters["to_optimum"] = s.to_optimum;
  state.counters["evaluations"] = s.evaluations;
}
BENCHMARK(BM_ClassicEvaluations)->DenseRange(0, static_cast<int>(sqptest::hs_problems().size()) - 1)->Unit(benchmark::kMicrosecond);

// A dense problem in N variables: a smooth convex objective pulled towards
// random targets, one equality (the sum of the variables) and M = N/2 dense
// nonlinear inequalities  b_j - a_j'x - 0.05 (a_j'x)^2 >= 0, many of them
// active at the solution.
struct Dense {
  fint n, m;
  std::vector<double> t, a, b;  // a: n x m by columns
  explicit Dense(fint n_) : n(n_), m(n_ / 2) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    t.resize(n);
    for (double& v : t) v = 2.0 * u(gen);
    a.resize(std::size_t(n) * m);
    for (double& v : a) v = u(gen) / std::sqrt(double(n));
    b.resize(m);
    for (double& v : b) v = 0.5 + 0.5 * std::fabs(u(gen));
  }
  void operator()(const double* x, double& f, double* g, double* c, double* cn) const {
    f = 0.0;
    double sum = 0.0;
    for (fint i = 0; i < n; ++i) {
      const double d = x[i] - t[i];
      f += d * d + 0.1 * x[i] * x[i] * x[i] * x[i];
      g[i] = 2.0 * d + 0.4 * x[i] * x[i] * x[i];
      sum += x[i];
    }
    c[0] = sum - 0.1 * n;
    for (fint i = 0; i < n; ++i) cn[i] = 1.0;
    for (fint j = 0; j < m - 1; ++j) {
      const double* aj = a.data() + std::size_t(j) * n;
      double s = 0.0;
      for (fint i = 0; i < n; ++i) s += aj[i] * x[i];
      c[j + 1] = b[j] - s - 0.05 * s * s;
      double* col = cn + std::size_t(j + 1) * n;
      for (fint i = 0; i < n; ++i) col[i] = -(1.0 + 0.1 * s) * aj[i];
    }
  }
};

void BM_Vf13Dense(benchmark::State& state) {
  const Dense d(static_cast<fint>(state.range(0)));
  Solve s;
  for (auto _ : state) {
    s = vf13(d.n, d.m, 1, std::vector<double>(d.n, 0.0), 1e-8, 1000, d, [](const double*, double) { return false; });
  }
  state.counters["INFORM"] = s.inform;
  state.counters["evaluations"] = s.evaluations;
  state.counters["M"] = d.m;
}
BENCHMARK(BM_Vf13Dense)->Arg(50)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);

// VE17AD alone: N variables, N dense random inequalities through a common
// point, a random positive definite H.
void BM_Ve17Dense(benchmark::State& state) {
  const fint n = static_cast<fint>(state.range(0)), m = n, meq = 0;
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> l(std::size_t(n) * n), h(std::size_t(n) * n, 0.0), g(n), a(std::size_t(n) * m), b(m), xf(n);
  for (double& v : l) v = u(gen);
  for (fint j = 0; j < n; ++j)
    for (fint i = 0; i <= j; ++i) {
      double s = i == j ? 1.0 : 0.0;
      for (fint k = 0; k < n; ++k) s += l[i + std::size_t(k) * n] * l[j + std::size_t(k) * n] / n;
      h[i + std::size_t(j) * n] = s;
    }
  for (double& v : g) v = 10.0 * u(gen);
  for (double& v : a) v = u(gen);
  for (double& v : xf) v = u(gen);
  for (fint k = 0; k < m; ++k) {
    double s = 0.0;
    for (fint i = 0; i < n; ++i) s += a[i + std::size_t(k) * n] * xf[i];
    b[k] = s - 0.1 * std::fabs(u(gen));
  }
  const fint lw = static_cast<fint>(tbl::sqp::ve17_workspace(n, m));
  std::vector<double> x(n), mult(m), w(lw);
  std::vector<fint> iact(m);
  fint nact = 0, inform = 0;
  const double tol = 1e-10;
  for (auto _ : state) {
    VE17AD(&n, &m, &meq, h.data(), &n, g.data(), a.data(), &n, b.data(), x.data(), mult.data(), iact.data(), &nact,
           &tol, w.data(), &lw, &inform);
    benchmark::DoNotOptimize(x.data());
  }
  state.counters["INFORM"] = inform;
  state.counters["active"] = nact;
}
BENCHMARK(BM_Ve17Dense)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
