// The OpenQASM 2.0 writer: header, registers, a definition for every gate a
// standard reader with qelib1.inc lacks and for every distinct custom
// composite, then one line per instruction.
//
// Composites that a gate body cannot hold (measures, resets, conditions) are
// written record by record in the program; every walk keeps a stack of its
// own, so the depth of a nest never reaches the machine stack.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

// The text of a number that reads back as exactly `value`: the angle form
// ("pi/2", "%f") where that is exact, else the shortest exact decimal, always
// with a point. A non-finite value throws RunTimeError naming `gate`.
std::string QasmNumber(double value, const std::string& gate);

class QasmWriter {
 public:
  QasmWriter();
  ~QasmWriter();

  std::string Write(const QuantumCircuit& circuit);
  void Clear();

 private:
  // One definition: a custom composite (or an rv rotation), shared by every
  // instance with the same name, matching parameters and the same body.
  struct Definition {
    std::string key;  // the identifier the name is made from
    std::vector<double> params;
    std::string canonical;  // the body with operands by position
    const Instruction* first = nullptr;
    std::vector<int32_t> uses;  // definitions the body calls, in order
    bool reached = false;       // written: called from the program
    std::string name;
  };
  struct CompositeInfo {
    bool visiting = true;
    bool written_inline = false;
    const char* library = nullptr;  // the library name it is written under
    const char* extra = nullptr;    // or the gate qelib1.inc lacks that it is
    int32_t definition = -1;
  };
  // A conditioned composite written inline: its condition goes on each line.
  struct ConditionScope {
    const Instruction* holder;
    bool disturbed;  // a measure changed a bit the condition reads
  };

  void Analyse(const InstructionList& list);
  void Decide(const Instruction& composite, CompositeInfo& info);
  int32_t RvDefinition(const Instruction& record);
  int32_t FindOrAdd(Definition&& definition);
  void Number(const QuantumCircuit& circuit);
  void Name(const QuantumCircuit& circuit);
  std::string WriteDefinitions();
  std::string WriteProgram(const QuantumCircuit& circuit);

  // One line without its condition; `operands` names each qubit or clbit.
  enum class Operands { kPosition, kLetter, kRegister };
  std::string RecordLine(const Instruction& record, Operands mode, bool canonical,
                         const Instruction* owner, const QuantumCircuit* circuit);
  std::string CallName(const Instruction& record, bool canonical);
  std::string ConditionText(const Instruction& holder, const QuantumCircuit& circuit) const;

  std::vector<Definition> definitions;
  // Definitions by name and canonical body; their parameters tell them apart.
  std::unordered_map<std::string, std::vector<int32_t>> by_body;
  std::unordered_map<const Instruction*, CompositeInfo> composites;
  std::unordered_map<const Instruction*, int32_t> rotations;  // rv records
  // Definitions and library calls in the order the program meets them; a
  // library entry (-1 - index) uses up a suffix as a definition does.
  std::vector<int32_t> order;
  std::vector<std::pair<std::string, std::vector<double>>> library_entries;
  // Gates qelib1.inc lacks that the text uses, and the names they get.
  std::set<std::string> used_extras;
  std::unordered_map<std::string, std::string> extra_names;
};

}  // namespace velorin
