// Attaching files to units through the exported entry points, as a host
// does, seen through the one message the interface layer itself writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "TesselBasicLib.h"
#include "support/child.hpp"

namespace {

using tbl::test::run_in_child;

std::string read_all(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class ExportedUnits : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tbl_ffopen_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string path(const std::string& f) const { return dir_ + "/" + f; }
  std::string dir_;
};

constexpr const char* kIllegal = " ** On entry to DGETRF parameter number  1 had an illegal value\n";

void illegal_lapack_call() {
  double a[1] = {1.0};
  int32_t ipiv[1];
  CLapack_DGETRF(-1, 1, a, 1, ipiv);
}

TEST_F(ExportedUnits, StopMessageGoesToTheFileAttachedToUnitSix) {
  const std::string f = path("lapack.log");
  auto r = run_in_child([&] {
    int32_t six = 6;
    FFOPEN(f.c_str(), &six, f.size());
    illegal_lapack_call();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  // The stop closed the unit, so the record reached the file.
  EXPECT_EQ(read_all(f), kIllegal);
}

TEST_F(ExportedUnits, DecoratedEntryPointsTakeExactlyLenCharacters) {
  const std::string f = path("viz.log");
  const std::string buffer = f + "_NOT_PART_OF_THE_NAME";  // no terminating zero after f
  auto r = run_in_child([&] {
    int six = 6;
    VIZ_FFOPEN(buffer.data(), static_cast<int>(f.size()), &six);
    VIZ_FFCLOSE(&six);
    VIZ_FFOPEN(buffer.data(), static_cast<int>(f.size()), &six);
    illegal_lapack_call();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(exists(f));
  EXPECT_FALSE(exists(buffer));
  EXPECT_EQ(read_all(f), kIllegal);
}

TEST_F(ExportedUnits, ClosingKeepsTheFileAndUnitSixReturnsToStandardOutput) {
  const std::string f = path("closed.log");
  auto r = run_in_child([&] {
    int32_t six = 6;
    FFOPEN(f.c_str(), &six, f.size());
    FFCLOSE(&six);
    illegal_lapack_call();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(exists(f));
  EXPECT_EQ(read_all(f), "");
  EXPECT_EQ(r.out, kIllegal);
}

TEST_F(ExportedUnits, NegativeLengthOrUnopenableNameEndsTheProcess) {
  for (int len : {-1, -2147483647 - 1}) {
    auto r = run_in_child([&] {
      int unit = 12;
      VIZ_FFOPEN("name", len, &unit);
    });
    EXPECT_TRUE(r.exited);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.status, tbl::test::kBodyReturned);
    EXPECT_NE(r.err.find("fatal input-output error on unit 12"), std::string::npos) << r.err;
  }
  const std::string bad = path("no/such/dir/file");
  auto r = run_in_child([&] {
    int32_t unit = 13;
    FFOPEN(bad.c_str(), &unit, bad.size());
  });
  EXPECT_TRUE(r.exited);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.status, tbl::test::kBodyReturned);
  EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
}

}  // namespace
