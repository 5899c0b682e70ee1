// The qubit-order search: a beam search over single column moves of the
// interaction matrix, and its application to a circuit.
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "circuit/quantum_circuit.h"
#include "engine/circuit_optimizer.h"

namespace velorin {

namespace {

constexpr int64_t kCostHigh = std::numeric_limits<int32_t>::max();
constexpr int64_t kCostLow = std::numeric_limits<int32_t>::min();

// Cost() saturates its total; so do the incremental costs.
int32_t Saturate(int64_t cost) {
  return static_cast<int32_t>(std::min(std::max(cost, kCostLow), kCostHigh));
}

bool IsPermutation(const std::vector<int32_t>& order) {
  std::vector<bool> seen(order.size(), false);
  for (int32_t q : order) {
    const size_t index = static_cast<size_t>(q);
    if (q < 0 || index >= order.size() || seen[index]) return false;
    seen[index] = true;
  }
  return true;
}

bool SameMove(const OrderingCandidate& a, const OrderingCandidate& b) {
  return (a.from == b.from && a.to == b.to) || (a.from == b.to && a.to == b.from);
}

}  // namespace

void CircuitOptimizer::MoveColumn(std::vector<int32_t>& order, int64_t from, int64_t to) {
  const int64_t columns = static_cast<int64_t>(order.size());
  if (from < 0 || to < 0 || from >= columns || to >= columns) {
    throw std::out_of_range("invalid vector subscript");
  }
  if (from < to) {
    std::rotate(order.begin() + from, order.begin() + from + 1, order.begin() + to + 1);
  } else if (from > to) {
    std::rotate(order.begin() + to, order.begin() + from, order.begin() + from + 1);
  }
}

void CircuitOptimizer::PrepareSearch() {
  const Eigen::Index columns = interaction_matrix.cols();
  const Eigen::Index pair_rows = std::max<Eigen::Index>(interaction_matrix.rows() - 1, 0);
  qubit_count_ = columns;
  const size_t n = static_cast<size_t>(columns);
  weight_.assign(n * n, 0);
  total_weight_.assign(n, 0);
  if (interaction_matrix.rows() == 0) return;
  const Eigen::Index label_row = interaction_matrix.rows() - 1;
  for (Eigen::Index i = 0; i < pair_rows; ++i) {
    Eigen::Index ends[2] = {-1, -1};
    int found = 0;
    for (Eigen::Index c = 0; c < columns; ++c) {
      if (interaction_matrix(i, c) != 1) continue;
      if (found < 2) ends[found] = c;
      ++found;
    }
    if (found != 2) continue;  // every row that Build makes has exactly two
    const size_t row = static_cast<size_t>(i);
    const int64_t w = row < pair_weights.size()
                          ? std::min(std::max(pair_weights[row], kCostLow - 1), kCostHigh + 1)
                          : 0;
    const size_t a = static_cast<size_t>(interaction_matrix(label_row, ends[0]));
    const size_t b = static_cast<size_t>(interaction_matrix(label_row, ends[1]));
    weight_[a * n + b] += w;
    weight_[b * n + a] += w;
    total_weight_[a] += w;
    total_weight_[b] += w;
  }
}

Beam CircuitOptimizer::BestMoves(const std::vector<int32_t>& order, int32_t bound) const {
  const size_t n = order.size();
  Beam moves;
  if (n < 2 || static_cast<int64_t>(n) != qubit_count_) return moves;
  // At each column c: left[c], the weight of the partners of its qubit that
  // sit left of it, and gain[c], its partners' weight to the right minus to
  // the left. base: the cost of the arrangement itself.
  std::vector<int64_t> left(n, 0);
  std::vector<int64_t> gain(n);
  int64_t base = 0;
  for (size_t c = 0; c < n; ++c) {
    const int64_t* wx = &weight_[static_cast<size_t>(order[c]) * n];
    int64_t sum = 0;
    for (size_t k = 0; k < c; ++k) {
      const int64_t w = wx[static_cast<size_t>(order[k])];
      sum += w;
      base += w * static_cast<int64_t>(c - k);
    }
    left[c] = sum;
    gain[c] = total_weight_[static_cast<size_t>(order[c])] - 2 * sum;
  }

  // Moving qubit x from column f to t is a run of exchanges with its
  // neighbour y. An exchange changes the cost by x's partners on the side x
  // leaves minus those on the side it approaches, and the same for y; the
  // pair (x, y) itself stays at distance 1. With x's partners on its left
  // (excluding y) weighing xl, and on its right xr = wx - xl - wxy, a step
  // right adds (xl - xr) + gain[y's column] + 2 wxy (y's own left side
  // held x); a step left likewise with the sides exchanged.
  std::vector<int64_t> row(n);
  int32_t lowest = std::numeric_limits<int32_t>::max();
  for (size_t f = 0; f < n; ++f) {
    const size_t x = static_cast<size_t>(order[f]);
    const int64_t* wx = &weight_[x * n];
    const int64_t x_total = total_weight_[x];
    int64_t cost = base;
    int64_t x_left = left[f];
    for (size_t c = f + 1; c < n; ++c) {  // rightwards
      const int64_t wxy = wx[static_cast<size_t>(order[c])];
      cost += 2 * x_left - x_total + 2 * wxy + gain[c];
      x_left += wxy;
      row[c] = cost;
    }
    cost = base;
    int64_t x_right = x_total - left[f];
    for (size_t c = f; c-- > 0;) {  // leftwards
      const int64_t wxy = wx[static_cast<size_t>(order[c])];
      cost += 2 * x_right - x_total + 2 * wxy - gain[c];
      x_right += wxy;
      row[c] = cost;
    }
    for (size_t t = 0; t < n; ++t) {
      const int32_t c = Saturate(row[t]);
      if (t == f || c >= bound || c > lowest) continue;
      if (c < lowest) {
        lowest = c;
        moves.clear();
      }
      moves.push_back({static_cast<int32_t>(f), static_cast<int32_t>(t), c, {}});
    }
  }
  return moves;
}

Beam CircuitOptimizer::Expand(const Beam& beam, int32_t bound) const {
  // Moves dearer than the cheapest found so far cannot last, so each
  // member is asked only for moves up to that cost.
  std::vector<Beam> moves;
  moves.reserve(beam.size());
  int32_t lowest = bound;
  bool found = false;
  for (const OrderingCandidate& member : beam) {
    const int32_t limit = found ? lowest + 1 : bound;  // lowest < bound: no overflow
    moves.push_back(BestMoves(member.order, limit));
    if (!moves.back().empty()) {
      lowest = found ? std::min(lowest, moves.back().front().cost) : moves.back().front().cost;
      found = true;
    }
  }
  if (!found) return beam;
  // Of the cheapest candidates, in the order they were made, only the first
  // one of each move can outlast the merge of equal moves in Optimize(), so
  // only that one gets its arrangement.
  const size_t n = static_cast<size_t>(qubit_count_);
  std::vector<bool> made(n * n, false);
  Beam next;
  for (size_t i = 0; i < moves.size(); ++i) {
    for (OrderingCandidate& move : moves[i]) {
      const size_t key = static_cast<size_t>(move.from) * n + static_cast<size_t>(move.to);
      if (move.cost != lowest || made[key]) continue;
      made[key] = true;
      move.order = beam[i].order;
      MoveColumn(move.order, move.from, move.to);
      next.push_back(std::move(move));
    }
  }
  return next;
}

bool CircuitOptimizer::Optimize() {
  const Eigen::Index columns = interaction_matrix.cols();
  const size_t n = static_cast<size_t>(columns);
  auto identity = [this, n] {
    permutation.resize(n);
    for (size_t q = 0; q < n; ++q) permutation[q] = q;
  };
  std::vector<int32_t> labels(n);
  if (interaction_matrix.rows() > 0) {
    for (size_t c = 0; c < n; ++c) {
      labels[c] = interaction_matrix(interaction_matrix.rows() - 1, static_cast<Eigen::Index>(c));
    }
  }
  if (interaction_matrix.rows() == 0 || !IsPermutation(labels)) {
    identity();
    return false;
  }
  PrepareSearch();

  Beam beam{{0, 0, std::numeric_limits<int32_t>::min(), labels}};
  int32_t bound = Cost(interaction_matrix);
  for (;;) {
    beam = Expand(beam, bound);
    std::stable_sort(beam.begin(), beam.end(),
                     [](const OrderingCandidate& a, const OrderingCandidate& b) {
                       return a.from != b.from ? a.from < b.from : a.to < b.to;
                     });
    Beam kept;
    for (OrderingCandidate& c : beam) {
      if (!kept.empty() && SameMove(kept.back(), c)) continue;
      kept.push_back(std::move(c));
    }
    beam = std::move(kept);
    if (beam.empty()) break;
    const int32_t cheapest = beam.front().cost;
    if (cheapest == bound) break;
    bound = cheapest;
  }
  if (beam.empty() || !IsPermutation(beam.front().order)) {
    identity();
    return false;
  }
  const std::vector<int32_t>& order = beam.front().order;
  // Column c of the final matrix is the column that held qubit order[c].
  std::vector<Eigen::Index> column_of(n);
  for (size_t c = 0; c < n; ++c) {
    column_of[static_cast<size_t>(labels[c])] = static_cast<Eigen::Index>(c);
  }
  final_matrix.resize(interaction_matrix.rows(), columns);
  for (size_t c = 0; c < n; ++c) {
    final_matrix.col(static_cast<Eigen::Index>(c)) =
        interaction_matrix.col(column_of[static_cast<size_t>(order[c])]);
  }
  permutation.resize(n);
  for (size_t c = 0; c < n; ++c) permutation[static_cast<size_t>(order[c])] = c;
  return true;
}

bool OptimizeQuantumCircuit(QuantumCircuit& circuit) {
  CircuitOptimizer optimizer;
  optimizer.Build(circuit);
  if (!optimizer.Optimize()) return false;
  const size_t n = static_cast<size_t>(circuit.total_qubits);
  const std::vector<uint64_t>& permutation = optimizer.permutation;
  if (permutation.size() != n) return false;
  // The records stay as the user numbered them; the search only says where
  // each qubit sits on the chain (its position). The records decide the
  // search alone, so a later search replaces an earlier placement.
  std::vector<int64_t> map(n);
  std::vector<bool> taken(n, false);
  for (size_t q = 0; q < n; ++q) {
    if (permutation[q] >= n || taken[permutation[q]]) return false;
    taken[permutation[q]] = true;
    map[q] = static_cast<int64_t>(permutation[q]);
  }
  circuit.qubit_map.swap(map);
  return true;
}

}  // namespace velorin
