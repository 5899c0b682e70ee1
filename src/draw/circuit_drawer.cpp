// The canvas: wires and labels, the column layout, folding, and output.
#include "draw/circuit_drawer.h"

#include <algorithm>
#include <memory>

#include "circuit/errors.h"
#include "draw/box_chars.h"
#include "draw/wide_text.h"
#include "platform/host.h"
#include "platform/utf16_file.h"

namespace velorin {

using namespace draw;

namespace {

uint64_t DecimalDigits(uint64_t n) {
  uint64_t digits = 1;
  while (n >= 10) n /= 10, ++digits;
  return digits;
}

template <class Registers>
uint64_t LongestName(CellText& text, const Registers& registers, uint64_t longest) {
  for (const auto& reg : registers) {
    longest = std::max<uint64_t>(longest, text.Widen(reg->name()).size());
  }
  return longest;
}

}  // namespace

void QuantumCircuit::draw(const std::string& filename, bool idle_wires, bool plot_barriers,
                          int32_t fold) const {
  CircuitDrawer drawer(*this, idle_wires, plot_barriers, fold);
  drawer.Write(filename);
}

CircuitDrawer::CircuitDrawer(const QuantumCircuit& circuit, bool idle_wires, bool plot_barriers,
                             int32_t fold)
    : plot_barriers_(plot_barriers), idle_wires_(idle_wires), fold_(fold), circuit_(circuit) {
  quantum_wire_count_ = circuit.num_qubits + circuit.num_ancillas;
  has_classical_wire_ = circuit.num_clbits > 0;
  wire_count_ = quantum_wire_count_ + (has_classical_wire_ ? 1 : 0);
  row_count_ = 2 * wire_count_ + 1;

  uint64_t longest = LongestName(text_, circuit.quantum_registers, 0);
  longest = LongestName(text_, circuit.ancilla_registers, longest);
  longest = LongestName(text_, circuit.classical_registers, longest);
  label_width_ = longest +
                 std::max(DecimalDigits(circuit.num_qubits), DecimalDigits(circuit.num_clbits)) +
                 4;

  // The measuring pass takes exactly the widths of the drawing pass, so the
  // grid is allocated once at its final width.
  measuring_ = true;
  column_count_ = LayoutColumns(label_width_ + 1) + 1;
  grid_.assign(row_count_, Text(column_count_, kBlank));
  measuring_ = false;

  WriteLabels();
  end_column_ = LayoutColumns(label_width_ + 1);
  page_ends_.push_back(end_column_);
}

void CircuitDrawer::Put(int64_t row, uint64_t column, char32_t c) {
  if (measuring_ || row < 0 || static_cast<uint64_t>(row) >= row_count_) return;
  Text& cells = grid_[static_cast<size_t>(row)];
  if (column >= cells.size()) cells.resize(std::max(column + 1, cells.size() * 3 / 2), kBlank);
  cells[column] = c;
}

char32_t CircuitDrawer::At(int64_t row, uint64_t column) const {
  if (row < 0 || static_cast<uint64_t>(row) >= grid_.size()) return kBlank;
  const Text& cells = grid_[static_cast<size_t>(row)];
  return column < cells.size() ? cells[column] : kBlank;
}

void CircuitDrawer::PutText(int64_t row, uint64_t column, const Text& text) {
  if (measuring_) return;
  for (size_t i = 0; i < text.size(); ++i) Put(row, column + i, text[i]);
}

void CircuitDrawer::PutColumn(int64_t first_row, int64_t last_row, uint64_t column, char32_t c) {
  if (measuring_) return;
  first_row = std::max<int64_t>(first_row, 0);
  last_row = std::min<int64_t>(last_row, static_cast<int64_t>(row_count_) - 1);
  for (int64_t row = first_row; row <= last_row; ++row) Put(row, column, c);
}

void CircuitDrawer::WriteLabels() {
  const uint64_t limit = label_width_;  // a label needs room for its terminator too
  uint64_t wire = 0;
  auto label_register = [&](const auto& reg) {
    const Text name = text_.Widen(reg->name());
    for (int32_t i = 0; i < reg->size() && wire < quantum_wire_count_; ++i, ++wire) {
      const Text label = name + U"[" + text_.Widen(std::to_string(i)) + U"]:";
      if (label.size() < limit) PutText(WireRow(wire), 0, label);
    }
  };
  for (const auto& reg : circuit_.quantum_registers) label_register(reg);
  for (const auto& reg : circuit_.ancilla_registers) label_register(reg);
  if (has_classical_wire_) {
    const std::string first =
        circuit_.classical_registers.empty() ? "" : circuit_.classical_registers.front()->name();
    const Text label = text_.Widen(first) + U": " + text_.Widen(std::to_string(circuit_.num_clbits)) + U"/";
    if (label.size() < limit) PutText(ClassicalRow(), 0, label);
  }
  for (uint64_t w = 0; w < wire_count_; ++w) Put(WireRow(w), label_width_, kControl);
}

uint64_t CircuitDrawer::LayoutColumns(uint64_t start) {
  uint64_t col = start;
  uint64_t c = 0;  // width of the open group
  uint64_t p = 0;  // first column of the page
  gate_group_.clear();
  barrier_group_.clear();
  page_ends_.clear();

  // 0 to 10 never fold: a page must leave room for more than its labels.
  const bool folding = fold_ > 10;
  const uint64_t page_width = folding ? static_cast<uint64_t>(fold_ - 10) : 0;
  auto fold_test = [&] {
    if (folding && col - p >= page_width) {
      const uint64_t x = col;
      page_ends_.push_back(x);
      p = x;
      col = x + FoldAt(x) - 1;
    }
  };
  auto close = [&](Wires& group) {
    if (group.empty()) return;
    FillIdleWires(group, col, col + c);
    group.clear();
  };
  auto close_open_group = [&] {
    if (!barrier_group_.empty()) {
      close(barrier_group_);
    } else {
      close(gate_group_);
    }
  };

  for (const InstructionPtr& record : circuit_.instructions) {
    if (!record) continue;
    const Instruction& instruction = *record;
    const bool member = instruction.qubits.size() == 1 && instruction.kind != kind::kMeasure &&
                        !Conditioned(instruction);
    if (!member) {
      close_open_group();
      col += c;
      c = 0;
      fold_test();
      col += DrawInstruction(instruction, col);
      continue;
    }
    const uint64_t q = instruction.qubits.front();
    const bool barrier = IsBarrier(instruction.kind);
    Wires& own = barrier ? barrier_group_ : gate_group_;
    Wires& other = barrier ? gate_group_ : barrier_group_;
    if (own.empty()) {
      close(other);
      col += c;
      fold_test();
      c = DrawInstruction(instruction, col);
      own.push_back(q);
    } else if (std::find(own.begin(), own.end(), q) != own.end()) {
      close(own);
      col += c;
      fold_test();
      c = DrawInstruction(instruction, col);
      own.assign(1, q);
    } else {
      fold_test();
      const uint64_t u = DrawInstruction(instruction, col);
      if (u > c) ExtendWires(own, col + c, u - c);
      if (u < c) ExtendWires({q}, col + u, c - u);
      c = std::max(c, u);
      own.push_back(q);
    }
  }
  close_open_group();
  return col + c;
}

uint64_t CircuitDrawer::FoldAt(uint64_t x) {
  if (!measuring_) {
    for (uint64_t row = 0; row < row_count_; ++row) {
      Put(static_cast<int64_t>(row), x, kPageEnd);
      Put(static_cast<int64_t>(row), x + 1, kPageStart);
    }
    for (uint64_t w = 0; w < wire_count_; ++w) {
      for (uint64_t i = 0; i <= label_width_; ++i) Put(WireRow(w), x + 2 + i, At(WireRow(w), i));
    }
  }
  return label_width_ + 4;
}

void CircuitDrawer::FillClassical(uint64_t first, uint64_t end) {
  if (!has_classical_wire_) return;
  for (uint64_t col = first; col < end; ++col) Put(ClassicalRow(), col, kClassicalLine);
}

void CircuitDrawer::FillWiresExcept(uint64_t a, uint64_t b, uint64_t column, uint64_t count) {
  if (measuring_) return;
  for (uint64_t w = 0; w < quantum_wire_count_; ++w) {
    if (w == a || w == b) continue;
    for (uint64_t col = column; col < column + count; ++col) Put(WireRow(w), col, kLine);
  }
  FillClassical(column, column + count);
}

void CircuitDrawer::FillIdleWires(Wires wires, uint64_t first, uint64_t end) {
  if (measuring_) return;
  std::vector<bool> busy(quantum_wire_count_, false);
  for (uint64_t w : wires) {
    if (w < quantum_wire_count_) busy[w] = true;
  }
  for (uint64_t w = 0; w < quantum_wire_count_; ++w) {
    if (busy[w]) continue;
    for (uint64_t col = first; col < end; ++col) Put(WireRow(w), col, kLine);
  }
  FillClassical(first, end);
}

void CircuitDrawer::ExtendWires(Wires wires, uint64_t first, uint64_t n) {
  if (measuring_) return;
  for (uint64_t w : wires) {
    if (w >= quantum_wire_count_) continue;
    for (uint64_t col = first; col <= first + n; ++col) Put(WireRow(w), col, kLine);
  }
}

void CircuitDrawer::FillWiresOutside(uint64_t low, uint64_t high, uint64_t column,
                                     uint64_t count) {
  if (measuring_) return;
  for (uint64_t w = 0; w < quantum_wire_count_; ++w) {
    if (w >= low && w <= high) continue;
    for (uint64_t col = column; col < column + count; ++col) Put(WireRow(w), col, kLine);
  }
  FillClassical(column, column + count);
}

CircuitDrawer::Text CircuitDrawer::PageRow(size_t page, uint64_t row) const {
  const uint64_t first = page == 0 ? 0 : page_ends_[page - 1] + 1;
  const uint64_t last = page_ends_[page];
  Text text;
  text.reserve(last - first + 1);
  for (uint64_t col = first; col <= last; ++col) text.push_back(At(static_cast<int64_t>(row), col));
  return text;
}

void CircuitDrawer::Write(std::string filename) const {
  std::unique_ptr<platform::Utf16File> file;
  if (!filename.empty()) {
    file = std::make_unique<platform::Utf16File>(filename);
    if (!file->is_open()) throw RunTimeError("Unable to open file for writing circuit");
  }
  // A page goes to the console in one print: the same text as row by row,
  // at a fraction of the interpreter calls.
  for (size_t page = 0; page < page_ends_.size(); ++page) {
    std::string console;
    for (uint64_t row = 0; row < row_count_; ++row) {
      if (row > 0) console += '\n';
      // The file gets exactly the characters the console does.
      const std::u32string shown = text_.CodePoints(PageRow(page, row));
      console += Utf8(shown);
      if (file) file->Write(Utf16(shown) + u'\r');
    }
    platform::Print(console);
  }
}

}  // namespace velorin
