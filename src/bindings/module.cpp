// The module's entry point and body.
#include <Python.h>

#include <cstring>
#include <exception>

#include "bindings/bindings.h"
#include "platform/host.h"

namespace velorin::bindings {

namespace {

#define VELORIN_STR2(x) #x
#define VELORIN_STR(x) VELORIN_STR2(x)
constexpr const char* kCompiledFor = VELORIN_STR(PY_MAJOR_VERSION) "." VELORIN_STR(PY_MINOR_VERSION);

// "3.11" matches "3.11.7 (main, ...)" and "3.11", not "3.110" or "3.1".
bool VersionMatches(const char* running) {
  const size_t n = std::strlen(kCompiledFor);
  if (std::strncmp(running, kCompiledFor, n) != 0) return false;
  return !(running[n] >= '0' && running[n] <= '9');
}

// Printing, blocking waits and Ctrl-C go through the interpreter.
void InstallHostHooks() {
  platform::HostHooks hooks;
  hooks.print = [](const std::string& text, const std::string& end) {
    py::print(text, py::arg("end") = end);
  };
  hooks.blocking = [](const std::function<void()>& wait) {
    if (PyGILState_Check()) {
      py::gil_scoped_release release;
      wait();
    } else {
      wait();
    }
  };
  hooks.check_interrupts = [] {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  };
  platform::SetHostHooks(std::move(hooks));
}

void InitModuleBindings(py::module_& m) {
  InstallHostHooks();
  BindModuleFunctions(m);
  BindJobStatus(m);
  BindRegisters(m);
  BindRuntimeClasses(m);
  BindProvider(m);
  BindQasmReader(m);
  BindGates(m);
  BindQuantumCircuit(m);
  m.attr("__version__") = "0.3.1";
  m.attr("__credits__") =
      "VelorinLib: a matrix-product-state quantum circuit simulator, by the VelorinLib developers";
  m.attr("__author__") = "VelorinLib developers";
}

}  // namespace

}  // namespace velorin::bindings

extern "C" PYBIND11_EXPORT PyObject* PyInit_VelorinLib() {
  namespace vb = velorin::bindings;
  const char* running = Py_GetVersion();
  if (!vb::VersionMatches(running)) {
    PyErr_Format(PyExc_ImportError,
                 "Python version mismatch: module was compiled for Python %s, but the "
                 "interpreter version is incompatible: %s.",
                 vb::kCompiledFor, running);
    return nullptr;
  }
  pybind11::detail::get_internals();
  static PyModuleDef definition{};
  auto m = pybind11::module_::create_extension_module("VelorinLib", nullptr, &definition);
  try {
    vb::InitModuleBindings(m);
    return m.ptr();
  } catch (pybind11::error_already_set& e) {
    pybind11::raise_from(e, PyExc_ImportError, "initialization failed");
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_ImportError, e.what());
  }
  return nullptr;
}
