#include "store/backup_chain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "store/posix_file.h"
#include "store/work_folder.h"

namespace sarnavel {
namespace {

bool exists(int folder, const std::string& name) {
  struct stat entry;
  return ::fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

namespace store_steps {

void moveGenerationsBack(int folder, const std::string& leaf, std::string_view suffix) {
  // The free name first, then every generation up to the first free name after it.
  std::vector<std::string> chain{leaf};
  for (std::string name = leaf + std::string(suffix);; name += suffix) {
    chain.push_back(name);
    if (!exists(folder, name)) break;
  }
  undoShift(folder, chain, 0);
  ::fsync(folder);
}

}  // namespace store_steps

bool popBackup(const std::filesystem::path& backup, std::string_view suffix, const FileStamp& expected) {
  const FileDescriptor folder = openFolder(folderOf(backup));
  const std::string leaf = backup.filename().native();
  struct stat now;
  if (!folder || suffix.empty() || ::fstatat(folder.get(), leaf.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(now.st_mode) || !sameContentAsStamped(expected, now) || ::unlinkat(folder.get(), leaf.c_str(), 0) != 0)
    return false;
  store_steps::moveGenerationsBack(folder.get(), leaf, suffix);
  return true;
}

void closeBackupGap(const std::filesystem::path& backup, std::string_view suffix) {
  const FileDescriptor folder = openFolder(folderOf(backup));
  if (!folder || suffix.empty()) return;
  // The first free name of the chain; a gap when a generation follows it.
  std::string name = backup.filename().native();
  while (exists(folder.get(), name)) name += suffix;
  if (exists(folder.get(), name + std::string(suffix))) store_steps::moveGenerationsBack(folder.get(), name, suffix);
}

}  // namespace sarnavel
