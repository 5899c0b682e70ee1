// Delay records, depth, width, size, and the look-ups between global indices
// and register names.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "circuit/errors.h"
#include "circuit/quantum_circuit.h"

namespace velorin {
namespace {

InstructionPtr Record(GateKind kind, std::vector<uint64_t> qubits) {
  auto record = std::make_shared<Instruction>();
  record->kind = kind;
  record->qubits = std::move(qubits);
  return record;
}

// A composite standing for the given parts.
InstructionPtr Composite(std::vector<uint64_t> qubits, InstructionList parts) {
  auto record = Record(kind::kComposite, std::move(qubits));
  record->sub_instructions = std::move(parts);
  return record;
}

void H(QuantumCircuit& c, uint64_t q) { c.OneQubitGate(OneQubitFamilyNamed("h"), {}, q, ""); }
void X(QuantumCircuit& c, uint64_t q) { c.OneQubitGate(OneQubitFamilyNamed("x"), {}, q, ""); }
void CX(QuantumCircuit& c, uint64_t a, uint64_t b) {
  c.TwoQubitGate(TwoQubitFamilyNamed("cx"), {}, a, b, "");
}

TEST(Delay, RecordsNanosecondsPerUnit) {
  struct Case {
    const char* unit;
    int32_t duration;
    double nanoseconds;
  };
  for (const Case& k : {Case{"ns", 5, 5.0}, Case{"us", 5, 5000.0}, Case{"s", 2, 2e9},
                        Case{"s", 3, 3e9}, Case{"ps", 3, 3 * 0.001}, Case{"ms", 1, 1e6},
                        Case{"dt", 1, 1e6}, Case{"Ms", 1, 1e6}, Case{"mS", 1, 1e6},
                        Case{"NS", -4, -4.0}, Case{"s", 2147483647, 2147483647 * 1e9}}) {
    QuantumCircuit c(3, "", 0.0);
    auto gate = c.delay(k.duration, uint64_t{2}, k.unit, "wait");
    ASSERT_EQ(c.instructions.size(), 1u) << k.unit;
    const auto& record = c.instructions[0];
    EXPECT_EQ(record->kind, 55);
    EXPECT_EQ(record->matrix.size(), 0);
    EXPECT_EQ(record->qubits, std::vector<uint64_t>{2});
    EXPECT_EQ(record->params, std::vector<double>{k.nanoseconds}) << k.unit;
    EXPECT_EQ(record->name, "wait");
    EXPECT_EQ(gate->params, std::vector<double>{k.nanoseconds}) << k.unit;
    EXPECT_EQ(gate->num_qubits, 3);
    EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{0, 0, 1}));
  }
}

TEST(Delay, LongDelaysKeepEveryNanosecond) {
  QuantumCircuit c(1, "", 0.0);
  c.delay(3, uint64_t{0}, "s", "");
  EXPECT_EQ(static_cast<int64_t>(c.instructions[0]->params[0]), int64_t{3000000000});
}

TEST(Delay, ListAndRegisterFormsReportTheDurationAsGiven) {
  QuantumCircuit c(5, "", 0.0);
  auto list_gate = c.delay(7, std::vector<int64_t>{0, 1}, "us", "");
  auto reg_gate = c.delay(7, QubitRange{3, 2}, "us", "");
  ASSERT_EQ(c.instructions.size(), 4u);
  std::vector<uint64_t> qubits;
  for (const auto& record : c.instructions) {
    EXPECT_EQ(record->params, std::vector<double>{7000.0});
    qubits.push_back(record->qubits[0]);
  }
  EXPECT_EQ(qubits, (std::vector<uint64_t>{0, 1, 3, 4}));
  EXPECT_EQ(list_gate->params, std::vector<double>{7.0});
  EXPECT_EQ(reg_gate->params, std::vector<double>{7.0});
  EXPECT_EQ(list_gate->instructions.size(), 2u);
}

TEST(Delay, BadUnitIsReportedBeforeTheQubit) {
  const char* message =
      "Invalid input for \"unit\". Try one of - \"s\", \"ms\", \"us\", \"ns\",\"ps\", or , "
      "\"dt\".";
  QuantumCircuit c(3, "", 0.0);
  for (const char* unit : {"sec", "m", " ns", "", "ns ", "\xc2\xb5s"}) {
    try {
      c.delay(1, uint64_t{9}, unit, "");
      FAIL() << "accepted " << unit;
    } catch (const RunTimeError& e) {
      EXPECT_STREQ(e.what(), message);
    }
  }
  EXPECT_THROW(c.delay(1, std::vector<int64_t>{0}, "sec", ""), RunTimeError);
  EXPECT_TRUE(c.instructions.empty());
  // An empty list looks at no unit.
  auto gate = c.delay(4, std::vector<int64_t>{}, "sec", "l");
  EXPECT_TRUE(gate->instructions.empty());
  EXPECT_EQ(gate->name, "l");
  EXPECT_EQ(gate->params, std::vector<double>{4.0});
  EXPECT_EQ(gate->num_qubits, 3);
  // A bad qubit part-way keeps the delays before it.
  EXPECT_THROW(c.delay(1, std::vector<int64_t>{0, 5, 1}, "ns", ""), RunTimeError);
  EXPECT_EQ(c.instructions.size(), 1u);
}

TEST(Depth, CountsPerQubitAndLevelsAtBarriers) {
  QuantumCircuit c(3, "", 0.0);
  EXPECT_EQ(c.depth(), 0);
  H(c, 0);
  CX(c, 0, 1);
  EXPECT_EQ(c.depth(), 2);

  QuantumCircuit d(3, "", 0.0);
  X(d, 1);
  X(d, 1);
  CX(d, 0, 1);
  H(d, 0);
  EXPECT_EQ(d.depth(), 3);  // qubit 1 reaches 3, qubit 0 only 2

  QuantumCircuit e(3, "", 0.0);
  H(e, 0);
  X(e, 1);
  X(e, 1);
  e.barrier("");
  H(e, 2);
  EXPECT_EQ(e.depth(), 3);
  e.measure(uint64_t{2}, "");
  e.delay(1, uint64_t{2}, "ns", "");
  e.reset(uint64_t{2}, "");
  EXPECT_EQ(e.depth(), 6);
  e.clear();
  EXPECT_EQ(e.depth(), 0);
}

TEST(Depth, CompositePartsFirstThenOneMoreOnItsQubits) {
  QuantumCircuit c(3, "", 0.0);
  InstructionList parts;
  for (int k = 0; k < 5; ++k) parts.push_back(Record(kind::kCX, {0, 2}));
  parts.push_back(Record(kind::kBarrier, {0}));
  parts.push_back(Record(kind::kH, {1}));
  c.instructions.push_back(Composite({0, 1, 2}, std::move(parts)));
  // Parts: qubits 0 and 2 reach 5, the barrier lifts 1 to 5, h makes it 6; then +1 each.
  EXPECT_EQ(c.depth(), 7);
  EXPECT_EQ(c.size(), 6);
}

TEST(Size, LeavesOutBarriersAndCountsCompositesByTheirParts) {
  QuantumCircuit c(3, "", 0.0);
  EXPECT_EQ(c.size(), 0);
  H(c, 0);
  c.barrier("");
  c.measure(uint64_t{1}, "");
  EXPECT_EQ(c.size(), 2);
  c.instructions.push_back(Record(kind::kBarrierAlt, {0}));
  InstructionList inner{Record(kind::kX, {1}), Record(kind::kBarrier, {1})};
  InstructionList outer{Record(kind::kH, {0}), Composite({1}, std::move(inner))};
  c.instructions.push_back(Composite({0, 1}, std::move(outer)));
  EXPECT_EQ(c.size(), 4);
}

TEST(DepthAndSize, DeeplyNestedCompositesNeedNoDeepRecursion) {
  QuantumCircuit c(2, "", 0.0);
  constexpr int kLevels = 200000;
  InstructionPtr innermost = Record(kind::kX, {1});
  InstructionPtr chain = innermost;
  for (int level = 0; level < kLevels; ++level) chain = Composite({1}, {chain});
  c.instructions.push_back(chain);
  chain.reset();
  EXPECT_EQ(c.size(), 1);
  EXPECT_EQ(c.depth(), kLevels + 1);
  innermost.reset();
  c.clear();
  EXPECT_EQ(c.size(), 0);
}

TEST(Release, DeepNestIsFreedWithoutDeepRecursion) {
  InstructionPtr chain = Record(kind::kX, {0});
  for (int level = 0; level < 500000; ++level) chain = Composite({0}, {chain});
  std::weak_ptr<Instruction> innermost = chain;
  while (!innermost.lock()->sub_instructions.empty()) {
    innermost = innermost.lock()->sub_instructions.front();
  }
  chain.reset();  // would overflow the stack if each level released the next
  EXPECT_TRUE(innermost.expired());
}

TEST(Width, QubitsPlusClassicalSlots) {
  EXPECT_EQ(QuantumCircuit(3, 1, "", 0.0).width(), 4);
  EXPECT_EQ(QuantumCircuit(2, "", 0.0).width(), 4);
  EXPECT_EQ(QuantumCircuit(0, "", 0.0).width(), 200);
}

class RegisterLookups : public ::testing::Test {
 protected:
  RegisterLookups()
      : q(2, "q"), r(3, "r"), a(2, "anc"), cr(4, "cr"),
        c(std::vector<RegisterArg>{&q, &r, &a, &cr}, "", 0.0) {}
  QuantumRegister q, r;
  AncillaRegister a;
  ClassicalRegister cr;
  QuantumCircuit c;
};

TEST_F(RegisterLookups, LocateQubitGivesOffsetAndName) {
  EXPECT_EQ(c.LocateQubit(0), (std::pair<int64_t, std::string>{0, "q"}));
  EXPECT_EQ(c.LocateQubit(3), (std::pair<int64_t, std::string>{1, "r"}));
  EXPECT_EQ(c.LocateQubit(4), (std::pair<int64_t, std::string>{2, "r"}));
  EXPECT_EQ(c.LocateQubit(6), (std::pair<int64_t, std::string>{1, "anc"}));
  try {
    c.LocateQubit(7);
    FAIL() << "no exception";
  } catch (const RunTimeError& e) {
    EXPECT_STREQ(e.what(), "Invalid Qubit Index: 7");
  }
  // Only the upper end is compared.
  EXPECT_EQ(c.LocateQubit(-3).first, -3);
  EXPECT_EQ(c.LocateQubit(INT64_MIN).second, "q");
}

TEST_F(RegisterLookups, LocateClbitSearchesTheClassicalRegisters) {
  // The circuit adds a classical register for the qubits its own ones leave out.
  EXPECT_EQ(c.LocateClbit(3), (std::pair<int64_t, std::string>{3, "cr"}));
  EXPECT_EQ(c.LocateClbit(5).first, 1);
  try {
    c.LocateClbit(7);
    FAIL() << "no exception";
  } catch (const RunTimeError& e) {
    EXPECT_STREQ(e.what(), "Invalid Classical Bit Index: 7");
  }
}

TEST_F(RegisterLookups, RegisterIndexAndSizeByName) {
  EXPECT_EQ(c.RegisterQubitIndex("r", 0), 2);
  EXPECT_EQ(c.RegisterQubitIndex("r", 7), 9);  // the offset is not bounded by the size
  EXPECT_EQ(c.RegisterQubitIndex("anc", 1), 6);
  EXPECT_EQ(c.RegisterQubitIndex("R", 0), -1);
  EXPECT_EQ(c.RegisterQubitIndex("cr", 0), -1);
  EXPECT_EQ(c.RegisterSize("r"), 3);
  EXPECT_EQ(c.RegisterSize("anc"), 2);
  EXPECT_EQ(c.RegisterSize("cr"), -1);
  EXPECT_EQ(c.RegisterSize("nope"), -1);
}

}  // namespace
}  // namespace velorin
