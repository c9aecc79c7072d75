// The reading step: UTF-16 recognised by its mark or its shape and brought into code page 932
// with the kind's escapes; byte content left as read.
#include "engine/document_reading.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bytes.h"
#include "text/line_breaks.h"

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
  return readDocument(bytes, {.kind = kind}, {}, findings);
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
      {"\xFF\xFE<\0"s, ContentForm::Utf16LittleEndian, 2},
      {"\xFE\xFF\0<"s, ContentForm::Utf16BigEndian, 2},
      {"\0<"s, ContentForm::Utf16BigEndian, 0},
      {"\xFE\0"s, ContentForm::Utf16LittleEndian, 0},  // U+00FE without a mark
      {"\xE5\x65\x2C\x67", ContentForm::Bytes, 0},     // 日本 in UTF-16LE: both bytes non-zero
      {"\xEF\xBB\xBF<", ContentForm::Bytes, 0},        // the UTF-8 mark is byte content
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
      // Shift_JIS with a zero second byte: read in pairs it gives Hangul and a rare ideograph.
      {"2\0/\xD7G\0\xB0\xD7]:"s, ContentForm::Bytes, 0},
      {"\x01\0\xD7\0\xD7\x5F"s, ContentForm::Bytes, 0},  // U+0001, ×, 志: a control code does not bear it out
      {"F\0\xD7\0\xD7\x5F"s, ContentForm::Utf16LittleEndian, 0},                  // F, ×, 志: UTF-16 by its shape
      {"<\0p\0>\0\xE5\x65\x2C\x67\x9E\x8A"s, ContentForm::Utf16LittleEndian, 0},  // <p>日本語
      {"\0`\x80tss\0\0"s, ContentForm::Bytes, 0},                                 // as many zero units as characters
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
// a UTF-16 file's trailing odd byte is half a unit, U+FFFD to browsers, never a line break.
TEST(DocumentReading, WrittenByThisRunAndTheOddByte) {
  const std::string written = "\0`\\u0080;\x04\\uE012\0\0"s;  // looks like UTF-16BE by its shape
  EncodingEvidence evidence;
  evidence.writtenByThisRun = TargetEncoding::ShiftJis;
  Findings findings;
  const WorkingText again = readDocument(written, {.kind = DocumentKind::Script}, evidence, findings);
  EXPECT_EQ(again.decision.basis, DecisionBasis::WrittenByThisRun);
  EXPECT_TRUE(sameBytes(again.text(), written));

  const WorkingText odd = workingText(kLeMark + utf16le(u"a\r") + "\n", DocumentKind::Script);
  EXPECT_TRUE(sameBytes(odd.text(), "a\r\\uFFFD"));
  EXPECT_EQ(odd.lineBreaks, countLineBreaks("a\r"));
  // and it is reported where it stands
  const std::string sheet = kLeMark + utf16le(u"ab") + "\xFF";
  Findings found;
  (void)readDocument(sheet, {.kind = DocumentKind::StyleSheet}, {}, found);
  DocumentResult record;
  found.fill(record, sheet, SourceForm::Utf16LittleEndian);
  EXPECT_EQ(record.invalidBytes.count, 1u);
  EXPECT_EQ(record.invalidBytes.first, (TextPosition{1, 3}));
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
      {"trailing odd byte, LE", kLeMark + utf16le(u"ab") + "\xFF", DocumentKind::StyleSheet, "ab\\FFFD "},
      {"trailing odd byte in a page's text", kLeMark + utf16le(u"<p>a") + "Z", DocumentKind::Page, "<p>a&#65533;"},
      {"odd byte after a high surrogate: one U+FFFD", kLeMark + utf16le(u"a\xD83D") + "Z", DocumentKind::Script,
       "a\\uFFFD"},
      // Browsers read a mark alone as an empty text, and a mark and one byte as U+FFFD.
      {"a mark alone, page", kLeMark, DocumentKind::Page, ""},
      {"a mark and an odd byte, script", kBeMark + "A", DocumentKind::Script, "\\uFFFD"},
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

}  // namespace
}  // namespace sarnavel
