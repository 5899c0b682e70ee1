// Bond-dimension policy, the interaction matrix, and the first-measure index.
#include <gtest/gtest.h>

#include <climits>

#include "engine/bond_policy.h"
#include "engine/circuit_optimizer.h"
#include "engine_fixtures.h"

namespace velorin {
namespace {

using testing::Add2;
using testing::Composite;
using testing::NewCircuit;
using testing::Record;

constexpr uint64_t kNoCap = kUnlimitedBondDimension;

struct PolicyCase {
  uint64_t mode;
  int32_t measure;
  uint64_t gib;
  uint64_t cap;
};

void PrintTo(const PolicyCase& k, std::ostream* out) {
  *out << "mode " << k.mode << ", measure " << k.measure << ", " << k.gib << " GiB";
}

class BondPolicy : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(BondPolicy, ChoosesTheCap) {
  const PolicyCase& k = GetParam();
  EXPECT_EQ(ChooseBondDimension(k.mode, k.measure, k.gib), k.cap);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BondPolicy,
    ::testing::Values(PolicyCase{0, 0, 8, kNoCap}, PolicyCase{1, 0, 8, kNoCap},
                      PolicyCase{2, 0, 8, kNoCap}, PolicyCase{4, 90000, 8, kNoCap},
                      PolicyCase{3, 0, 8, kNoCap}, PolicyCase{3, 0, 101, 1024},
                      PolicyCase{0, 1999, 8, kNoCap}, PolicyCase{0, 2000, 8, 512},
                      PolicyCase{1, 2000, 8, 1024}, PolicyCase{2, 2000, 8, 2048},
                      PolicyCase{3, 5000, 20, 2048}, PolicyCase{3, 5000, 21, kNoCap},
                      PolicyCase{3, 3000, 90, kNoCap}, PolicyCase{3, 20000, 90, 1024},
                      PolicyCase{3, 20000, 10, 512}, PolicyCase{3, 7000, 50, 2048},
                      PolicyCase{3, 100, 101, 1024}, PolicyCase{7, 5000, 20, 2048},
                      PolicyCase{7, INT32_MAX, 0, 512}));

TEST(BondPolicyOfACircuit, MeasureOfTheCircuitDecides) {
  auto light = NewCircuit(3);
  light->measure(0, "");
  for (uint64_t mode : {0, 1, 2, 4}) {
    SelectMaxBondDimension(*light, mode);
    EXPECT_EQ(light->max_bond_dimension, kNoCap);
  }
  auto heavy = NewCircuit(6);
  for (int i = 0; i < 500; ++i) Add2(*heavy, kind::kCX, kGateCX, 0, 5);
  SelectMaxBondDimension(*heavy, kHighestAccuracy);
  EXPECT_EQ(heavy->max_bond_dimension, 2048u);
  SelectMaxBondDimension(*heavy, kHighestEfficiency);
  EXPECT_EQ(heavy->max_bond_dimension, 512u);
}

TEST(InteractionMatrix, EmptyAndRepeatedPairs) {
  auto none = NewCircuit(3);
  CircuitOptimizer empty;
  empty.Build(*none);
  EXPECT_EQ(empty.interaction_matrix.rows(), 1);
  EXPECT_TRUE(empty.pair_weights.empty());
  EXPECT_EQ(empty.Cost(empty.interaction_matrix), 0);

  auto c = NewCircuit(3);
  for (int i = 0; i < 3; ++i) Add2(*c, kind::kCX, kGateCX, 0, 2);
  CircuitOptimizer optimizer;
  optimizer.Build(*c);
  ASSERT_EQ(optimizer.interaction_matrix.rows(), 2);
  EXPECT_EQ(optimizer.pair_weights, (std::vector<int64_t>{3}));
  EXPECT_EQ(optimizer.Cost(optimizer.interaction_matrix), 6);
  InteractionMatrix moved = optimizer.interaction_matrix;
  CircuitOptimizer::MoveColumn(moved, 0, 1);
  EXPECT_EQ(moved.row(1), (Eigen::RowVector3i(1, 0, 2)));
  EXPECT_EQ(optimizer.Cost(moved), 3);
}

TEST(InteractionMatrix, PairsAreUnorderedAndCompositesCount) {
  auto c = NewCircuit(4);
  Add2(*c, kind::kCX, kGateCX, 2, 0);
  Add2(*c, kind::kCX, kGateCX, 0, 2);
  InstructionList subs;
  Add2(*c, kind::kCX, kGateCX, 1, 3, &subs);
  Add2(*c, kind::kCX, kGateCX, 0, 1, &subs);
  testing::Push(*c, Composite(std::move(subs)));
  CircuitOptimizer optimizer;
  optimizer.Build(*c);
  ASSERT_EQ(optimizer.interaction_matrix.rows(), 4);
  EXPECT_EQ(optimizer.interaction_matrix.row(0), (Eigen::RowVector4i(1, 1, 0, 0)));  // (0, 1)
  EXPECT_EQ(optimizer.interaction_matrix.row(1), (Eigen::RowVector4i(1, 0, 1, 0)));  // (0, 2)
  EXPECT_EQ(optimizer.interaction_matrix.row(2), (Eigen::RowVector4i(0, 1, 0, 1)));  // (1, 3)
  EXPECT_EQ(optimizer.pair_weights, (std::vector<int64_t>{1, 2, 1}));
  EXPECT_EQ(optimizer.Cost(optimizer.interaction_matrix), 1 + 2 * 2 + 2);
}

TEST(InteractionMatrix, MoveColumn) {
  InteractionMatrix m(1, 4);
  m << 0, 1, 2, 3;
  InteractionMatrix left = m, right = m;
  CircuitOptimizer::MoveColumn(left, 3, 0);
  EXPECT_EQ(left.row(0), (Eigen::RowVector4i(3, 0, 1, 2)));
  CircuitOptimizer::MoveColumn(right, 0, 3);
  EXPECT_EQ(right.row(0), (Eigen::RowVector4i(1, 2, 3, 0)));
  EXPECT_THROW(CircuitOptimizer::MoveColumn(m, 0, 4), std::out_of_range);
}

TEST(InteractionMatrix, MeasureSaturatesAtTheLargest32BitValue) {
  CircuitOptimizer optimizer;
  optimizer.interaction_matrix = InteractionMatrix::Zero(3, 100);
  optimizer.interaction_matrix(0, 0) = optimizer.interaction_matrix(0, 99) = 1;
  optimizer.interaction_matrix(1, 0) = optimizer.interaction_matrix(1, 50) = 1;
  optimizer.pair_weights = {int64_t{1} << 40, 3};
  EXPECT_EQ(optimizer.Cost(optimizer.interaction_matrix), INT32_MAX);
  optimizer.pair_weights = {21691753, 3};  // 99 * 21691753 + 150 = 2^31 - 1 + 50
  EXPECT_EQ(optimizer.Cost(optimizer.interaction_matrix), INT32_MAX);
  optimizer.pair_weights = {21691752, 3};  // 2^31 - 1 - 49
  EXPECT_EQ(optimizer.Cost(optimizer.interaction_matrix), 2147483598);
}

TEST(InteractionMatrix, DeepCompositesAreWalkedWithoutRecursion) {
  auto c = NewCircuit(3);
  auto cx = Record(kind::kCX, {2, 0});
  auto nest = testing::DeepComposite(200000, cx);
  testing::Push(*c, nest);
  CircuitOptimizer optimizer;
  optimizer.Build(*c);
  EXPECT_EQ(optimizer.Cost(optimizer.interaction_matrix), 2);
  c->instructions.clear();
  testing::Dismantle(nest);
}

struct FirstMeasureCase {
  const char* what;
  std::vector<InstructionPtr> list;
  int64_t index;
};

TEST(FirstMeasureIndex, Cases) {
  auto h = [] { return Record(kind::kH, {0}); };
  auto m = [] { return Record(kind::kMeasure, {0}); };
  auto reset = [] { return Record(kind::kReset, {0}); };
  const std::vector<FirstMeasureCase> cases = {
      {"h, cx, measure, measure", {h(), Record(kind::kCX, {0, 1}), m(), m()}, 2},
      {"reset first", {reset(), h()}, 0},
      {"no measurement", {h(), h(), h()}, 3},
      {"empty", {}, 0},
      {"nested composite", {h(), Composite({h(), Composite({m()})}), h()}, 1},
      {"composite without measure", {Composite({h()}), m()}, 1},
      {"barriers and delays do not count",
       {Record(kind::kBarrier, {0}), Record(kind::kDelay, {0}), m()}, 2},
  };
  for (const FirstMeasureCase& k : cases) {
    auto c = NewCircuit(2);
    c->instructions = k.list;
    ComputeFirstMeasureIndex(*c);
    EXPECT_EQ(c->first_measure_index, k.index) << k.what;
  }
  EXPECT_TRUE(ContainsMeasureOrReset({h(), Composite({Composite({reset()})})}));
  EXPECT_FALSE(ContainsMeasureOrReset({h(), Composite({})}));
}

}  // namespace
}  // namespace velorin
