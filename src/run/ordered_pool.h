// Converts the files of one pass on a few threads and hands each result over in pass order.
//
// Files start in pass order, on as many threads as asked. A file does not start before an
// earlier file of the pass that is the same file on disk (the same device and inode: two path
// texts through a link) has finished, so such names are converted in pass order; nor while the files under way and it would hold more than
// a memory budget together (a file that is alone under way always starts), so the memory of
// a run stays close to that of its largest file. Each result reaches `finish` in pass order, as
// soon as it and every earlier one are done: on the worker that completed the last of them,
// which hands over every consecutive done result before it takes another file. One `finish`
// at a time, each one complete before the next begins (they may run on different threads);
// the calling thread returns once every file taken has been handed over.
//
// Cancellation: once `cancelRequested` is set no file is taken; the files already taken
// finish and are handed over, in order. Files never start more than two per thread ahead of
// the last one handed over, so a cancellation lets at most that many more finish. With one
// thread everything runs on the calling thread, one file after the other.
//
// Pacing (WorkerPacing below): of the threads asked, only the first few may take files at first;
// the others join once the time of the files converted so far shows waits they would overlap.
//
// Threads the system will not start (a process limit) are done without: the files run on the
// threads that did start, or on the calling thread when none did; nothing is thrown.
//
// Waking: a thread is woken only by a change it waits for. Workers waiting for room in the
// window are woken once per batch of results handed over, as many as there is new room for; a
// worker waiting for an earlier name of its file, or for memory, when a file finishes. No
// thread waits to hand over: that would make every file's hand-over a wake-up of a thread that
// must then be scheduled among the busy workers.
// A file's status is looked at (stat) outside the pool's lock and given to `convert`, so that
// the converting code need not look at it again.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace sarnavel {

// Files up to this many bytes in all may be converted at the same time.
inline constexpr std::uintmax_t kParallelMemoryBudget = 8u << 20;

// What `convert` is given besides the index: which worker converts the file (0 to threads - 1,
// each worker on its own thread, for state a worker keeps from one file to the next) and the
// file's status as the pool looked at it (links followed) just before, or null when the pool
// did not look (one thread), the file could not be looked at, or the file had to wait after
// the look (for an earlier name of it, which may have replaced it, or for memory).
struct PoolTurn {
  int worker = 0;
  const struct stat* status = nullptr;
};

// How many of a pass's workers take files from its start, and when the others join them.
//
// Workers beyond one per core help only while workers wait: for the disk (each new file, and
// its folder, is flushed before the file counts as written) or for reads the page cache does
// not hold. Where nothing waits (tmpfs, a check of files in the cache) they only take turns on
// the cores and on the folders' locks, which costs 5-10 %. So a run starts one worker per core,
// and the others join for good (this pass and the run's later ones) once the files converted
// so far, 32 at least so that the first files' cold start does not decide, show a quarter of
// their time spent off the cores or waiting for flushes. Both count: on some machines a flush
// keeps its worker's core busy in the kernel rather than asleep, which the time off the cores
// alone would not show.
class WorkerPacing {
 public:
  // Every worker takes files from the start.
  WorkerPacing() = default;
  // `first` workers start; `flushWaitNanos` tells how long the run's workers have waited for
  // flushes so far (any thread may call it).
  WorkerPacing(int first, std::function<std::uint64_t()> flushWaitNanos)
      : first_(first), flushWaitNanos_(std::move(flushWaitNanos)) {}

  // How many of `threads` workers take files from a pass's start.
  int firstOf(int threads) const { return joined_ || first_ <= 0 ? threads : std::min(first_, threads); }
  // A file was converted in `wallNanos`, of which `cpuNanos` on a core; true when the others
  // should join now. The pool calls it one file at a time.
  bool noteFile(std::uint64_t wallNanos, std::uint64_t cpuNanos) {
    if (joined_ || first_ <= 0) return false;
    ++files_;
    wallNanos_ += wallNanos;
    offCoreNanos_ += wallNanos > cpuNanos ? wallNanos - cpuNanos : 0;
    if (files_ < kFilesBeforeDeciding) return false;
    const std::uint64_t waited = std::max(offCoreNanos_, flushWaitNanos_ ? flushWaitNanos_() : 0);
    joined_ = 4 * waited > wallNanos_;
    return joined_;
  }

 private:
  static constexpr std::uint64_t kFilesBeforeDeciding = 32;
  int first_ = 0;
  std::function<std::uint64_t()> flushWaitNanos_;
  bool joined_ = false;
  std::uint64_t files_ = 0, wallNanos_ = 0, offCoreNanos_ = 0;
};

// How a pass is run: on how many threads, until when, at what pace. `pacing`, when given, is
// consulted and kept up to date under the pool's lock; one pass at a time uses it.
struct PoolSettings {
  int threads = 1;
  const std::atomic<bool>& cancelRequested;
  WorkerPacing* pacing = nullptr;
};

// `convert(k, turn)` and `finish(k, result)` are given the index k of paths[k].
template <class Result>
void runInPassOrder(const std::vector<std::string_view>& paths, const PoolSettings& settings,
                    const std::function<Result(std::size_t index, const PoolTurn& turn)>& convert,
                    const std::function<void(std::size_t index, Result&)>& finish);

// The number of threads a run uses when it is not told: four per core (4 to 16).
int defaultThreadCount();
// How many of them take files from a pass's start (WorkerPacing): one per core.
int eagerThreadCount();

}  // namespace sarnavel

#include "run/ordered_pool_impl.h"
