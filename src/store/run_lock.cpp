#include "store/run_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <thread>

#include "store/lock_holders.h"
#include "store/path_parts.h"

namespace sarnavel {

namespace {

// The folder above `folder` ("/" has none: empty).
std::string parentOf(const std::string& folder) {
  if (folder == "/") return {};
  const std::size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : folder.substr(0, slash);
}

}  // namespace

void FolderLockPlanner::addFolderOf(std::string_view file) {
  const std::string_view folder = folderPart(file);
  if (folder == previous_) return;  // listed files come folder by folder
  previous_.assign(folder);
  folders_.insert(keys_.of(folder));
}

FolderLockPlan FolderLockPlanner::plan() const {
  const std::set<std::string>& folders = folders_;
  FolderLockPlan plan;
  std::set<std::string> above;
  for (const std::string& folder : folders) {
    bool covered = false;
    for (std::string up = parentOf(folder); !up.empty() && !covered; up = parentOf(up))
      covered = folders.count(up) != 0;
    if (covered) continue;
    if (plan.exclusive.size() == kMaxLockedFolders) break;
    plan.exclusive.push_back(folder);
    for (std::string up = parentOf(folder); !up.empty(); up = parentOf(up)) {
      if (!above.insert(up).second) break;  // and so are all above it
    }
  }
  plan.shared.assign(above.begin(), above.end());
  return plan;
}

RunLock::~RunLock() {
  for (const Held& lock : held_) ::close(lock.descriptor);
}

bool RunLock::acquire(const FolderLockPlan& plan,
                      const std::function<void(std::string_view folder, pid_t holder)>& waiting,
                      const std::atomic<bool>& cancel) {
  // Shared ones first, from "/" down, then the cover: the same order in every run.
  auto open = [&](const std::string& folder, bool exclusive) {
    // Whoever may read a folder may lock it: above the cover, only the folders the user may
    // write are locked, or any other user could stall every run below "/" or "/home".
    if (!exclusive && ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0) return;
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) held_.push_back({descriptor, exclusive, folder});
  };
  for (const std::string& folder : plan.shared) open(folder, false);
  for (const std::string& folder : plan.exclusive) open(folder, true);
  std::optional<pid_t> told;
  while (!cancel.load()) {
    if (tryAll()) return true;
    Held& blocked = held_[blocker_];
    const std::optional<pid_t> run = runHolding(blocked);
    if (!run) {
      blocked.passedOver = true;
      continue;
    }
    if (told != run && waiting) waiting(blocked.folder, *run);
    told = run;
    if (*run > 0) {
      waitForEnd(*run, cancel, 100);
    } else {
      for (int slice = 0; slice < 10 && !cancel.load(); ++slice)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return false;
}

std::optional<pid_t> RunLock::runHolding(const Held& blocked) const {
  struct stat folder;
  if (::fstat(blocked.descriptor, &folder) != 0) return 0;
  const std::optional<std::vector<pid_t>> holders = flockHolders(folder);
  // Unknown, or let go between the try and the look: looked at again after a while.
  if (!holders || holders->empty()) return 0;
  for (pid_t holder : *holders)
    if (isRunThatMayWrite(holder, folder)) return holder;
  return std::nullopt;
}

bool RunLock::tryAll() {
  for (std::size_t k = 0; k < held_.size(); ++k) {
    const Held& lock = held_[k];
    if (lock.passedOver) continue;
    int result;
    do {
      result = ::flock(lock.descriptor, (lock.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) {
      blocker_ = k;
      releaseAll(k);
      return false;
    }
    // Another failure (a file system without locks) is passed over, as an unopenable folder is.
  }
  return true;
}

void RunLock::releaseAll(std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) ::flock(held_[k].descriptor, LOCK_UN);
}

}  // namespace sarnavel
