#include <gtest/gtest.h>

#include "support/targets.h"

#include "engine/css_conversion.h"
#include "engine/css_imports.h"
#include "engine/javascript_conversion.h"

namespace sarnavel {
namespace {

TargetChoice target(int encoding, LineEnding eol = LineEnding::Unchanged) {
  TargetChoice options;
  options.targetEncoding = testing::asTarget(encoding);
  options.lineEnding = eol;
  return options;
}

std::string css(std::string_view in, TargetChoice options) {
  std::string text(in);
  (void)convertCss(text, options);
  return text;
}

// The sheets a sheet imports: every form of @import, at the sheet's start only.
TEST(ImportedSheets, EveryFormAtTheStart) {
  const struct {
    std::string sheet;
    std::vector<std::string> imports;
  } cases[] = {
      {"@import url(a.css);@import url( 'b.css' );@import url(\"c.css\") screen;", {"a.css", "b.css", "c.css"}},
      {"@charset \"utf-8\";\n/* x */ <!-- @IMPORT 'a b.css' print, screen; --> @Import URL(c.css)",
       {"a b.css", "c.css"}},
      {"@layer base, theme;\n@import \"a.css\" layer(base) supports(display: grid) (min-width: 10em);", {"a.css"}},
      {"@import \"a\\\"b.css\";@import url(c\\).css);", {"a\"b.css", "c).css"}},
      {"@import \"\xe6\x97\xa5.css\";", {"\xe6\x97\xa5.css"}},
      // A rule browsers drop imports nothing; the first other rule ends the imports.
      {"@import a.css;@import url(a b.css);@import \"c.css\";", {"c.css"}},
      {"p{} @import \"a.css\";", {}},
      {"@media print { @import \"a.css\"; }", {}},
      {"@importx \"a.css\";", {}},
      {"\xe6\x97\xa5 @import \"a.css\";", {}},
      {"@import \"\x1b$B$\"\x1b(B.css\";", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(importedSheets(c.sheet), c.imports) << c.sheet;
}

TEST(ConvertCss, CharsetRule) {
  struct Case {
    const char* what;
    std::string_view in;
    int encoding;
    LineEnding eol;
    std::string_view out;
  } cases[] = {
      {"no rule, LF sheet", "p{}\n", 0, LineEnding::Unchanged, "@charset \"shift_jis\";\np{}\n"},
      {"no line break at all", "p{}", 0, LineEnding::Unchanged, "@charset \"shift_jis\";\r\np{}"},
      {"CR sheet", "p{}\rq{}", 1, LineEnding::Unchanged, "@charset \"euc-jp\";\rp{}\rq{}"},
      {"rule replaced with its line break", "@charset \"EUC-JP\";\r\np{}\r\n", 3, LineEnding::Unchanged,
       "@charset \"utf-8\";\r\np{}\r\n"},
      {"rule replaced, what follows on its line stays", "@charset \"EUC-JP\"; p{}\n", 0, LineEnding::Unchanged,
       "@charset \"shift_jis\";\n p{}\n"},
      {"white space inside the rule", "@charset   \"x\"  ;p{}", 2, LineEnding::Lf, "@charset \"iso-2022-jp\";\np{}"},
      // Browsers read a rule at the first byte only: one elsewhere is no declaration, but the
      // rules found after the new one name the target too.
      {"a rule after a comment", "/* x */\n@charset \"b\";\np{}\n", 0, LineEnding::Lf,
       "@charset \"shift_jis\";\n/* x */\n@charset \"shift_jis\";\np{}\n"},
      {"an LF rule in a CR+LF sheet", "@charset \"x\";\np{}\r\n", 0, LineEnding::Unchanged,
       "@charset \"shift_jis\";\r\np{}\r\n"},
      {"single quotes are not a rule", "@charset 'x';\n", 0, LineEnding::Lf,
       "@charset \"shift_jis\";\n@charset 'x';\n"},
      {"upper-case keyword is not a rule", "@CHARSET \"x\";\n", 0, LineEnding::Lf,
       "@charset \"shift_jis\";\n@CHARSET \"x\";\n"},
      {"empty sheet", "", 3, LineEnding::Unchanged, "@charset \"utf-8\";\r\n"},
      {"rule break follows the choice", "a\nb\n", 0, LineEnding::CrLf, "@charset \"shift_jis\";\r\na\r\nb\r\n"},
      // A Latin-1 rule, its value compared without letter case: é becomes its CSS escape.
      {"Latin-1", "@charset \"Latin1\";\np:after{content:\"caf\xe9\"}", 0, LineEnding::Unchanged,
       "@charset \"shift_jis\";\np:after{content:\"caf\\E9 \"}"},
      {"ISO-8859-1", "@charset \"ISO-8859-1\";\n\xe9", 3, LineEnding::Unchanged, "@charset \"utf-8\";\n\\E9 "},
      // a blank inside the quotes is no Latin-1: the byte is Shift_JIS half-width katakana
      {"not Latin-1", "@charset \" latin1x\";\n\xb1", 3, LineEnding::Unchanged, "@charset \"utf-8\";\n\xef\xbd\xb1"},
      // In Shift_JIS an '@' after a lead byte is the trail of a character (\x81@ is U+3000); the lead
      // bytes before it pair off from the first one after a byte that is none.
      {"'@' as the first character's trail", "\x81@charset \"x\";\n", 0, LineEnding::Unchanged,
       "@charset \"shift_jis\";\n\x81@charset \"x\";\n"},
      {"two lead bytes before '@'", "p{}\x81\x81@charset \"x\";\n", 0, LineEnding::Unchanged,
       "@charset \"shift_jis\";\np{}\x81\x81@charset \"shift_jis\";\n"},
      {"three lead bytes after a character", "\x82\xa0\x81\x81\x81@charset \"x\";\n", 3, LineEnding::Unchanged,
       "@charset \"utf-8\";\n\xe3\x81\x82\xef\xbc\x9d\xe3\x80\x80"
       "charset \"x\";\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(css(c.in, target(c.encoding, c.eol)), c.out) << c.what;
}

TEST(ConvertJavaScript, Cases) {
  auto js = [](std::string_view in, TargetChoice options) {
    std::string text(in);
    (void)convertJavaScript(text, options);
    return text;
  };
  EXPECT_EQ(js("var s = \"\x82\xa0\";\r\nf();\r\n", target(1, LineEnding::Lf)), "var s = \"\xa4\xa2\";\nf();\n");
  for (int encoding : {0, 1, 2, 3}) {
    EXPECT_EQ(js("s=\"caf\xc3\xa9\";", target(encoding)), "s=\"caf\\u00E9\";") << encoding;
  }
  EXPECT_EQ(js("\xef\xbb\xbfs=\"\xe6\x97\xa5\";", target(3)), "s=\"\xe6\x97\xa5\";");
  EXPECT_EQ(js("", target(3)), "");
  // Between tokens, white space the target lacks is a space and a name character beyond U+FFFF
  // is written \u{...}: an escape there is a syntax error or names another variable. In
  // strings and comments the escape stays; in a String.raw template it is a substitution.
  EXPECT_EQ(js("var a =\xc2\xa0"
               "1;\n\xef\xbb\xbfvar b; // \xc2\xa0\nvar s = '\xc2\xa0';",
               target(0)),
            "var a = 1;\n var b; // \\u00A0\nvar s = '\\u00A0';");
  EXPECT_EQ(js("var \xf0\xa0\xae\xb7 = `\xf0\xa0\xae\xb7${\xc2\xa0x}`;", target(1)),
            "var \\u{20BB7} = `\\uD842\\uDFB7${ x}`;");
  EXPECT_EQ(js("s = String.raw`caf\xc3\xa9 \\d`;", target(0)), "s = String.raw`caf${\"\\u00E9\"} \\d`;");
}

}  // namespace
}  // namespace sarnavel
