#include "run/undo_run.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "run/named_folders.h"
#include "run/put_back.h"
#include "store/store.h"
#include "store/run_lock.h"

namespace sarnavel {
namespace {

namespace fs = std::filesystem;

// The files to put back (or, for a redo, to write again), and beside each the later run that
// wrote it again (empty: none).
struct PutBackPlan {
  std::vector<PutBack> files;
  std::vector<PutAgain> again;
  std::vector<std::string> writtenLater;
  RunFacts facts;  // the undo's (or restore's) own record
};

bool isConversion(const RememberedRun& run) { return run.facts.undoes.empty() && !run.wrote.empty(); }

const RememberedRun* runById(const std::vector<RememberedRun>& runs, const std::string& id) {
  for (const RememberedRun& run : runs)
    if (run.id == id) return &run;
  return nullptr;
}

// The run whose undo `run` redoes, by its id; empty for any other run.
std::string redoneRunOf(const std::vector<RememberedRun>& runs, const RememberedRun& run) {
  const RememberedRun* undo = run.facts.redoes.empty() ? nullptr : runById(runs, run.facts.redoes);
  return undo ? undo->facts.undoes : std::string();
}

// The files the undos of run `id` put back, by path, each with its latest record.
std::map<std::string, PutBackRecord> putBackFor(const std::vector<RememberedRun>& runs, const std::string& id) {
  std::map<std::string, PutBackRecord> found;
  for (const RememberedRun& run : runs)
    if (run.facts.undoes == id)
      for (const PutBackRecord& record : run.putBack) found[record.path] = record;
  return found;
}

// Every file of the run put back, by an undo that went through every file (one killed after
// its last record may have a backup still to pop).
bool takenBackWhole(const std::vector<RememberedRun>& runs, const RememberedRun& run) {
  const RememberedRun* latest = nullptr;
  for (const RememberedRun& undo : runs)
    if (undo.facts.undoes == run.id) latest = &undo;
  if (!latest || !latest->ended) return false;
  const std::map<std::string, PutBackRecord> back = putBackFor(runs, run.id);
  return std::all_of(run.wrote.begin(), run.wrote.end(),
                     [&](const WriteRecord& file) { return back.count(file.path) != 0; });
}

// The run to take back: its index, or the refusal.
std::pair<std::size_t, UndoRefusal> chosenRun(const std::vector<RememberedRun>& runs, const std::string& named) {
  if (named.empty()) {
    for (std::size_t k = runs.size(); k-- > 0;)
      if (isConversion(runs[k]) && !takenBackWhole(runs, runs[k])) return {k, UndoRefusal::None};
    return {0, UndoRefusal::NoRun};
  }
  std::optional<std::size_t> found;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    if (runs[k].id == named) return {k, UndoRefusal::None};
    if (!runs[k].id.starts_with(named)) continue;
    if (found) return {0, UndoRefusal::AmbiguousRun};
    found = k;
  }
  return found ? std::pair{*found, UndoRefusal::None} : std::pair{std::size_t{0}, UndoRefusal::UnknownRun};
}

// Why the run may not be taken back (with the later run that stands in the way), or None.
UndoRefusal refusalOf(const std::vector<RememberedRun>& runs, std::size_t index, const UndoRequest& request,
                      std::string& later) {
  const RememberedRun& run = runs[index];
  if (!run.facts.undoes.empty()) return UndoRefusal::IsUndo;
  if (!run.facts.backups) return UndoRefusal::NoBackups;
  for (const RememberedRun& other : runs)
    if (other.live && (&other == &run || other.facts.undoes == run.id)) return UndoRefusal::StillRunning;
  if (request.forced == run.id) return UndoRefusal::None;
  for (std::size_t k = index + 1; k < runs.size(); ++k) {
    if (isConversion(runs[k]) && !takenBackWhole(runs, runs[k])) {
      later = runs[k].id;
      return UndoRefusal::LaterRun;
    }
  }
  return UndoRefusal::None;
}

// Why the undo may not be taken back (a redo), or None. The redos of an undo of the same run
// do not stand in its way: a redo cut short is finished by the next.
UndoRefusal redoRefusalOf(const std::vector<RememberedRun>& runs, std::size_t index, const UndoRequest& request,
                          std::string& later) {
  const RememberedRun& undo = runs[index];
  const std::string& undone = undo.facts.undoes;
  const bool kept = std::any_of(runs.begin(), runs.end(), [&](const RememberedRun& run) {
    return run.facts.undoes == undone &&
           std::any_of(run.putBack.begin(), run.putBack.end(), [](const PutBackRecord& file) { return file.kept; });
  });
  if (!kept || !runById(runs, undone)) return UndoRefusal::IsUndo;
  for (const RememberedRun& other : runs)
    if (other.live && (other.facts.undoes == undone || redoneRunOf(runs, other) == undone))
      return UndoRefusal::StillRunning;
  if (request.forced == undo.id) return UndoRefusal::None;
  for (std::size_t k = index + 1; k < runs.size(); ++k) {
    if (isConversion(runs[k]) && !takenBackWhole(runs, runs[k]) && redoneRunOf(runs, runs[k]) != undone) {
      later = runs[k].id;
      return UndoRefusal::LaterRun;
    }
  }
  return UndoRefusal::None;
}

// Each file the undos of the run that undo `index` took back put back, in the order the run
// wrote them (the reverse of the undos'), with what the run wrote there. A file put back whose
// bytes the undo could not keep is planned all the same, with the run's last write of it: its
// step finds nothing kept and says so, rather than the redo passing over it in silence.
PutBackPlan redoPlan(const std::vector<RememberedRun>& runs, std::size_t index) {
  const RememberedRun& undone = *runById(runs, runs[index].facts.undoes);
  PutBackPlan plan;
  plan.facts = undone.facts;
  plan.facts.backups = true;
  plan.facts.redoes = runs[index].id;
  std::set<std::pair<std::string, std::string>> recorded;  // written again by an earlier redo: path, hash
  std::vector<const PutBackRecord*> back;
  for (const RememberedRun& run : runs) {
    if (run.facts.undoes == undone.id)
      for (const PutBackRecord& file : run.putBack) back.push_back(&file);
    if (redoneRunOf(runs, run) == undone.id)
      for (const WriteRecord& file : run.wrote) recorded.emplace(file.path, hexOf(file.hash));
  }
  std::set<std::pair<std::string, std::string>> planned;
  for (auto file = back.rbegin(); file != back.rend(); ++file) {
    const PutBackRecord& record = **file;
    auto wrote = undone.wrote.end();
    if (record.kept) {
      wrote = std::find_if(undone.wrote.begin(), undone.wrote.end(), [&](const WriteRecord& each) {
        return each.path == record.path && each.hash == *record.kept;
      });
    } else if (auto last = std::find_if(undone.wrote.rbegin(), undone.wrote.rend(),
                                        [&](const WriteRecord& each) { return each.path == record.path; });
               last != undone.wrote.rend()) {
      wrote = std::prev(last.base());
    }
    if (wrote == undone.wrote.end()) continue;
    const std::pair<std::string, std::string> key{record.path, hexOf(wrote->hash)};
    if (!planned.insert(key).second) continue;
    plan.again.push_back({*wrote, record.backup, recorded.count(key) != 0});
    plan.writtenLater.emplace_back();
  }
  return plan;
}

// Each file of run `index`, the last written first, with what the later runs did to it.
PutBackPlan undoPlan(const std::vector<RememberedRun>& runs, std::size_t index) {
  const RememberedRun& run = runs[index];
  PutBackPlan plan;
  plan.facts = run.facts;
  plan.facts.backups = false;
  plan.facts.undoes = run.id;
  std::map<std::string, std::string> laterWriter;  // path: the first later run that wrote it and stands
  for (std::size_t k = index + 1; k < runs.size(); ++k) {
    if (!isConversion(runs[k])) continue;
    const std::map<std::string, PutBackRecord> back = putBackFor(runs, runs[k].id);
    for (const WriteRecord& file : runs[k].wrote)
      if (!back.count(file.path)) laterWriter.try_emplace(file.path, runs[k].id);
  }
  const std::map<std::string, PutBackRecord> earlier = putBackFor(runs, run.id);
  for (auto file = run.wrote.rbegin(); file != run.wrote.rend(); ++file) {
    PutBack step{file->path, file->backup, chainSuffixOf(file->path, file->backup), file->hash, file->formerHash};
    if (auto record = earlier.find(file->path); record != earlier.end()) step.earlier = record->second;
    plan.files.push_back(std::move(step));
    auto writer = laterWriter.find(file->path);
    plan.writtenLater.push_back(writer == laterWriter.end() ? std::string() : writer->second);
  }
  return plan;
}

// The user's memory for the run: read, and in a run that writes, recording.
void openMemory(RunMemory& memory, const fs::path& folder, const PutBackPlan& plan, WriteMode mode,
                const RunObserver& observer) {
  if (folder.empty()) return;
  auto tell = [&](MemoryNotice notice) {
    if (observer.memoryNotice) observer.memoryNotice(notice, folder);
  };
  const MemoryState state = memory.open(folder);
  if (state == MemoryState::Unavailable) return tell(MemoryNotice::Unavailable);
  if (state == MemoryState::Damaged) tell(MemoryNotice::Damaged);
  if (mode == WriteMode::Write && !memory.startRecording(plan.facts)) tell(MemoryNotice::NotRecorded);
}

// What killed runs left in the files' folders, tidied (looked at only, in a dry run).
void sweepFirst(Store& store, const std::vector<std::string_view>& paths, const RunObserver& observer) {
  store.sweepFoldersOf(paths);
  if (observer.formerPutBack)
    for (const fs::path& file : store.swept().restored) observer.formerPutBack(file);
  if (observer.copyKept)
    for (const fs::path& copy : store.swept().keptCopies) observer.copyKept(copy);
}

// One step of the plan: a file to put back or to write again.
struct PlanStep {
  const PutBack* back = nullptr;
  const PutAgain* again = nullptr;
  std::filesystem::path path() const { return back ? back->path : std::filesystem::path(again->wrote.path); }
};

PlanStep stepOf(const PutBackPlan& plan, std::size_t k) {
  if (plan.again.empty()) return {&plan.files[k], nullptr};
  return {nullptr, &plan.again[k]};
}

FileOutcome outcomeOf(const PlanStep& step, const std::string& writtenLater, const Store& store,
                      const PutBackContext& context) {
  FileOutcome outcome;
  outcome.path = step.path();
  FileReport report;
  if (!writtenLater.empty()) {
    report.result = ResultCode::WriteFailed;
    report.notes.push_back({NoteCode::WrittenLater, StoreProblem::None, {writtenLater}});
  } else if (std::optional<fs::path> copy = store.pendingFor(outcome.path.native())) {
    report.result = ResultCode::WriteFailed;
    report.notes.push_back({NoteCode::RecoveryPending, StoreProblem::None, {copy->native()}});
  } else {
    report = step.back ? putBackFile(*step.back, context) : putAgainFile(*step.again, context);
  }
  outcome.result = report.result;
  outcome.notes = std::move(report.notes);
  if (report.written && context.memory) outcome.recorded = context.memory->recordWrite(*report.written);
  return outcome;
}

// The run of the plan's files: the same turns, sweep, memory and log as a conversion's.
RunSummary runPlan(const PutBackPlan& plan, const fs::path& memoryFolder, WriteMode mode, const RunObserver& observer,
                   const std::atomic<bool>& cancelRequested) {
  RunSummary summary;
  summary.started = true;
  if (observer.started) observer.started();
  const std::size_t count = plan.writtenLater.size();
  std::vector<std::string> paths;
  for (std::size_t k = 0; k < count; ++k) paths.push_back(stepOf(plan, k).path().native());
  RunLock lock;
  // The backups' folders too: other sites may share them (--backup-dir), killed runs leave copies there.
  std::vector<std::string> locked = paths;
  for (const PutBack& file : plan.files) locked.push_back(file.backup.native());
  for (const PutAgain& file : plan.again)
    if (!file.backup.empty()) locked.push_back(file.backup.native());
  if (mode == WriteMode::Write && !lock.acquire(folderLockPlan(locked), observer.waitingFor, cancelRequested)) {
    summary.cancelled = true;
    return summary;
  }
  RunMemory memory;
  openMemory(memory, memoryFolder, plan, mode, observer);
  // One file at a time, each write flushed before it is told.
  Store store(memory, {1, mode != WriteMode::Write, false});
  sweepFirst(store, std::vector<std::string_view>(locked.begin(), locked.end()), observer);
  if (observer.passPlanned) observer.passPlanned(1, count);
  const PutBackContext context{mode, &memory, store.worker(0)};
  bool recordFailed = false;  // told once
  for (std::size_t k = 0; k < count && !cancelRequested.load(); ++k) {
    FileOutcome outcome = outcomeOf(stepOf(plan, k), plan.writtenLater[k], store, context);
    // The log says 成功 of a file written again only once its record is on disk too.
    if (outcome.recorded && !memory.durableThrough(outcome.recorded) && !recordFailed) {
      recordFailed = true;
      if (observer.memoryNotice) observer.memoryNotice(MemoryNotice::NotRecorded, memoryFolder);
    }
    if (observer.prepare) outcome.prepared = observer.prepare(outcome);
    (outcome.result == ResultCode::Success ? summary.successes : summary.failures) += 1;
    if (observer.fileDone) observer.fileDone(outcome);
  }
  summary.cancelled = cancelRequested.load();
  if (!summary.cancelled && memory.recording()) memory.recordEnd();
  return summary;
}

// Where `step`, of the file whose whole and normal path is `full`, takes its backup in the
// request's backup folder (see undo_run.h): the one a remembered run made there, else the one
// backup of the file's name in a mirror of one of its folders. Several there (two named
// folders' mirrors each holding a file of that name) are rivals: taking any might give the
// file another file's bytes.
void takeMirroredBackup(PutBack& step, const fs::path& full, const RestoreRequest& request,
                        const std::vector<RememberedRun>& runs) {
  const std::string inFolder = (request.backupFolder / "").native();
  for (auto run = runs.rbegin(); run != runs.rend(); ++run)
    for (auto wrote = run->wrote.rbegin(); wrote != run->wrote.rend(); ++wrote)
      if (wrote->path == full.native() && wrote->backup.starts_with(inFolder) &&
          wrote->backup.ends_with(request.suffix)) {
        step.backup = wrote->backup;
        return;
      }
  const std::string leaf = full.filename().native() + request.suffix;
  const std::string key = fileKey(folderOf(full));
  std::vector<std::string> found;
  // The folder's key cut at each '/', the end first: "", "c", "b/c", "a/b/c".
  for (std::size_t cut = key.size();; --cut) {
    if (cut != key.size() && cut != 0 && key[cut] != '/') continue;
    const std::string below = key.substr(std::min(key.size(), cut + 1));
    const fs::path candidate = (below.empty() ? request.backupFolder : request.backupFolder / below) / leaf;
    std::string bytes;
    if (readFile({candidate, NameLink::NotFollowed}, bytes) == ResultCode::Success) found.push_back(candidate.native());
    if (cut == 0) break;
  }
  step.backup = found.empty() ? request.backupFolder / leaf : fs::path(found.front());
  if (found.size() > 1) step.rivals = std::move(found);
}

}  // namespace

UndoSummary undoWorker(const UndoRequest& request, const RunObserver& observer,
                       const std::atomic<bool>& cancelRequested) {
  UndoSummary summary;
  const std::vector<RememberedRun> runs = rememberedRuns(request.memoryFolder);
  if (runs.empty()) {
    summary.refusal = UndoRefusal::NoRun;
    return summary;
  }
  const auto [index, chosen] = chosenRun(runs, request.run);
  summary.refusal = chosen;
  if (chosen != UndoRefusal::None) return summary;
  summary.id = runs[index].id;
  summary.redo = !runs[index].facts.undoes.empty();
  summary.refusal = summary.redo ? redoRefusalOf(runs, index, request, summary.later)
                                 : refusalOf(runs, index, request, summary.later);
  if (summary.refusal != UndoRefusal::None) return summary;
  if (request.chosen) request.chosen(summary.redo);
  summary.run = runPlan(summary.redo ? redoPlan(runs, index) : undoPlan(runs, index), request.memoryFolder,
                        request.mode, observer, cancelRequested);
  return summary;
}

RunSummary restoreWorker(const RestoreRequest& request, const RunObserver& observer,
                         const std::atomic<bool>& cancelRequested) {
  PutBackPlan plan;
  const std::vector<RememberedRun> runs = rememberedRuns(request.memoryFolder);
  std::map<std::string, PutBackRecord> earlier;  // by path, any run's latest
  for (const RememberedRun& run : runs)
    for (const PutBackRecord& record : run.putBack) earlier[record.path] = record;
  for (const fs::path& named : request.paths) {
    std::error_code error;
    const fs::path full = fs::absolute(named, error).lexically_normal();
    PutBack step{named, named.native() + request.suffix, request.suffix};
    if (!request.backupFolder.empty()) takeMirroredBackup(step, full, request, runs);
    // The memory keeps names whole and normal.
    if (auto record = earlier.find(full.native());
        record != earlier.end() &&
        record->second.backup == fs::absolute(step.backup, error).lexically_normal().native())
      step.earlier = record->second;
    plan.facts.named.push_back(full.native());
    plan.files.push_back(std::move(step));
    plan.writtenLater.emplace_back();
  }
  plan.facts.backups = false;
  return runPlan(plan, request.memoryFolder, request.mode, observer, cancelRequested);
}

std::vector<RunStanding> runStandings(const std::vector<RememberedRun>& runs) {
  std::vector<RunStanding> standings;
  for (const RememberedRun& run : runs) {
    if (run.wrote.empty() && run.putBack.empty()) continue;
    RunStanding standing{&run};
    std::set<std::string> seen;
    for (auto file = run.wrote.rbegin(); file != run.wrote.rend(); ++file) {
      if (!seen.insert(file->path).second) continue;  // the last write of a file counts
      ++standing.files;
      if (holdsWhatWasWritten(*file)) ++standing.asWritten;
    }
    if (isConversion(run)) {
      standing.takenBack = takenBackWhole(runs, run);
      standing.canBeTakenBack = run.facts.backups && !standing.takenBack && standing.asWritten > 0;
    } else if (!run.facts.undoes.empty()) {
      standing.takenBack = std::any_of(runs.begin(), runs.end(), [&](const RememberedRun& other) {
        return redoneRunOf(runs, other) == run.facts.undoes && !takenBackWhole(runs, other);
      });
      std::string later;
      const std::size_t index = static_cast<std::size_t>(&run - runs.data());
      standing.canBeTakenBack = !standing.takenBack && redoRefusalOf(runs, index, {}, later) == UndoRefusal::None;
    }
    standings.push_back(standing);
  }
  return standings;
}

}  // namespace sarnavel
