#include "platform/host.h"

#include <iostream>
#include <thread>

namespace velorin::platform {

namespace {

HostHooks& Hooks() {
  static HostHooks hooks{
      [](const std::string& text, const std::string& end) { std::cout << text << end; },
      [](const std::function<void()>& wait) { wait(); },
      [] {},
      [] { return false; },
  };
  return hooks;
}

}  // namespace

void SetHostHooks(HostHooks hooks) {
  HostHooks& current = Hooks();
  if (hooks.print) current.print = std::move(hooks.print);
  if (hooks.blocking) current.blocking = std::move(hooks.blocking);
  if (hooks.check_interrupts) current.check_interrupts = std::move(hooks.check_interrupts);
  if (hooks.interrupt_pending) current.interrupt_pending = std::move(hooks.interrupt_pending);
}

void Print(const std::string& text, const std::string& end) { Hooks().print(text, end); }

void Blocking(const std::function<void()>& wait) { Hooks().blocking(wait); }

void SleepFor(std::chrono::nanoseconds duration) {
  if (duration.count() <= 0) return;
  Blocking([duration] { std::this_thread::sleep_for(duration); });
}

void CheckInterrupts() { Hooks().check_interrupts(); }

bool InterruptPending() { return Hooks().interrupt_pending(); }

}  // namespace velorin::platform
