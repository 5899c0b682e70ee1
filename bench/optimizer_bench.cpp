// Timings of the qubit-order search on 100 qubits: one line per workload,
// the median of several seeded circuits, with the interaction cost before
// and after. No targets, only figures to compare against.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "circuit/quantum_circuit.h"
#include "engine/circuit_optimizer.h"
#include "platform/clock.h"

namespace velorin {
namespace {

int32_t InteractionCost(const QuantumCircuit& circuit) {
  CircuitOptimizer optimizer;
  optimizer.Build(circuit);
  return optimizer.Cost(optimizer.interaction_matrix);
}

// Every pair between the two halves: a search full of moves of equal cost.
std::unique_ptr<QuantumCircuit> Bipartite(uint64_t n, int /*gates*/, int /*pairs*/, uint32_t) {
  auto circuit = std::make_unique<QuantumCircuit>(n, n, "", 0.0);
  for (uint64_t a = 0; a < n / 2; ++a) {
    for (uint64_t b = n / 2; b < n; ++b) {
      circuit->AppendTwoQubitInstruction(kind::kCX, kGateCX, a, b, {}, circuit->instructions, "");
    }
  }
  return circuit;
}

// `gates` cx gates drawn from `pairs` distinct random pairs (all pairs when 0).
std::unique_ptr<QuantumCircuit> RandomCircuit(uint64_t n, int gates, int pairs, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<uint64_t> qubit(0, n - 1);
  auto draw = [&] {
    const uint64_t a = qubit(rng);
    uint64_t b = qubit(rng);
    while (b == a) b = qubit(rng);
    return std::make_pair(a, b);
  };
  std::vector<std::pair<uint64_t, uint64_t>> pool;
  for (int i = 0; i < pairs; ++i) pool.push_back(draw());
  auto circuit = std::make_unique<QuantumCircuit>(n, n, "", 0.0);
  for (int i = 0; i < gates; ++i) {
    const auto [a, b] = pool.empty() ? draw() : pool[rng() % pool.size()];
    circuit->AppendTwoQubitInstruction(kind::kCX, kGateCX, a, b, {}, circuit->instructions, "");
  }
  return circuit;
}

using Maker = std::unique_ptr<QuantumCircuit> (*)(uint64_t, int, int, uint32_t);

void Workload(const char* title, uint64_t n, int gates, int pairs, Maker make = RandomCircuit,
              int seeds = 7) {
  const int kSeeds = seeds;
  std::vector<double> ms;
  int64_t before = 0;
  int64_t after = 0;
  for (uint32_t seed = 1; seed <= static_cast<uint32_t>(kSeeds); ++seed) {
    auto circuit = make(n, gates, pairs, seed);
    before += InteractionCost(*circuit);
    const int64_t start = platform::SteadyNanoseconds();
    OptimizeQuantumCircuit(*circuit);
    const int64_t end = platform::SteadyNanoseconds();
    ms.push_back(static_cast<double>(end - start) * 1e-6);
    after += InteractionCost(*circuit);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("qubit-order search, %s: %9.2f ms median (%.2f..%.2f), cost %lld -> %lld\n", title,
              ms[kSeeds / 2], ms.front(), ms.back(), static_cast<long long>(before / kSeeds),
              static_cast<long long>(after / kSeeds));
}

}  // namespace
}  // namespace velorin

int main() {
  velorin::Workload("100 qubits, 2000 random cx on any pairs", 100, 2000, 0);
  velorin::Workload("100 qubits, 2000 random cx on 150 pairs", 100, 2000, 150);
  velorin::Workload("100 qubits, 2000 random cx on 99 pairs ", 100, 2000, 99);
  velorin::Workload(" 30 qubits, 2000 random cx on any pairs", 30, 2000, 0);
  velorin::Workload(" 40 qubits, cx on every pair across halves", 40, 0, 0, velorin::Bipartite, 1);
  return 0;
}
