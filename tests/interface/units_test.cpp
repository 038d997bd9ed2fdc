// Output units reached through the core: attached files, the default files
// of unattached units, standard streams and the fatal input-output path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "interface/fmt.hpp"
#include "interface/routines.hpp"
#include "interface/units.hpp"
#include "support/child.hpp"
#include "support/files.hpp"

namespace {

using tbl::test::file_exists;
using tbl::test::read_file;
using tbl::test::run_in_child;
using UnitFiles = tbl::test::ScratchDir;

void ffopen(const std::string& name, tbl::fint unit) { FFOPEN(name.data(), &unit, name.size()); }
void ffclose(tbl::fint unit) { FFCLOSE(&unit); }

TEST_F(UnitFiles, AttachedFileReceivesRecordsAndStaysAfterClose) {
  const std::string f = path("messages.txt");
  ffopen(f, 21);
  EXPECT_TRUE(file_exists(f));  // created by the open itself
  tbl::io::write(21, "(' ERROR: N =',I4)", 7);
  tbl::io::write(21, "(A,/,A)", "two", "lines");
  ffclose(21);
  EXPECT_EQ(read_file(f), " ERROR: N =   7\ntwo\nlines\n");
  ffclose(21);  // closing a unit that is not open does nothing
  EXPECT_EQ(read_file(f), " ERROR: N =   7\ntwo\nlines\n");
}

TEST_F(UnitFiles, ExistingFileIsReplacedFromTheFirstRecordOnly) {
  const std::string f = path("old.txt");
  std::ofstream(f) << "previous contents that are longer\n";
  ffopen(f, 22);
  ffclose(22);
  EXPECT_EQ(read_file(f), "previous contents that are longer\n");
  ffopen(f, 22);
  tbl::io::write(22, "('new')");
  ffclose(22);
  EXPECT_EQ(read_file(f), "new\n");
}

TEST_F(UnitFiles, NameIsTheGivenLengthWithoutTrailingBlanks) {
  const std::string f = path("short.txt");
  const std::string buffer = f + "    IGNORED";
  tbl::fint unit = 23;
  FFOPEN(buffer.data(), &unit, f.size() + 4);
  tbl::io::write(23, "('x')");
  ffclose(23);
  EXPECT_EQ(read_file(f), "x\n");
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
  EXPECT_EQ(read_file(f), "first\nsecond\n");
  EXPECT_EQ(read_file(path("other.txt")), "third\n");
}

TEST(DeviceUnits, NullDeviceTakesRecordsAndTheHostGoesOn) {
  auto r = run_in_child([] {
    ffopen("/dev/null", 25);
    tbl::io::write(25, "(' discarded',I3)", 1);
    tbl::io::write(25, "(' discarded',I3)", 2);
    ffclose(25);
  });
  EXPECT_EQ(r.status, tbl::test::kBodyReturned) << r.err;
  EXPECT_EQ(r.err, "");
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
  EXPECT_EQ(read_file(path("fort.17")), " unit 17\n again\n");
  EXPECT_EQ(read_file(path("named_by_env.txt")), " unit 18\n");
  EXPECT_FALSE(file_exists(path("fort.18")));
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

// Every failed open, close or write ends the process with a diagnostic on
// standard error and a non-zero status, before anything is written.
TEST_F(UnitFiles, FailedOpensAndWritesAreFatal) {
  const std::string f = path("one.txt");
  const std::string missing = path("missing/dir/file.txt");
  const std::function<void()> bodies[] = {
      [&] { ffopen(missing, 30); },
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
      [&] {  // the write itself fails when the stream is flushed
        ffopen("/dev/full", 40);
        tbl::io::write(40, "('lost')");
        ffclose(40);
      },
  };
  for (const auto& body : bodies) {
    auto r = run_in_child(body);
    EXPECT_TRUE(tbl::test::ended_by_fatal_io(r)) << r.status << " " << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_NE(run_in_child(bodies[0]).err.find(missing), std::string::npos);
  EXPECT_FALSE(file_exists(path("a")));
}

TEST_F(UnitFiles, FatalErrorStillDeliversWhatOtherUnitsHold) {
  const std::string f = path("kept.txt");
  auto r = run_in_child([&] {
    ffopen(f, 34);
    tbl::io::write(34, "(' written before the failure')");
    ffopen(path("missing/dir/file.txt"), 35);
  });
  EXPECT_TRUE(tbl::test::ended_by_fatal_io(r));
  EXPECT_EQ(read_file(f), " written before the failure\n");
}

// A package's private file: emptied on opening, refused (not fatal) when it
// cannot be opened or is the file of another unit, which keeps its records.
TEST_F(UnitFiles, PrivateUnitsReportFailedOpensAndLeaveOtherUnitsAlone) {
  const std::string f = path("private.txt"), host = path("host.txt");
  std::ofstream(f) << "old contents\n";
  ASSERT_TRUE(tbl::io::unit_open_private(-5, f));
  EXPECT_EQ(read_file(f), "");
  tbl::io::write(-5, "(' private',I3)", 1);
  EXPECT_FALSE(tbl::io::unit_open_private(3, f));  // not a private number
  EXPECT_FALSE(tbl::io::unit_open_private(-6, path("missing/dir/p.txt")));
  ffopen(host, 36);
  tbl::io::write(36, "(' host line')");
  EXPECT_FALSE(tbl::io::unit_open_private(-6, host));
  ffclose(36);
  EXPECT_EQ(read_file(host), " host line\n");
  tbl::io::unit_detach(-5);
  EXPECT_EQ(read_file(f), " private  1\n");
  auto r = run_in_child([] { tbl::io::write(-5, "('closed')"); });
  EXPECT_TRUE(tbl::test::ended_by_fatal_io(r)) << r.err;
}

}  // namespace
