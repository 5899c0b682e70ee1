// Timings of the engine's main paths: the two-site update at fixed bond
// dimensions, shots from the checkpoint, and a random brickwork circuit.
// One line per case; no targets, only figures to compare against.
#include <Eigen/QR>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "circuit/quantum_circuit.h"
#include "composite/first_measure.h"
#include "engine/bond_policy.h"
#include "engine/mps_simulator.h"
#include "engine/svd.h"
#include "platform/clock.h"

namespace velorin {
namespace {

double Seconds(int64_t from, int64_t to) { return static_cast<double>(to - from) * 1e-9; }

Matrix RandomUnitary(Eigen::Index dim, std::mt19937_64& rng) {
  std::normal_distribution<double> gauss;
  Matrix g(dim, dim);
  for (Eigen::Index i = 0; i < g.size(); ++i) g(i) = Complex(gauss(rng), gauss(rng));
  return Eigen::HouseholderQR<Matrix>(g).householderQ();
}

std::unique_ptr<QuantumCircuit> NewCircuit(uint64_t n) {
  return std::make_unique<QuantumCircuit>(n, n, "", 0.0);
}

// Random two-qubit gates on alternating neighbour pairs.
void AddBrickwork(QuantumCircuit& c, uint64_t n, int depth, std::mt19937_64& rng) {
  for (int layer = 0; layer < depth; ++layer) {
    for (uint64_t q = layer % 2; q + 1 < n; q += 2) {
      c.AppendTwoQubitInstruction(kind::kUnnamed, RandomUnitary(4, rng), q, q + 1, {},
                                  c.instructions, "");
    }
  }
}

// The middle pair of a chain whose bonds on both sides of it hold `bond`
// values: 2k + 2 qubits scrambled by a brickwork, k = log2(bond).
void TwoSiteUpdate(uint64_t bond) {
  uint64_t k = 0;
  while ((uint64_t{1} << k) < bond) ++k;
  const uint64_t n = 2 * k + 2;
  std::mt19937_64 rng(7);
  auto c = NewCircuit(n);
  c->max_bond_dimension = kUnlimitedBondDimension;
  AddBrickwork(*c, n, static_cast<int>(2 * n), rng);
  ComputeFirstMeasureIndex(*c);
  MpsSimulator engine(n);
  engine.Run(*c);
  const Matrix gate = RandomUnitary(4, rng);
  const int updates = bond >= 256 ? 20 : bond >= 64 ? 200 : 2000;
  const int64_t start = platform::SteadyNanoseconds();
  for (int i = 0; i < updates; ++i) engine.ApplyTwoSiteGate(k, kind::kUnnamed, gate, false);
  const int64_t end = platform::SteadyNanoseconds();
  std::printf("two-site update, bond dimension %3llu (bonds %llu|%llu|%llu): %10.3f ms per update "
              "(%d updates)\n",
              static_cast<unsigned long long>(bond),
              static_cast<unsigned long long>(engine.bonds()[k - 1].size()),
              static_cast<unsigned long long>(engine.bonds()[k].size()),
              static_cast<unsigned long long>(engine.bonds()[k + 1].size()),
              Seconds(start, end) * 1e3 / updates, updates);
}

// h, a cx chain, measure_all: 1000 shots as the backend runs them.
void GhzShots() {
  const uint64_t n = 100;
  const int shots = 1000;
  auto c = NewCircuit(n);
  c->AppendOneQubitInstruction(kind::kH, kGateH, 0, {}, c->instructions, "");
  for (uint64_t q = 0; q + 1 < n; ++q) {
    c->AppendTwoQubitInstruction(kind::kCX, kGateCX, q, q + 1, {}, c->instructions, "");
  }
  c->measure_all("");
  c->shots = shots;  // as the backend sets it: only the last shot projects the chain
  const int64_t start = platform::SteadyNanoseconds();
  SelectMaxBondDimension(*c, kAutomatic);
  ComputeFirstMeasureIndex(*c);
  MpsSimulator engine(n);
  int ones = 0;
  for (int shot = 0; shot < shots; ++shot) {
    engine.Run(*c);
    ones += engine.MeasuredBitString()[0] == '1';
  }
  const int64_t end = platform::SteadyNanoseconds();
  std::printf("GHZ 100 qubits, %d shots of measure_all: %10.3f ms total, %.3f ms per shot (%d all-ones)\n",
              shots, Seconds(start, end) * 1e3, Seconds(start, end) * 1e3 / shots, ones);
}

// 20 qubits, 10 layers of random two-qubit gates, run once with no cap.
void Brickwork() {
  const uint64_t n = 20;
  std::mt19937_64 rng(20240601);
  auto c = NewCircuit(n);
  for (uint64_t q = 0; q < n; ++q) {
    c->AppendOneQubitInstruction(kind::kU, RandomUnitary(2, rng), q, {}, c->instructions, "");
  }
  AddBrickwork(*c, n, 10, rng);
  c->max_bond_dimension = kUnlimitedBondDimension;
  ComputeFirstMeasureIndex(*c);
  MpsSimulator engine(n);
  const int64_t start = platform::SteadyNanoseconds();
  engine.Run(*c);
  const int64_t end = platform::SteadyNanoseconds();
  size_t widest = 0;
  for (const BondValues& b : engine.bonds()) widest = std::max(widest, b.size());
  std::printf("random brickwork 20 qubits, depth 10: %10.3f ms (widest bond %zu)\n",
              Seconds(start, end) * 1e3, widest);
}

// The split's decompositions side by side on random square complex matrices,
// one thread: where each method should take over.
void SvdMethods() {
  std::mt19937_64 rng(11);
  std::normal_distribution<double> gauss;
  std::printf("thin SVD, ms per call:   rows   Jacobi   zgesdd\n");
  for (Eigen::Index rows : {4, 8, 12, 16, 24, 32, 48, 64, 128, 256, 512}) {
    Matrix a(rows, rows);
    for (Eigen::Index i = 0; i < a.size(); ++i) a(i) = Complex(gauss(rng), gauss(rng));
    Eigen::VectorXd values;
    Matrix u, vh;
    double ms[2];
    const SvdMethod methods[2] = {SvdMethod::kJacobi, SvdMethod::kLapack};
    for (int m = 0; m < 2; ++m) {
      if (m == 0 && rows > 128) {
        ms[m] = 0.0;
        continue;
      }
      const int calls = rows <= 32 ? 200 : rows <= 128 ? 20 : 2;
      const int64_t start = platform::SteadyNanoseconds();
      for (int c = 0; c < calls; ++c) ThinSvd(a, values, u, vh, methods[m]);
      ms[m] = Seconds(start, platform::SteadyNanoseconds()) * 1e3 / calls;
    }
    std::printf("                         %5lld %8.3f %8.3f\n", static_cast<long long>(rows),
                ms[0], ms[1]);
  }
}

// The tiny splits of shallow circuits: the rotations on stack storage against
// the general methods, in microseconds per call.
void SmallSvdTimes() {
  std::mt19937_64 rng(12);
  std::normal_distribution<double> gauss;
  std::printf("small SVD, us per call:  shape    one-sided Jacobi   Jacobi   zgesdd\n");
  const Eigen::Index shapes[][2] = {{2, 2}, {4, 4}, {4, 8}, {8, 4}, {6, 6}, {8, 8}, {8, 16}, {16, 8}};
  for (const auto& shape : shapes) {
    Matrix a(shape[0], shape[1]);
    for (Eigen::Index i = 0; i < a.size(); ++i) a(i) = Complex(gauss(rng), gauss(rng));
    Eigen::VectorXd values;
    Matrix u, vh;
    constexpr int kCalls = 20000;
    double us[3];
    for (int m = 0; m < 3; ++m) {
      const int64_t start = platform::SteadyNanoseconds();
      for (int c = 0; c < kCalls; ++c) {
        if (m == 0) {
          SmallSvd(a, values, u, vh);
        } else {
          ThinSvd(a, values, u, vh, m == 1 ? SvdMethod::kJacobi : SvdMethod::kLapack);
        }
      }
      us[m] = Seconds(start, platform::SteadyNanoseconds()) * 1e6 / kCalls;
    }
    std::printf("                         %2lldx%-4lld %12.2f %12.2f %8.2f\n",
                static_cast<long long>(shape[0]), static_cast<long long>(shape[1]), us[0], us[1],
                us[2]);
  }
}

// A big split alone and with the threads ThreadsForRows grants at the
// moment, side by side: the second must never be the slower one, and on a
// quiet machine should be clearly faster.
void BigSplitThreads() {
  std::mt19937_64 rng(13);
  std::normal_distribution<double> gauss;
  for (const auto& shape : {std::pair<Eigen::Index, Eigen::Index>{384, 384}, {512, 512}, {768, 768}, {938, 1002}}) {
    Matrix a(shape.first, shape.second);
    for (Eigen::Index i = 0; i < a.size(); ++i) a(i) = Complex(gauss(rng), gauss(rng));
    Eigen::VectorXd values;
    Matrix u, vh;
    double serial_ms = 1e300, granted_ms = 1e300;
    int granted = 1;
    for (int round = 0; round < 3; ++round) {
      {
        SerialMath serial(true);
        const int64_t start = platform::SteadyNanoseconds();
        ThinSvd(a, values, u, vh);
        serial_ms = std::min(serial_ms, Seconds(start, platform::SteadyNanoseconds()) * 1e3);
      }
      granted = ThreadsForRows(a.rows());
      const int64_t start = platform::SteadyNanoseconds();
      ThinSvd(a, values, u, vh);
      granted_ms = std::min(granted_ms, Seconds(start, platform::SteadyNanoseconds()) * 1e3);
    }
    std::printf("big split %4lldx%-4lld: one thread %8.1f ms, %d threads %8.1f ms (%.2fx)\n",
                static_cast<long long>(shape.first), static_cast<long long>(shape.second),
                serial_ms, granted, granted_ms, serial_ms / granted_ms);
  }
}

}  // namespace
}  // namespace velorin

int main() {
  velorin::BigSplitThreads();
  velorin::SmallSvdTimes();
  velorin::SvdMethods();
  for (uint64_t bond : {16, 64, 256}) velorin::TwoSiteUpdate(bond);
  velorin::GhzShots();
  velorin::Brickwork();
  return 0;
}
