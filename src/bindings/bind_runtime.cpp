// job_monitor, JobStatus, JobV1, Result and BackendV2.
#include <algorithm>
#include <chrono>
#include <iterator>
#include <string>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

#include <pybind11/complex.h>
#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "bindings/pickling.h"
#include "circuit/errors.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "engine/mps_simulator.h"
#include "runtime/backend.h"
#include "runtime/job.h"
#include "runtime/result.h"

namespace velorin::bindings {

namespace {

void WaitForFinalState(const std::shared_ptr<JobV1>& shared_job, double timeout,
                       double /*unused*/, const py::function& callback) {
  const JobV1& job = *shared_job;
  // The very object the method was called on: its instance is registered.
  const py::object self = py::cast(shared_job);
  const auto start = std::chrono::steady_clock::now();
  // 0, NaN, an infinite or an unrepresentably large timeout wait without limit.
  const bool limited = timeout != 0 && std::isfinite(timeout) && std::fabs(timeout) < 9.2e18;
  const int64_t limit = limited ? static_cast<int64_t>(std::trunc(timeout)) : 0;
  for (;;) {
    const JobStatus status = job.status();
    CallPython(callback, py::make_tuple(job.job_id(), status, self));
    if (IsFinal(status)) return;
    if (limited) {
      const int64_t elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
      if (elapsed > limit) throw RunTimeError(TimeoutMessage(job.job_id(), elapsed));
    }
    PauseInterruptibly(std::chrono::milliseconds(10));
  }
}

// ---- read-outs into interpreter lists ----
//
// Every read-out checks its whole peak against available memory before it
// allocates: the native result, the copy the Result hands over and the
// interpreter objects built from it. Any allocation that still fails, the
// interpreter's included, ends as MemoryError "bad allocation".

constexpr uint64_t kMaxBytes = std::numeric_limits<uint64_t>::max();

uint64_t Mul(uint64_t a, uint64_t b) { return (b != 0 && a > kMaxBytes / b) ? kMaxBytes : a * b; }
uint64_t Add(uint64_t a, uint64_t b) { return a > kMaxBytes - b ? kMaxBytes : a + b; }
uint64_t Entries(uint64_t qubits) { return qubits >= 64 ? kMaxBytes : uint64_t{1} << qubits; }

// Interpreter objects as its allocator rounds them, and a list's item slot.
constexpr uint64_t kSlot = 8;
constexpr uint64_t kFloatObject = 32;
constexpr uint64_t kComplexObject = 32;
constexpr uint64_t kListObject = 64;
// [real, imaginary]: the list, its two slots and floats, its slot outside.
constexpr uint64_t kPairBytes = kListObject + 16 + 2 * kFloatObject + kSlot;
// One native row (vector header and heap block) and its interpreter list.
constexpr uint64_t kRowBytes = 24 + 16 + kListObject + kSlot;
constexpr uint64_t kComplexBytes = sizeof(std::complex<double>);

// The figures below model the peak; an eighth more covers what they leave
// out (allocator headers of the many small objects, the interpreter's own).
void RequireMemory(uint64_t bytes) {
  const uint64_t with_margin = Add(bytes, bytes / 8);
  const uint64_t available = platform::AvailablePhysicalMemory();
  if (with_margin == kMaxBytes || (available != 0 && with_margin > available)) {
    throw MemoryAllocError();
  }
}

// The density matrix: the engine's matrix and the Result's rows exist
// together, then the rows and the interpreter's lists.
uint64_t DensityMatrixBytes(uint64_t qubits) {
  const uint64_t entries = Mul(Entries(qubits), Entries(qubits));
  return Add(Mul(entries, kComplexBytes + kSlot + kComplexObject),
             Mul(Entries(qubits), kRowBytes));
}

// Before the read-outs of an engine of `qubits` qubits: 0 when the Result has
// no engine, which it reports itself.
void RequireStateVectorMemory(uint64_t qubits) {
  if (qubits != 0) RequireMemory(Mul(Entries(qubits), kComplexBytes + kSlot + kComplexObject));
}
void RequireProbabilityMemory(uint64_t qubits) {
  if (qubits != 0) RequireMemory(Mul(Entries(qubits), sizeof(double) + kSlot + kFloatObject));
}
void RequireDensityMatrixMemory(uint64_t qubits) {
  if (qubits != 0) RequireMemory(DensityMatrixBytes(qubits));
}
// data(): every read-out is held at once while the dictionary is built.
void RequireDataMemory(uint64_t qubits) {
  if (qubits == 0 || qubits > 16) return;  // the state vector refuses more itself
  const uint64_t per_entry = kComplexBytes + kPairBytes + sizeof(double) + kSlot +
                             kFloatObject;
  RequireMemory(Add(DensityMatrixBytes(qubits), Mul(Entries(qubits), per_entry)));
}

// A new reference from the interpreter, or the allocation failure.
PyObject* Checked(PyObject* object) {
  if (object == nullptr) {
    PyErr_Clear();
    throw MemoryAllocError();
  }
  return object;
}

py::list NewList(size_t size) {
  return py::reinterpret_steal<py::list>(Checked(PyList_New(static_cast<Py_ssize_t>(size))));
}

PyObject* NewComplex(const std::complex<double>& value) {
  return Checked(PyComplex_FromDoubles(value.real(), value.imag()));
}

// Results whose conversion checks every allocation; their names in
// signatures are those of the plain lists.
struct FloatList {
  std::vector<double> values;
};
struct ComplexList {
  ComplexVector values;
};
struct ComplexRows {
  std::vector<ComplexVector> values;
};

py::list ToList(const std::vector<double>& values) {
  py::list out = NewList(values.size());
  // Zeros share one float: a sparse read-out then costs a list slot per entry.
  py::object zero;
  for (size_t i = 0; i < values.size(); ++i) {
    PyObject* item;
    if (values[i] == 0.0 && !std::signbit(values[i])) {
      if (!zero) zero = py::reinterpret_steal<py::object>(Checked(PyFloat_FromDouble(0.0)));
      item = zero.inc_ref().ptr();
    } else {
      item = Checked(PyFloat_FromDouble(values[i]));
    }
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), item);
  }
  return out;
}

py::list ToList(const ComplexVector& values) {
  py::list out = NewList(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), NewComplex(values[i]));
  }
  return out;
}

py::list ToList(const std::vector<ComplexVector>& rows) {
  py::list out = NewList(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(r), ToList(rows[r]).release().ptr());
  }
  return out;
}

py::list ComplexPairs(const ComplexVector& values) {
  py::list out = NewList(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    py::list pair = NewList(2);
    PyList_SET_ITEM(pair.ptr(), 0, Checked(PyFloat_FromDouble(values[i].real())));
    PyList_SET_ITEM(pair.ptr(), 1, Checked(PyFloat_FromDouble(values[i].imag())));
    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), pair.release().ptr());
  }
  return out;
}

}  // namespace

}  // namespace velorin::bindings

namespace pybind11::detail {

// Results only: nothing converts to them.
template <class Wrapper, class Native>
struct CheckedListCaster {
  static handle cast(const Wrapper& value, return_value_policy, handle) {
    return velorin::bindings::ToList(value.values).release();
  }
  static constexpr auto name = make_caster<Native>::name;
};

template <>
struct type_caster<velorin::bindings::FloatList>
    : CheckedListCaster<velorin::bindings::FloatList, std::vector<double>> {};
template <>
struct type_caster<velorin::bindings::ComplexList>
    : CheckedListCaster<velorin::bindings::ComplexList, velorin::ComplexVector> {};
template <>
struct type_caster<velorin::bindings::ComplexRows>
    : CheckedListCaster<velorin::bindings::ComplexRows, std::vector<velorin::ComplexVector>> {};

}  // namespace pybind11::detail

namespace velorin::bindings {

namespace {

py::dict CountsDict(const Result::Counts& counts) {
  py::dict out;
  for (const auto& [bits, count] : counts.entries) out[py::str(bits)] = count;
  return out;
}

py::dict ToDict(const Result& result) {
  const Result::Summary summary = result.to_dict();
  py::dict out;
  out["backend_name"] = result.backend_name;
  out["backend_version"] = result.backend_version;
  out["date"] = result.date;
  out["header"] = result.header;
  out["qobj_id"] = result.qobj_id;
  out["job_id"] = result.job_id;
  out["status"] = result.status;
  out["success"] = summary.success ? "Success" : "False";
  out["results"] = summary.results;
  return out;
}

py::dict DataDict(const Result& result) {
  if (result.success()) RequireDataMemory(result.engine_qubits());
  const Result::Data data = result.data();
  py::dict out;
  out["counts"] = CountsDict(data.counts);
  if (!data.has_engine) return out;
  out["statevector"] = ComplexPairs(data.statevector);
  out["probabilities"] = ToList(data.probabilities);
  out["amplitudes"] = ComplexPairs(data.amplitudes);
  out["densitymatrix"] = ToList(data.densitymatrix);
  out["creg"] = data.creg;
  return out;
}

template <class T>
T OptionAs(const py::handle& value, const char* error) {
  try {
    return value.cast<T>();
  } catch (const py::cast_error&) {
    throw RunTimeError(error);
  }
}

QuantumCircuit& Required(QuantumCircuit* circuit) {
  if (circuit == nullptr) throw py::type_error("run(): a QuantumCircuit is required, not None");
  return *circuit;
}

// A mistyped keyword would otherwise be dropped without a word.
void WarnUnreadOptions(const py::kwargs& options) {
  static constexpr const char* kRead[] = {"shots", "mode", "quiet", "performance", "file"};
  for (const auto& item : options) {
    const std::string key = py::str(item.first);
    if (std::find(std::begin(kRead), std::end(kRead), key) != std::end(kRead)) continue;
    const std::string text = "run() ignores the keyword '" + key +
                             "'; the keywords it reads are shots, mode, quiet, performance "
                             "and file";
    if (PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 1) != 0) throw py::error_already_set();
  }
}

// The keyword form: options are taken in this order, and each one stored
// before a later one fails keeps its effect.
std::shared_ptr<JobV1> RunWithOptions(BackendV2& backend, QuantumCircuit* circuit_arg,
                                      const py::kwargs& options) {
  QuantumCircuit& circuit = Required(circuit_arg);
  WarnUnreadOptions(options);
  if (options.contains("shots")) {
    circuit.shots = OptionAs<int32_t>(options["shots"],
                                      "Invalid input for \"shots\". Try with an integer > 1.");
  }
  std::string mode;
  if (options.contains("mode")) {
    mode = platform::AsciiUpper(OptionAs<std::string>(
        options["mode"], "Invalid input for \"mode\". Try either \"async\" or \"sync\"."));
  }
  if (options.contains("quiet")) {
    gQuiet = OptionAs<bool>(options["quiet"],
                            "Invalid input for \"quiet\". Try either True or False.");
  }
  uint64_t performance = uint64_t{kAutomatic};
  if (options.contains("performance")) {
    constexpr const char* kBadPerformance =
        "Invalid input for \"mode\". Try one of - \"HighestEfficiency\", \"BalancedAccuracy\", "
        "\"HighestAccuracy\", or , \"Automatic\".";
    if (!ParsePerformanceMode(OptionAs<std::string>(options["performance"], kBadPerformance),
                              performance)) {
      throw RunTimeError(kBadPerformance);
    }
  }
  backend.SetOutputFile(options.contains("file")
                            ? OptionAs<std::string>(options["file"],
                                                    "Invalid input for \"file\". Try with a "
                                                    "file name.")
                            : std::string());
  return backend.RunWithMode(circuit, performance, mode == "SYNC");
}

}  // namespace

void BindModuleFunctions(py::module_& m) {
  m.def(
      "job_monitor",
      [](const JobV1& job, int32_t interval, bool quiet) { job_monitor(job, interval, quiet); },
      py::arg("job").none(false), py::arg("interval") = 0, py::arg("quiet") = false,
      "Installs a monitor for the submitted job");
  BindOptimizerFunction(m);
}

void DeclareClasses(py::module_& m) {
  py::class_<JobV1, std::shared_ptr<JobV1>>(m, "JobV1");
  py::class_<Result, std::shared_ptr<Result>>(m, "Result");
  py::class_<BackendV2, std::shared_ptr<BackendV2>>(m, "BackendV2");
  py::class_<QuantumCircuit, std::shared_ptr<QuantumCircuit>>(m, "QuantumCircuit");
}

void BindJobStatus(py::module_& m) {
  py::enum_<JobStatus>(m, "JobStatus")
      .value("INITIALIZING", JobStatus::INITIALIZING)
      .value("QUEUED", JobStatus::QUEUED)
      .value("VALIDATING", JobStatus::VALIDATING)
      .value("RUNNING", JobStatus::RUNNING)
      .value("CANCELLED", JobStatus::CANCELLED)
      .value("DONE", JobStatus::DONE)
      .value("ERROR", JobStatus::ERROR)
      .export_values();
}

void BindRuntimeClasses(py::module_& m) {
  // Every allocation failure reaches the host as MemoryError with one text,
  // whatever the C++ library calls it.
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
      PyErr_SetString(PyExc_MemoryError, MemoryAllocError().what());
    }
  });
  // A script that ends, or is ended by Ctrl-C, must not wait for running jobs.
  py::module_::import("atexit").attr("register")(py::cpp_function([] { StopAllBackends(); }));

  auto job = Declared<py::class_<JobV1, std::shared_ptr<JobV1>>>(m, "JobV1");
  job.def(py::init([](const std::string& id) { return std::make_shared<JobV1>(id); }))
      .def_readonly("version", &JobV1::version)
      .def_readonly("_async", &JobV1::_async)
      .def("job_id", &JobV1::job_id, "Gets the current Job Id")
      .def("done", &JobV1::done, "Checks whether the job is done or not")
      .def("running", &JobV1::running, "Checks whether the job is running or not")
      .def("cancelled", &JobV1::cancelled, "Checks whether the job is cancelled or not")
      .def("in_final_state", &JobV1::in_final_state,
           "Checks whether the job is in its final state of execution")
      .def("wait_for_final_state", &WaitForFinalState, "Waits for the job's final state")
      .def("submit", &JobV1::submit, "Submit a new task for execution")
      .def("result", &JobV1::result, "Fetches the result of the experiment")
      .def("cancel", &JobV1::cancel, "Cancels the Job Id")
      .def("status", &JobV1::status, "Status of the Job")
      .def("backend", &JobV1::backend, "Fetches the backend object");
  RefuseByteForm(job,
                 "it is tied to its backend's worker thread and queue; pickle its result() "
                 "instead");

  auto result = Declared<py::class_<Result, std::shared_ptr<Result>>>(m, "Result");
  result.def(py::init([] { return std::make_shared<Result>(); }))
      .def_readonly("backend_name", &Result::backend_name)
      .def_readonly("backend_version", &Result::backend_version)
      .def_readonly("qobj_id", &Result::qobj_id)
      .def_readonly("job_id", &Result::job_id)
      .def_property_readonly("success", &Result::success)
      .def_property_readonly("results", &Result::get_memory)
      .def_readonly("date", &Result::date)
      .def_readonly("status", &Result::status)
      .def_readonly("header", &Result::header)
      .def("to_dict", &ToDict, "Obtains a Python dictionary of the results")
      .def(
          "data", [](const Result& r, int32_t) { return DataDict(r); },
          "Obtains the experiment data")
      .def("get_memory", &Result::get_memory, "Gets a dictionar of the current memory variables")
      .def(
          "get_counts", [](const Result& r) { return CountsDict(r.get_counts()); },
          "Gets the count of the experiment")
      .def(
          "get_statevector",
          [](const Result& r, int32_t, int32_t) {
            RequireStateVectorMemory(r.engine_qubits());
            return ComplexList{r.get_statevector()};
          },
          py::arg("experiment") = 0, py::arg("decimals") = 0,
          "Gets the statevector of the referred qubits")
      .def(
          "get_unitary", [](const Result& r, int32_t, int32_t) { return ComplexList{r.get_unitary()}; },
          py::arg("experiment") = 0, py::arg("decimals") = 0, "Gets the unitary of the execution")
      .def(
          "from_dict", [](const Result& r, const py::dict&) { r.from_dict(); },
          "Imports a Python dictionary")
      .def(
          "get_probabilities",
          [](const Result& r, int32_t, int32_t) {
            RequireProbabilityMemory(r.engine_qubits());
            return FloatList{r.get_probabilities()};
          },
          py::arg("experiment") = 0, py::arg("decimals") = 0, "Gets the probabilities")
      .def(
          "get_densitymatrix",
          [](const Result& r, int32_t, int32_t) {
            RequireDensityMatrixMemory(r.engine_qubits());
            return ComplexRows{r.get_densitymatrix()};
          },
          py::arg("experiment") = 0, py::arg("decimals") = 0, "Gets the density matrix")
      .def("get_classicalregister", &Result::get_classicalregister, "Gets the classical register");
  BindByteForm(
      result, [](const Result& r) { return r.Encode(); },
      [](const std::string& bytes) { return Result::Decode(bytes); });

  constexpr const char* kRunDoc = "Executes the quantum circuit using the backend";
  auto backend = Declared<py::class_<BackendV2, std::shared_ptr<BackendV2>>>(m, "BackendV2");
  backend.def(py::init([] { return std::make_shared<BackendV2>(); }))
      .def_readonly("version", &BackendV2::version)
      .def_readonly("dt", &BackendV2::dt)
      .def_readonly("dtm", &BackendV2::dtm)
      .def_readonly("max_circuits", &BackendV2::max_circuits)
      .def_readonly("num_qubits", &BackendV2::num_qubits)
      .def_readonly("name", &BackendV2::name)
      .def_readonly("description", &BackendV2::description)
      .def_readonly("online_date", &BackendV2::online_date)
      .def_readonly("backend_version", &BackendV2::backend_version)
      .def("run", &RunWithOptions, kRunDoc)
      .def(
          "run",
          [](BackendV2& backend, QuantumCircuit* circuit, int32_t shots, bool sync_mode,
             uint64_t performance, bool quiet, const std::string& file) {
            return backend.run(Required(circuit), shots, sync_mode, performance, quiet, file);
          },
          py::arg("run_input"), py::arg("shots") = 1, py::arg("sync_mode") = false,
          py::arg("performance") = 3, py::arg("quiet") = true, py::arg("file") = "", kRunDoc);
  RefuseByteForm(backend, "it owns a worker thread and its job queue");
}

}  // namespace velorin::bindings
