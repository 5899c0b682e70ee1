#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <time.h>
#include <thread>

namespace velorin::platform {

int64_t WallClockTicks() {
  using namespace std::chrono;
  return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(
             system_clock::now().time_since_epoch())
      .count();
}

int64_t SteadyNanoseconds() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t CoarseSteadyNanoseconds() {
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) != 0) return SteadyNanoseconds();
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void SleepUntilSteady(int64_t deadline) {
  using namespace std::chrono;
  std::this_thread::sleep_until(steady_clock::time_point(nanoseconds(deadline)));
}

std::string FormatLocalTime(int64_t seconds_since_epoch) {
  std::time_t t = static_cast<std::time_t>(seconds_since_epoch);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return "";
  char buffer[80];
  size_t n = std::strftime(buffer, sizeof buffer, "%F %H:%M:%S", &local);
  return std::string(buffer, n);
}

std::string CtimeNow() {
  std::time_t t = std::time(nullptr);
  char buffer[64];
  if (ctime_r(&t, buffer) == nullptr) return "";
  return buffer;
}

}  // namespace velorin::platform
