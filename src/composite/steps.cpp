#include "composite/steps.h"

#include <cmath>

namespace velorin::steps {

namespace {

// A real number times e^{ix}, formed part by part.
Complex Scaled(double real, double x) { return Complex(real * std::cos(x), real * std::sin(x)); }

}  // namespace

Matrix PhaseMatrix(double theta) {
  Matrix m = Matrix::Zero(2, 2);
  m(0, 0) = 1.0;
  m(1, 1) = Complex(std::cos(theta), std::sin(theta));
  return m;
}

Matrix U2Matrix(double phi, double lambda) {
  Matrix m = Matrix::Zero(2, 2);
  m(0, 0) = 1.0;
  m(0, 1) = Complex(-std::cos(lambda), -std::sin(lambda));
  m(1, 0) = Complex(std::cos(phi), std::sin(phi));
  m(1, 1) = Complex(std::cos(phi + lambda), std::sin(phi + lambda));
  for (Eigen::Index i = 0; i < m.size(); ++i) {
    m(i) = Complex(m(i).real() * kInvSqrt2, m(i).imag() * kInvSqrt2);
  }
  return m;
}

Matrix CPMatrix(double theta) {
  Matrix m = kTemplateCP;
  m(3, 3) = Phase(theta);
  return m;
}

Matrix CUMatrix(double theta, double phi, double lambda, double gamma) {
  const double c = std::cos(theta * 0.5);
  const double s = std::sin(theta * 0.5);
  Matrix m = kTemplateCU;
  m(1, 1) = Scaled(c, gamma);
  m(1, 3) = -Scaled(s, lambda + gamma);
  m(3, 1) = Scaled(s, phi + gamma);
  m(3, 3) = Scaled(c, (phi + gamma) + lambda);
  return m;
}

Matrix CU1Matrix(double theta) {
  Matrix m = Matrix::Zero(4, 4);
  m(0, 0) = 1.0;
  m(1, 1) = 1.0;
  m(2, 2) = 1.0;
  m(3, 3) = theta;  // the engine turns the angle into its phase
  return m;
}

Matrix RXXMatrix(double theta) {
  const double c = std::cos(theta * 0.5);
  const double s = std::sin(theta * 0.5);
  Matrix m = Matrix::Zero(4, 4);
  for (Eigen::Index i = 0; i < 4; ++i) {
    m(i, i) = c;
    m(i, 3 - i) = Complex(0.0, -s);
  }
  return m;
}

int AppendOneQubitConstant(QuantumCircuit& qc, GateKind kind, const Matrix& matrix,
                           uint64_t qubit, InstructionList& list, const std::string& label) {
  return qc.AppendOneQubitInstruction(kind, matrix, qubit, {}, list, label);
}

int AppendCX(QuantumCircuit& qc, uint64_t control, uint64_t target, InstructionList& list,
             const std::string& label) {
  return qc.AppendTwoQubitInstruction(kind::kCX, kGateCX, control, target, {}, list, label);
}

int AppendP(QuantumCircuit& qc, double theta, uint64_t qubit, InstructionList& list,
            const std::string& label) {
  return qc.AppendOneQubitInstruction(kind::kP, PhaseMatrix(theta), qubit, {theta}, list, label);
}

int AppendU1(QuantumCircuit& qc, double lambda, uint64_t qubit, InstructionList& list,
             const std::string& label) {
  return qc.AppendOneQubitInstruction(kind::kU1, PhaseMatrix(lambda), qubit, {lambda}, list,
                                      label);
}

int AppendU2(QuantumCircuit& qc, double phi, double lambda, uint64_t qubit, InstructionList& list,
             const std::string& label) {
  return qc.AppendOneQubitInstruction(kind::kU2, U2Matrix(phi, lambda), qubit, {phi, lambda},
                                      list, label);
}

int AppendCP(QuantumCircuit& qc, double theta, uint64_t control, uint64_t target,
             InstructionList& list, const std::string& label) {
  return qc.AppendTwoQubitInstruction(kind::kCP, CPMatrix(theta), control, target, {theta}, list,
                                      label);
}

int AppendCU(QuantumCircuit& qc, double theta, double phi, double lambda, double gamma,
             uint64_t control, uint64_t target, InstructionList& list, const std::string& label) {
  return qc.AppendTwoQubitInstruction(kind::kCU, CUMatrix(theta, phi, lambda, gamma), control,
                                      target, {theta, phi, lambda, gamma}, list, label);
}

int AppendCU1(QuantumCircuit& qc, double theta, uint64_t control, uint64_t target,
              InstructionList& list, const std::string& label) {
  return qc.AppendTwoQubitInstruction(kind::kCU1, CU1Matrix(theta), control, target, {theta},
                                      list, label);
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
