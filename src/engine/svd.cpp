#include "engine/svd.h"

#include <Eigen/SVD>
#include <algorithm>
#include <atomic>
#include <complex>
#include <cstdint>
#include <limits>

#include "engine/qubit_tensor.h"
#include "platform/blas.h"

namespace velorin {

namespace {

// Measured by bench/engine_bench.cpp with the default instruction set: the
// Jacobi method is as fast as any up to 4 rows and as divide and conquer up to
// 12 (which hands such sizes to Jacobi itself); zgesdd is the fastest from 8
// rows on, by 3x to 7x.
constexpr Eigen::Index kJacobiMaxRows = 12;
constexpr Eigen::Index kJacobiMaxRowsWithLapack = 4;
constexpr Eigen::Index kLapackMinRows = 8;
// From this many rows more threads shorten a split more than they cost;
// below it they only wait for each other.
constexpr Eigen::Index kParallelMinRows = 768;
// Products of at least this many multiply-adds go to the BLAS.
constexpr Eigen::Index kBlasMinWork = 4096;

template <class Svd>
void EigenSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh) {
  Svd svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
  values = svd.singularValues();
  u = svd.matrixU();
  vh = svd.matrixV().adjoint();
}

// Eigen's thread count is process-wide: set it on change.
void UseThreads(int threads) {
  static std::atomic<int> current{0};
  if (current.exchange(threads) == threads) return;
  Eigen::setNbThreads(threads);
}

bool LapackSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh) {
  const Eigen::Index k = std::min(a.rows(), a.cols());
  Matrix work = a;  // overwritten
  values.resize(k);
  u.resize(a.rows(), k);
  vh.resize(k, a.cols());
  return LapackSvdInto(a.rows(), a.cols(), work.data(), values.data(), u.data(), vh.data());
}

}  // namespace

bool LapackSvdInto(Eigen::Index rows, Eigen::Index cols, Complex* a, double* values, Complex* u,
                   Complex* vh) {
  const platform::BlasLibrary* blas = platform::Blas();
  if (blas == nullptr || rows < 1 || cols < 1 ||
      std::max(rows, cols) > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  const int32_t m = static_cast<int32_t>(rows);
  const int32_t n = static_cast<int32_t>(cols);
  const int32_t k = std::min(m, n);
  platform::SetBlasThreads(ThreadsForRows(rows));
  return blas->zgesdd(platform::kBlasColumnMajor, 'S', m, n, a, m, values, u, m, vh, k) == 0;
}

void MultiplyInto(const Matrix& a, const Matrix& b, Matrix& out) {
  constexpr Eigen::Index kIntMax = std::numeric_limits<int32_t>::max();
  const platform::BlasLibrary* blas = nullptr;
  if (a.rows() * a.cols() * b.cols() >= kBlasMinWork && a.cols() == b.rows() && &out != &a &&
      &out != &b && std::max({a.rows(), a.cols(), b.cols()}) <= kIntMax &&
      (blas = platform::Blas()) != nullptr) {
    out.resize(a.rows(), b.cols());
    const Complex one(1.0, 0.0), zero(0.0, 0.0);
    const auto dim = [](Eigen::Index n) { return static_cast<int32_t>(n); };
    blas->zgemm(platform::kBlasColumnMajor, platform::kBlasNoTrans, platform::kBlasNoTrans,
                dim(a.rows()), dim(b.cols()), dim(a.cols()), &one, a.data(),
                dim(std::max<Eigen::Index>(a.rows(), 1)), b.data(),
                dim(std::max<Eigen::Index>(b.rows(), 1)), &zero, out.data(),
                dim(std::max<Eigen::Index>(out.rows(), 1)));
    return;
  }
  out.noalias() = a * b;
}

bool HaveLapack() { return platform::Blas() != nullptr; }

int ThreadsForRows(Eigen::Index rows) {
  return rows >= kParallelMinRows ? static_cast<int>(std::max<uint64_t>(gNumThreads, 1)) : 1;
}

SvdMethod ThinSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh,
                  SvdMethod method) {
  UseThreads(ThreadsForRows(a.rows()));
  if (method == SvdMethod::kAuto) {
    if (a.rows() <= (HaveLapack() ? kJacobiMaxRowsWithLapack : kJacobiMaxRows)) {
      method = SvdMethod::kJacobi;
    } else if (HaveLapack() && a.rows() >= kLapackMinRows) {
      method = SvdMethod::kLapack;
    } else {
      method = SvdMethod::kDivideAndConquer;
    }
  }
  if (method == SvdMethod::kLapack) {
    if (!HaveLapack()) {
      method = SvdMethod::kDivideAndConquer;
    } else if (LapackSvd(a, values, u, vh)) {
      return SvdMethod::kLapack;
    } else {
      method = SvdMethod::kJacobi;  // no convergence: the slow, sure method
    }
  }
  if (method == SvdMethod::kJacobi) {
    EigenSvd<Eigen::JacobiSVD<Matrix>>(a, values, u, vh);
  } else {
    EigenSvd<Eigen::BDCSVD<Matrix>>(a, values, u, vh);
  }
  return method;
}

}  // namespace velorin
