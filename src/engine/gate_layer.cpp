// Pairs side by side: consecutive two-qubit records on disjoint neighbouring
// positions (a layer of a brickwork) update at the same time, one thread each.
// A pair at p writes positions p, p + 1 and the bond between them and reads
// only the bonds on its two sides, which no other pair of the group writes;
// each split runs on its own thread as it would alone, so the state is the
// same bit for bit as one update after another.
#include <algorithm>
#include <limits>
#include <numeric>

#include "circuit/quantum_circuit.h"
#include "engine/mps_simulator.h"
#include "engine/svd.h"
#include "engine/thread_team.h"

namespace velorin {

namespace {

// A group runs side by side only when the pairs other than its largest hold
// at least this much work (rows * cols * min(rows, cols) of their merged
// matrices): below it waking the threads costs about what they save.
constexpr uint64_t kMinSideWork = 2 * 32 * 32 * 32;

struct PairTask {
  Instruction* record;
  uint64_t lo;
  bool reversed;
  uint64_t work;
};

}  // namespace

bool MpsSimulator::NeighbourPair(const Instruction& record, uint64_t& lo, bool& reversed) const {
  if (record.has_condition || record.qubits.size() != 2) return false;
  const GateKind k = record.kind;
  // The kinds ExecuteOne handles otherwise.
  if (k == kind::kComposite || k == kind::kMeasure || k == kind::kReset || k == kind::kDelay ||
      k == kind::kI || k == kind::kId || IsBarrier(k) || k == kind::kX || k == kind::kT ||
      k == kind::kS || k == kind::kTdg || k == kind::kSdg) {
    return false;
  }
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

size_t MpsSimulator::ExecuteGateLayer(const InstructionList& list, size_t index) {
  if (side_threads_ == 1 || (side_threads_ <= 0 && thread_count_ <= 1)) return index;
  // Replayed shots already fill the cores; progress lines go one by one.
  if (!stamp_times_ || (progress_sink_ && !quiet_ && !gQuiet.load(std::memory_order_relaxed))) {
    return index;
  }
  std::vector<PairTask> tasks;
  std::vector<bool> taken(n_, false);
  size_t end = index;
  for (; end < list.size(); ++end) {
    Instruction* record = list[end].get();
    uint64_t lo = 0;
    bool reversed = false;
    if (record == nullptr || !NeighbourPair(*record, lo, reversed) || taken[lo] || taken[lo + 1]) {
      break;
    }
    taken[lo] = taken[lo + 1] = true;
    uint64_t work = 0;
    const QubitTensor& left = chain_[lo];
    const QubitTensor& right = chain_[lo + 1];
    if (left.factors.size() == 2 && right.factors.size() == 2) {
      const uint64_t rows = 2 * static_cast<uint64_t>(left.factors[0].rows());
      const uint64_t cols = 2 * static_cast<uint64_t>(right.factors[0].cols());
      work = rows * cols * std::min(rows, cols);
    }
    tasks.push_back({record, lo, reversed, work});
  }
  if (tasks.size() < 2) return index;
  size_t threads = 1;
  if (side_threads_ > 1) {
    threads = static_cast<size_t>(side_threads_);
  } else {
    uint64_t side_work = 0;
    uint64_t largest = 0;
    for (const PairTask& task : tasks) {
      side_work += task.work;
      largest = std::max(largest, task.work);
    }
    side_work -= largest;
    if (side_work >= kMinSideWork) {
      threads = static_cast<size_t>(ThreadsForRows(std::numeric_limits<Eigen::Index>::max()));
    }
  }
  threads = std::min(threads, tasks.size());
  if (threads < 2) {
    // One by one, as the walk would; the group is not looked for again.
    for (size_t i = index; i < end; ++i) {
      if (i > index && stop_check_) stop_check_();
      ExecuteOne(*list[i]);
    }
    return end;
  }
  // The largest first: the last task to end is then a small one.
  std::stable_sort(tasks.begin(), tasks.end(),
                   [](const PairTask& x, const PairTask& y) { return x.work > y.work; });

  for (size_t i = index + 1; i < end; ++i) {
    if (stop_check_) stop_check_();
  }
  chain_at_checkpoint_ = false;
  for (const PairTask& task : tasks) Stamp(*task.record, true);
  if (!team_) team_ = std::make_unique<ThreadTeam>();
  if (team_work_.size() < threads) team_work_.resize(threads);
  team_->Run(tasks.size(), threads, [&](size_t i, size_t slot) {
    const PairTask& task = tasks[i];
    UpdatePair(task.lo, task.record->kind, task.record->matrix, task.reversed,
               slot == 0 ? split_work_ : team_work_[slot]);
  });
  ++gate_layers_side_by_side_;
  for (const PairTask& task : tasks) Stamp(*task.record, false);
  return end;
}

}  // namespace velorin
