// The OpenQASM lexer: token codes, comments, numeric literals and the line
// and column counters that error messages report.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "qasm/qasm2.h"

namespace velorin {
namespace {

std::vector<std::pair<std::string, int32_t>> Tokens(const std::string& text,
                                                    bool number_mode = false) {
  qasm2 reader;
  reader.SetInput(text);
  std::vector<std::pair<std::string, int32_t>> out;
  for (;;) {
    Token t = reader.NextToken(number_mode);
    out.emplace_back(t.text, t.code);
    if (t.code == qasm_code::kEnd) return out;
  }
}

using Expected = std::vector<std::pair<std::string, int32_t>>;

TEST(QasmLexer, DeclarationTokensWithUnderscoresInNames) {
  EXPECT_EQ(Tokens("qreg my_q[2];"),
            (Expected{{"qreg", 42}, {"my_q", 36}, {"[", 26}, {"2", 37}, {"]", 28}, {";", 20},
                      {"", 38}}));
}

TEST(QasmLexer, KeywordsAreCaseSensitive) {
  EXPECT_EQ(Tokens("U CX PI pi Pi pI E e e1 cu3 c4x"),
            (Expected{{"U", 36}, {"CX", 36}, {"PI", 100}, {"pi", 100}, {"Pi", 100}, {"pI", 36},
                      {"E", 39}, {"e", 39}, {"e1", 36}, {"cu3", 60}, {"c4x", 49}, {"", 38}}));
}

TEST(QasmLexer, DigitsEndWhereLettersFollow) {
  EXPECT_EQ(Tokens("q1 12ab", true),
            (Expected{{"q", 36}, {"1", 37}, {"12", 37}, {"ab", 36}, {"", 38}}));
  // Words never start with a digit, so literals with an exponent come apart.
  EXPECT_EQ(Tokens("q1 12ab 1e-3"),
            (Expected{{"q1", 36}, {"12", 37}, {"ab", 36}, {"1", 37}, {"e", 39}, {"-", 16},
                      {"3", 37}, {"", 38}}));
}

TEST(QasmLexer, CommentsAndSlashes) {
  EXPECT_EQ(Tokens("x q; // note\nh q;"),
            (Expected{{"x", 91}, {"q", 36}, {";", 20}, {"h", 65}, {"q", 36}, {";", 20}, {"", 38}}));
  EXPECT_EQ(Tokens("a /\nb"), (Expected{{"a", 36}, {"/", 18}, {"\n", 2}, {"b", 36}, {"", 38}}));
  EXPECT_EQ(Tokens("a/b"), (Expected{{"a", 36}, {"/", 18}, {"b", 36}, {"", 38}}));
  EXPECT_EQ(Tokens("// to the end"), (Expected{{"", 38}}));
}

TEST(QasmLexer, CrLfIsOneNewlineAndLoneCrIsAToken) {
  EXPECT_EQ(Tokens("a\r\nb\rc"),
            (Expected{{"a", 36}, {"\n", 2}, {"b", 36}, {"\r", 1}, {"c", 36}, {"", 38}}));
}

TEST(QasmLexer, ByteFFIsAnOrdinaryCharacter) {
  EXPECT_EQ(Tokens("a\xff" "b c"), (Expected{{"a\xff" "b", 36}, {"c", 36}, {"", 38}}));
}

TEST(QasmLexer, CountersFollowLinesAndColumns) {
  qasm2 reader;
  reader.SetInput("ab\ncd");
  while (reader.NextToken(false).text != "cd") {
  }
  EXPECT_EQ(reader.input().line, 1u);
  EXPECT_EQ(reader.input().column, 3u);
  // At the end every call gives the end token.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.NextToken(false).code, qasm_code::kEnd);
}

TEST(QasmLexer, PushBackRestoresTokenAndCounters) {
  qasm2 reader;
  reader.SetInput("h q;\nx q;");
  reader.NextToken(false);
  const Token q = reader.NextToken(false);
  const uint64_t column = reader.input().column;
  reader.PushBack(q);
  const Token again = reader.NextToken(false);
  EXPECT_EQ(again.text, q.text);
  EXPECT_EQ(reader.input().column, column);
  const Token semicolon = reader.NextToken(false);
  reader.PushBack(semicolon);
  EXPECT_EQ(reader.NextToken(false).code, qasm_code::kSemicolon);
}

TEST(QasmLexer, AWordThatEndsTheInputIsReadAgainAfterPushBack) {
  qasm2 reader;
  reader.SetInput("x q;\nqreg");
  for (int i = 0; i < 4; ++i) reader.NextToken(false);  // x, q, ;, newline
  const Token last = reader.NextToken(false);
  ASSERT_EQ(last.code, qasm_code::kQreg);
  const uint64_t column = reader.input().column;
  reader.PushBack(last);
  const Token again = reader.NextToken(false);
  EXPECT_EQ(again.text, "qreg");
  EXPECT_EQ(again.code, qasm_code::kQreg);
  EXPECT_EQ(reader.input().column, column);
  EXPECT_EQ(reader.NextToken(false).code, qasm_code::kEnd);
}

TEST(QasmLexer, ReadNumberJoinsLiterals) {
  struct Case {
    const char* text;
    const char* number;
    const char* next;
  };
  for (const Case& c : {Case{"1.5e-3;", "1.5e-3", ";"}, Case{"2.0;", "2.0", ";"},
                        Case{"3\nx", "3", "\n"}, Case{"7 )", "7", ")"},
                        Case{"1.5E+2,", "1.5E+2", ","}, Case{"1e-3)", "1e-3", ")"},
                        Case{".5*", ".5", "*"}, Case{"2E4;", "2E4", ";"}}) {
    qasm2 reader;
    reader.SetInput(c.text);
    EXPECT_EQ(reader.ReadNumber(reader.NextToken(false)), c.number) << c.text;
    EXPECT_EQ(reader.NextToken(false).text, c.next) << c.text;
  }
  qasm2 reader;
  reader.SetInput("name;");
  EXPECT_EQ(reader.ReadNumber(reader.NextToken(false)), "");
  EXPECT_EQ(reader.NextToken(false).text, "name");
}

TEST(QasmLexer, TablesHoldEveryWordAndMessage) {
  EXPECT_EQ(ClassifyWord("barrier"), 46);
  EXPECT_EQ(ClassifyWord("z"), 93);
  EXPECT_EQ(ClassifyWord("delay"), 94);
  EXPECT_EQ(ClassifyWord("atan"), 110);
  EXPECT_EQ(ClassifyWord("0123"), 37);
  EXPECT_STREQ(kQasmErrorMessages[0], "No error");
  EXPECT_STREQ(kQasmErrorMessages[19], "Error in arithmatic expression");
  EXPECT_STREQ(kQasmErrorMessages[33], "Error registering gate with the quantum circuit");
}

}  // namespace
}  // namespace velorin
