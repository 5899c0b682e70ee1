// Shots that replay side by side. Every shot after the first starts from the
// same checkpoint and draws its own outcomes, so shots are independent: each
// worker thread runs whole shots into its own copy of the state, and only the
// bit strings come back, in order, to the calling thread.
//
// What the threads share is read-only while they run: the circuit's records
// and the checkpoint of this engine. Everything a shot writes (the chain, the
// bonds, the maps, the measured values, the generator, the work storage, the
// notes of conditional records) belongs to the engine that runs it. The
// records' times are written by the calling thread after the batch.
#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <random>
#include <thread>

#include "circuit/quantum_circuit.h"
#include "engine/mps_simulator.h"
#include "engine/svd.h"
#include "platform/clock.h"
#include "platform/memory.h"

namespace velorin {

namespace {

// A batch should take about this long: long enough that starting the threads
// costs nothing measurable, short enough that the caller hears of a stop (and
// the shots reach the result) soon.
constexpr int64_t kBatchNanoseconds = 50'000'000;
// Shots timed on the calling thread alone before any thread starts.
constexpr int64_t kProbeShots = 4;
// Below this much work in all, starting threads costs more than they save.
constexpr int64_t kMinParallelNanoseconds = 2'000'000;
// Fewest shots per thread in a batch: the slowest thread's last shot is what
// the others wait for.
constexpr int64_t kMinShotsPerThread = 8;

// Thrown inside a worker's shot once another thread has failed.
struct ReplayAborted {};

// Whether the records from `from` on hold a delay, composites searched to any
// depth.
bool HoldsDelay(const InstructionList& list, size_t from) {
  for (size_t i = from; i < list.size(); ++i) {
    const Instruction* record = list[i].get();
    if (record == nullptr) continue;
    if (record->kind == kind::kDelay) return true;
    if (record->kind == kind::kComposite &&
        !VisitLeafRecords(record->sub_instructions,
                          [](const Instruction& leaf) { return leaf.kind != kind::kDelay; })) {
      return true;
    }
  }
  return false;
}

}  // namespace

int64_t MpsSimulator::ReplayStart(const QuantumCircuit& circuit) const {
  if (!ran_once_ || terminal_shot_ || chain_.size() != n_) return -1;
  // Progress lines belong to the calling thread, one instruction at a time.
  if (progress_sink_ && !circuit.quiet && !gQuiet.load(std::memory_order_relaxed)) return -1;
  const int64_t length = static_cast<int64_t>(circuit.instructions.size());
  const int64_t first = circuit.first_measure_index;
  if (first == length) return -1;  // nothing measured: later shots change nothing
  int64_t start = first > 0 && first < length ? first : 0;
  if (start != 0 && !checkpoint_valid_) start = 0;
  // A delay sleeps: no batch could promise to end soon.
  if (HoldsDelay(circuit.instructions, static_cast<size_t>(start))) return -1;
  return start;
}

uint64_t MpsSimulator::CheckpointBytes() const {
  const std::vector<QubitTensor>& chain = checkpoint_valid_ ? checkpoint_chain_ : chain_;
  const std::vector<BondValues>& bonds = checkpoint_valid_ ? checkpoint_bonds_ : bonds_;
  uint64_t bytes = 0;
  for (const QubitTensor& site : chain) {
    for (const Matrix& f : site.factors) bytes += static_cast<uint64_t>(f.size()) * sizeof(Complex);
  }
  for (const BondValues& bond : bonds) bytes += bond.size() * sizeof(double);
  return bytes;
}

std::unique_ptr<MpsSimulator> MpsSimulator::NewReplica() {
  auto replica = std::make_unique<MpsSimulator>(n_, global_phase_);
  replica->ran_once_ = true;
  replica->checkpoint_valid_ = checkpoint_valid_;
  replica->checkpoint_owner_ = this;
  replica->stamp_times_ = false;
  replica->shots_planned_ = shots_planned_;
  // Seeded from this engine's generator: two runs, seeded apart, draw apart.
  std::array<uint32_t, 8> words;
  for (uint32_t& word : words) word = static_cast<uint32_t>(Generator()());
  std::seed_seq sequence(words.begin(), words.end());
  replica->generator_.seed(sequence);
  replica->generator_seeded_ = true;
  return replica;
}

void MpsSimulator::ReleaseReplicas() {
  replicas_.clear();
  replicas_.shrink_to_fit();
  replay_bits_.clear();
  replay_bits_.shrink_to_fit();
}

void MpsSimulator::ReplayOneShot(QuantumCircuit& circuit, size_t start, std::string& bits) {
  const int64_t started = platform::SteadyNanoseconds();
  if (start != 0) {
    ResetShotFields(circuit);  // the walk restores the checkpoint
  } else {
    Reset(circuit);
  }
  ExecuteInstructions(circuit, circuit.instructions, start, false);
  bits.clear();
  for (uint64_t q = n_; q-- > 0;) {
    if (measured_[q] == 0) bits.push_back('0');
    if (measured_[q] == 1) bits.push_back('1');
  }
  if (!conditional_executed_.empty()) {
    const int64_t ended = platform::SteadyNanoseconds();
    for (Instruction* record : conditional_executed_) conditional_times_[record] = {started, ended};
    conditional_executed_.clear();
  }
}

void MpsSimulator::MergeReplayTimes() {
  auto merge = [](MpsSimulator& engine) {
    for (const auto& [record, times] : engine.conditional_times_) {
      if (times.second >= record->end_time) {
        record->start_time = times.first;
        record->end_time = times.second;
      }
    }
    engine.conditional_times_.clear();
  };
  merge(*this);
  for (const std::unique_ptr<MpsSimulator>& replica : replicas_) merge(*replica);
}

int64_t MpsSimulator::ReplayShots(QuantumCircuit& circuit, const ShotSink& emit) {
  const int64_t remaining = shots_planned_ - shots_run_ - 1;  // the last shot is Run's
  if (remaining < 1) return 0;
  const int64_t start = ReplayStart(circuit);
  if (start < 0) return 0;

  // The first batch times a few shots on this thread; later ones size
  // themselves by that time.
  int64_t batch = std::min(remaining, kProbeShots);
  size_t workers = 0;
  if (replay_shot_nanoseconds_ > 0) {
    const int64_t per_shot = replay_shot_nanoseconds_;
    if (remaining * per_shot >= kMinParallelNanoseconds && thread_count_ > 0 &&
        hardware_threads_ > 1) {
      // The engine's worker threads beside the calling one, never more
      // threads in all than the process has cores.
      workers = static_cast<size_t>(std::min(thread_count_, hardware_threads_ - 1));
      // Each copy of the state may grow while its shot runs: room for three
      // per thread in half the memory that is free.
      const uint64_t per_copy = 3 * CheckpointBytes() + (uint64_t{1} << 20);
      const uint64_t available = platform::AvailablePhysicalMemory();
      if (available > 0) workers = std::min<uint64_t>(workers, available / 2 / per_copy);
      workers = std::min<uint64_t>(workers, static_cast<uint64_t>(remaining / kMinShotsPerThread));
    }
    const int64_t threads = static_cast<int64_t>(workers) + 1;
    batch = std::max(kMinShotsPerThread * threads, kBatchNanoseconds * threads / per_shot);
    batch = std::min(batch, remaining);
  }
  while (replicas_.size() < workers) replicas_.push_back(NewReplica());
  if (replay_bits_.size() < static_cast<size_t>(batch)) replay_bits_.resize(static_cast<size_t>(batch));

  std::atomic<int64_t> next{0};
  std::atomic<bool> abort{false};
  std::vector<std::exception_ptr> errors(workers + 1);
  auto work = [&](MpsSimulator& engine, size_t slot) {
    SerialMath serial(false);
    try {
      while (!abort.load(std::memory_order_relaxed)) {
        const int64_t shot = next.fetch_add(1, std::memory_order_relaxed);
        if (shot >= batch) break;
        engine.ReplayOneShot(circuit, static_cast<size_t>(start), replay_bits_[static_cast<size_t>(shot)]);
      }
    } catch (const ReplayAborted&) {
      // another thread failed first
    } catch (...) {
      errors[slot] = std::current_exception();
      abort.store(true);
    }
  };
  for (const std::unique_ptr<MpsSimulator>& replica : replicas_) {
    replica->stop_check_ = [&abort] {
      if (abort.load(std::memory_order_relaxed)) throw ReplayAborted{};
    };
  }

  // The libraries' thread counts are set before any worker starts.
  SerialMath serial(true);
  stamp_times_ = false;
  const int64_t began = platform::SteadyNanoseconds();
  std::vector<std::thread> threads;
  threads.reserve(workers);
  try {
    for (size_t k = 0; k < workers; ++k) {
      threads.emplace_back(work, std::ref(*replicas_[k]), k + 1);
    }
  } catch (...) {
    // No more threads to be had: the ones started, and this one, share the batch.
  }
  work(*this, 0);
  for (std::thread& thread : threads) thread.join();
  const int64_t ended = platform::SteadyNanoseconds();
  stamp_times_ = true;
  for (const std::unique_ptr<MpsSimulator>& replica : replicas_) replica->stop_check_ = nullptr;

  for (const std::exception_ptr& error : errors) {
    if (error) {
      conditional_executed_.clear();
      ReleaseReplicas();
      std::rethrow_exception(error);
    }
  }
  const int64_t threads_used = static_cast<int64_t>(threads.size()) + 1;
  replay_threads_ = threads_used;
  replay_shot_nanoseconds_ = std::max<int64_t>(1, (ended - began) * threads_used / batch);
  MergeReplayTimes();
  shots_run_ += batch;
  for (int64_t i = 0; i < batch; ++i) emit(replay_bits_[static_cast<size_t>(i)]);
  if (shots_run_ + 1 >= shots_planned_) ReleaseReplicas();
  return batch;
}

}  // namespace velorin
