#include "text/text_position.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/line_breaks.h"

namespace sarnavel {
namespace {

TEST(PositionFinder, LinesAndColumnsInEachForm) {
  using F = SourceForm;
  const struct {
    const char* what;
    std::string source;
    F form;
    std::size_t offset;
    TextPosition position;
  } cases[] = {
      {"start", "abc", F::SingleByte, 0, {1, 1}},
      {"CR+LF is one break", "a\r\nbc", F::SingleByte, 4, {2, 2}},
      {"CR and LF alone", "a\rb\nc", F::SingleByte, 4, {3, 1}},
      {"LF then CR is two", "\n\rx", F::SingleByte, 2, {3, 1}},
      {"Shift_JIS characters are one column", "\x82\xA0\x82\xA2x", F::ShiftJis, 4, {1, 3}},
      {"Shift_JIS trail byte 0x0A is no break", "\x82\x0Ax", F::ShiftJis, 2, {2, 1}},
      {"EUC-JP three-byte character",
       "\x8F\xB0\xA1"
       "a",
       F::EucJp,
       3,
       {1, 2}},
      {"UTF-8, an invalid byte is one column", "\xE6\x97\xA5\xFFx", F::Utf8, 4, {1, 3}},
      {"ISO-2022-JP escape sequences take no column", "\x1B$B$\"$$\x1B(Bx", F::Iso2022Jp, 10, {1, 3}},
      {"UTF-16LE, a surrogate pair is one column",
       std::string("\x3D\xD8\x00\xDE"
                   "a\0",
                   6),
       F::Utf16LittleEndian,
       4,
       {1, 2}},
      {"UTF-16BE line break", std::string("\0a\0\n\0b", 6), F::Utf16BigEndian, 4, {2, 1}},
  };
  for (const auto& c : cases) {
    PositionFinder finder(c.source, c.form);
    const TextPosition at = finder.at(c.offset);
    EXPECT_EQ(at, c.position) << c.what << ": " << at.line << ":" << at.column;
  }
}

LineBreakCounts plainCount(std::string_view text) {
  LineBreakCounts plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++plain.crlf;
      ++i;
    } else if (text[i] == '\r') {
      ++plain.cr;
    } else if (text[i] == '\n') {
      ++plain.lf;
    }
  }
  return plain;
}

// The vector count agrees with a plain one wherever a break falls, block boundaries included.
TEST(LineBreaks, CountedByKindAtEveryOffset) {
  for (std::size_t at = 0; at < 40; ++at) {
    for (const char* pair : {"\r\n", "\n\r", "\r\r", "\n\n"}) {
      std::string text(40, 'x');
      text.replace(at, 2, pair);
      text.resize(40);
      EXPECT_EQ(countLineBreaks(text), plainCount(text)) << at << " " << pair[0] + 0 << pair[1] + 0;
    }
  }
}

TEST(LineBreaks, CountedInTextsOfBreaksOnly) {
  // Every byte a break: each of the 16 counters of a block counts as many as it can hold before
  // it is added up, and more.
  for (std::string_view unit : {"\n", "\r", "\r\n", "\r\r\n", "\n\r"}) {
    for (std::size_t size : {255 * 16 + 1, 255 * 16 + 17, 2 * 255 * 16 + 37}) {
      std::string text;
      while (text.size() < size) text += unit;
      text.resize(size);
      EXPECT_EQ(countLineBreaks(text), plainCount(text)) << size << " " << unit.size();
    }
  }
  // A CR first met far into a text of LFs, about where a round of counting ends.
  for (std::size_t at : {0, 1, 4079, 4080, 4081, 4095, 4096, 8160, 8161, 8999}) {
    std::string text(9000, '\n');
    text[at] = '\r';
    EXPECT_EQ(countLineBreaks(text), plainCount(text)) << at;
  }
}

}  // namespace
}  // namespace sarnavel
