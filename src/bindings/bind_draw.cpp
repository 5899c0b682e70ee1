// QuantumCircuit.draw.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

void BindDraw(CircuitClass&) {}

}  // namespace velorin::bindings
