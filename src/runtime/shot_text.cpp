#include "runtime/shot_text.h"

#include <vector>

#include "engine/mps_simulator.h"

namespace velorin {

namespace {

// The simulated qubit of each host qubit; the identity unless the circuit
// holds a valid permutation of its qubits.
std::vector<int64_t> HostToSimulated(const QuantumCircuit* circuit, size_t n) {
  std::vector<int64_t> map(n);
  for (size_t q = 0; q < n; ++q) map[q] = static_cast<int64_t>(q);
  if (circuit == nullptr || circuit->qubit_map.size() != n) return map;
  std::vector<bool> seen(n, false);
  for (int64_t target : circuit->qubit_map) {
    if (target < 0 || static_cast<size_t>(target) >= n || seen[target]) return map;
    seen[target] = true;
  }
  return circuit->qubit_map;
}

}  // namespace

std::string MeasuredText(const MpsSimulator& engine, const QuantumCircuit* circuit,
                         bool with_unmeasured) {
  const std::vector<int64_t>& measured = engine.measured_values();
  const std::vector<int64_t> map = HostToSimulated(circuit, measured.size());
  std::string text;
  text.reserve(measured.size());
  for (size_t i = measured.size(); i-- > 0;) {
    const int64_t value = measured[static_cast<size_t>(map[i])];
    if (value == 0 || value == 1) {
      text.push_back(value == 1 ? '1' : '0');
    } else if (with_unmeasured) {
      text.push_back(value == -1 ? 'X' : '-');
    }
  }
  return text;
}

}  // namespace velorin
