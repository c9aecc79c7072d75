#include "text/japanese_text.h"

#include <gtest/gtest.h>

#include "support/oracle.h"
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

// Every byte from 0x80 as ICU's windows-1252 reads it; the five it leaves empty as themselves.
TEST(Cp1252, EveryHighByteAsIcuReadsIt) {
  for (unsigned b = 0x80; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::u16string theirs = testing::icuDecode("windows-1252", byte);
    const bool empty = theirs.size() != 1 || theirs[0] == 0x1A || theirs[0] == 0xFFFD;
    EXPECT_EQ(decodeCp1252(byte), empty ? std::u16string(1, static_cast<char16_t>(b)) : theirs) << std::hex << b;
  }
}

}  // namespace
}  // namespace sarnavel
