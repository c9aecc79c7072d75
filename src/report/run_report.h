// The machine-readable report of a run: JSON Lines, one object per file's log entry in log
// order, then one summary object. The format is described, with a worked example, in
// docs/report.md; its summary carries "version": 1, raised only when a field changes meaning
// or goes away.
//
// A file's object: path (visible form, as the log writes it), kind, pass, result (100-104),
// source {encoding, decidedBy}, declared [{where, charset}], target, declaration (what became
// of the declaration the browser reads: replaced, moved-before-title, moved-earlier, added, rewritten, kept,
// or null), escaped and lost [{codePoint, count, first, writtenAs}], invalidBytes {count,
// first}, lineBreaks {before, after} of {crlf, lf, cr}, bytesBefore, bytesAfter, backup (the
// path of the backup this run made, or null), references [{kind, reference, status, charset}], problems and warnings
// [{code, line, text}] (source_facts.h, file_notes.h). A check fills what it read (no target, declaration, escapes or
// backup: null or empty); a file that could not be read has only path, kind, pass and result.
//
// A file's line is made in two steps so that the costly one may run on any thread: `draft`
// (const, thread-safe) writes everything but the warnings, which the notes of the in-order step
// may still add to; `finish`, on the thread that logs, adds them and counts the file in the
// summary. RunReport keeps those tallies: `finish` and `summaryLine` are for one writer.
#pragma once

#include <map>
#include <set>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/note_line.h"
#include "run/conversion_run.h"

namespace sarnavel {

class RunReport {
 public:
  // `mode`: the run's (a conversion, a dry run, a check).
  RunReport(WriteMode mode, TargetEncoding target);

  // The file's line (ending in "\n"); `shownPath` is the path as the log writes it.
  std::string fileLine(const FileOutcome& outcome, std::string_view shownPath);
  // The line of `outcome` but its warnings: what fileLine writes up to them. Reads everything
  // of the outcome but its notes; callable from several threads at once.
  std::string draft(const FileOutcome& outcome, std::string_view shownPath) const;
  // The whole line from the draft of the same file, with its warnings (warningsOf the
  // outcome, file_notes.h).
  std::string finish(const FileOutcome& outcome, const std::vector<NoteLine>& warnings, std::string draft);
  // The closing summary line: the mode, counts of files (each once) and of their entries (a
  // sheet both listed and loaded has two), results, encodings, problems and warnings (each
  // counted once per file that has it; a file's encoding and problems as its first entry read
  // it, before the run changed it).
  std::string summaryLine(const RunSummary& summary) const;
  // The summary's mode when the run writes and takes files back: "undo", "redo" or "restore".
  void takesBack(std::string_view mode) {
    if (mode_ == WriteMode::Write) takingBack_ = mode;
  }

 private:
  WriteMode mode_;
  std::string takingBack_;
  TargetEncoding target_;
  std::size_t files_ = 0, entries_ = 0;
  std::map<std::string, std::size_t> encodings_, problems_, warnings_;
  // The warnings counted of each listed sheet and script (passes 2 and 3), which a later pass
  // may visit again as a file pages load: that second entry counts no file anew.
  std::map<std::string, std::set<std::string>, std::less<>> listedWarnings_;
};

}  // namespace sarnavel
