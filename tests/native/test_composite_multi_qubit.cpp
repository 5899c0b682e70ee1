// gms, rcccx, c3sqrtx, c3x and c4x.
#include <gtest/gtest.h>

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

// Counts records of each kind in a sub-list.
int CountKind(const Instruction& composite, GateKind k) {
  int n = 0;
  for (const auto& step : composite.sub_instructions) n += step->kind == k;
  return n;
}

struct ControlledXCase {
  std::vector<uint64_t> controls;
  uint64_t target;
};

class TripleControlled : public ::testing::TestWithParam<ControlledXCase> {};

TEST_P(TripleControlled, C3xFlipsTheTargetOnlyUnderAllControls) {
  const auto& p = GetParam();
  QuantumCircuit qc(5, "", 0.0);
  GatePtr gate = c3x(qc, p.controls[0], p.controls[1], p.controls[2], p.target, "");
  EXPECT_EQ(typeid(*gate), typeid(MCXGate));
  EXPECT_EQ(gate->num_qubits, 4);
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 5),
                            testing::Controlled(5, p.controls, p.target, testing::TextbookX()),
                            1e-11));
}

TEST_P(TripleControlled, C3sqrtxAppliesSquareRootOfX) {
  const auto& p = GetParam();
  QuantumCircuit qc(5, "", 0.0);
  GatePtr gate = c3sqrtx(qc, p.controls[0], p.controls[1], p.controls[2], p.target, "");
  EXPECT_EQ(typeid(*gate), typeid(C3SQRTX));
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 5),
                            testing::Controlled(5, p.controls, p.target, testing::TextbookSX()),
                            1e-11));
}

TEST_P(TripleControlled, RcccxIsC3xUpToPhasesOnBasisStates) {
  const auto& p = GetParam();
  QuantumCircuit qc(5, "", 0.0);
  rcccx(qc, p.controls[0], p.controls[1], p.controls[2], p.target, "");
  const Dense u = testing::Unitary(qc.instructions, 5);
  const Dense c3 = testing::Controlled(5, p.controls, p.target, testing::TextbookX());
  // u = D * C3X with D diagonal and of unit modulus.
  const Dense d = u * c3.adjoint();
  for (Eigen::Index i = 0; i < d.rows(); ++i) {
    EXPECT_NEAR(std::abs(d(i, i)), 1.0, 1e-12);
    for (Eigen::Index j = 0; j < d.cols(); ++j) {
      if (i != j) {
        EXPECT_NEAR(std::abs(d(i, j)), 0.0, 1e-12);
      }
    }
  }
  // The relative phases are fourth roots of unity.
  for (Eigen::Index i = 0; i < d.rows(); ++i) {
    const C z = d(i, i);
    EXPECT_NEAR(std::abs(z * z * z * z - C(1, 0)), 0.0, 1e-12);
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, TripleControlled,
                         ::testing::Values(ControlledXCase{{0, 1, 2}, 3},
                                           ControlledXCase{{4, 0, 2}, 1},
                                           ControlledXCase{{1, 3, 4}, 0}));

TEST(C4x, FlipsTheTargetOnlyUnderAllFourControls) {
  const ControlledXCase cases[] = {{{0, 1, 2, 3}, 4}, {{5, 2, 0, 4}, 1}};
  for (const auto& p : cases) {
    QuantumCircuit qc(6, "", 0.0);
    GatePtr gate = c4x(qc, p.controls[0], p.controls[1], p.controls[2], p.controls[3], p.target,
                       "");
    EXPECT_EQ(typeid(*gate), typeid(MCXGate));
    EXPECT_EQ(gate->num_qubits, 5);
    EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 6),
                              testing::Controlled(6, p.controls, p.target, testing::TextbookX()),
                              1e-11));
  }
}

struct RecordCase {
  const char* name;
  size_t records;
  uint64_t num_ctrl;
  size_t num_qubits;
};

TEST(MultiQubit, CompositesCarryTheirNamesCountsAndQubits) {
  QuantumCircuit qc(6, "", 0.0);
  rcccx(qc, 0, 1, 2, 3, "");
  c3sqrtx(qc, 0, 1, 2, 3, "");
  c3x(qc, 0, 1, 2, 3, "");
  c4x(qc, 0, 1, 2, 3, 5, "");
  const RecordCase expected[] = {
      {"rc3x", 18, 3, 4}, {"c3sqrtx", 27, 3, 4}, {"c3x", 31, 3, 4}, {"c4x", 95, 4, 5}};
  ASSERT_EQ(qc.instructions.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    const Instruction& composite = *qc.instructions[i];
    EXPECT_EQ(composite.kind, kind::kComposite);
    EXPECT_EQ(composite.name, expected[i].name);
    EXPECT_EQ(composite.sub_instructions.size(), expected[i].records) << expected[i].name;
    EXPECT_EQ(composite.num_ctrl_qubits, expected[i].num_ctrl);
    EXPECT_EQ(composite.qubits.size(), expected[i].num_qubits);
    EXPECT_TRUE(composite.params.empty());
    for (const auto& step : composite.sub_instructions) {
      EXPECT_NE(step->kind, kind::kComposite);  // c4x is written flat
    }
  }
  EXPECT_EQ(qc.instructions[3]->qubits, (std::vector<uint64_t>{0, 1, 2, 3, 5}));
  // rcccx: four u2 with params (0, pi) and eight u1 of +-pi/4.
  EXPECT_EQ(CountKind(*qc.instructions[0], kind::kU2), 4);
  EXPECT_EQ(CountKind(*qc.instructions[0], kind::kU1), 8);
  EXPECT_EQ(qc.instructions[0]->sub_instructions[2]->qubits, (std::vector<uint64_t>{2, 3}));
  // c3sqrtx: seven cu1 of +-pi/8, each between two h.
  const Instruction& sqrtx = *qc.instructions[1];
  EXPECT_EQ(CountKind(sqrtx, kind::kCU1), 7);
  EXPECT_EQ(sqrtx.sub_instructions[1]->params, (std::vector<double>{kPi / 8}));
  EXPECT_EQ(sqrtx.sub_instructions[5]->params, (std::vector<double>{-kPi / 8}));
  EXPECT_EQ(sqrtx.sub_instructions[1]->matrix(3, 3), C(kPi / 8, 0));
  // c3x: fifteen phases.
  EXPECT_EQ(CountKind(*qc.instructions[2], kind::kP), 15);
  // c4x: the cu1 of +-pi/2 from the fourth control onto the target.
  const Instruction& four = *qc.instructions[3];
  EXPECT_EQ(four.sub_instructions[1]->kind, kind::kCU1);
  EXPECT_EQ(four.sub_instructions[1]->qubits, (std::vector<uint64_t>{3, 5}));
  EXPECT_EQ(four.sub_instructions[1]->params, (std::vector<double>{kPi / 2}));
  EXPECT_EQ(four.sub_instructions[35]->params, (std::vector<double>{-kPi / 2}));
}

TEST(MultiQubit, LabelNamesCompositeStepsAndGate) {
  QuantumCircuit qc(4, "", 0.0);
  GatePtr gate = c3x(qc, 0, 1, 2, 3, "L");
  EXPECT_EQ(qc.instructions[0]->name, "L");
  for (const auto& step : qc.instructions[0]->sub_instructions) EXPECT_EQ(step->name, "L");
  EXPECT_EQ(gate->label, "L");
  EXPECT_EQ(gate->name, "L");
  EXPECT_EQ(gate->instructions[0].lock(), qc.instructions[0]);
  GatePtr unlabelled = rc3x(qc, 3, 2, 1, 0, "");
  EXPECT_EQ(qc.instructions[1]->name, "rc3x");
  EXPECT_EQ(unlabelled->name, "");
  EXPECT_EQ(typeid(*unlabelled), typeid(RCCCXGate));
}

TEST(MultiQubit, RepeatedOrOutsideQubitsAreRefused) {
  using Four = GatePtr (*)(QuantumCircuit&, uint64_t, uint64_t, uint64_t, uint64_t,
                           const std::string&);
  const Four methods[] = {rcccx, rc3x, c3sqrtx, c3x};
  const std::vector<uint64_t> bad[] = {{0, 1, 2, 2}, {0, 0, 1, 2}, {1, 2, 0, 2}, {0, 1, 2, 4}};
  for (Four method : methods) {
    for (const auto& q : bad) {
      QuantumCircuit qc(4, "", 0.0);
      EXPECT_EQ(ErrorText([&] { method(qc, q[0], q[1], q[2], q[3], ""); }), kInvalid);
      EXPECT_TRUE(Untouched(qc));
    }
  }
  for (const std::vector<uint64_t>& q : {std::vector<uint64_t>{0, 1, 2, 3, 3},
                                         std::vector<uint64_t>{4, 1, 2, 3, 4},
                                         std::vector<uint64_t>{0, 1, 2, 3, 5}}) {
    QuantumCircuit qc(5, "", 0.0);
    EXPECT_EQ(ErrorText([&] { c4x(qc, q[0], q[1], q[2], q[3], q[4], ""); }), kInvalid);
    EXPECT_TRUE(Untouched(qc));
  }
}

TEST(C3xComposite, RecordsIntoAnyListAndMarksTheGivenCircuit) {
  QuantumCircuit recorder(4, "", 0.0), marking(4, "", 0.0);
  InstructionList list;
  EXPECT_EQ(AppendC3XComposite(recorder, 0, 1, 2, 3, list, marking, "m"), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->name, "m");
  EXPECT_EQ(list[0]->num_ctrl_qubits, 3u);
  EXPECT_EQ(list[0]->sub_instructions.size(), 31u);
  EXPECT_EQ(marking.touched_qubits, (std::vector<uint64_t>{1, 1, 1, 1}));
  EXPECT_TRUE(recorder.instructions.empty());
}

// Global Moelmer-Soerensen ------------------------------------------------------------

// exp(-i theta/2 * sum over pairs of X_i X_j), from the pair terms, which commute.
Dense GlobalXX(int n, const std::vector<uint64_t>& qubits, double theta) {
  const Eigen::Index dim = Eigen::Index{1} << n;
  Dense u = Dense::Identity(dim, dim);
  for (size_t i = 0; i < qubits.size(); ++i) {
    for (size_t j = i + 1; j < qubits.size(); ++j) {
      Dense term = Dense::Zero(dim, dim);
      const Eigen::Index flip = (Eigen::Index{1} << qubits[i]) | (Eigen::Index{1} << qubits[j]);
      for (Eigen::Index k = 0; k < dim; ++k) {
        term(k, k) = std::cos(theta / 2);
        term(k ^ flip, k) = C(0, -std::sin(theta / 2));
      }
      u = term * u;
    }
  }
  return u;
}

TEST(Gms, RecordsOneRxxPerPairInListOrder) {
  QuantumCircuit qc(4, "", 0.0);
  GatePtr gate = gms(qc, 0.7, {3, 0, 2, 1}, "");
  EXPECT_EQ(typeid(*gate), typeid(GMSGate));
  EXPECT_EQ(gate->num_qubits, 4);
  EXPECT_EQ(gate->params, (std::vector<double>{0.7}));
  EXPECT_EQ(gate->name, "");
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "Gms");
  EXPECT_EQ(composite.qubits, (std::vector<uint64_t>{3, 0, 2, 1}));
  EXPECT_EQ(composite.params, (std::vector<double>{0.7}));
  const std::vector<uint64_t> pairs[] = {{3, 0}, {3, 2}, {3, 1}, {0, 2}, {0, 1}, {2, 1}};
  ASSERT_EQ(composite.sub_instructions.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(composite.sub_instructions[i]->kind, kind::kRXX);
    EXPECT_EQ(composite.sub_instructions[i]->qubits, pairs[i]);
    EXPECT_EQ(composite.sub_instructions[i]->params, (std::vector<double>{0.7}));
  }
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 4), GlobalXX(4, {3, 0, 2, 1}, 0.7)));
}

TEST(Gms, OneQubitGivesAnEmptyComposite) {
  QuantumCircuit qc(2, "", 0.0);
  GatePtr gate = ms(qc, 1.0, {1}, "g");
  EXPECT_EQ(qc.instructions[0]->name, "g");
  EXPECT_EQ(qc.instructions[0]->qubits, (std::vector<uint64_t>{1}));
  EXPECT_TRUE(qc.instructions[0]->sub_instructions.empty());
  EXPECT_EQ(gate->num_qubits, 1);
}

TEST(Gms, RefusesRepeatedNegativeOutsideAndEmptyLists) {
  for (const std::vector<int64_t>& list :
       {std::vector<int64_t>{0, 1, 0}, {-1, 0}, {0, 3}, std::vector<int64_t>{}}) {
    QuantumCircuit qc(3, "", 0.0);
    EXPECT_EQ(ErrorText([&] { gms(qc, 0.5, list, ""); }), kInvalid);
    EXPECT_TRUE(Untouched(qc));
  }
}

}  // namespace
}  // namespace velorin
