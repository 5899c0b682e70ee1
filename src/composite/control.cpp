// control: every record of a circuit replaced by its controlled form.
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "circuit/errors.h"
#include "circuit/gate_families.h"
#include "circuit/record_budget.h"
#include "composite/composite_gates.h"
#include "composite/composite_record.h"
#include "composite/steps.h"
#include "composite/transform.h"

namespace velorin {

namespace {

constexpr uint64_t kMaxQubits = 100;

// Composites with a controlled form of their own, known by their name; their
// qubits are the controls followed by the target.
enum class Named { kNone, kCCX, kC3X, kC4X, kMCX, kMCPhase, kMCRX, kMCRY, kMCRZ };

Named NamedComposite(const Instruction& record) {
  struct Row {
    const char* name;
    Named named;
    size_t qubits;  // exact count, or 0 for "two or more"
    bool angle;
  };
  static constexpr Row kRows[] = {
      {"ccx", Named::kCCX, 3, false},        {"c3x", Named::kC3X, 4, false},
      {"c4x", Named::kC4X, 5, false},        {"mcx", Named::kMCX, 0, false},
      {"mcphase", Named::kMCPhase, 0, true}, {"mcrx", Named::kMCRX, 0, true},
      {"mcry", Named::kMCRY, 0, true},       {"mcrz", Named::kMCRZ, 0, true},
  };
  for (const Row& row : kRows) {
    if (record.name != row.name) continue;
    // A record that only bears the name (a labelled to_gate) is a general composite.
    const size_t n = record.qubits.size();
    if (row.qubits != 0 ? n != row.qubits : n < 2) return Named::kNone;
    if (row.angle && record.params.empty()) return Named::kNone;
    return row.named;
  }
  return Named::kNone;
}

// One-control forms: the two-qubit family recorded on (control 0, target q + 1).
struct OneControlRow {
  GateKind kind;
  const char* family;
};

constexpr OneControlRow kOneControl[] = {
    {kind::kH, "ch"},     {kind::kX, "cx"},     {kind::kT, "ct"},     {kind::kS, "cs"},
    {kind::kSdg, "csdg"}, {kind::kSX, "csx"},   {kind::kP, "cp"},     {kind::kRX, "crx"},
    {kind::kRY, "cry"},   {kind::kRZ, "crz"},   {kind::kY, "cy"},     {kind::kZ, "cz"},
    {kind::kU1, "cu1"},
};

const OneControlRow* OneControlFor(GateKind k) {
  for (const OneControlRow& row : kOneControl) {
    if (row.kind == k) return &row;
  }
  return nullptr;
}

bool SupportedLeaf(GateKind k, int32_t controls) {
  if (controls == 1) {
    if (OneControlFor(k) != nullptr) return true;
    switch (k) {
      case kind::kTdg: case kind::kU: case kind::kU2: case kind::kU0: case kind::kCX:
      case kind::kCXAlt: case kind::kCZ: case kind::kCP: case kind::kCRX: case kind::kCRY:
      case kind::kCRZ: case kind::kSwap: case kind::kCCX:
        return true;
      default:
        return false;
    }
  }
  switch (k) {
    case kind::kX: case kind::kP: case kind::kRX: case kind::kRY: case kind::kRZ:
      return true;
    case kind::kZ:
      return controls == 2;
    default:
      return false;
  }
}

// Angles the controlled form reads from a record of the kind.
size_t AnglesRead(GateKind k) {
  switch (k) {
    case kind::kP: case kind::kRX: case kind::kRY: case kind::kRZ: case kind::kU1:
    case kind::kCP: case kind::kCRX: case kind::kCRY: case kind::kCRZ:
      return 1;
    case kind::kU2:
      return 2;
    case kind::kU:
      return 3;
    default:
      return 0;
  }
}

size_t QubitsRead(GateKind k) {
  switch (k) {
    case kind::kCX: case kind::kCXAlt: case kind::kCZ: case kind::kCP: case kind::kCRX:
    case kind::kCRY: case kind::kCRZ: case kind::kSwap:
      return 2;
    case kind::kCCX:
      return 3;
    default:
      return 1;
  }
}

// Refuses, before anything is built, the first record at any depth that has
// no controlled form for this number of controls.
void RequireControllable(const InstructionList& list, int32_t controls) {
  std::vector<const InstructionList*> pending{&list};
  while (!pending.empty()) {
    const InstructionList* current = pending.back();
    pending.pop_back();
    // Walked in order, so the first unsupported record of a list is reported.
    std::vector<const InstructionList*> nested;
    for (const InstructionPtr& record : *current) {
      if (!record) continue;
      // A controlled form cannot keep a condition, and must not drop it.
      if (record->has_condition) {
        throw RunTimeError("Gate " + record->GateName() +
                           " is not supported at this time for this operation");
      }
      if (record->kind == kind::kComposite) {
        if (NamedComposite(*record) == Named::kNone) nested.push_back(&record->sub_instructions);
        continue;
      }
      if (!SupportedLeaf(record->kind, controls) ||
          record->params.size() < AnglesRead(record->kind) || record->qubits.size() < QubitsRead(record->kind)) {
        throw RunTimeError("Gate " + record->GateName() +
                           " is not supported at this time for this operation");
      }
    }
    for (auto it = nested.rbegin(); it != nested.rend(); ++it) pending.push_back(*it);
  }
}

// Refuses a walk the build could not make, with the build's own error, so
// that counting first does not change what is reported.
uint64_t Walk(MultiControlled gate, uint64_t controls) {
  if (gate != MultiControlled::kX || controls > 4) {
    if (controls > kMaxGrayCodeControls) throw RunTimeError(kMultiControlError);
  }
  return MultiControlledRecords(gate, controls);
}

// Records, at every depth, that the controlled form of a record other than a
// general composite makes under k controls: Controller::One, counted.
uint64_t ControlledRecords(const Instruction& r, uint64_t k) {
  if (r.kind == kind::kComposite) {
    const uint64_t controls = k + r.qubits.size() - 1;
    switch (NamedComposite(r)) {
      case Named::kCCX:
        if (k == 1) return C3XRecords();
        break;
      case Named::kC3X:
        if (k == 1) return C4XRecords();
        break;
      case Named::kMCPhase: case Named::kMCRX: case Named::kMCRY:
        return Walk(MultiControlled::kPhase, controls);
      case Named::kMCRZ:
        return Walk(MultiControlled::kRZ, controls);
      default:
        break;
    }
    return Walk(MultiControlled::kX, controls);
  }
  if (k >= 2) {
    switch (r.kind) {
      case kind::kX:
        return Walk(MultiControlled::kX, k);
      case kind::kP: case kind::kRX: case kind::kRY:
        return Walk(MultiControlled::kPhase, k);
      case kind::kRZ:
        return Walk(MultiControlled::kRZ, k);
      default:  // z, checked for two controls
        return CCZRecords();
    }
  }
  if (OneControlFor(r.kind) != nullptr) return 1;
  switch (r.kind) {
    case kind::kTdg: case kind::kU: case kind::kU2: case kind::kU0:
      return 1;
    case kind::kCX: case kind::kCXAlt:
      return CCXRecords();
    case kind::kCZ:
      return CCZRecords();
    case kind::kSwap:
      return CSWAPRecords();
    case kind::kCCX:
      return C3XRecords();
    case kind::kCP: case kind::kCRX: case kind::kCRY:
      return MultiControlledRecords(MultiControlled::kPhase, 2);
    default:  // crz
      return MultiControlledRecords(MultiControlled::kRZ, 2);
  }
}

class Controller {
 public:
  Controller(QuantumCircuit& qc, int32_t controls) : qc_(qc), k_(static_cast<uint64_t>(controls)) {
    for (uint64_t c = 0; c < k_; ++c) controls_.push_back(static_cast<int64_t>(c));
  }

  // The controlled form of every record of `source`, in order, into `target`;
  // general composites become composites of controlled forms at their place.
  void Append(const InstructionList& source, InstructionList& target) {
    std::vector<std::pair<const InstructionList*, InstructionList*>> pending{{&source, &target}};
    // Each pair is finished before the composites it opened, which were
    // already appended to their list in place.
    while (!pending.empty()) {
      auto [from, into] = pending.back();
      pending.pop_back();
      std::vector<std::pair<const InstructionList*, InstructionList*>> nested;
      for (const InstructionPtr& record : *from) {
        if (!record) continue;
        if (record->kind == kind::kComposite && NamedComposite(*record) == Named::kNone) {
          nested.emplace_back(&record->sub_instructions, &GeneralComposite(*record, *into));
        } else {
          One(*record, *into);
        }
      }
      for (auto it = nested.rbegin(); it != nested.rend(); ++it) pending.push_back(*it);
    }
  }

 private:
  uint64_t Shift(uint64_t q) const { return q + k_; }

  // The composite that will hold the controlled parts of `record`.
  InstructionList& GeneralComposite(const Instruction& record, InstructionList& into) {
    auto composite = std::make_shared<Instruction>();
    composite->kind = kind::kComposite;
    composite->name = record.name + "_" + std::to_string(k_);
    composite->num_ctrl_qubits = record.num_ctrl_qubits + k_;
    composite->params = record.params;
    for (uint64_t c = 0; c < k_; ++c) Add(*composite, c);
    for (uint64_t q : record.qubits) Add(*composite, Shift(q));
    into.push_back(composite);
    return composite->sub_instructions;
  }

  void Add(Instruction& composite, uint64_t qubit) {
    composite.qubits.push_back(qubit);
    if (qubit < qc_.touched_qubits.size()) qc_.touched_qubits[qubit] = 1;
  }

  // A circuit gate method appends to the new circuit's own list; its record
  // is moved to where the controlled record belongs.
  template <class Record>
  void ViaCircuit(InstructionList& into, Record&& record) {
    const size_t before = qc_.instructions.size();
    record();
    if (&into == &qc_.instructions) return;
    for (size_t i = before; i < qc_.instructions.size(); ++i) into.push_back(qc_.instructions[i]);
    qc_.instructions.resize(before);
  }

  // Controls followed by the given qubits shifted, and the last as the target.
  std::pair<std::vector<int64_t>, uint64_t> Split(const std::vector<uint64_t>& qubits) const {
    std::vector<int64_t> controls = controls_;
    for (size_t i = 0; i + 1 < qubits.size(); ++i) {
      controls.push_back(static_cast<int64_t>(Shift(qubits[i])));
    }
    return {controls, Shift(qubits.back())};
  }

  void Two(const char* family, const std::vector<double>& params, uint64_t target,
           InstructionList& into) {
    qc_.AppendGate(TwoQubitFamilyNamed(family), params, 0, target, into, "");
  }

  void One(const Instruction& r, InstructionList& into) {
    const std::vector<uint64_t>& q = r.qubits;
    const std::vector<double>& p = r.params;
    if (r.kind == kind::kComposite) {
      const auto [controls, target] = Split(q);
      switch (NamedComposite(r)) {
        case Named::kCCX:
          if (k_ == 1) {
            ViaCircuit(into, [&] { c3x(qc_, 0, Shift(q[0]), Shift(q[1]), Shift(q[2]), ""); });
            return;
          }
          break;
        case Named::kC3X:
          if (k_ == 1) {
            ViaCircuit(into, [&] {
              c4x(qc_, 0, Shift(q[0]), Shift(q[1]), Shift(q[2]), Shift(q[3]), "");
            });
            return;
          }
          break;
        case Named::kMCPhase:
          ViaCircuit(into, [&, &c = controls, t = target] { mcp(qc_, p[0], c, t, ""); });
          return;
        case Named::kMCRX:
          ViaCircuit(into, [&, &c = controls, t = target] { mcrx(qc_, p[0], c, t, false, ""); });
          return;
        case Named::kMCRY:
          ViaCircuit(into, [&, &c = controls, t = target] { mcry(qc_, p[0], c, t, false, ""); });
          return;
        case Named::kMCRZ:
          ViaCircuit(into, [&, &c = controls, t = target] { mcrz(qc_, p[0], c, t, false, ""); });
          return;
        default:
          break;
      }
      // ccx and c3x under several controls, c4x and mcx: one mcx.
      ViaCircuit(into, [&, &c = controls, t = target] { mcx(qc_, c, t, {}, "noancilla", ""); });
      return;
    }
    if (k_ >= 2) {
      const std::vector<int64_t>& c = controls_;
      const uint64_t t = Shift(q[0]);
      switch (r.kind) {
        case kind::kX:
          ViaCircuit(into, [&] { mcx(qc_, c, t, {}, "noancilla", ""); });
          return;
        case kind::kP:
          ViaCircuit(into, [&] { mcp(qc_, p[0], c, t, ""); });
          return;
        case kind::kRX:
          ViaCircuit(into, [&] { mcrx(qc_, p[0], c, t, false, ""); });
          return;
        case kind::kRY:
          ViaCircuit(into, [&] { mcry(qc_, p[0], c, t, false, ""); });
          return;
        case kind::kRZ:
          ViaCircuit(into, [&] { mcrz(qc_, p[0], c, t, false, ""); });
          return;
        default:  // z, checked for two controls
          AppendCCZ(qc_, 0, 1, t, into, "");
          return;
      }
    }
    if (const OneControlRow* row = OneControlFor(r.kind)) {
      Two(row->family, p, Shift(q[0]), into);
      return;
    }
    switch (r.kind) {
      case kind::kTdg:
        Two("cp", {-steps::kQuarterPi}, Shift(q[0]), into);
        return;
      case kind::kU:
        Two("cu", {p[0], p[1], p[2], 0.0}, Shift(q[0]), into);
        return;
      case kind::kU2:
        Two("cu", {steps::kHalfPi, p[0], p[1], 0.0}, Shift(q[0]), into);
        return;
      case kind::kU0:  // the identity, controlled
        Two("cu", {0.0, 0.0, 0.0, 0.0}, Shift(q[0]), into);
        return;
      case kind::kCX:
      case kind::kCXAlt:
        AppendCCX(qc_, 0, Shift(q[0]), Shift(q[1]), into, "");
        return;
      case kind::kCZ:
        AppendCCZ(qc_, 0, Shift(q[0]), Shift(q[1]), into, "");
        return;
      case kind::kSwap:
        AppendCSWAP(qc_, 0, Shift(q[0]), Shift(q[1]), into, "");
        return;
      case kind::kCCX:
        if (AppendC3XComposite(qc_, 0, Shift(q[0]), Shift(q[1]), Shift(q[2]), into, qc_, "") != 0) {
          throw RunTimeError(kMultiControlErrorText);
        }
        return;
      default:
        break;
    }
    // cp, crx, cry, crz: the multi-controlled composite on (0, control + 1, target + 1).
    const std::vector<uint64_t> controls{0, Shift(q[0])};
    const uint64_t target = Shift(q[1]);
    switch (r.kind) {
      case kind::kCP:
        AppendMCP(qc_, p[0], controls, target, into, "");
        return;
      case kind::kCRX:
        AppendMCRX(qc_, p[0], controls, target, into, false, "");
        return;
      case kind::kCRY:
        AppendMCRY(qc_, p[0], controls, target, into, false, "");
        return;
      default:
        AppendMCRZ(qc_, p[0], controls, target, into, false, "");
        return;
    }
  }

  static constexpr const char* kMultiControlErrorText = "Error handling multi control gate.";

  QuantumCircuit& qc_;
  const uint64_t k_;
  std::vector<int64_t> controls_;
};

// Writes the control state to the process's own standard output, last
// character first, and brackets the controls whose character is '0' with X.
void ControlStatePass(QuantumCircuit& qc, const std::string& ctrl_state) {
  const OneQubitFamily& x = OneQubitFamilyNamed("x");
  uint64_t j = 0;
  for (auto it = ctrl_state.rbegin(); it != ctrl_state.rend(); ++it, ++j) {
    const char echo[2] = {*it, ' '};
    std::fwrite(echo, 1, 2, stdout);
    if (*it == '0') qc.AppendGate(x, {}, j, qc.instructions, "");
  }
  std::fflush(stdout);
}

}  // namespace

uint64_t ControlledRecordCount(const InstructionList& list, uint64_t k,
                               uint64_t* composite_bytes) {
  uint64_t records = 0;
  VisitRecordTree(list, [&](const Instruction& record) {
    if (record.kind == kind::kComposite && NamedComposite(record) == Named::kNone) {
      records = SaturatingAdd(records, 1);
      if (composite_bytes != nullptr) {
        const uint64_t suffix = 1 + std::to_string(k).size();
        *composite_bytes = SaturatingAdd(
            *composite_bytes, RecordBytes(0, k + record.qubits.size(), record.params.size(),
                                          record.name.size() + suffix));
      }
      return true;
    }
    records = SaturatingAdd(records, ControlledRecords(record, k));
    return false;
  });
  return records;
}

CircuitPtr control(const QuantumCircuit& qc, int32_t num_ctrl_qubits, const std::string& label,
                   const std::string& ctrl_state) {
  if (num_ctrl_qubits < 1) throw RunTimeError("Atleast one control qubit is expected.");
  if (!ctrl_state.empty()) {
    if (ctrl_state.size() != static_cast<size_t>(num_ctrl_qubits)) {
      throw RunTimeError("Number of control qubits should match the length of control state string");
    }
    if (ctrl_state.find_first_not_of("01") != std::string::npos) {
      throw RunTimeError("Control state string has illegal characters.");
    }
  }
  const InstructionList& records = qc.instructions;
  RequireControllable(records, num_ctrl_qubits);
  const uint64_t total = static_cast<uint64_t>(num_ctrl_qubits) + qc.total_qubits;
  if (total > kMaxQubits) throw std::range_error("Invalid number of qubits passed.");

  // What the build adds besides the controlled records: the X gates of the
  // control-state passes, and the phase of the controlled branch.
  const uint64_t k = static_cast<uint64_t>(num_ctrl_qubits);
  uint64_t extra = 2 * static_cast<uint64_t>(std::count(ctrl_state.begin(), ctrl_state.end(), '0'));
  if (qc.global_phase != 0.0) extra += k == 1 ? 1 : Walk(MultiControlled::kPhase, k - 1);
  // Every generated record is costed as the largest step record, and a
  // general composite, which may be wide or long-named, also as what it is.
  uint64_t composite_bytes = 0;
  const uint64_t generated =
      SaturatingAdd(ControlledRecordCount(records, k, &composite_bytes), extra);
  RequireBuildFits(SaturatingAdd(SaturatingMul(generated, WalkStepBytes("")), composite_bytes));

  // The register gives its range back to the running counter when it goes.
  QuantumRegister reg(static_cast<int32_t>(total), "");
  auto result = std::make_unique<QuantumCircuit>(reg, label);
  result->num_ctrl_qubits = static_cast<uint64_t>(num_ctrl_qubits);

  ControlStatePass(*result, ctrl_state);
  Controller controller(*result, num_ctrl_qubits);
  controller.Append(records, result->instructions);
  // The source's global phase is a phase of the controlled branch.
  if (qc.global_phase != 0.0) {
    const int64_t last = num_ctrl_qubits - 1;
    if (last == 0) {
      result->AppendGate(OneQubitFamilyNamed("p"), {qc.global_phase}, 0, result->instructions, "");
    } else {
      std::vector<int64_t> others;
      for (int64_t c = 0; c < last; ++c) others.push_back(c);
      mcp(*result, qc.global_phase, others, static_cast<uint64_t>(last), "");
    }
  }
  ControlStatePass(*result, ctrl_state);
  return result;
}

}  // namespace velorin
