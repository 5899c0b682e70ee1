// Bit strings of a shot in the host's qubit numbering.
#pragma once

#include <string>

#include "circuit/quantum_circuit.h"

namespace velorin {

class MpsSimulator;

// Highest host qubit first. Measured values are read through the circuit's
// qubit map (host qubit q was simulated as qubit map[q]), so the strings
// agree with the numeric read-outs. Without unmeasured qubits, those are
// left out; with them, they show as "X".
std::string MeasuredText(const MpsSimulator& engine, const QuantumCircuit* circuit,
                         bool with_unmeasured);

}  // namespace velorin
