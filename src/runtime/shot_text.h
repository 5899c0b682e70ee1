// Bit strings of a shot in the host's qubit numbering.
#pragma once

#include <string>


namespace velorin {

class MpsSimulator;

// Highest qubit first. Without unmeasured qubits, those are left out; with
// them, they show as "X".
std::string MeasuredText(const MpsSimulator& engine, bool with_unmeasured);

}  // namespace velorin
