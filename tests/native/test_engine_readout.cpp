// Read-outs: texts, state vector, probabilities, density matrix, amplitudes,
// their index order and their size checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "circuit/errors.h"
#include "engine_fixtures.h"
#include "state_vector_reference.h"

namespace velorin {
namespace {

using testing::Add1;
using testing::Add2;
using testing::kR;
using testing::NewCircuit;
using testing::RunOnce;

TEST(ReadOut, StateVectorIsLimitedTo16Qubits) {
  auto c = NewCircuit(17);
  Add2(*c, kind::kCX, kGateCX, 0, 9);
  MpsSimulator engine(17);
  RunOnce(engine, *c);
  const std::vector<int64_t> order = engine.position_to_qubit();
  try {
    engine.GetStateVector();
    ADD_FAILURE() << "no exception";
  } catch (const RunTimeError& e) {
    EXPECT_STREQ(e.what(), "State Vector is supported only for 16 qubits or less.");
  }
  EXPECT_EQ(engine.position_to_qubit(), order);
}

TEST(ReadOut, BellStateAndRepeatedCalls) {
  auto c = NewCircuit(2);
  Add1(*c, kind::kH, kGateH, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 1);
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  const std::vector<Complex> first = engine.GetStateVector();
  ASSERT_EQ(first.size(), 4u);
  EXPECT_NEAR(first[0].real(), kR, 1e-15);
  EXPECT_EQ(first[1], Complex(0.0));
  EXPECT_EQ(first[2], Complex(0.0));
  EXPECT_NEAR(first[3].real(), kR, 1e-15);
  EXPECT_EQ(engine.GetStateVector(), first);
}

TEST(ReadOut, IndexOrderOfEveryReadOut) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kX, kGateX, 0);
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  const std::vector<double> p = engine.GetProbabilities({1, 0});
  EXPECT_EQ(p, (std::vector<double>{0, 0, 1, 0}));
  const std::vector<Complex> a = engine.GetAmplitudes({0, 1, 2});
  EXPECT_EQ(a, (std::vector<Complex>{0.0, 1.0, 0.0}));
  const std::vector<Complex> psi = engine.GetStateVector();
  for (size_t i = 0; i < psi.size(); ++i) EXPECT_EQ(psi[i], Complex(i == 1 ? 1.0 : 0.0));
}

TEST(ReadOut, ChainOutOfOrderReadsByQubit) {
  // A non-adjacent gate leaves the chain as 0, 2, 1; the read-outs must not show it.
  auto c = NewCircuit(3);
  Add1(*c, kind::kH, kGateH, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 2);
  Add1(*c, kind::kX, kGateX, 1);
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  ASSERT_EQ(engine.position_to_qubit(), (std::vector<int64_t>{0, 2, 1}));
  const std::vector<double> p = engine.GetProbabilities({0, 1, 2});
  EXPECT_NEAR(p[0b010], 0.5, 1e-15);
  EXPECT_NEAR(p[0b111], 0.5, 1e-15);
  const std::vector<double> p21 = engine.GetProbabilities({2, 1});
  EXPECT_NEAR(p21[0b10], 0.5, 1e-15);  // qubit 2 = 0, qubit 1 = 1
  EXPECT_NEAR(p21[0b11], 0.5, 1e-15);
  const Matrix rho = engine.GetDensityMatrix({2, 0});
  EXPECT_NEAR(rho(0, 0).real(), 0.5, 1e-15);
  EXPECT_NEAR(rho(3, 3).real(), 0.5, 1e-15);
  EXPECT_NEAR(rho(0, 3).real(), 0.5, 1e-15);
  EXPECT_NEAR(std::abs(rho(1, 1)), 0.0, 1e-15);
  const std::vector<Complex> a = engine.GetAmplitudes({0b111, 0b010, 0b101});
  EXPECT_NEAR(a[0].real(), kR, 1e-15);
  EXPECT_NEAR(a[1].real(), kR, 1e-15);
  EXPECT_EQ(a[2], Complex(0.0));
  EXPECT_EQ(engine.position_to_qubit(), (std::vector<int64_t>{0, 2, 1}));  // untouched
}

TEST(ReadOut, DensityMatrixOfPlus) {
  auto c = NewCircuit(1);
  Add1(*c, kind::kH, kGateH, 0);
  MpsSimulator engine(1);
  RunOnce(engine, *c);
  const Matrix rho = engine.GetDensityMatrix({0});
  ASSERT_EQ(rho.rows(), 2);
  for (Eigen::Index i = 0; i < 4; ++i) EXPECT_NEAR(std::abs(rho(i) - 0.5), 0.0, 1e-15);
}

TEST(ReadOut, MeasuredTexts) {
  auto c = NewCircuit(3);
  Add1(*c, kind::kX, kGateX, 0);
  c->measure(0, "");
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  EXPECT_EQ(engine.MeasuredBitsText(), "XX1");
  EXPECT_EQ(engine.MeasuredBitString(), "1");
  c->measure(2, "");
  MpsSimulator both(3);
  RunOnce(both, *c);
  EXPECT_EQ(both.MeasuredBitString(), "01");
}

TEST(ReadOut, AmplitudeIndicesAreSixtyFourBit) {
  auto c = NewCircuit(40);
  Add1(*c, kind::kX, kGateX, 32);
  MpsSimulator engine(40);
  RunOnce(engine, *c);
  const std::vector<Complex> a = engine.GetAmplitudes({uint64_t{1} << 32, 0, (uint64_t{1} << 32) | (uint64_t{1} << 50)});
  EXPECT_EQ(a[0], Complex(1.0));
  EXPECT_EQ(a[1], Complex(0.0));
  EXPECT_EQ(a[2], Complex(1.0));  // bit 50 names no qubit of this engine
}

TEST(ReadOut, AmplitudeLoopInParallelMatchesTheSerialOne) {
  auto c = NewCircuit(6);
  for (uint64_t q = 0; q < 6; ++q) Add1(*c, kind::kH, kGateH, q);
  Add2(*c, kind::kCZ, kGateCZ, 0, 5);
  MpsSimulator engine(6);
  RunOnce(engine, *c);
  std::vector<uint64_t> indices(64);
  for (uint64_t i = 0; i < 64; ++i) indices[i] = i;
  const std::vector<Complex> many = engine.GetAmplitudes(indices);  // more items than threads
  for (uint64_t i = 0; i < 64; ++i) {
    const double sign = ((i & 1) && (i & 32)) ? -1.0 : 1.0;
    EXPECT_NEAR(std::abs(many[i] - sign * 0.125), 0.0, 1e-15);
    EXPECT_EQ(engine.GetAmplitudes({i})[0], many[i]);
  }
}

TEST(ReadOut, SizesThatCannotExistThrowTheAllocationFailure) {
  auto c = NewCircuit(100);
  MpsSimulator engine(100);
  RunOnce(engine, *c);
  std::vector<uint64_t> all(100), forty(40), twenty(20);
  for (uint64_t q = 0; q < 100; ++q) all[q] = q;
  for (uint64_t q = 0; q < 40; ++q) forty[q] = q;
  for (uint64_t q = 0; q < 20; ++q) twenty[q] = q;
  EXPECT_THROW(engine.GetProbabilities(all), MemoryAllocError);      // 2^100 entries
  EXPECT_THROW(engine.GetProbabilities(forty), MemoryAllocError);    // 2^40 entries: terabytes
  EXPECT_THROW(engine.GetDensityMatrix(all), MemoryAllocError);      // 4^100
  EXPECT_THROW(engine.GetDensityMatrix(twenty), MemoryAllocError);   // 4^20 entries: terabytes
  EXPECT_EQ(engine.GetProbabilities({99, 3}), (std::vector<double>{1, 0, 0, 0}));
}

TEST(ReadOut, BadQubitListsThrow) {
  auto c = NewCircuit(3);
  MpsSimulator engine(3);
  EXPECT_THROW(engine.GetProbabilities({0}), std::out_of_range);  // no chain before a run
  RunOnce(engine, *c);
  EXPECT_THROW(engine.GetProbabilities({}), std::out_of_range);
  EXPECT_THROW(engine.GetProbabilities({3}), std::out_of_range);
  EXPECT_THROW(engine.GetDensityMatrix({1, 1}), std::out_of_range);
}

TEST(ReadOut, ReorderHelpers) {
  MpsSimulator engine(2);
  const std::vector<double> input{0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(engine.ReverseBitOrder(input, 3), (std::vector<double>{0, 4, 2, 6, 1, 5, 3, 7}));
  std::vector<double> out;
  // Positions 5, 1, 3: ranks 2, 0, 1; input bit 2 - rank goes to output bit 2 - j.
  PermuteToRequestedOrder(input, {5, 1, 3}, out);
  EXPECT_EQ(out, (std::vector<double>{0, 2, 4, 6, 1, 3, 5, 7}));
}

// ---- read-outs against a dense state, in every bit order ----

using testing::DenseState;

// Random Clifford gates (many between far-apart qubits), then a random
// rotation on every qubit, applied to the engine's circuit and to the dense
// twin alike. Every cut of such a state has equal Schmidt values, so no split
// or move truncates and the read-outs must match to rounding; the rotations
// make the probabilities uneven, so any misplaced bit shows.
DenseState RandomEntangled(QuantumCircuit& c, int n, int gates, std::mt19937_64& rng) {
  DenseState state(n);
  auto one = [&](GateKind k, const Matrix& m, int q) {
    Add1(c, k, m, static_cast<uint64_t>(q));
    state.Apply1(m, q);
  };
  for (int g = 0; g < gates; ++g) {
    const int a = static_cast<int>(rng() % n);
    switch (rng() % 4) {
      case 0: one(kind::kH, kGateH, a); break;
      case 1: one(kind::kS, kGateS, a); break;
      default: {
        if (n < 2) break;
        int b = static_cast<int>(rng() % (n - 1));
        if (b >= a) ++b;
        const bool cz = rng() % 3 == 0;
        Add2(c, cz ? kind::kCZ : kind::kCX, cz ? kGateCZ : kGateCX, static_cast<uint64_t>(a),
             static_cast<uint64_t>(b));
        state.Apply2(cz ? kGateCZ : kGateCX, a, b);
      }
    }
  }
  std::uniform_real_distribution<double> angle(-3.14159, 3.14159);
  for (int q = 0; q < n; ++q) one(kind::kU, MatrixU({angle(rng), angle(rng), angle(rng)}), q);
  return state;
}

// The reduced density matrix of the listed qubits (bit j: listed qubit j),
// as amplitudes arranged (listed bits) x (the other bits) times their adjoint.
Matrix ReducedDensity(const DenseState& state, const std::vector<int>& listed) {
  const size_t k = listed.size();
  std::vector<bool> is_listed(state.n, false);
  for (int q : listed) is_listed[q] = true;
  Matrix psi = Matrix::Zero(Eigen::Index{1} << k, Eigen::Index{1} << (state.n - k));
  for (size_t i = 0; i < state.amps.size(); ++i) {
    size_t rest = 0, bit = 0;
    for (int q = 0; q < state.n; ++q) {
      if (!is_listed[q]) rest |= ((i >> q) & 1u) << bit++;
    }
    const size_t row = DenseState::SubIndex(i, listed);
    psi(static_cast<Eigen::Index>(row), static_cast<Eigen::Index>(rest)) = state.amps[i];
  }
  return psi * psi.adjoint();
}

double MaxGap(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return INFINITY;
  double gap = 0.0;
  for (size_t i = 0; i < a.size(); ++i) gap = std::max(gap, std::abs(a[i] - b[i]));
  return gap;
}

std::vector<uint64_t> AsList(const std::vector<int>& qubits) {
  return std::vector<uint64_t>(qubits.begin(), qubits.end());
}

class ReadOutAgainstDense : public ::testing::TestWithParam<int> {};

// 2 to 12 qubits, half of them placed on the chain in a shuffled order (as
// a qubit-order search leaves them). Every list: the whole register in
// order, reversed and shuffled, qubits at neighbouring positions (read in
// place), and scattered subsets in any order (read from a gathered copy).
TEST_P(ReadOutAgainstDense, EveryReadOutInAnyOrder) {
  const int seed = GetParam();
  std::mt19937_64 rng(0xAB5EED + static_cast<uint64_t>(seed));
  const int n = 2 + seed % 11;
  auto c = NewCircuit(static_cast<uint64_t>(n));
  const DenseState reference = RandomEntangled(*c, n, 5 * n, rng);
  if (seed % 2 == 1) {
    std::vector<int64_t> placement(static_cast<size_t>(n));
    std::iota(placement.begin(), placement.end(), 0);
    std::shuffle(placement.begin(), placement.end(), rng);
    c->qubit_map = placement;
  }
  MpsSimulator engine(static_cast<uint64_t>(n));
  RunOnce(engine, *c);
  const std::vector<int64_t> order = engine.position_to_qubit();
  std::vector<size_t> bond_sizes;
  for (const BondValues& bond : engine.bonds()) bond_sizes.push_back(bond.size());

  std::vector<std::vector<int>> lists;
  std::vector<int> all(static_cast<size_t>(n));
  std::iota(all.begin(), all.end(), 0);
  lists.push_back(all);
  lists.emplace_back(all.rbegin(), all.rend());
  std::vector<int> shuffled = all;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  lists.push_back(shuffled);
  const int width = 1 + static_cast<int>(rng() % n);
  const int start = static_cast<int>(rng() % (n - width + 1));
  std::vector<int> neighbours;
  for (int p = start; p < start + width; ++p) neighbours.push_back(static_cast<int>(order[p]));
  std::shuffle(neighbours.begin(), neighbours.end(), rng);
  lists.push_back(neighbours);
  for (int extra = 0; extra < 3; ++extra) {
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    lists.emplace_back(shuffled.begin(), shuffled.begin() + 1 + static_cast<int>(rng() % n));
  }

  for (const std::vector<int>& listed : lists) {
    SCOPED_TRACE(::testing::PrintToString(listed));
    EXPECT_LT(MaxGap(engine.GetProbabilities(AsList(listed)), reference.Probabilities(listed)),
              1e-12);
    // In block order the qubit nearest the chain's start is the most significant.
    std::vector<int> by_position = listed;
    std::sort(by_position.begin(), by_position.end(), [&](int a, int b) {
      return engine.qubit_to_position()[a] > engine.qubit_to_position()[b];
    });
    EXPECT_LT(MaxGap(engine.ComputeSubsetProbabilities(AsList(listed)),
                     reference.Probabilities(by_position)),
              1e-12);
    if (listed.size() <= 5) {
      const Matrix rho = engine.GetDensityMatrix(AsList(listed));
      EXPECT_LT((rho - ReducedDensity(reference, listed)).cwiseAbs().maxCoeff(), 1e-12);
      for (Eigen::Index i = 0; i < rho.rows(); ++i) {
        EXPECT_EQ(rho(i, i).imag(), 0.0);
        for (Eigen::Index j = 0; j < i; ++j) EXPECT_EQ(rho(i, j), std::conj(rho(j, i)));
      }
    }
  }
  // None of these read-outs moved a qubit of the engine itself.
  EXPECT_EQ(engine.position_to_qubit(), order);
  for (size_t p = 0; p < bond_sizes.size(); ++p) EXPECT_EQ(engine.bonds()[p].size(), bond_sizes[p]);

  const std::vector<Complex> psi = engine.GetStateVector();
  ASSERT_EQ(psi.size(), reference.amps.size());
  for (size_t i = 0; i < psi.size(); ++i) EXPECT_LT(std::abs(psi[i] - reference.amps[i]), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ReadOutAgainstDense, ::testing::Range(0, 44));

TEST(ReadOut, OneQubitEngine) {
  auto c = NewCircuit(1);
  const Matrix u = MatrixU({1.1, 0.4, -0.7});
  Add1(*c, kind::kU, u, 0);
  MpsSimulator engine(1);
  RunOnce(engine, *c);
  const std::vector<Complex> psi = engine.GetStateVector();
  ASSERT_EQ(psi.size(), 2u);
  EXPECT_LT(std::abs(psi[0] - u(0, 0)), 1e-15);
  EXPECT_LT(std::abs(psi[1] - u(1, 0)), 1e-15);
  const std::vector<double> p = engine.GetProbabilities({0});
  EXPECT_NEAR(p[0], std::norm(u(0, 0)), 1e-15);
  EXPECT_NEAR(p[1], std::norm(u(1, 0)), 1e-15);
  const Matrix rho = engine.GetDensityMatrix({0});
  EXPECT_LT(std::abs(rho(0, 1) - u(0, 0) * std::conj(u(1, 0))), 1e-15);
}

// Big enough for the tiles to be shared among threads where the machine has
// them; a copy of the engine reads on one thread. Every entry is computed
// alone, so both agree to the last bit, and with the amplitudes, which are
// multiplied out index by index.
TEST(ReadOut, ThreadedAndSingleThreadedResultsAgree) {
  constexpr int n = 21;
  std::mt19937_64 rng(7);
  auto c = NewCircuit(n);
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  for (int layer = 0; layer < 4; ++layer) {
    for (uint64_t q = 0; q < n; ++q) {
      Add1(*c, kind::kU, MatrixU({angle(rng), angle(rng), angle(rng)}), q);
    }
    for (uint64_t q = layer % 2; q + 1 < n; q += 2) Add2(*c, kind::kCX, kGateCX, q, q + 1);
  }
  Add2(*c, kind::kCX, kGateCX, 3, 17);
  MpsSimulator engine(n);
  RunOnce(engine, *c);
  std::vector<uint64_t> listed(n);
  std::iota(listed.begin(), listed.end(), 0);
  std::shuffle(listed.begin(), listed.end(), rng);
  const std::vector<double> threaded = engine.GetProbabilities(listed);
  const MpsSimulator single(engine);
  EXPECT_EQ(single.GetProbabilities(listed), threaded);
  EXPECT_NEAR(std::accumulate(threaded.begin(), threaded.end(), 0.0), 1.0, 1e-12);
  for (int trial = 0; trial < 64; ++trial) {
    const uint64_t o = rng() & ((uint64_t{1} << n) - 1);
    uint64_t index = 0;  // bit listed[j] of the natural index is bit j of o
    for (int j = 0; j < n; ++j) index |= ((o >> j) & 1u) << listed[static_cast<size_t>(j)];
    EXPECT_NEAR(threaded[o], std::norm(engine.GetAmplitudes({index})[0]), 1e-15);
  }
}

// The in-place product of the sweeps, rows widening and narrowing, over
// several blocks of set-aside rows and within one.
class RowsInPlace : public ::testing::TestWithParam<std::tuple<uint64_t, uint64_t, uint64_t>> {};

TEST_P(RowsInPlace, MatchesTheProduct) {
  const auto [rows, c, wc] = GetParam();
  std::mt19937_64 rng(rows * 131 + c * 7 + wc);
  std::normal_distribution<double> gauss;
  using RowMajor = Eigen::Matrix<Complex, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  RowMajor a(static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(c));
  RowMajor w(static_cast<Eigen::Index>(c), static_cast<Eigen::Index>(wc));
  for (Eigen::Index i = 0; i < a.size(); ++i) a.data()[i] = Complex(gauss(rng), gauss(rng));
  for (Eigen::Index i = 0; i < w.size(); ++i) w.data()[i] = Complex(gauss(rng), gauss(rng));
  const RowMajor expected = a * w;
  std::vector<Complex> data(rows * std::max(c, wc), Complex(7.0, 7.0));
  std::copy(a.data(), a.data() + a.size(), data.begin());
  std::vector<Complex> scratch;
  MultiplyRowsInPlace(data.data(), rows, w.data(), c, wc, scratch);
  double gap = 0.0;
  for (Eigen::Index i = 0; i < expected.size(); ++i) {
    gap = std::max(gap, std::abs(data[i] - expected.data()[i]));
  }
  EXPECT_LT(gap, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RowsInPlace,
    ::testing::Values(std::make_tuple(uint64_t{5000}, uint64_t{8}, uint64_t{16}),  // widening
                      std::make_tuple(uint64_t{5000}, uint64_t{8}, uint64_t{2}),   // narrowing
                      std::make_tuple(uint64_t{4097}, uint64_t{4}, uint64_t{4}),
                      std::make_tuple(uint64_t{3}, uint64_t{1}, uint64_t{2}),
                      std::make_tuple(uint64_t{9}, uint64_t{20000}, uint64_t{3}),   // a row a block
                      std::make_tuple(uint64_t{9}, uint64_t{3}, uint64_t{20000})));

}  // namespace
}  // namespace velorin
