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
  return !VisitLeafRecords(list,
                           [](const Instruction& record) { return !IsMeasureOrReset(record); });
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
