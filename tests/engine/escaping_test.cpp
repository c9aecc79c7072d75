#include "engine/escaping.h"

#include <gtest/gtest.h>

#include "engine/converter.h"
#include "engine/target_options.h"
#include "support/bytes.h"
#include "support/targets.h"
#include "text/utf8.h"

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

// Reads the escapes of one language back; what is left is the text's characters.
std::u16string readBackHtmlEscapes(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.substr(i, 2) == u"&#") {
      std::size_t end = text.find(u';', i);
      std::string digits(text.begin() + static_cast<std::ptrdiff_t>(i + 2),
                         text.begin() + static_cast<std::ptrdiff_t>(end));
      char32_t cp = static_cast<char32_t>(std::stoul(digits));
      out += utf8ToUtf16([&] {
        std::string s;
        appendUtf8(s, cp);
        return s;
      }());
      i = end;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// A UTF-8 text taken through the escaping and the converter back to UTF-8 keeps every
// character it had; the only change is escapes for what code page 932 cannot hold.
TEST(Utf8Preparation, RoundTripThroughTheConverterKeepsEveryCharacter) {
  std::u16string text = u"日本語のテキスト ①㈱Ⅰ髙﨑 ｶﾀｶﾅ café ü € \U0001F600 〜～ ¥\\ ∥‖ −－ ¬￢ \uE000";
  for (char16_t u = 0x20; u < 0x3000; u += 7) text.push_back(u);
  std::string bytes = utf16ToUtf8(text);
  ASSERT_TRUE(prepareUtf8Text(bytes, EscapeLanguage::Html));
  ConverterOptions options;
  applyTargetEncoding(options, TargetEncoding::Utf8, LineEnding::Unchanged);
  ConversionReport report;
  std::string utf8 = convertText(options, bytes, &report);
  EXPECT_EQ(report.unconvertible, 0u);
  EXPECT_TRUE(testing::sameUnits(readBackHtmlEscapes(utf8ToUtf16(utf8)), text));
}

}  // namespace
}  // namespace sarnavel
