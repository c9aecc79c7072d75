// What a read saw of a file, so that a later write can tell whether anything changed the file
// in between: the same file (device and inode), the same size, the same modification and
// change times. Any write, truncation, rename over the name, change of owner, mode or
// extended attribute moves one of them.
//
// Contract: plain values; taken from the descriptor that was read (fstat), compared with a
// fresh status of the name or descriptor about to be written.
#pragma once

#include <sys/stat.h>
#include <time.h>

namespace sarnavel {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
  // Whether the file had extended attributes (ACLs included) when it was read; true when
  // unknown, so that a write looks for them.
  bool hasExtendedAttributes = true;
  // Its link count, owner and group, which tell how a backup of it will most likely be made
  // (file_store.h, backupMayBeLink); a link count of 0 is unknown. Not compared.
  nlink_t links = 0;
  uid_t owner = 0;
  gid_t group = 0;
};

inline FileIdentity identityOf(const struct stat& info, bool hasExtendedAttributes = true) {
  return {info.st_dev,           info.st_ino,   info.st_size, info.st_mtim, info.st_ctim,
          hasExtendedAttributes, info.st_nlink, info.st_uid,  info.st_gid};
}

inline bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// True when `now` is the file that was read, unchanged since.
inline bool unchangedSince(const FileIdentity& read, const struct stat& now) {
  return read.device == now.st_dev && read.inode == now.st_ino && read.size == now.st_size &&
         sameTime(read.modified, now.st_mtim) && sameTime(read.changed, now.st_ctim);
}

}  // namespace sarnavel
