// qasm2 and the OpenQASM methods of QuantumCircuit.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

void BindQasmReader(py::module_&) {}
void BindQasmExport(CircuitClass&) {}
void BindQasmImport(CircuitClass&) {}

}  // namespace velorin::bindings
