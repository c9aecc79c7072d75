#include "run/intake.h"

#include <sys/stat.h>

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

void walkFolder(const fs::path& folder, std::vector<FolderIdentity>& onTheWayDown, IntakeReport& report) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return;
  const FolderIdentity identity{info.st_dev, info.st_ino};
  if (std::find(onTheWayDown.begin(), onTheWayDown.end(), identity) != onTheWayDown.end()) return;

  std::set<std::string> files;  // ascending by byte, each once
  std::vector<fs::path> subfolders;
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) return;
  for (fs::directory_iterator end; entries != end; entries.increment(error)) {
    if (error) break;
    const fs::directory_entry& entry = *entries;
    std::error_code statusError;
    if (entry.is_directory(statusError)) {
      subfolders.push_back(entry.path());
    } else if (isAcceptedKind(classifyExtension(entry.path()))) {
      files.insert(entry.path().native());
    }
  }
  std::sort(subfolders.begin(), subfolders.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename().native() < b.filename().native(); });

  for (const std::string& file : files) report.files.emplace_back(file);
  onTheWayDown.push_back(identity);
  for (const fs::path& subfolder : subfolders) walkFolder(subfolder, onTheWayDown, report);
  onTheWayDown.pop_back();
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
    walkFolder(full, onTheWayDown, report);
  } else if (isAcceptedKind(classifyExtension(path))) {
    report.files.push_back(full);
  } else {
    report.otherKinds.push_back(path);
  }
}

}  // namespace sarnavel
