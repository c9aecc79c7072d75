// Flushing a folder once for a batch of files renamed in it, instead of once per file.
//
// A rename reaches the disk only when its folder is flushed, and a run may say a file
// succeeded only once its rename is durable. One flush of a folder makes every rename done in
// it before the flush began durable, so the file store does not flush the folder itself when
// it is given a FolderFlushes: it notes the change under the file's path, and the run, just
// before it logs that file, asks for the file's changes to be durable. By then the files
// converted after it on the other threads have mostly been renamed too, and the one flush
// covers them all: a file whose change an earlier flush already covered costs nothing.
// Names changed in one folder reach the disk in the order they were made (the journal
// writes them in order), so a backup renamed before its file was replaced in the same folder
// is durable with it.
//
// Several threads asking at once share the flushes (group commit): a thread whose change a
// completed flush that began after it covers returns at once; while a flush of that folder is
// under way it waits and looks again; otherwise it flushes the folder, for every change noted
// so far.
//
// Contract: durableFor(file) returns only once every change noted for that file is on disk,
// as far as fsync of its folder says so; a failing fsync is not retried (the renames have
// taken effect, as with a flush right after them), and durableFor then says so (false). A folder is known by its device and inode,
// so two paths to it share their flushes; it is kept open (one descriptor, duplicated from the
// store's) while a change in it waits, and, once none does, among the last kIdleKept such
// folders only (a run goes folder by folder: the next files of a folder find it open instead
// of duplicating and closing its descriptor each time), so descriptors and memory stay with
// the files in flight and a few folders more. Thread-safe; one object per run.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/folder_id.h"
#include "store/posix_file.h"

namespace sarnavel {

class FolderFlushes {
 public:
  // A name in the folder (`fd` a descriptor of it) was changed for `file`: the rename or link
  // has taken effect and must be durable before the file is reported.
  void changed(FolderId folder, int fd, std::string_view file);
  // Every change noted for `file` is on disk when this returns; its notes are then forgotten.
  // False when a flush that was to cover one of them failed (or the folder could not be kept
  // open to flush it): the change has taken effect, but whether it is on disk is not known.
  bool durableFor(std::string_view file);
  // How many times a folder was flushed so far.
  std::uint64_t flushCount() const;
  // How long durableFor's callers waited for folders' flushes so far, in nanoseconds, theirs
  // or another thread's; read by any thread.
  std::uint64_t waitNanos() const { return waitNanos_.load(std::memory_order_relaxed); }

 private:
  // How many folders with no change waiting stay open.
  static constexpr std::size_t kIdleKept = 16;
  struct Folder {
    FileDescriptor fd;
    std::uint64_t changes = 0;  // changes noted, counted from 1
    std::uint64_t flushed = 0;  // changes covered by a completed flush
    bool flushing = false;
    int notes = 0;  // changes of files not yet made durable
    // The changes each failed flush was to cover, (after, through]: few, flushes rarely fail.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> failed;
  };
  struct Note {
    FolderId folder;
    std::uint64_t change = 0;
  };
  // The folder's changes are all durable: it stays open among the idle ones (mutex_ held).
  void keepIdle(FolderId id);

  mutable std::mutex mutex_;
  std::condition_variable flushDone_;
  std::map<FolderId, Folder> folders_;
  std::multimap<std::string, Note, std::less<>> notes_;
  std::deque<FolderId> idle_;  // folders whose changes were all durable, the latest last
  std::uint64_t flushes_ = 0;
  std::atomic<std::uint64_t> waitNanos_{0};
};

}  // namespace sarnavel
