// The split's decomposition methods agree with each other, and the BLAS
// product with Eigen's.
#include <gtest/gtest.h>

#include <Eigen/QR>
#include <Eigen/SVD>
#include <cmath>
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
  const Shape shape = GetParam();
  for (uint64_t seed = 1; seed <= 3; ++seed) {
    const Matrix a = RandomMatrix(shape.rows, shape.cols, seed * 100 + shape.rows);
    Eigen::VectorXd lapack_values, eigen_values;
    Matrix u, vh, eu, evh;
    ASSERT_EQ(ThinSvd(a, lapack_values, u, vh, SvdMethod::kLapack), SvdMethod::kLapack);
    ThinSvd(a, eigen_values, eu, evh, SvdMethod::kJacobi);
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

// A random unitary of dimension n (QR of a Gaussian matrix).
Matrix RandomUnitary(Eigen::Index n, uint64_t seed) {
  return Eigen::HouseholderQR<Matrix>(RandomMatrix(n, n, seed)).householderQ();
}

// u * diag(values) * vh == a, orthonormal u and vh rows, values descending.
void ExpectThinSvdOf(const Matrix& a, const Eigen::VectorXd& values, const Matrix& u,
                     const Matrix& vh) {
  const Eigen::Index k = std::min(a.rows(), a.cols());
  ASSERT_EQ(values.size(), k);
  ASSERT_EQ(u.rows(), a.rows());
  ASSERT_EQ(u.cols(), k);
  ASSERT_EQ(vh.rows(), k);
  ASSERT_EQ(vh.cols(), a.cols());
  for (Eigen::Index i = 1; i < k; ++i) EXPECT_LE(values[i], values[i - 1]);
  EXPECT_LT((u * values.asDiagonal() * vh - a).norm(), 1e-14 * std::max(a.norm(), 1.0) * k);
  EXPECT_LT((u.adjoint() * u - Matrix::Identity(k, k)).norm(), 1e-14 * k);
  EXPECT_LT((vh * vh.adjoint() - Matrix::Identity(k, k)).norm(), 1e-14 * k);
}

class SmallSvdShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(SmallSvdShapes, AgreesWithEigenAndReconstructs) {
  const Shape shape = GetParam();
  for (uint64_t seed = 1; seed <= 5; ++seed) {
    const Matrix a = RandomMatrix(shape.rows, shape.cols, seed * 31 + shape.rows * 7 + shape.cols);
    Eigen::VectorXd values;
    Matrix u, vh;
    ASSERT_TRUE(SmallSvd(a, values, u, vh));
    ExpectThinSvdOf(a, values, u, vh);
    const Eigen::JacobiSVD<Matrix> reference(a);
    for (Eigen::Index i = 0; i < values.size(); ++i) {
      EXPECT_NEAR(values[i], reference.singularValues()[i], 1e-14 * values[0]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, SmallSvdShapes,
                         ::testing::Values(Shape{1, 1}, Shape{2, 2}, Shape{1, 2}, Shape{2, 1},
                                           Shape{4, 4}, Shape{2, 4}, Shape{4, 2}, Shape{6, 6},
                                           Shape{8, 8}, Shape{8, 16}, Shape{16, 8},
                                           Shape{3, 5}, Shape{7, 2}));

TEST(SmallSvd, TinyValuesKeepTheirRelativeAccuracy) {
  // Orthogonal columns (or rows) of norms across twelve orders of magnitude:
  // the smallest must come out to a few ulps of itself, not of the largest, so
  // that the truncation sees them as they are.
  const double exact[] = {1.0, 3e-3, 1e-4, 2e-9, 5e-13};
  const Eigen::Index n = 5;
  Eigen::VectorXd diagonal(n);
  for (Eigen::Index i = 0; i < n; ++i) diagonal[i] = exact[i];
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    const Matrix tall = RandomUnitary(8, seed).leftCols(n) * diagonal.asDiagonal();
    const Matrix wide = diagonal.asDiagonal() * RandomUnitary(8, seed + 50).topRows(n);
    for (const Matrix& a : {tall, wide}) {
      Eigen::VectorXd values;
      Matrix u, vh;
      ASSERT_TRUE(SmallSvd(a, values, u, vh));
      for (Eigen::Index i = 0; i < n; ++i) EXPECT_NEAR(values[i], exact[i], 1e-14 * exact[i]) << i;
      ExpectThinSvdOf(a, values, u, vh);
    }
  }
}

TEST(SmallSvd, RankDeficientAndZeroMatricesGetOrthonormalVectors) {
  // Rank one, equal values (a Bell pair), and all zero: every vector must
  // still be a unit vector orthogonal to the others.
  Matrix rank_one = RandomMatrix(4, 1, 3) * RandomMatrix(1, 4, 4);
  // A merged pair whose left position is certain: the rotations drive two
  // columns to zero through the subnormal numbers unless they stop in time.
  Matrix certain = Matrix::Zero(4, 4);
  certain.row(2) << Complex(-0.019572194202271992, 0.11510150804837989),
      Complex(-0.0098832382425052059, -0.067833738907774943),
      Complex(-0.2668423335715579, 0.87137207055652577),
      Complex(-0.00014004662340517946, -0.0087812079511873087);
  certain.row(3) << Complex(0.33330356571707526, 0.0592869899872688),
      Complex(0.023419664743963252, -0.0032305364210126965),
      Complex(-0.041372980792242622, -0.013014650071157097),
      Complex(-0.1845254070126362, 0.0015395829538005119);
  Matrix bell = Matrix::Zero(2, 2);
  bell(0, 0) = bell(1, 1) = Complex(0.7071067811865476, 0.0);
  for (const Matrix& a : {rank_one, certain, Matrix(certain.transpose()), bell,
                          Matrix(Matrix::Zero(4, 2)), Matrix(Matrix::Zero(2, 6))}) {
    Eigen::VectorXd values;
    Matrix u, vh;
    ASSERT_TRUE(SmallSvd(a, values, u, vh));
    ExpectThinSvdOf(a, values, u, vh);
  }
}

TEST(SmallSvd, ResultDoesNotDependOnTheSplitsBefore) {
  // The working storage is not cleared between calls: every entry the split
  // reads must be one it wrote, so a split after a large one (which leaves
  // its numbers behind on the stack) is bit for bit the split alone.
  const Matrix rank_one = RandomMatrix(4, 1, 5) * RandomMatrix(1, 2, 6);
  const Matrix cases[] = {rank_one, Matrix(rank_one.adjoint()), Matrix(Matrix::Zero(2, 2)),
                          Matrix(Matrix::Zero(3, 5)), RandomMatrix(2, 2, 7), RandomMatrix(1, 3, 8)};
  for (const Matrix& a : cases) {
    Eigen::VectorXd values, again_values;
    Matrix u, vh, again_u, again_vh;
    ASSERT_TRUE(SmallSvd(a, values, u, vh));
    Matrix filler = RandomMatrix(16, 8, 9) * 1e3;
    Eigen::VectorXd filler_values;
    Matrix filler_u, filler_vh;
    ASSERT_TRUE(SmallSvd(filler, filler_values, filler_u, filler_vh));
    ASSERT_TRUE(SmallSvd(Matrix(filler.adjoint()), filler_values, filler_u, filler_vh));
    ASSERT_TRUE(SmallSvd(a, again_values, again_u, again_vh));
    EXPECT_EQ(values, again_values);
    EXPECT_EQ(u, again_u);
    EXPECT_EQ(vh, again_vh);
    ExpectThinSvdOf(a, again_values, again_u, again_vh);
  }
}

TEST(SmallSvd, RefusesLargeOrNonFiniteInput) {
  Eigen::VectorXd values;
  Matrix u, vh;
  EXPECT_FALSE(SmallSvd(RandomMatrix(9, 9, 1), values, u, vh));
  EXPECT_FALSE(SmallSvd(RandomMatrix(17, 4, 1), values, u, vh));
  EXPECT_FALSE(SmallSvd(RandomMatrix(4, 17, 1), values, u, vh));
  EXPECT_FALSE(SmallSvd(Matrix(0, 0), values, u, vh));
  Matrix bad = RandomMatrix(2, 2, 1);
  bad(1, 0) = Complex(std::nan(""), 0.0);
  EXPECT_FALSE(SmallSvd(bad, values, u, vh));
}

TEST(SvdChoice, SmallestByJacobiLargerByLapack) {
  Eigen::VectorXd values;
  Matrix u, vh;
  EXPECT_EQ(ThinSvd(RandomMatrix(2, 2, 1), values, u, vh), SvdMethod::kJacobi);
  EXPECT_EQ(ThinSvd(RandomMatrix(4, 4, 2), values, u, vh), SvdMethod::kJacobi);
  const SvdMethod large = ThinSvd(RandomMatrix(64, 64, 3), values, u, vh);
  EXPECT_EQ(large, SvdMethod::kLapack);
}

// The merged pair after a controlled gate is block diagonal; a
// divide-and-conquer method once got such complex matrices wrong.
TEST(SvdChoice, BlockDiagonalSplitsReconstruct) {
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    const Eigen::Index half = 4 + static_cast<Eigen::Index>(seed % 13);
    Matrix a = Matrix::Zero(2 * half, 2 * half);
    a.topLeftCorner(half, half) = RandomMatrix(half, half, seed);
    a.bottomRightCorner(half, half) = RandomMatrix(half, half, seed + 1000);
    Eigen::VectorXd values;
    Matrix u, vh;
    ThinSvd(a, values, u, vh);
    ASSERT_TRUE(values.allFinite());
    EXPECT_LT((u * values.asDiagonal() * vh - a).norm(), 1e-12 * a.norm()) << "seed " << seed;
    const Eigen::Index k = values.size();
    EXPECT_LT((u.adjoint() * u - Matrix::Identity(k, k)).norm(), 1e-12 * k) << "seed " << seed;
  }
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
