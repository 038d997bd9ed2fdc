// MA57BD on real matrices: the inertia the collection records, and
// L D L^T z = A z for the factors, under each pivoting control that applies.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "ma57_factor_support.hpp"

namespace {

using ma57test::Analysis;
using ma57test::Controls;
using ma57test::Factors;
using ma57test::Problem;

struct Known {
  std::string file;  // in tests/data/matrices
  tbl::fint negative;  // -1: singular
};

void PrintTo(const Known& k, std::ostream* os) { *os << k.file; }

class Ma57bdMatrices : public ::testing::TestWithParam<Known> {};

// The file name without its extension, as the test's name.
std::string matrix_name(const ::testing::TestParamInfo<Known>& info) {
  std::string name = info.param.file.substr(0, info.param.file.find('.'));
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

TEST_P(Ma57bdMatrices, InertiaAndProduct) {
  const Known& k = GetParam();
  Problem p = ma57test::load_problem(tbl::test::matrix_path(k.file));
  Controls c;
  Analysis a = ma57test::analyse(p, c);
  ASSERT_GE(a.info[0], 0);
  Factors f = ma57test::factorise(p, c, a);
  if (k.negative < 0) {
    EXPECT_EQ(f.info[0], 4);
    EXPECT_LT(f.info[24], p.n);
  } else {
    ASSERT_EQ(f.info[0], 0);
    EXPECT_EQ(f.info[24], p.n);
    EXPECT_EQ(f.info[23], k.negative);
  }
  EXPECT_LT(ma57test::product_error(p, f.fact.data(), f.ifact.data(), f.info[24]), 1e-10);
  // The lengths reported suffice for a rerun with the same factors.
  Factors g = ma57test::factorise(p, c, a, f.info[16], f.info[17]);
  EXPECT_EQ(g.info[0], f.info[0]);
  EXPECT_EQ(g.info[14], f.info[14]);
  if (k.negative == 0) {
    // Definite: no pivoting needed, and neither control without it may
    // fail.
    for (tbl::fint mode : {2, 3}) {
      c.icntl[6] = mode;
      Factors h = ma57test::factorise(p, c, a);
      EXPECT_EQ(h.info[0], 0) << "ICNTL(7) = " << mode;
      EXPECT_EQ(h.info[25], 0);
      EXPECT_LT(ma57test::product_error(p, h.fact.data(), h.ifact.data(), p.n), 1e-10);
    }
    // Modification keeps every pivot positive (it may still raise pivots
    // that are small against the largest diagonal entry).
    c.icntl[6] = 4;
    Factors h = ma57test::factorise(p, c, a);
    EXPECT_EQ(h.info[0], 0);
    EXPECT_EQ(h.info[23], 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Small, Ma57bdMatrices,
    ::testing::Values(Known{"LFAT5.mtx", 0}, Known{"bcsstk01.mtx", 0}, Known{"tumorAntiAngiogenesis_2.mtx", 122}),
    matrix_name);

INSTANTIATE_TEST_SUITE_P(Larger, Ma57bdMatrices,
                         ::testing::Values(Known{"494_bus.mtx", 0}, Known{"reorientation_1.mtx", 281},
                                           Known{"hangGlider_2.mtx", 733}, Known{"kkt_cont050.mtx", 2401},
                                           Known{"zenios.mtx", -1}),
                         matrix_name);

}  // namespace
