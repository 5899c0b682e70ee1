// depth, width, clear and size.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

void BindCountingMethods(CircuitClass& cls) {
  cls.def("depth", &QuantumCircuit::depth, "Obtains the depth of the circuit")
      .def("width", &QuantumCircuit::width, "Obtains the width of the circuit")
      .def("clear", &QuantumCircuit::clear, "Deletes all quantum gates added to the circuit")
      .def("size", &QuantumCircuit::size,
           "Returns to the total number of gate operations in the circuit, excepting for "
           "barrier gates");
}

}  // namespace velorin::bindings
