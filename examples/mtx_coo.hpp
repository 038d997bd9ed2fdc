// What the sparse example hosts share: a Matrix Market file read into
// 1-based coordinate entries (a symmetric file expanded to both triangles,
// a pattern file given values of 1), and a wall-clock timer.
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace example {

struct Coo {
  int32_t m = 0, n = 0;
  std::vector<int32_t> row, col;
  std::vector<double> val;
};

bool read_matrix_market(const std::string& path, Coo& a) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line) || line.rfind("%%MatrixMarket", 0) != 0) return false;
  const bool symmetric = line.find("symmetric") != std::string::npos;
  const bool pattern = line.find("pattern") != std::string::npos;
  while (std::getline(in, line) && (line.empty() || line[0] == '%')) {
  }
  long nnz = 0;
  std::istringstream head(line);
  if (!(head >> a.m >> a.n >> nnz)) return false;
  for (long k = 0; k < nnz && std::getline(in, line); ++k) {
    std::istringstream s(line);
    int32_t i = 0, j = 0;
    double v = 1.0;
    s >> i >> j;
    if (!pattern) s >> v;
    a.row.push_back(i);
    a.col.push_back(j);
    a.val.push_back(v);
    if (symmetric && i != j) {
      a.row.push_back(j);
      a.col.push_back(i);
      a.val.push_back(v);
    }
  }
  return true;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace example
