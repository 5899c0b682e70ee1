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

// The calls being expanded, innermost last. Each level records into the
// circuit's list while the records of the level around it wait in its frame;
// they are put back however the expansion ends.
class CallStack {
 public:
  struct Frame {
    const GateDecl* gate;
    std::vector<double> parameters;
    std::vector<int64_t> qubits;
    size_t next = 0;  // the body statement to apply next
    InstructionList outer;
  };

  explicit CallStack(QuantumCircuit& qc) : qc_(qc) {}
  ~CallStack() {
    while (!frames_.empty()) Finish();
  }
  CallStack(const CallStack&) = delete;
  CallStack& operator=(const CallStack&) = delete;

  bool empty() const { return frames_.empty(); }
  Frame& top() { return frames_.back(); }

  void Enter(const GateDecl* gate, std::vector<double> parameters, std::vector<int64_t> qubits) {
    frames_.push_back({gate, std::move(parameters), std::move(qubits), 0, {}});
    frames_.back().outer.swap(qc_.instructions);
  }
  // The records the innermost call made; the level around it records again.
  InstructionList Finish() {
    InstructionList recorded;
    recorded.swap(qc_.instructions);
    qc_.instructions.swap(frames_.back().outer);
    frames_.pop_back();
    return recorded;
  }

 private:
  QuantumCircuit& qc_;
  std::vector<Frame> frames_;
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

// A call may go ahead: its gate is defined, its values fit it, and what it
// makes at least fits the budget.
const GateDecl* qasm2::CheckCall(const std::string& name, const std::vector<double>& parameters) {
  const GateDecl* gate = FindGate(name);
  if (gate == nullptr || !gate->defined) return error_code_ = 24, nullptr;
  if (parameters.size() != gate->parameters.size()) return error_code_ = 25, nullptr;
  for (double value : parameters) {
    if (!std::isfinite(value)) return error_code_ = qasm_error::kNonFiniteParameter, nullptr;
  }
  if (!BudgetAllows(gate->records)) return error_code_ = qasm_error::kRecordLimit, nullptr;
  return gate;
}

// Calls inside bodies are expanded with a stack of our own: a chain of
// definitions nests as deep as the budget lets it, never on the machine stack.
bool qasm2::ApplyUserGate(QuantumCircuit& qc, const GateStatement& call) {
  const GateDecl* first = CheckCall(call.name, call.parameters);
  if (first == nullptr) return false;
  CallStack calls(qc);
  calls.Enter(first, call.parameters, call.qubits);
  while (!calls.empty()) {
    CallStack::Frame& frame = calls.top();
    const GateDecl* gate = frame.gate;
    if (frame.next == gate->body.size()) {
      const std::vector<int64_t> qubits = std::move(frame.qubits);
      const std::vector<double> parameters = std::move(frame.parameters);
      InstructionList records = calls.Finish();
      if (!RecordComposite(qc, *gate, parameters, qubits, std::move(records))) return false;
      continue;
    }
    const BodyStatement& body = gate->body[frame.next++];
    GateStatement statement;
    statement.code = body.code;
    statement.name = body.name;
    if (!body.parameter_text.empty()) {
      parameter_bytes_read_ += body.parameter_text.size();
      if (!BudgetAllows(0)) return error_code_ = qasm_error::kRecordLimit, false;
      ScopedInput input(*this, body.parameter_text);
      Token t = ReadToken();
      while (t.code != kEnd) {
        error_code_ = 0;
        const Value v = EvaluateExpression(t, false, gate->parameters, frame.parameters);
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
      if (position >= frame.qubits.size()) return error_code_ = 23, false;
      statement.qubits.push_back(frame.qubits[position]);
    }
    if (statement.code == kIdentifier) {
      const GateDecl* callee = CheckCall(statement.name, statement.parameters);
      if (callee == nullptr) return false;
      calls.Enter(callee, std::move(statement.parameters), std::move(statement.qubits));
    } else if (!ApplyBuiltinGate(qc, statement)) {
      return false;
    }
  }
  return true;
}

// One call's records as one composite named after the gate.
bool qasm2::RecordComposite(QuantumCircuit& qc, const GateDecl& gate,
                            const std::vector<double>& parameters,
                            const std::vector<int64_t>& qubits, InstructionList records) {
  // The composite acts on the call's qubits, in the order of the gate's
  // arguments, and on any qubit the body names directly.
  InstructionPtr composite = NewComposite(gate.name, "", 0, parameters);
  std::vector<char> held(qc.total_qubits, 0);
  auto add = [&](uint64_t q) {
    if (q < held.size()) {
      if (held[q] != 0) return;
      held[q] = 1;
    } else if (std::find(composite->qubits.begin(), composite->qubits.end(), q) !=
               composite->qubits.end()) {
      return;
    }
    AddCompositeQubit(*composite, qc, q);
  };
  const size_t used = std::min(qubits.size(), gate.arguments.size());
  for (size_t i = 0; i < used; ++i) add(static_cast<uint64_t>(qubits[i]));
  for (const InstructionPtr& record : records) {
    for (uint64_t q : record->qubits) add(q);
  }
  // A call that touches no qubit (an empty body) records nothing: a composite
  // without operands could not be written back as a gate call.
  if (composite->qubits.empty()) return true;
  composite->sub_instructions = std::move(records);
  qc.instructions.push_back(std::move(composite));
  return SpendRecord(*qc.instructions.back());
}

}  // namespace velorin
