#include "qasm/qasm_writer.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "circuit/errors.h"
#include "circuit/text_helpers.h"
#include "platform/host.h"
#include "platform/text.h"

namespace velorin {

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;

bool SameParameter(double a, double b) {
  const double diff = std::fabs(a - b);
  return diff <= 1e-50 || diff <= std::fmax(std::fabs(a), std::fabs(b)) * kEpsilon;
}

// Inside a definition an index is written with letters: 0 is "a", 12 is "bc".
std::string LetterCode(const char* prefix, uint64_t index) {
  std::string text = prefix;
  for (char digit : std::to_string(index)) text.push_back(static_cast<char>('a' + (digit - '0')));
  return text;
}

std::string JoinAngles(const std::vector<double>& params) {
  std::string text;
  for (size_t i = 0; i < params.size(); ++i) {
    if (i > 0) text += ", ";
    text += FormatAngle(params[i]);
  }
  return text;
}

}  // namespace

QasmWriter::QasmWriter()
    : library_gates{"ccx", "cswap", "crx",  "cry",  "crz", "cu1", "cp",      "cu3", "csx",
                    "cu",  "rxx",   "rzz",  "rccx", "rc3x", "c3x", "c3sqrtx", "c4x"} {}

QasmWriter::~QasmWriter() = default;

void QasmWriter::Clear() {
  definitions.clear();
  bodies.clear();
  library_gates.clear();
}

int32_t QasmWriter::FindDefinition(const std::string& name, const std::vector<double>& params,
                                   const std::string& body) const {
  for (const DefinitionEntry& entry : definitions) {
    if (entry.name != name || entry.params.size() != params.size() || entry.body != body) {
      continue;
    }
    bool same = true;
    for (size_t i = 0; i < params.size() && same; ++i) {
      same = SameParameter(entry.params[i], params[i]);
    }
    if (same) return entry.suffix;
  }
  return 0;
}

void QasmWriter::AddDefinition(const std::string& name, const std::vector<double>& params,
                               const std::string& body, int32_t suffix) {
  definitions.push_back({name, params, body, suffix});
}

std::string QasmWriter::RelativeBody(const Instruction& composite, const QuantumCircuit& circuit) {
  const auto known = bodies.find(&composite);
  if (known != bodies.end()) return known->second;
  std::string body = WriteInstructions(composite.sub_instructions, circuit, true, &composite);
  bodies.emplace(&composite, body);
  return body;
}

int32_t QasmWriter::SuffixOf(const Instruction& composite, const QuantumCircuit& circuit) {
  return FindDefinition(composite.GateLabel(), composite.params, RelativeBody(composite, circuit));
}

bool QasmWriter::IsLibraryGate(const std::string& name) const {
  const std::string lower = platform::AsciiLower(name);
  return std::find(library_gates.begin(), library_gates.end(), lower) != library_gates.end();
}

std::string QasmWriter::CallName(const Instruction& record, const QuantumCircuit& circuit) {
  if (record.kind == kind::kI) return "id";
  const std::string name = record.GateName();
  if (record.kind != kind::kComposite) return name;
  // Library names are keywords, which are lower case ("Rccx" reads as nothing).
  if (IsLibraryGate(name)) return platform::AsciiLower(name);
  const int32_t suffix = SuffixOf(record, circuit);
  return suffix == 0 ? name : name + "_" + std::to_string(suffix);
}

std::string QasmWriter::Write(const QuantumCircuit& circuit) {
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
  std::vector<std::string> emitted;
  for (const InstructionPtr& record : circuit.instructions) {
    if (record->kind == kind::kComposite) text += WriteGateDefinition(*record, emitted, circuit);
  }
  text += "\n// Instructions\n";
  text += WriteInstructions(circuit.instructions, circuit, false);
  return text;
}

std::string QasmWriter::WriteGateDefinition(const Instruction& composite,
                                            std::vector<std::string>& emitted,
                                            const QuantumCircuit& circuit) {
  // Nested definitions come first, and get their entries first, so that the
  // body of this one can name them.
  std::string text;
  for (const InstructionPtr& sub : composite.sub_instructions) {
    if (sub->kind == kind::kComposite) text += WriteGateDefinition(*sub, emitted, circuit);
  }
  // Names are matched exactly, so that "Bell" and "bell" never share a
  // definition; nor do two composites whose bodies differ.
  const std::string key = composite.GateLabel();
  if (IsLibraryGate(key)) return text;
  const std::string body = RelativeBody(composite, circuit);
  if (FindDefinition(key, composite.params, body) == 0) {
    AddDefinition(key, composite.params, body, next_suffix);
    ++next_suffix;
  }
  const std::string full_name =
      key + "_" + std::to_string(FindDefinition(key, composite.params, body));
  if (std::find(emitted.begin(), emitted.end(), full_name) != emitted.end()) return text;
  emitted.push_back(full_name);

  if (definitions_header_written == 0) {
    text += "\n// Custom gate definitions\n";
    definitions_header_written = 1;
  }
  // The body holds this instance's values, so the header only names the
  // parameters, which keeps the definition readable OpenQASM.
  text += "gate " + full_name + " ";
  if (!composite.params.empty()) {
    text += "(";
    for (size_t i = 0; i < composite.params.size(); ++i) {
      if (i > 0) text += ", ";
      text += "p" + std::to_string(i);
    }
    text += ") ";
  }
  std::vector<std::string> operands;
  for (uint64_t q : composite.qubits) operands.push_back(LetterCode("q_", q));
  for (uint64_t c : composite.clbits) operands.push_back(LetterCode("c_", c));
  for (size_t i = 0; i < operands.size(); ++i) {
    if (i > 0) text += ", ";
    text += operands[i];
  }
  text += " {\n";
  text += WriteInstructions(composite.sub_instructions, circuit, true);
  text += "}\n";
  return text;
}

std::string QasmWriter::WriteInstructions(const InstructionList& instructions,
                                          const QuantumCircuit& circuit, bool in_definition,
                                          const Instruction* operands_of) {
  auto relative = [](const char* prefix, const std::vector<uint64_t>& own, uint64_t index) {
    const auto at = std::find(own.begin(), own.end(), index);
    if (at == own.end()) return std::string(prefix) + "#" + std::to_string(index);
    return LetterCode(prefix, static_cast<uint64_t>(at - own.begin()));
  };
  std::string text;
  for (const InstructionPtr& pointer : instructions) {
    const Instruction& record = *pointer;
    if (record.has_condition) {
      text += "if (";
      if (record.condition_on_bit) {
        const auto [offset, name] = circuit.LocateClbit(record.condition_bit);
        text += name + "[" + std::to_string(offset) + "] ";
      } else {
        text += record.condition_register.name;
      }
      text += " == " + std::to_string(static_cast<uint64_t>(record.condition_value)) + ") ";
    }
    text += CallName(record, circuit);
    if (!record.params.empty()) text += "(" + JoinAngles(record.params) + ")";
    text += " ";
    for (size_t i = 0; i < record.qubits.size(); ++i) {
      if (i > 0) text += ", ";
      if (operands_of != nullptr) {
        text += relative("q_", operands_of->qubits, record.qubits[i]);
      } else if (in_definition) {
        text += LetterCode("q_", record.qubits[i]);
      } else {
        const auto [offset, name] = circuit.LocateQubit(static_cast<int64_t>(record.qubits[i]));
        text += name + "[" + std::to_string(offset) + "]";
      }
    }
    if (record.kind == kind::kMeasure) {
      text += " -> ";
      for (size_t i = 0; i < record.clbits.size(); ++i) {
        if (i > 0) text += ", ";
        if (operands_of != nullptr) {
          text += relative("c_", operands_of->clbits, record.clbits[i]);
        } else if (in_definition) {
          text += LetterCode("c_", record.clbits[i]);
        } else {
          const auto [offset, name] = circuit.LocateClbit(static_cast<int64_t>(record.clbits[i]));
          text += name + "[" + std::to_string(offset) + "]";
        }
      }
    }
    text += ";\n";
  }
  return text;
}

std::string QuantumCircuit::qasm(bool formatted, const std::string& filename,
                                 const std::string& /*encoding*/) const {
  QasmWriter writer;
  std::string text;
  try {
    text = writer.Write(*this);
  } catch (...) {
    writer.Clear();
    throw;
  }
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
