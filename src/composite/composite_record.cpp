#include "composite/composite_record.h"

#include "circuit/errors.h"

namespace velorin {

InstructionPtr NewComposite(const std::string& label, const char* default_name,
                            uint64_t num_ctrl_qubits, std::vector<double> params) {
  auto composite = std::make_shared<Instruction>();
  composite->kind = kind::kComposite;
  composite->name = label.empty() ? std::string(default_name) : label;
  composite->num_ctrl_qubits = num_ctrl_qubits;
  composite->params = std::move(params);
  return composite;
}

void AddCompositeQubit(Instruction& composite, QuantumCircuit& marking, uint64_t qubit) {
  composite.qubits.push_back(qubit);
  if (qubit < marking.touched_qubits.size()) marking.touched_qubits[qubit] = 1;
}

QuantumCircuit::GatePtr CompositeGate(GateClass cls, const std::string& label,
                                      const InstructionPtr& record, int64_t num_qubits,
                                      std::vector<double> params) {
  QuantumCircuit::GatePtr gate = MakeGate(cls, label);
  gate->AddInstruction(record);
  gate->name = label;
  gate->num_qubits = static_cast<int32_t>(num_qubits);
  gate->params = std::move(params);
  return gate;
}

void RequireDistinctQubits(const QuantumCircuit& qc, std::initializer_list<uint64_t> qubits) {
  for (auto it = qubits.begin(); it != qubits.end(); ++it) {
    if (*it >= qc.total_qubits) throw RunTimeError(kInvalidGateParameter);
    for (auto other = qubits.begin(); other != it; ++other) {
      if (*other == *it) throw RunTimeError(kInvalidGateParameter);
    }
  }
}

}  // namespace velorin
