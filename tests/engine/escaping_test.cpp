#include "engine/escaping.h"

#include <gtest/gtest.h>

#include "support/targets.h"

namespace sarnavel {
namespace {

TEST(Escaping, OneCharacterInEachLanguage) {
  struct Case {
    std::u16string_view text;
    std::string_view html, css, js;
  } cases[] = {
      {u"\u3042", "\x82\xa0", "\x82\xa0", "\x82\xa0"},  // held: no escape
      {u"\u00e9", "&#233;", "\\E9 ", "\\u00E9"},
      {u"\u00a5", "&#165;", "\\A5 ", "\\u00A5"},                   // no best fit to a backslash
      {u"\u301c", "&#12316;", "\\301C ", "\\u301C"},               // the JIS wave dash
      {u"\uff5e", "\x81\x60", "\x81\x60", "\x81\x60"},             // the code page's own
      {u"\U0001F600", "&#128512;", "\\1F600 ", "\\uD83D\\uDE00"},  // one character, not two halves
      {u"\xD83D", "&#65533;", "\\FFFD ", "\\uFFFD"},               // a lone surrogate: U+FFFD, as browsers read it
      {u"\xDE00"
       u"a",
       "&#65533;a", "\\FFFD a", "\\uFFFDa"},
      {u"a\\b", "a\\b", "a\\b", "a\\b"},
      {std::u16string_view(u"a\0b", 3), std::string_view("a\0b", 3), std::string_view("a\0b", 3),
       std::string_view("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(escapeForHtml(c.text), c.html);
    EXPECT_EQ(escapeForCss(c.text), c.css);
    EXPECT_EQ(escapeForJavaScript(c.text), c.js);
  }
}

}  // namespace
}  // namespace sarnavel
