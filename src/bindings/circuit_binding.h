// Shared pieces of the QuantumCircuit bindings, which several files extend.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "circuit/quantum_circuit.h"

namespace velorin::bindings {

// Qubit indices given as a list. A register passed by position is such a
// list too (its indices start, start + 1, ...); it is kept as its range, so
// that a register of 2^31 qubits is not expanded index by index before the
// circuit can refuse it.
struct QubitIndexList {
  std::vector<int64_t> values;
  bool is_register = false;
  int32_t start = 0;
  int32_t size = 0;

  // The list as the list form meets it on `circuit`: a register's indices up
  // to and including the first one the circuit refuses. The list forms stop
  // at that index (or throw there), so the rest can change nothing.
  const std::vector<int64_t>& On(const QuantumCircuit& circuit) {
    return Expand([&](int64_t index) {
      return index < 0 || static_cast<uint64_t>(index) >= circuit.total_qubits;
    });
  }
  // At most the first `count` indices: enough to compare lengths with a list
  // of count - 1 entries.
  const std::vector<int64_t>& Prefix(size_t count) {
    return Expand([&](int64_t) { return values.size() >= count; });
  }

 private:
  template <class Last>
  const std::vector<int64_t>& Expand(const Last& is_last) {
    if (!is_register) return values;
    values.clear();
    for (int32_t i = 0; i < size; ++i) {
      const int64_t index = WrappingAdd(start, i);
      values.push_back(index);
      if (is_last(index)) break;
    }
    is_register = false;
    return values;
  }
};

}  // namespace velorin::bindings

namespace pybind11::detail {

template <>
struct type_caster<velorin::bindings::QubitIndexList> {
  using Indices = std::vector<int64_t>;
  PYBIND11_TYPE_CASTER(velorin::bindings::QubitIndexList, make_caster<Indices>::name);

  bool load(handle src, bool convert) {
    if (LoadRange<velorin::QuantumRegister>(src) || LoadRange<velorin::AncillaRegister>(src) ||
        LoadRange<velorin::ClassicalRegister>(src)) {
      return true;
    }
    make_caster<Indices> list;
    if (!list.load(src, convert)) return false;
    value.values = cast_op<Indices&&>(std::move(list));
    return true;
  }

 private:
  // A register of negative size is left to the sequence protocol, which
  // refuses its length.
  template <class Register>
  bool LoadRange(handle src) {
    if (!isinstance<Register>(src)) return false;
    const Register& reg = src.cast<const Register&>();
    if (reg.size() < 0) return false;
    value.is_register = true;
    value.start = reg.start();
    value.size = reg.size();
    return true;
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
