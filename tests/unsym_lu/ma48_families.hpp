// Generated matrix families for the unsymmetric solver's tests and
// benchmarks: 2D and 3D convection-diffusion operators, the same grids with
// their rows shuffled, and circuit-like matrices that are block triangular
// after a permutation.  Only the raw 32-bit output of the Mersenne twister
// is used (its sequence is fixed by the C++ standard, unlike the library's
// distributions and shuffles), so every family is the same matrix on every
// platform and results recorded from it stay comparable.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "support/mtx.hpp"

namespace tbl::test::families {

class Rng {
 public:
  explicit Rng(unsigned seed) : gen_(seed) {}
  // 0 .. n-1 (n <= 2^31).
  int below(int n) { return static_cast<int>(gen_() % static_cast<std::uint32_t>(n)); }
  double uniform(double lo, double hi) { return lo + (hi - lo) * (static_cast<double>(gen_()) / 4294967296.0); }
  template <class T>
  void shuffle(std::vector<T>& v) {
    for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[static_cast<std::size_t>(below(int(i)))]);
  }

 private:
  std::mt19937 gen_;
};

inline void add(Coo& a, int i, int j, double v) {
  a.row.push_back(i);
  a.col.push_back(j);
  a.val.push_back(v);
}

// Relabels rows (and columns) by random permutations, keeping the order of
// the entries.
inline void permute(Coo& a, Rng& rng, bool rows, bool cols) {
  std::vector<int> pr(a.nrows), pc(a.ncols);
  for (int i = 0; i < a.nrows; ++i) pr[i] = i + 1;
  for (int j = 0; j < a.ncols; ++j) pc[j] = j + 1;
  if (rows) rng.shuffle(pr);
  if (cols) rng.shuffle(pc);
  for (std::size_t k = 0; k < a.row.size(); ++k) {
    a.row[k] = pr[a.row[k] - 1];
    a.col[k] = pc[a.col[k] - 1];
  }
}

// Puts the entries in random order.
inline void shuffle_entries(Coo& a, Rng& rng) {
  std::vector<std::size_t> order(a.row.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  rng.shuffle(order);
  Coo b = a;
  for (std::size_t k = 0; k < order.size(); ++k) {
    b.row[k] = a.row[order[k]];
    b.col[k] = a.col[order[k]];
    b.val[k] = a.val[order[k]];
  }
  a = std::move(b);
}

// k^dims unknowns, 5- or 7-point stencil with convection along every axis
// (so the matrix is unsymmetric; C = 0 gives the Laplacian), entries row by
// row.
inline Coo convection_diffusion(int k, int dims, double c = 0.4) {
  Coo a;
  const int n = dims == 2 ? k * k : k * k * k;
  a.nrows = a.ncols = n;
  a.row.reserve(static_cast<std::size_t>(n) * (2 * dims + 1));
  a.col.reserve(a.row.capacity());
  a.val.reserve(a.row.capacity());
  auto id = [&](int x, int y, int z) { return 1 + x + k * (y + k * z); };
  for (int z = 0; z < (dims == 3 ? k : 1); ++z)
    for (int y = 0; y < k; ++y)
      for (int x = 0; x < k; ++x) {
        const int i = id(x, y, z);
        add(a, i, i, 2.0 * dims);
        if (x > 0) add(a, i, id(x - 1, y, z), -1.0 - c);
        if (x < k - 1) add(a, i, id(x + 1, y, z), -1.0 + c);
        if (y > 0) add(a, i, id(x, y - 1, z), -1.0 - c / 2);
        if (y < k - 1) add(a, i, id(x, y + 1, z), -1.0 + c / 2);
        if (dims == 3 && z > 0) add(a, i, id(x, y, z - 1), -1.0 - c / 4);
        if (dims == 3 && z < k - 1) add(a, i, id(x, y, z + 1), -1.0 + c / 4);
      }
  return a;
}

// The 2D operator with its rows in random order (and, with ENTRIES, its
// entries too): the diagonal is nowhere near the diagonal, so the maximum
// transversal has to search for every match.
inline Coo shuffled_grid(int k, unsigned seed, bool entries = false) {
  Coo a = convection_diffusion(k, 2);
  Rng rng(seed);
  permute(a, rng, true, false);
  if (entries) shuffle_entries(a, rng);
  return a;
}

// A circuit-like matrix of order n, block upper triangular in a hidden
// order: `dense` rows with an entry in every column (supply and ground
// equations) form the first block with the first `dense` columns; after
// them, in a share `ones` of the rows, blocks of order 1 (each column
// coupled to a few earlier rows, mostly near its own), the other rows in
// irreducible blocks of 5 to 50 (a cycle through the block plus the
// couplings).  Each column's entries come as a host assembling by stages
// gives them, couplings, cycle entry, then diagonal, with the dense rows
// appended last; rows and columns are then relabelled at random.  With
// SHUFFLED the entries come in random order as well.
inline Coo circuit(int n, unsigned seed, int dense = 4, double ones = 0.9, bool shuffled = false) {
  Rng rng(seed);
  Coo a;
  a.nrows = a.ncols = n;
  dense = std::min(dense, n);
  // Probability of a 1 x 1 block such that about `ones` of the rows are in
  // one (the other blocks average 27.5 rows).
  const double p1 = ones >= 1.0 ? 1.0 : ones * 27.5 / (ones * 27.5 + (1.0 - ones));
  std::vector<int> start;
  for (int p = dense; p < n;) {
    int size = rng.uniform(0.0, 1.0) < p1 ? 1 : 5 + rng.below(46);
    size = std::min(size, n - p);
    start.push_back(p);
    p += size;
  }
  start.push_back(n);
  for (std::size_t b = 0; b + 1 < start.size(); ++b) {
    const int s = start[b], e = start[b + 1];
    for (int j = s; j < e; ++j) {
      // Couplings: distinct rows after the dense ones and before the block.
      const int window = std::min(s - dense, 200);
      if (window > 0) {
        const int couplings = std::min(window, 1 + rng.below(3));
        const int first = rng.below(window);
        const int step = (window == 37 || window == 74) ? 1 : 37;
        for (int c = 0; c < couplings; ++c)
          add(a, s - (first + c * step) % window, j + 1, -0.5 * rng.uniform(0.1, 1.0));
      }
      if (e - s > 1) add(a, s + 1 + (j - s + 1) % (e - s), j + 1, -rng.uniform(0.1, 1.0));
      add(a, j + 1, j + 1, 4.0 + rng.uniform(0.1, 1.0));
    }
  }
  for (int d = 1; d <= dense; ++d)
    for (int j = 1; j <= n; ++j) add(a, d, j, (d == j ? 2.0 : 0.0) + rng.uniform(0.1, 1.0));
  permute(a, rng, true, true);
  if (shuffled) shuffle_entries(a, rng);
  return a;
}

}  // namespace tbl::test::families
