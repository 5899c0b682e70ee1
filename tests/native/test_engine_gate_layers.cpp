// Two-qubit records on disjoint neighbouring positions updated side by side:
// the state must be the one of updates one after another, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "circuit/errors.h"
#include "engine_fixtures.h"

namespace velorin {
namespace {

using testing::Add1;
using testing::Add2;
using testing::Composite;
using testing::NewCircuit;
using testing::RunOnce;

// Layers of random one-qubit rotations (and some fixed one-qubit gates), then pairs of alternating offsets,
// with gate kinds of every path of the update (the swapped blocks of cx and
// swap, the sign of cz, matrices on either orientation); every third layer
// sits inside a composite.
std::unique_ptr<QuantumCircuit> Brickwork(uint64_t n, int depth, uint64_t cap, unsigned seed) {
  auto c = NewCircuit(n);
  c->max_bond_dimension = cap;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> angle(-M_PI, M_PI);
  for (int layer = 0; layer < depth; ++layer) {
    for (uint64_t q = 0; q < n; ++q) {
      Add1(*c, kind::kU, MatrixU({angle(rng), angle(rng), angle(rng)}), q);
      // The one-qubit paths of fixed kinds too, between the layers.
      switch ((q + static_cast<uint64_t>(layer)) % 7) {
        case 0: Add1(*c, kind::kX, kGateX, q); break;
        case 1: Add1(*c, kind::kT, kGateT, q); break;
        case 2: Add1(*c, kind::kSdg, kGateSdg, q); break;
        case 3: Add1(*c, kind::kH, kGateH, q); break;
        default: break;
      }
    }
    InstructionList block;
    InstructionList* target = layer % 3 == 2 ? &block : nullptr;
    for (uint64_t q = static_cast<uint64_t>(layer % 2); q + 1 < n; q += 2) {
      const bool flip = (q / 2 + static_cast<uint64_t>(layer)) % 2 == 1;
      const uint64_t a = flip ? q + 1 : q;
      const uint64_t b = flip ? q : q + 1;
      switch ((q / 2 + static_cast<uint64_t>(layer)) % 5) {
        case 0: Add2(*c, kind::kCX, kGateCX, a, b, target); break;
        case 1: Add2(*c, kind::kCZ, kGateCZ, a, b, target); break;
        case 2: Add2(*c, kind::kRZZ, MatrixRZZ({angle(rng)}), a, b, target); break;
        case 3: Add2(*c, kind::kCRX, MatrixCRX({angle(rng)}), a, b, target); break;
        default: Add2(*c, kind::kSwap, kGateSwap, a, b, target); break;
      }
    }
    if (target != nullptr) testing::Push(*c, Composite(std::move(block)));
  }
  return c;
}

std::vector<uint64_t> AllQubits(uint64_t n) {
  std::vector<uint64_t> qubits(n);
  for (uint64_t q = 0; q < n; ++q) qubits[q] = q;
  return qubits;
}

struct LayerCase {
  uint64_t qubits;
  int depth;
  uint64_t cap;
};

class GateLayers : public ::testing::TestWithParam<LayerCase> {};

TEST_P(GateLayers, SideBySideEqualsOneByOneBitForBit) {
  const LayerCase& param = GetParam();
  auto circuit = Brickwork(param.qubits, param.depth, param.cap, 29);
  MpsSimulator serial(param.qubits);
  serial.set_side_threads(1);
  RunOnce(serial, *circuit);
  EXPECT_EQ(serial.gate_layers_side_by_side(), 0);
  MpsSimulator parallel(param.qubits);
  parallel.set_side_threads(4);
  RunOnce(parallel, *circuit);
  EXPECT_GE(parallel.gate_layers_side_by_side(), param.depth - 1);

  ASSERT_EQ(parallel.bonds().size(), serial.bonds().size());
  for (size_t p = 0; p < serial.bonds().size(); ++p) {
    EXPECT_EQ(parallel.bonds()[p], serial.bonds()[p]) << "bond " << p;
  }
  const std::vector<double> expected = serial.GetProbabilities(AllQubits(param.qubits));
  const std::vector<double> got = parallel.GetProbabilities(AllQubits(param.qubits));
  ASSERT_EQ(got.size(), expected.size());
  size_t differing = 0;
  for (size_t i = 0; i < got.size(); ++i) differing += got[i] != expected[i];
  EXPECT_EQ(differing, 0u);
}

// Every record side by side keeps its own clock readings, in the order its
// qubits impose: a record on a qubit begins after the one before it ended.
TEST(GateLayerTimes, EachRecordIsTimedInTheOrderOfItsQubits) {
  const uint64_t n = 12;
  auto circuit = Brickwork(n, 12, kUnlimitedBondDimension, 31);
  MpsSimulator parallel(n);
  parallel.set_side_threads(4);
  RunOnce(parallel, *circuit);
  ASSERT_GE(parallel.gate_layers_side_by_side(), 11);
  std::vector<const Instruction*> leaves;
  VisitLeafRecords(circuit->instructions, [&](const Instruction& record) {
    leaves.push_back(&record);
    return true;
  });
  std::vector<int64_t> last_end(n, 0);
  size_t distinct_ends = 0;
  int64_t previous_end = 0;
  for (const Instruction* record : leaves) {
    ASSERT_GT(record->start_time, 0);
    ASSERT_GE(record->end_time, record->start_time);
    for (uint64_t q : record->qubits) {
      EXPECT_GE(record->start_time, last_end[q]) << "qubit " << q;
      last_end[q] = record->end_time;
    }
    distinct_ends += record->end_time != previous_end;
    previous_end = record->end_time;
  }
  // Not one reading shared by a whole group of records.
  EXPECT_GT(distinct_ends, leaves.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(Brickworks, GateLayers,
                         ::testing::Values(LayerCase{12, 12, kUnlimitedBondDimension},
                                           LayerCase{14, 16, 24}, LayerCase{13, 9, 5}));

// A record that fails stops the run where one-by-one updates would stop it:
// the pairs before it are applied, the ones after it are not.
TEST(GateLayersFailing, ABadRecordInTheLayerFailsInItsTurn) {
  auto circuit = Brickwork(12, 10, kUnlimitedBondDimension, 7);
  // A layer of pairs whose fourth holds a matrix no update can use.
  for (uint64_t q = 0; q + 1 < 12; q += 2) {
    Add2(*circuit, kind::kRZZ, q == 6 ? MatrixRZZ({NAN}) : MatrixRZZ({0.3 * (q + 1)}), q, q + 1);
  }
  MpsSimulator serial(12);
  serial.set_side_threads(1);
  MpsSimulator parallel(12);
  parallel.set_side_threads(4);
  EXPECT_THROW(RunOnce(serial, *circuit), RunTimeError);
  EXPECT_THROW(RunOnce(parallel, *circuit), RunTimeError);
  const std::vector<double> expected = serial.GetProbabilities(AllQubits(12));
  const std::vector<double> got = parallel.GetProbabilities(AllQubits(12));
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << i;
}

// Layers that run as one graph ask the stop check on the calling thread only
// (it may take the interpreter), and a stop at any point ends the run with its
// error, once.
TEST(GateLayersStopping, TheStopCheckStaysOnTheCallingThreadAndItsStopEndsTheRun) {
  struct Stopped {};
  auto circuit = Brickwork(12, 12, kUnlimitedBondDimension, 3);
  const uint64_t records = circuit->instructions.size();
  for (const uint64_t stop_after : {uint64_t{0}, uint64_t{5}, records / 2}) {
    MpsSimulator engine(12);
    engine.set_side_threads(4);
    uint64_t asked = 0;
    const std::thread::id caller = std::this_thread::get_id();
    bool other_thread = false;
    engine.SetStopCheck([&] {
      other_thread = other_thread || std::this_thread::get_id() != caller;
      if (++asked > stop_after) throw Stopped();
    });
    EXPECT_THROW(RunOnce(engine, *circuit), Stopped) << stop_after;
    EXPECT_FALSE(other_thread);
    EXPECT_EQ(asked, stop_after + 1);
  }
  // Without a stop, it is still asked as the layers go.
  MpsSimulator engine(12);
  engine.set_side_threads(4);
  uint64_t asked = 0;
  engine.SetStopCheck([&] { ++asked; });
  RunOnce(engine, *circuit);
  EXPECT_GT(engine.gate_layers_side_by_side(), 0);
  EXPECT_GE(asked, records / 4);
}

}  // namespace
}  // namespace velorin
