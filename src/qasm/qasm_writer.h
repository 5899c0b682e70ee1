// The OpenQASM 2.0 writer: header, registers, one definition per distinct
// custom composite, one line per instruction.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

class QasmWriter {
 public:
  QasmWriter();
  ~QasmWriter();

  std::string Write(const QuantumCircuit& circuit);
  void Clear();

  // Suffix of the first definition of that name whose parameters match and
  // whose body is the same up to the placement of its operands, or 0.
  int32_t FindDefinition(const std::string& name, const std::vector<double>& params,
                         const std::string& body) const;
  void AddDefinition(const std::string& name, const std::vector<double>& params,
                     const std::string& body, int32_t suffix);

 private:
  struct DefinitionEntry {
    std::string name;
    std::vector<double> params;
    std::string body;  // the body with operands named by their position
    int32_t suffix;
  };

  // With `operands_of`, operands are named by their position among that
  // composite's own operands.
  std::string WriteInstructions(const InstructionList& instructions,
                                const QuantumCircuit& circuit, bool in_definition,
                                const Instruction* operands_of = nullptr);
  std::string RelativeBody(const Instruction& composite, const QuantumCircuit& circuit);
  int32_t SuffixOf(const Instruction& composite, const QuantumCircuit& circuit);
  std::string WriteGateDefinition(const Instruction& composite, std::vector<std::string>& emitted,
                                  const QuantumCircuit& circuit);
  bool IsLibraryGate(const std::string& name) const;
  // The name an instruction line calls.
  std::string CallName(const Instruction& record, const QuantumCircuit& circuit);

  std::vector<std::string> library_gates;
  int32_t definitions_header_written = 0;
  int32_t next_suffix = 1;
  std::vector<DefinitionEntry> definitions;
  // Relative bodies already written in this call, each composite's once.
  std::unordered_map<const Instruction*, std::string> bodies;
};

}  // namespace velorin
