// OptimizeQuantumCircuit and VelorinProvider.
#include "bindings/bindings.h"

namespace velorin::bindings {

void BindOptimizerFunction(py::module_&) {}
void BindProvider(py::module_&) {}

}  // namespace velorin::bindings
