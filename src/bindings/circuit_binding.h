// Shared pieces of the QuantumCircuit bindings, which several files extend.
#pragma once

#include <memory>

#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "circuit/quantum_circuit.h"

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
