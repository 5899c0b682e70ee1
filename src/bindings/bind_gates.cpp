// Gate and the gate classes, registered from the one class table.
#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "circuit/gate.h"

namespace velorin::bindings {

void BindGates(py::module_& m) {
  py::class_<Gate>(m, "Gate")
      .def_readonly("num_qubits", &Gate::num_qubits)
      .def_readonly("label", &Gate::label)
      .def_readonly("name", &Gate::name)
      .def_readonly("params", &Gate::params)
      .def("c_if", py::overload_cast<const ClassicalRegister&, uint64_t>(&Gate::c_if),
           py::arg("cr"), py::arg("val"), "Implments the IF test")
      .def("c_if", py::overload_cast<uint64_t, uint64_t>(&Gate::c_if), py::arg("clbit"),
           py::arg("val"), "Implments the IF test");

#define VELORIN_GATE_CLASS(Native, PyName) py::class_<Native, Gate>(m, PyName).def(py::init<>());
#include "circuit/gate_classes.def"
#undef VELORIN_GATE_CLASS
}

}  // namespace velorin::bindings
