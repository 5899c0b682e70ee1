// The split's decomposition methods agree with each other, and the BLAS
// product with Eigen's.
#include <gtest/gtest.h>

#include <random>

#include "engine/svd.h"

namespace velorin {
namespace {

Matrix RandomMatrix(Eigen::Index rows, Eigen::Index cols, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> gauss;
  Matrix a(rows, cols);
  for (Eigen::Index i = 0; i < a.size(); ++i) a(i) = Complex(gauss(rng), gauss(rng));
  return a;
}

struct Shape {
  Eigen::Index rows, cols;
};

class SvdAgreement : public ::testing::TestWithParam<Shape> {};

TEST_P(SvdAgreement, LapackMatchesEigenAndReconstructs) {
  if (!HaveLapack()) GTEST_SKIP() << "built without LAPACK";
  const Shape shape = GetParam();
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    const Matrix a = RandomMatrix(shape.rows, shape.cols, seed * 100 + shape.rows);
    Eigen::VectorXd lapack_values, eigen_values;
    Matrix u, vh, eu, evh;
    ASSERT_EQ(ThinSvd(a, lapack_values, u, vh, SvdMethod::kLapack), SvdMethod::kLapack);
    ThinSvd(a, eigen_values, eu, evh, SvdMethod::kDivideAndConquer);
    const Eigen::Index k = std::min(shape.rows, shape.cols);
    ASSERT_EQ(lapack_values.size(), k);
    ASSERT_EQ(u.rows(), shape.rows);
    ASSERT_EQ(u.cols(), k);
    ASSERT_EQ(vh.rows(), k);
    ASSERT_EQ(vh.cols(), shape.cols);
    const double largest = eigen_values[0];
    for (Eigen::Index i = 0; i < k; ++i) {
      EXPECT_NEAR(lapack_values[i], eigen_values[i], 1e-12 * largest) << "value " << i;
      if (i > 0) {
        EXPECT_LE(lapack_values[i], lapack_values[i - 1]);
      }
    }
    const Matrix rebuilt = u * lapack_values.asDiagonal() * vh;
    EXPECT_LT((rebuilt - a).norm(), 1e-12 * a.norm() * k);
    EXPECT_LT((u.adjoint() * u - Matrix::Identity(k, k)).norm(), 1e-12 * k);
    EXPECT_LT((vh * vh.adjoint() - Matrix::Identity(k, k)).norm(), 1e-12 * k);
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SvdAgreement,
                         ::testing::Values(Shape{8, 8}, Shape{16, 16}, Shape{18, 18},
                                           Shape{24, 40}, Shape{40, 24}, Shape{64, 64},
                                           Shape{130, 100}, Shape{256, 256}));

TEST(SvdChoice, SmallestByJacobiLargerByLapackWhenBuilt) {
  Eigen::VectorXd values;
  Matrix u, vh;
  EXPECT_EQ(ThinSvd(RandomMatrix(2, 2, 1), values, u, vh), SvdMethod::kJacobi);
  EXPECT_EQ(ThinSvd(RandomMatrix(4, 4, 2), values, u, vh), SvdMethod::kJacobi);
  const SvdMethod large = ThinSvd(RandomMatrix(64, 64, 3), values, u, vh);
  EXPECT_EQ(large, HaveLapack() ? SvdMethod::kLapack : SvdMethod::kDivideAndConquer);
}

TEST(SvdChoice, RankDeficientInputKeepsZeroValuesAtTheEnd) {
  // Two equal halves: rank at most half the rows.
  Matrix a = RandomMatrix(32, 16, 9);
  Matrix doubled(32, 32);
  doubled << a, a;
  Eigen::VectorXd values;
  Matrix u, vh;
  ThinSvd(doubled, values, u, vh);
  for (Eigen::Index i = 16; i < 32; ++i) EXPECT_LT(values[i], 1e-12 * values[0]);
  EXPECT_LT((u * values.asDiagonal() * vh - doubled).norm(), 1e-11 * doubled.norm());
}

TEST(MultiplyInto, MatchesEigenAtEverySize) {
  for (Eigen::Index n : {1, 3, 8, 17, 64, 130}) {
    const Matrix a = RandomMatrix(n, n + 3, 40 + n);
    const Matrix b = RandomMatrix(n + 3, 2 * n, 50 + n);
    Matrix out;
    MultiplyInto(a, b, out);
    const Matrix expected = a * b;
    ASSERT_EQ(out.rows(), expected.rows());
    ASSERT_EQ(out.cols(), expected.cols());
    EXPECT_LT((out - expected).norm(), 1e-12 * expected.norm()) << n;
  }
}

}  // namespace
}  // namespace velorin
