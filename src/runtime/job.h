// A job: the handle a run returns, moved along by the backend that runs it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/fork.h"

namespace velorin {

enum class JobStatus : int32_t {
  INITIALIZING = 0,
  QUEUED = 1,
  VALIDATING = 2,
  RUNNING = 3,
  CANCELLED = 4,
  DONE = 5,
  ERROR = 6,
};

bool IsFinal(JobStatus status);

class BackendV2;
class Result;

// Shared by the host's handle and the backend's queue, so neither can leave
// the other with a dangling job. A job copied into a forked child while it
// waited or ran there is CANCELLED: no thread of the child will move it on.
class JobV1 {
 public:
  explicit JobV1(std::string job_id);
  JobV1(const JobV1&) = delete;
  JobV1& operator=(const JobV1&) = delete;

  std::string job_id() const { return job_id_; }
  JobStatus status() const;
  bool done() const;
  bool running() const;
  bool cancelled() const;
  bool in_final_state() const;
  // INITIALIZING, QUEUED or VALIDATING become CANCELLED; anything else stays.
  void cancel();
  [[noreturn]] void submit();

  // None once the backend is gone.
  std::shared_ptr<BackendV2> backend() const;
  std::shared_ptr<Result> result() const;

  void SetStatus(JobStatus status);
  void Attach(std::weak_ptr<BackendV2> backend, std::shared_ptr<Result> result);
  // One locked check-and-set, so a cancelled job never starts.
  bool StartUnlessCancelled();

  const int32_t version = 1;
  const bool _async = true;

 private:
  // The status, once a job inherited across a fork has been told so.
  JobStatus& StatusLocked() const;

  const std::string job_id_;
  mutable platform::ForkSafeMutex mutex_;
  mutable JobStatus status_ = JobStatus::INITIALIZING;
  mutable uint64_t fork_generation_;
  std::weak_ptr<BackendV2> backend_;
  std::shared_ptr<Result> result_;
};

// The status line job_monitor prints.
const char* StatusLine(JobStatus status);

// Sleeps with the interpreter free, checking for Ctrl-C at least every 0.1 s.
void PauseInterruptibly(std::chrono::nanoseconds pause);

// Polls the job until it is final, printing a line per poll unless quiet.
void job_monitor(const JobV1& job, int32_t interval, bool quiet);

// "Timeout while waiting for job: <id> <seconds> seconds passed\n".
std::string TimeoutMessage(const std::string& job_id, int64_t seconds);

}  // namespace velorin
