// append, compose, copies, counts, inverse, reversal, repetition, timings,
// to_gate and control.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

void BindAppendCompose(CircuitClass&) {}
void BindCopyMethods(CircuitClass&) {}
void BindTransformMethods(CircuitClass&) {}
void BindToGate(CircuitClass&) {}
void BindControl(CircuitClass&) {}

}  // namespace velorin::bindings
