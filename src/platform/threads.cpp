#include "platform/threads.h"

#include <sched.h>

#include <thread>

#ifdef _OPENMP
#include <omp.h>
#endif

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
  uint32_t threads = hardware > 2 ? hardware - 2 : 1;
#ifdef _OPENMP
  // A bound, never more than the user allows (OMP_NUM_THREADS).
  const int allowed = omp_get_max_threads();
  if (allowed >= 1 && static_cast<uint32_t>(allowed) < threads) threads = static_cast<uint32_t>(allowed);
#endif
  return threads;
}

}  // namespace velorin::platform
