// Converts the text of one style sheet and leaves it declaring its new encoding.
//
// The sheet starts with an `@charset "name";` rule naming the target in lower case
// ("shift_jis", "euc-jp", "iso-2022-jp", "utf-8"), at its very first byte, the only place
// browsers read one: a well-formed rule there (double quotes, any white space, a semicolon) is
// replaced, with the line break right after it; otherwise the rule is put at the very start,
// and the well-formed rules further on (after a comment, which browsers ignore; comments are
// not skipped in the search) are made to name the target too. So a sheet converted again
// comes out byte for byte the same. The rule's line break follows the line-ending choice, or,
// when line endings stay unchanged, the first kind of break the sheet uses (CR+LF when it has
// none). The sheet is read by the reading step (document_reading.h), a rule at its first byte
// counting as its declaration, as browsers read it (`@charset "` exactly); then the whole text
// goes through the converter.
//
// Given a resolver, the sheets its @import rules name (css_imports.h) are resolved against the
// sheet's folder as a page's references are (charset_attributes.h, DocumentReferences: by the
// bytes of their names) and listed in the record, with what they lead to, so that the run
// converts them too; an imported sheet says nothing of its encoding but by its own rule, so no
// byte of the rule changes.
//
// Contract: the converted text replaces `text`, and the record says what happened
// (document_result.h). Throws std::bad_alloc when memory runs out, `text` then as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/document_result.h"
#include "engine/encoding_decision.h"
#include "engine/reference_resolver.h"
#include "engine/target_options.h"

namespace sarnavel {

[[nodiscard]] DocumentResult convertCss(std::string& text, const TargetChoice& options,
                                        const EncodingEvidence& evidence = {},
                                        const ReferenceResolver* imports = nullptr);

// The label a sheet's @charset rule declares, as browsers read it: `@charset "` at its very
// first byte, a label without a quote, then `";`, the quote within the first 1024 bytes; nothing
// otherwise. The conversion's decision, its record of the former declaration and the check mode
// all read a sheet's declaration with it, so they never disagree.
std::optional<std::string> declaredCharsetRule(std::string_view sheet);

}  // namespace sarnavel
