// OptimizeQuantumCircuit and VelorinProvider.
#include <pybind11/stl.h>

#include "bindings/bindings.h"
#include "circuit/quantum_circuit.h"
#include "engine/circuit_optimizer.h"
#include "runtime/backend.h"
#include "runtime/provider.h"

namespace velorin::bindings {

namespace {

py::dict AccountDict(const std::pair<std::string, std::string>& account) {
  py::dict out;
  out["name"] = account.first;
  out["token"] = account.second;
  return out;
}

py::dict AccountsDict(const VelorinProvider::Accounts& accounts) {
  py::dict out;
  for (const auto& [name, token] : accounts) out[py::str(name)] = token;
  return out;
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
  py::class_<VelorinProvider>(m, "VelorinProvider")
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
}

}  // namespace velorin::bindings
