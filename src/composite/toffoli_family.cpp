// Toffoli, CCZ, controlled swap, relative-phase Toffoli and Pauli strings.
#include <iterator>

#include "circuit/errors.h"
#include "composite/composite_gates.h"
#include "composite/composite_record.h"
#include "composite/steps.h"

namespace velorin {

namespace {

using steps::Step;
using steps::StepOp;

enum : uint8_t { kA = 0, kB = 1, kT = 2 };

// Controls a, b and target t.
constexpr Step kToffoliSteps[] = {
    {StepOp::kH, kT, 0, 0},    {StepOp::kCX, kB, kT, 0}, {StepOp::kTdg, kT, 0, 0},
    {StepOp::kCX, kA, kT, 0},  {StepOp::kT, kT, 0, 0},   {StepOp::kCX, kB, kT, 0},
    {StepOp::kTdg, kT, 0, 0},  {StepOp::kCX, kA, kT, 0}, {StepOp::kT, kB, 0, 0},
    {StepOp::kT, kT, 0, 0},    {StepOp::kH, kT, 0, 0},   {StepOp::kCX, kA, kB, 0},
    {StepOp::kT, kA, 0, 0},    {StepOp::kTdg, kB, 0, 0}, {StepOp::kCX, kA, kB, 0},
};

constexpr Step kHadamardOnTarget[] = {{StepOp::kH, kT, 0, 0}};

// Relative-phase Toffoli: a Toffoli up to phases on the control states.
constexpr Step kRccxSteps[] = {
    {StepOp::kU2ZeroPi, kT, 0, 0},
    {StepOp::kU1, kT, 0, steps::kQuarterPi},
    {StepOp::kCX, kB, kT, 0},
    {StepOp::kU1, kT, 0, -steps::kQuarterPi},
    {StepOp::kCX, kA, kT, 0},
    {StepOp::kU1, kT, 0, steps::kQuarterPi},
    {StepOp::kCX, kB, kT, 0},
    {StepOp::kU1, kT, 0, -steps::kQuarterPi},
    {StepOp::kU2ZeroPi, kT, 0, 0},
};

InstructionPtr ThreeQubitComposite(QuantumCircuit& qc, const std::string& label,
                                   const char* default_name, uint64_t q0, uint64_t q1,
                                   uint64_t q2) {
  InstructionPtr composite = NewComposite(label, default_name);
  for (uint64_t q : {q0, q1, q2}) AddCompositeQubit(*composite, qc, q);
  return composite;
}

}  // namespace

uint64_t CCXRecords() { return 1 + std::size(kToffoliSteps); }
uint64_t CCZRecords() { return CCXRecords() + 2; }
uint64_t CSWAPRecords() { return CCXRecords() + 2; }

int AppendCCX(QuantumCircuit& qc, uint64_t a, uint64_t b, uint64_t t, InstructionList& list,
              const std::string& label) {
  InstructionPtr composite = ThreeQubitComposite(qc, label, "ccx", a, b, t);
  const uint64_t qubits[] = {a, b, t};
  const int status =
      steps::RecordSteps(qc, kToffoliSteps, qubits, composite->sub_instructions, label);
  if (status != 0) return status;
  list.push_back(std::move(composite));
  return 0;
}

int AppendCCZ(QuantumCircuit& qc, uint64_t a, uint64_t b, uint64_t t, InstructionList& list,
              const std::string& label) {
  InstructionPtr composite = ThreeQubitComposite(qc, label, "ccz", a, b, t);
  const uint64_t qubits[] = {a, b, t};
  InstructionList& sub = composite->sub_instructions;
  int status = steps::RecordSteps(qc, kHadamardOnTarget, qubits, sub, label);
  if (status == 0) status = steps::RecordSteps(qc, kToffoliSteps, qubits, sub, label);
  if (status == 0) status = steps::RecordSteps(qc, kHadamardOnTarget, qubits, sub, label);
  if (status != 0) return status;
  list.push_back(std::move(composite));
  return 0;
}

int AppendCSWAP(QuantumCircuit& qc, uint64_t c, uint64_t t1, uint64_t t2, InstructionList& list,
                const std::string& label) {
  InstructionPtr composite = ThreeQubitComposite(qc, label, "cswap", c, t1, t2);
  const uint64_t qubits[] = {c, t1, t2};
  InstructionList& sub = composite->sub_instructions;
  int status = steps::AppendCX(qc, t2, t1, sub, label);
  if (status == 0) status = steps::RecordSteps(qc, kToffoliSteps, qubits, sub, label);
  if (status == 0) status = steps::AppendCX(qc, t2, t1, sub, label);
  if (status != 0) return status;
  list.push_back(std::move(composite));
  return 0;
}

namespace {

using ThreeQubitRecorder = int (*)(QuantumCircuit&, uint64_t, uint64_t, uint64_t, InstructionList&,
                                   const std::string&);

// Validates, records the composite into the circuit and hands back its gate;
// a failed recording gives no gate, or `failure` as an error when one is named.
GatePtr RecordThreeQubitGate(QuantumCircuit& qc, ThreeQubitRecorder record, GateClass cls,
                             uint64_t a, uint64_t b, uint64_t c, const std::string& label,
                             const char* failure) {
  RequireDistinctQubits(qc, {a, b, c});
  if (record(qc, a, b, c, qc.instructions, label) != 0) {
    if (failure != nullptr) throw RunTimeError(failure);
    return nullptr;
  }
  return CompositeGate(cls, label, qc.instructions.back(), static_cast<int64_t>(qc.total_qubits));
}

}  // namespace

GatePtr ccx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t target_qubit, const std::string& label) {
  return RecordThreeQubitGate(qc, AppendCCX, GateClass::CCXGate, control_qubit1, control_qubit2,
                              target_qubit, label, nullptr);
}

GatePtr toffoli(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
                uint64_t target_qubit, const std::string& label) {
  return ccx(qc, control_qubit1, control_qubit2, target_qubit, label);
}

GatePtr ccz(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t target_qubit, const std::string& label) {
  return RecordThreeQubitGate(qc, AppendCCZ, GateClass::CCZGate, control_qubit1, control_qubit2,
                              target_qubit, label, "Error executing CCZ gate.");
}

GatePtr cswap(QuantumCircuit& qc, uint64_t control_qubit, uint64_t target_qubit1,
              uint64_t target_qubit2, const std::string& label) {
  return RecordThreeQubitGate(qc, AppendCSWAP, GateClass::CSWAPGate, control_qubit, target_qubit1,
                              target_qubit2, label, nullptr);
}

GatePtr fredkin(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
                uint64_t target_qubit, const std::string& label) {
  return cswap(qc, control_qubit1, control_qubit2, target_qubit, label);
}

GatePtr rccx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
             uint64_t target_qubit, const std::string& label) {
  RequireDistinctQubits(qc, {control_qubit1, control_qubit2, target_qubit});
  InstructionPtr composite =
      ThreeQubitComposite(qc, label, "Rccx", control_qubit1, control_qubit2, target_qubit);
  const uint64_t qubits[] = {control_qubit1, control_qubit2, target_qubit};
  if (steps::RecordSteps(qc, kRccxSteps, qubits, composite->sub_instructions, label) != 0) {
    return nullptr;
  }
  qc.instructions.push_back(composite);
  return CompositeGate(GateClass::RCCXGate, label, composite,
                       static_cast<int64_t>(qc.total_qubits));
}

GatePtr pauli(QuantumCircuit& qc, const std::vector<int64_t>& qubit_list,
              const std::string& pauli_operator, const std::string& label) {
  const size_t n = qubit_list.size();
  if (n != pauli_operator.size()) throw RunTimeError(kInvalidGateParameter);
  InstructionPtr composite = NewComposite(label, "Pauli");
  InstructionList& sub = composite->sub_instructions;
  for (size_t a = 0; a < n; ++a) {
    const auto q = static_cast<uint64_t>(qubit_list[n - 1 - a]);
    AddCompositeQubit(*composite, qc, q);
    switch (pauli_operator[a]) {
      case 'I':
      case 'i':
        // No step checks an identity letter's qubit; refusing it keeps every
        // qubit of the composite inside the circuit.
        if (q >= qc.total_qubits) throw RunTimeError(kInvalidGateParameter);
        composite->sub_names.emplace_back("I");
        break;
      case 'X':
      case 'x':
        composite->sub_names.emplace_back("X");
        steps::AppendOneQubitConstant(qc, kind::kX, kGateX, q, sub, label);
        break;
      case 'Y':
      case 'y':
        composite->sub_names.emplace_back("Y");
        steps::AppendOneQubitConstant(qc, kind::kY, kGateY, q, sub, label);
        break;
      case 'Z':
      case 'z':
        composite->sub_names.emplace_back("Z");
        steps::AppendOneQubitConstant(qc, kind::kZ, kGateZ, q, sub, label);
        break;
      default:
        throw RunTimeError("Invalid Pauli operator: " + pauli_operator);
    }
  }
  qc.instructions.push_back(composite);
  return CompositeGate(GateClass::PAULIGate, label, composite,
                       static_cast<int64_t>(qc.total_qubits));
}

}  // namespace velorin
