#include "support/files.hpp"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tbl::test {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void ScratchDir::SetUp() {
  char tmpl[] = "/tmp/tbl_test_XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  dir_ = tmpl;
}

void ScratchDir::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

}  // namespace tbl::test
