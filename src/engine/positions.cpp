// Moving qubits along the chain: every move is a sequence of adjacent
// exchanges, each a two-site update, so truncation applies to each of them.
#include <algorithm>
#include <stdexcept>

#include "engine/mps_simulator.h"

namespace velorin {

namespace {
// The fixed text of an index outside a vector.
constexpr const char* kInvalidSubscript = "invalid vector subscript";
}  // namespace

void MpsSimulator::RequirePosition(uint64_t position) const {
  if (position >= n_ || position >= chain_.size()) throw std::out_of_range(kInvalidSubscript);
}

// Until the first reset there is no chain to work on.
void MpsSimulator::RequireChain() const {
  if (chain_.size() != n_ || bonds_.size() != n_ || position_to_qubit_.size() != n_ ||
      qubit_to_position_.size() != n_) {
    throw std::out_of_range(kInvalidSubscript);
  }
}

void MpsSimulator::RebuildQubitToPosition() {
  for (size_t p = 0; p < position_to_qubit_.size(); ++p) {
    qubit_to_position_[static_cast<size_t>(position_to_qubit_[p])] = static_cast<int64_t>(p);
  }
}

std::vector<uint64_t> MpsSimulator::PositionsOf(const std::vector<uint64_t>& qubits) const {
  std::vector<uint64_t> positions(qubits.size());
  for (size_t i = 0; i < qubits.size(); ++i) {
    if (qubits[i] >= qubit_to_position_.size()) throw std::out_of_range(kInvalidSubscript);
    positions[i] = static_cast<uint64_t>(qubit_to_position_[qubits[i]]);
  }
  return positions;
}

void MpsSimulator::ExchangeAdjacent(uint64_t lo) {
  static const Matrix kPlaceholder = Matrix::Zero(1, 1);
  ApplyTwoSiteGate(lo, kind::kSwap, kPlaceholder, false);
  std::swap(position_to_qubit_[lo], position_to_qubit_[lo + 1]);
  // Only the two exchanged qubits change places.
  qubit_to_position_[static_cast<size_t>(position_to_qubit_[lo])] = static_cast<int64_t>(lo);
  qubit_to_position_[static_cast<size_t>(position_to_qubit_[lo + 1])] = static_cast<int64_t>(lo + 1);
}

void MpsSimulator::SwapPositions(uint64_t a, uint64_t b) {
  RequirePosition(a);
  RequirePosition(b);
  if (a == b) return;
  const uint64_t lo = std::min(a, b);
  const uint64_t hi = std::max(a, b);
  if (hi == lo + 1) {
    ExchangeAdjacent(lo);
    return;
  }
  for (uint64_t j = lo; j < hi; ++j) ExchangeAdjacent(j);          // lo's qubit up to hi
  for (uint64_t j = hi - 1; j > lo; --j) ExchangeAdjacent(j - 1);  // hi's qubit down to lo
}

void MpsSimulator::MoveQubit(uint64_t source, uint64_t target) {
  RequirePosition(source);
  RequirePosition(target);
  for (uint64_t a = source; a > target; --a) ExchangeAdjacent(a - 1);
  for (uint64_t a = source; a < target; ++a) ExchangeAdjacent(a);
}

void MpsSimulator::RestoreQubitOrder() {
  RequireChain();
  if (n_ < 2) return;
  for (uint64_t i = 0; i + 1 < n_; ++i) {
    uint64_t j = i + 1;
    while (j < n_ && position_to_qubit_[j] != static_cast<int64_t>(i)) ++j;
    if (j == n_) continue;  // already at position i
    for (; j > i; --j) ExchangeAdjacent(j - 1);
  }
}

void MpsSimulator::FindCentralizedIndices(const std::vector<uint64_t>& positions,
                                          std::vector<uint64_t>& sorted,
                                          std::vector<uint64_t>& targets) {
  sorted = positions;
  if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
  if (positions.size() <= 1) {
    targets = positions;
    return;
  }
  const uint64_t count = sorted.size();
  const uint64_t mid = (count - 1) / 2;
  // Distinct positions: at least `mid` of them lie below the median.
  const uint64_t first = sorted[mid] - mid;
  targets.resize(count);
  for (uint64_t i = 0; i < count; ++i) targets[i] = first + i;
}

void MpsSimulator::CentralizeQubits(const std::vector<uint64_t>& positions,
                                    std::vector<uint64_t>& targets) {
  std::vector<uint64_t> sorted;
  FindCentralizedIndices(positions, sorted, targets);
  const size_t count = sorted.size();
  if (count < 2) return;
  const size_t mid = (count - 1) / 2;
  for (size_t i = mid; i < count; ++i) MoveQubit(sorted[i], targets[i]);
  for (size_t i = mid; i-- > 0;) MoveQubit(sorted[i], targets[i]);
}

QubitTensor& MpsSimulator::ContractQubits(QubitTensor& out, const std::vector<uint64_t>& positions) {
  std::vector<uint64_t> targets;
  CentralizeQubits(positions, targets);
  return ContractRange(out, targets.front(), targets.back());
}

QubitTensor& MpsSimulator::ContractRange(QubitTensor& out, uint64_t first, uint64_t last) const {
  RequirePosition(first);
  RequirePosition(last);
  if (first > last) throw std::out_of_range(kInvalidSubscript);
  out = QubitTensor();
  out.max_bond_dimension = max_bond_dimension_;
  out = chain_[first];
  if (first > 0) out.ScaleRows(bonds_[first - 1]);
  for (uint64_t p = first; p < last; ++p) {
    QubitTensor next;
    next.max_bond_dimension = max_bond_dimension_;
    ContractTwoSites(out, bonds_[p], chain_[p + 1], next);
    out = std::move(next);
  }
  if (last + 1 < n_) out.ScaleColumns(bonds_[last]);
  return out;
}

void RankPositions(const std::vector<uint64_t>& values, std::vector<uint64_t>& ranks) {
  std::vector<uint64_t> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  ranks.resize(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    ranks[i] = static_cast<uint64_t>(std::lower_bound(sorted.begin(), sorted.end(), values[i]) -
                                     sorted.begin());
  }
}

}  // namespace velorin
