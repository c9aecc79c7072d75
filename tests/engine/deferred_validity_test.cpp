// A declared Shift_JIS or EUC-JP document is converted before its bytes are read through: the
// converter's count of malformed bytes confirms the declaration, and a document it refutes is
// read again with the full decision. Either way the record names what the decision alone names.
#include <gtest/gtest.h>

#include <string>

#include "support/memory_resolver.h"
#include "support/targets.h"

#include "engine/css_conversion.h"
#include "engine/document_reading.h"
#include "engine/html_conversion.h"
#include "engine/javascript_conversion.h"
#include "engine/text_conversion.h"
#include "engine/xml_conversion.h"

namespace sarnavel {
namespace {

using E = SourceEncoding;

EncodingEvidence loadedBy(std::optional<E> page) {
  EncodingEvidence e;
  e.loadingPage = page;
  return e;
}

EncodingEvidence inSiteOf(E encoding) {
  EncodingEvidence e;
  for (int k = 0; k < 3; ++k) e.site.add({encoding, DecisionBasis::Declaration});
  return e;
}

TEST(DeferredValidity, TheConverterConfirmsOrTheDecisionDecides) {
  const std::string nihongoUtf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
  const struct {
    const char* what;
    DocumentKind kind;
    std::string bytes;
    EncodingEvidence evidence;
    std::string declared;  // what the reading step finds the document declaring
    int target;
    std::string shown;  // in the UTF-8 output, when given
  } cases[] = {
      {"a Shift_JIS page",
       DocumentKind::Page,
       "<meta charset=shift_jis>\x93\xFA\x96\x7B\x8C\xEA",
       {},
       "shift_jis",
       3,
       nihongoUtf8},
      {"an EUC-JP page declaring Shift_JIS",
       DocumentKind::Page,
       "<meta charset=shift_jis>\xC6\xFC\xCB\xDC\xB8\xEC",
       {},
       "shift_jis",
       3,
       nihongoUtf8},
      {"a Shift_JIS page declaring EUC-JP",
       DocumentKind::Page,
       "<meta charset=euc-jp>\x93\xFA\x96\x7B\x8C\xEA",
       {},
       "euc-jp",
       3,
       nihongoUtf8},
      {"a stray byte at the end of a script", DocumentKind::Script, "s='\x93\xFA\x96\x7B\x8C\xEA';\x80",
       loadedBy(E::ShiftJis), "", 3, ""},
      {"a stray byte in the sheet's old rule alone", DocumentKind::StyleSheet,
       "@charset  \"\x80\";\np{content:'\x93\xFA\x96\x7B\x8C\xEA'}", loadedBy(E::ShiftJis), "", 3, ""},
      {"into EUC-JP", DocumentKind::StyleSheet, "p{content:'\x93\xFA\x96\x7B\x8C\xEA'}", loadedBy(E::ShiftJis), "", 1,
       ""},
      {"into its own encoding, read through first", DocumentKind::Script, "s='\xC6\xFC\xCB\xDC\x80';",
       loadedBy(E::EucJp), "", 1, ""},
      // Undeclared: a text that is Shift_JIS so far is converted at once, a UTF-8 one read directly.
      {"undeclared Shift_JIS", DocumentKind::Script, "s='\x93\xFA\x96\x7B\x8C\xEA';", {}, "", 3, nihongoUtf8},
      {"Shift_JIS so far", DocumentKind::Script, "s='\x93\xFA\xC6\xFC\xCB\xDC\xFF';", {}, "", 1, ""},
      {"undeclared EUC-JP", DocumentKind::Script, "s='\xC6\xFC\xCB\xDC\xB8\xEC';", {}, "", 3, nihongoUtf8},
      {"EUC-JP so far", DocumentKind::Script, "s='\xC6\xFC\xCB\xDC\xB8\xEC\x93\xFA';", {}, "", 0, ""},
      {"undeclared UTF-8", DocumentKind::Script, "s='" + nihongoUtf8 + "';", {}, "", 0, ""},
      {"UTF-8 so far", DocumentKind::Script, "s='" + nihongoUtf8 + "';\xE6\x97", {}, "", 1, ""},
      {"UTF-8 but for a sequence", DocumentKind::StyleSheet, "p{content:'" + nihongoUtf8 + "\xC0'}", {}, "", 0, ""},
      // The site's encoding weighs only between readings that are both valid.
      {"Shift_JIS in an EUC-JP site", DocumentKind::Script, "s='\x93\xFA\x96\x7B\x8C\xEA';", inSiteOf(E::EucJp), "", 3,
       nihongoUtf8},
      {"Shift_JIS so far in an EUC-JP site", DocumentKind::Script, "s='\x93\xFA\xC6\xFC\xCB\xDC\xFF';",
       inSiteOf(E::EucJp), "", 3, ""},
      {"EUC-JP in a Shift_JIS site", DocumentKind::StyleSheet, "p{content:'\xC6\xFC\xCB\xDC\xB8\xEC'}",
       inSiteOf(E::ShiftJis), "", 3, nihongoUtf8},
      {"EUC-JP so far in a Shift_JIS site", DocumentKind::Script, "s='\xC6\xFC\xCB\xDC\xB8\xEC\x93\xFA';",
       inSiteOf(E::ShiftJis), "", 3, ""},
      {"valid in both, in an EUC-JP site", DocumentKind::Script, "s='\xC1\xB0\xC1\xB0';", inSiteOf(E::EucJp), "", 3,
       ""},
  };
  for (const auto& c : cases) {
    TargetChoice options;
    options.targetEncoding = testing::asTarget(c.target);
    EncodingEvidence withDeclaration = c.evidence;
    withDeclaration.declared = c.declared;
    std::string text = c.bytes;
    DocumentResult result;
    switch (c.kind) {
      case DocumentKind::Page: result = convertHtml(text, options, testing::MemoryResolver(), c.evidence); break;
      case DocumentKind::StyleSheet: result = convertCss(text, options, c.evidence); break;
      case DocumentKind::Script: result = convertJavaScript(text, options, c.evidence); break;
      case DocumentKind::Text: result = convertPlainText(text, options, c.evidence); break;
      case DocumentKind::Xml: result = convertXml(text, options, c.evidence); break;
    }
    EXPECT_EQ(result.source, decideSourceEncoding(c.bytes, withDeclaration)) << c.what;
    if (!c.shown.empty()) {
      EXPECT_NE(text.find(c.shown), std::string::npos) << c.what;
    }
  }
}

// A declared UTF-8 is taken unread when the reading step reads the text strictly: a text it
// finds well formed is what the decision would have read, any other is decided again in full.
// Either way the reading gives what the decision reading the text first gives.
TEST(DeferredValidity, AStrictReadingStandsForTheUtf8Test) {
  const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";
  const std::string prose = std::string(40, 'a') + nihongo + nihongo + nihongo;
  EncodingEvidence byUtf8Element;
  byUtf8Element.loaderCharset = "utf-8";
  const struct {
    const char* what;
    DocumentKind kind;
    std::string bytes;
    EncodingEvidence evidence;
  } cases[] = {
      {"well formed", DocumentKind::Page, "<meta charset=utf-8><p>" + nihongo, {}},
      {"nearly UTF-8", DocumentKind::Page, "<meta charset=utf-8><p>" + prose + "\xC0</p>", {}},
      {"an encoded surrogate", DocumentKind::Page, "<meta charset=utf-8><p>" + nihongo + "\xED\xA0\x80", {}},
      {"Shift_JIS declared UTF-8", DocumentKind::Page, "<meta charset=utf-8><p>\x93\xFA\x96\x7B\x8C\xEA", {}},
      {"cut short", DocumentKind::Page, "<meta charset=utf-8><script>s='" + nihongo + "\xE6\x97", {}},
      {"undeclared", DocumentKind::Page, "<p>" + prose + "<script>s='" + nihongo + "'</script>", {}},
      {"undeclared, an overlong form", DocumentKind::Page, "<p>" + prose + "\xC0\xAF", {}},
      {"a script its element names UTF-8", DocumentKind::Script, "s='" + nihongo + "';", byUtf8Element},
      {"a sheet of a UTF-8 page", DocumentKind::StyleSheet, "p{content:'" + nihongo + "\xFF'}", loadedBy(E::Utf8)},
  };
  for (const auto& c : cases) {
    for (int index : {0, 1, 2, 3}) {
      const TargetEncoding target = testing::asTarget(index);
      const DeclarationReader declarationOf = [](std::string_view bytes) {
        return std::string(bytes.starts_with("<meta charset=utf-8>") ? "utf-8" : "");
      };
      Findings unreadFindings, readFindings;
      const WorkingText unread = readDocument(
          c.bytes, {c.kind, target, declarationOf, false, ValidityCheck::ByConverter}, c.evidence, unreadFindings);
      const WorkingText read = readDocument(c.bytes, {c.kind, target, declarationOf}, c.evidence, readFindings);
      EXPECT_EQ(unread.decision, read.decision) << c.what << ", " << target;
      EXPECT_EQ(unread.text(), read.text()) << c.what << ", " << target;
      EXPECT_EQ(unread.converterInput, read.converterInput) << c.what << ", " << target;
      DocumentResult unreadResult, readResult;
      unreadFindings.fill(unreadResult, c.bytes, unread.form);
      readFindings.fill(readResult, c.bytes, read.form);
      EXPECT_EQ(unreadResult.escaped.size(), readResult.escaped.size()) << c.what << ", " << target;
      EXPECT_EQ(unreadResult.invalidBytes.count, readResult.invalidBytes.count) << c.what << ", " << target;
      EXPECT_EQ(unreadResult.invalidBytes.first, readResult.invalidBytes.first) << c.what << ", " << target;
    }
  }
}

}  // namespace
}  // namespace sarnavel
