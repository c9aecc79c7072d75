#include "run/folder_flushes.h"

#include <unistd.h>

namespace sarnavel {

void FolderFlushes::changed(FolderId folder) {
  std::lock_guard lock(mutex_);
  ++folders_[folder].changes;
}

void FolderFlushes::durable(FolderId folder, int fd) {
  std::unique_lock lock(mutex_);
  auto entry = folders_.find(folder);
  if (entry == folders_.end()) return;  // nothing noted, or all of it flushed and forgotten
  Pending& pending = entry->second;      // std::map: the reference outlives other insertions
  const std::uint64_t wanted = pending.changes;
  ++pending.waiting;
  while (pending.flushed < wanted) {
    if (pending.flushing) {
      flushDone_.wait(lock);
      continue;
    }
    // This thread flushes for every change noted so far, its own and the others'.
    pending.flushing = true;
    const std::uint64_t covers = pending.changes;
    ++flushes_;
    lock.unlock();
    ::fsync(fd);  // best effort, as a single flush would be: the renames have taken effect
    lock.lock();
    pending.flushing = false;
    if (covers > pending.flushed) pending.flushed = covers;
    flushDone_.notify_all();
  }
  if (--pending.waiting == 0 && !pending.flushing && pending.flushed == pending.changes) folders_.erase(entry);
}

std::uint64_t FolderFlushes::flushCount() const {
  std::lock_guard lock(mutex_);
  return flushes_;
}

}  // namespace sarnavel
