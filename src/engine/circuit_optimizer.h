// A circuit's two-qubit interactions as an integer matrix over chain positions.
#pragma once

#include <Eigen/Core>
#include <cstdint>
#include <utility>
#include <vector>

#include "circuit/instruction.h"

namespace velorin {

class QuantumCircuit;

using QubitPair = std::pair<int32_t, int32_t>;  // smaller qubit first
using InteractionMatrix = Eigen::Matrix<int32_t, Eigen::Dynamic, Eigen::Dynamic>;

// Appends the pair of every two-qubit record of the list, composites walked
// to any depth, in list order.
void CollectQubitPairs(const InstructionList& list, std::vector<QubitPair>& pairs);

class CircuitOptimizer {
 public:
  // Rows 0 .. P-1: one per distinct interacting pair, 1 in the columns of its
  // two qubits; row P: the qubit each column (chain position) holds.
  void Build(const QuantumCircuit& circuit);
  // Sum over pairs of column distance times the pair's count; accumulated in
  // 64 bits and saturated at the 32-bit maximum.
  int32_t Cost(const InteractionMatrix& matrix) const;
  // Removes column `from` and reinserts it at `to`.
  static void MoveColumn(InteractionMatrix& matrix, int64_t from, int64_t to);

  InteractionMatrix interaction_matrix;
  std::vector<int64_t> pair_weights;
  std::vector<uint64_t> permutation;
  InteractionMatrix final_matrix;
};

}  // namespace velorin
