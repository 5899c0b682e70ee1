#include "engine/thread_team.h"

#include <algorithm>

#include "engine/svd.h"

namespace velorin {

ThreadTeam::~ThreadTeam() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ThreadTeam::Drain(size_t slot) {
  for (;;) {
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (next_ >= count_) return;
      index = next_++;
    }
    try {
      (*task_)(index, slot);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      errors_[index] = std::current_exception();
    }
  }
}

void ThreadTeam::Work() {
  SerialMath serial(false);
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || (batch_ != seen && open_ && joined_ < wanted_); });
    if (stop_) return;
    seen = batch_;
    const size_t slot = ++joined_;
    ++busy_;
    lock.unlock();
    Drain(slot);
    lock.lock();
    if (--busy_ == 0 && !open_) finished_.notify_one();
  }
}

void ThreadTeam::Run(size_t count, size_t threads, const Task& task) {
  if (count == 0) return;
  threads = std::max<size_t>(1, std::min(threads, count));
  // The libraries' thread counts go to one before any helper starts.
  SerialMath serial(true);
  while (threads_.size() + 1 < threads) {
    try {
      threads_.emplace_back(&ThreadTeam::Work, this);
    } catch (...) {
      break;  // no more threads to be had: the ones there share the batch
    }
  }
  const size_t helpers = std::min(threads - 1, threads_.size());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    count_ = count;
    next_ = 0;
    errors_.assign(count, nullptr);
    wanted_ = helpers;
    joined_ = 0;
    busy_ = 0;
    open_ = true;
    ++batch_;
  }
  for (size_t k = 0; k < helpers; ++k) wake_.notify_one();
  Drain(0);
  {
    // Helpers not yet awake when the tasks ran out are not waited for.
    std::unique_lock<std::mutex> lock(mutex_);
    open_ = false;
    finished_.wait(lock, [&] { return busy_ == 0; });
    task_ = nullptr;
  }
  for (const std::exception_ptr& error : errors_) {
    if (error) std::rethrow_exception(error);
  }
}

}  // namespace velorin
