#include <gtest/gtest.h>

#include "interface/fmt.hpp"

using tbl::io::format;
using tbl::io::Ints;
using tbl::io::Reals;

TEST(FormatRecord, ExponentFormsAndScaleFactor) {
  EXPECT_EQ(format("(1P,D12.4)", 123.456), "  1.2346D+02\n");
  EXPECT_EQ(format("(D12.4)", 123.456), "  0.1235D+03\n");
  EXPECT_EQ(format("(1P,D12.4)", 1e-100), "  1.0000-100\n");
  EXPECT_EQ(format("(1P,D12.4)", -0.0), " -0.0000D+00\n");
}

TEST(FormatRecord, IntegerOverflowFillsWithAsterisks) {
  EXPECT_EQ(format("(' INUM =',I3)", -100), " INUM =***\n");
}

TEST(FormatRecord, ReversionAndColon) {
  const int v[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(format("(A,10I6,:,/,(7X,10I6))", "IP", Ints{v, 12}),
            "IP     1     2     3     4     5     6     7     8     9    10\n"
            "           11    12\n");
  const double x[1] = {1.0};
  EXPECT_EQ(format("(' RHS =  ',1P,5D12.4,/,(8X,5D12.4))", Reals{x, 1}), " RHS =    1.0000D+00\n");
}
