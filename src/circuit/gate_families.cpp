#include "circuit/gate_families.h"

#include <stdexcept>

namespace velorin {

namespace {

template <const Matrix& M>
Matrix Constant(const std::vector<double>&) {
  return M;
}

}  // namespace

const std::vector<OneQubitFamily>& OneQubitFamilies() {
  static const std::vector<OneQubitFamily> families = {
#define VELORIN_FIXED_1Q(method, Native, kind_code, matrix, doc, per_record) \
  {#method, doc, GateClass::Native, kind::kind_code, Constant<matrix>, per_record},
#include "circuit/one_qubit_families.def"
#undef VELORIN_FIXED_1Q
  };
  return families;
}

const OneQubitFamily& OneQubitFamilyNamed(const std::string& method) {
  for (const OneQubitFamily& family : OneQubitFamilies()) {
    if (method == family.method) return family;
  }
  throw std::out_of_range("unknown gate method " + method);
}

}  // namespace velorin
