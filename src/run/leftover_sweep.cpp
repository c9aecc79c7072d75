#include "run/leftover_sweep.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "run/posix_file.h"
#include "run/recovery_copy.h"
#include "run/temp_file.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// Removes a temporary file of ours when nobody holds its lock.
bool removeIfAbandoned(int folder, const std::string& name) {
  struct stat info;
  FileDescriptor file = openRegularFile(folder, name, O_RDONLY, info, false);
  if (!file || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return false;
  // Still the same file under that name (another sweep may have removed it meanwhile).
  struct stat named;
  if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != info.st_ino ||
      named.st_dev != info.st_dev) {
    return false;
  }
  return ::unlinkat(folder, name.c_str(), 0) == 0;
}

}  // namespace

FolderSweep sweepFolder(const fs::path& folder) {
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
  if (temporaries.empty() && recoveries.empty()) return result;

  for (const std::string& name : recoveries) {
    fs::path file;
    if (restoreFromRecoveryCopy(folder, name, &file) == RecoveryOutcome::FormerRestored)
      result.restored.push_back(file);
  }
  FileDescriptor handle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!handle) return result;
  for (const std::string& name : temporaries)
    result.temporariesRemoved += removeIfAbandoned(handle.get(), name) ? 1 : 0;
  if (result.temporariesRemoved > 0) ::fsync(handle.get());
  return result;
}

void LeftoverSweep::sweepFoldersOf(const std::vector<std::string_view>& paths) {
  std::string_view previous;  // a pass's paths are sorted: neighbours mostly share a folder
  const std::unordered_set<std::string>* links = nullptr;
  for (std::string_view text : paths) {
    const std::size_t slash = text.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? "." : slash == 0 ? "/" : text.substr(0, slash);
    if (links == nullptr || folder != previous) links = &sweepOnce(fs::path(folder));
    previous = folder;
    // A link is written where its file lies: that folder is swept too.
    if (links->empty() || !links->count(std::string(slash == std::string_view::npos ? text : text.substr(slash + 1))))
      continue;
    std::error_code error;
    const fs::path target = fs::canonical(fs::path(text), error);
    if (!error) sweepOnce(folderOf(target));
  }
}

const std::unordered_set<std::string>& LeftoverSweep::sweepOnce(const fs::path& folder) {
  auto [entry, added] = swept_.try_emplace(folder.native());
  if (!added) return entry->second;
  FolderSweep swept = sweepFolder(folder);
  done_.temporariesRemoved += swept.temporariesRemoved;
  done_.restored.insert(done_.restored.end(), swept.restored.begin(), swept.restored.end());
  entry->second.insert(swept.links.begin(), swept.links.end());
  return entry->second;
}

}  // namespace sarnavel
