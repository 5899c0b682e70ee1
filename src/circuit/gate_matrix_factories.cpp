// The matrices of the parameterised gates. Entry values are fixed to the bit:
// every product and sum is formed in the order written here, so the QASM
// writer, the drawing and the engine all see the same numbers on every run.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "circuit/gate_matrices.h"

namespace velorin {

namespace {

constexpr double r = kInvSqrt2;

// a * e^{ix}, both parts scaled: (a cos x, a sin x).
Complex ScaledPhase(double a, double x) {
  const Complex p = Phase(x);
  return {a * p.real(), a * p.imag()};
}

constexpr double kTwoPi = 6.283185307179586;

// The angle as given within a turn either way; beyond, the angle in
// (-pi, pi] that points the same way, found by the library's exact reduction
// in sin and cos. Matrices whose entries hold sums of angles take each term
// through this first: at a huge angle the sum rounds the other terms away, and
// the entries would disagree with one another, no longer unitary.
double Turned(double x) {
  if (std::fabs(x) <= kTwoPi) return x;
  return std::atan2(std::sin(x), std::cos(x));
}

struct HalfAngle {
  double c, s;
  explicit HalfAngle(double theta) : c(std::cos(theta * 0.5)), s(std::sin(theta * 0.5)) {}
};

Matrix Zero2() { return Matrix::Zero(2, 2); }
Matrix Zero4() { return Matrix::Zero(4, 4); }

}  // namespace

// One qubit ---------------------------------------------------------------------

Matrix MatrixP(const std::vector<double>& a) {
  Matrix m = Zero2();
  m(0, 0) = 1.0;
  m(1, 1) = Phase(a[0]);
  return m;
}

Matrix MatrixR(const std::vector<double>& a) {
  const double theta = a[0], phi = a[1];
  const double s = std::sin(theta * 0.5);
  Matrix m = Zero2();
  m(0, 0) = Complex(std::cos(theta * 0.5), 0.0);
  m(1, 1) = m(0, 0);
  // -i e^{-i phi} s and -i e^{i phi} s.
  const Complex minus = Phase(-phi), plus = Phase(phi);
  m(0, 1) = Complex(s * minus.imag(), -minus.real() * s);
  m(1, 0) = Complex(s * plus.imag(), -plus.real() * s);
  return m;
}

Matrix MatrixRV(const std::vector<double>& a) {
  const double vx = a[0], vy = a[1], vz = a[2];
  const double n = std::sqrt(vx * vx + vy * vy + vz * vz);
  const double w = 1.0 / n;
  // A zero (or vanishing) vector rotates by nothing: the formula's limit is the
  // identity, where the reciprocal would put NaNs in the matrix.
  if (std::isinf(w)) return kGateI;
  double ux = w * vx, uy = w * vy, uz = w * vz;
  double half = n * 0.5;
  if (!(n < 0x1p1000)) {
    // The squares overflow, or the reciprocal loses its precision: lengths
    // relative to the largest component, whose half cannot overflow.
    const double scale = std::max({std::fabs(vx), std::fabs(vy), std::fabs(vz)});
    const double sx = vx / scale, sy = vy / scale, sz = vz / scale;
    const double length = std::sqrt(sx * sx + sy * sy + sz * sz);
    ux = sx / length;
    uy = sy / length;
    uz = sz / length;
    half = (scale * 0.5) * length;
  }
  const double c = std::cos(half), s = std::sin(half);
  Matrix m = Zero2();
  m(0, 0) = Complex(c, -(uz * s));
  m(0, 1) = Complex(-(uy * s), -(ux * s));
  m(1, 0) = Complex(uy * s, -(ux * s));
  m(1, 1) = Complex(c, uz * s);
  return m;
}

Matrix MatrixRX(const std::vector<double>& a) {
  const HalfAngle h(a[0]);
  Matrix m = Zero2();
  m(0, 0) = m(1, 1) = Complex(h.c, 0.0);
  m(0, 1) = m(1, 0) = Complex(0.0, -h.s);
  return m;
}

Matrix MatrixRY(const std::vector<double>& a) {
  const HalfAngle h(a[0]);
  Matrix m = Zero2();
  m(0, 0) = m(1, 1) = Complex(h.c, 0.0);
  m(0, 1) = Complex(-h.s, 0.0);
  m(1, 0) = Complex(h.s, 0.0);
  return m;
}

Matrix MatrixRZ(const std::vector<double>& a) {
  const double phi = a[0];
  Matrix m = Zero2();
  m(0, 0) = Phase(phi * -0.5);
  m(1, 1) = Phase(phi * 0.5);
  return m;
}

Matrix MatrixU(const std::vector<double>& a) {
  const double phi = Turned(a[1]), lambda = Turned(a[2]);
  const HalfAngle h(a[0]);
  Matrix m = Zero2();
  m(0, 0) = Complex(h.c, 0.0);
  m(0, 1) = -ScaledPhase(h.s, lambda);
  m(1, 0) = ScaledPhase(h.s, phi);
  m(1, 1) = ScaledPhase(h.c, phi + lambda);
  return m;
}

Matrix MatrixU2(const std::vector<double>& a) {
  const double phi = Turned(a[0]), lambda = Turned(a[1]);
  Matrix m = Zero2();
  m(0, 0) = 1.0;
  m(0, 1) = -Phase(lambda);
  m(1, 0) = Phase(phi);
  m(1, 1) = Phase(phi + lambda);
  // Scaled after the fact, part by part, by the literal 1/sqrt(2).
  for (Eigen::Index i = 0; i < m.size(); ++i) {
    m(i) = Complex(m(i).real() * r, m(i).imag() * r);
  }
  return m;
}

// Two qubits: control first, so the target's 2x2 block sits at indices 1 and 3 ---

namespace {

// The template with the one-qubit matrix in its controlled block (control b0 = 1):
// the filled entries hold exactly the one-qubit gate's values.
Matrix ControlledBlock(const Matrix& templ, const Matrix& u) {
  Matrix m = templ;
  m(1, 1) = u(0, 0);
  m(1, 3) = u(0, 1);
  m(3, 1) = u(1, 0);
  m(3, 3) = u(1, 1);
  return m;
}

}  // namespace

Matrix MatrixCP(const std::vector<double>& a) { return ControlledBlock(kTemplateCP, MatrixP(a)); }

Matrix MatrixCRX(const std::vector<double>& a) {
  return ControlledBlock(kTemplateCRX, MatrixRX(a));
}

Matrix MatrixCRY(const std::vector<double>& a) {
  return ControlledBlock(kTemplateCRY, MatrixRY(a));
}

Matrix MatrixCRZ(const std::vector<double>& a) {
  return ControlledBlock(kTemplateCRZ, MatrixRZ(a));
}

Matrix MatrixCU(const std::vector<double>& a) {
  const double phi = Turned(a[1]), lambda = Turned(a[2]), gamma = Turned(a[3]);
  const HalfAngle h(a[0]);
  Matrix m = kTemplateCU;
  m(1, 1) = ScaledPhase(h.c, gamma);
  m(1, 3) = -ScaledPhase(h.s, lambda + gamma);
  m(3, 1) = ScaledPhase(h.s, phi + gamma);
  m(3, 3) = ScaledPhase(h.c, (phi + gamma) + lambda);
  return m;
}

// Entry (3, 3) holds the angle itself, not e^{i theta}: the engine applies
// kind 46 as the phase of the real part of that entry. Every other reader of
// records must treat this kind's matrix the same way.
Matrix MatrixCU1(const std::vector<double>& a) {
  Matrix m = Zero4();
  m(0, 0) = m(1, 1) = m(2, 2) = 1.0;
  m(3, 3) = Complex(a[0], 0.0);
  return m;
}

Matrix MatrixCU3(const std::vector<double>& a) {
  const double phi = Turned(a[1]), lambda = Turned(a[2]);
  const HalfAngle h(a[0]);
  Matrix m = kTemplateCU;
  m(1, 1) = Complex(h.c, 0.0);
  m(1, 3) = -ScaledPhase(h.s, lambda);
  m(3, 1) = ScaledPhase(h.s, phi);
  m(3, 3) = ScaledPhase(h.c, phi + lambda);
  return m;
}

Matrix MatrixECR(const std::vector<double>&) {
  Matrix m = kGateECRUnscaled;
  for (Eigen::Index i = 0; i < m.size(); ++i) {
    m(i) = Complex(m(i).real() * r, m(i).imag() * r);
  }
  return m;
}

namespace {

// cos(theta/2) on the diagonal and +-i sin(theta/2) at the given places.
struct Coupling {
  int row, col;
  double sign;
};

Matrix TwoQubitRotation(double theta, std::initializer_list<Coupling> couplings) {
  const HalfAngle h(theta);
  Matrix m = Zero4();
  for (Eigen::Index i = 0; i < 4; ++i) m(i, i) = Complex(h.c, 0.0);
  for (const Coupling& k : couplings) m(k.row, k.col) = Complex(0.0, k.sign * h.s);
  return m;
}

}  // namespace

Matrix MatrixRXX(const std::vector<double>& a) {
  return TwoQubitRotation(a[0], {{0, 3, -1.0}, {1, 2, -1.0}, {2, 1, -1.0}, {3, 0, -1.0}});
}

Matrix MatrixRYY(const std::vector<double>& a) {
  return TwoQubitRotation(a[0], {{0, 3, 1.0}, {3, 0, 1.0}, {1, 2, -1.0}, {2, 1, -1.0}});
}

Matrix MatrixRZX(const std::vector<double>& a) {
  return TwoQubitRotation(a[0], {{0, 2, -1.0}, {2, 0, -1.0}, {1, 3, 1.0}, {3, 1, 1.0}});
}

Matrix MatrixRZZ(const std::vector<double>& a) {
  const double theta = a[0];
  Matrix m = Zero4();
  m(0, 0) = m(3, 3) = Phase(theta * -0.5);
  m(1, 1) = m(2, 2) = Phase(theta * 0.5);
  return m;
}

}  // namespace velorin
