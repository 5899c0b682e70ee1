// Available physical memory.
#pragma once

#include <cstdint>

namespace velorin::platform {

// Bytes of memory available to this process: MemAvailable, bounded by the
// cgroup limit and the address-space limit where they are set; 0 when nothing
// can be read.
uint64_t AvailablePhysicalMemory();

}  // namespace velorin::platform
