#include "store/conversion_room.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

namespace sarnavel {
namespace {

constexpr std::uint64_t kNoLimit = UINT64_MAX;

// The first number of the file (`fallback` when it holds none, as "max" or a missing file).
std::uint64_t numberIn(const std::string& path, std::uint64_t fallback) {
  std::ifstream in(path);
  std::uint64_t n = 0;
  return in >> n ? n : fallback;
}

// The value in kB of the line of /proc/meminfo that starts with `key`, in bytes (0 when none).
std::uint64_t memInfo(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\n" + key);
  if (at == std::string::npos) return 0;
  std::istringstream line(text.substr(at + 1 + key.size(), 32));
  std::uint64_t kB = 0;
  line >> kB;
  return kB * 1024;
}

std::uint64_t availableMemory() {
  std::ifstream in("/proc/meminfo");
  std::ostringstream all;
  all << '\n' << in.rdbuf();
  const std::string text = all.str();
  if (text.find("\nMemAvailable:") == std::string::npos) return kNoLimit;
  return memInfo(text, "MemAvailable:") + memInfo(text, "SwapFree:");
}

std::uint64_t addressSpaceLeft() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNoLimit;
  const std::uint64_t mapped = numberIn("/proc/self/statm", 0) * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  return limit.rlim_cur > mapped ? limit.rlim_cur - mapped : 0;
}

// What is left under the limit of the control group at `folder` (its files named as given).
std::uint64_t groupRoom(const std::string& folder, const char* limitFile, const char* usageFile) {
  const std::uint64_t limit = numberIn(folder + "/" + limitFile, kNoLimit);
  if (limit == kNoLimit) return kNoLimit;
  const std::uint64_t used = numberIn(folder + "/" + usageFile, 0);
  return limit > used ? limit - used : 0;
}

// The process's control group's room: its own folder, or, where the group's folder is not to be
// seen (a container shows its own group as the root), the root's.
std::uint64_t controlGroupRoom() {
  std::ifstream in("/proc/self/cgroup");
  std::uint64_t room = kNoLimit;
  for (std::string line; std::getline(in, line);) {
    const bool unified = line.starts_with("0::");
    const std::size_t memory = line.find(":memory:");
    if (!unified && memory == std::string::npos) continue;
    const std::string path = unified ? line.substr(3) : line.substr(memory + 8);
    const std::string mount = unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    const char* limitFile = unified ? "memory.max" : "memory.limit_in_bytes";
    const char* usageFile = unified ? "memory.current" : "memory.usage_in_bytes";
    room = std::min({room, groupRoom(mount + path, limitFile, usageFile), groupRoom(mount, limitFile, usageFile)});
  }
  return room;
}

}  // namespace

std::uint64_t roomToConvert(std::size_t size) { return 2 * static_cast<std::uint64_t>(size) + (20 << 20); }

std::uint64_t roomTheSystemGives() { return std::min({addressSpaceLeft(), availableMemory(), controlGroupRoom()}); }

void requireRoomToConvert(std::size_t size) {
  if (size >= kCheckedFrom && roomToConvert(size) > roomTheSystemGives()) throw std::bad_alloc();
}

}  // namespace sarnavel
