#include "circuit/gate_matrices.h"

#include <initializer_list>

namespace velorin {

Complex Phase(double x) { return std::exp(Complex(0.0, x)); }

namespace {

// Rows of a square matrix, written as they read on paper.
Matrix Rows(std::initializer_list<std::initializer_list<Complex>> rows) {
  const Eigen::Index n = static_cast<Eigen::Index>(rows.size());
  Matrix m = Matrix::Zero(n, n);
  Eigen::Index r = 0;
  for (const auto& row : rows) {
    Eigen::Index c = 0;
    for (const Complex& value : row) m(r, c++) = value;
    ++r;
  }
  return m;
}

Matrix Diag(std::initializer_list<Complex> diagonal) {
  const Eigen::Index n = static_cast<Eigen::Index>(diagonal.size());
  Matrix m = Matrix::Zero(n, n);
  Eigen::Index i = 0;
  for (const Complex& value : diagonal) {
    m(i, i) = value;
    ++i;
  }
  return m;
}

constexpr double r = kInvSqrt2;
const Complex kI(0.0, 1.0), kMinusI(0.0, -1.0);
const Complex kHPlus(0.5, 0.5), kHMinus(0.5, -0.5);
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kHalfPi = 1.5707963267948966;

}  // namespace

const Matrix kScalarOne = Rows({{1.0}});
const Matrix kScalarZero = Rows({{0.0}});
const Matrix kProj0 = Diag({1.0, 0.0});
const Matrix kProj1 = Diag({0.0, 1.0});

const Matrix kGateI = Diag({1.0, 1.0});
const Matrix kGateX = Rows({{0.0, 1.0}, {1.0, 0.0}});
const Matrix kGateY = Rows({{0.0, kMinusI}, {kI, 0.0}});
const Matrix kGateZ = Diag({1.0, -1.0});
const Matrix kGateH = Rows({{r, r}, {r, -r}});
const Matrix kGateT = Diag({1.0, Phase(kQuarterPi)});
const Matrix kGateS = Diag({1.0, Phase(kHalfPi)});
const Matrix kGateTdg = Diag({1.0, Phase(-kQuarterPi)});
const Matrix kGateSdg = Diag({1.0, kMinusI});
const Matrix kGateSX = Rows({{kHPlus, kHMinus}, {kHMinus, kHPlus}});
const Matrix kGateSXdg = Rows({{kHMinus, kHPlus}, {kHPlus, kHMinus}});

const Matrix kGateCX = Rows({{1, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 0}, {0, 1, 0, 0}});
const Matrix kGateCY = Rows({{1, 0, 0, 0}, {0, 0, 0, kMinusI}, {0, 0, 1, 0}, {0, kI, 0, 0}});
const Matrix kGateCZ = Diag({1.0, 1.0, 1.0, -1.0});
const Matrix kGateCH = Rows({{1, 0, 0, 0}, {0, r, 0, r}, {0, 0, 1, 0}, {0, r, 0, -r}});
const Matrix kGateCS = Diag({1.0, 1.0, 1.0, kI});
const Matrix kGateCSdg = Diag({1.0, 1.0, 1.0, kMinusI});
const Matrix kGateCSX =
    Rows({{1, 0, 0, 0}, {0, kHPlus, 0, kHMinus}, {0, 0, 1, 0}, {0, kHMinus, 0, kHPlus}});
const Matrix kGateCT = Diag({1.0, 1.0, 1.0, Phase(kQuarterPi)});
const Matrix kGateDCX = Rows({{1, 0, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}});
const Matrix kGateECRUnscaled =
    Rows({{0, 1, 0, kI}, {1, 0, kMinusI, 0}, {0, kI, 0, 1}, {kMinusI, 0, 1, 0}});
const Matrix kGateISwap = Rows({{1, 0, 0, 0}, {0, 0, kI, 0}, {0, kI, 0, 0}, {0, 0, 0, 1}});
const Matrix kGateSwap = Rows({{1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}});

const Matrix kTemplateCP = Diag({1.0, 1.0, 1.0, 0.0});
const Matrix kTemplateCRX = Diag({1.0, 0.0, 1.0, 0.0});
const Matrix kTemplateCRY = Diag({1.0, 0.0, 1.0, 0.0});
const Matrix kTemplateCRZ = Diag({1.0, 0.0, 1.0, 0.0});
const Matrix kTemplateCU = Diag({1.0, 0.0, 1.0, 0.0});

}  // namespace velorin
