// barrier, measure_active, measure_all, measure; and reset.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

namespace {

using QC = QuantumCircuit;
using Label = const std::string&;
using Indices = QubitIndexList&;

constexpr const char* kBarrierDoc = "Implements the barrier gate";
constexpr const char* kMeasureDoc =
    "Perform Pauli-Z measurement on qubit and project it to the corresponding classical register";
constexpr const char* kResetDoc = "Resets a qubit or a list of qubits to state |0>?";

}  // namespace

void BindMeasureMethods(CircuitClass& cls) {
  cls.def(
         "barrier", [](QC& c, Label label) { return Release<BarrierGate>(c.barrier(label)); },
         py::arg("label") = "", kBarrierDoc)
      .def(
          "barrier",
          [](QC& c, Indices qubits, Label label) {
            return Release<BarrierGate>(c.barrier(qubits.On(c), label));
          },
          py::arg("qubit_list"), py::arg("label") = "", kBarrierDoc)
      .def(
          "barrier",
          [](QC& c, const QuantumRegister& qr, Label label) {
            return Release<BarrierGate>(c.barrier(QubitRange::Of(qr), label));
          },
          py::arg("qr"), py::arg("label") = "", kBarrierDoc)
      .def(
          "barrier",
          [](QC& c, const AncillaRegister& ar, Label label) {
            return Release<BarrierGate>(c.barrier(QubitRange::Of(ar), label));
          },
          py::arg("ar"), py::arg("label") = "", kBarrierDoc);

  cls.def(
         "measure_active",
         [](QC& c, Label label) { return Release<MeasGate>(c.measure_active(label)); },
         py::arg("label") = "", "Measures all active qubits")
      .def(
          "measure_all",
          [](QC& c, Label label) { return Release<MeasGate>(c.measure_all(label)); },
          py::arg("label") = "", "Measures all qubits");

  cls.def(
         "measure",
         [](QC& c, uint64_t qubit, uint64_t clbit, Label label) {
           return Release<MeasGate>(c.measure(qubit, clbit, label));
         },
         py::arg("qubit"), py::arg("classical_bit"), py::arg("label") = "",
         "Perform Pauli-Z measurement on qubit and project it to the given classical register.")
      .def(
          "measure",
          [](QC& c, uint64_t qubit, Label label) {
            return Release<MeasGate>(c.measure(qubit, label));
          },
          py::arg("qubit"), py::arg("label") = "", kMeasureDoc)
      .def(
          "measure",
          [](QC& c, const QuantumRegister& qr, Label label) {
            return Release<MeasGate>(c.measure(QubitRange::Of(qr), label));
          },
          py::arg("qr"), py::arg("label") = "", kMeasureDoc)
      .def(
          "measure",
          [](QC& c, const QuantumRegister& qr, const ClassicalRegister& cr, Label label) {
            return Release<MeasGate>(c.measure(QubitRange::Of(qr), cr, label));
          },
          py::arg("qr"), py::arg("cr"), py::arg("label") = "", kMeasureDoc)
      .def(
          "measure",
          [](QC& c, const AncillaRegister& ar, Label label) {
            return Release<MeasGate>(c.measure(QubitRange::Of(ar), label));
          },
          py::arg("ar"), py::arg("label") = "", kMeasureDoc)
      .def(
          "measure",
          [](QC& c, const AncillaRegister& ar, const ClassicalRegister& cr, Label label) {
            return Release<MeasGate>(c.measure(QubitRange::Of(ar), cr, label));
          },
          py::arg("ar"), py::arg("cr"), py::arg("label") = "", kMeasureDoc)
      .def(
          "measure",
          [](QC& c, Indices qubits, Label label) {
            return Release<MeasGate>(c.measure(qubits.On(c), label));
          },
          py::arg("qubit_list"), py::arg("label") = "", kMeasureDoc)
      .def(
          "measure",
          [](QC& c, Indices qubits, const std::vector<int64_t>& clbits, Label label) {
            return Release<MeasGate>(c.measure(qubits.Prefix(clbits.size() + 1), clbits, label));
          },
          py::arg("qubit_list"), py::arg("cbit_list"), py::arg("label") = "", kMeasureDoc);
}

// Registered after the counting methods, which sit between measure and reset.
void BindResetMethods(CircuitClass& cls) {
  cls.def(
         "reset",
         [](QC& c, uint64_t qubit, Label label) { return Release<ResetGate>(c.reset(qubit, label)); },
         py::arg("qubit"), py::arg("label") = "", kResetDoc)
      .def(
          "reset",
          [](QC& c, Indices qubits, Label label) {
            // Out-of-range indices are skipped: the register form records the same.
            if (qubits.is_register) {
              return Release<ResetGate>(c.reset(QubitRange{qubits.start, qubits.size}, label));
            }
            return Release<ResetGate>(c.reset(qubits.values, label));
          },
          py::arg("qubit_list"), py::arg("label") = "", kResetDoc)
      .def(
          "reset",
          [](QC& c, const QuantumRegister& qr, Label label) {
            return Release<ResetGate>(c.reset(QubitRange::Of(qr), label));
          },
          py::arg("qr"), py::arg("label") = "", kResetDoc)
      .def(
          "reset",
          [](QC& c, const AncillaRegister& ar, Label label) {
            return Release<ResetGate>(c.reset(QubitRange::Of(ar), label));
          },
          py::arg("ar"), py::arg("label") = "", kResetDoc);
}

}  // namespace velorin::bindings
