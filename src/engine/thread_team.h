// A few threads kept for the length of a run, handed batches of independent
// tasks. Idle threads sleep on a condition variable: on a machine whose cores
// are busy, spinning threads would take time from the very threads they wait
// for.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace velorin {

class ThreadTeam {
 public:
  // Receives the task's index and the slot of the thread running it (0: the
  // calling thread; slots are below the thread count given to Run).
  using Task = std::function<void(size_t index, size_t slot)>;

  ThreadTeam() = default;
  ~ThreadTeam();
  ThreadTeam(const ThreadTeam&) = delete;
  ThreadTeam& operator=(const ThreadTeam&) = delete;

  // Runs tasks 0..count-1 on at most `threads` threads, the calling one
  // included, taking them in index order; returns when all have ended. Starts
  // the threads it lacks (fewer when the system refuses more). The first
  // exception of a task, in index order, is thrown here once all have ended.
  // Every thread runs under SerialMath: the splits of a task stay on its thread.
  void Run(size_t count, size_t threads, const Task& task);

 private:
  void Work();
  void Drain(size_t slot);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::vector<std::thread> threads_;
  // Written under the mutex before a batch's threads wake; read by them only
  // while the batch lasts.
  const Task* task_ = nullptr;
  size_t count_ = 0;
  uint64_t batch_ = 0;
  size_t wanted_ = 0;  // helper threads this batch may take
  size_t joined_ = 0;  // helper threads that took part, each its own slot
  size_t busy_ = 0;    // helper threads still running tasks of it
  bool open_ = false;  // helpers may still join
  size_t next_ = 0;    // the next task, under the mutex
  std::vector<std::exception_ptr> errors_;
  bool stop_ = false;
};

}  // namespace velorin
