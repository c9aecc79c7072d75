// The record a conversion returns: each fact once, as the document's reader would name it.
#include "engine/document_result.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/converter.h"
#include "engine/css_conversion.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/target_options.h"
#include "support/bytes.h"
#include "support/memory_resolver.h"
#include "support/targets.h"
#include "text/line_breaks.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

using namespace std::string_literals;

enum class Kind { Page, Sheet, Script };

DocumentResult convert(Kind kind, std::string text, TargetEncoding target, const EncodingEvidence& evidence = {}) {
  TargetChoice options;
  options.targetEncoding = target;
  switch (kind) {
    case Kind::Page: return convertHtml(text, options, testing::NoFiles(), evidence);
    case Kind::Sheet: return convertCss(text, options, evidence);
    case Kind::Script: break;
  }
  return convertJavaScript(text, options, evidence);
}

EncodingEvidence loadedAs(std::string charset) {
  EncodingEvidence e;
  e.loaderCharset = std::move(charset);
  return e;
}

// Every character written as an escape, by where its first one stood in the source: line, and
// column in characters, whatever form the source was in.
TEST(DocumentResult, EscapesAreCountedWhereTheSourceHadThem) {
  using T = TargetEncoding;
  const struct {
    const char* what;
    Kind kind;
    std::string source;
    T target;
    EncodingEvidence evidence;
    char32_t codePoint;
    std::size_t count;
    TextPosition first;
  } cases[] = {
      {"UTF-8 page", Kind::Page, "<p>a\n  caf\xC3\xA9 \xC3\xA9</p>", T::ShiftJis, {}, 0xE9, 2, {2, 6}},
      {"beyond U+FFFF", Kind::Script, "\xEF\xBB\xBFx='\xF0\x9F\x98\x80';", T::ShiftJis, {}, 0x1F600, 1, {1, 4}},
      {"UTF-16LE with a mark",
       Kind::Script,
       "\xFF\xFE"
       "a\0\r\0\n\0\xE9\0"s,
       T::Utf8,
       {},
       0xE9,
       1,
       {2, 1}},
      {"Latin-1 page, decomposed", Kind::Page, "<meta charset=latin1><body>\n caf\xE9", T::Utf8, {}, 0x301, 1, {2, 5}},
      {"JIS X 0212", Kind::Script, "a\n\xA4\xA2\x8F\xB0\xA1", T::ShiftJis, loadedAs("euc-jp"), 0x4E02, 1, {2, 2}},
      {"escape byte to ISO-2022-JP", Kind::Script, "\xE3\x81\x82\x1B$B", T::Iso2022Jp, {}, 0x1B, 1, {1, 2}},
  };
  for (const auto& c : cases) {
    const DocumentResult result = convert(c.kind, c.source, c.target, c.evidence);
    ASSERT_EQ(result.escaped.size(), 1u) << c.what;
    EXPECT_EQ(result.escaped[0].codePoint, c.codePoint) << c.what;
    EXPECT_EQ(result.escaped[0].count, c.count) << c.what;
    EXPECT_EQ(result.escaped[0].first, c.first)
        << c.what << ": " << result.escaped[0].first.line << ":" << result.escaped[0].first.column;
    EXPECT_TRUE(result.lost.empty()) << c.what;
  }
}

TEST(DocumentResult, InvalidBytesLineBreaksAndSizes) {
  const std::string sjis = "ab\r\n\x82\xA0\xFF\n";
  const DocumentResult toUtf8 = convert(Kind::Script, sjis, TargetEncoding::Utf8, loadedAs("shift_jis"));
  // the element's charset counts only where every byte is valid in it
  EXPECT_EQ(toUtf8.source, (EncodingDecision{SourceEncoding::ShiftJis, DecisionBasis::Detection}));
  EXPECT_EQ(toUtf8.invalidBytes.count, 1u);
  EXPECT_EQ(toUtf8.invalidBytes.first, (TextPosition{2, 2}));
  // into its own encoding too, a byte that forms no character becomes the escape of U+FFFD
  // (what browsers show for it), so the result decodes cleanly
  const DocumentResult toItself = convert(Kind::Script, sjis, TargetEncoding::ShiftJis, loadedAs("shift_jis"));
  EXPECT_EQ(toItself.invalidBytes.count, 1u);
  EXPECT_EQ(toItself.bytesBefore, sjis.size());
  EXPECT_EQ(toItself.bytesAfter, sjis.size() - 1 + std::string_view("\\uFFFD").size());
  EXPECT_EQ(toItself.lineBreaksBefore, (LineBreakCounts{1, 1, 0}));
  EXPECT_EQ(toItself.lineBreaksAfter, (LineBreakCounts{1, 1, 0}));
}

// One byte that forms no character, in every kind (a page's text, script and style) and every
// source form: it is counted, so the file is warned of, and with the characters kept it is
// U+FFFD itself, never an escape of it.
TEST(DocumentResult, OneInvalidByteIsCountedAndKeptAsTheReplacementCharacter) {
  const std::string nihongo[] = {"\x93\xFA\x96\x7B\x8C\xEA", "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xCA\xB8",
                                 "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"};
  const struct {
    const char* what;
    SourceEncoding encoding;
    std::function<std::string(const std::string&)> bytes;  // the document's ASCII markup around one bad byte
  } forms[] = {
      {"Shift_JIS", SourceEncoding::ShiftJis, [&](const std::string& t) { return t + nihongo[0] + "\xFF"; }},
      {"EUC-JP", SourceEncoding::EucJp, [&](const std::string& t) { return t + nihongo[1] + "\xFF"; }},
      {"ISO-2022-JP", SourceEncoding::Iso2022Jp, [](const std::string& t) { return t + "\x1B$BF|K\\!\x1B(B"; }},
      {"UTF-8", SourceEncoding::Utf8, [&](const std::string& t) { return t + nihongo[2] + "\xC0"; }},
      {"UTF-16LE", SourceEncoding::Utf16,
       [](const std::string& t) { return testing::kLeMark + testing::utf16le(utf8ToUtf16(t) + u"\u65E5") + "Z"; }},
      {"UTF-16BE", SourceEncoding::Utf16,
       [](const std::string& t) { return testing::kBeMark + testing::utf16be(utf8ToUtf16(t) + u"\u65E5") + "Z"; }},
  };
  const struct {
    Kind kind;
    const char* before;  // the bad byte ends the text: a page reads it where this leaves it
  } places[] = {{Kind::Page, "<p>"},
                {Kind::Page, "<script>s='"},
                {Kind::Page, "<style>p{content:'"},
                {Kind::Sheet, "p{content:'"},
                {Kind::Script, "s='"}};
  for (const auto& form : forms) {
    for (const auto& place : places) {
      SCOPED_TRACE(std::string(form.what) + " after " + place.before);
      std::string text = form.bytes(place.before);
      TargetChoice options;
      options.targetEncoding = TargetEncoding::Utf8;
      options.keepCharacters = true;
      const DocumentResult kept = place.kind == Kind::Page    ? convertHtml(text, options, testing::NoFiles())
                                  : place.kind == Kind::Sheet ? convertCss(text, options)
                                                              : convertJavaScript(text, options);
      EXPECT_EQ(kept.source.encoding, form.encoding);
      EXPECT_EQ(kept.invalidBytes.count, 1u);
      EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos) << text;
      EXPECT_EQ(text.find("FFFD"), std::string::npos) << text;
      EXPECT_EQ(text.find("65533"), std::string::npos) << text;
      for (int target : {0, 1, 2}) {
        EXPECT_EQ(convert(place.kind, form.bytes(place.before), testing::asTarget(target)).invalidBytes.count, 1u)
            << target;
      }
    }
  }
}

// A page's declarations are tested with its bytes; a sheet's rule and a script's nothing here.
TEST(DocumentResult, DeclarationsAndWhatBecameOfThem) {
  using F = DeclarationForm;
  using D = DeclarationFate;
  const struct {
    const char* what;
    Kind kind;
    std::string source;
    std::vector<Declaration> declarations;
  } cases[] = {
      {"sheet rule replaced", Kind::Sheet, "@charset \"EUC-JP\";\np{}", {{F::CharsetRule, "EUC-JP", D::Replaced}}},
      {"sheet rule added", Kind::Sheet, "p{}", {{F::CharsetRule, "", D::Added}}},
      {"late rule",
       Kind::Sheet,
       "/**/@charset \"E\";",
       {{F::CharsetRule, "", D::Added}, {F::CharsetRule, "E", D::Rewritten}}},
      {"scripts declare nothing", Kind::Script, "x;", {}},
  };
  auto same = [](const Declaration& a, const Declaration& b) {
    return a.form == b.form && a.formerCharset == b.formerCharset && a.fate == b.fate;
  };
  for (const auto& c : cases) {
    const DocumentResult result = convert(c.kind, c.source, TargetEncoding::ShiftJis);
    ASSERT_EQ(result.declarations.size(), c.declarations.size()) << c.what;
    for (std::size_t k = 0; k < c.declarations.size(); ++k)
      EXPECT_TRUE(same(result.declarations[k], c.declarations[k])) << c.what << " " << k;
  }
}

// Without an escape language the converter writes the geta mark (or U+FFFD in UTF-8) and says so.
// A page of a hundred thousand forms, or of tags naming no file, keeps a record of a few of
// each and the count of the rest; every reference that reaches a file stays.
TEST(DocumentResult, ACompactRecordKeepsAFewOfEachKindAndCountsTheRest) {
  std::string page = "<meta charset=utf-8>";
  for (int k = 0; k < 10; ++k)
    page += "<form action=x><a href=\"?q=\xE6\x97\xA5\"></a><script src=s" + std::to_string(k) + ".js></script>";
  page += "<script src=http://x/a.js></script><script src=here.js></script><link rel=stylesheet href=here.css>";
  page += "<script src=here.js></script>";
  testing::MemoryResolver files;
  files.file("here.js");
  files.file("here.css");
  std::string text = page;
  TargetChoice options;
  options.targetEncoding = TargetEncoding::ShiftJis;
  DocumentResult record = convertHtml(text, options, files);
  EXPECT_EQ(record.pageNotices.size(), 2 * kRecordedOfEachKind);
  EXPECT_EQ(record.pageNoticesUnlisted[0], 10 - kRecordedOfEachKind);
  EXPECT_EQ(record.pageNoticesUnlisted[1], 10 - kRecordedOfEachKind);
  EXPECT_EQ(record.references.unlisted(), 10 - kRecordedOfEachKind);
  // A reference made again is read as often as it was made, in its place.
  ASSERT_EQ(record.references.size(), kRecordedOfEachKind + 4);
  for (std::size_t k : {1, 2, 3}) {
    const FoundReference& found = record.references[kRecordedOfEachKind + k];
    EXPECT_EQ(found.kind, k == 2 ? LoadedKind::StyleSheet : LoadedKind::Script) << k;
    EXPECT_EQ(found.status, ReferenceStatus::Followable) << k;
  }
}

TEST(DocumentResult, TheConverterAloneReportsWhatItCouldNotHold) {
  ConverterOptions options;
  applyTargetEncoding(options, TargetEncoding::ShiftJis, LineEnding::Unchanged);
  options.inputEncoding = InputEncoding::EucJp;
  Findings findings;
  const std::string source = "\xA4\xA2\n\x8F\xB0\xA1\x8F\xB0\xA1";
  EXPECT_EQ(convertText(options, source, nullptr, &findings), "\x82\xA0\n\x81\xAC\x81\xAC");
  DocumentResult result;
  findings.fill(result, source, SourceForm::EucJp);
  ASSERT_EQ(result.lost.size(), 1u);
  EXPECT_EQ(result.lost[0].codePoint, U'\u4E02');
  EXPECT_EQ(result.lost[0].count, 2u);
  EXPECT_EQ(result.lost[0].first, (TextPosition{2, 1}));
  EXPECT_EQ(result.lost[0].writtenAs, StandIn::GetaMark);
}

}  // namespace
}  // namespace sarnavel
