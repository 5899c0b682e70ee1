#include "composite/steps.h"

#include "circuit/gate_families.h"

namespace velorin::steps {

namespace {

// The step recorders are the gate methods' own rows, so a step records
// exactly what the method of the same name records.
const OneQubitFamily& One(const char* method) { return OneQubitFamilyNamed(method); }
const TwoQubitFamily& Two(const char* method) { return TwoQubitFamilyNamed(method); }

}  // namespace

int AppendOneQubitConstant(QuantumCircuit& qc, GateKind kind, const Matrix& matrix,
                           uint64_t qubit, InstructionList& list, const std::string& label) {
  return qc.AppendOneQubitInstruction(kind, matrix, qubit, {}, list, label);
}

int AppendCX(QuantumCircuit& qc, uint64_t control, uint64_t target, InstructionList& list,
             const std::string& label) {
  static const TwoQubitFamily& cx = Two("cx");
  return qc.AppendGate(cx, {}, control, target, list, label);
}

int AppendP(QuantumCircuit& qc, double theta, uint64_t qubit, InstructionList& list,
            const std::string& label) {
  static const OneQubitFamily& p = One("p");
  return qc.AppendGate(p, {theta}, qubit, list, label);
}

int AppendU1(QuantumCircuit& qc, double lambda, uint64_t qubit, InstructionList& list,
             const std::string& label) {
  static const OneQubitFamily& u1 = One("u1");
  return qc.AppendGate(u1, {lambda}, qubit, list, label);
}

int AppendU2(QuantumCircuit& qc, double phi, double lambda, uint64_t qubit, InstructionList& list,
             const std::string& label) {
  static const OneQubitFamily& u2 = One("u2");
  return qc.AppendGate(u2, {phi, lambda}, qubit, list, label);
}

int AppendCP(QuantumCircuit& qc, double theta, uint64_t control, uint64_t target,
             InstructionList& list, const std::string& label) {
  static const TwoQubitFamily& cp = Two("cp");
  return qc.AppendGate(cp, {theta}, control, target, list, label);
}

int AppendCU(QuantumCircuit& qc, double theta, double phi, double lambda, double gamma,
             uint64_t control, uint64_t target, InstructionList& list, const std::string& label) {
  static const TwoQubitFamily& cu = Two("cu");
  return qc.AppendGate(cu, {theta, phi, lambda, gamma}, control, target, list, label);
}

int AppendCU1(QuantumCircuit& qc, double theta, uint64_t control, uint64_t target,
              InstructionList& list, const std::string& label) {
  static const TwoQubitFamily& cu1 = Two("cu1");
  return qc.AppendGate(cu1, {theta}, control, target, list, label);
}

int RecordSteps(QuantumCircuit& qc, const Step* steps, size_t count, const uint64_t* qubits,
                InstructionList& list, const std::string& label) {
  for (size_t i = 0; i < count; ++i) {
    const Step& step = steps[i];
    const uint64_t a = qubits[step.first];
    const uint64_t b = qubits[step.second];
    int status = 0;
    switch (step.op) {
      case StepOp::kH:
        status = AppendOneQubitConstant(qc, kind::kH, kGateH, a, list, label);
        break;
      case StepOp::kT:
        status = AppendOneQubitConstant(qc, kind::kT, kGateT, a, list, label);
        break;
      case StepOp::kTdg:
        status = AppendOneQubitConstant(qc, kind::kTdg, kGateTdg, a, list, label);
        break;
      case StepOp::kCX:
        status = AppendCX(qc, a, b, list, label);
        break;
      case StepOp::kP:
        status = AppendP(qc, step.angle, a, list, label);
        break;
      case StepOp::kU1:
        status = AppendU1(qc, step.angle, a, list, label);
        break;
      case StepOp::kU2ZeroPi:
        status = AppendU2(qc, 0.0, kPi, a, list, label);
        break;
      case StepOp::kCU1:
        status = AppendCU1(qc, step.angle, a, b, list, label);
        break;
    }
    if (status != 0) return status;
  }
  return 0;
}

}  // namespace velorin::steps
