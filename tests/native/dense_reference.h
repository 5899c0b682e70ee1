// A small dense reference for the composite tests: the operator of a record
// list multiplied out over all basis states, and textbook gates built from
// their definitions.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "circuit/errors.h"
#include "circuit/instruction.h"
#include "circuit/quantum_circuit.h"

namespace velorin::testing {

using Dense = Eigen::MatrixXcd;
using C = std::complex<double>;

inline constexpr double kPi = 3.141592653589793;

// What the engine applies for a record: cu1 carries its angle at (3,3).
inline Dense AppliedMatrix(const Instruction& record) {
  if (record.kind == 46) {
    Dense m = Dense::Identity(4, 4);
    m(3, 3) = std::polar(1.0, record.matrix(3, 3).real());
    return m;
  }
  return record.matrix;
}

// Replaces u by (record's gate) * u; bit q of a basis index is qubit q.
inline void ApplyRecord(Dense& u, const Instruction& record) {
  const Dense m = AppliedMatrix(record);
  const Eigen::Index dim = u.rows();
  if (record.qubits.size() == 1) {
    ASSERT_EQ(m.rows(), 2);
    const Eigen::Index bit = Eigen::Index{1} << record.qubits[0];
    for (Eigen::Index i = 0; i < dim; ++i) {
      if (i & bit) continue;
      for (Eigen::Index col = 0; col < dim; ++col) {
        const C a0 = u(i, col), a1 = u(i | bit, col);
        u(i, col) = m(0, 0) * a0 + m(0, 1) * a1;
        u(i | bit, col) = m(1, 0) * a0 + m(1, 1) * a1;
      }
    }
    return;
  }
  ASSERT_EQ(record.qubits.size(), 2u);
  ASSERT_EQ(m.rows(), 4);
  const Eigen::Index b0 = Eigen::Index{1} << record.qubits[0];
  const Eigen::Index b1 = Eigen::Index{1} << record.qubits[1];
  for (Eigen::Index i = 0; i < dim; ++i) {
    if ((i & b0) || (i & b1)) continue;
    const Eigen::Index idx[4] = {i, i | b0, i | b1, i | b0 | b1};
    for (Eigen::Index col = 0; col < dim; ++col) {
      C in[4], out[4];
      for (int k = 0; k < 4; ++k) in[k] = u(idx[k], col);
      for (int r = 0; r < 4; ++r) {
        out[r] = 0;
        for (int k = 0; k < 4; ++k) out[r] += m(r, k) * in[k];
      }
      for (int k = 0; k < 4; ++k) u(idx[k], col) = out[k];
    }
  }
}

inline void ApplyList(Dense& u, const InstructionList& list) {
  for (const auto& record : list) {
    if (record->kind == 53) {
      ApplyList(u, record->sub_instructions);
    } else {
      ApplyRecord(u, *record);
    }
  }
}

// The operator of a record list on n qubits, composites walked to any depth.
inline Dense Unitary(const InstructionList& list, int num_qubits) {
  const Eigen::Index dim = Eigen::Index{1} << num_qubits;
  Dense u = Dense::Identity(dim, dim);
  ApplyList(u, list);
  return u;
}

inline bool AllSet(uint64_t index, const std::vector<uint64_t>& qubits) {
  for (uint64_t q : qubits) {
    if (!((index >> q) & 1)) return false;
  }
  return true;
}

// v on the target when every control is 1, the identity otherwise.
inline Dense Controlled(int num_qubits, const std::vector<uint64_t>& controls, uint64_t target,
                        const Dense& v) {
  const Eigen::Index dim = Eigen::Index{1} << num_qubits;
  Dense u = Dense::Zero(dim, dim);
  const uint64_t bit = uint64_t{1} << target;
  for (Eigen::Index col = 0; col < dim; ++col) {
    const auto c = static_cast<uint64_t>(col);
    if (!AllSet(c, controls)) {
      u(col, col) = 1.0;
      continue;
    }
    const int t = (c & bit) ? 1 : 0;
    u(static_cast<Eigen::Index>(c & ~bit), col) = v(0, t);
    u(static_cast<Eigen::Index>(c | bit), col) = v(1, t);
  }
  return u;
}

inline Dense Gate2(C a, C b, C c, C d) {
  Dense m(2, 2);
  m << a, b, c, d;
  return m;
}

inline Dense TextbookX() { return Gate2(0, 1, 1, 0); }
inline Dense TextbookSX() { return Gate2(C(0.5, 0.5), C(0.5, -0.5), C(0.5, -0.5), C(0.5, 0.5)); }
inline Dense TextbookPhase(double a) { return Gate2(1, 0, 0, std::polar(1.0, a)); }
inline Dense TextbookRX(double a) {
  return Gate2(std::cos(a / 2), C(0, -std::sin(a / 2)), C(0, -std::sin(a / 2)), std::cos(a / 2));
}
inline Dense TextbookRY(double a) {
  return Gate2(std::cos(a / 2), -std::sin(a / 2), std::sin(a / 2), std::cos(a / 2));
}
inline Dense TextbookRZ(double a) {
  return Gate2(std::polar(1.0, -a / 2), 0, 0, std::polar(1.0, a / 2));
}

inline ::testing::AssertionResult Near(const Dense& actual, const Dense& expected,
                                       double tolerance = 1e-12) {
  if (actual.rows() != expected.rows() || actual.cols() != expected.cols()) {
    return ::testing::AssertionFailure() << "shapes differ";
  }
  const double error = (actual - expected).cwiseAbs().maxCoeff();
  if (error <= tolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "largest difference " << error;
}

inline constexpr const char* kInvalid = "Invalid Parameter passed to the gate instruction.";

// The text of the RunTimeError a call throws, or "<no error>".
template <class F>
std::string ErrorText(F&& call) {
  try {
    call();
  } catch (const RunTimeError& e) {
    return e.what();
  }
  return "<no error>";
}

// Nothing recorded and no qubit marked.
inline bool Untouched(const QuantumCircuit& qc) {
  for (uint64_t mark : qc.touched_qubits) {
    if (mark != 0) return false;
  }
  return qc.instructions.empty();
}

}  // namespace velorin::testing
