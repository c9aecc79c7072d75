// What the progress dialog keeps of a run: each log entry with what it says of its file
// (failed, has warnings), and the JSON Lines report of the same run (report/run_report.h).
//
// A conversion (or dry run) logs as the command-line tool does: the start line, each file's
// line with its warnings under it, then the summary. A check logs its listing instead
// (report/check_listing.h): one line per file, then the listing's summary; a file it could not
// read has failed, a file with a problem warns. The run's own lines (its start and end, what it
// says of the user's memory) belong to no file.
//
// Paths show readably in the log (readable_path.h) and visibly in the report, as the
// command-line tool writes them (report/visible_path.h), so a script can read both reports.
// Not thread-safe: `draft` may run on any thread, everything else on the thread that logs.
#pragma once

#include <string>

#include <QString>

#include "report/check_listing.h"
#include "report/run_messages.h"
#include "report/run_report.h"
#include "run/conversion_run.h"

namespace sarnavel {

struct LogEntry {
  QString text;         // the entry's lines, each ending in "\n"
  bool ofFile = false;  // false: a line of the run as a whole
  bool failed = false;
  bool warns = false;
};

class RunTranscript {
 public:
  RunTranscript(WriteMode mode, TargetEncoding target);

  // The run's first entry; a check has none (its text is empty).
  LogEntry start() const;
  // The run takes a conversion back: its first entry says so.
  void takesBack() { start_ = MessageId::UndoStarted; }
  // The report's line of the file but its warnings (RunReport::draft); any thread.
  std::string draft(const FileOutcome& outcome) const;
  // The file's entry; its report line is kept.
  LogEntry file(const FileOutcome& outcome);
  // The run's last entry; the report's summary is kept.
  LogEntry end(const RunSummary& summary);
  // What the run said of the user's memory.
  static LogEntry memoryNotice(MemoryNotice notice, const std::filesystem::path& folder);

  // The report so far, JSON Lines.
  const std::string& report() const { return report_; }

 private:
  WriteMode mode_;
  MessageId start_ = MessageId::Started;
  TargetEncoding target_;
  RunReport lines_;
  CheckListing listing_;
  std::string report_;
};

}  // namespace sarnavel
