// QuantumCircuit: the class, its constructors, attributes and properties; the
// method families are added in registration order by their own files.
#include <stdexcept>

#include "bindings/circuit_binding.h"
#include "bindings/composite_binding.h"
#include "bindings/pickling.h"
#include "circuit/serialize.h"

namespace velorin::bindings {

namespace {

std::vector<RegisterArg> ToRegisterArgs(const py::args& args) {
  std::vector<RegisterArg> registers;
  registers.reserve(args.size());
  for (const py::handle& arg : args) {
    if (py::isinstance<QuantumRegister>(arg)) {
      registers.emplace_back(&arg.cast<QuantumRegister&>());
    } else if (py::isinstance<AncillaRegister>(arg)) {
      registers.emplace_back(&arg.cast<AncillaRegister&>());
    } else if (py::isinstance<ClassicalRegister>(arg)) {
      registers.emplace_back(&arg.cast<ClassicalRegister&>());
    } else {
      throw std::invalid_argument("Invalid argument passed to constructor.");
    }
  }
  return registers;
}

}  // namespace

void BindCircuitConstructors(CircuitClass& cls) {
  // metadata is accepted and not read.
  cls.def(py::init([](uint64_t num_qubits, uint64_t num_cbits, const std::string& name,
                      double global_phase, const py::dict&) {
            return std::make_shared<QuantumCircuit>(num_qubits, num_cbits, name, global_phase);
          }),
          py::arg("num_qubits"), py::arg("num_cbits"), py::arg("name") = "",
          py::arg("global_phase") = 0.0, py::arg("metadata") = py::dict())
      .def(py::init([](uint64_t num_qubits, const std::string& name, double global_phase,
                       const py::dict&) {
             return std::make_shared<QuantumCircuit>(num_qubits, name, global_phase);
           }),
           py::arg("num_qubits"), py::arg("name") = "", py::arg("global_phase") = 0.0,
           py::arg("metadata") = py::dict())
      .def(py::init([](const py::args& args, const std::string& name, double global_phase,
                       const py::dict&) {
             return std::make_shared<QuantumCircuit>(ToRegisterArgs(args), name, global_phase);
           }),
           py::arg("name") = "", py::arg("global_phase") = 0.0,
           py::arg("metadata") = py::dict());

  cls.def_readonly("num_qubits", &QuantumCircuit::num_qubits)
      .def_readonly("num_ancillas", &QuantumCircuit::num_ancillas)
      .def_readonly("num_clbits", &QuantumCircuit::num_clbits)
      .def_readonly("header", &QuantumCircuit::header)
      .def_readonly("instances", &QuantumCircuit::instances)
      .def_readonly("global_phase", &QuantumCircuit::global_phase)
      .def_readonly("prefix", &QuantumCircuit::prefix);

  cls.def_property_readonly("op_start_times", &QuantumCircuit::op_start_times)
      .def_property_readonly("ancillas", &QuantumCircuit::ancillas)
      .def_property_readonly("clbits", &QuantumCircuit::clbits)
      .def_property_readonly("qubits", &QuantumCircuit::qubits)
      .def_property_readonly("layout", [](const QuantumCircuit&) {})
      .def_property_readonly("num_parameters", [](const QuantumCircuit&) { return 0; })
      .def_property_readonly("calibrations", [](const QuantumCircuit&) { return py::dict(); });
}

void BindQuantumCircuit(py::module_& m) {
  auto cls = Declared<CircuitClass>(m, "QuantumCircuit");
  BindCircuitConstructors(cls);
  BindOneQubitMethods(cls);
  BindTwoQubitMethods(cls);
  BindThreeQubitMethods(cls);
  BindMeasureMethods(cls);
  BindPauli(cls);
  BindCountingMethods(cls);
  BindResetMethods(cls);
  BindQasmExport(cls);
  BindDraw(cls);
  BindMultiControlledMethods(cls);
  BindToffoliAlias(cls);
  BindFourQubitMethods(cls);
  BindAppendCompose(cls);
  BindCopyMethods(cls);
  BindQasmImport(cls);
  BindTransformMethods(cls);
  BindToGate(cls);
  BindControl(cls);
  BindByteForm(
      cls, [](const QuantumCircuit& qc) { return EncodeCircuit(qc); },
      [](const std::string& bytes) {
        return std::shared_ptr<QuantumCircuit>(DecodeCircuit(bytes));
      });
}

}  // namespace velorin::bindings
