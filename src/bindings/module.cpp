// The module's entry point and body.
#include <Python.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "bindings/bindings.h"
#include "platform/blas.h"
#include "platform/fork.h"
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

// ---- the interpreter lock at exit ----
//
// Once the interpreter finalises, any thread but the finalising one that
// takes the lock is ended by a forced unwind, which aborts or crashes the
// process as soon as it meets a destructor or a catch-all that touches the
// interpreter on its way. So once the interpreter exits, threads of ours
// never take the lock again and stay parked until the process ends. A check
// just before taking the lock is not enough: a thread may already wait for
// the lock when finalisation starts. The exit handler therefore closes a
// gate and lets the threads already past it finish their short stay under
// the lock (a print, an interrupt check) before the interpreter goes on.

std::mutex gGateMutex;  // guards the four below
std::condition_variable gGateIdle;
bool gGateClosed = false;
// Threads past the gate that have not yet given the lock up again (or, after
// a blocking call, not yet got it back).
int gInside = 0;
unsigned long gExitThread = 0;  // the thread that ran the exit handler
unsigned long gMainThread = 0;  // finalises the interpreter if no handler ran
// This thread's share of gInside.
thread_local int tInside = 0;

// Long enough for a print under load; a stay that never ends (output to a
// pipe nobody reads) must not hold the exit forever.
constexpr std::chrono::seconds kExitGrace(10);

bool InterpreterFinalizing() {
#if PY_VERSION_HEX >= 0x030D0000
  return Py_IsFinalizing() != 0;
#else
  return _Py_IsFinalizing() != 0;
#endif
}

[[noreturn]] void Park() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// Passes the gate, or parks the thread for good; a thread `holding` the lock
// gives it up first.
void EnterGate(bool holding) {
  {
    std::lock_guard<std::mutex> lock(gGateMutex);
    const unsigned long self = PyThread_get_thread_ident();
    const bool stop = gGateClosed ? self != gExitThread
                                  : self != gMainThread && InterpreterFinalizing();
    if (!stop) {
      ++gInside;
      ++tInside;
      return;
    }
  }
  if (holding) PyEval_SaveThread();
  Park();
}

void LeaveGate() {
  std::lock_guard<std::mutex> lock(gGateMutex);
  --tInside;
  if (--gInside == 0) gGateIdle.notify_all();
}

// A fork copies only its own thread: the child's count is that thread's
// share, and an exit there waits for no thread of the parent.
void LockGateForFork() { gGateMutex.lock(); }
void UnlockGateInParent() { gGateMutex.unlock(); }
void UnlockGateInChild() {
  gInside = tInside;
  gGateMutex.unlock();
}

// The exit handler, on the exiting thread, holding the lock.
void CloseGate() {
  std::unique_lock<std::mutex> lock(gGateMutex);
  gExitThread = PyThread_get_thread_ident();
  gGateClosed = true;
  if (gInside == 0) return;
  lock.unlock();
  PyThreadState* state = PyEval_SaveThread();
  lock.lock();
  gGateIdle.wait_for(lock, kExitGrace, [] { return gInside == 0; });
  lock.unlock();
  PyEval_RestoreThread(state);
}

// The interpreter's functions throw nothing: what comes out of one is the
// forced unwind that ends a thread taking the lock during finalisation. The
// thread is parked in the first frame of ours instead, before any destructor
// of ours runs without the lock. For the lock-taking paths of this file this
// is a last resort (no exit handler ran, or the grace ran out); for a call
// into the interpreter's code, which gives the lock up and takes it back on
// its own, it is the way out.
void RestoreThread(PyThreadState* state) {
  try {
    PyEval_RestoreThread(state);
  } catch (...) {
    Park();
  }
}

// Takes the lock back after a blocking call, or parks.
void Reacquire(PyThreadState* state) {
  EnterGate(false);
  RestoreThread(state);
  LeaveGate();
}

// The lock this thread gave up in a blocking call, while it is given up.
thread_local PyThreadState* tReleased = nullptr;

// Runs `work` holding the interpreter lock, also from inside a blocking call.
// The lock is held until `work` ends: `work` is short, so that an exit may
// wait for it, and calls into the interpreter through CallPython.
template <class Work>
auto WithInterpreter(Work&& work) -> decltype(work()) {
  PyThreadState* released = tReleased;
  const bool holding = released == nullptr && PyGILState_Check();
  EnterGate(holding);
  struct Leave {
    ~Leave() { LeaveGate(); }
  } leave;
  if (holding) return work();
  if (released == nullptr) {
    // A thread the interpreter does not know.
    PyGILState_STATE state{};
    try {
      state = PyGILState_Ensure();
    } catch (...) {
      Park();
    }
    struct Release {
      PyGILState_STATE state;
      ~Release() { PyGILState_Release(state); }
    } release{state};
    return work();
  }
  tReleased = nullptr;
  RestoreThread(released);
  struct GiveBack {
    ~GiveBack() { tReleased = PyEval_SaveThread(); }
  } give_back;
  return work();
}

// Printing, blocking waits and Ctrl-C go through the interpreter.
void InstallHostHooks() {
  platform::HostHooks hooks;
  hooks.print = [](const std::string& text, const std::string& end) {
    WithInterpreter([&] {
      // No standard output (pythonw, or set to None): nothing to print to.
      PyObject* out = PySys_GetObject("stdout");
      if (out == nullptr || out == Py_None) return;
      const py::object write = py::reinterpret_borrow<py::object>(out).attr("write");
      CallPython(write, py::make_tuple(text));
      CallPython(write, py::make_tuple(end));
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
  gMainThread = py::module_::import("threading")
                    .attr("main_thread")()
                    .attr("ident")
                    .cast<unsigned long>();
  py::module_::import("atexit").attr("register")(py::cpp_function(CloseGate));
  platform::AtFork(LockGateForFork, UnlockGateInParent, UnlockGateInChild);
}

// BLAS and LAPACK from the package scipy-openblas32, wherever this interpreter
// finds it; never from a folder the build saw, which is gone by now and may
// be anyone's. Without it no split is trusted: the import fails.
void LoadBlasFromPackage() {
  const std::string install =
      "VelorinLib needs the Python package scipy-openblas32 (pip install scipy-openblas32): ";
  std::string failure;
  try {
    // The package loads its library when imported: inside LoadBlas, whose
    // environment sets the library's pool.
    failure = platform::LoadBlas([] {
      py::module_ package = py::module_::import("scipy_openblas32");
      const std::string folder = py::str(package.attr("get_lib_dir")());
      const std::string name = py::str(package.attr("get_library")(py::arg("fullname") = true));
      return folder + "/" + name;
    });
  } catch (py::error_already_set& e) {
    throw py::import_error(install + e.what());
  }
  if (!failure.empty()) throw py::import_error(install + failure);
}

void InitModuleBindings(py::module_& m) {
  // A thread's first exception and first blocking call set up its storage
  // for them, which cannot be done once memory has run out: the process would
  // abort where a MemoryError was due. The importing thread does it now.
  static_cast<void>(std::uncaught_exceptions());
  tReleased = nullptr;
  tInside = 0;
  // Opened at import, while no thread of ours runs: loading sets an
  // environment variable for a moment, and a first run should not pay for it.
  LoadBlasFromPackage();
  InstallHostHooks();
  DeclareClasses(m);
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

py::object CallPython(py::handle callable, py::handle args, py::handle kwargs) {
  PyObject* result = nullptr;
  try {
    result = PyObject_Call(callable.ptr(), args.ptr(), kwargs.ptr());
  } catch (...) {
    Park();  // see RestoreThread
  }
  if (result == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(result);
}

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
