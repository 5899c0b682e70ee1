// Gate-method families: one row per method name, read by the circuit's
// generic recorders and by the bindings, so a new gate is a new row.
#pragma once

#include <string>
#include <vector>

#include "circuit/gate.h"
#include "circuit/gate_kind.h"
#include "circuit/gate_matrices.h"

namespace velorin {

struct OneQubitFamily {
  const char* method;  // interpreter name
  const char* doc;     // docstring, exactly as the interpreter shows it
  GateClass cls;
  GateKind kind;
  Matrix (*matrix)(const std::vector<double>& params);
  // h names its gate after every record instead of once at the end, which
  // shows only on an empty list or register.
  bool names_each_record;
};

// Every one-qubit family, in registration order.
const std::vector<OneQubitFamily>& OneQubitFamilies();

// The family bound under `method`; throws std::out_of_range for an unknown name.
const OneQubitFamily& OneQubitFamilyNamed(const std::string& method);

}  // namespace velorin
