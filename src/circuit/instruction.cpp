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
  // Nothing here may allocate: this runs while an allocation failure unwinds.
  // The lists being released serve as the stack. `pending` is the list in
  // hand; a record whose sub-records are taken up keeps the rest of the list
  // it came from, with the record put aside before it as its last element
  // (the room its own removal left), so each level resumes the one above.
  InstructionList pending;
  pending.swap(sub_instructions);
  InstructionPtr put_aside;
  for (;;) {
    if (pending.empty()) {
      if (!put_aside) return;
      pending.swap(put_aside->sub_instructions);
      InstructionPtr above = std::move(pending.back());
      pending.pop_back();
      put_aside = std::move(above);  // releases a record without sub-records
      continue;
    }
    InstructionPtr record = std::move(pending.back());
    pending.pop_back();
    // A record still shared elsewhere keeps its own sub-records.
    if (record && record.use_count() == 1 && !record->sub_instructions.empty()) {
      pending.push_back(std::move(put_aside));  // within capacity: never allocates
      pending.swap(record->sub_instructions);
      put_aside = std::move(record);
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
