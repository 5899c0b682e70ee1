// Dispatch by gate kind, the texts that boxes show, one-qubit boxes, delays,
// measurements and barriers.
#include <algorithm>
#include <cmath>
#include <limits>

#include "circuit/errors.h"
#include "circuit/text_helpers.h"
#include "draw/box_chars.h"
#include "draw/circuit_drawer.h"
#include "draw/wide_text.h"
#include "platform/text.h"

namespace velorin {

using namespace draw;

namespace {

constexpr const char* kUnexpectedGate = "Unexpected gate provided.";

// Multi-controlled composites drawn as one labelled box with control marks.
struct MultiControlledName {
  const char* upper_name;
  const char* label;
};
constexpr MultiControlledName kMultiControlledNames[] = {
    {"C3SQRTX", "C3sqrtx"}, {"MCPHASE", "P"}, {"MCRX", "RX"}, {"MCRY", "RY"}, {"MCRZ", "RZ"},
    {"MCX", "X"},           {"C3X", "X"},     {"C4X", "X"},   {"RC3X", "Rc3x"},
};

// A duration far outside 64 bits shows the nearest end rather than garbage.
int64_t TruncatedNanoseconds(double duration) {
  if (std::isnan(duration)) return 0;
  if (duration >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
  if (duration <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(duration);
}

}  // namespace

bool CircuitDrawer::Conditioned(const Instruction& instruction) const {
  // Without a classical wire there is nothing for a condition to hang from.
  return instruction.has_condition && has_classical_wire_;
}

CircuitDrawer::Text CircuitDrawer::ConditionText(const Instruction& instruction) {
  const std::string value = std::to_string(static_cast<uint64_t>(instruction.condition_value));
  if (instruction.condition_on_bit) {
    const auto [offset, name] = circuit_.LocateClbit(instruction.condition_bit);
    return text_.Widen(name + "[" + std::to_string(static_cast<uint64_t>(offset)) + "] == " + value);
  }
  return text_.Widen(instruction.condition_register.name + " == " + value);
}

CircuitDrawer::Text CircuitDrawer::ParameterText(const std::vector<double>& params) {
  if (params.empty()) return Text();
  std::string text = "(";
  for (size_t i = 0; i < params.size(); ++i) {
    if (i > 0) text += ", ";
    text += FormatAngle(params[i]);
  }
  return text_.Widen(text + ")");
}

void CircuitDrawer::DrawConditionLine(const Text& condition, int64_t first_row, uint64_t m) {
  PutText(LastRow(), m, condition);
  PutColumn(first_row, LastRow() - 2, m, kLink);
  Put(ClassicalRow(), m, kConditionJoin);
}

uint64_t CircuitDrawer::DrawInstruction(const Instruction& instruction, uint64_t x) {
  const std::vector<uint64_t>& q = instruction.qubits;
  for (uint64_t wire : q) {
    if (wire >= quantum_wire_count_) {
      throw RunTimeError("Invalid Qubit Index: " + std::to_string(wire));
    }
  }
  auto need = [&](size_t count) {
    if (q.size() < count) throw RunTimeError(kUnexpectedGate);
  };
  const std::vector<double>& params = instruction.params;
  const GateKind k = instruction.kind;
  switch (k) {
    case kind::kH: case kind::kX: case kind::kI: case kind::kId: case kind::kT: case kind::kS:
    case kind::kTdg: case kind::kSdg: case kind::kSX: case kind::kSXdg: case kind::kP:
    case kind::kR: case kind::kRV: case kind::kRX: case kind::kRY: case kind::kRZ:
    case kind::kU: case kind::kY: case kind::kZ: case kind::kReset: case kind::kU1:
    case kind::kU2: case kind::kU0:
      need(1);
      return DrawSingleQubitGate(instruction, q[0], x, params, instruction.GateLabel(), false,
                                 true);
    case kind::kDelay:
      need(1);
      return DrawDelay(instruction, q[0], x, params, instruction.GateLabel());
    case kind::kCX: case kind::kCY: case kind::kCZ: case kind::kCH: case kind::kCXAlt:
    case kind::kCP: case kind::kCRX: case kind::kCRY: case kind::kCRZ: case kind::kCS:
    case kind::kCSdg: case kind::kCSX: case kind::kCU: case kind::kCU1: case kind::kCU3:
    case kind::kCT:
      need(2);
      return DrawControlledGate(instruction, q[0], q[1], x, params, instruction.GateLabel());
    case kind::kDCX: case kind::kECR: case kind::kISwap: case kind::kRXX: case kind::kRYY:
    case kind::kRZX:
      need(2);
      return DrawMultiQubitBox(instruction, {q[0], q[1]}, x, params, instruction.GateLabel(), {});
    case kind::kRZZ:
      need(2);
      return DrawRzz(instruction, q[0], q[1], params, x);
    case kind::kSwap:
      need(2);
      return DrawSwap(instruction, q[0], q[1], x);
    case kind::kMeasure:
      need(1);
      if (instruction.clbits.empty()) throw RunTimeError(kUnexpectedGate);
      return DrawMeasure(instruction, q[0], instruction.clbits[0], x);
    case kind::kBarrier: case kind::kBarrierAlt: {
      need(1);
      // Drawn alone when conditioned: the other wires still run past it.
      const uint64_t width = DrawBarrier(q[0], x);
      if (width > 0 && Conditioned(instruction)) FillWiresExcept(q[0], q[0], x, width);
      return width;
    }
    case kind::kCSwap:
      need(3);
      return DrawControlledSwap(instruction, q[0], q[1], q[2], x);
    case kind::kCCX:
      need(3);
      return DrawToffoli(instruction, q[0], q[1], q[2], x);
    case kind::kCCZ:
      need(3);
      return DrawCcz(instruction, q[0], q[1], q[2], x);
    case kind::kComposite:
      return DrawComposite(instruction, x);
    default:
      throw RunTimeError(kUnexpectedGate);
  }
}

uint64_t CircuitDrawer::DrawComposite(const Instruction& instruction, uint64_t x) {
  const std::vector<uint64_t>& q = instruction.qubits;
  const std::string upper = platform::AsciiUpper(instruction.name);
  // A name only picks a special drawing when the qubits fit it; any other
  // composite, a user's gate named ccx on four qubits say, is drawn as a box.
  if (q.size() == 3 && upper == "CCX") return DrawToffoli(instruction, q[0], q[1], q[2], x);
  if (q.size() == 3 && upper == "CCZ") return DrawCcz(instruction, q[0], q[1], q[2], x);
  if (q.size() == 2 && upper == "CY") return DrawControlledLabel(q[0], q[1], x, U"Y");
  if (q.size() == 3 && upper == "CSWAP") {
    return DrawControlledSwap(instruction, q[0], q[1], q[2], x);
  }
  if (q.size() >= 2) {
    for (const MultiControlledName& entry : kMultiControlledNames) {
      if (upper == entry.upper_name) {
        return DrawMultiControlled(instruction, Wires(q.begin(), q.end() - 1), q.back(), x,
                                   instruction.params, entry.label);
      }
    }
  }
  const std::string label = instruction.GateLabel();
  // On one qubit a composite is a box like any one-qubit gate's, so that it
  // shares its column with gates on other wires.
  if (q.size() == 1 && instruction.num_ctrl_qubits == 0) {
    const std::vector<std::string>& names = instruction.sub_names;
    const std::string text = names.empty() || names[0].empty() ? label : names[0] + " " + label;
    return DrawSingleQubitGate(instruction, q[0], x, instruction.params, text, false, true);
  }
  if (instruction.num_ctrl_qubits > 0 && instruction.num_ctrl_qubits < q.size()) {
    const auto split = q.begin() + static_cast<std::ptrdiff_t>(instruction.num_ctrl_qubits);
    return DrawControlledMultiQubitBox(instruction, Wires(q.begin(), split), Wires(split, q.end()),
                                       x, instruction.params, label, instruction.sub_names);
  }
  return DrawMultiQubitBox(instruction, q, x, instruction.params, label, instruction.sub_names);
}

uint64_t CircuitDrawer::DrawLabelBox(uint64_t wire, uint64_t x, const Text& text) {
  const uint64_t n = text.size();
  const uint64_t width = n + 4 + (n % 2 == 0 ? 1 : 0);  // odd, so links meet its middle
  if (measuring_) return width;
  const int64_t top = TopRow(wire), mid = WireRow(wire), bottom = BottomRow(wire);
  const uint64_t right = x + width - 1;
  Put(top, x, At(top, x) == kBottomLeft ? kRightSide : kTopLeft);
  Put(mid, x, kLeftSide);
  Put(bottom, x, kBottomLeft);
  for (uint64_t col = x + 1; col < right; ++col) {
    Put(top, col, At(top, col) == kBottomRight ? kLinkUp : kLine);
    Put(mid, col, kBlank);
    Put(bottom, col, kLine);
  }
  PutText(mid, x + 2, text);
  Put(top, right, At(top, right) == kBottomRight ? kLeftSide : kTopRight);
  Put(mid, right, kRightSide);
  Put(bottom, right, kBottomRight);
  return width;
}

uint64_t CircuitDrawer::DrawSingleQubitGate(const Instruction& instruction, uint64_t wire,
                                            uint64_t x, const std::vector<double>& params,
                                            const std::string& label, bool pad_to_odd,
                                            bool show_condition) {
  return DrawGateBox(instruction, wire, x, text_.Widen(label) + ParameterText(params), pad_to_odd,
                     show_condition);
}

uint64_t CircuitDrawer::DrawGateBox(const Instruction& instruction, uint64_t wire, uint64_t x,
                                    Text text, bool pad_to_odd, bool show_condition) {
  if (text.size() > 5 && text.size() % 2 == 1) text += kBlank;
  const uint64_t t = text.size();
  const Text condition =
      show_condition && Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t box = t + 4 + (pad_to_odd && t % 2 == 0 ? 1 : 0);

  const int64_t top = TopRow(wire), mid = WireRow(wire), bottom = BottomRow(wire);
  const uint64_t right = x + box - 1;
  const char32_t above = At(top, x);
  Put(top, x, above == kBottomLeft ? kRightSide : above == kLine ? kLinkDown : kTopLeft);
  Put(mid, x, kLeftSide);
  Put(bottom, x, At(bottom, x) == kTopLeft ? kRightSide : kBottomLeft);
  for (uint64_t col = x + 1; col < right; ++col) {
    Put(top, col, At(top, col) == kBottomRight ? kLinkUp : kLine);
    Put(mid, col, kBlank);
    Put(bottom, col, At(bottom, col) == kTopRight ? kLinkDown : kLine);
  }
  PutText(mid, x + 2, text);
  const char32_t top_right = At(top, right);
  Put(top, right,
      top_right == kBottomRight ? kLeftSide : top_right == kLine ? kLinkDown : kTopRight);
  Put(mid, right, kRightSide);
  const char32_t bottom_right = At(bottom, right);
  Put(bottom, right,
      bottom_right == kTopRight ? kLeftSide : bottom_right == kLine ? kLinkUp : kBottomRight);
  if (condition.empty()) return box;

  const uint64_t m = x + box / 2;
  const uint64_t end = std::max(x + box, m + condition.size());
  Put(bottom, m, kLinkDown);
  for (uint64_t col = x + box; col < end; ++col) Put(mid, col, kLine);
  gate_group_.push_back(wire);
  FillIdleWires(gate_group_, x, end);
  DrawConditionLine(condition, BottomRow(wire) + 1, m);
  return end - x;
}

uint64_t CircuitDrawer::DrawDelay(const Instruction& instruction, uint64_t wire, uint64_t x,
                                  const std::vector<double>& params, const std::string& label) {
  std::string text = label;
  if (!params.empty()) text += "[" + std::to_string(TruncatedNanoseconds(params[0])) + "] ns";
  return DrawGateBox(instruction, wire, x, text_.Widen(text), false, true);
}

uint64_t CircuitDrawer::DrawMeasure(const Instruction& instruction, uint64_t wire, uint64_t clbit,
                                    uint64_t x) {
  const uint64_t box = DrawLabelBox(wire, x, U"M");
  if (!has_classical_wire_) {
    // Nothing to link to: the box alone.
    FillWiresExcept(wire, wire, x, box);
    return box;
  }
  const uint64_t h = box / 2;
  const Text index = text_.Widen(std::to_string(clbit));
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t span = h + std::max<uint64_t>(index.size(), condition.size());
  const uint64_t width = span > box ? span : box;

  const uint64_t m = x + h;
  Put(BottomRow(wire), m, kMeasureLeave);
  if (condition.empty()) {
    PutText(LastRow(), m, index);
  } else {
    const int64_t row = LastRow() - 2;
    PutText(row, At(row, m + 1) == kLine ? m + 3 : m + 1, index);
  }
  for (uint64_t col = x + 2 * h + 1; col < x + width; ++col) Put(WireRow(wire), col, kLine);
  FillWiresExcept(wire, wire, x, width);
  PutColumn(BottomRow(wire) + 1, LastRow() - 2, m, kMeasureLink);
  Put(ClassicalRow(), m, kMeasureJoin);
  if (!condition.empty()) PutText(LastRow(), m, condition);
  return width;
}

uint64_t CircuitDrawer::DrawBarrier(uint64_t wire, uint64_t x) {
  if (!plot_barriers_) return 0;
  Put(WireRow(wire), x, kLine);
  Put(WireRow(wire), x + 1, kBarrier);
  Put(WireRow(wire), x + 2, kLine);
  Put(TopRow(wire), x + 1, kBarrier);
  Put(BottomRow(wire), x + 1, kBarrier);
  return 3;
}

}  // namespace velorin
