#include "composite/first_measure.h"

#include <utility>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

namespace {
bool IsMeasureOrReset(const Instruction& record) {
  return record.kind == kind::kMeasure || record.kind == kind::kReset;
}
}  // namespace

bool ContainsMeasureOrReset(const InstructionList& list) {
  // Composites may nest deeply: walk them with a stack of our own.
  std::vector<std::pair<const InstructionList*, size_t>> stack{{&list, 0}};
  while (!stack.empty()) {
    auto& [current, next] = stack.back();
    if (next >= current->size()) {
      stack.pop_back();
      continue;
    }
    const Instruction* record = (*current)[next++].get();
    if (record == nullptr) continue;
    if (IsMeasureOrReset(*record)) return true;
    if (record->kind == kind::kComposite) stack.emplace_back(&record->sub_instructions, 0);
  }
  return false;
}

void ComputeFirstMeasureIndex(QuantumCircuit& circuit) {
  int64_t index = 0;
  for (const InstructionPtr& record : circuit.instructions) {
    if (record && (IsMeasureOrReset(*record) || (record->kind == kind::kComposite &&
                                                 ContainsMeasureOrReset(record->sub_instructions)))) {
      break;
    }
    ++index;
  }
  circuit.first_measure_index = index;
}

}  // namespace velorin
