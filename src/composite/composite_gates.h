// Gates on three or more qubits, recorded as composite instructions holding
// their decompositions into one- and two-qubit records.
//
// The gate methods validate, append one composite to the circuit's own list
// and return its gate object; the Append* recorders write a composite (or its
// steps) into any list, validating and marking against the circuit given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

using GatePtr = QuantumCircuit::GatePtr;

// Toffoli family and Pauli strings -------------------------------------------

GatePtr ccx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t target_qubit, const std::string& label);
GatePtr toffoli(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
                uint64_t target_qubit, const std::string& label);
GatePtr ccz(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t target_qubit, const std::string& label);
GatePtr cswap(QuantumCircuit& qc, uint64_t control_qubit, uint64_t target_qubit1,
              uint64_t target_qubit2, const std::string& label);
// The first qubit is the control, the other two are exchanged.
GatePtr fredkin(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
                uint64_t target_qubit, const std::string& label);
GatePtr rccx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
             uint64_t target_qubit, const std::string& label);
// The first letter acts on the last listed qubit.
GatePtr pauli(QuantumCircuit& qc, const std::vector<int64_t>& qubit_list,
              const std::string& pauli_operator, const std::string& label);

int AppendCCX(QuantumCircuit& qc, uint64_t a, uint64_t b, uint64_t t, InstructionList& list,
              const std::string& label);
int AppendCCZ(QuantumCircuit& qc, uint64_t a, uint64_t b, uint64_t t, InstructionList& list,
              const std::string& label);
int AppendCSWAP(QuantumCircuit& qc, uint64_t c, uint64_t t1, uint64_t t2, InstructionList& list,
                const std::string& label);

// Records each fixed decomposition makes, its composite included: what a
// build counts before it builds.
uint64_t CCXRecords();
uint64_t CCZRecords();
uint64_t CSWAPRecords();
uint64_t C3XRecords();
uint64_t C4XRecords();

// Multi-qubit decompositions ---------------------------------------------------

GatePtr gms(QuantumCircuit& qc, double theta, const std::vector<int64_t>& qubit_list,
            const std::string& label);
GatePtr ms(QuantumCircuit& qc, double theta, const std::vector<int64_t>& qubit_list,
           const std::string& label);
GatePtr rcccx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
              uint64_t control_qubit3, uint64_t target_qubit, const std::string& label);
GatePtr rc3x(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
             uint64_t control_qubit3, uint64_t target_qubit, const std::string& label);
GatePtr c3sqrtx(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
                uint64_t control_qubit3, uint64_t target_qubit, const std::string& label);
GatePtr c3x(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t control_qubit3, uint64_t target_qubit, const std::string& label);
GatePtr c4x(QuantumCircuit& qc, uint64_t control_qubit1, uint64_t control_qubit2,
            uint64_t control_qubit3, uint64_t control_qubit4, uint64_t target_qubit,
            const std::string& label);

// The 27 (31) steps into the sub-list of `composite`.
int AppendC3SQRTX(QuantumCircuit& qc, uint64_t c1, uint64_t c2, uint64_t c3, uint64_t t,
                  Instruction& composite, const std::string& label);
int AppendC3X(QuantumCircuit& qc, uint64_t c1, uint64_t c2, uint64_t c3, uint64_t t,
              Instruction& composite, const std::string& label);
// A whole c3x composite into `list`, its qubits marked in `marking`.
int AppendC3XComposite(QuantumCircuit& qc, uint64_t c1, uint64_t c2, uint64_t c3, uint64_t t,
                       InstructionList& list, QuantumCircuit& marking, const std::string& label);

// Gray-code multi-controlled gates ------------------------------------------------

// Status of the walk for a step kind it does not know.
inline constexpr int kStatusUnknownStepKind = static_cast<int>(0x80000012u);
// Status of a c3x composite whose steps could not be recorded.
inline constexpr int kStatusC3XFailed = static_cast<int>(0x80000014u);

// Controls are walked in the order given; step_kind is cp (25), cu (32) or
// cu1 (46); extras holds phi, lambda, gamma of the cu steps.
int AppendGrayCodeControlled(QuantumCircuit& qc, double theta, std::vector<uint64_t> controls,
                             uint64_t target, GateKind step_kind,
                             const std::vector<double>& extras, InstructionList& list,
                             const std::string& label);

int AppendMCP(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
              uint64_t target, InstructionList& list, const std::string& label);
int AppendMCRX(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
               uint64_t target, InstructionList& list, bool use_basis_gates,
               const std::string& label);
int AppendMCRY(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
               uint64_t target, InstructionList& list, bool use_basis_gates,
               const std::string& label);
// RZ(lambda) = diag(e^{-i lambda/2}, e^{i lambda/2}) on the target when every control is 1.
int AppendMCRZ(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
               uint64_t target, InstructionList& list, bool use_basis_gates,
               const std::string& label);

GatePtr mcp(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
            uint64_t target_qubit, const std::string& label);
GatePtr mcrx(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
             uint64_t target_qubit, bool use_basis_gates, const std::string& label);
GatePtr mcry(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
             uint64_t target_qubit, bool use_basis_gates, const std::string& label);
GatePtr mcrz(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
             uint64_t target_qubit, bool use_basis_gates, const std::string& label);
// ancilla_qubits and mode are accepted and ignored.
GatePtr mcx(QuantumCircuit& qc, const std::vector<int64_t>& control_qubits,
            uint64_t target_qubit, const std::vector<int64_t>& ancilla_qubits,
            const std::string& mode, const std::string& label);
GatePtr mct(QuantumCircuit& qc, const std::vector<int64_t>& control_qubits,
            uint64_t target_qubit, const std::vector<int64_t>& ancilla_qubits,
            const std::string& mode, const std::string& label);

// Records, the composite included, that mcp, mcrx and mcry (kPhase), mcrz
// (kRZ) or mcx (kX) make on `controls` distinct controls; the count
// saturates where it no longer fits.
enum class MultiControlled { kPhase, kRZ, kX };
uint64_t MultiControlledRecords(MultiControlled gate, size_t controls);

// Bytes of one step record of a walk with the given label.
uint64_t WalkStepBytes(const std::string& label);

// The largest number of controls the walk takes: its code-word counter is a
// signed 32-bit integer.
inline constexpr size_t kMaxGrayCodeControls = 30;

}  // namespace velorin
