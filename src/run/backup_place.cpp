#include "run/backup_place.h"

#include <algorithm>
#include <string>

#include "store/posix_file.h"

namespace sarnavel {

std::optional<BackupPlace> backupPlaceOf(const std::filesystem::path& file, const ConversionOptions& options,
                                         const NamedFolders* named) {
  if (options.backupFolder.empty() && options.backupSuffix == ".bak") return std::nullopt;
  BackupPlace place{options.backupSuffix, {}};
  if (options.backupFolder.empty()) return place;
  const std::string folder = fileKey(folderOf(file));
  // The outermost named folder that holds the file: the shortest key among those that do.
  const std::string* root = nullptr;
  if (named) {
    for (const std::string& each : named->roots())
      if (keyWithin(folder, each) && (!root || each.size() < root->size())) root = &each;
  }
  std::string below = root ? folder.substr(std::min(folder.size(), root->size())) : folder;
  below.erase(0, below.find_first_not_of('/'));
  place.folder = below.empty() ? options.backupFolder : options.backupFolder / below;
  place.root = options.backupFolder;  // the mirror below it is walked without following links
  return place;
}

BackupFolderClash backupFolderClash(const std::filesystem::path& folder, const NamedFolders& named) {
  const std::string key = fileKey(folder);
  const auto& roots = named.roots();
  if (named.cover(key)) return BackupFolderClash::InsideNamed;
  if (std::any_of(roots.begin(), roots.end(), [&](const std::string& root) { return keyWithin(root, key); }))
    return BackupFolderClash::HoldsNamed;
  return BackupFolderClash::None;
}

}  // namespace sarnavel
