// Attaching files to units through the exported entry points, as a host
// does, seen through the one message the interface layer itself writes.
#include <gtest/gtest.h>

#include <string>

#include "TesselBasicLib.h"
#include "support/child.hpp"
#include "support/files.hpp"

namespace {

using tbl::test::file_exists;
using tbl::test::read_file;
using tbl::test::run_in_child;
using ExportedUnits = tbl::test::ScratchDir;

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
  EXPECT_EQ(read_file(f), kIllegal);
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
  EXPECT_TRUE(file_exists(f));
  EXPECT_FALSE(file_exists(buffer));
  EXPECT_EQ(read_file(f), kIllegal);
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
  EXPECT_TRUE(file_exists(f));
  EXPECT_EQ(read_file(f), "");
  EXPECT_EQ(r.out, kIllegal);
}

TEST_F(ExportedUnits, NegativeLengthIsANameThatCannotBeOpened) {
  for (int len : {-1, -2147483647 - 1}) {
    auto r = run_in_child([&] {
      int unit = 12;
      VIZ_FFOPEN("name", len, &unit);
    });
    EXPECT_TRUE(tbl::test::ended_by_fatal_io(r)) << r.err;
    EXPECT_NE(r.err.find("on unit 12"), std::string::npos) << r.err;
  }
}

}  // namespace
