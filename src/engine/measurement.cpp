// Measurement: sample one qubit, project, renormalise, and restore the
// canonical form of the bonds around it.
#include <algorithm>
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
std::mt19937& MpsSimulator::Generator() {
  if (!generator_seeded_) {
    generator_.seed(FreshSeed());
    generator_seeded_ = true;
  }
  return generator_;
}

double MpsSimulator::DrawUniform() {
  const double c = std::generate_canonical<double, 53>(Generator());
  return c * (uniform_upper_ - uniform_lower_) + uniform_lower_;
}

void MpsSimulator::MeasureQubits(const std::vector<uint64_t>& qubits) {
  RequireChain();
  // Storage kept from one call to the next: measures run every shot.
  std::vector<uint8_t>& wanted = measure_wanted_;
  wanted.assign(n_, 0);
  for (uint64_t q : qubits) {
    if (q < n_) wanted[q] = 1;  // other numbers are not qubits of this engine
  }
  std::vector<uint64_t>& positions = measure_positions_;
  positions.clear();
  for (uint64_t p = 0; p < n_; ++p) {
    if (wanted[static_cast<size_t>(position_to_qubit_[p])] != 0) positions.push_back(p);
  }
  std::vector<int>& outcomes = measure_outcomes_;
  outcomes.resize(positions.size());
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
  // The squared norm of factor 0 with both bonds absorbed, without a copy:
  // column by column, each entry weighted by its row's bond value squared.
  const Matrix& m = chain_[position].factors[0];
  const BondValues* left = position > 0 ? &bonds_[position - 1] : nullptr;
  const BondValues* right = position + 1 < n_ ? &bonds_[position] : nullptr;
  const Eigen::Index rows = m.rows();
  const Eigen::Index left_count =
      left == nullptr ? 0 : std::min<Eigen::Index>(rows, static_cast<Eigen::Index>(left->size()));
  double total = 0.0;
  for (Eigen::Index j = 0; j < m.cols(); ++j) {
    const Complex* column = m.data() + j * rows;
    double sum = 0.0;
    for (Eigen::Index i = 0; i < rows; ++i) {
      double weight = std::norm(column[i]);
      if (i < left_count) {
        const double v = (*left)[static_cast<size_t>(i)];
        weight *= v * v;
      }
      sum += weight;
    }
    if (right != nullptr && j < static_cast<Eigen::Index>(right->size())) {
      const double v = (*right)[static_cast<size_t>(j)];
      sum *= v * v;
    }
    total += sum;
  }
  return total;
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
  // The projector and its renormalisation, in place.
  std::vector<Matrix>& f = chain_[position].factors;
  if (outcome == 1) {
    f[0].setZero();
    f[1] = f[1] * (1.0 / std::sqrt(1.0 - p0));
  } else {
    f[1].setZero();
    f[0] = f[0] * (1.0 / std::sqrt(p0));
  }

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
