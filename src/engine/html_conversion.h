// Converts the text of one HTML page and leaves it declaring its new encoding.
//
// Steps: the reading step (document_reading.h) turns the page's bytes into the working text,
// deciding its encoding from the bytes, its declaration (the first declaring meta, as browsers
// read it, with or without an `html` tag) and what the caller knows; the converter carries it
// into the target, a character the target lacks escaped in the syntax of the region it stands
// in (html/page_regions.h); then, on the converted text, in one walk and one pass of edits:
// every declaration names the target, the one the browser obeys within its first 1024 bytes
// (page_declarations.h); the charset attributes of the sheets and scripts it loads are set,
// the resolver saying which references lead to files of their kind (charset_attributes.h);
// and a script element a script writes (document.write) names the target in the script's
// string when it loads a file the run converts, and is noted otherwise
// (html/script_written_tags.h), as is a charset a script sets on an element it makes
// (charset_attributes.h).
//
// Contract: the converted text replaces `text` and the record says what happened
// (document_result.h): the decision, each declaration and its fate, every reference, every
// escape. Throws std::bad_alloc when memory runs out, `text` then as it was. Nothing
// process-wide is read or written, so pages can be converted on several threads at once.
#pragma once

#include <string>
#include <vector>

#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "engine/page_edits.h"
#include "engine/reference_resolver.h"
#include "engine/target_options.h"
#include "html/code_islands.h"

namespace sarnavel {

[[nodiscard]] DocumentResult convertHtml(std::string& text, const TargetChoice& options,
                                         const ReferenceResolver& resolver, const EncodingEvidence& evidence = {});

// The same, the last pass of edits left to the caller: `text` is the converted page before
// them and `edits` (sorted, see page_edits.h) what makes it the page convertHtml gives; the
// record is the edited page's. A writer can then take the page in pieces (editedPieces), and
// the tail of a page behind an edit near its top is not moved.
[[nodiscard]] DocumentResult convertHtmlLeavingEdits(std::string& text, std::vector<PageEdit>& edits,
                                                     const TargetChoice& options, const ReferenceResolver& resolver,
                                                     const EncodingEvidence& evidence = {});

// The same for an XHTML page, which browsers may read as XML: with a target other than UTF-8 it
// also gets an XML declaration naming it, or its declaration an encoding (page_declarations.h:
// xmlDeclarationEdits).
[[nodiscard]] DocumentResult convertXhtmlLeavingEdits(std::string& text, std::vector<PageEdit>& edits,
                                                      const TargetChoice& options, const ReferenceResolver& resolver,
                                                      const EncodingEvidence& evidence = {});

// What a page is converted with, beyond its text.
struct PageConversion {
  const TargetChoice& options;
  const ReferenceResolver& resolver;
  const EncodingEvidence& evidence;
  bool xml = false;  // an XHTML page: its XML declaration names a target other than UTF-8
  // A server template's code islands (html/code_islands.h) are converted but never edited, and
  // no tag or comment in them is seen: the walk reads the page with them blanked.
  IslandSyntax islands = IslandSyntax::None;
  bool inPlace = false;  // a template or a fragment (page_declarations.h: DeclaredTarget)
};

// The same for any page, as `with` says (the three above are its common forms).
[[nodiscard]] DocumentResult convertPageLeavingEdits(std::string& text, std::vector<PageEdit>& edits,
                                                     const PageConversion& with);

}  // namespace sarnavel
