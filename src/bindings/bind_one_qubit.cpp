// The one-qubit gate families of QuantumCircuit, four overloads each.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

namespace {

template <class G>
void BindFixedFamily(CircuitClass& cls, const OneQubitFamily& family) {
  const OneQubitFamily* f = &family;
  cls.def(
         f->method,
         [f](QuantumCircuit& c, uint64_t qubit, const std::string& label) {
           return Release<G>(c.OneQubitGate(*f, {}, qubit, label));
         },
         py::arg("qubit"), py::arg("label") = "", f->doc)
      .def(
          f->method,
          [f](QuantumCircuit& c, const std::vector<int64_t>& qubits, const std::string& label) {
            return Release<G>(c.OneQubitGate(*f, {}, qubits, label));
          },
          py::arg("qubit_vector"), py::arg("label") = "", f->doc)
      .def(
          f->method,
          [f](QuantumCircuit& c, const QuantumRegister& qr, const std::string& label) {
            return Release<G>(c.OneQubitGate(*f, {}, QubitRange::Of(qr), label));
          },
          py::arg("qr"), py::arg("label") = "", f->doc)
      .def(
          f->method,
          [f](QuantumCircuit& c, const AncillaRegister& ar, const std::string& label) {
            return Release<G>(c.OneQubitGate(*f, {}, QubitRange::Of(ar), label));
          },
          py::arg("ar"), py::arg("label") = "", f->doc);
}

}  // namespace

void BindOneQubitMethods(CircuitClass& cls) {
#define VELORIN_FIXED_1Q(method, Native, kind_code, matrix, doc, per_record) \
  BindFixedFamily<Native>(cls, OneQubitFamilyNamed(#method));
#include "circuit/one_qubit_families.def"
#undef VELORIN_FIXED_1Q
}

}  // namespace velorin::bindings
