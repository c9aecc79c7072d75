// Runs that write over the same folders take turns: the folders a run locks, a run that waits
// for a folder held elsewhere (and a cancel that ends the wait), and two runs on unrelated
// folders that go on side by side.
#include "store/run_lock.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "report/run_messages.h"
#include "run/conversion_run.h"
#include "store/lock_holders.h"
#include "support/site_documents.h"
#include "support/temp_folder.h"
#include "support/run_log.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using namespace std::chrono_literals;

struct stat statusOfFolder(const fs::path& folder) {
  struct stat info {};
  ::stat(folder.c_str(), &info);
  return info;
}

// The cover is the folders no other listed folder lies above; "/q/a-b" sorts between "/q/a"
// and "/q/a/b" and must not hide that "/q/a/b" lies in "/q/a".
TEST(FolderLockPlan, TheCoverIsExclusiveAndEveryFolderAboveItShared) {
  const struct {
    std::vector<std::string> files;
    std::vector<std::string> exclusive, shared;
  } cases[] = {
      {{"/nowhere-q/a/x.html"}, {"/nowhere-q/a"}, {"/", "/nowhere-q"}},
      {{"/nowhere-q/a/x.html", "/nowhere-q/a-b/y.css", "/nowhere-q/a/b/z.js"},
       {"/nowhere-q/a", "/nowhere-q/a-b"},
       {"/", "/nowhere-q"}},
      {{"/nowhere-q/a/b/z.js", "/nowhere-q/c/../a/x.html"}, {"/nowhere-q/a"}, {"/", "/nowhere-q"}},
      {{"/nowhere-q/x.html", "/nowhere-r/y.js"}, {"/nowhere-q", "/nowhere-r"}, {"/"}},
      {{"/top.html"}, {"/"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files.front());
    const FolderLockPlan plan = folderLockPlan(PathList(c.files));
    EXPECT_EQ(plan.exclusive, c.exclusive);
    EXPECT_EQ(plan.shared, c.shared);
  }
}

const std::string kSjisScript = "var s = '\x81\x66\x93\xFA';\n";  // ’日
const std::string kUtf8Script = "var s = '\xE2\x80\x99\xE6\x97\xA5';\n";

// A run on a thread of its own, with what it was told. `waitedFor` is read once `waited` is
// seen set, the log once the thread has ended.
struct BackgroundRun {
  std::atomic<bool> cancel{false}, waited{false};
  std::string waitedFor, log;
  pid_t waitedOn = 0;
  RunSummary summary;
  std::thread thread;

  BackgroundRun(const PathList& files, const std::function<void(const FileOutcome&)>& fileDone = {},
                ConversionOptions options = testing::toUtf8(false)) {
    thread = std::thread([this, files, fileDone, options] {
      RunObserver observer;
      auto logged = [this](std::string_view entry) { log += entry; };
      observer.waitingFor = [this](std::string_view folder, pid_t holder) {
        waitedFor = folder;
        waitedOn = holder;
        waited = true;
      };
      observer.fileDone = fileDone;
      testing::writeLogThrough(observer, {}, logged);
      summary = conversionWorker({options, files}, observer, cancel);
      if (summary.started) logged(endMessage(summary));
    });
  }
  ~BackgroundRun() {
    cancel = true;
    if (thread.joinable()) thread.join();
  }
  bool toldWaiting() {
    for (int k = 0; k < 500 && !waited; ++k) std::this_thread::sleep_for(10ms);
    return waited;
  }
};

// A folder held above the run's files, or the backup folder two sites share, holds the run
// before its first file, and once let go the run converts everything; a cancel during the wait
// ends the run with nothing converted.
TEST(RunLock, ARunWaitsForAFolderHeldElsewhereUntilLetGoOrCancelled) {
  const struct { bool backupFolder, cancelled; } cases[] = {{false, false}, {false, true}, {true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.backupFolder ? "the backup folder" : "a folder above") +
                 (c.cancelled ? ", cancelled" : ", let go"));
    TempFolder folder, backups;
    const fs::path page = folder.put("site/index.html", "<html><head><script src=\"a.js\"></script></head></html>\n");
    const fs::path script = folder.put("site/a.js", kSjisScript);
    const fs::path holds = c.backupFolder ? backups.path() : folder.path();
    const int held = ::open(holds.c_str(), O_RDONLY | O_DIRECTORY);  // as another run holds it
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    ConversionOptions options = testing::toUtf8(c.backupFolder);
    if (c.backupFolder) options.backupFolder = backups.path();
    BackgroundRun run({page, script}, {}, options);
    ASSERT_TRUE(run.toldWaiting());
    EXPECT_EQ(run.waitedFor, fs::canonical(holds).native());
    EXPECT_EQ(run.waitedOn, ::getpid());
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(TempFolder::read(script), kSjisScript);
    if (c.cancelled) run.cancel = true;
    ::close(held);
    run.thread.join();
    EXPECT_EQ(run.summary.cancelled, c.cancelled);
    EXPECT_EQ(run.summary.successes, c.cancelled ? 0 : 3);  // the script listed and loaded
    EXPECT_EQ(TempFolder::read(script), c.cancelled ? kSjisScript : kUtf8Script);
    if (c.cancelled) {
      EXPECT_TRUE(run.log.ends_with("変換はキャンセルされました。\r\n")) << run.log;
    }
    if (c.backupFolder) {
      EXPECT_EQ(TempFolder::read(backups / "a.js.bak"), kSjisScript);
    }
  }
}

// Anyone who may read a folder may lock it: a lock holds a run only when a sarnavel run that
// may write the folder took it (another program's, or a run of a user who may not write there,
// is passed over, on the folder of the run's files as above them); a run waits for such a one
// by its process, until it ends. A folder above that the user may not write is not locked at all.
TEST(RunLock, OnlyAnotherRunThatMayWriteTheFolderHoldsTheRun) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  constexpr uid_t kNobody = 65534;
  const struct {
    const char* holder;    // the process name of what holds the lock
    uid_t user;            // and its user
    bool onTheRunsFolder;  // else on the folder above it
    bool holds;
  } cases[] = {
      {"flock", 0, true, false},       {"flock", 0, false, false},   {"sarnavel-cli", kNobody, true, false},
      {"sarnavel-cli", 0, true, true}, {"sarnavel", 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.holder) + " of user " + std::to_string(c.user) + (c.onTheRunsFolder ? " on" : " above"));
    TempFolder folder;
    const fs::path above = folder.path() / "above", site = above / "site";
    fs::create_directories(site);
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::others_exec);
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {  // holds the lock until told to go
      ::close(release[1]);
      ::prctl(PR_SET_NAME, c.holder);
      if (c.user != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(c.user) != 0 || ::setuid(c.user) != 0)) _exit(77);
      const int held = ::open((c.onTheRunsFolder ? site : above).c_str(), O_RDONLY | O_DIRECTORY);
      char go;
      _exit(::flock(held, LOCK_EX | LOCK_NB) == 0 && ::read(release[0], &go, 1) >= 0 ? 0 : 1);
    }
    ::close(release[0]);
    for (int k = 0; k < 500 && flockHolders(statusOfFolder(c.onTheRunsFolder ? site : above))->empty(); ++k)
      std::this_thread::sleep_for(10ms);
    std::atomic<bool> cancel{false}, taken{false};
    std::atomic<pid_t> toldOf{-1};
    std::thread let([&] {  // the holder goes once the run says it waits for it
      while (toldOf == -1 && !taken) std::this_thread::sleep_for(10ms);
      ::close(release[1]);
    });
    RunLock lock;
    EXPECT_TRUE(lock.acquire(
        {{site.native()}, {above.native()}}, [&](std::string_view, pid_t p) { toldOf = p; }, cancel));
    const bool holderStillThere = ::waitpid(holder, nullptr, WNOHANG) == 0;
    taken = true;
    let.join();
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(holderStillThere, !c.holds);
    EXPECT_EQ(toldOf.load(), c.holds ? holder : -1);
  }
}

// Two runs on sibling folders (both below the same temp folder, both sharing it) go on side
// by side: the first one's first file waits until the second run has ended.
TEST(RunLock, RunsOnUnrelatedFoldersDoNotWaitForEachOther) {
  TempFolder folder;
  const fs::path first = folder.put("one/a.js", kSjisScript), second = folder.put("two/b.js", kSjisScript);
  std::atomic<bool> secondEnded{false};
  BackgroundRun one({first}, [&](const FileOutcome&) {
    for (int k = 0; k < 500 && !secondEnded; ++k) std::this_thread::sleep_for(10ms);
  });
  for (int k = 0; k < 500 && TempFolder::read(first) == kSjisScript; ++k) std::this_thread::sleep_for(10ms);
  BackgroundRun two({second});
  two.thread.join();
  secondEnded = true;
  one.thread.join();
  EXPECT_FALSE(one.waited);
  EXPECT_FALSE(two.waited);
  EXPECT_EQ(two.summary.successes, 1);
  EXPECT_EQ(TempFolder::read(second), kUtf8Script);
}

}  // namespace
}  // namespace sarnavel
