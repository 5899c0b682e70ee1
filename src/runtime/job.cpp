#include "runtime/job.h"

#include <algorithm>
#include <chrono>

#include "circuit/errors.h"
#include "platform/host.h"
#include "runtime/result.h"

namespace velorin {

bool IsFinal(JobStatus status) {
  return status == JobStatus::CANCELLED || status == JobStatus::DONE ||
         status == JobStatus::ERROR;
}

JobV1::JobV1(std::string job_id)
    : job_id_(std::move(job_id)), fork_generation_(platform::ForkGeneration()) {}

JobStatus& JobV1::StatusLocked() const {
  const uint64_t generation = platform::ForkGeneration();
  if (fork_generation_ != generation) {
    fork_generation_ = generation;
    if (status_ == JobStatus::QUEUED || status_ == JobStatus::RUNNING) {
      status_ = JobStatus::CANCELLED;
    }
  }
  return status_;
}

JobStatus JobV1::status() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return StatusLocked();
}

bool JobV1::done() const { return status() == JobStatus::DONE; }
bool JobV1::running() const { return status() == JobStatus::RUNNING; }
bool JobV1::cancelled() const { return status() == JobStatus::CANCELLED; }
bool JobV1::in_final_state() const { return IsFinal(status()); }

void JobV1::cancel() {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  JobStatus& status = StatusLocked();
  if (status == JobStatus::INITIALIZING || status == JobStatus::QUEUED ||
      status == JobStatus::VALIDATING) {
    status = JobStatus::CANCELLED;
  }
}

void JobV1::submit() { throw NotImplemented("JobV1::submit"); }

std::shared_ptr<BackendV2> JobV1::backend() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return backend_.lock();
}

std::shared_ptr<Result> JobV1::result() const {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  return result_;
}

void JobV1::SetStatus(JobStatus status) {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  StatusLocked() = status;
}

void JobV1::Attach(std::weak_ptr<BackendV2> backend, std::shared_ptr<Result> result) {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  StatusLocked() = JobStatus::INITIALIZING;
  backend_ = std::move(backend);
  result_ = std::move(result);
}

bool JobV1::StartUnlessCancelled() {
  std::lock_guard<platform::ForkSafeMutex> lock(mutex_);
  JobStatus& status = StatusLocked();
  if (status == JobStatus::CANCELLED) return false;
  status = JobStatus::RUNNING;
  return true;
}

const char* StatusLine(JobStatus status) {
  switch (status) {
    case JobStatus::INITIALIZING:
      return "Job Initializing";
    case JobStatus::QUEUED:
      return "Job Queued";
    case JobStatus::VALIDATING:
      return "Job Validating";
    case JobStatus::RUNNING:
      return "Job Running";
    case JobStatus::CANCELLED:
      return "Job Cancelled";
    case JobStatus::DONE:
      return "Job Done.";
    case JobStatus::ERROR:
      return "Job Error";
  }
  return "Job Status Unknown";
}

void PauseInterruptibly(std::chrono::nanoseconds pause) {
  // Short slices, so that Ctrl-C is seen soon whatever the pause.
  constexpr std::chrono::milliseconds kSlice(100);
  const auto end = std::chrono::steady_clock::now() + pause;
  platform::CheckInterrupts();
  for (auto now = std::chrono::steady_clock::now(); now < end;
       now = std::chrono::steady_clock::now()) {
    platform::SleepFor(std::min<std::chrono::nanoseconds>(end - now, kSlice));
    platform::CheckInterrupts();
  }
}

void job_monitor(const JobV1& job, int32_t interval, bool quiet) {
  using std::chrono::seconds;
  PauseInterruptibly(seconds(2));
  const seconds pause = interval == 0 ? seconds(1) : seconds(interval < 0 ? 0 : interval);
  for (;;) {
    PauseInterruptibly(pause);
    const JobStatus status = job.status();
    if (!quiet) platform::Print(StatusLine(status));
    if (IsFinal(status)) break;
  }
  if (!quiet) platform::Print("Ending Job Monitor");
}

std::string TimeoutMessage(const std::string& job_id, int64_t seconds) {
  return "Timeout while waiting for job: " + job_id + " " + std::to_string(seconds) +
         " seconds passed\n";
}

}  // namespace velorin
