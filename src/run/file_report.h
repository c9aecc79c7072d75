// What became of one file of a run: its result code, the engine's record of the document, and
// the facts the log and the report word (report/file_notes.h).
//
// `notes` are the run's and the store's facts about the file: why it was left as it was, a
// recovery copy in the way, a file outside what the user named, ... each a code with the
// values its words need; the report words them (and what the document itself calls for) as
// the lines under the file's log line. `document` is the engine's record
// (engine/document_result.h) once the file was converted (in a dry run too), whether or not
// it could then be written, or read (a check); it carries out to the observer everything a
// report needs. What loaded the file (`loader`) and the document make up what the check and
// the report say of the file's bytes (report/source_facts.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "store/file_store.h"
#include "store/result_code.h"
#include "run/rewritten_file.h"
#include "store/run_memory.h"

namespace sarnavel {

// What a note says. Its stable code and its words are the report's (report/file_notes.h).
enum class NoteCode {
  StoreProblem,        // the store left the file as it was, or did not read it: `problem` says why
  ModuleScriptLeft,    // a page loads it as a module script, which browsers read as UTF-8 only: left so
  RecoveryPending,     // a recovery copy lies beside it, which a run of the user's may not use: values {copy}
  PagesFailed,         // no page that loads it was converted, so it was left: values {more, page...}
  SomePagesFailed,     // pages that load it failed and still name its former encoding: values as above
  OutsideNamed,        // outside what the user named, converted because a page loads it
  FolderNotFlushed,    // its folder's flush failed after it was replaced
  UntakenPage,         // pages the run does not take load it: values {page...}
  ServerCharset,       // an .htaccess names another encoding: values {charset, .htaccess, line, directive}
  HtaccessUnread,      // an .htaccess that governs it was not read: values {.htaccess, why}, why one of
                       // link, not-regular, unreadable, too-large
  NotInNamedEncoding,  // bytes that are no character of the encoding the user named, so it was
                       // left: values {encoding, count, line, column} (the first such byte)
  // A template whose code could not be kept as written, left (engine/template_conversion.h):
  // values {why, line, column, code point}, why one of invalid-bytes, lacked-character,
  // encoding, backslash-byte
  CodeLeft,
  // An SSI page includes files the run does not convert (run/included_fragments.h):
  // values {path...}
  FragmentNotConverted,
  // An .htaccess line that named the files' former encoding now names the target
  // (server_charset_fix.h): values {former charset, .htaccess, line, directive as now written,
  // backup (empty: none)}
  ServerCharsetFixed,
  // An .htaccess line the run would have rewritten, kept: values {charset, .htaccess, line,
  // directive, why, detail}, why one of cancelled, not-walked, passed-over, file-left and
  // untaken-page (detail the folder, file or page), changed (since the run read it)
  ServerCharsetKept,
  // A plain text (or an XML document's comment, instruction or name) holds characters its
  // target lacks, so it was left (no --allow-loss): values
  // {count, then for each of the first few: code point (decimal), line, column}
  LostCharacters,
  // Taking a run back (undo_run.h, put_back.h):
  NotAsWritten,   // it no longer holds what the run wrote: left as it is
  BackupMissing,  // its backup is missing or no regular file: values {backup}
  // A restore from a backup folder found more than one backup that may be the file's, and
  // took none: values {each backup}
  BackupAmbiguous,
  BackupChanged,  // its backup no longer holds the former content: values {backup}
  WrittenLater,   // a later run that was not taken back wrote it again: values {run}
  AlreadyBack,    // it held its former content already: nothing written
  BackupKept,     // put back, but its backup stays, as the memory could not record it: values {backup}
};

// One thing to say about a file: paths and labels as they are (bytes), numbers in decimal;
// `more` the number of pages beyond those named.
struct FileNote {
  NoteCode code = NoteCode::StoreProblem;
  StoreProblem problem = StoreProblem::None;
  std::vector<std::string> values = {};
  bool operator==(const FileNote&) const = default;
};

// What is said of a file's encoding from outside it: by the page that loads it, the charset its
// element names and the encoding the page lends (the first page in pass order); by the web
// server, the charset an .htaccess has it announce (run/server_charset.h).
struct LoadEvidence {
  std::string charset;
  std::optional<SourceEncoding> page;
  std::string server = {};
  bool included = false;  // an SSI page includes it (included_fragments.h), and declares for it
};

struct FileReport {
  ResultCode result = ResultCode::Success;
  std::vector<FileNote> notes;
  std::optional<DocumentResult> document;
  ContentForm form = ContentForm::Bytes;  // how the bytes held the text (UTF-16 by its byte order)
  std::filesystem::path backup;           // the backup its write kept the former content in; empty for none
  // What the conversion left of a file the run visits again, when the run asked and it is sure
  // (rewritten_file.h).
  std::optional<RewrittenFile> rewritten;
  // The file held exactly what an earlier run wrote: what the run's memory knows of that write.
  std::optional<RememberedWrite> remembered;
  // A file written, when the run records what it writes: the facts of the write, for the
  // memory (run_memory.h; what the run knows beyond the file, the run adds).
  std::optional<WriteRecord> written;
};

}  // namespace sarnavel
