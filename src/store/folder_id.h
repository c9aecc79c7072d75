// A folder's identity (device and inode), by which the run tells one folder from another
// whatever path reaches it: the folder a file was listed in, the folder a flush covers.
//
// Contract: a plain value. Inode 0, which no folder has, stands for a folder not known.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace sarnavel {

struct FolderId {
  dev_t device = 0;
  ino_t inode = 0;
  auto operator<=>(const FolderId&) const = default;
  bool known() const { return inode != 0; }
};

inline FolderId folderIdOf(const struct stat& info) { return {info.st_dev, info.st_ino}; }

}  // namespace sarnavel
