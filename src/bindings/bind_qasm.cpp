// qasm2 and the OpenQASM methods of QuantumCircuit.
#include "bindings/circuit_binding.h"
#include "qasm/qasm2.h"

namespace velorin::bindings {

namespace {

using Loader = std::unique_ptr<QuantumCircuit> (qasm2::*)(std::string, std::string, std::string,
                                                          bool);

// load and loads share one argument layout; they differ in the first
// argument's name, the docstring and the reader operation.
template <Loader Load>
void DefLoader(py::class_<qasm2>& cls, const char* name, const char* first, const char* doc) {
  cls.def(
      name,
      [](qasm2& reader, std::string source, std::string include_path,
         std::string include_input_directory, bool strict) {
        return std::shared_ptr<QuantumCircuit>(
            (reader.*Load)(std::move(source), std::move(include_path),
                           std::move(include_input_directory), strict));
      },
      py::arg(first), py::arg("include_path") = "", py::arg("include_input_directory") = "append",
      py::arg("strict") = false, doc);
}

template <Loader Load>
std::shared_ptr<QuantumCircuit> ReadWithNewReader(std::string source) {
  qasm2 reader;
  return std::shared_ptr<QuantumCircuit>((reader.*Load)(std::move(source), "", "append", false));
}

}  // namespace

// The class takes its place in the module here; load and loads are added
// once QuantumCircuit is registered, so that their signatures name it.
void BindQasmReader(py::module_& m) { py::class_<qasm2>(m, "qasm2").def(py::init<>()); }

void BindQasmExport(CircuitClass& cls) {
  cls.def("qasm", &QuantumCircuit::qasm, py::arg("formatted") = false,
          py::arg("filename") = "", py::arg("encoding") = "",
          "Obtains a QASM 2.0 equivalent code for the quantum circuit");
}

void BindQasmImport(CircuitClass& cls) {
  auto reader = py::reinterpret_borrow<py::class_<qasm2>>(py::type::of<qasm2>());
  DefLoader<&qasm2::load>(reader, "load", "filename", "Loads a QASM2 file");
  DefLoader<&qasm2::loads>(reader, "loads", "qasm2string",
                           "Loads QASM2 instructions form a character string");

  cls.def_static("from_qasm_file", &ReadWithNewReader<&qasm2::load>,
                 "Import a QASM source code from a file and create a quantum circuit")
      .def_static("from_qasm_str", &ReadWithNewReader<&qasm2::loads>,
                  "Import a QASM source code from text and create a quantum circuit");
}

}  // namespace velorin::bindings
