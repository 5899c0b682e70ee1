// The engine object and the walk over a circuit's instructions.
#include "engine/mps_simulator.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "circuit/errors.h"
#include "circuit/quantum_circuit.h"
#include "circuit/text_helpers.h"
#include "engine/thread_team.h"
#include "platform/clock.h"
#include "platform/threads.h"

namespace velorin {

std::atomic<bool> gQuiet{true};

namespace {

constexpr uint64_t kMaxQubits = 100;
constexpr uint64_t kDefaultBondDimension = 512;
// 1/sqrt(2), the T gate's phase parts.
constexpr double kR = 0.7071067811865476;

int32_t ToInt32(uint32_t value) {
  return value > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(value);
}

// A delay's duration in whole nanoseconds; NaN waits not at all and values
// beyond the 64-bit range are clamped, so the conversion is always defined.
int64_t DurationNanoseconds(double duration) {
  if (std::isnan(duration)) return 0;
  if (duration >= 9.223372036854775807e18) return std::numeric_limits<int64_t>::max();
  if (duration <= -9.223372036854775807e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(duration);
}

}  // namespace

void MpsSimulator::Stamp(Instruction& record, bool start) {
  if (stamp_times_) {
    (start ? record.start_time : record.end_time) = platform::SteadyNanoseconds();
  } else if (start && walk_conditional_) {
    // A replayed shot notes the records that not every shot executes; the
    // others get their times from the last shot.
    conditional_executed_.push_back(&record);
  }
}

MpsSimulator::MpsSimulator(uint64_t num_qubits, double global_phase)
    : n_(num_qubits), global_phase_(global_phase) {
  if (num_qubits == 0 || num_qubits > kMaxQubits) {
    throw std::range_error("Invalid number of qubits passed.");
  }
  measured_.assign(n_, -1);
  thread_count_ = ToInt32(platform::WorkerThreads());
  hardware_threads_ = ToInt32(platform::HardwareThreads());
}

MpsSimulator::MpsSimulator(const MpsSimulator& other)
    : ran_once_(other.ran_once_),
      n_(other.n_),
      global_phase_(0.0),
      uniform_lower_(other.uniform_lower_),
      uniform_upper_(other.uniform_upper_),
      chain_(other.chain_),
      bonds_(other.bonds_),
      measured_(other.measured_),
      position_to_qubit_(other.position_to_qubit_),
      qubit_to_position_(other.qubit_to_position_),
      max_bond_dimension_(kDefaultBondDimension),
      thread_count_(0),
      hardware_threads_(0) {}

MpsSimulator::~MpsSimulator() = default;

std::unique_ptr<MpsSimulator> MpsSimulator::Restore(SavedChain saved) {
  auto refuse = [](const char* why) { throw std::invalid_argument(why); };
  const uint64_t n = saved.num_qubits;
  if (n == 0 || n > kMaxQubits) refuse("the engine's qubit count is out of range");
  if (saved.max_bond_dimension == 0) refuse("the engine's bond cap is 0");
  if (saved.measured.size() != n) refuse("the measured values do not fit the qubits");
  for (int64_t v : saved.measured) {
    if (v < -1 || v > 1) refuse("a measured value is not -1, 0 or 1");
  }
  const bool empty = saved.chain.empty() && saved.bonds.empty() &&
                     saved.position_to_qubit.empty() && saved.qubit_to_position.empty();
  if (!empty) {
    if (saved.chain.size() != n || saved.bonds.size() != n || saved.position_to_qubit.size() != n ||
        saved.qubit_to_position.size() != n) {
      refuse("the chain does not fit the qubits");
    }
    for (uint64_t p = 0; p < n; ++p) {
      const int64_t q = saved.position_to_qubit[p];
      if (q < 0 || static_cast<uint64_t>(q) >= n ||
          saved.qubit_to_position[static_cast<size_t>(q)] != static_cast<int64_t>(p)) {
        refuse("the position maps are not inverse permutations");
      }
    }
    for (uint64_t p = 0; p < n; ++p) {
      const BondValues& right = saved.bonds[p];
      if (right.empty() || (p + 1 == n && right.size() != 1)) refuse("a bond is empty");
      const auto rows = static_cast<Eigen::Index>(p == 0 ? 1 : saved.bonds[p - 1].size());
      const auto cols = static_cast<Eigen::Index>(right.size());
      const std::vector<Matrix>& f = saved.chain[p].factors;
      if (f.size() != 2) refuse("a site does not hold two factors");
      for (const Matrix& m : f) {
        if (m.rows() != rows || m.cols() != cols) refuse("a site's factors do not fit its bonds");
      }
      saved.chain[p].max_bond_dimension = saved.max_bond_dimension;
    }
  }
  auto engine = std::make_unique<MpsSimulator>(n, saved.global_phase);
  engine->ran_once_ = !empty;
  engine->max_bond_dimension_ = saved.max_bond_dimension;
  engine->chain_ = std::move(saved.chain);
  engine->bonds_ = std::move(saved.bonds);
  engine->measured_ = std::move(saved.measured);
  engine->position_to_qubit_ = std::move(saved.position_to_qubit);
  engine->qubit_to_position_ = std::move(saved.qubit_to_position);
  return engine;
}

void MpsSimulator::ResetShotFields(const QuantumCircuit& circuit) {
  quiet_ = circuit.quiet;
  measured_.assign(n_, -1);
  max_bond_dimension_ = circuit.max_bond_dimension;
  uniform_lower_ = 0.0;
  uniform_upper_ = 1.0;
}

void MpsSimulator::Reset(const QuantumCircuit& circuit) {
  ResetShotFields(circuit);
  chain_at_checkpoint_ = false;
  chain_.clear();
  bonds_.clear();
  chain_.reserve(n_);
  bonds_.reserve(n_);
  for (uint64_t p = 0; p < n_; ++p) {
    chain_.emplace_back(circuit.max_bond_dimension);
    bonds_.push_back(BondValues{1.0});
  }
  position_to_qubit_.resize(n_);
  qubit_to_position_.resize(n_);
  for (uint64_t p = 0; p < n_; ++p) {
    position_to_qubit_[p] = static_cast<int64_t>(p);
    qubit_to_position_[p] = static_cast<int64_t>(p);
  }
  // A qubit-order search leaves the circuit's records as they are and only
  // says where each qubit sits on the chain; a map that is no permutation
  // is left unapplied.
  if (circuit.qubit_map.size() == n_) {
    std::vector<bool> seen(n_, false);
    bool permutation = true;
    for (int64_t position : circuit.qubit_map) {
      permutation = permutation && position >= 0 && static_cast<uint64_t>(position) < n_ &&
                    !seen[static_cast<size_t>(position)];
      if (permutation) seen[static_cast<size_t>(position)] = true;
    }
    if (permutation) {
      for (uint64_t q = 0; q < n_; ++q) {
        position_to_qubit_[static_cast<size_t>(circuit.qubit_map[q])] = static_cast<int64_t>(q);
      }
      RebuildQubitToPosition();
    }
  }
}

void MpsSimulator::SaveCheckpoint() {
  checkpoint_chain_ = chain_;
  checkpoint_bonds_ = bonds_;
  checkpoint_position_to_qubit_ = position_to_qubit_;
  checkpoint_qubit_to_position_ = qubit_to_position_;
  checkpoint_valid_ = true;
  chain_at_checkpoint_ = true;
}

void MpsSimulator::RestoreCheckpoint() {
  const MpsSimulator& source = checkpoint_owner_ != nullptr ? *checkpoint_owner_ : *this;
  // Element-wise assignment keeps each matrix's storage when its shape fits.
  if (!chain_at_checkpoint_) {
    chain_ = source.checkpoint_chain_;
    bonds_ = source.checkpoint_bonds_;
  }
  position_to_qubit_ = source.checkpoint_position_to_qubit_;
  qubit_to_position_ = source.checkpoint_qubit_to_position_;
  chain_at_checkpoint_ = true;
}

void MpsSimulator::Run(QuantumCircuit& circuit) {
  size_t start = 0;
  if (ran_once_) {
    const int64_t first_measure = circuit.first_measure_index;
    const int64_t length = static_cast<int64_t>(circuit.instructions.size());
    if (first_measure == length) return;  // nothing measured: later shots change nothing
    if (first_measure > 0 && first_measure < length) start = static_cast<size_t>(first_measure);
  }
  // A replayed shot restores the checkpoint into the chain as it stands.
  if (start != 0 && checkpoint_valid_ && chain_.size() == n_) {
    ResetShotFields(circuit);
  } else {
    Reset(circuit);
  }
  shots_planned_ = circuit.shots;
  terminal_shot_ = circuit.first_measure_index > 0 && TailOnlyMeasures(circuit, terminal_qubits_);
  terminal_drawn_ = false;
  terminal_refused_ = false;
  terminal_run_count_ = 0;
  settle_pending_ = false;
  {
    // The threads of side-by-side pairs live for this shot only.
    struct ReleaseTeam {
      MpsSimulator& engine;
      ~ReleaseTeam() {
        engine.team_.reset();
        engine.team_work_.clear();
      }
    } release{*this};
    ExecuteInstructions(circuit, circuit.instructions, start, false);
  }
  settle_pending_ = terminal_drawn_;
  if (shots_run_ + 1 >= shots_planned_) {
    SettleLastShot();
    ReleaseReplicas();
  }
  ++shots_run_;

  ran_once_ = true;
}

// ---- classical conditions ----

// The tested value of a condition. `can_match` turns false when the value is
// known to differ from every value a condition can hold.
int64_t MpsSimulator::ConditionValueOf(const Instruction& record, bool& can_match) const {
  can_match = true;
  if (record.condition_on_bit) {
    const int64_t bit = record.condition_bit;
    if (bit < 0 || static_cast<uint64_t>(bit) >= n_) {
      can_match = false;  // a bit beyond the qubits is never measured
      return -1;
    }
    return measured_[static_cast<size_t>(bit)];
  }
  // Only the part of the register that lies on the engine's qubits can hold a 1.
  const std::vector<int64_t>& scattered = record.condition_register.qubits;
  const int64_t start = record.condition_register.start;
  const int64_t size = scattered.empty() ? record.condition_register.size
                                         : static_cast<int64_t>(scattered.size());
  const int64_t first = scattered.empty() ? std::max<int64_t>(0, -start) : 0;
  const int64_t last =
      scattered.empty() ? std::min<int64_t>(size, static_cast<int64_t>(n_) - start) : size;
  int64_t value = 0;
  for (int64_t k = first; k < last; ++k) {
    const int64_t qubit = scattered.empty() ? start + k : scattered[static_cast<size_t>(k)];
    if (qubit < 0 || static_cast<uint64_t>(qubit) >= n_) continue;
    if (measured_[static_cast<size_t>(qubit)] != 1) continue;
    if (k >= 63) {
      can_match = false;  // the sum would not fit any condition value
      return value;
    }
    value += int64_t{1} << k;
  }
  return value;
}

bool MpsSimulator::ConditionHolds(const Instruction& record) const {
  bool can_match = true;
  const int64_t value = ConditionValueOf(record, can_match);
  return can_match && value == record.condition_value;
}

// ---- the walk ----

void MpsSimulator::PrintProgress(const InstructionList& list, size_t index) const {
  if (!progress_sink_ || quiet_ || gQuiet.load(std::memory_order_relaxed)) return;
  const Instruction& record = *list[index];
  if (record.kind == kind::kMeasure) return;
  progress_sink_(std::to_string(index) + " of " + std::to_string(list.size()) +
                 " gate name: " + record.GateName() + "time: " + CurrentTimestamp());
}

void MpsSimulator::ExecuteInstructions(QuantumCircuit& circuit, const InstructionList& list,
                                       size_t start, bool nested) {
  size_t begin = 0;
  if (start != 0 && !nested && checkpoint_valid_) {
    begin = start;
    RestoreCheckpoint();
  }
  RequireChain();
  const int64_t first_measure = circuit.first_measure_index;
  // After an element of the top-level list: the first shot keeps the state
  // from just before the first measure or reset.
  auto after_element = [&](const WalkFrame& frame) {
    if (!ran_once_ && !frame.nested && first_measure >= 0 &&
        frame.next == static_cast<uint64_t>(first_measure)) {
      SaveCheckpoint();
    }
  };

  // Replayed shots already fill the cores: their walk never looks for layers.
  const bool layers = stamp_times_ && side_threads_ != 1 && (side_threads_ > 1 || thread_count_ > 1);

  // Composites are walked with a stack of their own: nesting may be deep. A
  // walk inside a composite (a sub-list walked on its own) keeps a stack of
  // its own too, so that the engine's reused one is never walked twice.
  std::vector<WalkFrame> own_stack;
  std::vector<WalkFrame>& stack = nested ? own_stack : walk_stack_;
  stack.clear();
  stack.push_back({&list, begin, nested, false});
  while (!stack.empty()) {
    WalkFrame& frame = stack.back();
    if (frame.next >= frame.list->size()) {
      stack.pop_back();
      if (!stack.empty()) after_element(stack.back());
      continue;
    }
    if (stop_check_) stop_check_();
    const InstructionList& current = *frame.list;
    const size_t index = frame.next;
    Instruction* record = current[index].get();
    if (record == nullptr) {
      ++frame.next;
      after_element(frame);
      continue;
    }
    PrintProgress(current, index);
    if (record->has_condition && !ConditionHolds(*record)) {
      ++frame.next;
      after_element(frame);
      continue;
    }
    const bool conditional = frame.conditional || record->has_condition;
    if (record->kind == kind::kComposite) {
      ++frame.next;  // its checkpoint test follows when its sub-list ends
      const WalkFrame inner{&record->sub_instructions, 0, true, conditional};
      stack.push_back(inner);  // may move the frames: `frame` is not used again
      continue;
    }
    walk_conditional_ = conditional;
    switch (record->kind) {
      case kind::kMeasure:
        frame.next = ExecuteMeasureRun(current, index);
        break;
      case kind::kReset:
        ExecuteReset(*record);
        ++frame.next;
        break;
      default: {
        const size_t after =
            record->qubits.size() == 2 && layers
                ? ExecuteGateLayer(current, index,
                                   !ran_once_ && !frame.nested && first_measure >= 0
                                       ? static_cast<size_t>(first_measure)
                                       : current.size())
                : index;
        if (after != index) {
          frame.next = after;
        } else {
          ExecuteOne(*record);
          ++frame.next;
        }
        break;
      }
    }
    after_element(frame);
  }
}

// A run of measures: this one and every directly following unconditional one.
// A conditional measure starts a run of its own, so that its condition sees
// the outcomes of the measures before it.
size_t MpsSimulator::ExecuteMeasureRun(const InstructionList& list, size_t index) {
  size_t end = index + 1;
  while (end < list.size() && list[end] && list[end]->kind == kind::kMeasure &&
         !list[end]->has_condition) {
    ++end;
  }
  // One clock reading serves every record of the run, for the start as for
  // the end: reading it per record cost more than drawing the outcomes.
  std::vector<uint64_t>& qubits = run_qubits_;
  qubits.clear();
  for (size_t i = index; i < end; ++i) {
    if (!list[i]->qubits.empty()) qubits.push_back(list[i]->qubits[0]);
  }
  if (stamp_times_) {
    const int64_t started = platform::SteadyNanoseconds();
    for (size_t i = index; i < end; ++i) list[i]->start_time = started;
  } else if (walk_conditional_) {
    for (size_t i = index; i < end; ++i) conditional_executed_.push_back(list[i].get());
  }
  if (terminal_shot_ && !terminal_refused_) {
    MeasureRunTerminal(qubits);
  } else {
    MeasureQubits(qubits);
  }
  if (stamp_times_) {
    const int64_t ended = platform::SteadyNanoseconds();
    for (size_t i = index; i < end; ++i) list[i]->end_time = ended;
  }
  return end;
}

void MpsSimulator::ExecuteReset(Instruction& record) {
  if (record.qubits.empty()) {
    Stamp(record, true);
    Stamp(record, false);
    return;
  }
  const uint64_t qubit = record.qubits[0];
  if (qubit >= n_) throw RunTimeError(kInvalidGateParameter);
  RestoreQubitOrder();
  Stamp(record, true);
  chain_at_checkpoint_ = false;
  if (MeasureSite(qubit, n_ - 1) == 1) std::swap(chain_[qubit].factors[0], chain_[qubit].factors[1]);
  Stamp(record, false);
}

void MpsSimulator::ExecuteOne(Instruction& record) {
  for (uint64_t q : record.qubits) {
    if (q >= n_) throw RunTimeError(kInvalidGateParameter);
  }
  const size_t qubit_count = record.qubits.size();
  const GateKind k = record.kind;
  if (k == kind::kDelay) {
    Stamp(record, true);
    if (record.params.empty()) throw std::out_of_range("invalid vector subscript");
    const int64_t duration = DurationNanoseconds(record.params[0]);
    const int64_t now = platform::SteadyNanoseconds();
    if (duration > 0) {
      const int64_t deadline = now > std::numeric_limits<int64_t>::max() - duration
                                   ? std::numeric_limits<int64_t>::max()
                                   : now + duration;
      if (!stop_check_) {
        platform::SleepUntilSteady(deadline);
      } else {
        // In slices, so that a stop is seen within one.
        constexpr int64_t kSlice = 50'000'000;
        for (int64_t t = now; t < deadline; t = platform::SteadyNanoseconds()) {
          platform::SleepUntilSteady(deadline - t > kSlice ? t + kSlice : deadline);
          stop_check_();
        }
      }
    }
    Stamp(record, false);
    return;
  }
  const bool fixed_one_qubit = FixedOneQubitKind(k);
  if (k == kind::kI || k == kind::kId || IsBarrier(k) || qubit_count == 0) {
    Stamp(record, true);
    Stamp(record, false);
    return;
  }
  if (qubit_count >= 3 && !fixed_one_qubit) return;  // not simulated: composites carry these
  const uint64_t position = static_cast<uint64_t>(qubit_to_position_[record.qubits[0]]);
  chain_at_checkpoint_ = false;
  Stamp(record, true);
  if (!fixed_one_qubit) {
    // A NaN or infinite angle must fail the run, not spread through the state.
    if (!record.matrix.allFinite()) throw RunTimeError(kInvalidGateParameter);
    if (qubit_count == 1) {
      if (record.matrix.rows() != 2 || record.matrix.cols() != 2) {
        throw RunTimeError(kInvalidGateParameter);
      }
    } else {
      ApplyTwoQubitGate(position, static_cast<uint64_t>(qubit_to_position_[record.qubits[1]]), k,
                        record.matrix);
      Stamp(record, false);
      return;
    }
  }
  ApplyOneSite(record, chain_[position]);
  Stamp(record, false);
}

void MpsSimulator::ApplyOneSite(const Instruction& record, QubitTensor& site) {
  std::vector<Matrix>& f = site.factors;
  switch (record.kind) {
    case kind::kX:
      std::swap(f[0], f[1]);
      break;
    case kind::kT:
      f[1] *= Complex(kR, kR);
      break;
    case kind::kS:
      f[1] *= Complex(0.0, 1.0);
      break;
    case kind::kTdg:
      f[1] *= Complex(kR, -kR);
      break;
    case kind::kSdg:
      f[1] *= Complex(0.0, -1.0);
      break;
    default:
      site.ApplyOneQubitGate(record.matrix);
      break;
  }
}

}  // namespace velorin
