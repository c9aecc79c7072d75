// What a file's bytes are, what names their encoding, and what is wrong with them as they
// stand: the check mode's verdict on a file (run/source_check.h) and a part of every report,
// made of the engine's record of the file and what loaded it.
//
// Problems, each a NoteLine with its code (the log does not write them; the check's line and
// the report do):
//   declaration-mismatch  a declaration of the file's own (meta, meta charset, XML declaration,
//                         @charset) names another encoding than the bytes are in, or nothing
//                         a browser knows; or a template's code names another encoding for
//                         the server to send or to work in (at the line of the code);
//   no-declaration        a page or style sheet with non-ASCII text that nothing declares (no
//                         declaration, no byte-order mark, no charset on a loading element,
//                         no loading page, no server, no SSI page including it), so browsers
//                         guess (a plain text, which cannot declare, is not told so);
//   server-declared       the same, but the web server announces a charset (an .htaccess): the
//                         file says nothing itself, and is guessed elsewhere;
//   (a charset the server announces that does not fit the bytes is a declaration-mismatch);
//   invalid-bytes         bytes that form no character in the encoding the file is in (the
//                         position is the first);
//   loaded-mismatch       a sheet or script a page loads is in another encoding than the
//                         element's charset says, or than the page when the element says
//                         nothing (a sheet whose own @charset is right is read right whatever
//                         the element says; a byte-order mark overrides both);
//   byte-order-mark       a UTF-8 byte-order mark (it breaks PHP includes), but in a plain text;
//   mixed-line-breaks     more than one kind of line break;
//   recovery-pending      (a check's) a recovery copy lies beside the file (file_notes.h).
// ASCII bytes agree with every declaration. Pure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "report/note_line.h"
#include "run/conversion_run.h"

namespace sarnavel {

// A charset something names for the file: its own declaration, or the element that loads it.
struct DeclaredCharset {
  std::string where;    // "meta", "meta-charset", "xml", "@charset", "link", "script", "server"
  std::string charset;  // the label as written
  bool operator==(const DeclaredCharset&) const = default;
};

struct SourceFacts {
  std::string encoding;  // the check's name of what the bytes are in: "shift_jis", "utf-8-bom", ...
  std::vector<DeclaredCharset> declared;
  std::vector<NoteLine> problems;  // codes "declaration-mismatch", "no-declaration", ...
};

// `record`: the file's record (its decision, declarations as they were, invalid bytes, line
// breaks before); `loader`: what the element and the page that load the file say of it.
SourceFacts sourceFacts(DocumentKind kind, const DocumentResult& record, ContentForm form, const LoadEvidence& loader);

// The facts of a file's outcome: its document's (nothing when it was not read), then the
// problems the run found beside its bytes.
SourceFacts sourceFactsOf(const FileOutcome& outcome);

// Whether a label names an encoding that reads `bytes` (decided to be in `encoding`) as they are.
bool labelFits(std::string_view label, SourceEncoding encoding);

}  // namespace sarnavel
