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

StoreResult makeBackup(const FileReplacement& asked, WriteSession* session) {
  const fs::path& path = asked.path;
  const FileIdentity* read = asked.read;
  FolderFlushes* flushes = asked.flushes;
  const std::string leaf = path.filename().native();
  WorkFolder folder;
  if (leaf.empty() || !folder.open(folderOf(path), flushes, path.native(), session))
    return failed(ResultCode::BackupFailed);
  BackupSource found;
  if (!findSource(folder.fd, leaf, found)) return failed(ResultCode::BackupFailed);
  const struct stat& info = found.info;
  const FileDescriptor& source = found.source;
  const bool nameIsLink = found.nameIsLink;
  if (read && !unchangedSince(*read, info)) return failed(ResultCode::WriteFailed, StoreProblem::ChangedSinceRead);
  // A file its write would refuse stays as it is: a backup of it would only lengthen the chain.
  // (A read-only file system is the backup's own failure, said as such below.)
  if (!mayWrite(folder.fd, leaf, info, ::geteuid()) && errno != EROFS)
    return failed(ResultCode::WriteFailed, StoreProblem::FileNotWritable);
  if (StoreResult kept = keptFromChanging(folder.fd, leaf, std::nullopt, folder.namesFree()); !kept.ok()) return kept;
  // A link's file is replaced in its own folder, which must take the write as well: a backup
  // beside a link whose file stays as it is would only lengthen the chain, run after run.
  if (nameIsLink) {
    if (StoreResult kept = linkedFileKeptFromChanging(path); !kept.ok()) return kept;
  }
  ExtendedAttributes attributes;
  if ((!read || read->hasExtendedAttributes) && !readExtendedAttributes(source.get(), attributes)) {
    return failed(ResultCode::BackupFailed, StoreProblem::AttributesNotCarried);
  }

  std::vector<std::string> chain;
  bool inFlight = false;
  if (!backupChain(folder.fd, leaf, info, chain, inFlight)) return failed(ResultCode::BackupFailed);
  // A backup in flight (backupInFlight) holds the file's content already; the write completes it.
  if (inFlight) return {};

  // The copy is complete on disk before any existing name is touched.
  FileSizeSignalBlock noFileSizeSignal(folder.fileSizeSignalIgnored());
  TempFile copy;
  copy.recordIn(folder.memory());
  if (!copy.create(folder.fd, folder.path, chain.front(), 0600))
    return failed(ResultCode::BackupFailed, problemOfCreation(errno));
  // The copy is the process user's and readable by nobody else until it has the file's owner,
  // group and mode.
  const OwnershipKept kept = carryOwner(copy.fd(), copy.status(), info);
  if (!kept.group) withoutOwningGroupPermissions(attributes);
  mode_t mode = copy.status().st_mode;
  if (!copyToEnd(source.get(), copy.fd()) || !setMode(copy.fd(), mode, modeCarried(info, kept)))
    return failed(ResultCode::BackupFailed, problemOfWrite(errno));
  if (!applyExtendedAttributes(copy.fd(), attributes))
    return failed(ResultCode::BackupFailed, StoreProblem::AttributesNotCarried);
  // It keeps the file's modification time, as a backup that is the former file itself does.
  const struct timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};
  ::futimens(copy.fd(), times);  // best effort: the content is what matters
  if (!folder.flushFile(copy.fd())) return failed(ResultCode::BackupFailed, problemOfWrite(errno));

  if (!shiftChain(folder, chain)) {
    folder.finish();
    return failed(ResultCode::BackupFailed);
  }
  if (!copy.publishAs(folder.fd, chain.front())) {
    undoShift(folder.fd, chain, 0);
    folder.finish();
    return failed(ResultCode::BackupFailed);
  }
  folder.changed();
  // Without a FolderFlushes the backup is durable now; with one, the same flush as the file's
  // replacement in this folder covers it (the names reach the disk in order), and a link's
  // write, whose file lies elsewhere, makes it durable before it changes that file.
  folder.finish();
  return {};
}

}  // namespace

StoreResult backupByCopy(const FileReplacement& asked, WriteSession* session) {
  try {
    return makeBackup(asked, session);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::BackupFailed);
  }
}

// Takes back the backup of `path` just made (`made`, its status), after the write it was made
// for failed: the file keeps its former content, so the backup would only be one generation
// more. It goes, and the older generations move back one name. Best effort.
void withdrawBackup(const fs::path& path, const struct stat& made) {
  const FileDescriptor folder = openFolder(folderOf(path));
  const std::string leaf = path.filename().native(), backup = leaf + ".bak";
  struct stat now;
  if (!folder || ::fstatat(folder.get(), backup.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != made.st_ino ||
      now.st_dev != made.st_dev || ::unlinkat(folder.get(), backup.c_str(), 0) != 0)
    return;
  moveGenerationsBack(folder.get(), backup, ".bak");
}

}  // namespace sarnavel::store_steps
