// append, compose and to_gate: other circuits and gates as composite records.
#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>

#include "circuit/errors.h"
#include "circuit/record_budget.h"
#include "composite/transform.h"

namespace velorin {

// The first top-level composite of each name, and whether another composite
// of that name differs from it. Kept up to date by scanning only records
// appended since the last look, so many calls of one gate stay linear; any
// other change to the list shows as a moved last record and starts a rescan.
struct CompositeNameIndex {
  struct Entry {
    std::weak_ptr<Instruction> first;
    bool mixed = false;
  };
  std::unordered_map<std::string, Entry> entries;
  size_t scanned = 0;
  std::weak_ptr<Instruction> last;  // the record at scanned - 1
};

namespace {

constexpr const char* kWiderCircuit =
    "Input circuit has a wider number of qubits or classical bits and hence can't attach.";
constexpr const char* kWiderGate =
    "Input Gate has a wider number of qubits or classical bits and hence can't attach.";

bool SameRecord(const std::weak_ptr<Instruction>& weak, const InstructionPtr& strong) {
  return !weak.owner_before(strong) && !strong.owner_before(weak);
}

CompositeNameIndex& FreshNameIndex(QuantumCircuit& qc) {
  if (!qc.composite_names) qc.composite_names = std::make_shared<CompositeNameIndex>();
  CompositeNameIndex& index = *qc.composite_names;
  const InstructionList& list = qc.instructions;
  const bool unchanged = index.scanned <= list.size() &&
                         (index.scanned == 0 || SameRecord(index.last, list[index.scanned - 1]));
  if (!unchanged) {
    index.entries.clear();
    index.scanned = 0;
  }
  for (size_t i = index.scanned; i < list.size(); ++i) {
    const InstructionPtr& record = list[i];
    if (!record || record->kind != kind::kComposite) continue;
    CompositeNameIndex::Entry& entry = index.entries[record->name];
    InstructionPtr first = entry.first.lock();
    if (!first) {
      entry.first = record;
    } else if (!entry.mixed && !SameComposite(first->sub_instructions, record->sub_instructions)) {
      entry.mixed = true;
    }
  }
  index.scanned = list.size();
  index.last = list.empty() ? std::weak_ptr<Instruction>() : list.back();
  return index;
}

const CompositeNameIndex::Entry* FindName(QuantumCircuit& qc, const std::string& name) {
  CompositeNameIndex& index = FreshNameIndex(qc);
  auto it = index.entries.find(name);
  if (it == index.entries.end() || it->second.first.expired()) return nullptr;
  return &it->second;
}

std::string WithInstanceSuffix(const std::string& name) {
  std::string suffixed = name + std::to_string(gCircuitInstances);
  gCircuitInstances = WrappingAdd(gCircuitInstances, 1);
  return suffixed;
}

// Entries within 0 .. limit - 1; qubit lists also without repeats.
void RequireInRange(const std::vector<int64_t>& list, uint64_t limit, bool distinct) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] < 0 || static_cast<uint64_t>(list[i]) >= limit) {
      throw RunTimeError(kInvalidGateParameter);
    }
  }
  if (!distinct) return;
  std::vector<int64_t> sorted(list);
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    throw RunTimeError(kInvalidGateParameter);
  }
}

// Every record below `list` (composites included) through `visit`, without recursion.
template <class List, class Visit>
void ForEachRecord(List& list, Visit&& visit) {
  std::vector<List*> pending{&list};
  while (!pending.empty()) {
    List* current = pending.back();
    pending.pop_back();
    for (auto& record : *current) {
      if (!record) continue;
      visit(*record);
      if (record->kind == kind::kComposite) pending.push_back(&record->sub_instructions);
    }
  }
}

// Refuses a source whose records name a qubit or clbit that the maps lack.
void RequireMapped(const InstructionList& source, size_t qubit_entries, size_t clbit_entries) {
  ForEachRecord(source, [&](const Instruction& record) {
    for (uint64_t q : record.qubits) {
      if (q >= qubit_entries) throw RunTimeError(kInvalidGateParameter);
    }
    for (uint64_t c : record.clbits) {
      if (c >= clbit_entries) throw RunTimeError(kInvalidGateParameter);
    }
  });
}

// Once the record is in: a build that fails leaves the circuit as it was.
void MarkTouched(QuantumCircuit& qc, const std::vector<int64_t>& qubits) {
  for (int64_t q : qubits) {
    if (q >= 0 && static_cast<uint64_t>(q) < qc.touched_qubits.size()) {
      qc.touched_qubits[static_cast<uint64_t>(q)] = 1;
    }
  }
}

// The composite record itself, before its sub-records.
uint64_t CompositeBytes(uint64_t num_qubits, uint64_t num_params, const std::string& name) {
  // Room for the instance number a clashing name may get.
  return RecordBytes(0, num_qubits, num_params, name.size() + 12);
}

void Insert(QuantumCircuit& qc, InstructionPtr composite, bool front) {
  if (!front) {
    qc.instructions.push_back(std::move(composite));
    return;
  }
  // A record at the front would send the next name lookup through the whole
  // list again: the index takes it in here instead.
  CompositeNameIndex* index = qc.composite_names.get();
  InstructionList& list = qc.instructions;
  const bool fresh = index != nullptr && index->scanned == list.size() &&
                     (list.empty() || SameRecord(index->last, list.back()));
  InstructionPtr inserted = composite;
  list.insert(list.begin(), std::move(composite));
  if (!fresh) return;
  if (inserted && inserted->kind == kind::kComposite) {
    CompositeNameIndex::Entry& entry = index->entries[inserted->name];
    const InstructionPtr first = entry.first.lock();
    if (first && !entry.mixed && !SameComposite(first->sub_instructions, inserted->sub_instructions)) {
      entry.mixed = true;
    }
    entry.first = inserted;  // now the first of its name in the list
  }
  index->scanned = list.size();
  index->last = list.back();
}

void RequireFitsCircuit(const QuantumCircuit& qc, const QuantumCircuit& other) {
  if (other.total_qubits > qc.total_qubits || other.num_clbits > qc.num_clbits) {
    throw RunTimeError(kWiderCircuit);
  }
}

std::vector<int64_t> Identity(uint64_t size) {
  std::vector<int64_t> list(size);
  for (uint64_t i = 0; i < size; ++i) list[i] = static_cast<int64_t>(i);
  return list;
}

// The gate form: its first record relabelled through positions in its own
// qubit and clbit lists, so any record of any circuit can be attached.
struct GateMaps {
  InstructionPtr first;
  std::vector<int64_t> qubit_map;  // record qubit -> given qubit
  std::vector<int64_t> clbit_map;  // record clbit -> given clbit
};

GateMaps CheckedGateMaps(const QuantumCircuit& qc, const Gate& gate,
                         const std::vector<int64_t>& qubits, const std::vector<int64_t>& clbits) {
  GateMaps maps;
  if (!gate.instructions.empty()) maps.first = gate.instructions.front().lock();
  // A gate made by its class, or whose records were cleared, stands for nothing.
  if (!maps.first) throw RunTimeError(kInvalidGateParameter);
  const Instruction& s = *maps.first;
  const uint64_t k = s.qubits.size();
  if (qc.total_qubits < k || qc.num_clbits < k) throw RunTimeError(kWiderGate);
  if (qubits.size() != k) throw RunTimeError("Either the qubit list is not of the correct size");
  if (!clbits.empty() && clbits.size() != k) {
    throw RunTimeError("Either the clbit list is not of the correct size");
  }
  RequireInRange(qubits, qc.total_qubits, true);
  RequireInRange(clbits, qc.num_clbits, false);

  // Position maps, sized by the largest index the record's lists use.
  auto position_map = [](const std::vector<uint64_t>& own, const std::vector<int64_t>& given) {
    uint64_t largest = 0;
    for (uint64_t v : own) largest = std::max(largest, v);
    std::vector<int64_t> map;
    if (own.empty() || given.empty()) return map;
    // Record indices lie below a circuit's size; anything else is refused
    // rather than sized for.
    if (largest >= (uint64_t{1} << 20)) throw RunTimeError(kInvalidGateParameter);
    map.assign(largest + 1, -1);
    for (size_t i = 0; i < own.size() && i < given.size(); ++i) {
      if (map[own[i]] == -1) map[own[i]] = given[i];
    }
    return map;
  };
  maps.qubit_map = position_map(s.qubits, qubits);
  maps.clbit_map = position_map(s.clbits, clbits);
  const InstructionList only_record{maps.first};
  const InstructionList& parts = s.kind == kind::kComposite ? s.sub_instructions : only_record;
  ForEachRecord(parts, [&](const Instruction& record) {
    for (uint64_t q : record.qubits) {
      if (q >= maps.qubit_map.size() || maps.qubit_map[q] < 0) {
        throw RunTimeError(kInvalidGateParameter);
      }
    }
    for (uint64_t c : record.clbits) {
      if (c >= maps.clbit_map.size() || maps.clbit_map[c] < 0) {
        throw RunTimeError(kInvalidGateParameter);
      }
    }
  });
  return maps;
}

InstructionPtr GateComposite(const GateMaps& maps, const std::vector<int64_t>& qubits,
                             const std::vector<int64_t>& clbits) {
  const Instruction& s = *maps.first;
  RequireBuildFits(SaturatingAdd(
      CopyBytes(s), s.kind == kind::kComposite ? CopyBytes(s.sub_instructions) : CopyBytes(s)));
  auto composite = std::make_shared<Instruction>();
  composite->kind = kind::kComposite;
  composite->matrix = s.matrix;
  // A plain record keeps its gate's name when it carries no label.
  composite->name = s.kind != kind::kComposite && s.name.empty() ? s.GateName() : s.name;
  composite->params = s.params;
  composite->num_ctrl_qubits = s.num_ctrl_qubits;
  composite->sub_names = s.sub_names;
  composite->start_time = s.start_time;
  composite->end_time = s.end_time;
  composite->has_condition = s.has_condition;
  composite->condition_value = s.condition_value;
  composite->condition_on_bit = s.condition_on_bit;
  composite->condition_bit = s.condition_bit;
  composite->condition_register = s.condition_register;
  for (int64_t q : qubits) composite->qubits.push_back(static_cast<uint64_t>(q));
  for (int64_t c : clbits) composite->clbits.push_back(static_cast<uint64_t>(c));
  if (s.kind == kind::kComposite) {
    CopyInstructionsMapped(s.sub_instructions, composite->sub_instructions, maps.qubit_map,
                           maps.clbit_map);
  } else {
    CopyInstructionsMapped({maps.first}, composite->sub_instructions, maps.qubit_map,
                           maps.clbit_map);
  }
  return composite;
}

bool ParamsEqual(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool MatricesClose(const Matrix& a, const Matrix& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  if (a.size() == 0) return true;
  return a.isApprox(b, 1e-12);
}

}  // namespace

void MapCondition(Instruction& record, const std::vector<int64_t>& qubit_map) {
  if (!record.has_condition) return;
  auto mapped = [&](int64_t q) {
    return q >= 0 && static_cast<size_t>(q) < qubit_map.size() ? qubit_map[static_cast<size_t>(q)]
                                                               : q;
  };
  if (record.condition_on_bit) {
    record.condition_bit = mapped(record.condition_bit);
    return;
  }
  ConditionRegister& reg = record.condition_register;
  std::vector<int64_t> qubits = reg.qubits;
  if (qubits.empty()) {
    for (int32_t k = 0; k < reg.size; ++k) qubits.push_back(int64_t{reg.start} + k);
  }
  for (int64_t& q : qubits) q = mapped(q);
  // Still in a row from a new start: the plain form, as written before.
  bool in_row = !qubits.empty() && qubits.front() >= 0 &&
                qubits.front() <= std::numeric_limits<int32_t>::max();
  for (size_t k = 1; in_row && k < qubits.size(); ++k) in_row = qubits[k] == qubits[0] + int64_t(k);
  if (in_row) {
    reg.start = static_cast<int32_t>(qubits.front());
    reg.qubits.clear();
  } else if (!qubits.empty()) {
    reg.qubits = std::move(qubits);
  }
}

void CopyInstructionsMapped(const InstructionList& source, InstructionList& target,
                            const std::vector<int64_t>& qubit_map,
                            const std::vector<int64_t>& clbit_map) {
  const size_t start = target.size();
  CopyInstructions(source, target);
  for (size_t i = start; i < target.size(); ++i) {
    InstructionList one{target[i]};
    ForEachRecord(one, [&](Instruction& record) {
      for (uint64_t& q : record.qubits) q = static_cast<uint64_t>(qubit_map.at(q));
      for (uint64_t& c : record.clbits) c = static_cast<uint64_t>(clbit_map.at(c));
      MapCondition(record, qubit_map);
    });
  }
}

void RemapRecordQubits(InstructionList& list, const std::vector<int64_t>& permutation) {
  ForEachRecord(list, [&](Instruction& record) {
    for (uint64_t& q : record.qubits) q = static_cast<uint64_t>(permutation.at(q));
    MapCondition(record, permutation);
  });
}

bool SameComposite(const InstructionList& a, const InstructionList& b) {
  // Pairs of lists still to compare, walked without recursion.
  std::vector<std::pair<const InstructionList*, const InstructionList*>> pending{{&a, &b}};
  while (!pending.empty()) {
    auto [left, right] = pending.back();
    pending.pop_back();
    if (left->size() != right->size()) return false;
    for (size_t i = 0; i < left->size(); ++i) {
      const Instruction* x = (*left)[i].get();
      const Instruction* y = (*right)[i].get();
      if (x == nullptr || y == nullptr) {
        if (x != y) return false;
        continue;
      }
      if (x->kind == kind::kComposite && y->kind == kind::kComposite) {
        if (x->sub_names != y->sub_names || x->qubits != y->qubits || x->clbits != y->clbits) {
          return false;
        }
        pending.emplace_back(&x->sub_instructions, &y->sub_instructions);
      }
      if (x->kind != y->kind || x->name != y->name || !ParamsEqual(x->params, y->params) ||
          x->qubits.size() != y->qubits.size() || x->clbits.size() != y->clbits.size() ||
          !MatricesClose(x->matrix, y->matrix)) {
        return false;
      }
    }
  }
  return true;
}

int AppendCircuitAsComposite(QuantumCircuit& qc, const QuantumCircuit& other,
                             const std::vector<int64_t>& qubit_map,
                             const std::vector<int64_t>& clbit_map, bool front) {
  const InstructionList& records = other.instructions;
  RequireBuildFits(
      SaturatingAdd(CopyBytes(records), CompositeBytes(qubit_map.size(), 0, other.name)));
  std::string name = other.name;
  if (const CompositeNameIndex::Entry* entry = FindName(qc, name)) {
    const InstructionPtr first = entry->first.lock();
    if (entry->mixed || !SameComposite(first->sub_instructions, records)) {
      name = WithInstanceSuffix(name);
    }
  }
  auto composite = std::make_shared<Instruction>();
  composite->kind = kind::kComposite;
  composite->name = std::move(name);
  composite->num_ctrl_qubits = other.num_ctrl_qubits;
  for (int64_t q : qubit_map) composite->qubits.push_back(static_cast<uint64_t>(q));
  CopyInstructionsMapped(records, composite->sub_instructions, qubit_map, clbit_map);
  Insert(qc, std::move(composite), front);
  MarkTouched(qc, qubit_map);
  return 0;
}

int32_t append(QuantumCircuit& qc, const QuantumCircuit& other,
               const std::vector<int64_t>& qubits_vector,
               const std::vector<int64_t>& cbits_vector) {
  RequireFitsCircuit(qc, other);
  if (qubits_vector.size() != qc.total_qubits || cbits_vector.size() != qc.num_clbits) {
    throw RunTimeError("Either the qubit list or the classical bits list is not of the correct size");
  }
  RequireInRange(qubits_vector, qc.total_qubits, true);
  RequireInRange(cbits_vector, qc.num_clbits, false);
  RequireMapped(other.instructions, qubits_vector.size(), cbits_vector.size());
  return AppendCircuitAsComposite(qc, other, qubits_vector, cbits_vector, false);
}

bool compose(QuantumCircuit& qc, const QuantumCircuit& other, std::vector<int64_t> qubits,
             std::vector<int64_t> clbits, bool front, bool inplace) {
  RequireFitsCircuit(qc, other);
  if (qubits.empty()) {
    qubits = Identity(qc.total_qubits);
  } else if (qubits.size() != other.total_qubits) {
    throw RunTimeError("The qubit list is not of the correct size");
  }
  if (clbits.empty()) {
    clbits = Identity(qc.num_clbits);
  } else if (clbits.size() != other.num_clbits) {
    throw RunTimeError("The classical register list is not of the correct size");
  }
  RequireInRange(qubits, qc.total_qubits, true);
  RequireInRange(clbits, qc.num_clbits, false);
  RequireMapped(other.instructions, qubits.size(), clbits.size());
  AppendCircuitAsComposite(qc, other, qubits, clbits, front);
  return !inplace;
}

int32_t append(QuantumCircuit& qc, const Gate& gate, const std::vector<int64_t>& qubits_vector,
               const std::vector<int64_t>& cbits_vector) {
  const GateMaps maps = CheckedGateMaps(qc, gate, qubits_vector, cbits_vector);
  Insert(qc, GateComposite(maps, qubits_vector, cbits_vector), false);
  MarkTouched(qc, qubits_vector);
  return 0;
}

bool compose(QuantumCircuit& qc, const Gate& gate, const std::vector<int64_t>& qubits,
             const std::vector<int64_t>& clbits, bool front, bool inplace) {
  const GateMaps maps = CheckedGateMaps(qc, gate, qubits, clbits);
  Insert(qc, GateComposite(maps, qubits, clbits), front);
  MarkTouched(qc, qubits);
  return !inplace;
}

std::unique_ptr<Gate> to_gate(QuantumCircuit& qc, const std::vector<double>& param_vector,
                              const std::string& label) {
  RequireBuildFits(SaturatingAdd(CopyBytes(qc.instructions),
                                 CompositeBytes(qc.total_qubits, param_vector.size(), label)));
  std::string name = label;
  if (FindName(qc, label) != nullptr) name = WithInstanceSuffix(label);
  auto composite = std::make_shared<Instruction>();
  composite->kind = kind::kComposite;
  composite->name = name;
  composite->params = param_vector;
  for (uint64_t q = 0; q < qc.total_qubits; ++q) composite->qubits.push_back(q);
  // The circuit's classical bits by index: the slots themselves hold outcomes.
  for (uint64_t c = 0; c < qc.classical_bits.size(); ++c) composite->clbits.push_back(c);
  CopyInstructions(qc.instructions, composite->sub_instructions);

  auto gate = std::make_unique<Gate>(label);
  gate->label = name;
  gate->name = name;
  gate->num_qubits = static_cast<int32_t>(qc.total_qubits);
  gate->AddInstruction(composite);
  gate->owned_record = std::move(composite);
  return gate;
}

}  // namespace velorin
