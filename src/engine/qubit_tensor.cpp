#include "engine/qubit_tensor.h"

#include <limits>
#include <new>

#include "platform/threads.h"

namespace velorin {

const uint64_t gNumThreads = platform::WorkerThreads();

QubitTensor::QubitTensor(uint64_t max_bond)
    : factors{kScalarOne, kScalarZero}, max_bond_dimension(max_bond) {}

QubitTensor::QubitTensor() = default;

int QubitTensor::ApplyMatrix(const Matrix& matrix, const std::vector<size_t>& indices) {
  const Eigen::Index count = static_cast<Eigen::Index>(indices.size());
  std::vector<Matrix> fresh(indices.size());
  for (Eigen::Index i = 0; i < count; ++i) {
    Matrix& sum = fresh[static_cast<size_t>(i)];
    sum = Matrix::Zero(factors[indices[0]].rows(), factors[indices[0]].cols());
    for (Eigen::Index m = 0; m < count; ++m) {
      const Complex weight = matrix(i, m);
      // Controlled gates are mostly zeros; a zero weight adds nothing.
      if (weight != Complex(0.0, 0.0)) sum += weight * factors[indices[static_cast<size_t>(m)]];
    }
  }
  for (size_t i = 0; i < indices.size(); ++i) factors[indices[i]] = std::move(fresh[i]);
  return 0;
}

void QubitTensor::ApplyOneQubitGate(const Matrix& matrix) {
  // The common case in place, entry by entry: no new factors.
  if (matrix.rows() == 2 && matrix.cols() == 2 && factors.size() >= 2 &&
      factors[0].rows() == factors[1].rows() && factors[0].cols() == factors[1].cols()) {
    Matrix& f0 = factors[0];
    Matrix& f1 = factors[1];
    const Complex a = matrix(0, 0), b = matrix(0, 1), c = matrix(1, 0), d = matrix(1, 1);
    const Complex zero(0.0, 0.0);
    if (b == zero && c == zero) {
      // Diagonal (phases, projectors): a zero weight clears its factor.
      if (a == zero) f0.setZero(); else if (a != Complex(1.0, 0.0)) f0 *= a;
      if (d == zero) f1.setZero(); else if (d != Complex(1.0, 0.0)) f1 *= d;
      return;
    }
    if (a == zero && d == zero) {
      // Anti-diagonal (x, y): an exchange and two scalings.
      f0.swap(f1);
      if (b != Complex(1.0, 0.0)) f0 *= b;
      if (c != Complex(1.0, 0.0)) f1 *= c;
      return;
    }
    double* x = reinterpret_cast<double*>(f0.data());
    double* y = reinterpret_cast<double*>(f1.data());
    const Eigen::Index size = 2 * f0.size();
    for (Eigen::Index i = 0; i < size; i += 2) {
      const double xr = x[i], xi = x[i + 1], yr = y[i], yi = y[i + 1];
      x[i] = a.real() * xr - a.imag() * xi + b.real() * yr - b.imag() * yi;
      x[i + 1] = a.real() * xi + a.imag() * xr + b.real() * yi + b.imag() * yr;
      y[i] = c.real() * xr - c.imag() * xi + d.real() * yr - d.imag() * yi;
      y[i + 1] = c.real() * xi + c.imag() * xr + d.real() * yi + d.imag() * yr;
    }
    return;
  }
  std::vector<size_t> indices(static_cast<size_t>(matrix.cols()));
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = i;
  ApplyMatrix(matrix, indices);
}

void QubitTensor::ApplyTwoQubitGate(const Matrix& matrix, bool swap_middle) {
  static const std::vector<size_t> kFirstOnLeft{0, 2, 1, 3};
  static const std::vector<size_t> kFirstOnRight{0, 1, 2, 3};
  ApplyMatrix(matrix, swap_middle ? kFirstOnLeft : kFirstOnRight);
}

bool IsProductBond(const BondValues& bond) { return bond.size() == 1 && bond[0] == 1.0; }

void QubitTensor::ScaleRows(const BondValues& bond) {
  if (IsProductBond(bond) || factors.empty()) return;
  const Eigen::Index rows =
      std::min<Eigen::Index>(factors[0].rows(), static_cast<Eigen::Index>(bond.size()));
  for (Matrix& f : factors) {
    for (Eigen::Index j = 0; j < rows; ++j) f.row(j) = f.row(j) * bond[static_cast<size_t>(j)];
  }
}

void QubitTensor::ScaleColumns(const BondValues& bond) {
  if (IsProductBond(bond) || factors.empty()) return;
  const Eigen::Index cols =
      std::min<Eigen::Index>(factors[0].cols(), static_cast<Eigen::Index>(bond.size()));
  for (Matrix& f : factors) {
    for (Eigen::Index k = 0; k < cols; ++k) f.col(k) = f.col(k) * bond[static_cast<size_t>(k)];
  }
}

Matrix ConjugateMatrix(const Matrix& input) { return input.conjugate(); }

uint32_t MultiplyElementwise(const Matrix& a, const Matrix& b, Matrix& out) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return kStatusShapeMismatch;
  try {
    if (out.size() == a.size()) {
      out.resize(a.rows(), a.cols());  // same count: storage is kept
      out.setZero();
    } else {
      out = Matrix::Zero(a.rows(), a.cols());
    }
    out = a.cwiseProduct(b);
  } catch (const std::bad_alloc&) {
    return kStatusOutOfMemory;
  }
  return 0;
}

}  // namespace velorin
