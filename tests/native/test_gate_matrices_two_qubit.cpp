// Every two-qubit gate method, recorded through the circuit, against matrices
// computed here from the textbook definitions (control first, index b0 + 2*b1).
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

M Rx(double t) { return std::cos(t / 2) * I2() + C(0.0, -std::sin(t / 2)) * X(); }
M Ry(double t) { return std::cos(t / 2) * I2() + C(0.0, -std::sin(t / 2)) * Y(); }
M Rz(double t) { return Mat2(E(-t / 2), 0.0, 0.0, E(t / 2)); }
M U3(double theta, double phi, double lambda) {
  const double c = std::cos(theta / 2), s = std::sin(theta / 2);
  return Mat2(c, -(E(lambda) * s), E(phi) * s, E(phi + lambda) * c);
}

// exp(-i t/2 P) for a two-qubit Pauli product P.
M PauliRotation(double t, const M& pauli) {
  return std::cos(t / 2) * M::Identity(4, 4) + C(0.0, -std::sin(t / 2)) * pauli;
}

// CX with the second listed qubit as control.
M ReversedCX() { return Kron(P0(), I2()) + Kron(P1(), X()); }

struct Family {
  const char* method;
  int kind;
  std::function<M(const Angles&)> matrix;
  std::vector<Angles> angle_sets;
};

const std::vector<Family>& Families() {
  const C i(0, 1);
  const std::vector<Angles> none{{}};
  const std::vector<Angles> one{{0.0}, {kPi}, {kPi / 2}, {-0.7}, {2.5}};
  static const std::vector<Family> families = {
      {"cx", 20, [](const Angles&) -> M { return Controlled(X()); }, none},
      {"cy", 21, [](const Angles&) -> M { return Controlled(Y()); }, none},
      {"cz", 22, [](const Angles&) -> M { return Controlled(Z()); }, none},
      {"ch", 23, [](const Angles&) -> M { return Controlled(Mat2(kR, kR, kR, -kR)); }, none},
      {"cnot", 20, [](const Angles&) -> M { return Controlled(X()); }, none},
      {"cp", 25, [](const Angles& a) -> M { return Controlled(Mat2(1, 0, 0, E(a[0]))); }, one},
      {"cs", 29, [i](const Angles&) -> M { return Controlled(Mat2(1, 0, 0, i)); }, none},
      {"csdg", 30, [i](const Angles&) -> M { return Controlled(Mat2(1, 0, 0, -i)); }, none},
      {"csx", 31,
       [i](const Angles&) -> M { return Controlled(0.5 * Mat2(1.0 + i, 1.0 - i, 1.0 - i, 1.0 + i)); },
       none},
      {"crx", 26, [](const Angles& a) -> M { return Controlled(Rx(a[0])); }, one},
      {"cry", 27, [](const Angles& a) -> M { return Controlled(Ry(a[0])); }, one},
      {"crz", 28, [](const Angles& a) -> M { return Controlled(Rz(a[0])); }, one},
      // The global phase gamma is folded into each phase before the exponential.
      {"cu", 32,
       [](const Angles& a) -> M {
         const double c = std::cos(a[0] / 2), s = std::sin(a[0] / 2);
         const double phi = a[1], lambda = a[2], gamma = a[3];
         return Controlled(Mat2(E(gamma) * c, -(E(lambda + gamma) * s), E(phi + gamma) * s,
                                E((phi + gamma) + lambda) * c));
       },
       {{0.0, 0.0, 0.0, 0.0}, {kPi, 0.2, -0.4, 0.9}, {-0.7, 2.0, 3.0, -1.5}}},
      {"dcx", 33, [](const Angles&) -> M { return M(ReversedCX() * Controlled(X())); }, none},
      {"ecr", 34, [](const Angles&) -> M { return M(kR * (Kron(I2(), X()) - Kron(X(), Y()))); },
       none},
      {"iswap", 35,
       [i](const Angles&) -> M {
         M m = M::Zero(4, 4);
         m(0, 0) = m(3, 3) = 1.0;
         m(1, 2) = m(2, 1) = i;
         return m;
       },
       none},
      {"rxx", 36, [](const Angles& a) -> M { return PauliRotation(a[0], Kron(X(), X())); }, one},
      {"ryy", 37, [](const Angles& a) -> M { return PauliRotation(a[0], Kron(Y(), Y())); }, one},
      // Z on the first qubit, X on the second.
      {"rzx", 38, [](const Angles& a) -> M { return PauliRotation(a[0], Kron(X(), Z())); }, one},
      {"rzz", 39,
       [](const Angles& a) -> M {
         M m = M::Zero(4, 4);
         for (int k = 0; k < 4; ++k) {
           const double zz = ((k & 1) ? -1.0 : 1.0) * ((k & 2) ? -1.0 : 1.0);
           m(k, k) = E(-(a[0] / 2) * zz);
         }
         return m;
       },
       one},
      {"swap", 40,
       [](const Angles&) -> M { return M(ReversedCX() * Controlled(X()) * ReversedCX()); }, none},
      // The engine applies cu1 as the phase of this entry: it holds the angle itself.
      {"cu1", 46,
       [](const Angles& a) -> M {
         M m = M::Identity(4, 4);
         m(3, 3) = C(a[0], 0.0);
         return m;
       },
       one},
      {"cu3", 47, [](const Angles& a) -> M { return Controlled(U3(a[0], a[1], a[2])); },
       {{0.0, 0.0, 0.0}, {kPi, 0.2, -0.4}, {-0.7, 2.0, 3.0}}},
  };
  return families;
}

TEST(TwoQubitGates, EveryMethodRecordsItsTextbookMatrix) {
  for (const Family& f : Families()) {
    for (const Angles& angles : f.angle_sets) {
      QuantumCircuit c(5, "", 0.0);
      auto gate = c.TwoQubitGate(TwoQubitFamilyNamed(f.method), angles, 3, 1, "lbl");
      const std::string what = std::string(f.method) + " " + ::testing::PrintToString(angles);
      ASSERT_EQ(c.instructions.size(), 1u) << what;
      const auto& record = c.instructions.back();
      ExpectSameMatrix(record->matrix, f.matrix(angles), what);
      if (f.kind != 46) {
        EXPECT_TRUE(IsUnitary(record->matrix)) << what;
      }
      EXPECT_EQ(record->kind, f.kind) << what;
      EXPECT_EQ(record->qubits, (std::vector<uint64_t>{3, 1})) << what;
      EXPECT_EQ(record->params, angles) << what;
      EXPECT_EQ(record->name, "lbl") << what;
      EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{0, 1, 0, 1, 0})) << what;
      // The gate: the same angles (cu3 included), the circuit's qubit count, one record.
      EXPECT_EQ(gate->params, angles) << what;
      EXPECT_EQ(gate->num_qubits, 5) << what;
      EXPECT_EQ(gate->name, "lbl") << what;
      ASSERT_EQ(gate->instructions.size(), 1u) << what;
      EXPECT_EQ(gate->instructions[0].lock(), record) << what;
    }
  }
}

TEST(TwoQubitGates, EveryMethodHasAFamily) {
  std::vector<std::string> methods;
  for (const TwoQubitFamily& f : TwoQubitFamilies()) {
    if (f.doc != nullptr) methods.push_back(f.method);
  }
  std::vector<std::string> expected;
  for (const Family& f : Families()) expected.push_back(f.method);
  EXPECT_EQ(methods, expected);
}

TEST(TwoQubitGates, PhaseOfCu1EntryIsCpPhase) {
  QuantumCircuit c(2, "", 0.0);
  c.TwoQubitGate(TwoQubitFamilyNamed("cu1"), {kPi / 2}, 0, 1, "");
  c.TwoQubitGate(TwoQubitFamilyNamed("cp"), {kPi / 2}, 0, 1, "");
  const C cu1 = c.instructions[0]->matrix(3, 3);
  EXPECT_EQ(cu1, C(1.5707963267948966, 0.0));
  EXPECT_EQ(c.instructions[1]->matrix(3, 3), C(6.123233995736766e-17, 1.0));
  EXPECT_EQ(E(cu1.real()), c.instructions[1]->matrix(3, 3));
}

TEST(TwoQubitGates, BitExactEntries) {
  QuantumCircuit c(2, "", 0.0);
  auto record = [&c](const char* method, Angles angles) {
    c.TwoQubitGate(TwoQubitFamilyNamed(method), angles, 0, 1, "");
    return c.instructions.back()->matrix;
  };
  EXPECT_EQ(record("cp", {kPi})(3, 3), C(-1.0, 1.2246467991473532e-16));
  const M crx = record("crx", {kPi});
  EXPECT_EQ(crx(1, 1), C(6.123233995736766e-17, 0.0));
  EXPECT_EQ(crx(3, 3), C(6.123233995736766e-17, 0.0));
  EXPECT_EQ(crx(1, 3), C(0.0, -1.0));
  EXPECT_EQ(crx(3, 1), C(0.0, -1.0));
  ExpectSameMatrix(record("crz", {0.0}), M::Identity(4, 4), "crz(0)");
  ExpectSameMatrix(record("cu", {0.0, 0.0, 0.0, 0.0}), M::Identity(4, 4), "cu(0)");
  ExpectSameMatrix(record("cu3", {0.0, 0.0, 0.0}), M::Identity(4, 4), "cu3(0)");
  const M ecr = record("ecr", {});
  for (int j = 0; j < 4; ++j) {
    for (int k = 0; k < 4; ++k) {
      const bool coupled = (j + k) % 2 == 1;
      EXPECT_EQ(std::abs(ecr(j, k).real()) + std::abs(ecr(j, k).imag()),
                coupled ? 0.7071067811865476 : 0.0);
    }
  }
}

TEST(TwoQubitGates, CnotRecordsWhatCxRecords) {
  QuantumCircuit c(2, "", 0.0);
  c.TwoQubitGate(TwoQubitFamilyNamed("cx"), {}, 1, 0, "");
  auto cnot = c.TwoQubitGate(TwoQubitFamilyNamed("cnot"), {}, 1, 0, "");
  EXPECT_EQ(c.instructions[0]->kind, c.instructions[1]->kind);
  EXPECT_EQ(c.instructions[0]->matrix, c.instructions[1]->matrix);
  EXPECT_EQ(c.instructions[1]->qubits, (std::vector<uint64_t>{1, 0}));
  EXPECT_NE(dynamic_cast<CXGate*>(cnot.get()), nullptr);
}

TEST(TwoQubitGates, InvalidQubitsRecordAndMarkNothing) {
  QuantumCircuit c(3, "", 0.0);
  for (auto [first, second] : {std::pair<uint64_t, uint64_t>{0, 0}, {0, 3}, {3, 0},
                               {UINT64_MAX, 1}}) {
    try {
      c.TwoQubitGate(TwoQubitFamilyNamed("rzz"), {0.5}, first, second, "");
      FAIL() << "no exception for " << first << ", " << second;
    } catch (const RunTimeError& e) {
      EXPECT_STREQ(e.what(), "Invalid Parameter passed to the gate instruction.");
    }
  }
  EXPECT_TRUE(c.instructions.empty());
  EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{0, 0, 0}));
}

TEST(TwoQubitGates, RecordersAppendToAnyListAndMarkTheirCircuit) {
  QuantumCircuit c(3, "", 0.0);
  InstructionList sub;
  EXPECT_EQ(c.AppendGate(TwoQubitFamilyNamed("cx"), {}, 2, 0, sub, "part"), 0);
  // The controlled T has no method of its own; only its recorder makes it.
  EXPECT_EQ(c.AppendGate(TwoQubitFamilyNamed("ct"), {}, 0, 1, sub, ""), 0);
  EXPECT_TRUE(c.instructions.empty());
  ASSERT_EQ(sub.size(), 2u);
  EXPECT_EQ(sub[0]->qubits, (std::vector<uint64_t>{2, 0}));
  EXPECT_EQ(sub[1]->kind, 56);
  ExpectSameMatrix(sub[1]->matrix, Controlled(Mat2(1, 0, 0, E(kPi / 4))), "ct");
  EXPECT_EQ(c.touched_qubits, (std::vector<uint64_t>{1, 1, 1}));
  EXPECT_THROW(c.AppendGate(TwoQubitFamilyNamed("cu"), {0.1, 0.2}, 0, 1, sub, ""),
               std::invalid_argument);
}

}  // namespace
}  // namespace velorin
