// MA57BD on the symmetric matrices of tests/data/matrices (saddle-point
// ones included) and on generated 3D Laplacians and KKT matrices.
//
// Each run reports the fill (entries in the factors against the entries of
// the permuted structure), the delayed and 2x2 pivots, the largest front
// and "flops": the elimination operations the factorisation counts
// (RINFO(4)) per second, to be read against BM_Dgemm, the rate of the
// reference DGEMM on a front-sized update.  BM_Refactorise repeats MA57BD
// with ICNTL(7) = 2 on one pattern with changing values, as the nonlinear
// least-squares solver drives it.
//
// On the development machine the reference DGEMM ran about 40% slower
// whenever the linker happened to place it 16 bytes past a 64-byte boundary
// (an effect of code alignment alone), and large factorisations with it;
// BM_Dgemm reports that offset as "dgemm_at_mod64".  Compare rates only
// between builds whose offsets agree.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "interface/blas.hpp"
#include "sym_ldlt/ma57_factor_support.hpp"

namespace {

using ma57test::Analysis;
using ma57test::Controls;
using ma57test::Factors;
using ma57test::Problem;
using tbl::fint;

// Storage from a first factorisation: the lengths that need no compress.
struct Prepared {
  Controls c;
  Analysis a;
  std::vector<double> fact;
  std::vector<fint> ifact, keep, iwork;
  fint info[40] = {};
  double rinfo[20] = {};
};

Prepared prepare(const Problem& p, fint mode) {
  Prepared s;
  s.c.icntl[6] = mode;
  s.a = ma57test::analyse(p, s.c);
  Factors f = ma57test::factorise(p, s.c, s.a);
  s.fact.assign(static_cast<std::size_t>(f.info[18]), 0.0);
  s.ifact.assign(static_cast<std::size_t>(f.info[19]), 0);
  s.keep = s.a.keep;
  s.iwork.assign(static_cast<std::size_t>(p.n), 0);
  return s;
}

void run_once(const Problem& p, const std::vector<double>& values, Prepared& s) {
  fint n = p.n, ne = p.ne(), lf = static_cast<fint>(s.fact.size()), li = static_cast<fint>(s.ifact.size());
  fint lkeep = static_cast<fint>(s.keep.size());
  MA57BD(&n, &ne, values.data(), s.fact.data(), &lf, s.ifact.data(), &li, &lkeep, s.keep.data(), s.iwork.data(),
         s.c.icntl, s.c.cntl, s.info, s.rinfo);
}

void report(benchmark::State& state, const Problem& p, const Prepared& s) {
  if (s.info[0] < 0) state.SkipWithError("MA57BD failed");
  const fint nz = s.keep[static_cast<std::size_t>(p.n) + 1];
  state.counters["n"] = p.n;
  state.counters["fill"] = static_cast<double>(s.info[13]) / nz;
  state.counters["factor_entries"] = s.info[13];
  state.counters["delays"] = s.info[22];
  state.counters["2x2"] = s.info[21];
  state.counters["front"] = s.info[20];
  state.counters["flops"] = benchmark::Counter(s.rinfo[3], benchmark::Counter::kIsIterationInvariantRate);
}

void factorise(benchmark::State& state, const Problem& p) {
  Prepared s = prepare(p, 1);
  for (auto _ : state) {
    run_once(p, p.val, s);
    benchmark::DoNotOptimize(s.fact.data());
  }
  report(state, p, s);
}

// [H A^T; A 0]: H the 2D Laplacian on a k x k grid, A one constraint per
// pair of grid rows coupling three neighbouring variables, no diagonal in
// the zero block: the zero diagonal forces 2x2 pivots or delays.
Problem grid_kkt(fint k) {
  Problem p;
  const fint nh = k * k;
  for (fint y = 0; y < k; ++y)
    for (fint x = 0; x < k; ++x) {
      const fint v = 1 + x + k * y;
      p.add(v, v, 4.0);
      if (x > 0) p.add(v, v - 1, -1.0);
      if (y > 0) p.add(v, v - k, -1.0);
    }
  fint row = nh;
  for (fint y = 0; y + 1 < k; y += 2)
    for (fint x = 0; x < k; ++x) {
      const fint v = 1 + x + k * y;
      ++row;
      p.add(row, v, 1.0);
      p.add(row, v + k, -1.0);
      if (x + 1 < k) p.add(row, v + 1, 0.5);
    }
  p.n = row;
  return p;
}

void BM_Laplacian3D(benchmark::State& state) { factorise(state, ma57test::laplacian3d(static_cast<fint>(state.range(0)))); }
void BM_Kkt(benchmark::State& state) { factorise(state, grid_kkt(static_cast<fint>(state.range(0)))); }

BENCHMARK(BM_Laplacian3D)->Arg(10)->Arg(20)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Kkt)->Arg(50)->Arg(150)->Arg(400)->Unit(benchmark::kMillisecond);

// The elimination's reference: C = C + A B, C m x n, A m x k, B k x n.
// A front of order m updated by k pivots in strips of n columns has the
// shape (m, 16, k) with the default block size.
void BM_Dgemm(benchmark::State& state) {
  const fint m = static_cast<fint>(state.range(0)), n = static_cast<fint>(state.range(1)),
             k = static_cast<fint>(state.range(2));
  std::vector<double> a(static_cast<std::size_t>(m) * k, 0.5), b(static_cast<std::size_t>(k) * n, 0.25),
      c(static_cast<std::size_t>(m) * n, 1.0);
  const double one = 1.0;
  for (auto _ : state) {
    dgemm_("N", "N", &m, &n, &k, &one, a.data(), &m, b.data(), &k, &one, c.data(), &m, 1, 1);
    benchmark::DoNotOptimize(c.data());
  }
  state.counters["flops"] =
      benchmark::Counter(2.0 * m * n * k, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["dgemm_at_mod64"] = static_cast<double>(reinterpret_cast<std::uintptr_t>(&dgemm_) % 64);
}
BENCHMARK(BM_Dgemm)->Args({300, 16, 16})->Args({300, 16, 200})->Args({1000, 16, 16})->Args({1000, 16, 500})->Args(
    {1000, 1000, 64});

// Refactorisation on one pattern without pivoting: the diagonal is scaled
// afresh at every call.
void BM_Refactorise(benchmark::State& state) {
  const Problem p = ma57test::laplacian3d(static_cast<fint>(state.range(0)));
  Prepared s = prepare(p, 2);
  std::vector<double> values = p.val;
  int step = 0;
  for (auto _ : state) {
    const double scale = 1.0 + 0.001 * (++step % 17);
    for (std::size_t k = 0; k < values.size(); ++k)
      if (p.irn[k] == p.jcn[k]) values[k] = p.val[k] * scale;
    run_once(p, values, s);
    benchmark::DoNotOptimize(s.fact.data());
  }
  report(state, p, s);
}
BENCHMARK(BM_Refactorise)->Arg(12)->Arg(24)->Unit(benchmark::kMillisecond);

// The symmetric matrices of tests/data/matrices, registered at start-up;
// a missing collection is an error, not a reason to measure nothing.
const char* const kCollection[] = {
    "LFAT5.mtx",       "bcsstk01.mtx", "tumorAntiAngiogenesis_2.mtx", "494_bus.mtx",     "reorientation_1.mtx",
    "hangGlider_2.mtx", "zenios.mtx",   "bcsstk13.mtx",                "kkt_cont050.mtx", "bcsstk16.mtx",
    "kkt_cvxqp3_l.mtx", "kkt_dtoc3.mtx",
};

int register_collection() {
  for (const char* file : kCollection) {
    Problem p;
    try {
      p = ma57test::load_problem(tbl::test::matrix_path(file));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ma57_factor_bench: %s\n", e.what());
      std::exit(1);
    }
    benchmark::RegisterBenchmark((std::string("BM_Collection/") + file).c_str(),
                                 [p](benchmark::State& s) { factorise(s, p); })
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}
const int registered = register_collection();

}  // namespace

BENCHMARK_MAIN();
