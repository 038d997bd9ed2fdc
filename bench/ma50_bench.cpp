// The MA50 sparse LU kernel: pivot selection (MA50AD), factorisation with
// JOB 1 and refactorisation with JOB 2 (MA50BD), and one solve (MA50CD), on
// the unsymmetric and rectangular matrices of tests/data/matrices, on
// generated 2D and 3D convection-diffusion grids and on a dense 1000 x 1000
// matrix given as sparse; the analysis also in a storage short enough to be
// compressed.  Counters: factor entries (sparse part plus the full block),
// the full block's size, compressions, and for the dense part the rate of
// the blocked factorisation against LAPACK's DGETRF on the same block.
//
// Run e.g.  ma50_bench --benchmark_filter='west|grid'
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "interface/blas.hpp"
#include "support/mtx.hpp"
#include "unsym_lu/ma50_harness.hpp"

namespace {

using tbl::fint;
using tbl::test::Csc;
using tbl::test::Ma50;

// ---------------------------------------------------------------------------
// Problems

Csc convection_diffusion(int k, int dims, double wind) {
  // 5- or 7-point Laplacian with first-order upwind convection along x.
  const int n = dims == 2 ? k * k : k * k * k;
  auto index = [&](int x, int y, int z) { return 1 + x + k * (y + k * z); };
  std::vector<std::pair<std::pair<int, int>, double>> e;
  e.reserve(static_cast<std::size_t>(n) * (2 * dims + 1));
  for (int z = 0; z < (dims == 3 ? k : 1); ++z) {
    for (int y = 0; y < k; ++y) {
      for (int x = 0; x < k; ++x) {
        const int r = index(x, y, z);
        e.push_back({{r, r}, 2.0 * dims + wind});
        if (x > 0) e.push_back({{r, index(x - 1, y, z)}, -1.0 - wind});
        if (x + 1 < k) e.push_back({{r, index(x + 1, y, z)}, -1.0});
        if (y > 0) e.push_back({{r, index(x, y - 1, z)}, -1.0});
        if (y + 1 < k) e.push_back({{r, index(x, y + 1, z)}, -1.0});
        if (dims == 3 && z > 0) e.push_back({{r, index(x, y, z - 1)}, -1.0});
        if (dims == 3 && z + 1 < k) e.push_back({{r, index(x, y, z + 1)}, -1.0});
      }
    }
  }
  return tbl::test::make_csc(n, n, e);
}

Csc dense_as_sparse(int n) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> a(static_cast<std::size_t>(n) * n);
  for (double& x : a) x = u(gen);
  return tbl::test::from_dense(n, n, a);
}

struct Problem {
  std::string name;
  Csc a;
  double la_factor = 0.0;        // LA / NE that the analysis succeeded with
  std::unique_ptr<Ma50> done;    // analysed and factorised once (JOB 1)
  std::vector<double> block;     // the full block before its factorisation
};

std::map<std::string, std::unique_ptr<Problem>>& problems() {
  static std::map<std::string, std::unique_ptr<Problem>> p;
  return p;
}

// Analyses (doubling LA until it fits) and factorises once, then rebuilds
// the full block from its factors for the dense comparison.
Problem& prepared(const std::string& name) {
  Problem& pr = *problems().at(name);
  if (pr.done) return pr;
  auto p = std::make_unique<Ma50>(pr.a);
  double f = 4.0;
  fint st;
  while ((st = p->analyse(f)) == -3) f *= 2.0;
  if (st < 0) {
    std::fprintf(stderr, "MA50AD failed on %s: %d\n", name.c_str(), st);
    std::abort();
  }
  pr.la_factor = f;
  if (p->factorise(1) < 0) {
    std::fprintf(stderr, "MA50BD failed on %s: %d\n", name.c_str(), p->info_b[0]);
    std::abort();
  }
  const fint n = pr.a.n, mf = p->irnf[1], nf = n - p->np;
  if (mf > 0 && nf > 0) {
    // Block = P' L U Q' with the interchanges undone (rank-deficient blocks
    // keep their rejected columns' zeros, which is what the factorisation
    // saw after the updates).
    const fint base = p->iptrl[n - 1];
    const double* lu = p->fact.data() + base;
    const fint* ipiv = p->irnf.data() + base + mf;
    fint r = std::min(mf, nf);
    while (r >= 1 && ipiv[r - 1] < 1) --r;
    std::vector<double> l(static_cast<std::size_t>(mf) * r, 0.0), u(static_cast<std::size_t>(r) * nf, 0.0);
    for (fint k = 0; k < r; ++k) {
      l[k + static_cast<std::size_t>(k) * mf] = 1.0;
      for (fint i = k + 1; i < mf; ++i) l[i + static_cast<std::size_t>(k) * mf] = lu[i + static_cast<std::size_t>(k) * mf];
    }
    for (fint j = 0; j < nf; ++j) {
      for (fint i = 0; i <= std::min(j, r - 1); ++i) u[i + static_cast<std::size_t>(j) * r] = lu[i + static_cast<std::size_t>(j) * mf];
    }
    pr.block.assign(static_cast<std::size_t>(mf) * nf, 0.0);
    const double one = 1.0, zero = 0.0;
    if (r > 0) {
      dgemm_("N", "N", &mf, &nf, &r, &one, l.data(), &mf, u.data(), &r, &zero, pr.block.data(), &mf, 1, 1);
    }
    for (fint k = r; k >= 1; --k) {
      const fint p2 = ipiv[k - 1];
      if (p2 != k) dswap_(&nf, pr.block.data() + (k - 1), &mf, pr.block.data() + (p2 - 1), &mf);
    }
  }
  pr.done = std::move(p);
  return pr;
}

void add_counters(benchmark::State& state, const Problem& pr) {
  const Ma50& p = *pr.done;
  const fint n = pr.a.n, mf = p.irnf[1], nf = n - p.np;
  state.counters["nnz"] = pr.a.nnz();
  state.counters["factor"] = double(p.iptrl[n - 1] - 2) + double(mf) * nf;
  state.counters["full_rows"] = mf;
  state.counters["full_cols"] = nf;
}

// ---------------------------------------------------------------------------
// Benchmarks

void BM_Analyse(benchmark::State& state, const std::string& name) {
  Problem& pr = prepared(name);
  Ma50 p(pr.a);
  for (auto _ : state) {
    p.analyse(pr.la_factor);
    benchmark::DoNotOptimize(p.iq.data());
  }
  add_counters(state, pr);
  state.counters["compressions"] = p.info_a[1];
}

// The analysis in three quarters of the storage it reaches without any
// compression: the lists are compressed as the free end runs out, which must
// cost a few passes over the storage, not one per pivot.
void BM_AnalyseTight(benchmark::State& state, const std::string& name) {
  Problem& pr = prepared(name);
  Ma50 p(pr.a);
  p.analyse(4.0 * pr.la_factor);  // room enough not to compress at all
  const double factor = 0.75 * p.info_a[2] / pr.a.nnz();
  for (auto _ : state) {
    if (p.analyse(factor) < 0) {
      state.SkipWithError("storage too short");
      return;
    }
    benchmark::DoNotOptimize(p.iq.data());
  }
  add_counters(state, pr);
  state.counters["compressions"] = p.info_a[1];
}

void BM_Factorise(benchmark::State& state, const std::string& name, fint job) {
  Problem& pr = prepared(name);
  Ma50 p = *pr.done;
  for (auto _ : state) {
    p.factorise(job);
    benchmark::DoNotOptimize(p.fact.data());
  }
  if (p.info_b[0] < 0) state.SkipWithError("factorisation failed");
  add_counters(state, pr);
  state.counters["flops"] = benchmark::Counter(p.rinfo_b, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Solve(benchmark::State& state, const std::string& name) {
  Problem& pr = prepared(name);
  Ma50 p = *pr.done;
  const std::vector<double> b = pr.a.mul(std::vector<double>(pr.a.n, 1.0));
  for (auto _ : state) {
    std::vector<double> x = p.solve(b, false);
    benchmark::DoNotOptimize(x.data());
  }
  add_counters(state, pr);
}

// The full block alone: the kernel's blocked factorisation with the default
// panel width against DGETRF.
void BM_FullBlock(benchmark::State& state, const std::string& name, bool lapack) {
  Problem& pr = prepared(name);
  const fint mf = pr.done->irnf[1], nf = pr.a.n - pr.done->np;
  if (pr.block.empty()) {
    state.SkipWithError("no full block");
    return;
  }
  std::vector<double> a(pr.block.size());
  std::vector<fint> ipiv(std::max(mf, nf));
  const fint nb = 32;
  const double tol = 0.0;
  fint info = 0;
  for (auto _ : state) {
    a = pr.block;
    if (lapack) {
      dgetrf_(&mf, &nf, a.data(), &mf, ipiv.data(), &info);
    } else {
      MA50_DENSE_FACTOR3(&mf, &nf, a.data(), &mf, &nb, &tol, ipiv.data(), &info);
    }
    benchmark::DoNotOptimize(a.data());
  }
  double flops = 0.0;
  for (fint k = 1; k <= std::min(mf, nf); ++k) flops += double(mf - k) + 2.0 * double(mf - k) * double(nf - k);
  state.counters["flops"] = benchmark::Counter(flops, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["full_rows"] = mf;
  state.counters["full_cols"] = nf;
}

void add_problem(const std::string& name, Csc a) {
  auto pr = std::make_unique<Problem>();
  pr->name = name;
  pr->a = std::move(a);
  problems()[name] = std::move(pr);
}

void register_all() {
  const char* shared[] = {
      // unsymmetric square
      "b1_ss.mtx", "west0067.mtx", "bfwa62.mtx", "fs_183_1.mtx", "impcol_a.mtx", "west0479.mtx", "mbeacxc.mtx",
      "west0497.mtx", "olm500.mtx", "bp_1200.mtx", "gre_1107.mtx", "rajat19.mtx", "nnc1374.mtx",
      "adder_dcop_05.mtx", "watt_2.mtx", "cryg2500.mtx", "add32.mtx", "bayer03.mtx", "Pd.mtx", "dw4096.mtx",
      "cage10.mtx", "bayer10.mtx",
      // rectangular
      "lp_afiro.mtx", "lp_share1b.mtx", "lp_e226.mtx", "cont050_A.mtx", "Franz6_id1959_aug.mtx"};
  for (const char* file : shared) {
    // A missing matrix must stop the run, not shrink it.
    const std::string path = tbl::test::matrix_path(file);
    Csc a;
    try {
      a = tbl::test::from_coo(tbl::test::read_mtx(path));
    } catch (const std::exception& ex) {
      std::fprintf(stderr, "cannot read %s (%s)\n", path.c_str(), ex.what());
      std::exit(2);
    }
    std::string name(file);
    add_problem(name.substr(0, name.size() - 4), std::move(a));
  }
  add_problem("grid2d_60", convection_diffusion(60, 2, 0.5));
  add_problem("grid2d_100", convection_diffusion(100, 2, 0.5));
  add_problem("grid3d_12", convection_diffusion(12, 3, 0.5));
  add_problem("grid3d_20", convection_diffusion(20, 3, 0.5));
  add_problem("dense_1000", dense_as_sparse(1000));

  for (auto& [name, pr] : problems()) {
    const std::string n = name;
    benchmark::RegisterBenchmark(("Analyse/" + n).c_str(), BM_Analyse, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("AnalyseTight/" + n).c_str(), BM_AnalyseTight, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("FactoriseJob1/" + n).c_str(), BM_Factorise, n, 1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("FactoriseJob2/" + n).c_str(), BM_Factorise, n, 2)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Solve/" + n).c_str(), BM_Solve, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("FullBlockMA50/" + n).c_str(), BM_FullBlock, n, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("FullBlockDGETRF/" + n).c_str(), BM_FullBlock, n, true)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
