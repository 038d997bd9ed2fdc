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
#include "ma48_host.hpp"
#include "ma48_problems.hpp"

namespace {

using tbl::fint;
using tbl::test::Coo;

// ------------------------------------------------------------- the solver

// The static core's entry points, as a host would call them.
using Solver = bench::Ma48Problem;
const bench::Ma48Entries kCore{MA48ID, MA48AD, MA48BD, MA48CD};

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
    it = c.emplace(name, std::make_unique<Solver>(kCore, make())).first;
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
