#include "run/intake.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <utility>

#include "run/file_kind.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

using FolderIdentity = std::pair<dev_t, ino_t>;

fs::path fullPathOf(const fs::path& path) {
  std::error_code error;
  fs::path full = fs::absolute(path, error);
  return (error ? path : full).lexically_normal();
}

// Walks the open folder `folder` (whose full path is `path`) and closes it. Folders are opened
// relative to their parent, so no path is ever too long to walk, whatever its length.
void walkFolder(int folder, const std::string& path, std::vector<FolderIdentity>& onTheWayDown, IntakeReport& report) {
  struct stat info {};
  if (fstat(folder, &info) != 0) {
    close(folder);
    return;
  }
  const FolderIdentity identity{info.st_dev, info.st_ino};
  if (std::find(onTheWayDown.begin(), onTheWayDown.end(), identity) != onTheWayDown.end()) {
    close(folder);
    return;
  }
  int listing = dup(folder);
  DIR* entries = listing >= 0 ? fdopendir(listing) : nullptr;
  if (entries == nullptr) {
    if (listing >= 0) close(listing);
    close(folder);
    return;
  }
  std::set<std::string> files;  // ascending by byte, each once
  std::vector<std::string> subfolders;
  while (dirent* entry = readdir(entries)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat entryInfo {};
    // Links are followed; an entry whose target cannot be reached counts as a file.
    bool isFolder = fstatat(folder, name.c_str(), &entryInfo, 0) == 0 && S_ISDIR(entryInfo.st_mode);
    if (isFolder) {
      subfolders.push_back(name);
    } else if (isAcceptedKind(classifyExtension(name))) {
      files.insert(path + "/" + name);
    }
  }
  closedir(entries);
  std::sort(subfolders.begin(), subfolders.end());

  for (const std::string& file : files) report.files.emplace_back(file);
  onTheWayDown.push_back(identity);
  for (const std::string& name : subfolders) {
    int child = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (child >= 0) walkFolder(child, path + "/" + name, onTheWayDown, report);
  }
  onTheWayDown.pop_back();
  close(folder);
}

}  // namespace

void offerPath(const fs::path& path, IntakeReport& report) {
  std::error_code error;
  fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) {
    report.missing.push_back(path);
    return;
  }
  fs::path full = fullPathOf(path);
  if (fs::is_directory(status)) {
    std::vector<FolderIdentity> onTheWayDown;
    int folder = open(full.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = full.native();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (folder >= 0) walkFolder(folder, path, onTheWayDown, report);
  } else if (isAcceptedKind(classifyExtension(path))) {
    report.files.push_back(full);
  } else {
    report.otherKinds.push_back(path);
  }
}

}  // namespace sarnavel
