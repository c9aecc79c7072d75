// Putting one file back from its backup: the step an undo (undo_run.h) takes for each file a
// run wrote, and a restore for each file named.
//
// The former bytes go back through the store's one replace (file_store.h: owner, group, mode,
// extended attributes and hard links kept; atomic; flushed); then the fact is recorded in the
// user's memory (the backup's device and inode), durable; then the backup leaves its chain
// (backup_chain.h). A kill at any moment leaves the file old or new and the chain whole or
// with one gap, and the next undo of the same run (or restore of the file) tells which by what
// it finds:
//  - the file differs from the backup: the replace is still to be done;
//  - the file holds the backup's bytes, and the backup is the one recorded (or, for an undo,
//    nothing was recorded: a kill came between the replace and the record): the backup is
//    still to leave its chain;
//  - the file holds the backup's bytes, and a record names another backup: all was done
//    (the new backup is the older generation, which may hold the same bytes); a gap the pop
//    left is closed.
// An undo asks more of the file: that it still holds what the run wrote (or the former bytes,
// when it was put back already) and that the backup holds the former bytes.
//
// An undo keeps the bytes it takes out of a file (what the run wrote) in the user's memory
// (run_memory.h), on disk before the file is touched, and names them in its record, so that a
// redo can write them again. A redo (putAgainFile) writes them back over a file that still
// holds what the undo put there, making a backup as the run did (the bytes the undo put back
// become NAME.bak again), and records the write as the run did: the redo is a run a later undo
// takes back. A file that already holds them (a redo cut short) is left as it is.
//
// Contract: a file refused is left as it is, with the reason as a note (file_report.h); a
// dry run looks and changes nothing. No state; one call per file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "run/file_drivers.h"
#include "run/file_report.h"
#include "store/content_hash.h"
#include "store/file_store.h"
#include "store/run_memory.h"
#include "store/store.h"

namespace sarnavel {

struct PutBack {
  std::filesystem::path path;
  std::filesystem::path backup;
  std::string suffix = ".bak";  // what each generation of the chain adds to the name
  // An undo: what the run wrote and what the backup must hold. A restore: none, any bytes.
  std::optional<ContentHash> written = {};
  std::optional<ContentHash> former = {};
  // The latest record of this file put back from this backup (by an undo of the same run,
  // or any restore), when there is one.
  std::optional<PutBackRecord> earlier = {};
  // A restore from a backup folder that found several backups that may be this file's: none
  // is taken, as any might be another file's.
  std::vector<std::string> rivals = {};
};

// What the step needs of its run.
struct PutBackContext {
  WriteMode mode = WriteMode::Write;
  RunMemory* memory = nullptr;  // records the step (when it records)
  StoreWorker store;
};

FileReport putBackFile(const PutBack& file, const PutBackContext& context);

// A file a redo writes again: the run's record of the write, and its backup's first generation.
struct PutAgain {
  WriteRecord wrote;             // what the run wrote (`hash`) over what (`formerHash`)
  std::filesystem::path backup;  // where the redo's backup goes; empty: none
  bool recorded = false;         // an earlier redo of the same undo recorded writing it again
};

FileReport putAgainFile(const PutAgain& file, const PutBackContext& context);

// The suffix of a backup's chain: what the backup's name adds to the file's own name; ".bak"
// when the backup's name is not the file's with something added.
std::string chainSuffixOf(const std::filesystem::path& path, const std::filesystem::path& backup);

}  // namespace sarnavel
