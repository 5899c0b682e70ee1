#include "platform/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace velorin::platform {

namespace {

// The "MemAvailable:" line of /proc/meminfo, in bytes; 0 when absent.
uint64_t MemAvailableBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key) {
    if (key == "MemAvailable:") {
      if (meminfo >> kilobytes) return kilobytes * 1024;
      return 0;
    }
    std::getline(meminfo, unit);
  }
  return 0;
}

bool ReadNumber(const std::string& path, uint64_t& value) {
  std::ifstream file(path);
  std::string text;
  if (!(file >> text) || text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;  // "max": no limit
  }
  std::istringstream(text) >> value;
  return true;
}

// What the cgroup (v2) of this process may still allocate; the maximum when
// no limit is set or none can be read.
uint64_t CgroupHeadroom() {
  std::ifstream self("/proc/self/cgroup");
  std::string line;
  std::string path;
  while (std::getline(self, line)) {
    if (line.rfind("0::", 0) == 0) {
      path = line.substr(3);
      break;
    }
  }
  for (const std::string& dir : {"/sys/fs/cgroup" + path, std::string("/sys/fs/cgroup")}) {
    uint64_t limit = 0;
    uint64_t current = 0;
    if (ReadNumber(dir + "/memory.max", limit) && ReadNumber(dir + "/memory.current", current)) {
      return limit > current ? limit - current : 0;
    }
  }
  return std::numeric_limits<uint64_t>::max();
}

// What the address-space limit still lets this process map: the limit less
// the size of its mappings now; the maximum when no limit is set. A process
// started under such a limit must refuse work rather than fail half-way.
uint64_t AddressSpaceHeadroom() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<uint64_t>::max();
  }
  std::ifstream statm("/proc/self/statm");
  uint64_t pages = 0;
  const long page_size = sysconf(_SC_PAGESIZE);
  if (!(statm >> pages) || page_size <= 0) return std::numeric_limits<uint64_t>::max();
  const uint64_t mapped = pages * static_cast<uint64_t>(page_size);
  const uint64_t cap = static_cast<uint64_t>(limit.rlim_cur);
  return cap > mapped ? cap - mapped : 0;
}

}  // namespace

uint64_t AvailablePhysicalMemory() {
  uint64_t available = MemAvailableBytes();
  if (available == 0) {
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0) {
      available = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
    }
  }
  if (available == 0) return 0;
  available = std::min({available, CgroupHeadroom(), AddressSpaceHeadroom()});
  // 0 means "unknown" to callers; a limit that is reached leaves one byte.
  return available == 0 ? 1 : available;
}

}  // namespace velorin::platform
