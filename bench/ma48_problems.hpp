// The problems of the MA48 benchmarks: every unsymmetric matrix of
// tests/data/matrices that they time, 2D and 3D convection-diffusion
// operators, and circuit-like matrices that are block triangular after a
// permutation (mostly 1 by 1 blocks, some small irreducible ones), up to
// 10^6 rows.  One list, so that every benchmark of the solver names the
// same matrices alike.
#pragma once

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/mtx.hpp"
#include "unsym_lu/ma48_families.hpp"

namespace bench::ma48_problems {

using tbl::test::Coo;
using tbl::test::families::convection_diffusion;

// Block lower triangular in a hidden order: most blocks 1 by 1, some small
// cycles, each column coupled to a few earlier rows; with PERMUTED, rows and
// columns are then shuffled independently (the analysis must find the form;
// the scattered indices also make every phase wait on memory).  Each
// column's entries come as a host assembling by stages gives them: its
// couplings, then its cycle entry, then its diagonal.  With SHUFFLED the
// entries come in random order instead, which the depth-first transversal
// handles far less well (it meets the diagonals late).
inline Coo circuit(int n, unsigned seed, bool permuted, bool shuffled) {
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

struct Problem {
  std::string name;
  std::function<Coo()> make;
  bool square;
};

// Every problem, in the order the benchmarks list them.
inline std::vector<Problem> all() {
  std::vector<Problem> list;
  const char* square[] = {"b1_ss",    "west0067", "bfwa62",   "fs_183_1", "impcol_a", "west0479",      "west0497",
                          "olm500",   "bp_1200",  "gre_1107", "rajat19",  "nnc1374",  "adder_dcop_05", "watt_2",
                          "cryg2500", "add32",    "bayer03",  "Pd",       "dw4096",   "cage10",        "bayer10"};
  const char* rect[] = {"lp_afiro", "lp_share1b", "lp_e226", "cont050_A", "Franz6_id1959_aug"};
  auto file = [&](const char* name, bool sq) {
    const std::string path = tbl::test::matrix_path(std::string(name) + ".mtx");
    list.push_back({name, [path] { return tbl::test::read_mtx(path); }, sq});
  };
  for (const char* name : square) file(name, true);
  for (const char* name : rect) file(name, false);
  for (int k : {32, 64, 128})
    list.push_back({"convdiff2d_" + std::to_string(k * k), [k] { return convection_diffusion(k, 2); }, true});
  for (int k : {10, 16, 20})
    list.push_back({"convdiff3d_" + std::to_string(k * k * k), [k] { return convection_diffusion(k, 3); }, true});
  for (int n : {10000, 100000, 1000000}) {
    list.push_back({"circuit_" + std::to_string(n), [n] { return circuit(n, 2024, true, false); }, true});
    list.push_back({"circuit_ordered_" + std::to_string(n), [n] { return circuit(n, 2024, false, false); }, true});
  }
  for (int n : {10000, 100000})
    list.push_back({"circuit_shuffled_" + std::to_string(n), [n] { return circuit(n, 2024, true, true); }, true});
  return list;
}

}  // namespace bench::ma48_problems
