#include "qasm/qasm_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>

#include "circuit/errors.h"
#include "circuit/gate_families.h"
#include "circuit/text_helpers.h"
#include "platform/host.h"
#include "platform/text.h"
#include "qasm/qasm2.h"

namespace velorin {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kEpsilon = 2.220446049250313e-16;

bool SameParameter(double a, double b) {
  const double diff = std::fabs(a - b);
  return diff <= 1e-50 || diff <= std::fmax(std::fabs(a), std::fabs(b)) * kEpsilon;
}

bool SameParameters(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!SameParameter(a[i], b[i])) return false;
  }
  return true;
}

// Inside a definition an index is written with letters: 0 is "a", 12 is "bc".
std::string LetterCode(const char* prefix, uint64_t index) {
  std::string text = prefix;
  for (char digit : std::to_string(index)) text.push_back(static_cast<char>('a' + (digit - '0')));
  return text;
}

// The value a reader gives a text of FormatAngle; false for any other text.
bool AngleFormValue(const std::string& text, double& value) {
  if (text == "0") return value = 0.0, true;
  if (text == "pi") return value = kPi, true;
  if (text == "-pi") return value = -kPi, true;
  const bool negative = text.rfind("-pi/", 0) == 0;
  if (negative || text.rfind("pi/", 0) == 0) {
    const char* digits = text.c_str() + (negative ? 4 : 3);
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(digits, text.c_str() + text.size(), n);
    if (ec != std::errc() || end != text.c_str() + text.size()) return false;
    value = kPi / static_cast<double>(n);
    if (negative) value = -value;
    return true;
  }
  const auto [end, ec] = std::from_chars(text.c_str(), text.c_str() + text.size(), value);
  return ec == std::errc() && end == text.c_str() + text.size();
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Gates of ours that qelib1.inc lacks, each defined from the gates of the
// published file. The bodies are exact, global phase included.
struct ExtraGate {
  GateKind kind;
  bool adjoint;  // a record of the kind whose matrix is the kind's adjoint
  const char* name;
  const char* operands;  // header after the name
  const char* body;
};

constexpr ExtraGate kExtraGates[] = {
    // rz(phi) rx(theta) rz(-phi): no sum that a large phi would swallow.
    {kind::kR, false, "r", "(p0, p1) q_a", "rz(-p1) q_a;\nrx(p0) q_a;\nrz(p1) q_a;\n"},
    {kind::kCS, false, "cs", "q_a, q_b", "cu1(pi/2) q_a, q_b;\n"},
    {kind::kCSdg, false, "csdg", "q_a, q_b", "cu1(-pi/2) q_a, q_b;\n"},
    {kind::kCT, false, "ct", "q_a, q_b", "cu1(pi/4) q_a, q_b;\n"},
    {kind::kDCX, false, "dcx", "q_a, q_b", "cx q_a, q_b;\ncx q_b, q_a;\n"},
    {kind::kISwap, false, "iswap", "q_a, q_b",
     "s q_a;\ns q_b;\nh q_a;\ncx q_a, q_b;\ncx q_b, q_a;\nh q_b;\n"},
    {kind::kRYY, false, "ryy", "(p0) q_a, q_b",
     "rx(pi/2) q_a;\nrx(pi/2) q_b;\ncx q_a, q_b;\nrz(p0) q_b;\ncx q_a, q_b;\nrx(-pi/2) q_a;\n"
     "rx(-pi/2) q_b;\n"},
    {kind::kRZX, false, "rzx", "(p0) q_a, q_b",
     "h q_b;\ncx q_a, q_b;\nrz(p0) q_b;\ncx q_a, q_b;\nh q_b;\n"},
    // rzx(pi/4), x on the first qubit, rzx(-pi/4).
    {kind::kECR, false, "ecr", "q_a, q_b",
     "h q_b;\ncx q_a, q_b;\nrz(pi/4) q_b;\ncx q_a, q_b;\nh q_b;\nx q_a;\nh q_b;\ncx q_a, q_b;\n"
     "rz(-pi/4) q_b;\ncx q_a, q_b;\nh q_b;\n"},
    {kind::kCCZ, false, "ccz", "q_a, q_b, q_c", "h q_c;\nccx q_a, q_b, q_c;\nh q_c;\n"},
    // Inverting a circuit keeps these kinds and takes the adjoint matrix.
    {kind::kCSX, true, "csxdg", "q_a, q_b", "h q_b;\ncu1(-pi/2) q_a, q_b;\nh q_b;\n"},
    {kind::kISwap, true, "iswapdg", "q_a, q_b",
     "h q_b;\ncx q_b, q_a;\ncx q_a, q_b;\nh q_a;\nsdg q_b;\nsdg q_a;\n"},
    {kind::kCT, true, "ctdg", "q_a, q_b", "cu1(-pi/4) q_a, q_b;\n"},
};

bool Close(const Matrix& a, const Matrix& b) {
  return a.rows() == b.rows() && a.cols() == b.cols() &&
         (a.size() == 0 || (a - b).cwiseAbs().maxCoeff() <= 1e-9);
}

// The matrix a gate table gives a kind with these angles, if one does.
bool TableMatrix(GateKind k, const std::vector<double>& params, Matrix& out) {
  for (const OneQubitFamily& f : OneQubitFamilies()) {
    if (f.kind == k && f.param_names.size() == params.size()) return out = f.matrix(params), true;
  }
  for (const TwoQubitFamily& f : TwoQubitFamilies()) {
    if (f.kind == k && f.param_names.size() == params.size()) return out = f.matrix(params), true;
  }
  return false;
}

// Whether the record's matrix is its kind's adjoint rather than the kind's
// own; a matrix that is neither cannot be named and is refused.
bool HoldsAdjoint(const Instruction& record) {
  if (record.matrix.size() == 0 || record.kind == kind::kComposite) return false;
  for (double v : record.params) {
    if (!std::isfinite(v)) return false;  // refused with its number
  }
  Matrix expected;
  if (!TableMatrix(record.kind, record.params, expected) || Close(record.matrix, expected)) {
    return false;
  }
  if (Close(record.matrix, expected.adjoint())) return true;
  throw RunTimeError("Gate " + record.GateName() +
                     " holds a matrix that its name and parameters do not give");
}

// The unitary of an extra gate with these parameters, if they fit it.
bool ExtraUnitary(const ExtraGate& gate, const std::vector<double>& params, Matrix& out) {
  if (gate.kind == kind::kCCZ) {
    if (!params.empty()) return false;
    out = Matrix::Identity(8, 8);
    out(7, 7) = -1.0;
    return true;
  }
  for (double v : params) {
    if (!std::isfinite(v)) return false;
  }
  if (!TableMatrix(gate.kind, params, out)) return false;
  if (gate.adjoint) out = out.adjoint().eval();
  return true;
}

// The definition a record is written with when qelib1.inc lacks its gate.
const ExtraGate* FindExtra(const Instruction& record) {
  if (record.kind == kind::kComposite) return nullptr;
  const bool adjoint = HoldsAdjoint(record);
  for (const ExtraGate& gate : kExtraGates) {
    if (gate.kind == record.kind && gate.adjoint == adjoint) return &gate;
  }
  if (adjoint) {
    throw RunTimeError("Gate " + record.GateName() +
                       " holds a matrix that its name and parameters do not give");
  }
  return nullptr;
}

// Inside a definition, a gate that the published qelib1.inc holds under
// another name with exactly the same matrix goes by that name, so that a
// reader holding only that file reads what we define. `count` is how many of
// the record's parameters the name takes.
const char* PublishedName(const Instruction& record, size_t& count) {
  switch (record.kind) {
    case kind::kP:
      return count == 1 ? "u1" : nullptr;
    case kind::kU:
      return count == 3 ? "u3" : nullptr;
    case kind::kCP:
      return count == 1 ? "cu1" : nullptr;
    case kind::kCU:
      // No phase on the controlled block: cu3 with the first three angles.
      if (record.params.size() == 4 && record.params[3] == 0.0) return count = 3, "cu3";
      return nullptr;
    default:
      return nullptr;
  }
}

// Names a definition must not take: the reader's words, the built-in and
// qelib1.inc gates.
const std::set<std::string>& ReservedNames() {
  static const std::set<std::string> names = [] {
    std::set<std::string> all = {
        "OPENQASM", "include", "qreg", "creg", "gate", "opaque", "barrier", "measure", "reset",
        "if", "pi", "sin", "cos", "tan", "exp", "ln", "sqrt", "U", "CX", "delay",
        // qelib1.inc
        "u3", "u2", "u1", "cx", "id", "u0", "u", "p", "x", "y", "z", "h", "s", "sdg", "t", "tdg",
        "rx", "ry", "rz", "sx", "sxdg", "cz", "cy", "swap", "ch", "ccx", "cswap", "crx", "cry",
        "crz", "cu1", "cp", "cu3", "csx", "cu", "rxx", "rzz", "rccx", "rc3x", "c3x", "c3sqrtx",
        "c4x"};
    for (const QasmKeyword& keyword : kQasmTokenTable) all.insert(keyword.word);
    return all;
  }();
  return names;
}

// Composites written under a library name: the gates our reader builds from
// that statement, with the unitary that standard qelib1.inc gives them.
struct LibraryComposite {
  const char* name;
  int qubits;
};
constexpr LibraryComposite kLibraryComposites[] = {
    {"ccx", 3}, {"cswap", 3}, {"rccx", 3}, {"rc3x", 4}, {"c3x", 4}, {"c3sqrtx", 4}, {"c4x", 5}};

// Applies `gate` (index sum of bit j << j over its listed qubits) on the
// positions `at` to every column of `u`.
void ApplyDense(Matrix& u, const Matrix& gate, const std::vector<int>& at) {
  const int m = static_cast<int>(at.size());
  const Eigen::Index gdim = Eigen::Index{1} << m;
  int mask = 0;
  for (int p : at) mask |= 1 << p;
  std::vector<Eigen::Index> offsets(static_cast<size_t>(gdim));
  for (Eigen::Index j = 0; j < gdim; ++j) {
    Eigen::Index offset = 0;
    for (int i = 0; i < m; ++i) {
      if ((j >> i) & 1) offset |= Eigen::Index{1} << at[static_cast<size_t>(i)];
    }
    offsets[static_cast<size_t>(j)] = offset;
  }
  Eigen::VectorXcd v(gdim);
  for (Eigen::Index col = 0; col < u.cols(); ++col) {
    for (Eigen::Index base = 0; base < u.rows(); ++base) {
      if ((base & mask) != 0) continue;
      for (Eigen::Index j = 0; j < gdim; ++j) v(j) = u(base | offsets[static_cast<size_t>(j)], col);
      const Eigen::VectorXcd w = gate * v;
      for (Eigen::Index j = 0; j < gdim; ++j) u(base | offsets[static_cast<size_t>(j)], col) = w(j);
    }
  }
}

struct Step {
  const Matrix* gate;
  std::vector<int> at;
};

Matrix StepsUnitary(int k, const std::vector<Step>& steps) {
  Matrix u = Matrix::Identity(Eigen::Index{1} << k, Eigen::Index{1} << k);
  for (const Step& step : steps) ApplyDense(u, *step.gate, step.at);
  return u;
}

// The gate on the last of k positions when all others are 1.
Matrix ControlledOnAll(int k, const Matrix& target) {
  const Eigen::Index dim = Eigen::Index{1} << k;
  Matrix u = Matrix::Identity(dim, dim);
  const Eigen::Index on = (Eigen::Index{1} << (k - 1)) - 1;
  const Eigen::Index flip = Eigen::Index{1} << (k - 1);
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) u(on | (a ? flip : 0), on | (b ? flip : 0)) = target(a, b);
  }
  return u;
}

const Matrix& LibraryUnitary(const std::string& name) {
  static const Matrix u2 = MatrixU2({0.0, kPi});
  static const Matrix t = MatrixP({kPi / 4});
  static const Matrix tdg = MatrixP({-kPi / 4});
  static const std::unordered_map<std::string, Matrix> unitaries = [] {
    std::unordered_map<std::string, Matrix> all;
    all["ccx"] = ControlledOnAll(3, kGateX);
    all["c3x"] = ControlledOnAll(4, kGateX);
    all["c4x"] = ControlledOnAll(5, kGateX);
    all["c3sqrtx"] = ControlledOnAll(4, kGateSX);
    Matrix cswap = Matrix::Identity(8, 8);
    cswap(3, 3) = cswap(5, 5) = 0.0;
    cswap(3, 5) = cswap(5, 3) = 1.0;
    all["cswap"] = cswap;
    // qelib1.inc's relative-phase Toffolis, step by step.
    all["rccx"] = StepsUnitary(3, {{&u2, {2}}, {&t, {2}}, {&kGateCX, {1, 2}}, {&tdg, {2}},
                                   {&kGateCX, {0, 2}}, {&t, {2}}, {&kGateCX, {1, 2}},
                                   {&tdg, {2}}, {&u2, {2}}});
    all["rc3x"] = StepsUnitary(
        4, {{&u2, {3}}, {&t, {3}}, {&kGateCX, {2, 3}}, {&tdg, {3}}, {&u2, {3}},
            {&kGateCX, {0, 3}}, {&t, {3}}, {&kGateCX, {1, 3}}, {&tdg, {3}}, {&kGateCX, {0, 3}},
            {&t, {3}}, {&kGateCX, {1, 3}}, {&tdg, {3}}, {&u2, {3}}, {&t, {3}},
            {&kGateCX, {2, 3}}, {&tdg, {3}}, {&u2, {3}}});
    return all;
  }();
  return unitaries.at(name);
}

// Whether the records below `composite` make exactly `expected` on its qubits.
bool HasUnitary(const Instruction& composite, const Matrix& expected) {
  const int k = static_cast<int>(composite.qubits.size());
  Matrix u = Matrix::Identity(Eigen::Index{1} << k, Eigen::Index{1} << k);
  bool unitary = true;
  VisitLeafRecords(composite.sub_instructions, [&](const Instruction& record) {
    if (record.has_condition) return unitary = false;
    const GateKind g = record.kind;
    if (IsBarrier(g) || g == kind::kDelay || g == kind::kI || g == kind::kId || g == kind::kU0) {
      return true;
    }
    if (g == kind::kMeasure || g == kind::kReset || g == kind::kComposite) return unitary = false;
    std::vector<int> at;
    for (uint64_t q : record.qubits) {
      const auto found = std::find(composite.qubits.begin(), composite.qubits.end(), q);
      if (found == composite.qubits.end()) return unitary = false;
      at.push_back(static_cast<int>(found - composite.qubits.begin()));
    }
    const Eigen::Index dim = Eigen::Index{1} << at.size();
    if (at.empty() || record.matrix.rows() != dim || record.matrix.cols() != dim) {
      return unitary = false;
    }
    if (g == kind::kCU1) {
      // The stored entry is the angle itself.
      Matrix m = Matrix::Identity(4, 4);
      m(3, 3) = Phase(record.matrix(3, 3).real());
      ApplyDense(u, m, at);
    } else {
      ApplyDense(u, record.matrix, at);
    }
    return true;
  });
  if (!unitary) return false;
  return (u - expected).cwiseAbs().maxCoeff() < 1e-9;
}

bool EndsInNumberSuffix(const std::string& name) {
  const size_t underscore = name.find_last_of('_');
  if (underscore == std::string::npos || underscore + 1 >= name.size()) return false;
  return IsAllDigits(name.substr(underscore + 1));
}

// An OpenQASM identifier made from a label: lower-case first letter, every
// other character a letter, a digit or "_".
std::string IdentifierFrom(const std::string& label) {
  std::string text;
  for (char c : label) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    text.push_back(word ? c : '_');
  }
  if (text.empty()) return "composite";
  if (text[0] >= 'A' && text[0] <= 'Z') {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  } else if (!(text[0] >= 'a' && text[0] <= 'z')) {
    text.insert(0, "g");
  }
  return text;
}

bool ReadsMeasuredBit(const Instruction& holder, uint64_t qubit) {
  if (holder.condition_on_bit) return holder.condition_bit == static_cast<int64_t>(qubit);
  const ConditionRegister& reg = holder.condition_register;
  if (!reg.qubits.empty()) {
    return std::find(reg.qubits.begin(), reg.qubits.end(), static_cast<int64_t>(qubit)) !=
           reg.qubits.end();
  }
  const int64_t q = static_cast<int64_t>(qubit);
  return q >= reg.start && q < int64_t{reg.start} + reg.size;
}

std::string Describe(const Instruction& record) {
  return record.kind == kind::kComposite ? record.name : record.GateName();
}

}  // namespace

std::string QasmNumber(double value, const std::string& gate) {
  if (!std::isfinite(value)) {
    throw RunTimeError("Gate " + gate + " has the parameter " + platform::FormatFixed6(value) +
                       ", which OpenQASM cannot hold");
  }
  std::string text = FormatAngle(value);
  double read = 0.0;
  if (AngleFormValue(text, read) && SameBits(read, value)) return text;
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.assign(buffer, ec == std::errc() ? end : buffer);
  // An OpenQASM real has a point: 1e-09 is written 1.0e-09.
  if (text.find('.') == std::string::npos) {
    const size_t exponent = text.find_first_of("eE");
    text.insert(exponent == std::string::npos ? text.size() : exponent, ".0");
  }
  return text;
}

QasmWriter::QasmWriter() = default;

QasmWriter::~QasmWriter() = default;

void QasmWriter::Clear() {
  definitions.clear();
  by_body.clear();
  composites.clear();
  rotations.clear();
  order.clear();
  library_entries.clear();
  used_extras.clear();
  extra_names.clear();
}

int32_t QasmWriter::FindOrAdd(Definition&& definition) {
  std::string body_key = definition.key;
  body_key += '\n';
  body_key += definition.canonical;
  std::vector<int32_t>& same_body = by_body[body_key];
  for (int32_t index : same_body) {
    if (SameParameters(definitions[static_cast<size_t>(index)].params, definition.params)) {
      return index;
    }
  }
  const auto index = static_cast<int32_t>(definitions.size());
  same_body.push_back(index);
  definitions.push_back(std::move(definition));
  return index;
}

// An rv rotation is three exact rotations whose angles come from its matrix,
// M = rz(phi) ry(theta) rz(lambda): one definition per distinct rotation.
int32_t QasmWriter::RvDefinition(const Instruction& record) {
  const auto known = rotations.find(&record);
  if (known != rotations.end()) return known->second;
  for (double v : record.params) QasmNumber(v, "rv");
  const Matrix m = record.matrix.rows() == 2 && record.matrix.cols() == 2
                       ? record.matrix
                       : MatrixRV(record.params.size() >= 3 ? record.params
                                                            : std::vector<double>{0, 0, 0});
  const double theta = 2.0 * std::atan2(std::abs(m(1, 0)), std::abs(m(0, 0)));
  const double sum_half = std::arg(m(1, 1)), difference_half = std::arg(m(1, 0));
  const double phi = sum_half + difference_half, lambda = sum_half - difference_half;
  Definition definition;
  definition.key = "rv";
  definition.params = record.params;
  definition.canonical = "rz(" + QasmNumber(lambda, "rv") + ") #;\nry(" +
                         QasmNumber(theta, "rv") + ") #;\nrz(" + QasmNumber(phi, "rv") + ") #;\n";
  definition.first = &record;
  const int32_t index = FindOrAdd(std::move(definition));
  rotations.emplace(&record, index);
  return index;
}

void QasmWriter::Analyse(const InstructionList& list) {
  // Post-order: a composite is decided after everything below it.
  std::vector<std::pair<const Instruction*, size_t>> stack;
  auto enter = [&](const Instruction* record) {
    auto [it, added] = composites.try_emplace(record);
    if (added) {
      stack.emplace_back(record, 0);
    } else if (it->second.visiting) {
      throw RunTimeError("Composite " + record->name + " contains itself");
    }
  };
  for (const InstructionPtr& record : list) {
    if (record && record->kind == kind::kComposite) enter(record.get());
    while (!stack.empty()) {
      const Instruction* composite = stack.back().first;
      const size_t next = stack.back().second;
      if (next < composite->sub_instructions.size()) {
        ++stack.back().second;
        const Instruction* sub = composite->sub_instructions[next].get();
        if (sub && sub->kind == kind::kComposite) enter(sub);
        continue;
      }
      stack.pop_back();
      CompositeInfo& info = composites[composite];
      Decide(*composite, info);
      info.visiting = false;
    }
  }
}

void QasmWriter::Decide(const Instruction& composite, CompositeInfo& info) {
  std::vector<uint64_t> own = composite.qubits;
  std::sort(own.begin(), own.end());
  const bool distinct = std::adjacent_find(own.begin(), own.end()) == own.end();
  // A gate body holds unitary records on the gate's own distinct qubits only.
  bool body = distinct && !own.empty();
  for (const InstructionPtr& pointer : composite.sub_instructions) {
    if (!body) break;
    if (!pointer) continue;
    const Instruction& sub = *pointer;
    if (sub.has_condition || sub.kind == kind::kMeasure || sub.kind == kind::kReset ||
        (sub.kind == kind::kComposite && composites[&sub].written_inline)) {
      body = false;
    }
    for (uint64_t q : sub.qubits) {
      if (!std::binary_search(own.begin(), own.end(), q)) body = false;
    }
  }
  if (!body) {
    info.written_inline = true;
    return;
  }
  const std::string lower = platform::AsciiLower(composite.name);
  for (const LibraryComposite& library : kLibraryComposites) {
    if (lower == library.name && composite.qubits.size() == static_cast<size_t>(library.qubits) &&
        composite.clbits.empty() && composite.params.empty() &&
        HasUnitary(composite, LibraryUnitary(lower))) {
      info.library = library.name;
      return;
    }
  }
  // What this writer's own definitions read back as is written as that gate
  // again: the same name, as many records, none nested, the same unitary.
  const auto records = std::count_if(
      composite.sub_instructions.begin(), composite.sub_instructions.end(),
      [](const InstructionPtr& sub) { return sub && !sub->qubits.empty(); });
  const bool flat = std::none_of(
      composite.sub_instructions.begin(), composite.sub_instructions.end(),
      [](const InstructionPtr& sub) { return sub && sub->kind == kind::kComposite; });
  for (const ExtraGate& gate : kExtraGates) {
    Matrix expected;
    if (composite.name == gate.name && composite.clbits.empty() && flat &&
        composite.qubits.size() <= 3 &&
        records == std::count(gate.body, gate.body + std::strlen(gate.body), ';') &&
        ExtraUnitary(gate, composite.params, expected) &&
        expected.rows() == (Eigen::Index{1} << composite.qubits.size()) &&
        HasUnitary(composite, expected)) {
      info.extra = gate.name;
      return;
    }
  }
  Definition definition;
  definition.key = IdentifierFrom(composite.name);
  definition.params = composite.params;
  definition.first = &composite;
  definition.canonical = std::to_string(composite.qubits.size()) + " qubits\n";
  for (const InstructionPtr& pointer : composite.sub_instructions) {
    if (!pointer || pointer->qubits.empty()) continue;
    const Instruction& sub = *pointer;
    if (sub.kind == kind::kComposite) {
      const CompositeInfo& nested = composites[&sub];
      if (nested.definition >= 0) definition.uses.push_back(nested.definition);
    } else if (sub.kind == kind::kRV) {
      definition.uses.push_back(RvDefinition(sub));
    }
    definition.canonical += RecordLine(sub, Operands::kPosition, true, &composite, nullptr);
  }
  info.definition = FindOrAdd(std::move(definition));
}

std::string QasmWriter::CallName(const Instruction& record, bool canonical) {
  if (record.kind == kind::kComposite) {
    const CompositeInfo& info = composites.at(&record);
    if (info.library != nullptr) return info.library;
    if (info.extra != nullptr) return canonical ? info.extra : extra_names.at(info.extra);
    if (canonical) return "@" + std::to_string(info.definition);
    return definitions[static_cast<size_t>(info.definition)].name;
  }
  if (record.kind == kind::kRV) {
    const int32_t index = RvDefinition(record);
    if (canonical) return "@" + std::to_string(index);
    return definitions[static_cast<size_t>(index)].name;
  }
  if (const ExtraGate* extra = FindExtra(record)) {
    if (canonical) return extra->name;
    return extra_names.at(extra->name);
  }
  if (record.kind == kind::kI) return "id";
  const std::string name = record.GateName();
  if (name.empty()) {
    throw RunTimeError("Gate of kind " + std::to_string(record.kind) +
                       " has no OpenQASM form");
  }
  return name;
}

std::string QasmWriter::RecordLine(const Instruction& record, Operands mode, bool canonical,
                                   const Instruction* owner, const QuantumCircuit* circuit) {
  std::string text = CallName(record, canonical);
  size_t count = record.params.size();
  if (mode != Operands::kRegister) {
    if (const char* published = PublishedName(record, count)) text = published;
  }
  if (count > 0) {
    text += "(";
    for (size_t i = 0; i < count; ++i) {
      if (i > 0) text += ", ";
      text += QasmNumber(record.params[i], Describe(record));
    }
    text += ")";
  }
  text += " ";
  for (size_t i = 0; i < record.qubits.size(); ++i) {
    if (i > 0) text += ", ";
    const uint64_t q = record.qubits[i];
    if (mode == Operands::kPosition) {
      const auto at = std::find(owner->qubits.begin(), owner->qubits.end(), q);
      text += "#" + std::to_string(at - owner->qubits.begin());
    } else if (mode == Operands::kLetter) {
      text += LetterCode("q_", q);
    } else {
      const auto [offset, name] = circuit->LocateQubit(static_cast<int64_t>(q));
      text += name + "[" + std::to_string(offset) + "]";
    }
  }
  if (record.kind == kind::kMeasure) {
    text += " -> ";
    for (size_t i = 0; i < record.clbits.size(); ++i) {
      if (i > 0) text += ", ";
      const auto [offset, name] = circuit->LocateClbit(static_cast<int64_t>(record.clbits[i]));
      text += name + "[" + std::to_string(offset) + "]";
    }
  }
  text += ";\n";
  return text;
}

std::string QasmWriter::ConditionText(const Instruction& holder,
                                      const QuantumCircuit& circuit) const {
  std::string text = "if (";
  if (holder.condition_on_bit) {
    const auto [offset, name] = circuit.LocateClbit(holder.condition_bit);
    text += name + "[" + std::to_string(offset) + "] ";
  } else {
    // The register the engine tests: the circuit's register with that range.
    const ConditionRegister& reg = holder.condition_register;
    const ClassicalRegister* match = nullptr;
    for (const auto& candidate : circuit.classical_registers) {
      if (!reg.qubits.empty() || candidate->start() != reg.start ||
          candidate->size() != reg.size) {
        continue;
      }
      if (match == nullptr || candidate->name() == reg.name) match = candidate.get();
    }
    if (match == nullptr) {
      throw RunTimeError("The condition of gate " + Describe(holder) + " tests register " +
                         reg.name + ", which is not a classical register of the circuit");
    }
    text += match->name();
  }
  text += " == " + std::to_string(static_cast<uint64_t>(holder.condition_value)) + ") ";
  return text;
}

// Pre-order over what the program calls: a definition before the ones its
// body calls, as the suffixes are handed out.
void QasmWriter::Number(const QuantumCircuit& circuit) {
  // The instance met first in the program gives the definition its operand
  // names, so that the text read back names them alike.
  auto reach = [&](int32_t index, const Instruction& record,
                   std::vector<const InstructionList*>& bodies) {
    Definition& definition = definitions[static_cast<size_t>(index)];
    if (definition.reached) return;
    definition.reached = true;
    definition.first = &record;
    order.push_back(index);
    if (record.kind == kind::kComposite) bodies.push_back(&record.sub_instructions);
  };
  std::vector<std::pair<const InstructionList*, size_t>> stack{{&circuit.instructions, 0}};
  while (!stack.empty()) {
    auto& [list, next] = stack.back();
    if (next >= list->size()) {
      stack.pop_back();
      continue;
    }
    const Instruction* record = (*list)[next++].get();
    if (record == nullptr) continue;
    std::vector<const InstructionList*> bodies;
    if (record->kind == kind::kComposite) {
      const CompositeInfo& info = composites.at(record);
      if (info.written_inline) {
        bodies.push_back(&record->sub_instructions);
      } else if (info.extra != nullptr) {
        used_extras.insert(info.extra);
      } else if (info.library != nullptr) {
        const bool known = std::any_of(
            library_entries.begin(), library_entries.end(), [&](const auto& entry) {
              return entry.first == info.library && SameParameters(entry.second, record->params);
            });
        if (!known) {
          order.push_back(-1 - static_cast<int32_t>(library_entries.size()));
          library_entries.emplace_back(info.library, record->params);
        }
      } else {
        reach(info.definition, *record, bodies);
      }
    } else if (record->qubits.empty()) {
      continue;
    } else if (record->kind == kind::kRV) {
      reach(RvDefinition(*record), *record, bodies);
    } else if (const ExtraGate* extra = FindExtra(*record)) {
      used_extras.insert(extra->name);
    }
    for (const InstructionList* body : bodies) stack.emplace_back(body, 0);
  }
}

void QasmWriter::Name(const QuantumCircuit& circuit) {
  std::set<std::string> taken;
  for (const auto& reg : circuit.quantum_registers) taken.insert(reg->name());
  for (const auto& reg : circuit.ancilla_registers) taken.insert(reg->name());
  for (const auto& reg : circuit.classical_registers) taken.insert(reg->name());
  const std::set<std::string>& reserved = ReservedNames();
  auto free = [&](const std::string& name) {
    return taken.count(name) == 0 && reserved.count(name) == 0;
  };
  // Our extra gates keep their own names unless a register has them.
  for (const ExtraGate& gate : kExtraGates) {
    if (used_extras.count(gate.name) == 0) continue;
    std::string name = gate.name;
    for (int n = 1; taken.count(name) != 0 || (name != gate.name && !free(name)); ++n) {
      name = std::string(gate.name) + "_" + std::to_string(n);
    }
    taken.insert(name);
    extra_names[gate.name] = name;
  }
  // A name that already carries a suffix and is the only one of its key stays.
  std::unordered_map<std::string, int32_t> written_per_key;
  for (int32_t index : order) {
    if (index >= 0) ++written_per_key[definitions[static_cast<size_t>(index)].key];
  }
  for (int32_t index : order) {
    if (index < 0) continue;
    Definition& definition = definitions[static_cast<size_t>(index)];
    if (written_per_key[definition.key] == 1 && EndsInNumberSuffix(definition.key) &&
        free(definition.key)) {
      definition.name = definition.key;
      taken.insert(definition.name);
    }
  }
  int32_t next_suffix = 1;
  for (int32_t index : order) {
    if (index < 0) {
      ++next_suffix;
      continue;
    }
    Definition& definition = definitions[static_cast<size_t>(index)];
    if (!definition.name.empty()) continue;
    std::string name;
    do {
      name = definition.key + "_" + std::to_string(next_suffix++);
    } while (!free(name));
    definition.name = name;
    taken.insert(name);
  }
}

std::string QasmWriter::WriteDefinitions() {
  std::string text;
  for (const ExtraGate& gate : kExtraGates) {
    if (used_extras.count(gate.name) == 0) continue;
    text += "gate " + extra_names.at(gate.name) + " " + gate.operands + " {\n" + gate.body + "}\n";
  }
  // Each definition after the ones its body calls, in the order met.
  std::vector<bool> written(definitions.size(), false);
  for (int32_t root : order) {
    if (root < 0 || written[static_cast<size_t>(root)]) continue;
    std::vector<std::pair<int32_t, size_t>> stack{{root, 0}};
    while (!stack.empty()) {
      auto& [index, next] = stack.back();
      const Definition& definition = definitions[static_cast<size_t>(index)];
      if (next < definition.uses.size()) {
        const int32_t use = definition.uses[next++];
        if (!written[static_cast<size_t>(use)]) stack.emplace_back(use, 0);
        continue;
      }
      if (!written[static_cast<size_t>(index)]) {
        written[static_cast<size_t>(index)] = true;
        const Instruction& first = *definition.first;
        text += "gate " + definition.name + " ";
        if (!definition.params.empty()) {
          text += "(";
          for (size_t i = 0; i < definition.params.size(); ++i) {
            if (i > 0) text += ", ";
            text += "p" + std::to_string(i);
          }
          text += ") ";
        }
        if (first.kind == kind::kComposite) {
          for (size_t i = 0; i < first.qubits.size(); ++i) {
            if (i > 0) text += ", ";
            text += LetterCode("q_", first.qubits[i]);
          }
          text += " {\n";
          for (const InstructionPtr& sub : first.sub_instructions) {
            if (!sub || sub->qubits.empty()) continue;
            text += RecordLine(*sub, Operands::kLetter, false, &first, nullptr);
          }
        } else {
          // An rv rotation: its canonical body with the qubit's letter code.
          const std::string operand = LetterCode("q_", first.qubits.at(0));
          text += operand + " {\n";
          for (char c : definition.canonical) {
            if (c == '#') {
              text += operand;
            } else {
              text.push_back(c);
            }
          }
        }
        text += "}\n";
      }
      stack.pop_back();
    }
  }
  return text;
}

std::string QasmWriter::WriteProgram(const QuantumCircuit& circuit) {
  std::string text;
  std::vector<ConditionScope> scopes;
  struct Frame {
    const InstructionList* list;
    size_t next;
    int32_t scope;
  };
  std::vector<Frame> stack{{&circuit.instructions, 0, -1}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next >= frame.list->size()) {
      stack.pop_back();
      continue;
    }
    const Instruction* record = (*frame.list)[frame.next++].get();
    if (record == nullptr) continue;
    const int32_t scope = frame.scope;
    const bool inline_composite =
        record->kind == kind::kComposite && composites.at(record).written_inline;
    if (!inline_composite && record->qubits.empty()) continue;
    if (scope >= 0) {
      const ConditionScope& outer = scopes[static_cast<size_t>(scope)];
      // OpenQASM has one condition per statement, tested on every line.
      if (record->has_condition) {
        throw RunTimeError("Gate " + Describe(*record) + " has a condition inside the conditioned " +
                           "composite " + outer.holder->name + ", which OpenQASM cannot express");
      }
      if (outer.disturbed) {
        throw RunTimeError("The condition of composite " + outer.holder->name +
                           " would be tested again after a measure inside it changed its bits, "
                           "which OpenQASM cannot express");
      }
    }
    if (inline_composite) {
      int32_t inner = scope;
      if (record->has_condition) {
        ConditionText(*record, circuit);  // refused here if it cannot be written
        inner = static_cast<int32_t>(scopes.size());
        scopes.push_back({record, false});
      }
      stack.push_back({&record->sub_instructions, 0, inner});
      continue;
    }
    const Instruction* holder =
        record->has_condition ? record : scope >= 0 ? scopes[static_cast<size_t>(scope)].holder : nullptr;
    if (holder != nullptr) text += ConditionText(*holder, circuit);
    text += RecordLine(*record, Operands::kRegister, false, nullptr, &circuit);
    if (scope >= 0 && (record->kind == kind::kMeasure || record->kind == kind::kReset)) {
      ConditionScope& outer = scopes[static_cast<size_t>(scope)];
      for (uint64_t q : record->qubits) {
        if (ReadsMeasuredBit(*outer.holder, q)) outer.disturbed = true;
      }
    }
  }
  return text;
}

std::string QasmWriter::Write(const QuantumCircuit& circuit) {
  Clear();
  const size_t registers = circuit.quantum_registers.size() + circuit.ancilla_registers.size() +
                           circuit.classical_registers.size();
  if (registers > kMaxQasmRegisters) {
    throw RunTimeError("Circuit has " + std::to_string(registers) + " registers, more than the " +
                       std::to_string(kMaxQasmRegisters) + " an OpenQASM program may declare");
  }
  std::string text = "OPENQASM 2.0;\ninclude \"qelib1.inc\";\n";
  text += "\n// Register definitions\n";
  for (const auto& reg : circuit.quantum_registers) {
    text += "qreg " + reg->name() + "[" + std::to_string(reg->size()) + "];\n";
  }
  for (const auto& reg : circuit.ancilla_registers) {
    text += "qreg " + reg->name() + "[" + std::to_string(reg->size()) + "];\n";
  }
  for (const auto& reg : circuit.classical_registers) {
    text += "creg " + reg->name() + "[" + std::to_string(reg->size()) + "];\n";
  }
  Analyse(circuit.instructions);
  Number(circuit);
  Name(circuit);
  const std::string definitions_text = WriteDefinitions();
  if (!definitions_text.empty()) text += "\n// Custom gate definitions\n" + definitions_text;
  text += "\n// Instructions\n";
  text += WriteProgram(circuit);
  return text;
}

std::string QuantumCircuit::qasm(bool formatted, const std::string& filename,
                                 const std::string& /*encoding*/) const {
  QasmWriter writer;
  const std::string text = writer.Write(*this);
  if (formatted) platform::Print(text);
  if (!filename.empty()) {
    std::ofstream file(filename, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) throw RunTimeError("Unable to open file for writing QASM");
    file << text;
    file.close();
    if (file.fail()) throw RunTimeError("Unable to open file for writing QASM");
  }
  return formatted ? std::string() : text;
}

}  // namespace velorin
