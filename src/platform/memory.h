// Available physical memory.
#pragma once

#include <cstdint>

namespace velorin::platform {

// Bytes of physical memory available to this process: MemAvailable, bounded by
// the cgroup limit where one is set; 0 when nothing can be read.
uint64_t AvailablePhysicalMemory();

}  // namespace velorin::platform
