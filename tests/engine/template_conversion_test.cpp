#include "engine/template_conversion.h"

#include <gtest/gtest.h>

#include "support/memory_resolver.h"
#include "support/targets.h"
#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

constexpr int kSjis = 0, kJis = 2, kUtf8 = 3;

// A text written in UTF-8 here, in `encoding`.
std::string in(int encoding, std::string_view utf8) {
  const TargetEncoding target = testing::asTarget(encoding);
  if (target == TargetEncoding::Utf8) return std::string(utf8);
  return encodeFromWide(utf8ToUtf16(utf8), target).value();
}

std::string noticesOf(const DocumentResult& result) {
  std::string out;
  for (const PageNotice& notice : result.pageNotices)
    out += (out.empty() ? "" : "|") + std::to_string(notice.at.line) + ": " + notice.text + " -> " + notice.suggested;
  return out;
}

TEST(ConvertTemplate, CodeIsKeptAndWhatStandsAroundItIsAPages) {
  using Why = CodeLeft::Why;
  const struct Case {
    const char* what;
    IslandSyntax syntax;
    int from, to;
    std::string text;  // UTF-8, written in `from`; with `raw`, the bytes as they are
    std::string out;   // UTF-8, written in `to`; empty: left as it was
    Why why = Why::None;
    TextPosition at = {};
    std::string notices = {};
    bool raw = false;
  } cases[] = {
      {"code is opaque to the walk, in attribute values too; nothing is added", IslandSyntax::Php, kSjis, kUtf8,
       "<?php $c = \"<!--\"; ?><html><head><meta charset=\"Shift_JIS\"><title>題</title></head>\n"
       "<a href=\"<?= $u ?>\">あ</a><?php echo '<meta charset=\"Shift_JIS\">'; $s = \"日本\"; ?></html>",
       "<?php $c = \"<!--\"; ?><html><head><meta charset=\"UTF-8\"><title>題</title></head>\n"
       "<a href=\"<?= $u ?>\">あ</a><?php echo '<meta charset=\"Shift_JIS\">'; $s = \"日本\"; ?></html>"},
      {"an island never closed runs to the end", IslandSyntax::Php, kSjis, kUtf8,
       "<meta charset=\"Shift_JIS\">\n<? echo '<meta charset=\"Shift_JIS\">'; // あ",
       "<meta charset=\"UTF-8\">\n<? echo '<meta charset=\"Shift_JIS\">'; // あ"},
      {"a character the target lacks is escaped outside the code", IslandSyntax::Php, kUtf8, kSjis,
       "<p>😀</p><?php $a = 'あ'; ?>", "<p>&#128512;</p><?php $a = 'あ'; ?>"},
      {"each PHP call naming another encoding is warned, with its line for the target",
       IslandSyntax::Php,
       kSjis,
       kUtf8,
       "<?php\n  header('Content-Type: text/html; charset=Shift_JIS');\n  mb_internal_encoding(\"SJIS-win\");\n"
       "  mb_http_output('pass'); mb_http_output('EUC-JP');\n  ini_set('default_charset', 'Shift_JIS');\n"
       "  header('Content-Type: text/html; charset=UTF-8');\n?>",
       "<?php\n  header('Content-Type: text/html; charset=Shift_JIS');\n  mb_internal_encoding(\"SJIS-win\");\n"
       "  mb_http_output('pass'); mb_http_output('EUC-JP');\n  ini_set('default_charset', 'Shift_JIS');\n"
       "  header('Content-Type: text/html; charset=UTF-8');\n?>",
       Why::None,
       {},
       "2: header('Content-Type: text/html; charset=Shift_JIS'); -> header('Content-Type: text/html; "
       "charset=UTF-8');|3: mb_internal_encoding(\"SJIS-win\"); -> mb_internal_encoding(\"UTF-8\");|"
       "4: mb_http_output('pass'); mb_http_output('EUC-JP'); -> mb_http_output('pass'); mb_http_output('UTF-8');|"
       "5: ini_set('default_charset', 'Shift_JIS'); -> ini_set('default_charset', 'UTF-8');"},
      {"JSP and ASP directives naming another encoding are warned",
       IslandSyntax::Asp,
       kSjis,
       kUtf8,
       "<%@ page contentType=\"text/html; charset=Windows-31J\" pageEncoding=\"Shift_JIS\" %>\n"
       "<% Response.Charset = \"Shift_JIS\" %><p>あ</p>",
       "<%@ page contentType=\"text/html; charset=Windows-31J\" pageEncoding=\"Shift_JIS\" %>\n"
       "<% Response.Charset = \"Shift_JIS\" %><p>あ</p>",
       Why::None,
       {},
       "1: <%@ page contentType=\"text/html; charset=Windows-31J\" pageEncoding=\"Shift_JIS\" %> -> <%@ page "
       "contentType=\"text/html; charset=UTF-8\" pageEncoding=\"UTF-8\" %>|"
       "2: <% Response.Charset = \"Shift_JIS\" %><p>あ</p> -> <% Response.Charset = \"UTF-8\" %><p>あ</p>"},
      {"a character the target lacks in code leaves the template",
       IslandSyntax::Php,
       kUtf8,
       kSjis,
       "<p>あ</p>\n<?php\n  $x = \"日 😀\"; ?>",
       "",
       Why::LackedCharacter,
       {3, 11}},
      {"bytes that are no character in code leave the template",
       IslandSyntax::Php,
       kSjis,
       kUtf8,
       "<p>\x82\xa0</p>\n<?php $x = '\x82'; ?>",
       "",
       Why::InvalidBytes,
       {2, 13},
       {},
       true},
      // ソ is 0x83 0x5C: PHP reads its second byte as a backslash, other languages a character.
      {"a Shift_JIS character ending in 0x5C in PHP code leaves the template",
       IslandSyntax::Php,
       kSjis,
       kUtf8,
       "<p>表</p><?php $a = \"ソ\\\"; ?>",
       "",
       Why::BackslashByte,
       {1, 21}},
      {"the same character in ASP code is a character", IslandSyntax::Asp, kSjis, kUtf8, "<p>表</p><% a = \"ソ\" %>",
       "<p>表</p><% a = \"ソ\" %>"},
      {"code is not kept byte for byte in ISO-2022-JP",
       IslandSyntax::Php,
       kSjis,
       kJis,
       "<p>あ</p><?php $a = 1; ?>",
       "",
       Why::Encoding,
       {1, 9}},
  };
  for (const Case& c : cases) {
    TargetChoice options;
    options.targetEncoding = testing::asTarget(c.to);
    const std::string source = c.raw ? c.text : in(c.from, c.text);
    std::string text = source;
    std::vector<PageEdit> edits;
    const testing::MemoryResolver files;
    const DocumentResult result = convertTemplateLeavingEdits(text, edits, {options, files, {}, false, c.syntax, true});
    applyPageEdits(text, std::move(edits));
    EXPECT_EQ(text, c.out.empty() ? source : in(c.to, c.out)) << c.what;
    EXPECT_EQ(result.codeLeft.why, c.why) << c.what;
    EXPECT_EQ(result.codeLeft.at, c.at) << c.what;
    EXPECT_EQ(noticesOf(result), c.notices) << c.what;
  }
}

// A fragment a page includes: converted, escaped and its declarations rewritten as a page's,
// but none added or moved, since the page that includes it declares for it.
TEST(ConvertFragment, NoDeclarationIsAddedOrMoved) {
  const struct {
    int from, to;
    std::string text, out;
  } cases[] = {
      {kSjis, kUtf8, "<ul><li>ホーム</li></ul>\n", "<ul><li>ホーム</li></ul>\n"},
      {kUtf8, kSjis, "<p>😀</p>", "<p>&#128512;</p>"},
      {kSjis, kUtf8, "<title>題</title><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">",
       "<title>題</title><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"},
  };
  for (const auto& c : cases) {
    TargetChoice options;
    options.targetEncoding = testing::asTarget(c.to);
    std::string text = in(c.from, c.text);
    std::vector<PageEdit> edits;
    const testing::MemoryResolver files;
    (void)convertPageLeavingEdits(text, edits, {options, files, {}, false, IslandSyntax::None, true});
    applyPageEdits(text, std::move(edits));
    EXPECT_EQ(text, in(c.to, c.out)) << c.text;
  }
}

}  // namespace
}  // namespace sarnavel
