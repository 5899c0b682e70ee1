// Gate-method families: one row per method name, read by the circuit's
// generic recorders and by the bindings, so a new gate is a new row.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "circuit/gate.h"
#include "circuit/gate_kind.h"
#include "circuit/gate_matrices.h"

namespace velorin {

// Builds a family's matrix from its angles (exactly param_names.size() of them).
using MatrixFactory = Matrix (*)(const std::vector<double>& params);

struct OneQubitFamily {
  const char* method;  // interpreter name
  const char* doc;     // docstring, exactly as the interpreter shows it
  GateClass cls;
  GateKind kind;
  MatrixFactory matrix;
  // h names its gate after every record instead of once at the end, which
  // shows only on an empty list or register.
  bool names_each_record;
  std::vector<const char*> param_names;  // argument names of the angles, in order
};

// Argument names of a two-qubit method's qubits.
enum class QubitNames {
  kControlled,  // control_qubit, target_qubit
  kPair,        // qubit1, qubit2
};

struct TwoQubitFamily {
  const char* method;  // interpreter name
  const char* doc;     // docstring; null for a recorder that no method exposes
  GateClass cls;
  GateKind kind;
  MatrixFactory matrix;
  QubitNames qubit_names;
  std::vector<const char*> param_names;
};

// Every one-qubit family, in registration order.
const std::vector<OneQubitFamily>& OneQubitFamilies();
// Every two-qubit family, in registration order; the recorder-only controlled
// T ("ct", made only by controlling a circuit) comes last.
const std::vector<TwoQubitFamily>& TwoQubitFamilies();

// The family bound under `method`; throw std::out_of_range for an unknown name.
const OneQubitFamily& OneQubitFamilyNamed(const std::string& method);
const TwoQubitFamily& TwoQubitFamilyNamed(const std::string& method);

// Number of names in a parenthesised .def column, usable as a constant.
template <class... Names>
constexpr std::size_t CountNames(Names...) {
  return sizeof...(Names);
}

}  // namespace velorin
