// Loading a program, composing the error messages, and the declarations pass.
#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "circuit/errors.h"
#include "circuit/text_helpers.h"
#include "qasm/qasm2.h"

namespace velorin {

using namespace qasm_code;

namespace {

constexpr uint64_t kMaxQubits = 100;

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

qasm2::qasm2() = default;
qasm2::~qasm2() = default;

void qasm2::Reset() {
  has_version_ = false;
  has_qelib1_ = false;
  gates_.clear();
  opaque_gates_.clear();
  qregs_.clear();
  cregs_.clear();
  names_.clear();
  error_code_ = 0;
  records_spent_ = 0;
  record_bytes_spent_ = 0;
  records_known_to_fit_ = 0;
  parameter_bytes_read_ = 0;
  input_ = &program_;
}

std::string qasm2::ComposeError() const {
  const int32_t code = (error_code_ >= 0 && error_code_ < kQasmErrorCount) ? error_code_ : 0;
  return std::string("Error ") + kQasmErrorMessages[code] + " in line " +
         std::to_string(input_->line + 1) + " at " + std::to_string(input_->column);
}

std::unique_ptr<QuantumCircuit> qasm2::load(std::string filename, std::string include_path,
                                            std::string /*include_input_directory*/,
                                            bool strict) {
  std::string text;
  try {
    // A directory or a device would open, then fail or never end.
    if (!IsRegularFile(filename)) throw RunTimeError("Can't open the given file.");
    std::ifstream file(filename, std::ios::binary);
    if (!file.is_open()) throw RunTimeError("Can't open the given file.");
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) throw RunTimeError("Can't open the given file.");
  } catch (const RunTimeError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    throw RunTimeError("Can't open the given file.");
  }
  include_path_ = std::move(include_path);
  SetInput(std::move(text));
  return Load(true, strict);
}

std::unique_ptr<QuantumCircuit> qasm2::loads(std::string qasm2string, std::string include_path,
                                             std::string /*include_input_directory*/,
                                             bool strict) {
  include_path_ = std::move(include_path);
  SetInput(std::move(qasm2string));
  return Load(false, strict);
}

std::unique_ptr<QuantumCircuit> qasm2::Load(bool from_file, bool strict) {
  Reset();
  if (!ScanDeclarations()) throw RunTimeError(ComposeError());
  if (strict) {
    if (!has_qelib1_) {
      throw RunTimeError("Default include file \"qelib1.inc\" is not included.\n");
    }
    if (from_file && !has_version_) throw RunTimeError("Not OpenQasm 2.0.\n");
  }
  if (qregs_.empty()) {
    error_code_ = 29;
    throw RunTimeError("Atleast one quantum register must be defined.\n");
  }
  uint64_t total = 0;
  for (const RegisterDecl& r : qregs_) total += static_cast<uint64_t>(r.size);
  if (total == 0) {
    error_code_ = 30;
    throw RunTimeError("Atleast one qubit must be defined.\n");
  }
  if (total > kMaxQubits) throw std::range_error("Invalid number of qubits passed.");
  // The circuit adds a classical register when the program's hold fewer bits
  // than there are qubits; that one counts too, or the text written of the
  // circuit would not read back.
  uint64_t bits = 0;
  for (const RegisterDecl& r : cregs_) bits += static_cast<uint64_t>(r.size);
  if (bits < total && qregs_.size() + cregs_.size() >= kMaxQasmRegisters) {
    error_code_ = 23;
    input_->line = last_register_line_;
    input_->column = last_register_column_;
    throw RunTimeError(ComposeError());
  }

  // The circuit owns its registers; they never hand their sizes back.
  std::vector<std::shared_ptr<QuantumRegister>> quantum;
  for (const RegisterDecl& r : qregs_) {
    quantum.push_back(std::make_shared<QuantumRegister>(static_cast<int32_t>(r.size), r.name));
    quantum.back()->Detach();
  }
  std::vector<std::shared_ptr<ClassicalRegister>> classical;
  for (const RegisterDecl& r : cregs_) {
    classical.push_back(
        std::make_shared<ClassicalRegister>(static_cast<int32_t>(r.size), r.name));
    classical.back()->Detach();
  }
  auto qc = std::make_unique<QuantumCircuit>(std::move(quantum),
                                             std::vector<std::shared_ptr<AncillaRegister>>{},
                                             classical, "");
  if (!BuildCircuit(*qc)) throw RunTimeError(ComposeError());
  return qc;
}

// Declarations pass ----------------------------------------------------------------

bool qasm2::ScanDeclarations() {
  input_->Rewind();
  bool result = false;
  for (;;) {
    Token t = NextToken(false);
    switch (t.code) {
      case kEnd:
        return result;
      case kOpenQasm: {
        Token v = NextToken(false);
        // A version line cut short is a truncated program.
        if (v.code == kEnd) return error_code_ = 6, false;
        // Other versions are passed over, wherever the line stands.
        if (ReadNumber(v) == "2.0") {
          has_version_ = true;
          result = true;
        }
        continue;
      }
      case kInclude:
        result = ParseInclude();
        break;
      case kQreg:
        result = ParseRegister(true);
        break;
      case kCreg:
        result = ParseRegister(false);
        break;
      case kGate:
      case kOpaque: {
        GateDecl decl;
        result = ParseGateHeader(decl, t.code == kOpaque);
        if (result) {
          auto& table = t.code == kOpaque ? opaque_gates_ : gates_;
          names_[decl.name] = {t.code == kOpaque ? NameKind::kOpaque : NameKind::kGate,
                               table.size()};
          table.push_back(std::move(decl));
        }
        break;
      }
      default:
        continue;
    }
    if (!result) return false;
  }
}

// Gate words that the standard include lacks may name a program's gate, and
// without that include every gate word may: the program's definition is then
// what its statements call.
bool qasm2::IsDefinableGateName(const Token& token) {
  if (token.code == kIdentifier) return true;
  if (!IsWordToken(token) || IsReservedWord(token.text)) return false;
  return !(has_qelib1_ && IsStandardLibraryGate(token.text));
}

bool qasm2::IsNameFree(const std::string& name) {
  if (names_.count(name) == 0) return true;
  error_code_ = 2;
  return false;
}

const void* qasm2::FindName(const std::string& name, NameKind kind) const {
  const auto found = names_.find(name);
  if (found == names_.end() || found->second.first != kind) return nullptr;
  const size_t i = found->second.second;
  switch (kind) {
    case NameKind::kGate: return &gates_[i];
    case NameKind::kOpaque: return &opaque_gates_[i];
    case NameKind::kQuantum: return &qregs_[i];
    default: return &cregs_[i];
  }
}

const RegisterDecl* qasm2::FindQuantumRegister(const std::string& name) const {
  return static_cast<const RegisterDecl*>(FindName(name, NameKind::kQuantum));
}

const RegisterDecl* qasm2::FindClassicalRegister(const std::string& name) const {
  return static_cast<const RegisterDecl*>(FindName(name, NameKind::kClassical));
}

const GateDecl* qasm2::FindGate(const std::string& name) const {
  return static_cast<const GateDecl*>(FindName(name, NameKind::kGate));
}

bool qasm2::ParseRegister(bool quantum) {
  std::vector<RegisterDecl>& table = quantum ? qregs_ : cregs_;
  Token t;
  auto parse = [&]() {
    t = ReadToken();
    if (t.code != kIdentifier) return error_code_ = 1, false;
    const std::string name = t.text;
    // The name comes back to Python as text.
    if (!IsValidUtf8(name)) return error_code_ = qasm_error::kRegisterNameEncoding, false;
    if (!IsNameFree(name)) return false;
    t = ReadToken();
    if (t.code != kLeftBracket) return error_code_ = 10, false;
    t = ReadToken(true);
    int32_t size = 0;
    if (t.code != kDigits) return error_code_ = 12, false;
    const auto [end, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), size);
    if (ec != std::errc() || end != t.text.data() + t.text.size()) return error_code_ = 12, false;
    t = ReadToken(true);
    if (t.code != kRightBracket) return error_code_ = 11, false;
    t = ReadToken(true);
    if (t.code != kSemicolon) return error_code_ = 9, false;
    if (qregs_.size() + cregs_.size() >= kMaxQasmRegisters) return error_code_ = 23, false;
    if (qregs_.size() + cregs_.size() + 1 == kMaxQasmRegisters) {
      // Where a refusal of this declaration would stand.
      last_register_line_ = input_->line;
      last_register_column_ = input_->column - t.text.size();
    }
    names_[name] = {quantum ? NameKind::kQuantum : NameKind::kClassical, table.size()};
    table.push_back({name, size});
    t = ReadToken(true);
    return true;
  };
  const bool ok = parse();
  PushBack(t);
  return ok;
}

bool qasm2::ParseInclude() {
  Token t = ReadToken();
  if (t.code != kQuote) return error_code_ = 13, false;
  t = ReadToken();
  if (t.code != kIdentifier) return error_code_ = 14, false;
  std::string file = t.text;
  t = ReadToken();
  if (t.code != kPoint) return error_code_ = 15, false;
  file += t.text;
  t = ReadToken();
  if (t.code != kIdentifier) return error_code_ = 16, false;
  file += t.text;
  t = ReadToken();
  if (t.code != kQuote) return error_code_ = 13, false;
  t = ReadToken(true);
  if (t.code != kSemicolon) return error_code_ = 9, false;
  if (file == "qelib1.inc") has_qelib1_ = true;
  return true;
}

bool qasm2::ParseGateHeader(GateDecl& decl, bool opaque) {
  Token t;
  auto parse = [&]() {
    t = ReadToken();
    if (t.code == kIdentifier && (t.text == "U" || t.text == "CX")) return error_code_ = 2, false;
    if (has_qelib1_ && IsStandardLibraryGate(t.text)) return error_code_ = 2, false;
    if (!IsDefinableGateName(t)) return error_code_ = 1, false;
    if (!IsValidUtf8(t.text)) return error_code_ = qasm_error::kGateNameEncoding, false;
    if (!IsNameFree(t.text)) return false;
    decl.name = t.text;
    // Parameter and argument names live in the gate's own scope: t or x name
    // an argument as well as anything.
    auto is_name = [&]() { return IsWordToken(t) && !IsReservedWord(t.text); };
    t = ReadToken();
    if (t.code == kLeftParen) {
      t = ReadToken();
      if (t.code == kEnd) return error_code_ = 6, false;
      if (t.code != kRightParen) {
        while (t.code != kEnd) {
          if (!is_name()) return error_code_ = 5, false;
          decl.parameters.push_back(t.text);
          t = ReadToken();
          if (t.code == kComma) {
            t = ReadToken();
            if (t.code == kRightParen) break;
          } else if (t.code == kRightParen) {
            break;
          } else {
            return error_code_ = 7, false;
          }
        }
      }
      if (t.code == kEnd) return error_code_ = 6, false;
      t = ReadToken();
    } else if (!is_name()) {
      return error_code_ = 4, false;
    }
    // Arguments; commas between them are optional.
    for (;;) {
      if (opaque ? t.code == kSemicolon : (t.code == kLeftBrace || t.code == kEnd)) break;
      if (opaque && t.code == kEnd) return error_code_ = 9, false;
      if (!is_name()) return error_code_ = 5, false;
      decl.arguments.push_back(t.text);
      t = ReadToken();
      if (t.code == kComma) t = ReadToken();
    }
    if (!opaque) {
      // The body is read by the statements pass.
      while (t.code != kRightBrace) {
        if (t.code == kEnd) return error_code_ = 6, false;
        t = ReadToken();
      }
    }
    t = ReadToken();
    return true;
  };
  const bool ok = parse();
  PushBack(t);
  return ok;
}

}  // namespace velorin
