// Coordinate services on large inputs: MC59AD and MC49AD sorting the largest
// matrices of tests/data/matrices and generated matrices of up to 10^7
// entries (the time per entry should stay nearly flat as the size grows),
// and MC09AD products in both directions.
//
// A missing matrix file ends the program with a message rather than skipping a benchmark.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "sparse_utils/coord.hpp"
#include "support/mtx.hpp"

namespace {

using tbl::fint;

const char* const kMatrices[] = {"cage10.mtx", "bcsstk16.mtx", "bayer10.mtx", "kkt_cvxqp3_l.mtx",
                                 "Franz6_id1959_aug.mtx"};

const tbl::test::Coo& real_matrix(int idx) {
  static std::map<int, tbl::test::Coo> cache;
  auto it = cache.find(idx);
  if (it != cache.end()) return it->second;
  const std::string path = tbl::test::matrix_path(kMatrices[idx]);
  try {
    return cache.emplace(idx, tbl::test::read_mtx(path)).first->second;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "coord_bench: %s\n", e.what());
    std::exit(2);
  }
}

// Generated matrices of about ne entries.  Random: entries in random order
// over n = ne / 10 rows and columns, with a few repeated positions, the
// worst case for any in-place sort since every move lands far away.
// Stencil: the 7-point Laplacian of a cubic grid, entries row by row as an
// assembly loop produces them.
enum Kind : long { kRandom = 0, kStencil = 1 };

tbl::test::Coo generated(long ne, long kind) {
  tbl::test::Coo c;
  if (kind == kRandom) {
    c.nrows = c.ncols = static_cast<int>(std::max(1L, ne / 10));
    std::mt19937 gen(17);
    std::uniform_int_distribution<int> idx(1, c.nrows);
    std::uniform_real_distribution<double> val(-1.0, 1.0);
    c.row.resize(static_cast<std::size_t>(ne));
    c.col.resize(static_cast<std::size_t>(ne));
    c.val.resize(static_cast<std::size_t>(ne));
    for (std::size_t k = 0; k < c.row.size(); ++k) {
      c.row[k] = idx(gen);
      c.col[k] = idx(gen);
      c.val[k] = val(gen);
    }
    return c;
  }
  const long g = std::max(2L, std::lround(std::cbrt(static_cast<double>(ne) / 7.0)));
  c.nrows = c.ncols = static_cast<int>(g * g * g);
  c.row.reserve(static_cast<std::size_t>(7 * g * g * g));
  c.col.reserve(c.row.capacity());
  c.val.reserve(c.row.capacity());
  const long offs[7] = {-g * g, -g, -1, 0, 1, g, g * g};
  for (long z = 0; z < g; ++z)
    for (long y = 0; y < g; ++y)
      for (long x = 0; x < g; ++x) {
        const long i = x + g * (y + g * z);
        const bool inside[7] = {z > 0, y > 0, x > 0, true, x < g - 1, y < g - 1, z < g - 1};
        for (int t = 0; t < 7; ++t) {
          if (!inside[t]) continue;
          c.row.push_back(static_cast<int>(i + 1));
          c.col.push_back(static_cast<int>(i + offs[t] + 1));
          c.val.push_back(offs[t] == 0 ? 6.0 : -1.0);
        }
      }
  return c;
}

const tbl::test::Coo& generated_cached(long ne, long kind) {
  static std::map<std::pair<long, long>, tbl::test::Coo> cache;
  auto it = cache.find({ne, kind});
  if (it == cache.end()) it = cache.emplace(std::make_pair(ne, kind), generated(ne, kind)).first;
  return it->second;
}

// Working copies, refreshed outside the timed region before every call.
struct Work {
  std::vector<fint> irn, jcn, ip, iw;
  std::vector<double> a;
  void load(const tbl::test::Coo& c) {
    irn = c.row;
    jcn = c.col;
    a = c.val;
    const std::size_t m = static_cast<std::size_t>(std::max(c.nrows, c.ncols)) + 1;
    ip.assign(m, 0);
    iw.assign(m, 0);
  }
};

void run_mc59(benchmark::State& state, const tbl::test::Coo& c, fint form) {
  Work w;
  fint icntl[6] = {0, form, 0, 0, 0, c.symmetric ? 1 : 0};
  const fint nc = c.ncols, nr = c.nrows, ne = c.nnz();
  fint info[10];
  for (auto _ : state) {
    state.PauseTiming();
    w.load(c);
    const fint len = static_cast<fint>(w.ip.size());
    state.ResumeTiming();
    MC59AD(icntl, &nc, &nr, &ne, w.irn.data(), &ne, w.jcn.data(), &ne, w.a.data(), &len, w.ip.data(), &len,
           w.iw.data(), info);
    benchmark::DoNotOptimize(w.irn.data());
  }
  if (info[0] < 0) state.SkipWithError("MC59AD failed");
  state.counters["per_entry"] = benchmark::Counter(
      ne, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void run_mc49(benchmark::State& state, const tbl::test::Coo& c, fint ind) {
  Work w;
  const fint nc = c.ncols, nr = c.nrows, ne = c.nnz();
  const tbl::logical yesa = tbl::kTrue;
  fint iflag = 0;
  for (auto _ : state) {
    state.PauseTiming();
    w.load(c);
    const fint len = static_cast<fint>(w.ip.size());
    state.ResumeTiming();
    MC49AD(&ind, &nc, &nr, &ne, w.irn.data(), w.jcn.data(), &yesa, &ne, w.a.data(), &len, w.ip.data(), &len,
           w.iw.data(), &iflag);
    benchmark::DoNotOptimize(w.irn.data());
  }
  if (iflag < 0) state.SkipWithError("MC49AD failed");
  state.counters["per_entry"] = benchmark::Counter(
      ne, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MC59AD_Shared(benchmark::State& state) {
  run_mc59(state, real_matrix(static_cast<int>(state.range(0))), static_cast<fint>(state.range(1)));
  state.SetLabel(kMatrices[state.range(0)]);
}
void BM_MC49AD_Shared(benchmark::State& state) {
  run_mc49(state, real_matrix(static_cast<int>(state.range(0))), static_cast<fint>(state.range(1)));
  state.SetLabel(kMatrices[state.range(0)]);
}
void BM_MC59AD_Generated(benchmark::State& state) {
  run_mc59(state, generated_cached(state.range(0), state.range(1)), static_cast<fint>(state.range(2)));
}
void BM_MC49AD_Generated(benchmark::State& state) {
  run_mc49(state, generated_cached(state.range(0), state.range(1)), static_cast<fint>(state.range(2)));
}

// Column form of a matrix (sorted once with MC59AD, outside the timing).
struct ColumnForm {
  fint m = 0, n = 0;
  std::vector<fint> ip, irn;
  std::vector<double> a;
};

ColumnForm column_form(const tbl::test::Coo& c0) {
  const tbl::test::Coo c = c0.symmetric ? tbl::test::expand_symmetric(c0) : c0;
  Work w;
  w.load(c);
  fint icntl[6] = {0, 1, 0, 0, 0, 0};
  const fint nc = c.ncols, nr = c.nrows, ne = c.nnz(), len = static_cast<fint>(w.ip.size());
  fint info[10];
  MC59AD(icntl, &nc, &nr, &ne, w.irn.data(), &ne, w.jcn.data(), &ne, w.a.data(), &len, w.ip.data(), &len,
         w.iw.data(), info);
  ColumnForm f;
  f.m = nr;
  f.n = nc;
  f.ip.assign(w.ip.begin(), w.ip.begin() + nc + 1);
  f.irn = w.irn;
  f.a = w.a;
  return f;
}

void run_mc09(benchmark::State& state, const ColumnForm& f, bool transposed) {
  const tbl::logical trans = tbl::to_logical(transposed);
  std::vector<double> x(static_cast<std::size_t>(transposed ? f.m : f.n), 1.0);
  std::vector<double> y(static_cast<std::size_t>(transposed ? f.n : f.m), 0.0);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = 1.0 / static_cast<double>(i + 1);
  for (auto _ : state) {
    MC09AD(&f.m, &f.n, f.a.data(), x.data(), y.data(), &trans, f.irn.data(), f.ip.data());
    benchmark::DoNotOptimize(y.data());
  }
  const double ne = static_cast<double>(f.ip.back() - 1);
  state.counters["per_entry"] =
      benchmark::Counter(ne, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MC09AD_Shared(benchmark::State& state) {
  static std::map<int, ColumnForm> forms;
  const int idx = static_cast<int>(state.range(0));
  if (!forms.count(idx)) forms.emplace(idx, column_form(real_matrix(idx)));
  run_mc09(state, forms.at(idx), state.range(1) != 0);
  state.SetLabel(std::string(kMatrices[idx]) + (state.range(1) ? " A'x" : " Ax"));
}

void BM_MC09AD_Generated(benchmark::State& state) {
  static std::map<long, ColumnForm> forms;
  const long ne = state.range(0);
  if (!forms.count(ne)) forms.emplace(ne, column_form(generated_cached(ne, kRandom)));
  run_mc09(state, forms.at(ne), state.range(1) != 0);
}

void SharedArgs(benchmark::internal::Benchmark* b, std::initializer_list<long> modes) {
  for (long m : modes)
    for (int i = 0; i < static_cast<int>(std::size(kMatrices)); ++i) b->Args({i, m});
}

BENCHMARK(BM_MC59AD_Shared)->Apply([](auto* b) { SharedArgs(b, {0, 1}); })->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MC49AD_Shared)->Apply([](auto* b) { SharedArgs(b, {1, 2}); })->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MC59AD_Generated)
    ->ArgsProduct({{100000, 1000000, 10000000}, {kRandom, kStencil}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_MC49AD_Generated)
    ->ArgsProduct({{100000, 1000000, 10000000}, {kRandom, kStencil}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_MC09AD_Shared)->Apply([](auto* b) { SharedArgs(b, {0, 1}); })->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MC09AD_Generated)
    ->ArgsProduct({{100000, 1000000, 10000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
