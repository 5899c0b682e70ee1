// The module's entry point and body.
#include <Python.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>
#include <type_traits>

#include "bindings/bindings.h"
#include "platform/blas.h"
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

// Set by the interpreter's exit handlers, on the thread that runs them.
std::atomic<bool> gExiting{false};
std::thread::id gExitThread;

// The lock this thread gave up in a blocking call, while it is given up.
thread_local PyThreadState* tReleased = nullptr;

// Takes the interpreter lock back. Once the interpreter exits, any thread
// but the exiting one stays parked here until the process ends: taking the
// lock would end the thread by a forced unwind, which aborts the process
// when it meets a destructor or a catch-all on its way.
void Reacquire(PyThreadState* state) {
  if (gExiting.load(std::memory_order_acquire) && std::this_thread::get_id() != gExitThread) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  PyEval_RestoreThread(state);
}

// Runs `work` holding the interpreter lock, also from inside a blocking call.
// Never through a destructor: see Reacquire.
template <class Work>
auto WithInterpreter(Work&& work) -> decltype(work()) {
  PyThreadState* released = tReleased;
  if (released == nullptr) {
    if (PyGILState_Check()) return work();
    // A thread the interpreter does not know.
    const PyGILState_STATE state = PyGILState_Ensure();
    try {
      if constexpr (std::is_void_v<decltype(work())>) {
        work();
        PyGILState_Release(state);
      } else {
        auto value = work();
        PyGILState_Release(state);
        return value;
      }
    } catch (...) {
      PyGILState_Release(state);
      throw;
    }
  }
  tReleased = nullptr;
  Reacquire(released);
  try {
    if constexpr (std::is_void_v<decltype(work())>) {
      work();
      tReleased = PyEval_SaveThread();
    } else {
      auto value = work();
      tReleased = PyEval_SaveThread();
      return value;
    }
  } catch (...) {
    tReleased = PyEval_SaveThread();
    throw;
  }
}

// Printing, blocking waits and Ctrl-C go through the interpreter.
void InstallHostHooks() {
  platform::HostHooks hooks;
  hooks.print = [](const std::string& text, const std::string& end) {
    WithInterpreter([&] {
      // No standard output (pythonw, or set to None): nothing to print to.
      const py::object out = py::module_::import("sys").attr("stdout");
      if (out.is_none()) return;
      py::print(text, py::arg("end") = end, py::arg("file") = out);
    });
  };
  hooks.blocking = [](const std::function<void()>& wait) {
    if (tReleased != nullptr || !PyGILState_Check()) {
      wait();
      return;
    }
    PyThreadState* state = PyEval_SaveThread();
    tReleased = state;
    try {
      wait();
    } catch (...) {
      tReleased = nullptr;
      Reacquire(state);
      throw;
    }
    tReleased = nullptr;
    Reacquire(state);
  };
  hooks.check_interrupts = [] {
    WithInterpreter([] {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
  };
  hooks.interrupt_pending = [] {
    return WithInterpreter([] {
      // An error already being raised is kept as it is.
      if (PyErr_Occurred() != nullptr) return false;
      if (PyErr_CheckSignals() == 0) return false;
      PyErr_Clear();
      PyErr_SetInterrupt();  // raised again at the host's next step
      return true;
    });
  };
  platform::SetHostHooks(std::move(hooks));
  // Waiting threads must not take the lock back once the interpreter exits.
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    gExitThread = std::this_thread::get_id();
    gExiting.store(true, std::memory_order_release);
  }));
}

void InitModuleBindings(py::module_& m) {
  InstallHostHooks();
  // Opened at import, while no thread of ours runs: loading sets an
  // environment variable for a moment, and a first run should not pay for it.
  platform::Blas();
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
