#include "circuit/gate.h"

namespace velorin {

void Gate::c_if(const ClassicalRegister& cr, uint64_t val) {
  for (const auto& weak : instructions) {
    if (InstructionPtr record = weak.lock()) {
      record->has_condition = true;
      record->condition_on_bit = false;
      record->condition_register = ConditionRegister{cr.name(), cr.start(), cr.size(), {}};
      record->condition_value = static_cast<int64_t>(val);
    }
  }
}

void Gate::c_if(uint64_t clbit, uint64_t val) {
  for (const auto& weak : instructions) {
    if (InstructionPtr record = weak.lock()) {
      record->has_condition = true;
      record->condition_on_bit = true;
      record->condition_bit = static_cast<int64_t>(clbit);
      record->condition_value = static_cast<int64_t>(val);
    }
  }
}

std::unique_ptr<Gate> MakeGate(GateClass cls, std::string label) {
  switch (cls) {
#define VELORIN_GATE_CLASS(Native, PyName) \
  case GateClass::Native:                  \
    return std::make_unique<Native>(std::move(label));
#include "circuit/gate_classes.def"
#undef VELORIN_GATE_CLASS
  }
  return std::make_unique<Gate>(std::move(label));
}

}  // namespace velorin
