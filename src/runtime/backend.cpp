#include "runtime/backend.h"

#include <fstream>
#include <functional>

#include "circuit/errors.h"
#include "circuit/text_helpers.h"
#include "composite/first_measure.h"
#include "engine/bond_policy.h"
#include "engine/mps_simulator.h"
#include "platform/clock.h"
#include "platform/host.h"
#include "platform/text.h"
#include "runtime/shot_text.h"

namespace velorin {

namespace {

constexpr const char* kModeNames[] = {"HIGHESTEFFICIENCY", "BALANCEDACCURACY", "HIGHESTACCURACY",
                                      "AUTOMATIC", "LIBERAL"};

std::unique_ptr<std::ofstream> OpenOutput(const std::string& path) {
  if (path.empty()) return nullptr;
  auto file = std::make_unique<std::ofstream>(path, std::ios::app);
  if (!file->is_open()) return nullptr;
  return file;
}

// Every shot of the circuit; shots past the stored ones still go to the file.
// `before_shot` sees the shot number and the count.
void RunShots(MpsSimulator& engine, QuantumCircuit& circuit, Result& result, std::ofstream* file,
              const std::function<void(int32_t, int32_t)>& before_shot) {
  for (int32_t i = 0; i < circuit.shots; ++i) {
    if (before_shot) before_shot(i, circuit.shots);
    engine.Run(circuit);
    const std::string bits = MeasuredText(engine, &circuit, /*with_unmeasured=*/false);
    result.AppendShot(bits);
    if (file != nullptr) {
      *file << bits << '\n';
      file->flush();
    }
  }
}

// The host's circuit learns the times of its finished run; a circuit that
// has gone meanwhile is simply not told.
void HandBackTimes(const std::weak_ptr<LastRun>& host_run,
                   const std::shared_ptr<QuantumCircuit>& executed, const std::string& started) {
  if (std::shared_ptr<LastRun> run = host_run.lock()) {
    std::lock_guard<std::mutex> lock(run->mutex);
    run->executed = executed;
    run->start_text = started;
  }
}

std::unique_ptr<MpsSimulator> NewEngine(const QuantumCircuit& circuit) {
  return std::make_unique<MpsSimulator>(circuit.total_qubits, circuit.global_phase);
}

}  // namespace

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

BackendV2::BackendV2() : worker_([this] { WorkerLoop(); }) {}

BackendV2::~BackendV2() {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    stop_ = true;
  }
  wake_up_.notify_one();
  platform::Blocking([this] {
    if (worker_.joinable()) worker_.join();
  });
  // Their waits must end: nothing will run them now.
  for (JobRequest& request : queue_) request.job->cancel();
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
    std::lock_guard<std::mutex> lock(queue_mutex_);
    job->SetStatus(JobStatus::QUEUED);
    queue_.push_back(std::move(request));
  }
  wake_up_.notify_one();
  return job;
}

std::shared_ptr<JobV1> BackendV2::ExecuteSync(const QuantumCircuit& circuit) {
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    if (!queue_.empty()) {
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
  auto file = OpenOutput(request.file);
  if (!request.file.empty() && !file && !quiet) platform::Print("Error opening file.");
  const std::string started = CurrentTimestamp();
  const std::string start_line = "\nExecuting Circuit start time: " + started +
                                 " Param: " + std::to_string(request.circuit->max_bond_dimension) +
                                 "\n";
  if (!quiet) platform::Print(start_line);
  RunShots(*engine, *request.circuit, *request.result, file.get(), [quiet](int32_t i, int32_t n) {
    if (!quiet) {
      platform::Print("\rExecuting: " + std::to_string(i + 1) + " of " + std::to_string(n), " ");
    }
  });
  if (!quiet) {
    platform::Print(start_line);
    platform::Print("\nCompleted Circuit end time: " + CurrentTimestamp() + "\n");
  }
  HandBackTimes(request.host_run, request.circuit, started);
  request.result->Finish(std::move(engine), true);
  request.job->SetStatus(JobStatus::DONE);
  return request.job;
}

void BackendV2::WorkerLoop() {
  for (;;) {
    JobRequest request;
    {
      std::unique_lock<std::mutex> lock(queue_mutex_);
      wake_up_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      request = std::move(queue_.front());
      queue_.pop_front();
    }
    if (!request.job->StartUnlessCancelled()) continue;
    try {
      const std::string started = CurrentTimestamp();
      auto engine = NewEngine(*request.circuit);
      auto file = OpenOutput(request.file);
      RunShots(*engine, *request.circuit, *request.result, file.get(), nullptr);
      HandBackTimes(request.host_run, request.circuit, started);
      request.result->Finish(std::move(engine), true);
      request.job->SetStatus(JobStatus::DONE);
    } catch (...) {
      // A failed job must not take the worker with it.
      request.result->Finish(nullptr, false);
      request.job->SetStatus(JobStatus::ERROR);
    }
  }
}

}  // namespace velorin
