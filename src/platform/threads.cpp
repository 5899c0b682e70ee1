#include "platform/threads.h"

#include <sched.h>

#include <thread>

namespace velorin::platform {

uint32_t HardwareThreads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<uint32_t>(count);
  }
  return std::thread::hardware_concurrency();
}

uint32_t WorkerThreads() {
  const uint32_t hardware = HardwareThreads();
  return hardware > 2 ? hardware - 2 : 1;
}

}  // namespace velorin::platform
