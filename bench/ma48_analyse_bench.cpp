// MA48's analysis measured against its factorisation, and the maximum
// transversal measured inside it, on the problems where the analysis used
// to cost most: 2D and 3D convection-diffusion operators, cage10, dw4096,
// watt_2, circuit-like matrices that are block triangular after a
// permutation (with four dense rows), and 2D grids with shuffled rows.
//
// Each iteration runs MA48AD and then MA48BD with JOB 1 on fresh values;
// the transversal (and the block ordering after it) run once more on the
// pattern exactly as MA48AD builds it, so that their share of the analysis
// can be read off.  Times are processor times of the thread (the machine is
// shared).  Counters (medians over the iterations, in ms and in ns per
// entry):
//   analyse, factorise, ratio = analyse / factorise,
//   transversal, scc, share = transversal / analyse,
//   ns_analyse, ns_factorise, ns_transversal (time per entry),
//   compressions = INFO(2) of the analysis, la = the storage given.
// The storage is found once per problem: enough for both phases without the
// analysis running short.
//
//   ma48_analyse_bench --benchmark_filter='phases/(convdiff|cage|dw|watt)'
//   ma48_analyse_bench --benchmark_filter='phases/circuit'
//   ma48_analyse_bench --benchmark_filter='transversal/'
// The circuit family comes twice: with each column's entries in the order
// of a host assembling by stages (circuit_N), and in random order
// (circuit_shuffled_N), which sends the depth-first transversal on long
// searches.  The 10^6-row members take minutes (the 2D operator also
// gigabytes); leave them out with a filter when only the trend is wanted.
//
// For instruction counts, one analysis and one factorisation of one problem
// without the benchmark machinery (the la counter of a benchmark run gives
// the storage):
//   valgrind --tool=callgrind --toggle-collect='*_once*'
//       ma48_analyse_bench --once=convdiff2d_90000:la=8677680
// and callgrind_annotate --inclusive=yes shows analyse_once and
// factorise_once apart (--once=NAME:transversal counts the transversal).
//
// Where the analysis spends its time, as measured here:
// - On the operators, dw4096 and watt_2, MA50AD's right-looking updates
//   are nine tenths of it: for every column of the pivot row the whole
//   column is scanned (the pivot row's entry found, then the entries in
//   the pivot column's rows updated), on dw4096 twice as many entries as
//   are updated, and every row of the pivot column is searched for the
//   pivot column.  The factorisation does the same sparse updates with the
//   pivots known and the dense part with level-3 BLAS, so the ratio of the
//   two stays between 2.4 and 2.8 on the 2D operator from 10^4 to 10^5
//   rows.  On the 2D operator (300^2) the update scans 684M column
//   entries for 453M updates; the rows of the pivot column hold exactly
//   as many entries as its columns (the pattern stays structurally
//   symmetric; on watt_2 the two differ by 0.1%), so reaching the updated
//   entries through the rows instead would scan no fewer.  On dw4096 the
//   rows hold 36% fewer, but they reach the column values only in
//   scattered order.
// - The transversal on the 2D operator of a k by k grid (and the same grid
//   with its rows shuffled, which gives the same search): each column's
//   list runs from its last entry to its first, so the look-ahead gives
//   column j the row k further on, and the last k columns each search much
//   of the grid for an augmenting path.  The searches reach about 65 rows
//   per row at k = 100 and 209 at k = 316, so that this part grows like
//   N^1.5.  The circuit family with its entries shuffled is searched in the
//   same way.  Both come from the order of the search itself: in sampled
//   passes every list a search entered on the grids, and 97% of them on
//   the shuffled circuits, could still reach an unmatched entry, so a
//   search that finds the same matching has to enter them.
// - On the circuit family the analysis costs the same number of
//   instructions per entry at every size; its time per entry still grows,
//   as the random labels make nearly every index look-up of the pattern
//   building and of the block ordering a miss of the caches.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sparse_utils/btf.hpp"
#include "support/mtx.hpp"
#include "unsym_lu/ma48.hpp"
#include "unsym_lu/ma48_families.hpp"
#include "once_spec.hpp"

namespace {

using tbl::fint;
using tbl::test::Coo;
namespace fam = tbl::test::families;
// Processor time of this thread: the machine is shared, and the time spent
// waiting for a core is not the solver's.
struct Clock {
  using time_point = double;
  static double now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
  }
};

double since(double t) { return Clock::now() - t; }

// ------------------------------------------------------------ problems

std::map<std::string, std::function<Coo()>>& catalogue() {
  static std::map<std::string, std::function<Coo()>> c;
  return c;
}

Coo from_file(const std::string& file) { return tbl::test::read_mtx(tbl::test::matrix_path(file)); }

// ------------------------------------------------------------ the solver

// The pattern as MA48AD hands it to the transversal: list j is column j of
// the matrix, from its last entry to its first, without repeats.
struct Pattern {
  fint n = 0;
  std::vector<fint> icn, ip, len;
};

Pattern pattern_of(const Coo& c) {
  Pattern p;
  p.n = c.ncols;
  std::vector<std::vector<fint>> cols(c.ncols);
  for (std::size_t k = c.row.size(); k-- > 0;) cols[c.col[k] - 1].push_back(c.row[k]);
  std::vector<fint> mark(c.nrows + 1, 0);
  for (fint j = 0; j < c.ncols; ++j) {
    p.ip.push_back(fint(p.icn.size()) + 1);
    for (fint i : cols[j])
      if (mark[i] != j + 1) {
        mark[i] = j + 1;
        p.icn.push_back(i);
      }
    p.len.push_back(fint(p.icn.size()) + 1 - p.ip.back());
  }
  p.icn.push_back(0);
  return p;
}

struct Solver {
  Coo coo;
  Pattern pattern;
  fint m, n, ne, la = 0;
  std::vector<double> a, w;
  std::vector<fint> irn, jcn, keep, iw, iwb;
  double cntl[5];
  fint icntl[9], info[12];
  double rinfo[1];

  // A given LA is taken as it is; otherwise the storage is searched for.
  explicit Solver(Coo c, fint given_la = 0) : coo(std::move(c)) {
    m = coo.nrows;
    n = coo.ncols;
    ne = coo.nnz();
    if (m == n) pattern = pattern_of(coo);
    MA48ID(cntl, icntl);
    icntl[0] = icntl[1] = 0;
    keep.assign(std::size_t(m) + 9 * std::size_t(n) + 2, 0);
    iw.assign(6 * std::size_t(m) + 3 * std::size_t(n), 0);
    iwb.assign(2 * std::size_t(m) + 2 * std::size_t(n), 0);
    w.assign(m, 0.0);
    // A length that lets the analysis finish and the factorisation follow;
    // a failed analysis reports only the extent it reached.
    if (given_la > 0) {
      la = given_la;
      resize();
      return;
    }
    la = 4 * ne;
    for (int tries = 0; tries < 30; ++tries) {
      resize();
      analyse();
      if (info[0] == -3) {
        la = std::max<fint>(info[2] + info[2] / 4, la + la / 2);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("analysis failed");
      if (info[3] > la) {
        la = info[3] + info[3] / 8;
        continue;
      }
      factorise();
      if (info[0] == -3) {
        la = std::max<fint>(info[3], la + la / 2);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("factorisation failed");
      return;
    }
    throw std::runtime_error("no storage length found");
  }
  void resize() {
    a.assign(la, 0.0);
    irn.assign(la, 0);
    jcn.assign(la, 0);
  }
  void analyse() {
    std::copy(coo.row.begin(), coo.row.end(), irn.begin());
    std::copy(coo.col.begin(), coo.col.end(), jcn.begin());
    std::copy(coo.val.begin(), coo.val.end(), a.begin());
    const fint job = 1;
    MA48AD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info,
           rinfo);
  }
  void factorise() {
    std::copy(coo.val.begin(), coo.val.end(), a.begin());
    const fint job = 1;
    MA48BD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(), iwb.data(),
           info, rinfo);
  }
  // The transversal on the analysis' pattern; returns the structural rank.
  fint transversal(std::vector<fint>& iperm) const {
    const Pattern& p = pattern;
    const fint licn = fint(p.icn.size());
    iperm.assign(p.n, 0);
    std::vector<fint> work(4 * std::size_t(p.n));
    fint numnz = 0;
    BTF_TRANSVERSAL(&p.n, p.icn.data(), &licn, p.ip.data(), p.len.data(), iperm.data(), &numnz, work.data());
    return numnz;
  }
  // The block ordering of the matched pattern, as MA48AD calls it.
  fint scc(const std::vector<fint>& iperm) const {
    const Pattern& p = pattern;
    const fint licn = fint(p.icn.size());
    std::vector<fint> ip(p.n), len(p.n), ior(p.n), ib(p.n), work(3 * std::size_t(p.n));
    for (fint i = 0; i < p.n; ++i) {
      ip[i] = p.ip[iperm[i] - 1];
      len[i] = p.len[iperm[i] - 1];
    }
    fint num = 0;
    BTF_SCC_ORDER(&p.n, p.icn.data(), &licn, ip.data(), len.data(), ior.data(), ib.data(), &num, work.data());
    return num;
  }
};

std::unique_ptr<Solver>& current() {
  static std::unique_ptr<Solver> s;
  return s;
}

// One large problem in memory at a time.
Solver& solver_for(const std::string& name) {
  static std::string held;
  if (held != name || !current()) {
    current().reset();
    current() = std::make_unique<Solver>(catalogue().at(name)());
    held = name;
  }
  return *current();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// ------------------------------------------------------------ benchmarks

void phases(benchmark::State& state, const std::string& name) {
  Solver& s = solver_for(name);
  std::vector<double> ta, tf, tt, tc;
  std::vector<fint> iperm;
  for (auto _ : state) {
    auto t0 = Clock::now();
    s.analyse();
    ta.push_back(since(t0));
    t0 = Clock::now();
    s.factorise();
    tf.push_back(since(t0));
    if (s.m == s.n) {
      t0 = Clock::now();
      benchmark::DoNotOptimize(s.transversal(iperm));
      tt.push_back(since(t0));
      t0 = Clock::now();
      benchmark::DoNotOptimize(s.scc(iperm));
      tc.push_back(since(t0));
    }
    state.SetIterationTime(ta.back() + tf.back());
  }
  const double a = median(ta), f = median(tf), t = median(tt), c = median(tc);
  const double per = 1e9 / double(s.ne);
  state.counters["rows"] = s.m;
  state.counters["entries"] = s.ne;
  state.counters["analyse"] = a * 1e3;
  state.counters["factorise"] = f * 1e3;
  state.counters["ratio"] = a / f;
  state.counters["transversal"] = t * 1e3;
  state.counters["scc"] = c * 1e3;
  state.counters["share"] = t / a;
  state.counters["ns_analyse"] = a * per;
  state.counters["ns_factorise"] = f * per;
  state.counters["ns_transversal"] = t * per;
  s.analyse();
  state.counters["compressions"] = s.info[1];
  state.counters["la"] = s.la;
}

// The transversal alone (for the shuffled grids, whose analysis is the 2D
// operator's).
void transversal(benchmark::State& state, const std::string& name) {
  static std::string held;
  static Pattern p;
  if (held != name) {
    p = pattern_of(catalogue().at(name)());
    held = name;
  }
  const fint licn = fint(p.icn.size());
  std::vector<fint> iperm(p.n), work(4 * std::size_t(p.n));
  fint numnz = 0;
  std::vector<double> tt;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    BTF_TRANSVERSAL(&p.n, p.icn.data(), &licn, p.ip.data(), p.len.data(), iperm.data(), &numnz, work.data());
    tt.push_back(since(t0));
    state.SetIterationTime(tt.back());
  }
  state.counters["rows"] = p.n;
  state.counters["entries"] = double(licn - 1);
  state.counters["rank"] = numnz;
  state.counters["ns_transversal"] = median(tt) * 1e9 / double(licn - 1);
}

void add(const std::string& name, std::function<Coo()> make, bool analysis = true) {
  catalogue()[name] = std::move(make);
  if (analysis)
    benchmark::RegisterBenchmark(("phases/" + name).c_str(), phases, name)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
  benchmark::RegisterBenchmark(("transversal/" + name).c_str(), transversal, name)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->MinTime(0.2);
}

void register_all() {
  for (int k : {100, 300, 316, 1000}) add("convdiff2d_" + std::to_string(k * k), [k] { return fam::convection_diffusion(k, 2); });
  for (int k : {20, 30}) add("convdiff3d_" + std::to_string(k * k * k), [k] { return fam::convection_diffusion(k, 3); });
  for (const char* f : {"cage10", "dw4096", "watt_2"}) add(f, [f] { return from_file(std::string(f) + ".mtx"); });
  for (int n : {10000, 100000, 1000000}) {
    add("circuit_" + std::to_string(n), [n] { return fam::circuit(n, 2025); });
    add("circuit_shuffled_" + std::to_string(n), [n] { return fam::circuit(n, 2025, 4, 0.9, true); });
  }
  for (int k : {100, 316, 1000})
    add("shuffled_grid_" + std::to_string(k * k), [k] { return fam::shuffled_grid(k, 2025); }, false);
}

// One analysis and one factorisation (or one transversal) outside the
// benchmark loop, for a profiler.  --once=NAME[:transversal][:la=L]; with
// la= the storage search (itself a series of analyses) is skipped.
__attribute__((noinline)) void analyse_once(Solver& s) { s.analyse(); }
__attribute__((noinline)) void factorise_once(Solver& s) { s.factorise(); }
__attribute__((noinline)) void transversal_once(Solver& s, std::vector<fint>& iperm) { s.transversal(iperm); }

int once(const std::string& arg) {
  const bench::OnceSpec spec(arg);
  const std::string& name = spec.name();
  if (catalogue().count(name) == 0) {
    std::fprintf(stderr, "ma48_analyse_bench: no problem %s\n", name.c_str());
    return 1;
  }
  const bool tv = spec.has("transversal");
  const fint la = fint(spec.number("la"));
  Solver s(catalogue().at(name)(), la);
  if (tv) {
    std::vector<fint> iperm;
    transversal_once(s, iperm);
    return 0;
  }
  double t = Clock::now();
  analyse_once(s);
  t = since(t);
  std::printf("%s: analysis %.3f s, INFO(1) = %d, compressions %d, LA %d, INFO(3) = %d, INFO(4) = %d\n",
              name.c_str(), t, s.info[0], s.info[1], s.la, s.info[2], s.info[3]);
  if (s.info[0] < 0 || s.info[3] > s.la) return 0;
  t = Clock::now();
  factorise_once(s);
  std::printf("%s: factorisation %.3f s, INFO(1) = %d\n", name.c_str(), since(t), s.info[0]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--once=", 0) == 0) return once(arg.substr(7));
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
