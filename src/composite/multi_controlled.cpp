// Multi-controlled phase, rotations and X, built by walking the Gray code of
// the controls with one-control steps.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "circuit/errors.h"
#include "circuit/record_budget.h"
#include "composite/composite_gates.h"
#include "composite/composite_record.h"
#include "composite/steps.h"

namespace velorin {

namespace {

int HighestBit(uint64_t word) { return 63 - __builtin_clzll(word); }

// Records a walk over n controls makes: 2^n - 1 steps and 2^n - 2 cx; the
// count saturates where it no longer fits.
uint64_t WalkRecords(size_t n) {
  if (n == 0) return 0;
  if (n >= 62) return UINT64_MAX / 2;
  return (uint64_t{1} << (n + 1)) - 3;
}

// Refuses, before anything is recorded or marked, a walk that cannot be
// built: its code-word counter would overflow, or its records would not fit
// into the memory that is available.
void RequireWalkFits(size_t num_controls, uint64_t extra_records, const std::string& label) {
  if (num_controls > kMaxGrayCodeControls) throw RunTimeError(kMultiControlError);
  const uint64_t records = SaturatingAdd(WalkRecords(num_controls), extra_records);
  RequireBuildFits(SaturatingMul(records, WalkStepBytes(label)));
}

InstructionPtr MultiControlledComposite(QuantumCircuit& qc, const std::string& label,
                                        const char* default_name,
                                        const std::vector<uint64_t>& controls, uint64_t target,
                                        std::vector<double> params) {
  InstructionPtr composite =
      NewComposite(label, default_name, controls.size(), std::move(params));
  for (uint64_t c : controls) AddCompositeQubit(*composite, qc, c);
  AddCompositeQubit(*composite, qc, target);
  return composite;
}

// A recorder over a walk on the controls, plus `extra_records` of its own.
template <class Fill>
int RecordMultiControlled(QuantumCircuit& qc, const char* default_name, double lambda,
                          const std::vector<uint64_t>& controls, uint64_t target,
                          uint64_t extra_records, InstructionList& list,
                          const std::string& label, Fill fill) {
  // Without controls no walk realises the gate.
  if (controls.empty()) throw RunTimeError(kInvalidGateParameter);
  RequireWalkFits(controls.size(), extra_records, label);
  InstructionPtr composite =
      MultiControlledComposite(qc, label, default_name, controls, target, {lambda});
  // One block of the exact size: growing by doubling would hold up to three
  // times the slots at once.
  composite->sub_instructions.reserve(WalkRecords(controls.size()) + extra_records);
  if (fill(composite->sub_instructions) != 0) throw RunTimeError(kMultiControlError);
  list.push_back(std::move(composite));
  return 0;
}

// The checks every gate method makes, then the distinct controls in ascending order.
std::vector<uint64_t> CheckedControls(const QuantumCircuit& qc,
                                      const std::vector<int64_t>& control_qubits,
                                      uint64_t target) {
  if (control_qubits.empty()) throw RunTimeError(kInvalidGateParameter);
  for (int64_t c : control_qubits) {
    if (static_cast<uint64_t>(c) == target) throw RunTimeError(kInvalidGateParameter);
  }
  if (target >= qc.total_qubits) throw RunTimeError(kInvalidGateParameter);
  const auto [smallest, largest] = std::minmax_element(control_qubits.begin(), control_qubits.end());
  if (*smallest < 0 || static_cast<uint64_t>(*largest) >= qc.total_qubits) {
    throw RunTimeError(kInvalidGateParameter);
  }
  std::vector<uint64_t> controls(control_qubits.begin(), control_qubits.end());
  std::sort(controls.begin(), controls.end());
  controls.erase(std::unique(controls.begin(), controls.end()), controls.end());
  return controls;
}

using Recorder = int (*)(QuantumCircuit&, double, const std::vector<uint64_t>&, uint64_t,
                         InstructionList&, bool, const std::string&);

GatePtr MultiControlledGate(QuantumCircuit& qc, Recorder recorder, GateClass cls, double lambda,
                            const std::vector<int64_t>& control_qubits, uint64_t target,
                            bool use_basis_gates, const std::string& label) {
  const std::vector<uint64_t> controls = CheckedControls(qc, control_qubits, target);
  recorder(qc, lambda, controls, target, qc.instructions, use_basis_gates, label);
  return CompositeGate(cls, label, qc.instructions.back(),
                       static_cast<int64_t>(target + controls.size()), {lambda});
}

int AppendMCPWithFlag(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
                      uint64_t target, InstructionList& list, bool, const std::string& label) {
  return AppendMCP(qc, lambda, controls, target, list, label);
}

}  // namespace

uint64_t MultiControlledRecords(MultiControlled gate, size_t controls) {
  const uint64_t walk = WalkRecords(controls);
  switch (gate) {
    case MultiControlled::kPhase:
      return SaturatingAdd(1, walk);
    case MultiControlled::kRZ:
      return SaturatingAdd(SaturatingAdd(1, walk), controls <= 1 ? 1 : WalkRecords(controls - 1));
    case MultiControlled::kX:
      break;
  }
  switch (controls) {
    case 0: return 0;
    case 1: return 1;
    case 2: return CCXRecords();
    case 3: return C3XRecords();
    case 4: return C4XRecords();
    default: return SaturatingAdd(3, walk);  // the composite and h on either side
  }
}

// The cu steps carry four angles, the most of any step.
uint64_t WalkStepBytes(const std::string& label) { return StepRecordBytes(4, label.size()); }

int AppendGrayCodeControlled(QuantumCircuit& qc, double theta, std::vector<uint64_t> controls,
                             uint64_t target, GateKind step_kind,
                             const std::vector<double>& extras, InstructionList& list,
                             const std::string& label) {
  if (step_kind != kind::kCP && step_kind != kind::kCU && step_kind != kind::kCU1) {
    return kStatusUnknownStepKind;
  }
  if (step_kind == kind::kCU && extras.size() < 3) return kStatusUnknownStepKind;
  const size_t n = controls.size();
  RequireWalkFits(n, 0, label);
  if (n == 0) return 0;

  // Code word i is i XOR (i >> 1); its character j (0 = leftmost) is bit n-1-j.
  // Word 0 has no '1' and is skipped.
  const double base = std::ldexp(theta, -static_cast<int>(n - 1));
  const uint64_t words = uint64_t{1} << n;
  uint64_t previous = 0;
  for (uint64_t i = 1; i < words; ++i) {
    const uint64_t word = i ^ (i >> 1);
    const size_t lead = n - 1 - static_cast<size_t>(HighestBit(word));
    int status = 0;
    if (previous != 0) {
      const size_t changed = n - 1 - static_cast<size_t>(HighestBit(word ^ previous));
      if (changed != lead) {
        status = steps::AppendCX(qc, controls[changed], controls[lead], list, label);
      } else {
        for (size_t k = lead + 1; k < n && status == 0; ++k) {
          if ((word >> (n - 1 - k)) & 1) {
            status = steps::AppendCX(qc, controls[k], controls[lead], list, label);
          }
        }
      }
      if (status != 0) return status;
    }
    const bool odd = (__builtin_popcountll(word) & 1) != 0;
    const double u = odd ? base : -base;
    const uint64_t control = controls[lead];
    if (step_kind == kind::kCP) {
      status = steps::AppendCP(qc, u, control, target, list, label);
    } else if (step_kind == kind::kCU1) {
      status = steps::AppendCU1(qc, u, control, target, list, label);
    } else {
      // The even steps are the inverses of the odd ones.
      const double phi = odd ? extras[0] : -extras[1];
      const double lambda = odd ? extras[1] : -extras[0];
      status = steps::AppendCU(qc, u, phi, lambda, extras[2], control, target, list, label);
    }
    if (status != 0) return status;
    previous = word;
  }
  return 0;
}

int AppendMCP(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
              uint64_t target, InstructionList& list, const std::string& label) {
  return RecordMultiControlled(
      qc, "mcphase", lambda, controls, target, 0, list, label, [&](InstructionList& sub) {
        return AppendGrayCodeControlled(qc, lambda, controls, target, kind::kCP, {}, sub, label);
      });
}

int AppendMCRX(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
               uint64_t target, InstructionList& list, bool, const std::string& label) {
  // cu(u, -pi/2, pi/2, 0) is RX(u); one control gives the single step.
  return RecordMultiControlled(
      qc, "mcrx", lambda, controls, target, 0, list, label, [&](InstructionList& sub) {
        return AppendGrayCodeControlled(qc, lambda, controls, target, kind::kCU,
                                        {-steps::kHalfPi, steps::kHalfPi, 0.0}, sub, label);
      });
}

int AppendMCRY(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
               uint64_t target, InstructionList& list, bool, const std::string& label) {
  // cu(u, 0, 0, 0) is RY(u).
  return RecordMultiControlled(
      qc, "mcry", lambda, controls, target, 0, list, label, [&](InstructionList& sub) {
        return AppendGrayCodeControlled(qc, lambda, controls, target, kind::kCU,
                                        {0.0, 0.0, 0.0}, sub, label);
      });
}

int AppendMCRZ(QuantumCircuit& qc, double lambda, const std::vector<uint64_t>& controls,
               uint64_t target, InstructionList& list, bool, const std::string& label) {
  // RZ(lambda) is diag(1, e^{i lambda}) times the phase e^{-i lambda/2}. The
  // walk applies the first to the target; the phase belongs to the state with
  // every control 1: a phase on the lone control, or a walk of phase steps over
  // the other controls onto the last one.
  const size_t n = controls.size();
  const uint64_t correction = n <= 1 ? 1 : WalkRecords(n - 1);
  return RecordMultiControlled(
      qc, "mcrz", lambda, controls, target, correction, list, label, [&](InstructionList& sub) {
        const double step_phase = std::ldexp(lambda, -static_cast<int>(n - 1));
        int status = AppendGrayCodeControlled(qc, 0.0, controls, target, kind::kCU,
                                              {0.0, step_phase, 0.0}, sub, label);
        if (status != 0) return status;
        const double phase = -lambda * 0.5;
        if (n == 1) return steps::AppendP(qc, phase, controls[0], sub, label);
        const std::vector<uint64_t> others(controls.begin(), controls.end() - 1);
        return AppendGrayCodeControlled(qc, phase, others, controls.back(), kind::kCP, {}, sub,
                                        label);
      });
}

GatePtr mcp(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
            uint64_t target_qubit, const std::string& label) {
  return MultiControlledGate(qc, AppendMCPWithFlag, GateClass::MCPGate, lambda, control_qubits,
                             target_qubit, false, label);
}

GatePtr mcrx(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
             uint64_t target_qubit, bool use_basis_gates, const std::string& label) {
  return MultiControlledGate(qc, AppendMCRX, GateClass::MCRXGate, lambda, control_qubits,
                             target_qubit, use_basis_gates, label);
}

GatePtr mcry(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
             uint64_t target_qubit, bool use_basis_gates, const std::string& label) {
  return MultiControlledGate(qc, AppendMCRY, GateClass::MCRYGate, lambda, control_qubits,
                             target_qubit, use_basis_gates, label);
}

GatePtr mcrz(QuantumCircuit& qc, double lambda, const std::vector<int64_t>& control_qubits,
             uint64_t target_qubit, bool use_basis_gates, const std::string& label) {
  return MultiControlledGate(qc, AppendMCRZ, GateClass::MCRZGate, lambda, control_qubits,
                             target_qubit, use_basis_gates, label);
}

GatePtr mcx(QuantumCircuit& qc, const std::vector<int64_t>& control_qubits,
            uint64_t target_qubit, const std::vector<int64_t>&, const std::string&,
            const std::string& label) {
  const std::vector<uint64_t> c = CheckedControls(qc, control_qubits, target_qubit);
  const uint64_t t = target_qubit;
  switch (c.size()) {
    case 1: {
      // A plain cx record; the gate keeps an empty name and no qubit count.
      steps::AppendCX(qc, c[0], t, qc.instructions, label);
      GatePtr gate = MakeGate(GateClass::MCXGate, label);
      gate->AddInstruction(qc.instructions.back());
      return gate;
    }
    case 2: {
      GatePtr toffoli_gate = ccx(qc, c[0], c[1], t, label);
      if (!toffoli_gate) return nullptr;
      GatePtr gate = MakeGate(GateClass::MCXGate, toffoli_gate->label);
      gate->instructions = toffoli_gate->instructions;
      return gate;
    }
    case 3:
      return c3x(qc, c[0], c[1], c[2], t, label);
    case 4:
      return c4x(qc, c[0], c[1], c[2], c[3], t, label);
    default:
      break;
  }
  RequireWalkFits(c.size(), 2, label);
  InstructionPtr composite = MultiControlledComposite(qc, label, "mcx", c, t, {});
  InstructionList& sub = composite->sub_instructions;
  sub.reserve(WalkRecords(c.size()) + 2);
  int status = steps::AppendOneQubitConstant(qc, kind::kH, kGateH, t, sub, label);
  if (status == 0) {
    status = AppendGrayCodeControlled(qc, steps::kPi, c, t, kind::kCU1, {}, sub, label);
  }
  if (status == 0) status = steps::AppendOneQubitConstant(qc, kind::kH, kGateH, t, sub, label);
  if (status != 0) throw RunTimeError(kMultiControlError);
  qc.instructions.push_back(composite);
  return CompositeGate(GateClass::MCXGate, label, composite, static_cast<int64_t>(t + c.size()));
}

GatePtr mct(QuantumCircuit& qc, const std::vector<int64_t>& control_qubits,
            uint64_t target_qubit, const std::vector<int64_t>& ancilla_qubits,
            const std::string& mode, const std::string& label) {
  return mcx(qc, control_qubits, target_qubit, ancilla_qubits, mode, label);
}

}  // namespace velorin
