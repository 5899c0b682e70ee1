// Building blocks shared by the composite gate methods: the composite record,
// its gate object and the common qubit checks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

inline constexpr const char* kMultiControlError = "Error handling multi control gate.";

// A new composite named by the label, or by the default name when the label is empty.
InstructionPtr NewComposite(const std::string& label, const char* default_name,
                            uint64_t num_ctrl_qubits = 0, std::vector<double> params = {});

// Adds a qubit to the composite's list and marks it used in `marking`; a
// qubit outside that circuit is never marked.
void AddCompositeQubit(Instruction& composite, QuantumCircuit& marking, uint64_t qubit);

// The gate object of a composite the call appended: label and name are the
// label, its one record is the composite.
QuantumCircuit::GatePtr CompositeGate(GateClass cls, const std::string& label,
                                      const InstructionPtr& record, int64_t num_qubits,
                                      std::vector<double> params = {});

// Throws the invalid-parameter error unless the qubits are pairwise different
// and each lies inside the circuit.
void RequireDistinctQubits(const QuantumCircuit& qc, std::initializer_list<uint64_t> qubits);

}  // namespace velorin
