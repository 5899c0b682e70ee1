#include "engine/svd.h"

#include <Eigen/SVD>
#include <algorithm>
#include <cmath>
#include <atomic>
#include <complex>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/qubit_tensor.h"
#include "platform/blas.h"
#include "platform/fork.h"
#include "platform/threads.h"

namespace velorin {

namespace {

constexpr const char* kNoLapack =
    "LAPACK is not loaded: the host must open scipy-openblas32 first (platform::LoadBlas)";

// Measured by bench/engine_bench.cpp with the default instruction set: the
// Jacobi method is as fast as any up to 4 rows; zgesdd is the fastest from 8
// rows on, by 3x to 7x.
constexpr Eigen::Index kJacobiMaxRows = 4;
// From this many rows more threads shorten a split more than they cost
// (bench/engine_bench.cpp: two threads take 0.7 of the time at 512 rows, six
// 0.5); below it they mostly wait for each other.
constexpr Eigen::Index kParallelMinRows = 512;

// Set on a thread whose splits must stay on it (see SerialMath).
thread_local bool tSerialMath = false;

// Eigen's thread count is process-wide: set it on change.
void UseThreads(int threads) {
  static std::atomic<int> current{0};
  if (current.exchange(threads) == threads) return;
  Eigen::setNbThreads(threads);
}

// Storage handed to the library, reused by each thread's splits. Every block
// has slack past its end: some kernels read an element beyond the end of a
// vector (zscal on the path from zgesdd through zungbr, with the AVX2 and
// AVX-512 kernels), and another allocator or a guard page may sit right there.
class LapackWorkspace {
 public:
  Complex* A(size_t n) { return Fit(a_, n); }
  Complex* U(size_t n) { return Fit(u_, n); }
  Complex* Vt(size_t n) { return Fit(vt_, n); }
  Complex* Work(size_t n) { return Fit(work_, n); }
  double* S(size_t n) { return Fit(s_, n); }
  double* Rwork(size_t n) { return Fit(rwork_, n); }
  int32_t* Iwork(size_t n) { return Fit(iwork_, n); }

 private:
  static constexpr size_t kSlackBytes = 128;  // two cache lines

  template <class T>
  static T* Fit(std::vector<T>& block, size_t n) {
    const size_t wanted = n + kSlackBytes / sizeof(T);
    if (block.size() < wanted) {
      block.clear();
      block.shrink_to_fit();  // never hold two copies at once
      block.resize(wanted);
    }
    return block.data();
  }

  std::vector<Complex> a_, u_, vt_, work_;
  std::vector<double> s_, rwork_;
  std::vector<int32_t> iwork_;
};

LapackWorkspace& ThreadWorkspace() {
  thread_local LapackWorkspace workspace;
  return workspace;
}

// zgesdd with jobz 'S' on a copy of `a` in padded storage; the factors are
// copied out to the caller's exactly sized blocks. False when the method did
// not converge.
bool PaddedLapackSvd(const platform::BlasLibrary& blas, int32_t m, int32_t n, const Complex* a,
                     double* values, Complex* u, Complex* vh) {
  const size_t rows = static_cast<size_t>(m);
  const size_t cols = static_cast<size_t>(n);
  const size_t k = std::min(rows, cols);
  const size_t most = std::max(rows, cols);
  LapackWorkspace& space = ThreadWorkspace();
  Complex* work_a = space.A(rows * cols);
  std::copy(a, a + rows * cols, work_a);
  Complex* work_u = space.U(rows * k);
  Complex* work_vt = space.Vt(k * cols);
  double* work_s = space.S(k);
  // The sizes LAPACK documents for jobz 'S' (from 3.7 on).
  double* rwork = space.Rwork(std::max<size_t>(1, k * std::max(5 * k + 7, 2 * most + 2 * k + 1)));
  int32_t* iwork = space.Iwork(8 * k);
  const int32_t ldvt = static_cast<int32_t>(k);
  // The library holds locks of its own while it works; a fork must not copy
  // them held, or the child hangs in the library's exit.
  const platform::HoldOffFork hold;
  Complex query(0.0, 0.0);
  if (blas.zgesdd_work(platform::kBlasColumnMajor, 'S', m, n, work_a, m, work_s, work_u, m,
                       work_vt, ldvt, &query, -1, rwork, iwork) != 0) {
    return false;
  }
  const double optimal = std::max(query.real(), 1.0);
  if (!(optimal < static_cast<double>(std::numeric_limits<int32_t>::max()))) return false;
  const int32_t lwork = static_cast<int32_t>(optimal);
  Complex* work = space.Work(static_cast<size_t>(lwork));
  if (blas.zgesdd_work(platform::kBlasColumnMajor, 'S', m, n, work_a, m, work_s, work_u, m,
                       work_vt, ldvt, work, lwork, rwork, iwork) != 0) {
    return false;
  }
  std::copy(work_s, work_s + k, values);
  std::copy(work_u, work_u + rows * k, u);
  std::copy(work_vt, work_vt + k * cols, vh);
  return true;
}

bool LapackSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh) {
  const Eigen::Index k = std::min(a.rows(), a.cols());
  values.resize(k);
  u.resize(a.rows(), k);
  vh.resize(k, a.cols());
  return LapackSvdInto(a.rows(), a.cols(), a.data(), values.data(), u.data(), vh.data());
}

// One-sided Jacobi: rotate pairs of columns of the tall working matrix until
// every pair is orthogonal to working precision; the column norms are then the
// singular values. Sweeps are few at these sizes; past this many the matrix is
// handed to the general methods.
constexpr int kMaxJacobiSweeps = 40;
constexpr double kEpsilon = 2.220446049250313e-16;
// Squared column norms below this fraction of the largest are zero.
constexpr double kNegligibleSquared = 1e-60;

// Unit columns where the rotations left a zero column (a zero singular value):
// the first basis vector that stays independent of the columns before it.
void CompleteBasis(Complex* columns, Eigen::Index m, Eigen::Index first, Eigen::Index count) {
  for (Eigen::Index j = first; j < count; ++j) {
    Complex* out = columns + j * m;
    for (Eigen::Index e = 0; e < m; ++e) {
      for (Eigen::Index i = 0; i < m; ++i) out[i] = Complex(i == e ? 1.0 : 0.0, 0.0);
      for (int pass = 0; pass < 2; ++pass) {  // twice: one pass may leave rounding behind
        for (Eigen::Index l = 0; l < j; ++l) {
          const Complex* prior = columns + l * m;
          Complex dot(0.0, 0.0);
          for (Eigen::Index i = 0; i < m; ++i) dot += std::conj(prior[i]) * out[i];
          for (Eigen::Index i = 0; i < m; ++i) out[i] -= dot * prior[i];
        }
      }
      double norm = 0.0;
      for (Eigen::Index i = 0; i < m; ++i) norm += std::norm(out[i]);
      if (norm > 0.25) {
        const double scale = 1.0 / std::sqrt(norm);
        for (Eigen::Index i = 0; i < m; ++i) out[i] *= scale;
        break;
      }
    }
  }
}

// Room for N complex numbers, left uninitialised: std::complex zeroes itself,
// and zeroing arrays sized for the largest shape cost more than the whole
// split of a 2 x 2 matrix. Every entry read is written first.
template <size_t N>
class ComplexScratch {
 public:
  Complex* data() { return std::launder(reinterpret_cast<Complex*>(bytes_)); }

 private:
  alignas(Complex) unsigned char bytes_[N * sizeof(Complex)];
};

}  // namespace

bool SmallSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh) {
  const Eigen::Index rows = a.rows();
  const Eigen::Index cols = a.cols();
  // A wide matrix is decomposed through its adjoint, so that the working
  // matrix always has the shorter side as its columns.
  const bool wide = cols > rows;
  const Eigen::Index m = wide ? cols : rows;
  const Eigen::Index k = wide ? rows : cols;
  if (k < 1 || k > kSmallSvdMaxSide || m > kSmallSvdMaxLongSide) return false;
  ComplexScratch<kSmallSvdMaxLongSide * kSmallSvdMaxSide> w_room;
  Complex* const w = w_room.data();
  ComplexScratch<kSmallSvdMaxSide * kSmallSvdMaxSide> v_room;
  Complex* const v = v_room.data();
  for (Eigen::Index j = 0; j < k; ++j) {
    for (Eigen::Index i = 0; i < m; ++i) {
      const Complex x = wide ? std::conj(a(j, i)) : a(i, j);
      if (!std::isfinite(x.real()) || !std::isfinite(x.imag())) return false;
      w[j * m + i] = x;
    }
    for (Eigen::Index i = 0; i < k; ++i) v[j * k + i] = Complex(i == j ? 1.0 : 0.0, 0.0);
  }

  const double tolerance = kEpsilon * static_cast<double>(m);
  // Columns this far below the largest count as zero: rotating rounding noise
  // against the others would only shrink it towards the subnormal numbers,
  // where the rotations stop being unitary. Far below any value the
  // truncation keeps.
  double squared[kSmallSvdMaxSide];
  auto column_norms = [&] {
    for (Eigen::Index j = 0; j < k; ++j) {
      const double* x = reinterpret_cast<const double*>(w + j * m);
      double sum = 0.0;
      for (Eigen::Index i = 0; i < 2 * m; ++i) sum += x[i] * x[i];
      squared[j] = sum;
    }
  };
  column_norms();
  double largest = 0.0;
  for (Eigen::Index j = 0; j < k; ++j) largest = std::max(largest, squared[j]);
  const double negligible = largest * kNegligibleSquared;
  bool converged = false;
  // Complex products written out: the library's operator checks for
  // infinities at every multiplication, which the finite input cannot hold.
  // The squared column norms are computed afresh each sweep and carried
  // through its rotations in between.
  for (int sweep = 0; sweep < kMaxJacobiSweeps && !converged; ++sweep) {
    converged = true;
    if (sweep > 0) column_norms();
    for (Eigen::Index p = 0; p + 1 < k; ++p) {
      for (Eigen::Index q = p + 1; q < k; ++q) {
        const double alpha = squared[p];
        const double beta = squared[q];
        if (!(alpha > negligible && beta > negligible)) continue;
        double* wp = reinterpret_cast<double*>(w + p * m);
        double* wq = reinterpret_cast<double*>(w + q * m);
        double gamma_re = 0.0, gamma_im = 0.0;
        for (Eigen::Index i = 0; i < 2 * m; i += 2) {
          gamma_re += wp[i] * wq[i] + wp[i + 1] * wq[i + 1];
          gamma_im += wp[i] * wq[i + 1] - wp[i + 1] * wq[i];
        }
        const double g = std::sqrt(gamma_re * gamma_re + gamma_im * gamma_im);
        if (!(g > tolerance * std::sqrt(alpha) * std::sqrt(beta))) continue;
        converged = false;
        // The phase that makes the pair's overlap real, then the real
        // rotation that removes it (the symmetric 2x2 Schur step).
        const double phase_re = gamma_re / g;
        const double phase_im = -gamma_im / g;
        const double zeta = (beta - alpha) / (2.0 * g);
        const double root = std::abs(zeta) > 1e150 ? std::abs(zeta) : std::sqrt(1.0 + zeta * zeta);
        const double t = (zeta >= 0.0 ? 1.0 : -1.0) / (std::abs(zeta) + root);
        const double c = 1.0 / std::sqrt(1.0 + t * t);
        const double s = c * t;
        auto rotate = [&](double* x, double* y, Eigen::Index length) {
          for (Eigen::Index i = 0; i < 2 * length; i += 2) {
            const double xr = x[i], xi = x[i + 1];
            const double yr = y[i] * phase_re - y[i + 1] * phase_im;
            const double yi = y[i] * phase_im + y[i + 1] * phase_re;
            x[i] = c * xr - s * yr;
            x[i + 1] = c * xi - s * yi;
            y[i] = s * xr + c * yr;
            y[i + 1] = s * xi + c * yi;
          }
        };
        rotate(wp, wq, m);
        rotate(reinterpret_cast<double*>(v + p * k), reinterpret_cast<double*>(v + q * k), k);
        squared[p] = std::max(alpha - t * g, 0.0);
        squared[q] = std::max(beta + t * g, 0.0);
      }
    }
  }
  if (!converged) return false;

  // Descending order of the column norms.
  double norms[kSmallSvdMaxSide];
  Eigen::Index order[kSmallSvdMaxSide];
  for (Eigen::Index j = 0; j < k; ++j) {
    double sum = 0.0;
    for (Eigen::Index i = 0; i < m; ++i) sum += std::norm(w[j * m + i]);
    norms[j] = sum > negligible ? std::sqrt(sum) : 0.0;
    order[j] = j;
  }
  for (Eigen::Index j = 1; j < k; ++j) {
    const Eigen::Index moving = order[j];
    Eigen::Index i = j;
    for (; i > 0 && norms[order[i - 1]] < norms[moving]; --i) order[i] = order[i - 1];
    order[i] = moving;
  }
  // The left vectors of the working matrix (its normalised columns) and the
  // right ones (the accumulated rotations), both in that order.
  ComplexScratch<kSmallSvdMaxLongSide * kSmallSvdMaxSide> left_room;
  Complex* const left = left_room.data();
  ComplexScratch<kSmallSvdMaxSide * kSmallSvdMaxSide> right_room;
  Complex* const right = right_room.data();
  values.resize(k);
  Eigen::Index nonzero = k;
  for (Eigen::Index j = 0; j < k; ++j) {
    const Eigen::Index from = order[j];
    const double value = norms[from];
    values[j] = value;
    if (value > 0.0) {
      const double scale = 1.0 / value;
      for (Eigen::Index i = 0; i < m; ++i) left[j * m + i] = w[from * m + i] * scale;
    } else if (nonzero == k) {
      nonzero = j;
    }
    for (Eigen::Index i = 0; i < k; ++i) right[j * k + i] = v[from * k + i];
  }
  CompleteBasis(left, m, nonzero, k);

  u.resize(rows, k);
  vh.resize(k, cols);
  for (Eigen::Index j = 0; j < k; ++j) {
    if (wide) {
      // a = right * S * left^H.
      for (Eigen::Index i = 0; i < rows; ++i) u(i, j) = right[j * k + i];
      for (Eigen::Index c = 0; c < cols; ++c) vh(j, c) = std::conj(left[j * m + c]);
    } else {
      for (Eigen::Index i = 0; i < rows; ++i) u(i, j) = left[j * m + i];
      for (Eigen::Index c = 0; c < cols; ++c) vh(j, c) = std::conj(right[j * k + c]);
    }
  }
  return true;
}

bool LapackSvdInto(Eigen::Index rows, Eigen::Index cols, const Complex* a, double* values,
                   Complex* u, Complex* vh) {
  const platform::BlasLibrary* blas = platform::Blas();
  if (blas == nullptr) throw std::logic_error(kNoLapack);
  if (rows < 1 || cols < 1 || std::max(rows, cols) > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  platform::SetBlasThreads(ThreadsForRows(rows));
  return PaddedLapackSvd(*blas, static_cast<int32_t>(rows), static_cast<int32_t>(cols), a, values,
                         u, vh);
}

void MultiplyIntoLarge(const Matrix& a, const Matrix& b, Matrix& out) {
  constexpr Eigen::Index kIntMax = std::numeric_limits<int32_t>::max();
  const platform::BlasLibrary* blas = nullptr;
  if (a.rows() * a.cols() * b.cols() >= kBlasMinWork && a.cols() == b.rows() && &out != &a &&
      &out != &b && std::max({a.rows(), a.cols(), b.cols()}) <= kIntMax &&
      (blas = platform::Blas()) != nullptr) {
    // The pool as a split of this size would have it, not as the last one
    // left it; only a product large on every side asks for more than one.
    platform::SetBlasThreads(ThreadsForRows(std::min({a.rows(), a.cols(), b.cols()})));
    out.resize(a.rows(), b.cols());
    const platform::HoldOffFork hold;  // as around the decompositions
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
  if (rows < kParallelMinRows || tSerialMath) return 1;
  const uint64_t most = std::max<uint64_t>(gNumThreads, 1);
  // Only the cores free at this moment: on a loaded machine the extra threads
  // wait for cores, and the split with them, far longer than it takes alone
  // (six threads took several times as long as one). Our own threads (this
  // one, the library's pool still waiting from the last call) are no load.
  const uint32_t hardware = platform::HardwareThreads();
  const uint32_t runnable = platform::RunnableThreads();
  if (hardware == 0 || runnable == 0) return static_cast<int>(most);
  const uint32_t own = std::max<uint32_t>(platform::RunnableThreadsOfProcess(), 1);
  const uint64_t others = runnable > own ? runnable - own : 0;
  const uint64_t free = hardware > others + 1 ? hardware - others - 1 : 0;
  return static_cast<int>(std::min<uint64_t>(most, 1 + free));
}

SerialMath::SerialMath(bool set_libraries) : previous_(tSerialMath) {
  tSerialMath = true;
  if (set_libraries) {
    UseThreads(1);
    platform::SetBlasThreads(1);
  }
}

SerialMath::~SerialMath() { tSerialMath = previous_; }

SvdMethod ThinSvd(const Matrix& a, Eigen::VectorXd& values, Matrix& u, Matrix& vh,
                  SvdMethod method) {
  if (!HaveLapack()) throw std::logic_error(kNoLapack);
  UseThreads(ThreadsForRows(a.rows()));
  if (method == SvdMethod::kAuto) {
    method = a.rows() <= kJacobiMaxRows ? SvdMethod::kJacobi : SvdMethod::kLapack;
  }
  if (method == SvdMethod::kLapack) {
    if (LapackSvd(a, values, u, vh)) return SvdMethod::kLapack;
    method = SvdMethod::kJacobi;  // no convergence: the slow, sure method
  }
  Eigen::JacobiSVD<Matrix> svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
  values = svd.singularValues();
  u = svd.matrixU();
  vh = svd.matrixV().adjoint();
  return method;
}

}  // namespace velorin
