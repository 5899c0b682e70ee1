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

// One arrangement of the qubit-order search. It keeps the label row (the
// qubit at each chain position) instead of the whole matrix: the pair rows
// follow from it, and a beam may hold thousands of candidates.
struct OrderingCandidate {
  int32_t from = 0;  // the column the last move took out
  int32_t to = 0;    // where it was put back
  int32_t cost = 0;
  std::vector<int32_t> order;  // empty while a move is only being evaluated
};
using Beam = std::vector<OrderingCandidate>;

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
  // The same move on a label row.
  static void MoveColumn(std::vector<int32_t>& order, int64_t from, int64_t to);

  // The qubit-order search over single column moves. Costs are those of
  // Cost() on the rearranged matrix, found incrementally: every move of one
  // column is a run of adjacent exchanges whose cost changes take O(1) each.
  //
  // Reads the pair weights between qubits out of the interaction matrix and
  // the pair weights; Optimize() calls it, BestMoves() and Expand() need it.
  void PrepareSearch();
  // The cheapest moves of `order` whose cost is below `bound`, tried from
  // column 0 up and, within one, to column 0 up.
  Beam BestMoves(const std::vector<int32_t>& order, int32_t bound) const;
  // The lowest-cost arrangements one move away from the members of `beam`,
  // the first one made for each move (later ones would be merged away);
  // `beam` itself when none is below `bound`.
  Beam Expand(const Beam& beam, int32_t bound) const;
  // The whole search: fills the permutation (the new position of each qubit)
  // and the final matrix; false, with the identity, when it finds no order.
  bool Optimize();

  InteractionMatrix interaction_matrix;
  std::vector<int64_t> pair_weights;
  std::vector<uint64_t> permutation;
  InteractionMatrix final_matrix;

 private:

  int64_t qubit_count_ = 0;
  // Pair weights between qubits, clamped as Cost() clamps them.
  std::vector<int64_t> weight_;        // qubit_count_^2, symmetric
  std::vector<int64_t> total_weight_;  // per qubit
};

// Places the circuit's qubits along the chain to shorten its two-qubit
// interactions: the circuit's qubit map takes each qubit's chain position.
// Its records, and so everything read from them, stay as they were.
bool OptimizeQuantumCircuit(QuantumCircuit& circuit);

}  // namespace velorin
