#include "run/ordered_pool.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "support/temp_folder.h"

namespace sarnavel {
namespace {

std::vector<std::string> names(int count) {
  std::vector<std::string> paths;
  for (int k = 0; k < count; ++k) paths.push_back("/nonexistent/file" + std::to_string(1000 + k));
  return paths;
}

std::vector<std::string_view> views(const std::vector<std::string>& texts) { return {texts.begin(), texts.end()}; }

TEST(OrderedPool, ResultsArriveInPassOrderWhateverOrderTheyFinishIn) {
  std::vector<std::string> paths = names(40);
  std::atomic<bool> cancel{false};
  std::vector<std::string> finished;
  std::atomic<int> concurrent{0}, most{0}, finishing{0};
  std::atomic<bool> finishesOverlapped{false};
  runInPassOrder<int>(
      views(paths), {3, cancel},
      [&](std::size_t k, const PoolTurn&) {
        int now = ++concurrent;
        most = std::max(most.load(), now);
        std::this_thread::sleep_for(std::chrono::microseconds(k % 3 == 0 ? 2000 : 100));
        --concurrent;
        return static_cast<int>(k);
      },
      [&](std::size_t k, int& result) {
        // Hand-overs run on whichever worker completes a file, but never two at once.
        if (++finishing > 1) finishesOverlapped = true;
        EXPECT_EQ(result, static_cast<int>(k));
        finished.push_back(paths[k]);
        std::this_thread::sleep_for(std::chrono::microseconds(k % 5 == 0 ? 500 : 0));
        --finishing;
      });
  EXPECT_EQ(finished, paths);
  EXPECT_GT(most.load(), 1) << "the files were not converted at the same time";
  EXPECT_FALSE(finishesOverlapped.load());
}

TEST(OrderedPool, CancelStartsNothingNewAndHandsOverWhatStarted) {
  for (int threads : {1, 2, 4}) {
    std::vector<std::string> paths = names(50);
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::set<std::string> started;
    std::vector<std::string> finished;
    runInPassOrder<int>(
        views(paths), {threads, cancel},
        [&](std::size_t k, const PoolTurn&) {
          {
            std::lock_guard lock(mutex);
            started.insert(paths[k]);
          }
          std::this_thread::sleep_for(std::chrono::microseconds(300));
          return 0;
        },
        [&](std::size_t k, int&) {
          finished.push_back(paths[k]);
          if (finished.size() == 2) cancel = true;
        });
    EXPECT_EQ(std::set<std::string>(finished.begin(), finished.end()), started) << threads;
    EXPECT_TRUE(std::is_sorted(finished.begin(), finished.end())) << threads;
    EXPECT_GE(finished.size(), 2u);
    EXPECT_LE(finished.size(), threads == 1 ? 2u : 2u + 2u * static_cast<unsigned>(threads)) << threads;
  }
}

// Two path texts of one file (through a link) are never converted at the same time.
TEST(OrderedPool, OneFileIsNeverConvertedTwiceAtOnce) {
  testing::TempFolder folder;
  std::filesystem::path target = folder.put("a.css", "x");
  std::vector<std::string> paths;
  for (int k = 0; k < 12; ++k) {
    std::filesystem::path link = folder / ("link" + std::to_string(10 + k) + ".css");
    std::filesystem::create_symlink(target, link);
    paths.push_back(link.string());
  }
  std::atomic<bool> cancel{false};
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  runInPassOrder<int>(
      views(paths), {4, cancel},
      [&](std::size_t, const PoolTurn&) {
        if (++inside > 1) overlapped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --inside;
        return 0;
      },
      [](std::size_t, int&) {});
  EXPECT_FALSE(overlapped.load());
}

// A file taken before a cancellation is converted even when it had to wait (here for an
// earlier name of the same file) while a later file went ahead: the files handed over stay
// the first ones of the pass, with no gap.
TEST(OrderedPool, ACancellationLeavesNoGapBehindAFileThatWaited) {
  testing::TempFolder folder;
  const std::string same = folder.put("a.css", "x").string(), link = (folder / "b.css").string();
  std::filesystem::create_symlink(same, link);
  const std::string other = folder.put("c.css", "x").string(), last = folder.put("d.css", "x").string();
  const std::vector<std::string> paths{same, link, other, last};
  std::atomic<bool> cancel{false}, otherStarted{false};
  std::mutex mutex;
  std::vector<std::size_t> finished;
  runInPassOrder<int>(
      views(paths), {3, cancel},
      [&](std::size_t k, const PoolTurn&) {
        if (k == 2) otherStarted = true;
        if (k == 0) {  // index 1, the same file, waits for this one; index 2 goes ahead
          for (int wait = 0; wait < 2000 && !otherStarted; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
          cancel = true;
        }
        return 0;
      },
      [&](std::size_t k, int&) { finished.push_back(k); });
  ASSERT_TRUE(otherStarted.load());
  ASSERT_GE(finished.size(), 3u);  // index 3 may have been taken before the cancellation
  for (std::size_t k = 0; k < finished.size(); ++k) EXPECT_EQ(finished[k], k);
}

// Under a process limit (RLIMIT_NPROC, which binds an ordinary user) the pool runs on the
// threads the system allows, on the calling thread alone when it allows none, and still hands
// every result over in order. Runs in a child under a user id no other process has.
TEST(OrderedPool, RunsOnTheThreadsItCanStart) {
  const uid_t unused = 0x7EAD0000u + static_cast<uid_t>(getpid() & 0xFFFF);
  for (rlim_t processes : {1, 3}) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      const rlimit limit{processes, processes};
      if (setrlimit(RLIMIT_NPROC, &limit) != 0 || setgid(unused) != 0 || setuid(unused) != 0) _exit(77);
      std::vector<std::string> paths = names(30);
      std::vector<std::string> finished;
      std::atomic<bool> cancel{false};
      runInPassOrder<int>(
          views(paths), {4, cancel}, [](std::size_t k, const PoolTurn&) { return static_cast<int>(k); },
          [&](std::size_t k, int& result) {
            if (result == static_cast<int>(k)) finished.push_back(paths[k]);
          });
      _exit(finished == paths ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
      GTEST_SKIP() << "cannot run as an ordinary user under a process limit";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "processes " << processes << ": "
        << (WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : "results lost");
  }
}

}  // namespace
}  // namespace sarnavel
