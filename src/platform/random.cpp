#include "platform/random.h"

#include <exception>
#include <random>

namespace velorin::platform {

uint32_t RandomDeviceDraw() {
  try {
    // Opening the device costs far more than a draw: one per thread.
    thread_local std::random_device device;
    return static_cast<uint32_t>(device());
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace velorin::platform
