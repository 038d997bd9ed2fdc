// The unsymmetric sparse solver, phase by phase: analyse (block triangular
// form and pivot choice), factorise, refactorise on the same pivot sequence
// (JOB 2), solve (JOB 1) and solve with refinement and error estimate
// (JOB 4, square matrices).
//
// Problems: the list of ma48_problems.hpp.  The counters give the size, the
// number of blocks, the columns that reach the pivoting kernel (triangular
// blocks never do) and the factor entries.  On the circuit family the
// analyse time per entry stays flat as the order grows by 100.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "unsym_lu/ma48.hpp"
#include "ma48_counts.hpp"
#include "ma48_problems.hpp"

namespace {

using tbl::fint;
using tbl::test::Coo;

// ------------------------------------------------------------- the solver

struct Solver {
  fint m, n, ne, la;
  Coo coo;
  std::vector<double> a;
  std::vector<fint> irn, jcn, keep, iw, iwb;
  std::vector<double> w;
  double cntl[5];
  fint icntl[9], info[12];
  double rinfo[1];

  explicit Solver(Coo c) : coo(std::move(c)) {
    if (coo.symmetric) coo = tbl::test::expand_symmetric(coo);
    m = coo.nrows;
    n = coo.ncols;
    ne = coo.nnz();
    MA48ID(cntl, icntl);
    icntl[2] = 0;  // the retries below are expected failures
    bench::ma48_workspace(m, n, keep, iw, iwb, w);
    la = 3 * ne;
    // Find a length that suffices for both phases.  A failed analysis
    // reports only the extent it reached, so grow by half at least.
    for (int tries = 0; tries < 20; ++tries) {
      allocate();
      if (analyse() == -3) {
        la = std::max(info[2], la + la / 2);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("analyse failed");
      if (info[3] > la) {
        la = info[3];
        continue;
      }
      if (factorise(1) == -3) {
        la = std::max(la + la / 2, info[3]);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("factorise failed");
      return;
    }
    throw std::runtime_error("no storage length found");
  }
  void allocate() {
    a.assign(la, 0.0);
    irn.assign(la, 0);
    jcn.assign(la, 0);
  }
  fint analyse() {
    std::copy(coo.row.begin(), coo.row.end(), irn.begin());
    std::copy(coo.col.begin(), coo.col.end(), jcn.begin());
    std::copy(coo.val.begin(), coo.val.end(), a.begin());
    const fint job = 1;
    MA48AD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info,
           rinfo);
    return info[0];
  }
  fint factorise(fint job) {
    std::copy(coo.val.begin(), coo.val.end(), a.begin());
    MA48BD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(),
           iwb.data(), info, rinfo);
    return info[0];
  }
  fint blocks() const { return keep[static_cast<size_t>(m) + 5 * static_cast<size_t>(n) + 4]; }
  double factor_entries() const { return bench::ma48_factor_entries(m, n, keep, irn); }
};

void counters(benchmark::State& state, const Solver& s) {
  state.counters["rows"] = s.m;
  state.counters["entries"] = s.ne;
  state.counters["blocks"] = s.blocks();
  state.counters["kernel_cols"] = s.info[7];
}

std::map<std::string, std::unique_ptr<Solver>>& cache() {
  static std::map<std::string, std::unique_ptr<Solver>> c;
  return c;
}

Solver& solver_for(const std::string& name, const std::function<Coo()>& make) {
  auto& c = cache();
  auto it = c.find(name);
  if (it == c.end()) {
    // Keep at most one large problem in memory at a time.
    c.clear();
    it = c.emplace(name, std::make_unique<Solver>(make())).first;
  }
  return *it->second;
}

void run_phase(benchmark::State& state, const std::string& name, const std::function<Coo()>& make,
               const std::string& phase) {
  Solver& s = solver_for(name, make);
  if (phase == "analyse") {
    for (auto _ : state) benchmark::DoNotOptimize(s.analyse());
    state.counters["ns_per_entry"] =
        benchmark::Counter(static_cast<double>(s.ne) * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    s.factorise(1);
  } else if (phase == "factorise" || phase == "refactorise") {
    const fint job = phase == "factorise" ? 1 : 2;
    for (auto _ : state) benchmark::DoNotOptimize(s.factorise(job));
    if (s.info[0] < 0) state.SkipWithError("factorisation failed");
    state.counters["factor_entries"] = s.factor_entries();
  } else {
    const bool refine = phase == "solve_refine";
    const fint job = refine ? 4 : 1;
    const fint mx = std::max(s.m, s.n);
    std::vector<double> b(s.m), x(s.n), w(static_cast<size_t>(s.m) + 3 * mx), rhs(s.m, 1.0);
    std::vector<fint> iw(s.m);
    double error[3];
    fint info = 0;
    const fint trans = 0;
    for (auto _ : state) {
      b = rhs;
      MA48CD(&s.m, &s.n, &trans, &job, &s.la, s.a.data(), s.irn.data(), s.keep.data(), s.cntl, s.icntl, b.data(),
             x.data(), error, w.data(), iw.data(), &info);
      benchmark::DoNotOptimize(x.data());
    }
    if (refine) state.counters["backward_error"] = error[0] + error[1];
  }
  counters(state, s);
}

void register_problem(const std::string& name, const std::function<Coo()>& make, bool square) {
  for (const char* phase : {"analyse", "factorise", "refactorise", "solve", "solve_refine"}) {
    if (!square && std::string(phase) == "solve_refine") continue;
    benchmark::RegisterBenchmark((name + "/" + phase).c_str(), [=](benchmark::State& st) {
      run_phase(st, name, make, phase);
    })->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (const auto& p : bench::ma48_problems::all()) register_problem(p.name, p.make, p.square);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
