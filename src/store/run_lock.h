// Keeping two runs that write over the same folders apart: otherwise a run could read a page
// before another run rewrites it and the page's script after, and convert the script twice.
//
// A run that writes holds advisory locks (flock) on folders from before its first file until
// it ends: an exclusive one on each folder of the minimal cover of the folders that hold its
// listed files (a folder holding listed files none of whose ancestors holds any), and a shared
// one on every folder above those, up to "/". Two runs whose files lie in one folder, or one
// below the other, exclude each other; two runs on unrelated folders (both sharing "/") do
// not. Folders are named by the folder they finally reach (folder_keys.h), so a link and its
// target are one folder. A style sheet or script that a page loads from outside those folders
// is not locked for: it is known only once the pages are read, and taking locks then could
// leave two runs each holding what the other waits for.
//
// A flock writes nothing on disk and goes with the process: a killed run leaves no lock
// behind. A folder that cannot be opened (no read permission) is passed over, as are the cover
// folders beyond the first kMaxLockedFolders (see there). So is a folder above the cover that
// the user may not write: anyone who may read a folder may lock it, and a lock held on "/" or
// "/home" by another user must not stall every run below. And so is a folder whose lock no
// sarnavel run that may write it holds (lock_holders.h): a lock any other program took, on any
// folder, holds no run. Two runs of different users, one of them over a folder the other may
// not write, may then overlap below it; each file's write still checks that the file is as it
// was read.
//
// Contract: all or nothing, never a deadlock: every lock is tried without blocking, in one
// fixed order; when one is held by a run to wait for, all are let go, `waiting` is told of the
// folder and of that run's process (0 when /proc cannot name it; told again only of another
// one), and the whole set is tried again as soon as that process ends, or after about 100 ms,
// until it is taken or `cancel` is set. Each folder is opened and locked once (flock
// conflicts between two open descriptions even within one process). Not thread-safe; the
// locks go when the object goes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/folder_keys.h"

namespace sarnavel {

// Past this many cover folders the rest go unlocked: each lock is an open descriptor, and the
// run's threads need descriptors of their own. A cover this wide comes only from files listed
// one by one from all over the disk; two such runs still meet on the first folders, which
// both lock in the same order.
inline constexpr std::size_t kMaxLockedFolders = 256;

struct FolderLockPlan {
  std::vector<std::string> exclusive;  // the minimal cover, ascending
  std::vector<std::string> shared;     // every folder above the cover, ascending
};

// The folders a run over these files locks (paths absolute or relative to the current folder):
// each file's folder is added, then the plan is taken.
class FolderLockPlanner {
 public:
  void addFolderOf(std::string_view file);
  FolderLockPlan plan() const;

 private:
  FolderKeys keys_;
  std::set<std::string> folders_;  // resolved
  std::string previous_;           // the last folder added, as given (files come folder by folder)
};

template <class Files>
FolderLockPlan folderLockPlan(const Files& files) {
  FolderLockPlanner planner;
  for (std::string_view file : files) planner.addFolderOf(file);
  return planner.plan();
}

class RunLock {
 public:
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

  // Takes the plan's locks as the contract says. False when `cancel` ended the wait (nothing
  // is then held).
  bool acquire(const FolderLockPlan& plan, const std::function<void(std::string_view folder, pid_t holder)>& waiting,
               const std::atomic<bool>& cancel);

 private:
  struct Held {
    int descriptor;
    bool exclusive;
    std::string folder;
    bool passedOver = false;  // held by no run to wait for
  };
  bool tryAll();  // every lock or none; on failure, blocker_ is the index of the folder held elsewhere
  void releaseAll(std::size_t count);
  // The run to wait for that holds the blocking folder: its process, 0 when it cannot be
  // named; none when no run to wait for holds it.
  std::optional<pid_t> runHolding(const Held& blocked) const;

  std::vector<Held> held_;
  std::size_t blocker_ = 0;
};

}  // namespace sarnavel
