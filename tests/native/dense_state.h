// A small dense state-vector simulator, independent of the engine, for
// checking it: bit q of an index is qubit q.
#pragma once

#include <Eigen/Core>
#include <Eigen/QR>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace velorin::testing {

using Cplx = std::complex<double>;
using Dense = Eigen::MatrixXcd;

class DenseState {
 public:
  explicit DenseState(int qubits) : n(qubits), amps(size_t{1} << qubits, Cplx(0.0, 0.0)) {
    amps[0] = 1.0;
  }

  // m(j, k) carries basis value k of the qubit to j.
  void Apply1(const Dense& m, int q) {
    const size_t bit = size_t{1} << q;
    for (size_t i = 0; i < amps.size(); ++i) {
      if (i & bit) continue;
      const Cplx a0 = amps[i], a1 = amps[i | bit];
      amps[i] = m(0, 0) * a0 + m(0, 1) * a1;
      amps[i | bit] = m(1, 0) * a0 + m(1, 1) * a1;
    }
  }

  // Index of m: b0 + 2 * b1, b0 the value of q0.
  void Apply2(const Dense& m, int q0, int q1) {
    const size_t bit0 = size_t{1} << q0, bit1 = size_t{1} << q1;
    for (size_t i = 0; i < amps.size(); ++i) {
      if ((i & bit0) || (i & bit1)) continue;
      const size_t idx[4] = {i, i | bit0, i | bit1, i | bit0 | bit1};
      Cplx old[4], fresh[4];
      for (int k = 0; k < 4; ++k) old[k] = amps[idx[k]];
      for (int r = 0; r < 4; ++r) {
        fresh[r] = 0.0;
        for (int k = 0; k < 4; ++k) fresh[r] += m(r, k) * old[k];
      }
      for (int k = 0; k < 4; ++k) amps[idx[k]] = fresh[k];
    }
  }

  // Probability that qubit q reads 0.
  double ProbabilityOfZero(int q) const {
    double p = 0.0;
    for (size_t i = 0; i < amps.size(); ++i) {
      if (!((i >> q) & 1u)) p += std::norm(amps[i]);
    }
    return p;
  }

  // Projects qubit q onto `outcome` and renormalises.
  void Project(int q, int outcome) {
    double norm = 0.0;
    for (size_t i = 0; i < amps.size(); ++i) {
      if (static_cast<int>((i >> q) & 1u) != outcome) amps[i] = 0.0;
      norm += std::norm(amps[i]);
    }
    for (Cplx& a : amps) a /= std::sqrt(norm);
  }

  // Marginal probabilities of the listed qubits, bit j = listed qubit j.
  std::vector<double> Probabilities(const std::vector<int>& qubits) const {
    std::vector<double> p(size_t{1} << qubits.size(), 0.0);
    for (size_t i = 0; i < amps.size(); ++i) p[SubIndex(i, qubits)] += std::norm(amps[i]);
    return p;
  }

  // Reduced density matrix of the listed qubits, bit j = listed qubit j.
  Dense DensityMatrix(const std::vector<int>& qubits) const {
    const size_t d = size_t{1} << qubits.size();
    Dense rho = Dense::Zero(static_cast<Eigen::Index>(d), static_cast<Eigen::Index>(d));
    size_t listed_mask = 0;
    for (int q : qubits) listed_mask |= size_t{1} << q;
    for (size_t i = 0; i < amps.size(); ++i) {
      for (size_t j = 0; j < amps.size(); ++j) {
        if ((i & ~listed_mask) != (j & ~listed_mask)) continue;  // traced-out qubits agree
        rho(static_cast<Eigen::Index>(SubIndex(i, qubits)),
            static_cast<Eigen::Index>(SubIndex(j, qubits))) += amps[i] * std::conj(amps[j]);
      }
    }
    return rho;
  }

  static size_t SubIndex(size_t i, const std::vector<int>& qubits) {
    size_t s = 0;
    for (size_t j = 0; j < qubits.size(); ++j) s |= ((i >> qubits[j]) & 1u) << j;
    return s;
  }

  int n;
  std::vector<Cplx> amps;
};

// A Haar-like random unitary: the Q of a complex Gaussian matrix, its phases fixed.
inline Dense RandomUnitary(int dim, std::mt19937_64& rng) {
  std::normal_distribution<double> gauss;
  Dense g(dim, dim);
  for (int r = 0; r < dim; ++r) {
    for (int c = 0; c < dim; ++c) g(r, c) = Cplx(gauss(rng), gauss(rng));
  }
  Eigen::HouseholderQR<Dense> qr(g);
  Dense q = qr.householderQ();
  const Dense r = qr.matrixQR().triangularView<Eigen::Upper>();
  for (int c = 0; c < dim; ++c) q.col(c) *= r(c, c) / std::abs(r(c, c));
  return q;
}

}  // namespace velorin::testing
