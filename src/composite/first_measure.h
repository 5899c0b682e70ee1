// Where a circuit's first measure or reset stands, so that shots can replay
// from a checkpoint taken just before it.
#pragma once

#include "circuit/instruction.h"

namespace velorin {

class QuantumCircuit;

// True when the list holds a measure or a reset, inside composites at any depth.
bool ContainsMeasureOrReset(const InstructionList& list);

// Sets circuit.first_measure_index to the index of the first top-level record
// that is, or is a composite holding, a measure or reset; the number of
// top-level records when there is none.
void ComputeFirstMeasureIndex(QuantumCircuit& circuit);

}  // namespace velorin
