#include "platform/memory.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <string>

namespace velorin::platform {

namespace {

bool ParseUnsigned(const std::string& text, uint64_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  while (first < last && (*first == ' ' || *first == '\t')) ++first;
  return std::from_chars(first, last, value).ec == std::errc();
}

// MemAvailable from /proc/meminfo, in bytes.
bool MemAvailable(uint64_t& bytes) {
  std::ifstream in("/proc/meminfo");
  std::string line;
  const std::string key = "MemAvailable:";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    uint64_t kib = 0;
    if (!ParseUnsigned(line.substr(key.size()), kib)) return false;
    bytes = kib > UINT64_MAX / 1024 ? UINT64_MAX : kib * 1024;
    return true;
  }
  return false;
}

bool ReadUnsignedFile(const std::string& path, uint64_t& value) {
  std::ifstream in(path);
  std::string text;
  if (!std::getline(in, text)) return false;
  return ParseUnsigned(text, value);
}

// The unified (v2) control group of this process, as a folder under /sys/fs/cgroup.
std::string OwnCgroupFolder() {
  std::ifstream in("/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 3, "0::") == 0) return "/sys/fs/cgroup" + line.substr(3);
  }
  return "/sys/fs/cgroup";
}

// memory.max - memory.current of the first folder that has a numeric limit.
bool CgroupHeadroom(uint64_t& bytes) {
  for (const std::string& folder : {OwnCgroupFolder(), std::string("/sys/fs/cgroup")}) {
    uint64_t limit = 0, current = 0;
    if (!ReadUnsignedFile(folder + "/memory.max", limit)) continue;  // absent or "max"
    if (!ReadUnsignedFile(folder + "/memory.current", current)) continue;
    bytes = limit > current ? limit - current : 0;
    return true;
  }
  return false;
}

}  // namespace

uint64_t AvailableMemoryBytes() {
  uint64_t available = 0;
  if (!MemAvailable(available)) {
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0) {
      available = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
    }
  }
  uint64_t headroom = 0;
  if (available != 0 && CgroupHeadroom(headroom) && headroom < available) available = headroom;
  return available;
}

}  // namespace velorin::platform
