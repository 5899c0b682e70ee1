// Terminal sampling: when a circuit ends in measurements only, every shot is
// drawn from the checkpoint state by one left-to-right sweep of conditional
// probabilities, many shots at a time, and the chain is left alone until the
// last shot, which projects it as the measure runs would have.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "circuit/quantum_circuit.h"
#include "engine/mps_simulator.h"
#include "engine/svd.h"
#include "engine/thread_team.h"

namespace velorin {

namespace {

// Shots drawn ahead at most, and the working storage a batch may take.
constexpr uint64_t kMaxBatchShots = 4096;
constexpr uint64_t kBatchBytes = uint64_t{256} << 20;
// A batch is drawn in slices side by side from this many multiply-adds of
// one slice on, each slice holding at least this many shots: below, waking
// threads costs about what they save.
constexpr uint64_t kMinSliceWork = uint64_t{1} << 21;
constexpr uint64_t kMinSliceShots = 64;

}  // namespace

bool MpsSimulator::TailOnlyMeasures(const QuantumCircuit& circuit, std::vector<uint64_t>& qubits) {
  qubits.clear();
  const InstructionList& list = circuit.instructions;
  const int64_t first = circuit.first_measure_index;
  if (first <= 0 || first >= static_cast<int64_t>(list.size())) return false;
  for (size_t i = static_cast<size_t>(first); i < list.size(); ++i) {
    const Instruction* record = list[i].get();
    if (record == nullptr) continue;
    if (record->has_condition) return false;
    const GateKind k = record->kind;
    if (k == kind::kMeasure) {
      if (!record->qubits.empty()) qubits.push_back(record->qubits[0]);
    } else if (!(IsBarrier(k) || k == kind::kI || k == kind::kId)) {
      return false;
    }
  }
  return true;
}

void MpsSimulator::MeasureRunTerminal(const std::vector<uint64_t>& qubits) {
  if (!terminal_drawn_) {
    // The tail's qubits must fill consecutive positions: the sweep then
    // starts from the bond on their left and ends at the one on their right.
    std::vector<uint64_t>& positions = terminal_positions_;
    positions.clear();
    for (uint64_t q : terminal_qubits_) {
      if (q < n_) positions.push_back(static_cast<uint64_t>(qubit_to_position_[q]));
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    if (!chain_at_checkpoint_ ||
        (!positions.empty() && positions.back() - positions.front() + 1 != positions.size())) {
      terminal_refused_ = true;
      MeasureQubits(qubits);
      return;
    }
    shot_outcomes_.assign(n_, -1);
    if (!positions.empty()) {
      const uint64_t first = positions.front();
      const uint64_t width = positions.size();
      if (batch_next_ >= batch_count_ || batch_first_ != first || batch_width_ != width) {
        const int64_t remaining = std::max<int64_t>(1, shots_planned_ - shots_run_);
        SampleTerminalBatch(first, width,
                            std::min<uint64_t>(static_cast<uint64_t>(remaining), kMaxBatchShots));
      }
      const int8_t* drawn = &batch_[batch_next_ * width];
      for (uint64_t j = 0; j < width; ++j) {
        shot_outcomes_[static_cast<size_t>(position_to_qubit_[first + j])] = drawn[j];
      }
      ++batch_next_;
    }
    terminal_drawn_ = true;
  }
  // Kept for the projection of the last shot, in storage reused shot by shot.
  if (terminal_run_count_ == terminal_runs_.size()) terminal_runs_.emplace_back();
  terminal_runs_[terminal_run_count_++].assign(qubits.begin(), qubits.end());
  for (uint64_t q : qubits) {
    if (q < n_) measured_[q] = shot_outcomes_[q];
  }
}

// Shots sharing the outcomes so far share their left environment: a group
// keeps one block of m rows (m = the size of the bond left of `first`),
// normalised, and the blocks of all groups are multiplied by a position's
// factors at once. Outcome 0 is taken when u < P0, as MeasureSite does.
// Shots are independent, so a large batch is drawn in slices side by side,
// each from a stream of its own seeded from the engine's generator.
void MpsSimulator::SampleTerminalBatch(uint64_t first, uint64_t width, uint64_t shots) {
  const Eigen::Index m =
      first > 0 ? static_cast<Eigen::Index>(bonds_[first - 1].size()) : Eigen::Index{1};
  Eigen::Index widest = 1;
  for (uint64_t j = 0; j < width; ++j) {
    widest = std::max(widest, chain_[first + j].factors[0].cols());
  }
  const uint64_t per_shot = static_cast<uint64_t>(m) * static_cast<uint64_t>(widest) * 64;
  shots = std::max<uint64_t>(1, std::min(shots, kBatchBytes / std::max<uint64_t>(per_shot, 1)));
  batch_.assign(shots * width, 0);

  // Multiply-adds of the whole batch: each position multiplies the
  // environments of the distinct outcomes so far, at most one per shot.
  uint64_t work = 0;
  for (uint64_t j = 0; j < width; ++j) {
    const Matrix& f = chain_[first + j].factors[0];
    const uint64_t groups = j < 62 ? std::min(shots, uint64_t{1} << j) : shots;
    work += groups * static_cast<uint64_t>(m) * static_cast<uint64_t>(f.rows()) *
            static_cast<uint64_t>(f.cols());
  }
  uint64_t slices = 1;
  if (side_threads_ > 1) {
    slices = static_cast<uint64_t>(side_threads_);
  } else if (side_threads_ <= 0 && thread_count_ > 1 && work >= kMinSliceWork) {
    slices = static_cast<uint64_t>(ThreadsForRows(std::numeric_limits<Eigen::Index>::max()));
  }
  slices = std::min(slices, shots / kMinSliceShots);
  if (slices < 2) {
    DrawShots(first, width, shots, Generator(), batch_.data());
  } else {
    std::vector<std::mt19937> streams(slices);
    for (std::mt19937& stream : streams) {
      std::array<uint32_t, 8> words;
      for (uint32_t& word : words) word = static_cast<uint32_t>(Generator()());
      std::seed_seq sequence(words.begin(), words.end());
      stream.seed(sequence);
    }
    ThreadTeam team;
    team.Run(slices, slices, [&](size_t k, size_t) {
      const uint64_t begin = shots * k / slices;
      const uint64_t end = shots * (k + 1) / slices;
      DrawShots(first, width, end - begin, streams[k], batch_.data() + begin * width);
    });
  }
  batch_first_ = first;
  batch_width_ = width;
  batch_count_ = shots;
  batch_next_ = 0;
}

void MpsSimulator::DrawShots(uint64_t first, uint64_t width, uint64_t shots,
                             std::mt19937& generator, int8_t* out) const {
  const Eigen::Index m =
      first > 0 ? static_cast<Eigen::Index>(bonds_[first - 1].size()) : Eigen::Index{1};
  Matrix env = Matrix::Zero(m, m);
  if (first > 0) {
    const BondValues& left = bonds_[first - 1];
    double sum = 0.0;
    for (double v : left) sum += v * v;
    const double scale = sum > 0.0 ? 1.0 / std::sqrt(sum) : 1.0;
    for (Eigen::Index i = 0; i < m; ++i) env(i, i) = left[static_cast<size_t>(i)] * scale;
  } else {
    env(0, 0) = 1.0;
  }

  auto uniform = [&] {
    const double c = std::generate_canonical<double, 53>(generator);
    return c * (uniform_upper_ - uniform_lower_) + uniform_lower_;
  };
  std::vector<uint32_t> group(shots, 0);
  Eigen::Index groups = 1;
  std::vector<double> p0;
  std::vector<double> norm0, norm1;
  std::vector<int64_t> next_id;
  Matrix g0, g1, w0, w1, next_env;
  for (uint64_t j = 0; j < width; ++j) {
    const uint64_t p = first + j;
    const QubitTensor& site = chain_[p];
    const bool scale_right = p + 1 < n_ && !IsProductBond(bonds_[p]);
    const Matrix* f0 = &site.factors[0];
    const Matrix* f1 = &site.factors[1];
    if (scale_right) {
      const BondValues& right = bonds_[p];
      const Eigen::Index cols = std::min<Eigen::Index>(site.factors[0].cols(),
                                                       static_cast<Eigen::Index>(right.size()));
      g0 = site.factors[0];
      g1 = site.factors[1];
      for (Eigen::Index c = 0; c < cols; ++c) {
        g0.col(c) *= right[static_cast<size_t>(c)];
        g1.col(c) *= right[static_cast<size_t>(c)];
      }
      f0 = &g0;
      f1 = &g1;
    }
    MultiplyInto(env, *f0, w0);
    MultiplyInto(env, *f1, w1);

    p0.assign(static_cast<size_t>(groups), 1.0);
    norm0.assign(static_cast<size_t>(groups), 0.0);
    norm1.assign(static_cast<size_t>(groups), 0.0);
    if (m == 1) {
      Eigen::Map<Eigen::VectorXd>(norm0.data(), groups) = w0.rowwise().squaredNorm();
      Eigen::Map<Eigen::VectorXd>(norm1.data(), groups) = w1.rowwise().squaredNorm();
    } else {
      for (Eigen::Index g = 0; g < groups; ++g) {
        norm0[static_cast<size_t>(g)] = w0.middleRows(g * m, m).squaredNorm();
        norm1[static_cast<size_t>(g)] = w1.middleRows(g * m, m).squaredNorm();
      }
    }
    for (size_t g = 0; g < static_cast<size_t>(groups); ++g) {
      const double sum = norm0[g] + norm1[g];
      if (sum > 0.0) p0[g] = norm0[g] / sum;
    }

    next_id.assign(static_cast<size_t>(2 * groups), -1);
    Eigen::Index next_groups = 0;
    for (uint64_t s = 0; s < shots; ++s) {
      const uint32_t g = group[s];
      // A certain outcome needs no draw: u lies in [0, 1).
      const double p = p0[g];
      const int outcome = p <= 0.0 ? 1 : p >= 1.0 ? 0 : (p <= uniform() ? 1 : 0);
      out[s * width + j] = static_cast<int8_t>(outcome);
      int64_t& id = next_id[2 * static_cast<size_t>(g) + static_cast<size_t>(outcome)];
      if (id < 0) id = next_groups++;
      group[s] = static_cast<uint32_t>(id);
    }
    if (j + 1 == width) break;

    next_env.resize(next_groups * m, w0.cols());
    for (Eigen::Index g = 0; g < groups; ++g) {
      for (int outcome = 0; outcome < 2; ++outcome) {
        const int64_t id = next_id[2 * static_cast<size_t>(g) + static_cast<size_t>(outcome)];
        if (id < 0) continue;
        const double n = outcome == 0 ? norm0[static_cast<size_t>(g)] : norm1[static_cast<size_t>(g)];
        const double scale = n > 0.0 ? 1.0 / std::sqrt(n) : 0.0;
        next_env.middleRows(id * m, m) = (outcome == 0 ? w0 : w1).middleRows(g * m, m) * scale;
      }
    }
    env.swap(next_env);
    groups = next_groups;
  }
}

// The last shot of a run leaves the chain as its measure runs would have.
void MpsSimulator::SettleLastShot() {
  if (!settle_pending_ || !chain_at_checkpoint_) return;
  settle_pending_ = false;
  forced_outcomes_ = &shot_outcomes_;
  try {
    for (size_t i = 0; i < terminal_run_count_; ++i) MeasureQubits(terminal_runs_[i]);
  } catch (...) {
    forced_outcomes_ = nullptr;
    throw;
  }
  forced_outcomes_ = nullptr;
}

}  // namespace velorin
