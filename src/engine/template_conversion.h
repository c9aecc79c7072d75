// Converts a server template (PHP, ASP, JSP): the page around its code as a page's, the code
// re-encoded byte for byte.
//
// The whole text is converted, then, outside the code islands (html/code_islands.h), each
// declaration and charset attribute is rewritten as a page's are, where it stands (none is
// added or moved: a byte before the first code would be sent before the code's headers). The
// islands are opaque to the walk: a tag or comment written in code is not seen, and code in
// an attribute value does not end the tag. The code's bytes are never edited: no escape is
// written there, so a template is left as it was, `text` untouched and no edits, with
// DocumentResult::codeLeft saying why, when
//   - its code holds bytes that are no character of the encoding it was read in
//     (InvalidBytes, at the first such byte);
//   - its code holds a character the target lacks (LackedCharacter, at the character);
//   - it has code and is read or written in ISO-2022-JP or UTF-16, where code cannot be kept
//     byte for byte (Encoding, at the first island).
// Each line of code that names an encoding other than the target becomes a CharsetInCode
// notice with the line as it should read (code_charset_calls.h).
//
// Contract: as convertPageLeavingEdits (html_conversion.h), `with.islands` naming the syntax.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/document_result.h"
#include "engine/html_conversion.h"
#include "engine/page_edits.h"

namespace sarnavel {

// Adds to `result` the CharsetInCode notices of the lines of `text` (read in `readIn`) whose code
// names an encoding other than `target`: what a conversion warns of, and what a check finds
// when `target` is the encoding the bytes are in.
void noteCharsetsInCode(std::string_view text, SourceEncoding readIn, IslandSyntax syntax, TargetEncoding target,
                        DocumentResult& result);

[[nodiscard]] DocumentResult convertTemplateLeavingEdits(std::string& text, std::vector<PageEdit>& edits,
                                                         const PageConversion& with);

}  // namespace sarnavel
