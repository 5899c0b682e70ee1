#include "circuit/serialize.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace velorin {

namespace {

constexpr char kCircuitMagic[5] = "VLQC";
constexpr char kQuantumRegisterMagic[5] = "VLRQ";
constexpr char kAncillaRegisterMagic[5] = "VLRA";
constexpr char kClassicalRegisterMagic[5] = "VLRC";
constexpr uint64_t kMaxCircuitQubits = 100;

bool KnownKind(GateKind k) {
  for (const GateKindEntry& row : kGateKindTable) {
    if (row.kind == k) return true;
  }
  return false;
}

// Records whose matrix the engine and the writer read as the gate's own.
bool CarriesGateMatrix(GateKind k) {
  return k != kind::kComposite && k != kind::kMeasure && k != kind::kReset &&
         k != kind::kDelay && !IsBarrier(k);
}

template <class R>
void WriteRegisters(ByteWriter& w, const std::vector<std::shared_ptr<R>>& regs) {
  w.List(regs, [](ByteWriter& out, const std::shared_ptr<R>& reg) {
    out.I32(reg->size());
    out.Str(reg->name());
    out.I32(reg->start());
  });
}

template <class R>
std::unique_ptr<R> ReadRegister(ByteReader& r) {
  const int32_t size = r.I32();
  std::string name = r.Str();
  const int32_t start = r.I32();
  return std::make_unique<R>(size, std::move(name), start, typename R::RestoreTag{});
}

template <class R>
std::vector<std::shared_ptr<R>> ReadRegisters(ByteReader& r) {
  return r.List<std::shared_ptr<R>>(16, [](ByteReader& in) {
    return std::shared_ptr<R>(ReadRegister<R>(in));
  });
}

// The summed sizes of registers, none of which may be negative.
template <class R>
uint64_t RegisterTotal(ByteReader& r, const std::vector<std::shared_ptr<R>>& regs) {
  uint64_t total = 0;
  for (const auto& reg : regs) {
    if (reg->size() < 0) r.Fail("a register has a negative size");
    total += static_cast<uint64_t>(reg->size());
  }
  return total;
}

void WriteU64s(ByteWriter& w, const std::vector<uint64_t>& v) {
  w.List(v, [](ByteWriter& out, uint64_t x) { out.U64(x); });
}
void WriteI64s(ByteWriter& w, const std::vector<int64_t>& v) {
  w.List(v, [](ByteWriter& out, int64_t x) { out.I64(x); });
}
std::vector<uint64_t> ReadU64s(ByteReader& r) {
  return r.List<uint64_t>(8, [](ByteReader& in) { return in.U64(); });
}
std::vector<int64_t> ReadI64s(ByteReader& r) {
  return r.List<int64_t>(8, [](ByteReader& in) { return in.I64(); });
}

// One record's own fields; its sub-records follow it, announced by their count.
void WriteRecordFields(ByteWriter& w, const Instruction& rec) {
  w.I32(rec.kind);
  w.Str(rec.name);
  WriteU64s(w, rec.qubits);
  WriteU64s(w, rec.clbits);
  w.I64(rec.start_time);
  w.I64(rec.end_time);
  w.List(rec.params, [](ByteWriter& out, double x) { out.F64(x); });
  w.U64(rec.num_ctrl_qubits);
  w.U64(static_cast<uint64_t>(rec.matrix.rows()));
  w.U64(static_cast<uint64_t>(rec.matrix.cols()));
  for (Eigen::Index c = 0; c < rec.matrix.cols(); ++c) {
    for (Eigen::Index row = 0; row < rec.matrix.rows(); ++row) w.C128(rec.matrix(row, c));
  }
  w.List(rec.sub_names, [](ByteWriter& out, const std::string& s) { out.Str(s); });
  w.Bool(rec.has_condition);
  w.I64(rec.condition_value);
  w.Bool(rec.condition_on_bit);
  w.I64(rec.condition_bit);
  w.Str(rec.condition_register.name);
  w.I32(rec.condition_register.start);
  w.I32(rec.condition_register.size);
  WriteI64s(w, rec.condition_register.qubits);
}

struct Limits {
  uint64_t qubits;
  uint64_t clbits;
};

InstructionPtr ReadRecordFields(ByteReader& r, const Limits& limits) {
  auto rec = std::make_shared<Instruction>();
  rec->kind = r.I32();
  if (!KnownKind(rec->kind)) r.Fail("unknown gate kind " + std::to_string(rec->kind));
  rec->name = r.Str();
  rec->qubits = ReadU64s(r);
  for (uint64_t q : rec->qubits) {
    if (q >= limits.qubits) r.Fail("a record names qubit " + std::to_string(q));
  }
  rec->clbits = ReadU64s(r);
  for (uint64_t c : rec->clbits) {
    if (c >= limits.clbits) r.Fail("a record names classical bit " + std::to_string(c));
  }
  if (rec->kind == kind::kMeasure && (rec->qubits.size() != 1 || rec->clbits.size() != 1)) {
    r.Fail("a measure record needs one qubit and one classical bit");
  }
  rec->start_time = r.I64();
  rec->end_time = r.I64();
  rec->params = r.List<double>(8, [](ByteReader& in) { return in.F64(); });
  rec->num_ctrl_qubits = r.U64();
  const uint64_t rows = r.U64();
  const uint64_t cols = r.U64();
  if (rows > 64 || cols > 64 || rows * cols > r.left() / 16) r.Fail("a matrix is too large");
  if (rows * cols == 0 && rows + cols != 0) r.Fail("a matrix has an empty side");
  rec->matrix.resize(static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(cols));
  for (uint64_t c = 0; c < cols; ++c) {
    for (uint64_t row = 0; row < rows; ++row) {
      rec->matrix(static_cast<Eigen::Index>(row), static_cast<Eigen::Index>(c)) = r.C128();
    }
  }
  const size_t arity = rec->qubits.size();
  if (CarriesGateMatrix(rec->kind) && (arity == 1 || arity == 2)) {
    const uint64_t dim = uint64_t{1} << arity;
    if (rows != dim || cols != dim) r.Fail("a gate's matrix does not fit its qubits");
    if (arity == 2 && rec->qubits[0] == rec->qubits[1]) r.Fail("a gate names one qubit twice");
  }
  rec->sub_names = r.List<std::string>(8, [](ByteReader& in) { return in.Str(); });
  rec->has_condition = r.Bool();
  rec->condition_value = r.I64();
  rec->condition_on_bit = r.Bool();
  rec->condition_bit = r.I64();
  rec->condition_register.name = r.Str();
  rec->condition_register.start = r.I32();
  rec->condition_register.size = r.I32();
  rec->condition_register.qubits = ReadI64s(r);
  if (!rec->condition_register.qubits.empty() &&
      rec->condition_register.qubits.size() !=
          static_cast<uint64_t>(std::max<int32_t>(rec->condition_register.size, 0))) {
    r.Fail("a condition's register and its qubits differ in size");
  }
  return rec;
}

// Pre-order, each record followed by its sub-records; a stack of our own
// walks nests of any depth.
void WriteRecords(ByteWriter& w, const InstructionList& top) {
  w.U64(top.size());
  std::vector<std::pair<const InstructionList*, size_t>> stack{{&top, 0}};
  while (!stack.empty()) {
    auto& [list, next] = stack.back();
    if (next == list->size()) {
      stack.pop_back();
      continue;
    }
    const InstructionPtr& rec = (*list)[next++];
    w.Bool(rec != nullptr);
    if (!rec) continue;
    WriteRecordFields(w, *rec);
    w.U64(rec->sub_instructions.size());
    if (!rec->sub_instructions.empty()) stack.emplace_back(&rec->sub_instructions, 0);
  }
}

void ReadRecords(ByteReader& r, InstructionList& top, const Limits& limits) {
  struct Frame {
    InstructionList* list;
    uint64_t remaining;
  };
  std::vector<Frame> stack;
  const uint64_t count = r.Count(1);
  top.reserve(static_cast<size_t>(count));
  stack.push_back({&top, count});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.remaining == 0) {
      stack.pop_back();
      continue;
    }
    --frame.remaining;
    InstructionList* list = frame.list;
    // Circuits never hold empty record slots, and nothing that reads them expects one.
    if (!r.Bool()) r.Fail("a record is missing");
    InstructionPtr rec = ReadRecordFields(r, limits);
    const uint64_t subs = r.Count(1);
    if (subs != 0 && rec->kind != kind::kComposite) r.Fail("only a composite holds records");
    rec->sub_instructions.reserve(static_cast<size_t>(subs));
    list->push_back(rec);
    if (subs != 0) stack.push_back({&rec->sub_instructions, subs});
  }
}

void WriteBody(ByteWriter& w, const QuantumCircuit& qc) {
  w.U64(qc.total_qubits);
  w.Bool(qc.registers_built);
  w.Bool(qc.registers_named);
  w.I32(qc.shots);
  WriteI64s(w, qc.classical_bits);
  WriteU64s(w, qc.touched_qubits);
  WriteRegisters(w, qc.quantum_registers);
  WriteRegisters(w, qc.ancilla_registers);
  WriteRegisters(w, qc.classical_registers);
  w.U64(qc.num_qubits);
  w.U64(qc.num_ancillas);
  w.U64(qc.num_clbits);
  w.Str(qc.header);
  w.I32(qc.instances);
  w.F64(qc.global_phase);
  w.Str(qc.prefix);
  w.Str(qc.name);
  w.U64(qc.max_bond_dimension);
  w.I64(qc.first_measure_index);
  w.U64(qc.num_ctrl_qubits);
  w.Bool(qc.quiet);
  WriteI64s(w, qc.qubit_map);
  WriteRecords(w, qc.instructions);
}

std::unique_ptr<QuantumCircuit> ReadBody(ByteReader& r) {
  auto qc = std::make_unique<QuantumCircuit>(QuantumCircuit::RestoreTag{});
  qc->total_qubits = r.U64();
  if (qc->total_qubits > kMaxCircuitQubits) r.Fail("too many qubits");
  qc->registers_built = r.Bool();
  qc->registers_named = r.Bool();
  qc->shots = r.I32();
  qc->classical_bits = ReadI64s(r);
  if (qc->classical_bits.size() > kMaxCircuitQubits) r.Fail("too many classical bits");
  qc->touched_qubits = ReadU64s(r);
  if (qc->touched_qubits.size() != qc->total_qubits) r.Fail("the qubit marks do not fit");
  qc->quantum_registers = ReadRegisters<QuantumRegister>(r);
  qc->ancilla_registers = ReadRegisters<AncillaRegister>(r);
  qc->classical_registers = ReadRegisters<ClassicalRegister>(r);
  qc->num_qubits = r.U64();
  qc->num_ancillas = r.U64();
  qc->num_clbits = r.U64();
  if (qc->num_qubits > kMaxCircuitQubits || qc->num_ancillas > kMaxCircuitQubits ||
      qc->num_clbits > kMaxCircuitQubits) {
    r.Fail("a count is out of range");
  }
  // The qubit registers tile the circuit's qubits exactly, as every constructor
  // leaves them; a register that claims more would make its readers allocate
  // for qubits that are not there.
  if (RegisterTotal(r, qc->quantum_registers) != qc->num_qubits ||
      RegisterTotal(r, qc->ancilla_registers) != qc->num_ancillas ||
      qc->num_qubits + qc->num_ancillas != qc->total_qubits) {
    r.Fail("the registers do not fit the qubits");
  }
  RegisterTotal(r, qc->classical_registers);
  qc->header = r.Str();
  qc->instances = r.I32();
  qc->global_phase = r.F64();
  qc->prefix = r.Str();
  qc->name = r.Str();
  qc->max_bond_dimension = r.U64();
  if (qc->max_bond_dimension == 0) r.Fail("the bond cap is 0");
  qc->first_measure_index = r.I64();
  qc->num_ctrl_qubits = r.U64();
  qc->quiet = r.Bool();
  qc->qubit_map = ReadI64s(r);
  if (!qc->qubit_map.empty()) {
    if (qc->qubit_map.size() != qc->total_qubits) r.Fail("the qubit placement does not fit");
    std::vector<char> seen(qc->qubit_map.size(), 0);
    for (int64_t p : qc->qubit_map) {
      if (p < 0 || static_cast<uint64_t>(p) >= seen.size() || seen[static_cast<size_t>(p)]) {
        r.Fail("the qubit placement is not a permutation");
      }
      seen[static_cast<size_t>(p)] = 1;
    }
  }
  const Limits limits{qc->total_qubits, std::max<uint64_t>(qc->total_qubits,
                                                           qc->classical_bits.size())};
  ReadRecords(r, qc->instructions, limits);
  if (qc->first_measure_index < -1 ||
      qc->first_measure_index > static_cast<int64_t>(qc->instructions.size())) {
    r.Fail("the first measure lies outside the records");
  }
  return qc;
}

template <class R>
const char* RegisterMagic();
template <>
const char* RegisterMagic<QuantumRegister>() {
  return kQuantumRegisterMagic;
}
template <>
const char* RegisterMagic<AncillaRegister>() {
  return kAncillaRegisterMagic;
}
template <>
const char* RegisterMagic<ClassicalRegister>() {
  return kClassicalRegisterMagic;
}

template <class R>
const char* RegisterWhat();
template <>
const char* RegisterWhat<QuantumRegister>() {
  return "QuantumRegister";
}
template <>
const char* RegisterWhat<AncillaRegister>() {
  return "AncillaRegister";
}
template <>
const char* RegisterWhat<ClassicalRegister>() {
  return "ClassicalRegister";
}

}  // namespace

void WriteCircuitBody(ByteWriter& w, const QuantumCircuit& circuit) { WriteBody(w, circuit); }

std::unique_ptr<QuantumCircuit> ReadCircuitBody(ByteReader& r) { return ReadBody(r); }

std::string EncodeCircuit(const QuantumCircuit& circuit) {
  ByteWriter w;
  w.Raw(std::string(kCircuitMagic, 4));
  w.U32(kCircuitFormatVersion);
  WriteBody(w, circuit);
  // The last run's executed records and start text carry the circuit's timings.
  std::shared_ptr<const QuantumCircuit> executed;
  std::string start_text;
  {
    std::lock_guard lock(circuit.last_run->mutex);
    executed = circuit.last_run->executed;
    start_text = circuit.last_run->start_text;
  }
  w.Bool(executed != nullptr);
  if (executed) WriteBody(w, *executed);
  w.Str(start_text);
  return w.Take();
}

std::unique_ptr<QuantumCircuit> DecodeCircuit(const std::string& bytes) {
  ByteReader r(bytes, "QuantumCircuit");
  r.Header(kCircuitMagic, kCircuitFormatVersion);
  std::unique_ptr<QuantumCircuit> qc = ReadBody(r);
  std::shared_ptr<const QuantumCircuit> executed;
  if (r.Bool()) executed = ReadBody(r);
  std::string start_text = r.Str();
  r.End();
  qc->last_run->executed = std::move(executed);
  qc->last_run->start_text = std::move(start_text);
  return qc;
}

template <class R>
std::string EncodeRegister(const R& reg) {
  ByteWriter w;
  w.Raw(std::string(RegisterMagic<R>(), 4));
  w.U32(kRegisterFormatVersion);
  w.I32(reg.size());
  w.Str(reg.name());
  w.I32(reg.start());
  return w.Take();
}

template <class R>
std::unique_ptr<R> DecodeRegister(const std::string& bytes) {
  ByteReader r(bytes, RegisterWhat<R>());
  r.Header(RegisterMagic<R>(), kRegisterFormatVersion);
  std::unique_ptr<R> reg = ReadRegister<R>(r);
  r.End();
  return reg;
}

template std::string EncodeRegister(const QuantumRegister&);
template std::string EncodeRegister(const AncillaRegister&);
template std::string EncodeRegister(const ClassicalRegister&);
template std::unique_ptr<QuantumRegister> DecodeRegister(const std::string&);
template std::unique_ptr<AncillaRegister> DecodeRegister(const std::string&);
template std::unique_ptr<ClassicalRegister> DecodeRegister(const std::string&);

}  // namespace velorin
