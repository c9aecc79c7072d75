// Whole files on disk: reading one into memory, replacing one's content, and keeping backups.
// A run reaches these two steps through its Store (store.h), which lends them its workers'
// sessions and its folders' flushes; a caller without a run calls them alone.
//
// This is the program's only seam to the file system for document content. It reads and
// writes whole files and keeps a chain of backup copies; it does not convert, classify
// (see file_kind.h) or list files, and it never changes the current directory. Paths are
// byte strings (normally UTF-8) used as given, of any length the system accepts; they may be
// relative. Symbolic links are followed; a name's own link is never replaced by a file.
//
// Only regular files are opened: a name's type is looked at first, so naming a device or a
// named pipe never opens it, and the file opened must be the one looked at.
//
// A read tells what it saw (file_identity.h). A backup or a write given that identity first
// checks that the file is still the one read, unchanged (same file, size, modification and
// change times); if another program changed it meanwhile, nothing is written and the result
// says so (ChangedSinceRead), so no one's writes are lost. A write of a name the read opened
// itself (NotFollowed) and found free of the immutable and append-only flags takes what the
// read saw for its first look; its check just before the rename finds any change since.
//
// Contract on failure:
//  - readFile: CannotOpen (102) when the path is missing, is a folder or anything but a
//    regular file, or a read fails; OutOfMemory (101) when the content does not fit in
//    memory. `content` is then empty. Nothing on disk is changed.
//  - replaceFile: WriteFailed (103), with the file as it was before the call, and no
//    temporary file left behind (with one exception, FormerAwaitsRecovery below). With a
//    backup: BackupFailed (104), or WriteFailed when the file changed since it was read or
//    may not be written, with nothing written, every existing backup under its former name and
//    no new or temporary file left behind (undoing a half-done shift is best effort: should a
//    rename back fail, that generation keeps one more ".bak", and still nothing is lost). A
//    write that fails after its backup was made takes the backup back again (its name removed,
//    the shift undone, best effort as above), unless the write left the former content waiting
//    in a recovery copy (FormerAwaitsRecovery), which the backup holds too.
// Each failure carries a StoreProblem where there is more to say than the code: a fact, which
// the report words (report/file_notes.h).
//
// A file keeps what it had: content aside, its owner, group, permission bits, extended
// attributes and ACLs, and its hard links, are as before. Replacing is done in one of two
// ways:
//  - By a new file (the usual way, atomic): the new content goes to a temporary file of ours
//    in the file's folder (temp_file.h; unnamed until it is complete where the file system
//    allows), which is given the file's owner and group, its permission bits and every
//    extended attribute (ACLs included), flushed, checked once more against the read and
//    renamed over the file; the folder is then flushed. Where the file system can exchange two
//    names, the rename is an exchange, and what comes out under the temporary name must be
//    the file read (same file, size and modification time): a file saved anew, or written
//    into, since the last look gets its name back and the write fails (ChangedSinceRead). A
//    reader, a crash or a failed write at any point sees either the whole old or the whole new
//    content.
//  - In place, when a new file could not have everything of the former one: the owner cannot
//    be kept (an ordinary user converting another user's file), nor the group (one the user is
//    not in), an attribute cannot be set on a new file, or the file has several hard links.
//    The new content is written into the file itself after its former content is durable in
//    a recovery copy beside it (recovery_copy.h): a crash at any moment leaves the whole old
//    or the whole new content, or a recovery copy from which the next run that reaches the
//    folder puts the whole old content back (leftover_sweep.h). Every hard link of the file
//    then shows the new content. With a backup, the former content is copied twice, to the
//    backup and to the recovery copy: the backup is the user's and stays, the recovery copy
//    is ours, carries what the sweep needs to tell a torn file (recovery_copy.h) and goes
//    once the write is whole. Only these rare files pay for it (another user's, one of
//    several links); a file replaced by a new one makes no copy at all.
// Consequences:
//  - the folder must be writable, and not append-only (a name made there could never go
//    again); a file whose own permission bits forbid writing, or that is immutable or
//    append-only, is refused;
//  - a symbolic link is resolved to its final target, the target is replaced in the target's
//    folder, and the link stays a link.
// A write past the process's file-size limit fails with WriteFailed instead of killing the
// process: SIGXFSZ is blocked in the calling thread for the duration of a write, and the
// signal it raises is taken off again before the thread's mask is restored; where the program
// ignores the signal (the shells do, at start) and the write has a WriteSession, nothing needs
// blocking. No process-wide setting is changed.
//
// A backup is a new file with the file's content, owner (where the user may give it; an
// ordinary user's backup of another user's file is the user's), group (where the user may;
// otherwise the group's permission bits are left off), permission bits, extended attributes
// and modification time; one whose attributes cannot all be set is not made. The backup of a
// file replaced by a new file is no copy: the former file itself, which has all of that, takes
// the backup's name just before the new content is renamed over the file's.
//
// Everything in a folder is reached relative to the folder, opened once per call (or kept
// open from the previous file by a WriteSession, see below); a name is followed as a link
// only when it is one.
//
// Flushing the folder: a write (and a backup) returns only once its renames are durable,
// unless it is given a FolderFlushes (folder_flushes.h): the change is then noted there under
// the path given, and the caller calls durableFor(path) before it reports the file, so that
// one flush of the folder serves all the files renamed in it meanwhile. A backup's renames,
// made in the file's own folder before the file is replaced (or, for the former file itself,
// with its replacement), reach the disk with the same flush; a link's backup, beside the link,
// is made durable before the file it leads to is replaced.
//
// A backup in flight: a run stopped between giving the former file the name NAME.bak and
// renaming the new content over NAME leaves NAME and NAME.bak as two names of one file, the
// former one. That NAME.bak is taken for the backup it is: a backup of NAME makes no other and
// shifts nothing, and a write replaces NAME by a new file, never in place (which would give the
// backup the new content): a file that could only be written in place (another user's, say)
// is then refused (WriteFailed, BackupInFlight) and both names keep the former content. A
// second name that is NAME with another suffix (a run with --suffix .orig stopped so) is no
// backup of this write's, but is kept in the same way: NAME is replaced by a new file (its
// backup made as any file's) or the write refused.
//
// Thread safety: no shared state but the FolderFlushes given; every function may be called
// from any thread. Two concurrent writes of one file each leave a whole content; the later
// rename wins.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/result_code.h"
#include "store/file_identity.h"
#include "store/folder_id.h"
#include "store/posix_file.h"
#include "store/temp_file.h"

namespace sarnavel {

class FolderFlushes;
class RunMemory;
namespace store_steps {
struct WorkFolder;
}

// What one thread's reads and writes keep from one file to the next, so that files read and
// written one after the other in one folder (a run goes in path order) do not each open it anew:
//  - the folder last worked in, open. It serves the next write in a folder of the same path
//    only while that path still leads to it (one stat of the path, compared by device and
//    inode); otherwise the path is opened again, so a folder renamed or replaced meanwhile is
//    never written in by its former name. A listed file's read (readFile) given the
//    look the caller just made at the file by its full path spares that stat when the look
//    found a regular file with no other name and the kept folder holds that very file, still
//    with no other name, under the file's name: the path led to the kept folder when it was
//    looked at.
//    Within one file's steps (from beginFile to the next beginFile: its read, its backup and
//    its write), the folder checked or opened for the first step serves the later steps of the
//    same folder path without that stat: a folder renamed or replaced between the file's read
//    and its write is not followed to its path's new folder, and the file read is written
//    where it lies, in the folder it was read from (its own checks against the read still
//    apply there). The folder's append-only flag is likewise looked at once for a file's
//    backup and write.
//  - whether SIGXFSZ is ignored, looked at once when the session starts: a write then needs
//    no change of the thread's signal mask.
// One per thread, never shared; it holds one descriptor while it lives.
class WriteSession {
 public:
  WriteSession();
  // The folder the session keeps open, when it was opened by the path `folder` (as given to
  // the store) and is the folder `id`; -1 otherwise. What the read that just opened or checked
  // it found, for looking at names in it without walking `folder` again; the descriptor stays
  // the session's.
  int heldFolder(std::string_view folder, FolderId id) const;
  // The steps that follow are one file's (see above). A session never told so checks the
  // folder's path at every step.
  void beginFile() { ++file_; }
  // How long this session's writes and backups waited for their new content to reach the
  // disk so far, in nanoseconds; read by other threads (the run weighs it to decide whether
  // more workers would overlap such waits).
  std::uint64_t flushNanos() const { return flushNanos_.load(std::memory_order_relaxed); }
  // The run's memory, told of every temporary file and recovery copy the session's writes make
  // (run_memory.h). Without one, a file that could only be written in place is not written:
  // its recovery copy would be one no later run uses.
  void recordIn(RunMemory* memory) { memory_ = memory; }
  RunMemory* memory() const { return memory_; }

 private:
  friend struct store_steps::WorkFolder;
  RunMemory* memory_ = nullptr;
  std::atomic<std::uint64_t> flushNanos_{0};
  std::string folderPath_;
  FileDescriptor folder_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool fileSizeSignalIgnored_ = false;
  unsigned long file_ = 0;           // counts beginFile; 0 before the first
  unsigned long folderChecked_ = 0;  // the file_ for which the folder was last checked or opened
  unsigned long flagsLookedAt_ = 0;  // the file_ for which namesMayGo_ was looked at
  bool namesMayGo_ = true;           // the folder is not append-only
};

enum class StoreProblem {
  None,                  // nothing more to say than the result code
  ChangedSinceRead,      // another program changed the file after it was read
  ReplacedBeforeRead,    // the name is no longer what was listed or looked at (now a link,
                         // or in another folder): it was not read
  FileNotWritable,       // the file's permission bits forbid writing it
  FolderNotWritable,     // no temporary file can be made in the file's folder
  AttributesNotCarried,  // backup: an extended attribute or ACL cannot be set on a copy
  FormerAwaitsRecovery,  // the in-place write failed half-way and its undo failed too:
                         // the former content waits in a recovery copy for the next run
  BackupInFlight,        // the file must be written in place, and its backup in flight (a
                         // second name of the file itself) would take the new content too
  NotRecorded,           // the file must be written in place, and the run's memory cannot
                         // record its recovery copy, which no later run would then use
  BackupFolderLink,      // a name on the way down the backup folder's mirror is a symbolic link
                         // or no folder: no backup is made through it
  // Why a write (or a backup's) failed, where the system says: the disk is full, the user's
  // quota or the process's file-size limit is reached, the file system is read-only, the disk
  // failed.
  DiskFull,
  QuotaExceeded,
  FileTooLarge,
  ReadOnlyFileSystem,
  InputOutput,
};

struct StoreResult {
  ResultCode result = ResultCode::Success;
  StoreProblem problem = StoreProblem::None;
  // Asked for (`stampLeft`), of a write that replaced the file by a new one: that file as the
  // rename left it (taken from the new file itself after the rename, so that no later change
  // of the name is mistaken for it). Not known for a file written in place or made anew.
  std::optional<FileStamp> left;
  // A write with `backup` that succeeded: the backup that holds the former content (its first
  // generation, firstBackupOf). Empty otherwise.
  std::filesystem::path backup;
  bool ok() const { return result == ResultCode::Success; }
};

// Whether a read follows the name itself when it is a symbolic link (the folders on the way
// are followed either way). A name the caller knows as a regular file is read as one: should
// it have been replaced by a link meanwhile, the read fails instead of reaching what the link
// leads to. A write or backup given that read's identity then refuses the name too, as any
// change since the read (the file a link leads to is never the one read).
enum class NameLink { Followed, NotFollowed };

// A file to read as named and expected.
struct FileRequest {
  const std::filesystem::path& path;
  NameLink nameLink = NameLink::Followed;  // whether a name that is itself a link is followed
  // The file's status (links followed as `nameLink` says) as the caller has just looked at it,
  // which spares looking again before opening; the file opened must still be that one.
  const struct stat* lookedAt = nullptr;
  // The folder the file lay in when it was listed (for a name read as a link, the folder of the
  // file the link finally leads to); not known: wherever the path leads now.
  FolderId listed = {};
  WriteSession* session = nullptr;  // the folder it keeps open may serve (see above)
};

// The one read: the whole file, whatever its size, into `content`, and, when asked, what the
// read saw of it (`identity`). Success, CannotOpen or OutOfMemory.
// With a listed folder, the file must still lie in it: that folder is opened by its path (or
// taken over from the session, while the path still leads to the one it keeps open), its
// identity compared with `listed`, and the file's name opened relative to it without following
// a link there (a link named is followed hop by hop to the name that holds the file, which is
// opened in its own folder). A folder that is another one by now (a sub-folder swapped for a
// link to somewhere else, a link re-pointed to another folder) leaves the file unread:
// CannotOpen, with ReplacedBeforeRead in `problem`. A file saved anew in that folder (another
// inode under the name) is read. `problem` is None for every other outcome.
ResultCode readFile(const FileRequest& request, std::string& content, FileIdentity* identity = nullptr,
                    StoreProblem* problem = nullptr);

// Why a name read with NotFollowed could not be read, when the reason is that it has become a
// link that leads somewhere (ReplacedBeforeRead); otherwise None (a name that is missing, a link
// that leads nowhere, a folder or a pipe: CannotOpen says enough).
StoreProblem whyNotReadAsFile(const std::filesystem::path& path);

// Where a file's backups lie and how they are named, when not as NAME.bak beside the name given.
//
// With `folder`, the backups of the file lie there instead (the caller mirrors the site's tree
// in it), the folders on the way made as needed (mode 0700: a backup keeps its file's own
// permission bits, and a folder made for it shows no more than that), and each backup is a
// copy: the former file itself cannot become a backup in another folder without leaving,
// should a run stop half-way, a second name that a later write in place would give the new
// content. The copy is on disk, its folder flushed, before the file is touched; the
// generations and every other promise of a backup (see replaceFile) hold there as beside the
// file. A backup folder that cannot be made, or a name on the way that is no folder, means no
// backup: BackupFailed, the file untouched.
//
// With `root` too (the folder the user named for backups, which `folder` lies in), the folders
// below `root` are reached without following a link: one there (put by whoever may write the
// backup folder) could lead the backups into the site or over another file. Such a link, or a
// name that is no folder, means no backup: BackupFailed, BackupFolderLink.
struct BackupPlace {
  std::string suffix = ".bak";   // each generation's name is the one before with it added
  std::filesystem::path folder;  // empty: beside the name given
  std::filesystem::path root = {};
};

// The suffix the backups take: `place`'s, or ".bak" for none, or for one that is empty or holds
// a '/' (which would name no generation, or one in another folder).
std::string_view backupSuffixOf(const BackupPlace* place);
// The first generation's path of the backup of `path` placed as `place` says (none: NAME.bak).
std::filesystem::path firstBackupOf(const std::filesystem::path& path, const BackupPlace* place);

// A file's new content, and how it takes the file's place.
struct FileReplacement {
  const std::filesystem::path& path;
  std::span<const std::string_view> pieces;  // the content, written in their order (a page and its edits)
  const FileIdentity* read = nullptr;        // the file must still be the one read
  bool backup = false;                       // the former content stays as path + ".bak" (see below)
  bool stampLeft = false;                    // the result tells what the write left (StoreResult::left)
  // The folder's flush is left to flushes->durableFor(path) (see above); none: done before the
  // call returns.
  FolderFlushes* flushes = nullptr;
  const BackupPlace* place = nullptr;  // with `backup`: where it goes and its suffix; none: path + ".bak"
  // The new file's modification time (content put back keeps the time it had); none: the
  // write's. A file written in place gets the write's time.
  std::optional<timespec> modified = std::nullopt;
};

// The one write: replaces the file's content with the pieces, creating the file when it does
// not exist (with the permissions the process's umask allows; an existing name that appears
// meanwhile is not replaced). Success or WriteFailed; with a backup, BackupFailed too.
//
// With `backup`, the former content is kept under path + ".bak" (or as `place` says), after every existing
// generation is pushed one ".bak" further: a.js.bak becomes a.js.bak.bak, a.js.bak.bak becomes
// a.js.bak.bak.bak, and so on; nothing is deleted. The backup name is built from the name
// given, so a link's backup lies next to the link. Where the read saw one name, and an owner
// and group the process keeps, the backup is the former file itself: once the new file is
// complete, flushed and the file checked once more against the read, the generations are
// shifted, the former file is given the backup's name (a hard link: no byte copied), and the
// new content is renamed over the file; should that rename fail, the .bak name goes and the
// shift is undone (best effort). Otherwise (a name that is a link, a file written in place, a
// file system that refuses the link, no read given) the file is first copied to the backup's
// name, and then written; a write that fails after the copy takes the copy back (best effort).
// The backup fails, changing nothing and writing nothing, when the file cannot be read, when a
// folder lies anywhere in the chain, when the next name of the chain would be too long for the
// file system, when the copy cannot be written or cannot carry the file's attributes, or (with
// `read`) when the file is no longer the one read; and when the file's permission bits forbid
// the user to write it, or it is immutable or append-only (WriteFailed, FileNotWritable), or
// its folder is append-only (WriteFailed, FolderNotWritable), or, for a link, the folder of the
// file it leads to is one the user may not make names in or is append-only (WriteFailed,
// FolderNotWritable): a file that stays as it is gets no backup. With `flushes`, a copy's new
// names are durable after flushes->durableFor(path), or once the write has begun to replace a
// link's file.
StoreResult replaceFile(const FileReplacement& replacement, WriteSession* session = nullptr);

// Whether the file (links followed) is still the one `read` describes and holds exactly
// `bytes`: a conversion that gives back the bytes it read needs neither a backup nor a write.
// Reads the file only when the sizes agree, and stops at the first difference.
bool fileHolds(const std::filesystem::path& path, std::string_view bytes, const FileIdentity& read);

}  // namespace sarnavel
