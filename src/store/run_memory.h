// The run's memory: what the user's runs wrote, kept between runs.
//
// Design note. A file a run wrote holds the target encoding, but nothing in it says so for
// sure: a site converted in parts, or again after a stop, shows a later run pages that name
// one encoding and files that are in another. So each run records, as it goes, the facts a
// later run needs and cannot see:
//  - for every file it wrote: its path, device and inode, the size and hash (content_hash.h)
//    of the bytes written and of the former bytes, the target, what the former bytes were read
//    as (as far as it counts for the site), the backup made, and for a page what each file it
//    loads was claimed to be in before the page was rewritten (the element's former charset,
//    the page's former encoding), so that a run stopped after a page and started again reads
//    those files as the whole run would have;
//  - each recovery copy it made (recovery_copy.h), before the file is written into, and each
//    temporary file (temp_file.h) before it takes a name: a later sweep (leftover_sweep.h)
//    uses or removes only what the user's memory names, never a file that merely looks like
//    one of ours;
//  - the run itself: an id, its start, the folders and files named and its options; an undo
//    (run/undo_run.h), the id of the run it takes back, and for each file it put back, before
//    the file's backup leaves its chain, the backup's name, device and inode: whether that
//    backup is still there tells a later undo whether the chain was popped; and its end, once
//    it went through every file (an undo killed after its last record still has a pop to do);
//    a redo (an undo of an undo), the id of the undo it takes back;
//  - the bytes an undo takes out of a file (what the run wrote there), kept by their hash in
//    the folder "kept" beside the runs' files, on disk before the file is touched, and named
//    by the undo's record of the file: a redo writes them again. They go with the last run
//    that names them.
// A later run asks: does this file hold exactly what a run wrote (by its path or by its device
// and inode, then by its size and hash)? If so the file is in that run's target, whatever
// loads it says (engine/encoding_decision.h). A dry run and a check read the memory and
// record nothing.
//
// Where: $XDG_STATE_HOME/sarnavel, or ~/.local/state/sarnavel (the user's home from the
// password database when HOME is not the user's: root keeps root's own), a folder of the
// user's own, mode 0700, that no one else may write; one file per run (JSON Lines, mode
// 0600), its name the run's id, which sorts by start time. Concurrent runs of one user each
// append to their own file, which they hold locked; a file is complete up to the last line
// written: a record is one write, appended before the log says 成功 and flushed to disk then
// (recordWrite, durableThrough), a recovery copy's before the copy is relied on. Bounded:
// when a run starts, the oldest runs beyond kKeptRuns, or beyond kKeptBytes together, are
// dropped (never one still being written). Read tolerantly: a line that cannot be read is no
// evidence, and the memory says so once (MemoryState::Damaged); a folder that cannot be made
// or is not the user's leaves the run without memory (Unavailable), never failed.
//
// What it keeps in memory while a run lives is small: per remembered file a few numbers and
// the hashes of its paths, and the claims a page's files were read with; a page records the
// claims of at most kMaxLoadsRecorded files.
//
// This is a store of facts: it words nothing. Thread safety: the lookups may be called from
// any thread once the memory is open; the records too (they are serialised).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "text/source_encoding.h"
#include "store/content_hash.h"
#include "store/posix_file.h"
#include "text/line_ending.h"
#include "text/target_encoding.h"

namespace sarnavel {

inline constexpr std::size_t kKeptRuns = 100;
inline constexpr std::uint64_t kKeptBytes = 32u << 20;
inline constexpr std::size_t kMaxLoadsRecorded = 4096;

// Where the user's memory lives (see above); empty when no home is known.
std::filesystem::path memoryFolder();

// A file a page loads, and what the page's element said of it before the page was rewritten.
struct LoadClaim {
  std::string path;
  std::string charset;
};

// One file a run wrote.
struct WriteRecord {
  std::string path;  // absolute, lexically normal
  dev_t device = 0;  // of the file that now holds the bytes written
  ino_t inode = 0;
  std::uint64_t size = 0;
  ContentHash hash;
  std::uint64_t formerSize = 0;
  ContentHash formerHash;
  TargetEncoding target = TargetEncoding::Utf8;
  std::optional<SourceEncoding> site;   // what the former bytes were read as, when it counts for the site
  std::optional<SourceEncoding> lends;  // a page: the encoding it lent the files it loads
  std::string backup;                   // the backup's path, empty when none was made
  std::optional<timespec> modified;     // the written file's modification time, when known
  std::vector<LoadClaim> loads;         // a page: the files it loads
};

// A name of ours: a recovery copy or a temporary file.
struct NameRecord {
  std::string path;  // absolute
  dev_t device = 0;  // 0 and 0: a temporary file about to be made under the name
  ino_t inode = 0;
  std::string file;  // a recovery copy: the path of the file it keeps the former content of
};

// The run as it starts.
struct RunFacts {
  std::vector<std::string> named;
  TargetEncoding target = TargetEncoding::ShiftJis;
  LineEnding lineEnding = LineEnding::Unchanged;
  bool backups = true;
  std::string undoes = {};  // an undo: the id of the run it takes back
  std::string redoes = {};  // a redo: the id of the undo it takes back
};

// A file an undo put back from its backup, recorded before the backup leaves its chain.
struct PutBackRecord {
  std::string path;
  std::string backup;
  dev_t backupDevice = 0;
  ino_t backupInode = 0;
  std::optional<ContentHash> kept = {};  // the bytes taken out of the file, when kept
};

// A run as the memory keeps it, for listing the runs and taking one back: its facts and its
// records in the order written.
struct RememberedRun {
  std::string id;
  std::uint64_t started = 0;  // seconds since 1970
  RunFacts facts;
  std::vector<WriteRecord> wrote;
  std::vector<PutBackRecord> putBack;
  bool ended = false;    // it recorded its end: it went through every file
  bool live = false;     // a run still holds its record: it is going on
  bool damaged = false;  // some of its lines could not be read
};

// Where the memory in `folder` keeps the bytes of that hash (see above).
std::filesystem::path keptContentPath(const std::filesystem::path& folder, const ContentHash& hash);
// The bytes the memory in `folder` keeps of that hash, when they are there whole (a regular
// file, not through a link, holding bytes of that hash).
std::optional<std::string> keptContent(const std::filesystem::path& folder, const ContentHash& hash);

// Whether the file `record` names still holds what the run wrote: the same file, size and
// modification time as recorded say so without reading it (a listing of a large run stays
// cheap); else, or for a record without the time (an older memory), its bytes' hash decides.
bool holdsWhatWasWritten(const WriteRecord& record);

// Every run the memory in `folder` keeps, oldest first; none when the folder cannot be read or
// is not the user's.
std::vector<RememberedRun> rememberedRuns(const std::filesystem::path& folder);

// What the memory knows of a file that holds exactly what a run wrote.
struct RememberedWrite {
  TargetEncoding target = TargetEncoding::Utf8;
  std::optional<SourceEncoding> site;
  std::optional<SourceEncoding> lends;
  std::size_t loadsBegin = 0, loadsEnd = 0;  // its claims, in the memory's list
};

enum class MemoryState {
  None,         // no memory asked for
  Ready,        // read, and recording where asked
  Damaged,      // read, but some lines could not be: they are no evidence
  Unavailable,  // the folder could not be made or read, or is not the user's alone: no memory
};

// What a run tells of the user's memory, once each.
enum class MemoryNotice {
  Damaged,      // some of what earlier runs recorded could not be read: it is no evidence
  Unavailable,  // the folder could not be made or read, or is not the user's alone
  NotRecorded,  // this run's record could not be written (files that must be written in place are not)
};

class RunMemory {
 public:
  RunMemory() = default;
  RunMemory(const RunMemory&) = delete;
  RunMemory& operator=(const RunMemory&) = delete;

  // Reads what earlier runs recorded in `folder` (made when missing).
  MemoryState open(const std::filesystem::path& folder);
  MemoryState state() const { return state_; }
  const std::filesystem::path& folder() const { return folder_; }

  // Starts this run's record; false when nothing can be recorded (then every record below
  // fails or does nothing).
  bool startRecording(const RunFacts& run);
  bool recording() const;
  const std::string& runId() const { return runId_; }

  // The file (its path as read, device, inode and size) holds exactly what a run wrote: what
  // the memory knows of that write. `hash` is asked only when a remembered write has the size.
  // Of several writes that match, the latest counts.
  template <class Hash>
  std::optional<RememberedWrite> wrote(std::string_view path, dev_t device, ino_t inode, std::uint64_t size,
                                       Hash&& hash) const {
    std::optional<ContentHash> known;
    const Entry* latest = nullptr;
    for (const Entry* entry : candidates(path, device, inode, size)) {
      if (!known) known = hash();
      if (entry->hash == *known && (!latest || entry > latest)) latest = entry;
    }
    if (!latest) return std::nullopt;
    return latest->remembered;
  }
  // The charset a remembered page's element gave the file `path` before the page was rewritten.
  std::optional<std::string> claimOf(const RememberedWrite& page, std::string_view path) const;

  // Whether a run of the user made this recovery copy (its path's last part, device and inode).
  bool madeRecoveryCopy(std::string_view leaf, dev_t device, ino_t inode) const;
  // Whether a run of the user gave a temporary file this name (its path's last part, six
  // random letters of the run's in it): whatever file the name holds now is the run's to
  // remove (the new content, or after an exchange the former file, which its backup holds).
  bool madeTemporary(std::string_view leaf) const;

  // Appends the record (one line, one write); its number, for durableThrough (which says false
  // for a line that could not be written). 0 when the memory records nothing (none opened).
  std::uint64_t recordWrite(const WriteRecord& record);
  // Every record up to `number` is on disk when this returns true. One flush at a time serves
  // every caller whose record it covers.
  bool durableThrough(std::uint64_t number);
  // Appends the record and puts it on disk; false when it could not be (a later undo then
  // finds the file put back and its backup still there, and takes the backup out).
  bool recordPutBack(const PutBackRecord& record);
  // Keeps `bytes` (whose hash is `hash`) on disk until no remembered run names them; true
  // when they are, from before or now.
  bool keep(const ContentHash& hash, std::string_view bytes);
  // Appends the run's last record, which says it went through every file, and puts it on disk.
  bool recordEnd();
  // Appends the record and puts it on disk; false when it could not be (the copy must then
  // not be relied on).
  bool recordRecoveryCopy(const NameRecord& copy);
  // Appends the record; best effort (an unrecorded temporary is merely never swept).
  void recordTemporary(const NameRecord& temporary);

 private:
  struct Entry {
    std::uint64_t size = 0;
    ContentHash hash;
    RememberedWrite remembered;
  };
  struct DeviceInode {
    dev_t device;
    ino_t inode;
    bool operator==(const DeviceInode&) const = default;
  };
  struct DeviceInodeHash {
    std::size_t operator()(const DeviceInode& key) const;
  };
  struct NameKey {
    DeviceInode file;
    std::uint64_t leaf;
    bool operator==(const NameKey&) const = default;
  };
  struct NameKeyHash {
    std::size_t operator()(const NameKey& key) const;
  };
  struct Claim {
    std::uint64_t path;
    std::uint32_t charset;  // index into charsets_
  };

  // The writes recorded under the path or the device and inode, of the size.
  std::vector<const Entry*> candidates(std::string_view path, dev_t device, ino_t inode, std::uint64_t size) const;
  bool readRun(const std::filesystem::path& file);
  bool take(std::string_view line);
  void dropOldRuns();
  void dropUnnamedKept();
  std::uint64_t append(const std::string& line);

  MemoryState state_ = MemoryState::None;
  std::filesystem::path folder_;
  FileDescriptor handle_;  // the folder, open while the memory lives
  std::vector<Entry> entries_;
  std::unordered_multimap<std::uint64_t, std::size_t> byPath_;  // by the hash of the path
  std::unordered_multimap<DeviceInode, std::size_t, DeviceInodeHash> byInode_;
  std::vector<Claim> claims_;
  std::vector<std::string> charsets_;
  std::unordered_set<NameKey, NameKeyHash> copies_;
  std::unordered_set<std::uint64_t> temporaryNames_;  // hashes of the names

  mutable std::mutex mutex_;  // what follows: this run's record
  std::string runId_;
  FileDescriptor record_;
  std::uint64_t appended_ = 0, durable_ = 0;
  bool flushing_ = false;
  std::condition_variable flushDone_;
  bool broken_ = false;  // a write failed: nothing more is recorded
};

}  // namespace sarnavel
