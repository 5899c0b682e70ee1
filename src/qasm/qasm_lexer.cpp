// The reader's tables and its lexer: characters, raw tokens, classified
// tokens and numeric literals, with the line and column counters that the
// error messages report.
#include <cstring>
#include <unordered_map>

#include "circuit/text_helpers.h"
#include "qasm/qasm2.h"

namespace velorin {

const char kQasmDelimiters[] = "\t\r\n !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";

// Searched from the front; several words share a code.
const QasmKeyword kQasmTokenTable[kQasmKeywordCount] = {
    {"E", 39},        {"e", 39},        {"OPENQASM", 40}, {"include", 41}, {"qreg", 42},
    {"creg", 43},     {"gate", 44},     {"barrier", 46},  {"c3sqrtx", 47}, {"c3x", 48},
    {"c4x", 49},      {"ccx", 50},      {"ch", 51},       {"cp", 52},      {"crx", 53},
    {"cry", 54},      {"crz", 55},      {"cswap", 56},    {"csx", 57},     {"cu", 58},
    {"cu1", 59},      {"cu3", 60},      {"cx", 61},       {"cy", 62},      {"cz", 63},
    {"ecr", 64},      {"h", 65},        {"id", 66},       {"if", 67},      {"measure", 68},
    {"opaque", 69},   {"p", 70},        {"rc3x", 71},     {"rccx", 72},    {"reset", 73},
    {"rx", 74},       {"rxx", 75},      {"ry", 76},       {"rz", 77},      {"rzz", 78},
    {"s", 79},        {"sdg", 80},      {"swap", 81},     {"sx", 82},      {"sxdg", 83},
    {"t", 84},        {"tdg", 85},      {"u", 86},        {"u0", 87},      {"u1", 88},
    {"u2", 89},       {"u3", 90},       {"x", 91},        {"y", 92},       {"z", 93},
    {"delay", 94},    {"pi", 100},      {"PI", 100},      {"Pi", 100},     {"sin", 101},
    {"cos", 102},     {"tan", 103},     {"ln", 104},      {"exp", 105},    {"sqrt", 106},
    {"cbrt", 107},    {"asin", 108},    {"acos", 109},    {"atan", 110},
};

// The misspellings belong to the texts users see.
const char* const kQasmErrorMessages[kQasmErrorCount] = {
    "No error",
    "Identifier expected",
    "Duplicate definition",
    "Insufficient memory",
    "Left paranthesis expected",
    "Parameter expected",
    "Premature end of file",
    "Right paranthesis expected",
    "Left curly braces expected",
    "Semicolon expected",
    "Left square bracket expected",
    "Right square bracket expected",
    "Non-negative number expected",
    "Quotation mark expected",
    "Filename expected",
    "Fullstop expected",
    "Filename extension expected",
    "Default include expected",
    "Invalid parameter",
    "Error in arithmatic expression",
    "Divide by zero",
    "Number format Error",
    "Invalid instruction passed",
    "Number is out of range",
    "User defined gate not found",
    "Parameter list is not matching",
    "Invalid Register Name",
    "Invalid operator",
    "Classical register expected",
    "Quantum register expected",
    "Atleast one qubit expected",
    "Not OpenQasm 2.0",
    "Check for equality expected",
    "Error registering gate with the quantum circuit",
    "Classical bit index must be less than the number of qubits",
    "Program needs more instructions than the available memory can hold",
    "Parameter is not a finite number",
    "Register name is not valid UTF-8",
    "Gate name is not valid UTF-8",
};

namespace {

using namespace qasm_code;

// The numeric-literal grammar: per state, (token code, next state); kAccept
// ends the literal with the token.
constexpr int kAccept = -1;
struct NumberRow {
  int32_t code;
  int next;
};
struct NumberState {
  NumberRow rows[5];
  int count;
};
constexpr NumberState kNumberGrammar[7] = {
    {{{kPlus, 1}, {kMinus, 1}, {kPoint, 3}, {kDigits, 2}, {kExponent, 5}}, 5},
    {{{kDigits, 2}, {kPoint, 3}, {kExponent, 5}}, 3},
    {{{kPoint, 3}, {kExponent, 5}}, 2},
    {{{kDigits, 4}, {kExponent, 5}}, 2},
    {{{kExponent, 5}}, 1},
    {{{kPlus, 6}, {kMinus, 6}, {kDigits, kAccept}}, 3},
    {{{kDigits, kAccept}}, 1},
};

// The underscore joins words (q_0, my_gate) although it has a delimiter code.
int DelimiterCode(int c) {
  if (c <= 0 || c == '_') return -1;
  const char* hit = std::strchr(kQasmDelimiters, c);
  return hit == nullptr ? -1 : static_cast<int>(hit - kQasmDelimiters);
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsReservedWord(const std::string& word) {
  static const char* const kReserved[] = {"OPENQASM", "include", "qreg", "creg",  "gate",
                                          "opaque",   "measure", "reset", "barrier", "if",
                                          "pi",       "sin",     "cos",  "tan",   "exp",
                                          "ln",       "sqrt"};
  for (const char* r : kReserved) {
    if (word == r) return true;
  }
  return false;
}

// The gates the published qelib1.inc defines; a program may define any other.
bool IsStandardLibraryGate(const std::string& word) {
  static const char* const kPublished[] = {"u3", "u2",  "u1", "cx",  "id", "x",   "y",  "z",
                                           "h",  "s",   "sdg", "t",  "tdg", "rx", "ry", "rz",
                                           "cz", "cy",  "ch", "ccx", "crz", "cu1", "cu3"};
  for (const char* published : kPublished) {
    if (word == published) return true;
  }
  return false;
}

int32_t ClassifyWord(const std::string& word) {
  if (!word.empty() && IsAllDigits(word)) return kDigits;
  // Every word read is looked up, those of parameter texts at every call.
  static const std::unordered_map<std::string, int32_t> codes = [] {
    std::unordered_map<std::string, int32_t> all;
    for (const QasmKeyword& k : kQasmTokenTable) all.emplace(k.word, k.code);  // first one wins
    return all;
  }();
  const auto found = codes.find(word);
  return found == codes.end() ? kIdentifier : found->second;
}

void qasm2::SetInput(std::string text) {
  // A CR LF pair is one line end, in files and texts alike.
  std::string normalized;
  normalized.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    normalized.push_back(text[i]);
  }
  program_.data = std::move(normalized);
  program_.Rewind();
  input_ = &program_;
}

int qasm2::GetChar() {
  QasmInput& in = *input_;
  int c = -1;
  if (!in.at_end && in.pos < in.data.size()) {
    c = static_cast<unsigned char>(in.data[in.pos++]);
  } else {
    in.at_end = true;
  }
  in.last_char = c;
  if (c == '\n') {
    ++in.line;
    in.column = 1;
  } else {
    ++in.column;
  }
  return c;
}

void qasm2::UngetChar() {
  QasmInput& in = *input_;
  if (!in.at_end && in.pos > 0) --in.pos;
  if (in.last_char == '\n') {
    --in.line;
    in.column = 1;
  } else {
    --in.column;
  }
  in.last_char = 0;
}

void qasm2::PushBack(const Token& token) {
  QasmInput& in = *input_;
  const size_t length = token.text.size();
  // A word that ends the input was read up to the end: it is read again all
  // the same, so that a keyword standing last is not lost.
  if (length > 0) {
    in.pos = length > in.pos ? 0 : in.pos - length;
    in.at_end = false;
  }
  if (token.code == kNewline) {
    --in.line;
    in.column = 0;
  } else {
    in.column -= length;
  }
}

Token qasm2::ReadRawToken(bool number_mode) {
  int c = GetChar();
  if (c == -1) return {"", kEnd};
  std::string word;
  bool all_digits = true;  // of the word so far, kept as it grows
  for (;;) {
    const int delimiter = DelimiterCode(c);
    if (delimiter >= 0) {
      if (word.empty()) return {std::string(1, static_cast<char>(c)), delimiter};
      UngetChar();
      return {word, kIdentifier};
    }
    // A word never starts with a digit: digits end where a letter follows, so
    // that 1e-3 reaches the number reader as 1, e, -, 3. Number mode also
    // ends a word of letters where digits follow.
    if (!word.empty() && all_digits && !IsDigit(c)) {
      UngetChar();
      return {word, kIdentifier};
    }
    if (number_mode && !word.empty() && !all_digits && IsDigit(c)) {
      UngetChar();
      return {word, kIdentifier};
    }
    all_digits = all_digits && IsDigit(c);
    word.push_back(static_cast<char>(c));
    c = GetChar();
    if (c == -1) {
      UngetChar();
      return {word, kIdentifier};
    }
  }
}

Token qasm2::NextToken(bool number_mode) {
  for (;;) {
    Token t = ReadRawToken(number_mode);
    if (t.code == kTab || t.code == kSpace) continue;
    if (t.code == kSlash) {
      const int c = GetChar();
      if (c != '/') {
        UngetChar();
        return t;
      }
      int d;
      do {
        d = GetChar();
      } while (d != '\n' && d != -1);
      continue;
    }
    if (t.code == kIdentifier) t.code = ClassifyWord(t.text);
    return t;
  }
}

void qasm2::SkipNewlines(Token& token) {
  while (token.code == kNewline) token = NextToken(false);
}

Token qasm2::ReadToken(bool number_mode) {
  Token t = NextToken(number_mode);
  SkipNewlines(t);
  return t;
}

std::string qasm2::ReadNumber(Token current) {
  int state = 0;
  std::string result;
  for (;;) {
    const NumberState& s = kNumberGrammar[state];
    const NumberRow* row = nullptr;
    for (int i = 0; i < s.count; ++i) {
      if (s.rows[i].code == current.code) row = &s.rows[i];
    }
    if (row == nullptr) {
      PushBack(current);
      return result;
    }
    result += current.text;
    if (row->next == kAccept) {
      error_code_ = 0;
      return result;
    }
    current = NextToken(true);
    if (current.code == kNewline || current.code == kEnd) {
      PushBack(current);
      return result;
    }
    state = row->next;
  }
}

}  // namespace velorin
