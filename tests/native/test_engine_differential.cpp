// The engine against a dense state-vector reference on seeded random circuits.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <algorithm>
#include <random>
#include <sstream>
#include <Eigen/SVD>

#include "circuit/quantum_circuit.h"
#include "composite/first_measure.h"
#include "dense_state.h"
#include "engine/mps_simulator.h"

namespace velorin {
namespace {

using testing::Cplx;
using testing::Dense;
using testing::DenseState;
using testing::RandomUnitary;

const Cplx kI(0.0, 1.0);
const double kPi = 3.141592653589793;

Dense Mat2(Cplx a, Cplx b, Cplx c, Cplx d) {
  Dense m(2, 2);
  m << a, b, c, d;
  return m;
}
Dense Diag4(Cplx d) {
  Dense m = Dense::Identity(4, 4);
  m(3, 3) = d;
  return m;
}
// The 4x4 matrix of a gate u on the second qubit controlled by the first
// (index b0 + 2 * b1: the control-1 block is indices 1 and 3).
Dense Controlled(const Dense& u) {
  Dense m = Dense::Identity(4, 4);
  m(1, 1) = u(0, 0);
  m(1, 3) = u(0, 1);
  m(3, 1) = u(1, 0);
  m(3, 3) = u(1, 1);
  return m;
}
Dense Rx(double theta) {
  const double c = std::cos(theta / 2), s = std::sin(theta / 2);
  return Mat2(c, -kI * s, -kI * s, c);
}

// One generated gate: the record's kind and matrix, and the operator it stands for.
struct Generated {
  GateKind kind;
  Dense record_matrix;
  Dense op;
};

Generated RandomOneQubitGate(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  const double r = 1.0 / std::sqrt(2.0);
  switch (rng() % 10) {
    case 0: { Dense h = Mat2(r, r, r, -r); return {kind::kH, h, h}; }
    case 1: { Dense x = Mat2(0, 1, 1, 0); return {kind::kX, x, x}; }
    case 2: { Dense t = Mat2(1, 0, 0, std::exp(kI * (kPi / 4))); return {kind::kT, t, t}; }
    case 3: { Dense s = Mat2(1, 0, 0, kI); return {kind::kS, s, s}; }
    case 4: { Dense t = Mat2(1, 0, 0, std::exp(-kI * (kPi / 4))); return {kind::kTdg, t, t}; }
    case 5: { Dense s = Mat2(1, 0, 0, -kI); return {kind::kSdg, s, s}; }
    case 6: { Dense m = Rx(angle(rng)); return {kind::kRX, m, m}; }
    case 7: { Dense i = Dense::Identity(2, 2); return {kind::kI, i, i}; }
    default: { Dense u = RandomUnitary(2, rng); return {kind::kU, u, u}; }
  }
}

Generated RandomTwoQubitGate(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  const double r = 1.0 / std::sqrt(2.0);
  switch (rng() % 10) {
    case 0: { Dense m = Controlled(Mat2(0, 1, 1, 0)); return {kind::kCX, m, m}; }
    case 1: { Dense m = Diag4(-1.0); return {kind::kCZ, m, m}; }
    case 2: {
      Dense m = Dense::Zero(4, 4);
      m(0, 0) = m(1, 2) = m(2, 1) = m(3, 3) = 1.0;
      return {kind::kSwap, m, m};
    }
    case 3: {
      const double theta = angle(rng);
      return {kind::kCU1, Diag4(theta), Diag4(std::exp(kI * theta))};  // the record holds the angle
    }
    case 4: { Dense m = Diag4(std::exp(kI * angle(rng))); return {kind::kCP, m, m}; }
    case 5: { Dense m = Controlled(Rx(angle(rng))); return {kind::kCRX, m, m}; }
    case 6: { Dense m = Controlled(Mat2(0, -kI, kI, 0)); return {kind::kCY, m, m}; }
    case 7: { Dense m = Controlled(Mat2(r, r, r, -r)); return {kind::kCH, m, m}; }
    default: {
      static const GateKind kKinds[] = {kind::kUnnamed, kind::kCU, kind::kRXX, kind::kISwap,
                                        kind::kCU3, kind::kCT, kind::kRZZ, kind::kECR};
      Dense m = RandomUnitary(4, rng);
      return {kKinds[rng() % 8], m, m};
    }
  }
}

// One executed step of a generated circuit, in execution order.
struct Step {
  int q0;
  int q1;  // -1 for a one-qubit step
  Dense op;
  bool measure;
};

// A seeded random circuit: gates on any qubits (non-adjacent and reversed
// pairs included), now and then a measure of a qubit not measured before,
// and runs of records wrapped into composites, some of them nested.
std::vector<Step> BuildRandomCircuit(std::mt19937_64& rng, int n, int length,
                                     QuantumCircuit& circuit) {
  std::vector<Step> steps;
  std::vector<InstructionList*> open{&circuit.instructions};
  std::vector<InstructionPtr> composites;
  std::vector<bool> measured(n, false);
  auto close_innermost = [&] {
    InstructionPtr done = composites.back();
    composites.pop_back();
    open.pop_back();
    open.back()->push_back(done);
  };
  for (int g = 0; g < length; ++g) {
    const uint64_t roll = rng() % 16;
    if (roll == 0 && open.size() < 4) {
      auto composite = std::make_shared<Instruction>();
      composite->kind = kind::kComposite;
      composite->name = "block";
      open.push_back(&composite->sub_instructions);
      composites.push_back(composite);
    } else if (roll == 1 && open.size() > 1) {
      close_innermost();
    }
    InstructionList& target = *open.back();
    const int q = static_cast<int>(rng() % n);
    if (rng() % 24 == 0 && !measured[q]) {
      measured[q] = true;
      auto record = std::make_shared<Instruction>();
      record->kind = kind::kMeasure;
      record->qubits = {static_cast<uint64_t>(q)};
      record->clbits = {static_cast<uint64_t>(q)};
      target.push_back(record);
      steps.push_back({q, -1, Dense(), true});
    } else if (n >= 2 && rng() % 2 == 0) {
      int b = static_cast<int>(rng() % (n - 1));
      if (b >= q) ++b;
      const Generated gate = RandomTwoQubitGate(rng);
      circuit.AppendTwoQubitInstruction(gate.kind, gate.record_matrix, q, b, {}, target, "");
      steps.push_back({q, b, gate.op, false});
    } else {
      const Generated gate = RandomOneQubitGate(rng);
      circuit.AppendOneQubitInstruction(gate.kind, gate.record_matrix, q, {}, target, "");
      steps.push_back({q, -1, gate.op, false});
    }
  }
  while (!composites.empty()) close_innermost();
  return steps;
}

// The dense state after the steps; a measure takes the engine's outcome.
// False when the engine reports an outcome the reference deems impossible.
bool Replay(const std::vector<Step>& steps, const std::vector<int64_t>& outcomes,
            DenseState& state) {
  for (const Step& step : steps) {
    if (step.measure) {
      const int outcome = static_cast<int>(outcomes[step.q0]);
      const double p0 = state.ProbabilityOfZero(step.q0);
      if (outcome < 0 || (outcome == 0 ? p0 : 1.0 - p0) < 1e-9) return false;
      state.Project(step.q0, outcome);
    } else if (step.q1 < 0) {
      state.Apply1(step.op, step.q0);
    } else {
      state.Apply2(step.op, step.q0, step.q1);
    }
  }
  return true;
}

// Schmidt values of the state across (qubits in `left`) | (the rest).
Eigen::VectorXd SchmidtValues(const DenseState& state, const std::vector<int>& left) {
  std::vector<int> right;
  for (int q = 0; q < state.n; ++q) {
    if (std::find(left.begin(), left.end(), q) == left.end()) right.push_back(q);
  }
  Dense m(Eigen::Index{1} << left.size(), Eigen::Index{1} << right.size());
  for (size_t i = 0; i < state.amps.size(); ++i) {
    m(static_cast<Eigen::Index>(DenseState::SubIndex(i, left)),
      static_cast<Eigen::Index>(DenseState::SubIndex(i, right))) = state.amps[i];
  }
  return Eigen::JacobiSVD<Dense>(m).singularValues();
}

// A Schmidt value the engine drops by design (its square is at most 1e-8)
// that is still large enough to show at the 1e-10 level. The band is widened
// by a factor 2 for rounding near the threshold.
bool InTruncationBand(const Eigen::VectorXd& values) {
  for (Eigen::Index i = 0; i < values.size(); ++i) {
    if (values[i] > 1e-12 && values[i] <= 2e-4) return true;
  }
  return false;
}

// Whether some split of the run met a Schmidt value in the truncation band.
// Follows the chain order as the engine moves qubits (the farther qubit of a
// gate moves next to the nearer one), checks the cut of every adjacent
// exchange and every gate split, every cut after a measurement, and every
// bipartition of the final state (the read-outs reorder freely).
bool MetTruncationBand(int n, const std::vector<Step>& steps, const std::vector<int64_t>& outcomes) {
  DenseState state(n);
  std::vector<int> order(n);
  for (int i = 0; i < n; ++i) order[i] = i;
  auto prefix_hit = [&](int last) {
    return InTruncationBand(
        SchmidtValues(state, std::vector<int>(order.begin(), order.begin() + last + 1)));
  };
  for (const Step& step : steps) {
    if (step.measure) {
      state.Project(step.q0, static_cast<int>(outcomes[step.q0]));
      for (int c = 0; c + 1 < n; ++c) {
        if (prefix_hit(c)) return true;
      }
    } else if (step.q1 < 0) {
      state.Apply1(step.op, step.q0);
    } else {
      const int pa = static_cast<int>(std::find(order.begin(), order.end(), step.q0) - order.begin());
      const int pb = static_cast<int>(std::find(order.begin(), order.end(), step.q1) - order.begin());
      const int lo = std::min(pa, pb), hi = std::max(pa, pb);
      for (int j = hi - 1; j > lo; --j) {
        std::swap(order[j], order[j + 1]);
        if (prefix_hit(j)) return true;
      }
      state.Apply2(step.op, step.q0, step.q1);
      if (prefix_hit(lo)) return true;
    }
  }
  for (uint32_t mask = 1; mask + 1 < (1u << n); ++mask) {
    std::vector<int> left;
    for (int q = 0; q < n; ++q) {
      if ((mask >> q) & 1u) left.push_back(q);
    }
    if (InTruncationBand(SchmidtValues(state, left))) return true;
  }
  return false;
}

constexpr double kTolerance = 1e-10;

double MaxDifference(const std::vector<Complex>& a, const std::vector<Cplx>& b) {
  double worst = a.size() == b.size() ? 0.0 : INFINITY;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

double MaxDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double worst = a.size() == b.size() ? 0.0 : INFINITY;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

std::vector<int> RandomSubset(std::mt19937_64& rng, int n, int max_size) {
  std::vector<int> all(n);
  for (int i = 0; i < n; ++i) all[i] = i;
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(1 + rng() % std::min(n, max_size));
  return all;
}

std::vector<uint64_t> AsQubits(const std::vector<int>& qubits) {
  return std::vector<uint64_t>(qubits.begin(), qubits.end());
}

// Runs one seeded circuit through the engine and the reference; returns a
// description of the first mismatch, or "" when every read-out agrees.
std::string CompareOne(uint64_t seed, int& qubits_out, std::vector<Step>& steps,
                       std::vector<int64_t>& outcomes) {
  std::mt19937_64 rng(seed);
  const int n = 1 + static_cast<int>(rng() % 10);
  const int length = 1 + static_cast<int>(rng() % 40);
  qubits_out = n;
  QuantumCircuit circuit(n, n, "", 0.0);
  circuit.max_bond_dimension = kUnlimitedBondDimension;
  steps = BuildRandomCircuit(rng, n, length, circuit);
  ComputeFirstMeasureIndex(circuit);
  MpsSimulator engine(n);
  engine.Run(circuit);
  outcomes = engine.measured_values();

  DenseState reference(n);
  if (!Replay(steps, outcomes, reference)) return "an impossible measurement outcome";
  std::ostringstream out;
  // Every site's probability of 0 holds only in canonical form.
  for (int p = 0; p < n; ++p) {
    const int q = static_cast<int>(engine.position_to_qubit()[p]);
    const double d = std::abs(engine.ProbabilityOfZero(p) - reference.ProbabilityOfZero(q));
    if (d > kTolerance) out << "P0 of position " << p << " off by " << d << "; ";
  }
  // Read-outs while the chain is still in the order the gates left.
  const std::vector<int> listed = RandomSubset(rng, n, n);
  double d = MaxDifference(engine.GetProbabilities(AsQubits(listed)), reference.Probabilities(listed));
  if (d > kTolerance) out << "probabilities off by " << d << "; ";
  const std::vector<int> reduced = RandomSubset(rng, n, 4);
  d = (engine.GetDensityMatrix(AsQubits(reduced)) - reference.DensityMatrix(reduced))
          .cwiseAbs().maxCoeff();
  if (d > kTolerance) out << "density matrix off by " << d << "; ";
  std::vector<uint64_t> indices;
  std::vector<Cplx> expected;
  for (int i = 0; i < 8; ++i) {
    const uint64_t index = rng() & ((uint64_t{1} << n) - 1);
    indices.push_back(index | (rng() % 2 ? uint64_t{1} << 63 : 0));  // bits above n name no qubit
    expected.push_back(reference.amps[index]);
  }
  d = MaxDifference(engine.GetAmplitudes(indices), expected);
  if (d > kTolerance) out << "amplitudes off by " << d << "; ";
  d = MaxDifference(engine.GetStateVector(), reference.amps);
  if (d > kTolerance) out << "state vector off by " << d << "; ";
  return out.str();
}

// The seeds are split into shards that CTest runs side by side.
constexpr int kShards = 8;
constexpr int kCircuitsPerShard = 66;
// At most this many circuits of a shard may be set aside for meeting the
// truncation band, so that at least 8 * (66 - 3) = 504 circuits are compared.
constexpr int kMaxExcusedPerShard = 3;

class EngineDifferential : public ::testing::TestWithParam<int> {};

TEST_P(EngineDifferential, AgreesWithDenseReference) {
  int excused = 0, failed = 0;
  // A broken engine fails nearly every circuit: a few reports say enough.
  for (int i = 0; i < kCircuitsPerShard && failed < 3; ++i) {
    const uint64_t seed = 0x5EED0000u + static_cast<uint64_t>(GetParam() * kCircuitsPerShard + i);
    int n = 0;
    std::vector<Step> steps;
    std::vector<int64_t> outcomes;
    const std::string mismatch = CompareOne(seed, n, steps, outcomes);
    if (mismatch.empty()) continue;
    // The split drops singular values whose square is at most 1e-8 by design;
    // such a circuit cannot agree to 1e-10 and is set aside, nothing else.
    if (MetTruncationBand(n, steps, outcomes)) {
      ++excused;
      continue;
    }
    ++failed;
    ADD_FAILURE() << "seed " << seed << " (" << n << " qubits): " << mismatch;
  }
  EXPECT_LE(excused, kMaxExcusedPerShard);
}

INSTANTIATE_TEST_SUITE_P(Shards, EngineDifferential, ::testing::Range(0, kShards));

}  // namespace
}  // namespace velorin
