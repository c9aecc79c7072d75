// What became of one file of a run: its result code, the engine's record of the document, and
// the lines that say more about it.
//
// `notes` are what the log writes as indented lines under the file's own log line, each a
// short Japanese text with a stable code for machines: why a file was left as it was, a
// reference that was not followed, a file reached outside what the user named. A file with
// nothing to say has none, and its log entry is exactly the message of its result code. `document` is the engine's record
// (engine/document_result.h) once the file was converted (in a dry run too), whether or not it
// could then be written; it carries out to the observer everything a report needs. `facts` say
// what the file's bytes are, what declares them and what is wrong with them as they were
// read (source_facts.h): the check mode's verdict, and part of every report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "store/result_code.h"
#include "run/rewritten_file.h"
#include "store/run_memory.h"

namespace sarnavel {

// One thing the log says about a file.
struct FileNote {
  std::string code;  // short and stable: "reference-refused", "changed-during-conversion", ...
  TextPosition at;   // where in the source it concerns; 0:0 when it concerns the whole file
  std::string text;  // the Japanese line the log writes
  bool operator==(const FileNote&) const = default;
};

// A charset something names for the file: its own declaration, or the element that loads it.
struct DeclaredCharset {
  std::string where;    // "meta", "meta-charset", "xml", "@charset", "link", "script"
  std::string charset;  // the label as written
  bool operator==(const DeclaredCharset&) const = default;
};

struct SourceFacts {
  std::string encoding;  // the check's name of what the bytes are in: "shift_jis", "utf-8-bom", ...
  std::vector<DeclaredCharset> declared;
  std::vector<FileNote> problems;  // codes "declaration-mismatch", "no-declaration", ...
};

struct FileReport {
  ResultCode result = ResultCode::Success;
  std::vector<FileNote> notes;
  std::optional<DocumentResult> document;
  ContentForm form = ContentForm::Bytes;  // how the bytes held the text (UTF-16 by its byte order)
  SourceFacts facts;                      // once the file was read
  bool backedUp = false;                  // its former content was kept as a new PATH.bak
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
