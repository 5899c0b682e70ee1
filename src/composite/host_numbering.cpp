#include "composite/host_numbering.h"

#include <vector>

#include "composite/transform.h"

namespace velorin {

InstructionList HostNumberedRecords(const QuantumCircuit& qc) {
  const size_t n = static_cast<size_t>(qc.total_qubits);
  if (qc.qubit_map.size() != n) return qc.instructions;
  std::vector<int64_t> host(n, -1);  // chain number -> host qubit
  bool identity = true;
  for (size_t q = 0; q < n; ++q) {
    const int64_t chain = qc.qubit_map[q];
    if (chain < 0 || static_cast<size_t>(chain) >= n || host[static_cast<size_t>(chain)] >= 0) {
      return qc.instructions;  // not a permutation: no search made it
    }
    host[static_cast<size_t>(chain)] = static_cast<int64_t>(q);
    identity = identity && chain == static_cast<int64_t>(q);
  }
  if (identity) return qc.instructions;
  InstructionList copies;
  CopyInstructions(qc.instructions, copies);
  RemapRecordQubits(copies, host);
  return copies;
}

}  // namespace velorin
