// Free physical memory as the system reports it.
#pragma once

#include <cstdint>

namespace velorin::platform {

// Bytes of physical memory available to this process: the kernel's estimate
// of available memory, bounded by the control group's remaining allowance
// where a limit is set; 0 when nothing can be read.
uint64_t AvailableMemoryBytes();

}  // namespace velorin::platform
