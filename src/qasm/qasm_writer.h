// The OpenQASM 2.0 writer: header, registers, one definition per distinct
// custom composite, one line per instruction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

class QasmWriter {
 public:
  QasmWriter();
  ~QasmWriter();

  std::string Write(const QuantumCircuit& circuit);
  void Clear();

  // Suffix of the first definition of that name whose parameters match, or 0.
  int32_t FindDefinition(const std::string& name, const std::vector<double>& params) const;
  void AddDefinition(const std::string& name, const std::vector<double>& params, int32_t suffix);

 private:
  struct DefinitionEntry {
    std::string name;
    std::vector<double> params;
    int32_t suffix;
  };

  std::string WriteInstructions(const InstructionList& instructions,
                                const QuantumCircuit& circuit, bool in_definition);
  std::string WriteGateDefinition(const Instruction& composite, std::vector<std::string>& emitted,
                                  const QuantumCircuit& circuit);
  bool IsLibraryGate(const std::string& name) const;
  // The name an instruction line calls.
  std::string CallName(const Instruction& record) const;

  std::vector<std::string> library_gates;
  int32_t definitions_header_written = 0;
  int32_t next_suffix = 1;
  std::vector<DefinitionEntry> definitions;
};

}  // namespace velorin
