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

void BM_Dgefa(benchmark::State& state) {
  const tbl::fint n = static_cast<tbl::fint>(state.range(0));
  const std::vector<double> a = random_matrix(n);
  std::vector<double> f(a.size()), b(n, 1.0);
  std::vector<tbl::fint> ipvt(n);
  tbl::fint info = 0, job = 0;
  for (auto _ : state) {
    f = a;
    DGEFA(f.data(), &n, &n, ipvt.data(), &info);
    DGESL(f.data(), &n, &n, ipvt.data(), b.data(), &job);
    benchmark::DoNotOptimize(b.data());
  }
  state.counters["flops"] = benchmark::Counter(2.0 / 3.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Dgetrf(benchmark::State& state) {
  const tbl::fint n = static_cast<tbl::fint>(state.range(0));
  const std::vector<double> a = random_matrix(n);
  std::vector<double> f(a.size()), b(n, 1.0);
  std::vector<tbl::fint> ipiv(n);
  tbl::fint info = 0, one = 1;
  for (auto _ : state) {
    f = a;
    dgetrf_(&n, &n, f.data(), &n, ipiv.data(), &info);
    dgetrs_("N", &n, &one, f.data(), &n, ipiv.data(), b.data(), &n, &info, 1);
    benchmark::DoNotOptimize(b.data());
  }
  state.counters["flops"] = benchmark::Counter(2.0 / 3.0 * n * n * n, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_Dgefa)->Arg(100)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dgetrf)->Arg(100)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
