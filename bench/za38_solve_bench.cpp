// The multifrontal solver on reducible matrices, and its solve against the
// Markowitz solver's on the same matrices.
//
// Problems: a flowsheet of 400 irreducible blocks of 125 rows (50,000 rows;
// each block a cycle with its diagonal and about five entries a row, each
// coupled to a few later blocks; rows and columns randomly permuted), an
// upper bidiagonal matrix of 10^6 rows, and unsymmetric matrices of
// tests/data/matrices.
//
// ZA38/<problem>/factorise: ZA38AD (block triangular form, every block
//   factorised) at lengths found beforehand; counters: blocks, factor
//   entries (INFO(12)).
// ZA38/<problem>/solve and solve100: ZA38CD with one right-hand side, and
//   100 calls for 100 right-hand sides; no refinement.
// ZA38/<problem>/solve_refine: ZA38CD with refinement on the kept copy;
//   counter: the backward error it reports.
// Compare/<problem>: processor times (medians of interleaved runs) of the
//   plain solve, of the validation of the stored factors that the solve
//   runs first (validator_share: its time over that of the whole solve),
//   and of MA48CD's plain solve on the same matrix after MA48AD/MA48BD
//   (ma48_ratio: ZA38CD's time over MA48CD's), with the factor entries of
//   both.
// Times are processor times: the machine is shared.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "multifrontal_lu/za38_internal.hpp"
#include "multifrontal_lu/za38_layout.hpp"
#include "support/mtx.hpp"
#include "unsym_lu/ma48.hpp"
#include "ma48_counts.hpp"

namespace {

using tbl::fint;
using tbl::test::Coo;

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

Coo flowsheet(int blocks, int order, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> u(0.5, 1.5);
  const int n = blocks * order;
  std::vector<int> rp(n), cp(n);
  std::iota(rp.begin(), rp.end(), 1);
  std::iota(cp.begin(), cp.end(), 1);
  std::shuffle(rp.begin(), rp.end(), gen);
  std::shuffle(cp.begin(), cp.end(), gen);
  Coo a;
  a.nrows = a.ncols = n;
  auto add = [&](int i, int j, double v) {
    a.row.push_back(rp[i - 1]);
    a.col.push_back(cp[j - 1]);
    a.val.push_back(v);
  };
  for (int b = 0; b < blocks; ++b) {
    const int first = b * order + 1, last = first + order - 1;
    for (int i = first; i <= last; ++i) {
      add(i, i, 8.0 * u(gen));
      add(i, i == last ? first : i + 1, -u(gen));
      for (int e = 0; e < 3; ++e) {
        const int j = first + static_cast<int>(gen() % order);
        if (j != i && j != (i == last ? first : i + 1)) add(i, j, 0.5 * u(gen) - 0.75);
      }
    }
    // A few streams leaving for later units.
    for (int e = 0; e < 4 && last < n; ++e) add(first + static_cast<int>(gen() % order), last + 1 + gen() % (n - last), u(gen));
  }
  // Duplicates from the random picks are summed by both solvers.
  return a;
}

Coo upper_bidiagonal(int n) {
  Coo a;
  a.nrows = a.ncols = n;
  for (int i = 1; i <= n; ++i) {
    a.row.push_back(i);
    a.col.push_back(i);
    a.val.push_back(2.0 + (i % 7) * 0.25);
    if (i < n) {
      a.row.push_back(i);
      a.col.push_back(i + 1);
      a.val.push_back(-1.0);
    }
  }
  return a;
}


// ZA38's arrays for one matrix, with lengths that let the factorisation
// through at once (found by retrying once at construction).
struct Za38 {
  Coo coo;
  fint n, ne, lindex = 0, lvalue = 0, job;
  std::vector<fint> index;
  std::vector<double> value;
  fint keep[20] = {}, icntl[20], info[40];
  double cntl[10], rinfo[20];
  Za38(Coo c, fint job_) : coo(std::move(c)), n(coo.nrows), ne(coo.nnz()), job(job_) {
    ZA38ID(keep, cntl, icntl);
    icntl[0] = icntl[1] = -1;
    std::int64_t li = 3 * std::int64_t{ne} + 4 * std::int64_t{n} + 16, lv = 3 * std::int64_t{ne};
    for (int tries = 0; tries < 40; ++tries) {
      lindex = static_cast<fint>(std::min<std::int64_t>(li, INT32_MAX));
      lvalue = static_cast<fint>(std::min<std::int64_t>(lv, INT32_MAX));
      const fint st = factorise();
      if (st >= 0) return;
      if (st != -3 && st != -4 && st != -5) throw std::runtime_error("ZA38AD failed");
      // The needs reported are lower bounds: the larger of each and 1.5
      // times the length.
      if (st != -4) li = std::max(li + li / 2, std::int64_t{info[18]});
      if (st != -3) lv = std::max(lv + lv / 2, std::int64_t{info[20]});
    }
    throw std::runtime_error("no ZA38 lengths found");
  }
  fint factorise() {
    index.assign(lindex, 0);
    value.assign(lvalue, 0.0);
    std::copy(coo.row.begin(), coo.row.end(), index.begin());
    std::copy(coo.col.begin(), coo.col.end(), index.begin() + ne);
    std::copy(coo.val.begin(), coo.val.end(), value.begin());
    const fint transa = 0;
    ZA38AD(&n, &ne, &job, &transa, &lvalue, &lindex, value.data(), index.data(), keep, cntl, icntl, info, rinfo);
    return info[0];
  }
  fint solve(const std::vector<double>& b, std::vector<double>& x, std::vector<double>& w, fint steps) {
    icntl[7] = steps;
    const fint sjob = 0, transc = 0;
    ZA38CD(&n, &sjob, &transc, &lvalue, &lindex, value.data(), index.data(), keep, b.data(), x.data(), w.data(), cntl,
           icntl, info, rinfo);
    return info[0];
  }
};

struct Ma48 {
  Coo coo;
  fint m, n, ne, la;
  std::vector<double> a, w;
  std::vector<fint> irn, jcn, keep, iw, iwb;
  double cntl[5];
  fint icntl[9], info[12];
  double rinfo[1];
  explicit Ma48(Coo c) : coo(std::move(c)), m(coo.nrows), n(coo.ncols), ne(coo.nnz()) {
    MA48ID(cntl, icntl);
    icntl[2] = 0;
    bench::ma48_workspace(m, n, keep, iw, iwb, w);
    la = 3 * ne;
    for (int tries = 0; tries < 20; ++tries) {
      a.assign(la, 0.0);
      irn.assign(la, 0);
      jcn.assign(la, 0);
      std::copy(coo.row.begin(), coo.row.end(), irn.begin());
      std::copy(coo.col.begin(), coo.col.end(), jcn.begin());
      std::copy(coo.val.begin(), coo.val.end(), a.begin());
      fint job = 1;
      MA48AD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, iw.data(), info,
             rinfo);
      if (info[0] == -3 || (info[0] >= 0 && info[3] > la)) {
        la = std::max(info[3], la + la / 2);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("MA48AD failed");
      std::copy(coo.val.begin(), coo.val.end(), a.begin());
      MA48BD(&m, &n, &ne, &job, &la, a.data(), irn.data(), jcn.data(), keep.data(), cntl, icntl, w.data(),
             iwb.data(), info, rinfo);
      if (info[0] == -3) {
        la = std::max(info[3], la + la / 2);
        continue;
      }
      if (info[0] < 0) throw std::runtime_error("MA48BD failed");
      return;
    }
    throw std::runtime_error("no MA48 length found");
  }
  fint blocks() const { return keep[static_cast<size_t>(m) + 5 * static_cast<size_t>(n) + 4]; }
  double factor_entries() const { return bench::ma48_factor_entries(m, n, keep, irn); }
  void solve(std::vector<double>& b, std::vector<double>& x, std::vector<double>& wk, std::vector<fint>& iwk) {
    const fint job = 1, trans = 0;
    double error[3];
    fint inf = 0;
    MA48CD(&m, &n, &trans, &job, &la, a.data(), irn.data(), keep.data(), cntl, icntl, b.data(), x.data(), error,
           wk.data(), iwk.data(), &inf);
  }
};

std::map<std::string, std::unique_ptr<Za38>>& za38_cache() {
  static std::map<std::string, std::unique_ptr<Za38>> c;
  return c;
}
Za38& za38_for(const std::string& name, const std::function<Coo()>& make, fint job) {
  auto& slot = za38_cache()[name + "/" + std::to_string(job)];
  if (!slot) slot = std::make_unique<Za38>(make(), job);
  return *slot;
}

std::vector<double> rhs_of(const Coo& a) {
  std::vector<double> b(a.nrows, 0.0);
  for (int k = 0; k < a.nnz(); ++k) b[a.row[k] - 1] += a.val[k] * (1.0 + (a.col[k] % 10) * 0.1);
  return b;
}

void run_za38(benchmark::State& state, const std::string& name, const std::function<Coo()>& make,
              const std::string& phase) {
  Za38& s = za38_for(name, make, phase == "solve_refine" ? 1 : 0);
  if (phase == "factorise") {
    for (auto _ : state) benchmark::DoNotOptimize(s.factorise());
    state.counters["blocks"] = s.info[8];
    state.counters["factor_entries"] = s.info[11];
    return;
  }
  const std::vector<double> b = rhs_of(s.coo);
  std::vector<double> x(s.n), w(4 * static_cast<size_t>(s.n));
  const int rhs = phase == "solve100" ? 100 : 1;
  const fint steps = phase == "solve_refine" ? 10 : 0;
  for (auto _ : state)
    for (int r = 0; r < rhs; ++r) benchmark::DoNotOptimize(s.solve(b, x, w, steps));
  if (steps > 0) state.counters["backward_error"] = s.rinfo[6] + s.rinfo[7];
}

void run_compare(benchmark::State& state, const std::string& name, const std::function<Coo()>& make) {
  Za38& s = za38_for(name, make, 0);
  Ma48 m(s.coo);
  const std::vector<double> b = rhs_of(s.coo);
  std::vector<double> x(s.n), w(2 * static_cast<size_t>(s.n)), bm(b), wm(4 * static_cast<size_t>(s.n));
  std::vector<fint> iwm(s.n);
  // The three calls interleaved, so that a busy spell of the shared
  // machine falls on all of them; the shares are medians of the per-round
  // quotients.
  const int reps = s.n > 100000 ? 21 : 101;
  std::vector<double> tz(reps), tv(reps), tm(reps), share(reps), ratio(reps);
  auto timed = [](const std::function<void()>& body) {
    const double t0 = cpu_seconds();
    body();
    return cpu_seconds() - t0;
  };
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  for (auto _ : state) {
    for (int r = 0; r < reps; ++r) {
      tz[r] = timed([&] { s.solve(b, x, w, 0); });
      tv[r] = timed([&] {
        tbl::za38::FactorSet fs;
        tbl::za38::ValidateOptions opt;
        opt.scratch = reinterpret_cast<unsigned char*>(w.data());
        benchmark::DoNotOptimize(
            tbl::za38::validate_factors(s.n, s.keep, s.index.data(), s.lindex, s.lvalue, opt, fs));
      });
      // MA48CD leaves the right-hand side alone with JOB 1.
      tm[r] = timed([&] { m.solve(bm, x, wm, iwm); });
      share[r] = tv[r] / tz[r];
      ratio[r] = tz[r] / tm[r];
    }
  }
  const double za = median(tz), val = median(tv), ma = median(tm);
  state.counters["za38_solve_ms"] = 1e3 * za;
  state.counters["validate_ms"] = 1e3 * val;
  state.counters["validator_share"] = median(share);
  state.counters["ma48_solve_ms"] = 1e3 * ma;
  state.counters["ma48_ratio"] = median(ratio);
  state.counters["za38_entries"] = s.info[11];
  state.counters["ma48_entries"] = m.factor_entries();
}

void register_problem(const std::string& name, const std::function<Coo()>& make) {
  for (const char* phase : {"factorise", "solve", "solve100", "solve_refine"})
    benchmark::RegisterBenchmark(("ZA38/" + name + "/" + phase).c_str(),
                                 [=](benchmark::State& st) { run_za38(st, name, make, phase); })
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark(("Compare/" + name).c_str(), [=](benchmark::State& st) { run_compare(st, name, make); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
}

}  // namespace

int main(int argc, char** argv) {
  register_problem("flowsheet_400x125", [] { return flowsheet(400, 125, 7); });
  register_problem("bidiagonal_1e6", [] { return upper_bidiagonal(1000000); });
  for (const char* m : {"west0479", "rajat19", "Pd", "bayer10", "add32", "gre_1107"})
    register_problem(m, [=] { return tbl::test::read_mtx(tbl::test::matrix_path(std::string(m) + ".mtx")); });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
