// Solve-phase benchmarks of MA57: one solve with 1 and with 10 right-hand
// sides, and one refinement step (residual against the matrix plus one
// correction), on the symmetric matrices of tests/data/matrices and on two
// generated families (7-point 3D Laplacians and KKT systems built on them).
// Analysis and factorisation happen once per matrix, outside the timings.
//
// A missing matrix file stops the program with an error instead of quietly
// measuring less.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "sym_ldlt/ma57.hpp"
#include "sym_ldlt/ma57_factor.hpp"
#include "sym_ldlt/ma57_solve.hpp"

namespace {

using tbl::fint;

struct Problem {
  fint n = 0;
  std::vector<fint> irn, jcn;  // lower triangle
  std::vector<double> a;
  fint ne() const { return static_cast<fint>(a.size()); }
  void add(fint i, fint j, double v) {
    irn.push_back(std::max(i, j));
    jcn.push_back(std::min(i, j));
    a.push_back(v);
  }
};

// 7-point Laplacian on a k x k x k grid: symmetric positive definite.
Problem laplacian3d(int k) {
  Problem p;
  p.n = k * k * k;
  auto id = [k](int x, int y, int z) { return 1 + x + k * (y + k * z); };
  for (int z = 0; z < k; ++z)
    for (int y = 0; y < k; ++y)
      for (int x = 0; x < k; ++x) {
        p.add(id(x, y, z), id(x, y, z), 6.0);
        if (x > 0) p.add(id(x, y, z), id(x - 1, y, z), -1.0);
        if (y > 0) p.add(id(x, y, z), id(x, y - 1, z), -1.0);
        if (z > 0) p.add(id(x, y, z), id(x, y, z - 1), -1.0);
      }
  return p;
}

// [H A^T; A 0] with H the 3D Laplacian of order n1 = k^3 and m = n1/3
// constraint rows: row i holds 1 at columns 2i-1 and 2i and 0.5 at a column
// beyond the pairs, so A has full row rank and the system is nonsingular
// (n1 positive and m negative eigenvalues).
Problem kkt3d(int k) {
  Problem p = laplacian3d(k);
  const fint n1 = p.n;
  const fint m = n1 / 3;
  p.n = n1 + m;
  for (fint i = 1; i <= m; ++i) {
    p.add(n1 + i, 2 * i - 1, 1.0);
    p.add(n1 + i, 2 * i, 1.0);
    p.add(n1 + i, 2 * m + 1 + (7 * i) % (n1 - 2 * m), 0.5);
  }
  return p;
}

Problem from_file(const std::string& file) {
  const tbl::test::Coo coo = tbl::test::read_mtx(tbl::test::matrix_path(file));
  Problem p;
  p.n = coo.nrows;
  for (int k = 0; k < coo.nnz(); ++k)
    if (coo.row[k] >= coo.col[k]) p.add(coo.row[k], coo.col[k], coo.val[k]);
  return p;
}

// A problem with its factors, made once.
struct Factored {
  Problem p;
  std::vector<double> cntl = std::vector<double>(5);
  std::vector<fint> icntl = std::vector<fint>(20), info = std::vector<fint>(40);
  std::vector<double> rinfo = std::vector<double>(20);
  std::vector<fint> keep, iwork;
  std::vector<double> fact;
  std::vector<fint> ifact;
  fint lfact = 0, lifact = 0;
  std::vector<double> b;

  explicit Factored(Problem prob) : p(std::move(prob)) {
    const fint n = p.n, ne = p.ne();
    MA57_DEFAULTS(cntl.data(), icntl.data());
    icntl[4] = 1;
    const fint lkeep = static_cast<fint>(tbl::ma57::min_lkeep(n, ne));
    keep.resize(static_cast<std::size_t>(lkeep));
    iwork.resize(5 * static_cast<std::size_t>(n));
    MA57AD(&n, &ne, p.irn.data(), p.jcn.data(), &lkeep, keep.data(), iwork.data(), icntl.data(), info.data(),
           rinfo.data());
    if (info[0] < 0) fail("MA57AD", info[0]);
    // Compressions are allowed to happen; retry with twice the space when
    // the forecast falls short.
    lfact = std::max<fint>(info[8], ne + 1);
    lifact = std::max<fint>(info[9], n + 5 + keep[n + 1]);
    for (int attempt = 0;; ++attempt) {
      fact.assign(static_cast<std::size_t>(lfact), 0.0);
      ifact.assign(static_cast<std::size_t>(lifact), 0);
      MA57BD(&n, &ne, p.a.data(), fact.data(), &lfact, ifact.data(), &lifact, &lkeep, keep.data(), iwork.data(),
             icntl.data(), cntl.data(), info.data(), rinfo.data());
      if (info[0] == -3 && attempt < 8) {
        lfact *= 2;
      } else if (info[0] == -4 && attempt < 8) {
        lifact *= 2;
      } else {
        break;
      }
    }
    if (info[0] < 0) fail("MA57BD", info[0]);
    b.assign(n, 0.0);
    for (fint k = 0; k < ne; ++k) {
      b[p.irn[k] - 1] += p.a[k];
      if (p.irn[k] != p.jcn[k]) b[p.jcn[k] - 1] += p.a[k];
    }
  }
  [[noreturn]] static void fail(const char* what, fint code) {
    std::fprintf(stderr, "%s failed with INFO(1) = %d\n", what, code);
    std::exit(1);
  }
};

std::map<std::string, std::unique_ptr<Factored>> g_cache;

template <class Make>
Factored& factored(const std::string& name, Make make) {
  auto& slot = g_cache[name];
  if (!slot) slot = std::make_unique<Factored>(make());
  return *slot;
}

void solve_bench(benchmark::State& state, Factored& f, fint nrhs) {
  const fint n = f.p.n, job = 1;
  std::vector<double> rhs(static_cast<std::size_t>(n) * nrhs), w(static_cast<std::size_t>(n) * nrhs);
  const fint lw = n * nrhs;
  for (auto _ : state) {
    state.PauseTiming();
    for (fint j = 0; j < nrhs; ++j) std::copy(f.b.begin(), f.b.end(), rhs.begin() + j * n);
    state.ResumeTiming();
    MA57CD(&job, &n, f.fact.data(), &f.lfact, f.ifact.data(), &f.lifact, &nrhs, rhs.data(), &n, w.data(), &lw,
           f.iwork.data(), f.icntl.data(), f.info.data());
    benchmark::DoNotOptimize(rhs.data());
  }
  state.counters["n"] = n;
  state.counters["factor_entries"] = f.info[13];
}

void refine_bench(benchmark::State& state, Factored& f) {
  const fint n = f.p.n, ne = f.p.ne(), job = 2;
  std::vector<double> x(n, 1.0), resid(n), w(n);
  std::vector<fint> icntl = f.icntl;
  icntl[8] = 1;  // one step: residual and one correction
  for (auto _ : state) {
    MA57DD(&job, &n, &ne, f.p.a.data(), f.p.irn.data(), f.p.jcn.data(), f.fact.data(), &f.lfact, f.ifact.data(),
           &f.lifact, f.b.data(), x.data(), resid.data(), w.data(), f.iwork.data(), icntl.data(), f.cntl.data(),
           f.info.data(), f.rinfo.data());
    benchmark::DoNotOptimize(x.data());
  }
  state.counters["n"] = n;
}

template <class Make>
void register_problem(const std::string& name, Make make) {
  benchmark::RegisterBenchmark(("MA57CD_1rhs/" + name).c_str(),
                               [=](benchmark::State& s) { solve_bench(s, factored(name, make), 1); });
  benchmark::RegisterBenchmark(("MA57CD_10rhs/" + name).c_str(),
                               [=](benchmark::State& s) { solve_bench(s, factored(name, make), 10); });
  benchmark::RegisterBenchmark(("MA57DD_step/" + name).c_str(),
                               [=](benchmark::State& s) { refine_bench(s, factored(name, make)); });
}

}  // namespace

int main(int argc, char** argv) {
  for (const char* file : {"LFAT5.mtx", "bcsstk01.mtx", "tumorAntiAngiogenesis_2.mtx", "494_bus.mtx",
                           "reorientation_1.mtx", "hangGlider_2.mtx", "bcsstk13.mtx", "zenios.mtx",
                           "bcsstk16.mtx", "kkt_cont050.mtx", "kkt_cvxqp3_l.mtx", "kkt_dtoc3.mtx"}) {
    const std::string f = file;
    register_problem(f.substr(0, f.size() - 4), [f] { return from_file(f); });
  }
  for (int k : {12, 20, 28}) {
    register_problem("laplace3d_" + std::to_string(k), [k] { return laplacian3d(k); });
    register_problem("kkt3d_" + std::to_string(k), [k] { return kkt3d(k); });
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
