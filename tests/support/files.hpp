// Files that tests create: a private scratch directory for each test, and
// the text the library wrote, read back.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tbl::test {

// The whole file as text; empty when it cannot be read.
std::string read_file(const std::string& path);

bool file_exists(const std::string& path);

// A fixture whose test owns a fresh directory, removed afterwards.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string path(const std::string& file) const { return dir_ + "/" + file; }
  std::string dir_;
};

}  // namespace tbl::test
