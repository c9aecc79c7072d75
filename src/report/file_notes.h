// The words of what the log and the report say about one file. The run and the store hand over
// facts (run/file_report.h: each note's code and values, the engine's record of the document,
// the outcome's result); here they become the lines the log writes under the file's own line
// and the report's "warnings", each with its stable code.
//
// A file's warnings, in this order:
//  1. of a conversion or a dry run that converted the file, what its document calls for: each
//     reference that was not followed (reference-refused, reference-foreign-owner), then, when
//     the file was converted, its warnings (file_warnings.h) and where it cannot show what it
//     showed before (fidelity_notes.h);
//  2. the run's notes, in the order the run gave them:
//     the store's reasons    why a file was left as it was (changed-during-conversion,
//                            replaced-before-read, file-not-writable, folder-not-writable, ...,
//                            disk-full, io-error), each its own code;
//     module-script          a module script left in UTF-8, the one encoding browsers read it in;
//     recovery-pending       a recovery copy lies beside the file (its path);
//     pages-failed           the pages that load it failed: it is left, or (converted) those
//                            pages still name its former encoding (the first three, and how many
//                            more);
//     outside-named          converted outside what the user named, because a page loads it;
//     folder-not-flushed     the folder could not be flushed after the file was replaced;
//     untaken-page           pages of kinds the run does not take load it (untaken_pages.h);
//     server-charset         an .htaccess names another encoding (run/server_charset.h);
//     htaccess-unread        an .htaccess that governs the file was not read, and why;
//     not-in-named-encoding  bytes that are no characters of the encoding named (-f): left;
//     code-left              a template whose code could not be kept as written: left;
//     fragment-not-converted the files an SSI page includes that the run does not convert;
//   and of taking a run back (run/undo_run.h): changed-since-run, backup-missing,
//     backup-ambiguous (a restore's backup folder holds several), backup-changed,
//     written-later (the later run), already-back, backup-kept.
// A file with nothing to say gets no note. Pure.
//
// The verbose log (sarnavel-cli -v) puts one more line first: what the file was read as and
// what decided it (source), in the report's own names (report_names.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/message_language.h"
#include "report/note_line.h"
#include "run/conversion_run.h"

namespace sarnavel {

// What the words of a run's notes depend on beside the facts.
struct NoteWording {
  WriteMode mode = WriteMode::Write;
  TargetEncoding target = TargetEncoding::ShiftJis;
  // How the log shows a page named in a note on the pages that load a file; when not set,
  // visiblePath (visible_path.h).
  std::function<std::string(std::string_view path)> pathForLog;
  // The sentences' language (message_language.h); the codes are the same in every language.
  MessageLanguage language = MessageLanguage::Japanese;
};

// The file's warnings, in the order described above.
std::vector<NoteLine> warningsOf(const FileOutcome& outcome, const NoteWording& wording);

// What the file was read as and what decided it ("shift_jis（declaration）"); none for a file
// the engine did not read.
std::optional<NoteLine> decisionNote(const FileOutcome& outcome, MessageLanguage language);

// The words of one of the run's notes.
NoteLine noteLine(const FileNote& note, const NoteWording& wording);

}  // namespace sarnavel
