#include "engine/converter.h"

#include <gtest/gtest.h>

#include <array>

#include "engine/escape_language.h"
#include "engine/target_options.h"
#include "support/ascii_runs.h"
#include "support/bytes.h"
#include "support/targets.h"
#include "support/oracle.h"
#include "text/cp932.h"
#include "text/japanese_text.h"
#include "text/utf8.h"

namespace sarnavel {
namespace {

ConverterOptions optionsFor(TargetEncoding target, LineEnding eol = LineEnding::Unchanged) {
  ConverterOptions options;
  applyTargetEncoding(options, target, eol);
  return options;
}

std::string convert(std::string_view text, TargetEncoding target, LineEnding eol = LineEnding::Unchanged,
                    ConversionReport* report = nullptr) {
  return convertText(optionsFor(target, eol), text, report);
}

constexpr TargetEncoding kSjis = TargetEncoding::ShiftJis, kEuc = TargetEncoding::EucJp,
                         kJis = TargetEncoding::Iso2022Jp, kUtf8 = TargetEncoding::Utf8;

// Every Shift_JIS code with a character, as one text; a line break after every 40 so the
// ISO-2022-JP form also switches modes. The user-defined area is left to its own test.
std::string allShiftJisCharacters(bool withUserDefined) {
  std::string text = "<p>";
  int count = 0;
  for (unsigned code = 0x8140; code <= 0xFCFC; ++code) {
    if (!cp932::isLeadByte(static_cast<std::uint8_t>(code >> 8)) ||
        !cp932::isTrailByte(static_cast<std::uint8_t>(code)))
      continue;
    if (cp932::toUnicode(static_cast<std::uint16_t>(code)) == cp932::kNoUnit) continue;
    if (!withUserDefined && code >= 0xF040 && code <= 0xF9FC) continue;
    text.push_back(static_cast<char>(code >> 8));
    text.push_back(static_cast<char>(code & 0xFF));
    if (++count % 40 == 0) text += "\r\n";
  }
  for (unsigned b = 0xA1; b <= 0xDF; ++b) text.push_back(static_cast<char>(b));
  return text + "</p>\r\n";
}

TEST(Converter, EveryTargetKeepsEveryCharacter) {
  std::string sjis = allShiftJisCharacters(false);
  std::u16string characters = cp932ToWide(sjis);
  for (TargetEncoding target : {kEuc, kJis, kUtf8}) {
    ConversionReport report;
    std::string converted = convert(sjis, target, LineEnding::Unchanged, &report);
    EXPECT_EQ(report.unconvertible, 0u) << target;
    EXPECT_TRUE(testing::sameUnits(decodeToWide(converted, static_cast<TargetEncoding>(target)), characters)) << target;
    if (target == kUtf8) continue;  // UTF-8 comes back through escaping, below
    // and back to Shift_JIS: the same characters (the IBM extensions come back as their twins)
    EXPECT_TRUE(testing::sameUnits(cp932ToWide(convert(converted, kSjis)), characters)) << target;
  }
  // EUC-JP into UTF-8 (its own loop: every two-byte character and every katakana after SS2)
  ConverterOptions fromEuc = optionsFor(kUtf8);
  fromEuc.inputEncoding = InputEncoding::EucJp;
  EXPECT_TRUE(testing::sameUnits(decodeToWide(convertText(fromEuc, convert(sjis, kEuc)), kUtf8), characters));
  // ICU's own EUC-JP reads the same characters
  EXPECT_TRUE(testing::sameUnits(testing::icuDecode("EUC-JP", convert(sjis, kEuc)), characters));
}

TEST(Converter, EachEncodingToItselfIsByteForByte) {
  std::string sjis = allShiftJisCharacters(true);
  EXPECT_TRUE(testing::sameBytes(convert(sjis, kSjis), sjis));
  std::string euc = convert(allShiftJisCharacters(false), kEuc);
  euc += "\x8f\xb0\xa1";  // a JIS X 0212 kanji
  EXPECT_TRUE(testing::sameBytes(convert(euc, kEuc), euc));
  std::string jis = convert(allShiftJisCharacters(false), kJis);
  EXPECT_TRUE(testing::sameBytes(convert(jis, kJis), jis));
}

// One text each: the target, the line ending asked for, and the characters counted as lost
// (-1: not asked).
TEST(Converter, TextsAndWhatTheyBecome) {
  using namespace std::string_literals;
  constexpr LineEnding kAsIs = LineEnding::Unchanged;
  const struct {
    std::string in;
    TargetEncoding target;
    LineEnding eol;
    std::string out;
    int lost;
  } cases[] = {
      // IBM extensions become their twins in EUC-JP
      {"\xfa\x40\x82\xa0", kEuc, kAsIs, "\xfc\xf1\xa4\xa2", 0},  // ⅰ: NEC-selected row 92
      {"\xfa\x4a\x82\xa0", kEuc, kAsIs, "\xad\xb5\xa4\xa2", 0},  // Ⅰ: NEC row 13
      {"\xfa\x54\x82\xa0", kEuc, kAsIs, "\xa2\xcc\xa4\xa2", 0},  // ￢: JIS row 2
      {"\xfb\xfc\x82\xa0", kEuc, kAsIs, "\xfc\xe2\xa4\xa2", 0},  // 髙
      {"\x87\x40\x82\xa0", kEuc, kAsIs, "\xad\xa1\xa4\xa2", 0},  // ①
      // what the target cannot hold becomes the geta mark: U+4E02 is only in JIS X 0212...
      {"\xa4\xa2\x8f\xb0\xa1", kSjis, kAsIs, "\x82\xa0\x81\xac", 1},
      {"\xa4\xa2\x8f\xb0\xa9", kSjis, kAsIs, "\x82\xa0\xfa\x68", 0},  // ...丨 has an IBM-extension place
      // the user-defined area has no place in EUC-JP or ISO-2022-JP, but UTF-8 has it
      {"\x82\xa0\xf0\x40", kEuc, kAsIs, "\xa4\xa2\xa2\xae", 1},
      {"\x82\xa0\xf0\x40", kJis, kAsIs, "\x1b$B$\"\"\x2e\x1b(B", -1},
      {"\x82\xa0\xf0\x40", kUtf8, kAsIs, "\xe3\x81\x82\xee\x80\x80", -1},
      // bytes that form no character: U+FFFD (a Shift_JIS ASCII trail byte is read again)
      {"\x82\xa0\x85\x40\xfd", kUtf8, kAsIs, "\xe3\x81\x82\xef\xbf\xbd@\xef\xbf\xbd", 2},
      // line breaks; ISO-2022-JP is back in ASCII before every one
      {"a\r\nb\nc\rd\n\r\xa4\xa2", kSjis, kAsIs, "a\r\nb\nc\rd\n\r\x82\xa0", -1},
      {"a\r\nb\nc\rd\n\r\xa4\xa2", kSjis, LineEnding::CrLf, "a\r\nb\r\nc\r\nd\r\n\r\n\x82\xa0", -1},
      {"a\r\nb\nc\rd\n\r\xa4\xa2", kSjis, LineEnding::Lf, "a\nb\nc\nd\n\n\x82\xa0", -1},
      {"a\r\nb\nc\rd\n\r\xa4\xa2", kSjis, LineEnding::Cr, "a\rb\rc\rd\r\r\x82\xa0", -1},
      {"\x82\xa0\n\x82\xa0", kJis, LineEnding::CrLf, "\x1b$B$\"\x1b(B\r\n\x1b$B$\"\x1b(B", -1},
      // nothing else changes: ASCII controls, zero bytes (one after a character is its own), no
      // MIME decoding
      {"<p>\\ ~ \x1a\x7f\0 end</p>"s, kSjis, kAsIs, "<p>\\ ~ \x1a\x7f\0 end</p>"s, 0},
      {"<p>\\ ~ \x1a\x7f\0 end</p>"s, kUtf8, kAsIs, "<p>\\ ~ \x1a\x7f\0 end</p>"s, 0},
      {"\x82\xa0\0\x82\xa2"s, kEuc, kAsIs, "\xa4\xa2\0\xa4\xa4"s, 0},
      {"\x82\xa0\0A\x82\xa2"s, kUtf8, kAsIs, "\xe3\x81\x82\0A\xe3\x81\x84"s, 0},
      {"", kUtf8, kAsIs, "", 0},
      {"=?ISO-2022-JP?B?GyRCJDMbKEI=?=", kSjis, kAsIs, "=?ISO-2022-JP?B?GyRCJDMbKEI=?=", 0},
      // ISO-2022-JP read: ESC $ @ and ESC ( J too, written as ESC $ B and ESC ( B
      {"\x1b$@$\"\x1b(Ja", kSjis, kAsIs,
       "\x82\xa0"
       "a",
       -1},
      {"\x1b$@$\"\x1b(J", kJis, kAsIs, "\x1b$B$\"\x1b(B", -1},
      {"\x1b$(D0!\x1b(B", kEuc, kAsIs, "\x8f\xb0\xa1", -1},
      // a lone byte left of a two-byte mode is the stand-in, not the letter it would be in the
      // mode the output is in there (and a second conversion keeps it so)
      {"\x1b(J~\x1b$BA", kJis, kAsIs, "\x1b(J~\x1b$B\".\x1b(B", -1},
  };
  for (const auto& c : cases) {
    ConversionReport report;
    EXPECT_TRUE(testing::sameBytes(convert(c.in, c.target, c.eol, &report), c.out)) << "row " << (&c - cases);
    if (c.lost >= 0) {
      EXPECT_EQ(report.unconvertible, static_cast<std::size_t>(c.lost)) << "row " << (&c - cases);
    }
  }
  // JIS-Roman's designation in a Shift_JIS text leaves it Shift_JIS, as the detection says.
  ConversionReport report;
  EXPECT_EQ(convert("\x82\xa0\x1b(J\x82\xa0", kUtf8, LineEnding::Unchanged, &report), "\xE3\x81\x82\x1b(J\xE3\x81\x82");
  EXPECT_EQ(report.detected, detectInputEncoding("\x82\xa0\x1b(J\x82\xa0"));
}

// With the document's language named, what the target cannot hold (or code page 932 lacks)
// becomes an escape, so nothing is lost and a second conversion changes nothing.
TEST(Converter, EscapesInsteadOfGeta) {
  struct Case {
    std::string_view in;
    TargetEncoding target;
    EscapeLanguage language;
    std::string_view out;
  } cases[] = {
      {"\xa4\xa2\x8f\xb0\xa1", kSjis, EscapeLanguage::Html, "\x82\xa0&#19970;"},      // JIS X 0212 only
      {"\xa4\xa2\x8f\xb0\xa1", kUtf8, EscapeLanguage::Html, "\xe3\x81\x82&#19970;"},  // as UTF-8 preparation would
      {"\xa4\xa2\x8f\xb0\xa1", kEuc, EscapeLanguage::Html, "\xa4\xa2\x8f\xb0\xa1"},   // EUC-JP holds it
      {"\xa4\xa2\x8f\xb0\xa1", kJis, EscapeLanguage::JavaScript, "\x1b$B$\"\x1b(B\\u4E02"},
      {"\x82\xa0\xf0\x40", kEuc, EscapeLanguage::Css, "\xa4\xa2\\E000 "},     // user-defined area
      {"\x82\xa0\xfd", kEuc, EscapeLanguage::JavaScript, "\xa4\xa2\\uFFFD"},  // no character at all
      {"\x82\xa0\xfd", kUtf8, EscapeLanguage::Html, "\xe3\x81\x82&#65533;"},
      // into its own encoding too: a document must decode cleanly in its target
      {"\x82\xa0\xfd", kSjis, EscapeLanguage::Html, "\x82\xa0&#65533;"},
      // U+0080, which EUC-JP lacks: &#128; would show the euro sign, so the geta mark stands in
      {"\x82\xa0\x80", kEuc, EscapeLanguage::Html, "\xa4\xa2\xa2\xae"},
      {"\x82\xa0\x80", kEuc, EscapeLanguage::Css, "\xa4\xa2\\80 "},
  };
  for (const auto& c : cases) {
    ConverterOptions options = optionsFor(c.target);
    options.escapeLanguage = c.language;
    ConversionReport report;
    std::string once = convertText(options, c.in, &report);
    EXPECT_EQ(once, c.out);
    if (c.target != kUtf8) {
      EXPECT_EQ(convertText(options, once), once) << "converted again";
    }
  }
}

// The text of support/ascii_runs.h as Shift_JIS, EUC-JP and UTF-8; once ending in a run, once
// in a character.
std::array<std::string, 3> runsOfEveryLength(bool endInRun) {
  std::array<std::string, 3> text = testing::asciiRunsOfEveryLength<3>({"\x8A\xBF", "\xB4\xC1", "\xE6\xBC\xA2"});
  if (endInRun) {
    for (auto& t : text) t += "</p>\r\n";
  }
  return text;
}

TEST(Converter, AsciiRunsOfEveryLengthBetweenCharacters) {
  for (bool endInRun : {false, true}) {
    const std::array<std::string, 3> text = runsOfEveryLength(endInRun);
    const struct {
      InputEncoding from;
      int source;
      TargetEncoding to;
      int expected;
    } cases[] = {
        {InputEncoding::ShiftJis, 0, kUtf8, 2},
        {InputEncoding::EucJp, 1, kUtf8, 2},
        {InputEncoding::ShiftJis, 0, kEuc, 1},
        {InputEncoding::EucJp, 1, kSjis, 0},
    };
    for (const auto& c : cases) {
      ConverterOptions options = optionsFor(c.to);
      options.inputEncoding = c.from;
      EXPECT_TRUE(testing::sameBytes(convertText(options, text[c.source]), text[c.expected]))
          << c.source << " to " << c.to << " endInRun " << endInRun;
    }
  }
}

// A target outside the table is refused and changes nothing.
TEST(TargetEncodingTable, ATargetOutsideItChangesNothing) {
  ConverterOptions options = parseConverterOptions("-e -x -Lu -d");
  const ConverterOptions before = options;
  EXPECT_EQ(applyTargetEncoding(options, static_cast<TargetEncoding>(4), LineEnding::CrLf), "");
  EXPECT_EQ(applyTargetEncoding(options, static_cast<TargetEncoding>(-1), LineEnding::CrLf), "");
  EXPECT_EQ(options, before);  // an unknown target changes nothing
}

}  // namespace
}  // namespace sarnavel
