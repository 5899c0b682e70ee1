#include "circuit/quantum_circuit.h"

#include <algorithm>
#include <stdexcept>

#include "circuit/errors.h"
#include "circuit/text_helpers.h"
#include "platform/text.h"

namespace velorin {

int32_t gCircuitInstances = 0;

namespace {

constexpr const char* kInvalidQubitCount = "Invalid number of qubits passed.";
constexpr const char* kInvalidClbitCount = "Invalid number of classical bits passed.";
constexpr uint64_t kMaxQubits = 100;

enum RegisterKind { kQuantumKind, kAncillaKind, kClassicalKind };

template <class R, class... Args>
std::shared_ptr<R> MakeDetached(Args&&... args) {
  auto reg = std::make_shared<R>(std::forward<Args>(args)...);
  reg->Detach();
  return reg;
}

template <class R>
int64_t TotalSize(const std::vector<std::shared_ptr<R>>& regs) {
  int64_t total = 0;
  for (const auto& reg : regs) total += reg->size();
  return total;
}

template <class R>
void AppendIndices(const std::vector<std::shared_ptr<R>>& regs, std::vector<int64_t>& out) {
  for (const auto& reg : regs) {
    for (int64_t i = 0; i < reg->size(); ++i) out.push_back(int64_t{reg->start()} + i);
  }
}

}  // namespace

void QuantumCircuit::TakeName(const std::string& given) {
  if (!given.empty()) {
    name = given;
  } else {
    name = "circuit_" + std::to_string(gCircuitInstances);
    gCircuitInstances = WrappingAdd(gCircuitInstances, 1);
  }
}

void QuantumCircuit::SizeBits(uint64_t qubits, uint64_t clbit_slots) {
  total_qubits = qubits;
  classical_bits.assign(clbit_slots, -1);
  touched_qubits.assign(qubits, 0);
}

QuantumCircuit::QuantumCircuit() { TakeName(""); }

QuantumCircuit::QuantumCircuit(uint64_t num_qubits_arg, uint64_t num_cbits,
                               const std::string& name_arg, double phase) {
  const uint64_t n = (num_qubits_arg == 0 || num_qubits_arg > kMaxQubits) ? kMaxQubits
                                                                          : num_qubits_arg;
  if (num_cbits > n) throw std::range_error(kInvalidClbitCount);
  SizeBits(n, num_cbits);
  quantum_registers.push_back(MakeDetached<QuantumRegister>(static_cast<int32_t>(n), ""));
  classical_registers.push_back(MakeDetached<ClassicalRegister>(static_cast<int32_t>(n), ""));
  global_phase = phase;
  TakeName(name_arg);
  RebuildRegisters();
}

QuantumCircuit::QuantumCircuit(uint64_t num_qubits_arg, const std::string& name_arg,
                               double phase)
    : QuantumCircuit(
          (num_qubits_arg == 0 || num_qubits_arg > kMaxQubits) ? kMaxQubits : num_qubits_arg,
          (num_qubits_arg == 0 || num_qubits_arg > kMaxQubits) ? kMaxQubits : num_qubits_arg,
          name_arg, phase) {}

QuantumCircuit::QuantumCircuit(const std::vector<RegisterArg>& registers,
                               const std::string& name_arg, double phase) {
  // The circuit works on its own copies; the caller's objects are updated last.
  std::vector<std::shared_ptr<void>> copies;
  for (const RegisterArg& arg : registers) {
    if (auto q = std::get_if<QuantumRegister*>(&arg)) {
      if ((*q)->size() < 0) throw std::range_error(kInvalidQubitCount);
      quantum_registers.push_back(std::make_shared<QuantumRegister>(**q));
      copies.push_back(quantum_registers.back());
    } else if (auto a = std::get_if<AncillaRegister*>(&arg)) {
      if ((*a)->size() < 0) throw std::range_error(kInvalidQubitCount);
      ancilla_registers.push_back(std::make_shared<AncillaRegister>(**a));
      copies.push_back(ancilla_registers.back());
    } else {
      ClassicalRegister* c = std::get<ClassicalRegister*>(arg);
      if (c->size() < 0) throw std::range_error(kInvalidClbitCount);
      classical_registers.push_back(std::make_shared<ClassicalRegister>(*c));
      copies.push_back(classical_registers.back());
    }
  }
  const int64_t q = TotalSize(quantum_registers) + TotalSize(ancilla_registers);
  if (q < 1 || q > static_cast<int64_t>(kMaxQubits)) throw std::range_error(kInvalidQubitCount);
  const int64_t c = TotalSize(classical_registers);
  const ClassicalRegister* made_up = nullptr;
  if (c < q) {
    classical_registers.push_back(MakeDetached<ClassicalRegister>(static_cast<int32_t>(q - c), ""));
    made_up = classical_registers.back().get();
  }
  SizeBits(static_cast<uint64_t>(q), static_cast<uint64_t>(q));
  global_phase = phase;
  TakeName(name_arg);
  RebuildRegisters(made_up);
  for (size_t i = 0; i < registers.size(); ++i) {
    std::visit(
        [&](auto* target) {
          using R = std::remove_pointer_t<decltype(target)>;
          *target = *std::static_pointer_cast<R>(copies[i]);
        },
        registers[i]);
  }
}

QuantumCircuit::QuantumCircuit(QuantumRegister& reg, const std::string& name_arg) {
  if (reg.size() < 1 || reg.size() > static_cast<int32_t>(kMaxQubits)) {
    throw std::range_error(kInvalidQubitCount);
  }
  const auto size = static_cast<uint64_t>(reg.size());
  SizeBits(size, size);
  auto creg = MakeDetached<ClassicalRegister>(reg.size(), "");
  quantum_registers.push_back(std::make_shared<QuantumRegister>(reg));
  classical_registers.push_back(std::move(creg));
  TakeName(name_arg);
  RebuildRegisters();
  reg = *quantum_registers.front();
}

QuantumCircuit::QuantumCircuit(std::vector<std::shared_ptr<QuantumRegister>> quantum,
                               std::vector<std::shared_ptr<AncillaRegister>> ancilla,
                               std::vector<std::shared_ptr<ClassicalRegister>>& classical,
                               const std::string& name_arg) {
  for (const auto& r : quantum) {
    if (r->size() < 0) throw std::range_error(kInvalidQubitCount);
  }
  for (const auto& r : ancilla) {
    if (r->size() < 0) throw std::range_error(kInvalidQubitCount);
  }
  const int64_t q = TotalSize(quantum) + TotalSize(ancilla);
  if (q < 1 || q > static_cast<int64_t>(kMaxQubits)) throw std::range_error(kInvalidQubitCount);
  const int64_t c = TotalSize(classical);
  const ClassicalRegister* made_up = nullptr;
  if (c < q) {
    classical.push_back(MakeDetached<ClassicalRegister>(static_cast<int32_t>(q - c), ""));
    made_up = classical.back().get();
  }
  SizeBits(static_cast<uint64_t>(q), static_cast<uint64_t>(q));
  quantum_registers = std::move(quantum);
  ancilla_registers = std::move(ancilla);
  classical_registers = classical;
  TakeName(name_arg);
  RebuildRegisters(made_up);
}

QuantumCircuit::~QuantumCircuit() { clear(); }

bool QuantumCircuit::IsRegisterNameTaken(const std::string& reg_name, size_t position,
                                         int kind) const {
  auto taken = [&](const auto& regs, int regs_kind) {
    for (size_t i = 0; i < regs.size(); ++i) {
      if (regs_kind == kind && i + 1 == position) continue;
      if (regs[i]->name() == reg_name) return true;
    }
    return false;
  };
  return taken(quantum_registers, kQuantumKind) || taken(ancilla_registers, kAncillaKind) ||
         taken(classical_registers, kClassicalKind);
}

void QuantumCircuit::RebuildRegisters(const ClassicalRegister* made_up) {
  num_qubits = 0;
  num_ancillas = 0;
  first_measure_index = -1;

  // Each kind is numbered from zero; default names come from counters that
  // never go back, and every name must be unique within the circuit.
  auto renumber = [&](auto& regs, int kind, int32_t& next_index, int32_t base,
                      int32_t& name_counter, const char* default_prefix, uint64_t* total) {
    next_index = 0;
    for (size_t i = 0; i < regs.size(); ++i) {
      auto& reg = *regs[i];
      if (total != nullptr) *total += static_cast<uint64_t>(reg.size());
      reg.set_start(WrappingAdd(base, next_index));
      if (reg.name().empty()) {
        std::string given;
        do {
          given = default_prefix + std::to_string(name_counter);
          name_counter = WrappingAdd(name_counter, 1);
        } while (static_cast<const void*>(&reg) == made_up &&
                 IsRegisterNameTaken(given, i + 1, kind));
        reg.set_name(given);
      }
      if (IsRegisterNameTaken(reg.name(), i + 1, kind)) {
        throw RunTimeError(reg.name() + " Register name already defined.");
      }
      next_index = WrappingAdd(next_index, reg.size());
    }
  };
  renumber(quantum_registers, kQuantumKind, gNextQubitIndex, 0, gQregNameCounter, "q",
           &num_qubits);
  renumber(ancilla_registers, kAncillaKind, gNextAncillaIndex, gNextQubitIndex,
           gAncillaNameCounter, "a", &num_ancillas);
  renumber(classical_registers, kClassicalKind, gNextClbitIndex, 0, gCregNameCounter, "c",
           nullptr);

  num_clbits = classical_bits.size();
  for (int64_t& slot : classical_bits) slot = -1;
  for (const auto& record : instructions) {
    record->start_time = 0;
    record->end_time = 0;
  }
  registers_built = true;
  registers_named = true;
}

int QuantumCircuit::AppendOneQubitInstruction(GateKind kind, const Matrix& matrix,
                                              uint64_t qubit, const std::vector<double>& params,
                                              InstructionList& target, const std::string& label) {
  if (qubit >= total_qubits) throw RunTimeError(kInvalidGateParameter);
  auto record = std::make_shared<Instruction>();
  record->matrix = matrix;
  record->kind = kind;
  record->qubits = {qubit};
  record->name = label;
  record->params = params;
  touched_qubits[qubit] = 1;
  target.push_back(std::move(record));
  return 0;
}

int QuantumCircuit::AppendTwoQubitInstruction(GateKind kind, const Matrix& matrix,
                                              uint64_t first, uint64_t second,
                                              const std::vector<double>& params,
                                              InstructionList& target, const std::string& label) {
  if (first == second || first >= total_qubits || second >= total_qubits) {
    throw RunTimeError(kInvalidGateParameter);
  }
  auto record = std::make_shared<Instruction>();
  record->matrix = matrix;
  record->kind = kind;
  record->qubits = {first, second};
  record->name = label;
  record->params = params;
  touched_qubits[first] = 1;
  touched_qubits[second] = 1;
  target.push_back(std::move(record));
  return 0;
}

QuantumCircuit::GatePtr QuantumCircuit::FinishGate(GatePtr gate, int64_t count) {
  gate->name = gate->label;
  gate->num_qubits = static_cast<int32_t>(count);
  return gate;
}

// Gate families ------------------------------------------------------------------

namespace {

template <class Family>
void CheckAngleCount(const Family& family, const std::vector<double>& params) {
  if (params.size() != family.param_names.size()) {
    throw std::invalid_argument(std::string("wrong number of angles for ") + family.method);
  }
}

}  // namespace

int QuantumCircuit::AppendGate(const OneQubitFamily& family, const std::vector<double>& params,
                               uint64_t qubit, InstructionList& target,
                               const std::string& label) {
  CheckAngleCount(family, params);
  return AppendOneQubitInstruction(family.kind, family.matrix(params), qubit, params, target,
                                   label);
}

int QuantumCircuit::AppendGate(const TwoQubitFamily& family, const std::vector<double>& params,
                               uint64_t first, uint64_t second, InstructionList& target,
                               const std::string& label) {
  CheckAngleCount(family, params);
  return AppendTwoQubitInstruction(family.kind, family.matrix(params), first, second, params,
                                   target, label);
}

QuantumCircuit::GatePtr QuantumCircuit::OneQubitGate(const OneQubitFamily& family,
                                                     const std::vector<double>& params,
                                                     uint64_t qubit, const std::string& label) {
  AppendGate(family, params, qubit, instructions, label);
  GatePtr gate = MakeGate(family.cls, label);
  gate->params = params;
  gate->AddInstruction(instructions.back());
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

QuantumCircuit::GatePtr QuantumCircuit::OneQubitGate(const OneQubitFamily& family,
                                                     const std::vector<double>& params,
                                                     const std::vector<int64_t>& qubits_arg,
                                                     const std::string& label) {
  GatePtr gate = MakeGate(family.cls, label);
  gate->params = params;
  for (int64_t q : qubits_arg) {
    AppendGate(family, params, static_cast<uint64_t>(q), instructions, label);
    gate->AddInstruction(instructions.back());
    if (family.names_each_record) gate = FinishGate(std::move(gate), total_qubits);
  }
  if (!family.names_each_record) gate = FinishGate(std::move(gate), total_qubits);
  return gate;
}

QuantumCircuit::GatePtr QuantumCircuit::OneQubitGate(const OneQubitFamily& family,
                                                     const std::vector<double>& params,
                                                     QubitRange reg, const std::string& label) {
  GatePtr gate = MakeGate(family.cls, label);
  gate->params = params;
  // A bad index throws at once, so a huge register never loops for long.
  for (int64_t i = 0; i < reg.size; ++i) {
    AppendGate(family, params, static_cast<uint64_t>(reg.start + i), instructions, label);
    gate->AddInstruction(instructions.back());
    if (family.names_each_record) gate = FinishGate(std::move(gate), total_qubits);
  }
  if (!family.names_each_record) gate = FinishGate(std::move(gate), total_qubits);
  return gate;
}

QuantumCircuit::GatePtr QuantumCircuit::TwoQubitGate(const TwoQubitFamily& family,
                                                     const std::vector<double>& params,
                                                     uint64_t first, uint64_t second,
                                                     const std::string& label) {
  AppendGate(family, params, first, second, instructions, label);
  GatePtr gate = MakeGate(family.cls, label);
  gate->params = params;
  gate->AddInstruction(instructions.back());
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

// Delay ----------------------------------------------------------------------------

namespace {

struct DelayUnit {
  const char* name;  // upper case
  double factor;     // nanoseconds per unit
};

// Looked up in this order; "DT" takes the factor of "MS".
constexpr DelayUnit kDelayUnits[] = {{"S", 1000000000.0}, {"MS", 1000000.0}, {"US", 1000.0},
                                     {"NS", 1.0},          {"PS", 0.001},     {"DT", 1000000.0}};

constexpr const char* kInvalidDelayUnit =
    "Invalid input for \"unit\". Try one of - \"s\", \"ms\", \"us\", \"ns\",\"ps\", or , "
    "\"dt\".";

// Computed in double: a 32-bit count of seconds reaches 2.1e18 ns, far past 32 bits.
double DelayNanoseconds(int32_t duration, std::string unit) {
  unit = platform::AsciiUpper(std::move(unit));
  for (const DelayUnit& u : kDelayUnits) {
    if (unit == u.name) return static_cast<double>(duration) * u.factor;
  }
  throw RunTimeError(kInvalidDelayUnit);
}

}  // namespace

double QuantumCircuit::AppendDelay(int32_t duration, uint64_t qubit, std::string unit,
                                   const std::string& label) {
  // The unit is checked before the qubit.
  const double nanoseconds = DelayNanoseconds(duration, std::move(unit));
  AppendOneQubitInstruction(kind::kDelay, Matrix(), qubit, {nanoseconds}, instructions, label);
  return nanoseconds;
}

QuantumCircuit::GatePtr QuantumCircuit::delay(int32_t duration, uint64_t qubit, std::string unit,
                                              const std::string& label) {
  const double nanoseconds = AppendDelay(duration, qubit, std::move(unit), label);
  GatePtr gate = MakeGate(GateClass::DelayGate, label);
  gate->params = {nanoseconds};
  gate->AddInstruction(instructions.back());
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

// The list and register forms report the duration as given, not in nanoseconds.
QuantumCircuit::GatePtr QuantumCircuit::delay(int32_t duration,
                                              const std::vector<int64_t>& qubits_arg,
                                              const std::string& unit, const std::string& label) {
  GatePtr gate = MakeGate(GateClass::DelayGate, label);
  for (int64_t q : qubits_arg) {
    AppendDelay(duration, static_cast<uint64_t>(q), unit, label);
    gate->AddInstruction(instructions.back());
  }
  gate->params = {static_cast<double>(duration)};
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

QuantumCircuit::GatePtr QuantumCircuit::delay(int32_t duration, QubitRange reg,
                                              const std::string& unit, const std::string& label) {
  GatePtr gate = MakeGate(GateClass::DelayGate, label);
  for (int64_t i = 0; i < reg.size; ++i) {
    AppendDelay(duration, static_cast<uint64_t>(reg.start + i), unit, label);
    gate->AddInstruction(instructions.back());
  }
  gate->params = {static_cast<double>(duration)};
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

// Barrier, measure, reset ------------------------------------------------------

InstructionPtr QuantumCircuit::AppendBarrier(uint64_t qubit, const std::string& label) {
  if (qubit >= total_qubits) throw RunTimeError(kInvalidGateParameter);
  auto record = std::make_shared<Instruction>();
  record->kind = kind::kBarrier;
  record->name = label;
  record->qubits = {qubit};
  instructions.push_back(record);
  return record;
}

InstructionPtr QuantumCircuit::AppendMeasure(uint64_t qubit, uint64_t clbit,
                                             const std::string& label) {
  // The classical bit is bounded by the qubit count, not by num_clbits.
  if (qubit >= total_qubits || clbit >= total_qubits) throw RunTimeError(kInvalidGateParameter);
  auto record = std::make_shared<Instruction>();
  record->kind = kind::kMeasure;
  record->name = label;
  record->qubits = {qubit};
  record->clbits = {clbit};
  instructions.push_back(record);
  return record;
}

InstructionPtr QuantumCircuit::AppendReset(uint64_t qubit, const std::string& label) {
  if (qubit >= total_qubits) return nullptr;
  auto record = std::make_shared<Instruction>();
  record->kind = kind::kReset;
  record->name = label;
  record->qubits = {qubit};
  instructions.push_back(record);
  return record;
}

QuantumCircuit::GatePtr QuantumCircuit::barrier(const std::string& label) {
  GatePtr gate = MakeGate(GateClass::BarrierGate, label);
  for (uint64_t q = 0; q < total_qubits; ++q) gate->AddInstruction(AppendBarrier(q, label));
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

QuantumCircuit::GatePtr QuantumCircuit::barrier(const std::vector<int64_t>& qubits_arg,
                                                const std::string& label) {
  GatePtr gate = MakeGate(GateClass::BarrierGate, label);
  int64_t recorded = 0;
  for (int64_t q : qubits_arg) {
    if (q < 0 || static_cast<uint64_t>(q) >= total_qubits) break;
    gate->AddInstruction(AppendBarrier(static_cast<uint64_t>(q), label));
    ++recorded;
  }
  return FinishGate(std::move(gate), recorded);
}

QuantumCircuit::GatePtr QuantumCircuit::barrier(QubitRange reg, const std::string& label) {
  GatePtr gate = MakeGate(GateClass::BarrierGate, label);
  int64_t recorded = 0;
  for (int64_t i = 0; i < reg.size; ++i) {
    gate->AddInstruction(AppendBarrier(static_cast<uint64_t>(reg.start + i), label));
    ++recorded;
  }
  return FinishGate(std::move(gate), recorded);
}

QuantumCircuit::GatePtr QuantumCircuit::measure(uint64_t qubit, uint64_t clbit,
                                                const std::string& label) {
  auto record = AppendMeasure(qubit, clbit, label);
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  gate->AddInstruction(record);
  return FinishGate(std::move(gate), 1);
}

QuantumCircuit::GatePtr QuantumCircuit::measure(uint64_t qubit, const std::string& label) {
  return measure(qubit, qubit, label);
}

QuantumCircuit::GatePtr QuantumCircuit::measure(const std::vector<int64_t>& qubits_arg,
                                                const std::string& label) {
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  for (int64_t q : qubits_arg) {
    const auto u = static_cast<uint64_t>(q);
    gate->AddInstruction(AppendMeasure(u, u, label));
  }
  return FinishGate(std::move(gate), static_cast<int64_t>(qubits_arg.size()));
}

QuantumCircuit::GatePtr QuantumCircuit::measure(const std::vector<int64_t>& qubits_arg,
                                                const std::vector<int64_t>& clbits_arg,
                                                const std::string& label) {
  if (qubits_arg.size() != clbits_arg.size()) {
    throw RunTimeError("Invalid parameters passed. Length of vectors are not the same.");
  }
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  for (size_t i = 0; i < qubits_arg.size(); ++i) {
    gate->AddInstruction(AppendMeasure(static_cast<uint64_t>(qubits_arg[i]),
                                       static_cast<uint64_t>(clbits_arg[i]), label));
  }
  return FinishGate(std::move(gate), static_cast<int64_t>(qubits_arg.size()));
}

QuantumCircuit::GatePtr QuantumCircuit::measure(QubitRange reg, const std::string& label) {
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  for (int64_t i = 0; i < reg.size; ++i) {
    const auto u = static_cast<uint64_t>(reg.start + i);
    gate->AddInstruction(AppendMeasure(u, u, label));
  }
  return FinishGate(std::move(gate), reg.size);
}

QuantumCircuit::GatePtr QuantumCircuit::measure(QubitRange reg, const ClassicalRegister& creg,
                                                const std::string& label) {
  if (reg.size != creg.size()) throw RunTimeError(kInvalidGateParameter);
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  for (int64_t i = 0; i < reg.size; ++i) {
    gate->AddInstruction(AppendMeasure(static_cast<uint64_t>(reg.start + i),
                                       static_cast<uint64_t>(creg.start() + i), label));
  }
  return FinishGate(std::move(gate), reg.size);
}

QuantumCircuit::GatePtr QuantumCircuit::measure_all(const std::string& label) {
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  for (uint64_t q = 0; q < total_qubits; ++q) gate->AddInstruction(AppendMeasure(q, q, label));
  return FinishGate(std::move(gate), static_cast<int64_t>(total_qubits));
}

QuantumCircuit::GatePtr QuantumCircuit::measure_active(const std::string& label) {
  GatePtr gate = MakeGate(GateClass::MeasGate, label);
  int64_t measured = 0;
  for (uint64_t q = 0; q < touched_qubits.size(); ++q) {
    if (touched_qubits[q] != 1) continue;
    gate->AddInstruction(AppendMeasure(q, q, label));
    ++measured;
  }
  return FinishGate(std::move(gate), measured);
}

QuantumCircuit::GatePtr QuantumCircuit::reset(uint64_t qubit, const std::string& label) {
  auto record = AppendReset(qubit, label);
  if (!record) return nullptr;
  GatePtr gate = MakeGate(GateClass::ResetGate, label);
  gate->AddInstruction(record);
  return FinishGate(std::move(gate), 1);
}

QuantumCircuit::GatePtr QuantumCircuit::reset(const std::vector<int64_t>& qubits_arg,
                                              const std::string& label) {
  GatePtr gate = MakeGate(GateClass::ResetGate, label);
  for (int64_t q : qubits_arg) {
    if (auto record = AppendReset(static_cast<uint64_t>(q), label)) gate->AddInstruction(record);
  }
  return FinishGate(std::move(gate), static_cast<int64_t>(qubits_arg.size()));
}

QuantumCircuit::GatePtr QuantumCircuit::reset(QubitRange reg, const std::string& label) {
  GatePtr gate = MakeGate(GateClass::ResetGate, label);
  // Out-of-range qubits are skipped, so only the part inside the circuit is visited.
  const int64_t first = reg.start < 0 ? -int64_t{reg.start} : 0;
  const int64_t last = std::min<int64_t>(reg.size, static_cast<int64_t>(total_qubits) - reg.start);
  for (int64_t i = first; i < last; ++i) {
    if (auto record = AppendReset(static_cast<uint64_t>(reg.start + i), label)) {
      gate->AddInstruction(record);
    }
  }
  return FinishGate(std::move(gate), reg.size);
}

QuantumCircuit::QuantumCircuit(const QuantumCircuit& source, SnapshotTag)
    : total_qubits(source.total_qubits),
      registers_built(source.registers_built),
      registers_named(source.registers_named),
      shots(source.shots),
      classical_bits(source.classical_bits),
      touched_qubits(source.touched_qubits),
      quantum_registers(source.quantum_registers),
      ancilla_registers(source.ancilla_registers),
      classical_registers(source.classical_registers),
      num_qubits(source.num_qubits),
      num_ancillas(source.num_ancillas),
      num_clbits(source.num_clbits),
      header(source.header),
      instances(source.instances),
      global_phase(source.global_phase),
      prefix(source.prefix),
      name(source.name),
      max_bond_dimension(source.max_bond_dimension),
      first_measure_index(source.first_measure_index),
      num_ctrl_qubits(source.num_ctrl_qubits),
      quiet(source.quiet),
      qubit_map(source.qubit_map) {
  instructions.reserve(source.instructions.size());
  for (const InstructionPtr& record : source.instructions) {
    instructions.push_back(DeepCopy(*record));
  }
}

std::unique_ptr<QuantumCircuit> QuantumCircuit::Snapshot() const {
  return std::make_unique<QuantumCircuit>(*this, SnapshotTag{});
}

// Queries ------------------------------------------------------------------------

void QuantumCircuit::clear() { instructions.clear(); }

namespace {

// depth reports a failed allocation of its counters under its own text.
class DepthAllocError : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "Error allocating memory in depth"; }
};

// First register whose range ends beyond `index`: starts increase along a list.
template <class R>
const R* FirstEndingAfter(const std::vector<std::shared_ptr<R>>& regs, int64_t index) {
  for (const auto& reg : regs) {
    if (index < int64_t{reg->start()} + reg->size()) return reg.get();
  }
  return nullptr;
}

template <class R>
std::pair<int64_t, std::string> OffsetIn(const R& reg, int64_t index) {
  // Wrapping subtraction: an index far below the first register must not overflow.
  const auto offset = static_cast<uint64_t>(index) - static_cast<uint64_t>(int64_t{reg.start()});
  return {static_cast<int64_t>(offset), reg.name()};
}

template <class R>
const R* NamedRegister(const std::vector<std::shared_ptr<R>>& regs, const std::string& name) {
  for (const auto& reg : regs) {
    if (reg->name() == name) return reg.get();
  }
  return nullptr;
}

}  // namespace

int32_t QuantumCircuit::depth() const {
  try {
    std::vector<int64_t> counts(total_qubits, 0);
    auto count = [&counts](const Instruction& record) {
      for (uint64_t q : record.qubits) {
        if (q < counts.size()) ++counts[q];
      }
    };
    // Composites may nest to any depth, so they are walked with a heap stack:
    // a composite's parts first, then the composite itself on its own qubits.
    struct Frame {
      const InstructionList* list;
      size_t next;
      const Instruction* composite;
    };
    std::vector<Frame> stack{{&instructions, 0, nullptr}};
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next == top.list->size()) {
        const Instruction* finished = top.composite;
        stack.pop_back();
        if (finished != nullptr) count(*finished);
        continue;
      }
      const Instruction* record = (*top.list)[top.next++].get();
      if (record == nullptr) continue;
      if (record->kind == kind::kComposite) {
        stack.push_back({&record->sub_instructions, 0, record});
      } else if (IsBarrier(record->kind)) {
        if (counts.empty()) continue;
        const int64_t level = static_cast<int32_t>(*std::max_element(counts.begin(), counts.end()));
        std::fill(counts.begin(), counts.end(), level);
      } else {
        count(*record);
      }
    }
    if (counts.empty()) return 0;
    return static_cast<int32_t>(*std::max_element(counts.begin(), counts.end()));
  } catch (const std::bad_alloc&) {
    throw DepthAllocError();
  }
}

int32_t QuantumCircuit::width() const {
  return static_cast<int32_t>(total_qubits + classical_bits.size());
}

int32_t QuantumCircuit::size() const {
  int64_t operations = 0;
  VisitRecordTree(instructions, [&](const Instruction& record) {
    if (record.kind == kind::kComposite) return true;
    if (!IsBarrier(record.kind)) ++operations;
    return false;
  });
  return static_cast<int32_t>(operations);
}

std::pair<int64_t, std::string> QuantumCircuit::LocateQubit(int64_t qubit) const {
  if (const auto* reg = FirstEndingAfter(quantum_registers, qubit)) return OffsetIn(*reg, qubit);
  if (const auto* reg = FirstEndingAfter(ancilla_registers, qubit)) return OffsetIn(*reg, qubit);
  throw RunTimeError("Invalid Qubit Index: " + std::to_string(qubit));
}

std::pair<int64_t, std::string> QuantumCircuit::LocateClbit(int64_t clbit) const {
  if (const auto* reg = FirstEndingAfter(classical_registers, clbit)) return OffsetIn(*reg, clbit);
  throw RunTimeError("Invalid Classical Bit Index: " + std::to_string(clbit));
}

int64_t QuantumCircuit::RegisterQubitIndex(const std::string& reg_name, uint64_t offset) const {
  // The offset is not compared with the size; the sum wraps rather than overflow.
  auto index = [offset](const auto& reg) {
    return static_cast<int64_t>(static_cast<uint64_t>(int64_t{reg.start()}) + offset);
  };
  if (const auto* reg = NamedRegister(quantum_registers, reg_name)) return index(*reg);
  if (const auto* reg = NamedRegister(ancilla_registers, reg_name)) return index(*reg);
  return -1;
}

int64_t QuantumCircuit::RegisterSize(const std::string& reg_name) const {
  if (const auto* reg = NamedRegister(quantum_registers, reg_name)) return reg->size();
  if (const auto* reg = NamedRegister(ancilla_registers, reg_name)) return reg->size();
  return -1;
}

std::vector<int64_t> QuantumCircuit::qubits() const {
  std::vector<int64_t> out;
  AppendIndices(quantum_registers, out);
  return out;
}

std::vector<int64_t> QuantumCircuit::ancillas() const {
  std::vector<int64_t> out;
  AppendIndices(ancilla_registers, out);
  return out;
}

std::vector<int64_t> QuantumCircuit::clbits() const {
  std::vector<int64_t> out;
  AppendIndices(classical_registers, out);
  return out;
}

// The start of the last finished run; the present moment before any run.
std::string QuantumCircuit::op_start_times() const {
  {
    std::lock_guard<platform::ForkSafeMutex> lock(last_run->mutex);
    if (last_run->executed) return last_run->start_text;
  }
  return CurrentTimestamp();
}

}  // namespace velorin
