// A circuit's records in the numbering its host gave the qubits.
#pragma once

#include "circuit/quantum_circuit.h"

namespace velorin {

// After a qubit-order search a circuit's records are numbered along the chain
// (qubit_map[q] is the chain number of the host's qubit q). Whatever takes
// them into another circuit needs the host's numbering: such records come
// back as relabelled deep copies. Otherwise the circuit's own records, to be
// read only.
InstructionList HostNumberedRecords(const QuantumCircuit& qc);

}  // namespace velorin
