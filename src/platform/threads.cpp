#include "platform/threads.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <string>
#include <thread>

#ifdef _OPENMP
#include <omp.h>
#endif

namespace velorin::platform {

uint32_t HardwareThreads() {
  uint32_t count = 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) count = static_cast<uint32_t>(CPU_COUNT(&set));
  if (count == 0) count = std::thread::hardware_concurrency();
#ifdef _OPENMP
  // OMP_THREAD_LIMIT bounds every thread of the process, the engine's own
  // included: a host running several processes side by side sets it.
  const int limit = omp_get_thread_limit();
  if (limit >= 1 && count > static_cast<uint32_t>(limit)) count = static_cast<uint32_t>(limit);
#endif
  return count;
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

namespace {

// The start of a small /proc file as text; empty when it cannot be read.
std::string ReadSmallFile(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char text[512];
  const ssize_t length = read(fd, text, sizeof text);
  close(fd);
  return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

}  // namespace

uint32_t RunnableThreads() {
  // "0.52 0.58 0.59 3/187 1234": the fourth field is runnable/existing.
  const std::string loadavg = ReadSmallFile("/proc/loadavg");
  if (loadavg.empty()) return 0;
  const char* text = loadavg.c_str();
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

uint32_t RunnableThreadsOfProcess() {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return 0;
  uint32_t count = 0;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string path = std::string("/proc/self/task/") + entry->d_name + "/stat";
    // "tid (name) S ...": the state follows the last ')', as the name may hold any.
    const std::string stat = ReadSmallFile(path.c_str());
    const size_t close_paren = stat.rfind(')');
    if (close_paren != std::string::npos && close_paren + 2 < stat.size() &&
        stat[close_paren + 2] == 'R') {
      ++count;
    }
  }
  closedir(tasks);
  return count;
}

}  // namespace velorin::platform
