// The system's source of non-deterministic random numbers.
#pragma once

#include <cstdint>

namespace velorin::platform {

// One 32-bit draw from the random device; 0 when the device cannot be used,
// so that callers that mix in the clocks still get a usable seed.
uint32_t RandomDeviceDraw();

}  // namespace velorin::platform
