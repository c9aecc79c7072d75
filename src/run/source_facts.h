// What a file's bytes are, what names their encoding, and what is wrong with them as they
// stand: the check mode's verdict on a file (source_check.h) and a part of every report.
//
// Problems, each a FileNote with its code (the log does not write them; the check's line and
// the report do):
//   declaration-mismatch  a declaration of the file's own (meta, meta charset, XML declaration,
//                         @charset) names another encoding than the bytes are in, or nothing
//                         a browser knows;
//   no-declaration        a page or style sheet with non-ASCII text that nothing declares (no
//                         declaration, no byte-order mark, no charset on a loading element,
//                         no loading page), so browsers guess;
//   invalid-bytes         bytes that form no character in the encoding the file is in (the
//                         position is the first);
//   loaded-mismatch       a sheet or script a page loads is in another encoding than the
//                         element's charset says, or than the page when the element says
//                         nothing (a sheet whose own @charset is right is read right whatever
//                         the element says; a byte-order mark overrides both);
//   byte-order-mark       a UTF-8 byte-order mark (it breaks PHP includes);
//   mixed-line-breaks     more than one kind of line break.
// ASCII bytes agree with every declaration. Pure.
#pragma once

#include "engine/document_reading.h"
#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "run/file_report.h"

namespace sarnavel {

// `record`: the file's record (its decision, declarations as they were, invalid bytes, line
// breaks before); `evidence`: what the run knew of the file when it read it (the loading
// element's charset, the loading page's encoding).
SourceFacts sourceFacts(DocumentKind kind, const DocumentResult& record, ContentForm form,
                        const EncodingEvidence& evidence);

// Whether a label names an encoding that reads `bytes` (decided to be in `encoding`) as they are.
bool labelFits(std::string_view label, SourceEncoding encoding);

}  // namespace sarnavel
