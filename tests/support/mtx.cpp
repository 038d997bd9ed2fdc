#include "support/mtx.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tbl::test {

Coo read_mtx(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open matrix file " + path);
  std::string line;
  if (!std::getline(in, line)) throw std::runtime_error("empty matrix file " + path);
  std::istringstream banner(line);
  std::string tag, object, format, field, symmetry;
  banner >> tag >> object >> format >> field >> symmetry;
  if (tag != "%%MatrixMarket" || format != "coordinate")
    throw std::runtime_error("not a coordinate Matrix Market file: " + path);
  Coo a;
  a.symmetric = symmetry == "symmetric";
  const bool pattern = field == "pattern";
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '%') break;
  }
  long long nnz = 0;
  {
    std::istringstream sz(line);
    sz >> a.nrows >> a.ncols >> nnz;
  }
  a.row.reserve(static_cast<std::size_t>(nnz));
  a.col.reserve(static_cast<std::size_t>(nnz));
  a.val.reserve(static_cast<std::size_t>(nnz));
  for (long long k = 0; k < nnz; ++k) {
    if (!std::getline(in, line)) throw std::runtime_error("truncated matrix file " + path);
    const char* p = line.c_str();
    char* end = nullptr;
    long i = std::strtol(p, &end, 10);
    long j = std::strtol(end, &end, 10);
    double v = pattern ? 1.0 : std::strtod(end, &end);
    a.row.push_back(static_cast<int>(i));
    a.col.push_back(static_cast<int>(j));
    a.val.push_back(v);
  }
  return a;
}

std::string data_path(const std::string& file) { return std::string(TBL_TEST_DATA_DIR) + "/" + file; }

std::string matrix_path(const std::string& file) { return std::string(TBL_MATRICES_DIR) + "/" + file; }

Coo expand_symmetric(const Coo& a) {
  Coo f = a;
  f.symmetric = false;
  for (int k = 0; k < a.nnz(); ++k) {
    if (a.row[k] != a.col[k]) {
      f.row.push_back(a.col[k]);
      f.col.push_back(a.row[k]);
      f.val.push_back(a.val[k]);
    }
  }
  return f;
}

}  // namespace tbl::test
