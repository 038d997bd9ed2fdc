// Test support for the coordinate converters: an independent, obviously
// correct model of the column form they must produce, and generators of
// awkward coordinate data.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "support/mtx.hpp"

namespace tbl::test {

struct Entry {
  int row;
  double val;
  bool operator==(const Entry& o) const { return row == o.row && val == o.val; }
  bool operator<(const Entry& o) const { return row < o.row || (row == o.row && val < o.val); }
};
using Columns = std::vector<std::vector<Entry>>;  // Columns[j-1] = column j

enum class Dups { Keep, Sum, First };

struct CooData {
  int nr = 0, nc = 0;
  std::vector<int> row, col;
  std::vector<double> val;
  int ne() const { return static_cast<int>(row.size()); }
};

// Coordinate data from lists; values 1.0 when none are given.
inline CooData coo(int nr, int nc, std::vector<int> r, std::vector<int> c, std::vector<double> v = {}) {
  CooData d;
  d.nr = nr, d.nc = nc;
  d.row = std::move(r), d.col = std::move(c);
  d.val = v.empty() ? std::vector<double>(d.row.size(), 1.0) : std::move(v);
  return d;
}

// Coordinate data of a matrix read from a file.
inline CooData coo(const Coo& a) {
  CooData d;
  d.nr = a.nrows, d.nc = a.ncols;
  d.row = a.row, d.col = a.col, d.val = a.val;
  return d;
}

// The matrix the converters must return: entries with an index out of range
// dropped, with `sym` every entry mirrored into the lower triangle, repeated
// positions merged as `dups` says.  Columns list rows in increasing order;
// kept duplicates stay in their input order.
inline Columns model(const CooData& d, bool sym, Dups dups) {
  Columns cols(static_cast<std::size_t>(d.nc));
  std::map<std::pair<int, int>, std::size_t> first;  // (col,row) -> index in its column
  for (int k = 0; k < d.ne(); ++k) {
    int i = d.row[k], j = d.col[k];
    if (i < 1 || i > d.nr || j < 1 || j > d.nc) continue;
    if (sym && i < j) std::swap(i, j);
    auto& c = cols[static_cast<std::size_t>(j - 1)];
    auto it = first.find({j, i});
    if (it != first.end() && dups != Dups::Keep) {
      if (dups == Dups::Sum) c[it->second].val += d.val[k];
      continue;
    }
    first[{j, i}] = c.size();
    c.push_back({i, d.val[k]});
  }
  for (auto& c : cols) std::stable_sort(c.begin(), c.end(), [](const Entry& a, const Entry& b) { return a.row < b.row; });
  return cols;
}

// Reads a column form back (values 0 when a is null).
inline Columns read_columns(int nc, const int* ip, const int* irn, const double* a) {
  Columns cols(static_cast<std::size_t>(nc));
  for (int j = 1; j <= nc; ++j)
    for (int k = ip[j - 1]; k < ip[j]; ++k) cols[static_cast<std::size_t>(j - 1)].push_back({irn[k - 1], a ? a[k - 1] : 0.0});
  return cols;
}

inline Columns without_values(Columns c) {
  for (auto& col : c)
    for (auto& e : col) e.val = 0.0;
  return c;
}

// Compares a returned column form with the model.  With `ordered` the rows
// of each column must appear in the model's order; otherwise any order of
// the same entries is accepted.
inline void expect_columns(Columns got, Columns want, bool ordered) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t j = 0; j < got.size(); ++j) {
    if (!ordered) {
      std::sort(got[j].begin(), got[j].end());
      std::sort(want[j].begin(), want[j].end());
    }
    ASSERT_EQ(got[j].size(), want[j].size()) << "column " << j + 1;
    for (std::size_t k = 0; k < got[j].size(); ++k) {
      ASSERT_EQ(got[j][k].row, want[j][k].row) << "column " << j + 1 << " entry " << k;
      ASSERT_EQ(got[j][k].val, want[j][k].val) << "column " << j + 1 << " entry " << k;
    }
  }
}

// Random coordinate data with duplicates and, when `bad` > 0, that many
// entries with an index out of range.  Values are small integers, so sums of
// duplicates are exact in any order.
inline CooData random_coo(int nr, int nc, int ne, int bad, unsigned seed, bool lower_only = false) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> r(1, nr), c(1, nc), v(-9, 9), kind(0, 5);
  CooData d;
  d.nr = nr;
  d.nc = nc;
  for (int k = 0; k < ne; ++k) {
    int i = r(gen), j = c(gen);
    if (lower_only && i < j) std::swap(i, j);
    if (k > 0 && kind(gen) == 0) {  // repeat an earlier position
      const int p = std::uniform_int_distribution<int>(0, k - 1)(gen);
      i = d.row[static_cast<std::size_t>(p)];
      j = d.col[static_cast<std::size_t>(p)];
    }
    d.row.push_back(i);
    d.col.push_back(j);
    d.val.push_back(v(gen) + 0.5);
  }
  for (int b = 0; b < bad; ++b) {
    const auto p = static_cast<std::size_t>(std::uniform_int_distribution<int>(0, ne - 1)(gen));
    switch (b % 4) {
      case 0: d.row[p] = 0; break;
      case 1: d.col[p] = nc + 1 + b; break;
      case 2: d.row[p] = -b; d.col[p] = -1; break;
      default: d.row[p] = nr + 7; break;
    }
  }
  return d;
}

}  // namespace tbl::test
