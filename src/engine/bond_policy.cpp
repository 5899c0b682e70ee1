#include "engine/bond_policy.h"

#include "circuit/quantum_circuit.h"
#include "engine/circuit_optimizer.h"
#include "engine/mps_simulator.h"
#include "platform/memory.h"

namespace velorin {

namespace {
constexpr uint64_t kNoCap = kUnlimitedBondDimension;
// Below this measure the fixed modes leave the bonds uncapped.
constexpr int32_t kLightInteraction = 2000;
}  // namespace

const BondDimensionRow kBondDimensionTable[kBondDimensionRows] = {
    {20, 2000, kNoCap},  {20, 5000, 2048},     {20, 10000, 1024},    {20, 0, 512},
    {45, 2000, kNoCap},  {45, 5000, kNoCap},   {45, 10000, 2048},    {45, 0, 1024},
    {60, 2000, kNoCap},  {60, 5000, kNoCap},   {60, 10000, 2048},    {60, 0, 1024},
    {80, 2000, kNoCap},  {80, 5000, kNoCap},   {80, 10000, 2048},    {80, 0, 1024},
    {100, 2000, kNoCap}, {100, 5000, kNoCap},  {100, 10000, 2048},   {100, 0, 1024},
    {0, 0, 1024},
};

uint64_t ChooseBondDimension(uint64_t mode, int32_t measure, uint64_t available_gib) {
  switch (mode) {
    case kHighestEfficiency:
      return measure < kLightInteraction ? kNoCap : 512;
    case kBalancedAccuracy:
      return measure < kLightInteraction ? kNoCap : 1024;
    case kHighestAccuracy:
      return measure < kLightInteraction ? kNoCap : 2048;
    case kLiberal:
      return kNoCap;
    default:
      break;
  }
  for (const BondDimensionRow& row : kBondDimensionTable) {
    if (row.memory_gib == 0) return row.bond_cap;
    if (available_gib <= row.memory_gib &&
        (row.interaction_bound == 0 ||
         static_cast<int64_t>(measure) <= static_cast<int64_t>(row.interaction_bound))) {
      return row.bond_cap;
    }
  }
  return kBondDimensionTable[kBondDimensionRows - 1].bond_cap;
}

void SelectMaxBondDimension(QuantumCircuit& circuit, uint64_t mode) {
  CircuitOptimizer optimizer;
  optimizer.Build(circuit);
  const int32_t measure = optimizer.Cost(optimizer.interaction_matrix);
  const uint64_t available_gib = platform::AvailableMemoryBytes() >> 30;
  circuit.max_bond_dimension = ChooseBondDimension(mode, measure, available_gib);
}

}  // namespace velorin
