// Converts one XML document (a feed: .xml, .rss, .rdf, .atom) and leaves its XML declaration
// naming the new encoding.
//
// The document is read as an XML reader reads it: a byte-order mark first, then the encoding
// its XML declaration names (xmlDeclarationEncoding, the reader the check uses too; a
// declaration the bytes refute is passed over, encoding_decision.h), then the bytes alone.
// Its characters are then written in the target, each one the target lacks as what XML has
// for it where it stands:
//   in text and attribute values   a hexadecimal character reference, &#x2460;
//   in a CDATA section             which reads no reference: the section is closed before the
//                                  character and opened again after its reference,
//                                  ]]>&#x2460;<![CDATA[ (the text read is the same)
//   in a comment, a processing     nothing can stand for it: the geta mark (U+3013) is written
//   instruction or a name          and the character recorded as lost, as in a plain text, so
//                                  the caller may leave the file as it was (run/file_drivers.h)
// A target other than UTF-8 needs a declaration naming it: one is added when there is none
// (on a line of its own), or its encoding added after its version; a declaration's encoding
// is made to name the target whatever the target (page_declarations.h, the XHTML pages' own
// edits). A UTF-8 document without a declaration gets none, as XML reads it as UTF-8.
// Positions in the record are line and column of the source's characters.
//
// Contract: the converted text replaces `text`, and the record says what happened
// (document_result.h). Throws std::bad_alloc when memory runs out, `text` then as it was.
#pragma once

#include <string>

#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "engine/target_options.h"

namespace sarnavel {

[[nodiscard]] DocumentResult convertXml(std::string& text, const TargetChoice& options,
                                        const EncodingEvidence& evidence = {});

}  // namespace sarnavel
