// The object every gate method hands back: a handle on the records the call
// appended, through which the caller attaches a classical condition.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "circuit/instruction.h"
#include "circuit/registers.h"

namespace velorin {

class Gate {
 public:
  explicit Gate(std::string label = "") : label(std::move(label)) {}
  Gate(const Gate&) = default;
  Gate& operator=(const Gate&) = default;
  virtual ~Gate() = default;

  // Records that are gone (cleared, or their circuit died) are skipped.
  void c_if(const ClassicalRegister& cr, uint64_t val);
  void c_if(uint64_t clbit, uint64_t val);

  void AddInstruction(const InstructionPtr& record) { instructions.push_back(record); }

  std::string label;
  std::string name;
  std::vector<double> params;
  int32_t num_qubits = 0;
  std::vector<std::weak_ptr<Instruction>> instructions;
  // A record that belongs to no circuit (to_gate's composite) lives as long
  // as its gate.
  InstructionPtr owned_record;
};

#define VELORIN_GATE_CLASS(Native, PyName) \
  class Native : public Gate {             \
   public:                                 \
    using Gate::Gate;                      \
  };
#include "circuit/gate_classes.def"
#undef VELORIN_GATE_CLASS

enum class GateClass {
#define VELORIN_GATE_CLASS(Native, PyName) Native,
#include "circuit/gate_classes.def"
#undef VELORIN_GATE_CLASS
};

// A new gate object of the given class.
std::unique_ptr<Gate> MakeGate(GateClass cls, std::string label);

}  // namespace velorin
