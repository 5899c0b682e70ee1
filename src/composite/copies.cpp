// Copies, counts, register lookups and the timings of the last run.
#include <limits>
#include <utility>

#include "circuit/record_budget.h"
#include "composite/transform.h"

namespace velorin {

namespace {

CircuitPtr CopyFields(const QuantumCircuit& qc, const std::string& name, bool with_records) {
  auto result = std::make_unique<QuantumCircuit>();  // takes a default name, advancing the counter
  result->total_qubits = qc.total_qubits;
  result->registers_built = qc.registers_built;
  result->registers_named = qc.registers_named;
  result->shots = qc.shots;
  result->classical_bits = qc.classical_bits;
  result->touched_qubits = qc.touched_qubits;
  result->quantum_registers = qc.quantum_registers;
  result->ancilla_registers = qc.ancilla_registers;
  result->classical_registers = qc.classical_registers;
  result->num_qubits = qc.num_qubits;
  result->num_ancillas = qc.num_ancillas;
  result->num_clbits = qc.num_clbits;
  result->global_phase = qc.global_phase;
  result->num_ctrl_qubits = qc.num_ctrl_qubits;
  result->quiet = qc.quiet;
  result->max_bond_dimension = qc.max_bond_dimension;
  result->first_measure_index = qc.first_measure_index;
  if (with_records) {
    CopyInstructions(qc.instructions, result->instructions);
    result->qubit_map = qc.qubit_map;
    // The copied records carry the same run with them.
    std::lock_guard<platform::ForkSafeMutex> lock(qc.last_run->mutex);
    result->last_run->executed = qc.last_run->executed;
    result->last_run->start_text = qc.last_run->start_text;
  }
  result->name = name.empty() ? qc.name : name;
  return result;
}

template <class Visit>
void ForEachLeaf(const QuantumCircuit& qc, Visit&& visit) {
  VisitLeafRecords(qc.instructions, [&](const Instruction& record) {
    visit(record);
    return true;
  });
}

template <class R>
bool HoldsRegister(const std::vector<std::shared_ptr<R>>& regs, const R& reg) {
  for (const auto& own : regs) {
    if (own->size() == reg.size() && own->name() == reg.name() && own->start() == reg.start()) {
      return true;
    }
  }
  return false;
}

// The executed records of the last finished run; null before any run.
std::shared_ptr<const QuantumCircuit> LastExecuted(const QuantumCircuit& qc) {
  if (qc.instructions.empty()) return nullptr;
  std::lock_guard<platform::ForkSafeMutex> lock(qc.last_run->mutex);
  return qc.last_run->executed;
}

// The time of the first (forward) or last (backward) non-delay record on the
// qubit. A matching record ends its own list's search, even at time 0; a
// composite's search ends the whole search only with a non-zero time.
int64_t FindQubitTime(const InstructionList& top, int32_t qubit, bool forward) {
  if (qubit < 0) return 0;
  const auto q = static_cast<uint64_t>(qubit);
  struct Frame {
    const InstructionList* list;
    size_t done;  // elements visited
  };
  std::vector<Frame> stack{{&top, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.done == frame.list->size()) {
      stack.pop_back();
      continue;
    }
    const size_t i = forward ? frame.done : frame.list->size() - 1 - frame.done;
    ++frame.done;
    const Instruction* record = (*frame.list)[i].get();
    if (record == nullptr) continue;
    if (record->kind == kind::kComposite) {
      stack.push_back({&record->sub_instructions, 0});
      continue;
    }
    if (record->kind == kind::kDelay) continue;
    bool on_qubit = false;
    for (uint64_t v : record->qubits) on_qubit = on_qubit || v == q;
    if (!on_qubit) continue;
    const int64_t time = forward ? record->start_time : record->end_time;
    if (time != 0 || stack.size() == 1) return time;
    stack.pop_back();  // a zero inside a composite: the search goes on after it
  }
  return 0;
}

double Milliseconds(int64_t time, int64_t origin) {
  if (time <= 0 || origin <= 0) return -1.0;
  return static_cast<double>((time - origin) / 1000000);
}

}  // namespace

void CopyInstructions(const InstructionList& source, InstructionList& target) {
  target.reserve(target.size() + source.size());
  for (const InstructionPtr& record : source) {
    if (record) target.push_back(DeepCopy(*record));
  }
}

CircuitPtr copy(const QuantumCircuit& qc, const std::string& name) {
  RequireBuildFits(CopyBytes(qc.instructions));
  return CopyFields(qc, name, true);
}

CircuitPtr copy_empty_like(const QuantumCircuit& qc, const std::string& name) {
  return CopyFields(qc, name, false);
}

std::map<std::string, int64_t> count_ops(const QuantumCircuit& qc) {
  std::map<std::string, int64_t> counts;
  ForEachLeaf(qc, [&](const Instruction& record) { ++counts[record.GateName()]; });
  return counts;
}

int32_t cls_instances(const QuantumCircuit&) { return gCircuitInstances; }

std::string cls_prefix(const QuantumCircuit&) { return "circuit_"; }

bool has_register(const QuantumCircuit& qc, const QuantumRegister& reg) {
  return HoldsRegister(qc.quantum_registers, reg);
}

bool has_register(const QuantumCircuit& qc, const AncillaRegister& reg) {
  return HoldsRegister(qc.ancilla_registers, reg);
}

bool has_register(const QuantumCircuit& qc, const ClassicalRegister& reg) {
  return HoldsRegister(qc.classical_registers, reg);
}

int32_t num_connected_components(const QuantumCircuit& qc, bool) {
  int64_t count = 0;
  ForEachLeaf(qc, [&](const Instruction& record) {
    if (record.kind != kind::kBarrierAlt && record.qubits.size() == 1) ++count;
  });
  return static_cast<int32_t>(count);
}

int32_t num_nonlocal_gates(const QuantumCircuit& qc) {
  int64_t count = 0;
  ForEachLeaf(qc, [&](const Instruction& record) {
    if (record.kind != kind::kBarrierAlt && record.qubits.size() >= 2) ++count;
  });
  return static_cast<int32_t>(count);
}

int32_t num_unitary_factors(const QuantumCircuit&) { return 0; }

int32_t num_tensor_factors(const QuantumCircuit&) { return 0; }

double qubit_start_time(const QuantumCircuit& qc, int32_t qubit) {
  const auto run = LastExecuted(qc);
  if (!run || run->instructions.empty()) return -1.0;
  const int64_t origin = run->instructions.front()->start_time;
  return Milliseconds(FindQubitTime(run->instructions, qubit, true), origin);
}

double qubit_duration(const QuantumCircuit& qc, int32_t qubit) {
  const auto run = LastExecuted(qc);
  double end = -1.0;
  if (run && !run->instructions.empty()) {
    const int64_t origin = run->instructions.front()->start_time;
    end = Milliseconds(FindQubitTime(run->instructions, qubit, false), origin);
  }
  return end - qubit_start_time(qc, qubit);
}

int32_t qubit_end_time(const QuantumCircuit& qc) {
  const auto run = LastExecuted(qc);
  if (!run || run->instructions.empty()) return 0;
  const int64_t origin = run->instructions.front()->start_time;
  int64_t last_end = 0;
  VisitLeafRecords(run->instructions, [&](const Instruction& record) {
    if (record.kind != kind::kDelay && record.end_time > last_end) last_end = record.end_time;
    return true;
  });
  const double ms = Milliseconds(last_end, origin);
  // A span past the int range (24 days, or times restored from bytes) saturates.
  if (ms < 0) return 0;
  return ms >= static_cast<double>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(ms);
}

}  // namespace velorin
