// Textbook gate matrices written independently of the library, for the native
// gate tests. Index conventions: one qubit, element (j, k) carries k to j; two
// qubits, basis index b0 + 2*b1 with b0 the first listed qubit.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>

#include <Eigen/Core>

namespace velorin::reference {

using C = std::complex<double>;
using M = Eigen::MatrixXcd;

// The closest double to 1/sqrt(2), as the gates use it.
inline constexpr double kR = 0.7071067811865476;

// e^{ix} as the complex exponential of (0, x).
inline C E(double x) { return std::exp(C(0.0, x)); }

inline M Mat2(C a, C b, C c, C d) {
  M m(2, 2);
  m << a, b, c, d;
  return m;
}

inline M I2() { return Mat2(1.0, 0.0, 0.0, 1.0); }
inline M X() { return Mat2(0.0, 1.0, 1.0, 0.0); }
inline M Y() { return Mat2(0.0, C(0, -1), C(0, 1), 0.0); }
inline M Z() { return Mat2(1.0, 0.0, 0.0, -1.0); }
inline M P0() { return Mat2(1.0, 0.0, 0.0, 0.0); }
inline M P1() { return Mat2(0.0, 0.0, 0.0, 1.0); }

// Operator `second` on b1 and `first` on b0.
inline M Kron(const M& second, const M& first) {
  M out = M::Zero(4, 4);
  for (int j1 = 0; j1 < 2; ++j1)
    for (int k1 = 0; k1 < 2; ++k1)
      for (int j0 = 0; j0 < 2; ++j0)
        for (int k0 = 0; k0 < 2; ++k0) out(j0 + 2 * j1, k0 + 2 * k1) = second(j1, k1) * first(j0, k0);
  return out;
}

// |0><0| (x) I + |1><1| (x) U, the control being the first listed qubit (b0).
inline M Controlled(const M& u) { return Kron(I2(), P0()) + Kron(u, P1()); }

// Every part equal as a double (so +0 and -0 agree, and NaN never does).
inline void ExpectSameMatrix(const M& got, const M& want, const std::string& what) {
  ASSERT_EQ(got.rows(), want.rows()) << what;
  ASSERT_EQ(got.cols(), want.cols()) << what;
  for (Eigen::Index j = 0; j < want.rows(); ++j) {
    for (Eigen::Index k = 0; k < want.cols(); ++k) {
      EXPECT_EQ(got(j, k).real(), want(j, k).real()) << what << " real part of (" << j << ", " << k << ")";
      EXPECT_EQ(got(j, k).imag(), want(j, k).imag()) << what << " imaginary part of (" << j << ", " << k << ")";
    }
  }
}

inline bool IsUnitary(const M& m) {
  return (m.adjoint() * m).isApprox(M::Identity(m.rows(), m.cols()), 1e-14);
}

}  // namespace velorin::reference
