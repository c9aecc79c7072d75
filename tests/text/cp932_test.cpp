#include "text/cp932.h"

#include <gtest/gtest.h>

#include "support/oracle.h"

namespace sarnavel {
namespace {

TEST(Cp932, KnownCodes) {
  struct Case {
    std::uint16_t code;
    char16_t unit;
  } cases[] = {
      {0x5C, u'\\'},                   // a backslash, as browsers read it
      {0x7E, u'~'},     {0x1A, 0x1A},  // controls are themselves (ICU's table would swap them)
      {0x1C, 0x1C},     {0x7F, 0x7F},     {0x80, 0x80}, {0xA1, 0xFF61},  // half-width katakana
      {0xDF, 0xFF9F},   {0x82A0, 0x3042},                                // あ
      {0x8160, 0xFF5E},                                                  // the wave dash of code page 932
      {0x8740, 0x2460},                                                  // ① NEC row 13
      {0x878A, 0x3231},                                                  // ㈱
      {0xFBFC, 0x9AD9},                                                  // 髙 IBM extension
      {0xF040, 0xE000},                                                  // user-defined area
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cp932::toUnicode(c.code), c.unit) << std::hex << c.code;
    EXPECT_EQ(cp932::fromUnicode(c.unit), c.code) << std::hex << static_cast<int>(c.unit);
  }
}

TEST(Cp932, DuplicatesChooseTheCodeWindowsWrites) {
  EXPECT_EQ(cp932::fromUnicode(0x2160), 0x8754);  // Ⅰ: NEC row 13, not FA4A
  EXPECT_EQ(cp932::fromUnicode(0x2170), 0xFA40);  // ⅰ: IBM extension, not EEEF
  EXPECT_EQ(cp932::fromUnicode(0xFFE2), 0x81CA);  // ￢
  EXPECT_EQ(cp932::toUnicode(0xEEEF), 0x2170);    // the NEC-selected twin reads the same
}

TEST(Cp932, NoBestFit) {
  for (char16_t unit : {u'\u00A5', u'\u00E9', u'\u203E', u'\u301C', u'\u2016', u'\u2212', u'\u00AC', u'\uFFFD'}) {
    EXPECT_EQ(cp932::fromUnicode(unit), cp932::kNoCode) << std::hex << static_cast<int>(unit);
  }
  EXPECT_EQ(cp932::toUnicode(0xA0), cp932::kNoUnit);
  EXPECT_EQ(cp932::toUnicode(0xFD), cp932::kNoUnit);
  EXPECT_EQ(cp932::toUnicode(0x8540), cp932::kNoUnit);  // an empty row
}

// Every unit the table holds reads back as itself, every code agrees with ICU, and every
// character a code reads as is written by one (none is escaped that the code page holds).
TEST(Cp932, TableAgreesWithIcuAndRoundTrips) {
  int held = 0;
  for (unsigned u = 0; u < 0x10000; ++u) {
    std::uint16_t code = cp932::fromUnicode(static_cast<char16_t>(u));
    if (code == cp932::kNoCode) continue;
    ++held;
    ASSERT_EQ(cp932::toUnicode(code), u) << std::hex << u;
  }
  EXPECT_GT(held, 9000);
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp932::isLeadByte(static_cast<std::uint8_t>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (!cp932::isTrailByte(static_cast<std::uint8_t>(trail))) continue;
      char16_t unit = cp932::toUnicode(static_cast<std::uint16_t>(lead << 8 | trail));
      if (unit == cp932::kNoUnit) continue;
      std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      ASSERT_EQ(testing::icuDecode("windows-31j", bytes), std::u16string(1, unit)) << std::hex << lead << trail;
      ASSERT_NE(cp932::fromUnicode(unit), cp932::kNoCode) << std::hex << lead << trail;
    }
  }
}

TEST(Cp932, WideConversions) {
  std::string sjis = "\x93\xfa\x96\x7b\x8c\xea/a\\b.css";  // 日本語/a\b.css
  EXPECT_EQ(cp932ToWide(sjis), u"日本語/a\\b.css");
  EXPECT_EQ(cp932ToWide("\x82"), u"\uFFFD");  // a lead byte cut off by the end
}

}  // namespace
}  // namespace sarnavel
