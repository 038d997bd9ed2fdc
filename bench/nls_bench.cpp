// Nonlinear least squares: DI23AD against MINPACK's lmder (analytic
// Jacobian) and lmdif (forward differences) on the published test set at
// its standard starts; DI23AD alone from 10 and 100 times those starts;
// DI23AD with an estimated Jacobian on problems whose variables are far
// from size 1, and on sparse problems of 10^3 to 10^6 variables; and the
// column groups of the difference estimate against their lower bound, the
// largest row count.
//
// Counters: nfev residual evaluations (those of the estimates included),
// njev Jacobians, iters iterations, sumsq the final ||F||^2 (and its
// log10: the console drops the exponent of a value below 1e-24), and for
// the sparse runs ns_per_var_eval, the time per variable and residual
// evaluation, flat when the cost grows linearly with the size.  All solvers
// run with their defaults (both take sqrt(eps) for the relative tests).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "nonlinear/nls_problems.hpp"
#include "nonlinear/td22.hpp"
#include "support/mtx.hpp"

extern "C" {
using LmderFcn = void (*)(const int*, const int*, const double*, double*, double*, const int*, int*);
using LmdifFcn = void (*)(const int*, const int*, const double*, double*, int*);
void lmder_(LmderFcn, const int* m, const int* n, double* x, double* fvec, double* fjac, const int* ldfjac,
            const double* ftol, const double* xtol, const double* gtol, const int* maxfev, double* diag,
            const int* mode, const double* factor, const int* nprint, int* info, int* nfev, int* njev, int* ipvt,
            double* qtf, double* wa1, double* wa2, double* wa3, double* wa4);
void lmdif_(LmdifFcn, const int* m, const int* n, double* x, double* fvec, const double* ftol, const double* xtol,
            const double* gtol, const int* maxfev, const double* epsfcn, double* diag, const int* mode,
            const double* factor, const int* nprint, int* info, int* nfev, double* fjac, const int* ldfjac,
            int* ipvt, double* qtf, double* wa1, double* wa2, double* wa3, double* wa4);
}

namespace {

struct Outcome {
  int status = 0, nfev = 0, njev = 0, iters = 0, groups = 0;
  double sumsq = 0;
};

// DI23AD to its end, the workspace sized by a first call.
Outcome run_di23(const nls::Problem& p, bool analytic, int method = 1) {
  int32_t icntl[20], icntlm[20], info[20];
  double cntl[20], cntld[5], cntlm[5], rinfo[20];
  DI23ID(icntl, cntl, cntld, icntlm, cntlm);
  icntl[3] = 0;
  icntl[4] = analytic ? 1 : 0;
  icntl[7] = method;
  int32_t m = p.m, n = p.n, ne = p.ne(), nfev = 0, njev = 0, niter = 0, ireq = 0, liw = 0, lw = 0;
  double fnorm = 0;
  std::vector<double> x = p.x0, f(m), d(n), aj(ne), xt(n), ft(m);
  std::vector<int32_t> iw(1);
  std::vector<double> w(1);
  for (int pass = 0; pass < 2; ++pass) {
    ireq = 0;
    do {
      DI23AD(&m, &n, &ne, p.irn.data(), p.jcn.data(), x.data(), f.data(), d.data(), icntl, cntl, cntld, icntlm,
             cntlm, iw.data(), &liw, w.data(), &lw, aj.data(), xt.data(), &ireq, ft.data(), info, rinfo, &nfev,
             &njev, &niter, &fnorm);
      if (ireq == 1) p.residuals(xt.data(), ft.data());
      if (ireq == 2) p.jacobian(xt.data(), aj.data());
    } while (ireq == 1 || ireq == 2);
    if (pass == 0) {
      liw = info[13];
      lw = info[14];
      iw.resize(static_cast<std::size_t>(liw));
      w.resize(static_cast<std::size_t>(lw));
    }
  }
  return {ireq, nfev, njev, niter, info[4], fnorm * fnorm};
}

// MINPACK works on a dense Jacobian through plain function pointers.
const nls::Problem* g_problem = nullptr;

void fcn_lmder(const int* m, const int* n, const double* x, double* fvec, double* fjac, const int* ldfjac,
               int* iflag) {
  const nls::Problem& p = *g_problem;
  if (*iflag == 1) {
    p.residuals(x, fvec);
    return;
  }
  std::vector<double> aj(p.ne());
  p.jacobian(x, aj.data());
  for (int j = 0; j < *n; ++j) std::fill(fjac + std::size_t(j) * *ldfjac, fjac + std::size_t(j) * *ldfjac + *m, 0.0);
  for (int k = 0; k < p.ne(); ++k) fjac[std::size_t(p.jcn[k] - 1) * *ldfjac + p.irn[k] - 1] = aj[k];
}

void fcn_lmdif(const int*, const int*, const double* x, double* fvec, int*) { g_problem->residuals(x, fvec); }

Outcome run_minpack(const nls::Problem& p, bool analytic) {
  g_problem = &p;
  const int m = p.m, n = p.n, mode = 1, nprint = 0, maxfev = 200 * (n + 1);
  const double tol = std::sqrt(std::numeric_limits<double>::epsilon()), gtol = 0, factor = 100, epsfcn = 0;
  std::vector<double> x = p.x0, fvec(m), fjac(std::size_t(m) * n), diag(n), qtf(n), wa1(n), wa2(n), wa3(n), wa4(m);
  std::vector<int> ipvt(n);
  int info = 0, nfev = 0, njev = 0;
  if (analytic)
    lmder_(fcn_lmder, &m, &n, x.data(), fvec.data(), fjac.data(), &m, &tol, &tol, &gtol, &maxfev, diag.data(), &mode,
           &factor, &nprint, &info, &nfev, &njev, ipvt.data(), qtf.data(), wa1.data(), wa2.data(), wa3.data(),
           wa4.data());
  else
    lmdif_(fcn_lmdif, &m, &n, x.data(), fvec.data(), &tol, &tol, &gtol, &maxfev, &epsfcn, diag.data(), &mode,
           &factor, &nprint, &info, &nfev, fjac.data(), &m, ipvt.data(), qtf.data(), wa1.data(), wa2.data(),
           wa3.data(), wa4.data());
  double s = 0;
  for (double v : fvec) s += v * v;
  return {info, nfev, analytic ? njev : 0, 0, 0, s};
}

void report(benchmark::State& state, const Outcome& o) {
  state.counters["status"] = o.status;
  state.counters["nfev"] = o.nfev;
  state.counters["njev"] = o.njev;
  state.counters["iters"] = o.iters;
  state.counters["sumsq"] = o.sumsq;
  // The console shows a value below 1e-24 without its exponent.
  state.counters["log10_sumsq"] = o.sumsq > 0 ? std::log10(o.sumsq) : -HUGE_VAL;
}

// Solvers: 0 DI23AD with the analytic Jacobian, 1 lmder, 2 DI23AD forward
// differences, 3 lmdif.
const char* const kSolvers[] = {"DI23_analytic", "lmder", "DI23_forward", "lmdif"};

void BM_Classic(benchmark::State& state, nls::Problem p, int solver) {
  Outcome o;
  for (auto _ : state) {
    o = solver == 0 ? run_di23(p, true) : solver == 1 ? run_minpack(p, true) : solver == 2 ? run_di23(p, false)
                                                                                             : run_minpack(p, false);
    benchmark::DoNotOptimize(o);
  }
  report(state, o);
}

void BM_Sparse(benchmark::State& state, nls::Problem (*make)(int)) {
  const nls::Problem p = make(static_cast<int>(state.range(0)));
  Outcome o;
  for (auto _ : state) {
    o = run_di23(p, false);
    benchmark::DoNotOptimize(o);
  }
  report(state, o);
  state.counters["groups"] = o.groups;
  state.counters["ns_per_var_eval"] =
      benchmark::Counter(1e-9 * p.n * o.nfev, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The column groups of a pattern and the largest row count, the lower bound.
void BM_Groups(benchmark::State& state, std::vector<int> rows, std::vector<int> cols, int m, int n) {
  std::vector<int32_t> ipj(n + 1, 0), irnj(rows.size()), ipr(m + 1, 0), jcr(rows.size());
  {
    // Duplicates dropped, columns by rows in increasing order.
    std::vector<std::vector<int>> bycol(n);
    for (std::size_t k = 0; k < rows.size(); ++k) bycol[cols[k] - 1].push_back(rows[k]);
    std::vector<std::vector<int>> byrow(m);
    irnj.clear();
    ipj[0] = 1;
    for (int j = 0; j < n; ++j) {
      std::sort(bycol[j].begin(), bycol[j].end());
      bycol[j].erase(std::unique(bycol[j].begin(), bycol[j].end()), bycol[j].end());
      for (int i : bycol[j]) {
        irnj.push_back(i);
        byrow[i - 1].push_back(j + 1);
      }
      ipj[j + 1] = static_cast<int32_t>(irnj.size()) + 1;
    }
    jcr.clear();
    ipr[0] = 1;
    for (int i = 0; i < m; ++i) {
      for (int j : byrow[i]) jcr.push_back(j);
      ipr[i + 1] = static_cast<int32_t>(jcr.size()) + 1;
    }
  }
  int lower = 0;
  for (int i = 0; i < m; ++i) lower = std::max(lower, ipr[i + 1] - ipr[i]);
  std::vector<int32_t> gptr(n + 1), gcol(n), work(3 * std::size_t(n));
  int32_t ngroup = 0, mm = m, nn = n;
  for (auto _ : state) {
    TD22_GROUPS(&mm, &nn, ipj.data(), irnj.data(), ipr.data(), jcr.data(), &ngroup, gptr.data(), gcol.data(),
                work.data());
    benchmark::DoNotOptimize(ngroup);
  }
  state.counters["groups"] = ngroup;
  state.counters["max_row"] = lower;
  state.counters["entries"] = static_cast<double>(irnj.size());
}

void register_all() {
  for (const nls::Problem& p : nls::published_set())
    for (int solver = 0; solver < 4; ++solver)
      benchmark::RegisterBenchmark(("BM_Classic/" + p.name + "/" + kSolvers[solver]).c_str(), BM_Classic, p, solver)
          ->Unit(benchmark::kMicrosecond);
  // The estimated Jacobian on variables far from size 1: the published
  // problems with variables 1e-100, 1 and 1e+100 times the published ones,
  // and Watson's function from 0, with the defaults.
  for (const auto& [scale, tag] : {std::pair{1e-100, "/Scale1e-100"}, {1.0, "/Scale1"}, {1e+100, "/Scale1e+100"}})
    for (const nls::Problem& p : {nls::bard(), nls::rosenbrock(), nls::powell_singular()})
      benchmark::RegisterBenchmark(("BM_Scaled/" + p.name + tag).c_str(), BM_Classic, nls::scaled(p, scale, tag), 2)
          ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("BM_Scaled/Watson6/FromZero", BM_Classic, nls::watson(6), 2)
      ->Unit(benchmark::kMicrosecond);
  // DI23AD on the published set from 10 and 100 times the standard start,
  // with the host's Jacobian and the forward estimate: the evaluations and
  // where each run ends (status, ||F||^2).
  for (const nls::Problem& p : nls::published_set())
    for (int factor : {10, 100}) {
      nls::Problem far = p;
      for (double& v : far.x0) v *= factor;
      for (int solver : {0, 2})
        benchmark::RegisterBenchmark(
            ("BM_FarStart/" + p.name + "/" + std::to_string(factor) + "x0/" + kSolvers[solver]).c_str(), BM_Classic,
            far, solver)
            ->Unit(benchmark::kMicrosecond);
    }
  // MINPACK's dense work against the sparse solver on a sparse problem.
  for (int n : {100, 400})
    for (int solver = 0; solver < 4; ++solver)
      benchmark::RegisterBenchmark(
          ("BM_Classic/ExtendedRosenbrock" + std::to_string(n) + "/" + kSolvers[solver]).c_str(), BM_Classic,
          nls::extended_rosenbrock(n), solver)
          ->Unit(benchmark::kMillisecond);

  const std::pair<const char*, nls::Problem (*)(int)> sparse[] = {
      {"ExtendedRosenbrock", nls::extended_rosenbrock},
      {"BroydenTridiagonal", nls::broyden_tridiagonal},
      {"BroydenBanded", nls::broyden_banded}};
  for (const auto& [name, make] : sparse)
    benchmark::RegisterBenchmark((std::string("BM_Sparse/") + name).c_str(), BM_Sparse, make)
        ->RangeMultiplier(10)
        ->Range(1000, 1000000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  // The discrete boundary value problem: at N = 100,000 the lowest
  // eigenvalues of J'J lie at the rounding level of its assembly.
  benchmark::RegisterBenchmark("BM_Sparse/BoundaryValue", BM_Sparse, nls::boundary_value)
      ->Arg(10000)
      ->Arg(100000)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);

  for (auto make : {nls::extended_rosenbrock, nls::boundary_value, nls::broyden_banded}) {
    const nls::Problem p = make(100000);
    benchmark::RegisterBenchmark(("BM_Groups/" + p.name).c_str(), BM_Groups, p.irn, p.jcn, p.m, p.n);
  }
  // Random patterns: each row a few random columns.
  for (int per_row : {3, 8, 20}) {
    const int m = 20000, n = 20000;
    std::mt19937 gen(per_row);
    std::uniform_int_distribution<int> col(1, n);
    std::vector<int> rows, cols;
    for (int i = 1; i <= m; ++i)
      for (int k = 0; k < per_row; ++k) {
        rows.push_back(i);
        cols.push_back(col(gen));
      }
    benchmark::RegisterBenchmark(("BM_Groups/Random" + std::to_string(per_row) + "PerRow").c_str(), BM_Groups, rows,
                                 cols, m, n);
  }
  // Patterns of real sparse matrices taken as Jacobians.
  for (const char* file : {"west0479.mtx", "bp_1200.mtx", "rajat19.mtx", "gre_1107.mtx", "lp_e226.mtx",
                           "bayer10.mtx", "cage10.mtx", "add32.mtx"}) {
    tbl::test::Coo c = tbl::test::read_mtx(tbl::test::matrix_path(file));
    if (c.symmetric) c = tbl::test::expand_symmetric(c);
    benchmark::RegisterBenchmark((std::string("BM_Groups/") + file).c_str(), BM_Groups, c.row, c.col, c.nrows,
                                 c.ncols);
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
