// append, compose, copies, counts, inverse, reversal, repetition, timings,
// to_gate and control.
#include "bindings/circuit_binding.h"
#include "composite/transform.h"

namespace velorin::bindings {

namespace {

using QC = QuantumCircuit;
using Indices = const std::vector<int64_t>&;
using Shared = std::shared_ptr<QuantumCircuit>;

constexpr const char* kAppendDoc = "Appends a quantum circuit to the current circuit";
constexpr const char* kComposeDoc = "Composes a new quantum circuit from the current circuit";
constexpr const char* kTensorFactorsDoc =
    "Returns the number of tensor factors in the unitary (quantum) part of the circuit.";

// The first argument of append and compose arrives as None only in the
// conversion pass; the operations need an object.
template <class T>
const T& Required(const T* object, const char* method) {
  if (object == nullptr) {
    throw py::type_error(std::string(method) +
                         "(): the first argument must be a QuantumCircuit or a Gate, not None");
  }
  return *object;
}

Shared Owned(CircuitPtr circuit) { return Shared(std::move(circuit)); }

// A new circuit for the interpreter to own; None for no circuit.
template <CircuitPtr (*M)(const QC&)>
Shared NewCircuit(const QC& c) {
  return Owned(M(c));
}

}  // namespace

void BindAppendCompose(CircuitClass& cls) {
  cls.def(
         "append",
         [](QC& c, const QC* qc, std::vector<int64_t> qubits_vector,
            std::vector<int64_t> cbits_vector) {
           return append(c, Required(qc, "append"), qubits_vector, cbits_vector);
         },
         py::arg("qc"), py::arg("qubits_vector"), py::arg("cbits_vector"), kAppendDoc)
      .def(
          "append",
          [](QC& c, const Gate* g, std::vector<int64_t> qubits_vector,
             std::vector<int64_t> cbits_vector) {
            return append(c, Required(g, "append"), qubits_vector, cbits_vector);
          },
          py::arg("g"), py::arg("qubits_vector"), py::arg("cbits_vector"), kAppendDoc)
      .def(
          "compose",
          [](QC& c, const QC* other, std::vector<int64_t> qubits, std::vector<int64_t> clbits,
             bool front, bool inplace, bool) -> QC* {
            return compose(c, Required(other, "compose"), qubits, clbits, front, inplace)
                       ? &c
                       : nullptr;
          },
          py::arg("other"), py::arg("qubits") = std::vector<int64_t>{},
          py::arg("clbits") = std::vector<int64_t>{}, py::arg("front") = false,
          py::arg("inplace") = false, py::arg("wrap") = false, kComposeDoc)
      .def(
          "compose",
          [](QC& c, const Gate* g, std::vector<int64_t> qubits, std::vector<int64_t> clbits,
             bool front, bool inplace, bool) -> QC* {
            return compose(c, Required(g, "compose"), qubits, clbits, front, inplace) ? &c
                                                                                      : nullptr;
          },
          py::arg("g"), py::arg("qubits") = std::vector<int64_t>{},
          py::arg("clbits") = std::vector<int64_t>{}, py::arg("front") = false,
          py::arg("inplace") = false, py::arg("wrap") = false, kComposeDoc);
}

void BindCopyMethods(CircuitClass& cls) {
  cls.def(
         "copy", [](const QC& c, const std::string& name) { return Owned(copy(c, name)); },
         py::arg("name") = "", "Creates a copy of the quantum circuit")
      .def(
          "copy_empty_like",
          [](const QC& c, const std::string& name) { return Owned(copy_empty_like(c, name)); },
          py::arg("name") = "", "Creates a copy of the quantum circuit, excluding the quantum gates")
      .def(
          "count_ops",
          [](const QC& c) {
            py::dict counts;
            for (const auto& [name, count] : count_ops(c)) counts[py::str(name)] = count;
            return counts;
          },
          "Provides a summary of all gate instructions")
      .def("cls_instances", &cls_instances,
           "Obtain the number of instances of the quantum circuit")
      .def("cls_prefix", &cls_prefix,
           "The prefix text used in automatic creation of circuit names");
}

void BindTransformMethods(CircuitClass& cls) {
  cls.def(
         "has_register",
         [](const QC& c, const py::args& args) {
           // The first register argument decides; other objects are skipped.
           for (const py::handle& arg : args) {
             if (py::isinstance<QuantumRegister>(arg)) {
               return has_register(c, arg.cast<const QuantumRegister&>());
             }
             if (py::isinstance<AncillaRegister>(arg)) {
               return has_register(c, arg.cast<const AncillaRegister&>());
             }
             if (py::isinstance<ClassicalRegister>(arg)) {
               return has_register(c, arg.cast<const ClassicalRegister&>());
             }
           }
           return false;
         },
         "Checks whether a given register is in the circuit.")
      .def(
          "inverse", [](const QC& c, bool annotated) { return Owned(inverse(c, annotated)); },
          py::arg("annotated") = false, "Inverts a quantum circuit")
      .def("num_connected_components", &num_connected_components,
           py::arg("unitary_only") = false,
           "Returns the total number of non-entangled subcircuits can the circuit be factored to")
      .def("num_nonlocal_gates", &num_nonlocal_gates,
           "Returns the number of non-local gates (i.e. involving 2+ qubits) including "
           "conditional local gates.")
      .def("num_unitary_factors", &num_unitary_factors, kTensorFactorsDoc)
      .def("num_tensor_factors", &num_tensor_factors, kTensorFactorsDoc)
      .def("qubit_duration", &qubit_duration,
           "Returns the duration between the first start and last stop time of non-delay "
           "instructions for the given qubit in milliseconds")
      .def("qubit_start_time", &qubit_start_time,
           "Returns the start time of the first non-delay instruction of the given qubit in "
           "milliseconds")
      .def("qubit_end_time", &qubit_end_time,
           "Returns the stop time of the last non-delay instruction of the given qubit in "
           "milliseconds")
      .def(
          "remove_final_measurements",
          [](QC& c, bool inplace) { return Owned(remove_final_measurements(c, inplace)); },
          py::arg("inplace") = true,
          "Removes measurements and barriers on all qubits, if there are no gate instructions "
          "following them")
      .def(
          "repeat", [](const QC& c, int32_t reps) { return Owned(repeat(c, reps)); },
          "Returns a new quantum circuit with reps repetitions of this circuit")
      .def("reverse_bits", &NewCircuit<reverse_bits>,
           "Returns a quantum circuit with with reversed bit order")
      .def("reverse_ops", &NewCircuit<reverse_ops>,
           "Returns a quantum circuit with a reversed order of the instructions");
}

void BindToGate(CircuitClass& cls) {
  cls.def(
      "to_gate",
      [](QC& c, const std::vector<double>& param_vector, const std::string& label) {
        return Release<Gate>(to_gate(c, param_vector, label));
      },
      py::arg("param_vector") = std::vector<double>{}, py::arg("label") = "",
      "Return the quantum circuit as a gate, if possible");
}

void BindControl(CircuitClass& cls) {
  cls.def(
      "control",
      [](const QC& c, int32_t num_ctrl_qubits, const std::string& label,
         const std::string& ctrl_state,
         bool) { return Owned(control(c, num_ctrl_qubits, label, ctrl_state)); },
      py::arg("num_ctrl_qubits") = 1, py::arg("label") = "", py::arg("ctrl_state") = "",
      py::arg("annotated") = false, "Returns the quantum circuit a controlled gate");
}

}  // namespace velorin::bindings
