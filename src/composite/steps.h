// The one- and two-qubit step recorders that the composite decompositions
// use. Each validates against and marks the circuit it is given, appends one
// record to `list` and returns 0; an invalid qubit throws.
#pragma once

#include <cstdint>
#include <string>

#include "circuit/quantum_circuit.h"

namespace velorin::steps {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kHalfPi = 1.5707963267948966;
inline constexpr double kQuarterPi = 0.7853981633974483;
inline constexpr double kEighthPi = 0.39269908169872414;

int AppendOneQubitConstant(QuantumCircuit& qc, GateKind kind, const Matrix& matrix,
                           uint64_t qubit, InstructionList& list, const std::string& label);
int AppendCX(QuantumCircuit& qc, uint64_t control, uint64_t target, InstructionList& list,
             const std::string& label);
int AppendP(QuantumCircuit& qc, double theta, uint64_t qubit, InstructionList& list,
            const std::string& label);
int AppendU1(QuantumCircuit& qc, double lambda, uint64_t qubit, InstructionList& list,
             const std::string& label);
int AppendU2(QuantumCircuit& qc, double phi, double lambda, uint64_t qubit, InstructionList& list,
             const std::string& label);
int AppendCP(QuantumCircuit& qc, double theta, uint64_t control, uint64_t target,
             InstructionList& list, const std::string& label);
int AppendCU(QuantumCircuit& qc, double theta, double phi, double lambda, double gamma,
             uint64_t control, uint64_t target, InstructionList& list, const std::string& label);
int AppendCU1(QuantumCircuit& qc, double theta, uint64_t control, uint64_t target,
              InstructionList& list, const std::string& label);

}  // namespace velorin::steps

namespace velorin::steps {

// Fixed decompositions are tables of steps over the operation's qubits.
enum class StepOp : uint8_t { kH, kT, kTdg, kCX, kP, kU1, kU2ZeroPi, kCU1 };

struct Step {
  StepOp op;
  uint8_t first;   // index into the operation's qubits
  uint8_t second;  // target of the two-qubit steps
  double angle;    // p, u1 and cu1
};

// Records the steps in order; stops at and returns the first non-zero status.
int RecordSteps(QuantumCircuit& qc, const Step* steps, size_t count, const uint64_t* qubits,
                InstructionList& list, const std::string& label);

template <size_t N>
int RecordSteps(QuantumCircuit& qc, const Step (&steps)[N], const uint64_t* qubits,
                InstructionList& list, const std::string& label) {
  return RecordSteps(qc, steps, N, qubits, list, label);
}

}  // namespace velorin::steps
