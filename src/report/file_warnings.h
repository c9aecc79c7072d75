// The warnings of a conversion (and of a dry run) that its document's record calls for: notes
// under a file's log line that say what did not travel as itself and what the site will now do
// differently. Each is a NoteLine with a stable code, the position it concerns (0:0 for the
// whole file) and a Japanese line:
//
//   lost-characters     characters the target could not hold and no escape could carry
//                       (written as a geta mark or U+FFFD): how many, and the first few with
//                       their line:column;
//   escaped-characters  characters the target could not hold, written as escapes of the
//                       file's language (the browser shows the same; the source text differs);
//   invalid-bytes       bytes of the source that formed no character;
//   form-encoding       a form without accept-charset in a page whose encoding changes: the
//                       browser now submits it in the new encoding;
//   query-encoding      a link or form action whose query string holds non-ASCII text, in a
//                       page whose encoding changes: its percent-encoding changes;
//   encoding-uncertain  the bytes did not settle the encoding: what loads the file (or the rest
//                       of the site) chose another reading than the bytes alone would have, or
//                       two readings were all but even; both are named.
// A file with nothing to say gets no note. Pure.
#pragma once

#include <string_view>
#include <vector>

#include "engine/document_result.h"
#include "report/message_language.h"
#include "report/note_line.h"
#include "text/target_encoding.h"

namespace sarnavel {

// The warnings the engine's record of one converted file gives, in `language`'s sentences.
std::vector<NoteLine> documentWarnings(const DocumentResult& record, TargetEncoding target,
                                       MessageLanguage language = MessageLanguage::Japanese);

// Whether the page's encoding, as a browser sees it, changes when it is written in `target`:
// always, unless its bytes were in the target already, or were ASCII declared as the target.
bool pageEncodingChanges(const DocumentResult& record, TargetEncoding target);

}  // namespace sarnavel
