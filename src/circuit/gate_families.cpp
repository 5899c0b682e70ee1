#include "circuit/gate_families.h"

#include <stdexcept>

namespace velorin {

namespace {

template <const Matrix& M>
Matrix Constant(const std::vector<double>&) {
  return M;
}

template <class Family>
const Family& Named(const std::vector<Family>& families, const std::string& method) {
  for (const Family& family : families) {
    if (method == family.method) return family;
  }
  throw std::out_of_range("unknown gate method " + method);
}

}  // namespace

#define VELORIN_NAMES(...) {__VA_ARGS__}

const std::vector<OneQubitFamily>& OneQubitFamilies() {
  static const std::vector<OneQubitFamily> families = {
#define VELORIN_FIXED_1Q(method, Native, kind_code, matrix, doc, per_record) \
  {#method, doc, GateClass::Native, kind::kind_code, Constant<matrix>, per_record, {}},
#include "circuit/one_qubit_families.def"
#undef VELORIN_FIXED_1Q
#define VELORIN_PARAM_1Q(method, Native, kind_code, factory, doc, names) \
  {#method, doc, GateClass::Native, kind::kind_code, factory, false, VELORIN_NAMES names},
#include "circuit/one_qubit_param_families.def"
#undef VELORIN_PARAM_1Q
  };
  return families;
}

const std::vector<TwoQubitFamily>& TwoQubitFamilies() {
  static const std::vector<TwoQubitFamily> families = {
#define VELORIN_2Q(method, Native, kind_code, factory, qubits, doc, names) \
  {#method, doc, GateClass::Native, kind::kind_code, factory, QubitNames::k##qubits,  \
   VELORIN_NAMES names},
#include "circuit/two_qubit_families.def"
#undef VELORIN_2Q
      // No method records it: only a controlled circuit holds a controlled T.
      {"ct", nullptr, GateClass::UserGate, kind::kCT, Constant<kGateCT>, QubitNames::kControlled,
       {}},
  };
  return families;
}

#undef VELORIN_NAMES

const OneQubitFamily& OneQubitFamilyNamed(const std::string& method) {
  return Named(OneQubitFamilies(), method);
}

const TwoQubitFamily& TwoQubitFamilyNamed(const std::string& method) {
  return Named(TwoQubitFamilies(), method);
}

}  // namespace velorin
