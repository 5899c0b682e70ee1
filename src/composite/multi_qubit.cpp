// gms, rcccx, c3sqrtx, c3x and c4x.
#include <iterator>
#include <set>

#include "circuit/errors.h"
#include "composite/composite_gates.h"
#include "composite/composite_record.h"
#include "composite/steps.h"

namespace velorin {

namespace {

using steps::Step;
using steps::StepOp;

// Qubit positions of the four-qubit tables: controls c1, c2, c3 and target t.
enum : uint8_t { kC1 = 0, kC2 = 1, kC3 = 2, kT = 3 };

constexpr double kE = steps::kEighthPi;
constexpr double kQ = steps::kQuarterPi;

constexpr Step kRcccxSteps[] = {
    {StepOp::kU2ZeroPi, kT, 0, 0}, {StepOp::kU1, kT, 0, kQ},       {StepOp::kCX, kC3, kT, 0},
    {StepOp::kU1, kT, 0, -kQ},     {StepOp::kU2ZeroPi, kT, 0, 0},  {StepOp::kCX, kC1, kT, 0},
    {StepOp::kU1, kT, 0, kQ},      {StepOp::kCX, kC2, kT, 0},      {StepOp::kU1, kT, 0, -kQ},
    {StepOp::kCX, kC1, kT, 0},     {StepOp::kU1, kT, 0, kQ},       {StepOp::kCX, kC2, kT, 0},
    {StepOp::kU1, kT, 0, -kQ},     {StepOp::kU2ZeroPi, kT, 0, 0},  {StepOp::kU1, kT, 0, kQ},
    {StepOp::kCX, kC3, kT, 0},     {StepOp::kU1, kT, 0, -kQ},      {StepOp::kU2ZeroPi, kT, 0, 0},
};

// Every controlled phase is enclosed by h on the target.
constexpr Step kC3SqrtXSteps[] = {
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC1, kT, kE},  {StepOp::kH, kT, 0, 0},
    {StepOp::kCX, kC1, kC2, 0},
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC2, kT, -kE}, {StepOp::kH, kT, 0, 0},
    {StepOp::kCX, kC1, kC2, 0},
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC2, kT, kE},  {StepOp::kH, kT, 0, 0},
    {StepOp::kCX, kC2, kC3, 0},
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC3, kT, -kE}, {StepOp::kH, kT, 0, 0},
    {StepOp::kCX, kC1, kC3, 0},
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC3, kT, kE},  {StepOp::kH, kT, 0, 0},
    {StepOp::kCX, kC2, kC3, 0},
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC3, kT, -kE}, {StepOp::kH, kT, 0, 0},
    {StepOp::kCX, kC1, kC3, 0},
    {StepOp::kH, kT, 0, 0},   {StepOp::kCU1, kC3, kT, kE},  {StepOp::kH, kT, 0, 0},
};

constexpr Step kC3XSteps[] = {
    {StepOp::kH, kT, 0, 0},       {StepOp::kP, kC1, 0, kE},     {StepOp::kP, kC2, 0, kE},
    {StepOp::kP, kC3, 0, kE},     {StepOp::kP, kT, 0, kE},      {StepOp::kCX, kC1, kC2, 0},
    {StepOp::kP, kC2, 0, -kE},    {StepOp::kCX, kC1, kC2, 0},   {StepOp::kCX, kC2, kC3, 0},
    {StepOp::kP, kC3, 0, -kE},    {StepOp::kCX, kC1, kC3, 0},   {StepOp::kP, kC3, 0, kE},
    {StepOp::kCX, kC2, kC3, 0},   {StepOp::kP, kC3, 0, -kE},    {StepOp::kCX, kC1, kC3, 0},
    {StepOp::kCX, kC3, kT, 0},    {StepOp::kP, kT, 0, -kE},     {StepOp::kCX, kC2, kT, 0},
    {StepOp::kP, kT, 0, kE},      {StepOp::kCX, kC3, kT, 0},    {StepOp::kP, kT, 0, -kE},
    {StepOp::kCX, kC1, kT, 0},    {StepOp::kP, kT, 0, kE},      {StepOp::kCX, kC3, kT, 0},
    {StepOp::kP, kT, 0, -kE},     {StepOp::kCX, kC2, kT, 0},    {StepOp::kP, kT, 0, kE},
    {StepOp::kCX, kC3, kT, 0},    {StepOp::kP, kT, 0, -kE},     {StepOp::kCX, kC1, kT, 0},
    {StepOp::kH, kT, 0, 0},
};

// The controlled phases of c4x around its two inner c3x stages; positions
// over (c1, c2, c3, c4, t).
enum : uint8_t { kC4 = 3, kT5 = 4 };
constexpr Step kC4XOpen[] = {
    {StepOp::kH, kT5, 0, 0}, {StepOp::kCU1, kC4, kT5, steps::kHalfPi}, {StepOp::kH, kT5, 0, 0}};
constexpr Step kC4XClose[] = {
    {StepOp::kH, kT5, 0, 0}, {StepOp::kCU1, kC4, kT5, -steps::kHalfPi}, {StepOp::kH, kT5, 0, 0}};

InstructionPtr ControlledComposite(QuantumCircuit& qc, const std::string& label,
                                   const char* default_name,
                                   std::initializer_list<uint64_t> qubits) {
  InstructionPtr composite = NewComposite(label, default_name, qubits.size() - 1);
  for (uint64_t q : qubits) AddCompositeQubit(*composite, qc, q);
  return composite;
}

// Appends the finished composite and returns its gate; a failed step refuses.
GatePtr Finish(QuantumCircuit& qc, int status, InstructionPtr composite, GateClass cls,
               const std::string& label, int64_t num_qubits) {
  if (status != 0) throw RunTimeError(kMultiControlError);
  qc.instructions.push_back(composite);
  return CompositeGate(cls, label, composite, num_qubits);
}

}  // namespace

GatePtr gms(QuantumCircuit& qc, double theta, const std::vector<int64_t>& qubit_list,
            const std::string& label) {
  // An empty list has no gate to record.
  if (qubit_list.empty()) throw RunTimeError(kInvalidGateParameter);
  const std::set<int64_t> distinct(qubit_list.begin(), qubit_list.end());
  if (distinct.size() < qubit_list.size() || *distinct.begin() < 0 ||
      static_cast<uint64_t>(*distinct.rbegin()) >= qc.total_qubits) {
    throw RunTimeError(kInvalidGateParameter);
  }
  InstructionPtr composite = NewComposite(label, "Gms", 0, {theta});
  for (int64_t q : qubit_list) AddCompositeQubit(*composite, qc, static_cast<uint64_t>(q));
  const TwoQubitFamily& rxx_family = TwoQubitFamilyNamed("rxx");
  const Matrix rxx = rxx_family.matrix({theta});
  int status = 0;
  for (size_t i = 0; i + 1 < qubit_list.size() && status == 0; ++i) {
    for (size_t j = i + 1; j < qubit_list.size() && status == 0; ++j) {
      status = qc.AppendTwoQubitInstruction(
          kind::kRXX, rxx, static_cast<uint64_t>(qubit_list[i]),
          static_cast<uint64_t>(qubit_list[j]), {theta}, composite->sub_instructions, label);
    }
  }
  GatePtr gate = Finish(qc, status, composite, GateClass::GMSGate, label,
                        static_cast<int64_t>(qubit_list.size()));
  gate->params = {theta};
  return gate;
}

GatePtr ms(QuantumCircuit& qc, double theta, const std::vector<int64_t>& qubit_list,
           const std::string& label) {
  return gms(qc, theta, qubit_list, label);
}

uint64_t C3XRecords() { return 1 + std::size(kC3XSteps); }

uint64_t C4XRecords() {
  return 1 + std::size(kC4XOpen) + 2 * std::size(kC3XSteps) + std::size(kC4XClose) +
         std::size(kC3SqrtXSteps);
}

int AppendC3SQRTX(QuantumCircuit& qc, uint64_t c1, uint64_t c2, uint64_t c3, uint64_t t,
                  Instruction& composite, const std::string& label) {
  const uint64_t qubits[] = {c1, c2, c3, t};
  return steps::RecordSteps(qc, kC3SqrtXSteps, qubits, composite.sub_instructions, label);
}

int AppendC3X(QuantumCircuit& qc, uint64_t c1, uint64_t c2, uint64_t c3, uint64_t t,
              Instruction& composite, const std::string& label) {
  const uint64_t qubits[] = {c1, c2, c3, t};
  return steps::RecordSteps(qc, kC3XSteps, qubits, composite.sub_instructions, label);
}

int AppendC3XComposite(QuantumCircuit& qc, uint64_t c1, uint64_t c2, uint64_t c3, uint64_t t,
                       InstructionList& list, QuantumCircuit& marking, const std::string& label) {
  InstructionPtr composite = ControlledComposite(marking, label, "c3x", {c1, c2, c3, t});
  if (AppendC3X(qc, c1, c2, c3, t, *composite, label) != 0) return kStatusC3XFailed;
  list.push_back(std::move(composite));
  return 0;
}

GatePtr rcccx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
              uint64_t control_qubit3, uint64_t target_qubit, const std::string& label) {
  RequireDistinctQubits(qc, {control_qubit1, control_qubit2, control_qubit3, target_qubit});
  InstructionPtr composite = ControlledComposite(
      qc, label, "rc3x", {control_qubit1, control_qubit2, control_qubit3, target_qubit});
  const uint64_t qubits[] = {control_qubit1, control_qubit2, control_qubit3, target_qubit};
  const int status =
      steps::RecordSteps(qc, kRcccxSteps, qubits, composite->sub_instructions, label);
  return Finish(qc, status, composite, GateClass::RCCCXGate, label, 4);
}

GatePtr rc3x(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
             uint64_t control_qubit3, uint64_t target_qubit, const std::string& label) {
  return rcccx(qc, control_qubit1, control_qubit2, control_qubit3, target_qubit, label);
}

GatePtr c3sqrtx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
                uint64_t control_qubit3, uint64_t target_qubit, const std::string& label) {
  RequireDistinctQubits(qc, {control_qubit1, control_qubit2, control_qubit3, target_qubit});
  InstructionPtr composite = ControlledComposite(
      qc, label, "c3sqrtx", {control_qubit1, control_qubit2, control_qubit3, target_qubit});
  const int status = AppendC3SQRTX(qc, control_qubit1, control_qubit2, control_qubit3,
                                   target_qubit, *composite, label);
  return Finish(qc, status, composite, GateClass::C3SQRTX, label, 4);
}

GatePtr c3x(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t control_qubit3, uint64_t target_qubit, const std::string& label) {
  RequireDistinctQubits(qc, {control_qubit1, control_qubit2, control_qubit3, target_qubit});
  if (AppendC3XComposite(qc, control_qubit1, control_qubit2, control_qubit3, target_qubit,
                         qc.instructions, qc, label) != 0) {
    throw RunTimeError("Error handling multi control gate");
  }
  return CompositeGate(GateClass::MCXGate, label, qc.instructions.back(), 4);
}

GatePtr c4x(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t control_qubit3, uint64_t control_qubit4, uint64_t target_qubit,
            const std::string& label) {
  RequireDistinctQubits(
      qc, {control_qubit1, control_qubit2, control_qubit3, control_qubit4, target_qubit});
  InstructionPtr composite =
      ControlledComposite(qc, label, "c4x",
                          {control_qubit1, control_qubit2, control_qubit3, control_qubit4,
                           target_qubit});
  const uint64_t qubits[] = {control_qubit1, control_qubit2, control_qubit3, control_qubit4,
                             target_qubit};
  InstructionList& sub = composite->sub_instructions;
  // The inner stages are written flat into this one composite.
  int status = steps::RecordSteps(qc, kC4XOpen, qubits, sub, label);
  if (status == 0) {
    status = AppendC3X(qc, control_qubit1, control_qubit2, control_qubit3, control_qubit4,
                       *composite, label);
  }
  if (status == 0) status = steps::RecordSteps(qc, kC4XClose, qubits, sub, label);
  if (status == 0) {
    status = AppendC3X(qc, control_qubit1, control_qubit2, control_qubit3, control_qubit4,
                       *composite, label);
  }
  if (status == 0) {
    status = AppendC3SQRTX(qc, control_qubit1, control_qubit2, control_qubit3, target_qubit,
                           *composite, label);
  }
  return Finish(qc, status, composite, GateClass::MCXGate, label, 5);
}

}  // namespace velorin
