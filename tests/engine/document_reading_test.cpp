// The reading step: UTF-16 recognised by its mark or its shape and brought into code page 932
// with the kind's escapes; byte content left as read.
#include "engine/document_reading.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/converter.h"
#include "engine/escaping.h"
#include "engine/javascript_context.h"
#include "engine/javascript_conversion.h"
#include "support/bytes.h"
#include "support/oracle.h"
#include "support/targets.h"
#include "text/cp932.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

#include <unicode/ucnv.h>

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

// A file this run wrote is in the run's target, never UTF-16, whatever its zero bytes suggest;
// a UTF-16 file's trailing odd byte, kept as it is, counts among the line breaks it makes.
TEST(DocumentReading, WrittenByThisRunAndTheOddByte) {
  const std::string written = "\0`\\u0080;\x04\\uE012\0\0"s;  // looks like UTF-16BE by its shape
  EncodingEvidence evidence;
  evidence.writtenByThisRun = TargetEncoding::ShiftJis;
  Findings findings;
  const WorkingText again =
      readDocument(written, DocumentKind::Script, evidence, TargetEncoding::ShiftJis, findings, nullptr);
  EXPECT_EQ(again.decision.basis, DecisionBasis::WrittenByThisRun);
  EXPECT_TRUE(sameBytes(again.text(), written));

  const WorkingText odd = workingText(kLeMark + utf16le(u"a\r") + "\n", DocumentKind::Script);
  EXPECT_TRUE(sameBytes(odd.text(), "a\r\n"));
  EXPECT_EQ(odd.lineBreaks, countLineBreaks("a\r\n"));
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

// ICU's bytes for one character with fallbacks off, or nothing when it has no mapping.
std::optional<std::string> icuBytes(UConverter* converter, char16_t unit) {
  UErrorCode error = U_ZERO_ERROR;
  char out[8];
  ucnv_reset(converter);
  const int n = ucnv_fromUChars(converter, out, sizeof out, reinterpret_cast<const UChar*>(&unit), 1, &error);
  if (U_FAILURE(error)) return std::nullopt;
  return std::string(out, static_cast<std::size_t>(n));
}

// Every character of the Basic Multilingual Plane in a UTF-8 script, converted into Shift_JIS
// and EUC-JP, against ICU (windows-31j, EUC-JP, fallbacks off): where ours writes bytes, they
// read back as the character (also where ICU writes another code, as for the IBM extensions
// and their twins in EUC-JP); where ours writes an escape, ICU has no mapping that reads back
// (the look-alikes U+00A5, U+203E, U+2212 among them), or, for EUC-JP, writes what lies
// beyond code page 932.
TEST(Utf8Reading, AgainstIcuOnEveryCharacter) {
  std::u16string units;
  std::string text = "s='";
  for (char32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    units.push_back(static_cast<char16_t>(c));
    appendUtf8(text, c);
    text.push_back(' ');
  }
  text += "';";
  for (const char* icuName : {"windows-31j", "EUC-JP"}) {
    const bool euc = std::string_view(icuName) == "EUC-JP";
    TargetChoice options;
    options.targetEncoding = euc ? TargetEncoding::EucJp : TargetEncoding::ShiftJis;
    std::string out = text;
    (void)convertJavaScript(out, options);
    UErrorCode error = U_ZERO_ERROR;
    UConverter* icu = ucnv_open(icuName, &error);
    ASSERT_TRUE(U_SUCCESS(error));
    ucnv_setFromUCallBack(icu, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    std::size_t at = 3, agree = 0;
    for (char16_t unit : units) {
      const std::size_t space = out.find(' ', at);
      ASSERT_NE(space, std::string::npos);
      const std::string ours = out.substr(at, space - at);
      at = space + 1;
      const std::optional<std::string> theirs = icuBytes(icu, unit);
      if (theirs == ours) {
        ++agree;
        continue;
      }
      const std::u16string itself(1, unit);
      if (!ours.starts_with("\\u")) {
        // Another code for the same character (IBM extensions and their twins).
        EXPECT_EQ(euc ? utf8ToUtf16(convertText(ConverterOptions{}, ours)) : cp932ToWide(ours), itself)
            << std::hex << static_cast<unsigned>(unit);
        continue;
      }
      const bool readsBack = theirs && testing::icuDecode(icuName, *theirs) == itself;
      // EUC-JP: JIS X 0212 and the user-defined area lie beyond code page 932, and a single byte
      // from 0x80 (ICU's C1 controls) is an error to browsers.
      const bool beyondCodePage932 = euc && theirs &&
                                     (theirs->size() == 3 || (unit >= 0xE000 && unit <= 0xF8FF) ||
                                      (theirs->size() == 1 && static_cast<unsigned char>((*theirs)[0]) >= 0x80));
      EXPECT_TRUE(!readsBack || beyondCodePage932) << std::hex << static_cast<unsigned>(unit);
    }
    ucnv_close(icu);
    EXPECT_GT(agree, 7000u) << icuName;
  }
}

}  // namespace
}  // namespace sarnavel
