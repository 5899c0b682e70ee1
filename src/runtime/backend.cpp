#include "runtime/backend.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>

#include "circuit/errors.h"
#include "circuit/text_helpers.h"
#include "composite/first_measure.h"
#include "engine/bond_policy.h"
#include "engine/mps_simulator.h"
#include "platform/clock.h"
#include "platform/fork.h"
#include "platform/host.h"
#include "platform/text.h"
#include "runtime/shot_text.h"

namespace velorin {

namespace {

constexpr const char* kModeNames[] = {"HIGHESTEFFICIENCY", "BALANCEDACCURACY", "HIGHESTACCURACY",
                                      "AUTOMATIC", "LIBERAL"};

std::atomic<bool> gStopAll{false};

// Thrown by a worker's check once the host exits; ends the job CANCELLED.
struct RunStopped {};

// How often a synchronous run looks for Ctrl-C: often enough to answer within
// a fraction of a second, seldom enough that taking the interpreter back costs
// nothing measurable.
constexpr int64_t kInterruptPollNanoseconds = 50'000'000;

std::unique_ptr<std::ofstream> OpenOutput(const std::string& path) {
  if (path.empty()) return nullptr;
  auto file = std::make_unique<std::ofstream>(path, std::ios::app);
  if (!file->is_open()) return nullptr;
  return file;
}

// Every shot of the circuit; shots past the stored ones still go to the file.
// `before_shot` sees the shot number and the count. The engine's stop check
// also runs before every shot. Without `before_shot`, the shots between the
// first and the last run in batches side by side where the engine can.
void RunShots(MpsSimulator& engine, QuantumCircuit& circuit, Result& result, std::ofstream* file,
              const std::function<void(int32_t, int32_t)>& before_shot,
              const MpsSimulator::StopCheck& stop_check) {
  auto keep = [&](const std::string& bits) {
    result.AppendShot(bits);
    if (file != nullptr) {
      *file << bits << '\n';
      file->flush();
    }
  };
  bool side_by_side = !before_shot;
  for (int32_t i = 0; i < circuit.shots;) {
    stop_check();
    if (side_by_side && i > 0) {
      const int64_t ran = engine.ReplayShots(circuit, keep);
      if (ran > 0) {
        i += static_cast<int32_t>(ran);
        continue;
      }
      side_by_side = false;
    }
    if (before_shot) before_shot(i, circuit.shots);
    engine.Run(circuit);
    keep(MeasuredText(engine, /*with_unmeasured=*/false));
    ++i;
  }
}

// The host's circuit learns the times of its finished run; a circuit that
// has gone meanwhile is simply not told.
void HandBackTimes(const std::weak_ptr<LastRun>& host_run,
                   const std::shared_ptr<QuantumCircuit>& executed, const std::string& started) {
  if (std::shared_ptr<LastRun> run = host_run.lock()) {
    std::lock_guard<platform::ForkSafeMutex> lock(run->mutex);
    run->executed = executed;
    run->start_text = started;
  }
}

std::unique_ptr<MpsSimulator> NewEngine(const QuantumCircuit& circuit) {
  return std::make_unique<MpsSimulator>(circuit.total_qubits, circuit.global_phase);
}

}  // namespace

void StopAllBackends() { gStopAll.store(true); }

bool BackendsStopping() { return gStopAll.load(std::memory_order_relaxed); }

bool ParsePerformanceMode(const std::string& text, uint64_t& mode) {
  const std::string upper = platform::AsciiUpper(text);
  for (uint64_t i = 0; i < std::size(kModeNames); ++i) {
    if (upper == kModeNames[i]) {
      mode = i;
      return true;
    }
  }
  return false;
}

BackendV2::BackendV2() { StartWorker(); }

void BackendV2::StartWorker() {
  const uint64_t generation = platform::ForkGeneration();
  auto state = std::make_shared<WorkerState>();
  auto worker = std::make_unique<std::thread>([state] { WorkerLoop(state); });
  state_ = std::move(state);
  worker_ = std::move(worker);
  fork_generation_ = generation;
}

bool BackendV2::Inherited() const { return fork_generation_ != platform::ForkGeneration(); }

void BackendV2::ForgetInheritedWorker() {
  // The handle names a thread of the parent: joining or detaching it here
  // would act on whatever thread the child has since started in its place,
  // and the handle's destructor would end the process. It is left unused.
  static_cast<void>(worker_.release());
  // The state stays as the fork left it: the parent's worker, copied but
  // never run here, keeps its share for good, so nothing destroys condition
  // variables it seemed to wait on. Its queued jobs report CANCELLED.
  state_.reset();
}

BackendV2::~BackendV2() {
  if (Inherited()) {
    ForgetInheritedWorker();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
    // Their waits must end: nothing will run them now.
    for (JobRequest& request : state_->queue) request.job->cancel();
    state_->queue.clear();
  }
  state_->wake_up.notify_one();
  for (;;) {
    bool finished = false;
    platform::Blocking([&] {
      std::unique_lock<std::mutex> lock(state_->mutex);
      finished = state_->finished_signal.wait_for(lock, std::chrono::milliseconds(100),
                                                  [&] { return state_->finished; });
    });
    if (finished) break;
    if (!BackendsStopping() && platform::InterruptPending()) {
      worker_->detach();  // it holds its own share of the state
      return;
    }
  }
  worker_->join();
}

std::shared_ptr<JobV1> BackendV2::run(QuantumCircuit& circuit, int32_t shots, bool sync_mode,
                                      uint64_t performance, bool quiet, const std::string& file) {
  gQuiet = quiet;
  output_file_ = file;
  circuit.shots = shots;
  circuit.quiet = !sync_mode;
  return RunWithMode(circuit, performance, sync_mode);
}

std::shared_ptr<JobV1> BackendV2::RunWithMode(QuantumCircuit& circuit, uint64_t performance,
                                              bool sync) {
  if (Inherited()) {
    // A run of the child's own gets a worker of the child's own.
    ForgetInheritedWorker();
    StartWorker();
  }
  SelectMaxBondDimension(circuit, performance);
  ComputeFirstMeasureIndex(circuit);
  return sync ? ExecuteSync(circuit) : SubmitAsync(circuit);
}

BackendV2::JobRequest BackendV2::NewJob(const QuantumCircuit& circuit) {
  const std::string id = std::to_string(job_counter_);
  auto job = std::make_shared<JobV1>(id);
  auto result = std::make_shared<Result>(name, backend_version, "", id, platform::CtimeNow(),
                                         "Functional", "");
  std::shared_ptr<QuantumCircuit> snapshot = circuit.Snapshot();
  result->SetCircuit(snapshot);
  job->Attach(weak_from_this(), result);
  return JobRequest{std::move(snapshot), output_file_, std::move(job), std::move(result),
                    circuit.last_run};
}

std::shared_ptr<JobV1> BackendV2::SubmitAsync(const QuantumCircuit& circuit) {
  JobRequest request = NewJob(circuit);
  request.circuit->quiet = true;  // the worker thread never prints
  std::shared_ptr<JobV1> job = request.job;
  ++job_counter_;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    job->SetStatus(JobStatus::QUEUED);
    state_->queue.push_back(std::move(request));
  }
  state_->wake_up.notify_one();
  return job;
}

std::shared_ptr<JobV1> BackendV2::ExecuteSync(const QuantumCircuit& circuit) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->queue.empty()) {
      throw RunTimeError(
          "The execution queue is not empty. Wait for completion or execute in async mode.");
    }
  }
  JobRequest request = NewJob(circuit);
  request.job->SetStatus(JobStatus::RUNNING);
  std::unique_ptr<MpsSimulator> engine;
  try {
    engine = NewEngine(*request.circuit);
  } catch (const std::exception&) {
    // Failure is reported through the job, never as success.
    request.result->Finish(nullptr, false);
    request.job->SetStatus(JobStatus::ERROR);
    return request.job;
  }
  const bool quiet = gQuiet;
  engine->SetProgressSink([](const std::string& line) { platform::Print(line); });
  // Ctrl-C between shots and instructions; the interpreter is free meanwhile,
  // and is taken back only to print and to look for the interrupt.
  bool interrupted = false;
  // Asked between instructions: the coarse clock is enough for a 50 ms poll
  // and costs a fraction of the precise one.
  int64_t last_poll = platform::CoarseSteadyNanoseconds();
  const MpsSimulator::StopCheck check = [&interrupted, &last_poll] {
    const int64_t now = platform::CoarseSteadyNanoseconds();
    if (now - last_poll < kInterruptPollNanoseconds) return;
    last_poll = now;
    try {
      platform::CheckInterrupts();
    } catch (...) {
      interrupted = true;
      throw;
    }
  };
  engine->SetStopCheck(check);
  std::string started;
  try {
    platform::Blocking([&] {
      auto file = OpenOutput(request.file);
      if (!request.file.empty() && !file && !quiet) platform::Print("Error opening file.");
      started = CurrentTimestamp();
      const std::string start_line =
          "\nExecuting Circuit start time: " + started +
          " Param: " + std::to_string(request.circuit->max_bond_dimension) + "\n";
      if (!quiet) platform::Print(start_line);
      // The shot counter is printed shot by shot; a quiet run leaves the
      // shots free to run side by side.
      std::function<void(int32_t, int32_t)> counter;
      if (!quiet) {
        counter = [](int32_t i, int32_t n) {
          platform::Print("\rExecuting: " + std::to_string(i + 1) + " of " + std::to_string(n), " ");
        };
      }
      RunShots(*engine, *request.circuit, *request.result, file.get(), counter, check);
      if (!quiet) {
        platform::Print(start_line);
        platform::Print("\nCompleted Circuit end time: " + CurrentTimestamp() + "\n");
      }
    });
  } catch (...) {
    // The caller gets the error and no job; the job still ends final.
    request.result->Finish(nullptr, false);
    request.job->SetStatus(interrupted ? JobStatus::CANCELLED : JobStatus::ERROR);
    throw;
  }
  HandBackTimes(request.host_run, request.circuit, started);
  engine->SetStopCheck(nullptr);
  engine->SetProgressSink(nullptr);
  request.result->Finish(std::move(engine), true);
  request.job->SetStatus(JobStatus::DONE);
  return request.job;
}

void BackendV2::WorkerLoop(const std::shared_ptr<WorkerState>& state) {
  const MpsSimulator::StopCheck stop_check = [] {
    if (BackendsStopping()) throw RunStopped();
  };
  for (;;) {
    JobRequest request;
    {
      std::unique_lock<std::mutex> lock(state->mutex);
      state->wake_up.wait(lock, [&] { return state->stop || !state->queue.empty(); });
      if (state->queue.empty()) {
        state->finished = true;
        state->finished_signal.notify_all();
        return;
      }
      request = std::move(state->queue.front());
      state->queue.pop_front();
    }
    if (BackendsStopping()) request.job->cancel();
    if (!request.job->StartUnlessCancelled()) continue;
    try {
      const std::string started = CurrentTimestamp();
      auto engine = NewEngine(*request.circuit);
      engine->SetStopCheck(stop_check);
      auto file = OpenOutput(request.file);
      RunShots(*engine, *request.circuit, *request.result, file.get(), nullptr, stop_check);
      HandBackTimes(request.host_run, request.circuit, started);
      engine->SetStopCheck(nullptr);
      request.result->Finish(std::move(engine), true);
      request.job->SetStatus(JobStatus::DONE);
    } catch (const RunStopped&) {
      request.result->Finish(nullptr, false);
      request.job->SetStatus(JobStatus::CANCELLED);
    } catch (...) {
      // A failed job must not take the worker with it.
      request.result->Finish(nullptr, false);
      request.job->SetStatus(JobStatus::ERROR);
    }
  }
}

}  // namespace velorin
