// One recorded operation of a circuit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "circuit/gate_kind.h"
#include "circuit/gate_matrices.h"

namespace velorin {

struct Instruction;
// Records are shared so that gate objects can hold weak references: a gate
// whose records were cleared, or whose circuit died, then finds nothing.
using InstructionPtr = std::shared_ptr<Instruction>;
using InstructionList = std::vector<InstructionPtr>;

// What a register condition needs of its register, copied at c_if time so
// that the condition never depends on the register object staying alive.
struct ConditionRegister {
  std::string name;
  int32_t start = 0;
  int32_t size = 0;
  // Set when a relabelling scattered the register's qubits: bit k of the
  // tested value is qubit qubits[k]. Empty: qubits start .. start + size - 1.
  std::vector<int64_t> qubits;
};

struct Instruction {
  Instruction() = default;
  Instruction(const Instruction&) = default;
  Instruction& operator=(const Instruction&) = default;
  // Nested composites are released level by level, never by recursion and
  // without allocating, so however deep a nest is, its release neither
  // exhausts the stack nor fails when memory has run out.
  ~Instruction();

  Matrix matrix;
  std::vector<uint64_t> qubits;
  std::vector<uint64_t> clbits;
  GateKind kind = 0;
  std::string name;
  int64_t start_time = 0;
  int64_t end_time = 0;
  std::vector<double> params;
  uint64_t num_ctrl_qubits = 0;
  InstructionList sub_instructions;  // composites only, in execution order
  std::vector<std::string> sub_names;
  bool has_condition = false;
  int64_t condition_value = 0;
  bool condition_on_bit = true;
  int64_t condition_bit = 0;
  ConditionRegister condition_register;

  std::string GateName() const;
  std::string GateLabel() const;
};

// Visits every record below `list`, composites included, in no set order;
// descends into a record's sub-records when `visit` returns true.
template <class Visit>
void VisitRecordTree(const InstructionList& list, Visit&& visit) {
  std::vector<const InstructionList*> pending{&list};
  while (!pending.empty()) {
    const InstructionList* current = pending.back();
    pending.pop_back();
    for (const InstructionPtr& record : *current) {
      if (record && visit(*record) && !record->sub_instructions.empty()) {
        pending.push_back(&record->sub_instructions);
      }
    }
  }
}

// Visits every record below `list` in program order, a composite through its
// sub-records, with a stack of its own however deep the nest; stops as soon as
// `visit` returns false, and then returns false itself.
template <class Visit>
bool VisitLeafRecords(const InstructionList& list, Visit&& visit) {
  std::vector<std::pair<const InstructionList*, size_t>> stack{{&list, 0}};
  while (!stack.empty()) {
    auto& [current, next] = stack.back();
    if (next >= current->size()) {
      stack.pop_back();
      continue;
    }
    const Instruction* record = (*current)[next++].get();
    if (record == nullptr) continue;
    if (record->kind == kind::kComposite) {
      stack.emplace_back(&record->sub_instructions, 0);
    } else if (!visit(*record)) {
      return false;
    }
  }
  return true;
}

// A copy of the record and of every record below it, walked without recursion.
InstructionPtr DeepCopy(const Instruction& record);

}  // namespace velorin
