// User-defined gates: the statements pass records a definition's body, and
// each call replays it into one composite record named after the gate.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "composite/composite_record.h"
#include "qasm/qasm2.h"

namespace velorin {

using namespace qasm_code;

namespace {

// The circuit's records are set aside while a call records its body, and put
// back however the call ends.
class ScopedRecording {
 public:
  explicit ScopedRecording(QuantumCircuit& qc) : qc_(qc) { saved_.swap(qc_.instructions); }
  ~ScopedRecording() {
    if (!finished_) saved_.swap(qc_.instructions);
  }
  ScopedRecording(const ScopedRecording&) = delete;
  ScopedRecording& operator=(const ScopedRecording&) = delete;
  // The records made since the start; the circuit's own are back in place.
  InstructionList Finish() {
    InstructionList recorded;
    recorded.swap(qc_.instructions);
    saved_.swap(qc_.instructions);
    finished_ = true;
    return recorded;
  }

 private:
  QuantumCircuit& qc_;
  InstructionList saved_;
  bool finished_ = false;
};

}  // namespace

// A parameter text is read as the input for a moment; the program's input
// and its counters are back in place however the reading ends.
class ScopedInput {
 public:
  ScopedInput(qasm2& reader, const std::string& text) : reader_(reader), saved_(reader.input_) {
    input_.data = text;
    reader_.input_ = &input_;
  }
  ~ScopedInput() { reader_.input_ = saved_; }
  ScopedInput(const ScopedInput&) = delete;
  ScopedInput& operator=(const ScopedInput&) = delete;

 private:
  qasm2& reader_;
  QasmInput* saved_;
  QasmInput input_;
};

bool qasm2::ParseGateBody(QuantumCircuit& qc, Token t) {
  GateDecl* decl = nullptr;
  if (IsWordToken(t)) {
    const auto found = names_.find(t.text);
    if (found != names_.end() && found->second.first == NameKind::kGate) {
      decl = &gates_[found->second.second];
    }
  }
  if (decl == nullptr) return error_code_ = 1, false;
  while (t.code != kLeftBrace) {
    if (t.code == kEnd) return error_code_ = 6, false;
    t = ReadToken();
  }
  for (;;) {
    t = ReadToken();
    if (t.code == kRightBrace || t.code == kEnd) break;
    BodyStatement statement;
    const int32_t code = StatementCode(t);
    if (code >= kFirstStatementWord && code <= kLastStatementWord) {
      statement.code = code;
    } else if (code == kIdentifier) {
      // A gate may call gates whose definitions are complete, itself excluded.
      const GateDecl* callee = FindGate(t.text);
      if (callee == nullptr || !callee->defined) return error_code_ = 24, false;
      statement.code = kIdentifier;
    } else {
      return error_code_ = 22, false;
    }
    statement.name = t.text;

    t = ReadToken();
    if (t.code == kLeftParen) {
      int depth = 1;
      for (;;) {
        t = ReadToken();
        if (t.code == kEnd) break;
        if (t.code == kLeftParen) ++depth;
        if (t.code == kRightParen && --depth == 0) break;
        statement.parameter_text += t.text;
        statement.parameter_text += ' ';
      }
      t = ReadToken();
    }
    while (t.code != kSemicolon && t.code != kEnd) {
      if (t.code == kRightBrace) return error_code_ = 9, false;
      if (t.code == kDigits) {
        int64_t qubit = 0;
        if (!ParseInt32(t.text, qubit)) return error_code_ = 12, false;
        if (static_cast<uint64_t>(qubit) >= qc.total_qubits) return error_code_ = 23, false;
        statement.operands.push_back(qubit);
      } else if (IsWordToken(t)) {
        const auto& args = decl->arguments;
        const auto arg = std::find(args.begin(), args.end(), t.text);
        if (arg != args.end()) {
          statement.operands.push_back(~static_cast<int64_t>(arg - args.begin()));
        } else if (t.code != kIdentifier) {
          // A keyword that names no argument is passed over.
        } else if (const RegisterDecl* reg = FindQuantumRegister(t.text);
                   reg != nullptr && reg->start >= 0) {
          if (ReadToken().code != kLeftBracket) return error_code_ = 10, false;
          int64_t index = 0;
          if (!ReadIndex(true, index)) return false;
          if (ReadToken(true).code != kRightBracket) return error_code_ = 11, false;
          if (index >= reg->size) return error_code_ = 23, false;
          statement.operands.push_back(reg->start + index);
        } else {
          return error_code_ = 1, false;
        }
      }
      t = ReadToken();
      if (t.code == kComma) t = ReadToken();
    }
    decl->body.push_back(std::move(statement));
    if (t.code == kEnd) break;
  }
  decl->records = RecordsOfCall(*decl);
  decl->defined = true;
  return true;
}

bool qasm2::ApplyUserGate(QuantumCircuit& qc, const GateStatement& call) {
  const GateDecl* gate = FindGate(call.name);
  if (gate == nullptr || !gate->defined) return error_code_ = 24, false;
  if (call.parameters.size() != gate->parameters.size()) return error_code_ = 25, false;
  for (double value : call.parameters) {
    if (!std::isfinite(value)) return error_code_ = qasm_error::kNonFiniteParameter, false;
  }
  // Calls nest by recursion.
  if (expansion_depth_ >= kMaxGateCallDepth) return error_code_ = qasm_error::kNestingLimit, false;
  if (!BudgetAllows(gate->records)) return error_code_ = qasm_error::kRecordLimit, false;

  ScopedRecording recording(qc);
  ++expansion_depth_;
  struct DepthGuard {
    int& depth;
    ~DepthGuard() { --depth; }
  } depth_guard{expansion_depth_};

  for (const BodyStatement& body : gate->body) {
    GateStatement statement;
    statement.code = body.code;
    statement.name = body.name;
    if (!body.parameter_text.empty()) {
      ScopedInput input(*this, body.parameter_text);
      Token t = ReadToken();
      while (t.code != kEnd) {
        error_code_ = 0;
        const Value v = EvaluateExpression(t, false, gate->parameters, call.parameters);
        if (!v.ok) {
          if (error_code_ == 0) error_code_ = 19;
          return false;
        }
        statement.parameters.push_back(v.value);
        t = ReadToken();
        if (t.code == kComma) t = ReadToken();
      }
    }
    for (int64_t operand : body.operands) {
      if (operand >= 0) {
        statement.qubits.push_back(operand);
        continue;
      }
      const auto position = static_cast<size_t>(~operand);
      if (position >= call.qubits.size()) return error_code_ = 23, false;
      statement.qubits.push_back(call.qubits[position]);
    }
    if (!ApplyBuiltinGate(qc, statement)) return false;
  }

  InstructionList records = recording.Finish();

  // The composite acts on the call's qubits, in the order of the gate's
  // arguments, and on any qubit the body names directly.
  InstructionPtr composite = NewComposite(gate->name, "", 0, call.parameters);
  const size_t used = std::min(call.qubits.size(), gate->arguments.size());
  for (size_t i = 0; i < used; ++i) {
    const auto q = static_cast<uint64_t>(call.qubits[i]);
    if (std::find(composite->qubits.begin(), composite->qubits.end(), q) ==
        composite->qubits.end()) {
      AddCompositeQubit(*composite, qc, q);
    }
  }
  for (const InstructionPtr& record : records) {
    for (uint64_t q : record->qubits) {
      if (std::find(composite->qubits.begin(), composite->qubits.end(), q) ==
          composite->qubits.end()) {
        AddCompositeQubit(*composite, qc, q);
      }
    }
  }
  // A call that touches no qubit (an empty body) records nothing: a composite
  // without operands could not be written back as a gate call.
  if (composite->qubits.empty()) return true;
  composite->sub_instructions = std::move(records);
  qc.instructions.push_back(std::move(composite));
  return SpendRecord(*qc.instructions.back());
}

}  // namespace velorin
