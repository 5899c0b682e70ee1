// Toffoli family, relative-phase Toffoli and Pauli strings.
#include <gtest/gtest.h>

#include <tuple>

#include "circuit/errors.h"
#include "circuit/quantum_circuit.h"
#include "composite/composite_gates.h"
#include "dense_reference.h"

namespace velorin {
namespace {

using testing::C;
using testing::Dense;
using testing::kPi;

using testing::ErrorText;
using testing::kInvalid;
using testing::Untouched;

using Qubits3 = std::tuple<uint64_t, uint64_t, uint64_t>;

class ThreeQubitGates : public ::testing::TestWithParam<Qubits3> {};

// Permutation of basis states: column k goes to row image(k).
template <class Image>
Dense Permutation(int n, Image image) {
  const Eigen::Index dim = Eigen::Index{1} << n;
  Dense u = Dense::Zero(dim, dim);
  for (uint64_t k = 0; k < static_cast<uint64_t>(dim); ++k) {
    u(static_cast<Eigen::Index>(image(k)), static_cast<Eigen::Index>(k)) = 1.0;
  }
  return u;
}

uint64_t Bit(uint64_t k, uint64_t q) { return (k >> q) & 1; }

TEST_P(ThreeQubitGates, ToffoliFlipsTargetExactlyWhenBothControlsAreOne) {
  const auto [a, b, t] = GetParam();
  for (auto method : {ccx, toffoli}) {
    QuantumCircuit qc(3, "", 0.0);
    ASSERT_NE(method(qc, a, b, t, ""), nullptr);
    const Dense expected = Permutation(3, [&](uint64_t k) {
      return (Bit(k, a) && Bit(k, b)) ? k ^ (uint64_t{1} << t) : k;
    });
    EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 3), expected));
  }
}

TEST_P(ThreeQubitGates, CczNegatesOnlyTheAllOnesState) {
  const auto [a, b, t] = GetParam();
  QuantumCircuit qc(3, "", 0.0);
  ccz(qc, a, b, t, "");
  Dense expected = Dense::Identity(8, 8);
  expected(7, 7) = -1.0;
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 3), expected));
}

TEST_P(ThreeQubitGates, CswapExchangesTargetsWhenControlIsOne) {
  const auto [c, t1, t2] = GetParam();
  for (auto method : {cswap, fredkin}) {
    QuantumCircuit qc(3, "", 0.0);
    ASSERT_NE(method(qc, c, t1, t2, ""), nullptr);
    const Dense expected = Permutation(3, [&](uint64_t k) {
      if (!Bit(k, c) || Bit(k, t1) == Bit(k, t2)) return k;
      return k ^ (uint64_t{1} << t1) ^ (uint64_t{1} << t2);
    });
    EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 3), expected));
  }
}

TEST_P(ThreeQubitGates, RccxIsToffoliUpToTheStatedPhases) {
  const auto [a, b, t] = GetParam();
  QuantumCircuit qc(3, "", 0.0);
  rccx(qc, a, b, t, "");
  Dense expected = Dense::Zero(8, 8);
  for (uint64_t k = 0; k < 8; ++k) {
    const auto col = static_cast<Eigen::Index>(k);
    if (Bit(k, a) && Bit(k, b)) {
      const auto row = static_cast<Eigen::Index>(k ^ (uint64_t{1} << t));
      expected(row, col) = Bit(k, t) ? C(0, -1) : C(0, 1);
    } else if (Bit(k, a) && !Bit(k, b) && Bit(k, t)) {
      expected(col, col) = -1.0;
    } else {
      expected(col, col) = 1.0;
    }
  }
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 3), expected));
}

INSTANTIATE_TEST_SUITE_P(Orders, ThreeQubitGates,
                         ::testing::Values(Qubits3{0, 1, 2}, Qubits3{2, 0, 1}, Qubits3{1, 2, 0}));

TEST(Toffoli, RecordsTheFifteenStepsUnderItsName) {
  QuantumCircuit qc(3, "", 0.0);
  GatePtr gate = ccx(qc, 0, 1, 2, "");
  ASSERT_EQ(qc.instructions.size(), 1u);
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.kind, kind::kComposite);
  EXPECT_EQ(composite.name, "ccx");
  EXPECT_EQ(composite.qubits, (std::vector<uint64_t>{0, 1, 2}));
  EXPECT_TRUE(composite.params.empty());
  EXPECT_EQ(composite.num_ctrl_qubits, 0u);
  struct Expected {
    GateKind kind;
    std::vector<uint64_t> qubits;
  };
  const Expected table[] = {{1, {2}},    {20, {1, 2}}, {7, {2}}, {20, {0, 2}}, {5, {2}},
                            {20, {1, 2}}, {7, {2}},    {20, {0, 2}}, {5, {1}},  {5, {2}},
                            {1, {2}},    {20, {0, 1}}, {5, {0}}, {7, {1}},     {20, {0, 1}}};
  ASSERT_EQ(composite.sub_instructions.size(), 15u);
  for (size_t i = 0; i < 15; ++i) {
    const Instruction& step = *composite.sub_instructions[i];
    EXPECT_EQ(step.kind, table[i].kind) << "step " << i + 1;
    EXPECT_EQ(step.qubits, table[i].qubits) << "step " << i + 1;
    EXPECT_EQ(step.name, "");
  }
  EXPECT_EQ(composite.sub_instructions[0]->matrix, kGateH);
  EXPECT_EQ(composite.sub_instructions[2]->matrix, kGateTdg);
  EXPECT_EQ(composite.sub_instructions[4]->matrix, kGateT);
  EXPECT_EQ(composite.sub_instructions[1]->matrix, kGateCX);

  EXPECT_EQ(typeid(*gate), typeid(CCXGate));
  EXPECT_EQ(gate->label, "");
  EXPECT_EQ(gate->name, "");
  EXPECT_EQ(gate->num_qubits, 3);
  EXPECT_TRUE(gate->params.empty());
  ASSERT_EQ(gate->instructions.size(), 1u);
  EXPECT_EQ(gate->instructions[0].lock(), qc.instructions[0]);
}

TEST(Toffoli, LabelNamesTheCompositeEveryStepAndTheGate) {
  QuantumCircuit qc(5, "", 0.0);
  GatePtr gate = ccx(qc, 3, 1, 4, "tof");
  const Instruction& composite = *qc.instructions.back();
  EXPECT_EQ(composite.name, "tof");
  for (const auto& step : composite.sub_instructions) EXPECT_EQ(step->name, "tof");
  EXPECT_EQ(gate->label, "tof");
  EXPECT_EQ(gate->name, "tof");
  EXPECT_EQ(gate->num_qubits, 5);
  EXPECT_EQ(qc.touched_qubits, (std::vector<uint64_t>{0, 1, 0, 1, 1}));
}

TEST(Toffoli, AliasesRecordIdenticalRecords) {
  QuantumCircuit first(3, "", 0.0), second(3, "", 0.0);
  ccx(first, 0, 1, 2, "L");
  toffoli(second, 0, 1, 2, "L");
  cswap(first, 2, 0, 1, "");
  fredkin(second, 2, 0, 1, "");
  ASSERT_EQ(first.instructions.size(), second.instructions.size());
  for (size_t i = 0; i < first.instructions.size(); ++i) {
    const Instruction& x = *first.instructions[i];
    const Instruction& y = *second.instructions[i];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.qubits, y.qubits);
    ASSERT_EQ(x.sub_instructions.size(), y.sub_instructions.size());
    for (size_t k = 0; k < x.sub_instructions.size(); ++k) {
      EXPECT_EQ(x.sub_instructions[k]->kind, y.sub_instructions[k]->kind);
      EXPECT_EQ(x.sub_instructions[k]->qubits, y.sub_instructions[k]->qubits);
      EXPECT_EQ(x.sub_instructions[k]->matrix, y.sub_instructions[k]->matrix);
    }
  }
}

TEST(Toffoli, CczAndCswapWrapTheToffoliSteps) {
  QuantumCircuit qc(3, "", 0.0);
  ccz(qc, 0, 1, 2, "");
  cswap(qc, 0, 1, 2, "");
  const Instruction& z = *qc.instructions[0];
  const Instruction& swap = *qc.instructions[1];
  EXPECT_EQ(z.name, "ccz");
  EXPECT_EQ(swap.name, "cswap");
  ASSERT_EQ(z.sub_instructions.size(), 17u);
  ASSERT_EQ(swap.sub_instructions.size(), 17u);
  for (size_t i : {size_t{0}, size_t{1}, size_t{16}}) {
    EXPECT_EQ(z.sub_instructions[i]->kind, kind::kH);
    EXPECT_EQ(z.sub_instructions[i]->qubits, (std::vector<uint64_t>{2}));
  }
  for (size_t i : {size_t{0}, size_t{16}}) {
    EXPECT_EQ(swap.sub_instructions[i]->kind, kind::kCX);
    EXPECT_EQ(swap.sub_instructions[i]->qubits, (std::vector<uint64_t>{2, 1}));
  }
  EXPECT_EQ(swap.sub_instructions[1]->kind, kind::kH);
  EXPECT_EQ(swap.sub_instructions[2]->qubits, (std::vector<uint64_t>{1, 2}));
}

TEST(Rccx, RecordsNineStepsBetweenTwoU2) {
  QuantumCircuit qc(3, "", 0.0);
  GatePtr gate = rccx(qc, 0, 1, 2, "");
  EXPECT_EQ(typeid(*gate), typeid(RCCXGate));
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "Rccx");
  ASSERT_EQ(composite.sub_instructions.size(), 9u);
  for (size_t i : {size_t{0}, size_t{8}}) {
    const Instruction& u2 = *composite.sub_instructions[i];
    EXPECT_EQ(u2.kind, kind::kU2);
    EXPECT_EQ(u2.params, (std::vector<double>{0.0, kPi}));
    EXPECT_EQ(u2.qubits, (std::vector<uint64_t>{2}));
    EXPECT_EQ(u2.matrix(0, 1), C(0.7071067811865476, -8.659560562354934e-17));
  }
  EXPECT_EQ(composite.sub_instructions[1]->kind, kind::kU1);
  EXPECT_EQ(composite.sub_instructions[1]->params, (std::vector<double>{kPi / 4}));
  EXPECT_EQ(composite.sub_instructions[3]->params, (std::vector<double>{-kPi / 4}));
}

TEST(ThreeQubitValidation, RepeatedOrOutsideQubitsRecordNothing) {
  using Method = GatePtr (*)(QuantumCircuit&, uint64_t, uint64_t, uint64_t, const std::string&);
  const Method methods[] = {ccx, toffoli, ccz, cswap, fredkin, rccx};
  const Qubits3 bad[] = {{0, 0, 2}, {0, 1, 0}, {1, 2, 2}, {0, 1, 3}, {3, 0, 1}, {0, ~0ull, 1}};
  for (Method method : methods) {
    for (const auto& [a, b, c] : bad) {
      QuantumCircuit qc(3, "", 0.0);
      EXPECT_EQ(ErrorText([&] { method(qc, a, b, c, ""); }), kInvalid);
      EXPECT_TRUE(Untouched(qc));
    }
  }
}

TEST(Recorders, WriteIntoACompositeUnderConstruction) {
  // A composite holding nested Toffoli-family composites, as controlled
  // circuits build them.
  QuantumCircuit qc(4, "", 0.0);
  auto outer = std::make_shared<Instruction>();
  outer->kind = kind::kComposite;
  EXPECT_EQ(AppendCCX(qc, 0, 1, 3, outer->sub_instructions, "in"), 0);
  EXPECT_EQ(AppendCSWAP(qc, 2, 0, 3, outer->sub_instructions, ""), 0);
  EXPECT_EQ(AppendCCZ(qc, 1, 2, 3, outer->sub_instructions, ""), 0);
  EXPECT_TRUE(qc.instructions.empty());
  ASSERT_EQ(outer->sub_instructions.size(), 3u);
  EXPECT_EQ(outer->sub_instructions[0]->name, "in");
  EXPECT_EQ(outer->sub_instructions[0]->sub_instructions[0]->name, "in");
  qc.instructions.push_back(outer);

  QuantumCircuit reference(4, "", 0.0);
  ccx(reference, 0, 1, 3, "");
  cswap(reference, 2, 0, 3, "");
  ccz(reference, 1, 2, 3, "");
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 4),
                            testing::Unitary(reference.instructions, 4)));
  EXPECT_EQ(ErrorText([&] { AppendCCX(qc, 0, 1, 4, outer->sub_instructions, ""); }), kInvalid);
  EXPECT_EQ(outer->sub_instructions.size(), 3u);
}

// Pauli strings -------------------------------------------------------------------

TEST(Pauli, FirstLetterActsOnTheLastListedQubit) {
  QuantumCircuit qc(3, "", 0.0);
  GatePtr gate = pauli(qc, {0, 1, 2}, "XYZ", "");
  EXPECT_EQ(typeid(*gate), typeid(PAULIGate));
  EXPECT_EQ(gate->num_qubits, 3);
  EXPECT_EQ(gate->name, "");
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "Pauli");
  EXPECT_EQ(composite.qubits, (std::vector<uint64_t>{2, 1, 0}));
  EXPECT_EQ(composite.sub_names, (std::vector<std::string>{"X", "Y", "Z"}));
  ASSERT_EQ(composite.sub_instructions.size(), 3u);
  const std::pair<GateKind, uint64_t> expected[] = {{2, 2}, {18, 1}, {19, 0}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(composite.sub_instructions[i]->kind, expected[i].first);
    EXPECT_EQ(composite.sub_instructions[i]->qubits[0], expected[i].second);
  }
  // Z on 0, Y on 1, X on 2 as one operator.
  const Dense x = testing::TextbookX();
  const Dense y = testing::Gate2(0, C(0, -1), C(0, 1), 0);
  const Dense z = testing::Gate2(1, 0, 0, -1);
  Dense expected_op = Dense::Zero(8, 8);
  for (Eigen::Index row = 0; row < 8; ++row) {
    for (Eigen::Index col = 0; col < 8; ++col) {
      expected_op(row, col) = z(row & 1, col & 1) * y((row >> 1) & 1, (col >> 1) & 1) *
                              x((row >> 2) & 1, (col >> 2) & 1);
    }
  }
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 3), expected_op));
}

TEST(Pauli, IdentityLettersRecordNothingAndCaseIsIgnored) {
  QuantumCircuit qc(2, "", 0.0);
  pauli(qc, {0, 1}, "iz", "p");
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "p");
  EXPECT_EQ(composite.sub_names, (std::vector<std::string>{"I", "Z"}));
  EXPECT_EQ(composite.qubits, (std::vector<uint64_t>{1, 0}));
  ASSERT_EQ(composite.sub_instructions.size(), 1u);
  EXPECT_EQ(composite.sub_instructions[0]->qubits, (std::vector<uint64_t>{0}));
  EXPECT_EQ(composite.sub_instructions[0]->name, "p");
}

TEST(Pauli, EmptyListGivesAnEmptyComposite) {
  QuantumCircuit qc(2, "", 0.0);
  GatePtr gate = pauli(qc, {}, "", "");
  ASSERT_EQ(qc.instructions.size(), 1u);
  EXPECT_TRUE(qc.instructions[0]->qubits.empty());
  EXPECT_TRUE(qc.instructions[0]->sub_instructions.empty());
  EXPECT_EQ(gate->instructions.size(), 1u);
}

TEST(Pauli, RefusalsLeaveTheInstructionListUnchanged) {
  struct Case {
    std::vector<int64_t> qubits;
    const char* text;
    std::string error;
  };
  const Case cases[] = {
      {{0, 1}, "XQ", "Invalid Pauli operator: XQ"},
      {{0}, "XY", kInvalid},
      {{0, 1}, "X", kInvalid},
      {{0, 5}, "XZ", kInvalid},   // X on qubit 5
      {{0, -1}, "YZ", kInvalid},  // Y on a negative qubit
      // An identity letter on a qubit outside the circuit is refused as well,
      // and nothing is marked outside the per-qubit list.
      {{0, 7}, "IZ", kInvalid},
      {{-3, 1}, "ZI", kInvalid},
  };
  for (const Case& c : cases) {
    QuantumCircuit qc(2, "", 0.0);
    EXPECT_EQ(ErrorText([&] { pauli(qc, c.qubits, c.text, ""); }), c.error) << c.text;
    EXPECT_TRUE(qc.instructions.empty());
    EXPECT_EQ(qc.touched_qubits.size(), 2u);
  }
}

}  // namespace
}  // namespace velorin
