// Gray-code multi-controlled phase, rotations and X.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

constexpr const char* kMultiControl = "Error handling multi control gate.";

std::vector<uint64_t> Distinct(const std::vector<int64_t>& controls) {
  std::vector<uint64_t> out(controls.begin(), controls.end());
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

enum class Family { kPhase, kRX, kRY, kRZ };

struct RotationCase {
  Family family;
  std::vector<int64_t> controls;
  uint64_t target;
  double angle;
};

std::string FamilyName(Family f) {
  switch (f) {
    case Family::kPhase: return "mcp";
    case Family::kRX: return "mcrx";
    case Family::kRY: return "mcry";
    case Family::kRZ: return "mcrz";
  }
  return "";
}

GatePtr Record(QuantumCircuit& qc, const RotationCase& p, const std::string& label = "") {
  switch (p.family) {
    case Family::kPhase: return mcp(qc, p.angle, p.controls, p.target, label);
    case Family::kRX: return mcrx(qc, p.angle, p.controls, p.target, false, label);
    case Family::kRY: return mcry(qc, p.angle, p.controls, p.target, false, label);
    case Family::kRZ: return mcrz(qc, p.angle, p.controls, p.target, false, label);
  }
  return nullptr;
}

Dense Textbook(Family f, double angle) {
  switch (f) {
    case Family::kPhase: return testing::TextbookPhase(angle);
    case Family::kRX: return testing::TextbookRX(angle);
    case Family::kRY: return testing::TextbookRY(angle);
    case Family::kRZ: return testing::TextbookRZ(angle);
  }
  return Dense();
}

class MultiControlledRotation : public ::testing::TestWithParam<RotationCase> {};

TEST_P(MultiControlledRotation, MatchesTheDenseControlledGateIncludingPhases) {
  const RotationCase& p = GetParam();
  QuantumCircuit qc(6, "", 0.0);
  GatePtr gate = Record(qc, p, "L");
  const std::vector<uint64_t> controls = Distinct(p.controls);
  EXPECT_TRUE(testing::Near(testing::Unitary(qc.instructions, 6),
                            testing::Controlled(6, controls, p.target, Textbook(p.family, p.angle)),
                            1e-11));
  ASSERT_EQ(qc.instructions.size(), 1u);
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "L");
  EXPECT_EQ(composite.num_ctrl_qubits, controls.size());
  std::vector<uint64_t> qubits = controls;
  qubits.push_back(p.target);
  EXPECT_EQ(composite.qubits, qubits);
  EXPECT_EQ(composite.params, (std::vector<double>{p.angle}));
  for (const auto& step : composite.sub_instructions) EXPECT_EQ(step->name, "L");
  EXPECT_EQ(gate->label, "L");
  EXPECT_EQ(gate->name, "L");
  EXPECT_EQ(gate->params, (std::vector<double>{p.angle}));
  // The distinct controls plus the target's index.
  EXPECT_EQ(gate->num_qubits, static_cast<int32_t>(p.target + controls.size()));
}

std::vector<RotationCase> RotationCases() {
  const std::vector<std::pair<std::vector<int64_t>, uint64_t>> shapes = {
      {{3}, 0}, {{2, 0}, 4}, {{2, 0, 2}, 1}, {{4, 1, 0}, 5}, {{0, 1, 2, 3}, 5}, {{5, 0, 2, 3, 4}, 1}};
  std::vector<RotationCase> cases;
  for (Family f : {Family::kPhase, Family::kRX, Family::kRY, Family::kRZ}) {
    for (const auto& [controls, target] : shapes) {
      for (double angle : {0.7, -2.3, kPi}) cases.push_back({f, controls, target, angle});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, MultiControlledRotation, ::testing::ValuesIn(RotationCases()),
                         [](const auto& info) {
                           return FamilyName(info.param.family) + "_" +
                                  std::to_string(info.index);
                         });

TEST(Mcp, WalksTwoControlsInTheRecordedOrder) {
  QuantumCircuit qc(3, "", 0.0);
  const double lambda = 0.9;
  GatePtr gate = mcp(qc, lambda, {2, 0, 2}, 1, "");
  EXPECT_EQ(typeid(*gate), typeid(MCPGate));
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "mcphase");
  EXPECT_EQ(composite.qubits, (std::vector<uint64_t>{0, 2, 1}));
  EXPECT_EQ(composite.num_ctrl_qubits, 2u);
  struct Step {
    GateKind kind;
    std::vector<uint64_t> qubits;
    std::vector<double> params;
  };
  const Step expected[] = {{25, {2, 1}, {lambda / 2}},
                           {20, {2, 0}, {}},
                           {25, {0, 1}, {-lambda / 2}},
                           {20, {2, 0}, {}},
                           {25, {0, 1}, {lambda / 2}}};
  ASSERT_EQ(composite.sub_instructions.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const Instruction& step = *composite.sub_instructions[i];
    EXPECT_EQ(step.kind, expected[i].kind);
    EXPECT_EQ(step.qubits, expected[i].qubits);
    EXPECT_EQ(step.params, expected[i].params);
  }
  EXPECT_EQ(composite.sub_instructions[0]->matrix(3, 3), std::exp(C(0, lambda / 2)));
  EXPECT_EQ(gate->num_qubits, 3);
}

TEST(Mcp, OneControlIsASingleControlledPhase) {
  QuantumCircuit qc(2, "", 0.0);
  mcp(qc, 0.4, {1}, 0, "");
  ASSERT_EQ(qc.instructions[0]->sub_instructions.size(), 1u);
  EXPECT_EQ(qc.instructions[0]->sub_instructions[0]->kind, kind::kCP);
  EXPECT_EQ(qc.instructions[0]->sub_instructions[0]->params, (std::vector<double>{0.4}));
}

TEST(Mcrx, OneControlIsASingleCuAndEvenStepsAreInverses) {
  QuantumCircuit qc(3, "", 0.0);
  mcrx(qc, 1.2, {0}, 2, false, "");
  const Instruction& single = *qc.instructions[0]->sub_instructions.at(0);
  EXPECT_EQ(qc.instructions[0]->sub_instructions.size(), 1u);
  EXPECT_EQ(single.kind, kind::kCU);
  EXPECT_EQ(single.params, (std::vector<double>{1.2, -kPi / 2, kPi / 2, 0.0}));
  EXPECT_EQ(single.matrix(1, 3), -std::sin(0.6) * C(std::cos(kPi / 2), std::sin(kPi / 2)));

  mcrx(qc, 1.2, {0, 1}, 2, false, "");
  const InstructionList& walk = qc.instructions[1]->sub_instructions;
  ASSERT_EQ(walk.size(), 5u);
  EXPECT_EQ(walk[0]->params, (std::vector<double>{0.6, -kPi / 2, kPi / 2, 0.0}));
  EXPECT_EQ(walk[2]->params, (std::vector<double>{-0.6, -kPi / 2, kPi / 2, 0.0}));
  for (const auto& step : walk) EXPECT_TRUE(step->kind == kind::kCU || step->kind == kind::kCX);
}

TEST(Mcrz, AddsThePhaseCorrectionToTheWalk) {
  QuantumCircuit qc(4, "", 0.0);
  mcrz(qc, 0.8, {1}, 0, false, "");
  const InstructionList& one = qc.instructions[0]->sub_instructions;
  ASSERT_EQ(one.size(), 2u);
  EXPECT_EQ(one[0]->kind, kind::kCU);
  EXPECT_EQ(one[0]->params, (std::vector<double>{0.0, 0.0, 0.8, 0.0}));
  EXPECT_EQ(one[1]->kind, kind::kP);
  EXPECT_EQ(one[1]->qubits, (std::vector<uint64_t>{1}));
  EXPECT_EQ(one[1]->params, (std::vector<double>{-0.4}));

  // Three controls: a walk of 13 records, then the phase walk over two
  // controls onto the last one (5 records).
  mcrz(qc, 0.8, {1, 2, 3}, 0, true, "");
  const InstructionList& three = qc.instructions[1]->sub_instructions;
  ASSERT_EQ(three.size(), 18u);
  for (size_t i = 13; i < 18; ++i) {
    EXPECT_NE(three[i]->qubits.back(), 0u);
  }
  EXPECT_EQ(three[13]->kind, kind::kCP);
  EXPECT_EQ(three[13]->params, (std::vector<double>{-0.2}));
}

TEST(MultiControlled, FlagsAncillasAndModeChangeNothing) {
  QuantumCircuit first(7, "", 0.0), second(7, "", 0.0);
  mcrx(first, 0.3, {0, 2}, 1, false, "");
  mcrx(second, 0.3, {0, 2}, 1, true, "");
  mcx(first, {0, 1, 2, 3, 4}, 6, {}, "noancilla", "");
  mcx(second, {0, 1, 2, 3, 4}, 6, {7, 8}, "anything", "");
  mct(second, {0, 1, 2, 3, 4}, 6, {}, "noancilla", "");
  ASSERT_EQ(first.instructions.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const auto& a = first.instructions[i]->sub_instructions;
    const auto& b = second.instructions[i]->sub_instructions;
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
      EXPECT_EQ(a[k]->params, b[k]->params);
      EXPECT_EQ(a[k]->qubits, b[k]->qubits);
    }
  }
  EXPECT_EQ(second.instructions[2]->sub_instructions.size(),
            second.instructions[1]->sub_instructions.size());
}

// mcx ---------------------------------------------------------------------------------

TEST(Mcx, FiveAndSixControlsFlipTheTargetOnlyUnderAllControls) {
  const std::pair<std::vector<int64_t>, uint64_t> cases[] = {
      {{0, 1, 2, 3, 4}, 5}, {{6, 4, 2, 0, 1}, 3}, {{0, 1, 2, 4, 5, 6}, 3}};
  for (const auto& [controls, target] : cases) {
    QuantumCircuit qc(7, "", 0.0);
    GatePtr gate = mcx(qc, controls, target, {}, "noancilla", "");
    EXPECT_EQ(typeid(*gate), typeid(MCXGate));
    EXPECT_EQ(gate->num_qubits, static_cast<int32_t>(target + controls.size()));
    EXPECT_TRUE(testing::Near(
        testing::Unitary(qc.instructions, 7),
        testing::Controlled(7, Distinct(controls), target, testing::TextbookX()), 1e-10));
  }
}

TEST(Mcx, FiveControlsRecordSixtyThreeSteps) {
  QuantumCircuit qc(6, "", 0.0);
  mcx(qc, {4, 3, 2, 1, 0}, 5, {}, "noancilla", "");
  const Instruction& composite = *qc.instructions[0];
  EXPECT_EQ(composite.name, "mcx");
  EXPECT_EQ(composite.num_ctrl_qubits, 5u);
  EXPECT_TRUE(composite.params.empty());
  EXPECT_EQ(composite.qubits, (std::vector<uint64_t>{0, 1, 2, 3, 4, 5}));
  const InstructionList& sub = composite.sub_instructions;
  ASSERT_EQ(sub.size(), 63u);
  EXPECT_EQ(sub.front()->kind, kind::kH);
  EXPECT_EQ(sub.back()->kind, kind::kH);
  EXPECT_EQ(sub.front()->qubits, (std::vector<uint64_t>{5}));
  int cu1 = 0, cx = 0;
  for (size_t i = 1; i + 1 < sub.size(); ++i) {
    if (sub[i]->kind == kind::kCU1) {
      ++cu1;
      EXPECT_EQ(std::abs(sub[i]->params.at(0)), kPi / 16);
      EXPECT_EQ(sub[i]->qubits.back(), 5u);
    } else {
      EXPECT_EQ(sub[i]->kind, kind::kCX);
      ++cx;
    }
  }
  EXPECT_EQ(cu1, 31);
  EXPECT_EQ(cx, 30);
}

TEST(Mcx, FewControlsHandOverToTheFixedGates) {
  QuantumCircuit qc(6, "", 0.0);
  GatePtr one = mcx(qc, {3, 3}, 0, {}, "noancilla", "L");
  ASSERT_EQ(qc.instructions.size(), 1u);
  EXPECT_EQ(qc.instructions[0]->kind, kind::kCX);
  EXPECT_EQ(qc.instructions[0]->qubits, (std::vector<uint64_t>{3, 0}));
  EXPECT_EQ(qc.instructions[0]->name, "L");
  EXPECT_EQ(typeid(*one), typeid(MCXGate));
  EXPECT_EQ(one->label, "L");
  EXPECT_EQ(one->name, "");
  EXPECT_EQ(one->num_qubits, 0);
  EXPECT_EQ(one->instructions[0].lock(), qc.instructions[0]);

  GatePtr two = mct(qc, {1, 3, 1}, 2, {}, "noancilla", "L");
  const Instruction& toffoli = *qc.instructions[1];
  EXPECT_EQ(toffoli.name, "L");
  EXPECT_EQ(toffoli.qubits, (std::vector<uint64_t>{1, 3, 2}));
  EXPECT_EQ(toffoli.sub_instructions.size(), 15u);
  EXPECT_EQ(typeid(*two), typeid(MCXGate));
  EXPECT_EQ((std::make_pair(two->label, two->name)), std::make_pair(std::string("L"), std::string()));
  EXPECT_EQ(two->num_qubits, 0);
  EXPECT_EQ(two->instructions[0].lock(), qc.instructions[1]);

  GatePtr three = mcx(qc, {4, 0, 2}, 1, {}, "noancilla", "");
  EXPECT_EQ(qc.instructions[2]->name, "c3x");
  EXPECT_EQ(qc.instructions[2]->qubits, (std::vector<uint64_t>{0, 2, 4, 1}));
  EXPECT_EQ(three->num_qubits, 4);

  GatePtr four = mcx(qc, {5, 4, 0, 2}, 1, {}, "noancilla", "");
  EXPECT_EQ(qc.instructions[3]->name, "c4x");
  EXPECT_EQ(qc.instructions[3]->qubits, (std::vector<uint64_t>{0, 2, 4, 5, 1}));
  EXPECT_EQ(qc.instructions[3]->sub_instructions.size(), 95u);
  EXPECT_EQ(four->num_qubits, 5);
}

// Refusals ------------------------------------------------------------------------------

TEST(MultiControlled, InvalidControlsAndTargetsRecordNothing) {
  const std::pair<std::vector<int64_t>, uint64_t> bad[] = {
      {{}, 0}, {{0, 1}, 1}, {{0}, 3}, {{-1, 0}, 1}, {{0, 3}, 1}, {{0, 1}, ~0ull}};
  for (const auto& [controls, target] : bad) {
    for (Family f : {Family::kPhase, Family::kRX, Family::kRY, Family::kRZ}) {
      QuantumCircuit qc(3, "", 0.0);
      EXPECT_EQ(ErrorText([&] { Record(qc, {f, controls, target, 0.5}); }), kInvalid);
      EXPECT_TRUE(Untouched(qc));
    }
    QuantumCircuit qc(3, "", 0.0);
    EXPECT_EQ(ErrorText([&] { mcx(qc, controls, target, {}, "", ""); }), kInvalid);
    EXPECT_EQ(ErrorText([&] { mct(qc, controls, target, {}, "", ""); }), kInvalid);
    EXPECT_TRUE(Untouched(qc));
  }
}

std::vector<int64_t> Range(int64_t n) {
  std::vector<int64_t> out(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) out[static_cast<size_t>(i)] = i;
  return out;
}

TEST(MultiControlled, WalksThatCannotBeBuiltAreRefusedBeforeAnythingIsRecorded) {
  // 31 controls overflow the walk's code-word counter; 30 would need far more
  // memory than any machine offers (2^31 records), an allocation failure.
  for (int64_t n : {int64_t{31}, int64_t{30}, int64_t{99}}) {
    const auto target = static_cast<uint64_t>(n);
    auto refused = [n](QuantumCircuit& qc, auto&& call) {
      if (n == 30) {
        EXPECT_THROW(call(), MemoryAllocError);
      } else {
        EXPECT_EQ(ErrorText(call), kMultiControl);
      }
      EXPECT_TRUE(Untouched(qc));
    };
    for (Family f : {Family::kPhase, Family::kRX, Family::kRY, Family::kRZ}) {
      QuantumCircuit qc(static_cast<uint64_t>(n + 1), "", 0.0);
      refused(qc, [&] { Record(qc, {f, Range(n), target, 0.5}); });
    }
    QuantumCircuit qc(static_cast<uint64_t>(n + 1), "", 0.0);
    refused(qc, [&] { mcx(qc, Range(n), target, {}, "", ""); });
  }
}

TEST(Recorders, WriteIntoAnyListAndRefuseWhatTheyCannotBuild) {
  QuantumCircuit qc(40, "", 0.0);
  InstructionList list;
  EXPECT_EQ(AppendMCP(qc, 0.5, {0, 1}, 2, list, "x"), 0);
  EXPECT_EQ(AppendMCRZ(qc, 0.5, {3}, 2, list, false, ""), 0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->name, "x");
  EXPECT_EQ(list[1]->name, "mcrz");
  EXPECT_TRUE(qc.instructions.empty());

  std::vector<uint64_t> many(35);
  for (size_t i = 0; i < many.size(); ++i) many[i] = i;
  QuantumCircuit fresh(40, "", 0.0);
  EXPECT_EQ(ErrorText([&] { AppendMCRY(fresh, 0.5, many, 39, list, false, ""); }), kMultiControl);
  EXPECT_EQ(ErrorText([&] { AppendMCRX(fresh, 0.5, {}, 39, list, false, ""); }), kInvalid);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_TRUE(Untouched(fresh));
}

TEST(GrayCodeWalk, UnknownStepKindsRecordNothing) {
  QuantumCircuit qc(3, "", 0.0);
  InstructionList list;
  EXPECT_EQ(AppendGrayCodeControlled(qc, 1.0, {0, 1}, 2, kind::kCX, {}, list, ""),
            kStatusUnknownStepKind);
  EXPECT_EQ(AppendGrayCodeControlled(qc, 1.0, {0, 1}, 2, kind::kCU, {0.0}, list, ""),
            kStatusUnknownStepKind);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(Untouched(qc));
}

TEST(GrayCodeWalk, ThreeControlsFollowTheCode) {
  QuantumCircuit qc(5, "", 0.0);
  InstructionList list;
  // Controls 4, 1, 2 stand at code positions 0, 1, 2.
  ASSERT_EQ(AppendGrayCodeControlled(qc, 0.8, {4, 1, 2}, 0, kind::kCU1, {}, list, ""), 0);
  const double u = 0.2;
  struct Step {
    GateKind kind;
    std::vector<uint64_t> qubits;
    double angle;
  };
  const Step expected[] = {
      {46, {2, 0}, u},  {20, {2, 1}, 0}, {46, {1, 0}, -u}, {20, {2, 1}, 0}, {46, {1, 0}, u},
      {20, {1, 4}, 0},  {46, {4, 0}, -u}, {20, {2, 4}, 0}, {46, {4, 0}, u},  {20, {1, 4}, 0},
      {46, {4, 0}, -u}, {20, {2, 4}, 0}, {46, {4, 0}, u}};
  ASSERT_EQ(list.size(), 13u);
  for (size_t i = 0; i < 13; ++i) {
    EXPECT_EQ(list[i]->kind, expected[i].kind) << i;
    EXPECT_EQ(list[i]->qubits, expected[i].qubits) << i;
    if (expected[i].kind == 46) {
      EXPECT_EQ(list[i]->params, (std::vector<double>{expected[i].angle})) << i;
      EXPECT_EQ(list[i]->matrix(3, 3), C(expected[i].angle, 0));
    }
  }
}

}  // namespace
}  // namespace velorin
