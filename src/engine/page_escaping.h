// Escapes the Unicode text of a whole HTML page into the working text, each part in the syntax
// the browser reads there (html/page_regions.h).
//
// Browsers do not decode character references inside the bodies of `script` and `style`
// elements: a script that writes "&#233;" shows six characters. So a character the target
// lacks gets the JavaScript escape inside a script body (a blank in its code, see escaping.h),
// the CSS escape inside a style body, nothing in the raw text of `xmp` and `plaintext` (where it
// is lost, unless the target is UTF-8), and the decimal reference everywhere else (text,
// attribute values, `title`, `textarea`).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/escaping.h"

namespace sarnavel {

// A page of UTF-16 units; `firstOffset` is the source offset of the first unit (2 after a
// byte-order mark), each unit two bytes on.
std::string escapeHtmlPage(std::u16string_view page, EscapeTarget target = {}, std::size_t firstOffset = 0);

// The same for a page in UTF-8 (read strictly, see text/utf8.h), without building its UTF-16
// text first; `firstOffset` is the source offset of its first byte (3 after a byte-order mark).
// For a target readsUtf8Directly accepts, the page is read and encoded in one pass and comes
// out in the target's own bytes: EUC-JP for the EUC-JP target (direct_utf8_reading.h); then
// `malformed`, when given, is set to the number of malformed sequences it met.
std::string escapeHtmlPageUtf8(std::string_view page, EscapeTarget target = {}, std::size_t firstOffset = 0,
                               std::size_t* malformed = nullptr);

// The same for a page in code page 1252, as a page declared Latin-1 is read: its letters
// decomposed (é becomes e and the escape of U+0301), unless every character is kept as itself.
std::string escapeHtmlPageCp1252(std::string_view page, EscapeTarget target = {});

}  // namespace sarnavel
