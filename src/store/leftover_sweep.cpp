#include "store/leftover_sweep.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/posix_file.h"
#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"
#include "store/path_parts.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// Removes a temporary file of ours when the user's memory names it and nobody holds its lock.
bool removeIfAbandoned(int folder, const std::string& name, const RunMemory& memory) {
  struct stat info;
  FileDescriptor file = openRegularFile({folder, name, O_RDONLY, false}, info);
  if (!file || !memory.madeTemporary(name) || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return false;
  // Still the same file under that name (another sweep may have removed it meanwhile).
  struct stat named;
  if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != info.st_ino ||
      named.st_dev != info.st_dev) {
    return false;
  }
  return ::unlinkat(folder, name.c_str(), 0) == 0;
}

}  // namespace

FolderSweep sweepFolder(const fs::path& folder, const RunMemory& memory, bool lookOnly) {
  FolderSweep result;
  std::vector<std::string> temporaries, recoveries;
  {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return result;
    DIR* listing = ::fdopendir(fd);
    if (listing == nullptr) {
      ::close(fd);
      return result;
    }
    while (const dirent* entry = ::readdir(listing)) {
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) result.links.emplace_back(entry->d_name);
      if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
      switch (leftoverKindOf(entry->d_name)) {
        case LeftoverKind::Temporary: temporaries.emplace_back(entry->d_name); break;
        case LeftoverKind::Recovery: recoveries.emplace_back(entry->d_name); break;
        case LeftoverKind::None: break;
      }
    }
    ::closedir(listing);
  }
  if (lookOnly) {
    for (const std::string& name : recoveries)
      if (!usableRecoveryCopy(folder, name, memory)) result.pending.push_back(name);
    return result;
  }
  for (const std::string& name : recoveries) {
    fs::path file;
    switch (restoreFromRecoveryCopy(folder, name, memory, &file)) {
      case RecoveryOutcome::FormerRestored: result.restored.push_back(file); break;
      case RecoveryOutcome::NothingToUndo:
      case RecoveryOutcome::ChangedSince: break;
      case RecoveryOutcome::FileReplaced: result.keptCopies.push_back(folder / name); break;
      case RecoveryOutcome::InUse:
      case RecoveryOutcome::Unusable:
      case RecoveryOutcome::NotRecorded:
      case RecoveryOutcome::Failed: result.pending.push_back(name); break;
    }
  }
  if (temporaries.empty()) return result;
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!handle) return result;
  for (const std::string& name : temporaries)
    result.temporariesRemoved += removeIfAbandoned(handle.get(), name, memory) ? 1 : 0;
  if (result.temporariesRemoved > 0) ::fsync(handle.get());
  return result;
}

void LeftoverSweep::sweepFoldersOf(const std::vector<std::string_view>& paths) {
  std::string_view previous;  // a pass's paths are sorted: neighbours mostly share a folder
  const Swept* swept = nullptr;
  for (std::string_view text : paths) {
    const std::string_view folder = folderPart(text);
    if (swept == nullptr || folder != previous) swept = &sweepOnce(fs::path(folder));
    previous = folder;
    // A link is written where its file lies: that folder is swept too.
    if (swept->links.empty() || !swept->links.count(std::string(namePart(text)))) continue;
    std::error_code error;
    const fs::path target = fs::canonical(fs::path(text), error);
    if (!error) sweepOnce(folderOf(target));
  }
}

const LeftoverSweep::Swept& LeftoverSweep::sweepOnce(const fs::path& folder) {
  auto [entry, added] = swept_.try_emplace(folder.native());
  if (!added) return entry->second;
  FolderSweep swept = sweepFolder(folder, memory_, lookOnly_);
  done_.temporariesRemoved += swept.temporariesRemoved;
  done_.restored.insert(done_.restored.end(), swept.restored.begin(), swept.restored.end());
  done_.keptCopies.insert(done_.keptCopies.end(), swept.keptCopies.begin(), swept.keptCopies.end());
  entry->second.links.insert(swept.links.begin(), swept.links.end());
  entry->second.pending = std::move(swept.pending);
  return entry->second;
}

std::optional<fs::path> LeftoverSweep::pendingIn(std::string_view folder, std::string_view name) const {
  const auto swept = swept_.find(std::string(folder));
  if (swept == swept_.end()) return std::nullopt;
  for (const std::string& copy : swept->second.pending)
    if (leftoverServes(copy, name)) return fs::path(folder) / copy;
  return std::nullopt;
}

std::optional<fs::path> LeftoverSweep::pendingFor(std::string_view path) const {
  const std::string_view folder = folderPart(path), name = namePart(path);
  if (std::optional<fs::path> copy = pendingIn(folder, name)) return copy;
  const auto swept = swept_.find(std::string(folder));
  if (swept == swept_.end() || !swept->second.links.count(std::string(name))) return std::nullopt;
  std::error_code error;
  const fs::path target = fs::canonical(fs::path(path), error);
  if (error) return std::nullopt;
  return pendingIn(folderOf(target).native(), target.filename().native());
}

}  // namespace sarnavel
