// The split's decomposition reads and writes only inside the blocks it is
// given: each block ends right before a page that cannot be touched, so a
// read or write past its end, ours or the library's, ends the test.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <random>
#include <vector>

#include "engine/svd.h"

namespace velorin {
namespace {

// `count` elements of T that end exactly where an inaccessible page begins.
template <class T>
class GuardedBlock {
 public:
  explicit GuardedBlock(size_t count) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = count * sizeof(T);
    const size_t usable = (bytes + page - 1) / page * page;
    length_ = usable + page;
    void* base = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    base_ = static_cast<char*>(base);
    if (mprotect(base_ + usable, page, PROT_NONE) != 0) {
      munmap(base_, length_);
      throw std::bad_alloc();
    }
    data_ = reinterpret_cast<T*>(base_ + usable - bytes);
  }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;
  ~GuardedBlock() { munmap(base_, length_); }
  T* data() { return data_; }

 private:
  char* base_ = nullptr;
  size_t length_ = 0;
  T* data_ = nullptr;
};

Matrix RandomMatrix(Eigen::Index rows, Eigen::Index cols, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> gauss;
  Matrix a(rows, cols);
  for (Eigen::Index i = 0; i < a.size(); ++i) a(i) = Complex(gauss(rng), gauss(rng));
  return a;
}

// Decomposes `a` in guarded blocks and checks the factors against it.
void CheckGuardedSplitOf(const Matrix& a) {
  const Eigen::Index rows = a.rows();
  const Eigen::Index cols = a.cols();
  const Eigen::Index k = std::min(rows, cols);
  GuardedBlock<Complex> work(static_cast<size_t>(rows * cols));
  GuardedBlock<double> values(static_cast<size_t>(k));
  GuardedBlock<Complex> u(static_cast<size_t>(rows * k));
  GuardedBlock<Complex> vh(static_cast<size_t>(k * cols));
  std::memcpy(static_cast<void*>(work.data()), a.data(), sizeof(Complex) * a.size());
  // On a thread of its own, whose reused library storage is new and sized
  // for this split alone: under a guard-page allocator it then ends where
  // its slack ends.
  bool converged = false;
  std::thread split([&] {
    converged = LapackSvdInto(rows, cols, work.data(), values.data(), u.data(), vh.data());
  });
  split.join();
  ASSERT_TRUE(converged) << rows << "x" << cols;
  const Eigen::Map<Matrix> u_map(u.data(), rows, k);
  const Eigen::Map<Matrix> vh_map(vh.data(), k, cols);
  const Eigen::Map<Eigen::VectorXd> s(values.data(), k);
  const double scale = a.norm() * static_cast<double>(k);
  EXPECT_LT((u_map * s.asDiagonal() * vh_map - a).norm(), 1e-12 * scale) << rows << "x" << cols;
  for (Eigen::Index i = 1; i < k; ++i) EXPECT_LE(s[i], s[i - 1]);
  EXPECT_LT((u_map.adjoint() * u_map - Matrix::Identity(k, k)).norm(), 1e-12 * k);
}

void CheckGuardedSplit(Eigen::Index rows, Eigen::Index cols) {
  CheckGuardedSplitOf(RandomMatrix(rows, cols, static_cast<uint64_t>(rows * 1000 + cols)));
}

TEST(GuardedSplit, TheBuildDecomposesThroughLapack) { EXPECT_TRUE(HaveLapack()); }

struct Shape {
  Eigen::Index rows, cols;
};

class GuardedSplitShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(GuardedSplitShapes, StaysInsideItsBlocks) {
  CheckGuardedSplit(GetParam().rows, GetParam().cols);
}

// Shapes on which a library release read past the end of the matrix.
INSTANTIATE_TEST_SUITE_P(Known, GuardedSplitShapes,
                         ::testing::Values(Shape{188, 246}, Shape{246, 188}, Shape{100, 150},
                                           Shape{17, 29}, Shape{12, 20}, Shape{256, 256},
                                           Shape{300, 400}));

TEST(GuardedSplit, EverySmallShape) {
  for (Eigen::Index rows = 1; rows <= 32; ++rows) {
    for (Eigen::Index cols = 1; cols <= 32; ++cols) {
      CheckGuardedSplit(rows, cols);
      if (HasFatalFailure()) return;
    }
  }
}

// Structured matrices take paths of the library that dense random ones never
// do: an upper-triangular matrix with a real diagonal has Householder
// reflections with tau = 0, on which some kernels read past a vector's end.
Matrix UpperTriangularRealDiagonal(Eigen::Index rows, Eigen::Index cols, uint64_t seed) {
  Matrix a = RandomMatrix(rows, cols, seed);
  for (Eigen::Index j = 0; j < cols; ++j) {
    for (Eigen::Index i = j; i < rows; ++i) a(i, j) = Complex(i == j ? 1.0 + j : 0.0, 0.0);
  }
  return a;
}

Matrix WithZeroColumns(Eigen::Index rows, Eigen::Index cols, uint64_t seed) {
  Matrix a = RandomMatrix(rows, cols, seed);
  for (Eigen::Index j = 0; j < cols; j += 2) a.col(j).setZero();
  return a;
}

Matrix RankOne(Eigen::Index rows, Eigen::Index cols, uint64_t seed) {
  return RandomMatrix(rows, 1, seed) * RandomMatrix(1, cols, seed + 1);
}

// The merged pair of a product state: one nonzero entry per row pair.
Matrix ProductStateSplit(Eigen::Index rows, Eigen::Index cols, uint64_t) {
  Matrix a = Matrix::Zero(rows, cols);
  a(0, 0) = Complex(1.0, 0.0);
  return a;
}

struct Structure {
  const char* name;
  Matrix (*make)(Eigen::Index, Eigen::Index, uint64_t);
};

class GuardedStructuredSplits : public ::testing::TestWithParam<Structure> {};

TEST_P(GuardedStructuredSplits, StayInsideTheirBlocks) {
  const Shape shapes[] = {{32, 16}, {64, 32}, {17, 9},  {20, 12}, {16, 32}, {8, 8},
                          {9, 17},  {33, 33}, {48, 24}, {128, 64}, {5, 3}, {64, 128}};
  uint64_t seed = 1;
  for (const Shape& shape : shapes) {
    CheckGuardedSplitOf(GetParam().make(shape.rows, shape.cols, seed++));
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Structures, GuardedStructuredSplits,
    ::testing::Values(Structure{"upper_triangular", UpperTriangularRealDiagonal},
                      Structure{"zero_columns", WithZeroColumns}, Structure{"rank_one", RankOne},
                      Structure{"product_state", ProductStateSplit}),
    [](const ::testing::TestParamInfo<Structure>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velorin
