// OptimizeQuantumCircuit and VelorinProvider.
#include <pybind11/stl.h>

#include <cstring>
#include <string>

#include "bindings/bindings.h"
#include "bindings/pickling.h"
#include "circuit/quantum_circuit.h"
#include "engine/circuit_optimizer.h"
#include "runtime/backend.h"
#include "runtime/provider.h"

namespace velorin::bindings {

namespace {

// The settings file holds whatever bytes were put there: what is not UTF-8
// reads as U+FFFD instead of failing the whole call.
py::str Text(const std::string& bytes) {
  PyObject* text =
      PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "replace");
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

py::dict AccountDict(const std::pair<std::string, std::string>& account) {
  py::dict out;
  out["name"] = Text(account.first);
  out["token"] = Text(account.second);
  return out;
}

py::dict AccountsDict(const VelorinProvider::Accounts& accounts) {
  py::dict out;
  for (const auto& [name, token] : accounts) out[Text(name)] = Text(token);
  return out;
}

// Items whose arguments may hold a token: every item of the class, since a
// token can be handed to the wrong one too.
constexpr const char* kProviderItems[] = {"__init__",       "backends",     "get_backend",
                                          "active_account", "delete_account", "save_account",
                                          "saved_accounts"};

std::string TypeName(py::handle value) { return Py_TYPE(value.ptr())->tp_name; }

// "str, dict; kwargs: token=str": what the call was given, without values.
std::string ArgumentTypes(const py::args& args, const py::kwargs& kwargs, size_t skip) {
  std::string text;
  for (size_t i = skip; i < args.size(); ++i) {
    if (i > skip) text += ", ";
    text += TypeName(args[i]);
  }
  if (kwargs.empty()) return text;
  text += text.empty() ? "kwargs: " : "; kwargs: ";
  bool first = true;
  for (const auto& [key, value] : kwargs) {
    if (!first) text += ", ";
    first = false;
    text += py::str(key).cast<std::string>() + "=" + TypeName(value);
  }
  return text;
}

// The interpreter's error for arguments that fit no form ends by echoing
// every argument's value, a token included. The item is put behind a
// forwarder that keeps its docstring and its error but names the types of
// the arguments instead.
void HideArgumentValues(py::class_<VelorinProvider>& provider, const char* item) {
  py::object inner = provider.attr(item);
  const std::string doc = py::str(inner.attr("__doc__"));
  // The constructor's error leaves out self; so does ours.
  const size_t skip = std::strcmp(item, "__init__") == 0 ? 1 : 0;
  py::options options;
  options.disable_function_signatures();  // the inner docstring already holds them
  provider.attr(item) = py::cpp_function(
      [inner = std::move(inner), skip](const py::args& args, const py::kwargs& kwargs) {
        try {
          return inner(*args, **kwargs);
        } catch (py::error_already_set& error) {
          if (!error.matches(PyExc_TypeError)) throw;
          std::string message = py::str(error.value());
          const size_t echo = message.find("\nInvoked with: ");
          if (echo == std::string::npos) throw;
          message.resize(echo);
          throw py::type_error(message + "\nInvoked with types: " +
                               ArgumentTypes(args, kwargs, skip));
        }
      },
      py::name(item), py::is_method(provider), doc.c_str());
}

}  // namespace

void BindOptimizerFunction(py::module_& m) {
  m.def(
      "OptimizeQuantumCircuit",
      [](QuantumCircuit& circuit) { return OptimizeQuantumCircuit(circuit); },
      py::arg("QuantumCircuit").none(false), "Optimizes the quantum circuit");
}

void BindProvider(py::module_& m) {
  // One default dictionary per item, shared by every call that omits it.
  const py::dict init_proxies;
  const py::dict save_proxies;
  py::class_<VelorinProvider> provider(m, "VelorinProvider");
  provider
      .def(py::init([](const std::string& token, const std::string& url, const std::string& name,
                       const std::string& instance, const py::dict& /*proxies*/,
                       bool /*verify*/) {
             return std::make_unique<VelorinProvider>(token, url, name, instance);
           }),
           py::arg("token") = "", py::arg("url") = "", py::arg("name") = "",
           py::arg("instance") = "", py::arg("proxies") = init_proxies,
           py::arg("verify") = false)
      .def(
          "backends",
          [](const VelorinProvider& provider, const std::string& /*name*/,
             const py::kwargs& /*filters*/) { return provider.backends(); },
          "Get the list of supported backends")
      .def(
          "get_backend",
          [](const VelorinProvider& provider, const std::string& name,
             const py::kwargs& /*options*/) { return provider.get_backend(name); },
          "Get the backend")
      .def(
          "get_backend",
          [](const VelorinProvider& provider, const std::string& name) {
            return provider.get_backend(name, "Simulator not found");
          },
          "Get the backend")
      .def(
          "active_account",
          [](const VelorinProvider& provider) { return AccountDict(provider.active_account()); },
          "Provides the details of the current active account")
      .def("delete_account", &VelorinProvider::delete_account, py::arg("name") = "",
           "Deletes a given account")
      .def(
          "save_account",
          [](VelorinProvider& provider, const std::string& token, const std::string& url,
             const std::string& instance, const std::string& name, const py::dict& /*proxies*/,
             bool /*verify*/, bool overwrite) {
            provider.save_account(token, url, instance, name, overwrite);
          },
          py::arg("token") = "", py::arg("url") = "", py::arg("instance") = "",
          py::arg("name") = "", py::arg("proxies") = save_proxies, py::arg("verify") = false,
          py::arg("overwrite") = true, "Save an account")
      .def(
          "saved_accounts",
          [](const VelorinProvider& provider, bool /*defaults*/, const std::string& /*name*/) {
            return AccountsDict(provider.saved_accounts());
          },
          py::arg("defaults") = false, py::arg("name") = "", "Provides the list of saved accounts");
  for (const char* item : kProviderItems) HideArgumentValues(provider, item);
  RefuseByteForm(provider, "it holds the account settings file and its backends' threads");
}

}  // namespace velorin::bindings
