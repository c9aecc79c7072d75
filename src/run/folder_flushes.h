// Flushing a folder once for a batch of files renamed in it, instead of once per file.
//
// A rename reaches the disk only when its folder is flushed. A run replaces many files in one
// folder at the same time on several threads; each needs its rename durable before its log
// line says it succeeded, but one flush of the folder makes every rename done in it before
// the flush began durable. FolderFlushes lets the threads share those flushes (group commit):
// a thread that changed a folder's names notes the change, then asks for it to be durable.
// When a flush that began after its change has completed, it returns at once; when a flush of
// that folder is under way, it waits for it and looks again; otherwise it flushes the folder
// itself, covering every change noted before it began. Names changed in the same folder reach
// the disk in the order they were made (the journal writes them in order), so a backup renamed
// before its file was replaced is durable with it.
//
// Contract: durable(folder, fd) returns only once every change noted for that folder before
// the call is on disk, as far as fsync of the folder says so; a failing fsync is not retried
// (the renames have taken effect, as with a single flush). A folder is known by its device
// and inode, so two paths to it share their flushes; `fd` is any descriptor of it (the
// caller's own, so nothing is opened or kept here). Thread-safe; one object per run. A folder
// with nothing pending and nobody waiting is forgotten, so memory stays with the folders in
// flight.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace sarnavel {

struct FolderId {
  dev_t device = 0;
  ino_t inode = 0;
  auto operator<=>(const FolderId&) const = default;
};

class FolderFlushes {
 public:
  // A name in the folder was changed (the rename or link has taken effect).
  void changed(FolderId folder);
  // Every change noted for the folder so far is on disk when this returns.
  void durable(FolderId folder, int fd);
  // How many times a folder was flushed so far (for tests).
  std::uint64_t flushCount() const;

 private:
  struct Pending {
    std::uint64_t changes = 0;  // changes noted, counted from 1
    std::uint64_t flushed = 0;  // changes covered by a completed flush
    bool flushing = false;
    int waiting = 0;
  };
  mutable std::mutex mutex_;
  std::condition_variable flushDone_;
  std::map<FolderId, Pending> folders_;
  std::uint64_t flushes_ = 0;
};

}  // namespace sarnavel
