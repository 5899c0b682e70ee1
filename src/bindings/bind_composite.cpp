// The composite gate methods of QuantumCircuit: three-qubit gates, Pauli
// strings, multi-controlled gates and the three- and four-controlled X.
#include "bindings/composite_binding.h"
#include "composite/composite_gates.h"

namespace velorin::bindings {

namespace {

using QC = QuantumCircuit;
using Label = const std::string&;
using Indices = const std::vector<int64_t>&;
using Index = uint64_t;

constexpr const char* kCCXDoc = "Implements the controlled-controlled-x gate";
constexpr const char* kCSwapDoc = "Implements the controlled-swap gate";
constexpr const char* kMCXDoc = "Implements the multicontrol X gate";
constexpr const char* kGMSDoc =
    "Implements the MS or the Global M\xc3\xb8lmer\xe2\x80\x93S\xc3\xb8rensen gate";
constexpr const char* kRCCCXDoc = "Implements the triple controlled X rotation gate";

using ThreeQubitMethod = GatePtr (*)(QC&, Index, Index, Index, Label);
using FourQubitMethod = GatePtr (*)(QC&, Index, Index, Index, Index, Label);
using RotationMethod = GatePtr (*)(QC&, double, Indices, Index, bool, Label);
using MCXMethod = GatePtr (*)(QC&, Indices, Index, Indices, Label, Label);
using GMSMethod = GatePtr (*)(QC&, double, Indices, Label);

// Doubly controlled argument names: (control_qubit1, control_qubit2, target_qubit, label).
template <class G, ThreeQubitMethod M>
void BindDoublyControlled(CircuitClass& cls, const char* name, const char* doc) {
  cls.def(
      name,
      [](QC& c, Index a, Index b, Index t, Label label) { return Release<G>(M(c, a, b, t, label)); },
      py::arg("control_qubit1"), py::arg("control_qubit2"), py::arg("target_qubit"),
      py::arg("label") = "", doc);
}

template <class G, FourQubitMethod M>
void BindTriplyControlled(CircuitClass& cls, const char* name, const char* doc) {
  cls.def(
      name,
      [](QC& c, Index c1, Index c2, Index c3, Index t, Label label) {
        return Release<G>(M(c, c1, c2, c3, t, label));
      },
      py::arg("control_qubit1"), py::arg("control_qubit2"), py::arg("control_qubit3"),
      py::arg("target_qubit"), py::arg("label") = "", doc);
}

template <class G, RotationMethod M>
void BindRotation(CircuitClass& cls, const char* name, const char* doc) {
  cls.def(
      name,
      [](QC& c, double lambda, Indices controls, Index target, bool use_basis_gates,
         Label label) { return Release<G>(M(c, lambda, controls, target, use_basis_gates, label)); },
      py::arg("lambda"), py::arg("control_qubits"), py::arg("target_qubit"),
      py::arg("use_basis_gates") = false, py::arg("label") = "", doc);
}

template <MCXMethod M>
void BindMCX(CircuitClass& cls, const char* name) {
  cls.def(
      name,
      [](QC& c, Indices controls, Index target, Indices ancillas, Label mode, Label label) {
        return Release<MCXGate>(M(c, controls, target, ancillas, mode, label));
      },
      py::arg("control_qubits"), py::arg("target_qubit"),
      py::arg("ancilla_qubits") = std::vector<int64_t>{}, py::arg("mode") = "noancilla",
      py::arg("label") = "", kMCXDoc);
}

template <GMSMethod M>
void BindGMS(CircuitClass& cls, const char* name) {
  cls.def(
      name,
      [](QC& c, double theta, Indices qubits, Label label) {
        return Release<GMSGate>(M(c, theta, qubits, label));
      },
      py::arg("theta"), py::arg("qubit_list"), py::arg("label") = "", kGMSDoc);
}

}  // namespace

void BindThreeQubitMethods(CircuitClass& cls) {
  BindDoublyControlled<CCXGate, ccx>(cls, "ccx", kCCXDoc);
  BindDoublyControlled<CCZGate, ccz>(cls, "ccz", "Implements the controlled-controlled-z gate");
  cls.def(
      "cswap",
      [](QC& c, Index control, Index t1, Index t2, Label label) {
        return Release<CSWAPGate>(cswap(c, control, t1, t2, label));
      },
      py::arg("control_qubit"), py::arg("target_qubit1"), py::arg("target_qubit2"),
      py::arg("label") = "", kCSwapDoc);
  BindDoublyControlled<CSWAPGate, fredkin>(cls, "fredkin", kCSwapDoc);
  BindDoublyControlled<RCCXGate, rccx>(cls, "rccx", kCSwapDoc);
}

void BindPauli(CircuitClass& cls) {
  cls.def(
      "pauli",
      [](QC& c, Indices qubits, Label pauli_operator, Label label) {
        return Release<PAULIGate>(pauli(c, qubits, pauli_operator, label));
      },
      py::arg("qubit_list"), py::arg("pauli_operator"), py::arg("label") = "",
      "Performs Pauli operations (I-X-Y-Z) on a list of qubits");
}

void BindMultiControlledMethods(CircuitClass& cls) {
  cls.def(
      "mcp",
      [](QC& c, double lambda, Indices controls, Index target, Label label) {
        return Release<MCPGate>(mcp(c, lambda, controls, target, label));
      },
      py::arg("lambda"), py::arg("control_qubits"), py::arg("target_qubit"),
      py::arg("label") = "", "Implements the multicontrol phase gate");
  BindRotation<MCRXGate, mcrx>(cls, "mcrx", "Implements the multicontrol X rotation");
  BindRotation<MCRYGate, mcry>(cls, "mcry", "Implements the multicontrol Y rotation");
  BindRotation<MCRZGate, mcrz>(cls, "mcrz", "Implements the multicontrol Z rotation");
  BindMCX<mct>(cls, "mct");
  BindMCX<mcx>(cls, "mcx");
  BindGMS<ms>(cls, "ms");
  BindGMS<gms>(cls, "gms");
  BindTriplyControlled<RCCCXGate, rcccx>(cls, "rcccx", kRCCCXDoc);
  BindTriplyControlled<RCCCXGate, rc3x>(cls, "rc3x", kRCCCXDoc);
}

void BindToffoliAlias(CircuitClass& cls) {
  BindDoublyControlled<CCXGate, toffoli>(cls, "toffoli", kCCXDoc);
}

void BindFourQubitMethods(CircuitClass& cls) {
  BindTriplyControlled<C3SQRTX, c3sqrtx>(cls, "c3sqrtx",
                                         "Implements the triple controlled square root of X gate");
  BindTriplyControlled<MCXGate, c3x>(cls, "c3x", "Implements the three controlled X gate");
  cls.def(
      "c4x",
      [](QC& c, Index c1, Index c2, Index c3, Index c4, Index t, Label label) {
        return Release<MCXGate>(velorin::c4x(c, c1, c2, c3, c4, t, label));
      },
      py::arg("control_qubit1"), py::arg("control_qubit2"), py::arg("control_qubit3"),
      py::arg("control_qubit4"), py::arg("target_qubit"), py::arg("label") = "",
      "Implments the four controlled X gate");
}

}  // namespace velorin::bindings
