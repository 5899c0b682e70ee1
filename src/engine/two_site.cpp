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
// Work storage up to this many entries per matrix stays with the engine.
constexpr Eigen::Index kKeptWorkEntries = 65536;

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
      // Products with a real factor: dividing by the value as a complex
      // number would call the library's complex division for every entry.
      if (rows) {
        if (v != 0.0) f.row(j) = f.row(j) * (1.0 / v); else f.row(j).setZero();
      } else {
        if (v != 0.0) f.col(j) = f.col(j) * (1.0 / v); else f.col(j).setZero();
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

namespace {

// The truncated split of a merged pair laid out as one matrix: the left
// position's index and its left bond on the rows (physical value 0 in the top
// half), the right position's on the columns (value 0 in the left half).
// `a` is left as it was; `work` holds the decomposition.
void SplitMerged(const Matrix& a, uint64_t max_bond_dimension, QubitTensor& left,
                 BondValues& bond, QubitTensor& right, SplitWork& work) {
  const Eigen::Index rows = a.rows();
  const Eigen::Index cols = a.cols();
  Eigen::VectorXd& values = work.values;
  Matrix& u = work.u;
  Matrix& vh = work.vh;
  if (!SmallSvd(a, values, u, vh)) ThinSvd(a, values, u, vh);

  Eigen::Index passing = 0;
  while (passing < values.size() && values[passing] * values[passing] > kDropThreshold) {
    ++passing;
  }
  // At least one value survives, so every position keeps a bond of size >= 1.
  const uint64_t cap = std::max<uint64_t>(max_bond_dimension, 1);
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

}  // namespace

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
  SplitWork work;
  SplitMerged(a, merged.max_bond_dimension, left, bond, right, work);
}

void MpsSimulator::ApplyTwoQubitGate(uint64_t a, uint64_t b, GateKind k, const Matrix& matrix) {
  RequirePosition(a);
  RequirePosition(b);
  if (a == b) throw RunTimeError(kInvalidGateParameter);
  CheckTwoQubitMatrix(k, matrix);
  const uint64_t lo = std::min(a, b);
  const uint64_t hi = std::max(a, b);
  MoveQubit(hi, lo + 1);
  // Both positions and the matrix were checked above.
  if (UpdatePair(lo, k, matrix, b <= a, split_work_)) chain_at_checkpoint_ = false;
}

bool TwoQubitMatrixFits(GateKind k, const Matrix& matrix) {
  return !((IsMatrixKind(k) || k == kind::kCU1) && (matrix.rows() != 4 || matrix.cols() != 4));
}

void MpsSimulator::ApplyTwoSiteGate(uint64_t p, GateKind k, const Matrix& matrix, bool reversed) {
  RequirePosition(p);
  RequirePosition(p + 1);
  CheckTwoQubitMatrix(k, matrix);
  if (UpdatePair(p, k, matrix, reversed, split_work_)) chain_at_checkpoint_ = false;
}

bool MpsSimulator::UpdatePair(uint64_t p, GateKind k, const Matrix& matrix, bool reversed,
                              SplitWork& w) {
  const bool last_pair = n_ == p + 2;
  QubitTensor& left = chain_[p];
  QubitTensor& right = chain_[p + 1];
  // Both positions must hold two factors of one shape each, joined by bonds
  // that fit them; anything else is no state this engine makes.
  if (left.factors.size() != 2 || right.factors.size() != 2) return false;
  const Matrix& l0 = left.factors[0];
  const Matrix& l1 = left.factors[1];
  const Matrix& r0 = right.factors[0];
  const Matrix& r1 = right.factors[1];
  const Eigen::Index chi_left = l0.rows();
  const Eigen::Index chi = l0.cols();
  const Eigen::Index chi_right = r0.cols();
  if (l1.rows() != chi_left || l1.cols() != chi || r0.rows() != chi || r1.rows() != chi ||
      r1.cols() != chi_right || chi_left == 0 || chi == 0 || chi_right == 0) {
    return false;
  }

  // The merged pair as one matrix: [l0; l1] with the outer bond on its rows
  // and the middle bond on its columns, times [r0 r1] with the other outer
  // bond on its columns. One product instead of four, in reused storage.
  Matrix& stacked = w.stacked;
  stacked.resize(2 * chi_left, chi);
  stacked.topRows(chi_left) = l0;
  stacked.bottomRows(chi_left) = l1;
  if (p > 0 && !IsProductBond(bonds_[p - 1])) {
    const BondValues& outer = bonds_[p - 1];
    const Eigen::Index count = std::min<Eigen::Index>(chi_left, static_cast<Eigen::Index>(outer.size()));
    for (Eigen::Index j = 0; j < count; ++j) {
      const double value = outer[static_cast<size_t>(j)];
      stacked.row(j) = stacked.row(j) * value;
      stacked.row(chi_left + j) = stacked.row(chi_left + j) * value;
    }
  }
  if (!IsProductBond(bonds_[p])) {
    const BondValues& middle = bonds_[p];
    const Eigen::Index count = std::min<Eigen::Index>(chi, static_cast<Eigen::Index>(middle.size()));
    for (Eigen::Index j = 0; j < count; ++j) {
      stacked.col(j) = stacked.col(j) * middle[static_cast<size_t>(j)];
    }
  }
  Matrix& joined = w.joined;
  joined.resize(chi, 2 * chi_right);
  joined.leftCols(chi_right) = r0;
  joined.rightCols(chi_right) = r1;
  if (!last_pair && !IsProductBond(bonds_[p + 1])) {
    const BondValues& outer = bonds_[p + 1];
    const Eigen::Index count = std::min<Eigen::Index>(chi_right, static_cast<Eigen::Index>(outer.size()));
    for (Eigen::Index j = 0; j < count; ++j) {
      const double value = outer[static_cast<size_t>(j)];
      joined.col(j) = joined.col(j) * value;
      joined.col(chi_right + j) = joined.col(chi_right + j) * value;
    }
  }
  Matrix& merged = w.merged;
  MultiplyInto(stacked, joined, merged);

  // Blocks of the merged matrix: the pair's basis states |left right>.
  auto block = [&](Matrix& m, int index) {
    return m.block((index >> 1) * chi_left, (index & 1) * chi_right, chi_left, chi_right);
  };
  switch (k) {
    case kind::kCX:
      if (reversed) {
        block(merged, 1).swap(block(merged, 3));
      } else {
        block(merged, 2).swap(block(merged, 3));
      }
      break;
    case kind::kCZ:
      block(merged, 3) = -block(merged, 3);
      break;
    case kind::kSwap:
      block(merged, 1).swap(block(merged, 2));
      break;
    case kind::kCU1:
      block(merged, 3) *= Phase(matrix(3, 3).real());
      break;
    default:
      if (IsMatrixKind(k)) {
        // The gate's first qubit is the left position unless reversed.
        static constexpr int kFirstOnLeft[4] = {0, 2, 1, 3};
        static constexpr int kFirstOnRight[4] = {0, 1, 2, 3};
        const int* index = reversed ? kFirstOnRight : kFirstOnLeft;
        Matrix& before = w.scratch;
        before = merged;
        for (int i = 0; i < 4; ++i) {
          auto out = block(merged, index[i]);
          bool written = false;
          for (int m = 0; m < 4; ++m) {
            const Complex weight = matrix(i, m);
            // Controlled gates are mostly zeros; a zero weight adds nothing.
            if (weight == Complex(0.0, 0.0)) continue;
            if (written) {
              out += weight * block(before, index[m]);
            } else {
              out = weight * block(before, index[m]);
              written = true;
            }
          }
          if (!written) out.setZero();
        }
      }
      break;  // any other kind: only re-split
  }

  SplitMerged(merged, max_bond_dimension_, left, bonds_[p], right, w);
  if (p > 0) DivideBond(left, bonds_[p - 1], true);
  if (!last_pair) DivideBond(right, bonds_[p + 1], false);
  // Storage for a large pair is given back: the engine outlives its run in
  // the result, and large splits cost far more than their allocations.
  if (merged.size() > kKeptWorkEntries) w = SplitWork();
  return true;
}

}  // namespace velorin
