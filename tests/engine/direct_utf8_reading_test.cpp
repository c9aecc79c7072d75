// A UTF-8 page, sheet or script read straight into the target writes and reports what the
// escaper and the converter write and report in two passes.
#include "engine/direct_utf8_reading.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "engine/converter.h"
#include "engine/document_reading.h"
#include "engine/escaping.h"
#include "engine/javascript_context.h"
#include "html/page_regions.h"
#include "support/ascii_runs.h"
#include "support/targets.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

// What the reading step and the converter make of a UTF-8 sheet or script, and what they report.
struct Made {
  std::string output;
  DocumentResult result;
};

Made converted(std::string_view text, std::string_view prepared, InputEncoding input, EscapeLanguage language,
               TargetEncoding target, const Findings& found) {
  ConverterOptions options;
  options.output = target;
  options.escapeLanguage = language;
  options.inputEncoding = input;
  Findings findings = found;
  Made made{convertText(options, prepared, nullptr, &findings, {false}), {}};
  findings.fill(made.result, text, SourceForm::Utf8);
  return made;
}

EscapeLanguage languageOf(DocumentKind kind) {
  return kind == DocumentKind::Script       ? EscapeLanguage::JavaScript
         : kind == DocumentKind::StyleSheet ? EscapeLanguage::Css
                                            : EscapeLanguage::Html;
}

// One part of the text: where it starts in the whole, the language escapes are written in there
// (none in raw text), and whether raw text there shows.
struct Part {
  std::string_view text;
  std::size_t start = 0;
  std::optional<EscapeLanguage> language;
  bool shown = true;
};

// One part through the escaper, the JavaScript code context asked where the language is
// JavaScript; offsets are the whole text's.
void escapeGenerally(std::string& prepared, Findings& findings, const Part& part, TargetEncoding target) {
  TextEscaper escaper(prepared, part.language, {target, &findings});
  escaper.setRawTextStandIn(part.shown ? StandIn::Reference : StandIn::UnshownReference);
  JavaScriptContext<char> code(part.text);
  if (part.language == EscapeLanguage::JavaScript)
    escaper.setCodeProbe([&](std::size_t offset) { return code.placeOf(offset - part.start); });
  escapeUtf8(escaper, part.text, part.start);
  escaper.finish();
}

// The general reading: every character through the escaper (a page's region by region, in the
// language read there), then the converter from code page 932 (or UTF-8 for the UTF-8 target).
Made readGenerally(std::string_view text, DocumentKind kind, TargetEncoding target) {
  Findings findings;
  std::string prepared;
  if (kind == DocumentKind::Page) {
    PageRegions<char> regions(text);
    while (std::optional<RegionSpan> span = regions.next()) {
      const bool raw = span->region == PageRegion::RawText || span->region == PageRegion::Fallback;
      const std::optional<EscapeLanguage> language =
          span->region == PageRegion::Script  ? std::optional(EscapeLanguage::JavaScript)
          : span->region == PageRegion::Style ? std::optional(EscapeLanguage::Css)
          : raw                               ? std::nullopt
                                              : std::optional(EscapeLanguage::Html);
      escapeGenerally(prepared, findings,
                      {text.substr(span->start, span->end - span->start), span->start, language,
                       span->region != PageRegion::Fallback},
                      target);
    }
  } else {
    escapeGenerally(prepared, findings, {text, 0, languageOf(kind)}, target);
  }
  return converted(text, prepared, target == TargetEncoding::Utf8 ? InputEncoding::Utf8 : InputEncoding::ShiftJis,
                   languageOf(kind), target, findings);
}

Made readByTheReadingStep(std::string_view text, DocumentKind kind, TargetEncoding target, ValidityCheck check) {
  const EscapeLanguage language = languageOf(kind);
  Findings findings;
  const WorkingText working = readDocument(text, {kind, target, nullptr, false, check}, {}, findings);
  EXPECT_EQ(working.decision.encoding, SourceEncoding::Utf8);
  return converted(text, working.text(), working.converterInput, language, target, findings);
}

// Every character of the Basic Multilingual Plane (in a string and in code), four-byte forms,
// the white space a script's code reads differently, and malformed sequences of each kind.
std::string everyKindOfUtf8() {
  std::string text = "s='";
  for (char32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    appendUtf8(text, c);
    if (c % 64 == 0) text += "';\n s='";
  }
  text += "';\n x\u3000=1;\xC2\xA0y=\xF0\x9F\x98\x80;\xF0\xA0\xAE\xB7\n";
  text += "t='\xF0\x9F\x98\x80 \xC0\xAF \xE0\x80\x80 \xED\xA0\x80 \xE3\x81 \xE3 \x80 \xFF \xF4\x90\x80\x80 \xC2';";
  // An overlong form of a held character (U+00A7) and a surrogate among kanji.
  text += "u='\xE6\xBC\xA2\xE0\x82\xA7\xE5\xAD\x97\xED\xA0\x80\xE5\xAD\x97';";
  text += "\xE3\x81";  // cut short by the end
  return text;
}

// The same text as each part of a page: an attribute value, text, a script, a style sheet, raw
// text and fallback text.
std::string inEveryRegion(const std::string& text) {
  return "<p title=\"" + text + "\">" + text + "</p><script>" + text + "</script><style>" + text + "</style><xmp>" +
         text + "</xmp><iframe>" + text + "</iframe>";
}

// The whole text, and its first part, which holds no malformed sequence (the decision may then
// take it for UTF-8 on the strength of the direct reading alone); as a sheet or script, and as
// each part of a page.
TEST(Utf8Reading, StraightIntoTheTargetAsTheGeneralReadingWrites) {
  const std::string whole = everyKindOfUtf8();
  const std::string wellFormed = whole.substr(0, whole.find("';\n x"));
  for (const std::string& sample : {whole, wellFormed}) {
    for (DocumentKind kind : {DocumentKind::Script, DocumentKind::StyleSheet, DocumentKind::Page}) {
      const std::string text = kind == DocumentKind::Page ? inEveryRegion(sample) : sample;
      for (int index : {0, 1, 2, 3}) {
        for (ValidityCheck check : {ValidityCheck::InDecision, ValidityCheck::ByConverter}) {
          const TargetEncoding target = testing::asTarget(index);
          const Made general = readGenerally(text, kind, target);
          const Made direct = readByTheReadingStep(text, kind, target, check);
          EXPECT_TRUE(general.output == direct.output) << target << " kind " << static_cast<int>(kind);
          ASSERT_EQ(general.result.escaped.size(), direct.result.escaped.size()) << target;
          for (std::size_t k = 0; k < general.result.escaped.size(); ++k) {
            EXPECT_EQ(general.result.escaped[k].codePoint, direct.result.escaped[k].codePoint);
            EXPECT_EQ(general.result.escaped[k].count, direct.result.escaped[k].count);
            EXPECT_EQ(general.result.escaped[k].first, direct.result.escaped[k].first);
          }
          EXPECT_EQ(general.result.lost.size(), direct.result.lost.size()) << target;
          EXPECT_EQ(general.result.invalidBytes.count, direct.result.invalidBytes.count) << target;
          EXPECT_EQ(general.result.invalidBytes.first, direct.result.invalidBytes.first) << target;
        }
      }
    }
  }
}

// The text of support/ascii_runs.h read straight into Shift_JIS and EUC-JP, byte for byte.
TEST(Utf8Reading, AsciiRunsOfEveryLength) {
  std::array<std::string, 3> text = testing::asciiRunsOfEveryLength<3>({"\xE6\xBC\xA2", "\x8A\xBF", "\xB4\xC1"});
  for (int e = 0; e < 3; ++e) text[e] += "x=1;\n";
  EXPECT_EQ(
      readByTheReadingStep(text[0], DocumentKind::Script, TargetEncoding::ShiftJis, ValidityCheck::InDecision).output,
      text[1]);
  EXPECT_EQ(
      readByTheReadingStep(text[0], DocumentKind::Script, TargetEncoding::EucJp, ValidityCheck::InDecision).output,
      text[2]);
}

}  // namespace
}  // namespace sarnavel
