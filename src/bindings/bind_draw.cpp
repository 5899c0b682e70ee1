// QuantumCircuit.draw.
#include "bindings/circuit_binding.h"

namespace velorin::bindings {

void BindDraw(CircuitClass& cls) {
  // Every argument is converted as typed; the drawing reads the file name,
  // plot_barriers, idle_wires and fold.
  cls.def(
      "draw",
      [](const QuantumCircuit& circuit, const std::string& /*output*/, double /*scale*/,
         const std::string& filename, const py::dict& /*style*/, bool /*interactive*/,
         bool plot_barriers, bool /*reverse_bits*/, const std::string& /*justify*/,
         const std::string& /*vertical_compression*/, bool idle_wires, bool /*with_layout*/,
         int32_t fold, bool /*initial_state*/, bool /*cregbundle*/,
         const std::vector<int64_t>& /*wire_order*/) {
        circuit.draw(filename, idle_wires, plot_barriers, fold);
      },
      py::arg("output") = "text", py::arg("scale") = 1.0, py::arg("filename") = "",
      py::arg("style") = py::dict(), py::arg("interactive") = false,
      py::arg("plot_barriers") = true, py::arg("reverse_bits") = false,
      py::arg("justify") = "left", py::arg("vertical_compression") = "medium",
      py::arg("idle_wires") = true, py::arg("with_layout") = true, py::arg("fold") = 80,
      py::arg("initial_state") = false, py::arg("cregbundle") = true,
      py::arg("wire_order") = std::vector<int64_t>(), "Draws the quantum circuit");
}

}  // namespace velorin::bindings
