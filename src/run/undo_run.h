// Taking a run back: every file a remembered run wrote (run_memory.h) gets its former bytes
// again from the backup that run made, and that backup leaves its chain (put_back.h); and
// restoring files named from their own backups, for users with backups but no memory of the
// run.
//
// An undo is a run: it waits for the runs that write over the same folders or backup folders
// (run_lock.h), tidies what killed runs left first (leftover_sweep.h), tells each file's
// outcome as a conversion does (RunObserver: a Success, or a failure with the reason as a
// note), is cancellable between files, and is itself remembered: its record names the run it
// takes back and each file it put back, so that an undo killed half-way is finished by the next
// undo of the same run. The files go back in the reverse of the order they were written, so a
// file written twice by one run gets its first former bytes.
//
// What is taken back:
//  - by default the last run that wrote files and is not taken back whole; a run named by its
//    id (or the start of one);
//  - an undo named by its id is itself taken back (a redo): the files the undos of its run put
//    back get again what the run wrote there, kept by the undo (put_back.h), in the order the
//    run wrote them; it is refused when nothing was kept (an undo made before they were), and
//    taken back only when no later run that stands follows it (its own redos aside), as any
//    run. A file that no longer holds what the undo put there is left as it is and named;
//  - never a run made without backups,
//    nor one still going on (its record still held by its process), nor one an undo still
//    going on takes back;
//  - not a run that a later run (one that wrote files and is not taken back whole) follows,
//    unless the request forces that very run: runs are taken back last first.
// A file is left as it is, named with the reason, when it no longer holds what the run wrote,
// its backup is missing or no longer holds the former bytes, or a later run that is not taken
// back wrote it again. A dry run says what would be done and changes nothing.
//
// Contract: nothing is process-wide; the outcome of a refused request is the refusal, with no
// file looked at.
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "run/conversion_run.h"
#include "store/run_memory.h"

namespace sarnavel {

struct UndoRequest {
  std::filesystem::path memoryFolder;
  // The run's id, or the start of one; empty: the last run that can be taken back.
  std::string run = {};
  std::string forced = {};            // the run that may be taken back although later runs follow it
  WriteMode mode = WriteMode::Write;  // DryRun: look only
  // Told, once the run to take back is chosen and not refused, before anything else is told,
  // whether the run is an undo (the request a redo).
  std::function<void(bool redo)> chosen = {};
};

enum class UndoRefusal {
  None,
  NoRun,         // no run to take back (or no memory that can be read)
  UnknownRun,    // no run has that id
  AmbiguousRun,  // several runs' ids begin so
  IsUndo,        // the run is an undo that kept nothing to write again
  NoBackups,     // the run made no backups
  LaterRun,      // a later run follows it (`later`)
  StillRunning,  // the run (or an undo of it) is still going on
};

struct UndoSummary {
  RunSummary run;
  UndoRefusal refusal = UndoRefusal::None;
  std::string id;     // the run taken back, or refused
  bool redo = false;  // the run is an undo
  std::string later;  // LaterRun: the later run
};

UndoSummary undoWorker(const UndoRequest& request, const RunObserver& observer,
                       const std::atomic<bool>& cancelRequested);

// Where a restore finds a file's backup: `suffix` added to its name, beside it, or with a
// backup folder in its mirror there (backup_place.h). Which folder the run named is not known,
// so the backup is the one a remembered run made of the file in that folder, or else the one
// that is there of BACKUPS/NAME, BACKUPS/FOLDER/NAME, BACKUPS/PARENT/FOLDER/NAME, ... up to
// the whole key of the file's folder (a file outside every named folder). When several are
// there, the file is left as it is (backup-ambiguous): each may be another file's backup.
struct RestoreRequest {
  std::vector<std::filesystem::path> paths;
  std::string suffix = ".bak";
  std::filesystem::path memoryFolder = {};  // empty: none (a kill half-way is then finished only by hand)
  WriteMode mode = WriteMode::Write;
  std::filesystem::path backupFolder = {};  // absolute; empty: beside each file
};

RunSummary restoreWorker(const RestoreRequest& request, const RunObserver& observer,
                         const std::atomic<bool>& cancelRequested);

// A remembered run as a listing shows it.
struct RunStanding {
  const RememberedRun* run = nullptr;
  std::size_t files = 0;      // the files it wrote
  std::size_t asWritten = 0;  // those that still hold what it wrote
  // A conversion or redo: an undo took it back whole; an undo: a redo that stands took it back.
  bool takenBack = false;
  // A conversion or redo: backups on, not taken back, some file as written; an undo: a redo
  // would not be refused.
  bool canBeTakenBack = false;
};

std::vector<RunStanding> runStandings(const std::vector<RememberedRun>& runs);

}  // namespace sarnavel
