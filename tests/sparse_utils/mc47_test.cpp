// MC47AD (minimum degree driver), its pattern expansion, and the counts
// MC49AD leaves for it; through the internal API, as MC47AD has no entry
// point.
#include <gtest/gtest.h>

#include <climits>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "interface/units.hpp"
#include "sparse_utils/coord.hpp"
#include "support/child.hpp"
#include "support/mtx.hpp"

using tbl::fint;

namespace {

struct Ordering {
  fint info[7];
  std::vector<fint> pe, elen, last, nv;
};

// Calls MC47AD on coordinate input (rows then columns in IW) or, when
// `starts` is given, on column input; `extra` adds room beyond the minimum.
Ordering order(fint n, const std::vector<fint>& rows, const std::vector<fint>& cols_or_empty,
               const std::vector<fint>& starts = {}, fint iwlen = -1, fint mp = 0) {
  const fint ne = static_cast<fint>(rows.size());
  std::vector<fint> pe(static_cast<std::size_t>(n) + 1, 0);
  std::vector<fint> iw(rows);
  if (starts.empty()) {
    iw.insert(iw.end(), cols_or_empty.begin(), cols_or_empty.end());
  } else {
    pe = starts;
  }
  if (iwlen < 0) iwlen = 2 * ne + 9 * n + 1;
  iw.resize(static_cast<std::size_t>(std::max(iwlen, 1)), -99);
  Ordering o;
  std::fill(std::begin(o.info), std::end(o.info), -77);
  MC47AD(&n, &ne, pe.data(), iw.data(), &iwlen, &mp, o.info);
  o.pe.assign(pe.begin(), pe.begin() + n);
  if (o.info[0] >= 0) {
    const fint* tail = iw.data() + iwlen - 8 * n;
    o.nv.assign(tail + 5 * n, tail + 6 * n);
    o.elen.assign(tail + 6 * n, tail + 7 * n);
    o.last.assign(tail + 7 * n, tail + 8 * n);
  }
  return o;
}

using V = std::vector<fint>;

TEST(Mc47Ordering, SmallPatternsGiveTheKnownOrders) {
  // Edges 1-3, 1-4, 2-3, 2-4 as lower-triangle coordinates.
  const Ordering a = order(4, {3, 4, 3, 4}, {1, 1, 2, 2});
  EXPECT_EQ(a.info[0], 0);
  EXPECT_EQ(a.elen, (V{2, 4, 3, 1}));
  EXPECT_EQ(a.last, (V{4, 1, 3, 2}));
  EXPECT_EQ(a.nv, (V{0, 3, 0, 3}));
  EXPECT_EQ(a.pe, (V{-2, 0, -2, -2}));

  // The same by columns, with what the cleaning removes: a diagonal entry
  // in column 1; in column 2 a row beyond N, an upper-triangle entry and a
  // repeated row.
  const Ordering b = order(4, {1, 3, 4, 3, 9, 1, 4, 3}, {}, {1, 4, 9, 9, 9});
  EXPECT_EQ(b.info[0], 1);
  EXPECT_EQ(b.info[3], 1);
  EXPECT_EQ(b.info[4], 2);
  EXPECT_EQ(b.info[5], 1);
  EXPECT_EQ(b.info[6], 1);
  EXPECT_EQ(b.elen, a.elen);
  EXPECT_EQ(b.last, a.last);
  EXPECT_EQ(b.nv, a.nv);
  EXPECT_EQ(b.pe, a.pe);

  // And as coordinates given in the upper triangle, mirrored: they are
  // ignored and counted, so nothing is left.
  const Ordering u = order(4, {1, 1, 2, 2}, {3, 4, 3, 4});
  EXPECT_EQ(u.info[0], -4);
  EXPECT_EQ(u.info[5], 4);

  // The path 1-2-3-4-5.
  const Ordering p = order(5, {2, 3, 4, 5}, {1, 2, 3, 4});
  EXPECT_EQ(p.elen, (V{4, 5, 3, 2, 1}));
  EXPECT_EQ(p.nv, (V{0, 2, 2, 2, 2}));
  EXPECT_EQ(p.pe, (V{-2, 0, -2, -3, -4}));
}

TEST(Mc47Ordering, RealMatrixByCoordinatesAndByColumnsAgree) {
  const tbl::test::Coo a = tbl::test::read_mtx(tbl::test::matrix_path("bcsstk01.mtx"));
  const fint n = a.nrows;
  // By coordinates, in the file's order (lower triangle with the diagonal).
  const Ordering c = order(n, a.row, a.col);
  // By columns.
  std::vector<fint> starts(static_cast<std::size_t>(n) + 1, 0), rows;
  for (fint j = 1; j <= n; ++j) {
    starts[static_cast<std::size_t>(j - 1)] = static_cast<fint>(rows.size()) + 1;
    for (int k = 0; k < a.nnz(); ++k)
      if (a.col[k] == j) rows.push_back(a.row[k]);
  }
  starts[static_cast<std::size_t>(n)] = static_cast<fint>(rows.size()) + 1;
  const Ordering k = order(n, rows, {}, starts);
  ASSERT_EQ(c.info[0], 1);  // the diagonal was ignored
  EXPECT_EQ(c.info[6], n);
  EXPECT_EQ(k.info[6], n);
  EXPECT_EQ(c.elen, k.elen);
  EXPECT_EQ(c.pe, k.pe);
  EXPECT_EQ(c.nv, k.nv);

  // A permutation with its inverse, and fronts that count every variable
  // once.
  std::vector<int> seen(static_cast<std::size_t>(n), 0);
  for (fint i = 1; i <= n; ++i) {
    const fint pos = c.elen[static_cast<std::size_t>(i - 1)];
    ASSERT_GE(pos, 1);
    ASSERT_LE(pos, n);
    EXPECT_EQ(c.last[static_cast<std::size_t>(pos - 1)], i);
    seen[static_cast<std::size_t>(pos - 1)] += 1;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n);

  // The minimum room, 8N + 2 x (entries kept), is enough; one less is not.
  const fint kept = a.nnz() - n;
  const Ordering tight = order(n, rows, {}, starts, 8 * n + 2 * kept);
  EXPECT_EQ(tight.info[0], 1);
  EXPECT_EQ(tight.elen, c.elen);
  EXPECT_GE(tight.info[1], 1);  // it had to compress
  EXPECT_EQ(order(n, rows, {}, starts, 8 * n + 2 * kept - 1).info[0], -2);
}

TEST(Mc47Checks, FailuresBeforeAnyOrdering) {
  EXPECT_EQ(order(0, {1}, {1}).info[0], -1);
  // Coordinates need N + 2 NE + 1 (MC49AD's work follows the two index
  // arrays); columns N + NE.
  EXPECT_EQ(order(3, {2, 3}, {1, 1}, {}, 3 + 4).info[0], -2);
  EXPECT_EQ(order(3, {2, 3}, {1, 1}, {}, 3 + 4 + 1).info[0], -2);  // later, for the kernel's room
  EXPECT_EQ(order(3, {2, 3}, {}, {1, 3, 3, 3}, 3 + 1).info[0], -2);
  // Pointers that decrease, or run past the NE entries given.
  EXPECT_EQ(order(3, {2, 3, 3}, {}, {1, 3, 2, 4}).info[0], -3);
  EXPECT_EQ(order(3, {2, 3, 3}, {}, {1, 2, 3, 5}).info[0], -3);
  // The columns before the failing one are counted: a diagonal entry in
  // column 1, an upper-triangle one in column 2, then column 3 decreases.
  const Ordering partial = order(3, {1, 1, 3, 2}, {}, {1, 2, 4, 3});
  EXPECT_EQ(partial.info[0], -3);
  EXPECT_EQ(partial.info[5], 1);
  EXPECT_EQ(partial.info[6], 1);
  // Lengths near the top of the integer range must not wrap into a pass:
  // N + 2 NE + 1 and N + NE exceed 32 bits here.
  {
    std::vector<fint> pe = {0, 0, 0}, iw(16, 1);
    fint info[7];
    const fint mp = 0, iwlen = 16;
    for (const auto& [n, ne, first] : {std::tuple<fint, fint, fint>{1, 1200000000, 0}, {2, INT_MAX - 1, 1}}) {
      pe[0] = first;
      MC47AD(&n, &ne, pe.data(), iw.data(), &iwlen, &mp, info);
      EXPECT_EQ(info[0], -2) << "NE " << ne;
    }
  }
  // Only the diagonal: nothing to order.
  const Ordering d = order(3, {1, 2, 3}, {1, 2, 3});
  EXPECT_EQ(d.info[0], -4);
  EXPECT_EQ(d.info[6], 3);
  // Every entry out of range.
  EXPECT_EQ(order(3, {7, -1}, {1, 1}).info[0], -4);
}

TEST(Mc47Monitoring, EntryAndExitTexts) {
  const auto r = tbl::test::run_in_child([] {
    order(3, {2, 3}, {1, 1}, {}, -1, 6);
    order(2, {2}, {}, {1, 2, 2}, -1, 6);
    // Decreasing pointers: every column is still listed, then the call
    // fails without exit monitoring.
    order(2, {2, 1}, {}, {1, 3, 2}, -1, 6);
    std::fflush(stdout);
  });
  // The star 1-2, 1-3: 3 goes first, then 1 with 2 eliminated in its
  // step; the path 1-2: 2 with 1 in one step.  Peak storage: the pattern
  // plus the one entry of the element built at the end of IW.
  EXPECT_EQ(r.out,
            "\nEntry to MC47A/AD\n"
            "Matrix of order         3 with         2 entries\n"
            "Matrix input in coordinate form\n"
            "Row and column indices\n"
            "       2       1           3       1\n"
            "\nExit from MC47A/AD\n"
            "INFO(1-7):\n"
            "         0         0        29         0         0         0         0\n"
            "Parent array\n"
            "         0        -1        -1\n"
            "Permutation\n"
            "         3         2         1\n"
            "Inverse permutation\n"
            "         3         2         1\n"
            "Degree array\n"
            "         2         0         2\n"
            "\nEntry to MC47A/AD\n"
            "Matrix of order         2 with         1 entries\n"
            "Matrix input by columns\n"
            "Column   1\n"
            "       2\n"
            "Column   2\n"
            "\nExit from MC47A/AD\n"
            "INFO(1-7):\n"
            "         0         0        18         0         0         0         0\n"
            "Parent array\n"
            "        -2         0\n"
            "Permutation\n"
            "         1         2\n"
            "Inverse permutation\n"
            "         1         2\n"
            "Degree array\n"
            "         0         2\n"
            "\nEntry to MC47A/AD\n"
            "Matrix of order         2 with         2 entries\n"
            "Matrix input by columns\n"
            "Column   1\n"
            "       2       1\n"
            "Column   2\n");
}

TEST(Mc47Expand, MirrorsTheLowerTriangleInPlace) {
  // Columns of a 3 x 3 lower triangle with the diagonal, values attached;
  // room for the mirrored entries at the end.
  const fint n = 3;
  std::vector<fint> ip = {1, 4, 6, 7}, irn = {3, 1, 2, 2, 3, 3, 0, 0, 0}, w(3);
  std::vector<double> a = {31, 11, 21, 22, 32, 33, 0, 0, 0};
  const tbl::logical yes = tbl::kTrue;
  MC47_EXPAND_PATTERN(&n, irn.data(), ip.data(), &yes, a.data(), w.data());
  // Each column: its mirrored entries in increasing order, then its own.
  EXPECT_EQ(ip, (V{1, 4, 7, 10}));
  EXPECT_EQ(irn, (V{3, 1, 2, 1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(a, (std::vector<double>{31, 11, 21, 21, 22, 32, 31, 32, 33}));
}

TEST(Mc49Counts, RecordWhatTheLastCallDid) {
  const auto& c = tbl::MC49_COUNTS;
  fint ind = 1, nc = 2, nr = 2, nnz = 3, la = 3, lip = 3, liw = 3, iflag = 0;
  const tbl::logical yes = tbl::kTrue;
  std::vector<fint> irn = {0, 2, 2}, jcn = {1, 1, 1}, ip(3), iw(3);
  std::vector<double> a = {1, 2, 3};
  MC49AD(&ind, &nc, &nr, &nnz, irn.data(), jcn.data(), &yes, &la, a.data(), &lip, ip.data(), &liw, iw.data(), &iflag);
  EXPECT_EQ(iflag, 1);
  EXPECT_EQ(c.irnout, 1);
  EXPECT_EQ(c.jcnout, 0);
  EXPECT_EQ(c.ndup, 1);
  EXPECT_EQ(c.kne, 1);
  // A failing call clears them.
  nnz = 0;
  MC49AD(&ind, &nc, &nr, &nnz, irn.data(), jcn.data(), &yes, &la, a.data(), &lip, ip.data(), &liw, iw.data(), &iflag);
  EXPECT_EQ(iflag, -2);
  EXPECT_EQ(c.irnout + c.jcnout + c.ndup + c.kne, 0);
}

}  // namespace
