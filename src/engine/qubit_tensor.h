// One position of the matrix product state and the small matrix helpers the
// engine builds on.
#pragma once

#include <cstdint>
#include <vector>

#include "circuit/gate_matrices.h"

namespace velorin {

// Schmidt coefficients of one bond, in descending order; {1.0} is a product bond.
using BondValues = std::vector<double>;

// Threads that Eigen may use inside the engine's decompositions and products:
// hardware threads - 2, at least 1; read once at load.
extern const uint64_t gNumThreads;

// A chain position: one factor per value of its physical index. A single
// position has two chi_left x chi_right factors; k merged consecutive
// positions have 2^k, the leftmost position giving the most significant bit
// of the factor index. Factors exclude the bond coefficients on both sides.
class QubitTensor {
 public:
  // Basis state 0 between product bonds.
  explicit QubitTensor(uint64_t max_bond_dimension);
  // No factors, cap 512: a merged tensor about to be filled.
  QubitTensor();

  // New factor indices[i] = sum over m of matrix(i, m) * old factor indices[m];
  // every new factor is computed before any is stored. Returns 0.
  int ApplyMatrix(const Matrix& matrix, const std::vector<size_t>& indices);
  // The matrix on factors 0 .. columns - 1.
  void ApplyOneQubitGate(const Matrix& matrix);
  // A 4x4 gate on a merged pair. With `swap_middle` the gate's first qubit is
  // the left position (index list 0, 2, 1, 3), otherwise the right one.
  void ApplyTwoQubitGate(const Matrix& matrix, bool swap_middle);

  // Multiply row j (ScaleRows) or column j (ScaleColumns) of every factor by
  // bond[j]; a product bond {1.0} is skipped.
  void ScaleRows(const BondValues& bond);
  void ScaleColumns(const BondValues& bond);

  std::vector<Matrix> factors;
  uint64_t max_bond_dimension = 512;
};

// True for the one-element bond {1.0}.
bool IsProductBond(const BondValues& bond);

// Entry-wise complex conjugate, same shape.
Matrix ConjugateMatrix(const Matrix& input);

inline constexpr uint32_t kStatusOutOfMemory = 0x80000002u;
inline constexpr uint32_t kStatusShapeMismatch = 0x80000014u;

// out := a .* b. Returns 0, kStatusShapeMismatch (out untouched) or
// kStatusOutOfMemory.
uint32_t MultiplyElementwise(const Matrix& a, const Matrix& b, Matrix& out);

}  // namespace velorin
