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

#include "store/file_attributes.h"
#include "store/folder_flushes.h"
#include "store/posix_file.h"
#include "store/recovery_copy.h"
#include "store/run_memory.h"
#include "store/temp_file.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// Linux itself gives up after 40 links in one path.
constexpr int kMaxLinkHops = 40;
constexpr std::size_t kMinReadGrowth = 64 * 1024;
constexpr std::size_t kCompareBlock = 64 * 1024;

StoreResult failed(ResultCode code, StoreProblem problem = StoreProblem::None) { return {code, problem, {}}; }

// Whether `user` may write the file `name` of the folder (`info` its status, links followed):
// the owner's write bit answers for the user's own file; anything else asks the system.
bool mayWrite(int folder, const std::string& name, const struct stat& info, uid_t user) {
  return (info.st_uid == user && (info.st_mode & S_IWUSR) != 0) ||
         ::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) == 0;
}

// Whether names in the folder may be replaced and removed. An append-only folder (chattr +a)
// takes new names but lets none go: a temporary file named there could be neither renamed
// over the file nor removed again.
bool namesMayGo(int folder) {
  int flags = 0;
  if (::ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0) return true;  // a file system without such flags
  return (flags & FS_APPEND_FL) == 0;
}

// Whether the file `name` of the folder (links followed) may change at all.
bool fileMayChange(int folder, const std::string& name) {
  struct statx info;
  if (::statx(folder, name.c_str(), 0, STATX_TYPE, &info) != 0) return true;  // the write will say
  return mayChange(info);
}

// One look at `name` in the folder, its own link not followed: its status as lstat gives it,
// and (in `mayChangeFile`) whether it is free of the immutable and append-only flags, which
// lstat does not tell. False, with errno, when the name cannot be looked at.
bool lookAt(int folder, const std::string& name, struct stat& info, bool& mayChangeFile) {
  struct statx x;
  if (::statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &x) != 0) return false;
  info = statusOf(x);
  mayChangeFile = mayChange(x);
  return true;
}

// What the system keeps from changing, which no write or backup gets past: an append-only
// folder (the folder is not writable for the store's purposes), an immutable or append-only
// file. Success when neither. `fileFree`: whether the file was found free of those flags by
// the look just made at the same name (then not looked at again).
// `namesFree`: whether the folder was found free of the append-only flag by this file's
// earlier step (then not looked at again).
StoreResult keptFromChanging(int folder, const std::string& name, std::optional<bool> fileFree = std::nullopt,
                             std::optional<bool> namesFree = std::nullopt) {
  if (namesFree ? !*namesFree : !namesMayGo(folder))
    return failed(ResultCode::WriteFailed, StoreProblem::FolderNotWritable);
  if (fileFree ? !*fileFree : !fileMayChange(folder, name))
    return failed(ResultCode::WriteFailed, StoreProblem::FileNotWritable);
  return {};
}

// What a write of a link's file would find in the folder that file lies in, where it makes its
// temporary file or recovery copy: a folder the user may not make names in (or on a read-only
// file system), an append-only folder, an immutable or append-only file. Success when none, or
// when the link leads nowhere the write could reach (the write then says so itself).
StoreResult linkedFileKeptFromChanging(const fs::path& path);

// What errno says about a failed creation of a temporary file, for the log.
StoreProblem problemOfCreation(int error) {
  return error == EACCES || error == EPERM || error == EROFS ? StoreProblem::FolderNotWritable : StoreProblem::None;
}

// What errno says about a failed write of new content (or of a backup's), for the log.
StoreProblem problemOfWrite(int error) {
  switch (error) {
    case ENOSPC: return StoreProblem::DiskFull;
    case EDQUOT: return StoreProblem::QuotaExceeded;
    case EFBIG: return StoreProblem::FileTooLarge;
    case EROFS: return StoreProblem::ReadOnlyFileSystem;
    case EIO: return StoreProblem::InputOutput;
    default: return StoreProblem::None;
  }
}

// Follows symbolic links from `path` to the name that finally holds the content. `exists`
// tells whether that name exists; `info` describes it when it does.
bool resolveLinks(const fs::path& path, fs::path& target, struct stat& info, bool& exists) {
  fs::path current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    if (::lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      exists = false;
      target = std::move(current);
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      exists = true;
      target = std::move(current);
      return true;
    }
    std::error_code error;
    fs::path link = fs::read_symlink(current, error);
    if (error) return false;
    // A relative link is relative to the folder holding the link; the kernel resolves that
    // folder's own links when the joined path is used.
    current = link.is_absolute() ? std::move(link) : current.parent_path() / link;
  }
  return false;
}

StoreResult linkedFileKeptFromChanging(const fs::path& path) {
  fs::path target;
  struct stat info;
  bool exists = false;
  if (!resolveLinks(path, target, info, exists) || !exists) return {};
  const FileDescriptor folder = openFolder(folderOf(target));
  if (!folder) return {};
  if (::faccessat(folder.get(), ".", W_OK | X_OK, AT_EACCESS) != 0)
    return failed(ResultCode::WriteFailed, StoreProblem::FolderNotWritable);
  return keptFromChanging(folder.get(), target.filename().native());
}

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

}  // namespace

// The folder a write or a backup works in, opened once (or taken over from the session's
// previous file): every name in it is then reached relative to it, and its renames are made
// durable through it.
struct WorkFolder {
  fs::path path;
  int fd = -1;
  FileDescriptor owned;  // the descriptor when no session keeps it
  WriteSession* session = nullptr;
  FolderId id;
  bool idKnown = false;
  FolderFlushes* flushes = nullptr;
  std::string file;  // the path given, under which a change is noted in `flushes`
  bool changedNames = false;

  bool open(fs::path folder, FolderFlushes* shared, std::string forFile, WriteSession* keeper) {
    path = std::move(folder);
    flushes = shared;
    file = std::move(forFile);
    session = keeper;
    changedNames = false;
    if (session && session->folder_ && session->folderPath_ == path.native()) {
      // Already checked for this file's earlier step, or the same path as the previous file's:
      // still the same folder?
      struct stat now;
      const bool checked = session->file_ != 0 && session->folderChecked_ == session->file_;
      if (checked ||
          (::stat(path.c_str(), &now) == 0 && now.st_dev == session->device_ && now.st_ino == session->inode_)) {
        workInKept();
        session->folderChecked_ = session->file_;
        return true;
      }
    }
    FileDescriptor opened = openFolder(path);
    if (!opened) {
      fd = -1;
      return false;
    }
    struct stat info;
    idKnown = (session || flushes) && ::fstat(opened.get(), &info) == 0;
    if (idKnown) id = {info.st_dev, info.st_ino};
    if (session && idKnown) {
      session->folder_ = std::move(opened);
      session->folderPath_ = path.native();
      session->device_ = id.device;
      session->inode_ = id.inode;
      session->folderChecked_ = session->file_;
      session->flagsLookedAt_ = 0;  // another folder's
      owned.reset();
      fd = session->folder_.get();
    } else {
      owned = std::move(opened);
      fd = owned.get();
    }
    return true;
  }
  // Takes over the session's folder when it was opened by the same path, without looking at
  // the path: the caller confirms it (confirm()) by finding there the very file a look by the
  // full path just found, or lets it go and opens the folder by open(). For a read: `path`
  // stays empty, as a read makes no names.
  bool takeOverUnchecked(const fs::path& folder, WriteSession* keeper) {
    if (!keeper || !keeper->folder_ || keeper->folderPath_ != folder.native()) return false;
    path.clear();
    flushes = nullptr;
    session = keeper;
    changedNames = false;
    workInKept();
    return true;
  }
  // Works in the folder the session keeps.
  void workInKept() {
    owned.reset();
    fd = session->folder_.get();
    id = {session->device_, session->inode_};
    idKnown = true;
  }
  // The folder taken over is the one the path leads to: it serves this file's later steps.
  void confirm() { session->folderChecked_ = session->file_; }
  // Brings a file written in the folder to the disk; the wait counts to the session's.
  bool flushFile(int file) {
    if (!session) return ::fsync(file) == 0;
    const auto start = std::chrono::steady_clock::now();
    const bool flushed = ::fsync(file) == 0;
    const auto waited = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    session->flushNanos_.fetch_add(static_cast<std::uint64_t>(waited.count()), std::memory_order_relaxed);
    return flushed;
  }
  bool fileSizeSignalIgnored() const { return session && session->fileSizeSignalIgnored_; }
  RunMemory* memory() const { return session ? session->memory_ : nullptr; }
  // Whether names in the folder may go (namesMayGo), looked at once for a file's steps when
  // the session keeps the folder.
  bool namesFree() {
    const bool kept = session && session->file_ != 0 && fd == session->folder_.get();
    if (kept && session->flagsLookedAt_ == session->file_) return session->namesMayGo_;
    const bool free = namesMayGo(fd);
    if (kept) {
      session->namesMayGo_ = free;
      session->flagsLookedAt_ = session->file_;
    }
    return free;
  }
  // Whether `id` is known, looked up now if the opening did not need it.
  bool knowsId() {
    struct stat info;
    if (!idKnown && fd >= 0 && ::fstat(fd, &info) == 0) {
      id = {info.st_dev, info.st_ino};
      idKnown = true;
    }
    return idKnown;
  }
  // A rename or link in the folder has taken effect.
  void changed() { changedNames = true; }
  // The folder's changes are made durable: now, or, with a FolderFlushes, noted for the
  // caller's durableFor(file), which shares one flush among the files of the batch.
  void finish() {
    if (fd < 0 || !changedNames) return;
    changedNames = false;
    if (flushes == nullptr || !idKnown) {
      ::fsync(fd);  // best effort: the renames have taken effect
      return;
    }
    flushes->changed(id, fd, file);
  }
};

WriteSession::WriteSession() : fileSizeSignalIgnored_(sarnavel::fileSizeSignalIgnored()) {}

int WriteSession::heldFolder(std::string_view folder, FolderId id) const {
  return folder_ && folderPath_ == folder && FolderId{device_, inode_} == id ? folder_.get() : -1;
}

namespace {

// Puts the generations moved one name further back under their own names: chain[i + 1]
// returns to chain[i] for every i from `first` on. Best effort.
void undoShift(int folder, const std::vector<std::string>& chain, std::size_t first) {
  for (std::size_t i = first; i + 1 < chain.size(); ++i)
    renameNoReplaceAt(folder, chain[i + 1].c_str(), chain[i].c_str());
}

// The names of the backups of `leaf`: chain[0] is leaf.bak, chain[1] leaf.bak.bak, ...; the
// last entry is the first free name. False when a folder lies in the chain or a name cannot be
// looked at (one too long for the file system ends the chain there). `inFlight`: leaf.bak is
// the file `file` itself (backupInFlight).
bool backupChain(int folder, const std::string& leaf, const struct stat& file, std::vector<std::string>& chain,
                 bool& inFlight) {
  inFlight = false;
  std::string name = leaf;
  for (;;) {
    name += ".bak";
    chain.push_back(name);
    struct stat entry;
    if (::fstatat(folder, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (S_ISDIR(entry.st_mode)) return false;
    if (chain.size() == 1) inFlight = entry.st_dev == file.st_dev && entry.st_ino == file.st_ino;
  }
}

// Moves each generation one name further, the deepest first, so each rename goes to a free
// name; no content is copied twice and the chain's length costs no stack. On failure the
// generations already moved go back (best effort) and false is returned.
bool shiftChain(WorkFolder& folder, const std::vector<std::string>& chain) {
  for (std::size_t i = chain.size() - 1; i-- > 0;) {
    if (!renameNoReplaceAt(folder.fd, chain[i].c_str(), chain[i + 1].c_str())) {
      undoShift(folder.fd, chain, i + 1);
      return false;
    }
    folder.changed();
  }
  return true;
}

// Whether the file `info` describes, reached by `name` in the folder, has as its only other
// name name + ".bak": a run stopped between giving the former file its backup's name and
// renaming the new content over the name leaves that. The .bak is the backup, whole; the name
// is to be replaced by a new file, never written in place (the backup would show the new
// content).
bool backupInFlight(int folder, const std::string& name, const struct stat& info) {
  if (info.st_nlink != 2) return false;
  struct stat backup;
  return ::fstatat(folder, (name + ".bak").c_str(), &backup, AT_SYMLINK_NOFOLLOW) == 0 &&
         backup.st_dev == info.st_dev && backup.st_ino == info.st_ino;
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
  if (!folder.flushFile(temp.fd())) return Prepared::Failed;
  return Prepared::Ready;
}

// The former file becomes the backup: the generations move one name further and the file
// takes leaf.bak as a second name (a backup in flight already has it). A chain that cannot
// move, or a file system that refuses the link, leaves it to a copy. The chain is kept for
// undoing it.
StoreResult linkFormerAsBackup(WorkFolder& folder, const FoundFile& found, std::vector<std::string>& chain) {
  bool chainInFlight = false;
  if (!backupChain(folder.fd, found.name, found.info, chain, chainInFlight) || chainInFlight ||
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
  if (found.inFlight) {
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
  found.inFlight = given.native() == found.target.native() ? backupInFlight(folder.fd, found.name, info)
                                                           : backupInFlight(AT_FDCWD, given.native(), info);
  if (info.st_nlink == 1 || found.inFlight) {
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

// Whether the open file holds exactly `bytes` from its current offset to its end.
bool holdsExactly(int fd, std::string_view bytes) {
  std::vector<char> block(static_cast<std::size_t>(std::min<std::size_t>(bytes.size(), kCompareBlock)) + 1);
  for (;;) {
    const ssize_t count = ::read(fd, block.data(), block.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return bytes.empty();
    const auto got = static_cast<std::size_t>(count);
    if (got > bytes.size() || std::memcmp(block.data(), bytes.data(), got) != 0) return false;
    bytes.remove_prefix(got);
  }
}

}  // namespace

namespace {

// Reads the open file (`info` its status) to its end into `content`. `nameFreeToChange`: the
// file was opened by its own name, no link, and is free of the immutable and append-only flags.
ResultCode readOpenFile(const FileDescriptor& file, const struct stat& info, std::string& content,
                        FileIdentity* identity, bool nameFreeToChange) {
  if (identity) {
    *identity = identityOf(info, hasExtendedAttributes(file.get()));
    identity->nameFreeToChange = nameFreeToChange;
  }
  try {
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (size >= content.max_size()) throw std::bad_alloc();
    // One byte more than the size, so the read that reports the end has room; a file that
    // grows meanwhile is read to its new end.
    content.resize(static_cast<std::size_t>(size) + 1);
    std::size_t used = 0;
    for (;;) {
      if (used == content.size()) content.resize(used + std::max(used / 2, kMinReadGrowth));
      const ssize_t count = ::read(file.get(), content.data() + used, content.size() - used);
      if (count < 0) {
        if (errno == EINTR) continue;
        std::string().swap(content);
        return ResultCode::CannotOpen;
      }
      if (count == 0) break;
      const bool shortRead = static_cast<std::size_t>(count) < content.size() - used;
      used += static_cast<std::size_t>(count);
      // A short read that reaches the size the file had when opened is its end: no further
      // read is needed to hear it. (A short read before that, which some file systems give,
      // is read on.)
      if (shortRead && used >= size) break;
    }
    content.resize(used);
  } catch (const std::bad_alloc&) {
    std::string().swap(content);
    return ResultCode::OutOfMemory;
  } catch (const std::length_error&) {
    std::string().swap(content);
    return ResultCode::OutOfMemory;
  }
  return ResultCode::Success;
}

}  // namespace

namespace {

// Opens the file a request names in the folder it was listed in (file_store.h: readFile);
// `free` receives whether the file is free of the immutable and append-only flags. May throw
// std::bad_alloc.
FileDescriptor openInListedFolder(const FileRequest& request, struct stat& info, bool& free, StoreProblem& problem) {
  // A link is followed hop by hop to the name that holds the file; that name is then opened
  // in its own folder, so a link re-pointed to another folder meanwhile is seen as such.
  fs::path reached = request.path;
  const bool byName = request.nameLink == NameLink::NotFollowed;
  if (!byName) {
    bool exists = false;
    if (!resolveLinks(request.path, reached, info, exists) || !exists) return {};
  }
  const std::string leaf = reached.filename().native();
  if (leaf.empty() || leaf == "." || leaf == "..") return {};
  WorkFolder folder;
  // The look by the full path just made found a regular file with no other name: when the
  // kept folder holds that very file (still with no other name) under the leaf, the path
  // led to the kept folder, and the walk of the folder's path is spared. Anything else
  // (another file there, a second name, no such file) reads as below.
  const struct stat* looked = request.lookedAt;
  const bool soleName = byName && looked && S_ISREG(looked->st_mode) && looked->st_nlink == 1;
  fs::path folderPath = folderOf(reached);
  if (soleName && folder.takeOverUnchecked(folderPath, request.session) && folder.id == request.listed) {
    FileDescriptor file = openRegularFile({folder.fd, leaf, O_RDONLY, false, looked}, info, &free);
    if (file && info.st_dev == looked->st_dev && info.st_ino == looked->st_ino && info.st_nlink == 1) {
      folder.confirm();
      return file;
    }
  }
  if (!folder.open(std::move(folderPath), nullptr, request.path.native(), request.session) || !folder.knowsId())
    return {};
  if (folder.id != request.listed) {
    problem = StoreProblem::ReplacedBeforeRead;
    return {};
  }
  // The leaf of the name a link led to is no name a write of `path` replaces.
  return openRegularFile({folder.fd, leaf, O_RDONLY, false, looked}, info, byName ? &free : nullptr);
}

}  // namespace

ResultCode readFile(const FileRequest& request, std::string& content, FileIdentity* identity, StoreProblem* problem) {
  content.clear();
  StoreProblem unsaid = StoreProblem::None;
  if (!problem) problem = &unsaid;
  *problem = StoreProblem::None;
  struct stat info;
  const bool byName = request.nameLink == NameLink::NotFollowed;
  bool free = false;  // the file opened is free of the immutable and append-only flags
  FileDescriptor file;
  if (!request.listed.known()) {
    file =
        openRegularFile({AT_FDCWD, request.path, O_RDONLY, !byName, request.lookedAt}, info, byName ? &free : nullptr);
  } else {
    try {
      file = openInListedFolder(request, info, free, *problem);
    } catch (const std::bad_alloc&) {
      return ResultCode::OutOfMemory;
    }
  }
  if (!file) return ResultCode::CannotOpen;
  return readOpenFile(file, info, content, identity, byName && free);
}

StoreProblem whyNotReadAsFile(const std::filesystem::path& path) {
  struct stat named, reached;
  if (::lstat(path.c_str(), &named) != 0 || !S_ISLNK(named.st_mode) || ::stat(path.c_str(), &reached) != 0)
    return StoreProblem::None;
  return StoreProblem::ReplacedBeforeRead;
}

namespace {

StoreResult backupFile(const FileReplacement& asked, WriteSession* session) {
  try {
    return makeBackup(asked, session);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::BackupFailed);
  }
}

// Whether, from what a read saw (one name, an owner and group the process keeps), the file's
// backup will most likely be the former file itself.
bool backupMayBeLink(const FileIdentity& read) {
  if (read.status.st_nlink != 1) return false;
  const uid_t user = ::geteuid();
  return user == 0 || (read.status.st_uid == user && read.status.st_gid == ::getegid());
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
  // The older generations, leaf.bak.bak on, up to the first free name.
  std::vector<std::string> chain{backup};
  for (std::string name = backup + ".bak";; name += ".bak") {
    chain.push_back(name);
    struct stat entry;
    if (::fstatat(folder.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) break;
  }
  undoShift(folder.get(), chain, 0);
  ::fsync(folder.get());
}

StoreResult writeWithBackup(const FileReplacement& asked, WriteSession* session) {
  const FileIdentity* read = asked.read;
  if (read && backupMayBeLink(*read)) {
    BackupByLink link;
    try {
      const StoreResult linked = replaceContent(asked, session, &link);
      if (link.stands) return linked;
    } catch (const std::bad_alloc&) {
      if (link.stands) return failed(ResultCode::WriteFailed);
    }
  }
  if (const StoreResult backup = backupFile(asked, session); !backup.ok()) return backup;
  struct stat made {
  }, file{};
  // A backup in flight (the file read itself under the backup's name) was made by no one now.
  const ino_t former = read ? read->status.st_ino : (::stat(asked.path.c_str(), &file) == 0 ? file.st_ino : 0);
  const bool madeNow = ::lstat((asked.path.native() + ".bak").c_str(), &made) == 0 && made.st_ino != former;
  StoreResult written;
  try {
    written = replaceContent(asked, session);
  } catch (const std::bad_alloc&) {
    written = failed(ResultCode::WriteFailed);
  }
  // A write left half-done keeps its former content in the recovery copy and in the backup.
  if (!written.ok() && madeNow && written.problem != StoreProblem::FormerAwaitsRecovery)
    withdrawBackup(asked.path, made);
  return written;
}

}  // namespace

StoreResult replaceFile(const FileReplacement& replacement, WriteSession* session) {
  if (replacement.backup) return writeWithBackup(replacement, session);
  try {
    return replaceContent(replacement, session);
  } catch (const std::bad_alloc&) {
    return failed(ResultCode::WriteFailed);
  }
}

bool fileHolds(const std::filesystem::path& path, std::string_view bytes, const FileIdentity& read) {
  if (read.status.st_size != static_cast<off_t>(bytes.size())) return false;
  struct stat info;
  FileDescriptor file = openRegularFile({AT_FDCWD, path, O_RDONLY}, info);
  if (!file || !unchangedSince(read, info)) return false;
  try {
    return holdsExactly(file.get(), bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace sarnavel
