#include "circuit/instruction.h"

#include "platform/text.h"

namespace velorin {

namespace {

const char* LookUp(GateKind k, bool label) {
  for (const GateKindEntry& row : kGateKindTable) {
    if (row.kind == k) return label ? row.label : row.qasm_name;
  }
  return "";
}

std::string CompositeName(const std::string& name) {
  const std::string upper = platform::AsciiUpper(name);
  if (upper == "CCX") return "ccx";
  if (upper == "CCZ") return "ccz";
  return name;
}

}  // namespace

std::string Instruction::GateName() const {
  if (kind == kind::kComposite) return CompositeName(name);
  return LookUp(kind, false);
}

std::string Instruction::GateLabel() const {
  if (kind == kind::kComposite) return CompositeName(name);
  return LookUp(kind, true);
}

}  // namespace velorin
