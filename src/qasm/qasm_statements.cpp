// The statements pass: every statement applied to the circuit as soon as it
// has been read, through the circuit's gate methods.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "circuit/record_budget.h"
#include "composite/composite_gates.h"
#include "qasm/qasm2.h"

namespace velorin {

using namespace qasm_code;

namespace {

enum class Form {
  kEachQubit,  // a one-qubit gate on a whole register or on every listed qubit
  kReset,
  kBarrier,
  kOneQubit,
  kDelay,
  kTwoQubit,
  kComposite,
};

using CompositeMethod = GatePtr (*)(QuantumCircuit&, const std::vector<uint64_t>&);

template <GatePtr (*Method)(QuantumCircuit&, uint64_t, uint64_t, uint64_t, const std::string&)>
GatePtr Three(QuantumCircuit& qc, const std::vector<uint64_t>& q) {
  return Method(qc, q[0], q[1], q[2], "");
}
template <GatePtr (*Method)(QuantumCircuit&, uint64_t, uint64_t, uint64_t, uint64_t,
                            const std::string&)>
GatePtr Four(QuantumCircuit& qc, const std::vector<uint64_t>& q) {
  return Method(qc, q[0], q[1], q[2], q[3], "");
}
GatePtr Five(QuantumCircuit& qc, const std::vector<uint64_t>& q) {
  return c4x(qc, q[0], q[1], q[2], q[3], q[4], "");
}

// One row per built-in statement word: the method family it records through,
// its qubit and parameter counts (-1: any).
struct BuiltinGate {
  int32_t code;
  Form form;
  const char* method;
  int qubits;
  int params;
  CompositeMethod composite = nullptr;
};

const BuiltinGate kBuiltinGates[] = {
    {65, Form::kEachQubit, "h", -1, -1},      {66, Form::kEachQubit, "i", -1, -1},
    {79, Form::kEachQubit, "s", -1, -1},      {80, Form::kEachQubit, "sdg", -1, -1},
    {82, Form::kEachQubit, "sx", -1, -1},     {83, Form::kEachQubit, "sxdg", -1, -1},
    {84, Form::kEachQubit, "t", -1, -1},      {85, Form::kEachQubit, "tdg", -1, -1},
    {91, Form::kEachQubit, "x", -1, -1},      {92, Form::kEachQubit, "y", -1, -1},
    {93, Form::kEachQubit, "z", -1, -1},      {73, Form::kReset, "reset", -1, -1},
    {46, Form::kBarrier, "barrier", -1, -1},  {70, Form::kOneQubit, "p", 1, 1},
    {74, Form::kOneQubit, "rx", 1, 1},        {76, Form::kOneQubit, "ry", 1, 1},
    {77, Form::kOneQubit, "rz", 1, 1},        {87, Form::kOneQubit, "u0", 1, 1},
    {88, Form::kOneQubit, "u1", 1, 1},        {89, Form::kOneQubit, "u2", 1, 2},
    {86, Form::kOneQubit, "u", 1, 3},         {90, Form::kOneQubit, "u3", 1, 3},
    {94, Form::kDelay, "delay", 1, 1},        {51, Form::kTwoQubit, "ch", 2, 0},
    {57, Form::kTwoQubit, "csx", 2, 0},       {61, Form::kTwoQubit, "cx", 2, 0},
    {62, Form::kTwoQubit, "cy", 2, 0},        {63, Form::kTwoQubit, "cz", 2, 0},
    {64, Form::kTwoQubit, "ecr", 2, 0},       {81, Form::kTwoQubit, "swap", 2, 0},
    {52, Form::kTwoQubit, "cp", 2, 1},        {53, Form::kTwoQubit, "crx", 2, 1},
    {54, Form::kTwoQubit, "cry", 2, 1},       {55, Form::kTwoQubit, "crz", 2, 1},
    {59, Form::kTwoQubit, "cu1", 2, 1},       {75, Form::kTwoQubit, "rxx", 2, 1},
    {78, Form::kTwoQubit, "rzz", 2, 1},       {60, Form::kTwoQubit, "cu3", 2, 3},
    {58, Form::kTwoQubit, "cu", 2, 4},
    {50, Form::kComposite, "ccx", 3, 0, Three<ccx>},
    {56, Form::kComposite, "cswap", 3, 0, Three<cswap>},
    {72, Form::kComposite, "rccx", 3, 0, Three<rccx>},
    {47, Form::kComposite, "c3sqrtx", 4, 0, Four<c3sqrtx>},
    {48, Form::kComposite, "c3x", 4, 0, Four<c3x>},
    {71, Form::kComposite, "rc3x", 4, 0, Four<rcccx>},
    {49, Form::kComposite, "c4x", 5, 0, Five},
};

const BuiltinGate* FindBuiltin(int32_t code) {
  for (const BuiltinGate& g : kBuiltinGates) {
    if (g.code == code) return &g;
  }
  return nullptr;
}

// Every record the conditioned statement appended carries the condition.
void ConditionRecords(QuantumCircuit& qc, size_t first, const QasmCondition* condition) {
  if (condition == nullptr) return;
  for (size_t i = first; i < qc.instructions.size(); ++i) {
    Instruction& record = *qc.instructions[i];
    record.has_condition = true;
    record.condition_value = condition->value;
    record.condition_on_bit = condition->on_bit;
    if (condition->on_bit) {
      record.condition_bit = condition->bit;
    } else {
      record.condition_register = condition->reg;
    }
  }
}

}  // namespace

bool qasm2::ReadIndexToken(const Token& token, int64_t& value) {
  if (token.code != kDigits || !ParseInt32(token.text, value)) return error_code_ = 12, false;
  return true;
}

bool qasm2::ReadIndex(bool number_mode, int64_t& value) {
  return ReadIndexToken(ReadToken(number_mode), value);
}

bool qasm2::BuildCircuit(QuantumCircuit& qc) {
  // Where each declared register lies in the circuit, found once: statements
  // look registers up by name many times over.
  std::unordered_map<std::string, int64_t> starts;
  for (const auto& reg : qc.quantum_registers) starts.emplace(reg->name(), reg->start());
  for (RegisterDecl& reg : qregs_) {
    const auto found = starts.find(reg.name);
    reg.start = found == starts.end() ? -1 : found->second;
  }
  starts.clear();
  for (const auto& reg : qc.classical_registers) starts.emplace(reg->name(), reg->start());
  for (RegisterDecl& reg : cregs_) {
    const auto found = starts.find(reg.name);
    reg.start = found == starts.end() ? -1 : found->second;
  }
  input_->Rewind();
  for (;;) {
    Token t = ReadToken();
    bool ok = true;
    switch (t.code) {
      case kEnd:
        return true;
      case kSemicolon:
        continue;
      case kOpenQasm:
      case kInclude:
      case kQreg:
      case kCreg:
      case kOpaque:
        ok = SkipDeclaration(t.code);
        break;
      case kGate:
        ok = ParseGateBody(qc, ReadToken());
        break;
      case kMeasure:
        ok = ParseMeasure(qc, ReadToken(), nullptr);
        break;
      case kIf:
        ok = ParseIf(qc, ReadToken());
        break;
      default:
        ok = ParseStatement(qc, t, nullptr);
    }
    if (!ok) return false;
  }
}

// The declarations pass has checked these; only their end is looked for, so
// that a statement on the same line is read.
bool qasm2::SkipDeclaration(int32_t code) {
  if (code == kOpenQasm) {
    Token v = NextToken(false);
    if (v.code == kEnd) return true;
    ReadNumber(v);
    Token end = ReadToken();
    if (end.code != kSemicolon) PushBack(end);
    return true;
  }
  for (;;) {
    Token t = ReadToken();
    if (t.code == kSemicolon || t.code == kEnd) return true;
  }
}

int32_t qasm2::StatementCode(const Token& word) const {
  if (word.code == kIdentifier) {
    if (word.text == "U") return kU;
    if (word.text == "CX") return kCx;
    return kIdentifier;
  }
  // A gate word the program defines is the program's gate.
  if (IsWordToken(word)) {
    const auto found = names_.find(word.text);
    if (found != names_.end() &&
        (found->second.first == NameKind::kGate || found->second.first == NameKind::kOpaque)) {
      return kIdentifier;
    }
  }
  return word.code;
}

bool qasm2::ParseStatement(QuantumCircuit& qc, const Token& word,
                           const QasmCondition* condition) {
  // The first operand stands on the statement word's line.
  Token t = NextToken(false);
  if (t.code == kEnd) return error_code_ = 6, false;
  GateStatement statement;
  if (!ParseArguments(t, statement)) return false;
  statement.code = StatementCode(word);
  statement.name = word.text;
  const size_t before = qc.instructions.size();
  if (!ApplyAcross(qc, statement)) return false;
  ConditionRecords(qc, before, condition);
  return true;
}

// The shapes: NAME [( e1, ... )] operand, operand ... ; where an operand is a
// register or one of its qubits, reg[i].
bool qasm2::ParseArguments(Token t, GateStatement& statement) {
  enum State { kS0, kS1, kS2, kS3, kS4, kS5, kS6, kS7, kS9 } state = kS0;
  const RegisterDecl* reg = nullptr;
  auto is_register = [&]() {
    if (t.code != kIdentifier) return false;
    reg = FindQuantumRegister(t.text);
    return reg != nullptr && reg->start >= 0;
  };
  auto mismatch = [&]() {
    error_code_ = 18;
    PushBack(t);
    return false;
  };
  auto expression = [&]() {
    const Value v = EvaluateExpression(t, false, {}, {});
    if (!v.ok) return error_code_ = 19, false;
    statement.parameters.push_back(v.value);
    return true;
  };
  // A register stands for all its qubits until an index follows.
  auto whole_register = [&]() {
    statement.operands.push_back(GateOperand{reg->start, reg->size, true});
  };
  for (;;) {
    switch (state) {
      case kS0:
      case kS6:
        if (is_register()) {
          statement.register_name = t.text;
          whole_register();
          state = kS1;
        } else if (state == kS0 && t.code == kLeftParen) {
          state = kS5;
        } else {
          return mismatch();
        }
        break;
      case kS1:
        if (t.code == kSemicolon) return error_code_ = 0, true;
        if (t.code == kComma) {
          state = kS6;
        } else if (t.code == kLeftBracket) {
          state = kS2;
        } else {
          return mismatch();
        }
        break;
      case kS2: {
        if (t.code != kDigits) return mismatch();
        int64_t index = 0;
        if (!ParseInt32(t.text, index)) return error_code_ = 12, false;
        if (index >= reg->size) return error_code_ = 23, false;
        statement.operands.back() = GateOperand{reg->start + index, 1, false};
        state = kS3;
        break;
      }
      case kS3:
        if (t.code != kRightBracket) return mismatch();
        state = kS4;
        break;
      case kS4:
        if (t.code == kSemicolon) return error_code_ = 0, true;
        if (t.code != kComma) return mismatch();
        state = kS6;
        break;
      case kS5:
        if (t.code == kRightParen) {
          state = kS6;
        } else {
          if (!expression()) return false;
          state = kS7;
        }
        break;
      case kS7:
        if (t.code == kRightParen) {
          state = kS6;
        } else if (t.code == kComma) {
          state = kS9;
        } else {
          return mismatch();
        }
        break;
      case kS9:
        if (!expression()) return false;
        state = kS7;
        break;
    }
    t = ReadToken();
  }
}

// Registers as operands: cx q, r is cx q[i], r[i] for every i of two registers
// of one size, and a qubit, or a register of one qubit, takes part in every
// application. One-qubit gates, reset and barrier take every listed qubit.
bool qasm2::ApplyAcross(QuantumCircuit& qc, GateStatement& statement) {
  const BuiltinGate* builtin = FindBuiltin(statement.code);
  if (statement.code != kIdentifier && (builtin == nullptr || builtin->qubits < 0)) {
    uint64_t total = 0;
    for (const GateOperand& operand : statement.operands) total += operand.size;
    if (!BudgetAllows(total)) return error_code_ = qasm_error::kRecordLimit, false;
    for (const GateOperand& operand : statement.operands) {
      for (int64_t i = 0; i < operand.size; ++i) statement.qubits.push_back(operand.first + i);
    }
    return ApplyBuiltinGate(qc, statement);
  }
  if (builtin != nullptr &&
      (statement.operands.size() != static_cast<size_t>(builtin->qubits) ||
       statement.parameters.size() != static_cast<size_t>(builtin->params))) {
    return error_code_ = 18, false;
  }
  int64_t applications = 1;
  bool across = false;
  for (const GateOperand& operand : statement.operands) {
    if (!operand.whole || operand.size == 1) continue;
    if (across && operand.size != applications) return error_code_ = 18, false;
    applications = operand.size;
    across = true;
  }
  // A register beside an operand that shares a qubit with it would give some
  // application the same qubit twice. An operand holds each qubit once, so a
  // qubit that two operands hold is counted twice.
  std::vector<uint32_t> holders(qc.total_qubits, 0);
  for (const GateOperand& operand : statement.operands) {
    for (int64_t i = 0; i < operand.size; ++i) ++holders[static_cast<size_t>(operand.first + i)];
  }
  for (const GateOperand& operand : statement.operands) {
    if (!operand.whole) continue;
    for (int64_t i = 0; i < operand.size; ++i) {
      if (holders[static_cast<size_t>(operand.first + i)] > 1) return error_code_ = 18, false;
    }
  }
  uint64_t per_application = 1;
  if (statement.code == kIdentifier) {
    if (const GateDecl* gate = FindGate(statement.name)) per_application = gate->records;
  }
  const auto count = static_cast<uint64_t>(applications);
  const uint64_t upcoming = count == 0                             ? 0
                            : per_application > UINT64_MAX / count ? UINT64_MAX
                                                                   : per_application * count;
  if (!BudgetAllows(upcoming)) return error_code_ = qasm_error::kRecordLimit, false;
  for (int64_t i = 0; i < applications; ++i) {
    statement.qubits.clear();
    for (const GateOperand& operand : statement.operands) {
      statement.qubits.push_back(operand.Qubit(i));
    }
    if (!ApplyBuiltinGate(qc, statement)) return false;
  }
  return true;
}

// The fewest records a call of the gate makes: one per statement of its body
// (a composite counted as one), the callees' and its own composite included.
uint64_t qasm2::RecordsOfCall(const GateDecl& gate) const {
  uint64_t records = 1;
  for (const BodyStatement& statement : gate.body) {
    uint64_t cost = 1;
    if (statement.code == kIdentifier) {
      if (const GateDecl* callee = FindGate(statement.name)) cost = callee->records;
    } else if (const BuiltinGate* builtin = FindBuiltin(statement.code);
               builtin != nullptr && builtin->qubits < 0) {
      cost = statement.operands.size();
    }
    records = cost > UINT64_MAX - records ? UINT64_MAX : records + cost;
  }
  return records;
}

bool qasm2::BudgetAllows(uint64_t upcoming_records) {
  const uint64_t total = upcoming_records > UINT64_MAX - records_spent_
                             ? UINT64_MAX
                             : records_spent_ + upcoming_records;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // The fuzzer ends a run at 10 seconds, on a machine that may be busy: the
  // slowest load admitted, read, written, read and written again, takes a
  // small part of that. Parameter texts are read again at every call: their
  // length counts as well.
  if (total > kFuzzRecordCap ||
      parameter_bytes_read_ / kFuzzParameterBytesPerRecord > kFuzzRecordCap - total) {
    return false;
  }
#endif
  if (total <= records_known_to_fit_) return true;
  // Asking the system is not free: the next question comes once the load has
  // grown by a sixteenth.
  const uint64_t bytes = records_spent_ == 0 ? RecordBytes(4, 1, 0, 1)
                                             : record_bytes_spent_ / records_spent_;
  if (!BuildFits(SaturatingMul(total, bytes))) return false;
  records_known_to_fit_ = total + std::max<uint64_t>(total / 16, 1024);
  return true;
}

bool qasm2::SpendRecord(const Instruction& record) {
  ++records_spent_;
  record_bytes_spent_ += CopyBytes(record);
  if (!BudgetAllows(0)) return error_code_ = qasm_error::kRecordLimit, false;
  return true;
}

// Counts the records a method just added, those inside its composites too.
bool qasm2::SpendNewRecords(const InstructionList& list, size_t first) {
  std::vector<const InstructionList*> pending;
  for (size_t i = first; i < list.size(); ++i) {
    if (list[i] == nullptr) continue;
    if (!SpendRecord(*list[i])) return false;
    pending.push_back(&list[i]->sub_instructions);
  }
  while (!pending.empty()) {
    const InstructionList* subs = pending.back();
    pending.pop_back();
    for (const InstructionPtr& record : *subs) {
      if (record == nullptr) continue;
      if (!SpendRecord(*record)) return false;
      pending.push_back(&record->sub_instructions);
    }
  }
  return true;
}

bool qasm2::ApplyBuiltinGate(QuantumCircuit& qc, const GateStatement& statement) {
  if (statement.code == kIdentifier) return ApplyUserGate(qc, statement);
  const BuiltinGate* gate = FindBuiltin(statement.code);
  if (gate == nullptr) return error_code_ = 22, false;
  if (gate->qubits < 0) return ApplyRegisterGate(qc, statement);

  if (statement.qubits.size() != static_cast<size_t>(gate->qubits) ||
      statement.parameters.size() != static_cast<size_t>(gate->params)) {
    return error_code_ = 18, false;
  }
  std::vector<uint64_t> q;
  for (int64_t v : statement.qubits) q.push_back(static_cast<uint64_t>(v));
  const std::vector<double>& p = statement.parameters;
  if (gate->form != Form::kDelay) {
    for (double value : p) {
      if (!std::isfinite(value)) return error_code_ = qasm_error::kNonFiniteParameter, false;
    }
  }
  const size_t before = qc.instructions.size();
  GatePtr result;
  switch (gate->form) {
    case Form::kOneQubit:
      result = qc.OneQubitGate(OneQubitFamilyNamed(gate->method), p, q[0], "");
      break;
    case Form::kDelay: {
      const double duration = std::trunc(p[0]);
      if (!std::isfinite(duration) || duration < -2147483648.0 || duration > 2147483647.0) {
        return error_code_ = 23, false;
      }
      result = qc.delay(static_cast<int32_t>(duration), q[0], "ns", "");
      break;
    }
    case Form::kTwoQubit:
      result = qc.TwoQubitGate(TwoQubitFamilyNamed(gate->method), p, q[0], q[1], "");
      break;
    case Form::kComposite:
      result = gate->composite(qc, q);
      break;
    default:
      break;
  }
  if (!result) return error_code_ = 22, false;
  return SpendNewRecords(qc.instructions, before);
}

bool qasm2::ApplyRegisterGate(QuantumCircuit& qc, const GateStatement& statement) {
  const BuiltinGate* gate = FindBuiltin(statement.code);
  const std::vector<int64_t>& qubits = statement.qubits;
  // A body statement without operands names no register to work on; a
  // register of no qubits gives nothing to do.
  if (qubits.empty()) return statement.register_name.empty() ? (error_code_ = 18, false) : true;
  const size_t before = qc.instructions.size();
  if (gate->form == Form::kBarrier) {
    qc.barrier(qubits, "");
    return SpendNewRecords(qc.instructions, before);
  }
  for (int64_t q : qubits) {
    const auto u = static_cast<uint64_t>(q);
    const size_t start = qc.instructions.size();
    GatePtr result = gate->form == Form::kReset
                         ? qc.reset(u, "")
                         : qc.OneQubitGate(OneQubitFamilyNamed(gate->method), {}, u, "");
    if (!result) return error_code_ = 22, false;
    if (!SpendNewRecords(qc.instructions, start)) return false;
  }
  return true;
}

bool qasm2::ParseMeasure(QuantumCircuit& qc, Token t, const QasmCondition* condition) {
  const RegisterDecl* qreg = t.code == kIdentifier ? FindQuantumRegister(t.text) : nullptr;
  if (qreg == nullptr || qreg->start < 0) return error_code_ = 26, false;
  const int64_t q_size = qreg->size;
  std::vector<std::pair<int64_t, int64_t>> pairs;  // (qubit, classical bit)

  auto read_target = [&](Token& c) -> const RegisterDecl* {
    c = ReadToken();
    if (c.code != kIdentifier) return error_code_ = 28, nullptr;
    const RegisterDecl* reg = FindClassicalRegister(c.text);
    if (reg == nullptr || reg->start < 0) return error_code_ = 26, nullptr;
    return reg;
  };

  t = ReadToken();
  if (t.code == kMinus) {
    if (ReadToken().code != kGreater) return error_code_ = 27, false;
    Token c;
    const RegisterDecl* creg = read_target(c);
    if (creg == nullptr) return false;
    if (ReadToken().code != kSemicolon) return error_code_ = 9, false;
    if (q_size > creg->size) return error_code_ = 23, false;
    for (int64_t i = 0; i < q_size; ++i) pairs.emplace_back(qreg->start + i, creg->start + i);
  } else if (t.code == kLeftBracket) {
    int64_t qi = 0, ci = 0;
    if (!ReadIndex(true, qi)) return false;
    if (ReadToken(true).code != kRightBracket) return error_code_ = 11, false;
    if (ReadToken().code != kMinus) return error_code_ = 27, false;
    if (ReadToken().code != kGreater) return error_code_ = 27, false;
    Token c;
    const RegisterDecl* creg = read_target(c);
    if (creg == nullptr) return false;
    if (ReadToken().code != kLeftBracket) return error_code_ = 10, false;
    if (!ReadIndex(true, ci)) return false;
    if (ReadToken(true).code != kRightBracket) return error_code_ = 11, false;
    if (ReadToken(true).code != kSemicolon) return error_code_ = 9, false;
    if (qi >= q_size || ci >= creg->size) return error_code_ = 23, false;
    pairs.emplace_back(qreg->start + qi, creg->start + ci);
  } else {
    return error_code_ = 10, false;
  }
  // Classical bits are kept beside the qubits: a bit past the last qubit has
  // no place, though the program may declare it.
  for (const auto& pair : pairs) {
    if (static_cast<uint64_t>(pair.second) >= qc.total_qubits) {
      return error_code_ = qasm_error::kClassicalBitLimit, false;
    }
  }
  if (!BudgetAllows(pairs.size())) return error_code_ = qasm_error::kRecordLimit, false;
  const size_t before = qc.instructions.size();
  for (const auto& [qubit, clbit] : pairs) {
    GatePtr g = qc.measure(static_cast<uint64_t>(qubit), static_cast<uint64_t>(clbit), "");
    if (!g) return error_code_ = 22, false;
  }
  if (!SpendNewRecords(qc.instructions, before)) return false;
  ConditionRecords(qc, before, condition);
  return true;
}

bool qasm2::ParseIf(QuantumCircuit& qc, Token t) {
  if (t.code != kLeftParen) return error_code_ = 4, false;
  t = ReadToken();
  if (t.code != kIdentifier) return error_code_ = 1, false;
  const RegisterDecl* creg = FindClassicalRegister(t.text);
  if (creg == nullptr || creg->start < 0) return error_code_ = 28, false;
  QasmCondition condition;
  condition.reg = ConditionRegister{creg->name, static_cast<int32_t>(creg->start),
                                    static_cast<int32_t>(creg->size), {}};
  t = ReadToken();
  if (t.code == kLeftBracket) {
    int64_t offset = 0;
    if (!ReadIndex(true, offset)) return false;
    if (ReadToken(true).code != kRightBracket) return error_code_ = 11, false;
    if (offset >= creg->size) return error_code_ = 23, false;
    condition.on_bit = true;
    condition.bit = creg->start + offset;
    if (ReadToken().code != kEquals) return error_code_ = 32, false;
  } else if (t.code != kEquals) {
    return error_code_ = 10, false;
  }
  if (ReadToken().code != kEquals) return error_code_ = 32, false;
  const Token value = ReadToken(true);
  if (value.code != kDigits || !ParseInt64(value.text, condition.value)) {
    return error_code_ = 12, false;
  }
  if (ReadToken().code != kRightParen) return error_code_ = 7, false;
  t = ReadToken();
  if (t.code == kMeasure) return ParseMeasure(qc, ReadToken(), &condition);
  return ParseStatement(qc, t, &condition);
}

}  // namespace velorin
