// MA48CD as a host times it, in several builds of the shared library loaded
// side by side: each --lib=LABEL=PATH is opened with dlopen and driven only
// through its exported VIZ_MA48ID/AD/BD/CD, so that a library built from an
// earlier commit (scripts/ma48_solve_vs.sh builds one) runs in the same
// process, on the same matrices, as today's.
//
// For every matrix and every library: the defaults, MA48AD and MA48BD with
// JOB 1, then MA48CD with JOB 1 and with JOB 3 (iterative refinement) for
// A x = ones, over and over (--jobs=1,2,3,4 chooses others).  Each library keeps its own copy of A, IRN
// and KEEP.  Run with --benchmark_enable_random_interleaving=true and
// repetitions, so that the libraries take turns and a drift of the
// machine's speed falls on all of them alike; at the end a table gives the
// minimum and the median time per solve of each library and their ratios
// to the first one named.
//
//   ma48_solve_libs_bench --lib=old=/tmp/x/libTesselBasicLib.so
//       --lib=now=build/libTesselBasicLib.so [--matrices=issue|all|NAME,...]
//       --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
//
// --matrices=issue (the default) takes the small matrices on which the
// solve's checks once cost the most, and the 32 x 32 convection-diffusion
// operator (one block of 1,024 rows); all takes the list of ma48_bench.
// --list-matrices prints the names of those chosen and stops;
// --run=MATRIX/jobJ/LABEL:COUNT makes COUNT solves of that one benchmark
// untimed, for a profiler (valgrind --tool=callgrind
// --toggle-collect=VIZ_MA48CD counts the solves alone).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ma48_host.hpp"
#include "ma48_problems.hpp"
#include "support/mtx.hpp"

namespace {

using tbl::test::Coo;
using bench::fint;

// A build of the library and, for each matrix, its arrays after MA48AD and
// MA48BD with JOB 1.
struct Library {
  std::string label;
  bench::Ma48Entries e;
};

struct Factors : bench::Ma48Problem {
  const Library& lib;
  std::vector<double> rhs, b, x, ws, error;
  std::vector<fint> iws;

  Factors(const Library& l, const Coo& coo) : Ma48Problem(l.e, coo), lib(l) {
    const std::size_t mx = std::max(m, n);
    rhs.assign(m, 1.0);
    b = rhs;
    x.assign(n, 0.0);
    ws.assign(4 * mx, 0.0);  // room for every JOB
    iws.assign(mx, 0);
    error.assign(3, 0.0);
  }

  // One solve of A x = ones; the status.
  fint solve(fint job) {
    if (job > 1) std::copy(rhs.begin(), rhs.end(), b.begin());  // JOB > 1 overwrites it
    const fint trans = 0;
    e.cd(&m, &n, &trans, &job, &la, a.data(), irn.data(), keep.data(), cntl, icntl, b.data(), x.data(), error.data(),
         ws.data(), iws.data(), info);
    return info[0];
  }
};

// ----------------------------------------------------------- the summary

// Collects the time per solve of every repetition and prints, at the end,
// one line per matrix and JOB: minimum and median of each library, and the
// ratios of each to the first library.
class Summary : public benchmark::ConsoleReporter {
 public:
  explicit Summary(std::vector<std::string> labels) : labels_(std::move(labels)) {}

  // The repetitions are kept for the table; only their aggregates are
  // listed as they come.
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> aggregates;
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) {
        aggregates.push_back(r);
      } else if (!r.error_occurred) {
        // The name is matrix/jobJ/label.
        const std::string name = r.run_name.function_name;
        const auto cut = name.rfind('/');
        times_[name.substr(0, cut)][name.substr(cut + 1)].push_back(r.GetAdjustedRealTime());
      }
    }
    ConsoleReporter::ReportRuns(aggregates.empty() ? runs : aggregates);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::ostringstream out;
    out << "\nus per solve: min / median of the repetitions; ratios to " << labels_[0] << " (min, median)\n";
    char line[256];
    std::snprintf(line, sizeof line, "%-28s", "matrix/job");
    out << line;
    for (const auto& l : labels_) {
      std::snprintf(line, sizeof line, " %21s", (l + " min/med").c_str());
      out << line;
    }
    for (std::size_t k = 1; k < labels_.size(); ++k) {
      std::snprintf(line, sizeof line, " %17s", (labels_[k] + " ratio").c_str());
      out << line;
    }
    out << '\n';
    for (const auto& row : rows_) {
      const auto by_lib = times_.find(row);
      if (by_lib == times_.end()) continue;
      std::snprintf(line, sizeof line, "%-28s", row.c_str());
      out << line;
      std::vector<std::pair<double, double>> mm;
      for (const auto& l : labels_) {
        auto it = by_lib->second.find(l);
        std::vector<double> t = it == by_lib->second.end() ? std::vector<double>{} : it->second;
        std::sort(t.begin(), t.end());
        const std::size_t h = t.size() / 2;
        const double mn = t.empty() ? 0.0 : t.front();
        const double md = t.empty() ? 0.0 : (t.size() % 2 ? t[h] : 0.5 * (t[h - 1] + t[h]));
        mm.emplace_back(mn, md);
        std::snprintf(line, sizeof line, " %10.2f/%10.2f", mn, md);
        out << line;
      }
      for (std::size_t k = 1; k < mm.size(); ++k) {
        std::snprintf(line, sizeof line, "      %5.3f/%5.3f", mm[k].first / mm[0].first, mm[k].second / mm[0].second);
        out << line;
      }
      out << '\n';
    }
    std::fputs(out.str().c_str(), stdout);
    std::fflush(stdout);
  }

  void add_row(const std::string& row) { rows_.push_back(row); }

 private:
  std::vector<std::string> labels_, rows_;
  std::map<std::string, std::map<std::string, std::vector<double>>> times_;
};

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string part; std::getline(in, part, sep);)
    if (!part.empty()) out.push_back(part);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::unique_ptr<Library>> libs;
  std::string matrices = "issue";
  std::vector<fint> jobs = {1, 3};
  bool list_only = false;
  std::string run_name;  // --run: this benchmark only, RUN_COUNT solves, no timing
  long run_count = 0;
  std::vector<char*> rest{argv[0]};
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg.rfind("--lib=", 0) == 0) {
        const auto eq = arg.find('=', 6);
        if (eq == std::string::npos) throw std::runtime_error("--lib=LABEL=PATH expected, got " + arg);
        libs.push_back(
            std::make_unique<Library>(Library{arg.substr(6, eq - 6), bench::ma48_library(arg.substr(eq + 1))}));
      } else if (arg.rfind("--matrices=", 0) == 0) {
        matrices = arg.substr(11);
      } else if (arg.rfind("--jobs=", 0) == 0) {
        jobs.clear();
        for (const auto& j : split(arg.substr(7), ',')) jobs.push_back(std::stoi(j));
      } else if (arg == "--list-matrices") {
        list_only = true;
      } else if (arg.rfind("--run=", 0) == 0) {
        const auto colon = arg.rfind(':');
        if (colon == std::string::npos || colon < 6) throw std::runtime_error("--run=NAME:COUNT expected");
        run_name = arg.substr(6, colon - 6);
        run_count = std::stol(arg.substr(colon + 1));
      } else {
        rest.push_back(argv[i]);
      }
    }
    if (libs.empty() && !list_only) throw std::runtime_error("no --lib=LABEL=PATH given");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ma48_solve_libs_bench: %s\n", e.what());
    return 2;
  }

  std::vector<std::string> wanted;
  if (matrices == "issue")
    wanted = {"olm500", "rajat19", "adder_dcop_05", "west0479", "convdiff2d_1024", "gre_1107", "watt_2"};
  else if (matrices != "all")
    wanted = split(matrices, ',');
  std::vector<bench::ma48_problems::Problem> problems;
  for (const auto& p : bench::ma48_problems::all())
    if (wanted.empty() || std::find(wanted.begin(), wanted.end(), p.name) != wanted.end()) problems.push_back(p);
  if (problems.empty()) {
    std::fprintf(stderr, "ma48_solve_libs_bench: no matrix named in --matrices=%s\n", matrices.c_str());
    return 2;
  }

  if (list_only) {
    for (const auto& p : problems) std::printf("%s\n", p.name.c_str());
    return 0;
  }

  std::vector<std::string> labels;
  for (const auto& l : libs) labels.push_back(l->label);
  Summary summary(labels);
  // Every library's arrays live for the whole run, so that the repetitions
  // can take turns in any order.
  std::vector<std::unique_ptr<Factors>> all;
  for (const auto& p : problems) {
    Coo coo = p.make();
    if (coo.symmetric) coo = tbl::test::expand_symmetric(coo);
    for (fint job : jobs) summary.add_row(p.name + "/job" + std::to_string(job));
    for (const auto& lib : libs) {
      all.push_back(std::make_unique<Factors>(*lib, coo));
      Factors* f = all.back().get();
      for (fint job : jobs) {
        benchmark::RegisterBenchmark((p.name + "/job" + std::to_string(job) + "/" + lib->label).c_str(),
                                     [f, job](benchmark::State& state) {
                                       for (auto _ : state) benchmark::DoNotOptimize(f->solve(job));
                                       if (f->info[0] < 0 && f->info[0] != -8) state.SkipWithError("the solve failed");
                                       state.counters["rows"] = f->m;
                                     })
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
  if (!run_name.empty()) {
    for (std::size_t k = 0; k < all.size(); ++k)
      for (fint job : jobs) {
        Factors& f = *all[k];
        const std::string name = problems[k / libs.size()].name + "/job" + std::to_string(job) + "/" + f.lib.label;
        if (name != run_name) continue;
        for (long r = 0; r < run_count; ++r) f.solve(job);
        std::printf("%s: %ld solves, INFO(1) = %d\n", name.c_str(), run_count, f.info[0]);
        return 0;
      }
    std::fprintf(stderr, "ma48_solve_libs_bench: no benchmark %s\n", run_name.c_str());
    return 2;
  }
  int bargc = static_cast<int>(rest.size());
  benchmark::Initialize(&bargc, rest.data());
  benchmark::RunSpecifiedBenchmarks(&summary);
  benchmark::Shutdown();
  return 0;
}
