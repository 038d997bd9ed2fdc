// The solve with the factors, on factor storage written by hand: every
// operator against dense arithmetic, both ways of processing a block,
// several right-hand sides, the argument checks and the monitoring output.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sym_ldlt/ma57_hand_factors.hpp"
#include "sym_ldlt/ma57_solve.hpp"
#include "support/child.hpp"

namespace {

using tbl::test::Dense;
using tbl::test::HandFactors;
using tbl::test::ends_with;
using tbl::test::mixed_factors;
using tbl::test::rel_diff;

constexpr int kDenseWay = 0;        // ICNTL(13): every block with > 4 pivots by the BLAS
constexpr int kIndirectWay = 1000;  // ICNTL(13): every block by indirect addressing

std::vector<int> controls(int threshold = 10, int level = 0) {
  std::vector<int> icntl(20, 0);
  icntl[0] = 6;
  icntl[1] = 6;
  icntl[2] = 6;
  icntl[3] = -1;
  icntl[4] = level;
  icntl[12] = threshold;
  return icntl;
}

struct Solve {
  const HandFactors& f;
  std::vector<int> icntl;
  std::vector<int> info = std::vector<int>(40, 0);

  // Solves in place the nrhs columns of rhs (leading dimension lrhs).
  void operator()(int job, int nrhs, std::vector<double>& rhs, int lrhs, int lw = -1) {
    const int n = f.n;
    if (lw < 0) lw = n * nrhs;
    std::vector<double> w(static_cast<std::size_t>(lw));
    std::vector<int> iwork(static_cast<std::size_t>(n));
    const int lfact = static_cast<int>(f.fact.size());
    const int lifact = static_cast<int>(f.ifact.size());
    MA57CD(&job, &n, f.fact.data(), &lfact, f.ifact.data(), &lifact, &nrhs, rhs.data(), &lrhs, w.data(), &lw,
           iwork.data(), icntl.data(), info.data());
  }
};

// The operator that JOB inverts, as a dense matrix.
Dense job_operator(const HandFactors& f, int job) {
  switch (job) {
    case 2: return f.m;
    case 3: return f.d;
    case 4: return tbl::test::transpose(f.m);
    default: return f.a;
  }
}

std::vector<double> test_vector(int n, int column) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = std::sin(1.0 + i + 7.0 * column) + 0.1 * column;
  return x;
}

TEST(MA57CDOperators, EachJobInvertsItsOperatorByBothWaysAndForOneOrSeveralColumns) {
  const HandFactors f = mixed_factors();
  const int n = f.n;
  for (int threshold : {kDenseWay, kIndirectWay}) {
    for (int job = 1; job <= 4; ++job) {
      const Dense op = job_operator(f, job);
      for (int nrhs : {1, 3}) {
        const int lrhs = n + 2;
        std::vector<double> rhs(static_cast<std::size_t>(lrhs) * nrhs, -77.0);
        std::vector<std::vector<double>> truth;
        for (int j = 0; j < nrhs; ++j) {
          truth.push_back(test_vector(n, j));
          const auto b = tbl::test::multiply(op, truth.back());
          std::copy(b.begin(), b.end(), rhs.begin() + j * lrhs);
        }
        Solve solve{f, controls(threshold)};
        solve(job, nrhs, rhs, lrhs);
        for (int j = 0; j < nrhs; ++j) {
          std::vector<double> got(rhs.begin() + j * lrhs, rhs.begin() + j * lrhs + n);
          EXPECT_LT(rel_diff(got, truth[j]), 1e-12)
              << "job " << job << " nrhs " << nrhs << " threshold " << threshold << " column " << j;
          // Rows beyond N in each column are not the solve's to touch.
          EXPECT_EQ(rhs[j * lrhs + n], -77.0);
          EXPECT_EQ(rhs[j * lrhs + n + 1], -77.0);
        }
      }
    }
  }
}

TEST(MA57CDOperators, FullSolveEqualsItsThreePartsAndOutOfRangeJobsActAsTheEnds) {
  const HandFactors f = mixed_factors();
  const int n = f.n;
  const std::vector<double> b = test_vector(n, 2);
  Solve solve{f, controls(kDenseWay)};

  auto run = [&](std::vector<int> jobs, int nrhs) {
    std::vector<double> rhs;
    for (int j = 0; j < nrhs; ++j) rhs.insert(rhs.end(), b.begin(), b.end());
    for (int job : jobs) solve(job, nrhs, rhs, n);
    return rhs;
  };
  const auto whole = run({1}, 1);
  const auto parts = run({2, 3, 4}, 1);
  EXPECT_LT(rel_diff(parts, whole), 1e-13);
  EXPECT_EQ(run({0}, 1), whole);
  EXPECT_EQ(run({-5}, 1), whole);
  EXPECT_EQ(run({5}, 2), run({4}, 2));
  EXPECT_EQ(run({100}, 1), run({4}, 1));
  // Several columns give each column what one column gives.
  const auto two = run({1}, 2);
  EXPECT_LT(rel_diff(std::vector<double>(two.begin() + n, two.end()), whole), 1e-14);
}

TEST(MA57CDOperators, WiderWorkspaceAndNoBlocks) {
  const HandFactors f = mixed_factors();
  const int n = f.n;
  // A leading dimension of W above N (LW / NRHS) changes nothing.
  std::vector<double> narrow, wide;
  for (int j = 0; j < 3; ++j) {
    const auto b = test_vector(n, j);
    narrow.insert(narrow.end(), b.begin(), b.end());
  }
  wide = narrow;
  Solve solve{f, controls(kDenseWay)};
  solve(1, 3, narrow, n);
  solve(1, 3, wide, n, 3 * n + 8);
  EXPECT_EQ(narrow, wide);

  // A factor without blocks leaves every right-hand side as it was.
  HandFactors empty;
  empty.n = 4;
  empty.fact = {0.0};
  empty.ifact = {1, 0, 0};
  for (int job = 1; job <= 4; ++job) {
    for (int nrhs : {1, 2}) {
      std::vector<double> rhs = {1, 2, 3, 4, 5, 6, 7, 8};
      Solve s{empty, controls()};
      s(job, nrhs, rhs, 4);
      EXPECT_EQ(rhs, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8})) << "job " << job;
    }
  }
}

// --- argument checks -------------------------------------------------------

struct CheckCase {
  int n, nrhs, lrhs, lw;
  int info1, info2;
  std::string message;
};

TEST(MA57CDChecks, OrderCodesMessagesAndNothingTouched) {
  const std::string head = "**** Error return from MA57CD ****  INFO(1) =";
  const std::vector<CheckCase> cases = {
      {0, 0, 0, 0, -1, 0, head + " -1\nN has value         0\n"},
      {-3, 1, 5, 5, -1, -3, head + " -1\nN has value        -3\n"},
      {5, 0, 1, 0, -16, 0, head + " -16\nvalue of NRHS =         0 is less than 1\n"},
      {5, 2, 4, 100, -11, 4, head + " -11\nvalue of LRHS =         4 is less than N=         5\n"},
      {5, 2, 5, 9, -17, 10, head + " -17\nvalue of LW =         9 is less than        10\n"},
      // N*NRHS beyond 32 bits must not wrap round to a small requirement.
      {100000, 50000, 100000, 705032704, -17, 2147483647,
       head + " -17\nvalue of LW = 705032704 is less than5000000000\n"},
  };
  const HandFactors f = mixed_factors();
  for (const auto& c : cases) {
    auto r = tbl::test::run_in_child([&] {
      std::vector<int> icntl = controls(10, 1);
      std::vector<int> info(40, 99);
      std::vector<double> rhs(8, 1.5), w(8, 2.5);
      std::vector<int> iwork(8, 3);
      const int job = 1, lfact = 1, lifact = 3;
      MA57CD(&job, &c.n, f.fact.data(), &lfact, f.ifact.data(), &lifact, &c.nrhs, rhs.data(), &c.lrhs, w.data(),
             &c.lw, iwork.data(), icntl.data(), info.data());
      EXPECT_EQ(info[0], c.info1);
      EXPECT_EQ(info[1], c.info2);
      EXPECT_EQ(info[2], 99);
      EXPECT_EQ(rhs, std::vector<double>(8, 1.5));
      EXPECT_EQ(w, std::vector<double>(8, 2.5));
      EXPECT_EQ(iwork, std::vector<int>(8, 3));
      if (::testing::Test::HasFailure()) std::exit(1);
    });
    EXPECT_EQ(r.status, tbl::test::kBodyReturned) << r.err;
    EXPECT_EQ(r.out, c.message);
  }
}

TEST(MA57CDChecks, ErrorUnitAndLevelGuardTheMessage) {
  const HandFactors f = mixed_factors();
  for (auto [unit, level, prints] : {std::tuple{6, 0, false}, {-1, 4, false}, {0, 1, true}, {6, 1, true}}) {
    auto r = tbl::test::run_in_child([&] {
      std::vector<int> icntl = controls(10, level);
      icntl[0] = unit;
      std::vector<int> info(40, 0);
      std::vector<double> rhs(4), w(4);
      std::vector<int> iwork(4);
      const int job = 1, n = 0, nrhs = 1, lrhs = 4, lw = 4, lfact = 1, lifact = 3;
      MA57CD(&job, &n, f.fact.data(), &lfact, f.ifact.data(), &lifact, &nrhs, rhs.data(), &lrhs, w.data(), &lw,
             iwork.data(), icntl.data(), info.data());
    });
    const std::string text = unit == 0 ? r.err : r.out;
    EXPECT_EQ(!text.empty(), prints) << "unit " << unit << " level " << level;
    EXPECT_EQ(unit == 0 ? r.out : r.err, "");
  }
}

// --- monitoring ------------------------------------------------------------

std::string run_monitored(int level, int nrhs) {
  const HandFactors f = tbl::test::diagonal_factors(std::vector<double>(25, 2.0));  // D = 2I
  auto r = tbl::test::run_in_child([&] {
    std::vector<double> rhs(25 * nrhs);
    for (std::size_t i = 0; i < rhs.size(); ++i) rhs[i] = static_cast<double>(i + 1);
    Solve solve{f, controls(10, level)};
    solve(1, nrhs, rhs, 25);
  });
  return r.out;
}

TEST(MA57CDMonitoring, EnteringAndLeavingRecords) {
  const std::string out = run_monitored(3, 2);
  const std::string entering =
      "\nEntering solution phase (MA57CD) with ...\n"
      "JOB       Control on coefficient matrix       =           1\n"
      "N         Order of matrix                     =          25\n"
      "ICNTL(1)  Stream for errors                   =           6\n"
      " --- (2)  Stream for warnings                 =           6\n"
      " --- (3)  Stream for monitoring               =           6\n"
      " --- (4)  Stream for statistics               =          -1\n"
      " --- (5)  Level of diagnostic printing        =           3\n"
      "LFACT     Length of array FACT                =         325\n"
      "LIFACT    Length of array IFACT               =          30\n"
      "NRHS      Number of right-hand sides          =           2\n"
      "LRHS      Leading dimension of RHS array      =          25\n"
      "LW        Leading dimension of work array     =          50\n"
      "ICNTL(13) Threshold for Level 2 and 3 BLAS    =          10\n";
  EXPECT_EQ(out.substr(0, entering.size()), entering);

  const std::string rhs_block =
      "\nRight-hand side         1\n"
      "    1.000D+00    2.000D+00    3.000D+00    4.000D+00    5.000D+00\n"
      "    6.000D+00    7.000D+00    8.000D+00    9.000D+00    1.000D+01\n"
      "     . . .\n"
      "\nRight-hand side         2\n"
      "    2.600D+01    2.700D+01    2.800D+01    2.900D+01    3.000D+01\n"
      "    3.100D+01    3.200D+01    3.300D+01    3.400D+01    3.500D+01\n"
      "     . . .\n";
  const std::string leaving =
      "\n\nLeaving solution phase (MA57CD) with ...\n"
      "\nSolution                1\n"
      "    5.000D-01    1.000D+00    1.500D+00    2.000D+00    2.500D+00\n"
      "    3.000D+00    3.500D+00    4.000D+00    4.500D+00    5.000D+00\n"
      "     . . .\n"
      "\nSolution                2\n"
      "    1.300D+01    1.350D+01    1.400D+01    1.450D+01    1.500D+01\n"
      "    1.550D+01    1.600D+01    1.650D+01    1.700D+01    1.750D+01\n"
      "     . . .\n";
  EXPECT_TRUE(ends_with(out, rhs_block + leaving)) << out;
}

TEST(MA57CDMonitoring, LevelFourPrintsEveryEntryAndLevelTwoNothing) {
  const std::string out = run_monitored(4, 1);
  const std::string tail =
      "\nSolution                1\n"
      "    5.000D-01    1.000D+00    1.500D+00    2.000D+00    2.500D+00\n"
      "    3.000D+00    3.500D+00    4.000D+00    4.500D+00    5.000D+00\n"
      "    5.500D+00    6.000D+00    6.500D+00    7.000D+00    7.500D+00\n"
      "    8.000D+00    8.500D+00    9.000D+00    9.500D+00    1.000D+01\n"
      "    1.050D+01    1.100D+01    1.150D+01    1.200D+01    1.250D+01\n";
  EXPECT_TRUE(ends_with(out, tail)) << out;
  EXPECT_EQ(out.find(". . ."), std::string::npos);
  EXPECT_EQ(run_monitored(2, 1), "");
}

}  // namespace
