// Record structure made by the transformations: relabelled copies, composite
// names, controlled forms and their places.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "circuit/errors.h"
#include "circuit/gate_families.h"
#include "circuit/quantum_circuit.h"
#include "composite/composite_gates.h"
#include "composite/transform.h"

namespace velorin {
namespace {

std::vector<uint64_t> Qubits(const InstructionPtr& record) { return record->qubits; }

void H(QuantumCircuit& qc, uint64_t q) {
  qc.OneQubitGate(OneQubitFamilyNamed("h"), {}, q, "");
}

void CX(QuantumCircuit& qc, uint64_t c, uint64_t t) {
  qc.TwoQubitGate(TwoQubitFamilyNamed("cx"), {}, c, t, "");
}

void RZ(QuantumCircuit& qc, double angle, uint64_t q) {
  qc.OneQubitGate(OneQubitFamilyNamed("rz"), {angle}, q, "");
}

TEST(Compose, MapsQubitsInsideTheCompositeAndListsTheMap) {
  QuantumCircuit qc(3, "", 0.0);
  QuantumCircuit other(2, "", 0.0);
  CX(other, 0, 1);
  EXPECT_TRUE(compose(qc, other, {2, 0}, {}, false, false));
  ASSERT_EQ(qc.instructions.size(), 1u);
  const InstructionPtr& composite = qc.instructions[0];
  EXPECT_EQ(composite->kind, kind::kComposite);
  EXPECT_EQ(composite->name, other.name);
  EXPECT_EQ(Qubits(composite), (std::vector<uint64_t>{2, 0}));
  EXPECT_EQ(Qubits(composite->sub_instructions[0]), (std::vector<uint64_t>{2, 0}));

  QuantumCircuit all(3, "", 0.0);
  compose(all, other, {}, {}, false, true);
  EXPECT_EQ(Qubits(all.instructions[0]), (std::vector<uint64_t>{0, 1, 2}));
  EXPECT_EQ(Qubits(all.instructions[0]->sub_instructions[0]), (std::vector<uint64_t>{0, 1}));
}

TEST(Compose, FrontInsertsBeforeEverything) {
  QuantumCircuit qc(2, "", 0.0);
  H(qc, 0);
  QuantumCircuit other(2, "", 0.0);
  CX(other, 0, 1);
  compose(qc, other, {}, {}, true, false);
  EXPECT_EQ(qc.instructions[0]->kind, kind::kComposite);
  EXPECT_EQ(qc.instructions[1]->kind, kind::kH);
}

TEST(Compose, DifferingSameNamedCircuitGetsTheCounterAsSuffix) {
  QuantumCircuit qc(2, "", 0.0);
  QuantumCircuit a(2, "blk", 0.0);
  H(a, 0);
  QuantumCircuit b(2, "blk", 0.0);
  RZ(b, 0.1, 1);
  append(qc, a, {0, 1}, {0, 1});
  append(qc, a, {0, 1}, {0, 1});
  const int32_t counter = gCircuitInstances;
  append(qc, b, {0, 1}, {0, 1});
  EXPECT_EQ(qc.instructions[1]->name, "blk");
  EXPECT_EQ(qc.instructions[2]->name, "blk" + std::to_string(counter));
  EXPECT_EQ(gCircuitInstances, counter + 1);
}

TEST(Compose, NameIndexNoticesAClearedList) {
  QuantumCircuit qc(2, "", 0.0);
  QuantumCircuit a(2, "blk", 0.0);
  H(a, 0);
  QuantumCircuit b(2, "blk", 0.0);
  RZ(b, 0.1, 1);
  compose(qc, a, {}, {}, false, false);
  qc.clear();
  const int32_t counter = gCircuitInstances;
  compose(qc, b, {}, {}, false, false);
  EXPECT_EQ(qc.instructions[0]->name, "blk");
  EXPECT_EQ(gCircuitInstances, counter);
}

TEST(GateForms, MapByPositionAndWrapPlainRecords) {
  QuantumCircuit src(4, "", 0.0);
  auto gate = src.TwoQubitGate(TwoQubitFamilyNamed("cx"), {}, 3, 1, "");
  QuantumCircuit qc(2, "", 0.0);
  EXPECT_EQ(append(qc, *gate, {1, 0}, {}), 0);
  const InstructionPtr& composite = qc.instructions[0];
  EXPECT_EQ(composite->kind, kind::kComposite);
  EXPECT_EQ(composite->name, "cx");
  EXPECT_EQ(Qubits(composite), (std::vector<uint64_t>{1, 0}));
  ASSERT_EQ(composite->sub_instructions.size(), 1u);
  EXPECT_EQ(composite->sub_instructions[0]->kind, kind::kCX);
  EXPECT_EQ(Qubits(composite->sub_instructions[0]), (std::vector<uint64_t>{1, 0}));
}

TEST(GateForms, ToGateSwapsEverySubInstruction) {
  QuantumCircuit inner(2, "", 0.0);
  CX(inner, 0, 1);
  H(inner, 1);
  auto gate = to_gate(inner, {0.5}, "G");
  EXPECT_EQ(gate->params, std::vector<double>{});
  QuantumCircuit qc(2, "", 0.0);
  compose(qc, *gate, {1, 0}, {}, false, false);
  const InstructionPtr& composite = qc.instructions[0];
  EXPECT_EQ(composite->name, "G");
  EXPECT_EQ(composite->params, std::vector<double>{0.5});
  EXPECT_EQ(Qubits(composite->sub_instructions[0]), (std::vector<uint64_t>{1, 0}));
  EXPECT_EQ(Qubits(composite->sub_instructions[1]), (std::vector<uint64_t>{0}));
}

TEST(Remap, RelabelsAtEveryDepth) {
  QuantumCircuit qc(2, "", 0.0);
  CX(qc, 0, 1);
  QuantumCircuit inner(2, "", 0.0);
  H(inner, 0);
  compose(qc, inner, {}, {}, false, false);
  RemapRecordQubits(qc.instructions, {1, 0});
  EXPECT_EQ(Qubits(qc.instructions[0]), (std::vector<uint64_t>{1, 0}));
  EXPECT_EQ(Qubits(qc.instructions[1]), (std::vector<uint64_t>{1, 0}));
  EXPECT_EQ(Qubits(qc.instructions[1]->sub_instructions[0]), (std::vector<uint64_t>{1}));
}

TEST(SameComposite, IgnoresPlainQubitIndicesButNotAngles) {
  QuantumCircuit a(3, "", 0.0), b(3, "", 0.0);
  CX(a, 0, 1);
  CX(b, 2, 0);
  EXPECT_TRUE(SameComposite(a.instructions, b.instructions));
  RZ(a, 0.5, 0);
  RZ(b, 0.5 + 1e-15, 0);
  EXPECT_FALSE(SameComposite(a.instructions, b.instructions));
  EXPECT_TRUE(SameComposite({}, {}));
}

TEST(Reversal, ReverseBitsMirrorsEveryQubit) {
  QuantumCircuit qc(3, "", 0.0);
  CX(qc, 0, 1);
  auto reversed = reverse_bits(qc);
  EXPECT_EQ(reversed->name, qc.name);
  EXPECT_EQ(Qubits(reversed->instructions[0]), (std::vector<uint64_t>{2, 1}));
}

TEST(Reversal, InverseRecordsTheAdjointKindsAndAngles) {
  QuantumCircuit qc(2, "", 0.0);
  qc.OneQubitGate(OneQubitFamilyNamed("u2"), {0.3, 0.7}, 0, "");
  qc.TwoQubitGate(TwoQubitFamilyNamed("dcx"), {}, 0, 1, "");
  qc.TwoQubitGate(TwoQubitFamilyNamed("cu1"), {0.4}, 0, 1, "");
  qc.OneQubitGate(OneQubitFamilyNamed("rx"), {0.5}, 1, "");
  auto inv = inverse(qc, false);
  ASSERT_EQ(inv->instructions.size(), 4u);
  EXPECT_EQ(inv->instructions[0]->params, std::vector<double>{-0.5});
  EXPECT_EQ(inv->instructions[1]->params, std::vector<double>{-0.4});
  EXPECT_EQ(inv->instructions[1]->matrix(3, 3), Complex(-0.4, 0.0));
  EXPECT_EQ(inv->instructions[2]->kind, kind::kDCX);
  EXPECT_EQ(Qubits(inv->instructions[2]), (std::vector<uint64_t>{1, 0}));
  EXPECT_EQ(inv->instructions[3]->kind, kind::kU);
  EXPECT_EQ(inv->instructions[3]->params, (std::vector<double>{-1.5707963267948966, -0.7, -0.3}));
}

TEST(Control, OneControlOfHAndCX) {
  QuantumCircuit qc(2, "", 0.0);
  H(qc, 0);
  CX(qc, 0, 1);
  auto controlled = control(qc, 1, "", "");
  EXPECT_EQ(controlled->total_qubits, 3u);
  EXPECT_EQ(controlled->num_ctrl_qubits, 1u);
  ASSERT_EQ(controlled->instructions.size(), 2u);
  EXPECT_EQ(controlled->instructions[0]->kind, kind::kCH);
  EXPECT_EQ(Qubits(controlled->instructions[0]), (std::vector<uint64_t>{0, 1}));
  EXPECT_EQ(controlled->instructions[1]->name, "ccx");
  EXPECT_EQ(Qubits(controlled->instructions[1]), (std::vector<uint64_t>{0, 1, 2}));
}

TEST(Control, GeneralCompositeKeepsNamedPartsInPlace) {
  QuantumCircuit inner(3, "", 0.0);
  H(inner, 0);
  ccx(inner, 0, 1, 2, "");
  RZ(inner, 0.3, 2);
  auto gate = to_gate(inner, {}, "G");
  QuantumCircuit qc(3, "", 0.0);
  append(qc, *gate, {0, 1, 2}, {});
  H(qc, 1);
  auto controlled = control(qc, 1, "", "");
  ASSERT_EQ(controlled->instructions.size(), 2u);
  const InstructionPtr& g = controlled->instructions[0];
  EXPECT_EQ(g->name, "G_1");
  EXPECT_EQ(g->num_ctrl_qubits, 1u);
  EXPECT_EQ(Qubits(g), (std::vector<uint64_t>{0, 1, 2, 3}));
  ASSERT_EQ(g->sub_instructions.size(), 3u);
  EXPECT_EQ(g->sub_instructions[0]->kind, kind::kCH);
  EXPECT_EQ(g->sub_instructions[1]->name, "c3x");
  EXPECT_EQ(Qubits(g->sub_instructions[1]), (std::vector<uint64_t>{0, 1, 2, 3}));
  EXPECT_EQ(g->sub_instructions[2]->kind, kind::kCRZ);
  EXPECT_EQ(controlled->instructions[1]->kind, kind::kCH);
}

TEST(Control, TwoControlsOfZIsCCZAndXGatesGoOnZeroControls) {
  QuantumCircuit qc(1, "", 0.0);
  qc.OneQubitGate(OneQubitFamilyNamed("z"), {}, 0, "");
  ::testing::internal::CaptureStdout();
  auto controlled = control(qc, 2, "", "10");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "0 1 0 1 ");
  ASSERT_EQ(controlled->instructions.size(), 3u);
  EXPECT_EQ(controlled->instructions[0]->kind, kind::kX);
  EXPECT_EQ(Qubits(controlled->instructions[0]), (std::vector<uint64_t>{0}));
  EXPECT_EQ(controlled->instructions[1]->name, "ccz");
  EXPECT_EQ(Qubits(controlled->instructions[1]), (std::vector<uint64_t>{0, 1, 2}));
  EXPECT_EQ(controlled->instructions[2]->kind, kind::kX);
}

TEST(Control, LabelNamesTheCircuitAndFailuresBuildNothing) {
  QuantumCircuit qc(2, "", 0.0);
  H(qc, 0);
  EXPECT_EQ(control(qc, 1, "c", "")->name, "c");
  const int32_t counter = gCircuitInstances;
  EXPECT_THROW(control(qc, 2, "", ""), RunTimeError);
  EXPECT_EQ(gCircuitInstances, counter);
}

// Every record at every depth, composites included.
uint64_t AllRecords(const InstructionList& list) {
  uint64_t count = 0;
  for (const InstructionPtr& record : list) count += 1 + AllRecords(record->sub_instructions);
  return count;
}

void Gate1(QuantumCircuit& qc, const char* name, std::vector<double> params, uint64_t q) {
  qc.OneQubitGate(OneQubitFamilyNamed(name), params, q, "");
}

void Gate2(QuantumCircuit& qc, const char* name, std::vector<double> params, uint64_t a,
           uint64_t b) {
  qc.TwoQubitGate(TwoQubitFamilyNamed(name), params, a, b, "");
}

// Builds are counted before they are built: the count must be what is built.
TEST(Control, CountsWhatItBuildsForEveryKind) {
  QuantumCircuit one(6, "", 0.0);
  for (const char* name : {"h", "x", "t", "tdg", "s", "sdg", "sx", "y", "z"}) Gate1(one, name, {}, 1);
  for (const char* name : {"p", "rx", "ry", "rz", "u1", "u0"}) Gate1(one, name, {0.3}, 2);
  Gate1(one, "u", {0.1, 0.2, 0.3}, 0);
  Gate1(one, "u2", {0.1, 0.2}, 0);
  for (const char* name : {"cx", "cz", "swap"}) Gate2(one, name, {}, 0, 3);
  for (const char* name : {"cp", "crx", "cry", "crz"}) Gate2(one, name, {0.4}, 3, 0);
  ccx(one, 0, 1, 2, "");
  c3x(one, 0, 1, 2, 3, "");
  c4x(one, 0, 1, 2, 3, 4, "");
  mcx(one, {0, 1, 2, 3, 4}, 5, {}, "", "");
  mcp(one, 0.5, {0, 2}, 1, "");
  mcrx(one, 0.5, {0, 2, 3}, 1, false, "");
  mcry(one, 0.5, {4}, 1, false, "");
  mcrz(one, 0.5, {0, 2, 3}, 1, false, "");
  mcrz(one, 0.5, {3}, 1, false, "");
  auto general = to_gate(one, {}, "G");
  QuantumCircuit wrapped(6, "", 0.0);
  append(wrapped, *general, {0, 1, 2, 3, 4, 5}, {});
  H(wrapped, 0);
  for (const QuantumCircuit* source : {&one, &wrapped}) {
    auto controlled = control(*source, 1, "", "");
    EXPECT_EQ(AllRecords(controlled->instructions), ControlledRecordCount(source->instructions, 1));
  }

  QuantumCircuit many(4, "", 0.0);
  for (const char* name : {"p", "rx", "ry", "rz"}) Gate1(many, name, {0.3}, 2);
  Gate1(many, "x", {}, 0);
  ccx(many, 0, 1, 2, "");
  c3x(many, 0, 1, 2, 3, "");
  mcp(many, 0.5, {0, 2}, 1, "");
  mcrz(many, 0.5, {0, 2, 3}, 1, false, "");
  mcx(many, {0, 1, 3}, 2, {}, "", "");
  for (uint64_t k : {2, 3, 4, 5, 7}) {
    auto controlled = control(many, static_cast<int32_t>(k), "", "");
    EXPECT_EQ(AllRecords(controlled->instructions), ControlledRecordCount(many.instructions, k))
        << k;
  }
  QuantumCircuit z(1, "", 0.0);
  Gate1(z, "z", {}, 0);
  EXPECT_EQ(AllRecords(control(z, 2, "", "")->instructions), ControlledRecordCount(z.instructions, 2));
}

TEST(Control, MultiControlledCountsMatchTheirBuilds) {
  for (size_t m = 1; m <= 8; ++m) {
    std::vector<int64_t> controls;
    for (size_t c = 0; c < m; ++c) controls.push_back(static_cast<int64_t>(c));
    QuantumCircuit phase(9, "", 0.0), rz(9, "", 0.0), x(9, "", 0.0);
    mcp(phase, 0.3, controls, 8, "");
    mcrz(rz, 0.3, controls, 8, false, "");
    mcx(x, controls, 8, {}, "", "");
    EXPECT_EQ(AllRecords(phase.instructions), MultiControlledRecords(MultiControlled::kPhase, m));
    EXPECT_EQ(AllRecords(rz.instructions), MultiControlledRecords(MultiControlled::kRZ, m));
    EXPECT_EQ(AllRecords(x.instructions), MultiControlledRecords(MultiControlled::kX, m)) << m;
  }
  QuantumCircuit fixed(3, "", 0.0);
  AppendCCZ(fixed, 0, 1, 2, fixed.instructions, "");
  AppendCSWAP(fixed, 0, 1, 2, fixed.instructions, "");
  EXPECT_EQ(AllRecords(fixed.instructions), CCZRecords() + CSWAPRecords());
}

TEST(Repeat, FlatCopies) {
  QuantumCircuit qc(2, "", 0.0);
  H(qc, 0);
  CX(qc, 0, 1);
  auto three = repeat(qc, 3);
  ASSERT_EQ(three->instructions.size(), 6u);
  EXPECT_EQ(three->instructions[4]->kind, kind::kH);
  EXPECT_EQ(repeat(qc, 0), nullptr);
  EXPECT_THROW(repeat(qc, -5), std::invalid_argument);
}

}  // namespace
}  // namespace velorin
