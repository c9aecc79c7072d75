// The reading step: UTF-16 recognised by its mark or its shape and brought into code page 932
// with the kind's escapes; byte content left as read.
#include "engine/document_reading.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/converter.h"
#include "engine/escaping.h"
#include "engine/javascript_context.h"
#include "support/bytes.h"
#include "support/targets.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

using namespace std::string_literals;
using testing::sameBytes;

using testing::kBeMark;
using testing::kLeMark;
using testing::utf16be;
using testing::utf16le;

WorkingText workingText(const std::string& bytes, DocumentKind kind) {
  Findings findings;
  return readDocument(bytes, kind, {}, TargetEncoding::ShiftJis, findings, nullptr);
}

// --- UTF-16 recognition and the working text -------------------------------------------------

TEST(ContentRecognition, FirstTwoBytesDecide) {
  const struct {
    std::string bytes;
    ContentForm form;
    std::size_t textStart;
  } cases[] = {
      {"", ContentForm::Bytes, 0},
      {"\xFF", ContentForm::Bytes, 0},
      {"\xFF\xFE", ContentForm::Utf16LittleEndian, 2},
      {"\xFF\xFE"
       "A",
       ContentForm::Utf16LittleEndian, 2},
      {"\xFF\xFE<\0"s, ContentForm::Utf16LittleEndian, 2},
      {"\xFE\xFF\0<"s, ContentForm::Utf16BigEndian, 2},
      {"<\0"s, ContentForm::Utf16LittleEndian, 0},
      {"\0<"s, ContentForm::Utf16BigEndian, 0},
      {"\xFE\0"s, ContentForm::Utf16LittleEndian, 0},  // U+00FE without a mark
      {"\xE5\x65\x2C\x67", ContentForm::Bytes, 0},     // 日本 in UTF-16LE: both bytes non-zero
      {"\xEF\xBB\xBF<", ContentForm::Bytes, 0},        // the UTF-8 mark is byte content
      {"ab\0cd\0\0ef"s, ContentForm::Bytes, 0},
      // Without a mark, a zero among the first two bytes is only the first filter: the rest
      // must look like UTF-16 too.
      {"x\0y"s, ContentForm::Bytes, 0},  // an odd length
      {"\0\0"s, ContentForm::Bytes, 0},  // zero on both sides
      {std::string(4096, '\0'), ContentForm::Bytes, 0},
      {"a\0" + std::string(200, '\x93'), ContentForm::Bytes, 0},    // one zero, then byte text
      {"<\0p\0\0\0\0\0\0\0"s, ContentForm::Bytes, 0},               // more zero units than characters
      {"<\0\x00\xD8p\0"s, ContentForm::Bytes, 0},                   // a lone high surrogate
      {"<\0\x00\xDCp\0"s, ContentForm::Bytes, 0},                   // a lone low surrogate
      {"<\0\x3D\xD8\x00\xDE"s, ContentForm::Utf16LittleEndian, 0},  // a pair is fine
      {"\0<"s + utf16be(u"\u65E5\u672C\u8A9E\n"), ContentForm::Utf16BigEndian, 0},
  };
  for (const auto& c : cases) {
    ContentShape shape = recogniseContent(c.bytes);
    EXPECT_EQ(shape.form, c.form) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(shape.textStart, c.textStart) << ::testing::PrintToString(c.bytes);
    // byte content is read as it stands, whatever the kind (a UTF-8 mark is the converter's to drop)
    if (c.form != ContentForm::Bytes || c.bytes.starts_with("\xEF\xBB\xBF")) continue;
    for (DocumentKind kind : {DocumentKind::Page, DocumentKind::StyleSheet, DocumentKind::Script}) {
      WorkingText working = workingText(c.bytes, kind);
      EXPECT_TRUE(sameBytes(working.text(), c.bytes)) << ::testing::PrintToString(c.bytes);
      EXPECT_TRUE(working.isSource);
    }
  }
}

TEST(DocumentReading, Utf16ContentBecomesCodePage932WithTheKindsEscapes) {
  const std::u16string text = u"<p>\u00E9\u65E5\u672C\U0001F600</p>";  // é 日本 😀
  const std::string sjisNihon = "\x93\xFA\x96\x7B";
  const struct {
    const char* what;
    std::string bytes;
    DocumentKind kind;
    std::string working;
  } cases[] = {
      {"LE with mark, page", kLeMark + utf16le(text), DocumentKind::Page, "<p>&#233;" + sjisNihon + "&#128512;</p>"},
      {"BE without mark, page", utf16be(text), DocumentKind::Page, "<p>&#233;" + sjisNihon + "&#128512;</p>"},
      {"LE with mark, sheet", kLeMark + utf16le(text), DocumentKind::StyleSheet,
       "<p>\\E9 " + sjisNihon + "\\1F600 </p>"},
      // In a script's code (not a string) a character beyond U+FFFF is a name character.
      {"LE with mark, script", kLeMark + utf16le(text), DocumentKind::Script,
       "<p>\\u00E9" + sjisNihon + "\\u{1F600}</p>"},
      {"BE with mark, script string", kBeMark + utf16be(u"'" + text + u"'"), DocumentKind::Script,
       "'<p>\\u00E9" + sjisNihon + "\\uD83D\\uDE00</p>'"},
      {"page: a script body gets script escapes", kLeMark + utf16le(u"<script>s='\u00E9'</script>\u00E9"),
       DocumentKind::Page, "<script>s='\\u00E9'</script>&#233;"},
      {"page: a style body gets sheet escapes", kLeMark + utf16le(u"<style>p{content:'\u00E9'}</style>"),
       DocumentKind::Page, "<style>p{content:'\\E9 '}</style>"},
      {"zero unit inside, LE", utf16le(u"a\0b\0c"s), DocumentKind::Script, "a\0b\0c"s},
      {"trailing odd byte kept, LE", kLeMark + utf16le(u"ab") + "Z", DocumentKind::Script, "abZ"},
  };
  for (const auto& c : cases) {
    WorkingText working = workingText(c.bytes, c.kind);
    EXPECT_TRUE(sameBytes(working.text(), c.working)) << c.what;
    EXPECT_EQ(working.decision.basis, c.bytes.starts_with(kLeMark) || c.bytes.starts_with(kBeMark)
                                          ? DecisionBasis::ByteOrderMark
                                          : DecisionBasis::Utf16Shape)
        << c.what;
  }
}

// --- UTF-8 sheets and scripts read straight into the target ---------------------------------

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
  Made made{convertText(options, prepared, nullptr, &findings, false), {}};
  findings.fill(made.result, text, SourceForm::Utf8);
  return made;
}

// The general reading: every character through the escaper, then the converter from code page
// 932 (or UTF-8 for the UTF-8 target).
Made readGenerally(std::string_view text, DocumentKind kind, TargetEncoding target) {
  const EscapeLanguage language = kind == DocumentKind::Script ? EscapeLanguage::JavaScript : EscapeLanguage::Css;
  Findings findings;
  std::string prepared;
  TextEscaper escaper(prepared, language, {target, &findings});
  JavaScriptContext<char> code(text);
  if (kind == DocumentKind::Script) escaper.setCodeProbe([&](std::size_t offset) { return code.inCode(offset); });
  escapeUtf8(escaper, text, 0);
  escaper.finish();
  return converted(text, prepared, target == TargetEncoding::Utf8 ? InputEncoding::Utf8 : InputEncoding::ShiftJis,
                   language, target, findings);
}

Made readByTheReadingStep(std::string_view text, DocumentKind kind, TargetEncoding target, ValidityCheck check) {
  const EscapeLanguage language = kind == DocumentKind::Script ? EscapeLanguage::JavaScript : EscapeLanguage::Css;
  Findings findings;
  const WorkingText working = readDocument(text, kind, {}, target, findings, nullptr, false, check);
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
  text += "\xE3\x81";  // cut short by the end
  return text;
}

// The whole text, and its first part, which holds no malformed sequence (the decision may then
// take it for UTF-8 on the strength of the direct reading alone).
TEST(Utf8Reading, StraightIntoTheTargetAsTheGeneralReadingWrites) {
  const std::string whole = everyKindOfUtf8();
  const std::string wellFormed = whole.substr(0, whole.find("';\n x"));
  for (const std::string& text : {whole, wellFormed}) {
    for (DocumentKind kind : {DocumentKind::Script, DocumentKind::StyleSheet}) {
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
          EXPECT_EQ(general.result.invalidBytes.count, direct.result.invalidBytes.count) << target;
          EXPECT_EQ(general.result.invalidBytes.first, direct.result.invalidBytes.first) << target;
        }
      }
    }
  }
}

}  // namespace
}  // namespace sarnavel
