#include "engine/svd.h"

#include <Eigen/SVD>
#include <algorithm>
#include <atomic>
#include <complex>

#include "engine/qubit_tensor.h"

#ifdef VELORIN_HAVE_LAPACKE
#define lapack_complex_float std::complex<float>
#define lapack_complex_double std::complex<double>
#include <cblas.h>
#include <lapacke.h>
#endif

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

#ifdef VELORIN_HAVE_LAPACKE
// OpenBLAS's own threads wait by spinning and yielding, beside OpenMP's:
// measured, they cost more than they gain at every size the engine splits,
// so it runs on the caller's thread alone, from load on.
const bool kOpenBlasSingleThreaded = [] {
  openblas_set_num_threads(1);
  return true;
}();
#endif

#ifdef VELORIN_HAVE_LAPACKE
bool LapackSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh) {
  const lapack_int rows = static_cast<lapack_int>(a.rows());
  const lapack_int cols = static_cast<lapack_int>(a.cols());
  const lapack_int k = std::min(rows, cols);
  Matrix work = a;  // overwritten
  values.resize(k);
  u.resize(rows, k);
  vh.resize(k, cols);
  const lapack_int info =
      LAPACKE_zgesdd(LAPACK_COL_MAJOR, 'S', rows, cols, work.data(), rows, values.data(),
                     u.data(), rows, vh.data(), k);
  return info == 0;
}
#endif

}  // namespace

void MultiplyInto(const Matrix& a, const Matrix& b, Matrix& out) {
#ifdef VELORIN_HAVE_LAPACKE
  if (a.rows() * a.cols() * b.cols() >= kBlasMinWork && a.cols() == b.rows() &&
      &out != &a && &out != &b) {
    out.resize(a.rows(), b.cols());
    const Complex one(1.0, 0.0), zero(0.0, 0.0);
    cblas_zgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<blasint>(a.rows()),
                static_cast<blasint>(b.cols()), static_cast<blasint>(a.cols()), &one, a.data(),
                static_cast<blasint>(std::max<Eigen::Index>(a.rows(), 1)), b.data(),
                static_cast<blasint>(std::max<Eigen::Index>(b.rows(), 1)), &zero, out.data(),
                static_cast<blasint>(std::max<Eigen::Index>(out.rows(), 1)));
    return;
  }
#endif
  out.noalias() = a * b;
}

bool HaveLapack() {
#ifdef VELORIN_HAVE_LAPACKE
  return true;
#else
  return false;
#endif
}

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
#ifdef VELORIN_HAVE_LAPACKE
  if (method == SvdMethod::kLapack) {
    if (LapackSvd(a, values, u, vh)) return SvdMethod::kLapack;
    method = SvdMethod::kJacobi;  // no convergence: the slow, sure method
  }
#else
  if (method == SvdMethod::kLapack) method = SvdMethod::kDivideAndConquer;
#endif
  if (method == SvdMethod::kJacobi) {
    EigenSvd<Eigen::JacobiSVD<Matrix>>(a, values, u, vh);
  } else {
    EigenSvd<Eigen::BDCSVD<Matrix>>(a, values, u, vh);
  }
  return method;
}

}  // namespace velorin
