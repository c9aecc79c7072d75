// The template part of ordered_pool.h.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace sarnavel {
namespace pool_detail {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;
  bool operator==(const FileIdentity& o) const { return known && o.known && device == o.device && inode == o.inode; }
};

// The identity and size of the file a path names (links followed); unknown when it cannot be had.
inline std::pair<FileIdentity, std::uintmax_t> identify(std::string_view path) {
  struct stat info {};
  if (stat(std::string(path).c_str(), &info) != 0) return {FileIdentity{}, 0};
  return {FileIdentity{info.st_dev, info.st_ino, true}, static_cast<std::uintmax_t>(std::max<off_t>(info.st_size, 0))};
}

}  // namespace pool_detail

template <class Result>
void runInPassOrder(const std::vector<std::string_view>& paths, int threads, const std::atomic<bool>& cancelRequested,
                    const std::function<Result(std::size_t index)>& convert,
                    const std::function<void(std::size_t index, Result&)>& finish) {
  auto oneAfterTheOther = [&] {
    for (std::size_t index = 0; index < paths.size(); ++index) {
      if (cancelRequested.load()) return;
      Result result = convert(index);
      finish(index, result);
    }
  };
  if (threads <= 1 || paths.size() <= 1) {
    oneAfterTheOther();
    return;
  }

  // Files do not run further ahead of the hand-over than this, which bounds both the results
  // waiting in memory and the files a cancellation still lets finish. The results wait in a
  // ring of that many slots: index k goes to slot k % window.
  const std::size_t window = 2 * static_cast<std::size_t>(threads);
  enum class Slot { Pending, Done };
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Slot> slots(window, Slot::Pending);
  std::vector<Result> results(window);
  // Files taken and not yet finished, in the order taken. A file waits for every earlier one
  // that is the same file on disk, so two names of one file are converted in pass order.
  struct Taken {
    std::size_t index;
    pool_detail::FileIdentity identity;
  };
  std::vector<Taken> taken;
  std::uintmax_t bytesUnderWay = 0;
  std::size_t next = 0;        // the next index to be taken; indices below it are taken
  std::size_t handedOver = 0;  // indices below it have reached `finish`
  int running = threads;

  auto work = [&] {
    for (;;) {
      std::size_t index;
      std::pair<pool_detail::FileIdentity, std::uintmax_t> identified;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock,
                     [&] { return cancelRequested.load() || next >= paths.size() || next < handedOver + window; });
        if (next >= paths.size() || cancelRequested.load()) break;
        index = next++;
        // Identified while taken, so that the same file under two names is known in pass order.
        identified = pool_detail::identify(paths[index]);
        taken.push_back({index, identified.first});
      }
      const pool_detail::FileIdentity identity = identified.first;
      const std::uintmax_t size = identified.second;
      auto isOwn = [&](const Taken& t) { return t.index == index; };
      {
        // A file once taken is converted, cancelled or not: a later file may already be under
        // way, and skipping this one would leave a gap in what is handed over. The wait ends
        // all the same, as the earlier files it waits for are converted too.
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] {
          bool sameFileEarlier = std::any_of(taken.begin(), taken.end(),
                                             [&](const Taken& t) { return t.index < index && t.identity == identity; });
          return !sameFileEarlier && (bytesUnderWay == 0 || bytesUnderWay + size <= kParallelMemoryBudget);
        });
        bytesUnderWay += size;
      }
      Result result = convert(index);
      {
        std::lock_guard lock(mutex);
        std::erase_if(taken, isOwn);
        bytesUnderWay -= size;
        results[index % window] = std::move(result);
        slots[index % window] = Slot::Done;
      }
      changed.notify_all();
    }
    {
      std::lock_guard lock(mutex);
      --running;
    }
    changed.notify_all();
  };

  // A thread the system refuses (a process limit, no memory) is one fewer worker, never an
  // abort: the pass runs on the threads that did start, or on the calling thread alone.
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  for (int k = 0; k < threads; ++k) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      {
        std::lock_guard lock(mutex);
        running -= threads - k;
      }
      changed.notify_all();
      break;
    }
  }
  if (pool.empty()) {
    oneAfterTheOther();
    return;
  }

  for (std::size_t index = 0; index < paths.size(); ++index) {
    Slot slot;
    {
      std::unique_lock lock(mutex);
      // An index nobody has taken will never be taken once the workers have stopped.
      changed.wait(lock, [&] {
        return (index < next && slots[index % window] != Slot::Pending) || (index >= next && running == 0);
      });
      slot = index < next ? slots[index % window] : Slot::Pending;
    }
    if (slot == Slot::Pending) break;
    if (slot == Slot::Done) finish(index, results[index % window]);
    {
      std::lock_guard lock(mutex);
      results[index % window] = Result{};
      slots[index % window] = Slot::Pending;
      handedOver = index + 1;
    }
    changed.notify_all();
  }
  for (std::thread& t : pool) t.join();
}

// Four threads per core: converting keeps the cores busy, and the threads waiting for their
// file to reach the disk (each file is flushed before it replaces the original) overlap those
// waits instead of queueing them one behind the other.
inline int defaultThreadCount() {
  unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(4 * std::max(cores, 1u), 4u, 16u));
}

}  // namespace sarnavel
