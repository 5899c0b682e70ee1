// QuantumCircuit methods of the composite gates, bound in blocks that the
// class registration calls at their places in its order.
#pragma once

#include "bindings/circuit_binding.h"

namespace velorin::bindings {

// ccx, ccz, cswap, fredkin, rccx: after the two-qubit methods.
void BindThreeQubitMethods(CircuitClass& cls);
// pauli: after the last measure overload, before depth.
void BindPauli(CircuitClass& cls);
// mcp, mcrx, mcry, mcrz, mct, mcx, ms, gms, rcccx, rc3x: after draw.
void BindMultiControlledMethods(CircuitClass& cls);
// toffoli: after rc3x.
void BindToffoliAlias(CircuitClass& cls);
// c3sqrtx, c3x, c4x: after toffoli.
void BindFourQubitMethods(CircuitClass& cls);

}  // namespace velorin::bindings
