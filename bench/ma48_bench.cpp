// The unsymmetric sparse solver, phase by phase: analyse (block triangular
// form and pivot choice), factorise, refactorise on the same pivot sequence
// (JOB 2), solve (JOB 1) and solve with refinement and error estimate
// (JOB 4, square matrices).
//
// Problems: every unsymmetric matrix of tests/data/matrices, 2D and 3D
// convection-diffusion operators, and circuit-like matrices that are block
// triangular after a permutation (mostly 1 by 1 blocks, some small
// irreducible ones), up to 10^6 rows.  The counters give the size, the
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
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "unsym_lu/ma48.hpp"
#include "ma48_counts.hpp"

namespace {

using tbl::fint;
using tbl::test::Coo;

// ---------------------------------------------------------------- problems

Coo convection_diffusion(int k, int dims) {
  Coo a;
  const int n = dims == 2 ? k * k : k * k * k;
  a.nrows = a.ncols = n;
  auto id = [&](int x, int y, int z) { return 1 + x + k * (y + k * z); };
  const double c = 0.4;  // convection: the stencil is not symmetric
  for (int z = 0; z < (dims == 3 ? k : 1); ++z)
    for (int y = 0; y < k; ++y)
      for (int x = 0; x < k; ++x) {
        const int i = id(x, y, z);
        auto add = [&](int j, double v) {
          a.row.push_back(i);
          a.col.push_back(j);
          a.val.push_back(v);
        };
        add(i, 2.0 * dims);
        if (x > 0) add(id(x - 1, y, z), -1.0 - c);
        if (x < k - 1) add(id(x + 1, y, z), -1.0 + c);
        if (y > 0) add(id(x, y - 1, z), -1.0 - c / 2);
        if (y < k - 1) add(id(x, y + 1, z), -1.0 + c / 2);
        if (dims == 3 && z > 0) add(id(x, y, z - 1), -1.0 - c / 4);
        if (dims == 3 && z < k - 1) add(id(x, y, z + 1), -1.0 + c / 4);
      }
  return a;
}

// Block lower triangular in a hidden order: most blocks 1 by 1, some small
// cycles, each column coupled to a few earlier rows; with PERMUTED, rows and
// columns are then shuffled independently (the analysis must find the form;
// the scattered indices also make every phase wait on memory).  Each
// column's entries come as a host assembling by stages gives them: its
// couplings, then its cycle entry, then its diagonal.  With SHUFFLED the
// entries come in random order instead, which the depth-first transversal
// handles far less well (it meets the diagonals late).
Coo circuit(int n, unsigned seed, bool permuted, bool shuffled) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.1, 1.0);
  std::vector<int> start;
  for (int p = 0; p < n;) {
    const int r = static_cast<int>(gen() % 100);
    int size = r < 80 ? 1 : (r < 95 ? 2 + static_cast<int>(gen() % 3) : 5 + static_cast<int>(gen() % 16));
    size = std::min(size, n - p);
    start.push_back(p);
    p += size;
  }
  start.push_back(n);
  Coo a;
  a.nrows = a.ncols = n;
  auto add = [&](int i, int j, double v) {
    a.row.push_back(i + 1);
    a.col.push_back(j + 1);
    a.val.push_back(v);
  };
  for (size_t b = 0; b + 1 < start.size(); ++b) {
    const int s = start[b], e = start[b + 1];
    for (int j = s; j < e; ++j) {
      if (s > 0) {
        // Distinct rows, mostly near the diagonal, as in a netlist ordered by
        // stages.
        const int window = std::min(s, 200);
        const int couplings = std::min(window, 1 + static_cast<int>(gen() % 3));
        const int first = 1 + static_cast<int>(gen() % window);
        for (int c = 0; c < couplings; ++c) add(s - 1 - (first + c * 37) % window, j, -0.5 * u(gen));
      }
      if (e - s > 1) add(s + (j - s + 1) % (e - s), j, -u(gen));  // the cycle
      add(j, j, 4.0 + u(gen));
    }
  }
  if (permuted) {
    std::vector<int> pr(n), pc(n);
    for (int i = 0; i < n; ++i) pr[i] = pc[i] = i + 1;
    std::shuffle(pr.begin(), pr.end(), gen);
    std::shuffle(pc.begin(), pc.end(), gen);
    for (size_t k = 0; k < a.row.size(); ++k) {
      a.row[k] = pr[a.row[k] - 1];
      a.col[k] = pc[a.col[k] - 1];
    }
  }
  if (shuffled) {
    std::vector<size_t> order(a.row.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::shuffle(order.begin(), order.end(), gen);
    Coo b = a;
    for (size_t k = 0; k < order.size(); ++k) {
      b.row[k] = a.row[order[k]];
      b.col[k] = a.col[order[k]];
      b.val[k] = a.val[order[k]];
    }
    a = b;
  }
  return a;
}

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
  const char* square[] = {"b1_ss",    "west0067", "bfwa62",   "fs_183_1", "impcol_a", "west0479",      "west0497",
                          "olm500",   "bp_1200",  "gre_1107", "rajat19",  "nnc1374",  "adder_dcop_05", "watt_2",
                          "cryg2500", "add32",    "bayer03",  "Pd",       "dw4096",   "cage10",        "bayer10"};
  const char* rect[] = {"lp_afiro", "lp_share1b", "lp_e226", "cont050_A", "Franz6_id1959_aug"};
  for (const char* name : square) {
    const std::string path = tbl::test::matrix_path(std::string(name) + ".mtx");
    register_problem(
        name, [path] { return tbl::test::read_mtx(path); }, true);
  }
  for (const char* name : rect) {
    const std::string path = tbl::test::matrix_path(std::string(name) + ".mtx");
    register_problem(
        name, [path] { return tbl::test::read_mtx(path); }, false);
  }
  for (int k : {32, 64, 128})
    register_problem(
        "convdiff2d_" + std::to_string(k * k), [k] { return convection_diffusion(k, 2); }, true);
  for (int k : {10, 16, 20})
    register_problem(
        "convdiff3d_" + std::to_string(k * k * k), [k] { return convection_diffusion(k, 3); }, true);
  for (int n : {10000, 100000, 1000000}) {
    register_problem(
        "circuit_" + std::to_string(n), [n] { return circuit(n, 2024, true, false); }, true);
    register_problem(
        "circuit_ordered_" + std::to_string(n), [n] { return circuit(n, 2024, false, false); }, true);
  }
  for (int n : {10000, 100000})
    register_problem(
        "circuit_shuffled_" + std::to_string(n), [n] { return circuit(n, 2024, true, true); }, true);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
