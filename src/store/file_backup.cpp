// A backup made by copying the file (file_store.h: replaceFile with a backup), where the former
// file cannot itself become the backup, and its withdrawal when the write it was made for fails.
#include "store/file_store.h"

#include <errno.h>
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

#include "store/backup_chain.h"
#include "store/file_attributes.h"
#include "store/folder_flushes.h"
#include "store/posix_file.h"
#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"
#include "store/work_folder.h"

namespace sarnavel::store_steps {

namespace fs = std::filesystem;

namespace {

// The file a backup copies, as its name in the folder leads to it.
struct BackupSource {
  struct stat info {};
  FileDescriptor source;
  bool nameIsLink = false;
};

// Finds the file `leaf` names in the folder, opened for copying. A link is followed only when
// the name is one. False when it is no regular file to back up.
bool findSource(int folder, const std::string& leaf, BackupSource& found) {
  struct stat& info = found.info;
  // The name itself first.
  found.source = openRegularFile({folder, leaf, O_RDONLY, false}, info);
  if (found.source) return true;
  struct stat named;
  if (::fstatat(folder, leaf.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(named.st_mode)) return false;
  found.nameIsLink = true;
  found.source = openRegularFile({folder, leaf, O_RDONLY}, info);
  return static_cast<bool>(found.source);
}

// A copy about to become a backup: what it copies, and where it goes.
struct BackupCopy {
  const BackupSource& found;
  ExtendedAttributes& attributes;
  WorkFolder& into;                       // the folder of the backups
  const std::vector<std::string>& chain;  // their names there, the first free one last
  RunMemory* memory;                      // told of the temporary file
};

// The copy, complete on disk before any existing name is touched, then the chain shifted and
// the copy named as its first generation.
StoreResult copyIntoChain(const BackupCopy& c) {
  const struct stat& info = c.found.info;
  WorkFolder& into = c.into;
  TempFile copy;
  copy.recordIn(c.memory);
  if (!copy.create(into.fd, into.path, c.chain.front(), 0600))
    return failed(ResultCode::BackupFailed, problemOfCreation(errno));
  // The copy is the process user's and readable by nobody else until it has the file's owner,
  // group and mode.
  const OwnershipKept kept = carryOwner(copy.fd(), copy.status(), info);
  if (!kept.group) withoutOwningGroupPermissions(c.attributes);
  mode_t mode = copy.status().st_mode;
  if (!copyToEnd(c.found.source.get(), copy.fd()) || !setMode(copy.fd(), mode, modeCarried(info, kept)))
    return failed(ResultCode::BackupFailed, problemOfWrite(errno));
  if (!applyExtendedAttributes(copy.fd(), c.attributes))
    return failed(ResultCode::BackupFailed, StoreProblem::AttributesNotCarried);
  // It keeps the file's modification time, as a backup that is the former file itself does.
  const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  ::futimens(copy.fd(), times);  // best effort: the content is what matters
  if (!into.flushFile(copy.fd())) return failed(ResultCode::BackupFailed, problemOfWrite(errno));

  if (!shiftChain(into, c.chain)) {
    into.finish();
    return failed(ResultCode::BackupFailed);
  }
  if (!copy.publishAs(into.fd, c.chain.front())) {
    undoShift(into.fd, c.chain, 0);
    into.finish();
    return failed(ResultCode::BackupFailed);
  }
  into.changed();
  // Without a FolderFlushes the backup is durable now; with one, the same flush as the file's
  // replacement in this folder covers it (the names reach the disk in order), and a link's
  // write, whose file lies elsewhere, makes it durable before it changes that file. A backup
  // folder of its own has none: its copy is durable before the file changes.
  into.finish();
  return {};
}

// The mirror folder `folder` below the backup folder `root`, made where missing (mode 0700,
// each flushed into its parent), every name below `root` opened without following a link.
// Closed, with errno set, when it cannot be: ELOOP for a link or a name that is no folder.
FileDescriptor openMirrorFolder(const fs::path& root, const fs::path& below) {
  if (!makeFolders(root)) return {};
  FileDescriptor at = openFolder(root);
  for (const fs::path& part : below) {
    if (!at || part == "." || part.empty()) continue;
    FileDescriptor next = openFolderAt(at.get(), part.c_str(), false);
    if (!next && errno == ENOENT && ::mkdirat(at.get(), part.c_str(), 0700) == 0) {
      ::fsync(at.get());  // the new folder's name is durable before a backup goes in it
      next = openFolderAt(at.get(), part.c_str(), false);
    }
    if (!next && errno == ENOTDIR) errno = ELOOP;
    at = std::move(next);
  }
  return at;
}

// The folder a backup away from its file goes in, opened as its place says.
bool openBackupFolder(const BackupPlace& place, WorkFolder& into) {
  const fs::path below = place.root.empty() ? fs::path() : place.folder.lexically_relative(place.root);
  if (below.empty() || *below.begin() == "..")
    return makeFolders(place.folder) && into.open(place.folder, nullptr, {}, nullptr);
  FileDescriptor opened = openMirrorFolder(place.root, below);
  if (!opened) return false;
  into.adopt(place.folder, std::move(opened));
  return true;
}

StoreResult makeBackup(const FileReplacement& asked, WriteSession* session) {
  const fs::path& path = asked.path;
  const FileIdentity* read = asked.read;
  const std::string leaf = path.filename().native();
  WorkFolder folder;
  if (leaf.empty() || !folder.open(folderOf(path), asked.flushes, path.native(), session))
    return failed(ResultCode::BackupFailed);
  BackupSource found;
  if (!findSource(folder.fd, leaf, found)) return failed(ResultCode::BackupFailed);
  const struct stat& info = found.info;
  if (read && !unchangedSince(*read, info)) return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);
  // A file its write would refuse stays as it is: a backup of it would only lengthen the chain.
  // (A read-only file system is the backup's own failure, said as such below.)
  if (!mayWrite(folder.fd, leaf, info, ::geteuid()) && errno != EROFS)
    return failed(ResultCode::WriteFailed, StoreProblem::FileNotWritable);
  if (StoreResult kept = keptFromChanging(folder.fd, leaf, std::nullopt, folder.namesFree()); !kept.ok()) return kept;
  // A link's file is replaced in its own folder, which must take the write as well: a backup
  // beside a link whose file stays as it is would only lengthen the chain, run after run.
  if (found.nameIsLink) {
    if (StoreResult kept = linkedFileKeptFromChanging(path); !kept.ok()) return kept;
  }
  ExtendedAttributes attributes;
  if ((!read || read->hasExtendedAttributes) && !readExtendedAttributes(found.source.get(), attributes)) {
    return failed(ResultCode::BackupFailed, StoreProblem::AttributesNotCarried);
  }
  // A backup folder of its own is reached without the session, whose folder stays the file's.
  const bool away = asked.place && !asked.place->folder.empty();
  WorkFolder elsewhere;
  if (away && !openBackupFolder(*asked.place, elsewhere))
    return failed(ResultCode::BackupFailed, errno == ELOOP ? StoreProblem::BackupFolderLink : problemOfCreation(errno));
  WorkFolder& into = away ? elsewhere : folder;
  std::vector<std::string> chain;
  switch (backupChain(into.fd, leaf, backupSuffixOf(asked.place), info, chain)) {
    case ChainState::Failed: return failed(ResultCode::BackupFailed);
    // A backup in flight holds the file's content already; the write completes it. (In a
    // backup folder of its own, a name of the file itself is no backup: it moves along.)
    case ChainState::InFlight:
      if (!away) return {};
      break;
    case ChainState::Ready: break;
  }
  FileSizeSignalBlock noFileSizeSignal(folder.fileSizeSignalIgnored());
  return copyIntoChain({found, attributes, into, chain, folder.memory()});
}

}  // namespace

StoreResult backupByCopy(const FileReplacement& asked, WriteSession* session) {
  try {
    return makeBackup(asked, session);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::BackupFailed);
  }
}

void withdrawBackup(const fs::path& made, std::string_view suffix, const struct stat& status) {
  const FileDescriptor folder = openFolder(folderOf(made));
  const std::string backup = made.filename().native();
  struct stat now;
  if (!folder || ::fstatat(folder.get(), backup.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      now.st_ino != status.st_ino || now.st_dev != status.st_dev || ::unlinkat(folder.get(), backup.c_str(), 0) != 0)
    return;
  moveGenerationsBack(folder.get(), backup, suffix);
}

}  // namespace sarnavel::store_steps
