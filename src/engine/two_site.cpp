// The two-site update: merge two neighbouring positions, apply a gate, split
// them again by a truncated singular value decomposition.
#include <Eigen/SVD>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "circuit/errors.h"
#include "engine/mps_simulator.h"
#include "engine/svd.h"

namespace velorin {

namespace {

// Squared singular values at or below this are dropped.
constexpr double kDropThreshold = 1e-8;
// Kept values are rescaled unless their squares already sum to 1 within this.
constexpr double kNormTolerance = 1e-9;
constexpr double kMachineEpsilon = 2.220446049250313e-16;

// Kinds applied through their 4x4 matrix.
bool IsMatrixKind(GateKind k) {
  return k == kind::kCY || k == kind::kCH || (k >= kind::kCP && k <= kind::kRZZ) ||
         k == kind::kCU3 || k == kind::kUnnamed || k == kind::kCT;
}

// Kinds whose matrix the update reads; refuse a record that could not hold it.
void CheckTwoQubitMatrix(GateKind k, const Matrix& matrix) {
  if ((IsMatrixKind(k) || k == kind::kCU1) && (matrix.rows() != 4 || matrix.cols() != 4)) {
    throw RunTimeError(kInvalidGateParameter);
  }
}

// Divides row j (or column j) of both factors by bond[j]; a value of 0
// (possible only when a split kept a zero value) gives 0 instead of infinity.
void DivideBond(QubitTensor& site, const BondValues& bond, bool rows) {
  if (IsProductBond(bond)) return;
  for (Matrix& f : site.factors) {
    const Eigen::Index count =
        std::min<Eigen::Index>(rows ? f.rows() : f.cols(), static_cast<Eigen::Index>(bond.size()));
    for (Eigen::Index j = 0; j < count; ++j) {
      const double v = bond[static_cast<size_t>(j)];
      if (rows) {
        if (v != 0.0) f.row(j) /= v; else f.row(j).setZero();
      } else {
        if (v != 0.0) f.col(j) /= v; else f.col(j).setZero();
      }
    }
  }
}

}  // namespace

bool AlmostEqual(double a, double b, double absolute_tolerance, double relative_tolerance) {
  const double difference = std::fabs(a - b);
  if (difference <= absolute_tolerance) return true;
  return difference <= std::max(std::fabs(a), std::fabs(b)) * relative_tolerance;
}

void ContractTwoSites(const QubitTensor& left, const BondValues& bond, const QubitTensor& right,
                      QubitTensor& out) {
  QubitTensor scaled = left;
  scaled.ScaleColumns(bond);
  out.factors.reserve(out.factors.size() + scaled.factors.size() * right.factors.size());
  for (const Matrix& l : scaled.factors) {
    for (const Matrix& r : right.factors) {
      out.factors.emplace_back();
      MultiplyInto(l, r, out.factors.back());
    }
  }
}

void SplitTwoSites(const QubitTensor& merged, QubitTensor& left, BondValues& bond,
                   QubitTensor& right) {
  if (merged.factors.size() != 4) return;
  const Matrix& f0 = merged.factors[0];
  const Matrix& f1 = merged.factors[1];
  const Matrix& f2 = merged.factors[2];
  const Matrix& f3 = merged.factors[3];
  // Both halves must be equal blocks, or the split would not give two
  // factors of one shape per position.
  if (f0.rows() != f1.rows() || f2.rows() != f3.rows() || f0.rows() != f2.rows() ||
      f0.cols() != f2.cols() || f1.cols() != f3.cols() || f0.cols() != f1.cols() ||
      f0.rows() == 0 || f0.cols() == 0) {
    return;
  }
  const Eigen::Index rows = f0.rows() + f2.rows();
  const Eigen::Index cols = f0.cols() + f1.cols();
  Matrix a(rows, cols);
  a.topLeftCorner(f0.rows(), f0.cols()) = f0;
  a.topRightCorner(f1.rows(), f1.cols()) = f1;
  a.bottomLeftCorner(f2.rows(), f2.cols()) = f2;
  a.bottomRightCorner(f3.rows(), f3.cols()) = f3;

  Eigen::VectorXd values;
  Matrix u, vh;
  ThinSvd(a, values, u, vh);

  Eigen::Index passing = 0;
  while (passing < values.size() && values[passing] * values[passing] > kDropThreshold) {
    ++passing;
  }
  // At least one value survives, so every position keeps a bond of size >= 1.
  const uint64_t cap = std::max<uint64_t>(merged.max_bond_dimension, 1);
  const Eigen::Index keep = std::max<Eigen::Index>(
      1, static_cast<Eigen::Index>(std::min<uint64_t>(static_cast<uint64_t>(passing), cap)));

  bond.assign(values.data(), values.data() + keep);
  double sum = 0.0;
  for (double s : bond) sum += s * s;
  if (!AlmostEqual(1.0 - sum, 0.0, kNormTolerance, kMachineEpsilon) && sum > 0.0) {
    const double scale = 1.0 / std::sqrt(sum);
    for (double& s : bond) s *= scale;
  }

  const Eigen::Index half_rows = rows / 2;
  left.factors.resize(2);
  left.factors[0] = u.block(0, 0, half_rows, keep);
  left.factors[1] = u.block(half_rows, 0, rows - half_rows, keep);
  const Eigen::Index half_cols = cols / 2;
  right.factors.resize(2);
  right.factors[0] = vh.topLeftCorner(keep, half_cols);
  right.factors[1] = vh.topRightCorner(keep, cols - half_cols);
}

void MpsSimulator::ApplyTwoQubitGate(uint64_t a, uint64_t b, GateKind k, const Matrix& matrix) {
  RequirePosition(a);
  RequirePosition(b);
  if (a == b) throw RunTimeError(kInvalidGateParameter);
  CheckTwoQubitMatrix(k, matrix);
  const uint64_t lo = std::min(a, b);
  const uint64_t hi = std::max(a, b);
  MoveQubit(hi, lo + 1);
  ApplyTwoSiteGate(lo, k, matrix, b <= a);
}

void MpsSimulator::ApplyTwoSiteGate(uint64_t p, GateKind k, const Matrix& matrix, bool reversed) {
  RequirePosition(p);
  RequirePosition(p + 1);
  CheckTwoQubitMatrix(k, matrix);
  chain_at_checkpoint_ = false;
  const bool last_pair = n_ == p + 2;
  QubitTensor& left = chain_[p];
  QubitTensor& right = chain_[p + 1];
  if (p > 0) left.ScaleRows(bonds_[p - 1]);
  if (!last_pair) right.ScaleColumns(bonds_[p + 1]);

  QubitTensor merged;
  merged.max_bond_dimension = max_bond_dimension_;
  ContractTwoSites(left, bonds_[p], right, merged);

  std::vector<Matrix>& f = merged.factors;
  switch (k) {
    case kind::kCX:
      if (reversed) std::swap(f[1], f[3]); else std::swap(f[2], f[3]);
      break;
    case kind::kCZ:
      f[3] = -f[3];
      break;
    case kind::kSwap:
      std::swap(f[1], f[2]);
      break;
    case kind::kCU1:
      f[3] *= Phase(matrix(3, 3).real());
      break;
    default:
      if (IsMatrixKind(k)) merged.ApplyTwoQubitGate(matrix, !reversed);
      break;  // any other kind: only re-split
  }

  SplitTwoSites(merged, left, bonds_[p], right);
  if (p > 0) DivideBond(left, bonds_[p - 1], true);
  if (!last_pair) DivideBond(right, bonds_[p + 1], false);
}

}  // namespace velorin
