// Drawing records that the Python surface cannot make: unknown kinds, records
// short of qubits, composites whose names or operand names do not fit.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "circuit/errors.h"
#include "circuit/quantum_circuit.h"
#include "draw/wide_text.h"
#include "platform/host.h"

namespace velorin {
namespace {

std::string gPrinted;

class DrawRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::HostHooks hooks;
    hooks.print = [](const std::string& text, const std::string& end) { gPrinted += text + end; };
    platform::SetHostHooks(std::move(hooks));
    gPrinted.clear();
    qreg_ = std::make_unique<QuantumRegister>(4, "q");
    creg_ = std::make_unique<ClassicalRegister>(4, "c");
    circuit_ = std::make_unique<QuantumCircuit>(
        std::vector<RegisterArg>{qreg_.get(), creg_.get()}, "", 0.0);
  }

  InstructionPtr Add(GateKind kind, std::vector<uint64_t> qubits) {
    auto record = std::make_shared<Instruction>();
    record->kind = kind;
    record->qubits = std::move(qubits);
    circuit_->instructions.push_back(record);
    return record;
  }

  // The printed rows after the labels and start marks, one a line.
  std::string Drawn() {
    circuit_->draw("", true, true, -1);
    std::string rows;
    draw::CellText text;
    size_t start = 0;
    while (start < gPrinted.size()) {
      const size_t end = gPrinted.find('\n', start);
      const draw::Cells row = text.Widen(gPrinted.substr(start, end - start));
      rows += draw::Utf8(text.CodePoints(row.substr(std::min<size_t>(7, row.size())))) + "\n";
      start = end + 1;
    }
    return rows;
  }

  std::string ErrorOf() {
    try {
      circuit_->draw("", true, true, 80);
    } catch (const RunTimeError& e) {
      EXPECT_EQ(gPrinted, "");
      return e.what();
    }
    return "";
  }

  std::unique_ptr<QuantumRegister> qreg_;
  std::unique_ptr<ClassicalRegister> creg_;
  std::unique_ptr<QuantumCircuit> circuit_;
};

TEST_F(DrawRecords, UnknownKindsAreRefused) {
  for (GateKind kind : {52, 0, 57, -1}) {
    circuit_->instructions.clear();
    Add(kind, {0});
    EXPECT_EQ(ErrorOf(), "Unexpected gate provided.") << kind;
  }
}

TEST_F(DrawRecords, RecordsShortOfQubitsOrBitsAreRefused) {
  struct Case {
    GateKind kind;
    std::vector<uint64_t> qubits;
  };
  for (const Case& k : {Case{kind::kH, {}}, Case{kind::kCX, {1}}, Case{kind::kSwap, {1}},
                        Case{kind::kRZZ, {1}}, Case{kind::kISwap, {1}}, Case{kind::kCCX, {0, 1}},
                        Case{kind::kCSwap, {0, 1}}, Case{kind::kMeasure, {0}}}) {
    circuit_->instructions.clear();
    Add(kind::kH, {0});
    Add(k.kind, k.qubits);  // the measure has no classical bit
    EXPECT_EQ(ErrorOf(), "Unexpected gate provided.") << k.kind;
  }
}

TEST_F(DrawRecords, QubitsBeyondTheWiresAreRefused) {
  Add(kind::kCX, {0, 7});
  EXPECT_EQ(ErrorOf(), "Invalid Qubit Index: 7");
}

TEST_F(DrawRecords, NameOfASpecialGateOnOtherQubitsIsABox) {
  Add(kind::kComposite, {2, 0})->name = "ccx";
  EXPECT_EQ(Drawn(),
            "┌───────┐ \n"
            "┤1      ├ \n"
            "│       │ \n"
            "┤  ccx  ├ \n"
            "│       │ \n"
            "┤0      ├ \n"
            "└───────┘ \n"
            "───────── \n"
            "          \n"
            "═════════ \n"
            "          \n");
}

TEST_F(DrawRecords, MissingOperandNamesShowPositions) {
  auto record = Add(kind::kComposite, {0, 1, 2});
  record->name = "Pauli";
  record->sub_names = {"X"};
  EXPECT_EQ(Drawn(),
            "┌─────────┐ \n"
            "┤X        ├ \n"
            "│         │ \n"
            "┤1 Pauli  ├ \n"
            "│         │ \n"
            "┤2        ├ \n"
            "└─────────┘ \n"
            "─────────── \n"
            "            \n"
            "═══════════ \n"
            "            \n");
}

TEST_F(DrawRecords, ControlInsideTheBoxHasNoLinkBelow) {
  auto record = Add(kind::kComposite, {1, 0, 3});
  record->name = "blk";
  record->num_ctrl_qubits = 1;
  EXPECT_EQ(Drawn(),
            "┌───────┐ \n"
            "┤0      ├ \n"
            "│       │ \n"
            "┤   ■   ├ \n"
            "│  blk  │ \n"
            "┤       ├ \n"
            "│       │ \n"
            "┤1      ├ \n"
            "└───────┘ \n"
            "═════════ \n"
            "          \n");
}

TEST_F(DrawRecords, CompositeWithoutQubitsDrawsNothing) {
  Add(kind::kComposite, {})->name = "empty";
  EXPECT_EQ(Drawn(),
            " \n"
            " \n"
            " \n"
            " \n"
            " \n"
            " \n"
            " \n"
            " \n"
            " \n"
            " \n"
            " \n");
}

TEST_F(DrawRecords, DelaysBeyondSixtyFourBitsShowTheNearestEnd) {
  Add(kind::kDelay, {0})->params = {1e30};
  Add(kind::kDelay, {0})->params = {-1e30};
  Add(kind::kDelay, {0})->params = {std::nan("")};
  const std::string rows = Drawn();
  EXPECT_NE(rows.find("\n┤ delay[9223372036854775807] ns  ├┤ delay[-9223372036854775808] ns ├"
                      "┤ delay[0] ns  ├ \n"),
            std::string::npos)
      << rows;
}

}  // namespace
}  // namespace velorin
