// MC59AD through the exports, as a C host calls it: checks and their
// messages, the three input forms, symmetry, and the sound handling of data
// that breaks the unchecked mode's promise.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "TesselBasicLib.h"
#include "coord_support.hpp"
#include "support/child.hpp"
#include "support/mtx.hpp"

using namespace tbl::test;

namespace {

struct Mc59Call {
  int icntl[6] = {0, 0, 0, 6, 6, 0};
  int nc = 0, nr = 0, ne = 0;
  std::vector<int> irn, jcn, ip, iw;
  std::vector<double> a;
  int ljcn = 0, la = 0, lip = 0, liw = 0;
  int info[10];

  Mc59Call() { std::fill(std::begin(info), std::end(info), 77); }
  Mc59Call(const CooData& d, int form, int sym = 0) : Mc59Call() {
    icntl[1] = form;
    icntl[5] = sym;
    nc = d.nc, nr = d.nr, ne = d.ne();
    irn = d.row;
    jcn = d.col;
    a = d.val;
    ljcn = ne, la = ne;
    lip = std::max(nr, nc) + 1, liw = std::max(nr, nc) + 1;
    ip.assign(static_cast<std::size_t>(lip), -7);
    iw.assign(static_cast<std::size_t>(liw), -7);
  }
  // Column input: IRN and A by columns with the given starts.
  static Mc59Call by_columns(int nr, std::vector<int> starts, std::vector<int> rows, std::vector<double> vals = {}) {
    Mc59Call m;
    m.icntl[1] = 2;
    m.nc = static_cast<int>(starts.size()) - 1;
    m.nr = nr;
    m.ne = static_cast<int>(rows.size());
    m.irn = std::move(rows);
    m.a = vals.empty() ? std::vector<double>(m.irn.size(), 1.0) : std::move(vals);
    m.jcn.assign(1, 0);
    m.ljcn = 1, m.la = m.ne;
    m.lip = m.nc + 1, m.liw = std::max(m.nr, m.nc) + 1;
    m.ip = std::move(starts);
    m.iw.assign(static_cast<std::size_t>(m.liw), -7);
    return m;
  }
  bool values() const { return icntl[2] == 0; }
  void run(bool viz = false) {
    if (a.empty()) a.assign(1, 0.0);
    auto f = viz ? VIZ_MC59AD : MC59AD;
    f(icntl, &nc, &nr, &ne, irn.data(), &ljcn, jcn.data(), &la, a.data(), &lip, ip.data(), &liw, iw.data(), info);
  }
  // Runs in a child process and returns what was written on unit 6; the
  // results of the call are copied back.
  std::string run_capture() {
    auto r = run_in_child([this] {
      run();
      std::fflush(stdout);
    });
    EXPECT_EQ(r.status, kBodyReturned);
    // The same call here, silenced, for the results.
    const int units[2] = {icntl[3], icntl[4]};
    icntl[3] = icntl[4] = 0;
    run();
    icntl[3] = units[0], icntl[4] = units[1];
    return r.out;
  }
  Columns result() const { return read_columns(nc, ip.data(), irn.data(), values() ? a.data() : nullptr); }
};

std::string error_text(int code, const std::string& detail) {
  char head[80];
  std::snprintf(head, sizeof head, " *** Error return from MC59AD *** INFO(1) = %3d", code);
  return "\n" + std::string(head) + "\n" + detail + "\n";
}

// Runs quietly (no units) for tests that look only at the results.
void quiet(Mc59Call& m) {
  m.icntl[3] = 0;
  m.icntl[4] = 0;
}

TEST(Mc59Checks, EachFailureReportsItsValueAndText) {
  const CooData d = coo(3, 3, {1, 2}, {1, 2});
  struct Case {
    const char* what;
    void (*set)(Mc59Call&);
    int code, info2;
    std::string detail;
  };
  const Case cases[] = {
      {"form", [](Mc59Call& m) { m.icntl[1] = 3; m.nc = 0; }, -1, 3, " ICNTL(2) =  3 is out of range"},
      {"symmetry", [](Mc59Call& m) { m.icntl[5] = -3; m.nc = 0; }, -11, -3, " ICNTL(6) = -3 is out of range"},
      {"nc", [](Mc59Call& m) { m.nc = 0; }, -2, 0, " NC =      0 is out of range"},
      {"nr", [](Mc59Call& m) { m.nr = -4; }, -3, -4, " NR =     -4 is out of range"},
      {"square", [](Mc59Call& m) { m.icntl[5] = 1; m.nr = 4; }, -3, 4, " Symmetric case. NC =      3 but NR =      4"},
      {"ne", [](Mc59Call& m) { m.ne = 0; }, -4, 0, " NE =          0 is out of range"},
      {"ljcn", [](Mc59Call& m) { m.ljcn = 1; }, -5, 2, " Increase LJCN from          1 to at least          2"},
      {"ljcn col", [](Mc59Call& m) { m.icntl[1] = 2; m.ljcn = 0; }, -5, 1,
       " Increase LJCN from          0 to at least          1"},
      {"la", [](Mc59Call& m) { m.la = 1; }, -6, 2, " Increase LA from          1 to at least          2"},
      {"la pattern", [](Mc59Call& m) { m.icntl[2] = 1; m.la = 0; }, -6, 1,
       " Increase LA from          0 to at least          1"},
      {"lip rows", [](Mc59Call& m) { m.icntl[1] = 1; m.nr = 5; m.lip = 5; }, -7, 6,
       " Increase LIP from        5 to at least          6"},
      {"lip", [](Mc59Call& m) { m.nr = 9; m.lip = 3; }, -7, 4, " Increase LIP from        3 to at least          4"},
      {"liw", [](Mc59Call& m) { m.nr = 9; m.liw = 9; }, -8, 10, " Increase LIW from        9 to at least         10"},
  };
  for (const auto& c : cases) {
    Mc59Call m(d, 0);
    c.set(m);
    m.ip.assign(10, -7);
    const auto irn = m.irn, jcn = m.jcn, ip = m.ip;
    const auto a = m.a;
    const std::string out = m.run_capture();
    EXPECT_EQ(m.info[0], c.code) << c.what;
    EXPECT_EQ(m.info[1], c.info2) << c.what;
    for (int k = 2; k < 10; ++k) EXPECT_EQ(m.info[k], 0) << c.what;
    EXPECT_EQ(out, error_text(c.code, c.detail)) << c.what;
    EXPECT_EQ(m.irn, irn) << c.what;
    EXPECT_EQ(m.jcn, jcn) << c.what;
    EXPECT_EQ(m.ip, ip) << c.what;
    EXPECT_EQ(m.a, a) << c.what;
  }
}

TEST(Mc59Checks, UnitsBelowOneSilenceTheirMessages) {
  Mc59Call m(coo(3, 3, {2, 1}, {5, 1}), 0);
  m.icntl[4] = 0;  // warnings off
  EXPECT_EQ(m.run_capture(), "");
  EXPECT_EQ(m.info[0], 4);
  Mc59Call e(coo(3, 3, {2}, {2}), 7);
  e.icntl[3] = 0;  // errors off
  EXPECT_EQ(e.run_capture(), "");
  EXPECT_EQ(e.info[0], -1);
  EXPECT_EQ(e.info[1], 7);
}

TEST(Mc59Checks, LengthsAtTheTopOfTheIntegerRangeDoNotWrap) {
  // MAXRC + 1 does not fit in 32 bits: the comparison must still fail and
  // INFO(2) carries the largest integer.
  Mc59Call m(coo(1, 1, {1}, {1}), 1);
  m.nr = INT_MAX;
  m.lip = INT_MAX;
  quiet(m);
  m.run();
  EXPECT_EQ(m.info[0], -7);
  EXPECT_EQ(m.info[1], INT_MAX);
  m.icntl[1] = 0;
  m.lip = 2;
  m.liw = INT_MAX;
  m.run();
  EXPECT_EQ(m.info[0], -8);
  EXPECT_EQ(m.info[1], INT_MAX);
}

TEST(Mc59Warnings, CountsAndTexts) {
  {
    // One entry with a column outside a 3 x 3 matrix.
    Mc59Call m(coo(3, 3, {2, 1}, {5, 1}), 0);
    const std::string out = m.run_capture();
    EXPECT_EQ(m.info[0], 4);
    EXPECT_EQ(m.info[4], 1);
    EXPECT_EQ(m.info[5], 1);
    EXPECT_EQ(out,
              "\n *** Warning message from MC59AD *** INFO(1) =   4\n"
              "        1 entries in JCN supplied by the user were \n"
              "       out of range and were ignored by the routine\n");
  }
  {
    // Every kind at once, in the order IRN, JCN, duplicates; an entry with
    // both indices bad counts in both.
    Mc59Call m(coo(3, 3, {1, 1, 0, 4, 9, 2}, {1, 1, 1, 0, 2, 2}, {2, 3, 1, 1, 1, 1}), 1);
    const std::string out = m.run_capture();
    EXPECT_EQ(m.info[0], 7);
    EXPECT_EQ(m.info[2], 1);
    EXPECT_EQ(m.info[3], 3);
    EXPECT_EQ(m.info[4], 1);
    EXPECT_EQ(m.info[5], 2);
    EXPECT_EQ(out,
              "\n *** Warning message from MC59AD *** INFO(1) =   7\n"
              "        3 entries in IRN supplied by the user were \n"
              "       out of range and were ignored by the routine\n"
              "        1 entries in JCN supplied by the user were \n"
              "       out of range and were ignored by the routine\n"
              "        1 duplicate entries were supplied by the user\n");
    expect_columns(m.result(), {{{1, 5.0}}, {{2, 1.0}}, {}}, true);
  }
  {
    // Symmetric column input with row 1 in column 2: above the diagonal.
    Mc59Call m = Mc59Call::by_columns(2, {1, 2, 4}, {1, 1, 2}, {1, 2, 3});
    m.icntl[5] = 1;
    const std::string out = m.run_capture();
    EXPECT_EQ(m.info[0], 2);
    EXPECT_EQ(m.info[3], 1);
    EXPECT_EQ(m.info[6], 1);
    EXPECT_EQ(out,
              "\n *** Warning message from MC59AD *** INFO(1) =   2\n"
              "        1 entries in IRN supplied by the user were \n"
              "       out of range and were ignored by the routine\n"
              "        1 of these entries were in the upper triangular \n"
              "       part of matrix\n");
    expect_columns(m.result(), {{{1, 1}}, {{2, 3}}}, true);
  }
}

TEST(Mc59Coordinate, DuplicatesSumOrKeepTheFirstBySymmetrySign) {
  for (int form : {0, 1}) {
    Mc59Call m(coo(2, 2, {1, 1}, {1, 1}, {2.0, 3.0}), form);
    quiet(m);
    m.run();
    EXPECT_EQ(m.info[0], 1);
    EXPECT_EQ(m.info[2], 1);
    EXPECT_EQ(m.info[5], 1);
    expect_columns(m.result(), {{{1, 5.0}}, {}}, true);

    Mc59Call s(coo(2, 2, {1, 1}, {1, 1}, {2.0, 3.0}), form, -1);
    quiet(s);
    s.run();
    EXPECT_EQ(s.info[2], 1);
    expect_columns(s.result(), {{{1, 2.0}}, {}}, true);
  }
}

TEST(Mc59Coordinate, SymmetricEntriesAreMirroredAfterTheRangeCheck) {
  // (1,2) becomes (2,1) without being counted as out of range; (1,4) in a
  // 3 x 3 matrix is dropped for its column, not mirrored into row 4.
  for (int form : {0, 1}) {
    Mc59Call m(coo(3, 3, {1, 1, 3}, {2, 4, 3}, {5, 6, 7}), form, 2);
    quiet(m);
    m.run();
    EXPECT_EQ(m.info[0], 4) << form;
    EXPECT_EQ(m.info[4], 1);
    EXPECT_EQ(m.info[6], 0);
    expect_columns(m.result(), {{{2, 5}}, {}, {{3, 7}}}, true);
  }
}

TEST(Mc59Coordinate, AllEntriesOutOfRange) {
  Mc59Call m(coo(2, 2, {0, 3, 1}, {1, 1, 9}), 1);
  const std::string out = m.run_capture();
  EXPECT_EQ(m.info[0], -10);
  EXPECT_EQ(m.info[1], m.info[3] + m.info[4]);
  EXPECT_EQ(m.info[3], 2);
  EXPECT_EQ(m.info[4], 1);
  EXPECT_EQ(out, error_text(-10, " All entries out of range"));
}

TEST(Mc59Coordinate, RandomDataMatchesTheModel) {
  for (unsigned seed = 1; seed <= 4; ++seed) {
    const int n = 20 + static_cast<int>(seed) * 11;
    for (int sym : {0, 1, -2}) {
      const int nr = sym ? n : n + 13;
      const CooData d = random_coo(nr, n, 900, seed % 2 ? 30 : 0, seed * 7 + static_cast<unsigned>(sym + 3));
      for (int form : {0, 1}) {
        for (bool values : {true, false}) {
          Mc59Call m(d, form, sym);
          quiet(m);
          m.icntl[2] = values ? 0 : 1;
          m.run(form == 1);
          if (sym < 0 && values) {
            // One of the copies survives (which one depends on where the
            // sort moved them); its value is never a sum.
            const Columns got = m.result();
            expect_columns(without_values(got), without_values(model(d, true, Dups::First)), form == 1);
            const Columns all = model(d, true, Dups::Keep);
            for (std::size_t j = 0; j < got.size(); ++j)
              for (const Entry& e : got[j])
                EXPECT_NE(std::find(all[j].begin(), all[j].end(), e), all[j].end()) << "column " << j + 1;
          } else {
            Columns w = model(d, sym != 0, Dups::Sum);
            if (!values) w = without_values(w);
            expect_columns(m.result(), w, form == 1);
          }
          ASSERT_GT(m.info[0], 0);
          EXPECT_EQ(m.info[0] & 1, 1);
          EXPECT_EQ(m.ip[static_cast<std::size_t>(n)] - 1, m.info[5]);
        }
      }
    }
  }
}

TEST(Mc59Coordinate, RealMatricesSortWithoutLoss) {
  for (const char* file : {"west0067.mtx", "bcsstk01.mtx", "lp_afiro.mtx"}) {
    const Coo a = read_mtx(matrix_path(file));
    const CooData d = coo(a);
    for (int check : {0, 1}) {
      Mc59Call m(d, 1, a.symmetric ? 1 : 0);
      m.icntl[0] = check;
      quiet(m);
      m.run();
      EXPECT_EQ(m.info[0], 0) << file;
      EXPECT_EQ(m.info[5], d.ne());
      expect_columns(m.result(), model(d, a.symmetric, Dups::Sum), true);
    }
  }
}

TEST(Mc59Columns, SortsEachColumnAndDropsWhatIsOutside) {
  // Columns 1..3 with rows out of order, a duplicate and a row beyond NR.
  Mc59Call m = Mc59Call::by_columns(4, {1, 4, 4, 8}, {3, 1, 2, 4, 9, 2, 4}, {30, 10, 20, 40, 90, 21, 41});
  quiet(m);
  m.run();
  EXPECT_EQ(m.info[0], 3);
  EXPECT_EQ(m.info[2], 1);
  EXPECT_EQ(m.info[3], 1);
  EXPECT_EQ(m.info[5], 5);
  EXPECT_EQ(m.ip, (std::vector<int>{1, 4, 4, 6}));
  expect_columns(m.result(), {{{1, 10}, {2, 20}, {3, 30}}, {}, {{2, 21}, {4, 81}}}, true);
}

TEST(Mc59Columns, LongColumnsSortAsShortOnesDo) {
  // A column longer than the insertion-sort cut-off, reversed and shuffled,
  // in both modes; values must follow their rows.
  const int nr = 500;
  std::vector<int> rows;
  std::vector<double> vals;
  for (int i = nr; i >= 1; --i) {
    const int r = (i * 7919) % nr + 1;  // a permutation of 1..nr
    rows.push_back(r);
    vals.push_back(r * 0.5);
  }
  rows.push_back(3);
  vals.push_back(-1.0);  // column 2: a short one
  for (int check : {0, 1}) {
    Mc59Call m = Mc59Call::by_columns(nr, {1, nr + 1, nr + 2}, rows, vals);
    m.icntl[0] = check;
    quiet(m);
    m.run();
    ASSERT_EQ(m.info[0], 0);
    Columns want(2);
    for (int r = 1; r <= nr; ++r) want[0].push_back({r, r * 0.5});
    want[1].push_back({3, -1.0});
    expect_columns(m.result(), want, true);
  }
  // Without checking, repeated rows in a long column keep their order.
  std::vector<int> dup_rows;
  std::vector<double> dup_vals;
  for (int k = 0; k < 80; ++k) {
    dup_rows.push_back(40 - k % 40);
    dup_vals.push_back(k);
  }
  Mc59Call u = Mc59Call::by_columns(40, {1, 81}, dup_rows, dup_vals);
  u.icntl[0] = 1;
  quiet(u);
  u.run();
  ASSERT_EQ(u.info[0], 0);
  const Columns got = u.result();
  for (std::size_t k = 0; k + 1 < got[0].size(); k += 2) {
    EXPECT_EQ(got[0][k].row, got[0][k + 1].row);
    EXPECT_LT(got[0][k].val, got[0][k + 1].val);
  }
}

TEST(Mc59Columns, PointersThatCannotDescribeTheEntriesFail) {
  struct Case {
    std::vector<int> ip;
    int check, bad;
  } cases[] = {
      {{1, 4, 3, 5}, 0, 2},  // a decrease
      {{0, 2, 3, 5}, 0, 1},  // a start before IRN
      {{1, 2, 3, 9}, 0, 3},  // past entry NE
      {{1, 2, 9, 5}, 0, 2},  // past NE in the middle, then back
      {{1, 4, 3, 5}, 1, 2},  // the same when the caller vouches for them
      {{-3, 2, 3, 5}, 1, 1},
      {{1, 2, 6, 5}, 1, 2},  // a start past NE + 1
  };
  for (const auto& c : cases) {
    Mc59Call m = Mc59Call::by_columns(3, c.ip, {1, 2, 3, 1});
    m.icntl[0] = c.check;
    const std::string out = m.run_capture();
    EXPECT_EQ(m.info[0], -9);
    EXPECT_EQ(m.info[1], c.bad);
    EXPECT_EQ(out, error_text(-9, " Entries in IP are not monotonic increasing"));
  }
  // Counts of the columns before the failure are kept.
  Mc59Call m = Mc59Call::by_columns(3, {1, 4, 6, 5}, {1, 7, 2, 1, 1});
  quiet(m);
  m.run();
  EXPECT_EQ(m.info[0], -9);
  EXPECT_EQ(m.info[1], 3);
  EXPECT_EQ(m.info[2], 1);
  EXPECT_EQ(m.info[3], 1);
  // Unchecked: the last column ends at NE whatever IP(NC+1) says.
  Mc59Call u = Mc59Call::by_columns(3, {1, 2, 3, 1}, {3, 2, 3, 1});
  u.icntl[0] = 1;
  quiet(u);
  u.run();
  EXPECT_EQ(u.info[0], 0);
  EXPECT_EQ(u.info[5], 4);
  expect_columns(u.result(), {{{3, 1}}, {{2, 1}}, {{1, 1}, {3, 1}}}, true);
}

TEST(Mc59Unchecked, BadIndicesAreDroppedAndCountedAsWhenChecking) {
  const CooData d = coo(3, 3, {1, 2000000000, 2, 3, -8}, {1, 2, -2000000000, 3, 3}, {1, 2, 3, 4, 5});
  for (int form : {0, 1}) {
    Mc59Call m(d, form);
    m.icntl[0] = 1;
    m.icntl[3] = 0;
    const std::string out = m.run_capture();
    EXPECT_EQ(m.info[0], 6) << form;
    EXPECT_EQ(m.info[3], 2);
    EXPECT_EQ(m.info[4], 1);
    EXPECT_EQ(m.info[5], 2);
    EXPECT_NE(out.find("*** Warning message from MC59AD *** INFO(1) =   6"), std::string::npos);
    expect_columns(m.result(), model(d, false, Dups::Keep), form == 1);
  }
  Mc59Call c = Mc59Call::by_columns(3, {1, 3, 4, 5}, {1, 1000000, 2, 3});
  c.icntl[0] = 1;
  c.icntl[5] = 1;
  quiet(c);
  c.run();
  EXPECT_EQ(c.info[0], 2);
  EXPECT_EQ(c.info[3], 1);
  expect_columns(c.result(), {{{1, 1}}, {{2, 1}}, {{3, 1}}}, true);
  // Nothing left: the same failure as when checking.
  Mc59Call none(coo(2, 2, {5}, {5}), 0);
  none.icntl[0] = 1;
  quiet(none);
  none.run();
  EXPECT_EQ(none.info[0], -10);
}

}  // namespace
