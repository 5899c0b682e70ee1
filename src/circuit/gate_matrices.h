// The fixed gate matrices, built once at load and never changed.
// One qubit: element (j, k) carries basis value k to j. Two qubits: index
// b0 + 2*b1, b0 the first listed qubit; controlled gates list the control first.
#pragma once

#include <vector>

#include <Eigen/Core>

namespace velorin {

using Matrix = Eigen::MatrixXcd;
using Complex = std::complex<double>;

// 1/sqrt(2) as a literal: the quotient 1/sqrt(2.0) is one unit lower.
inline constexpr double kInvSqrt2 = 0.7071067811865476;

// e^{ix} as the complex exponential of (0, x), so every phase rounds alike.
Complex Phase(double x);

extern const Matrix kScalarOne, kScalarZero, kProj0, kProj1;
extern const Matrix kGateI, kGateX, kGateY, kGateZ, kGateH, kGateT, kGateS, kGateTdg, kGateSdg,
    kGateSX, kGateSXdg;
extern const Matrix kGateCX, kGateCY, kGateCZ, kGateCH, kGateCS, kGateCSdg, kGateCSX, kGateCT,
    kGateDCX, kGateECRUnscaled, kGateISwap, kGateSwap;
extern const Matrix kTemplateCP, kTemplateCRX, kTemplateCRY, kTemplateCRZ, kTemplateCU;

// Matrices built from angles, each taking its gate's angles in argument order.
// Half angles are the angle times 0.5; every phase comes from Phase().
Matrix MatrixP(const std::vector<double>& a);   // theta (also u1's lambda)
Matrix MatrixR(const std::vector<double>& a);   // theta, phi
Matrix MatrixRV(const std::vector<double>& a);  // vx, vy, vz
Matrix MatrixRX(const std::vector<double>& a);  // theta
Matrix MatrixRY(const std::vector<double>& a);  // theta
Matrix MatrixRZ(const std::vector<double>& a);  // phi
Matrix MatrixU(const std::vector<double>& a);   // theta, phi, lambda (also u3)
Matrix MatrixU2(const std::vector<double>& a);  // phi, lambda

Matrix MatrixCP(const std::vector<double>& a);   // theta
Matrix MatrixCRX(const std::vector<double>& a);  // theta
Matrix MatrixCRY(const std::vector<double>& a);  // theta
Matrix MatrixCRZ(const std::vector<double>& a);  // theta
Matrix MatrixCU(const std::vector<double>& a);   // theta, phi, lambda, gamma
Matrix MatrixCU1(const std::vector<double>& a);  // theta, stored raw: see the definition
Matrix MatrixCU3(const std::vector<double>& a);  // theta, phi, lambda
Matrix MatrixECR(const std::vector<double>& a);  // no angles
Matrix MatrixRXX(const std::vector<double>& a);  // theta
Matrix MatrixRYY(const std::vector<double>& a);  // theta
Matrix MatrixRZX(const std::vector<double>& a);  // theta
Matrix MatrixRZZ(const std::vector<double>& a);  // theta

}  // namespace velorin
