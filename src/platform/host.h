// What the native code needs of its host process: printing to the
// interpreter's standard output, pausing, and blocking waits. The bindings
// install interpreter-aware versions at load; native programs keep the
// defaults (standard output, plain sleeps).
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace velorin::platform {

// Print and the two interrupt checks may also be called from inside
// `blocking`: they take the interpreter back for their own duration.
struct HostHooks {
  // Writes text followed by `end`.
  std::function<void(const std::string& text, const std::string& end)> print;
  // Runs a blocking call (a sleep, a thread join, a long computation that
  // touches no host object) with the interpreter free to run other threads
  // meanwhile.
  std::function<void(const std::function<void()>& wait)> blocking;
  // Throws when the user interrupted the process (Ctrl-C).
  std::function<void()> check_interrupts;
  // For waits that cannot throw (destructors): true when the user
  // interrupted; the interrupt stays pending and reaches the host program
  // once control returns to it.
  std::function<bool()> interrupt_pending;
};

// Installed once, at module load, before any other thread exists.
void SetHostHooks(HostHooks hooks);

void Print(const std::string& text, const std::string& end = "\n");
void Blocking(const std::function<void()>& wait);
void SleepFor(std::chrono::nanoseconds duration);
void CheckInterrupts();
bool InterruptPending();

}  // namespace velorin::platform
