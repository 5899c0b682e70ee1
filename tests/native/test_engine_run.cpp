// Shots: reset, the instruction walk, checkpoint replay, classical
// conditions, measurement and reset of qubits, the progress line.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "circuit/errors.h"
#include "platform/clock.h"
#include "platform/threads.h"
#include "engine_fixtures.h"

namespace velorin {
namespace {

using testing::Add1;
using testing::Add2;
using testing::Composite;
using testing::kR;
using testing::NewCircuit;
using testing::Record;
using testing::RunOnce;

// ---- the engine object ----

TEST(EngineObject, NewEngineAndReset) {
  MpsSimulator engine(3);
  EXPECT_EQ(engine.measured_values(), (std::vector<int64_t>{-1, -1, -1}));
  EXPECT_TRUE(engine.chain().empty());
  EXPECT_EQ(engine.max_bond_dimension(), 512u);
  EXPECT_TRUE(engine.quiet());

  auto c = NewCircuit(3);
  c->max_bond_dimension = 17;
  c->quiet = false;
  engine.Reset(*c);
  ASSERT_EQ(engine.chain().size(), 3u);
  for (const QubitTensor& site : engine.chain()) {
    EXPECT_EQ(site.factors, (std::vector<Matrix>{kScalarOne, kScalarZero}));
  }
  EXPECT_EQ(engine.bonds(), (std::vector<BondValues>(3, BondValues{1.0})));
  EXPECT_EQ(engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(engine.qubit_to_position(), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(engine.max_bond_dimension(), 17u);
  EXPECT_FALSE(engine.quiet());
  // Read again at every reset.
  c->max_bond_dimension = 5;
  c->quiet = true;
  engine.Reset(*c);
  EXPECT_EQ(engine.max_bond_dimension(), 5u);
  EXPECT_TRUE(engine.quiet());
}

TEST(EngineObject, NothingWorksOnAChainNotYetBuilt) {
  MpsSimulator engine(2);
  auto c = NewCircuit(2);
  Add1(*c, kind::kX, kGateX, 0);
  EXPECT_THROW(engine.ExecuteInstructions(*c, c->instructions, 0, false), std::out_of_range);
  EXPECT_THROW(engine.MeasureQubits({0}), std::out_of_range);
  EXPECT_THROW(engine.RestoreQubitOrder(), std::out_of_range);
  EXPECT_THROW(engine.SwapPositions(0, 1), std::out_of_range);
  EXPECT_THROW(engine.ProbabilityOfZero(0), std::out_of_range);
  EXPECT_THROW(engine.GetStateVector(), std::out_of_range);
  EXPECT_THROW(engine.GetAmplitudes({0}), std::out_of_range);
  EXPECT_THROW(engine.GetDensityMatrix({0}), std::out_of_range);
  engine.RestoreCheckpoint();  // none saved: still nothing to work on
  EXPECT_THROW(engine.MeasureQubits({0}), std::out_of_range);
  EXPECT_EQ(engine.MeasuredBitsText(), "XX");
}

TEST(EngineObject, QubitCountIsBounded) {
  EXPECT_THROW(MpsSimulator(0), std::range_error);
  EXPECT_THROW(MpsSimulator(101), std::range_error);
  EXPECT_NO_THROW(MpsSimulator(100));
}

TEST(EngineObject, CopyForReadOut) {
  auto c = NewCircuit(3);
  c->max_bond_dimension = 40;
  Add1(*c, kind::kH, kGateH, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 2);
  c->measure(1, "");
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  ASSERT_TRUE(engine.checkpoint_valid());
  const MpsSimulator copy(engine);
  EXPECT_EQ(copy.bonds(), engine.bonds());
  EXPECT_EQ(copy.position_to_qubit(), engine.position_to_qubit());
  EXPECT_EQ(copy.qubit_to_position(), engine.qubit_to_position());
  EXPECT_EQ(copy.measured_values(), engine.measured_values());
  ASSERT_EQ(copy.chain().size(), 3u);
  for (size_t p = 0; p < 3; ++p) EXPECT_EQ(copy.chain()[p].factors, engine.chain()[p].factors);
  EXPECT_EQ(copy.max_bond_dimension(), 512u);
  EXPECT_FALSE(copy.checkpoint_valid());
  EXPECT_TRUE(copy.ran_once());
}

// ---- the walk ----

TEST(Execution, FixedGatesAndTimes) {
  auto c = NewCircuit(2);
  const double r = kR;
  auto x = Add1(*c, kind::kX, kGateX, 0);
  auto h = Add1(*c, kind::kH, kGateH, 1);
  auto t = Add1(*c, kind::kT, kGateI, 1);  // the fixed kinds ignore the matrix
  auto s = Add1(*c, kind::kS, kGateI, 1);
  auto tdg = Add1(*c, kind::kTdg, kGateI, 0);
  auto sdg = Add1(*c, kind::kSdg, kGateI, 0);
  auto id = Add1(*c, kind::kI, kGateX, 0);  // identities do nothing, whatever they hold
  c->barrier("");
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  // x on 0, then tdg and sdg on it: phase (r - ir)(-i); h on 1 then t and s: (r + ir)(i) on |1>.
  const Complex q0 = Complex(r, -r) * Complex(0, -1);
  const Complex q1 = Complex(r, r) * Complex(0, 1);
  const std::vector<Complex> psi = engine.GetStateVector();
  EXPECT_NEAR(std::abs(psi[0b01] - q0 * kR), 0.0, 1e-15);
  EXPECT_NEAR(std::abs(psi[0b11] - q0 * q1 * kR), 0.0, 1e-15);
  EXPECT_EQ(psi[0b00], Complex(0.0));
  for (const InstructionPtr& record : c->instructions) {
    EXPECT_GT(record->start_time, 0);
    EXPECT_GE(record->end_time, record->start_time);
  }
}

TEST(Execution, RecordsOutsideTheEngineAreRefused) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kH, kGateH, 2);
  MpsSimulator small(2);
  ComputeFirstMeasureIndex(*c);
  EXPECT_THROW(small.Run(*c), RunTimeError);

  auto bad_matrix = NewCircuit(2);
  Add1(*bad_matrix, kind::kH, Matrix::Identity(3, 3), 0);
  MpsSimulator engine(2);
  EXPECT_THROW(RunOnce(engine, *bad_matrix), RunTimeError);

  auto same_qubit = NewCircuit(2);
  testing::Push(*same_qubit, Record(kind::kCX, {1, 1}));
  same_qubit->instructions.back()->matrix = kGateCX;
  MpsSimulator other(2);
  EXPECT_THROW(RunOnce(other, *same_qubit), RunTimeError);
}

TEST(Execution, ThreeQubitRecordsDoNothing) {
  auto c = NewCircuit(3);
  auto wide = Record(kind::kCSwap, {0, 1, 2});
  testing::Push(*c, wide);
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  EXPECT_EQ(wide->start_time, 0);
  EXPECT_NEAR(std::abs(engine.GetStateVector()[0]), 1.0, 1e-15);
}

TEST(Execution, CompositesAtAnyDepth) {
  auto c = NewCircuit(2);
  InstructionList inner;
  Add1(*c, kind::kH, kGateH, 0, &inner);
  InstructionList outer;
  outer.push_back(Composite(std::move(inner)));
  Add2(*c, kind::kCX, kGateCX, 0, 1, &outer);
  auto composite = Composite(std::move(outer));
  testing::Push(*c, composite);
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  const std::vector<Complex> psi = engine.GetStateVector();
  EXPECT_NEAR(std::abs(psi[0]), kR, 1e-15);
  EXPECT_NEAR(std::abs(psi[3]), kR, 1e-15);
  EXPECT_EQ(composite->start_time, 0);  // only its sub-records get times
  EXPECT_GT(composite->sub_instructions[1]->start_time, 0);
}

TEST(Execution, DeeplyNestedCompositesDoNotExhaustTheStack) {
  auto c = NewCircuit(1);
  auto x = Record(kind::kX, {0});
  auto measure = Record(kind::kMeasure, {0});
  auto nest = testing::DeepComposite(200000, x);
  auto measured_nest = testing::DeepComposite(200000, measure);
  testing::Push(*c, nest);
  testing::Push(*c, measured_nest);
  MpsSimulator engine(1);
  RunOnce(engine, *c);
  EXPECT_EQ(c->first_measure_index, 1);
  EXPECT_EQ(engine.measured_values()[0], 1);
  EXPECT_GT(x->end_time, 0);
  c->instructions.clear();
  testing::Dismantle(nest);
  testing::Dismantle(measured_nest);
}

TEST(Execution, DelayWaitsForItsDuration) {
  auto c = NewCircuit(1);
  auto wait = Record(kind::kDelay, {0});
  wait->params = {2e6};  // 2 ms
  auto none = Record(kind::kDelay, {0});
  none->params = {-5.0};
  auto nan = Record(kind::kDelay, {0});
  nan->params = {std::nan("")};
  for (auto& r : {wait, none, nan}) testing::Push(*c, r);
  MpsSimulator engine(1);
  RunOnce(engine, *c);
  EXPECT_GE(wait->end_time - wait->start_time, 2000000);
  EXPECT_GT(none->end_time, 0);
  EXPECT_GT(nan->end_time, 0);

  auto bare = NewCircuit(1);
  testing::Push(*bare, Record(kind::kDelay, {0}));
  MpsSimulator other(1);
  EXPECT_THROW(RunOnce(other, *bare), std::out_of_range);
}

// ---- checkpoint ----

TEST(Checkpoint, LaterShotsReplayFromTheFirstMeasure) {
  auto c = NewCircuit(2);
  auto h = Add1(*c, kind::kH, kGateH, 0);
  auto cx = Add2(*c, kind::kCX, kGateCX, 0, 1);
  c->measure(0, "");
  c->measure(1, "");
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  EXPECT_EQ(c->first_measure_index, 2);
  EXPECT_TRUE(engine.checkpoint_valid());
  const int64_t h_time = h->start_time, cx_time = cx->start_time;
  int ones = 0;
  for (int shot = 0; shot < 200; ++shot) {
    const int64_t measure_time = c->instructions[2]->start_time;
    engine.Run(*c);
    EXPECT_GT(c->instructions[2]->start_time, measure_time);
    const std::vector<int64_t>& m = engine.measured_values();
    ASSERT_EQ(m[0], m[1]);
    ones += static_cast<int>(m[0]);
  }
  EXPECT_EQ(h->start_time, h_time);  // not run again
  EXPECT_EQ(cx->start_time, cx_time);
  EXPECT_GT(ones, 50);  // fails with a probability far below 1e-9
  EXPECT_LT(ones, 150);
}

TEST(Checkpoint, FailedConditionBeforeTheMeasureStillSamplesAfresh) {
  auto c = NewCircuit(2);
  Add1(*c, kind::kH, kGateH, 0);
  auto skipped = Add1(*c, kind::kX, kGateX, 1);
  skipped->has_condition = true;
  skipped->condition_bit = 0;
  skipped->condition_value = 1;  // qubit 0 is not measured yet: -1
  c->measure(0, "");
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  int ones = 0;
  for (int shot = 0; shot < 60; ++shot) {
    engine.Run(*c);
    ones += static_cast<int>(engine.measured_values()[0]);
  }
  EXPECT_EQ(skipped->start_time, 0);
  EXPECT_GT(ones, 0);
  EXPECT_LT(ones, 60);
}

TEST(Checkpoint, CircuitWithoutMeasureRunsOnce) {
  auto c = NewCircuit(2);
  auto h = Add1(*c, kind::kH, kGateH, 0);
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  EXPECT_EQ(c->first_measure_index, 1);
  const int64_t time = h->start_time;
  const auto bonds = engine.bonds();
  for (int shot = 0; shot < 4; ++shot) engine.Run(*c);
  EXPECT_EQ(h->start_time, time);
  EXPECT_EQ(engine.bonds(), bonds);
}

TEST(Checkpoint, MeasureFirstRunsTheWholeListEveryShot) {
  auto c = NewCircuit(1);
  c->measure(0, "");
  auto x = Add1(*c, kind::kX, kGateX, 0);
  MpsSimulator engine(1);
  RunOnce(engine, *c);
  EXPECT_EQ(c->first_measure_index, 0);
  EXPECT_FALSE(engine.checkpoint_valid());
  const int64_t time = x->start_time;
  engine.Run(*c);
  EXPECT_GT(x->start_time, time);
  EXPECT_EQ(engine.measured_values()[0], 0);
}

TEST(Checkpoint, MeasureInsideACompositeCheckpointsBeforeIt) {
  auto c = NewCircuit(1);
  auto h = Add1(*c, kind::kH, kGateH, 0);
  InstructionList subs{Record(kind::kMeasure, {0})};
  testing::Push(*c, Composite(std::move(subs)));
  MpsSimulator engine(1);
  RunOnce(engine, *c);
  EXPECT_EQ(c->first_measure_index, 1);
  EXPECT_TRUE(engine.checkpoint_valid());
  const int64_t time = h->start_time;
  engine.Run(*c);
  EXPECT_EQ(h->start_time, time);
}

TEST(Checkpoint, QubitMapPlacesQubitsOnTheChain) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kX, kGateX, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 2);
  c->qubit_map = {2, 0, 1};  // qubit q sits at chain position qubit_map[q]
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  for (int64_t p = 0; p < 3; ++p) {
    EXPECT_EQ(engine.qubit_to_position()[engine.position_to_qubit()[p]], p);
  }
  // The records keep the caller's numbering: qubits 0 and 2 are set.
  EXPECT_NEAR(std::abs(engine.GetStateVector()[0b101]), 1.0, 1e-15);

  auto broken = NewCircuit(2);
  Add1(*broken, kind::kX, kGateX, 0);
  broken->qubit_map = {1, 1};  // not a permutation: left unapplied
  MpsSimulator other(2);
  RunOnce(other, *broken);
  EXPECT_EQ(other.position_to_qubit(), (std::vector<int64_t>{0, 1}));
  EXPECT_NEAR(std::abs(other.GetStateVector()[0b01]), 1.0, 1e-15);
}

// ---- classical conditions ----

struct ConditionCase {
  const char* what;
  bool on_bit;
  int64_t bit;           // single-bit form
  int32_t start, size;   // register form
  int64_t value;
  bool holds;
};

void PrintTo(const ConditionCase& k, std::ostream* out) { *out << k.what; }

// Three qubits; qubit 1 measured as 1, qubits 0 and 2 not measured.
class Conditions : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(Conditions, SelectTheRecord) {
  const ConditionCase& k = GetParam();
  auto c = NewCircuit(3);
  Add1(*c, kind::kX, kGateX, 1);
  c->measure(1, "");
  auto flip = Add1(*c, kind::kX, kGateX, 0);
  flip->has_condition = true;
  flip->condition_on_bit = k.on_bit;
  flip->condition_bit = k.bit;
  flip->condition_register = {"c", k.start, k.size, {}};
  flip->condition_value = k.value;
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  const std::vector<Complex> psi = engine.GetStateVector();
  EXPECT_NEAR(std::abs(psi[k.holds ? 0b011 : 0b010]), 1.0, 1e-15) << k.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Conditions,
    ::testing::Values(
        ConditionCase{"measured bit", true, 1, 0, 0, 1, true},
        ConditionCase{"measured bit, other value", true, 1, 0, 0, 0, false},
        ConditionCase{"unmeasured bit is -1, not 0", true, 2, 0, 0, 0, false},
        ConditionCase{"unmeasured bit equals -1", true, 2, 0, 0, -1, true},
        ConditionCase{"bit beyond the qubits", true, 3, 0, 0, -1, false},
        ConditionCase{"negative bit", true, -1, 0, 0, -1, false},
        ConditionCase{"huge bit", true, INT64_MAX, 0, 0, 0, false},
        ConditionCase{"register", false, 0, 0, 3, 2, true},
        ConditionCase{"register, other value", false, 0, 0, 3, 0, false},
        ConditionCase{"register part beyond the qubits", false, 0, 1, 5, 1, true},
        ConditionCase{"register wholly beyond", false, 0, 7, 4, 0, true},
        ConditionCase{"register with negative start", false, 0, -2, 4, 8, true},
        ConditionCase{"register wider than 63 bits", false, 0, 0, 100, 2, true},
        ConditionCase{"huge register", false, 0, 0, INT32_MAX, 2, true},
        ConditionCase{"negative size", false, 0, 0, -4, 0, true},
        ConditionCase{"negative value", false, 0, 0, 3, -1, false}));

TEST(ConditionsBeforeMeasurement, RegisterZeroHoldsBitZeroDoesNot) {
  auto c = NewCircuit(2);
  auto by_register = Add1(*c, kind::kX, kGateX, 0);
  by_register->has_condition = true;
  by_register->condition_on_bit = false;
  by_register->condition_register = {"c", 0, 2, {}};
  auto by_bit = Add1(*c, kind::kX, kGateX, 1);
  by_bit->has_condition = true;
  by_bit->condition_bit = 0;
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  EXPECT_NEAR(std::abs(engine.GetStateVector()[0b01]), 1.0, 1e-15);
}

TEST(ConditionsOnWideRegisters, AOneBeyondBit62CannotMatch) {
  auto c = NewCircuit(70);
  Add1(*c, kind::kX, kGateX, 65);
  c->measure(65, "");
  auto wide = Add1(*c, kind::kX, kGateX, 0);
  wide->has_condition = true;
  wide->condition_on_bit = false;
  wide->condition_register = {"c", 0, 70, {}};
  wide->condition_value = 0;
  auto narrow = Add1(*c, kind::kX, kGateX, 1);
  narrow->has_condition = true;
  narrow->condition_on_bit = false;
  narrow->condition_register = {"c", 60, 10, {}};
  narrow->condition_value = 32;
  MpsSimulator engine(70);
  RunOnce(engine, *c);
  EXPECT_EQ(wide->start_time, 0);
  EXPECT_GT(narrow->start_time, 0);
}

TEST(ConditionsOnMeasures, AConditionalMeasureSeesTheOnesBefore) {
  auto c = NewCircuit(2);
  Add1(*c, kind::kX, kGateX, 0);
  c->measure(0, "");
  c->measure(1, "");
  c->instructions.back()->has_condition = true;
  c->instructions.back()->condition_bit = 0;
  c->instructions.back()->condition_value = 1;
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  EXPECT_EQ(engine.measured_values(), (std::vector<int64_t>{1, 0}));
}

// ---- measurement and reset ----

TEST(Measurement, BasisStatesGiveFixedOutcomes) {
  for (int shot = 0; shot < 20; ++shot) {
    auto c = NewCircuit(2);
    Add1(*c, kind::kX, kGateX, 1);
    c->measure(0, "");
    c->measure(1, "");
    MpsSimulator engine(2);
    RunOnce(engine, *c);
    ASSERT_EQ(engine.measured_values(), (std::vector<int64_t>{0, 1}));
    EXPECT_NEAR(std::abs(engine.GetStateVector()[0b10]), 1.0, 1e-15);
  }
}

TEST(Measurement, BellPairCollapsesBothBonds) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kH, kGateH, 1);
  Add2(*c, kind::kCX, kGateCX, 1, 2);
  Add2(*c, kind::kCX, kGateCX, 1, 0);
  c->measure(2, "");  // listed out of chain order
  c->measure(0, "");
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  const std::vector<int64_t>& m = engine.measured_values();
  EXPECT_EQ(m[0], m[2]);
  EXPECT_EQ(m[1], -1);
  for (const BondValues& bond : engine.bonds()) EXPECT_EQ(bond.size(), 1u);
  const size_t all = m[0] == 1 ? 0b111 : 0;
  EXPECT_NEAR(std::abs(engine.GetStateVector()[all]), 1.0, 1e-14);
}

TEST(Measurement, ProductQubitNeedsNoResplit) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kRY, Matrix(kGateH), 0);  // any real rotation-like gate
  Add2(*c, kind::kUnnamed, kGateCH, 0, 1);
  Add1(*c, kind::kH, kGateH, 2);
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  const auto bonds = engine.bonds();
  const auto site0 = engine.chain()[0].factors;
  const auto site1 = engine.chain()[1].factors;
  engine.MeasureQubits({2});
  EXPECT_EQ(engine.bonds()[0], bonds[0]);  // bitwise: nothing re-split
  EXPECT_EQ(engine.chain()[0].factors, site0);
  EXPECT_EQ(engine.chain()[1].factors, site1);
  EXPECT_NE(engine.measured_values()[2], -1);
}

TEST(Measurement, UnknownQubitsAreIgnored) {
  auto c = NewCircuit(2);
  MpsSimulator engine(2);
  engine.Reset(*c);
  engine.MeasureQubits({7, 1, 1});
  EXPECT_EQ(engine.measured_values(), (std::vector<int64_t>{-1, 0}));
}

TEST(ResetOfAQubit, ReturnsItToZeroAndRecordsNothing) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kX, kGateX, 1);
  Add2(*c, kind::kCX, kGateCX, 1, 0);   // qubit 0 also 1
  Add2(*c, kind::kSwap, kGateSwap, 2, 0);  // out of natural order
  c->reset(1, "");
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  EXPECT_EQ(engine.measured_values(), (std::vector<int64_t>{-1, -1, -1}));
  EXPECT_EQ(engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_NEAR(std::abs(engine.GetStateVector()[0b100]), 1.0, 1e-15);
}

TEST(ResetOfAQubit, EntangledQubitLeavesAProductState) {
  for (int shot = 0; shot < 10; ++shot) {
    auto c = NewCircuit(2);
    Add1(*c, kind::kH, kGateH, 0);
    Add2(*c, kind::kCX, kGateCX, 0, 1);
    c->reset(0, "");
    MpsSimulator engine(2);
    RunOnce(engine, *c);
    const std::vector<Complex> psi = engine.GetStateVector();
    EXPECT_NEAR(std::norm(psi[0b00]) + std::norm(psi[0b10]), 1.0, 1e-14);
    EXPECT_NEAR(std::abs(psi[0b00] * psi[0b10]), 0.0, 1e-14);
  }
}

// ---- shots side by side ----

// h(0), measure(0), x(1) when qubit 0 read 1, measure(1): every shot gives
// "00" or "11" on those two, and the x runs in about half of them. A GHZ
// chain over the other qubits, built anew by every shot and never measured,
// gives the shots enough work to be spread over threads.
constexpr uint64_t kCoinQubits = 24;
struct CoinCircuit {
  std::unique_ptr<QuantumCircuit> circuit = NewCircuit(kCoinQubits);
  InstructionPtr first_measure, conditional, wide;
  explicit CoinCircuit(int32_t shots) {
    Add1(*circuit, kind::kH, kGateH, 0);
    circuit->measure(0, "");
    first_measure = circuit->instructions.back();
    conditional = Add1(*circuit, kind::kX, kGateX, 1);
    conditional->has_condition = true;
    conditional->condition_bit = 0;
    conditional->condition_value = 1;
    // Under the same condition, a record the engine does not simulate: it
    // never gets times, in whichever shot it comes up.
    wide = Record(kind::kCSwap, {2, 3, 4});
    wide->has_condition = true;
    wide->condition_bit = 0;
    wide->condition_value = 1;
    testing::Push(*circuit, wide);
    Add1(*circuit, kind::kH, kGateH, 2);
    for (uint64_t q = 2; q + 1 < kCoinQubits; ++q) Add2(*circuit, kind::kCX, kGateCX, q, q + 1);
    circuit->measure(1, "");
    circuit->shots = shots;
    ComputeFirstMeasureIndex(*circuit);
  }
};

// After a first shot, the batches the way the backend runs them: their texts.
std::vector<std::string> RunBatches(MpsSimulator& engine, QuantumCircuit& c, int64_t& batches) {
  std::vector<std::string> texts;
  auto keep = [&](const std::string& bits) { texts.push_back(bits); };
  batches = 0;
  for (int64_t ran; (ran = engine.ReplayShots(c, keep)) > 0;) ++batches;
  return texts;
}

TEST(SideBySide, BatchesRunEveryShotButTheFirstAndTheLast) {
  CoinCircuit coin(300);
  QuantumCircuit& c = *coin.circuit;
  MpsSimulator engine(kCoinQubits);
  EXPECT_EQ(engine.ReplayShots(c, [](const std::string&) {}), 0);  // no first shot yet
  engine.Run(c);
  const std::string first = engine.MeasuredBitString();
  int64_t batches = 0;
  const int64_t before = platform::SteadyNanoseconds();
  std::vector<std::string> texts = RunBatches(engine, c, batches);
  EXPECT_GE(batches, 1);
  if (platform::HardwareThreads() > 1) {
    EXPECT_GT(engine.replay_threads(), 1);
  }
  ASSERT_EQ(texts.size(), 298u);  // the first and the last shot are Run's
  texts.push_back(first);
  // Records that every shot executes keep the first shot's times until the
  // last shot writes its own; a conditional one has the time of a batch.
  EXPECT_LT(coin.first_measure->end_time, before);
  EXPECT_GE(coin.conditional->start_time, before);
  EXPECT_GE(coin.conditional->end_time, coin.conditional->start_time);
  EXPECT_EQ(coin.wide->start_time, 0);
  engine.Run(c);
  texts.push_back(engine.MeasuredBitString());
  EXPECT_GE(coin.first_measure->start_time, before);
  int ones = 0;
  for (const std::string& bits : texts) {
    ASSERT_TRUE(bits == "00" || bits == "11") << bits;
    ones += bits == "11";
  }
  EXPECT_GT(ones, 90);  // fails with a probability far below 1e-9
  EXPECT_LT(ones, 210);
  // The engine holds the last shot's projected state: qubits 0 and 1 as
  // read, the chain in its GHZ state.
  const uint64_t read = texts.back() == "11" ? 3 : 0;
  EXPECT_NEAR(std::abs(engine.GetAmplitudes({read})[0]), kR, 1e-12);
  const uint64_t chain_ones = ((uint64_t{1} << kCoinQubits) - 1) & ~uint64_t{3};
  EXPECT_NEAR(std::abs(engine.GetAmplitudes({read | chain_ones})[0]), kR, 1e-12);
}

TEST(SideBySide, ShotsThatCannotReplayAreLeftToRun) {
  std::vector<std::string> texts;
  auto keep = [&](const std::string& bits) { texts.push_back(bits); };
  // A tail of measures only: the sweep draws those.
  auto terminal = NewCircuit(2);
  Add1(*terminal, kind::kH, kGateH, 0);
  terminal->measure_all("");
  terminal->shots = 50;
  MpsSimulator sweep(2);
  RunOnce(sweep, *terminal);
  EXPECT_EQ(sweep.ReplayShots(*terminal, keep), 0);
  // A delay in the tail could hold a batch for any time.
  CoinCircuit delayed(50);
  auto wait = Record(kind::kDelay, {1});
  wait->params = {1.0};
  testing::Push(*delayed.circuit, wait);
  MpsSimulator sleeper(kCoinQubits);
  sleeper.Run(*delayed.circuit);
  EXPECT_EQ(sleeper.ReplayShots(*delayed.circuit, keep), 0);
  // Progress lines are printed instruction by instruction on the caller's thread.
  CoinCircuit printed(50);
  printed.circuit->quiet = false;
  gQuiet = false;
  MpsSimulator talker(kCoinQubits);
  talker.SetProgressSink([](const std::string&) {});
  talker.Run(*printed.circuit);
  EXPECT_EQ(talker.ReplayShots(*printed.circuit, keep), 0);
  gQuiet = true;
  EXPECT_TRUE(texts.empty());
  // One shot in all: the first is the last.
  CoinCircuit single(1);
  MpsSimulator once(kCoinQubits);
  once.Run(*single.circuit);
  EXPECT_EQ(once.ReplayShots(*single.circuit, keep), 0);
}

TEST(SideBySide, AFailureOnAnyThreadReachesTheCaller) {
  // A gate whose matrix is not finite, under a condition that about half the
  // shots meet: some shot of the batches meets it, on whichever thread.
  for (int attempt = 0; attempt < 64; ++attempt) {
    CoinCircuit coin(400);
    coin.conditional->kind = kind::kU;
    coin.conditional->matrix = Matrix::Constant(2, 2, Complex(std::nan(""), 0.0));
    MpsSimulator engine(kCoinQubits);
    try {
      engine.Run(*coin.circuit);
    } catch (const RunTimeError&) {
      continue;  // the first shot met it already
    }
    EXPECT_THROW(
        for (int64_t ran; (ran = engine.ReplayShots(*coin.circuit, [](const std::string&) {})) > 0;) {},
        RunTimeError);
    return;
  }
  FAIL() << "the first shot always met the condition";
}

TEST(SideBySide, ResetFirstReplaysFromTheStart) {
  // No checkpoint: every shot starts from the product state.
  auto c = NewCircuit(kCoinQubits);
  testing::Push(*c, Record(kind::kReset, {0}));
  Add1(*c, kind::kH, kGateH, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 1);
  Add1(*c, kind::kH, kGateH, 2);
  for (uint64_t q = 2; q + 1 < kCoinQubits; ++q) Add2(*c, kind::kCX, kGateCX, q, q + 1);
  c->measure(0, "");
  c->measure(1, "");
  Add1(*c, kind::kX, kGateX, 1);
  c->shots = 200;
  ComputeFirstMeasureIndex(*c);
  ASSERT_EQ(c->first_measure_index, 0);
  MpsSimulator engine(kCoinQubits);
  engine.Run(*c);
  int64_t batches = 0;
  const std::vector<std::string> texts = RunBatches(engine, *c, batches);
  EXPECT_FALSE(engine.checkpoint_valid());
  EXPECT_GE(batches, 1);
  if (platform::HardwareThreads() > 1) {
    EXPECT_GT(engine.replay_threads(), 1);
  }
  ASSERT_EQ(texts.size(), 198u);
  int ones = 0;
  for (const std::string& bits : texts) {
    ASSERT_TRUE(bits == "00" || bits == "11") << bits;
    ones += bits == "11";
  }
  EXPECT_GT(ones, 50);
  EXPECT_LT(ones, 150);
}

// ---- progress line ----

class Progress : public ::testing::Test {
 protected:
  void SetUp() override { gQuiet = false; }
  void TearDown() override { gQuiet = true; }
  std::vector<std::string> RunWithSink(QuantumCircuit& c) {
    std::vector<std::string> lines;
    MpsSimulator engine(c.total_qubits);
    engine.SetProgressSink([&](const std::string& line) { lines.push_back(line); });
    RunOnce(engine, c);
    return lines;
  }
};

TEST_F(Progress, OneLinePerInstruction) {
  auto c = NewCircuit(2);
  c->quiet = false;
  Add1(*c, kind::kX, kGateX, 0);
  Add1(*c, kind::kH, kGateH, 0);
  Add1(*c, kind::kX, kGateX, 0);
  const std::vector<std::string> lines = RunWithSink(*c);
  ASSERT_EQ(lines.size(), 3u);
  const char* names[] = {"x", "h", "x"};
  for (int i = 0; i < 3; ++i) {
    const std::regex pattern(std::to_string(i) + " of 3 gate name: " + names[i] +
                             "time: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}");
    EXPECT_TRUE(std::regex_match(lines[i], pattern)) << lines[i];
  }
}

TEST_F(Progress, MeasuresPrintNothingAndIndicesCountThem) {
  auto c = NewCircuit(2);
  c->quiet = false;
  c->measure(0, "");
  c->measure(1, "");
  Add1(*c, kind::kH, kGateH, 0);
  auto skipped = Add1(*c, kind::kX, kGateX, 1);
  skipped->has_condition = true;
  skipped->condition_bit = 0;
  skipped->condition_value = 5;
  testing::Push(*c, Composite({Record(kind::kX, {0}), Record(kind::kX, {0})}, "pair"));
  const std::vector<std::string> lines = RunWithSink(*c);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(0, 22), "2 of 5 gate name: htim");
  EXPECT_EQ(lines[1].substr(0, 22), "3 of 5 gate name: xtim");  // skipped, still printed
  EXPECT_EQ(lines[2].substr(0, 25), "4 of 5 gate name: pairtim");
  EXPECT_EQ(lines[3].substr(0, 22), "0 of 2 gate name: xtim");
  EXPECT_EQ(lines[4].substr(0, 22), "1 of 2 gate name: xtim");
}

TEST_F(Progress, QuietFlagsAndMissingSinkSilence) {
  auto c = NewCircuit(1);
  Add1(*c, kind::kX, kGateX, 0);
  c->quiet = true;
  EXPECT_TRUE(RunWithSink(*c).empty());
  c->quiet = false;
  gQuiet = true;
  EXPECT_TRUE(RunWithSink(*c).empty());
  gQuiet = false;
  MpsSimulator engine(1);
  EXPECT_NO_THROW(RunOnce(engine, *c));
}

}  // namespace
}  // namespace velorin
