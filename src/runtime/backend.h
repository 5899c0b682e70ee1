// A backend runs circuits: on the caller's thread, or on its own worker
// thread that takes queued jobs first in, first out.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "circuit/quantum_circuit.h"
#include "engine/bond_policy.h"
#include "runtime/job.h"
#include "runtime/result.h"

namespace velorin {

// The mode named by an option text in any letter case; false when unknown.
bool ParsePerformanceMode(const std::string& text, uint64_t& mode);

// For the host's exit: every backend stops its running job at the next shot
// or instruction and cancels its queued jobs (CANCELLED), now and from then on.
void StopAllBackends();
bool BackendsStopping();

class BackendV2 : public std::enable_shared_from_this<BackendV2> {
 public:
  BackendV2();
  BackendV2(const BackendV2&) = delete;
  BackendV2& operator=(const BackendV2&) = delete;
  // Finishes the running job; jobs still queued become CANCELLED. A Ctrl-C
  // during the wait leaves the running job to finish on its own. In a forked
  // child there is no worker to wait for.
  ~BackendV2();

  // The explicit run form.
  std::shared_ptr<JobV1> run(QuantumCircuit& circuit, int32_t shots, bool sync_mode,
                             uint64_t performance, bool quiet, const std::string& file);
  // The keyword form, once its options are stored: fixes the bond cap and the
  // first measurement, then runs synchronously or queues.
  std::shared_ptr<JobV1> RunWithMode(QuantumCircuit& circuit, uint64_t performance, bool sync);
  void SetOutputFile(std::string file) { output_file_ = std::move(file); }

  const int32_t version = 2;
  const int32_t dt = 1;
  const int32_t dtm = 1;
  const int32_t max_circuits = 1;
  const int32_t num_qubits = 100;
  const std::string name = "tamrel_velorin";
  const std::string description = "Velorin Simulator Tamrel";
  const std::string online_date = "9/12/2023";
  const std::string backend_version = "0.3.1";

 private:
  struct JobRequest {
    std::shared_ptr<QuantumCircuit> circuit;  // what the circuit held at run time
    std::string file;
    std::shared_ptr<JobV1> job;
    std::shared_ptr<Result> result;
    std::weak_ptr<LastRun> host_run;  // where the finished run's times go back
  };

  // What the worker thread uses, shared with it: a worker left to finish its
  // job after an interrupted destructor outlives the backend.
  struct WorkerState {
    std::deque<JobRequest> queue;
    std::mutex mutex;
    std::condition_variable wake_up;
    bool stop = false;
    bool finished = false;  // the worker has left its loop
    std::condition_variable finished_signal;
  };

  JobRequest NewJob(const QuantumCircuit& circuit);
  std::shared_ptr<JobV1> SubmitAsync(const QuantumCircuit& circuit);
  std::shared_ptr<JobV1> ExecuteSync(const QuantumCircuit& circuit);
  static void WorkerLoop(const std::shared_ptr<WorkerState>& state);
  void StartWorker();
  // Copied into a forked child: the worker thread was not.
  bool Inherited() const;
  // Lets go of the parent's worker without touching it.
  void ForgetInheritedWorker();

  int32_t job_counter_ = 0;
  std::string output_file_;
  std::shared_ptr<WorkerState> state_;
  std::unique_ptr<std::thread> worker_;
  uint64_t fork_generation_;
};

}  // namespace velorin
