// The engine of one job: a matrix product state over the circuit's qubits,
// run shot by shot, and its read-outs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "circuit/instruction.h"
#include "engine/qubit_tensor.h"

namespace velorin {

class QuantumCircuit;
class ThreadTeam;

// Process-wide quiet flag, on at load; the run options write it. Atomic because
// a backend's worker may run an engine while the interpreter's thread sets it.
extern std::atomic<bool> gQuiet;

// The largest bond cap: in effect no cap.
inline constexpr uint64_t kUnlimitedBondDimension = 4294967295u;

// Storage the two-site update reuses from one split to the next.
struct SplitWork {
  Matrix stacked, joined, merged, scratch, u, vh;
  Eigen::VectorXd values;
};

class MpsSimulator {
 public:
  // Receives one progress line (without a line end) per executed instruction.
  using LineSink = std::function<void(const std::string&)>;
  // Called between instructions and while a delay sleeps; it throws to stop
  // the run (cancellation, Ctrl-C).
  using StopCheck = std::function<void()>;

  // `num_qubits` must be 1..100 (std::range_error otherwise). The chain is
  // built by the first Reset (or Run).
  explicit MpsSimulator(uint64_t num_qubits, double global_phase = 0.0);
  // A copy for read-out: state, maps and measured values, but no checkpoint,
  // cap 512, no parallel loops, quiet, no progress sink.
  MpsSimulator(const MpsSimulator& other);
  MpsSimulator& operator=(const MpsSimulator&) = delete;
  ~MpsSimulator();

  // A read-out engine holding a chain kept elsewhere (a result's byte form):
  // either no chain at all, or n sites of two equal-shaped factors whose sides
  // match the bonds, position maps that are inverse permutations, and
  // measured values of -1, 0 or 1. Anything else is std::invalid_argument.
  struct SavedChain {
    uint64_t num_qubits = 0;
    double global_phase = 0.0;
    uint64_t max_bond_dimension = 512;
    std::vector<QubitTensor> chain;
    std::vector<BondValues> bonds;
    std::vector<int64_t> measured;
    std::vector<int64_t> position_to_qubit;
    std::vector<int64_t> qubit_to_position;
  };
  static std::unique_ptr<MpsSimulator> Restore(SavedChain saved);

  // ---- shots ----
  // All qubits 0, natural order, product bonds; takes the circuit's bond cap
  // and quiet flag.
  void Reset(const QuantumCircuit& circuit);
  // One shot. The first shot saves a checkpoint just before the instruction at
  // circuit.first_measure_index; later shots replay from there (a circuit
  // without measure or reset runs once and later shots change nothing).
  // Writes the start and end times of the executed records.
  void Run(QuantumCircuit& circuit);
  // Walks `list` from `start`; composites are walked to any depth.
  void ExecuteInstructions(QuantumCircuit& circuit, const InstructionList& list, size_t start,
                           bool nested);
  // After a run cut short (fewer shots than the circuit's count): leaves the
  // chain as the last shot's measurements would have; nothing otherwise.
  void SettleLastShot();
  void SaveCheckpoint();
  // Into the live chain's storage where the shapes allow.
  void RestoreCheckpoint();
  // The progress line is printed through the sink, when one is set and both
  // gQuiet and the circuit's quiet flag are off. Set it only for a run on the
  // caller's own thread; the default prints nothing.
  void SetProgressSink(LineSink sink) { progress_sink_ = std::move(sink); }

  // Receives the bit string of a shot (as MeasuredBitString gives it).
  using ShotSink = std::function<void(const std::string&)>;
  // Shots after the first of a run, side by side: they replay independently,
  // each from the checkpoint (or from the start when the circuit measures or
  // resets first) into its own copy of the state, on the engine's worker
  // threads and the calling one, with generators seeded from this engine's.
  // Runs one batch of shots and hands their bit strings to `emit` in order, on
  // the calling thread; returns how many it ran. Returns 0 when the run's
  // shots do not take this way: before the first shot, for the last shot
  // (which leaves its state in the engine), when the tail only measures (the
  // sweep draws those), holds a delay, or prints progress lines. The records
  // keep the times the shots run one by one would leave in them, but for the
  // instructions that only some shots execute, which take the times of the
  // last shot that did, read once per shot.
  int64_t ReplayShots(QuantumCircuit& circuit, const ShotSink& emit);
  void SetStopCheck(StopCheck check) { stop_check_ = std::move(check); }

  // ---- two-site update ----
  // A gate on the qubits at positions a (first qubit) and b (second): the
  // farther one moves next to the nearer one and stays there.
  void ApplyTwoQubitGate(uint64_t a, uint64_t b, GateKind kind, const Matrix& matrix);
  // The gate on positions p and p + 1, then the truncated split of bond p.
  // `reversed`: the gate's first qubit sits at p + 1.
  void ApplyTwoSiteGate(uint64_t p, GateKind kind, const Matrix& matrix, bool reversed);

  // Work side by side: consecutive two-qubit records on disjoint neighbouring
  // positions update at the same time, each split on one thread (the state
  // is the same bit for bit: the pairs share only the bonds they read), and
  // terminal shots are drawn in slices, each from its own stream. Either
  // only when the work pays for it and cores are free. 0: as many threads as
  // are free (the default); 1: one at a time; k > 1: k threads whatever the
  // load and the work (for tests).
  void set_side_threads(int threads) { side_threads_ = threads; }
  // Groups of pairs this engine has handed to its threads.
  int64_t gate_layers_side_by_side() const { return gate_layers_side_by_side_; }

  // ---- positions ----
  std::vector<uint64_t> PositionsOf(const std::vector<uint64_t>& qubits) const;
  void SwapPositions(uint64_t a, uint64_t b);
  void MoveQubit(uint64_t source, uint64_t target);
  void RestoreQubitOrder();
  static void FindCentralizedIndices(const std::vector<uint64_t>& positions,
                                     std::vector<uint64_t>& sorted,
                                     std::vector<uint64_t>& targets);
  void CentralizeQubits(const std::vector<uint64_t>& positions, std::vector<uint64_t>& targets);
  QubitTensor& ContractQubits(QubitTensor& out, const std::vector<uint64_t>& positions);
  // Positions first..last merged into one tensor, outer bonds included.
  QubitTensor& ContractRange(QubitTensor& out, uint64_t first, uint64_t last) const;

  // ---- measurement ----
  void MeasureQubits(const std::vector<uint64_t>& qubits);
  double ProbabilityOfZero(uint64_t position) const;
  int MeasureSite(uint64_t position, uint64_t sweep_end);

  // ---- read-out ----
  // Index bit q is qubit q. Brings the chain into natural order.
  // RunTimeError for more than 16 qubits.
  std::vector<Complex> GetStateVector();
  // Index bit j is the j-th listed qubit. MemoryAllocError when the result or
  // its working storage cannot fit in memory.
  std::vector<double> GetProbabilities(std::vector<uint64_t> qubits) const;
  std::vector<double> ComputeSubsetProbabilities(const std::vector<uint64_t>& qubits) const;
  Matrix GetDensityMatrix(std::vector<uint64_t> qubits) const;
  // Bit q of an index is the value of qubit q (qubits from 64 on are 0).
  std::vector<Complex> GetAmplitudes(const std::vector<uint64_t>& indices) const;
  // One character per qubit, highest first: 'X' not measured, '0', '1'.
  std::string MeasuredBitsText() const;
  // The measured qubits' outcomes, highest qubit first.
  std::string MeasuredBitString() const;

  // output[i] = input[i with its low `bits` bits mirrored].
  std::vector<Complex> ReverseBitOrder(const std::vector<Complex>& input, uint64_t bits) const;
  std::vector<double> ReverseBitOrder(const std::vector<double>& input, uint64_t bits) const;
  std::vector<uint64_t> ReverseBitOrder(const std::vector<uint64_t>& input, uint64_t bits) const;

  // ---- state, read-only ----
  uint64_t num_qubits() const { return n_; }
  const std::vector<QubitTensor>& chain() const { return chain_; }
  const std::vector<BondValues>& bonds() const { return bonds_; }
  const std::vector<int64_t>& measured_values() const { return measured_; }
  const std::vector<int64_t>& position_to_qubit() const { return position_to_qubit_; }
  const std::vector<int64_t>& qubit_to_position() const { return qubit_to_position_; }
  uint64_t max_bond_dimension() const { return max_bond_dimension_; }
  void set_max_bond_dimension(uint64_t cap) { max_bond_dimension_ = cap; }
  bool ran_once() const { return ran_once_; }
  bool checkpoint_valid() const { return checkpoint_valid_; }
  // Threads the last batch of ReplayShots ran on, the calling one included.
  int64_t replay_threads() const { return replay_threads_; }
  bool quiet() const { return quiet_; }
  double global_phase() const { return global_phase_; }

 private:
  struct WalkFrame {
    const InstructionList* list;
    size_t next;
    bool nested;
    // Inside a composite that runs only when its condition holds.
    bool conditional;
  };

  void ExchangeAdjacent(uint64_t lo);
  void RebuildQubitToPosition();
  void RequirePosition(uint64_t position) const;
  void RequireChain() const;
  void CheckReadOutQubits(const std::vector<uint64_t>& qubits) const;
  bool UseParallel(uint64_t items) const;
  // Threads of a read-out loop over `items` entries: the engine's thread
  // count where UseParallel allows, else 1.
  int ReadOutThreads(uint64_t items) const;
  // Probabilities of the listed qubits, in the requested bit order or in the
  // order of the gathered block.
  std::vector<double> SubsetProbabilities(const std::vector<uint64_t>& qubits,
                                          bool requested_order) const;
  int64_t ConditionValueOf(const Instruction& record, bool& can_match) const;
  bool ConditionHolds(const Instruction& record) const;
  void PrintProgress(const InstructionList& list, size_t index) const;
  size_t ExecuteMeasureRun(const InstructionList& list, size_t index);
  void ExecuteReset(Instruction& record);
  void ExecuteOne(Instruction& record);
  // The gate of the pair at p and p + 1 and its split into `work`; false
  // when the positions hold no state this engine makes (nothing changes).
  bool UpdatePair(uint64_t p, GateKind kind, const Matrix& matrix, bool reversed, SplitWork& work);
  // The group of two-qubit records from `index` on that may update side by
  // side, run side by side when that pays (with the one-site and pair records
  // after it, as far as they go and not past `limit`), else one by one;
  // returns the index after what ran, or `index` when no two records form
  // such a group.
  size_t ExecuteGateLayer(const InstructionList& list, size_t index, size_t limit);
  // The work of a split of the pair at lo and lo + 1 as it stands.
  uint64_t PairWork(uint64_t lo) const;
  // The position of a one-qubit record that ExecuteOne would apply to that
  // position alone and without error.
  bool OneSiteRecord(const Instruction& record, uint64_t& position) const;
  // The one-qubit gate of a record on its position's tensor.
  static void ApplyOneSite(const Instruction& record, QubitTensor& site);
  // Kinds whose one-qubit update is a fixed permutation or phase of the
  // factors, not a product with the record's matrix.
  static bool FixedOneQubitKind(GateKind k) {
    return k == kind::kX || k == kind::kT || k == kind::kS || k == kind::kTdg || k == kind::kSdg;
  }
  // Kinds that never update a site by a gate matrix.
  static bool NoGateUpdate(GateKind k) {
    return k == kind::kComposite || k == kind::kMeasure || k == kind::kReset ||
           k == kind::kDelay || k == kind::kI || k == kind::kId || IsBarrier(k);
  }
  // The position left of the record's pair, when the record updates a pair
  // of neighbours as ExecuteOne would and without error.
  bool NeighbourPair(const Instruction& record, uint64_t& lo, bool& reversed) const;
  // A uniform number from the engine's generator, mapped onto the uniform range.
  double DrawUniform();
  // The engine's generator, seeded at its first use.
  std::mt19937& Generator();
  // The outcome at a position and the projection onto it, with the sweeps.
  void ProjectSite(uint64_t position, uint64_t sweep_end, int outcome, double p0);
  void ResetShotFields(const QuantumCircuit& circuit);
  // The steady clock into the record's start or end time; in a replayed
  // shot, a note of the record when the walk is under a condition.
  void Stamp(Instruction& record, bool start);

  // ---- shots side by side ----
  struct ReplayBatch;
  // Where this run's replayed shots start, or -1 when they cannot run side by
  // side.
  int64_t ReplayStart(const QuantumCircuit& circuit) const;
  std::unique_ptr<MpsSimulator> NewReplica();
  // One replayed shot into this engine's own state; its bits into `bits`.
  void ReplayOneShot(QuantumCircuit& circuit, size_t start, std::string& bits);
  // The times of conditional records executed by the batch, into the records.
  void MergeReplayTimes();
  void ReleaseReplicas();
  uint64_t CheckpointBytes() const;

  // ---- terminal sampling ----
  // When everything from the first measure on only measures (or marks time),
  // shots are drawn from the checkpoint state by one sweep of conditional
  // probabilities, in batches, without touching the chain; the last shot of
  // the run then projects the chain as the measure runs would have.
  // Collects the measured qubits of such a tail.
  static bool TailOnlyMeasures(const QuantumCircuit& circuit, std::vector<uint64_t>& qubits);
  void MeasureRunTerminal(const std::vector<uint64_t>& qubits);
  void SampleTerminalBatch(uint64_t first, uint64_t width, uint64_t shots);
  // `shots` shots of the batch's positions from `generator`, one byte per
  // position, shot after shot, into `out`.
  void DrawShots(uint64_t first, uint64_t width, uint64_t shots, std::mt19937& generator,
                 int8_t* out) const;
  template <class T>
  std::vector<T> ReverseBits(const std::vector<T>& input, uint64_t bits) const;

  bool ran_once_ = false;
  bool checkpoint_valid_ = false;
  uint64_t n_;
  double global_phase_;
  double uniform_lower_ = 0.0;
  double uniform_upper_ = 1.0;
  std::vector<QubitTensor> chain_;
  std::vector<BondValues> bonds_;
  std::vector<int64_t> measured_;
  std::vector<int64_t> position_to_qubit_;
  std::vector<int64_t> qubit_to_position_;
  // The simulated qubit of each host qubit after a reordering search; empty
  // for the identity. Conditions name host qubits.
  uint64_t max_bond_dimension_ = 512;
  int32_t thread_count_;
  int32_t hardware_threads_;
  std::vector<QubitTensor> checkpoint_chain_;
  std::vector<BondValues> checkpoint_bonds_;
  std::vector<int64_t> checkpoint_position_to_qubit_;
  std::vector<int64_t> checkpoint_qubit_to_position_;
  bool quiet_ = true;
  LineSink progress_sink_;
  StopCheck stop_check_;
  // Seeded at the first draw, from the random device and both clocks.
  std::mt19937 generator_;
  bool generator_seeded_ = false;
  // Per qubit, an outcome to take instead of a draw (-1: draw).
  std::vector<int8_t>* forced_outcomes_ = nullptr;

  // Shots of this engine so far and the circuit's count for this run.
  int64_t shots_run_ = 0;
  int64_t shots_planned_ = 1;
  // The live chain, bonds and maps equal the checkpoint's.
  bool chain_at_checkpoint_ = false;
  // This shot may draw its outcomes by the sweep; it did; it could not.
  bool terminal_shot_ = false;
  bool terminal_drawn_ = false;
  bool terminal_refused_ = false;
  // The measured qubits of the tail, and this shot's measure runs in order
  // (for the projection of the last shot).
  std::vector<uint64_t> terminal_qubits_;
  std::vector<uint64_t> terminal_positions_;
  std::vector<std::vector<uint64_t>> terminal_runs_;
  size_t terminal_run_count_ = 0;
  // The last shot's outcomes are drawn but the chain is not yet projected.
  bool settle_pending_ = false;
  // Outcomes drawn ahead: `batch_count_` shots of `batch_width_` positions
  // from `batch_first_`, one byte each; `batch_next_` is the next shot.
  std::vector<int8_t> batch_;
  uint64_t batch_first_ = 0;
  uint64_t batch_width_ = 0;
  uint64_t batch_count_ = 0;
  uint64_t batch_next_ = 0;
  // This shot's outcome per qubit (-1: not measured).
  std::vector<int8_t> shot_outcomes_;

  // Storage reused instruction by instruction.
  SplitWork split_work_;
  // ---- pairs side by side ----
  int side_threads_ = 0;
  int64_t gate_layers_side_by_side_ = 0;
  // Kept for one run (each Run releases it), so that no thread outlives it.
  std::unique_ptr<ThreadTeam> team_;
  std::vector<SplitWork> team_work_;
  std::vector<uint8_t> measure_wanted_;
  std::vector<uint64_t> measure_positions_;
  std::vector<int> measure_outcomes_;
  std::vector<uint64_t> run_qubits_;
  std::vector<WalkFrame> walk_stack_;

  // ---- shots side by side ----
  // Off while a replayed shot runs: the clock is then read once per shot and
  // only records under a condition take its times (see ReplayShots).
  bool stamp_times_ = true;
  // The record being executed is under a condition (its own or a composite's).
  bool walk_conditional_ = false;
  std::vector<Instruction*> conditional_executed_;
  std::unordered_map<Instruction*, std::pair<int64_t, int64_t>> conditional_times_;
  // A replica restores the checkpoint of the engine that made it.
  const MpsSimulator* checkpoint_owner_ = nullptr;
  std::vector<std::unique_ptr<MpsSimulator>> replicas_;
  std::vector<std::string> replay_bits_;
  // Nanoseconds of one replayed shot on one thread, as last measured (0: not yet).
  int64_t replay_shot_nanoseconds_ = 0;
  int64_t replay_threads_ = 0;
};

// Whether a matrix has the shape the update reads for this kind.
bool TwoQubitMatrixFits(GateKind kind, const Matrix& matrix);

// Merges two tensors (left columns scaled by the bond between them) into
// `out`, whose factor index has the left index as its high part.
void ContractTwoSites(const QubitTensor& left, const BondValues& bond, const QubitTensor& right,
                      QubitTensor& out);
// The truncated split of a merged pair into two positions and their bond.
void SplitTwoSites(const QubitTensor& merged, QubitTensor& left, BondValues& bond,
                   QubitTensor& right);
bool AlmostEqual(double a, double b, double absolute_tolerance, double relative_tolerance);

// The rows x c array (row-major) at the front of `data` times w (c x wc,
// row-major), in place: `data` holds rows * max(c, wc) entries; `scratch`
// is reused from call to call.
void MultiplyRowsInPlace(Complex* data, uint64_t rows, const Complex* w, uint64_t c, uint64_t wc,
                         std::vector<Complex>& scratch);

// ranks[i] := rank of values[i] in ascending order (first of equal values).
void RankPositions(const std::vector<uint64_t>& values, std::vector<uint64_t>& ranks);
// From the ascending order of `order` (most significant first) to the listed
// order (first listed most significant); input and output have 2^k entries.
template <class T>
void PermuteToRequestedOrder(const std::vector<T>& input, const std::vector<uint64_t>& order,
                             std::vector<T>& output);

}  // namespace velorin
