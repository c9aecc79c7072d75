#include "run/conversion_run.h"

#include <new>

#include "run/file_kind.h"
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
    ResultCode result = ResultCode::Success;
    ReferencedFiles referenced;  // what a page loads
  };
  auto runPass = [&](int pass, const PathSet& set, auto&& driver) {
    if (cancelRequested.load()) return;
    std::vector<std::string> paths(set.begin(), set.end());
    runInPassOrder<FileResult>(
        paths, threads, cancelRequested,
        [&](const std::string& path) {
          FileResult file;
          try {
            file.result = driver(std::filesystem::path(path), file.referenced);
          } catch (const std::bad_alloc&) {
            file.result = ResultCode::OutOfMemory;
          }
          return file;
        },
        [&](const std::string& path, FileResult& file) {
          (file.result == ResultCode::Success ? summary.successes : summary.failures) += 1;
          referenced.styleSheets.merge(file.referenced.styleSheets);
          referenced.scripts.merge(file.referenced.scripts);
          log(fileMessage(file.result, path));
          if (observer.fileDone) observer.fileDone(FileOutcome{path, file.result, pass});
        });
  };
  const WriteMode mode = request.mode;
  auto page = [&](const std::filesystem::path& p, ReferencedFiles& loads) { return convertHtmlFile(p, options, loads, mode); };
  auto sheet = [&](const std::filesystem::path& p, ReferencedFiles&) { return convertCssFile(p, options, mode); };
  auto script = [&](const std::filesystem::path& p, ReferencedFiles&) { return convertJsFile(p, options, mode); };

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
