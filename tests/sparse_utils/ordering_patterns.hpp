// Patterns for the ordering-kernel tests: lists as the kernels take them,
// model grids, seeded random patterns, and the real matrices of tests/data/matrices.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "interface/common.hpp"
#include "support/mtx.hpp"

namespace tbl::test {

// N lists over 1..N, list i = icn[ip[i-1]-1 .. ip[i-1]+lenr[i-1]-2].
struct Lists {
  fint n = 0;
  std::vector<fint> icn, ip, lenr;

  std::vector<fint> list(fint i) const {
    const auto b = icn.begin() + (ip[i - 1] - 1);
    return std::vector<fint>(b, b + lenr[i - 1]);
  }
};

// Lists from a vector of lists (entries 1-based).  When scattered, the lists
// are stored in reverse order with a gap of junk before each one, so that a
// kernel that assumes contiguous, ordered storage goes wrong.
inline Lists make_lists(const std::vector<std::vector<fint>>& rows, bool scattered = false) {
  Lists l;
  l.n = static_cast<fint>(rows.size());
  l.ip.assign(rows.size(), 0);
  l.lenr.assign(rows.size(), 0);
  auto place = [&](std::size_t i) {
    if (scattered) l.icn.insert(l.icn.end(), 2, -7);
    l.ip[i] = static_cast<fint>(l.icn.size()) + 1;
    l.lenr[i] = static_cast<fint>(rows[i].size());
    l.icn.insert(l.icn.end(), rows[i].begin(), rows[i].end());
  };
  if (scattered) {
    for (std::size_t i = rows.size(); i-- > 0;) place(i);
  } else {
    for (std::size_t i = 0; i < rows.size(); ++i) place(i);
  }
  if (l.icn.empty()) l.icn.push_back(0);  // a valid address even with no entries
  return l;
}

// Row lists of a (square or rectangular) coordinate matrix, padded with empty
// rows to order max(rows, cols); entries in file order.
inline std::vector<std::vector<fint>> rows_of(const Coo& a) {
  const int n = std::max(a.nrows, a.ncols);
  std::vector<std::vector<fint>> rows(static_cast<std::size_t>(n));
  for (int k = 0; k < a.nnz(); ++k) rows[static_cast<std::size_t>(a.row[k] - 1)].push_back(a.col[k]);
  return rows;
}

// Symmetric adjacency without diagonal and without repeats, from a pattern
// given by one or both triangles.
inline std::vector<std::vector<fint>> adjacency_of(const Coo& a) {
  const int n = a.nrows;
  std::vector<std::vector<fint>> adj(static_cast<std::size_t>(n));
  for (int k = 0; k < a.nnz(); ++k) {
    const int i = a.row[k], j = a.col[k];
    if (i == j) continue;
    adj[static_cast<std::size_t>(i - 1)].push_back(j);
    adj[static_cast<std::size_t>(j - 1)].push_back(i);
  }
  for (auto& l : adj) {
    std::sort(l.begin(), l.end());
    l.erase(std::unique(l.begin(), l.end()), l.end());
  }
  return adj;
}

// Adjacency of the k1 x k2 x k3 grid with the 7-point stencil (k3 = 1 gives
// the 5-point 2D grid), nodes numbered lexicographically.
inline std::vector<std::vector<fint>> grid_adjacency(int k1, int k2, int k3 = 1) {
  const auto id = [&](int a, int b, int c) { return static_cast<fint>(1 + a + k1 * (b + k2 * c)); };
  std::vector<std::vector<fint>> adj(static_cast<std::size_t>(k1) * k2 * k3);
  for (int c = 0; c < k3; ++c)
    for (int b = 0; b < k2; ++b)
      for (int a = 0; a < k1; ++a) {
        auto& l = adj[static_cast<std::size_t>(id(a, b, c) - 1)];
        if (c > 0) l.push_back(id(a, b, c - 1));
        if (b > 0) l.push_back(id(a, b - 1, c));
        if (a > 0) l.push_back(id(a - 1, b, c));
        if (a + 1 < k1) l.push_back(id(a + 1, b, c));
        if (b + 1 < k2) l.push_back(id(a, b + 1, c));
        if (c + 1 < k3) l.push_back(id(a, b, c + 1));
      }
  return adj;
}

// Seeded random square pattern: each row gets a number of entries drawn up to
// max_per_row (possibly 0, possibly repeated columns).
inline std::vector<std::vector<fint>> random_rows(std::mt19937& rng, int n, int max_per_row) {
  std::uniform_int_distribution<int> cnt(0, max_per_row), col(1, n);
  std::vector<std::vector<fint>> rows(static_cast<std::size_t>(n));
  for (auto& r : rows) {
    const int c = cnt(rng);
    for (int k = 0; k < c; ++k) r.push_back(col(rng));
  }
  return rows;
}

// Seeded random symmetric adjacency (no diagonal, no repeats).
inline std::vector<std::vector<fint>> random_adjacency(std::mt19937& rng, int n, int edges) {
  Coo a;
  a.nrows = a.ncols = n;
  std::uniform_int_distribution<int> v(1, n);
  for (int k = 0; k < edges; ++k) {
    a.row.push_back(v(rng));
    a.col.push_back(v(rng));
  }
  return adjacency_of(a);
}

// Reads a matrix of tests/data/matrices; a missing file is an error (the
// test fails), never a reason to skip.
inline Coo load_matrix(const std::string& file) { return read_mtx(matrix_path(file)); }

}  // namespace tbl::test
