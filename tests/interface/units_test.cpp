// Output units reached through the core: attached files, the default files
// of unattached units, standard streams and the fatal input-output path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "interface/fmt.hpp"
#include "interface/routines.hpp"
#include "interface/units.hpp"
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

// A fresh directory for the files a test creates.
class UnitFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tbl_units_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string path(const std::string& f) const { return dir_ + "/" + f; }
  std::string dir_;
};

void ffopen(const std::string& name, tbl::fint unit) { FFOPEN(name.data(), &unit, name.size()); }
void ffclose(tbl::fint unit) { FFCLOSE(&unit); }

TEST_F(UnitFiles, AttachedFileReceivesRecordsAndStaysAfterClose) {
  const std::string f = path("messages.txt");
  ffopen(f, 21);
  EXPECT_TRUE(exists(f));  // created by the open itself
  tbl::io::write(21, "(' ERROR: N =',I4)", 7);
  tbl::io::write(21, "(A,/,A)", "two", "lines");
  ffclose(21);
  EXPECT_EQ(read_all(f), " ERROR: N =   7\ntwo\nlines\n");
  ffclose(21);  // closing a unit that is not open does nothing
  EXPECT_EQ(read_all(f), " ERROR: N =   7\ntwo\nlines\n");
}

TEST_F(UnitFiles, ExistingFileIsReplacedFromTheFirstRecordOnly) {
  const std::string f = path("old.txt");
  std::ofstream(f) << "previous contents that are longer\n";
  ffopen(f, 22);
  ffclose(22);
  EXPECT_EQ(read_all(f), "previous contents that are longer\n");
  ffopen(f, 22);
  tbl::io::write(22, "('new')");
  ffclose(22);
  EXPECT_EQ(read_all(f), "new\n");
}

TEST_F(UnitFiles, NameIsTheGivenLengthWithoutTrailingBlanks) {
  const std::string f = path("short.txt");
  const std::string buffer = f + "    IGNORED";
  tbl::fint unit = 23;
  FFOPEN(buffer.data(), &unit, f.size() + 4);
  tbl::io::write(23, "('x')");
  ffclose(23);
  EXPECT_EQ(read_all(f), "x\n");
}

TEST_F(UnitFiles, ReattachingTheSameFileKeepsItsRecords) {
  const std::string f = path("same.txt");
  ffopen(f, 24);
  tbl::io::write(24, "('first')");
  ffopen(f, 24);
  tbl::io::write(24, "('second')");
  ffopen(path("other.txt"), 24);  // moves the unit: the first file is closed
  tbl::io::write(24, "('third')");
  ffclose(24);
  EXPECT_EQ(read_all(f), "first\nsecond\n");
  EXPECT_EQ(read_all(path("other.txt")), "third\n");
}

TEST_F(UnitFiles, UnattachedUnitWritesToItsDefaultFile) {
  auto r = run_in_child([&] {
    if (chdir(dir_.c_str()) != 0) return;
    unsetenv("FORT17");
    setenv("FORT18", path("named_by_env.txt").c_str(), 1);
    tbl::io::write(17, "(' unit',I3)", 17);
    tbl::io::write(18, "(' unit',I3)", 18);
    tbl::io::write(17, "(' again')");
  });
  EXPECT_EQ(r.status, tbl::test::kBodyReturned);
  EXPECT_EQ(read_all(path("fort.17")), " unit 17\n again\n");
  EXPECT_EQ(read_all(path("named_by_env.txt")), " unit 18\n");
  EXPECT_FALSE(exists(path("fort.18")));
}

TEST(StandardUnits, SixIsStandardOutputAndZeroStandardError) {
  auto r = run_in_child([] {
    std::printf("host line\n");
    tbl::io::write(6, "(' library line')");
    std::printf("host again\n");
    tbl::io::write(0, "(' error line')");
  });
  EXPECT_EQ(r.out, "host line\n library line\nhost again\n");
  EXPECT_EQ(r.err, " error line\n");
}

TEST_F(UnitFiles, SixCanBeAttachedToAFileAndDetachedAgain) {
  const std::string f = path("stdout.txt");
  auto r = run_in_child([&] {
    ffopen(f, 6);
    tbl::io::write(6, "('to the file')");
    ffclose(6);
    tbl::io::write(6, "('to standard output')");
  });
  EXPECT_EQ(read_all(f), "to the file\n");
  EXPECT_EQ(r.out, "to standard output\n");
}

// Every failed open, close or write ends the process with a diagnostic on
// standard error and a non-zero status, before anything is written.
TEST_F(UnitFiles, FailedOpensAndWritesAreFatal) {
  const std::string f = path("one.txt");
  const std::function<void()> bodies[] = {
      [&] { ffopen(path("missing/dir/file.txt"), 30); },
      [&] { ffopen("", 30); },
      [&] { ffopen("    ", 30); },
      [&] { ffopen(f, -3); },
      [&] {
        const std::string with_zero = path("a") + std::string(1, '\0') + "b";
        ffopen(with_zero, 30);
      },
      [&] {  // one file on two units
        ffopen(f, 31);
        ffopen(f, 32);
      },
      [&] { tbl::io::write(5, "('input unit')"); },
      [&] {
        setenv("FORT33", path("no/such/dir").c_str(), 1);
        tbl::io::write(33, "('x')");
      },
  };
  for (const auto& body : bodies) {
    auto r = run_in_child(body);
    EXPECT_TRUE(r.exited);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.status, tbl::test::kBodyReturned);
    EXPECT_NE(r.err.find("fatal input-output error"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(exists(path("a")));
}

TEST_F(UnitFiles, FatalErrorStillDeliversWhatOtherUnitsHold) {
  const std::string f = path("kept.txt");
  auto r = run_in_child([&] {
    ffopen(f, 34);
    tbl::io::write(34, "(' written before the failure')");
    ffopen(path("missing/dir/file.txt"), 35);
  });
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(read_all(f), " written before the failure\n");
}

TEST_F(UnitFiles, FullDeviceMakesTheWriteFatal) {
  if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  auto r = run_in_child([] {
    ffopen("/dev/full", 40);
    tbl::io::write(40, "('lost')");
    ffclose(40);
  });
  EXPECT_TRUE(r.exited);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.status, tbl::test::kBodyReturned);
  EXPECT_NE(r.err.find("fatal input-output error on unit 40"), std::string::npos) << r.err;
}

}  // namespace
