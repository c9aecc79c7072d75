#include "run/malloc_tuning.h"

#include <malloc.h>

#include <algorithm>
#include <thread>

namespace sarnavel {

void tuneMallocForRuns() {
  mallopt(M_ARENA_MAX, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

void giveFreedMemoryBack() { ::malloc_trim(0); }

}  // namespace sarnavel
