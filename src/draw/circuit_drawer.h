// The text drawing of a circuit: rows of box-drawing characters, one wire row
// and one gap row per wire, folded into pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "circuit/quantum_circuit.h"
#include "draw/wide_text.h"

namespace velorin {

class CircuitDrawer {
 public:
  // Builds the whole drawing; errors of the drawing routines propagate and
  // nothing is printed then.
  CircuitDrawer(const QuantumCircuit& circuit, bool idle_wires, bool plot_barriers, int32_t fold);

  // Prints every row of every page and, for a non-empty name, writes them to
  // that file as UTF-16LE, each row followed by a carriage return.
  void Write(std::string filename) const;

 private:
  using Text = draw::Cells;
  using Wires = std::vector<uint64_t>;

  // One row of one page as printed.
  Text PageRow(size_t page, uint64_t row) const;

  // Canvas. Writes are dropped in the measuring pass; a write past a row's end
  // grows the row, a read there sees a blank.
  void Put(int64_t row, uint64_t column, char32_t c);
  char32_t At(int64_t row, uint64_t column) const;
  void PutText(int64_t row, uint64_t column, const Text& text);
  void PutColumn(int64_t first_row, int64_t last_row, uint64_t column, char32_t c);
  static int64_t TopRow(uint64_t wire) { return 2 * static_cast<int64_t>(wire); }
  static int64_t WireRow(uint64_t wire) { return 2 * static_cast<int64_t>(wire) + 1; }
  static int64_t BottomRow(uint64_t wire) { return 2 * static_cast<int64_t>(wire) + 2; }
  int64_t ClassicalRow() const { return 2 * static_cast<int64_t>(wire_count_) - 1; }
  int64_t LastRow() const { return 2 * static_cast<int64_t>(wire_count_); }

  void WriteLabels();
  uint64_t LayoutColumns(uint64_t start);
  uint64_t FoldAt(uint64_t column);

  // Wire fillers: the classical wire is filled with the quantum wires by all
  // but ExtendWires.
  void FillWiresExcept(uint64_t a, uint64_t b, uint64_t column, uint64_t count);
  void FillIdleWires(Wires wires, uint64_t first, uint64_t end);
  void ExtendWires(Wires wires, uint64_t first, uint64_t n);
  void FillWiresOutside(uint64_t low, uint64_t high, uint64_t column, uint64_t count);
  void FillClassical(uint64_t first, uint64_t end);

  // Texts.
  bool Conditioned(const Instruction& instruction) const;
  Text ConditionText(const Instruction& instruction);
  Text ParameterText(const std::vector<double>& params);
  // A condition drawn from link column m: its text on the last row, the link
  // down from `first_row`, the join on the classical wire.
  void DrawConditionLine(const Text& condition, int64_t first_row, uint64_t m);

  // One instruction at a column; each returns its width.
  uint64_t DrawInstruction(const Instruction& instruction, uint64_t column);
  uint64_t DrawComposite(const Instruction& instruction, uint64_t column);
  uint64_t DrawLabelBox(uint64_t wire, uint64_t x, const Text& text);
  uint64_t DrawSingleQubitGate(const Instruction& instruction, uint64_t wire, uint64_t x,
                               const std::vector<double>& params, const std::string& label,
                               bool pad_to_odd, bool show_condition);
  uint64_t DrawGateBox(const Instruction& instruction, uint64_t wire, uint64_t x, Text text,
                       bool pad_to_odd, bool show_condition);
  uint64_t DrawDelay(const Instruction& instruction, uint64_t wire, uint64_t x,
                     const std::vector<double>& params, const std::string& label);
  uint64_t DrawMeasure(const Instruction& instruction, uint64_t wire, uint64_t clbit, uint64_t x);
  uint64_t DrawBarrier(uint64_t wire, uint64_t x);
  uint64_t DrawControlledGate(const Instruction& instruction, uint64_t control, uint64_t target,
                              uint64_t x, const std::vector<double>& params,
                              const std::string& label);
  uint64_t DrawControlledLabel(uint64_t control, uint64_t target, uint64_t x, const Text& text);
  uint64_t DrawSwap(const Instruction& instruction, uint64_t a, uint64_t b, uint64_t x);
  uint64_t DrawControlledSwap(const Instruction& instruction, uint64_t control, uint64_t a,
                              uint64_t b, uint64_t x);
  uint64_t DrawRzz(const Instruction& instruction, uint64_t a, uint64_t b,
                   const std::vector<double>& params, uint64_t x);
  uint64_t DrawToffoli(const Instruction& instruction, uint64_t c1, uint64_t c2, uint64_t target,
                       uint64_t x);
  uint64_t DrawCcz(const Instruction& instruction, uint64_t a, uint64_t b, uint64_t c, uint64_t x);
  uint64_t DrawMultiControlled(const Instruction& instruction, Wires controls, uint64_t target,
                               uint64_t x, const std::vector<double>& params,
                               const std::string& label);
  uint64_t DrawMultiQubitBox(const Instruction& instruction, Wires operands, uint64_t x,
                             const std::vector<double>& params, const std::string& label,
                             std::vector<std::string> names);
  uint64_t DrawControlledMultiQubitBox(const Instruction& instruction, Wires controls,
                                       Wires targets, uint64_t x,
                                       const std::vector<double>& params,
                                       const std::string& label, std::vector<std::string> names);

  draw::CellText text_;  // owns the clusters the grid refers to
  std::vector<Text> grid_;
  uint64_t row_count_ = 0;
  uint64_t column_count_ = 0;
  uint64_t wire_count_ = 0;
  uint64_t quantum_wire_count_ = 0;
  bool has_classical_wire_ = false;
  bool measuring_ = false;
  bool plot_barriers_;
  bool idle_wires_;  // every wire is drawn either way
  uint64_t label_width_ = 0;
  uint64_t end_column_ = 0;
  int64_t fold_;
  Wires gate_group_;
  Wires barrier_group_;
  std::vector<uint64_t> page_ends_;
  const QuantumCircuit& circuit_;
};

}  // namespace velorin
