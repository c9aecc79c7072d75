#include "run/conversion_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <system_error>
#include <utility>

#include "run/file_kind.h"
#include "store/folder_flushes.h"
#include "store/folder_keys.h"
#include "run/server_charset.h"
#include "run/source_check.h"
#include "run/path_set.h"
#include "run/rewritten_file.h"
#include "store/leftover_sweep.h"
#include "run/named_folders.h"
#include "run/ordered_pool.h"
#include "store/run_lock.h"
#include "run/untaken_pages.h"

namespace sarnavel {

namespace {

// fileKey of full paths, each folder resolved once for all the files in it, and from the
// folder above it: only a name that is itself a link is resolved alone.
class FileKeys {
 public:
  // `nameMayBeLink`: false for a name the run reads only as the regular file it is (a listed
  // name not taken as a link, a loaded one a page's look found to be the file itself), which
  // is then not looked at again: should it have become a link, the read leaves it alone.
  std::string of(std::string_view path, bool nameMayBeLink = true) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) return fileKey(std::filesystem::path(path));
    struct stat info;
    const std::string full(path);
    if (nameMayBeLink && ::lstat(full.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return fileKey(full);
    const std::string& key = folders_.of(path.substr(0, slash));
    return key + (key.ends_with('/') ? "" : "/") + std::string(path.substr(slash + 1));
  }

 private:
  FolderKeys folders_;
};

// The pass's paths in pass order: each once, ascending by byte.
std::vector<std::string_view> inPassOrder(std::vector<std::string_view> paths) {
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

// What a page tells a file it loads: the charset its element names and the encoding the page
// lends. A page that holds what an earlier run wrote tells what it told before that run
// rewrote it (run_memory.h), so that a site converted again after a stop reads its files as
// the whole run would have.
LoadEvidence claimOf(const DocumentResult& page, const FoundReference& loaded,
                     const std::optional<RememberedWrite>& remembered, const RunMemory& memory) {
  if (!remembered) return {loaded.formerCharset, page.source.encoding};
  return {memory.claimOf(*remembered, loaded.path).value_or(loaded.formerCharset), remembered->lends};
}

// What a file read tells about the site: its decision, or what the decision of the run that
// wrote it was.
std::optional<SourceEncoding> siteEvidenceOf(const EncodingDecision& decision,
                                             const std::optional<RememberedWrite>& remembered) {
  if (remembered) return remembered->site;
  if (!countsForSite(decision)) return std::nullopt;
  return decision.encoding;
}

// Records a file the run wrote in the user's memory, with what the run knows beyond the file.
std::uint64_t recordWritten(RunMemory& memory, FileReport& report) {
  WriteRecord& record = *report.written;
  const DocumentResult& document = *report.document;
  record.site = siteEvidenceOf(document.source, report.remembered);
  if (!document.references.empty()) {
    record.lends = report.remembered ? report.remembered->lends : std::optional(document.source.encoding);
    for (const FoundReference& loaded : document.references) {
      if (loaded.status != ReferenceStatus::Followable) continue;
      record.loads.push_back({loaded.path, claimOf(document, loaded, report.remembered, memory).charset});
    }
  }
  return memory.recordWrite(record);
}

// Opens the user's memory (none when the request names no folder) and, for a conversion,
// starts this run's record; what fails is told, and the run goes on without.
void openMemory(RunMemory& memory, const RunRequest& request, const RunObserver& observer) {
  if (request.memoryFolder.empty()) return;
  auto tell = [&](MemoryNotice notice) {
    if (observer.memoryNotice) observer.memoryNotice(notice, request.memoryFolder);
  };
  const MemoryState state = memory.open(request.memoryFolder);
  if (state == MemoryState::Unavailable) {
    tell(MemoryNotice::Unavailable);
    return;
  }
  if (state == MemoryState::Damaged) tell(MemoryNotice::Damaged);
  if (request.mode != WriteMode::Write) return;
  RunFacts facts;
  for (const std::filesystem::path& named : request.namedPaths) facts.named.push_back(named.native());
  facts.target = request.options.targetEncoding;
  facts.lineEnding = request.options.lineEnding;
  facts.backups = request.options.makeBackup;
  if (!memory.startRecording(facts)) tell(MemoryNotice::NotRecorded);
}

// The pages that load a file: whether any was converted, and the first few of those that
// failed (and so still name the file's former encoding).
struct LoadingPages {
  bool converted = false;
  std::vector<std::string> failed;
  std::size_t failedCount = 0;

  void add(bool pageConverted, std::string_view page) {
    converted |= pageConverted;
    if (pageConverted) return;
    if (failed.size() < 3) failed.emplace_back(page);
    ++failedCount;
  }
  // The note naming the failed pages: how many beyond those named, then those.
  FileNote failedNote(NoteCode code) const {
    FileNote note{code, StoreProblem::None, {std::to_string(failedCount - failed.size())}};
    note.values.insert(note.values.end(), failed.begin(), failed.end());
    return note;
  }
};

}  // namespace

RunSummary conversionWorker(const RunRequest& request, const RunObserver& observer,
                            const std::atomic<bool>& cancelRequested) {
  RunSummary summary;
  const ConversionOptions& options = request.options;
  if (!isTargetEncoding(options.targetEncoding)) return summary;
  summary.started = true;

  // The listed paths are not copied: each pass is a sorted list of views of them, each list
  // made at its final size (growing it would hold the old and the new array at once).
  std::vector<std::string_view> pages, styleSheets, scripts;
  std::size_t counts[3] = {0, 0, 0};
  for (std::string_view path : request.paths) {
    switch (classifyExtension(path)) {
      case FileKind::Html: ++counts[0]; break;
      case FileKind::Css: ++counts[1]; break;
      case FileKind::JavaScript: ++counts[2]; break;
      default: break;
    }
  }
  pages.reserve(counts[0]);
  styleSheets.reserve(counts[1]);
  scripts.reserve(counts[2]);
  for (std::string_view path : request.paths) {
    switch (classifyExtension(path)) {
      case FileKind::Html: pages.push_back(path); break;
      case FileKind::Css: styleSheets.push_back(path); break;
      case FileKind::JavaScript: scripts.push_back(path); break;
      default: break;
    }
  }
  pages = inPassOrder(std::move(pages));
  styleSheets = inPassOrder(std::move(styleSheets));
  scripts = inPassOrder(std::move(scripts));
  // Beside each pass's paths, where the request keeps the folder its file was listed in (the
  // last listing of a path counts): one plus the index into request.listedFolders, 0 for none.
  // Four bytes a file, none when the request has no folders.
  std::vector<std::uint32_t> pageFolders, styleSheetFolders, scriptFolders;
  if (!request.listedFolders.empty() && request.paths.size() < UINT32_MAX) {
    pageFolders.resize(pages.size());
    styleSheetFolders.resize(styleSheets.size());
    scriptFolders.resize(scripts.size());
    auto place = [](const std::vector<std::string_view>& pass, std::vector<std::uint32_t>& folders,
                    std::string_view path, std::size_t i) {
      folders[static_cast<std::size_t>(std::lower_bound(pass.begin(), pass.end(), path) - pass.begin())] =
          static_cast<std::uint32_t>(i + 1);
    };
    const std::size_t recorded = std::min(request.paths.size(), request.listedFolders.size());
    for (std::size_t i = 0; i < recorded; ++i) {
      const std::string_view path = request.paths[i];
      switch (classifyExtension(path)) {
        case FileKind::Html: place(pages, pageFolders, path, i); break;
        case FileKind::Css: place(styleSheets, styleSheetFolders, path, i); break;
        case FileKind::JavaScript: place(scripts, scriptFolders, path, i); break;
        default: break;
      }
    }
  }
  PathSet referencedStyleSheets, referencedScripts;
  // The loaded files some page's look found under their own name, not through a link: they are
  // read only as such, so that a name swapped for a link after its page leads nowhere else.
  PathSet loadedByOwnName;

  if (observer.started) observer.started();
  // Runs that write over the same folders take turns (run_lock.h); a cancel during the wait
  // ends the run as any cancel does, with nothing converted.
  RunLock lock;
  if (request.mode == WriteMode::Write) {
    if (!lock.acquire(folderLockPlan(request.paths), observer.waitingFor, cancelRequested)) {
      summary.cancelled = true;
      return summary;
    }
  }
  RunMemory memory;
  openMemory(memory, request, observer);
  auto plan = [&](int pass, std::size_t fileCount) {
    if (observer.passPlanned) observer.passPlanned(pass, fileCount);
  };
  plan(1, pages.size());
  plan(2, styleSheets.size());
  plan(3, scripts.size());

  const NamedFolders named(request.namedPaths, request.paths);

  const int threads = request.threads > 0 ? request.threads : defaultThreadCount();
  // What the run has learnt, taken up between passes: only the files a later pass may read
  // again (the sheets and scripts) are remembered as written, and only the loaded ones by their
  // loaders, so that memory grows with those and not with every file of the run.
  // A file a later pass visits again is kept with what the write left in it (rewritten_file.h).
  std::map<std::string, std::optional<RewrittenFile>> rewritten;
  std::map<std::string, LoadEvidence> loaders;
  // Each name pages load: its file's key, and whether its first loader was taken up.
  struct LoadedName {
    std::string key;
    bool taken = false;
  };
  std::map<std::string, LoadedName, std::less<>> loadedNames;
  PathSet moduleScripts;  // files pages load as module scripts
  // By the loaded file's key, its pages: filled by pass 1, read by the later passes.
  std::map<std::string, LoadingPages> loadingPages;
  SiteTally site;
  const WriteMode mode = request.mode;
  const TargetEncoding target = options.targetEncoding;
  LeftoverSweep leftovers(memory, mode != WriteMode::Write);
  // A conversion's notes on what did not travel as itself; the check only reads.
  const bool converting = mode != WriteMode::Check;
  std::vector<std::filesystem::path> rootPaths;
  for (const std::string& root : named.roots()) rootPaths.emplace_back(root);
  ServerCharsetLookup serverCharset(target, std::move(rootPaths));
  PathSet checked;                      // the check reads a file both listed and loaded once
  bool memoryBroken = false;            // the memory's record failed, which was told
  std::optional<UntakenPages> untaken;  // the pages of other kinds and what they load
  FileKeys fileKeys;
  FolderFlushes flushes;   // the folders' flushes, shared by the files written in them
  ReferenceProbes probes;  // the loaded files looked into, shared by the pages
  // Each worker's own: the folder it last wrote in stays open for its next file.
  std::vector<WriteSession> sessions(static_cast<std::size_t>(std::max(threads, 1)));
  // A file that must be written in place is written only when its recovery copy is recorded.
  if (memory.recording())
    for (WriteSession& session : sessions) session.recordIn(&memory);
  // A run not told its number of threads starts one per core; the others join once the
  // workers wait for the disk (ordered_pool.h).
  WorkerPacing pacing;
  if (request.threads <= 0) {
    pacing = WorkerPacing(eagerThreadCount(), [&sessions, &flushes] {
      std::uint64_t nanos = flushes.waitNanos();
      for (const WriteSession& session : sessions) nanos += session.flushNanos();
      return nanos;
    });
  }

  auto pagesLoading = [&loadingPages](const std::string& key) -> const LoadingPages* {
    const auto found = loadingPages.find(key);
    return found == loadingPages.end() ? nullptr : &found->second;
  };

  // A listed name that was a link when it was listed, and is followed; any other is read as
  // the regular file it was listed as.
  auto takenAsLink = [&request](std::string_view path) {
    return !request.followedLinks.empty() && request.followedLinks.count(std::string(path)) != 0;
  };
  const std::vector<std::uint32_t> noFolders;
  auto runPass = [&](int pass, const std::vector<std::string_view>& listed, const std::vector<std::uint32_t>& folders,
                     auto&& driver) {
    if (cancelRequested.load()) return;
    // Pages are never read twice nor loaded: only the later passes need to know each file.
    const bool needsKeys = pass >= 2;
    std::vector<std::string> keys;
    if (needsKeys) {
      keys.reserve(listed.size());
      for (std::string_view path : listed) {
        // A loaded file's key was made when its first page was collected.
        if (auto known = loadedNames.find(path); pass > 3 && known != loadedNames.end()) {
          keys.push_back(known->second.key);
          continue;
        }
        keys.push_back(fileKeys.of(path, pass > 3 || takenAsLink(path)));
      }
    }
    // A check reads a file both listed and loaded once, in its first pass.
    const bool skipsChecked = !converting && pass > 3;
    std::vector<std::string_view> unchecked;
    if (skipsChecked) {
      std::vector<std::string> uncheckedKeys;
      for (std::size_t k = 0; k < listed.size(); ++k) {
        if (checked.count(keys[k])) continue;
        unchecked.push_back(listed[k]);
        uncheckedKeys.push_back(std::move(keys[k]));
      }
      keys = std::move(uncheckedKeys);
    }
    const std::vector<std::string_view>& paths = skipsChecked ? unchecked : listed;
    if (pass > 3) plan(pass, paths.size());
    {  // what killed runs left, before any file is read; a dry run and a check only look
      const FolderSweep& done = leftovers.done();
      const std::size_t restoredBefore = done.restored.size(), keptBefore = done.keptCopies.size();
      leftovers.sweepFoldersOf(paths);
      if (observer.formerPutBack)
        for (std::size_t k = restoredBefore; k < done.restored.size(); ++k) observer.formerPutBack(done.restored[k]);
      if (observer.copyKept)
        for (std::size_t k = keptBefore; k < done.keptCopies.size(); ++k) observer.copyKept(done.keptCopies[k]);
    }
    // The pass's threads read what earlier passes learnt; what this pass learns is taken up
    // after it, so that nothing they read changes under them.
    const SiteTally passSite = site;
    const bool remembersWritten = pass == 2 || pass == 3;  // read again in passes 4 and 5
    std::vector<std::pair<std::string, std::optional<RewrittenFile>>> writtenInPass;
    // What each file's conversion left, by its place in the pass: each worker fills its own.
    std::vector<std::optional<RewrittenFile>> leftInPass(remembersWritten && mode == WriteMode::Write ? paths.size()
                                                                                                      : 0);
    std::vector<std::pair<std::string, LoadEvidence>> loadedInPass;
    std::vector<std::string> moduleInPass;
    runInPassOrder<FileOutcome>(
        paths, threads, cancelRequested,
        [&](std::size_t k, const PoolTurn& turn) {
          EncodingEvidence e;
          if (needsKeys) {
            if (rewritten.count(keys[k])) e.writtenByThisRun = target;
            if (auto loader = loaders.find(keys[k]); loader != loaders.end()) {
              e.loaderCharset = loader->second.charset;
              e.loadingPage = loader->second.page;
            }
            e.moduleScript = moduleScripts.count(keys[k]) != 0;
          }
          e.site = passSite;
          std::filesystem::path path(paths[k]);
          const DocumentKind kind = kindOfPass(pass);
          DriverContext context{&flushes, &probes, &sessions[static_cast<std::size_t>(turn.worker)], turn.status};
          context.memory = &memory;
          context.named = &named;
          context.recordsWrites = memory.recording();
          if (pass <= 3 && !takenAsLink(paths[k]))
            context.nameLink = NameLink::NotFollowed;  // listed as a regular file
          if (pass <= 3 && k < folders.size() && folders[k] != 0)
            context.listedFolder = request.listedFolders[folders[k] - 1];
          if (pass > 3) {
            if (loadedByOwnName.count(std::string(paths[k]))) context.nameLink = NameLink::NotFollowed;
            else context.loadedThroughLink = true;
          }
          if (!leftInPass.empty())
            context.visitedAgain = loaders.count(keys[k]) != 0 && (pass == 2 ? options.followCss : options.followJs);
          // A file this run wrote, unchanged since, is not read again: its second conversion
          // would give its bytes back, and what it would report is known.
          std::optional<DocumentResult> unchanged;
          if (pass > 3 && mode == WriteMode::Write && !e.moduleScript && context.nameLink == NameLink::NotFollowed) {
            if (auto known = rewritten.find(keys[k]); known != rewritten.end() && known->second)
              unchanged = unchangedSinceWritten(path.native(), *known->second, kind, target);
          }
          FileReport report;
          const std::optional<std::filesystem::path> pendingCopy = leftovers.pendingFor(paths[k]);
          if (pendingCopy && converting) {
            // Whoever may use the copy comes first: the file may be torn, and converted it
            // would take the only former content with it.
            report.result = ResultCode::WriteFailed;
            report.notes.push_back({NoteCode::RecoveryPending, StoreProblem::None, {pendingCopy->native()}});
          } else if (const LoadingPages* pages = pass >= 4 && converting ? pagesLoading(keys[k]) : nullptr;
                     pages && !pages->converted) {
            // Its pages keep naming the former encoding: so must it.
            report.result = ResultCode::WriteFailed;
            report.notes.push_back(pages->failedNote(NoteCode::PagesFailed));
          } else if (unchanged) {
            report.document = std::move(unchanged);
          } else {
            report = converting ? driver(path, e, context) : checkFile(path, kind, e, context);
          }
          std::vector<FileNote> problems;
          if (pendingCopy && !converting)
            problems.push_back({NoteCode::RecoveryPending, StoreProblem::None, {pendingCopy->native()}});
          if (!leftInPass.empty()) leftInPass[k] = std::move(report.rewritten);
          const std::uint64_t recorded = report.written ? recordWritten(memory, report) : 0;
          FileOutcome file{std::move(path),
                           report.result,
                           pass,
                           std::move(report.notes),
                           std::move(report.document),
                           report.form,
                           {e.loaderCharset, e.loadingPage},
                           std::move(problems),
                           {},
                           report.backedUp,
                           std::move(report.remembered),
                           recorded};
          if (observer.prepare) file.prepared = observer.prepare(file);
          return file;
        },
        [&](std::size_t k, FileOutcome& file) {
          std::string_view path = paths[k];
          const ResultCode result = file.result;
          (result == ResultCode::Success ? summary.successes : summary.failures) += 1;
          const std::optional<DocumentResult>& document = file.document;
          if (result == ResultCode::Success && document) {
            if (std::optional<SourceEncoding> evidence = siteEvidenceOf(document->source, file.remembered))
              site.add({*evidence, DecisionBasis::Detection});
            if (mode == WriteMode::Write && remembersWritten)
              writtenInPass.emplace_back(keys[k], std::move(leftInPass[k]));
          }
          // Every followable reference counts, whatever the follow switches say: a file a page
          // loads is read in the charset its element named, or in the page's encoding.
          if (document) {
            for (const FoundReference& loaded : document->references) {
              if (loaded.status != ReferenceStatus::Followable) continue;
              const bool sheet = loaded.kind == LoadedKind::StyleSheet;
              auto known = loadedNames.find(loaded.path);  // a page may load one file many times
              if (known == loadedNames.end())
                known = loadedNames.emplace(loaded.path, LoadedName{fileKeys.of(loaded.path, loaded.nameIsLink)}).first;
              const std::string& key = known->second.key;
              if (loaded.module) moduleInPass.push_back(key);
              if (converting) loadingPages[key].add(result == ResultCode::Success, path);
              // Its first loader in pass order counts, and the run's memo gave every page the
              // same look at the name (reference_files.h), of one kind, the one its extension
              // names: a later page adds nothing.
              if (known->second.taken) continue;
              known->second.taken = true;
              loadedInPass.emplace_back(key, claimOf(*document, loaded, file.remembered, memory));
              if (sheet && options.followCss) referencedStyleSheets.insert(loaded.path);
              if (!sheet && options.followJs) referencedScripts.insert(loaded.path);
              if (!loaded.nameIsLink) loadedByOwnName.insert(loaded.path);
            }
          }
          if (!converting && needsKeys) checked.insert(keys[k]);
          if (converting && result == ResultCode::Success) {
            for (FileNote& note : serverCharset.notesFor(file.path)) file.notes.push_back(std::move(note));
          }
          // Said of a file converted: one left as it was has its own line's reason.
          if (pass >= 4 && result == ResultCode::Success && !named.cover(keys[k]))
            file.notes.push_back({NoteCode::OutsideNamed});
          if (untaken && needsKeys && result == ResultCode::Success) {
            if (std::optional<FileNote> note = untaken->noteFor(keys[k])) file.notes.push_back(std::move(*note));
          }
          if (const LoadingPages* pages = needsKeys ? pagesLoading(keys[k]) : nullptr;
              pages && pages->failedCount > 0 && result == ResultCode::Success && file.document)
            file.notes.push_back(pages->failedNote(NoteCode::SomePagesFailed));
          // The log says 成功 only of a file whose rename is on disk, or says why it may not be,
          // and once the memory of what was written is on disk too.
          if (file.recorded && !memory.durableThrough(file.recorded) && !memoryBroken) {
            memoryBroken = true;
            if (observer.memoryNotice) observer.memoryNotice(MemoryNotice::NotRecorded, memory.folder());
          }
          if (!flushes.durableFor(path) && result == ResultCode::Success)
            file.notes.push_back({NoteCode::FolderNotFlushed});
          if (observer.fileDone) observer.fileDone(file);
        },
        &pacing);
    for (auto& [key, left] : writtenInPass) rewritten.try_emplace(std::move(key), std::move(left));
    // The first loader in pass order counts.
    for (auto& [key, evidence] : loadedInPass) loaders.try_emplace(std::move(key), std::move(evidence));
    for (std::string& key : moduleInPass) moduleScripts.insert(std::move(key));
  };
  auto page = [&](const std::filesystem::path& p, const EncodingEvidence& e, const DriverContext& c) {
    return convertHtmlFile(p, options, mode, e, c);
  };
  auto sheet = [&](const std::filesystem::path& p, const EncodingEvidence& e, const DriverContext& c) {
    return convertCssFile(p, options, mode, e, c);
  };
  auto script = [&](const std::filesystem::path& p, const EncodingEvidence& e, const DriverContext& c) {
    return convertJsFile(p, options, mode, e, c);
  };
  auto viewsOf = [](const PathSet& set) { return std::vector<std::string_view>(set.begin(), set.end()); };

  // Passes 4 and 5 see everything the pages load, and the sheets the sheets of passes 2 and 4
  // import (@import): pass 4 goes on over those it has not converted yet, until none is new.
  runPass(1, pages, pageFolders, page);
  std::vector<std::string_view>().swap(pages);
  std::vector<std::uint32_t>().swap(pageFolders);
  if (converting && !request.untakenPages.empty() && !cancelRequested.load()) {
    untaken.emplace(request.untakenPages, &probes,
                    [&](const ResolvedReference& loaded) { return fileKeys.of(loaded.path, loaded.nameIsLink); });
  }
  runPass(2, styleSheets, styleSheetFolders, sheet);
  runPass(3, scripts, scriptFolders, script);
  for (PathSet imported;;) {
    std::vector<std::string_view> pending;
    for (const std::string& loaded : referencedStyleSheets)
      if (imported.insert(loaded).second) pending.push_back(loaded);
    if (pending.empty()) break;
    runPass(4, pending, noFolders, sheet);
  }
  runPass(5, viewsOf(referencedScripts), noFolders, script);

  summary.cancelled = cancelRequested.load();
  return summary;
}

}  // namespace sarnavel
