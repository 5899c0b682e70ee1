#include "engine/circuit_optimizer.h"

#include <algorithm>
#include <limits>
#include <map>
#include <stdexcept>

#include "circuit/quantum_circuit.h"

namespace velorin {

void CollectQubitPairs(const InstructionList& list, std::vector<QubitPair>& pairs) {
  VisitLeafRecords(list, [&pairs](const Instruction& record) {
    if (record.qubits.size() == 2) {
      const int32_t a = static_cast<int32_t>(record.qubits[0]);
      const int32_t b = static_cast<int32_t>(record.qubits[1]);
      pairs.emplace_back(std::min(a, b), std::max(a, b));
    }
    return true;
  });
}

void CircuitOptimizer::Build(const QuantumCircuit& circuit) {
  std::vector<QubitPair> pairs;
  CollectQubitPairs(circuit.instructions, pairs);
  const int64_t columns = static_cast<int64_t>(circuit.total_qubits);
  std::map<QubitPair, int64_t> counts;
  for (const QubitPair& pair : pairs) {
    // A pair outside the circuit's qubits has no column to mark.
    if (pair.first < 0 || pair.second >= columns || pair.first == pair.second) continue;
    ++counts[pair];
  }
  const Eigen::Index rows = static_cast<Eigen::Index>(counts.size());
  interaction_matrix = InteractionMatrix::Zero(rows + 1, columns);
  pair_weights.clear();
  Eigen::Index row = 0;
  for (const auto& [pair, count] : counts) {
    interaction_matrix(row, pair.first) = 1;
    interaction_matrix(row, pair.second) = 1;
    pair_weights.push_back(count);
    ++row;
  }
  for (Eigen::Index c = 0; c < columns; ++c) interaction_matrix(rows, c) = static_cast<int32_t>(c);
}

int32_t CircuitOptimizer::Cost(const InteractionMatrix& matrix) const {
  const int64_t pair_rows = static_cast<int64_t>(matrix.rows()) - 1;
  if (pair_rows <= 0) return 0;
  // Terms are clamped just past the 32-bit range, so no product or sum can
  // overflow 64 bits, and the total saturates instead of wrapping.
  constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
  constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
  auto clamp = [](int64_t v) { return std::min(std::max(v, kLow - 1), kHigh + 1); };
  int64_t total = 0;
  for (Eigen::Index i = 0; i < pair_rows; ++i) {
    int64_t distance = 0;
    bool first = true;
    for (Eigen::Index c = 0; c < matrix.cols(); ++c) {
      if (matrix(i, c) != 1) continue;
      distance = clamp(distance + (first ? -c : c));
      first = false;
    }
    const size_t row = static_cast<size_t>(i);
    const int64_t weight = row < pair_weights.size() ? clamp(pair_weights[row]) : 0;
    total = std::min(std::max(total + distance * weight, kLow), kHigh);
  }
  return static_cast<int32_t>(total);
}

void CircuitOptimizer::MoveColumn(InteractionMatrix& matrix, int64_t from, int64_t to) {
  const int64_t columns = matrix.cols();
  if (from < 0 || to < 0 || from >= columns || to >= columns) {
    throw std::out_of_range("invalid vector subscript");
  }
  if (from == to) return;
  const Eigen::VectorXi kept = matrix.col(from);
  if (from < to) {
    for (int64_t c = from; c < to; ++c) matrix.col(c) = matrix.col(c + 1);
  } else {
    for (int64_t c = from; c > to; --c) matrix.col(c) = matrix.col(c - 1);
  }
  matrix.col(to) = kept;
}

}  // namespace velorin
