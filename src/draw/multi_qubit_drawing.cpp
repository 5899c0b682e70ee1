// Controlled and multi-qubit gates: control marks, links, swaps, rzz,
// Toffoli and CCZ, multi-controlled gates and boxes over several wires.
#include <algorithm>

#include "draw/box_chars.h"
#include "draw/circuit_drawer.h"
#include "draw/wide_text.h"

namespace velorin {

using namespace draw;

namespace {

int64_t Row(uint64_t wire, int64_t offset) { return 2 * static_cast<int64_t>(wire) + offset; }

}  // namespace

uint64_t CircuitDrawer::DrawControlledGate(const Instruction& instruction, uint64_t control,
                                           uint64_t target, uint64_t x,
                                           const std::vector<double>& params,
                                           const std::string& label) {
  const uint64_t e = DrawSingleQubitGate(instruction, target, x, params, label, true, false);
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = e / 2 < k ? e / 2 + k : e;
  const uint64_t m = x + e / 2;
  int64_t link_from = 0;
  if (control < target) {
    Put(TopRow(target), m, kLinkUp);
    FillWiresExcept(target, target, x, width);
    PutColumn(Row(control, 2), Row(target, -1), m, kLink);
    Put(WireRow(control), m, kControl);
    if (k > 0) Put(BottomRow(target), m, kLinkDown);
    link_from = Row(target, 3);
  } else {
    Put(BottomRow(target), m, kLinkDown);
    FillWiresExcept(target, target, x, width);
    PutColumn(Row(target, 3), Row(control, 0), m, kLink);
    Put(WireRow(control), m, kControl);
    link_from = Row(control, 2);
  }
  if (k > 0) {
    for (uint64_t col = x + e; col < m + k; ++col) Put(WireRow(target), col, kLine);
    DrawConditionLine(condition, link_from, m);
  }
  return width;
}

uint64_t CircuitDrawer::DrawControlledLabel(uint64_t control, uint64_t target, uint64_t x,
                                            const Text& text) {
  const uint64_t w = DrawLabelBox(target, x, text);
  const uint64_t m = x + w / 2;
  if (control < target) {
    Put(TopRow(target), m, kLinkUp);
    FillWiresExcept(target, target, x, w);
    PutColumn(Row(control, 2), Row(target, -1), m, kLink);
  } else {
    Put(BottomRow(target), m, kLinkDown);
    FillWiresExcept(target, target, x, w);
    PutColumn(Row(target, 3), Row(control, 0), m, kLink);
  }
  Put(WireRow(control), m, kControl);
  return w;
}

uint64_t CircuitDrawer::DrawSwap(const Instruction& instruction, uint64_t a, uint64_t b,
                                 uint64_t x) {
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = k > 0 ? k + 2 : 3;
  const uint64_t lo = std::min(a, b), hi = std::max(a, b);
  for (uint64_t wire : {lo, hi}) {
    Put(WireRow(wire), x, kLine);
    Put(WireRow(wire), x + 1, kSwapMark);
    Put(WireRow(wire), x + 2, kLine);
  }
  FillWiresExcept(lo, hi, x, width);
  PutColumn(Row(lo, 2), Row(hi, 0), x + 1, kLink);
  if (k > 0) {
    for (uint64_t wire : {lo, hi}) {
      for (uint64_t col = x + 2; col <= x + k + 1; ++col) Put(WireRow(wire), col, kLine);
    }
    DrawConditionLine(condition, Row(hi, 2), x + 1);
  }
  return width;
}

uint64_t CircuitDrawer::DrawControlledSwap(const Instruction& instruction, uint64_t control,
                                           uint64_t a, uint64_t b, uint64_t x) {
  const uint64_t lo = std::min(a, b), hi = std::max(a, b);
  const uint64_t w = DrawSwap(instruction, lo, hi, x);
  Put(WireRow(control), x + 1, kControl);
  if (control < lo) PutColumn(Row(control, 2), Row(lo, 0), x + 1, kLink);
  if (control > hi) PutColumn(Row(hi, 2), Row(control, 0), x + 1, kLink);
  return w;
}

uint64_t CircuitDrawer::DrawRzz(const Instruction& instruction, uint64_t a, uint64_t b,
                                const std::vector<double>& params, uint64_t x) {
  const Text text = U"ZZ" + ParameterText(params);
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = std::max<uint64_t>(text.size() + 3, k > 0 ? k + 1 : 0);
  const uint64_t lo = std::min(a, b), hi = std::max(a, b);
  for (uint64_t wire : {lo, hi}) {
    Put(WireRow(wire), x, kLine);
    Put(WireRow(wire), x + 1, kControl);
    Put(WireRow(wire), x + 2, kLine);
  }
  FillWiresExcept(lo, hi, x, width);
  PutColumn(Row(lo, 2), Row(hi, 0), x + 1, kLink);
  for (uint64_t wire = lo; wire <= hi; ++wire) {
    for (uint64_t col = x + 2; col < x + width; ++col) Put(WireRow(wire), col, kLine);
  }
  PutText(Row(hi, 0), x + 2, text);
  if (k > 0) DrawConditionLine(condition, Row(hi, 2), x + 1);
  return width;
}

uint64_t CircuitDrawer::DrawToffoli(const Instruction& instruction, uint64_t c1, uint64_t c2,
                                    uint64_t target, uint64_t x) {
  // The link is drawn from the outermost control to the box.
  const bool both_below = c1 > target && c2 > target;
  const uint64_t first = both_below ? std::max(c1, c2) : std::min(c1, c2);
  const uint64_t other = both_below ? std::min(c1, c2) : std::max(c1, c2);
  const uint64_t w = DrawControlledLabel(first, target, x, U"X");
  const uint64_t h = w / 2;
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = h < k ? h + k : w;
  const uint64_t m = x + h;
  if (first < target && target < other) {
    Put(BottomRow(target), m, kLinkDown);
    PutColumn(Row(target, 3), Row(other, 0), m, kLink);
  }
  Put(WireRow(other), m, kControl);
  if (k == 0) return width;

  const uint64_t lowest = std::max({c1, c2, target});
  const uint64_t highest = std::min({c1, c2, target});
  Put(Row(lowest, 2), m, lowest == target ? kLinkDown : kLink);
  PutText(LastRow(), m, condition);
  for (uint64_t wire : {c1, c2, target}) {
    for (uint64_t col = x + w; col < m + k; ++col) Put(WireRow(wire), col, kLine);
  }
  gate_group_.insert(gate_group_.end(), {c1, c2, target});
  FillIdleWires(gate_group_, x, m + k);
  // The fill crosses the link; wires between the gate's own ones show it again.
  for (uint64_t wire = highest + 1; wire < lowest; ++wire) {
    if (wire != c1 && wire != c2 && wire != target) Put(WireRow(wire), m, kLink);
  }
  DrawConditionLine(condition, Row(lowest, 3), m);
  return width;
}

uint64_t CircuitDrawer::DrawCcz(const Instruction& instruction, uint64_t a, uint64_t b,
                                uint64_t c, uint64_t x) {
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = k > 0 ? k + 2 : 3;
  Wires sorted{a, b, c};
  std::sort(sorted.begin(), sorted.end());
  for (uint64_t wire : sorted) {
    Put(WireRow(wire), x, kLine);
    Put(WireRow(wire), x + 1, kControl);
    Put(WireRow(wire), x + 2, kLine);
  }
  FillIdleWires(sorted, x, x + width);
  PutColumn(Row(sorted[0], 2), Row(sorted[1], 0), x + 1, kLink);
  PutColumn(Row(sorted[1], 2), Row(sorted[2], 0), x + 1, kLink);
  if (k > 0) {
    for (uint64_t wire : sorted) {
      for (uint64_t col = x + 2; col < x + width; ++col) Put(WireRow(wire), col, kLine);
    }
    DrawConditionLine(condition, Row(sorted[2], 2), x + 1);
  }
  return width;
}

uint64_t CircuitDrawer::DrawMultiControlled(const Instruction& instruction, Wires controls,
                                            uint64_t target, uint64_t x,
                                            const std::vector<double>& params,
                                            const std::string& label) {
  if (controls.empty()) {
    return DrawSingleQubitGate(instruction, target, x, params, label, false, true);
  }
  const Text text = text_.Widen(label) + ParameterText(params);
  std::sort(controls.begin(), controls.end());
  Wires above, below;
  for (uint64_t c : controls) (c < target ? above : below).push_back(c);
  const uint64_t first = above.empty() ? below.front() : above.front();
  const uint64_t w = DrawControlledLabel(first, target, x, text);
  const uint64_t h = w / 2;
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = h < k ? h + k : w;
  const uint64_t m = x + h;
  for (size_t i = 1; i < above.size(); ++i) Put(WireRow(above[i]), m, kControl);
  Wires own(above);
  own.insert(own.end(), below.begin(), below.end());
  own.push_back(target);
  FillIdleWires(own, x, x + width);
  if (!below.empty()) {
    Put(BottomRow(target), m, kLinkDown);
    PutColumn(Row(target, 3), Row(below.back(), 0), m, kLink);
    for (uint64_t c : below) Put(WireRow(c), m, kControl);
  }
  if (!above.empty()) {
    PutColumn(Row(above.front(), 1), Row(target, -1), m, kLink);
    Put(TopRow(target), m, kLinkUp);
    for (uint64_t c : above) Put(WireRow(c), m, kControl);
  }
  if (k > 0) {
    uint64_t lowest = target;
    if (below.empty()) {
      Put(BottomRow(target), m, kLinkDown);
    } else {
      lowest = below.back();
      Put(Row(lowest, 2), m, kLink);
    }
    for (uint64_t wire : own) {
      for (uint64_t col = x + w; col < x + width; ++col) Put(WireRow(wire), col, kLine);
    }
    DrawConditionLine(condition, Row(lowest, 3), m);
  }
  return width;
}

uint64_t CircuitDrawer::DrawMultiQubitBox(const Instruction& instruction, Wires operands,
                                          uint64_t x, const std::vector<double>& params,
                                          const std::string& label,
                                          std::vector<std::string> names) {
  if (operands.empty()) return 0;
  Text text = text_.Widen(label) + ParameterText(params);
  if (text.size() % 2 == 1) text += kBlank;

  // Operand labels give the order of the operands; where a composite has
  // fewer names than qubits, the position stands in.
  std::vector<Text> operand_labels;
  uint64_t d = 0;
  for (const std::string& name : names) d = std::max<uint64_t>(d, text_.Widen(name).size());
  for (size_t p = 0; p < operands.size(); ++p) {
    operand_labels.push_back(p < names.size() ? text_.Widen(names[p]) : text_.Widen(std::to_string(p)));
    if (!names.empty()) d = std::max<uint64_t>(d, operand_labels.back().size());
  }
  if (names.empty()) {
    d = std::to_string(*std::max_element(operands.begin(), operands.end())).size();
  }

  const uint64_t n = d + text.size() + 2;
  const uint64_t e = n + 1;
  const Text condition = Conditioned(instruction) ? ConditionText(instruction) : Text();
  const uint64_t k = condition.size();
  const uint64_t width = (e / 2 < k ? e / 2 + k : e) + 1;

  const uint64_t lo = *std::min_element(operands.begin(), operands.end());
  const uint64_t hi = *std::max_element(operands.begin(), operands.end());
  Put(TopRow(lo), x, kTopLeft);
  for (uint64_t col = x + 1; col <= x + n; ++col) Put(TopRow(lo), col, kLine);
  Put(TopRow(lo), x + e, kTopRight);
  Put(WireRow(lo), x, kLeftSide);
  Put(WireRow(lo), x + e, kRightSide);
  for (uint64_t v = lo + 1; v <= hi; ++v) {
    Put(TopRow(v), x, kLink);
    Put(TopRow(v), x + e, kLink);
    Put(WireRow(v), x, kLeftSide);
    Put(WireRow(v), x + e, kRightSide);
  }
  Put(BottomRow(hi), x, kBottomLeft);
  for (uint64_t col = x + 1; col <= x + n; ++col) Put(BottomRow(hi), col, kLine);
  Put(BottomRow(hi), x + e, kBottomRight);
  for (size_t p = 0; p < operands.size(); ++p) {
    PutText(WireRow(operands[p]), x + 1, operand_labels[p]);
  }
  PutText(static_cast<int64_t>(lo + hi + 1), x + d + 2, text);
  FillWiresOutside(lo, hi, x, width);
  if (k > 0) {
    const uint64_t m = x + (e + 1) / 2;
    Put(BottomRow(hi), m, kLinkDown);
    for (uint64_t v = lo; v <= hi; ++v) {
      for (uint64_t col = x + e + 1; col < x + width; ++col) Put(WireRow(v), col, kLine);
    }
    DrawConditionLine(condition, Row(hi, 3), m);
  }
  return width;
}

uint64_t CircuitDrawer::DrawControlledMultiQubitBox(const Instruction& instruction,
                                                    Wires controls, Wires targets, uint64_t x,
                                                    const std::vector<double>& params,
                                                    const std::string& label,
                                                    std::vector<std::string> names) {
  const uint64_t w = DrawMultiQubitBox(instruction, targets, x, params, label, std::move(names));
  if (targets.empty()) return w;
  const uint64_t lo = *std::min_element(targets.begin(), targets.end());
  const uint64_t hi = *std::max_element(targets.begin(), targets.end());
  std::sort(controls.begin(), controls.end());
  Wires above, below;
  for (uint64_t c : controls) (c < lo ? above : below).push_back(c);
  const uint64_t m = x + w / 2;
  for (size_t i = 1; i < above.size(); ++i) Put(WireRow(above[i]), m, kControl);
  // Controls between the targets get their marks inside the box; only a
  // control under the box needs a link leaving its bottom border.
  if (!below.empty() && below.back() > hi) {
    Put(BottomRow(hi), m, kLinkDown);
    PutColumn(Row(hi, 3), Row(below.back(), 0), m, kLink);
  }
  for (uint64_t c : below) Put(WireRow(c), m, kControl);
  if (!above.empty()) {
    PutColumn(Row(above.front(), 1), Row(lo, -1), m, kLink);
    Put(TopRow(lo), m, kLinkUp);
    for (uint64_t c : above) Put(WireRow(c), m, kControl);
  }
  return w;
}

}  // namespace velorin
