// The OpenQASM writer, and the reader of what it writes, on nests far deeper
// than any stack of calls could follow.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "circuit/gate_families.h"
#include "circuit/quantum_circuit.h"
#include "qasm/qasm2.h"

namespace velorin {
namespace {

constexpr int kDepth = 100000;

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// `depth` composites on qubit 0, each holding the next; the innermost holds `leaf`.
void AppendNest(QuantumCircuit& qc, int depth, InstructionPtr leaf) {
  InstructionPtr inner = std::move(leaf);
  for (int level = 0; level < depth; ++level) {
    auto composite = std::make_shared<Instruction>();
    composite->kind = kind::kComposite;
    composite->name = "lvl";
    composite->qubits = {0};
    composite->sub_instructions.push_back(std::move(inner));
    inner = std::move(composite);
  }
  qc.instructions.push_back(std::move(inner));
}

TEST(QasmWriter, DeepUnitaryNestGetsOneDefinitionPerLevelInnermostFirst) {
  QuantumCircuit qc(1, 1, "", 0.0);
  qc.OneQubitGate(OneQubitFamilyNamed("x"), {}, 0, "");
  InstructionPtr x = qc.instructions.back();
  qc.instructions.clear();
  AppendNest(qc, kDepth, x);

  const std::string text = qc.qasm(false, "", "");
  EXPECT_EQ(Count(text, "\ngate lvl_"), static_cast<size_t>(kDepth));
  // Suffixes go parent first, so the innermost level has the highest one.
  const std::string innermost = "gate lvl_" + std::to_string(kDepth) + " q_a {\nx q_a;\n}\n";
  EXPECT_NE(text.find("// Custom gate definitions\n" + innermost), std::string::npos);
  EXPECT_NE(text.find("gate lvl_1 q_a {\nlvl_2 q_a;\n}\n\n// Instructions\nlvl_1 q"),
            std::string::npos);
  // The reader expands the calls as deep as they go, and the copy writes alike.
  qasm2 reader;
  EXPECT_EQ(reader.loads(text, "", "append", false)->qasm(false, "", ""), text);
}

TEST(QasmWriter, DeepNestAroundAMeasureIsWrittenInline) {
  QuantumCircuit qc(1, 1, "", 0.0);
  qc.measure(0, 0, "");
  InstructionPtr measure = qc.instructions.back();
  qc.instructions.clear();
  AppendNest(qc, kDepth, measure);

  const std::string text = qc.qasm(false, "", "");
  EXPECT_EQ(text.find("gate "), std::string::npos);
  const std::string program = text.substr(text.find("// Instructions\n"));
  EXPECT_EQ(Count(program, "\n"), 2u);
  EXPECT_NE(program.find("\nmeasure q"), std::string::npos);
}

}  // namespace
}  // namespace velorin
