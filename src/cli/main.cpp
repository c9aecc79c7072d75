// sarnavel-cli: converts a batch of Japanese web documents from a terminal, a Makefile or CI.
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "report/cli_notices.h"
#include "cli/log_writer.h"
#include "cli/output_clashes.h"
#include "cli/progress_line.h"
#include "cli/report_output.h"
#include "cli/stop_signals.h"
#include "run/backup_place.h"
#include "run/conversion_run.h"
#include "run/undo_run.h"
#include "report/run_listing.h"
#include "run/intake.h"
#include "report/check_listing.h"
#include "report/message_language.h"
#include "store/posix_file.h"
#include "report/run_messages.h"
#include "report/run_report.h"
#include "run/malloc_tuning.h"
#include "store/standard_descriptors.h"
#include "report/visible_path.h"
#include "version.h"

namespace {

using namespace sarnavel;

void say(const std::string& text) { writeAll(STDERR_FILENO, text); }

// Why the report may not be written where the user named it (a file the run is to read, or
// one its former content or a page may need), as a message with the report's place {1}; null
// when it may.
const char* reportClash(const std::string& reportPath, const PathList& files, const std::string& backupSuffix) {
  if (isOneOf(reportPath, files)) return "レポート {1} は変換するファイルの一つです";
  if (std::filesystem::path(reportPath).filename().native().ends_with(backupSuffix))
    return "レポート {1} はバックアップ（NAME.bak）の名前です。ファイルの唯一の元の内容かもしれません";
  switch (mayBeLoaded(reportPath)) {
    case LoadableOutput::No: break;
    case LoadableOutput::NamedLikeLoaded:
      return "レポート {1} はページ、スタイルシート、スクリプトの名前です。ページが読み込むかもしれません";
    case LoadableOutput::LeadsToLoaded:
      return "レポート {1} はページ、スタイルシート、スクリプトの名前のファイルにつながっています。ページが読み込むかも"
             "しれません";
    case LoadableOutput::SeveralNames:
      return "レポート {1} は名前がいくつもあるファイル（ハードリンク）です。ページが別の名前で読み込むかもしれません";
  }
  return nullptr;
}

// "Try 'sarnavel-cli --help' ...", the last line of a usage error.
std::string tryHelp(MessageLanguage language) {
  return message(language, "詳しくは 'sarnavel-cli --help' を見てください。") + "\n";
}

// Whether standard output or error is a file the run is to read, or one a page may load (which
// the run learns only as it goes): said, and the run refused.
bool standardStreamClashes(const IntakeReport& intake, MessageLanguage language) {
  auto stream = [language](int which) { return message(language, which == 1 ? "標準出力" : "標準エラー出力"); };
  if (const int which = standardStreamAmong(intake.files, intake.followedLinks)) {
    say("sarnavel-cli: " + message(language, "{1}は変換するファイルの一つです", {stream(which)}) + "\n" +
        tryHelp(language));
    return true;
  }
  if (const int which = standardStreamMayBeLoaded()) {
    say("sarnavel-cli: " +
        message(language,
                "{1}はページ、スタイルシート、スクリプトの名前か、名前がいくつもあるファイルです。ページが読み込むかも"
                "しれません",
                {stream(which)}) +
        "\n" + tryHelp(language));
    return true;
  }
  return false;
}

// Whether the backup folder lies inside a folder named, or holds one: said, and the run refused.
bool backupFolderRefused(const CliOptions& options, const IntakeReport& intake, MessageLanguage language) {
  const std::filesystem::path& folder = options.conversion.backupFolder;
  if (folder.empty()) return false;
  const NamedFolders named({options.paths.begin(), options.paths.end()}, intake.files);
  const BackupFolderClash clash = backupFolderClash(folder, named);
  if (clash == BackupFolderClash::None) return false;
  say(backupFolderRefusalLine(clash, folder.native(), language) + tryHelp(language));
  return true;
}

// Opens the report the user named, only now and never over a file the run is to read: 0 when
// it is open (or none was asked for), else the status the program ends with.
int openReport(const CliOptions& options, const IntakeReport& intake, std::optional<ReportOutput>& report,
               MessageLanguage language) {
  if (options.reportPath.empty()) return 0;
  if (options.reportPath != "-") {
    if (const char* clash = reportClash(options.reportPath, intake.files, options.conversion.backupSuffix)) {
      say("sarnavel-cli: " + message(language, clash, {visiblePath(options.reportPath)}) + "\n" + tryHelp(language));
      return 2;
    }
  }
  std::string error;
  report.emplace(options.reportPath, error, stopFlag(), language);
  if (stopSignal() != 0) return 128 + stopSignal();
  if (!error.empty()) {
    say("sarnavel-cli: " + error + "\n");
    return 1;
  }
  return 0;
}

RunRequest requestOf(const CliOptions& options, IntakeReport& intake) {
  const WriteMode mode = options.check ? WriteMode::Check : options.dryRun ? WriteMode::DryRun : WriteMode::Write;
  RunRequest request{options.conversion, std::move(intake.files), mode};
  request.followedLinks = std::move(intake.followedLinks);
  request.listedFolders = std::move(intake.folders);
  request.untakenPages = std::move(intake.untakenPages);
  for (const IntakeNotice& notice : intake.notices) request.passedOver.push_back(notice.path);
  request.namedPaths.assign(options.paths.begin(), options.paths.end());
  request.memoryFolder = memoryFolder();
  return request;
}

// Where a run's words go: the log (or a check's listing) and the report, if any.
struct Outputs {
  LogWriter& log;
  std::optional<ReportOutput>& report;
  RunReport& lines;
  CheckListing& listing;
  NoteWording wording;
  bool quiet;    // -q: only the files that failed (or have a problem) and the summary
  bool verbose;  // -v: each file's decision first under its line
  MessageLanguage language;
  std::optional<ProgressLine>& progress;
  MessageId start = MessageId::Started;  // the log's first line
};

// The observer that writes the log, the check's listing and the report, and says the rest on
// standard error.
RunObserver observerFor(bool check, Outputs& out) {
  RunObserver observer;
  // A check lists each file on a line of its own; a conversion writes the log.
  observer.started = [check, &out] {
    if (!check && !out.quiet) out.log.write(plainMessage(out.start));
    if (out.progress) out.progress->show();
  };
  // A report's line is drafted on the worker that converted the file, in parallel with the
  // others; the in-order step only adds the warnings and writes it.
  if (out.report) {
    observer.prepare = [&out](const FileOutcome& outcome) {
      return out.lines.draft(outcome, visiblePath(outcome.path.native()));
    };
  }
  observer.fileDone = [check, &out](const FileOutcome& outcome) {
    const std::string shown = visiblePath(outcome.path.native());
    const std::vector<NoteLine> warnings = warningsOf(outcome, out.wording);
    const std::size_t problemsBefore = out.listing.filesWithProblems();
    std::string entry;
    if (check) {
      entry = out.listing.fileLine(outcome, shown);
    } else if (std::optional<NoteLine> decision = out.verbose ? decisionNote(outcome, out.language) : std::nullopt) {
      std::vector<NoteLine> lines{std::move(*decision)};
      lines.insert(lines.end(), warnings.begin(), warnings.end());
      entry = fileEntry(outcome.result, lines, shown);
    } else {
      entry = fileEntry(outcome.result, warnings, shown);
    }
    const bool wentWell =
        check ? out.listing.filesWithProblems() == problemsBefore : outcome.result == ResultCode::Success;
    if (!out.quiet || !wentWell) {
      if (out.progress) out.progress->beforeEntry();
      out.log.write(entry);
    }
    if (out.progress) out.progress->fileDone(shown);
    // The report's texts are Japanese whatever the locale (message_language.h).
    if (out.report) {
      NoteWording japanese = out.wording;
      japanese.language = MessageLanguage::Japanese;
      const bool same = out.wording.language == MessageLanguage::Japanese;
      out.report->write(out.lines.finish(outcome, same ? warnings : warningsOf(outcome, japanese), outcome.prepared));
    }
  };
  if (out.progress) {
    observer.passPlanned = [&out](int, std::size_t fileCount) { out.progress->planned(fileCount); };
  }
  // A notice during the run goes above the progress line, never into it.
  auto notice = [&out](const std::string& text) {
    if (out.progress) out.progress->sayAbove(text);
    else say(text);
  };
  const MessageLanguage language = out.language;
  observer.waitingFor = [notice, language](std::string_view folder, pid_t holder) {
    notice(waitingLine(folder, holder, language));
  };
  observer.formerPutBack = [notice, language](const std::filesystem::path& file) {
    notice(formerPutBackLine(file.native(), language));
  };
  observer.copyKept = [notice, language](const std::filesystem::path& copy) {
    notice(copyKeptLine(copy.native(), language));
  };
  observer.memoryNotice = [notice, language](MemoryNotice what, const std::filesystem::path& folder) {
    notice(memoryNoticeLine(what, folder.native(), language));
  };
  return observer;
}

// The settings file's backup folder and suffix where the command line gave none (and backups
// are made); a suffix that could name no backup beside its file is said and not used.
void applyBackupSettings(const std::filesystem::path& file, const ConversionSettings& settings, CliOptions& options,
                         MessageLanguage language) {
  ConversionOptions& conversion = options.conversion;
  if (options.check || !conversion.makeBackup) return;
  if (settings.backupDir && !settings.backupDir->empty() && conversion.backupFolder.empty())
    conversion.backupFolder = *settings.backupDir;
  if (settings.backupSuffix && !options.suffixGiven) {
    if (settings.backupSuffix->empty() || settings.backupSuffix->find('/') != std::string::npos)
      say(noticeLine(file.native(),
                     message(language, "backup_suffix \"{1}\" はバックアップの名前になりません。.bak を使います",
                             {*settings.backupSuffix})));
    else conversion.backupSuffix = *settings.backupSuffix;
  }
}

// The settings file's kinds, server charset and backups where the command line gave none; what
// could not be used there is said, and its default stands.
void applySettingsFile(CliOptions& options, MessageLanguage language) {
  const std::filesystem::path file = conversionSettingsPath();
  const ConversionSettings settings = loadConversionSettings(file);
  say(settingsProblemLines(file.native(), settings.problems, language));
  if (settings.kinds && !options.kindsGiven) options.conversion.kinds = *settings.kinds;
  if (settings.fixServerCharset && !options.fixServerCharsetGiven && !options.check)
    options.conversion.fixServerCharset = *settings.fixServerCharset;
  applyBackupSettings(file, settings, options, language);
  // The backups' folder by its full path, as the files are named in the log and the report.
  std::filesystem::path& backups = options.conversion.backupFolder;
  if (!backups.empty()) backups = std::filesystem::absolute(backups).lexically_normal();
}

// Taking conversions back (--runs, --undo, --restore): the status the program ends with.
int takeBack(CliOptions& options, MessageLanguage language) {
  // A restore looks for backups where the settings file has them made, as a conversion does.
  if (options.restore) applySettingsFile(options, language);
  const std::filesystem::path memory = memoryFolder();
  if (options.runs) {
    const std::vector<RememberedRun> runs = rememberedRuns(memory);
    return writeAll(STDOUT_FILENO, runListing(runStandings(runs))) ? 0 : 1;
  }
  const WriteMode mode = options.dryRun ? WriteMode::DryRun : WriteMode::Write;
  if (options.dryRun && !options.quiet)
    say("sarnavel-cli: " +
        message(language, "試し（dry run）: 各ファイルを調べ、することをログに書きます。何も書き換えません") + "\n");
  std::optional<ReportOutput> report;
  if (!options.reportPath.empty()) {
    IntakeReport named;  // the report is never written over a file to restore
    named.files = PathList(options.paths);
    if (const int refused = openReport(options, named, report, language)) return refused;
  }
  const bool reportOnStdout = options.reportPath == "-";
  LogWriter log(reportOnStdout ? STDERR_FILENO : STDOUT_FILENO, language);
  RunReport lines(mode, TargetEncoding::Utf8);
  CheckListing listing;
  std::optional<ProgressLine> progress;
  if (options.progress == CliOptions::Progress::Always) progress.emplace(STDERR_FILENO, true);
  Outputs out{log,           report,          lines,    listing, {mode, TargetEncoding::Utf8, {}, language},
              options.quiet, options.verbose, language, progress};
  out.start = MessageId::UndoStarted;
  lines.takesBack(options.undo ? "undo" : "restore");
  const RunObserver observer = observerFor(false, out);
  RunSummary summary;
  if (options.undo) {
    const std::string asked = options.paths.empty() ? std::string() : options.paths.front();
    UndoRequest request{memory, asked, options.force, mode};
    request.chosen = [&](bool redo) {
      if (!redo) return;
      out.start = MessageId::RedoStarted;
      lines.takesBack("redo");
    };
    const UndoSummary undo = undoWorker(request, observer, stopFlag());
    if (undo.refusal != UndoRefusal::None) {
      say(undoRefusalLine(undo, asked, language));
      return 1;
    }
    summary = undo.run;
  } else {
    RestoreRequest request{{options.paths.begin(), options.paths.end()}, options.conversion.backupSuffix, memory, mode};
    request.backupFolder = options.conversion.backupFolder;  // made whole by applySettingsFile
    summary = restoreWorker(request, observer, stopFlag());
  }
  if (progress) progress->clear();
  log.write(endMessage(summary));
  if (report) {
    report->write(lines.summaryLine(summary));
    report->flush();
  }
  if (summary.cancelled && stopSignal() != 0) return 128 + stopSignal();
  if (log.failed() || (report && report->failed())) return 1;
  return summary.failures > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened: a closed standard output must not become a converted file.
  const StandardDescriptors standard = openStandardDescriptors();
  installStopSignals();
  tuneMallocForRuns();

  const MessageLanguage language = messageLanguage();
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CliParse parse = parseCommandLine(arguments, language);
  if (parse.options.help) return writeAll(STDOUT_FILENO, usageText(language)) ? 0 : 1;
  if (parse.options.listEncodings) return writeAll(STDOUT_FILENO, encodingListText()) ? 0 : 1;
  if (parse.options.version) return writeAll(STDOUT_FILENO, "sarnavel-cli " + std::string(kVersion) + "\n") ? 0 : 1;
  if (!parse.error.empty()) {
    say("sarnavel-cli: " + visiblePath(parse.error) + "\n" + tryHelp(language));
    return 2;
  }
  const bool reportOnStdout = parse.options.reportPath == "-";
  // The log goes to standard error when the report takes standard output: both must be open.
  if (standard.outputWasClosed || (reportOnStdout && standard.errorWasClosed)) {
    const std::string stream = message(language, standard.outputWasClosed ? "標準出力" : "標準エラー出力");
    const std::string what = message(language, standard.outputWasClosed && reportOnStdout ? "レポート" : "ログ");
    say("sarnavel-cli: " +
        message(language, "{1}が閉じています: {2}を書く先がありません。何も変換しませんでした", {stream, what}) + "\n");
    return 1;
  }

  if (parse.options.runs || parse.options.undo || parse.options.restore) return takeBack(parse.options, language);

  applySettingsFile(parse.options, language);
  const CliOptions& options = parse.options;
  IntakeReport intake;
  offerPaths(std::vector<std::filesystem::path>(options.paths.begin(), options.paths.end()), intake,
             options.conversion.kinds);
  say(intakeNoticeLines(intake, options.conversion.kinds, language));
  if (!options.check && !options.targetGiven && !options.quiet)
    say("sarnavel-cli: " + message(language, "変換先の文字コードの指定（-t）がありません: Shift_JIS に変換します") +
        "\n");
  if (options.dryRun && !options.quiet)
    say("sarnavel-cli: " +
        message(language, "試し（dry run）: すべてのファイルをメモリー上で読んで変換します。何も書きません") + "\n");
  if (stopSignal() != 0) return 128 + stopSignal();

  // Nor is a file the run is to read written to as standard output or error, nor one a page
  // may load, which the run learns only as it goes.
  if (standardStreamClashes(intake, language) || backupFolderRefused(options, intake, language)) return 2;
  std::optional<ReportOutput> report;
  if (const int refused = openReport(options, intake, report, language)) return refused;

  const RunRequest request = requestOf(options, intake);
  LogWriter log(reportOnStdout ? STDERR_FILENO : STDOUT_FILENO, language);
  RunReport lines(request.mode, options.conversion.targetEncoding);
  CheckListing listing;
  std::optional<ProgressLine> progress;
  if (options.progress == CliOptions::Progress::Always ||
      (options.progress == CliOptions::Progress::IfTerminal && ::isatty(STDERR_FILENO)))
    progress.emplace(STDERR_FILENO, reportOnStdout || ::isatty(STDOUT_FILENO));
  Outputs out{log,
              report,
              lines,
              listing,
              {request.mode, options.conversion.targetEncoding, {}, language},
              options.quiet,
              options.verbose,
              language,
              progress};
  const RunObserver observer = observerFor(options.check, out);
  const RunSummary summary = conversionWorker(request, observer, stopFlag());
  if (progress) progress->clear();
  if (!options.check && summary.started) log.write(endMessage(summary));
  if (options.check && !summary.cancelled) log.write(listing.summary());
  if (report) {
    report->write(lines.summaryLine(summary));
    report->flush();
  }
  if (summary.cancelled && stopSignal() != 0) return 128 + stopSignal();
  if (log.failed() || (report && report->failed())) return 1;
  if (options.check) return listing.anyProblem() || intakeMissedSomething(intake) ? 1 : 0;
  return summary.failures > 0 || intakeMissedSomething(intake) ? 1 : 0;
}
