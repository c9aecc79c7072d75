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

TEST(Utf8Preparation, Cases) {
  struct Case {
    std::string_view in;
    EscapeLanguage language;
    bool prepared;
    std::string_view out;
  } cases[] = {
      {"\xe3\x81\x82", EscapeLanguage::Html, true, "\x82\xa0"},
      {"\xef\xbb\xbf\xe3\x81\x82", EscapeLanguage::Css, true, "\x82\xa0"},  // one mark dropped
      {"\xef\xbb\xbf\xef\xbb\xbf"
       "a",
       EscapeLanguage::Html, true, "&#65279;a"},  // a second one stays
      {"caf\xc3\xa9", EscapeLanguage::JavaScript, true, "caf\\u00E9"},
      {"\xf0\x9f\x98\x80", EscapeLanguage::Html, true, "&#128512;"},
      {"plain", EscapeLanguage::Html, false, "plain"},                        // ASCII is not UTF-8 text
      {"\xe3\x81\x82\x81", EscapeLanguage::Html, false, "\xe3\x81\x82\x81"},  // a lone continuation byte
      {std::string_view("\xe3\x81\x82\0z", 5), EscapeLanguage::Html, true,
       std::string_view("\x82\xa0\0z", 4)},  // nothing after a NUL is lost
  };
  for (const auto& c : cases) {
    std::string text(c.in);
    EXPECT_EQ(prepareUtf8Text(text, c.language), c.prepared);
    EXPECT_EQ(text, c.out);
  }
}

}  // namespace
}  // namespace sarnavel
