// The thin singular value decomposition behind the truncated split.
#pragma once

#include <Eigen/Core>

#include "circuit/gate_matrices.h"

namespace velorin {

enum class SvdMethod { kAuto, kJacobi, kLapack };

// a = u * diag(values) * vh with values descending, u rows x k and vh k x cols,
// k = min(rows, cols). kAuto: Jacobi for the smallest, LAPACK's zgesdd above
// (Jacobi when it does not converge). Returns the method used. Throws
// std::logic_error when no LAPACK is loaded: no other method is trusted with
// the large splits.
SvdMethod ThinSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh,
                  SvdMethod method = SvdMethod::kAuto);

// The thin SVD of a small matrix (at most kSmallSvdMaxSide rows or columns on
// its shorter side and kSmallSvdMaxLongSide on the longer) by one-sided Jacobi
// rotations: every singular value to working precision, relative to itself,
// and no heap storage once the outputs have their shapes. False when the matrix
// is larger or holds a value that is not finite; the outputs are then undefined.
inline constexpr Eigen::Index kSmallSvdMaxSide = 8;
inline constexpr Eigen::Index kSmallSvdMaxLongSide = 16;
bool SmallSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh);

// zgesdd as the split runs it, reading and writing only the caller's exactly
// sized blocks: `a` (rows x cols, column-major, leading dimension rows),
// `values` min(rows, cols) entries, `u` rows x k and `vh` k x cols. The library
// works on padded copies. False when the method did not converge; throws
// std::logic_error when no library is loaded.
bool LapackSvdInto(Eigen::Index rows, Eigen::Index cols, const Complex* a, double* values,
                   Complex* u, Complex* vh);

// MultiplyInto's path for large products: the BLAS when one is loaded.
void MultiplyIntoLarge(const Matrix& a, const Matrix& b, Matrix& out);

// Products of at least this many multiply-adds go to the BLAS.
constexpr Eigen::Index kBlasMinWork = 4096;

// out := a * b; large products go to the BLAS (its kernels are chosen for the
// processor at run time, Eigen's at build time). Small ones, by far the most
// common in a replayed shot, stay inline in the caller.
inline void MultiplyInto(const Matrix& a, const Matrix& b, Matrix& out) {
  if (a.rows() * a.cols() * b.cols() < kBlasMinWork) {
    out.noalias() = a * b;
  } else {
    MultiplyIntoLarge(a, b, out);
  }
}

// Whether a LAPACK library has been loaded (platform::LoadBlas).
bool HaveLapack();

// Threads for the work around one split of a merged matrix of `rows` rows:
// one below a size where more pay off, and one on a thread under SerialMath;
// else the engine's thread count, bounded by the cores free at the moment.
int ThreadsForRows(Eigen::Index rows);

// While one lives, the splits made on its thread use that thread alone: shots
// that run side by side must not each start a pool. With `set_libraries` it
// also sets the libraries' process-wide thread counts to one; the thread that
// starts the others does so first, so that none of them changes the counts.
class SerialMath {
 public:
  explicit SerialMath(bool set_libraries);
  ~SerialMath();
  SerialMath(const SerialMath&) = delete;
  SerialMath& operator=(const SerialMath&) = delete;

 private:
  bool previous_;
};

}  // namespace velorin
