// Every one-qubit gate family, recorded through the circuit, against matrices
// computed here from the textbook definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "circuit/errors.h"
#include "circuit/quantum_circuit.h"
#include "gate_reference.h"

namespace velorin {
namespace {

using namespace reference;
using Angles = std::vector<double>;

constexpr double kPi = 3.141592653589793;

// c I - i s (n . sigma), with c = cos(a/2), s = sin(a/2).
M Rotation(double angle, const M& axis_operator) {
  return C(std::cos(angle / 2), 0.0) * I2() + C(0.0, -std::sin(angle / 2)) * axis_operator;
}

M Rx(const Angles& a) { return Rotation(a[0], X()); }
M Ry(const Angles& a) { return Rotation(a[0], Y()); }
M Rz(const Angles& a) { return Mat2(E(-a[0] / 2), 0.0, 0.0, E(a[0] / 2)); }
M PhaseMatrix(const Angles& a) { return Mat2(1.0, 0.0, 0.0, E(a[0])); }
M R(const Angles& a) { return Rotation(a[0], std::cos(a[1]) * X() + std::sin(a[1]) * Y()); }
M U(const Angles& a) {
  const double c = std::cos(a[0] / 2), s = std::sin(a[0] / 2);
  return Mat2(c, -(E(a[2]) * s), E(a[1]) * s, E(a[1] + a[2]) * c);
}
M U2(const Angles& a) { return kR * Mat2(1.0, -E(a[1]), E(a[0]), E(a[0] + a[1])); }
M Rv(const Angles& a) {
  const double n = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  if (n == 0.0) return I2();  // the limit of the rotation as the vector shrinks
  const double w = 1.0 / n;   // the axis is the vector times the reciprocal of its length
  return Rotation(n, (w * a[0]) * X() + (w * a[1]) * Y() + (w * a[2]) * Z());
}

struct Family {
  const char* method;
  int kind;
  std::function<M(const Angles&)> matrix;
  std::vector<Angles> angle_sets;
};

M Fixed(C a, C b, C c, C d) { return Mat2(a, b, c, d); }

const std::vector<Family>& Families() {
  const C i(0, 1);
  const std::vector<Angles> none{{}};
  static const std::vector<Family> families = {
      {"h", 1, [](const Angles&) -> M { return Fixed(kR, kR, kR, -kR); }, none},
      {"x", 2, [](const Angles&) -> M { return X(); }, none},
      {"i", 3, [](const Angles&) -> M { return I2(); }, none},
      {"id", 3, [](const Angles&) -> M { return I2(); }, none},
      {"t", 5, [](const Angles&) -> M { return Fixed(1, 0, 0, E(kPi / 4)); }, none},
      {"s", 6, [](const Angles&) -> M { return Fixed(1, 0, 0, E(kPi / 2)); }, none},
      {"tdg", 7, [](const Angles&) -> M { return Fixed(1, 0, 0, E(-kPi / 4)); }, none},
      // sdg's -i is exact, so it is not the conjugate of s.
      {"sdg", 8, [i](const Angles&) -> M { return Fixed(1, 0, 0, -i); }, none},
      {"sx", 9, [i](const Angles&) -> M { return 0.5 * Fixed(1.0 + i, 1.0 - i, 1.0 - i, 1.0 + i); },
       none},
      {"sxdg", 10, [i](const Angles&) -> M { return 0.5 * Fixed(1.0 - i, 1.0 + i, 1.0 + i, 1.0 - i); },
       none},
      {"y", 18, [](const Angles&) -> M { return Y(); }, none},
      {"z", 19, [](const Angles&) -> M { return Z(); }, none},
      {"p", 11, PhaseMatrix, {{0.0}, {kPi}, {-0.7}, {2.5}, {1e-3}}},
      {"r", 12, R, {{0.0, 0.0}, {kPi, 0.3}, {-0.7, 2.0}, {2.5, -kPi / 2}}},
      {"rv", 13, Rv, {{0.3, -0.4, 1.2}, {kPi, 0.0, 0.0}, {0.0, 0.0, 0.0}, {-2.0, 1e-3, 0.5},
                      {1e-200, 0.0, 0.0}}},
      {"rx", 14, Rx, {{0.0}, {kPi}, {-0.7}, {2.5}}},
      {"ry", 15, Ry, {{0.0}, {kPi}, {-0.7}, {2.5}}},
      {"rz", 16, Rz, {{0.0}, {kPi}, {-0.7}, {2.5}}},
      {"u", 17, U, {{0.0, 0.0, 0.0}, {kPi, 0.2, -0.4}, {-0.7, 2.0, 3.0}, {2.5, -kPi, kPi / 3}}},
      {"u0", 54, [](const Angles&) -> M { return I2(); }, {{0.0}, {1.7}, {-kPi}}},
      {"u1", 48, PhaseMatrix, {{0.0}, {kPi}, {-0.7}, {2.5}}},
      {"u2", 49, U2, {{0.0, kPi}, {0.2, -0.4}, {-0.7, 2.0}, {kPi, kPi}}},
      {"u3", 17, U, {{0.0, 0.0, 0.0}, {kPi, 0.2, -0.4}, {-0.7, 2.0, 3.0}}},
  };
  return families;
}

// Records through the family's one-qubit form on qubit 1 of a 3-qubit circuit.
InstructionPtr Record(QuantumCircuit& c, const std::string& method, const Angles& angles) {
  c.OneQubitGate(OneQubitFamilyNamed(method), angles, uint64_t{1}, "lbl");
  return c.instructions.back();
}

TEST(OneQubitGates, EveryFamilyRecordsItsTextbookMatrix) {
  for (const Family& f : Families()) {
    for (const Angles& angles : f.angle_sets) {
      QuantumCircuit c(3, "", 0.0);
      const InstructionPtr record = Record(c, f.method, angles);
      const std::string what = std::string(f.method) + " " + ::testing::PrintToString(angles);
      ExpectSameMatrix(record->matrix, f.matrix(angles), what);
      EXPECT_TRUE(IsUnitary(record->matrix)) << what;
      EXPECT_EQ(record->kind, f.kind) << what;
      EXPECT_EQ(record->params, angles) << what;
      EXPECT_EQ(record->qubits, std::vector<uint64_t>{1}) << what;
      EXPECT_EQ(record->name, "lbl") << what;
      EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{0, 1, 0})) << what;
    }
  }
}

TEST(OneQubitGates, EveryMethodHasAFamily) {
  std::vector<std::string> methods;
  for (const OneQubitFamily& f : OneQubitFamilies()) methods.push_back(f.method);
  std::vector<std::string> expected;
  for (const Family& f : Families()) expected.push_back(f.method);
  EXPECT_EQ(methods, expected);
}

TEST(OneQubitGates, ListAndRegisterFormsRecordTheSameMatrixPerQubit) {
  QuantumCircuit c(4, "", 0.0);
  const Angles angles{0.4, -1.1, 2.0};
  const OneQubitFamily& u = OneQubitFamilyNamed("u");
  auto list_gate = c.OneQubitGate(u, angles, std::vector<int64_t>{2, 0, 2}, "");
  auto reg_gate = c.OneQubitGate(u, angles, QubitRange{1, 2}, "");
  ASSERT_EQ(c.instructions.size(), 5u);
  std::vector<uint64_t> qubits;
  for (const auto& record : c.instructions) {
    ExpectSameMatrix(record->matrix, U(angles), "u");
    EXPECT_EQ(record->params, angles);
    qubits.push_back(record->qubits[0]);
  }
  EXPECT_EQ(qubits, (std::vector<uint64_t>{2, 0, 2, 1, 2}));
  EXPECT_EQ(list_gate->instructions.size(), 3u);
  EXPECT_EQ(list_gate->params, angles);
  EXPECT_EQ(reg_gate->instructions.size(), 2u);
}

// Values the gates must produce to the last bit.
TEST(OneQubitGates, BitExactEntries) {
  QuantumCircuit c(2, "", 0.0);
  auto p = Record(c, "p", {kPi})->matrix;
  EXPECT_EQ(p(1, 1), C(-1.0, 1.2246467991473532e-16));
  EXPECT_EQ(p(0, 1), C(0.0, 0.0));
  auto rx = Record(c, "rx", {kPi})->matrix;
  EXPECT_EQ(rx(0, 0), C(6.123233995736766e-17, 0.0));
  EXPECT_EQ(rx(0, 1), C(0.0, -1.0));
  EXPECT_EQ(rx(1, 0), C(0.0, -1.0));
  auto rz = Record(c, "rz", {kPi})->matrix;
  EXPECT_EQ(rz(0, 0), C(6.123233995736766e-17, -1.0));
  EXPECT_EQ(rz(1, 1), C(6.123233995736766e-17, 1.0));
  auto u2 = Record(c, "u2", {0.0, kPi})->matrix;
  EXPECT_EQ(u2(0, 0), C(0.7071067811865476, 0.0));
  EXPECT_EQ(u2(0, 1), C(0.7071067811865476, -8.659560562354934e-17));
  EXPECT_EQ(u2(1, 0), C(0.7071067811865476, 0.0));
  EXPECT_EQ(u2(1, 1), C(-0.7071067811865476, 8.659560562354934e-17));
  // Real entries have a +0 imaginary part.
  EXPECT_FALSE(std::signbit(Record(c, "ry", {0.5})->matrix(1, 0).imag()));
}

TEST(OneQubitGates, RAtZeroPhiIsRx) {
  QuantumCircuit c(2, "", 0.0);
  // Equal values; zero parts may differ in sign.
  ExpectSameMatrix(Record(c, "r", {1.3, 0.0})->matrix, Record(c, "rx", {1.3})->matrix, "r, rx");
}

TEST(OneQubitGates, RvOfAZeroVectorIsTheIdentityAndKeepsItsParams) {
  QuantumCircuit c(2, "", 0.0);
  auto gate = c.OneQubitGate(OneQubitFamilyNamed("rv"), {0.0, -0.0, 0.0}, uint64_t{0}, "");
  const auto& record = c.instructions.back();
  ExpectSameMatrix(record->matrix, I2(), "rv(0, 0, 0)");
  EXPECT_EQ(record->params.size(), 3u);
  EXPECT_TRUE(std::signbit(record->params[1]));
  EXPECT_EQ(gate->params.size(), 3u);
}

TEST(OneQubitGates, RvMatchesTheExponentialOfItsGenerator) {
  // exp(-i/2 v.sigma) summed as a power series, independently of the closed form.
  QuantumCircuit c(2, "", 0.0);
  const Angles v{0.3, -0.4, 1.2};
  const M g = C(0.0, -0.5) * (v[0] * X() + v[1] * Y() + v[2] * Z());
  M sum = I2(), term = I2();
  for (int k = 1; k < 40; ++k) {
    term = term * g / static_cast<double>(k);
    sum += term;
  }
  EXPECT_TRUE(Record(c, "rv", v)->matrix.isApprox(sum, 1e-14));
}

TEST(OneQubitGates, NonFiniteAnglesAreStoredUnchanged) {
  QuantumCircuit c(2, "", 0.0);
  auto record = Record(c, "rx", {NAN});
  EXPECT_TRUE(std::isnan(record->params[0]));
  EXPECT_TRUE(std::isnan(record->matrix(0, 0).real()));
  record = Record(c, "p", {INFINITY});
  EXPECT_EQ(record->params[0], INFINITY);
}

TEST(OneQubitGates, InvalidQubitRecordsNothing) {
  QuantumCircuit c(3, "", 0.0);
  try {
    c.OneQubitGate(OneQubitFamilyNamed("rx"), {0.1}, uint64_t{3}, "");
    FAIL() << "no exception";
  } catch (const RunTimeError& e) {
    EXPECT_STREQ(e.what(), "Invalid Parameter passed to the gate instruction.");
  }
  EXPECT_TRUE(c.instructions.empty());
  // A list stops at its first bad entry; earlier records stay.
  EXPECT_THROW(c.OneQubitGate(OneQubitFamilyNamed("u2"), {0.1, 0.2},
                              std::vector<int64_t>{0, -1, 1}, ""),
               RunTimeError);
  ASSERT_EQ(c.instructions.size(), 1u);
  EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{1, 0, 0}));
}

TEST(OneQubitGates, RecorderAppendsToAnyListButValidatesAndMarksItsCircuit) {
  QuantumCircuit c(2, "", 0.0);
  InstructionList sub;
  EXPECT_EQ(c.AppendGate(OneQubitFamilyNamed("u1"), {0.25}, 1, sub, "part"), 0);
  EXPECT_TRUE(c.instructions.empty());
  ASSERT_EQ(sub.size(), 1u);
  EXPECT_EQ(sub[0]->kind, 48);
  EXPECT_EQ(sub[0]->name, "part");
  EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{0, 1}));
  EXPECT_THROW(c.AppendGate(OneQubitFamilyNamed("u1"), {0.25}, 2, sub, ""), RunTimeError);
  // The angle count is part of the family: a wrong count never reads past the list.
  EXPECT_THROW(c.AppendGate(OneQubitFamilyNamed("u"), {0.25}, 0, sub, ""), std::invalid_argument);
  EXPECT_EQ(sub.size(), 1u);
}

}  // namespace
}  // namespace velorin
