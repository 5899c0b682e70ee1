// The fixed gate matrices, built once at load and never changed.
// One qubit: element (j, k) carries basis value k to j. Two qubits: index
// b0 + 2*b1, b0 the first listed qubit; controlled gates list the control first.
#pragma once

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

}  // namespace velorin
