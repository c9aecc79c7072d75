// How a file is replaced on disk (file_store.h: replaceFile): by a new file renamed over it, the
// former file becoming its backup where asked; or, where a new file could not have everything
// of the former one, in place behind a recovery copy (recovery_copy.h). A backup that must be a
// copy is file_backup.cpp's; the steps all of them share are work_folder.h's.
#include "store/file_store.h"

#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "store/file_attributes.h"
#include "store/folder_flushes.h"
#include "store/posix_file.h"
#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"
#include "store/work_folder.h"

namespace sarnavel {
using namespace store_steps;

namespace {

namespace fs = std::filesystem;

StoreResult writeInPlaceResult(const fs::path& target, std::span<const std::string_view> pieces,
                               const FileIdentity& read, RunMemory* memory) {
  // Rare (a file with several names, or one whose owner cannot be carried): the pieces are
  // joined for the recovery copy's checks.
  std::string joined;
  if (pieces.size() != 1) {
    for (std::string_view piece : pieces) joined += piece;
  }
  switch (writeInPlace(target, pieces.size() == 1 ? pieces.front() : std::string_view(joined), read, memory)) {
    case InPlaceOutcome::Written: return {};
    case InPlaceOutcome::ChangedSinceRead: return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);
    case InPlaceOutcome::CopyFailed: return failed(ResultCode::WriteFailed, problemOfCreation(errno));
    case InPlaceOutcome::WriteFailed: return failed(ResultCode::WriteFailed, problemOfWrite(errno));
    case InPlaceOutcome::FormerAwaitsRecovery:
      return failed(ResultCode::WriteFailed, StoreProblem::FormerAwaitsRecovery);
    case InPlaceOutcome::NotRecorded: return failed(ResultCode::WriteFailed, StoreProblem::NotRecorded);
  }
  return failed(ResultCode::WriteFailed);
}

// The suffix of the backups made beside the file: a run with a backup folder makes none there,
// but may meet one in flight that a run without it left (".bak").
std::string_view besideSuffixOf(const BackupPlace* place) {
  return place && !place->folder.empty() ? ".bak" : backupSuffixOf(place);
}

// Whether the file `info` describes, reached by `name` in the folder, has as its only other
// name name + suffix (".bak"): a run stopped between giving the former file its backup's name
// and renaming the new content over the name leaves that. The .bak is the backup, whole; the
// name is to be replaced by a new file, never written in place (the backup would show the new
// content).
bool backupInFlight(int folder, const std::string& name, const struct stat& info, std::string_view suffix) {
  if (info.st_nlink != 2) return false;
  struct stat backup;
  return ::fstatat(folder, (name + std::string(suffix)).c_str(), &backup, AT_SYMLINK_NOFOLLOW) == 0 &&
         backup.st_dev == info.st_dev && backup.st_ino == info.st_ino;
}

// Whether the file of two names, reached by `name` (a leaf in the folder, or a path), has as
// its other name `name` with something added beside it: the backup in flight a run with another
// suffix (--suffix) left. Not this run's backup, but written in place it would take the new
// content too, and it may hold the only former content.
bool otherNameExtends(int folder, const std::string& name, const struct stat& info) {
  if (info.st_nlink != 2) return false;
  const fs::path asked(name);
  const std::string leaf = asked.filename().native();
  FileDescriptor listing(::openat(folder, asked.has_parent_path() ? asked.parent_path().c_str() : ".",
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* entries = listing ? ::fdopendir(listing.get()) : nullptr;
  if (entries == nullptr) return false;
  const int at = listing.release();  // the stream owns it now
  bool found = false;
  while (dirent* entry = found ? nullptr : ::readdir(entries)) {
    const std::string_view other = entry->d_name;
    struct stat seen;
    found = other.size() > leaf.size() && other.starts_with(leaf) &&
            ::fstatat(at, entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) == 0 && seen.st_dev == info.st_dev &&
            seen.st_ino == info.st_ino;
  }
  ::closedir(entries);
  return found;
}

// A write asked to keep the former file as its backup (writeWithBackup): its outcome stands
// once it has begun to change names; until then it steps aside on any failure or doubt,
// having changed nothing, and the caller backs the file up by copying it instead.
struct BackupByLink {
  bool stands = false;
};

// The one rename that puts a complete new file under a file's name.
struct RenameOver {
  int folder;
  const std::string& from;    // the new file's temporary name in the folder
  const std::string& name;    // the file's
  FileStamp expected;         // what the file under `name` must still be
  const std::string* backup;  // the backup's name when it is the former file itself, or null
};

// By an exchange where the file system has one, so that what comes out under the temporary
// name can be looked at: another program that saved the file anew (or wrote into it) since the
// caller's last look would otherwise lose its save, or have it taken for the backup. Not the
// file read: the two go back (ChangedSinceRead). Otherwise the former file's temporary name
// goes; the file stays as the backup, if it is one. Where there is no exchange, a plain rename.
// Success or WriteFailed.
StoreResult renameOver(const RenameOver& r) {
  const char* from = r.from.c_str();
  const char* name = r.name.c_str();
  if (::renameat2(r.folder, from, r.folder, name, RENAME_EXCHANGE) != 0) {
    if ((errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) || ::renameat(r.folder, from, r.folder, name) != 0)
      return failed(ResultCode::WriteFailed);
    return {};
  }
  struct stat out, backup;
  // Our own link and rename have moved its change time: the rest must be as read.
  const bool asRead = ::fstatat(r.folder, from, &out, AT_SYMLINK_NOFOLLOW) == 0 &&
                      sameContentAsStamped(r.expected, out) &&
                      (!r.backup || (::fstatat(r.folder, r.backup->c_str(), &backup, AT_SYMLINK_NOFOLLOW) == 0 &&
                                     backup.st_ino == out.st_ino && backup.st_dev == out.st_dev));
  if (!asRead) {
    ::renameat2(r.folder, from, r.folder, name, RENAME_EXCHANGE);
    return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);
  }
  ::unlinkat(r.folder, from, 0);
  return {};
}

// A file that does not exist yet, made complete on disk before it takes the name.
StoreResult writeNewFile(WorkFolder& folder, const std::string& name, std::span<const std::string_view> bytes) {
  TempFile temp;
  temp.recordIn(folder.memory());
  if (!temp.create(folder.fd, folder.path, name, 0666))
    return failed(ResultCode::WriteFailed, problemOfCreation(errno));
  if (!writeAll(temp.fd(), bytes) || !folder.flushFile(temp.fd()))
    return failed(ResultCode::WriteFailed, problemOfWrite(errno));
  // A file that appeared meanwhile under the name is someone else's.
  if (!temp.publishAs(folder.fd, name))
    return failed(ResultCode::WriteFailed, errno == EEXIST ? StoreProblem::ChangedSinceRead : StoreProblem::None);
  folder.changed();
  return {};
}

// What a write replaces, as replaceContent found it in the folder.
struct FoundFile {
  const FileReplacement& asked;  // the path the caller named (a link's backup lies beside it), the content
  fs::path target;               // the name that holds the file, links followed
  std::string name;              // its leaf in the folder
  struct stat info {};           // the status of `name` in the folder (no link followed) when it `exists`
  bool exists = true;
  std::optional<bool> fileFree = {};  // whether that look found it free of the immutable and append-only flags
  BackupByLink* byLink = nullptr;     // the former file is to become the backup
  FileIdentity expected = {};         // what the file must still be: the read, or this look
  bool inFlight = false;              // its second name is its backup in flight (backupInFlight)
  bool olderInFlight = false;         // its second name is another suffix's backup in flight (otherNameExtends)
};

// How far preparing a new file to replace an existing one got.
enum class Prepared { Ready, InPlace, Failed };

// Fills `temp` with the new content and everything the former file has: owner, group,
// permission bits, extended attributes. InPlace when one of them cannot be carried (nothing
// was lost: the caller writes into the file itself instead).
Prepared prepareReplacement(WorkFolder& folder, TempFile& temp, const FoundFile& found) {
  const struct stat& info = found.info;
  ExtendedAttributes attributes;
  if (found.expected.hasExtendedAttributes && !readExtendedAttributes(found.target, attributes))
    return Prepared::InPlace;
  const OwnershipKept kept = carryOwner(temp.fd(), temp.status(), info);
  if (!kept.owner || !kept.group) return Prepared::InPlace;
  // The set-ID bits go on after the content: a write by an ordinary user takes them off.
  mode_t mode = temp.status().st_mode;
  const mode_t wanted = modeCarried(info, kept);
  if (!setMode(temp.fd(), mode, mode & wanted & 0777) || !writeAll(temp.fd(), found.asked.pieces) ||
      !setMode(temp.fd(), mode, wanted)) {
    return Prepared::Failed;
  }
  // Also takes off what a folder's default ACL gave the new file.
  if (!applyExtendedAttributes(temp.fd(), attributes)) return Prepared::InPlace;
  if (found.asked.modified) {
    const timespec times[2] = {{0, UTIME_OMIT}, *found.asked.modified};
    ::futimens(temp.fd(), times);  // best effort: the content is what matters
  }
  if (!folder.flushFile(temp.fd())) return Prepared::Failed;
  return Prepared::Ready;
}

// The former file becomes the backup: the generations move one name further and the file
// takes leaf.bak (its suffix) as a second name (a backup in flight already has it). A chain that
// cannot move, or a file system that refuses the link, leaves it to a copy. The chain is kept
// for undoing it.
StoreResult linkFormerAsBackup(WorkFolder& folder, const FoundFile& found, std::vector<std::string>& chain) {
  if (backupChain(folder.fd, found.name, backupSuffixOf(found.asked.place), found.info, chain) != ChainState::Ready ||
      !shiftChain(folder, chain))
    return failed(ResultCode::BackupFailed);
  if (::linkat(folder.fd, found.name.c_str(), folder.fd, chain.front().c_str(), 0) != 0) {
    undoShift(folder.fd, chain, 0);
    return failed(ResultCode::BackupFailed);
  }
  folder.changed();
  return {};
}

// Puts the complete new file `temp` under the file's name, the former file becoming the
// backup when asked.
StoreResult renameNewFileOver(WorkFolder& folder, TempFile& temp, const FoundFile& found) {
  const std::string& name = found.name;
  if (!temp.giveTemporaryName(folder.fd)) return failed(ResultCode::WriteFailed, problemOfCreation(errno));
  struct stat now;
  if (::fstatat(folder.fd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !unchangedSince(found.expected, now)) {
    return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);
  }
  std::vector<std::string> chain;
  const bool linking = found.byLink && !found.inFlight;
  if (linking) {
    if (StoreResult linked = linkFormerAsBackup(folder, found, chain); !linked.ok()) return linked;
  }
  if (found.byLink) found.byLink->stands = true;
  if (StoreResult renamed =
          renameOver({folder.fd, temp.leaf(), name, found.expected.stamp(), linking ? &chain.front() : nullptr});
      !renamed.ok()) {
    if (linking) {
      ::unlinkat(folder.fd, chain.front().c_str(), 0);
      undoShift(folder.fd, chain, 0);
    }
    return renamed;
  }
  StoreResult written;
  if (struct stat after; found.asked.stampLeft && ::fstat(temp.fd(), &after) == 0) written.left = stampOf(after);
  temp.keep();
  folder.changed();
  return written;
}

// Replaces a file of one name (or one whose second name is its backup in flight) by a new
// file; InPlace (nothing done) when the new file could not have everything of the former.
// `outcome` is set when the replacement is done or has failed.
bool replaceByNewFile(WorkFolder& folder, const FoundFile& found, StoreResult& outcome) {
  TempFile temp;
  temp.recordIn(folder.memory());
  // Created with the file's permission bits (as far as the umask allows), so that the usual
  // case needs no change of mode; it is empty until it has the file's owner and group.
  if (!temp.create(folder.fd, folder.path, found.name, found.info.st_mode & 0777)) {
    outcome = failed(ResultCode::WriteFailed, problemOfCreation(errno));
    return true;
  }
  // A file that may not be written is not replaced, although the folder would allow it.
  if (!mayWrite(folder.fd, found.name, found.info, temp.status().st_uid)) {
    outcome = failed(ResultCode::WriteFailed, StoreProblem::FileNotWritable);  // the user made it
    return true;
  }
  switch (prepareReplacement(folder, temp, found)) {
    case Prepared::Failed: outcome = failed(ResultCode::WriteFailed, problemOfWrite(errno)); return true;
    case Prepared::Ready: outcome = renameNewFileOver(folder, temp, found); return true;
    case Prepared::InPlace: break;
  }
  if (found.byLink) {
    outcome = failed(ResultCode::WriteFailed);  // its backup is a copy
    return true;
  }
  // The backup in flight is the file itself: written in place, it would hold the new content,
  // and the former would be nowhere.
  if (found.inFlight || found.olderInFlight) {
    outcome = failed(ResultCode::WriteFailed, StoreProblem::BackupInFlight);
    return true;
  }
  return false;
}

StoreResult replaceIn(WorkFolder& folder, FoundFile& found) {
  FileSizeSignalBlock noFileSizeSignal(folder.fileSizeSignalIgnored());
  const FileIdentity* read = found.asked.read;
  if (!found.exists) {
    if (read) return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);  // gone since it was read
    return writeNewFile(folder, found.name, found.asked.pieces);
  }
  const struct stat& info = found.info;
  if (!S_ISREG(info.st_mode)) return failed(ResultCode::WriteFailed);
  if (StoreResult kept = keptFromChanging(folder.fd, found.name, found.fileFree, folder.namesFree()); !kept.ok())
    return kept;
  // Without a read to compare with, the file must at least stay as this write found it.
  found.expected = read ? *read : identityOf(info);
  if (!unchangedSince(found.expected, info)) return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);
  // A second name that is the file's backup in flight (beside the name given, a link's beside
  // the link) is no hard link to write through.
  const fs::path& given = found.asked.path;
  const std::string_view suffix = besideSuffixOf(found.asked.place);
  const bool beside = given.native() == found.target.native();
  found.inFlight = beside ? backupInFlight(folder.fd, found.name, info, suffix)
                          : backupInFlight(AT_FDCWD, given.native(), info, suffix);
  found.olderInFlight = !found.inFlight && (beside ? otherNameExtends(folder.fd, found.name, info)
                                                   : otherNameExtends(AT_FDCWD, given.native(), info));
  if (info.st_nlink == 1 || found.inFlight || found.olderInFlight) {
    if (StoreResult outcome; replaceByNewFile(folder, found, outcome)) return outcome;
  } else if (found.byLink) {
    return failed(ResultCode::WriteFailed);  // several names: written in place, its backup is a copy
  } else if (!mayWrite(folder.fd, found.name, info, ::geteuid())) {
    return failed(ResultCode::WriteFailed, StoreProblem::FileNotWritable);
  }
  return writeInPlaceResult(found.target, found.asked.pieces, found.expected, folder.memory());
}

StoreResult replaceContent(const FileReplacement& asked, WriteSession* session, BackupByLink* byLink = nullptr) {
  const fs::path& path = asked.path;
  const FileIdentity* read = asked.read;
  FolderFlushes* flushes = asked.flushes;
  FoundFile r{asked, path, path.filename().native()};
  r.byLink = byLink;
  WorkFolder folder;
  if (!folder.open(folderOf(path), flushes, path.native(), session)) return failed(ResultCode::WriteFailed);
  if (r.name.empty() || r.name == "." || r.name == "..") return failed(ResultCode::WriteFailed);
  bool free = true;
  if (read && read->nameFreeToChange) {
    // The read opened this very name, no link, moments ago: what it saw serves as the look, and
    // anything changed since (a link put there, a mode, a flag) shows in the check just before
    // the rename.
    r.info = read->status;
    r.fileFree = true;
  } else if (!lookAt(folder.fd, r.name, r.info, free)) {
    if (errno != ENOENT) return failed(ResultCode::WriteFailed);
    r.exists = false;
  } else if (!S_ISLNK(r.info.st_mode)) {
    r.fileFree = free;
  } else {
    if (byLink) return failed(ResultCode::WriteFailed);  // a link's backup, beside it, is a copy
    // Only a name that is a link is followed, hop by hop; its target is replaced in its own folder.
    if (!resolveLinks(path, r.target, r.info, r.exists)) return failed(ResultCode::WriteFailed);
    r.name = r.target.filename().native();
    if (r.name.empty() || r.name == "." || r.name == "..") return failed(ResultCode::WriteFailed);
    // A backup beside the link is durable before the file it leads to changes.
    if (flushes) flushes->durableFor(path.native());
    if (!folder.open(folderOf(r.target), flushes, path.native(), session)) return failed(ResultCode::WriteFailed);
  }
  const StoreResult result = replaceIn(folder, r);
  folder.finish();
  return result;
}

// Whether, from what a read saw (one name, an owner and group the process keeps), the file's
// backup will most likely be the former file itself.
bool backupMayBeLink(const FileIdentity& read) {
  if (read.status.st_nlink != 1) return false;
  const uid_t user = ::geteuid();
  return user == 0 || (read.status.st_uid == user && read.status.st_gid == ::getegid());
}

StoreResult writeWithBackup(const FileReplacement& asked, WriteSession* session) {
  const FileIdentity* read = asked.read;
  const std::filesystem::path first = firstBackupOf(asked.path, asked.place);
  // In a backup folder of its own the backup is always a copy (BackupPlace).
  if (read && backupMayBeLink(*read) && !(asked.place && !asked.place->folder.empty())) {
    BackupByLink link;
    try {
      StoreResult linked = replaceContent(asked, session, &link);
      if (link.stands) {
        if (linked.ok()) linked.backup = first;
        return linked;
      }
    } catch (const std::bad_alloc&) {
      if (link.stands) return failed(ResultCode::WriteFailed);
    }
  }
  if (const StoreResult backup = backupByCopy(asked, session); !backup.ok()) return backup;
  struct stat made {
  }, file{};
  // A backup in flight (the file read itself under the backup's name) was made by no one now.
  const ino_t former = read ? read->status.st_ino : (::stat(asked.path.c_str(), &file) == 0 ? file.st_ino : 0);
  const bool madeNow = ::lstat(first.c_str(), &made) == 0 && made.st_ino != former;
  StoreResult written;
  try {
    written = replaceContent(asked, session);
  } catch (const std::bad_alloc&) {
    written = failed(ResultCode::WriteFailed);
  }
  if (written.ok()) written.backup = first;
  // A write left half-done keeps its former content in the recovery copy and in the backup.
  if (!written.ok() && madeNow && written.problem != StoreProblem::FormerAwaitsRecovery)
    withdrawBackup(first, backupSuffixOf(asked.place), made);
  return written;
}

}  // namespace

std::string_view backupSuffixOf(const BackupPlace* place) {
  if (!place || place->suffix.empty() || place->suffix.find('/') != std::string::npos) return ".bak";
  return place->suffix;
}

std::filesystem::path firstBackupOf(const std::filesystem::path& path, const BackupPlace* place) {
  const std::string name = path.filename().native() + std::string(backupSuffixOf(place));
  if (place && !place->folder.empty()) return place->folder / name;
  return path.parent_path() / name;
}

StoreResult replaceFile(const FileReplacement& replacement, WriteSession* session) {
  if (replacement.backup) return writeWithBackup(replacement, session);
  try {
    return replaceContent(replacement, session);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::WriteFailed);
  }
}

}  // namespace sarnavel
