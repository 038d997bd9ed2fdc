// Matrix Market reader for tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tbl::test {

struct Coo {
  int nrows = 0;
  int ncols = 0;
  bool symmetric = false;        // file stores one triangle
  std::vector<int> row, col;     // 1-based, as in the file
  std::vector<double> val;       // pattern files get 1.0
  int nnz() const { return static_cast<int>(row.size()); }
};

// Reads a coordinate Matrix Market file; throws std::runtime_error on failure.
Coo read_mtx(const std::string& path);

// Path of a recorded output or other non-matrix file in tests/data.
std::string data_path(const std::string& file);

// Path of a Matrix Market file in tests/data/matrices, the one folder that
// holds every matrix the tests, examples and benchmarks read.
std::string matrix_path(const std::string& file);

// Mirrors the stored triangle of a symmetric matrix into a full pattern.
Coo expand_symmetric(const Coo& a);

}  // namespace tbl::test
