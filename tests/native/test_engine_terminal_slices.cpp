// Terminal shots drawn in slices side by side, each slice from a stream of
// its own: the Born distribution of an independent dense state, and shots
// that never repeat one another's draws.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>

#include "engine_fixtures.h"
#include "state_vector_reference.h"

namespace velorin {
namespace {

using testing::Add1;
using testing::Add2;
using testing::NewCircuit;
using testing::RunOnce;

// Chi-square at a false-alarm rate of 1e-6: the Wilson-Hilferty quantile.
double ChiSquareLimit(double dof) {
  constexpr double kZ = 4.753424;
  const double t = 1 - 2 / (9 * dof) + kZ * std::sqrt(2 / (9 * dof));
  return dof * t * t * t;
}

// Every shot of a run: the first and later ones through Run, as the backend
// runs terminal shots.
std::vector<std::string> AllShots(MpsSimulator& engine, QuantumCircuit& c, int64_t shots) {
  c.shots = shots;
  std::vector<std::string> texts;
  for (int64_t s = 0; s < shots; ++s) {
    if (s == 0) {
      RunOnce(engine, c);
    } else {
      engine.Run(c);
    }
    texts.push_back(engine.MeasuredBitString());
  }
  return texts;
}

uint64_t IndexOf(const std::string& bits) {
  uint64_t index = 0;
  for (char b : bits) index = 2 * index + (b == '1' ? 1 : 0);
  return index;
}

class TerminalSlices : public ::testing::TestWithParam<int> {};

TEST_P(TerminalSlices, FollowTheBornDistribution) {
  constexpr int kQubits = 8;
  constexpr int64_t kShots = 6000;
  auto c = NewCircuit(kQubits);
  testing::DenseState dense(kQubits);
  std::mt19937 rng(2900 + static_cast<unsigned>(GetParam()));
  std::uniform_real_distribution<double> angle(-M_PI, M_PI);
  testing::Dense cx = testing::Dense::Zero(4, 4);  // index b0 + 2 b1, control b0
  cx(0, 0) = cx(2, 2) = cx(3, 1) = cx(1, 3) = 1.0;
  for (int layer = 0; layer < 6; ++layer) {
    for (int q = 0; q < kQubits; ++q) {
      const Matrix u = MatrixU({angle(rng), angle(rng), angle(rng)});
      Add1(*c, kind::kU, u, static_cast<uint64_t>(q));
      dense.Apply1(u, q);
    }
    for (int q = layer % 2; q + 1 < kQubits; q += 2) {
      const int a = layer % 3 == 0 ? q + 1 : q;
      const int b = a == q ? q + 1 : q;
      Add2(*c, kind::kCX, kGateCX, static_cast<uint64_t>(a), static_cast<uint64_t>(b));
      dense.Apply2(cx, a, b);
    }
  }
  c->measure_all("");
  MpsSimulator engine(kQubits);
  engine.set_side_threads(GetParam());
  const std::vector<std::string> shots = AllShots(engine, *c, kShots);

  std::vector<double> observed(size_t{1} << kQubits, 0.0);
  for (const std::string& bits : shots) observed[IndexOf(bits)] += 1;
  double stat = 0.0, rest_expected = 0.0, rest_observed = 0.0;
  int bins = 0;
  for (size_t i = 0; i < observed.size(); ++i) {
    const double p = std::norm(dense.amps[i]);
    if (p < 1e-12) {
      EXPECT_EQ(observed[i], 0.0) << i;
    }
    const double expected = p * kShots;
    if (expected >= 5) {
      stat += (observed[i] - expected) * (observed[i] - expected) / expected;
      ++bins;
    } else {
      rest_expected += expected;
      rest_observed += observed[i];
    }
  }
  if (rest_expected > 0) {
    stat += (rest_observed - rest_expected) * (rest_observed - rest_expected) / rest_expected;
    ++bins;
  }
  EXPECT_LT(stat, ChiSquareLimit(bins - 1)) << bins;
}

INSTANTIATE_TEST_SUITE_P(Threads, TerminalSlices, ::testing::Values(1, 3, 8));

TEST(TerminalSlicesIndependence, NoTwoShotsShareTheirDraws) {
  // Fifty fair coins per shot: two equal shots among these would mean two
  // slices drawing from one stream (by chance: about 1e-8).
  constexpr uint64_t kCoins = 50;
  auto c = NewCircuit(kCoins);
  for (uint64_t q = 0; q < kCoins; ++q) Add1(*c, kind::kH, kGateH, q);
  c->measure_all("");
  MpsSimulator engine(kCoins);
  engine.set_side_threads(4);
  const std::vector<std::string> first = AllShots(engine, *c, 3000);
  const std::set<std::string> distinct(first.begin(), first.end());
  EXPECT_EQ(distinct.size(), first.size());
  // Neighbouring shots, within and across slices, agree on a coin half the
  // time (six standard deviations).
  double agree = 0.0;
  for (size_t s = 1; s < first.size(); ++s) {
    for (uint64_t q = 0; q < kCoins; ++q) agree += first[s][q] == first[s - 1][q];
  }
  const double pairs = static_cast<double>((first.size() - 1) * kCoins);
  EXPECT_NEAR(agree / pairs, 0.5, 6 * 0.5 / std::sqrt(pairs));
  // Another engine, seeded apart, repeats none of these shots.
  MpsSimulator again(kCoins);
  again.set_side_threads(4);
  for (const std::string& bits : AllShots(again, *c, 3000)) EXPECT_EQ(distinct.count(bits), 0u);
}

}  // namespace
}  // namespace velorin
