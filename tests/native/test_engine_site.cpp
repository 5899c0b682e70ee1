// Chain sites, the two-site update with its truncated split, and moves.
#include <gtest/gtest.h>

#include <cmath>

#include "circuit/errors.h"
#include "engine_fixtures.h"

namespace velorin {
namespace {

using testing::Add1;
using testing::Add2;
using testing::kR;
using testing::NewCircuit;
using testing::RunOnce;

Matrix Scalar(Complex v) { return Matrix::Constant(1, 1, v); }

// ---- QubitTensor ----

TEST(QubitTensor, NewSiteIsBasisStateZero) {
  QubitTensor site(7);
  ASSERT_EQ(site.factors.size(), 2u);
  EXPECT_EQ(site.factors[0], Scalar(1.0));
  EXPECT_EQ(site.factors[1], Scalar(0.0));
  EXPECT_EQ(site.max_bond_dimension, 7u);
  EXPECT_TRUE(QubitTensor().factors.empty());
  EXPECT_EQ(QubitTensor().max_bond_dimension, 512u);
  EXPECT_GE(gNumThreads, 1u);
}

TEST(QubitTensor, OneQubitGateMixesFactors) {
  QubitTensor site(2);
  site.ApplyOneQubitGate(kGateX);
  EXPECT_EQ(site.factors[0], Scalar(0.0));
  EXPECT_EQ(site.factors[1], Scalar(1.0));
}

// Four distinct 1x1 factors show which ones a gate exchanged.
QubitTensor NumberedPair() {
  QubitTensor pair;
  for (int i = 0; i < 4; ++i) pair.factors.push_back(Scalar(double(i)));
  return pair;
}

std::vector<double> Values(const QubitTensor& t) {
  std::vector<double> v;
  for (const Matrix& f : t.factors) v.push_back(f(0, 0).real());
  return v;
}

TEST(QubitTensor, TwoQubitGateIndexListFollowsTheFlag) {
  struct Case {
    const Matrix* gate;
    bool swap_middle;
    std::vector<double> expected;
  };
  const Case cases[] = {{&kGateCX, true, {0, 1, 3, 2}},
                        {&kGateCX, false, {0, 3, 2, 1}},
                        {&kGateSwap, true, {0, 2, 1, 3}},
                        {&kGateSwap, false, {0, 2, 1, 3}}};
  for (const Case& c : cases) {
    QubitTensor pair = NumberedPair();
    pair.ApplyTwoQubitGate(*c.gate, c.swap_middle);
    EXPECT_EQ(Values(pair), c.expected);
  }
}

TEST(QubitTensor, ScalingSkipsOnlyTheProductBond) {
  QubitTensor t;
  t.factors = {Matrix::Constant(2, 2, 3.0), Matrix::Constant(2, 2, 5.0)};
  const QubitTensor before = t;
  t.ScaleRows({1.0});
  t.ScaleColumns({1.0});
  EXPECT_EQ(t.factors, before.factors);
  t.ScaleRows({1.0, 0.0});
  for (const Matrix& f : t.factors) {
    EXPECT_EQ(f.row(1), Eigen::RowVectorXcd::Zero(2));
    EXPECT_NE(f(0, 0), Complex(0.0));
  }
  t.ScaleColumns({0.5, 2.0});
  EXPECT_EQ(t.factors[1](0, 0), Complex(2.5));
  EXPECT_EQ(t.factors[1](0, 1), Complex(10.0));
}

TEST(QubitTensor, SelfAssignmentKeepsEverything) {
  QubitTensor t(9);
  t.ApplyOneQubitGate(kGateH);
  const QubitTensor copy = t;
  QubitTensor& alias = t;
  t = alias;
  EXPECT_EQ(t.factors, copy.factors);
  EXPECT_EQ(t.max_bond_dimension, 9u);
}

TEST(MatrixHelpers, ElementwiseProductAndConjugate) {
  Matrix out = Matrix::Constant(1, 1, 42.0);
  EXPECT_EQ(MultiplyElementwise(Matrix::Ones(2, 3), Matrix::Ones(3, 2), out), kStatusShapeMismatch);
  EXPECT_EQ(out, Matrix::Constant(1, 1, 42.0));
  Matrix a(2, 3);
  a << Complex(1, 2), 2, 3, 4, 5, Complex(0, 1);
  EXPECT_EQ(ConjugateMatrix(a).rows(), 2);
  EXPECT_EQ(ConjugateMatrix(a)(0, 0), Complex(1, -2));
  Matrix reused = Matrix::Constant(3, 2, 7.0);  // same count, other shape
  EXPECT_EQ(MultiplyElementwise(a, ConjugateMatrix(a), reused), 0u);
  EXPECT_EQ(reused.rows(), 2);
  EXPECT_EQ(reused(0, 0), Complex(5, 0));
  EXPECT_EQ(reused(1, 2), Complex(1, 0));
}

// ---- two-site update and split ----

TEST(TwoSiteUpdate, BellPairAndBack) {
  auto c = NewCircuit(2);
  Add1(*c, kind::kH, kGateH, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 1);
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  ASSERT_EQ(engine.bonds()[0].size(), 2u);
  EXPECT_NEAR(engine.bonds()[0][0], kR, 1e-15);
  EXPECT_NEAR(engine.bonds()[0][1], kR, 1e-15);
  EXPECT_EQ(engine.chain()[0].factors[0].cols(), 2);
  EXPECT_EQ(engine.chain()[1].factors[0].rows(), 2);
  EXPECT_EQ(engine.bonds()[1], BondValues{1.0});

  // The same cx again: the second value falls under the threshold and goes.
  Add2(*c, kind::kCX, kGateCX, 0, 1);
  MpsSimulator again(2);
  RunOnce(again, *c);
  ASSERT_EQ(again.bonds()[0].size(), 1u);
  EXPECT_NEAR(again.bonds()[0][0], 1.0, 1e-15);
}

TEST(TwoSiteUpdate, CapOfOneKeepsOneRenormalisedValue) {
  for (uint64_t cap : {uint64_t{1}, uint64_t{0}}) {  // a cap of 0 still keeps one value
    auto c = NewCircuit(2);
    c->max_bond_dimension = cap;
    Add1(*c, kind::kH, kGateH, 0);
    Add2(*c, kind::kCX, kGateCX, 0, 1);
    MpsSimulator engine(2);
    RunOnce(engine, *c);
    ASSERT_EQ(engine.bonds()[0].size(), 1u);
    EXPECT_NEAR(engine.bonds()[0][0], 1.0, 1e-15);
    const std::vector<Complex> psi = engine.GetStateVector();
    EXPECT_NEAR(std::norm(psi[0]) + std::norm(psi[3]), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(psi[0] * psi[3]), 0.0, 1e-12);  // one branch survives
  }
}

// A merged pair whose matrix is diag(a, b): its singular values are exact.
QubitTensor DiagonalPair(double a, double b) {
  QubitTensor merged;
  merged.max_bond_dimension = kUnlimitedBondDimension;
  merged.factors = {Scalar(a), Scalar(0.0), Scalar(0.0), Scalar(b)};
  return merged;
}

TEST(TruncatedSplit, RenormalisesOnlyBeyondTheTolerance) {
  QubitTensor left(1), right(1);
  BondValues bond;
  // Dropped weight 5e-10: within 1e-9 of 1, the kept value stays as computed.
  const double small = std::sqrt(5e-10), kept = std::sqrt(1.0 - 5e-10);
  SplitTwoSites(DiagonalPair(kept, small), left, bond, right);
  ASSERT_EQ(bond.size(), 1u);
  EXPECT_EQ(bond[0], kept);
  // Dropped weight 5e-9: rescaled to 1.
  const double larger = std::sqrt(5e-9);
  SplitTwoSites(DiagonalPair(std::sqrt(1.0 - 5e-9), larger), left, bond, right);
  ASSERT_EQ(bond.size(), 1u);
  EXPECT_NEAR(bond[0], 1.0, 1e-15);
  EXPECT_NE(bond[0], std::sqrt(1.0 - 5e-9));
}

TEST(TruncatedSplit, ASquareOfExactlyTheThresholdIsDropped) {
  // The double whose square is the double 1e-8, found next to sqrt(1e-8).
  double s = std::sqrt(1e-8);
  for (int i = 0; i < 8 && s * s != 1e-8; ++i) s = std::nextafter(s, s * s < 1e-8 ? 1.0 : 0.0);
  ASSERT_EQ(s * s, 1e-8);
  QubitTensor left(1), right(1);
  BondValues bond;
  SplitTwoSites(DiagonalPair(std::sqrt(1.0 - 1e-8), s), left, bond, right);
  EXPECT_EQ(bond.size(), 1u);
  SplitTwoSites(DiagonalPair(std::sqrt(1.0 - 1e-8), std::nextafter(s, 1.0)), left, bond, right);
  EXPECT_EQ(bond.size(), 2u);
}

TEST(TruncatedSplit, NothingAboveTheThresholdKeepsOneValueWithoutDividingByZero) {
  QubitTensor left(1), right(1);
  BondValues bond;
  SplitTwoSites(DiagonalPair(0.0, 0.0), left, bond, right);
  ASSERT_EQ(bond.size(), 1u);
  EXPECT_EQ(bond[0], 0.0);
  for (const QubitTensor* t : {&left, &right}) {
    ASSERT_EQ(t->factors.size(), 2u);
    for (const Matrix& f : t->factors) EXPECT_TRUE(f.allFinite());
  }
  // A malformed pair changes nothing.
  QubitTensor odd;
  odd.factors = {Matrix::Ones(1, 1), Matrix::Ones(2, 1), Matrix::Ones(1, 1), Matrix::Ones(1, 1)};
  BondValues untouched{0.25};
  SplitTwoSites(odd, left, untouched, right);
  EXPECT_EQ(untouched, BondValues{0.25});
}

TEST(TruncatedSplit, ZeroBondValueNextToAnUpdateGivesNoInfinity) {
  // A chain whose middle bond kept a single zero (an all-zero state): later
  // updates that divide that bond out must stay finite.
  auto c = NewCircuit(3);
  c->instructions.clear();
  Add1(*c, kind::kU, Matrix::Zero(2, 2), 1);  // not unitary: wipes the state
  Add2(*c, kind::kUnnamed, Matrix::Identity(4, 4), 0, 1);
  Add2(*c, kind::kUnnamed, Matrix::Identity(4, 4), 1, 2);
  Add2(*c, kind::kUnnamed, Matrix::Identity(4, 4), 0, 1);
  MpsSimulator engine(3);
  RunOnce(engine, *c);
  for (const QubitTensor& t : engine.chain()) {
    for (const Matrix& f : t.factors) EXPECT_TRUE(f.allFinite());
  }
  for (const Complex& a : engine.GetStateVector()) EXPECT_TRUE(std::isfinite(a.real()));
}

TEST(TwoSiteUpdate, ReversedCxFlipsTheLeftPosition) {
  auto c = NewCircuit(2);
  Add1(*c, kind::kX, kGateX, 1);
  Add2(*c, kind::kCX, kGateCX, 1, 0);  // control on the right position
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  const std::vector<Complex> psi = engine.GetStateVector();
  EXPECT_NEAR(std::abs(psi[3]), 1.0, 1e-15);
}

TEST(TwoSiteUpdate, FarGateMovesTheFartherQubitNextToTheNearerOne) {
  auto c = NewCircuit(6);
  Add2(*c, kind::kCZ, kGateCZ, 0, 5);
  MpsSimulator engine(6);
  RunOnce(engine, *c);
  EXPECT_EQ(engine.position_to_qubit(), (std::vector<int64_t>{0, 5, 1, 2, 3, 4}));
  EXPECT_EQ(engine.qubit_to_position(), (std::vector<int64_t>{0, 2, 3, 4, 5, 1}));
}

TEST(TwoSiteUpdate, RefusesBadRecords) {
  MpsSimulator engine(2);
  auto c = NewCircuit(2);
  engine.Reset(*c);
  EXPECT_THROW(engine.ApplyTwoQubitGate(0, 0, kind::kCX, kGateCX), RunTimeError);
  EXPECT_THROW(engine.ApplyTwoQubitGate(0, 2, kind::kCX, kGateCX), std::out_of_range);
  EXPECT_THROW(engine.ApplyTwoQubitGate(0, 1, kind::kCY, kGateX), RunTimeError);
  EXPECT_THROW(engine.ApplyTwoSiteGate(1, kind::kCX, kGateCX, false), std::out_of_range);
  EXPECT_EQ(engine.position_to_qubit(), (std::vector<int64_t>{0, 1}));
}

TEST(AlmostEqual, AbsoluteThenRelative) {
  EXPECT_TRUE(AlmostEqual(1.0, 1.0 + 1e-10, 1e-9, 0.0));
  EXPECT_FALSE(AlmostEqual(1.0, 1.0 + 1e-8, 1e-9, 0.0));
  EXPECT_TRUE(AlmostEqual(1e6, 1e6 + 1e-4, 0.0, 1e-9));
  EXPECT_FALSE(AlmostEqual(1e-12, 0.0, 1e-13, 1e-3));
}

// ---- positions ----

// An engine of n qubits in a product state that marks every qubit: qubit q
// is 1 exactly when it is odd, so the state shows where each one went.
struct MarkedChain {
  explicit MarkedChain(uint64_t n) : circuit(NewCircuit(n)), engine(n) {
    for (uint64_t q = 1; q < n; q += 2) Add1(*circuit, kind::kX, kGateX, q);
    RunOnce(engine, *circuit);
  }
  std::unique_ptr<QuantumCircuit> circuit;
  MpsSimulator engine;
};

TEST(Positions, SwapPositionsExchangesTwoQubits) {
  MarkedChain m(6);
  m.engine.SwapPositions(1, 4);
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 4, 2, 3, 1, 5}));
  EXPECT_EQ(m.engine.qubit_to_position(), (std::vector<int64_t>{0, 4, 2, 3, 1, 5}));
  // The state travelled with the labels: still qubits 1, 3 and 5 set.
  EXPECT_NEAR(std::abs(m.engine.GetAmplitudes({0b101010})[0]), 1.0, 1e-15);
}

TEST(Positions, MoveQubitShiftsTheOnesBetween) {
  MarkedChain m(6);
  m.engine.MoveQubit(4, 1);
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 4, 1, 2, 3, 5}));
  m.engine.MoveQubit(1, 4);
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
  m.engine.MoveQubit(3, 3);
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_NEAR(std::abs(m.engine.GetAmplitudes({0b101010})[0]), 1.0, 1e-15);
}

TEST(Positions, RestoreQubitOrder) {
  MarkedChain m(3);
  m.engine.MoveQubit(2, 0);  // order 2, 0, 1
  ASSERT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{2, 0, 1}));
  m.engine.RestoreQubitOrder();
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(m.engine.qubit_to_position(), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_NEAR(std::abs(m.engine.GetAmplitudes({0b010})[0]), 1.0, 1e-15);
}

TEST(Positions, FindCentralizedIndices) {
  struct Case {
    std::vector<uint64_t> input, sorted, targets;
  };
  const Case cases[] = {{{5, 1, 3}, {1, 3, 5}, {2, 3, 4}},
                        {{0, 7}, {0, 7}, {0, 1}},
                        {{4}, {4}, {4}},
                        {{9, 8, 0, 1}, {0, 1, 8, 9}, {0, 1, 2, 3}}};
  for (const Case& c : cases) {
    std::vector<uint64_t> sorted, targets;
    MpsSimulator::FindCentralizedIndices(c.input, sorted, targets);
    EXPECT_EQ(sorted, c.sorted);
    EXPECT_EQ(targets, c.targets);
  }
}

TEST(Positions, CentralizeQubitsKeepsTheMedianAndTheOrder) {
  MarkedChain m(8);
  std::vector<uint64_t> targets;
  m.engine.CentralizeQubits({6, 2}, targets);
  EXPECT_EQ(targets, (std::vector<uint64_t>{2, 3}));
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2, 6, 3, 4, 5, 7}));
  m.engine.CentralizeQubits({7, 0, 4}, targets);
  EXPECT_EQ(targets, (std::vector<uint64_t>{3, 4, 5}));
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{1, 2, 6, 0, 3, 7, 4, 5}));
}

TEST(Positions, ContractRangeOfABellPair) {
  auto c = NewCircuit(2);
  Add1(*c, kind::kH, kGateH, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 1);
  MpsSimulator engine(2);
  RunOnce(engine, *c);
  QubitTensor merged;
  engine.ContractRange(merged, 0, 1);
  ASSERT_EQ(merged.factors.size(), 4u);
  const double expected[] = {kR, 0, 0, kR};
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(merged.factors[i].size(), 1);
    EXPECT_NEAR(std::abs(merged.factors[i](0, 0)), expected[i], 1e-15);
  }
}

TEST(Positions, RankPositions) {
  std::vector<uint64_t> ranks;
  RankPositions({7, 2, 5}, ranks);
  EXPECT_EQ(ranks, (std::vector<uint64_t>{2, 0, 1}));
}

TEST(Positions, OutOfRangePositionsThrow) {
  MarkedChain m(3);
  EXPECT_THROW(m.engine.SwapPositions(0, 3), std::out_of_range);
  EXPECT_THROW(m.engine.MoveQubit(5, 0), std::out_of_range);
  EXPECT_THROW(m.engine.PositionsOf({3}), std::out_of_range);
  QubitTensor out;
  EXPECT_THROW(m.engine.ContractRange(out, 2, 1), std::out_of_range);
  EXPECT_EQ(m.engine.position_to_qubit(), (std::vector<int64_t>{0, 1, 2}));
}

}  // namespace
}  // namespace velorin
