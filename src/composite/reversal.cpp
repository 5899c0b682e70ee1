// inverse, reverse_ops, reverse_bits, repeat and remove_final_measurements.
#include <stdexcept>
#include <utility>

#include "circuit/errors.h"
#include "circuit/gate_families.h"
#include "circuit/record_budget.h"
#include "composite/transform.h"

namespace velorin {

namespace {

constexpr double kHalfPi = 1.5707963267948966;

// How the parameters of a kind's adjoint follow from its own.
enum class AdjointParams {
  kNegate,      // every angle negated
  kUAngles,     // (theta, phi, lambda) -> (-theta, -lambda, -phi)
  kCUAngles,    // (theta, phi, lambda, gamma) -> (-theta, -lambda, -phi, -gamma)
  kRAngles,     // (theta, phi) -> (-theta, phi)
  kU2AsU,       // u2(phi, lambda) -> u(-pi/2, -lambda, -phi)
};

struct AdjointRule {
  GateKind kind;
  GateKind adjoint_kind;
  AdjointParams params;
};

// Kinds whose adjoint is another kind, or whose angles are not simply negated.
constexpr AdjointRule kAdjointRules[] = {
    {kind::kT, kind::kTdg, AdjointParams::kNegate},
    {kind::kTdg, kind::kT, AdjointParams::kNegate},
    {kind::kS, kind::kSdg, AdjointParams::kNegate},
    {kind::kSdg, kind::kS, AdjointParams::kNegate},
    {kind::kSX, kind::kSXdg, AdjointParams::kNegate},
    {kind::kSXdg, kind::kSX, AdjointParams::kNegate},
    {kind::kCS, kind::kCSdg, AdjointParams::kNegate},
    {kind::kCSdg, kind::kCS, AdjointParams::kNegate},
    {kind::kU, kind::kU, AdjointParams::kUAngles},
    {kind::kCU3, kind::kCU3, AdjointParams::kUAngles},
    {kind::kCU, kind::kCU, AdjointParams::kCUAngles},
    {kind::kR, kind::kR, AdjointParams::kRAngles},
    {kind::kU2, kind::kU, AdjointParams::kU2AsU},
};

std::vector<double> AdjointAngles(AdjointParams rule, const std::vector<double>& p) {
  std::vector<double> out;
  switch (rule) {
    case AdjointParams::kUAngles:
      if (p.size() == 3) return {-p[0], -p[2], -p[1]};
      break;
    case AdjointParams::kCUAngles:
      if (p.size() == 4) return {-p[0], -p[2], -p[1], -p[3]};
      break;
    case AdjointParams::kRAngles:
      if (p.size() == 2) return {-p[0], p[1]};
      break;
    case AdjointParams::kU2AsU:
      if (p.size() == 2) return {-kHalfPi, -p[1], -p[0]};
      break;
    case AdjointParams::kNegate:
      break;
  }
  for (double v : p) out.push_back(-v);
  return out;
}

// The matrix factory of a kind, from the gate tables; null when no method records it.
MatrixFactory FactoryOf(GateKind k, size_t angles) {
  for (const OneQubitFamily& f : OneQubitFamilies()) {
    if (f.kind == k && f.param_names.size() == angles) return f.matrix;
  }
  for (const TwoQubitFamily& f : TwoQubitFamilies()) {
    if (f.kind == k && f.param_names.size() == angles) return f.matrix;
  }
  return nullptr;
}

// The record that undoes `record` (measure, reset, barrier and delay stay as
// they are). Matrices are rebuilt from the adjoint's angles where a gate
// table builds them, so they match what a recorder would store.
InstructionPtr Adjoint(const Instruction& record) {
  InstructionPtr copy = DeepCopy(record);
  const GateKind k = record.kind;
  if (k == kind::kMeasure || k == kind::kReset || IsBarrier(k) || k == kind::kDelay) return copy;
  AdjointParams rule = AdjointParams::kNegate;
  for (const AdjointRule& r : kAdjointRules) {
    if (r.kind == k) {
      copy->kind = r.adjoint_kind;
      rule = r.params;
      break;
    }
  }
  copy->params = AdjointAngles(rule, record.params);
  if (k == kind::kDCX) {
    // The inverse of a dcx is a dcx with its qubits exchanged, same matrix.
    if (copy->qubits.size() == 2) std::swap(copy->qubits[0], copy->qubits[1]);
    return copy;
  }
  const MatrixFactory factory = FactoryOf(copy->kind, copy->params.size());
  if (factory != nullptr && (copy->kind != k || !copy->params.empty())) {
    copy->matrix = factory(copy->params);  // also cu1, whose matrix holds its raw angle
  } else {
    copy->matrix = record.matrix.adjoint();
  }
  return copy;
}

}  // namespace

CircuitPtr inverse(const QuantumCircuit& qc, bool) {
  for (const InstructionPtr& record : qc.instructions) {
    if (record && record->kind == kind::kComposite) {
      throw RunTimeError("This circuit cannot be inverted");
    }
  }
  RequireBuildFits(CopyBytes(qc.instructions));  // an adjoint is the size of its record
  CircuitPtr result = copy_empty_like(qc, "");
  result->qubit_map = qc.qubit_map;  // the same qubits, so the same placement serves
  result->global_phase = -qc.global_phase;
  result->instructions.reserve(qc.instructions.size());
  for (auto it = qc.instructions.rbegin(); it != qc.instructions.rend(); ++it) {
    if (*it) result->instructions.push_back(Adjoint(**it));
  }
  return result;
}

CircuitPtr reverse_ops(const QuantumCircuit& qc) {
  RequireBuildFits(CopyBytes(qc.instructions));
  CircuitPtr result = copy_empty_like(qc, "");
  result->qubit_map = qc.qubit_map;  // the same qubits, so the same placement serves
  const InstructionList reversed(qc.instructions.rbegin(), qc.instructions.rend());
  CopyInstructions(reversed, result->instructions);
  return result;
}

CircuitPtr reverse_bits(const QuantumCircuit& qc) {
  CircuitPtr result = copy(qc, "");
  const uint64_t n = qc.total_qubits;
  std::vector<int64_t> permutation(n);
  for (uint64_t q = 0; q < n; ++q) permutation[q] = static_cast<int64_t>(n - 1 - q);
  RemapRecordQubits(result->instructions, permutation);
  // Qubit q takes over the role of n - 1 - q, and with it its place on the chain.
  if (result->qubit_map.size() == n) {
    for (uint64_t q = 0; q < n; ++q) result->qubit_map[q] = qc.qubit_map[n - 1 - q];
  }
  return result;
}

CircuitPtr repeat(const QuantumCircuit& qc, int32_t reps) {
  if (reps < 0) throw std::invalid_argument("The number of repetitions must not be negative.");
  if (reps == 0) return nullptr;
  RequireBuildFits(SaturatingMul(CopyBytes(qc.instructions), static_cast<uint64_t>(reps)));
  CircuitPtr result = copy(qc, "");
  // One reservation for all copies: each copy reserving its own room would
  // make the whole quadratic.
  const size_t size = qc.instructions.size();
  if (size != 0 && static_cast<size_t>(reps) <= result->instructions.max_size() / size) {
    result->instructions.reserve(size * static_cast<size_t>(reps));
  }
  for (int32_t i = 1; i < reps; ++i) CopyInstructions(qc.instructions, result->instructions);
  return result;
}

void RemoveFinalMeasurementsFrom(std::vector<char>& open, InstructionList& list) {
  // Lists still being walked backwards, each with the count of elements left.
  std::vector<std::pair<InstructionList*, size_t>> stack{{&list, list.size()}};
  while (!stack.empty()) {
    auto& [current, left] = stack.back();
    if (left == 0) {
      stack.pop_back();
      continue;
    }
    const size_t i = --left;
    InstructionList* here = current;
    Instruction* record = (*here)[i].get();
    if (record == nullptr) continue;
    if (record->kind == kind::kComposite) {
      stack.emplace_back(&record->sub_instructions, record->sub_instructions.size());
      continue;
    }
    if (record->kind == kind::kMeasure || record->kind == kind::kBarrier) {
      if (record->qubits.empty()) continue;
      const uint64_t q = record->qubits.front();
      if (q < open.size() && open[q]) {
        open[q] = 0;
        here->erase(here->begin() + static_cast<std::ptrdiff_t>(i));
      }
      continue;
    }
    for (uint64_t q : record->qubits) {
      if (q < open.size()) open[q] = 0;
    }
  }
}

CircuitPtr remove_final_measurements(QuantumCircuit& qc, bool inplace) {
  std::vector<char> open(qc.total_qubits, 1);
  if (inplace) {
    RemoveFinalMeasurementsFrom(open, qc.instructions);
    qc.composite_names.reset();  // composites may have lost parts
    return nullptr;
  }
  CircuitPtr result = copy(qc, "");
  RemoveFinalMeasurementsFrom(open, result->instructions);
  return result;
}

}  // namespace velorin
