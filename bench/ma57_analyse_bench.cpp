// MA57AD on the symmetric matrices of tests/data/matrices and on generated
// problems up to a million rows: 2D and 3D grid Laplacians and saddle-point
// (KKT) matrices.  The time should grow about linearly with the entries
// (see the fitted complexity of each family).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "sym_ldlt/ma57.hpp"

namespace {

using tbl::fint;

struct Pattern {
  fint n = 0;
  std::vector<fint> irn, jcn;
  void add(fint i, fint j) {
    irn.push_back(i);
    jcn.push_back(j);
  }
};

// Lower triangle of the 5-point (2D) or 7-point (3D) Laplacian on a k^d grid.
Pattern grid(int k, int dims) {
  Pattern p;
  const std::int64_t kk = k;
  p.n = static_cast<fint>(dims == 2 ? kk * kk : kk * kk * kk);
  const int kz = dims == 2 ? 1 : k;
  for (int z = 0; z < kz; ++z) {
    for (int y = 0; y < k; ++y) {
      for (int x = 0; x < k; ++x) {
        const fint v = static_cast<fint>(1 + x + kk * (y + kk * z));
        p.add(v, v);
        if (x > 0) p.add(v, v - 1);
        if (y > 0) p.add(v, v - k);
        if (z > 0) p.add(v, v - k * k);
      }
    }
  }
  return p;
}

// [H A^T; A 0]: H the 2D Laplacian on a k x k grid, A one constraint per
// pair of grid rows, each coupling three variables of a column; the zero
// block has no diagonal entries.
Pattern kkt(int k) {
  Pattern p = grid(k, 2);
  const fint nh = p.n;
  fint row = nh;
  for (int y = 0; y + 1 < k; y += 2) {
    for (int x = 0; x < k; ++x) {
      ++row;
      const fint v = 1 + x + k * y;
      p.add(row, v);
      p.add(row, v + k);
      if (x + 1 < k) p.add(row, v + 1);
    }
  }
  p.n = row;
  return p;
}

void analyse(benchmark::State& state, const Pattern& p) {
  const fint ne = static_cast<fint>(p.irn.size());
  const std::int64_t lkeep64 = tbl::ma57::min_lkeep(p.n, ne);
  const fint lkeep = static_cast<fint>(lkeep64);
  std::vector<fint> keep(lkeep), iwork(5 * static_cast<std::size_t>(p.n)), icntl(20), info(40);
  std::vector<double> cntl(5), rinfo(20);
  MA57_DEFAULTS(cntl.data(), icntl.data());
  std::vector<fint> irn = p.irn, jcn = p.jcn;
  for (auto _ : state) {
    MA57AD(&p.n, &ne, irn.data(), jcn.data(), &lkeep, keep.data(), iwork.data(), icntl.data(),
           info.data(), rinfo.data());
    benchmark::DoNotOptimize(keep.data());
  }
  if (info[0] < 0) state.SkipWithError("MA57AD failed");
  state.SetComplexityN(ne);
  state.counters["n"] = p.n;
  state.counters["ne"] = ne;
  state.counters["factor_entries"] = info[4];
  state.counters["nodes"] = info[7];
  state.counters["compresses"] = info[12];
}

void BM_Grid2D(benchmark::State& state) { analyse(state, grid(static_cast<int>(state.range(0)), 2)); }
void BM_Grid3D(benchmark::State& state) { analyse(state, grid(static_cast<int>(state.range(0)), 3)); }
void BM_Kkt(benchmark::State& state) { analyse(state, kkt(static_cast<int>(state.range(0)))); }

BENCHMARK(BM_Grid2D)->Arg(100)->Arg(316)->Arg(1000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_Grid3D)->Arg(22)->Arg(46)->Arg(100)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_Kkt)->Arg(82)->Arg(258)->Arg(816)->Unit(benchmark::kMillisecond)->Complexity();

// The symmetric matrices of tests/data/matrices, registered at start-up;
// a missing collection is an error, not a reason to measure nothing.
const char* const kCollection[] = {
    "LFAT5.mtx",        "bcsstk01.mtx",    "tumorAntiAngiogenesis_2.mtx", "494_bus.mtx",
    "reorientation_1.mtx", "hangGlider_2.mtx", "zenios.mtx",              "bcsstk13.mtx",
    "kkt_cont050.mtx",  "bcsstk16.mtx",    "kkt_cvxqp3_l.mtx",            "kkt_dtoc3.mtx",
};

int register_collection() {
  for (const char* file : kCollection) {
    tbl::test::Coo m;
    try {
      m = tbl::test::read_mtx(tbl::test::matrix_path(file));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ma57_analyse_bench: %s\n", e.what());
      std::exit(1);
    }
    Pattern p;
    p.n = m.nrows;
    p.irn.assign(m.row.begin(), m.row.end());
    p.jcn.assign(m.col.begin(), m.col.end());
    benchmark::RegisterBenchmark((std::string("BM_Collection/") + file).c_str(),
                                 [p](benchmark::State& s) { analyse(s, p); })
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}
const int registered = register_collection();

}  // namespace

BENCHMARK_MAIN();
