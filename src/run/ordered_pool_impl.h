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

// What keeps a file from starting: an earlier file still under way not yet looked at (it may
// be the same file on disk; the look is short), an earlier one that is the same file, or the
// memory of the files under way.
enum class Blocked { No, EarlierNotLooked, EarlierSameFile, Memory };

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

// A file a worker has taken: its index, its look, and whether its time goes to the pacing.
struct TakenFile {
  std::size_t index = 0;
  bool timed = false;
  bool looked = false;
  struct stat status {};
  std::uintmax_t size = 0;
};

// Every file on the calling thread, one after the other.
template <class Result, class Convert, class Finish>
void oneAfterTheOther(std::size_t count, const PoolSettings& settings, const Convert& convert, const Finish& finish) {
  for (std::size_t index = 0; index < count; ++index) {
    if (settings.cancelRequested.load()) return;
    Result result = convert(index, PoolTurn{});
    finish(index, result);
  }
}

// One pass's pool: the window of files under way, their results, and the workers' waits. Every
// member but the constants is guarded by `mutex_`.
template <class Result>
class OrderedPool {
 public:
  using Convert = std::function<Result(std::size_t index, const PoolTurn& turn)>;
  using Finish = std::function<void(std::size_t index, Result&)>;

  OrderedPool(const std::vector<std::string_view>& paths, const PoolSettings& settings, const Convert& convert,
              const Finish& finish)
      : paths_(paths),
        settings_(settings),
        convert_(convert),
        finish_(finish),
        // Files do not run further ahead of the hand-over than this, which bounds both the
        // results waiting in memory and the files a cancellation still lets finish. The files
        // under way and their results live in a ring of that many slots: index k goes to slot
        // k % window.
        window_(2 * static_cast<std::size_t>(settings.threads)),
        slots_(window_),
        results_(window_),
        first_(settings.pacing ? settings.pacing->firstOf(settings.threads) : settings.threads),
        joined_(first_ >= settings.threads) {}

  // A thread the system refuses (a process limit, no memory) is one fewer worker, never an
  // abort: the pass runs on the threads that did start, or on the calling thread alone.
  void onThreads() {
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(settings_.threads));
    for (int k = 0; k < settings_.threads; ++k) {
      try {
        pool.emplace_back([this, k] { work(k); });
      } catch (const std::system_error&) {
        break;
      }
    }
    if (pool.empty()) return oneAfterTheOther<Result>(paths_.size(), settings_, convert_, finish_);
    // Every file taken is converted and handed over by the workers before they leave.
    for (std::thread& t : pool) t.join();
  }

 private:
  bool cancelled() const { return settings_.cancelRequested.load(); }

  Blocked blockedBy(std::size_t index, std::uintmax_t size) const {
    const Slot& own = slots_[index % window_];
    bool notLooked = false;
    for (std::size_t k = handedOver_; k < index; ++k) {
      const Slot& earlier = slots_[k % window_];
      if (earlier.stage == Stage::Taken) notLooked = true;
      if (earlier.stage == Stage::Looked && own.identified && earlier.identified && earlier.device == own.device &&
          earlier.inode == own.inode) {
        return Blocked::EarlierSameFile;
      }
    }
    if (notLooked) return Blocked::EarlierNotLooked;
    if (bytesUnderWay_ != 0 && bytesUnderWay_ + size > kParallelMemoryBudget) return Blocked::Memory;
    return Blocked::No;
  }

  // Hands over every result that is next in pass order and done, one finisher at a time: the
  // worker that completes the file the hand-over waits for carries on with it, so the
  // hand-over never waits for a thread to be woken and scheduled. The lock is held only
  // between files; `finish` runs without it, and a file completed meanwhile is picked up by
  // the finisher's next look. Room freed in the window is signalled once per batch.
  void handOver(std::unique_lock<std::mutex>& lock) {
    if (finishing_) return;
    finishing_ = true;
    std::size_t freed = 0;
    while (handedOver_ < next_ && slots_[handedOver_ % window_].stage == Stage::Done) {
      const std::size_t index = handedOver_;
      Result result = std::move(results_[index % window_]);
      lock.unlock();
      finish_(index, result);
      result = Result{};  // its memory goes before the lock is taken again
      lock.lock();
      results_[index % window_] = Result{};
      slots_[index % window_] = Slot{};
      handedOver_ = index + 1;
      ++freed;
    }
    finishing_ = false;
    const int wake = static_cast<int>(std::min<std::size_t>(freed, static_cast<std::size_t>(waitingForRoom_)));
    if (wake > 0) {
      lock.unlock();
      if (wake == 1) roomInWindow_.notify_one();
      else roomInWindow_.notify_all();
      lock.lock();
    }
  }

  // Takes the next file once the window has room for it; false when nothing is left to take
  // or the run is cancelled.
  bool take(TakenFile& file) {
    bool lastTaken = false;
    {
      std::unique_lock lock(mutex_);
      while (!(cancelled() || next_ >= paths_.size() || next_ < handedOver_ + window_)) {
        ++waitingForRoom_;
        roomInWindow_.wait(lock);
        --waitingForRoom_;
      }
      if (next_ >= paths_.size() || cancelled()) return false;
      file.index = next_++;
      file.timed = !joined_;
      slots_[file.index % window_].stage = Stage::Taken;
      lastTaken = next_ == paths_.size();
    }
    // Those waiting for room would wait for ever once nothing is left to take.
    if (lastTaken) roomInWindow_.notify_all();
    return true;
  }

  // Looks at the file without the lock (the identity tells the same file under two names
  // apart), then waits while an earlier name of it, or the memory of the files under way,
  // keeps it from starting.
  void lookAndWait(TakenFile& file) {
    file.looked = ::stat(std::string(paths_[file.index]).c_str(), &file.status) == 0;
    file.size = file.looked ? static_cast<std::uintmax_t>(std::max<off_t>(file.status.st_size, 0)) : 0;
    // A file once taken is converted, cancelled or not: a later file may already be under way,
    // and skipping this one would leave a gap in what is handed over. The wait ends all the
    // same, as the earlier files it waits for are converted too.
    std::unique_lock lock(mutex_);
    Slot& own = slots_[file.index % window_];
    own.stage = Stage::Looked;
    own.identified = file.looked;
    own.device = file.status.st_dev;
    own.inode = file.status.st_ino;
    if (waitingForEarlier_ > 0) earlierFinished_.notify_all();
    for (Blocked why; (why = blockedBy(file.index, file.size)) != Blocked::No;) {
      // What was looked at may be gone by the time the file starts: the earlier name of the
      // file may replace it, and a wait for memory may be long.
      if (why != Blocked::EarlierNotLooked) file.looked = false;
      ++waitingForEarlier_;
      earlierFinished_.wait(lock);
      --waitingForEarlier_;
    }
    bytesUnderWay_ += file.size;
  }

  // Converts a file taken and looked at, and hands over what is next in pass order.
  void convert(int worker, const TakenFile& file) {
    const Clocks began = file.timed ? Clocks::now() : Clocks{};
    Result result = convert_(file.index, PoolTurn{worker, file.looked ? &file.status : nullptr});
    const Clocks ended = file.timed ? Clocks::now() : Clocks{};
    std::unique_lock lock(mutex_);
    if (file.timed && !joined_ && settings_.pacing->noteFile(ended.wall - began.wall, ended.cpu - began.cpu)) {
      joined_ = true;
      mayJoin_.notify_all();
    }
    bytesUnderWay_ -= file.size;
    results_[file.index % window_] = std::move(result);
    slots_[file.index % window_].stage = Stage::Done;
    if (waitingForEarlier_ > 0) earlierFinished_.notify_all();
    handOver(lock);
  }

  void work(int worker) {
    // Workers from `first_` on wait until the pacing lets them join (or nothing is left to take).
    if (worker >= first_) {
      std::unique_lock lock(mutex_);
      while (!(joined_ || cancelled() || next_ >= paths_.size())) mayJoin_.wait(lock);
    }
    for (TakenFile file; take(file); file = TakenFile{}) {
      lookAndWait(file);
      convert(worker, file);
    }
    // A worker that takes no more files leaves; another one waiting for room, or to join,
    // would otherwise miss a cancellation.
    roomInWindow_.notify_all();
    { std::lock_guard lock(mutex_); }  // a worker about to wait to join has seen what changed, or is waiting
    mayJoin_.notify_all();
  }

  const std::vector<std::string_view>& paths_;
  const PoolSettings& settings_;
  const Convert& convert_;
  const Finish& finish_;
  const std::size_t window_;
  std::mutex mutex_;
  // One condition per kind of wait, so that a change wakes only the threads it concerns.
  std::condition_variable roomInWindow_, earlierFinished_, mayJoin_;
  int waitingForRoom_ = 0, waitingForEarlier_ = 0;
  bool finishing_ = false;  // a worker is handing results over
  std::vector<Slot> slots_;
  std::vector<Result> results_;
  std::uintmax_t bytesUnderWay_ = 0;
  std::size_t next_ = 0;        // the next index to be taken; indices below it are taken
  std::size_t handedOver_ = 0;  // indices below it have reached `finish`
  const int first_;
  bool joined_;
};

}  // namespace pool_detail

template <class Result>
void runInPassOrder(const std::vector<std::string_view>& paths, const PoolSettings& settings,
                    const std::function<Result(std::size_t index, const PoolTurn& turn)>& convert,
                    const std::function<void(std::size_t index, Result&)>& finish) {
  if (settings.threads <= 1 || paths.size() <= 1)
    return pool_detail::oneAfterTheOther<Result>(paths.size(), settings, convert, finish);
  pool_detail::OrderedPool<Result>(paths, settings, convert, finish).onThreads();
}

// One per core.
inline int eagerThreadCount() { return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u)); }

// Four threads per core: converting keeps the cores busy, and the threads waiting for their
// file to reach the disk (each file is flushed before it replaces the original) overlap those
// waits instead of queueing them one behind the other.
inline int defaultThreadCount() { return std::clamp(4 * eagerThreadCount(), 4, 16); }

}  // namespace sarnavel
