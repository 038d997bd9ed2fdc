// Messages of MA50BD and MA50CD: errors on ICNTL(1), monitoring on ICNTL(2),
// each only when its unit is positive and the print level high enough.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/child.hpp"
#include "unsym_lu/ma50_harness.hpp"

namespace {

using tbl::fint;
using tbl::test::Ma50;
using tbl::test::run_in_child;

// The small example with identity orders and one sparse column.
Ma50 example(fint level) {
  Ma50 p(tbl::test::small_example());
  p.icntl[2] = level;
  tbl::test::identity_orders(p, 1);
  return p;
}

// Output of MA50BD on unit 6 for the given arguments.
std::string bd_output(Ma50 p, fint job, fint lfact, fint m = 3, fint n = 3, fint ne = 6) {
  return run_in_child([&] {
           p.lfact = lfact;
           p.fact.assign(std::max<fint>(lfact, 1), 0.0);
           p.irnf.assign(std::max<fint>(lfact, 1), 0);
           p.iptrl.assign(3, 0);
           p.iptru.assign(3, 0);
           p.w.assign(3, 0.0);
           p.iw.assign(9, 0);
           p.ip_b = p.ip;
           MA50BD(&m, &n, &ne, &job, p.a.val.data(), p.a.row.data(), p.a.ptr.data(), p.cntl, p.icntl, p.ip_b.data(),
                  p.iq.data(), &p.np, &p.lfact, p.fact.data(), p.irnf.data(), p.iptrl.data(), p.iptru.data(),
                  p.w.data(), p.iw.data(), p.info_b, &p.rinfo_b);
         })
      .out;
}

const char kHeader[] = "\n **** Error return from MA50BD ****\n";

TEST(Ma50Messages, FactoriseErrors) {
  EXPECT_EQ(bd_output(example(1), 1, 60, 0, 3), std::string(kHeader) + " M =       0 N =       3\n");
  EXPECT_EQ(bd_output(example(1), 1, 60, 3, 3, 0), std::string(kHeader) + " NE =     0\n");
  Ma50 bad_np = example(1);
  bad_np.np = 4;
  EXPECT_EQ(bd_output(bad_np, 1, 60), std::string(kHeader) + " NP =       4 N =       3\n");
  EXPECT_EQ(bd_output(example(1), 1, 7),
            "\n **** Error return from MA50BD **** \n LFACT must be increased from      7 to at least      8\n");
  EXPECT_EQ(bd_output(example(1), 4, 60), std::string(kHeader) + " JOB = 4\n");
  Ma50 dup = example(1);
  dup.a.row[5] = 1;  // row 1 twice in column 3
  EXPECT_EQ(bd_output(dup, 1, 60), std::string(kHeader) + " Entry in row        1 and column        3 duplicated\n");
}

TEST(Ma50Messages, RefactoriseErrors) {
  // Dropped entries: the header has three asterisks at its end.
  Ma50 p = example(1);
  std::string out = run_in_child([&] {
                      p.cntl[2] = 1.5;  // drops a(2,1), a(3,2), a(1,3)
                      p.factorise(1, 60);
                      p.factorise(2, 60);
                    }).out;
  EXPECT_EQ(out,
            "\n **** Error return from MA50BD ***\n Call with JOB=2 follows JOB=1 call in which entries were dropped\n");

  Ma50 q = example(1);
  q.np = 3;
  out = run_in_child([&] {
          q.factorise(1, 60);
          std::vector<double> v = q.a.val;
          v[2] = 0.0;  // the pivot of column 2
          q.factorise(2, 60, &v);
        }).out;
  EXPECT_EQ(out,
            "\n **** Error return from MA50BD **** \n Small pivot found in column     2 of the permuted matrix.\n");
}

TEST(Ma50Messages, CountingModeReportsOnceAtTheEnd) {
  // 8 is enough for the entry check but not for the first column (which
  // needs 2 + M + 2 = 7 plus the full block once it begins).
  const std::string out = bd_output(example(1), 1, 9);
  EXPECT_EQ(out,
            "\n **** Error return from MA50BD **** \n LFACT must be increased from      9 to at least     13\n");
}

TEST(Ma50Messages, NothingBelowTheLevelOrOnANonPositiveUnit) {
  EXPECT_EQ(bd_output(example(0), 4, 60), "");
  Ma50 p = example(1);
  p.icntl[0] = 0;
  EXPECT_EQ(bd_output(p, 4, 60), "");
  Ma50 q = example(2);  // warnings level: no monitoring
  EXPECT_EQ(bd_output(q, 1, 60), "");
}

TEST(Ma50Messages, FactoriseMonitoring) {
  const std::string out = bd_output(example(3), 1, 60);
  EXPECT_EQ(out,
            "\n"
            " Entering MA50BD with M =     3 N =     3 NE =       6 JOB =  1\n"
            " LFACT =      60 NP =      1\n"
            " CNTL =  5.00E-01  1.00E-01  0.00E+00  0.00E+00\n"
            " ICNTL =       6       6       3       3      32       0       0\n"
            " Leaving MA50BD with IRNF(2) =     2 RINFO =         9.0\n"
            " INFO(1) =  0 INFO(4:7) =      13       3       0       2\n");

  const std::string full = bd_output(example(4), 1, 60);
  const std::string listing =
      " Leaving MA50BD with IRNF(2) =     2 RINFO =         9.0\n"
      " INFO(1) =  0 INFO(4:7) =      13       3       0       2\n"
      " IP =      1      2      3\n"
      " Column    1 of L  5.0000E-01    1  1.0000E+00    2\n"
      " Column    3 of U -5.0000E-01    1\n"
      " Full part\n"
      "           1           2\n"
      "   2  3.0000E+00 -5.0000E-01\n"
      "   3  3.3333E-01  4.1667E+00\n";
  EXPECT_NE(full.find(" IQ =      0\n"), std::string::npos) << full;
  EXPECT_NE(full.find(" Column    1  2.0000E+00    1  1.0000E+00    2\n"), std::string::npos) << full;
  EXPECT_NE(full.find(listing), std::string::npos) << full;
}

TEST(Ma50Messages, SolveErrorAndMonitoring) {
  Ma50 p = example(1);
  p.factorise(1, 60);
  std::string out = run_in_child([&] {
                      const fint m = 0, n = 3;
                      const tbl::logical tr = tbl::kFalse;
                      fint info = 5;
                      std::vector<double> b(3, 1.0), x(3), w(3);
                      MA50CD(&m, &n, p.icntl, p.iq.data(), &p.np, &tr, &p.lfact, p.fact.data(), p.irnf.data(),
                             p.iptrl.data(), p.iptru.data(), b.data(), x.data(), w.data(), &info);
                    }).out;
  EXPECT_EQ(out, "\n **** Error return from MA50CD ****\n M =       0 N =       3\n");

  p.icntl[2] = 4;
  out = run_in_child([&] { p.solve({3.0, 4.0, 5.0}, false); }).out;
  const std::string entry =
      "\n"
      " Entering MA50CD with M=     3 N =     3 NP =   1 TRANS = F\n"
      " Size of full submatrix    2 by    2\n";
  EXPECT_EQ(out.substr(0, entry.size()), entry);
  EXPECT_NE(out.find(" B =    3.0000    4.0000    5.0000\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" Leaving MA50CD with X =\n"
                     "        1.0000    1.0000    1.0000\n"),
            std::string::npos)
      << out;
}

}  // namespace
