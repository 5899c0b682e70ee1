// Read-outs: texts, state vector, probabilities, density matrix, amplitudes,
// their index order and their size checks.
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

}  // namespace
}  // namespace velorin
