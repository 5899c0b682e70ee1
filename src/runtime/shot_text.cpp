#include "runtime/shot_text.h"

#include <vector>

#include "engine/mps_simulator.h"

namespace velorin {


std::string MeasuredText(const MpsSimulator& engine, bool with_unmeasured) {
  const std::vector<int64_t>& measured = engine.measured_values();
  std::string text;
  text.reserve(measured.size());
  for (size_t i = measured.size(); i-- > 0;) {
    const int64_t value = measured[i];
    if (value == 0 || value == 1) {
      text.push_back(value == 1 ? '1' : '0');
    } else if (with_unmeasured) {
      text.push_back(value == -1 ? 'X' : '-');
    }
  }
  return text;
}

}  // namespace velorin
