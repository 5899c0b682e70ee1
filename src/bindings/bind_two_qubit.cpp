// The two-qubit gate methods of QuantumCircuit, one overload each.
#include <cstddef>
#include <utility>

#include "bindings/circuit_binding.h"

namespace velorin::bindings {

namespace {

template <std::size_t>
using Angle = double;

template <class G, std::size_t... I>
void BindFamily(CircuitClass& cls, const TwoQubitFamily& family, std::index_sequence<I...>) {
  const TwoQubitFamily* f = &family;
  const bool controlled = f->qubit_names == QubitNames::kControlled;
  cls.def(
      f->method,
      [f](QuantumCircuit& c, Angle<I>... angles, uint64_t first, uint64_t second,
          const std::string& label) {
        return Release<G>(c.TwoQubitGate(*f, {angles...}, first, second, label));
      },
      py::arg(f->param_names[I])..., py::arg(controlled ? "control_qubit" : "qubit1"),
      py::arg(controlled ? "target_qubit" : "qubit2"), py::arg("label") = "", f->doc);
}

template <class G, std::size_t NumAngles>
void BindFamily(CircuitClass& cls, const TwoQubitFamily& family) {
  BindFamily<G>(cls, family, std::make_index_sequence<NumAngles>{});
}

}  // namespace

void BindTwoQubitMethods(CircuitClass& cls) {
#define VELORIN_2Q(method, Native, kind_code, factory, qubits, doc, names) \
  BindFamily<Native, CountNames names>(cls, TwoQubitFamilyNamed(#method));
#include "circuit/two_qubit_families.def"
#undef VELORIN_2Q
}

}  // namespace velorin::bindings
