#include "platform/threads.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

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

uint32_t RunnableThreads() {
  // "0.52 0.58 0.59 3/187 1234": the fourth field is runnable/existing.
  const int fd = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  const ssize_t length = read(fd, text, sizeof text - 1);
  close(fd);
  if (length <= 0) return 0;
  text[length] = '\0';
  const char* p = text;
  for (int field = 0; field < 3; ++field) {
    while (*p != '\0' && *p != ' ') ++p;
    while (*p == ' ') ++p;
  }
  uint32_t count = 0;
  bool digits = false;
  for (; *p >= '0' && *p <= '9' && count < 100000000; ++p) {
    count = count * 10 + static_cast<uint32_t>(*p - '0');
    digits = true;
  }
  return digits && *p == '/' ? count : 0;
}

}  // namespace velorin::platform
