#include "text/japanese_text.h"

#include <gtest/gtest.h>

#include "support/targets.h"

#include "text/cp1252.h"

namespace sarnavel {
namespace {

TEST(DecodeToWide, EachEncodingOfOneName) {
  const std::u16string name = u"日本語ｶﾅ.css";
  struct Case {
    TargetEncoding encoding;
    std::string_view bytes;
  } cases[] = {
      {TargetEncoding::ShiftJis, "\x93\xfa\x96\x7b\x8c\xea\xb6\xc5.css"},
      {TargetEncoding::EucJp, "\xc6\xfc\xcb\xdc\xb8\xec\x8e\xb6\x8e\xc5.css"},
      {TargetEncoding::Iso2022Jp, "\x1b$BF|K\\8l\x1b(I6E\x1b(B.css"},
      {TargetEncoding::Utf8, "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xef\xbd\xb6\xef\xbe\x85.css"},
  };
  for (const auto& c : cases) EXPECT_EQ(decodeToWide(c.bytes, c.encoding), name) << static_cast<int>(c.encoding);
}

TEST(DecodeToWide, BrokenBytesBecomeReplacementCharacters) {
  EXPECT_EQ(decodeToWide("a\xa1", TargetEncoding::EucJp), u"a\uFFFD");
  EXPECT_EQ(decodeToWide("\x8f\xb0\xa1", TargetEncoding::EucJp), u"\u4E02");  // JIS X 0212
  EXPECT_EQ(decodeToWide("\x1b$B\x21", TargetEncoding::Iso2022Jp), u"\uFFFD");
}

TEST(Cp1252, Plain) {
  EXPECT_EQ(decodeCp1252("caf\xe9 \x80\x81"), u"caf\u00e9 \u20ac\u0081");
}

}  // namespace
}  // namespace sarnavel
