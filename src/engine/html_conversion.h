// Converts the text of one HTML page and leaves it declaring its new encoding.
//
// Steps: the reading step (document_reading.h) turns the page's bytes into the working text,
// deciding its encoding from the bytes, its declaration (found by the head analysis, counted
// only in a page with an `html` tag) and what the caller knows; the converter carries it into
// the target; then, on the converted text, the content-type declaration
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
// Contract: the converted text replaces `text` and the record says what happened
// (document_result.h): the decision, each declaration and its fate, every reference, every
// escape. Throws std::bad_alloc when memory runs out, `text` then as it was. Nothing
// process-wide is read or written, so pages can be converted on several threads at once.
#pragma once

#include <string>

#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "engine/reference_resolver.h"
#include "engine/target_options.h"

namespace sarnavel {

[[nodiscard]] DocumentResult convertHtml(std::string& text, const TargetChoice& options,
                                         const ReferenceResolver& resolver, const EncodingEvidence& evidence = {});

}  // namespace sarnavel
