// The steps the store's reads, writes and backups share (file_store.h is their contract): the
// folder a file is worked in, the looks at a name before anything changes, and the chain of
// backup names. For the store's own files (file_store.cpp replaces, file_backup.cpp copies,
// file_read.cpp reads); nothing else includes it.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/file_store.h"
#include "store/folder_flushes.h"
#include "store/posix_file.h"

namespace sarnavel::store_steps {

StoreResult failed(ResultCode code, StoreProblem problem = StoreProblem::None);

// Whether `user` may write the file `name` of the folder (`info` its status, links followed):
// the owner's write bit answers for the user's own file; anything else asks the system.
bool mayWrite(int folder, const std::string& name, const struct stat& info, uid_t user);

// Whether names in the folder may be replaced and removed. An append-only folder (chattr +a)
// takes new names but lets none go: a temporary file named there could be neither renamed
// over the file nor removed again.
bool namesMayGo(int folder);

// One look at `name` in the folder, its own link not followed: its status as lstat gives it,
// and (in `mayChangeFile`) whether it is free of the immutable and append-only flags, which
// lstat does not tell. False, with errno, when the name cannot be looked at.
bool lookAt(int folder, const std::string& name, struct stat& info, bool& mayChangeFile);

// What the system keeps from changing, which no write or backup gets past: an append-only
// folder (the folder is not writable for the store's purposes), an immutable or append-only
// file. Success when neither. `fileFree`: whether the file was found free of those flags by
// the look just made at the same name (then not looked at again).
// `namesFree`: whether the folder was found free of the append-only flag by this file's
// earlier step (then not looked at again).
StoreResult keptFromChanging(int folder, const std::string& name, std::optional<bool> fileFree = std::nullopt,
                             std::optional<bool> namesFree = std::nullopt);

// What a write of a link's file would find in the folder that file lies in, where it makes its
// temporary file or recovery copy: a folder the user may not make names in (or on a read-only
// file system), an append-only folder, an immutable or append-only file. Success when none, or
// when the link leads nowhere the write could reach (the write then says so itself).
StoreResult linkedFileKeptFromChanging(const std::filesystem::path& path);

// What errno says about a failed creation of a temporary file, for the log.
StoreProblem problemOfCreation(int error);
// What errno says about a failed write of new content (or of a backup's), for the log.
StoreProblem problemOfWrite(int error);

// Follows symbolic links from `path` to the name that finally holds the content. `exists`
// tells whether that name exists; `info` describes it when it does.
bool resolveLinks(const std::filesystem::path& path, std::filesystem::path& target, struct stat& info, bool& exists);

// The folder a write or a backup works in, opened once (or taken over from the session's
// previous file): every name in it is then reached relative to it, and its renames are made
// durable through it.
struct WorkFolder {
  std::filesystem::path path;
  int fd = -1;
  FileDescriptor owned;  // the descriptor when no session keeps it
  WriteSession* session = nullptr;
  FolderId id;
  bool idKnown = false;
  FolderFlushes* flushes = nullptr;
  std::string file;  // the path given, under which a change is noted in `flushes`
  bool changedNames = false;

  // Works in a folder opened by the caller, of its own (no session, no shared flushes).
  void adopt(std::filesystem::path folder, FileDescriptor opened) {
    path = std::move(folder);
    owned = std::move(opened);
    fd = owned.get();
  }
  bool open(std::filesystem::path folder, FolderFlushes* shared, std::string forFile, WriteSession* keeper) {
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
  bool takeOverUnchecked(const std::filesystem::path& folder, WriteSession* keeper) {
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

// What the chain of a file's backups holds (backupChain).
enum class ChainState {
  Failed,    // a folder lies in the chain, or a name cannot be looked at (one too long for the file system)
  Ready,     // the names are found, the last one free
  InFlight,  // leaf + suffix is the file itself (a backup in flight, file_store.h)
};
// The names of the backups of `leaf` in the folder: chain[0] is leaf + suffix, chain[1]
// leaf + suffix + suffix, ...; the last entry is the first free name. `file`: the file's
// status, to tell a backup in flight.
ChainState backupChain(int folder, const std::string& leaf, std::string_view suffix, const struct stat& file,
                       std::vector<std::string>& chain);
// Moves each generation one name further, the deepest first, so each rename goes to a free
// name; no content is copied twice and the chain's length costs no stack. On failure the
// generations already moved go back (best effort) and false is returned.
bool shiftChain(WorkFolder& folder, const std::vector<std::string>& chain);
// Puts the generations moved one name further back under their own names: chain[i + 1]
// returns to chain[i] for every i from `first` on. Best effort.
void undoShift(int folder, const std::vector<std::string>& chain, std::size_t first);

// The file copied to its backup's first name after the chain is shifted (file_backup.cpp), as
// replaceFile's contract says of a backup that is a copy; BackupFailed when the copy cannot be
// made, with nothing changed.
StoreResult backupByCopy(const FileReplacement& asked, WriteSession* session);
// Takes back the backup `made` just made (`status`, its status), after the write it was made
// for failed: the file keeps its former content, so the backup would only be one generation
// more. It goes, and the older generations (each `suffix` longer) move back one name. Best
// effort.
void withdrawBackup(const std::filesystem::path& made, std::string_view suffix, const struct stat& status);

}  // namespace sarnavel::store_steps
