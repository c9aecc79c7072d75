#include "store/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "store/posix_file.h"

namespace sarnavel {

std::vector<FolderEntry> folderEntries(const std::filesystem::path& folder, std::error_code& error) {
  error.clear();
  std::vector<FolderEntry> entries;
  FileDescriptor listing(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* stream = listing ? ::fdopendir(listing.get()) : nullptr;
  if (stream == nullptr) {
    error.assign(errno, std::generic_category());
    return entries;
  }
  const int at = listing.release();  // the stream owns it now
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    // A link, or a file system that does not say: the name's target decides.
    struct stat seen;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
      isFolder = ::fstatat(at, entry->d_name, &seen, 0) == 0 && S_ISDIR(seen.st_mode);
    entries.push_back({std::string(name), isFolder});
    errno = 0;
  }
  if (errno != 0) {
    error.assign(errno, std::generic_category());
    entries.clear();
  }
  ::closedir(stream);
  return entries;
}

}  // namespace sarnavel
