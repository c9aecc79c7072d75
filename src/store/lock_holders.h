// Who holds a lock on a folder, and whether a run must wait for them.
//
// A run waits only for another sarnavel run that may write the folder it holds (run_lock.h):
// anyone who may read a folder may lock it, and a lock taken by any other program (`flock -x
// /`), or by a run of a user who could not write there anyway, must not hold every run below.
// The kernel names the process that took each lock (/proc/locks, by device and inode); a
// process is a sarnavel run when it is this very process (another run in it) or its name is
// one of the programs' (sarnavel, sarnavel-cli), and it may write the folder when its user is
// root or the folder's permission bits let its user or one of its groups write (ACLs aside).
//
// Contract: reads /proc only; no state. Where /proc tells nothing, the holder is unknown.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <optional>
#include <vector>

namespace sarnavel {

// The processes the kernel names as holding a flock on the file (`folder`'s device and
// inode); none known when /proc/locks cannot be read (then nullopt).
std::optional<std::vector<pid_t>> flockHolders(const struct stat& folder);

// Whether the process is a sarnavel run whose user may write the folder.
bool isRunThatMayWrite(pid_t process, const struct stat& folder);

// Waits until the process ends, `cancel` is set, or `slice` milliseconds have passed.
void waitForEnd(pid_t process, const std::atomic<bool>& cancel, int slice);

}  // namespace sarnavel
