#include "run/conversion_run.h"

#include <new>

#include "run/file_kind.h"
#include "run/leftover_sweep.h"
#include "run/ordered_pool.h"
#include "run/run_messages.h"

namespace sarnavel {

RunSummary conversionWorker(const RunRequest& request, const RunObserver& observer, const std::atomic<bool>& cancelRequested) {
  RunSummary summary;
  const ConversionOptions& options = request.options;
  if (options.targetEncoding < 0 || options.targetEncoding > 3) return summary;
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
  ReferencedFiles referenced;

  auto log = [&](std::string_view entry) {
    if (observer.log) observer.log(entry);
  };
  log(plainMessage(MessageId::Started));

  const int threads = request.threads > 0 ? request.threads : defaultThreadCount();
  struct FileResult {
    FileReport report;
    ReferencedFiles referenced;  // what a page loads
  };
  // A file that a Latin-1 page loads is read as Latin-1 until this run has rewritten it.
  PathSet rewritten;
  const WriteMode mode = request.mode;
  auto originOf = [&](const std::string& path) {
    return referenced.loadedByLatin1Pages.count(path) && !rewritten.count(path) ? TextOrigin::LoadedByLatin1Page : TextOrigin::AsRead;
  };
  LeftoverSweep leftovers;
  auto runPass = [&](int pass, const PathSet& set, auto&& driver) {
    if (cancelRequested.load()) return;
    std::vector<std::string_view> paths(set.begin(), set.end());
    if (mode == WriteMode::Write) leftovers.sweepFoldersOf(paths);  // what killed runs left, before any file is read
    std::vector<TextOrigin> origins;  // read on the pass's threads, so taken first
    origins.reserve(paths.size());
    for (std::string_view path : paths) origins.push_back(originOf(std::string(path)));
    runInPassOrder<FileResult>(
        paths, threads, cancelRequested,
        [&](std::size_t k) {
          FileResult file;
          try {
            file.report = driver(std::filesystem::path(paths[k]), file.referenced, origins[k]);
          } catch (const std::bad_alloc&) {
            file.report = FileReport{ResultCode::OutOfMemory, {}};
          }
          return file;
        },
        [&](std::size_t k, FileResult& file) {
          std::string_view path = paths[k];
          const ResultCode result = file.report.result;
          (result == ResultCode::Success ? summary.successes : summary.failures) += 1;
          referenced.styleSheets.merge(file.referenced.styleSheets);
          referenced.scripts.merge(file.referenced.scripts);
          referenced.loadedByLatin1Pages.merge(file.referenced.loadedByLatin1Pages);
          if (result == ResultCode::Success && mode == WriteMode::Write && origins[k] == TextOrigin::LoadedByLatin1Page) {
            rewritten.emplace(path);
          }
          log(fileEntry(file.report, observer.pathForLog ? observer.pathForLog(path) : std::string(path)));
          if (observer.fileDone) observer.fileDone(FileOutcome{std::filesystem::path(path), result, pass, std::move(file.report.notes)});
        });
  };
  auto page = [&](const std::filesystem::path& p, ReferencedFiles& loads, TextOrigin) { return convertHtmlFile(p, options, loads, mode); };
  auto sheet = [&](const std::filesystem::path& p, ReferencedFiles&, TextOrigin origin) { return convertCssFile(p, options, mode, origin); };
  auto script = [&](const std::filesystem::path& p, ReferencedFiles&, TextOrigin origin) { return convertJsFile(p, options, mode, origin); };

  // Passes 4 and 5 see everything pass 1 added; the sets are not touched after pass 1.
  runPass(1, pageSet, page);
  runPass(2, styleSheetSet, sheet);
  runPass(3, scriptSet, script);
  runPass(4, referenced.styleSheets, sheet);
  runPass(5, referenced.scripts, script);

  summary.cancelled = cancelRequested.load();
  log(summary.cancelled ? std::string(plainMessage(MessageId::Cancelled)) : summaryMessage(summary.successes, summary.failures));
  return summary;
}

}  // namespace sarnavel
