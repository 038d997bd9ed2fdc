// Cost of the ordering kernels: maximum transversal, strongly connected
// components (block triangular form) and approximate minimum degree, on the
// largest matrices of tests/data/matrices and on generated grids up to a
// million rows.  The transversal and the block ordering should grow nearly
// linearly with the number of entries on typical patterns: compare the
// ns/entry counters across sizes (on this shared machine, instruction counts
// under callgrind are the steadier measure; wall time also pays the cache
// misses of the million-row cases).  A missing matrix file aborts the run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "sparse_utils/amd.hpp"
#include "sparse_utils/btf.hpp"
#include "sparse_utils/ordering_patterns.hpp"
#include "support/mtx.hpp"

namespace {

using tbl::fint;
using Rows = std::vector<std::vector<fint>>;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

using tbl::test::Lists;

tbl::test::Coo load(const std::string& file) {
  try {
    return tbl::test::read_mtx(tbl::test::matrix_path(file));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ordering_bench: %s\n", e.what());
    std::exit(1);
  }
}

// k x k 5-point grid; with shuffled rows the transversal has to search.
Rows grid_rows(int k, bool shuffle) {
  Rows rows(static_cast<std::size_t>(k) * k);
  for (int b = 0; b < k; ++b)
    for (int a = 0; a < k; ++a) {
      auto& r = rows[a + static_cast<std::size_t>(k) * b];
      const fint v = 1 + a + k * b;
      if (b > 0) r.push_back(v - k);
      if (a > 0) r.push_back(v - 1);
      r.push_back(v);
      if (a + 1 < k) r.push_back(v + 1);
      if (b + 1 < k) r.push_back(v + k);
    }
  if (shuffle) {
    std::mt19937 rng(2024);
    std::shuffle(rows.begin(), rows.end(), rng);
  }
  return rows;
}

// A directed k x k grid (edges east and north, plus a westward edge at every
// seventh node): many small strongly connected components and long paths.
Rows directed_grid_rows(int k) {
  Rows rows(static_cast<std::size_t>(k) * k);
  for (int b = 0; b < k; ++b)
    for (int a = 0; a < k; ++a) {
      const fint v = 1 + a + k * b;
      auto& r = rows[v - 1];
      r.push_back(v);
      if (a + 1 < k) r.push_back(v + 1);
      if (b + 1 < k) r.push_back(v + k);
      if (a > 0 && v % 7 == 0) r.push_back(v - 1);
    }
  return rows;
}

// The cached inputs: building a million-row grid once is enough.
const Lists& cached(const std::string& key, Rows (*make)(const std::string&)) {
  static std::map<std::string, Lists> cache;
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, tbl::test::make_lists(make(key))).first;
  return it->second;
}

Rows make_input(const std::string& key) {
  const auto colon = key.find(':');
  const std::string kind = key.substr(0, colon), arg = key.substr(colon + 1);
  if (kind == "grid") return grid_rows(std::stoi(arg), false);
  if (kind == "shuffled") return grid_rows(std::stoi(arg), true);
  if (kind == "directed") return directed_grid_rows(std::stoi(arg));
  return tbl::test::rows_of(load(arg));
}

// Counters shown with each result; ns/entry is the time of one call divided
// by the number of entries, measured here because the paused set-up of some
// benchmarks must not count.
void report(benchmark::State& state, const Lists& l, double seconds) {
  state.counters["rows"] = l.n;
  state.counters["entries"] = static_cast<double>(l.icn.size());
  state.counters["ns/entry"] =
      seconds * 1e9 / static_cast<double>(state.iterations()) / static_cast<double>(std::max<std::size_t>(l.icn.size(), 1));
}

void transversal(benchmark::State& state, const std::string& key) {
  const Lists& l = cached(key, make_input);
  const fint licn = static_cast<fint>(l.icn.size());
  std::vector<fint> iperm(l.n), iw(4 * static_cast<std::size_t>(l.n));
  fint numnz = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    BTF_TRANSVERSAL(&l.n, l.icn.data(), &licn, l.ip.data(), l.lenr.data(), iperm.data(), &numnz, iw.data());
    benchmark::DoNotOptimize(numnz);
  }
  report(state, l, seconds_since(start));
  state.counters["rank"] = numnz;
}

// Transversal then block ordering of the row-permuted matrix, as the
// unsymmetric LU analyse does; only the block ordering is timed.
void blocks(benchmark::State& state, const std::string& key) {
  const Lists& l = cached(key, make_input);
  const fint licn = static_cast<fint>(l.icn.size());
  std::vector<fint> iperm(l.n), iw(4 * static_cast<std::size_t>(l.n)), ip(l.n), lenr(l.n);
  fint numnz = 0, num = 0;
  BTF_TRANSVERSAL(&l.n, l.icn.data(), &licn, l.ip.data(), l.lenr.data(), iperm.data(), &numnz, iw.data());
  for (fint j = 0; j < l.n; ++j) {
    ip[j] = l.ip[iperm[j] - 1];
    lenr[j] = l.lenr[iperm[j] - 1];
  }
  std::vector<fint> ior(l.n), ib(l.n);
  const auto start = Clock::now();
  for (auto _ : state) {
    BTF_SCC_ORDER(&l.n, l.icn.data(), &licn, ip.data(), lenr.data(), ior.data(), ib.data(), &num, iw.data());
    benchmark::DoNotOptimize(num);
  }
  report(state, l, seconds_since(start));
  state.counters["blocks"] = num;
}

// Full symmetric pattern (no diagonal) of a matrix or a 3D grid.
struct Graph {
  fint n = 0;
  std::vector<fint> pe, len, iw;
};

Graph graph_of(const Rows& adj) {
  Graph g;
  g.n = static_cast<fint>(adj.size());
  for (const auto& l : adj) {
    g.pe.push_back(static_cast<fint>(g.iw.size()) + 1);
    g.len.push_back(static_cast<fint>(l.size()));
    g.iw.insert(g.iw.end(), l.begin(), l.end());
  }
  return g;
}

void amd(benchmark::State& state, const Graph& g, fint room) {
  const fint n = g.n;
  const fint iwlen = static_cast<fint>(g.iw.size()) + room;
  std::vector<fint> pe, len, iw(iwlen), nv(n), elen(n), last(n), degree(n), head(n), next(n), w(n);
  fint ncmpa = 0, pfree = 0;
  for (auto _ : state) {
    state.PauseTiming();
    pe = g.pe;
    len = g.len;
    std::copy(g.iw.begin(), g.iw.end(), iw.begin());
    pfree = static_cast<fint>(g.iw.size()) + 1;
    state.ResumeTiming();
    MC47_AMD_KERNEL(&n, &iwlen, pe.data(), &pfree, len.data(), iw.data(), nv.data(), elen.data(), last.data(),
                    &ncmpa, degree.data(), head.data(), next.data(), w.data());
    benchmark::DoNotOptimize(elen.data());
  }
  state.counters["rows"] = n;
  state.counters["entries"] = static_cast<double>(g.iw.size());
  state.counters["compressions"] = ncmpa;
  state.counters["fronts"] = static_cast<double>(std::count_if(nv.begin(), nv.end(), [](fint v) { return v > 0; }));
}

void register_all() {
  const std::vector<std::string> unsym = {"bayer10.mtx", "cage10.mtx", "Pd.mtx", "dw4096.mtx", "bayer03.mtx",
                                          "add32.mtx", "mbeacxc.mtx"};
  for (const auto& f : unsym) {
    benchmark::RegisterBenchmark(("transversal/" + f).c_str(), transversal, "file:" + f)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("blocks/" + f).c_str(), blocks, "file:" + f)->Unit(benchmark::kMicrosecond);
  }
  // 10^4, 10^5 and 10^6 rows: the growth of the cost with the entries.  The
  // row-shuffled grid is the hard case of the depth-first transversal: the
  // cheap assignments leave few free columns, far from the rows that still
  // need one, and the fixed depth-first order wanders through much of the
  // grid before it meets them.  At 10^4 rows 398 roots need a search and
  // visit 3.0M entries in all; at 10^5 rows 1603 roots visit 96M (up to
  // 342k in one search), so the cost grows about as N^1.5 although each
  // look-ahead pointer only moves forward and each column is visited at most
  // once per search.  It stops at 10^5 rows, where one call takes over a
  // second.
  for (int k : {100, 316, 1000}) {
    for (const char* kind : {"grid", "shuffled", "directed"}) {
      const std::string key = std::string(kind) + ":" + std::to_string(k);
      if (k == 1000 && key.starts_with("shuffled")) continue;
      benchmark::RegisterBenchmark(("transversal/" + key).c_str(), transversal, key)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("blocks/" + key).c_str(), blocks, key)->Unit(benchmark::kMillisecond);
    }
  }

  static std::vector<std::pair<std::string, Graph>> graphs;
  for (const char* f : {"bcsstk16.mtx", "kkt_cvxqp3_l.mtx", "kkt_dtoc3.mtx", "bcsstk13.mtx"})
    graphs.emplace_back(f, graph_of(tbl::test::adjacency_of(load(f))));
  for (int k : {20, 30, 50}) graphs.emplace_back("grid3d:" + std::to_string(k), graph_of(tbl::test::grid_adjacency(k, k, k)));
  graphs.emplace_back("grid2d:1000", graph_of(tbl::test::grid_adjacency(1000, 1000)));
  for (const auto& [name, g] : graphs) {
    // Ample room, and none at all (the workspace is then compressed often).
    benchmark::RegisterBenchmark(("amd/" + name).c_str(), amd, g, g.n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("amd_no_room/" + name).c_str(), amd, g, 0)->Unit(benchmark::kMillisecond);
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
