// Brings Unicode text into code page 932 without losing a character: every character the
// target cannot hold is written as an escape of the document's language.
//
//   HTML         &#233;       a decimal character reference
//   CSS          \E9 + space  a hexadecimal escape; the space ends it and is consumed
//   JavaScript   \u00E9       four hexadecimal digits; a character beyond U+FFFF is written
//                             as its two surrogate escapes, \uD83D\uDE00
// HTML and CSS write a character beyond U+FFFF as one escape (&#128512;, \1F600 ). Units of
// value zero are kept as zero bytes. A unit counts as held by the code page only when it maps
// there and back (see text/cp932.h); for an EUC-JP or ISO-2022-JP target only when that
// encoding can reach it too (cp932::jisReachable), and for ISO-2022-JP the escape byte is
// escaped (it would begin a designation). So the converter, which then carries the code page
// 932 text into the target, meets nothing it cannot write, and every escape is reported with
// its source offset where it is written (findings.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/escape_language.h"
#include "engine/findings.h"
#include "text/target_encoding.h"

namespace sarnavel {

std::string escapeForHtml(std::u16string_view text);
std::string escapeForCss(std::u16string_view text);
std::string escapeForJavaScript(std::u16string_view text);
std::string escapeFor(EscapeLanguage language, std::u16string_view text);

// Appends the escape of one code point in the language's syntax.
void appendEscape(std::string& out, EscapeLanguage language, char32_t codePoint);

// The UTF-8 preparation on its own (the reading step does it with findings, see
// document_reading.h): a text that is UTF-8 by the lead-byte rules loses one leading
// byte-order mark and is escaped; returns whether it was.
bool prepareUtf8Text(std::string& text, EscapeLanguage language);

// The text after one leading UTF-8 byte-order mark, if it has one.
std::string_view withoutByteOrderMark(std::string_view utf8);

// Escapes UTF-8 text straight into code page 932, as decodeUtf8 followed by escapeFor would,
// without dropping a byte-order mark.
std::string escapeUtf8(EscapeLanguage language, std::string_view utf8);

// What the escaper writes for and reports to, besides the language.
struct EscapeTarget {
  TargetEncoding target = TargetEncoding::ShiftJis;
  Findings* findings = nullptr;
};

// Escapes units into code page 932 as they come: ASCII runs as they are, other units through
// the table, a surrogate pair as one character. Offsets are the source's, for the findings.
class Cp932Escaper {
 public:
  Cp932Escaper(std::string& out, EscapeLanguage language, EscapeTarget target = {})
      : out_(out), language_(language), target_(target) {}
  void ascii(const char* s, std::size_t n, std::size_t offset = Findings::kNoOffset);
  void unit(char16_t u, std::size_t offset = Findings::kNoOffset);
  // Bytes of the source that form no character: written as '?' and reported.
  void irregular(std::size_t offset);
  void finish();  // writes a high surrogate still waiting for its partner

 private:
  bool holds(char16_t u, std::uint16_t code) const;
  void write(char16_t u, std::size_t offset);
  void escape(char32_t codePoint, std::size_t offset);
  std::string& out_;
  EscapeLanguage language_;
  EscapeTarget target_;
  char16_t pendingHigh_ = 0;
  std::size_t pendingOffset_ = Findings::kNoOffset;
};

}  // namespace sarnavel
