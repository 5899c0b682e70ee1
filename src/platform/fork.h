// fork() copies only the calling thread into the child. Objects shared with
// other threads learn here that they were copied into such a child, and the
// locks they share come back free there.
#pragma once

#include <cstdint>
#include <mutex>

namespace velorin::platform {

// Bumped in the child of every fork, before fork returns there: an object
// that keeps the value it saw at its creation knows when it was inherited.
uint64_t ForkGeneration();

// Runs `prepare` on the forking thread before every fork, and `parent` or
// `child` after it in the respective process.
void AtFork(void (*prepare)(), void (*parent)(), void (*child)());

// A mutex that no fork copies while it is held: a fork waits until no thread
// holds one, so that in the child each is free and what it guards is whole.
// Hold one only briefly, and never while waiting for the interpreter lock
// (the forking thread holds it) or for another thread.
// While one exists, a fork waits. For calls into a library that keeps locks
// of its own and does not expect fork: the child must not find them held.
class HoldOffFork {
 public:
  HoldOffFork();
  HoldOffFork(const HoldOffFork&) = delete;
  HoldOffFork& operator=(const HoldOffFork&) = delete;
  ~HoldOffFork();
};

class ForkSafeMutex {
 public:
  ForkSafeMutex() = default;
  ForkSafeMutex(const ForkSafeMutex&) = delete;
  ForkSafeMutex& operator=(const ForkSafeMutex&) = delete;

  void lock();
  bool try_lock();
  void unlock();

 private:
  std::mutex mutex_;
};

}  // namespace velorin::platform
