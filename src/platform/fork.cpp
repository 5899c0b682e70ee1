#include "platform/fork.h"

#include <pthread.h>

#include <atomic>

namespace velorin::platform {

namespace {

std::atomic<uint64_t> gForkGeneration{0};

// Held for reading by every holder of a ForkSafeMutex or a HoldOffFork, and
// for writing across a fork. Readers go first even while a fork waits, so
// that a thread taking a second hold under a first never waits for the fork
// that waits for it.
pthread_rwlock_t gForkGate;

void InitGate() {
  pthread_rwlockattr_t attributes;
  pthread_rwlockattr_init(&attributes);
  pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_READER_NP);
  pthread_rwlock_init(&gForkGate, &attributes);
  pthread_rwlockattr_destroy(&attributes);
}

void CloseGate() { pthread_rwlock_wrlock(&gForkGate); }
void OpenGateInParent() { pthread_rwlock_unlock(&gForkGate); }
// The writer's record names the parent's thread id: the child starts afresh
// (it is alone, nobody else holds the gate).
void OpenGateInChild() {
  InitGate();
  gForkGeneration.fetch_add(1, std::memory_order_relaxed);
}

pthread_rwlock_t& Gate() {
  static const bool ready = [] {
    InitGate();
    pthread_atfork(CloseGate, OpenGateInParent, OpenGateInChild);
    return true;
  }();
  static_cast<void>(ready);
  return gForkGate;
}

}  // namespace

uint64_t ForkGeneration() {
  Gate();
  return gForkGeneration.load(std::memory_order_relaxed);
}

void AtFork(void (*prepare)(), void (*parent)(), void (*child)()) {
  pthread_atfork(prepare, parent, child);
}

HoldOffFork::HoldOffFork() { pthread_rwlock_rdlock(&Gate()); }

HoldOffFork::~HoldOffFork() { pthread_rwlock_unlock(&gForkGate); }

void ForkSafeMutex::lock() {
  pthread_rwlock_rdlock(&Gate());
  mutex_.lock();
}

bool ForkSafeMutex::try_lock() {
  if (pthread_rwlock_tryrdlock(&Gate()) != 0) return false;
  if (mutex_.try_lock()) return true;
  pthread_rwlock_unlock(&gForkGate);
  return false;
}

void ForkSafeMutex::unlock() {
  mutex_.unlock();
  pthread_rwlock_unlock(&gForkGate);
}

}  // namespace velorin::platform
