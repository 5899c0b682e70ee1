// Shared pieces of the QuantumCircuit bindings, which several files extend.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "circuit/quantum_circuit.h"

namespace velorin::bindings {

// Qubit indices given as a list. A quantum or ancilla register is not taken
// as one: it goes to the overload for registers, which checks its range
// against the circuit at once instead of expanding it index by index (2^31
// of them for the largest register).
struct QubitIndexList : std::vector<int64_t> {};

}  // namespace velorin::bindings

namespace pybind11::detail {

template <>
struct type_caster<velorin::bindings::QubitIndexList>
    : list_caster<velorin::bindings::QubitIndexList, int64_t> {
  bool load(handle src, bool convert) {
    if (isinstance<velorin::QuantumRegister>(src) || isinstance<velorin::AncillaRegister>(src)) {
      return false;
    }
    return list_caster<velorin::bindings::QubitIndexList, int64_t>::load(src, convert);
  }
};

}  // namespace pybind11::detail

namespace velorin::bindings {

using CircuitClass = py::class_<QuantumCircuit, std::shared_ptr<QuantumCircuit>>;

void BindCircuitConstructors(CircuitClass& cls);
void BindOneQubitMethods(CircuitClass& cls);
void BindTwoQubitMethods(CircuitClass& cls);
void BindMeasureMethods(CircuitClass& cls);
void BindCountingMethods(CircuitClass& cls);
void BindResetMethods(CircuitClass& cls);
void BindQasmExport(CircuitClass& cls);
void BindDraw(CircuitClass& cls);
void BindAppendCompose(CircuitClass& cls);
void BindCopyMethods(CircuitClass& cls);
void BindQasmImport(CircuitClass& cls);
void BindTransformMethods(CircuitClass& cls);
void BindToGate(CircuitClass& cls);
void BindControl(CircuitClass& cls);

}  // namespace velorin::bindings
