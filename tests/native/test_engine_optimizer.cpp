// The qubit-order search: its incremental costs against a plain search that
// moves matrix columns and recomputes every cost, and its effect on circuits.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

#include "engine/circuit_optimizer.h"
#include "engine/mps_simulator.h"
#include "engine_fixtures.h"

namespace velorin {
namespace {

using testing::Add1;
using testing::Add2;
using testing::Composite;
using testing::NewCircuit;
using testing::Record;

// ---- the plain search, written from the description, one matrix per candidate ----

struct PlainCandidate {
  int32_t from, to, cost;
  InteractionMatrix matrix;
};
using PlainBeam = std::vector<PlainCandidate>;

void KeepLowest(PlainBeam& beam) {
  std::stable_sort(beam.begin(), beam.end(),
                   [](const PlainCandidate& a, const PlainCandidate& b) {
                     return a.cost < b.cost;
                   });
  const int32_t lowest = beam.front().cost;
  beam.erase(std::find_if(beam.begin(), beam.end(),
                          [lowest](const PlainCandidate& c) { return c.cost != lowest; }),
             beam.end());
}

PlainBeam PlainBestMoves(const CircuitOptimizer& opt, InteractionMatrix m, int32_t bound) {
  const InteractionMatrix kept = m;
  PlainBeam moves;
  for (int32_t from = 0; from < m.cols(); ++from) {
    for (int32_t to = 0; to < m.cols(); ++to) {
      if (to == from) continue;
      CircuitOptimizer::MoveColumn(m, from, to);
      const int32_t c = opt.Cost(m);
      if (c < bound) moves.push_back({from, to, c, {}});
      m = kept;
    }
  }
  if (!moves.empty()) KeepLowest(moves);
  return moves;
}

std::vector<uint64_t> PlainOptimize(const CircuitOptimizer& opt) {
  PlainBeam beam{{0, 0, INT32_MIN, opt.interaction_matrix}};
  int32_t d = opt.Cost(opt.interaction_matrix);
  for (;;) {
    PlainBeam next;
    for (const PlainCandidate& member : beam) {
      for (PlainCandidate& move : PlainBestMoves(opt, member.matrix, d)) {
        move.matrix = member.matrix;
        CircuitOptimizer::MoveColumn(move.matrix, move.from, move.to);
        next.push_back(std::move(move));
      }
    }
    if (next.empty()) {
      next = beam;
    } else {
      KeepLowest(next);
    }
    std::stable_sort(next.begin(), next.end(),
                     [](const PlainCandidate& a, const PlainCandidate& b) {
                       return a.from != b.from ? a.from < b.from : a.to < b.to;
                     });
    beam.clear();
    for (PlainCandidate& c : next) {
      if (!beam.empty()) {
        const PlainCandidate& last = beam.back();
        if ((last.from == c.from && last.to == c.to) || (last.from == c.to && last.to == c.from)) {
          continue;
        }
      }
      beam.push_back(std::move(c));
    }
    if (beam.front().cost == d) break;
    d = beam.front().cost;
  }
  const InteractionMatrix& best = beam.front().matrix;
  std::vector<uint64_t> permutation(static_cast<size_t>(best.cols()));
  for (Eigen::Index c = 0; c < best.cols(); ++c) {
    permutation[static_cast<size_t>(best(best.rows() - 1, c))] = static_cast<uint64_t>(c);
  }
  return permutation;
}

std::unique_ptr<QuantumCircuit> RandomPairs(std::mt19937& rng, uint64_t n, int gates) {
  auto circuit = NewCircuit(n);
  std::uniform_int_distribution<uint64_t> qubit(0, n - 1);
  for (int i = 0; i < gates; ++i) {
    const uint64_t a = qubit(rng);
    uint64_t b = qubit(rng);
    while (b == a) b = qubit(rng);
    Add2(*circuit, kind::kCX, kGateCX, a, b);
  }
  return circuit;
}

std::vector<int32_t> LabelRow(const InteractionMatrix& m) {
  std::vector<int32_t> labels(static_cast<size_t>(m.cols()));
  for (Eigen::Index c = 0; c < m.cols(); ++c) labels[static_cast<size_t>(c)] = m(m.rows() - 1, c);
  return labels;
}

TEST(QubitOrderSearch, MovesOfAnyArrangementCostWhatThePlainSearchFinds) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    const uint64_t n = 2 + trial % 11;
    auto circuit = RandomPairs(rng, n, 1 + static_cast<int>(rng() % 40));
    CircuitOptimizer opt;
    opt.Build(*circuit);
    opt.PrepareSearch();
    // A shuffled arrangement, then every bound from below to above its moves.
    InteractionMatrix m = opt.interaction_matrix;
    for (int k = 0; k < 5; ++k) {
      CircuitOptimizer::MoveColumn(m, rng() % n, rng() % n);
    }
    const int32_t here = opt.Cost(m);
    for (int32_t bound : {INT32_MIN, 0, here / 2, here, here + 1, INT32_MAX}) {
      const PlainBeam expected = PlainBestMoves(opt, m, bound);
      const Beam found = opt.BestMoves(LabelRow(m), bound);
      ASSERT_EQ(found.size(), expected.size()) << "trial " << trial << " bound " << bound;
      for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].from, expected[i].from);
        EXPECT_EQ(found[i].to, expected[i].to);
        EXPECT_EQ(found[i].cost, expected[i].cost);
      }
    }
  }
}

TEST(QubitOrderSearch, WholeSearchEndsWhereThePlainSearchEnds) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 60; ++trial) {
    const uint64_t n = 2 + trial % 9;
    auto circuit = RandomPairs(rng, n, 1 + static_cast<int>(rng() % 25));
    CircuitOptimizer opt;
    opt.Build(*circuit);
    const std::vector<uint64_t> expected = PlainOptimize(opt);
    ASSERT_TRUE(opt.Optimize());
    EXPECT_EQ(opt.permutation, expected) << "trial " << trial;
    // The final matrix is the interaction matrix in the found order.
    ASSERT_EQ(opt.final_matrix.rows(), opt.interaction_matrix.rows());
    for (Eigen::Index c = 0; c < opt.final_matrix.cols(); ++c) {
      const auto qubit = opt.final_matrix(opt.final_matrix.rows() - 1, c);
      EXPECT_EQ(opt.permutation[static_cast<size_t>(qubit)], static_cast<uint64_t>(c));
      EXPECT_TRUE(opt.final_matrix.col(c) == opt.interaction_matrix.col(qubit));
    }
    EXPECT_LE(opt.Cost(opt.final_matrix), opt.Cost(opt.interaction_matrix));
  }
}

// Symmetric circuits: every step of the search meets many moves of equal cost.
TEST(QubitOrderSearch, TiesEndWhereThePlainSearchEnds) {
  std::vector<std::unique_ptr<QuantumCircuit>> circuits;
  for (uint64_t half : {2, 3, 4, 5}) {
    auto bipartite = NewCircuit(2 * half);
    for (uint64_t a = 0; a < half; ++a) {
      for (uint64_t b = half; b < 2 * half; ++b) Add2(*bipartite, kind::kCX, kGateCX, a, b);
    }
    circuits.push_back(std::move(bipartite));
  }
  for (uint64_t n : {5, 8, 11}) {
    auto ring = NewCircuit(n);
    for (uint64_t q = 0; q < n; ++q) Add2(*ring, kind::kCZ, kGateCZ, (q * 3) % n, (q * 3 + 3) % n);
    circuits.push_back(std::move(ring));
    auto star = NewCircuit(n);
    for (uint64_t q = 0; q < n; ++q) {
      if (q != n / 2) Add2(*star, kind::kCX, kGateCX, n / 2, q);
    }
    circuits.push_back(std::move(star));
  }
  for (const auto& circuit : circuits) {
    CircuitOptimizer opt;
    opt.Build(*circuit);
    const std::vector<uint64_t> expected = PlainOptimize(opt);
    ASSERT_TRUE(opt.Optimize());
    EXPECT_EQ(opt.permutation, expected) << circuit->total_qubits << " qubits";
  }
}

TEST(QubitOrderSearch, CostsNearTheTopSaturateAsCostDoes) {
  CircuitOptimizer opt;
  auto circuit = NewCircuit(4);
  Add2(*circuit, kind::kCX, kGateCX, 0, 3);
  Add2(*circuit, kind::kCX, kGateCX, 1, 2);
  opt.Build(*circuit);
  opt.pair_weights = {int64_t{1} << 30, 5};
  opt.PrepareSearch();
  const PlainBeam expected = PlainBestMoves(opt, opt.interaction_matrix, INT32_MAX);
  const Beam found = opt.BestMoves(LabelRow(opt.interaction_matrix), INT32_MAX);
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].cost, expected[i].cost);
  EXPECT_EQ(opt.Cost(opt.interaction_matrix), INT32_MAX);
}

std::vector<std::vector<uint64_t>> QubitLists(const InstructionList& list) {
  std::vector<std::vector<uint64_t>> out;
  for (const InstructionPtr& r : list) out.push_back(r->qubits);
  return out;
}

TEST(OptimizeQuantumCircuit, ExamplesOfSmallCircuits) {
  auto far = NewCircuit(3);
  for (int i = 0; i < 3; ++i) Add2(*far, kind::kCX, kGateCX, 0, 2);
  EXPECT_TRUE(OptimizeQuantumCircuit(*far));
  EXPECT_EQ(far->qubit_map, (std::vector<int64_t>{1, 0, 2}));
  for (const InstructionPtr& r : far->instructions) {
    EXPECT_EQ(r->qubits, (std::vector<uint64_t>{0, 2}));  // the records stay
  }

  auto single = NewCircuit(3);
  Add1(*single, kind::kH, kGateH, 2);
  EXPECT_TRUE(OptimizeQuantumCircuit(*single));
  EXPECT_EQ(single->qubit_map, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(single->instructions[0]->qubits, (std::vector<uint64_t>{2}));

  auto two = NewCircuit(2);
  Add2(*two, kind::kCX, kGateCX, 1, 0);
  EXPECT_TRUE(OptimizeQuantumCircuit(*two));
  EXPECT_EQ(two->qubit_map, (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(two->instructions[0]->qubits, (std::vector<uint64_t>{1, 0}));

  auto line = NewCircuit(3);
  Add2(*line, kind::kCX, kGateCX, 0, 1);
  Add2(*line, kind::kCX, kGateCX, 1, 2);
  EXPECT_TRUE(OptimizeQuantumCircuit(*line));
  EXPECT_EQ(line->qubit_map, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(QubitLists(line->instructions),
            (std::vector<std::vector<uint64_t>>{{0, 1}, {1, 2}}));
}

TEST(OptimizeQuantumCircuit, CompositesAndSharedRecordsStayAsTheyAre) {
  auto circuit = NewCircuit(3);
  for (int i = 0; i < 3; ++i) Add2(*circuit, kind::kCX, kGateCX, 0, 2);
  InstructionPtr inner = Record(kind::kH, {0});
  InstructionPtr block = Composite({Record(kind::kCX, {0, 2}), inner, inner});
  block->qubits = {0, 2};
  circuit->instructions.push_back(block);
  circuit->instructions.push_back(block);
  circuit->touched_qubits = {1, 0, 1};
  ASSERT_TRUE(OptimizeQuantumCircuit(*circuit));
  ASSERT_EQ(circuit->qubit_map, (std::vector<int64_t>{1, 0, 2}));
  EXPECT_EQ(block->qubits, (std::vector<uint64_t>{0, 2}));
  EXPECT_EQ(block->sub_instructions[0]->qubits, (std::vector<uint64_t>{0, 2}));
  EXPECT_EQ(inner->qubits, (std::vector<uint64_t>{0}));
  EXPECT_EQ(circuit->touched_qubits, (std::vector<uint64_t>{1, 0, 1}));
}

TEST(OptimizeQuantumCircuit, ASecondSearchPlacesTheSameRecordsAgain) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 20; ++trial) {
    const uint64_t n = 3 + trial % 8;
    auto circuit = RandomPairs(rng, n, 20);
    const auto before = QubitLists(circuit->instructions);
    ASSERT_TRUE(OptimizeQuantumCircuit(*circuit));
    Add2(*circuit, kind::kCX, kGateCX, 0, n - 1);
    ASSERT_TRUE(OptimizeQuantumCircuit(*circuit));
    const auto after = QubitLists(circuit->instructions);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]);
    EXPECT_EQ(after.back(), (std::vector<uint64_t>{0, n - 1}));
    std::vector<int64_t> sorted = circuit->qubit_map;
    std::sort(sorted.begin(), sorted.end());
    for (uint64_t q = 0; q < n; ++q) ASSERT_EQ(sorted[q], static_cast<int64_t>(q));
  }
}

TEST(OptimizeQuantumCircuit, TheEngineSitsEachQubitWhereTheSearchPlacedIt) {
  auto circuit = NewCircuit(4);
  for (int i = 0; i < 3; ++i) Add2(*circuit, kind::kCX, kGateCX, 0, 3);
  ASSERT_TRUE(OptimizeQuantumCircuit(*circuit));
  const std::vector<int64_t> placement = circuit->qubit_map;
  ASSERT_NE(placement, (std::vector<int64_t>{0, 1, 2, 3}));
  MpsSimulator engine(4);
  engine.Reset(*circuit);
  for (int64_t q = 0; q < 4; ++q) {
    EXPECT_EQ(engine.qubit_to_position()[static_cast<size_t>(q)], placement[q]);
    EXPECT_EQ(engine.position_to_qubit()[static_cast<size_t>(placement[q])], q);
  }
  // Qubits 0 and 3 interact: the search puts them side by side.
  EXPECT_EQ(std::abs(placement[0] - placement[3]), 1);
}

TEST(OptimizeQuantumCircuit, EmptyCircuitAndUnsetMap) {
  QuantumCircuit empty;
  EXPECT_TRUE(OptimizeQuantumCircuit(empty));
  EXPECT_EQ(empty.qubit_map.size(), empty.total_qubits);
}

}  // namespace
}  // namespace velorin
