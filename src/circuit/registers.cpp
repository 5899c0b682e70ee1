#include "circuit/registers.h"

namespace velorin {

int32_t gNextQubitIndex = 0;
int32_t gNextAncillaIndex = 0;
int32_t gNextClbitIndex = 0;
int32_t gQregNameCounter = 0;
int32_t gAncillaNameCounter = 0;
int32_t gCregNameCounter = 0;

}  // namespace velorin
