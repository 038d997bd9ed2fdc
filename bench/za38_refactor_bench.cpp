// The multifrontal refactorisation against the analyse-and-factorise it
// reuses: ZA38BD puts new values through the stored pivot order and
// records, so a host that factorises many matrices of one pattern (Newton
// steps, time steps) pays the search and the symbolic work once.
//
// Problems: the unsymmetric matrices of tests/data/matrices, and 50 value
// sets each of the 2D 5-point convection-diffusion operator on a 200^2 grid
// and the 3D 7-point one on a 30^3 grid.  Both phases run with the lengths
// the first factorisation reports for later refactorisations (INFO(22),
// INFO(23), or its own minima when larger).  Counters: the order and
// entries, ZA38AD's and ZA38BD's CPU time per call and their ratio, the
// floating-point operations each phase counts (RINFO(1)) and their ratio,
// and the compactions of INDEX and VALUE in ZA38BD (summed over the value
// sets).
//
// Where the factors fill in heavily (the grids, cage10, dw4096) the dense
// updates take nearly all the time of both phases (the block updates alone
// are about 80% of ZA38AD's instructions on dw4096), so ZA38BD cannot come
// near a small fraction of ZA38AD there.  Its block updates also run over
// every row and column of a record from the record's first pivot on, while
// the first factorisation updates only the rows and columns present at each
// pivot: the extra operations (flops_ratio above 1) are exactly the products
// with rows and columns that are still zero.  On the sparse matrices the
// search and the symbolic work dominate ZA38AD and the refactorisation costs
// a fraction.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "multifrontal_lu/za38_internal.hpp"
#include "support/mtx.hpp"

namespace {

using tbl::fint;

struct Problem {
  std::string name;
  fint n = 0;
  std::vector<fint> row, col;
  std::vector<double> val;
  int value_sets = 1;
};

Problem grid(int g, int dims) {
  Problem p;
  p.name = dims == 2 ? "grid2d_" + std::to_string(g) : "grid3d_" + std::to_string(g);
  p.n = dims == 2 ? g * g : g * g * g;
  p.value_sets = 50;
  auto at = [&](int x, int y, int z) { return 1 + x + g * (y + g * z); };
  const double c = 0.4;  // convection: the operator is not symmetric
  for (int z = 0; z < (dims == 3 ? g : 1); ++z)
    for (int y = 0; y < g; ++y)
      for (int x = 0; x < g; ++x) {
        const int i = at(x, y, z);
        auto add = [&](int j, double v) {
          p.row.push_back(i);
          p.col.push_back(j);
          p.val.push_back(v);
        };
        add(i, 2.0 * dims);
        if (x > 0) add(at(x - 1, y, z), -1.0 - c);
        if (x + 1 < g) add(at(x + 1, y, z), -1.0 + c);
        if (y > 0) add(at(x, y - 1, z), -1.0 - c / 2);
        if (y + 1 < g) add(at(x, y + 1, z), -1.0 + c / 2);
        if (dims == 3 && z > 0) add(at(x, y, z - 1), -1.0 - c / 4);
        if (dims == 3 && z + 1 < g) add(at(x, y, z + 1), -1.0 + c / 4);
      }
  return p;
}

Problem from_file(const std::string& file) {
  tbl::test::Coo c = tbl::test::read_mtx(tbl::test::matrix_path(file));
  if (c.symmetric) c = tbl::test::expand_symmetric(c);
  Problem p;
  p.name = file.substr(0, file.find('.'));
  p.n = c.nrows;
  p.row = c.row;
  p.col = c.col;
  p.val = c.val;
  return p;
}

// One host: the arrays kept between the calls, lengths from the first
// factorisation.
struct Host {
  const Problem& p;
  fint ne, lindex = 0, lvalue = 0;
  std::vector<fint> index;
  std::vector<double> value;
  fint keep[20] = {}, icntl[20] = {}, info[40] = {};
  double cntl[10] = {}, rinfo[20] = {};

  explicit Host(const Problem& pr) : p(pr), ne(static_cast<fint>(pr.row.size())) {
    ZA38ID(keep, cntl, icntl);
    icntl[0] = icntl[1] = -1;
    // A first factorisation with room to spare gives the lengths.
    resize(std::max<std::int64_t>(20 * std::int64_t{ne} + 40 * std::int64_t{p.n}, 1 << 16),
           std::max<std::int64_t>(40 * std::int64_t{ne}, 1 << 16));
    // The needs reported are lower bounds: each short array grows to the
    // larger of its need and 1.5 times its length.
    for (int tries = 0; tries < 12 && analyse(p.val) <= -3 && info[0] >= -5; ++tries)
      resize(info[0] != -4 ? std::max<std::int64_t>(lindex + std::int64_t{lindex} / 2, info[18]) : lindex,
             info[0] != -3 ? std::max<std::int64_t>(lvalue + std::int64_t{lvalue} / 2, info[20]) : lvalue);
    if (info[0] < 0) {
      std::fprintf(stderr, "za38_refactor_bench: %s does not factorise (INFO(1) = %d)\n", p.name.c_str(), info[0]);
      std::exit(1);
    }
    resize(std::max(info[18], info[21]), std::max(info[20], info[22]));
  }
  void resize(std::int64_t li, std::int64_t lv) {
    lindex = static_cast<fint>(std::min<std::int64_t>(li, INT32_MAX));
    lvalue = static_cast<fint>(std::min<std::int64_t>(lv, INT32_MAX));
    index.assign(lindex, 0);
    value.assign(lvalue, 0.0);
  }
  void load(const std::vector<double>& v) {
    std::copy(p.row.begin(), p.row.end(), index.begin());
    std::copy(p.col.begin(), p.col.end(), index.begin() + ne);
    std::copy(v.begin(), v.end(), value.begin());
  }
  fint analyse(const std::vector<double>& v) {
    load(v);
    const fint job = 0, transa = 0;
    ZA38AD(&p.n, &ne, &job, &transa, &lvalue, &lindex, value.data(), index.data(), keep, cntl, icntl, info, rinfo);
    return info[0];
  }
  fint refactor(const std::vector<double>& v) {
    load(v);
    const fint job = 0, transa = 0;
    ZA38BD(&p.n, &ne, &job, &transa, &lvalue, &lindex, value.data(), index.data(), keep, cntl, icntl, info, rinfo);
    return info[0];
  }
};

// CPU time of the process: the machine the figures come from is shared, and
// wall time there measures the other jobs as much as this one.
double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Each iteration: ZA38AD on the first value set, then ZA38BD on every value
// set in turn (the values of a Newton or time step: the same pattern, every
// value changed by up to 5%).
void BM_Refactor(benchmark::State& state, const Problem* p) {
  Host h(*p);
  std::vector<std::vector<double>> sets(p->value_sets, p->val);
  std::mt19937 gen(17);
  std::uniform_real_distribution<double> u(-0.05, 0.05);
  for (std::size_t s = 1; s < sets.size(); ++s)
    for (double& v : sets[s]) v *= 1.0 + u(gen);
  double ad = 0.0, bd = 0.0, ad_flops = 0.0, bd_flops = 0.0;
  std::int64_t calls = 0, compactions = 0, analyses = 0;
  for (auto _ : state) {
    double t0 = cpu_seconds();
    if (h.analyse(sets[0]) < 0) state.SkipWithError("ZA38AD failed");
    ad += cpu_seconds() - t0;
    ad_flops = h.rinfo[0];
    ++analyses;
    for (const std::vector<double>& v : sets) {
      t0 = cpu_seconds();
      if (h.refactor(v) < 0) state.SkipWithError("ZA38BD failed");
      bd += cpu_seconds() - t0;
      bd_flops = h.rinfo[0];
      ++calls;
      compactions += h.info[13] + h.info[14];
    }
  }
  state.counters["n"] = p->n;
  state.counters["entries"] = static_cast<double>(p->row.size());
  state.counters["factor_entries"] = h.info[11];
  state.counters["ad_ms"] = 1e3 * ad / static_cast<double>(analyses);
  state.counters["bd_ms"] = 1e3 * bd / static_cast<double>(calls);
  state.counters["bd_over_ad"] = (bd / static_cast<double>(calls)) / (ad / static_cast<double>(analyses));
  state.counters["ad_flops"] = ad_flops;
  state.counters["bd_flops"] = bd_flops;
  state.counters["flops_ratio"] = ad_flops > 0.0 ? bd_flops / ad_flops : 0.0;
  state.counters["bd_compactions"] = static_cast<double>(compactions) / static_cast<double>(analyses);
  state.counters["lindex"] = h.lindex;
  state.counters["lvalue"] = h.lvalue;
}

const std::vector<Problem>& problems() {
  static const std::vector<Problem> all = [] {
    std::vector<Problem> v;
    for (const char* f :
         {"b1_ss.mtx",         "west0067.mtx", "bfwa62.mtx",   "fs_183_1.mtx", "impcol_a.mtx", "west0479.mtx",
          "west0497.mtx",      "olm500.mtx",   "bp_1200.mtx",  "gre_1107.mtx", "rajat19.mtx",  "nnc1374.mtx",
          "adder_dcop_05.mtx", "watt_2.mtx",   "cryg2500.mtx", "add32.mtx",    "bayer03.mtx",  "Pd.mtx",
          "dw4096.mtx",        "cage10.mtx",   "bayer10.mtx"})
      v.push_back(from_file(f));
    v.push_back(grid(200, 2));
    v.push_back(grid(30, 3));
    return v;
  }();
  return all;
}

const int kRegistered = [] {
  for (const Problem& p : problems())
    benchmark::RegisterBenchmark(("BM_Refactor/" + p.name).c_str(), BM_Refactor, &p)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(p.value_sets > 1 ? 1 : 5);
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
