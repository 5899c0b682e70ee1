// Pairs side by side: consecutive two-qubit records on disjoint neighbouring
// positions (a layer of a brickwork) update at the same time, one thread each.
// A pair at p writes positions p, p + 1 and the bond between them and reads
// only the bonds on its two sides, which no other pair of the group writes;
// each split runs on its own thread as it would alone, so the state is the
// same bit for bit as one update after another.
#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <numeric>
#include <utility>

#include "circuit/quantum_circuit.h"
#include "engine/mps_simulator.h"
#include "engine/svd.h"
#include "engine/thread_team.h"
#include "platform/clock.h"

namespace velorin {

namespace {

// A group runs side by side only when the pairs other than its largest hold
// at least this much work (rows * cols * min(rows, cols) of their merged
// matrices): below it waking the threads costs about what they save.
constexpr uint64_t kMinSideWork = 2 * 32 * 32 * 32;

struct GraphTask {
  Instruction* record;
  uint64_t lo;  // the pair's left position, or the one position
  bool reversed;
  bool pair;
  uint32_t waiting;  // tasks not yet done that this one waits for
};

}  // namespace

bool MpsSimulator::NeighbourPair(const Instruction& record, uint64_t& lo, bool& reversed) const {
  if (record.has_condition || record.qubits.size() != 2) return false;
  const GateKind k = record.kind;
  // The kinds ExecuteOne handles otherwise.
  if (NoGateUpdate(k) || FixedOneQubitKind(k)) return false;
  const uint64_t q0 = record.qubits[0];
  const uint64_t q1 = record.qubits[1];
  if (q0 >= n_ || q1 >= n_ || q0 == q1) return false;
  // Records that would fail are left to ExecuteOne, which reports them in order.
  if (!record.matrix.allFinite() || !TwoQubitMatrixFits(k, record.matrix)) return false;
  const int64_t a = qubit_to_position_[q0];
  const int64_t b = qubit_to_position_[q1];
  if (a < 0 || b < 0 || (a > b ? a - b : b - a) != 1) return false;
  lo = static_cast<uint64_t>(std::min(a, b));
  reversed = b < a;
  return true;
}

uint64_t MpsSimulator::PairWork(uint64_t lo) const {
  const QubitTensor& left = chain_[lo];
  const QubitTensor& right = chain_[lo + 1];
  if (left.factors.size() != 2 || right.factors.size() != 2) return 0;
  const uint64_t rows = 2 * static_cast<uint64_t>(left.factors[0].rows());
  const uint64_t cols = 2 * static_cast<uint64_t>(right.factors[0].cols());
  return rows * cols * std::min(rows, cols);
}

bool MpsSimulator::OneSiteRecord(const Instruction& record, uint64_t& position) const {
  if (record.has_condition || record.qubits.size() != 1) return false;
  const GateKind k = record.kind;
  if (NoGateUpdate(k)) return false;
  const uint64_t q = record.qubits[0];
  if (q >= n_ || qubit_to_position_[q] < 0) return false;
  const bool fixed = FixedOneQubitKind(k);
  // Records that would fail are left to ExecuteOne, which reports them in order.
  if (!fixed && (record.matrix.rows() != 2 || record.matrix.cols() != 2 ||
                 !record.matrix.allFinite())) {
    return false;
  }
  position = static_cast<uint64_t>(qubit_to_position_[q]);
  return chain_[position].factors.size() >= 2;
}

size_t MpsSimulator::ExecuteGateLayer(const InstructionList& list, size_t index, size_t limit) {
  if (side_threads_ == 1 || (side_threads_ <= 0 && thread_count_ <= 1)) return index;
  // Replayed shots already fill the cores; progress lines go one by one.
  if (!stamp_times_ || (progress_sink_ && !quiet_ && !gQuiet.load(std::memory_order_relaxed))) {
    return index;
  }
  if (limit <= index) limit = list.size();
  limit = std::min(limit, list.size());
  // The first layer: consecutive pairs on disjoint positions.
  std::vector<bool> taken(n_, false);
  uint64_t side_work = 0;
  uint64_t largest = 0;
  size_t layer_end = index;
  for (; layer_end < limit; ++layer_end) {
    const Instruction* record = list[layer_end].get();
    uint64_t lo = 0;
    bool reversed = false;
    if (record == nullptr || !NeighbourPair(*record, lo, reversed) || taken[lo] ||
        taken[lo + 1]) {
      break;
    }
    taken[lo] = taken[lo + 1] = true;
    const uint64_t work = PairWork(lo);
    side_work += work;
    largest = std::max(largest, work);
  }
  if (layer_end - index < 2) return index;
  size_t threads = 1;
  if (side_threads_ > 1) {
    threads = static_cast<size_t>(side_threads_);
  } else if (side_work - largest >= kMinSideWork) {
    threads = static_cast<size_t>(ThreadsForRows(std::numeric_limits<Eigen::Index>::max()));
  }
  threads = std::min(threads, layer_end - index);
  if (threads < 2) {
    // One by one, as the walk would; the group is not looked for again.
    for (size_t i = index; i < layer_end; ++i) {
      if (i > index && stop_check_) stop_check_();
      ExecuteOne(*list[i]);
    }
    return layer_end;
  }

  // The layer pays: it and the records after it that touch one position or
  // one pair of neighbours run as a graph of dependencies, so that a layer's
  // pairs start as soon as the ones they read are done instead of after the
  // whole layer before. Each update reads and writes what it would one by
  // one, in the same order for every position and bond: the state is the
  // same bit for bit.
  std::vector<GraphTask> tasks;
  const size_t bonds = n_ > 1 ? n_ - 1 : 0;
  std::vector<int64_t> site_writer(n_, -1), bond_writer(bonds, -1);
  std::vector<std::vector<uint32_t>> bond_readers(bonds);
  std::vector<std::vector<uint32_t>> edges;
  size_t end = index;
  int64_t layers = 0;
  bool in_layer = false;
  for (; end < limit; ++end) {
    Instruction* record = list[end].get();
    if (record == nullptr) break;
    GraphTask task{record, 0, false, false, 0};
    std::vector<uint32_t> after;  // the tasks this one waits for
    if (NeighbourPair(*record, task.lo, task.reversed)) {
      task.pair = true;
      const uint64_t p = task.lo;
      for (uint64_t s : {p, p + 1}) {
        if (site_writer[s] >= 0) after.push_back(static_cast<uint32_t>(site_writer[s]));
      }
      if (bond_writer[p] >= 0) after.push_back(static_cast<uint32_t>(bond_writer[p]));
      after.insert(after.end(), bond_readers[p].begin(), bond_readers[p].end());
      // The outer bonds it reads.
      if (p > 0 && bond_writer[p - 1] >= 0) {
        after.push_back(static_cast<uint32_t>(bond_writer[p - 1]));
      }
      if (p + 1 < bonds && bond_writer[p + 1] >= 0) {
        after.push_back(static_cast<uint32_t>(bond_writer[p + 1]));
      }
      if (!in_layer) ++layers;
      in_layer = true;
    } else if (OneSiteRecord(*record, task.lo)) {
      if (site_writer[task.lo] >= 0) after.push_back(static_cast<uint32_t>(site_writer[task.lo]));
      in_layer = false;
    } else {
      break;
    }
    const uint32_t id = static_cast<uint32_t>(tasks.size());
    std::sort(after.begin(), after.end());
    after.erase(std::unique(after.begin(), after.end()), after.end());
    task.waiting = static_cast<uint32_t>(after.size());
    edges.emplace_back();
    for (uint32_t from : after) edges[from].push_back(id);
    if (task.pair) {
      const uint64_t p = task.lo;
      site_writer[p] = site_writer[p + 1] = id;
      bond_writer[p] = id;
      bond_readers[p].clear();
      if (p > 0) bond_readers[p - 1].push_back(id);
      if (p + 1 < bonds) bond_readers[p + 1].push_back(id);
    } else {
      site_writer[task.lo] = id;
    }
    tasks.push_back(task);
  }

  // The stop check is asked on this thread only (it may take the
  // interpreter): for the first layer's records now, then between the tasks
  // this thread takes.
  for (size_t i = index + 1; i < layer_end; ++i) {
    if (stop_check_) stop_check_();
  }
  chain_at_checkpoint_ = false;
  // Each task reads the clock itself, on its own record; only the replayed
  // shots' bookkeeping of executed records is shared, so it is done here.
  if (!stamp_times_) {
    for (GraphTask& task : tasks) Stamp(*task.record, true);
  }
  if (!team_) team_ = std::make_unique<ThreadTeam>();
  if (team_work_.size() < threads) team_work_.resize(threads);

  // Ready tasks, the largest pair first (the widest bonds lie on the longest
  // chain of dependencies); one-site updates before any pair, as they are
  // short and free the pairs after them.
  std::mutex mutex;
  std::condition_variable ready_again;
  std::vector<std::pair<uint64_t, uint32_t>> ready;  // (priority, id), a heap
  size_t done = 0;
  bool failed = false;
  std::exception_ptr error;
  uint32_t error_id = std::numeric_limits<uint32_t>::max();
  auto priority = [&](uint32_t id) {
    const GraphTask& task = tasks[id];
    return task.pair ? PairWork(task.lo) : std::numeric_limits<uint64_t>::max();
  };
  auto before = [](const std::pair<uint64_t, uint32_t>& x, const std::pair<uint64_t, uint32_t>& y) {
    return x.first != y.first ? x.first < y.first : x.second > y.second;
  };
  for (uint32_t id = 0; id < tasks.size(); ++id) {
    if (tasks[id].waiting == 0) ready.emplace_back(priority(id), id);
  }
  std::make_heap(ready.begin(), ready.end(), before);

  team_->Run(threads, threads, [&](size_t, size_t slot) {
    SplitWork& work = slot == 0 ? split_work_ : team_work_[slot];
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      ready_again.wait(lock, [&] { return failed || done == tasks.size() || !ready.empty(); });
      if (failed || done == tasks.size()) return;
      if (slot == 0 && stop_check_ && done > 0) {
        lock.unlock();
        std::exception_ptr stopped;
        try {
          stop_check_();
        } catch (...) {
          stopped = std::current_exception();
        }
        lock.lock();
        if (stopped) {
          // A stop outranks any failure: the others end with the task they hold.
          failed = true;
          error_id = 0;
          error = stopped;
          ready_again.notify_all();
          return;
        }
        if (failed || ready.empty()) continue;
      }
      std::pop_heap(ready.begin(), ready.end(), before);
      const uint32_t id = ready.back().second;
      ready.pop_back();
      lock.unlock();
      const GraphTask& task = tasks[id];
      std::exception_ptr thrown;
      try {
        if (stamp_times_) task.record->start_time = platform::SteadyNanoseconds();
        if (task.pair) {
          UpdatePair(task.lo, task.record->kind, task.record->matrix, task.reversed, work);
        } else {
          ApplyOneSite(*task.record, chain_[task.lo]);
        }
        if (stamp_times_) task.record->end_time = platform::SteadyNanoseconds();
      } catch (...) {
        thrown = std::current_exception();
      }
      lock.lock();
      if (thrown) {
        // The others end with the task they hold; the first failure in
        // record order is reported.
        failed = true;
        if (id < error_id || !error) {
          error_id = id;
          error = thrown;
        }
        ready_again.notify_all();
        return;
      }
      ++done;
      size_t woken = 0;
      for (uint32_t next : edges[id]) {
        if (--tasks[next].waiting == 0) {
          ready.emplace_back(priority(next), next);
          std::push_heap(ready.begin(), ready.end(), before);
          ++woken;
        }
      }
      if (done == tasks.size()) {
        ready_again.notify_all();
      } else {
        // This thread takes one of them itself.
        for (size_t k = 1; k < woken; ++k) ready_again.notify_one();
      }
    }
  });
  if (error) std::rethrow_exception(error);
  gate_layers_side_by_side_ += layers;
  return end;
}

}  // namespace velorin
