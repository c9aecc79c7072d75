#include "run/conversion_run.h"

#include <map>
#include <optional>
#include <system_error>

#include "run/file_kind.h"
#include "run/file_warnings.h"
#include "run/server_charset.h"
#include "run/source_check.h"
#include "run/source_facts.h"
#include "run/path_set.h"
#include "run/leftover_sweep.h"
#include "run/ordered_pool.h"
#include "run/run_messages.h"
#include "run/visible_path.h"

namespace sarnavel {

namespace {

// A file this run may know about, named by the file it finally reaches, so that two spellings
// of one path (or a link and its target) are one file.
std::string fileKey(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path key = std::filesystem::weakly_canonical(path, error);
  if (error) key = std::filesystem::absolute(path, error).lexically_normal();
  return key.native();
}

bool isWithin(const std::string& key, const std::string& root) {
  if (!key.starts_with(root)) return false;
  return key.size() == root.size() || root.ends_with('/') || key[root.size()] == '/';
}

constexpr std::string_view kOutsideNamedNote =
    "指定されたフォルダーとファイルの外にありますが、ページが読み込むため変換しました。";

// What the pages that load a file say about its encoding: the first in pass order.
struct LoadEvidence {
  std::string charset;
  std::optional<SourceEncoding> page;
};

}  // namespace

RunSummary conversionWorker(const RunRequest& request, const RunObserver& observer,
                            const std::atomic<bool>& cancelRequested) {
  RunSummary summary;
  const ConversionOptions& options = request.options;
  if (!isTargetEncoding(options.targetEncoding)) return summary;
  summary.started = true;

  PathSet pageSet, styleSheetSet, scriptSet;
  for (const std::filesystem::path& path : request.paths) {
    switch (classifyExtension(path)) {
      case FileKind::Html: pageSet.insert(path.native()); break;
      case FileKind::Css: styleSheetSet.insert(path.native()); break;
      case FileKind::JavaScript: scriptSet.insert(path.native()); break;
      default: break;
    }
  }
  PathSet referencedStyleSheets, referencedScripts;

  auto log = [&](std::string_view entry) {
    if (observer.log) observer.log(entry);
  };
  log(plainMessage(MessageId::Started));
  auto plan = [&](int pass, std::size_t fileCount) {
    if (observer.passPlanned) observer.passPlanned(pass, fileCount);
  };
  plan(1, pageSet.size());
  plan(2, styleSheetSet.size());
  plan(3, scriptSet.size());

  // The folders and files the user named, as the files they reach.
  // A named file stands for its own folder: the sheets beside a page the user named are part
  // of what the user meant.
  std::vector<std::string> namedRoots;
  auto addRoot = [&](const std::filesystem::path& named) {
    std::error_code error;
    const bool folder = std::filesystem::is_directory(named, error);
    namedRoots.push_back(fileKey(folder ? named : std::filesystem::absolute(named, error).parent_path()));
  };
  for (const std::filesystem::path& named : request.namedPaths) addRoot(named);
  if (request.namedPaths.empty()) {
    for (const std::filesystem::path& listed : request.paths) addRoot(listed);
  }
  auto isNamed = [&](const std::string& key) {
    for (const std::string& root : namedRoots) {
      if (isWithin(key, root)) return true;
    }
    return false;
  };

  const int threads = request.threads > 0 ? request.threads : defaultThreadCount();
  struct FileResult {
    FileReport report;
  };
  // What the run has learnt, taken up between passes.
  PathSet rewritten;
  std::map<std::string, LoadEvidence> loaders;
  std::map<std::string, std::string> keyOfLoaded;
  SiteTally site;
  const WriteMode mode = request.mode;
  const TargetEncoding target = options.targetEncoding;
  LeftoverSweep leftovers;
  // A conversion's notes on what did not travel as itself; the check only reads.
  const bool converting = mode != WriteMode::Check;
  std::vector<std::filesystem::path> rootPaths;
  for (const std::string& root : namedRoots) rootPaths.emplace_back(root);
  ServerCharsetLookup serverCharset(target, std::move(rootPaths));
  PathSet checked;  // the check reads a file both listed and loaded once

  auto runPass = [&](int pass, const PathSet& set, auto&& driver) {
    if (cancelRequested.load()) return;
    std::vector<std::string_view> paths;
    for (const std::string& path : set) {
      if (!converting && pass > 3 && checked.count(fileKey(std::filesystem::path(path)))) continue;
      paths.push_back(path);
    }
    if (pass > 3) plan(pass, paths.size());
    if (mode == WriteMode::Write) leftovers.sweepFoldersOf(paths);  // what killed runs left, before any file is read
    // The evidence is taken before the pass starts: the pass's threads only read it.
    std::vector<std::string> keys;
    std::vector<EncodingEvidence> evidence(paths.size());
    keys.reserve(paths.size());
    for (std::size_t k = 0; k < paths.size(); ++k) {
      keys.push_back(fileKey(std::filesystem::path(paths[k])));
      EncodingEvidence& e = evidence[k];
      if (rewritten.count(keys[k])) e.writtenByThisRun = target;
      if (auto loader = loaders.find(keys[k]); loader != loaders.end()) {
        e.loaderCharset = loader->second.charset;
        e.loadingPage = loader->second.page;
      }
      e.site = site;
    }
    runInPassOrder<FileResult>(
        paths, threads, cancelRequested,
        [&](std::size_t k) {
          const std::filesystem::path path(paths[k]);
          const DocumentKind kind = pass == 1       ? DocumentKind::Page
                                    : pass % 2 == 0 ? DocumentKind::StyleSheet
                                                    : DocumentKind::Script;
          if (!converting) return FileResult{checkFile(path, kind, evidence[k])};
          FileResult file{driver(path, evidence[k])};
          if (const std::optional<DocumentResult>& document = file.report.document) {
            file.report.facts = sourceFacts(kind, *document, file.report.form, evidence[k]);
            // A file left as it was has nothing to warn of: its line says why it was left.
            if (file.report.result == ResultCode::Success) {
              for (FileNote& note : documentWarnings(*document, target)) file.report.notes.push_back(std::move(note));
            }
          }
          return file;
        },
        [&](std::size_t k, FileResult& file) {
          std::string_view path = paths[k];
          const ResultCode result = file.report.result;
          (result == ResultCode::Success ? summary.successes : summary.failures) += 1;
          const std::optional<DocumentResult>& document = file.report.document;
          if (result == ResultCode::Success && document) {
            site.add(document->source);
            if (mode == WriteMode::Write) rewritten.insert(keys[k]);
          }
          // Every followable reference counts, whatever the follow switches say: a file a page
          // loads is read in the charset its element named, or in the page's encoding.
          if (document) {
            for (const FoundReference& loaded : document->references) {
              if (loaded.status != ReferenceStatus::Followable) continue;
              const bool sheet = loaded.kind == LoadedKind::StyleSheet;
              auto known = keyOfLoaded.find(loaded.path);  // a page may load one file many times
              if (known == keyOfLoaded.end()) known = keyOfLoaded.emplace(loaded.path, fileKey(loaded.path)).first;
              loaders.try_emplace(known->second, LoadEvidence{loaded.formerCharset, document->source.encoding});
              if (sheet && options.followCss) referencedStyleSheets.insert(loaded.path);
              if (!sheet && options.followJs) referencedScripts.insert(loaded.path);
            }
          }
          if (!converting) checked.insert(keys[k]);
          if (converting && result == ResultCode::Success) {
            for (FileNote& note : serverCharset.notesFor(std::filesystem::path(path)))
              file.report.notes.push_back(std::move(note));
          }
          if (pass >= 4 && !isNamed(keys[k]))
            file.report.notes.push_back({"outside-named", {}, std::string(kOutsideNamedNote)});
          log(fileEntry(file.report, observer.pathForLog ? observer.pathForLog(path) : visiblePath(path)));
          if (observer.fileDone) {
            observer.fileDone(FileOutcome{std::filesystem::path(path), result, pass, std::move(file.report.notes),
                                          std::move(file.report.document), file.report.form,
                                          std::move(file.report.facts)});
          }
        });
  };
  auto page = [&](const std::filesystem::path& p, const EncodingEvidence& e) {
    return convertHtmlFile(p, options, mode, e);
  };
  auto sheet = [&](const std::filesystem::path& p, const EncodingEvidence& e) {
    return convertCssFile(p, options, mode, e);
  };
  auto script = [&](const std::filesystem::path& p, const EncodingEvidence& e) {
    return convertJsFile(p, options, mode, e);
  };

  // Passes 4 and 5 see everything pass 1 added; the sets are not touched after pass 1.
  runPass(1, pageSet, page);
  runPass(2, styleSheetSet, sheet);
  runPass(3, scriptSet, script);
  runPass(4, referencedStyleSheets, sheet);
  runPass(5, referencedScripts, script);

  summary.cancelled = cancelRequested.load();
  log(summary.cancelled ? std::string(plainMessage(MessageId::Cancelled))
                        : summaryMessage(summary.successes, summary.failures));
  return summary;
}

}  // namespace sarnavel
