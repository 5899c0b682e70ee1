// The circuit: its registers, its owned instruction records and the settings
// the last run left in it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "circuit/gate.h"
#include "circuit/gate_families.h"
#include "circuit/instruction.h"
#include "circuit/registers.h"
#include "platform/fork.h"

namespace velorin {

extern int32_t gCircuitInstances;

class QuantumCircuit;

// What the last finished run of a circuit left: the records it executed, with
// their times, and the wall-clock text of its start. A backend writes it when
// a job ends, possibly on its worker thread, hence the lock.
struct LastRun {
  platform::ForkSafeMutex mutex;
  std::shared_ptr<const QuantumCircuit> executed;  // guarded by mutex
  std::string start_text;                          // guarded by mutex
};

// Top-level composites by name, kept by append and compose (defined there).
struct CompositeNameIndex;

// One positional argument of the register constructor.
using RegisterArg = std::variant<QuantumRegister*, AncillaRegister*, ClassicalRegister*>;

// A register's qubits, start .. start + size - 1, whatever its kind.
struct QubitRange {
  int32_t start;
  int32_t size;
  template <class R>
  static QubitRange Of(const R& reg) {
    return {reg.start(), reg.size()};
  }
};

class QuantumCircuit {
 public:
  using GatePtr = std::unique_ptr<Gate>;

  QuantumCircuit();
  QuantumCircuit(uint64_t num_qubits, uint64_t num_cbits, const std::string& name,
                 double global_phase);
  QuantumCircuit(uint64_t num_qubits, const std::string& name, double global_phase);
  QuantumCircuit(const std::vector<RegisterArg>& registers, const std::string& name,
                 double global_phase);
  QuantumCircuit(QuantumRegister& reg, const std::string& name);
  QuantumCircuit(std::vector<std::shared_ptr<QuantumRegister>> quantum,
                 std::vector<std::shared_ptr<AncillaRegister>> ancilla,
                 std::vector<std::shared_ptr<ClassicalRegister>>& classical,
                 const std::string& name);
  QuantumCircuit(const QuantumCircuit&) = delete;
  // A deep copy of what a run reads (records, counts, run settings), made
  // without touching the process-wide counters; registers are shared.
  std::unique_ptr<QuantumCircuit> Snapshot() const;
  struct SnapshotTag {};
  QuantumCircuit(const QuantumCircuit& source, SnapshotTag);
  // An empty circuit for a decoder to fill; it takes no name from the counter.
  struct RestoreTag {};
  explicit QuantumCircuit(RestoreTag) {}
  QuantumCircuit& operator=(const QuantumCircuit&) = delete;
  virtual ~QuantumCircuit();

  // Recorders: validate against this circuit, append to `target`, return 0.
  int AppendOneQubitInstruction(GateKind kind, const Matrix& matrix, uint64_t qubit,
                                const std::vector<double>& params, InstructionList& target,
                                const std::string& label);
  int AppendTwoQubitInstruction(GateKind kind, const Matrix& matrix, uint64_t first,
                                uint64_t second, const std::vector<double>& params,
                                InstructionList& target, const std::string& label);

  // Recorders of one gate of a family: build its matrix from `params` (one
  // per angle name of the family), then as the recorders above.
  int AppendGate(const OneQubitFamily& family, const std::vector<double>& params, uint64_t qubit,
                 InstructionList& target, const std::string& label);
  int AppendGate(const TwoQubitFamily& family, const std::vector<double>& params, uint64_t first,
                 uint64_t second, InstructionList& target, const std::string& label);

  // One-qubit gate families: on a qubit, a list of qubits, or a register.
  GatePtr OneQubitGate(const OneQubitFamily& family, const std::vector<double>& params,
                       uint64_t qubit, const std::string& label);
  GatePtr OneQubitGate(const OneQubitFamily& family, const std::vector<double>& params,
                       const std::vector<int64_t>& qubits, const std::string& label);
  GatePtr OneQubitGate(const OneQubitFamily& family, const std::vector<double>& params,
                       QubitRange reg, const std::string& label);

  // Two-qubit gate families: one record on the two qubits, in argument order.
  GatePtr TwoQubitGate(const TwoQubitFamily& family, const std::vector<double>& params,
                       uint64_t first, uint64_t second, const std::string& label);

  // Delays: the duration in `unit` (s, ms, us, ns, ps or dt, any case) is
  // recorded in nanoseconds.
  GatePtr delay(int32_t duration, uint64_t qubit, std::string unit, const std::string& label);
  GatePtr delay(int32_t duration, const std::vector<int64_t>& qubits, const std::string& unit,
                const std::string& label);
  GatePtr delay(int32_t duration, QubitRange reg, const std::string& unit,
                const std::string& label);

  GatePtr barrier(const std::string& label);
  GatePtr barrier(const std::vector<int64_t>& qubits, const std::string& label);
  GatePtr barrier(QubitRange reg, const std::string& label);

  GatePtr measure(uint64_t qubit, uint64_t clbit, const std::string& label);
  GatePtr measure(uint64_t qubit, const std::string& label);
  GatePtr measure(const std::vector<int64_t>& qubits, const std::string& label);
  GatePtr measure(const std::vector<int64_t>& qubits, const std::vector<int64_t>& clbits,
                  const std::string& label);
  GatePtr measure(QubitRange reg, const std::string& label);
  GatePtr measure(QubitRange reg, const ClassicalRegister& creg, const std::string& label);
  GatePtr measure_all(const std::string& label);
  GatePtr measure_active(const std::string& label);

  // Null when the qubit lies outside the circuit: nothing is recorded then.
  GatePtr reset(uint64_t qubit, const std::string& label);
  GatePtr reset(const std::vector<int64_t>& qubits, const std::string& label);
  GatePtr reset(QubitRange reg, const std::string& label);

  void clear();

  // Per-qubit operation count; a barrier levels every count to the largest.
  int32_t depth() const;
  // Qubits plus classical bit slots.
  int32_t width() const;
  // Operations other than barriers, composites counted by their parts.
  int32_t size() const;

  // (offset in its register, register name) of a global qubit or classical bit.
  std::pair<int64_t, std::string> LocateQubit(int64_t qubit) const;
  std::pair<int64_t, std::string> LocateClbit(int64_t clbit) const;
  // start + offset of the quantum or ancilla register with that name; -1 if none.
  int64_t RegisterQubitIndex(const std::string& reg_name, uint64_t offset) const;
  // Size of the quantum or ancilla register with that name; -1 if none.
  int64_t RegisterSize(const std::string& reg_name) const;

  // The circuit as OpenQASM 2.0 text: printed instead of returned when
  // formatted, also written to `filename` when one is given.
  std::string qasm(bool formatted, const std::string& filename, const std::string& encoding) const;

  std::vector<int64_t> qubits() const;
  std::vector<int64_t> ancillas() const;
  std::vector<int64_t> clbits() const;
  std::string op_start_times() const;

  // Prints the text drawing and, for a non-empty file name, writes it to that
  // file (defined with the drawing).
  void draw(const std::string& filename, bool idle_wires, bool plot_barriers, int32_t fold) const;

  uint64_t total_qubits = 0;
  bool registers_built = false;
  bool registers_named = false;
  int32_t shots = 1;
  std::vector<int64_t> classical_bits;
  std::vector<uint64_t> touched_qubits;
  std::vector<std::shared_ptr<QuantumRegister>> quantum_registers;
  std::vector<std::shared_ptr<AncillaRegister>> ancilla_registers;
  std::vector<std::shared_ptr<ClassicalRegister>> classical_registers;
  uint64_t num_qubits = 0;
  uint64_t num_ancillas = 0;
  uint64_t num_clbits = 0;
  std::string header = "OPENQASM 2.0;";
  int32_t instances = 153;
  double global_phase = 0.0;
  std::string prefix = "circuit";
  InstructionList instructions;
  std::string name;
  uint64_t max_bond_dimension = 512;
  int64_t first_measure_index = -1;
  uint64_t num_ctrl_qubits = 0;
  bool quiet = true;
  // Where a qubit-order search placed each qubit on the chain (empty: in
  // order). The records never change with it.
  std::vector<int64_t> qubit_map;

  // Transformations and timings: the last run's times and the composite-name
  // index. Neither is copied into a run's snapshot.
  std::shared_ptr<LastRun> last_run = std::make_shared<LastRun>();
  std::shared_ptr<CompositeNameIndex> composite_names;

 private:
  void TakeName(const std::string& name);
  // `made_up`: the classical register the constructor added for the missing
  // bits, whose default name passes over the names the registers hold.
  void RebuildRegisters(const ClassicalRegister* made_up = nullptr);
  bool IsRegisterNameTaken(const std::string& name, size_t position, int kind) const;
  void SizeBits(uint64_t qubits, uint64_t clbit_slots);

  InstructionPtr AppendBarrier(uint64_t qubit, const std::string& label);
  InstructionPtr AppendMeasure(uint64_t qubit, uint64_t clbit, const std::string& label);
  InstructionPtr AppendReset(uint64_t qubit, const std::string& label);
  double AppendDelay(int32_t duration, uint64_t qubit, std::string unit, const std::string& label);
  GatePtr FinishGate(GatePtr gate, int64_t num_qubits);
};

}  // namespace velorin
