#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <regex>

#include "circuit/errors.h"
#include "circuit/gate_matrices.h"
#include "circuit/instruction.h"
#include "circuit/text_helpers.h"

namespace velorin {
namespace {

constexpr double kPi = 3.141592653589793;

TEST(ToBinaryString, LowBitsMostSignificantFirst) {
  EXPECT_EQ(ToBinaryString(5, 4), "0101");
  EXPECT_EQ(ToBinaryString(-1, 3), "111");
  EXPECT_EQ(ToBinaryString(6, 0), "");
  EXPECT_EQ(ToBinaryString(-2147483647 - 1, 32), "1" + std::string(31, '0'));
  EXPECT_THROW(ToBinaryString(1, 33), std::out_of_range);
  EXPECT_THROW(ToBinaryString(1, -1), std::out_of_range);
}

struct AngleCase {
  double angle;
  const char* text;
};

class FormatAngleTest : public ::testing::TestWithParam<AngleCase> {};

TEST_P(FormatAngleTest, NamesOnlyPiOverWholeNumbers) {
  EXPECT_EQ(FormatAngle(GetParam().angle), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatAngleTest,
    ::testing::Values(AngleCase{0.0, "0"}, AngleCase{1e-60, "0"}, AngleCase{kPi, "pi"},
                      AngleCase{-kPi, "-pi"}, AngleCase{kPi / 2, "pi/2"},
                      AngleCase{-kPi / 3, "-pi/3"}, AngleCase{-kPi / 4, "-pi/4"},
                      AngleCase{3.2, "3.200000"}, AngleCase{3.0, "3.000000"},
                      AngleCase{2 * kPi / 3, "2.094395"}, AngleCase{2 * kPi, "6.283185"},
                      AngleCase{0.5, "0.500000"}, AngleCase{-12345.5, "-12345.500000"},
                      AngleCase{INFINITY, "inf"}, AngleCase{-INFINITY, "-inf"},
                      AngleCase{NAN, "nan"}));

TEST(FormatAngle, IgnoresADecimalCommaLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale";
  EXPECT_EQ(FormatAngle(0.5), "0.500000");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(IsAllDigits, OnlyDecimalDigits) {
  EXPECT_TRUE(IsAllDigits("007"));
  EXPECT_TRUE(IsAllDigits(""));
  EXPECT_FALSE(IsAllDigits("7a"));
  EXPECT_FALSE(IsAllDigits("-7"));
  EXPECT_FALSE(IsAllDigits("\xc2\xb2"));
}

TEST(CurrentTimestamp, DateTimeAndMilliseconds) {
  EXPECT_TRUE(std::regex_match(CurrentTimestamp(),
                               std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3})")));
}

TEST(Exceptions, FixedTexts) {
  EXPECT_STREQ(MemoryAllocError().what(), "bad allocation");
  EXPECT_STREQ(NotImplemented("JobV1::submit").what(),
               "Function 'JobV1::submit' is not implemented.");
  EXPECT_STREQ(RunTimeError("x y").what(), "x y");
}

TEST(GateName, KindTableAndComposites) {
  Instruction record;
  EXPECT_EQ(record.GateName(), "");
  EXPECT_TRUE(record.condition_on_bit);
  EXPECT_FALSE(record.has_condition);
  record.kind = 20;
  EXPECT_EQ(record.GateName(), "cx");
  EXPECT_EQ(record.GateLabel(), "X");
  record.kind = 24;
  EXPECT_EQ(record.GateName(), "cx");
  record.kind = 44;
  EXPECT_EQ(record.GateName(), "reset");
  EXPECT_EQ(record.GateLabel(), "|0>");
  record.kind = 55;
  EXPECT_EQ(record.GateName(), "delay");
  EXPECT_EQ(record.GateLabel(), "delay");
  record.kind = 53;
  for (auto [stored, shown] : {std::pair{"Ccz", "ccz"}, {"cCx", "ccx"}, {"mcx", "mcx"},
                               {"CCXX", "CCXX"}, {"", ""}}) {
    record.name = stored;
    EXPECT_EQ(record.GateName(), shown);
    EXPECT_EQ(record.GateLabel(), shown);
  }
  record.kind = 57;
  EXPECT_EQ(record.GateName(), "");
}

TEST(GateMatrices, BitExactValues) {
  EXPECT_EQ(kGateS(1, 1), Complex(6.123233995736766e-17, 1.0));
  EXPECT_EQ(kGateSdg(1, 1), Complex(0.0, -1.0));
  EXPECT_EQ(kGateT(1, 1), Complex(0.7071067811865476, 0.7071067811865475));
  EXPECT_EQ(kGateTdg(1, 1), Complex(0.7071067811865476, -0.7071067811865475));
  EXPECT_EQ(kGateCT(3, 3), kGateT(1, 1));
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 2; ++c) EXPECT_EQ(std::abs(kGateH(r, c).real()), 0.7071067811865476);
  }
  EXPECT_EQ(kTemplateCP(3, 3), Complex(0.0, 0.0));
  // Control first: |b0=1, b1=0> (index 1) goes to index 3; index 2 stays.
  Eigen::VectorXcd basis = Eigen::VectorXcd::Unit(4, 1);
  EXPECT_EQ((kGateCX * basis)(3), Complex(1.0, 0.0));
  basis = Eigen::VectorXcd::Unit(4, 2);
  EXPECT_EQ((kGateCX * basis)(2), Complex(1.0, 0.0));
}

TEST(IsValidUtf8, RefusesStrayTruncatedOverlongAndSurrogateSequences) {
  struct Case {
    const char* text;
    bool valid;
  };
  for (const Case& c : {Case{"", true}, Case{"q_0", true}, Case{"\xc3\xa9t\xc3\xa9", true},
                        Case{"\xe2\x82\xac", true}, Case{"\xf0\x9f\x98\x80", true},
                        Case{"\xf4\x8f\xbf\xbf", true},  // U+10FFFF
                        Case{"\xff", false}, Case{"\x80", false}, Case{"\xc3", false},
                        Case{"\xc3\x28", false}, Case{"\xc0\xaf", false},  // overlong '/'
                        Case{"\xe0\x80\xaf", false}, Case{"\xed\xa0\x80", false},  // surrogate
                        Case{"\xf4\x90\x80\x80", false},  // past U+10FFFF
                        Case{"\xf0\x9f\x98", false}, Case{"a\xe2\x82", false}}) {
    EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
  }
}

TEST(GateMatrices, GateConstantsAreUnitary) {
  for (const Matrix* m : {&kGateI, &kGateX, &kGateY, &kGateZ, &kGateH, &kGateT, &kGateS,
                          &kGateTdg, &kGateSdg, &kGateSX, &kGateSXdg, &kGateCX, &kGateCY,
                          &kGateCZ, &kGateCH, &kGateCS, &kGateCSdg, &kGateCSX, &kGateCT,
                          &kGateDCX, &kGateISwap, &kGateSwap}) {
    const Matrix product = m->adjoint() * *m;
    EXPECT_TRUE(product.isApprox(Matrix::Identity(m->rows(), m->cols()), 1e-15));
  }
  const Matrix ecr = kGateECRUnscaled * kInvSqrt2;
  EXPECT_TRUE((ecr.adjoint() * ecr).isApprox(Matrix::Identity(4, 4), 1e-15));
}

}  // namespace
}  // namespace velorin
