// Brings Unicode text into code page 932 without losing a character: every character the
// code page cannot hold is written as an escape of the document's language.
//
//   HTML         &#233;       a decimal character reference
//   CSS          \E9 + space  a hexadecimal escape; the space ends it and is consumed
//   JavaScript   \u00E9       four hexadecimal digits; a character beyond U+FFFF is written
//                             as its two surrogate escapes, \uD83D\uDE00
// HTML and CSS write a character beyond U+FFFF as one escape (&#128512;, \1F600 ). Units of
// value zero are kept as zero bytes. A unit counts as held by the code page only when it maps
// there and back (see text/cp932.h).
//
// UTF-8 preparation is the first step of every document conversion: a text that is UTF-8 by
// the lead-byte rules is decoded, loses one leading byte-order mark, and is escaped; any
// other text is left as it is.
#pragma once

#include <string>
#include <string_view>

#include "engine/escape_language.h"

namespace sarnavel {


std::string escapeForHtml(std::u16string_view text);
std::string escapeForCss(std::u16string_view text);
std::string escapeForJavaScript(std::u16string_view text);
std::string escapeFor(EscapeLanguage language, std::u16string_view text);

// Appends the escape of one code point in the language's syntax.
void appendEscape(std::string& out, EscapeLanguage language, char32_t codePoint);

// The UTF-8 preparation. Returns true when the text was UTF-8 and has been replaced.
bool prepareUtf8Text(std::string& text, EscapeLanguage language);

// The text after one leading UTF-8 byte-order mark, if it has one.
std::string_view withoutByteOrderMark(std::string_view utf8);

// Escapes UTF-8 text straight into code page 932, as decodeUtf8 followed by escapeFor would,
// without dropping a byte-order mark.
std::string escapeUtf8(EscapeLanguage language, std::string_view utf8);

// Escapes units into code page 932 as they come: ASCII runs as they are, other units through
// the table, a surrogate pair as one character. Used by the escapers above and by whoever
// decodes a text piece by piece.
class Cp932Escaper {
 public:
  Cp932Escaper(std::string& out, EscapeLanguage language) : out_(out), language_(language) {}
  void ascii(const char* s, std::size_t n);
  void unit(char16_t u);
  void finish();  // writes a high surrogate still waiting for its partner

 private:
  void write(char16_t u);
  std::string& out_;
  EscapeLanguage language_;
  char16_t pendingHigh_ = 0;
};

}  // namespace sarnavel
