// Converts the text of one HTML page and leaves it declaring its new encoding.
//
// Steps: the page's encoding is decided from its bytes, its declaration and what the caller
// knows (encoding_decision.h); a UTF-8 page loses one byte-order mark and is escaped
// (page_escaping.h); a page read as Latin-1 (it declares Latin-1, with an `html` tag) is read as
// code page 1252 with letters decomposed (é becomes e and the reference of U+0301) and
// escaped; the whole text goes through the converter; then, on the converted text, the
// content-type declaration
//   <meta http-equiv="Content-Type" content="text/html; charset=NAME" />
// is written: in place of the old one (keeping its closing style), moved before the title
// when the old one stood after the title's start tag, or inserted right after the head start
// tag when there was none (always with " />"), or after the `html` start tag when the page
// has no head tag; a page without an `html` tag gets none. HTML5 declarations
// (<meta charset="...">) and the encoding of an XML declaration are rewritten to name the
// target too, and a page that has an HTML5 declaration gets no content-type one added. Last,
// the charset attributes of the sheets and scripts it loads are set, the resolver saying which
// references lead to files of their kind (charset_attributes.h).
//
// Contract: Success with the converted text, what the page loads in `references` and the
// decision in `*decided` (when given); or OutOfMemory with the text as it was. Nothing
// process-wide is read or written, so pages can be converted on several threads at once.
#pragma once

#include <string>

#include "engine/target_options.h"
#include "engine/encoding_decision.h"
#include "engine/page_references.h"
#include "engine/reference_resolver.h"
#include "run/result_code.h"

namespace sarnavel {

ResultCode convertHtml(std::string& text, const TargetChoice& options, const ReferenceResolver& resolver,
                       PageReferences& references, const EncodingEvidence& evidence = {}, EncodingDecision* decided = nullptr);

}  // namespace sarnavel
