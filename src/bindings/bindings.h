// Registration steps of the module body, each in its own file.
#pragma once

#include <memory>

#include <pybind11/pybind11.h>

namespace velorin::bindings {

namespace py = pybind11;

// Creates the classes that signatures name before anything names them, so
// every signature shows the Python class rather than the C++ type.
void DeclareClasses(py::module_& m);
// A class DeclareClasses created, for its registration step to fill. It moves
// to the end of the module's namespace, where the step would have put it, so
// the module lists its classes in registration order.
template <class Class>
Class Declared(py::module_& m, const char* name) {
  auto cls = py::reinterpret_borrow<Class>(m.attr(name));
  py::delattr(m, name);
  m.attr(name) = cls;
  return cls;
}

void BindModuleFunctions(py::module_& m);
void BindJobStatus(py::module_& m);
void BindRegisters(py::module_& m);
void BindRuntimeClasses(py::module_& m);
void BindOptimizerFunction(py::module_& m);
void BindProvider(py::module_& m);
void BindQasmReader(py::module_& m);
void BindGates(py::module_& m);
void BindQuantumCircuit(py::module_& m);

// Calls into the interpreter from a thread that waits or computes while the
// interpreter may exit: a thread the exit ends inside the call stays parked
// in it, and none of the caller's destructors runs without the lock.
py::object CallPython(py::handle callable, py::handle args, py::handle kwargs = py::handle());

// Hands a new gate to the interpreter as its own class, which then owns it.
template <class G, class Base>
G* Release(std::unique_ptr<Base> gate) {
  return static_cast<G*>(gate.release());
}

}  // namespace velorin::bindings
