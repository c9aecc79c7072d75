// Writing new content into a file itself (the same inode), crash-safely, for a file that must
// not be replaced by a new one: another user's file (the owner could not be kept), a file with
// several hard links (every name gets the new content), a file whose extended attributes or
// ACL could not be carried to a new one.
//
// Design note. The former content is made durable elsewhere before the file is touched:
//  1. It is copied into a recovery copy beside the file: one of our temporary files (hidden,
//     locked while it lives, temp_file.h) holding a header (the file's name, inode and number
//     of names, the sizes, a hash of the new content and one of each of its pages) and then
//     the former bytes. The copy is flushed,
//     renamed to ".<name>.sarnavel-XXXXXX.recovery.tmp" and the folder flushed: a recovery copy
//     under that name is always complete.
//  2. The file is checked once more against what the run read (file_identity.h), then the new
//     content is written over it from its start, the file is cut to the new length and
//     flushed. Should that fail (a full disk, a file-size limit), the former bytes are put
//     back at once.
//  3. The recovery copy is removed and the folder flushed.
// A process killed, or a machine stopped, at any moment leaves either no recovery copy (the
// file holds its whole old or whole new content) or a complete one whose lock nobody holds.
// restoreFromRecoveryCopy, which the next run calls for each such copy in a folder it is about
// to convert in (leftover_sweep.h), then finds the file holding exactly the new or the former
// content (and only removes the copy), or torn, and puts the former bytes back. Torn is what
// the write can leave: page by page the former or the new bytes (a killed write stops at a
// page's end; a machine stopped before the flush wrote some pages and not others), the size
// between the two. A file that holds anything else was changed since (an editor saved into it,
// or someone put its former content back by hand): it keeps what it holds, and the copy stays.
// A file that is no longer the one the copy was made of (another inode under the name, or
// none) is left alone, and so is the copy: it may hold the only former content there is (the
// file's other names, or a file put under the name since, may hold it torn). Only the user's
// own recovery copies that the user's memory records (run_memory.h) are used (one made by
// another user, or planted, could name any file of the folder and hold any bytes): another
// user's waits for that user's next run. So does one with a second name, or one that anybody
// but its owner may write: either could hold someone else's bytes under the user's name.
//
// The recovery copy is the user's who writes the file (root's too, when root writes another
// user's file), readable at most by whom the file was (its reading bits, less the group's
// when the group could not be kept or an ACL decides what the group may), and writable by its
// owner alone. Permission bits and extended attributes of the file are kept by construction; the
// kernel takes the set-user-ID and set-group-ID bits off a file written by an ordinary user,
// and they are put back where the user may (the owner).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "store/file_identity.h"
#include "store/temp_file.h"

namespace sarnavel {

class RunMemory;

enum class InPlaceOutcome {
  Written,
  ChangedSinceRead,      // not written: the file is not the one read
  CopyFailed,            // not written: the recovery copy could not be made (errno says why)
  WriteFailed,           // not written: the write failed and the former bytes are back
  FormerAwaitsRecovery,  // the write failed and so did putting the former bytes back: the
                         // recovery copy stays for the next run
  NotRecorded,           // not written: no memory records the recovery copy (run_memory.h)
};

// Writes `bytes` over the regular file `target` (no link is followed), which must still be
// the file `read` describes. Blocks SIGXFSZ itself. The recovery copy is recorded in `memory`
// before anything relies on it; without a memory that records, nothing is written.
InPlaceOutcome writeInPlace(const std::filesystem::path& target, std::string_view bytes, const FileIdentity& read,
                            RunMemory* memory);

// Steps 1 and 3 of the design note: the recovery copy of one file, locked while the object
// lives. writeInPlace is made of it; a test may stop between the steps.
class RecoveryCopy {
 public:
  struct Header {
    std::uint64_t inode = 0, links = 0, formerSize = 0, newSize = 0, newHash = 0;
    std::string name;
    std::vector<std::uint64_t> pageHashes;  // of each page of the new content, then of its
                                            // bytes in the page the former size ends in
    std::size_t size() const;
  };

  RecoveryCopy() = default;
  RecoveryCopy(const RecoveryCopy&) = delete;
  RecoveryCopy& operator=(const RecoveryCopy&) = delete;

  // Copies the open file `file` (`info` its status, `target` its path) under a header for
  // `newBytes`, records it in `memory` (on disk) and makes the copy durable under its recovery
  // name. False (errno set) leaves nothing behind but, at worst, the record of a copy that
  // never took its name.
  struct Source {
    const std::filesystem::path& target;
    int file;
    const struct stat& info;
    bool hasAttributes;
  };
  bool make(const Source& source, std::string_view newBytes, RunMemory* memory);
  // Writes the former bytes back into the open file and flushes it.
  bool putFormerBack(int file) const;
  // Removes the copy (the file holds its new or former content for good).
  void remove();

 private:
  TempFile copy_;
  std::filesystem::path recoveryName_;
  Header header_;
};

enum class RecoveryOutcome {
  InUse,           // its lock is held: the run that made it is still writing
  FormerRestored,  // the file held part of the new content; it has its former bytes again
  NothingToUndo,   // the file held exactly the new or the former content
  ChangedSince,    // the file holds what no write of ours left: both are left as they are
  FileReplaced,    // the name leads to another file now, or to none: the copy stays
  Unusable,        // not a recovery copy this program can read, or not the user's: left as it is
  NotRecorded,     // the user's, but no run of the user's memory made it: left as it is
  Failed,          // the former bytes could not be put back: the copy stays
};

// Whether the user may use the recovery copy (`name` in `folder`): it is the user's, written
// by no one else, and `memory` names it. Only looks.
bool usableRecoveryCopy(const std::filesystem::path& folder, const std::string& name, const RunMemory& memory);

// Looks at one recovery copy (`name` in `folder`) and acts as the design note says: a copy is
// used only when `memory` names it (run_memory.h), and removed only when its file holds exactly
// the former or the new content whole.
RecoveryOutcome restoreFromRecoveryCopy(const std::filesystem::path& folder, const std::string& name,
                                        const RunMemory& memory, std::filesystem::path* restoredFile = nullptr);

}  // namespace sarnavel
