// Hardware threads of this process, for sizing OpenMP teams and Eigen.
#pragma once

#include <cstdint>

namespace velorin::platform {

// CPUs this process may run on (its affinity mask, which also reflects container
// limits); the standard library's count when the mask cannot be read; 0 if unknown.
// Never more than OMP_THREAD_LIMIT where that is set.
uint32_t HardwareThreads();

// Threads for parallel work: hardware threads - 2, at least 1, so that the
// interpreter and the backend's worker keep a core each where there are enough;
// never more than OpenMP's own limit (OMP_NUM_THREADS when the user sets it).
uint32_t WorkerThreads();

// Threads of the whole system running or ready to run at this moment, the
// caller's own included (the kernel's count in /proc/loadavg); 0 when unknown.
// A snapshot: it says whether cores are free now, not how busy they were.
uint32_t RunnableThreads();

// Threads of this process running or ready to run at this moment (from
// /proc/self/task), the caller's own included; 0 when unknown.
uint32_t RunnableThreadsOfProcess();

}  // namespace velorin::platform
