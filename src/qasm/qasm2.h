// The OpenQASM 2.0 reader: a lexer over the whole program held in memory,
// a declarations pass that creates the registers, and a statements pass that
// applies every statement to the new circuit through its gate methods.
#pragma once

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "circuit/quantum_circuit.h"

namespace velorin {

// Whole text as a signed 32-bit decimal, locale-independent.
inline bool ParseInt32(const std::string& text, int64_t& value) {
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = v;
  return true;
}

// Whole text as a signed 64-bit decimal: condition values of wide registers.
inline bool ParseInt64(const std::string& text, int64_t& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// One token: its text and its code (0..35 delimiter, 36 identifier, 37 digits,
// 38 end of input, 39..110 keyword).
struct Token {
  std::string text;
  int32_t code = 0;
};

namespace qasm_code {
inline constexpr int32_t kTab = 0, kCarriageReturn = 1, kNewline = 2, kSpace = 3, kQuote = 5,
                         kLeftParen = 11, kRightParen = 12, kStar = 13, kPlus = 14, kComma = 15,
                         kMinus = 16, kPoint = 17, kSlash = 18, kSemicolon = 20, kEquals = 22,
                         kGreater = 23, kLeftBracket = 26, kRightBracket = 28, kCaret = 29,
                         kLeftBrace = 32, kRightBrace = 34;
inline constexpr int32_t kIdentifier = 36, kDigits = 37, kEnd = 38, kExponent = 39,
                         kOpenQasm = 40, kInclude = 41, kQreg = 42, kCreg = 43, kGate = 44,
                         kBarrier = 46, kIf = 67, kMeasure = 68, kOpaque = 69, kReset = 73,
                         kDelay = 94, kPi = 100, kFirstFunction = 101, kLastFunction = 110;
// Statement words that may open a statement of a gate body.
inline constexpr int32_t kFirstStatementWord = 46, kLastStatementWord = 94;
// The statement words that the language's own U and CX stand for.
inline constexpr int32_t kU = 86, kCx = 61;
}  // namespace qasm_code

// Identifiers and keywords: the tokens that spell a word.
inline bool IsWordToken(const Token& t) {
  return t.code == qasm_code::kIdentifier ||
         (t.code >= qasm_code::kExponent && t.code <= qasm_code::kLastFunction);
}

// Words the language keeps for itself, which name no gate, parameter or
// argument.
bool IsReservedWord(const std::string& word);

// Gate words of the standard include file.
bool IsStandardLibraryGate(const std::string& word);

struct QasmKeyword {
  const char* word;
  int32_t code;
};
inline constexpr int kQasmKeywordCount = 69;
extern const QasmKeyword kQasmTokenTable[kQasmKeywordCount];

namespace qasm_error {
// Codes after the reader's first table, for valid programs this library
// cannot hold or for values it cannot use.
inline constexpr int32_t kClassicalBitLimit = 34, kRecordLimit = 35, kNonFiniteParameter = 36,
                         kRegisterNameEncoding = 37, kGateNameEncoding = 38;
}  // namespace qasm_error

inline constexpr int kQasmErrorCount = 39;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// What one load may make under the fuzzer: records, and parameter text read
// at calls, counted this many bytes to a record.
inline constexpr uint64_t kFuzzRecordCap = uint64_t{1} << 13;
inline constexpr uint64_t kFuzzParameterBytesPerRecord = 16;
#endif
// Registers a program may make the circuit hold: those of size 0 cost nothing
// to declare, and the writer keeps within the same bound.
inline constexpr size_t kMaxQasmRegisters = 4096;
extern const char* const kQasmErrorMessages[kQasmErrorCount];

// The 36 delimiter characters; a delimiter's code is its position here.
extern const char kQasmDelimiters[];

// The code of a word: its keyword code, 37 for digits only, else 36.
int32_t ClassifyWord(const std::string& word);

struct RegisterDecl {
  std::string name;
  int64_t size = 0;
  // The register's first qubit or bit in the circuit; the statements pass
  // sets it before it reads the first statement, -1 for none.
  int64_t start = -1;
};

// One statement of a gate body. Operands of 0 or more are circuit qubits; a
// negative operand v is the gate's argument at position -v - 1.
struct BodyStatement {
  int32_t code = 0;
  std::string name;
  std::string parameter_text;
  std::vector<int64_t> operands;
};

struct GateDecl {
  std::string name;
  std::vector<std::string> parameters;
  std::vector<std::string> arguments;
  std::vector<BodyStatement> body;
  bool defined = false;  // the statements pass has read the body
  // Records one call creates at least, its own composite included; known once
  // defined, so that a call too large for memory is refused before it starts.
  uint64_t records = 1;
};

// One operand as written: a qubit (size 1), or a whole register of `size`
// qubits from `first` that the statement is applied across.
struct GateOperand {
  int64_t first = 0;
  int64_t size = 1;
  bool whole = false;
  // The qubit of the i-th application; one qubit takes part in every one.
  int64_t Qubit(int64_t i) const { return size == 1 ? first : first + i; }
};

struct GateStatement {
  std::string register_name;
  std::vector<int64_t> qubits;  // of one application
  std::vector<double> parameters;
  int32_t code = 0;
  std::string name;
  std::vector<GateOperand> operands;  // as written in a program statement
};

struct QasmCondition {
  ConditionRegister reg;
  bool on_bit = false;
  int64_t bit = 0;
  int64_t value = 0;
};

// A program text being read, with the lexer's counters.
struct QasmInput {
  std::string data;
  size_t pos = 0;
  bool at_end = false;
  uint64_t line = 0;
  uint64_t column = 0;
  int last_char = 0;

  void Rewind() {
    pos = 0;
    at_end = false;
    line = 0;
    column = 0;
    last_char = 0;
  }
};

class qasm2 {
 public:
  qasm2();
  ~qasm2();
  qasm2(const qasm2&) = delete;
  qasm2& operator=(const qasm2&) = delete;

  std::unique_ptr<QuantumCircuit> load(std::string filename, std::string include_path,
                                       std::string include_input_directory, bool strict);
  std::unique_ptr<QuantumCircuit> loads(std::string qasm2string, std::string include_path,
                                        std::string include_input_directory, bool strict);

  // Lexer (public so that the lexer can be tested on its own).
  void SetInput(std::string text);
  int GetChar();
  void UngetChar();
  void PushBack(const Token& token);
  Token ReadRawToken(bool number_mode);
  Token NextToken(bool number_mode);
  void SkipNewlines(Token& token);
  std::string ReadNumber(Token first);
  // A token with newlines skipped, the reading convention of the parsers.
  Token ReadToken(bool number_mode = false);

  struct Value {
    double value = 0.0;
    bool ok = false;
  };
  Value EvaluateExpression(Token& token, bool argument_mode, const std::vector<std::string>& names,
                           const std::vector<double>& values);
  Value ApplyOperator(double left, double right, int32_t op);

  const QasmInput& input() const { return *input_; }
  int32_t error_code() const { return error_code_; }

 private:
  friend class ScopedInput;
  enum class NameKind { kGate, kOpaque, kQuantum, kClassical };

  std::unique_ptr<QuantumCircuit> Load(bool from_file, bool strict);
  void Reset();
  std::string ComposeError() const;

  // Declarations pass.
  bool ScanDeclarations();
  bool ParseRegister(bool quantum);
  const void* FindName(const std::string& name, NameKind kind) const;
  bool ParseInclude();
  bool ParseGateHeader(GateDecl& decl, bool opaque);
  bool IsDefinableGateName(const Token& token);
  bool IsNameFree(const std::string& name);
  const RegisterDecl* FindQuantumRegister(const std::string& name) const;
  const RegisterDecl* FindClassicalRegister(const std::string& name) const;
  const GateDecl* FindGate(const std::string& name) const;

  // Statements pass.
  bool BuildCircuit(QuantumCircuit& qc);
  bool SkipDeclaration(int32_t code);
  int32_t StatementCode(const Token& word) const;
  bool ParseStatement(QuantumCircuit& qc, const Token& word, const QasmCondition* condition);
  bool ParseArguments(Token token, GateStatement& statement);
  bool ApplyAcross(QuantumCircuit& qc, GateStatement& statement);
  bool ApplyBuiltinGate(QuantumCircuit& qc, const GateStatement& statement);
  bool ApplyRegisterGate(QuantumCircuit& qc, const GateStatement& statement);
  bool ParseMeasure(QuantumCircuit& qc, Token token, const QasmCondition* condition);
  bool ParseIf(QuantumCircuit& qc, Token token);
  bool ReadIndex(bool number_mode, int64_t& value);
  bool ReadIndexToken(const Token& token, int64_t& value);

  // User-defined gates.
  bool ParseGateBody(QuantumCircuit& qc, Token token);
  bool ApplyUserGate(QuantumCircuit& qc, const GateStatement& statement);
  const GateDecl* CheckCall(const std::string& name, const std::vector<double>& parameters);
  bool RecordComposite(QuantumCircuit& qc, const GateDecl& gate,
                       const std::vector<double>& parameters, const std::vector<int64_t>& qubits,
                       InstructionList records);
  uint64_t RecordsOfCall(const GateDecl& gate) const;

  // The one bound on what a load creates: records counted as they are made.
  bool BudgetAllows(uint64_t upcoming_records);
  bool SpendNewRecords(const InstructionList& list, size_t first);
  bool SpendRecord(const Instruction& record);

  Value EvaluateNested(Token& token, bool argument_mode, const std::vector<std::string>& names,
                       const std::vector<double>& values, int depth);

  bool has_version_ = false;
  bool has_qelib1_ = false;
  std::vector<GateDecl> gates_;
  std::vector<GateDecl> opaque_gates_;
  std::vector<RegisterDecl> qregs_;
  std::vector<RegisterDecl> cregs_;
  // Every declared name: which table holds it, and where.
  std::unordered_map<std::string, std::pair<NameKind, size_t>> names_;
  QasmInput program_;
  QasmInput* input_ = &program_;
  std::string include_path_;
  int32_t error_code_ = 0;
  uint64_t records_spent_ = 0;
  uint64_t parameter_bytes_read_ = 0;  // of the bodies of calls
  // Where the declaration that filled the last free register place ended.
  uint64_t last_register_line_ = 0;
  uint64_t last_register_column_ = 0;
  uint64_t record_bytes_spent_ = 0;
  // Up to here the budget was last found to hold.
  uint64_t records_known_to_fit_ = 0;
};

}  // namespace velorin
