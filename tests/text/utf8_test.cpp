#include "text/utf8.h"

#include <gtest/gtest.h>

#include "support/oracle.h"

namespace sarnavel {
namespace {

// Whether bytes are UTF-8 text (lenient at the end, ASCII alone is not), and whether every byte
// is well-formed (ASCII alone is).
TEST(IsUtf8Text, Table) {
  struct Case {
    std::string_view bytes;
    bool utf8, wellFormed;
  } cases[] = {
      {"", false, true},
      {"plain ascii", false, true},
      {"\xE3\x81\x82", true, true},   // あ
      {"a\xE3\x81", true, false},     // cut short by the end
      {"\xE3\x81 ", false, false},    // a sequence broken by ASCII
      {"\x82\xA0", false, false},     // Shift_JIS あ
      {"\xED\xA0\x80", true, false},  // a surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isUtf8Text(c.bytes), c.utf8) << ::testing::PrintToString(std::string(c.bytes));
    EXPECT_EQ(isWellFormedUtf8(c.bytes), c.wellFormed) << ::testing::PrintToString(std::string(c.bytes));
  }
}

// The strict reading, as browsers read UTF-8: one U+FFFD for each malformed sequence, as
// ICU's converter reads it too.
TEST(Utf8ToUtf16, Table) {
  struct Case {
    std::string_view bytes;
    std::u16string_view units;
  } cases[] = {
      {"\xE3\x81\x82", u"\u3042"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xC0\x80x", u"\uFFFD\uFFFDx"},                    // an overlong form: two bytes that start nothing
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // a three-byte one
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"a\xE3\x81", u"a\uFFFD"},                          // a sequence cut by the end: one
      {"a\xE3\x81 ", u"a\uFFFD "},                        // or by ASCII
      {"\xF8\x88\x80\x80\x80z", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDz"},
      {"\x80\x80z", u"\uFFFD\uFFFDz"},  // each stray continuation byte
      {"\xFF", u"\uFFFD"},
      {std::string_view("a\0b", 3), std::u16string_view(u"a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8ToUtf16(c.bytes), c.units) << ::testing::PrintToString(std::string(c.bytes));
    EXPECT_EQ(testing::icuDecode("UTF-8", c.bytes), c.units) << ::testing::PrintToString(std::string(c.bytes));
  }
  std::u16string text = u"日本語 \U0001F600 é";
  EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text);
  EXPECT_EQ(utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace sarnavel
