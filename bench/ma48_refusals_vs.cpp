// Compares what two builds of the shared library make of damaged MA48
// state, so that a change to how MA48CD checks the host's arrays can be
// shown to refuse exactly what the earlier build refused.  Both libraries
// are opened by path (as ma48_solve_libs_bench opens them; the script
// scripts/ma48_solve_vs.sh leaves earlier commits' libraries in its cache):
//
//   ma48_refusals_vs --lib=A=PATH --lib=B=PATH [--quick] [--values]
//
// For each matrix, A's analysis and factorisation (B's must give the same
// arrays), then every word of KEEP's layout and every word of IRN up to
// the last one in use, each set in turn to 0, -1, N+1, M+1, the largest and
// the most negative integer and its old value plus or minus 1, and a few
// thousand random changes of two to four words at once; each state solved
// with JOB 1 to 4 in both orientations by both libraries.  A difference in
// INFO(1) is a difference in what is refused; where neither refuses, X,
// ERROR and RHS are compared bit for bit (they may differ only for damage
// that neither detects, such as two entries of a permutation changed so
// that its sum stays).  --quick takes every k-th word (about 300 a
// section) and 300 random changes; --values instead solves right-hand
// sides holding infinities, NaNs and values near the largest real, on the
// matrices scaled by 1, 1e300, 1e-300 and 1e307, comparing everything.
// Exits 1 when any INFO(1) differs (or, with --values, anything).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ma48_host.hpp"
#include "support/mtx.hpp"
#include "unsym_lu/ma48_families.hpp"

namespace {

using bench::fint;
using tbl::test::Coo;

// What a solve reads: the arrays MA48BD left (copied, so that each damaged
// state starts from the same ones).
struct State {
  fint m, n, la;
  std::vector<double> a;
  std::vector<fint> irn, keep;
  double cntl[5];
  fint icntl[9];
  explicit State(const bench::Ma48Problem& p) : m(p.m), n(p.n), la(p.la), a(p.a), irn(p.irn), keep(p.keep) {
    std::copy(p.cntl, p.cntl + 5, cntl);
    std::copy(p.icntl, p.icntl + 9, icntl);
  }
  bool operator==(const State& o) const {
    return keep == o.keep && irn == o.irn && std::memcmp(a.data(), o.a.data(), a.size() * sizeof(double)) == 0;
  }
};

struct Solved {
  fint info;
  std::vector<double> x, rhs, error;
  bool same_values(const Solved& o) const {
    auto bits = [](const std::vector<double>& u, const std::vector<double>& v) {
      return std::memcmp(u.data(), v.data(), u.size() * sizeof(double)) == 0;
    };
    return bits(x, o.x) && bits(rhs, o.rhs) && bits(error, o.error);
  }
};

Solved solve(const bench::Ma48Entries& lib, const State& s, fint job, fint trans, const std::vector<double>& b) {
  const fint lr = trans ? s.n : s.m, lx = trans ? s.m : s.n, mx = std::max(s.m, s.n);
  Solved r{99, std::vector<double>(lx, -7.0), std::vector<double>(b.begin(), b.begin() + lr),
           std::vector<double>(3, -7.0)};
  std::vector<double> w(4 * std::size_t(mx));
  std::vector<fint> iw(mx);
  lib.cd(&s.m, &s.n, &trans, &job, &s.la, s.a.data(), s.irn.data(), s.keep.data(), s.cntl, s.icntl, r.rhs.data(),
         r.x.data(), r.error.data(), w.data(), iw.data(), &r.info);
  return r;
}

struct Tally {
  long runs = 0, refused = 0, info_differs = 0, values_differ = 0;
};

// Every JOB and orientation of one state with both libraries.
void compare(const bench::Ma48Entries& a, const bench::Ma48Entries& b, const State& s, const std::vector<double>& rhs,
             bool all_values,
             const std::string& what, Tally& t) {
  for (const fint trans : {0, 1})
    for (const fint job : {1, 2, 3, 4}) {
      const Solved x = solve(a, s, job, trans, rhs), y = solve(b, s, job, trans, rhs);
      ++t.runs;
      if (x.info == -10) ++t.refused;
      if (x.info != y.info) {
        if (++t.info_differs <= 20)
          std::printf("  %s, TRANS %d, JOB %d: INFO(1) %d against %d\n", what.c_str(), trans, job, x.info, y.info);
      } else if ((x.info != -10 || all_values) && !x.same_values(y)) {
        if (++t.values_differ <= 20)
          std::printf("  %s, TRANS %d, JOB %d: X, ERROR or RHS differ (INFO(1) %d)\n", what.c_str(), trans, job,
                      x.info);
      }
    }
}

std::vector<std::pair<std::string, Coo>> matrices() {
  std::vector<std::pair<std::string, Coo>> list;
  for (const char* name : {"b1_ss", "west0067", "lp_afiro", "fs_183_1", "impcol_a", "bfwa62", "west0479", "olm500",
                           "lp_share1b"}) {
    Coo c = tbl::test::read_mtx(tbl::test::matrix_path(std::string(name) + ".mtx"));
    if (c.symmetric) c = tbl::test::expand_symmetric(c);
    list.emplace_back(name, c);
  }
  list.emplace_back("convdiff2d_64", tbl::test::families::convection_diffusion(8, 2));
  list.emplace_back("circuit_300", tbl::test::families::circuit(300, 5));
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths;
  bool quick = false, values = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--lib=", 0) == 0 && arg.find('=', 6) != std::string::npos) {
      paths.push_back(arg.substr(arg.find('=', 6) + 1));
    } else if (arg == "--quick") {
      quick = true;
    } else if (arg == "--values") {
      values = true;
    } else {
      std::fprintf(stderr, "usage: ma48_refusals_vs --lib=A=PATH --lib=B=PATH [--quick] [--values]\n");
      return 2;
    }
  }
  if (paths.size() != 2) {
    std::fprintf(stderr, "ma48_refusals_vs: two --lib=LABEL=PATH needed\n");
    return 2;
  }
  try {
    const bench::Ma48Entries a = bench::ma48_library(paths[0]), b = bench::ma48_library(paths[1]);
    Tally total;
    for (const auto& [name, coo] : matrices()) {
      Tally t;
      std::mt19937 gen(1);
      if (values) {
        for (const double scale : {1.0, 1e300, 1e-300, 1e307}) {
          Coo c = coo;
          for (double& v : c.val) v *= scale;
          std::unique_ptr<bench::Ma48Problem> p;
          try {
            p = std::make_unique<bench::Ma48Problem>(a, c);
          } catch (const std::runtime_error&) {
            continue;  // entries that overflow are refused
          }
          const State s(*p);
          for (int k = 0; k < 300; ++k) {
            std::vector<double> rhs(std::max(s.m, s.n));
            for (double& v : rhs) {
              const unsigned r = gen() % 40;
              v = r == 0 ? INFINITY : r == 1 ? -INFINITY : r == 2 ? NAN : r == 3 ? 1e308 : r == 4 ? -1e308
                  : r < 20 ? 0.0 : (double(gen() % 1000) / 500.0 - 1.0) * (k % 3 == 0 ? 1e300 : 1.0);
            }
            if (k % 2)
              for (double& v : rhs)
                if (!std::isfinite(v)) v = 1.0;
            compare(a, b, s, rhs, true, name + " scaled by " + std::to_string(scale), t);
          }
        }
      } else {
        const State s{bench::Ma48Problem(a, coo)};
        if (!(s == State{bench::Ma48Problem(b, coo)}))
          throw std::runtime_error(name + ": the two libraries' factors differ");
        std::vector<double> rhs(std::max(s.m, s.n));
        for (double& v : rhs) v = double(gen() % 1000) / 500.0 - 1.0;
        compare(a, b, s, rhs, false, name + " undamaged", t);
        const std::int64_t nb = s.keep[std::size_t(s.m) + 5 * std::size_t(s.n) + 4];
        const std::int64_t layout = std::int64_t(s.m) + 5 * std::int64_t(s.n) + 2 + 4 * nb;
        std::int64_t irn_used = s.la;
        while (irn_used > 0 && s.irn[irn_used - 1] == 0) --irn_used;
        for (const bool keep : {true, false}) {
          std::vector<fint> State::*array = keep ? &State::keep : &State::irn;
          const std::int64_t words = keep ? layout : irn_used;
          const std::int64_t step = quick ? std::max<std::int64_t>(1, words / 300) : 1;
          for (std::int64_t k = 0; k < words; k += step) {
            const fint was = (s.*array)[k];
            for (const std::int64_t v : {std::int64_t(0), std::int64_t(-1), std::int64_t(s.n) + 1,
                                         std::int64_t(s.m) + 1, std::int64_t(INT_MAX), std::int64_t(INT_MIN),
                                         std::int64_t(was) + 1, std::int64_t(was) - 1}) {
              if (v == was || v > INT_MAX || v < INT_MIN) continue;
              State d = s;
              (d.*array)[k] = static_cast<fint>(v);
              compare(a, b, d, rhs, false,
                      name + (keep ? " KEEP(" : " IRN(") + std::to_string(k + 1) + ") = " + std::to_string(v), t);
            }
          }
        }
        for (int k = 0; k < (quick ? 300 : 3000); ++k) {
          State d = s;
          std::string what = name;
          for (int q = 0, words = 2 + int(gen() % 3); q < words; ++q) {
            const bool keep = gen() % 2;
            std::vector<fint>& arr = keep ? d.keep : d.irn;
            const std::int64_t at = gen() % (keep ? layout : irn_used);
            const unsigned how = gen() % 4;
            arr[at] = how == 0   ? arr[at] + 1
                      : how == 1 ? arr[at] - 1
                      : how == 2 ? fint(gen() % (d.n + 2))
                                 : fint(gen());
            what += std::string(keep ? " KEEP(" : " IRN(") + std::to_string(at + 1) + ") = " + std::to_string(arr[at]);
          }
          compare(a, b, d, rhs, false, what, t);
        }
      }
      std::printf("%-14s %9ld solves, %8ld refused, INFO(1) differs in %ld, X, ERROR or RHS in %ld\n", name.c_str(),
                  t.runs, t.refused, t.info_differs, t.values_differ);
      std::fflush(stdout);
      total.runs += t.runs;
      total.refused += t.refused;
      total.info_differs += t.info_differs;
      total.values_differ += t.values_differ;
    }
    std::printf("all            %9ld solves, %8ld refused, INFO(1) differs in %ld, X, ERROR or RHS in %ld\n",
                total.runs, total.refused, total.info_differs, total.values_differ);
    return total.info_differs != 0 || (values && total.values_differ != 0) ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ma48_refusals_vs: %s\n", e.what());
    return 2;
  }
}
