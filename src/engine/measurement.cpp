// Measurement: sample one qubit, project, renormalise, and restore the
// canonical form of the bonds around it.
#include <cmath>
#include <random>

#include "engine/mps_simulator.h"
#include "platform/clock.h"
#include "platform/random.h"

namespace velorin {

namespace {

// The seed of an engine's generator: the random device mixed with both
// clocks, so that engines measuring in the same microsecond differ.
uint32_t FreshSeed() {
  const uint32_t seconds = static_cast<uint32_t>(platform::WallClockTicks() / 10000000);
  const uint32_t micros = static_cast<uint32_t>(platform::SteadyNanoseconds() / 1000);
  return platform::RandomDeviceDraw() ^ (seconds + micros);
}

}  // namespace

// One generator per engine: seeding costs far more than a draw.
double MpsSimulator::DrawUniform() {
  if (!generator_seeded_) {
    generator_.seed(FreshSeed());
    generator_seeded_ = true;
  }
  const double c = std::generate_canonical<double, 53>(generator_);
  return c * (uniform_upper_ - uniform_lower_) + uniform_lower_;
}

void MpsSimulator::MeasureQubits(const std::vector<uint64_t>& qubits) {
  RequireChain();
  std::vector<bool> wanted(n_, false);
  for (uint64_t q : qubits) {
    if (q < n_) wanted[q] = true;  // other numbers are not qubits of this engine
  }
  std::vector<uint64_t> positions;
  for (uint64_t p = 0; p < n_; ++p) {
    if (wanted[static_cast<size_t>(position_to_qubit_[p])]) positions.push_back(p);
  }
  std::vector<int> outcomes(positions.size());
  for (size_t j = 0; j < positions.size(); ++j) {
    const uint64_t sweep_end = j + 1 < positions.size() ? positions[j + 1] : n_ - 1;
    outcomes[j] = MeasureSite(positions[j], sweep_end);
  }
  // A sweep may move nothing, so the positions still name the same qubits.
  for (size_t j = 0; j < positions.size(); ++j) {
    measured_[static_cast<size_t>(position_to_qubit_[positions[j]])] = outcomes[j];
  }
}

double MpsSimulator::ProbabilityOfZero(uint64_t position) const {
  RequirePosition(position);
  Matrix m = chain_[position].factors[0];
  if (position > 0) {
    const BondValues& left = bonds_[position - 1];
    for (Eigen::Index j = 0; j < m.rows() && j < static_cast<Eigen::Index>(left.size()); ++j) {
      m.row(j) *= left[static_cast<size_t>(j)];
    }
  }
  if (position + 1 < n_) {
    const BondValues& right = bonds_[position];
    for (Eigen::Index j = 0; j < m.cols() && j < static_cast<Eigen::Index>(right.size()); ++j) {
      m.col(j) *= right[static_cast<size_t>(j)];
    }
  }
  Matrix squared;
  MultiplyElementwise(m, ConjugateMatrix(m), squared);
  return squared.real().sum();
}

int MpsSimulator::MeasureSite(uint64_t position, uint64_t sweep_end) {
  RequirePosition(position);
  const double p0 = ProbabilityOfZero(position);
  int outcome;
  int8_t* forced = nullptr;
  if (forced_outcomes_ != nullptr) {
    const auto qubit = static_cast<size_t>(position_to_qubit_[position]);
    if (qubit < forced_outcomes_->size() && (*forced_outcomes_)[qubit] >= 0) {
      forced = &(*forced_outcomes_)[qubit];
    }
  }
  if (forced != nullptr) {
    // An outcome drawn from the checkpoint whose probability rounds to 0
    // here cannot be projected onto: the other one is taken and recorded.
    outcome = *forced;
    if (outcome == 1 && !(p0 < 1.0)) outcome = 0;
    if (outcome == 0 && !(p0 > 0.0)) outcome = 1;
    *forced = static_cast<int8_t>(outcome);
  } else {
    outcome = p0 <= DrawUniform() ? 1 : 0;
  }
  ProjectSite(position, sweep_end, outcome, p0);
  return outcome;
}

void MpsSimulator::ProjectSite(uint64_t position, uint64_t sweep_end, int outcome, double p0) {
  chain_at_checkpoint_ = false;
  const Matrix projector = outcome == 1 ? Matrix(kProj1 * (1.0 / std::sqrt(1.0 - p0)))
                                        : Matrix(kProj0 * (1.0 / std::sqrt(p0)));
  chain_[position].ApplyOneQubitGate(projector);

  if (n_ > 1) {
    for (uint64_t i = position; i < sweep_end && i + 1 < n_; ++i) {
      if (bonds_[i].size() == 1) break;
      ApplyTwoSiteGate(i, kind::kId, kGateI, false);
    }
    for (uint64_t i = position; i > 0; --i) {
      if (bonds_[i - 1].size() == 1) break;
      ApplyTwoSiteGate(i - 1, kind::kId, kGateI, false);
    }
  }
}

}  // namespace velorin
