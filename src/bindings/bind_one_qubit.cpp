// The one-qubit gate families of QuantumCircuit, four overloads each, and delay.
#include <cstddef>
#include <utility>

#include "bindings/circuit_binding.h"

namespace velorin::bindings {

namespace {

using QC = QuantumCircuit;
using Label = const std::string&;
using Indices = QubitIndexList&;

template <std::size_t>
using Angle = double;

// The family's angles (one per name of its row) come first in every overload.
template <class G, std::size_t... I>
void BindFamily(CircuitClass& cls, const OneQubitFamily& family, std::index_sequence<I...>) {
  const OneQubitFamily* f = &family;
  cls.def(
         f->method,
         [f](QC& c, Angle<I>... angles, uint64_t qubit, Label label) {
           return Release<G>(c.OneQubitGate(*f, {angles...}, qubit, label));
         },
         py::arg(f->param_names[I])..., py::arg("qubit"), py::arg("label") = "", f->doc)
      .def(
          f->method,
          [f](QC& c, Angle<I>... angles, Indices qubits, Label label) {
            return Release<G>(c.OneQubitGate(*f, {angles...}, qubits.On(c), label));
          },
          py::arg(f->param_names[I])..., py::arg("qubit_vector"), py::arg("label") = "", f->doc)
      .def(
          f->method,
          [f](QC& c, Angle<I>... angles, const QuantumRegister& qr, Label label) {
            return Release<G>(c.OneQubitGate(*f, {angles...}, QubitRange::Of(qr), label));
          },
          py::arg(f->param_names[I])..., py::arg("qr"), py::arg("label") = "", f->doc)
      .def(
          f->method,
          [f](QC& c, Angle<I>... angles, const AncillaRegister& ar, Label label) {
            return Release<G>(c.OneQubitGate(*f, {angles...}, QubitRange::Of(ar), label));
          },
          py::arg(f->param_names[I])..., py::arg("ar"), py::arg("label") = "", f->doc);
}

template <class G, std::size_t NumAngles>
void BindFamily(CircuitClass& cls, const OneQubitFamily& family) {
  BindFamily<G>(cls, family, std::make_index_sequence<NumAngles>{});
}

void BindDelay(CircuitClass& cls) {
  constexpr const char* kDelayDoc = "Adds a delay to the execution for the given qubit";
  cls.def(
         "delay",
         [](QC& c, int32_t duration, uint64_t qubit, const std::string& unit, Label label) {
           return Release<DelayGate>(c.delay(duration, qubit, unit, label));
         },
         py::arg("duration"), py::arg("qubit"), py::arg("unit") = "dt", py::arg("label") = "",
         kDelayDoc)
      .def(
          "delay",
          [](QC& c, int32_t duration, Indices qubits, const std::string& unit, Label label) {
            return Release<DelayGate>(c.delay(duration, qubits.On(c), unit, label));
          },
          py::arg("duration"), py::arg("qubit_vector"), py::arg("unit") = "dt",
          py::arg("label") = "", kDelayDoc)
      .def(
          "delay",
          [](QC& c, int32_t duration, const QuantumRegister& qr, const std::string& unit,
             Label label) {
            return Release<DelayGate>(c.delay(duration, QubitRange::Of(qr), unit, label));
          },
          py::arg("duration"), py::arg("qr"), py::arg("unit") = "dt", py::arg("label") = "",
          kDelayDoc)
      .def(
          "delay",
          [](QC& c, int32_t duration, const AncillaRegister& ar, const std::string& unit,
             Label label) {
            return Release<DelayGate>(c.delay(duration, QubitRange::Of(ar), unit, label));
          },
          py::arg("duration"), py::arg("ar"), py::arg("unit") = "dt", py::arg("label") = "",
          kDelayDoc);
}

}  // namespace

void BindOneQubitMethods(CircuitClass& cls) {
#define VELORIN_FIXED_1Q(method, Native, kind_code, matrix, doc, per_record) \
  BindFamily<Native, 0>(cls, OneQubitFamilyNamed(#method));
#include "circuit/one_qubit_families.def"
#undef VELORIN_FIXED_1Q
#define VELORIN_PARAM_1Q(method, Native, kind_code, factory, doc, names) \
  BindFamily<Native, CountNames names>(cls, OneQubitFamilyNamed(#method));
#include "circuit/one_qubit_param_families.def"
#undef VELORIN_PARAM_1Q
  BindDelay(cls);
}

}  // namespace velorin::bindings
