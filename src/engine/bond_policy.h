// The bond cap of a run, chosen from its performance mode, the circuit's
// two-qubit interactions and the free memory.
#pragma once

#include <cstdint>

namespace velorin {

class QuantumCircuit;

enum PerformanceMode : uint64_t {
  kHighestEfficiency = 0,
  kBalancedAccuracy = 1,
  kHighestAccuracy = 2,
  kAutomatic = 3,  // also every number not listed here
  kLiberal = 4,
};

struct BondDimensionRow {
  uint64_t memory_gib;         // 0 ends the table; its cap is the fallback
  uint64_t interaction_bound;  // 0: any measure
  uint64_t bond_cap;
};

inline constexpr int kBondDimensionRows = 21;
extern const BondDimensionRow kBondDimensionTable[kBondDimensionRows];

// The cap for a mode, an interaction measure and the whole GiB of free memory.
uint64_t ChooseBondDimension(uint64_t mode, int32_t interaction_measure, uint64_t available_gib);

// Sets circuit.max_bond_dimension for a run in `mode`.
void SelectMaxBondDimension(QuantumCircuit& circuit, uint64_t mode);

}  // namespace velorin
