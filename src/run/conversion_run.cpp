#include "run/conversion_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <system_error>
#include <utility>

#include "run/backup_place.h"
#include "run/file_kind.h"
#include "run/included_fragments.h"
#include "store/folder_keys.h"
#include "run/server_charset.h"
#include "run/server_charset_fix.h"
#include "run/source_check.h"
#include "run/path_set.h"
#include "run/rewritten_file.h"
#include "store/store.h"
#include "run/named_folders.h"
#include "run/ordered_pool.h"
#include "store/run_lock.h"
#include "run/untaken_pages.h"
#include "store/path_parts.h"

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

// One pass's listed files: their paths in pass order and, beside them, where the request keeps
// the folder each file was listed in (the last listing of a path counts): one plus the index
// into request.listedFolders, 0 for none. Four bytes a file, none when the request has no
// folders.
struct PassList {
  std::vector<std::string_view> paths;
  std::vector<std::uint32_t> folders;
};

struct ListedPasses {
  PassList pages, styleSheets, scripts;
};

// The listed passes (0 to 2) a listed path goes in, or -1 for a path of a kind not taken.
int listedPassOf(std::string_view path, KindSet kinds) {
  const FileKind kind = classifyExtension(path);
  if (!kinds.has(kind)) return -1;
  switch (kind) {
    case FileKind::Html:
    case FileKind::Xhtml:
    case FileKind::SsiPage:
    case FileKind::PhpTemplate:
    case FileKind::AspTemplate:
    case FileKind::JspTemplate:
    case FileKind::PlainText:
    case FileKind::Xml: return 0;
    case FileKind::Css: return 1;
    case FileKind::JavaScript: return 2;
    default: return -1;
  }
}

// The listed paths are not copied: each pass is a sorted list of views of them, each list made
// at its final size (growing it would hold the old and the new array at once).
ListedPasses sortIntoPasses(const RunRequest& request) {
  ListedPasses passes;
  PassList* const lists[3] = {&passes.pages, &passes.styleSheets, &passes.scripts};
  std::size_t counts[3] = {0, 0, 0};
  for (std::string_view path : request.paths)
    if (const int pass = listedPassOf(path, request.options.kinds); pass >= 0) ++counts[pass];
  for (int k = 0; k < 3; ++k) lists[k]->paths.reserve(counts[k]);
  for (std::string_view path : request.paths)
    if (const int pass = listedPassOf(path, request.options.kinds); pass >= 0) lists[pass]->paths.push_back(path);
  for (PassList* list : lists) list->paths = inPassOrder(std::move(list->paths));
  if (request.listedFolders.empty() || request.paths.size() >= UINT32_MAX) return passes;
  for (PassList* list : lists) list->folders.resize(list->paths.size());
  const std::size_t recorded = std::min(request.paths.size(), request.listedFolders.size());
  for (std::size_t i = 0; i < recorded; ++i) {
    const std::string_view path = request.paths[i];
    const int pass = listedPassOf(path, request.options.kinds);
    if (pass < 0) continue;
    PassList& list = *lists[pass];
    const auto place = std::lower_bound(list.paths.begin(), list.paths.end(), path) - list.paths.begin();
    list.folders[static_cast<std::size_t>(place)] = static_cast<std::uint32_t>(i + 1);
  }
  return passes;
}

// The kinds whose .htaccess lines a run rewrites (server_charset.h): those it converts, when
// asked to and writing; none otherwise.
std::optional<KindSet> fixedKinds(const ConversionOptions& options, WriteMode mode) {
  if (!options.fixServerCharset || mode != WriteMode::Write) return std::nullopt;
  return options.kinds;
}

// The folders a run that writes locks (run_lock.h): its files' folders, and the folder its
// backups go to when they have one of their own: two sites that share it would otherwise race
// on the same backup chains.
FolderLockPlan lockPlanOf(const RunRequest& request) {
  FolderLockPlanner planner;
  for (std::string_view path : request.paths) planner.addFolderOf(path);
  const ConversionOptions& options = request.options;
  if (options.makeBackup && !options.backupFolder.empty())
    planner.addFolderOf((options.backupFolder / "backup").native());
  return planner.plan();
}

// The driver of a pass's kind (file_drivers.h).
using Driver = FileReport (*)(const std::filesystem::path& path, const ConversionOptions& options, WriteMode mode,
                              const EncodingEvidence& evidence, const DriverContext& context);

// A pass under way: its files and what it learns, taken up by the run once it is over.
struct Pass {
  int number = 1;
  Driver driver = nullptr;
  PassList list;
  std::vector<std::string> keys = {};  // each file's key, beside its path (passes 2 to 5)
  SiteTally site = {};                 // what earlier passes learnt of the site
  std::vector<std::pair<std::string, std::optional<RewrittenFile>>> written = {};
  // What each file's conversion left, by its place in the pass: each worker fills its own.
  std::vector<std::optional<RewrittenFile>> left = {};
  std::vector<std::pair<std::string, LoadEvidence>> loaded = {};
  std::vector<std::string> modules = {};

  DocumentKind kind() const { return kindOfPass(number); }
  // Pages are never read twice nor loaded: only the later passes need to know each file.
  bool needsKeys() const { return number >= 2; }
  // The sheets and scripts the run lists are read again in passes 4 and 5.
  bool remembersWritten() const { return number == 2 || number == 3; }
};

// Each name pages load: its file's key, and whether its first loader was taken up.
struct LoadedName {
  std::string key;
  bool taken = false;
};

// A run's state from its first pass to its last, and its steps: each a function of the pass or
// of one file of it.
class Run {
 public:
  Run(const RunRequest& request, const RunObserver& observer, const std::atomic<bool>& cancelRequested,
      RunMemory& memory)
      : request_(request),
        observer_(observer),
        cancelRequested_(cancelRequested),
        memory_(memory),
        named_(request.namedPaths, request.paths),
        threads_(request.threads > 0 ? request.threads : defaultThreadCount()),
        serverCharset_(target_, rootsOf(named_), fixedKinds(request.options, mode_)),
        store_(memory, {threads_, mode_ != WriteMode::Write}) {
    // A run not told its number of threads starts one per core; the others join once the
    // workers wait for the disk (ordered_pool.h).
    if (request.threads <= 0) pacing_ = WorkerPacing(eagerThreadCount(), [this] { return store_.flushWaitNanos(); });
  }

  // Passes 4 and 5 see everything the pages load, and the sheets the sheets of passes 2 and 4
  // import (@import): pass 4 goes on over those it has not converted yet, until none is new.
  void convertAll(ListedPasses&& listed, RunSummary& summary) {
    if (options_.kinds.has(FileKind::SsiPage)) fragments_.emplace(listed.pages.paths, named_.roots());
    runPass(1, std::move(listed.pages), &convertHtmlFile);
    if (converting_ && !request_.untakenPages.empty() && !cancelRequested_.load()) {
      untaken_.emplace(request_.untakenPages, &probes_, [this](const ResolvedReference& loaded) {
        return fileKeys_.of(loaded.path, loaded.nameIsLink);
      });
    }
    runPass(2, std::move(listed.styleSheets), &convertCssFile);
    runPass(3, std::move(listed.scripts), &convertJsFile);
    for (PathSet imported;;) {
      std::vector<std::string_view> pending;
      for (const std::string& loaded : referencedStyleSheets_)
        if (imported.insert(loaded).second) pending.push_back(loaded);
      if (pending.empty()) break;
      runPass(4, {std::move(pending), {}}, &convertCssFile);
    }
    runPass(5, {std::vector<std::string_view>(referencedScripts_.begin(), referencedScripts_.end()), {}},
            &convertJsFile);
    if (fixing_) fixServerCharsets();
    summary.successes = successes_;
    summary.failures = failures_;
  }

 private:
  static std::vector<std::filesystem::path> rootsOf(const NamedFolders& named) {
    std::vector<std::filesystem::path> roots;
    for (const std::string& root : named.roots()) roots.emplace_back(root);
    return roots;
  }

  // The folders the user named (not the files): those the run walked whole.
  std::vector<std::filesystem::path> walkedFolders() const {
    std::vector<std::filesystem::path> walked;
    struct stat info;
    for (const std::filesystem::path& named : request_.namedPaths)
      if (::stat(named.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) walked.push_back(named);
    return walked;
  }

  // After the last pass, the .htaccess lines kept for the end (server_charset.h): each
  // .htaccess replaced once and told as a file of the run, its write recorded as any other's.
  void fixServerCharsets() {
    const std::vector<ServerCharsetLine> lines =
        serverCharset_.settle(cancelRequested_.load(), {walkedFolders(), request_.untakenPages, request_.passedOver});
    std::vector<std::span<const ServerCharsetLine>> files;
    for (std::size_t k = 0, first = 0; k < lines.size(); ++k) {
      if (k + 1 < lines.size() && lines[k + 1].htaccess == lines[k].htaccess) continue;
      files.emplace_back(lines.data() + first, k + 1 - first);
      first = k + 1;
    }
    if (files.empty()) return;
    plan(kServerCharsetPass, files.size());
    const StoreWorker store = store_.worker(0);
    for (std::span<const ServerCharsetLine> file : files) {
      store.beginFile();
      FileReport report = fixHtaccess(file, {options_, &named_, store, memory_.recording()});
      FileOutcome outcome;
      outcome.path = file.front().htaccess;
      outcome.pass = kServerCharsetPass;
      outcome.result = report.result;
      outcome.notes = std::move(report.notes);
      outcome.backup = std::move(report.backup);
      if (report.written) outcome.recorded = memory_.recordWrite(*report.written);
      (outcome.result == ResultCode::Success ? successes_ : failures_) += 1;
      settleOnDisk(outcome);
      if (observer_.prepare) outcome.prepared = observer_.prepare(outcome);
      if (observer_.fileDone) observer_.fileDone(outcome);
    }
  }

  // The log says 成功 only of a file whose rename is on disk, or says why it may not be, and
  // once the memory of what was written is on disk too.
  void settleOnDisk(FileOutcome& file) {
    if (file.recorded && !memory_.durableThrough(file.recorded) && !memoryBroken_) {
      memoryBroken_ = true;
      if (observer_.memoryNotice) observer_.memoryNotice(MemoryNotice::NotRecorded, memory_.folder());
    }
    if (!store_.durableFor(file.path.native()) && file.result == ResultCode::Success)
      file.notes.push_back({NoteCode::FolderNotFlushed});
  }

  void plan(int pass, std::size_t fileCount) const {
    if (observer_.passPlanned) observer_.passPlanned(pass, fileCount);
  }

  // A listed name that was a link when it was listed, and is followed; any other is read as
  // the regular file it was listed as.
  bool takenAsLink(std::string_view path) const {
    return !request_.followedLinks.empty() && request_.followedLinks.count(std::string(path)) != 0;
  }

  const LoadingPages* pagesLoading(const std::string& key) const {
    const auto found = loadingPages_.find(key);
    return found == loadingPages_.end() ? nullptr : &found->second;
  }

  void runPass(int number, PassList&& list, Driver driver) {
    if (cancelRequested_.load()) return;
    Pass pass{number, driver, std::move(list)};
    if (pass.needsKeys()) keepKeys(pass);
    // A check reads a file both listed and loaded once, in its first pass.
    if (!converting_ && number > 3) dropChecked(pass);
    if (number > 3) plan(number, pass.list.paths.size());
    sweepLeftovers(pass.list.paths);
    // The pass's threads read what earlier passes learnt; what this pass learns is taken up
    // after it, so that nothing they read changes under them.
    pass.site = site_;
    if (pass.remembersWritten() && mode_ == WriteMode::Write) pass.left.resize(pass.list.paths.size());
    runInPassOrder<FileOutcome>(
        pass.list.paths, {threads_, cancelRequested_, &pacing_},
        [&](std::size_t k, const PoolTurn& turn) { return convertFile(pass, k, turn); },
        [&](std::size_t k, FileOutcome& file) { finishFile(pass, k, file); });
    for (auto& [key, left] : pass.written) rewritten_.try_emplace(std::move(key), std::move(left));
    // The first loader in pass order counts.
    for (auto& [key, evidence] : pass.loaded) loaders_.try_emplace(std::move(key), std::move(evidence));
    for (std::string& key : pass.modules) moduleScripts_.insert(std::move(key));
  }

  void keepKeys(Pass& pass) {
    pass.keys.reserve(pass.list.paths.size());
    for (std::string_view path : pass.list.paths) {
      // A loaded file's key was made when its first page was collected.
      if (auto known = loadedNames_.find(path); pass.number > 3 && known != loadedNames_.end()) {
        pass.keys.push_back(known->second.key);
        continue;
      }
      pass.keys.push_back(fileKeys_.of(path, pass.number > 3 || takenAsLink(path)));
    }
  }

  void dropChecked(Pass& pass) {
    std::vector<std::string_view> unchecked;
    std::vector<std::string> uncheckedKeys;
    for (std::size_t k = 0; k < pass.list.paths.size(); ++k) {
      if (checked_.count(pass.keys[k])) continue;
      unchecked.push_back(pass.list.paths[k]);
      uncheckedKeys.push_back(std::move(pass.keys[k]));
    }
    pass.list.paths = std::move(unchecked);
    pass.keys = std::move(uncheckedKeys);
  }

  // The backup folders the files' backups go in when they have folders of their own (one path
  // in each), for the sweep: a killed run's temporary copies lie there too.
  std::vector<std::string> backupFoldersOf(const std::vector<std::string_view>& paths) const {
    std::vector<std::string> folders;
    if (options_.backupFolder.empty() || !options_.makeBackup || !converting_) return folders;
    std::string_view last;
    for (std::string_view path : paths) {
      const std::string_view folder = folderPart(path);
      if (folder == last) continue;  // the files of a folder come together
      last = folder;
      if (std::optional<BackupPlace> place = backupPlaceOf(std::filesystem::path(path), options_, &named_))
        folders.push_back((place->folder / "-").native());
    }
    return folders;
  }

  // What killed runs left, before any file is read; a dry run and a check only look.
  void sweepLeftovers(const std::vector<std::string_view>& paths) {
    const FolderSweep& done = store_.swept();
    const std::size_t restoredBefore = done.restored.size(), keptBefore = done.keptCopies.size();
    store_.sweepFoldersOf(paths);
    const std::vector<std::string> mirrors = backupFoldersOf(paths);
    store_.sweepFoldersOf({mirrors.begin(), mirrors.end()});
    if (observer_.formerPutBack)
      for (std::size_t k = restoredBefore; k < done.restored.size(); ++k) observer_.formerPutBack(done.restored[k]);
    if (observer_.copyKept)
      for (std::size_t k = keptBefore; k < done.keptCopies.size(); ++k) observer_.copyKept(done.keptCopies[k]);
  }

  // On a worker's thread: what the run knows of a file's encoding before it is read.
  EncodingEvidence evidenceFor(const Pass& pass, std::size_t k) const {
    EncodingEvidence e;
    if (pass.needsKeys()) {
      const std::string& key = pass.keys[k];
      if (rewritten_.count(key)) e.writtenByThisRun = target_;
      if (auto loader = loaders_.find(key); loader != loaders_.end()) {
        e.loaderCharset = loader->second.charset;
        e.loadingPage = loader->second.page;
      }
      e.moduleScript = moduleScripts_.count(key) != 0;
    }
    e.site = pass.site;
    return e;
  }

  DriverContext contextFor(const Pass& pass, std::size_t k, const PoolTurn& turn) {
    DriverContext context{store_.worker(turn.worker), &probes_, turn.status};
    context.memory = &memory_;
    context.named = &named_;
    context.recordsWrites = memory_.recording();
    const std::string_view path = pass.list.paths[k];
    if (pass.number <= 3 && !takenAsLink(path)) context.nameLink = NameLink::NotFollowed;  // listed as a regular file
    if (pass.number <= 3 && k < pass.list.folders.size() && pass.list.folders[k] != 0)
      context.listedFolder = request_.listedFolders[pass.list.folders[k] - 1];
    if (pass.number == 1 && fragments_ && !fragments_->empty())
      context.fragment = fragments_->isFragment(fileKey(std::filesystem::path(path)));
    if (pass.number > 3) {
      if (loadedByOwnName_.count(std::string(path))) context.nameLink = NameLink::NotFollowed;
      else context.loadedThroughLink = true;
    }
    if (!pass.left.empty())
      context.visitedAgain =
          loaders_.count(pass.keys[k]) != 0 && (pass.number == 2 ? options_.followCss : options_.followJs);
    return context;
  }

  // A file this run wrote, unchanged since, is not read again: its second conversion would give
  // its bytes back, and what it would report is known.
  std::optional<DocumentResult> unchangedSinceRun(const Pass& pass, std::size_t k, const EncodingEvidence& e,
                                                  const DriverContext& context) const {
    if (pass.number <= 3 || mode_ != WriteMode::Write || e.moduleScript || context.nameLink != NameLink::NotFollowed)
      return std::nullopt;
    const auto known = rewritten_.find(pass.keys[k]);
    if (known == rewritten_.end() || !known->second) return std::nullopt;
    return unchangedSinceWritten(std::string(pass.list.paths[k]), *known->second, pass.kind(), target_);
  }

  FileReport readOrConvert(const Pass& pass, std::size_t k, const EncodingEvidence& e, const DriverContext& context) {
    FileReport report;
    if (const LoadingPages* pages = pass.number >= 4 && converting_ ? pagesLoading(pass.keys[k]) : nullptr;
        pages && !pages->converted) {
      // Its pages keep naming the former encoding: so must it.
      report.result = ResultCode::WriteFailed;
      report.notes.push_back(pages->failedNote(NoteCode::PagesFailed));
    } else if (std::optional<DocumentResult> unchanged = unchangedSinceRun(pass, k, e, context)) {
      report.document = std::move(unchanged);
    } else {
      const std::filesystem::path path(pass.list.paths[k]);
      const DocumentKind kind = kindOfFile(pass.number, path);
      const Driver driver = kind == DocumentKind::Text  ? &convertTextFile
                            : kind == DocumentKind::Xml ? &convertXmlFile
                                                        : pass.driver;
      report = converting_ ? driver(path, options_, mode_, e, context) : checkFile(path, kind, e, context);
    }
    return report;
  }

  // What is said of the file from outside, for its report: what its loader claimed, and what the
  // server announces. A file as this run wrote it is told against its pages as this run wrote
  // them too (naming the target), when one of them was converted.
  LoadEvidence loaderAsTold(const Pass& pass, std::size_t k, const EncodingEvidence& e) {
    LoadEvidence told{e.loaderCharset, e.loadingPage, serverCharset_.charsetFor(std::string(pass.list.paths[k]))};
    const LoadingPages* pages = e.writtenByThisRun && pass.needsKeys() ? pagesLoading(pass.keys[k]) : nullptr;
    if (pages && pages->converted) {
      told.charset = charsetNameOf(target_);
      told.page = sourceEncodingOf(target_);
    }
    return told;
  }

  // On a worker's thread: the file converted (or checked, or left as it is), as its outcome.
  FileOutcome convertFile(Pass& pass, std::size_t k, const PoolTurn& turn) {
    const EncodingEvidence e = evidenceFor(pass, k);
    const DriverContext context = contextFor(pass, k, turn);
    FileReport report;
    std::vector<FileNote> problems;
    const std::optional<std::filesystem::path> pendingCopy = store_.pendingFor(pass.list.paths[k]);
    if (pendingCopy && converting_) {
      // Whoever may use the copy comes first: the file may be torn, and converted it would take
      // the only former content with it.
      report.result = ResultCode::WriteFailed;
      report.notes.push_back({NoteCode::RecoveryPending, StoreProblem::None, {pendingCopy->native()}});
    } else {
      report = readOrConvert(pass, k, e, context);
      if (pendingCopy) problems.push_back({NoteCode::RecoveryPending, StoreProblem::None, {pendingCopy->native()}});
    }
    if (!pass.left.empty()) pass.left[k] = std::move(report.rewritten);
    const std::uint64_t recorded = report.written ? recordWritten(memory_, report) : 0;
    FileOutcome file{std::filesystem::path(pass.list.paths[k]),
                     report.result,
                     pass.number,
                     std::move(report.notes),
                     std::move(report.document),
                     report.form,
                     loaderAsTold(pass, k, e),
                     std::move(problems),
                     {},
                     std::move(report.backup),
                     std::move(report.remembered),
                     recorded};
    file.loader.included = context.fragment;
    if (observer_.prepare) file.prepared = observer_.prepare(file);
    return file;
  }

  // In pass order: the file counted, what it tells the later passes taken up, its notes added,
  // and its outcome told.
  void finishFile(Pass& pass, std::size_t k, FileOutcome& file) {
    const bool converted = file.result == ResultCode::Success;
    (converted ? successes_ : failures_) += 1;
    if (converted && file.document) {
      if (std::optional<SourceEncoding> evidence = siteEvidenceOf(file.document->source, file.remembered))
        site_.add({*evidence, DecisionBasis::Detection});
      if (mode_ == WriteMode::Write && pass.remembersWritten())
        pass.written.emplace_back(pass.keys[k], std::move(pass.left[k]));
    }
    if (file.document) takeUpReferences(pass, k, file);
    if (!converting_ && pass.needsKeys()) checked_.insert(pass.keys[k]);
    addNotes(pass, k, file);
    if (observer_.fileDone) observer_.fileDone(file);
  }

  // Every followable reference counts, whatever the follow switches say: a file a page loads
  // is read in the charset its element named, or in the page's encoding.
  void takeUpReferences(Pass& pass, std::size_t k, const FileOutcome& file) {
    const bool converted = file.result == ResultCode::Success;
    for (const FoundReference& loaded : file.document->references) {
      if (loaded.status != ReferenceStatus::Followable) continue;
      const bool sheet = loaded.kind == LoadedKind::StyleSheet;
      auto known = loadedNames_.find(loaded.path);  // a page may load one file many times
      if (known == loadedNames_.end())
        known = loadedNames_.emplace(loaded.path, LoadedName{fileKeys_.of(loaded.path, loaded.nameIsLink)}).first;
      const std::string& key = known->second.key;
      if (loaded.module) pass.modules.push_back(key);
      if (converting_) loadingPages_[key].add(converted, pass.list.paths[k]);
      // Its first loader in pass order counts, and the run's memo gave every page the same look
      // at the name (reference_files.h), of one kind, the one its extension names: a later
      // page adds nothing.
      if (known->second.taken) continue;
      known->second.taken = true;
      pass.loaded.emplace_back(key, claimOf(*file.document, loaded, file.remembered, memory_));
      if (sheet && options_.followCss) referencedStyleSheets_.insert(loaded.path);
      if (!sheet && options_.followJs) referencedScripts_.insert(loaded.path);
      if (!loaded.nameIsLink) loadedByOwnName_.insert(loaded.path);
    }
  }

  // The notes only the run in pass order can add, and the memory's failed record told.
  void addNotes(const Pass& pass, std::size_t k, FileOutcome& file) {
    const bool converted = file.result == ResultCode::Success;
    if (converting_ && converted) {
      const std::optional<SourceEncoding> readAs =
          file.document ? std::optional<SourceEncoding>(file.document->source.encoding) : std::nullopt;
      for (FileNote& note : serverCharset_.notesFor(file.path, readAs)) file.notes.push_back(std::move(note));
    }
    if (fixing_ && !converted) serverCharset_.fileLeft(file.path);
    if (const std::vector<std::string>* included =
            pass.number == 1 && fragments_ ? fragments_->notConvertedOf(file.path.native()) : nullptr)
      file.notes.push_back({NoteCode::FragmentNotConverted, StoreProblem::None, *included});
    // Said of a file converted: one left as it was has its own line's reason.
    if (pass.number >= 4 && converted && !named_.cover(pass.keys[k])) file.notes.push_back({NoteCode::OutsideNamed});
    if (untaken_ && pass.needsKeys() && converted) {
      if (std::optional<FileNote> note = untaken_->noteFor(pass.keys[k])) file.notes.push_back(std::move(*note));
    }
    if (const LoadingPages* pages = pass.needsKeys() ? pagesLoading(pass.keys[k]) : nullptr;
        pages && pages->failedCount > 0 && converted && file.document)
      file.notes.push_back(pages->failedNote(NoteCode::SomePagesFailed));
    settleOnDisk(file);
  }

  const RunRequest& request_;
  const RunObserver& observer_;
  const std::atomic<bool>& cancelRequested_;
  RunMemory& memory_;
  const ConversionOptions& options_ = request_.options;
  const WriteMode mode_ = request_.mode;
  const TargetEncoding target_ = options_.targetEncoding;
  // A conversion's notes on what did not travel as itself; the check only reads.
  const bool converting_ = mode_ != WriteMode::Check;
  const bool fixing_ = fixedKinds(options_, mode_).has_value();  // the .htaccess lines are rewritten at the end
  const NamedFolders named_;
  const int threads_;
  // What the run has learnt, taken up between passes: only the files a later pass may read
  // again (the sheets and scripts) are remembered as written, and only the loaded ones by their
  // loaders, so that memory grows with those and not with every file of the run.
  // A file a later pass visits again is kept with what the write left in it (rewritten_file.h).
  std::map<std::string, std::optional<RewrittenFile>> rewritten_;
  std::map<std::string, LoadEvidence> loaders_;
  std::map<std::string, LoadedName, std::less<>> loadedNames_;
  PathSet moduleScripts_;  // files pages load as module scripts
  // By the loaded file's key, its pages: filled by pass 1, read by the later passes.
  std::map<std::string, LoadingPages> loadingPages_;
  PathSet referencedStyleSheets_, referencedScripts_;
  // The loaded files some page's look found under their own name, not through a link: they are
  // read only as such, so that a name swapped for a link after its page leads nowhere else.
  PathSet loadedByOwnName_;
  SiteTally site_;
  ServerCharsetLookup serverCharset_;
  PathSet checked_;                             // the check reads a file both listed and loaded once
  bool memoryBroken_ = false;                   // the memory's record failed, which was told
  std::optional<UntakenPages> untaken_;         // the pages of other kinds and what they load
  std::optional<IncludedFragments> fragments_;  // what the SSI pages include
  FileKeys fileKeys_;
  // What the run reads and writes through: its sweep, the folders' flushes, each worker's session.
  Store store_;
  ReferenceProbes probes_;  // the loaded files looked into, shared by the pages
  WorkerPacing pacing_;
  int successes_ = 0, failures_ = 0;
};

}  // namespace

DocumentKind kindOfFile(int pass, const std::filesystem::path& path) {
  const FileKind kind = pass == 1 ? classifyExtension(path.native()) : FileKind::Other;
  return kind == FileKind::PlainText ? DocumentKind::Text
         : kind == FileKind::Xml     ? DocumentKind::Xml
                                     : kindOfPass(pass);
}

RunSummary conversionWorker(const RunRequest& request, const RunObserver& observer,
                            const std::atomic<bool>& cancelRequested) {
  RunSummary summary;
  if (!isTargetEncoding(request.options.targetEncoding)) return summary;
  summary.started = true;
  ListedPasses listed = sortIntoPasses(request);

  if (observer.started) observer.started();
  // Runs that write over the same folders take turns (run_lock.h); a cancel during the wait
  // ends the run as any cancel does, with nothing converted.
  RunLock lock;
  if (request.mode == WriteMode::Write) {
    if (!lock.acquire(lockPlanOf(request), observer.waitingFor, cancelRequested)) {
      summary.cancelled = true;
      return summary;
    }
  }
  RunMemory memory;
  openMemory(memory, request, observer);
  if (observer.passPlanned) {
    observer.passPlanned(1, listed.pages.paths.size());
    observer.passPlanned(2, listed.styleSheets.paths.size());
    observer.passPlanned(3, listed.scripts.paths.size());
  }
  Run(request, observer, cancelRequested, memory).convertAll(std::move(listed), summary);
  summary.cancelled = cancelRequested.load();
  summary.recordedAs = memory.runId();
  return summary;
}

}  // namespace sarnavel
