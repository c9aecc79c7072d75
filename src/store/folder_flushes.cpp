#include "store/folder_flushes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace sarnavel {

void FolderFlushes::changed(FolderId id, int fd, std::string_view file) {
  std::lock_guard lock(mutex_);
  Folder& folder = folders_[id];
  if (!folder.fd) folder.fd.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  ++folder.notes;
  notes_.emplace(std::string(file), Note{id, ++folder.changes});
}

bool FolderFlushes::durableFor(std::string_view file) {
  std::unique_lock lock(mutex_);
  auto [first, last] = notes_.equal_range(file);
  std::vector<Note> wanted;
  for (auto note = first; note != last; ++note) wanted.push_back(note->second);
  notes_.erase(first, last);
  // Timed only when there is something to wait for: most files' changes are covered already.
  std::chrono::steady_clock::time_point waitBegan;
  bool waited = false;
  bool durable = true;
  auto beginWait = [&] {
    if (!waited) waitBegan = std::chrono::steady_clock::now();
    waited = true;
  };
  for (const Note& note : wanted) {
    Folder& folder = folders_.at(note.folder);  // std::map: the reference outlives other insertions
    while (folder.flushed < note.change) {
      beginWait();
      if (folder.flushing) {
        flushDone_.wait(lock);
        continue;
      }
      // This thread flushes for every change noted in the folder so far, its own and others'.
      folder.flushing = true;
      const std::uint64_t after = folder.flushed, covers = folder.changes;
      ++flushes_;
      lock.unlock();
      const bool flushed = folder.fd && ::fsync(folder.fd.get()) == 0;
      lock.lock();
      folder.flushing = false;
      if (!flushed) folder.failed.emplace_back(after, covers);
      if (covers > folder.flushed) folder.flushed = covers;
      flushDone_.notify_all();
    }
    for (const auto& [after, through] : folder.failed)
      durable = durable && !(note.change > after && note.change <= through);
    // The last note of a folder goes once it is flushed: the folder joins the idle ones, and
    // the one idle longest is closed.
    if (--folder.notes == 0 && !folder.flushing) keepIdle(note.folder);
  }
  if (waited) {
    const auto nanos =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - waitBegan);
    waitNanos_.fetch_add(static_cast<std::uint64_t>(nanos.count()), std::memory_order_relaxed);
  }
  return durable;
}

void FolderFlushes::keepIdle(FolderId id) {
  idle_.erase(std::remove(idle_.begin(), idle_.end(), id), idle_.end());
  idle_.push_back(id);
  while (idle_.size() > kIdleKept) {
    const FolderId oldest = idle_.front();
    idle_.pop_front();
    // A folder changed again since it went idle waits for its own flush and stays.
    if (auto folder = folders_.find(oldest);
        folder != folders_.end() && folder->second.notes == 0 && !folder->second.flushing)
      folders_.erase(folder);
  }
}

std::uint64_t FolderFlushes::flushCount() const {
  std::lock_guard lock(mutex_);
  return flushes_;
}

}  // namespace sarnavel
