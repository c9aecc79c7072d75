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

// The five facts alone, for remembering many files: what a write left, say, so that a later
// look tells whether the file is still exactly so.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};
};

inline FileStamp stampOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

struct FileIdentity {
  // The read's whole status: its stamp is what a write checks, and its link count, owner and
  // group tell how a backup of the file will most likely be made (file_store.h,
  // replaceFile; a link count of 0 is unknown).
  struct stat status {};
  // Whether the file had extended attributes (ACLs included) when it was read; true when
  // unknown, so that a write looks for them.
  bool hasExtendedAttributes = true;
  // The read opened the name itself (no link followed) and found the file free of the
  // immutable and append-only flags: a write of that name then takes the status for its first
  // look at the name, and its check just before the rename compares the name with the read as
  // ever. False when not so or not known.
  bool nameFreeToChange = false;

  FileStamp stamp() const { return stampOf(status); }
};

inline FileIdentity identityOf(const struct stat& info, bool hasExtendedAttributes = true) {
  return {info, hasExtendedAttributes, false};
}

inline bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The same file, of the same size and modification time: as stamped but for its change time,
// which a link or rename of its own moves.
inline bool sameContentAsStamped(const FileStamp& stamp, const struct stat& now) {
  return stamp.device == now.st_dev && stamp.inode == now.st_ino && stamp.size == now.st_size &&
         sameTime(stamp.modified, now.st_mtim);
}

inline bool stillAsStamped(const FileStamp& stamp, const struct stat& now) {
  return sameContentAsStamped(stamp, now) && sameTime(stamp.changed, now.st_ctim);
}

// True when `now` is the file that was read, unchanged since.
inline bool unchangedSince(const FileIdentity& read, const struct stat& now) {
  return stillAsStamped(read.stamp(), now);
}

}  // namespace sarnavel
