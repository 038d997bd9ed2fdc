#include <gtest/gtest.h>

#include <vector>

#include "sym_ldlt/ma57.hpp"

using tbl::fint;
using V = std::vector<fint>;

namespace {
struct Result {
  V listpos, iw;
  fint free = -1, ncompress = 0;
};

Result compress(V listpos, V iw, fint ncompress = 4) {
  Result r{std::move(listpos), std::move(iw), -1, ncompress};
  const fint n = static_cast<fint>(r.listpos.size()), liw = static_cast<fint>(r.iw.size());
  MA57_COMPRESS_LISTS(&n, r.listpos.data(), r.iw.data(), &liw, &r.free, &r.ncompress);
  return r;
}
}  // namespace

TEST(Ma57CompressLists, KeepsStorageOrderAndDropsDeadLists) {
  // List 5 lies below list 2, list 3 is dead with its words still there,
  // list 1 is empty, list 4 is not stored.
  const V iw = {2, 7, 8, 1, 9, 3, 11, 12, 13, 0, 2, 5, 6};
  Result r = compress({10, 4, 0, -3, 1}, iw);
  EXPECT_EQ(r.ncompress, 5);
  EXPECT_EQ(r.free, 7);
  EXPECT_EQ(r.listpos, V({6, 4, 0, -3, 1}));
  EXPECT_EQ(V(r.iw.begin(), r.iw.begin() + 6), V({2, 7, 8, 1, 9, 0}));

  // Lists separated by gaps are slid down over them.
  r = compress({6, 2}, {0, 1, 4, 0, 0, 2, 3, 5, 0});
  EXPECT_EQ(r.free, 6);
  EXPECT_EQ(r.listpos, V({3, 1}));
  EXPECT_EQ(V(r.iw.begin(), r.iw.begin() + 5), V({1, 4, 2, 3, 5}));
}

TEST(Ma57CompressLists, EmptyOrderOnlyCounts) {
  fint n = 0, liw = 1, free = -1, ncompress = 0;
  fint listpos = 7, iw = 9;
  MA57_COMPRESS_LISTS(&n, &listpos, &iw, &liw, &free, &ncompress);
  EXPECT_EQ(free, 1);
  EXPECT_EQ(ncompress, 1);
  EXPECT_EQ(listpos, 7);
  EXPECT_EQ(iw, 9);
}

TEST(Ma57CompressLists, PositionsOutsideTheStoreAreNotWrittenThrough) {
  // A head beyond the store is left alone; a length running past the end is
  // cut there (the arrays are exactly as long as stated, so the address
  // sanitizer catches any access outside).
  Result r = compress({9, 1}, {5, 1, 2, 3});
  EXPECT_EQ(r.listpos, V({9, 1}));
  EXPECT_EQ(r.iw, V({3, 1, 2, 3}));
  EXPECT_EQ(r.free, 5);
}
