// The template part of ordered_pool.h.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace sarnavel {
namespace pool_detail {

// Where a file of the window stands. Taken: a worker has it but has not yet looked at it, so
// nobody knows yet which file on disk it is; Looked: its identity is known, it is waiting or
// being converted; Done: its result waits for the hand-over.
enum class Stage { Free, Taken, Looked, Done };

struct Slot {
  Stage stage = Stage::Free;
  dev_t device = 0;
  ino_t inode = 0;
  bool identified = false;  // the file could be looked at
};

}  // namespace pool_detail

template <class Result>
void runInPassOrder(const std::vector<std::string_view>& paths, int threads, const std::atomic<bool>& cancelRequested,
                    const std::function<Result(std::size_t index, const PoolTurn& turn)>& convert,
                    const std::function<void(std::size_t index, Result&)>& finish, WorkerPacing* pacing) {
  auto oneAfterTheOther = [&] {
    for (std::size_t index = 0; index < paths.size(); ++index) {
      if (cancelRequested.load()) return;
      Result result = convert(index, PoolTurn{});
      finish(index, result);
    }
  };
  if (threads <= 1 || paths.size() <= 1) {
    oneAfterTheOther();
    return;
  }

  using pool_detail::Stage;
  // Files do not run further ahead of the hand-over than this, which bounds both the results
  // waiting in memory and the files a cancellation still lets finish. The files under way and
  // their results live in a ring of that many slots: index k goes to slot k % window.
  const std::size_t window = 2 * static_cast<std::size_t>(threads);
  std::mutex mutex;
  // One condition per kind of wait, so that a change wakes only the threads it concerns.
  std::condition_variable roomInWindow, earlierFinished;
  int waitingForRoom = 0, waitingForEarlier = 0;
  bool finishing = false;  // a worker is handing results over
  std::vector<pool_detail::Slot> slots(window);
  std::vector<Result> results(window);
  std::uintmax_t bytesUnderWay = 0;
  std::size_t next = 0;        // the next index to be taken; indices below it are taken
  std::size_t handedOver = 0;  // indices below it have reached `finish`
  // Workers from `first` on wait until the pacing lets them join (or nothing is left to take).
  const int first = pacing ? pacing->firstOf(threads) : threads;
  bool joined = first >= threads;
  std::condition_variable mayJoin;

  // What keeps `index` from starting: an earlier file still under way not yet looked at (it may
  // be the same file on disk; the look is short), an earlier one that is the same file, or the
  // memory of the files under way.
  enum class Blocked { No, EarlierNotLooked, EarlierSameFile, Memory };
  auto blockedBy = [&](std::size_t index, std::uintmax_t size) {
    const pool_detail::Slot& own = slots[index % window];
    bool notLooked = false;
    for (std::size_t k = handedOver; k < index; ++k) {
      const pool_detail::Slot& earlier = slots[k % window];
      if (earlier.stage == Stage::Taken) notLooked = true;
      if (earlier.stage == Stage::Looked && own.identified && earlier.identified && earlier.device == own.device &&
          earlier.inode == own.inode) {
        return Blocked::EarlierSameFile;
      }
    }
    if (notLooked) return Blocked::EarlierNotLooked;
    if (bytesUnderWay != 0 && bytesUnderWay + size > kParallelMemoryBudget) return Blocked::Memory;
    return Blocked::No;
  };

  // Hands over every result that is next in pass order and done, one finisher at a time: the
  // worker that completes the file the hand-over waits for carries on with it, so the
  // hand-over never waits for a thread to be woken and scheduled. The lock is held only
  // between files; `finish` runs without it, and a file completed meanwhile is picked up by
  // the finisher's next look. Room freed in the window is signalled once per batch.
  auto handOver = [&](std::unique_lock<std::mutex>& lock) {
    if (finishing) return;
    finishing = true;
    std::size_t freed = 0;
    while (handedOver < next && slots[handedOver % window].stage == Stage::Done) {
      const std::size_t index = handedOver;
      Result result = std::move(results[index % window]);
      lock.unlock();
      finish(index, result);
      result = Result{};  // its memory goes before the lock is taken again
      lock.lock();
      results[index % window] = Result{};
      slots[index % window] = pool_detail::Slot{};
      handedOver = index + 1;
      ++freed;
    }
    finishing = false;
    const int wake = static_cast<int>(std::min<std::size_t>(freed, static_cast<std::size_t>(waitingForRoom)));
    if (wake > 0) {
      lock.unlock();
      if (wake == 1) roomInWindow.notify_one();
      else roomInWindow.notify_all();
      lock.lock();
    }
  };

  // A file's time on the worker's thread: on the wall and on a core.
  struct Clocks {
    std::uint64_t wall = 0, cpu = 0;
    static Clocks now() {
      struct timespec t;
      Clocks c;
      ::clock_gettime(CLOCK_MONOTONIC, &t);
      c.wall = static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
      ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
      c.cpu = static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
      return c;
    }
  };

  auto work = [&](int worker) {
    if (worker >= first) {
      std::unique_lock lock(mutex);
      while (!(joined || cancelRequested.load() || next >= paths.size())) mayJoin.wait(lock);
    }
    for (;;) {
      std::size_t index;
      bool lastTaken = false;
      bool timed = false;  // the file's time goes to the pacing
      {
        std::unique_lock lock(mutex);
        while (!(cancelRequested.load() || next >= paths.size() || next < handedOver + window)) {
          ++waitingForRoom;
          roomInWindow.wait(lock);
          --waitingForRoom;
        }
        if (next >= paths.size() || cancelRequested.load()) break;
        index = next++;
        timed = !joined;
        slots[index % window].stage = Stage::Taken;
        lastTaken = next == paths.size();
      }
      // Those waiting for room would wait for ever once nothing is left to take.
      if (lastTaken) roomInWindow.notify_all();
      // Looked at without the lock; the identity tells the same file under two names apart.
      struct stat status {};
      bool looked = ::stat(std::string(paths[index]).c_str(), &status) == 0;
      const std::uintmax_t size = looked ? static_cast<std::uintmax_t>(std::max<off_t>(status.st_size, 0)) : 0;
      {
        // A file once taken is converted, cancelled or not: a later file may already be under
        // way, and skipping this one would leave a gap in what is handed over. The wait ends
        // all the same, as the earlier files it waits for are converted too.
        std::unique_lock lock(mutex);
        pool_detail::Slot& own = slots[index % window];
        own.stage = Stage::Looked;
        own.identified = looked;
        own.device = status.st_dev;
        own.inode = status.st_ino;
        if (waitingForEarlier > 0) earlierFinished.notify_all();
        for (Blocked why; (why = blockedBy(index, size)) != Blocked::No;) {
          // What was looked at may be gone by the time the file starts: the earlier name of the
          // file may replace it, and a wait for memory may be long.
          if (why != Blocked::EarlierNotLooked) looked = false;
          ++waitingForEarlier;
          earlierFinished.wait(lock);
          --waitingForEarlier;
        }
        bytesUnderWay += size;
      }
      const Clocks began = timed ? Clocks::now() : Clocks{};
      Result result = convert(index, PoolTurn{worker, looked ? &status : nullptr});
      const Clocks ended = timed ? Clocks::now() : Clocks{};
      std::unique_lock lock(mutex);
      if (timed && !joined && pacing->noteFile(ended.wall - began.wall, ended.cpu - began.cpu)) {
        joined = true;
        mayJoin.notify_all();
      }
      bytesUnderWay -= size;
      results[index % window] = std::move(result);
      slots[index % window].stage = Stage::Done;
      if (waitingForEarlier > 0) earlierFinished.notify_all();
      handOver(lock);
    }
    // A worker that takes no more files leaves; another one waiting for room, or to join,
    // would otherwise miss a cancellation.
    roomInWindow.notify_all();
    { std::lock_guard lock(mutex); }  // a worker about to wait to join has seen what changed, or is waiting
    mayJoin.notify_all();
  };

  // A thread the system refuses (a process limit, no memory) is one fewer worker, never an
  // abort: the pass runs on the threads that did start, or on the calling thread alone.
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  for (int k = 0; k < threads; ++k) {
    try {
      pool.emplace_back([&, k] { work(k); });
    } catch (const std::system_error&) {
      break;
    }
  }
  if (pool.empty()) {
    oneAfterTheOther();
    return;
  }
  // Every file taken is converted and handed over by the workers before they leave.
  for (std::thread& t : pool) t.join();
}

// One per core.
inline int eagerThreadCount() { return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u)); }

// Four threads per core: converting keeps the cores busy, and the threads waiting for their
// file to reach the disk (each file is flushed before it replaces the original) overlap those
// waits instead of queueing them one behind the other.
inline int defaultThreadCount() { return std::clamp(4 * eagerThreadCount(), 4, 16); }

}  // namespace sarnavel
