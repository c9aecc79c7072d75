// Escapes the Unicode text of a whole HTML page into code page 932, each part in the syntax
// the browser reads there.
//
// Browsers do not decode character references inside the bodies of `script` and `style`
// elements: a script that writes "&#233;" shows six characters. So a character the code page
// lacks gets the JavaScript escape inside a script body, the CSS escape inside a style body,
// and the decimal reference everywhere else (text, attribute values, `title`, `textarea`).
// Bodies are found as browsers find them: from the end of a `script` or `style` start tag
// outside comments to the next "</script" or "</style" in any letter case. A script whose
// type names neither JavaScript nor JSON (an HTML template, say) keeps references, since its
// text is read back as HTML.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/escaping.h"

namespace sarnavel {

// A page of UTF-16 units; `firstOffset` is the source offset of the first unit (2 after a
// byte-order mark), each unit two bytes on.
std::string escapeHtmlPage(std::u16string_view page, EscapeTarget target = {}, std::size_t firstOffset = 0);

// The same for a page in UTF-8 (read by the lead-byte rules, see decodeUtf8), without
// building its UTF-16 text first; `firstOffset` is the source offset of its first byte (3
// after a byte-order mark).
std::string escapeHtmlPageUtf8(std::string_view page, EscapeTarget target = {}, std::size_t firstOffset = 0);

// The same for a page in code page 1252, its letters decomposed (é becomes e and the escape
// of U+0301), as a page declared Latin-1 is read.
std::string escapeHtmlPageCp1252(std::string_view page, EscapeTarget target = {});

}  // namespace sarnavel
