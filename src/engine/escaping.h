// Brings Unicode text into the working text of a conversion without losing a character: every
// character the target cannot hold is written as an escape of the language read where it
// stands.
//
//   HTML         &#233;       a decimal character reference
//   CSS          \E9 + space  a hexadecimal escape; the space ends it and is consumed
//   JavaScript   \u00E9       four hexadecimal digits; a character beyond U+FFFF is written
//                             as its two surrogate escapes, \uD83D\uDE00
// HTML and CSS write a character beyond U+FFFF as one escape (&#128512;, \1F600 ). In
// JavaScript code, outside strings, template literals, regular expressions and comments (the
// caller says where that is, see javascript_context.h), an escape means something else: white
// space such as U+00A0 becomes an ordinary space (the same blank between tokens), and a
// character beyond U+FFFF in a name becomes `\u{20BB7}`; in a template literal tagged
// String.raw, which reads its escapes as written, a character becomes the substitution
// `${"\u00E9"}`, which gives it. In raw text (`xmp`, `plaintext`),
// where no escape is read, a character the target lacks is lost: it is written as the HTML
// reference, which shows there as text, and reported as lost (findings.h).
//
// The working text is code page 932 for the Japanese targets (the converter then carries it
// into the target) and UTF-8 for the UTF-8 target. A character counts as held only when code
// page 932 holds it (it maps there and back, see text/cp932.h), for an EUC-JP or ISO-2022-JP
// target only when that encoding reaches it too (cp932::jisReachable), and for ISO-2022-JP the
// escape byte is escaped (it would begin a designation). With the UTF-8 target and
// `keepCharacters` every character travels as itself and nothing is escaped. Bytes that form
// no character, and lone surrogates, are read as U+FFFD, as browsers read them. Units of value
// zero are kept as zero bytes. Every escape, every character lost and every U+FFFD is reported
// with its source offset where it is written.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/escape_language.h"
#include "engine/findings.h"
#include "engine/javascript_context.h"
#include "text/target_encoding.h"

namespace sarnavel {

// The escaping of whole texts into code page 932, each in one language.
std::string escapeForHtml(std::u16string_view text);
std::string escapeForCss(std::u16string_view text);
std::string escapeForJavaScript(std::u16string_view text);
std::string escapeFor(EscapeLanguage language, std::u16string_view text);

// Whether the target holds the character as itself (the rule the escaper writes by, see above).
bool targetHolds(TargetEncoding target, char32_t codePoint);

// Appends the escape of one code point in the language's syntax (as in a literal).
void appendEscape(std::string& out, EscapeLanguage language, char32_t codePoint);

// Whether an HTML character reference to the code point shows that same character: false for
// the C1 controls that browsers read through the windows-1252 table instead (&#128; shows €).
bool referenceShowsItself(char32_t codePoint);

// The UTF-8 preparation on its own (the reading step does it with findings, see
// document_reading.h): a text that is UTF-8 by the lead-byte rules loses one leading
// byte-order mark and is escaped; returns whether it was.
bool prepareUtf8Text(std::string& text, EscapeLanguage language);

// The text after one leading UTF-8 byte-order mark, if it has one.
std::string_view withoutByteOrderMark(std::string_view utf8);

// Escapes UTF-8 text straight into code page 932, as its strict reading followed by escapeFor
// would, without dropping a byte-order mark.
std::string escapeUtf8(EscapeLanguage language, std::string_view utf8);

// What the escaper writes for and reports to, besides the language.
struct EscapeTarget {
  TargetEncoding target = TargetEncoding::ShiftJis;
  Findings* findings = nullptr;
  bool keepCharacters = false;  // the UTF-8 target without escapes
};

// Escapes units into the working text as they come: ASCII runs as they are, other units
// through the table, a surrogate pair as one character. Offsets are the source's, for the
// findings and for the question where JavaScript code is.
class TextEscaper {
 public:
  // `language`: the syntax escapes are written in; none in raw text.
  TextEscaper(std::string& out, std::optional<EscapeLanguage> language, EscapeTarget target = {})
      : out_(out),
        language_(language),
        target_(target),
        utf8Output_(target.target == TargetEncoding::Utf8),
        jisRows_(target.target == TargetEncoding::EucJp || target.target == TargetEncoding::Iso2022Jp) {}
  // For JavaScript: where the unit at a source offset stands (javascript_context.h). Asked only
  // where an escape is written, at offsets that do not decrease.
  void setCodeProbe(std::function<JavaScriptPlace(std::size_t offset)> placeOf) { placeOf_ = std::move(placeOf); }
  // For a page read whole: the language of the place at a source offset (none in raw text),
  // asked only where an escape is written, at offsets that do not decrease.
  void setLanguageProbe(std::function<std::optional<EscapeLanguage>(std::size_t offset)> languageAt) {
    languageAt_ = std::move(languageAt);
  }

  void ascii(const char* s, std::size_t n, std::size_t offset = Findings::kNoOffset);
  void unit(char16_t u, std::size_t offset = Findings::kNoOffset);
  // Bytes of the source that form no character: U+FFFD, reported as invalid.
  void irregular(std::size_t offset);
  void finish();  // a high surrogate still waiting for its partner is U+FFFD
  // The text is written in the target's own bytes rather than in code page 932 (a UTF-8 text
  // read straight into EUC-JP): what the escaper writes beyond ASCII must be too.
  void writeTargetBytes() { targetBytes_ = true; }
  // What stands in for a character lost in raw text: its reference (shown, or in raw text that
  // browsers never show, html/page_regions.h: Fallback), or in a plain text the geta mark.
  void setRawTextStandIn(StandIn standIn) { rawTextStandIn_ = standIn; }
  // Whether every character is written as itself here (UTF-8 without escapes, or raw text in
  // UTF-8): then nothing gains by reading a text decomposed.
  bool writesEveryCharacter() const { return target_.keepCharacters || (!language_ && utf8Output_); }

 private:
  void write(char32_t codePoint, std::size_t offset);
  void escape(char32_t codePoint, std::size_t offset);
  void standIn(char32_t codePoint, std::size_t offset);
  void escapeInJavaScript(char32_t codePoint, std::size_t offset);
  std::string& out_;
  std::optional<EscapeLanguage> language_;
  EscapeTarget target_;
  bool utf8Output_;
  bool jisRows_;  // EUC-JP and ISO-2022-JP reach fewer of code page 932's characters
  bool targetBytes_ = false;
  std::function<JavaScriptPlace(std::size_t)> placeOf_;
  std::function<std::optional<EscapeLanguage>(std::size_t)> languageAt_;
  StandIn rawTextStandIn_ = StandIn::Reference;
  char16_t pendingHigh_ = 0;
  std::size_t pendingOffset_ = Findings::kNoOffset;
};

// Feeds `bytes` of UTF-8 to `escaper`, a sequence the rules refuse as irregular; offsets count
// from `firstOffset`.
void escapeUtf8(TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset);

// Feeds `bytes` of code page 1252 to `escaper`; with `decompose`, an accented letter as its base
// letter and accent. Offsets count from `firstOffset`.
void escapeCp1252(TextEscaper& escaper, std::string_view bytes, std::size_t firstOffset, bool decompose);

}  // namespace sarnavel
