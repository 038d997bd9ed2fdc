// Dense LU: the column-oriented DGEFA against LAPACK's blocked DGETRF on the
// same matrices, factorisation and one solve.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "interface/blas.hpp"
#include "interface/routines.hpp"

namespace {

std::vector<double> random_matrix(int n) {
  std::mt19937 gen(42);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  for (double& x : a) x = u(gen);
  return a;
}

// Times factorise + one solve of a fresh copy of the same matrix, with the
// factorisation's flop count as the rate.
template <class FactoriseAndSolve>
void time_lu(benchmark::State& state, FactoriseAndSolve lu) {
  const tbl::fint n = static_cast<tbl::fint>(state.range(0));
  const std::vector<double> a = random_matrix(n);
  std::vector<double> f(a.size()), b(n, 1.0);
  std::vector<tbl::fint> pivots(n);
  for (auto _ : state) {
    f = a;
    lu(n, f.data(), pivots.data(), b.data());
    benchmark::DoNotOptimize(b.data());
  }
  state.counters["flops"] = benchmark::Counter(2.0 / 3.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Dgefa(benchmark::State& state) {
  time_lu(state, [](tbl::fint n, double* f, tbl::fint* ipvt, double* b) {
    tbl::fint info = 0, job = 0;
    DGEFA(f, &n, &n, ipvt, &info);
    DGESL(f, &n, &n, ipvt, b, &job);
  });
}

void BM_Dgetrf(benchmark::State& state) {
  time_lu(state, [](tbl::fint n, double* f, tbl::fint* ipiv, double* b) {
    tbl::fint info = 0, one = 1;
    dgetrf_(&n, &n, f, &n, ipiv, &info);
    dgetrs_("N", &n, &one, f, &n, ipiv, b, &n, &info, 1);
  });
}

BENCHMARK(BM_Dgefa)->Arg(100)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dgetrf)->Arg(100)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
