// Small builders for the engine's native tests.
#pragma once

#include <memory>
#include <string>

#include "circuit/quantum_circuit.h"
#include "composite/first_measure.h"
#include "engine/mps_simulator.h"

namespace velorin::testing {

constexpr double kR = 0.7071067811865476;

// A circuit of n qubits whose bonds are not capped.
inline std::unique_ptr<QuantumCircuit> NewCircuit(uint64_t n) {
  auto circuit = std::make_unique<QuantumCircuit>(n, n, "", 0.0);
  circuit->max_bond_dimension = kUnlimitedBondDimension;
  return circuit;
}

inline InstructionPtr Add1(QuantumCircuit& c, GateKind k, const Matrix& m, uint64_t q,
                           InstructionList* target = nullptr) {
  InstructionList& list = target ? *target : c.instructions;
  c.AppendOneQubitInstruction(k, m, q, {}, list, "");
  return list.back();
}

inline InstructionPtr Add2(QuantumCircuit& c, GateKind k, const Matrix& m, uint64_t a, uint64_t b,
                           InstructionList* target = nullptr) {
  InstructionList& list = target ? *target : c.instructions;
  c.AppendTwoQubitInstruction(k, m, a, b, {}, list, "");
  return list.back();
}

inline InstructionPtr Record(GateKind k, std::vector<uint64_t> qubits) {
  auto record = std::make_shared<Instruction>();
  record->kind = k;
  record->qubits = std::move(qubits);
  return record;
}

inline InstructionPtr Composite(InstructionList subs, std::string name = "block") {
  auto record = Record(kind::kComposite, {});
  record->name = std::move(name);
  record->sub_instructions = std::move(subs);
  return record;
}

inline void Push(QuantumCircuit& c, InstructionPtr record) { c.instructions.push_back(std::move(record)); }

// One shot after fixing the first-measure index, as a run does.
inline void RunOnce(MpsSimulator& engine, QuantumCircuit& c) {
  ComputeFirstMeasureIndex(c);
  engine.Run(c);
}

// A chain of `depth` composites, each holding the next; the innermost holds `leaf`.
inline InstructionPtr DeepComposite(size_t depth, InstructionPtr leaf) {
  InstructionPtr inner = std::move(leaf);
  for (size_t i = 0; i < depth; ++i) inner = Composite({inner});
  return inner;
}

// Takes a deep nest apart one level at a time, so that releasing it does not
// recurse once per level.
inline void Dismantle(InstructionPtr record) {
  while (record) {
    InstructionPtr next;
    if (!record->sub_instructions.empty()) next = record->sub_instructions.front();
    record->sub_instructions.clear();
    record = std::move(next);
  }
}

}  // namespace velorin::testing
