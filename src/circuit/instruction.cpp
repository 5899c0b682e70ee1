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

Instruction::~Instruction() {
  if (sub_instructions.empty()) return;
  InstructionList pending;
  pending.swap(sub_instructions);
  while (!pending.empty()) {
    InstructionPtr record = std::move(pending.back());
    pending.pop_back();
    // A record still shared elsewhere keeps its own sub-records.
    if (record && record.use_count() == 1) {
      for (InstructionPtr& sub : record->sub_instructions) pending.push_back(std::move(sub));
      record->sub_instructions.clear();
    }
  }
}

std::string Instruction::GateName() const {
  if (kind == kind::kComposite) return CompositeName(name);
  return LookUp(kind, false);
}

std::string Instruction::GateLabel() const {
  if (kind == kind::kComposite) return CompositeName(name);
  return LookUp(kind, true);
}

InstructionPtr DeepCopy(const Instruction& record) {
  auto root = std::make_shared<Instruction>(record);
  // Each pending copy still shares its sub-records with the original.
  std::vector<Instruction*> pending{root.get()};
  while (!pending.empty()) {
    Instruction* copy = pending.back();
    pending.pop_back();
    for (InstructionPtr& sub : copy->sub_instructions) {
      sub = std::make_shared<Instruction>(*sub);
      pending.push_back(sub.get());
    }
  }
  return root;
}

}  // namespace velorin
