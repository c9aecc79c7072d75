// A run's store: the one object a run (a conversion, an undo, a redo) reads and writes its
// documents through.
//
// A run makes one Store over its memory (run_memory.h) and asks it for all it does to the
// disk: read a file as named and expected, replace it with a backup choice, and sweep what
// killed runs left in a folder before its first file is read. The memory stays the run's: the
// run records in it what it wrote, the store only tells it of its temporary files and recovery
// copies. The Store holds what the run's files share:
//  - the folders' flushes (folder_flushes.h), when the run reports its files only after asking
//    durableFor: one flush of a folder then serves every file renamed in it meanwhile;
//  - the sweep's findings (leftover_sweep.h): the recovery copies that keep a file waiting;
//  - for each of the run's workers, a session (file_store.h: WriteSession) that keeps the
//    folder last worked in open for the next file, and that tells the memory of every
//    temporary file and recovery copy its writes make.
// A worker reads and writes through its StoreWorker, which carries its session and the
// store's flushes to file_store.h's readFile and replaceFile. Those two are the steps
// themselves, and a caller with no run (reading the settings file, looking at a backup) calls
// them alone: the same read and write, without a run's shared state.
//
// Thread safety: each worker's StoreWorker on its own thread, any number at once, and
// durableFor from any thread; the sweep on the run's own thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/file_store.h"
#include "store/folder_flushes.h"
#include "store/leftover_sweep.h"
#include "store/run_memory.h"

namespace sarnavel {

class Store;

// One worker's reads and writes. A default one has no store: each write flushes its own
// folder, and nothing is kept open from one file to the next.
class StoreWorker {
 public:
  StoreWorker() = default;
  // One file's steps begin (file_store.h: WriteSession::beginFile).
  void beginFile() const;
  // readFile, in the worker's session.
  ResultCode read(FileRequest request, std::string& content, FileIdentity* identity = nullptr,
                  StoreProblem* problem = nullptr) const;
  // replaceFile, in the worker's session, with the store's flushes when it shares them (then
  // the rename is durable once Store::durableFor(path) says so).
  StoreResult replace(FileReplacement replacement) const;
  // The folder the worker's session keeps open (WriteSession::heldFolder); -1 without one.
  int heldFolder(std::string_view folder, FolderId id) const;

 private:
  friend class Store;
  StoreWorker(FolderFlushes* flushes, WriteSession* session) : flushes_(flushes), session_(session) {}
  FolderFlushes* flushes_ = nullptr;
  WriteSession* session_ = nullptr;
};

class Store {
 public:
  struct Setup {
    int workers = 1;            // the threads that read and write at once, each a StoreWorker
    bool lookOnly = false;      // a dry run or a check: the sweep only looks (leftover_sweep.h)
    bool sharedFlushes = true;  // the run asks durableFor before it reports a file written
  };
  // `memory` is open (or not recording) and outlives the store.
  Store(RunMemory& memory, const Setup& setup);

  StoreWorker worker(int k) { return {setup_.sharedFlushes ? &flushes_ : nullptr, &sessions_[std::size_t(k)]}; }

  // Sweeps the folders of these paths not swept yet (leftover_sweep.h); what was tidied so far,
  // and the recovery copy that keeps a file from being converted, if any.
  void sweepFoldersOf(const std::vector<std::string_view>& paths) { sweep_.sweepFoldersOf(paths); }
  const FolderSweep& swept() const { return sweep_.done(); }
  std::optional<std::filesystem::path> pendingFor(std::string_view path) const { return sweep_.pendingFor(path); }

  // Every rename made for `path` is on disk (false: the folder's flush failed).
  bool durableFor(std::string_view path) { return flushes_.durableFor(path); }
  // How long the workers waited for the disk so far, in nanoseconds (read from any thread).
  std::uint64_t flushWaitNanos() const;

 private:
  Setup setup_;
  FolderFlushes flushes_;
  std::vector<WriteSession> sessions_;
  LeftoverSweep sweep_;
};

}  // namespace sarnavel
